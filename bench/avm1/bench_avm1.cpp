// bench_avm1 [--suite DIR] [--peer DIR | --no-peer] [--repeat N] [--heaviest N]
//
// The script engine's speed, against the open-source web player of the conformance suite
// run in the same process (Qt WebEngine, offscreen).
//
//   workloads: movies whose scripts time themselves with getTimer() (workloads.h):
//              arithmetic, properties, calls, arrays, strings and a mixed loop. Ours runs
//              them headless and times each frame with the wall clock (our getTimer() is
//              the movie's own clock, which a headless run advances by the frame
//              interval); the peer reports the total its getTimer() saw. Printed: time per
//              frame, actions per second, and peer time / our time (> 1: we are faster).
//   suite:     the suite's heaviest scripted movies by our time per frame (every in-scope
//              trace test without input is run once to find them), ours only: they run
//              in microseconds a frame, below the 1 ms a getTimer() can tell, so the peer's
//              time for them cannot be read from inside the movie, and from outside it is
//              hidden under its frame pacing.
//
// Nothing here asserts a time; the ratios are for reading.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <span>
#include <unistd.h>
#include <vector>

#include "peer_runner.h"
#include "swf/player.h"
#include "swf/swf.h"
#include "workloads.h"

namespace {

struct OurRun {
    std::vector<double> frameMs;  // wall time of each frame's advance
    std::vector<QString> traces;
    bool failed = false;
};

OurRun runOurs(const QByteArray& bytes, int frames) {
    OurRun run;
    std::shared_ptr<const swf::Movie> movie;
    try {
        movie = swf::parseMovie(std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())));
    } catch (const std::exception&) {
        run.failed = true;
        return run;
    }
    swf::Player player(movie, nullptr, swf::Player::Start::Later);
    player.setViewSize(movie->stageSizePixels());
    player.setTraceHandler([&run](const QString& line) { run.traces.push_back(line); });
    QElapsedTimer clock;
    for (int frame = 0; frame < frames; ++frame) {
        clock.start();
        player.advance();
        run.frameMs.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    return run;
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

double sum(const std::vector<double>& values) {
    double total = 0;
    for (double v : values) total += v;
    return total;
}

// The line that starts with `key`, e.g. "total 123".
std::optional<QString> reported(const std::vector<QString>& lines, QLatin1String key) {
    for (const QString& line : lines)
        if (line.startsWith(key)) return line.mid(key.size());
    return std::nullopt;
}

std::optional<double> reportedTotal(const std::vector<QString>& lines) {
    bool ok = false;
    const double v = reported(lines, QLatin1String("total ")).value_or(QString()).toDouble(&ok);
    return ok ? std::optional<double>(v) : std::nullopt;
}

QString ratioText(double peer, double ours) {
    if (!(peer > 0) || !(ours > 0)) return QStringLiteral("n/a");
    return QString::number(peer / ours, 'f', 2);
}

struct SuiteMovie {
    QString name;
    QByteArray bytes;
    int frames = 1;
    double ourFrameMs = 0;
};

int framesOf(const QString& toml) {
    for (const QString& line : toml.split(QLatin1Char('\n'))) {
        const QString t = line.trimmed();
        if (t.startsWith(QLatin1String("num_frames"))) return t.section(QLatin1Char('='), 1).trimmed().toInt();
    }
    return 1;
}

// Scripted, in-scope suite tests: those with a trace, a frame count, and no input script.
std::vector<SuiteMovie> suiteMovies(const QString& suite) {
    static const char* const excluded[] = {"xml", "amf", "netstream", "netconnection", "localconnection",
                                           "sharedobject", "file_reference", "printjob", "external", "loadvars",
                                           "loadvariables", "sandbox", "textsnapshot", "camera", "microphone",
                                           "bitmap", "mcl_", "moviecliploader", "loadmovie", "unloadmovie",
                                           "avm2", "load_", "cross_domain", "security", "timeout", "recursion"};
    std::vector<SuiteMovie> movies;
    const QDir dir(suite);
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        if (!name.startsWith(QLatin1String("avm1__"))) continue;
        if (std::any_of(std::begin(excluded), std::end(excluded),
                        [&](const char* word) { return name.contains(QLatin1String(word)); }))
            continue;
        const QString folder = dir.filePath(name);
        QFile toml(folder + QStringLiteral("/test.toml")), swf(folder + QStringLiteral("/test.swf")),
            output(folder + QStringLiteral("/output.txt"));
        if (QFileInfo::exists(folder + QStringLiteral("/input.json"))) continue;
        if (!toml.open(QIODevice::ReadOnly) || !swf.open(QIODevice::ReadOnly) || !output.open(QIODevice::ReadOnly))
            continue;
        const QString tomlText = QString::fromUtf8(toml.readAll());
        if (tomlText.contains(QLatin1String("num_ticks"))) continue;
        if (output.size() == 0) continue;
        SuiteMovie m;
        m.name = name;
        m.bytes = swf.readAll();
        m.frames = std::clamp(framesOf(tomlText), 1, 10000);
        movies.push_back(std::move(m));
    }
    return movies;
}

void usage() {
    std::fprintf(stderr, "usage: bench_avm1 [--suite DIR] [--peer DIR | --no-peer] [--repeat N] [--heaviest N]\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS")) qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    // Chromium refuses to run its sandbox as root; this is a local benchmark page.
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);

    QString suite = QStringLiteral(TALVORIN_SWF_SUITE_DEFAULT);
    if (const QByteArray env = qgetenv("TALVORIN_SWF_SUITE"); !env.isEmpty()) suite = QString::fromLocal8Bit(env);
    QString peerDir = QStringLiteral(TALVORIN_AVM1_PEER_DEFAULT);
    bool usePeer = true;
    int repeat = 3, heaviest = 5;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--suite") && hasValue) suite = args[++i];
        else if (a == QLatin1String("--peer") && hasValue) peerDir = args[++i];
        else if (a == QLatin1String("--no-peer")) usePeer = false;
        else if (a == QLatin1String("--repeat") && hasValue) repeat = std::clamp(args[++i].toInt(), 1, 50);
        else if (a == QLatin1String("--heaviest") && hasValue) heaviest = std::clamp(args[++i].toInt(), 0, 100);
        else {
            usage();
            return 2;
        }
    }

    std::unique_ptr<bench::PeerRunner> peer;
    if (usePeer) {
        peer = std::make_unique<bench::PeerRunner>(peerDir);
        if (!peer->available()) {
            std::printf("peer: not run: %s\n", qPrintable(peer->whyUnavailable()));
            peer.reset();
        } else {
            // The first load compiles the peer's WebAssembly; keep it out of the numbers.
            const auto warm = bench::scriptWorkloads();
            peer->run(warm.front().movie, QStringLiteral("done"), 60000);
        }
    } else {
        std::printf("peer: not run (--no-peer)\n");
    }

    std::printf("\nworkloads (%d runs each, medians; ratio = peer / ours, > 1: ours is faster)\n", repeat);
    std::printf("%-11s %10s %12s %10s %12s %7s  %s\n", "workload", "ours ms/fr", "ours act/s", "peer ms/fr",
                "peer act/s", "ratio", "what");
    for (const bench::Workload& w : bench::scriptWorkloads()) {
        std::vector<double> ours, theirs;
        std::optional<QString> ourResult;
        bool resultsDiffer = false;
        for (int r = 0; r < repeat; ++r) {
            const OurRun run = runOurs(w.movie, w.frames);
            ourResult = reported(run.traces, QLatin1String("result "));
            ours.push_back(sum(run.frameMs) / w.frames);
            if (peer) {
                const bench::PeerRun p = peer->run(w.movie, QStringLiteral("done"), 120000);
                std::vector<QString> lines;
                for (const auto& t : p.traces) lines.push_back(t.text);
                if (auto total = reportedTotal(lines)) theirs.push_back(*total / w.frames);
                // Both must compute the same thing, or the times mean nothing.
                if (reported(lines, QLatin1String("result ")) != ourResult) resultsDiffer = true;
            }
        }
        const double ourMs = median(ours), peerMs = median(theirs);
        const double actions = double(w.actionsPerFrame);
        auto perSecond = [&](double ms) { return ms > 0 ? QString::number(actions / ms * 1000, 'g', 3) : QStringLiteral("n/a"); };
        std::printf("%-11s %10.3f %12s %10s %12s %7s  %s%s\n", qPrintable(w.name), ourMs, qPrintable(perSecond(ourMs)),
                    theirs.empty() ? "n/a" : qPrintable(QString::number(peerMs, 'f', 3)),
                    qPrintable(theirs.empty() ? QStringLiteral("n/a") : perSecond(peerMs)),
                    qPrintable(theirs.empty() ? QStringLiteral("n/a") : ratioText(peerMs, ourMs)), qPrintable(w.what),
                    !ourResult ? " [ours did not finish]" : resultsDiffer ? " [results differ]" : "");
    }

    if (heaviest > 0) {
        std::vector<SuiteMovie> movies = suiteMovies(suite);
        if (movies.empty()) {
            std::printf("\nsuite: not found or empty at %s; skipped\n", qPrintable(suite));
            return 0;
        }
        // Two passes, the faster counting, so that a first run's one-time costs (fonts, the
        // engine's first start) do not make a light movie look heavy.
        for (SuiteMovie& m : movies) m.ourFrameMs = sum(runOurs(m.bytes, m.frames).frameMs) / m.frames;
        for (SuiteMovie& m : movies) m.ourFrameMs = std::min(m.ourFrameMs, sum(runOurs(m.bytes, m.frames).frameMs) / m.frames);
        std::sort(movies.begin(), movies.end(), [](const SuiteMovie& a, const SuiteMovie& b) { return a.ourFrameMs > b.ourFrameMs; });
        movies.resize(std::min(movies.size(), size_t(heaviest)));
        std::printf("\nsuite: the %d heaviest scripted movies by our time per frame (%d runs, medians)\n", heaviest, repeat);
        std::printf("%-44s %7s %12s %12s\n", "movie", "frames", "ours ms/fr", "ours max ms");
        for (SuiteMovie& m : movies) {
            std::vector<double> ours, worst;
            for (int r = 0; r < repeat; ++r) {
                const OurRun run = runOurs(m.bytes, m.frames);
                ours.push_back(sum(run.frameMs) / m.frames);
                worst.push_back(*std::max_element(run.frameMs.begin(), run.frameMs.end()));
            }
            std::printf("%-44s %7d %12.4f %12.4f\n", qPrintable(m.name), m.frames, median(ours), median(worst));
        }
    }
    return 0;
}
