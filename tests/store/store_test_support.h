#pragma once
// Helpers of the store tests: temporary folders, files, the tool and the two outside
// readers (mdbtools' mdb-export and the npm package mdb-reader) run as subprocesses.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "jetwriter.h"

namespace store_test {

using Bytes = std::vector<std::uint8_t>;

// A temporary folder, removed (with anything left in it) at the end of its scope.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

Bytes randomBytes(std::size_t size, std::uint32_t seed);
Bytes readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const Bytes& bytes);
std::vector<std::string> folderEntries(const std::filesystem::path& folder);

struct ProcessResult {
    int exitCode = -1;  // -1 when the process did not exit normally
    std::string out;
    std::string err;
};
// Runs `program` with `args` (no shell) and waits for it.
ProcessResult run(const std::string& program, const std::vector<std::string>& args);

// The store tool and the outside readers; nullopt (with the reason) when not installed.
std::string chapterstoreTool();
std::optional<std::string> mdbExportMissing();
std::optional<std::string> mdbReaderMissing();

// Every value of `column` in `table`, read back by the three readers. A null value is nullopt.
using Column = std::vector<std::optional<Bytes>>;
Column readWithEngine(const std::filesystem::path& store, const std::string& password,
                     const std::string& table = "b1", const std::string& column = "m1");
Column readWithMdbExport(const std::filesystem::path& store, const std::string& table = "b1");
// mdb-reader's output in the `chapterstore list` format, or its failure.
ProcessResult listWithMdbReader(const std::filesystem::path& store, const std::string& password,
                                const std::string& table = "b1", const std::string& column = "m1");

// What `chapterstore list` prints for these values.
std::string expectedListing(const std::vector<Bytes>& values);

jetwriter::StorePlan specOf(const std::vector<Bytes>& values, const std::string& password);
void writeStoreFile(const std::filesystem::path& path, const jetwriter::StorePlan& plan);

}  // namespace store_test
