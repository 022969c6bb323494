#pragma once
// The peer of the script benchmark: the open-source web build of another SWF player, run
// in Qt WebEngine without a window. Its files and the movie are served over HTTP from
// this process on 127.0.0.1 (the player fetches its WebAssembly, which custom schemes
// cannot serve to fetch()). Every trace line comes back with the page's clock.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

class QWebEngineView;
class QTcpServer;

namespace bench {

struct PeerTrace {
    double pageMs = 0;  // performance.now() when the line arrived
    QString text;
};

struct PeerRun {
    bool started = false;       // the player loaded and printed at least one line
    double loadedMs = 0;        // page clock when the movie began to play
    std::vector<PeerTrace> traces;
    QString error;
};

class PeerRunner {
public:
    // `packageDir` holds the web build's ruffle.js and its .wasm files.
    explicit PeerRunner(QString packageDir);
    ~PeerRunner();
    PeerRunner(const PeerRunner&) = delete;
    PeerRunner& operator=(const PeerRunner&) = delete;

    bool available() const { return available_; }
    QString whyUnavailable() const { return why_; }

    // Plays `movie` until a line equal to `lastLine` is traced, or `timeoutMs` passes.
    // `frameRate` overrides the movie's own when set.
    PeerRun run(const QByteArray& movie, const QString& lastLine, int timeoutMs,
                std::optional<double> frameRate = std::nullopt);

private:
    void serve();

    QString packageDir_;
    bool available_ = false;
    QString why_;
    int runNumber_ = 0;
    QByteArray movie_;
    QByteArray page_;
    std::unique_ptr<QTcpServer> server_;
    std::unique_ptr<QWebEngineView> view_;
};

}  // namespace bench
