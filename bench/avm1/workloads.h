#pragma once
// Script workloads for the benchmark: movies whose scripts time themselves. Each frame
// runs one batch of work between two getTimer() calls and adds the difference to a
// total; the last frame traces "result <the batch's value>", "total <ms>" and "done". Both players run the very
// same bytes, so the totals compare script speed alone, not frame pacing or drawing.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

namespace bench {

struct Workload {
    QString name;
    QString what;                  // one line for the report
    QByteArray movie;              // an uncompressed SWF
    int frames = 0;                // frames to run, the last one traces the total
    uint64_t actionsPerFrame = 0;  // actions run by one frame's batch
};

// The workloads: arithmetic, property access, function calls, array work, string work,
// and one that mixes them as a tight loop of a typical script does.
std::vector<Workload> scriptWorkloads();

// Counts the actions of a block of action bytes, records and single-byte actions alike.
uint64_t countActions(const std::vector<uint8_t>& bytes);

}  // namespace bench
