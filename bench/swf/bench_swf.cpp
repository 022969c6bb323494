// bench_swf [--seconds N] [--heavy-only]
// Run under Xvfb (xvfb-run -a bench_swf). Each phase runs in a fresh process of its own
// (bench_swf --phase NAME), one window each, so that no phase's memory carries heap an
// earlier phase left behind:
//   baseline: 22 plain widgets, each painting a static picture, at the reader's sizes;
//   movies:   22 Flash controls at the same sizes, each looping a 24-frame vector movie
//             at 24 frames a second.
//   demo, demo with glows: the demo book's 22 movies, without and then with the glow its
//             buttons show on hover; every control is hovered once, then they sit idle.
//             The glowing set is reported against the plain one.
//   clicks:   the demo movies with glows, each clicked once (their buttons click), then
//             idle. The sound goes to a stand-in sink that takes samples at the device's
//             pace; the time from the click event to the write of the click's first sample
//             into it is reported.
//   heavy:    clicks on a widget beside a movie whose every frame is a 60,000-edge shape: the
//             worst wait for the click's handler against the same clicks with no movie, and
//             the frames the movie dropped (heavy_click.cpp).
// For each phase: CPU time over the interval (as % of one core) and RSS/PSS after it;
// the movies are reported as the difference from the baseline. Then the render time per
// frame of each reference corpus movie, against filling a picture of the same size.
#include <QApplication>
#include <QMouseEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <map>
#include <string>

#include "core/install_path.h"
#include "heavy_click.h"
#include "movies.h"
#include "swf/flash_control.h"
#include "swf/media/mixer.h"
#include "swf/swf.h"
#include "swf/writer/swf_writer.h"

namespace {

// The Flash controls of the reader window, in twips (15 to the pixel).
const QSize kControlTwips[22] = {
    {960, 780},  {2850, 450}, {2850, 450}, {1215, 780}, {720, 780},  {780, 780},  {780, 780},  {780, 780},
    {2850, 450}, {2850, 450}, {2850, 450}, {2850, 450}, {2850, 450}, {2850, 450}, {2850, 450}, {2850, 450},
    {2850, 450}, {2850, 450}, {2850, 450}, {2850, 450}, {2850, 450}, {4695, 780},
};

double cpuSeconds() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

// Resident and proportional set size in kB, from the kernel's summary of this process.
std::pair<long, long> memoryKb() {
    std::ifstream in("/proc/self/smaps_rollup");
    std::string key;
    long value = 0, rss = 0, pss = 0;
    std::string unit;
    std::string line;
    while (std::getline(in, line)) {
        if (std::sscanf(line.c_str(), "Rss: %ld", &value) == 1) rss = value;
        if (std::sscanf(line.c_str(), "Pss: %ld", &value) == 1) pss = value;
    }
    return {rss, pss};
}

// A 24-frame vector movie: a turning star with a gradient and a moving outlined ring.
QByteArray vectorMovie() {
    using namespace swf::writer;
    MovieWriter w(QSizeF(200, 100), 24);
    w.setBackgroundColor(QColor(30, 30, 60));
    QPainterPath star;
    for (int i = 0; i < 10; ++i) {
        double r = i % 2 ? 18 : 40, a = i * M_PI / 5;
        QPointF p(r * std::sin(a), -r * std::cos(a));
        if (i == 0) star.moveTo(p);
        else star.lineTo(p);
    }
    star.closeSubpath();
    uint16_t starId = w.defineShape(star, FillStyle::radial(QPointF(0, 0), 40, {{0, Qt::yellow}, {1, QColor(255, 80, 0)}}));
    QPainterPath ring;
    ring.addEllipse(QPointF(0, 0), 15, 15);
    LineStyle line;
    line.width = 3;
    line.color = Qt::white;
    uint16_t ringId = w.defineShape(ring, FillStyle::solid(QColor(0, 150, 255)), line);
    for (int f = 0; f < 24; ++f) {
        QTransform turn = QTransform().translate(60, 50).rotate(f * 15);
        QTransform move = QTransform::fromTranslate(110 + 60 * std::sin(f * M_PI / 12), 50);
        if (f == 0) {
            w.place(1, starId, Placement::at(turn));
            w.place(2, ringId, Placement::at(move));
        } else {
            w.modify(1, Placement::at(turn));
            w.modify(2, Placement::at(move));
        }
        w.showFrame();
    }
    return w.finish();
}

// Stands in for the sound device: takes samples at 44,100 a second with the device's 40 ms
// lead, and notes when the first non-silent sample after a click is written.
class MeasuringSink final : public swf::media::AudioSinkPort {
public:
    MeasuringSink() { clock_.start(); }
    size_t framesWanted() override {
        const double consumed = clock_.nsecsElapsed() / 1e9 * 44100.0;
        const double queued = double(written_) - consumed;
        if (queued < 0) written_ = size_t(consumed);  // an underrun: the device played silence
        const double room = 44100 * 0.040 - std::max(0.0, queued);
        return room > 0 ? size_t(room) : 0;
    }
    void write(std::span<const int16_t> frames) override {
        written_ += frames.size() / 2;
        if (waitingSince_ < 0) return;
        for (int16_t v : frames)
            if (v != 0) {
                latenciesMs_.push_back((clock_.nsecsElapsed() - waitingSince_) / 1e6);
                waitingSince_ = -1;
                return;
            }
    }
    void clicked() { waitingSince_ = clock_.nsecsElapsed(); }
    const std::vector<double>& latenciesMs() const { return latenciesMs_; }

private:
    QElapsedTimer clock_;
    size_t written_ = 0;
    qint64 waitingSince_ = -1;
    std::vector<double> latenciesMs_;
};

class StaticPicture : public QWidget {
public:
    StaticPicture(const QImage& picture, QWidget* parent) : QWidget(parent), picture_(picture) {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(rect(), picture_); }

private:
    QImage picture_;
};

struct Phase {
    double cpuPercent;
    long rssKb, pssKb;
};

template <typename MakeWidget>
Phase runPhase(double seconds, MakeWidget&& make, const std::function<void(QWidget&)>& beforeIdle = {}) {
    QWidget window;
    window.resize(1000, 500);
    int x = 0, y = 0, rowHeight = 0;
    for (const QSize& twips : kControlTwips) {
        QSize px(twips.width() / 15, twips.height() / 15);
        if (x + px.width() > 1000) {
            x = 0;
            y += rowHeight + 2;
            rowHeight = 0;
        }
        QWidget* w = make(&window);
        w->setGeometry(x, y, px.width(), px.height());
        x += px.width() + 2;
        rowHeight = std::max(rowHeight, px.height());
    }
    window.show();
    // Settle: first paints, fonts, caches.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 1500) QApplication::processEvents(QEventLoop::AllEvents, 50);
    if (beforeIdle) {
        beforeIdle(window);
        settle.restart();
        while (settle.elapsed() < 1000) QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(int(seconds * 1000), [] { QApplication::exit(0); });
    QApplication::exec();
    const double cpu = cpuSeconds() - cpu0;
    const double elapsed = wall.elapsed() / 1000.0;
    auto [rss, pss] = memoryKb();
    return {100.0 * cpu / elapsed, rss, pss};
}

void corpusRenderTimes() {
    QString root = qEnvironmentVariable("TALVORIN_TESTDATA", QStringLiteral(TALVORIN_TESTDATA_DEFAULT)) + "/swf";
    QDir dir(root);
    if (!dir.exists()) {
        std::printf("corpus render times: skipped, %s not found\n", qPrintable(root));
        return;
    }
    std::printf("\nrender time per frame (stage size, quality High), against filling a picture of that size:\n");
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        std::shared_ptr<const swf::Movie> movie;
        try {
            movie = swf::loadMovieFile((dir.filePath(name) + "/test.swf").toStdString());
        } catch (const std::exception&) {
        }
        if (!movie) continue;
        const QSize size = movie->stageSizePixels();
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        swf::Player player(movie);
        player.setViewSize(size);
        constexpr int kFrames = 30;
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < kFrames; ++i) {
            QPainter p(&image);
            player.render(p);
            p.end();
            player.advance();
        }
        const double ms = t.nsecsElapsed() / 1e6 / kFrames;
        t.restart();
        for (int i = 0; i < kFrames; ++i) image.fill(movie->background);
        const double fillMs = std::max(1e-6, t.nsecsElapsed() / 1e6 / kFrames);
        std::printf("  %-30s %4dx%-4d %8.3f ms/frame  (%6.1fx the fill)\n", qPrintable(name), size.width(),
                    size.height(), ms, ms / fillMs);
    }
}

// The pointer over the middle of every control for 300 ms (a full loop of glowing frames
// drawn and kept), then off it.
void hoverEachControl(QWidget& window) {
    for (swf::ShockwaveFlash* control : window.findChildren<swf::ShockwaveFlash*>()) {
        const QPointF at(control->width() / 2.0, control->height() / 2.0);
        QMouseEvent move(QEvent::MouseMove, at, control->mapToGlobal(at), Qt::NoButton, Qt::NoButton, {});
        QApplication::sendEvent(control, &move);
        QElapsedTimer over;
        over.start();
        while (over.elapsed() < 300) QApplication::processEvents(QEventLoop::AllEvents, 10);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(control, &leave);
    }
}

// The demo book's movies in the reader's order of controls, with or without hover glows.
Phase demoPhase(double seconds, const QString& folder, bool glowOnHover) {
    const QStringList files = demobook::writeMovies(folder, glowOnHover);
    int next = 0;
    return runPhase(
        seconds,
        [&](QWidget* parent) {
            auto* control = new swf::ShockwaveFlash(parent);
            control->setMovie(QString::fromStdString(core::applicationFolder()) + "\\pic\\" +
                              QFileInfo(files[next++ % files.size()]).fileName());
            return control;
        },
        hoverEachControl);
}

// One phase in this process: prints "phase NAME CPU RSS PSS" and, for the clicks, one
// "latency MS" line for each click that sounded.
int runNamedPhase(const QString& name, double seconds, const QString& pictureFolder) {
    const QString moviePath = QString::fromStdString(core::applicationFolder()) + "\\pic\\loop.swf";
    Phase result{};
    std::vector<double> latencies;
    if (name == "baseline") {
        QImage picture(64, 52, QImage::Format_RGB32);
        picture.fill(QColor(30, 30, 60));
        result = runPhase(seconds, [&](QWidget* parent) { return new StaticPicture(picture, parent); });
    } else if (name == "movies") {
        result = runPhase(seconds, [&](QWidget* parent) {
            auto* control = new swf::ShockwaveFlash(parent);
            control->setMovie(moviePath);
            return control;
        });
    } else if (name == "demo" || name == "glows") {
        result = demoPhase(seconds, pictureFolder, name == "glows");
    } else if (name == "clicks") {
        auto sink = std::make_unique<MeasuringSink>();
        MeasuringSink* measuring = sink.get();
        swf::media::Mixer::instance().setSink(std::move(sink));
        const QStringList clickFiles = demobook::writeMovies(pictureFolder, true);
        int nextClick = 0;
        result = runPhase(
            seconds,
            [&](QWidget* parent) {
                auto* control = new swf::ShockwaveFlash(parent);
                control->setMovie(QString::fromStdString(core::applicationFolder()) + "\\pic\\" +
                                  QFileInfo(clickFiles[nextClick++ % clickFiles.size()]).fileName());
                return control;
            },
            [&](QWidget& window) {
                for (QWidget* control : window.findChildren<swf::ShockwaveFlash*>()) {
                    const QPointF at(control->width() / 2.0, control->height() / 2.0);
                    QMouseEvent move(QEvent::MouseMove, at, control->mapToGlobal(at), Qt::NoButton, Qt::NoButton, {});
                    QApplication::sendEvent(control, &move);
                    measuring->clicked();
                    QMouseEvent press(QEvent::MouseButtonPress, at, control->mapToGlobal(at), Qt::LeftButton,
                                      Qt::LeftButton, {});
                    QApplication::sendEvent(control, &press);
                    QMouseEvent release(QEvent::MouseButtonRelease, at, control->mapToGlobal(at), Qt::LeftButton,
                                        Qt::NoButton, {});
                    QApplication::sendEvent(control, &release);
                    QElapsedTimer gap;
                    gap.start();
                    while (gap.elapsed() < 300) QApplication::processEvents(QEventLoop::AllEvents, 10);
                    QEvent leave(QEvent::Leave);
                    QApplication::sendEvent(control, &leave);
                }
            });
        latencies = measuring->latenciesMs();
        swf::media::Mixer::instance().setSink(nullptr);
    } else {
        std::fprintf(stderr, "bench_swf: unknown phase %s\n", qPrintable(name));
        return 2;
    }
    std::printf("phase %s %.4f %ld %ld\n", qPrintable(name), result.cpuPercent, result.rssKb, result.pssKb);
    for (double ms : latencies) std::printf("latency %.4f\n", ms);
    return 0;
}

struct PhaseReport {
    Phase phase{};
    std::vector<double> latencies;
    bool ok = false;
};

PhaseReport runPhaseProcess(const QString& name, double seconds) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--phase"), name, QStringLiteral("--seconds"), QString::number(seconds)});
    PhaseReport report;
    if (!child.waitForFinished(int(seconds * 1000) + 120000) || child.exitCode() != 0) {
        child.kill();
        child.waitForFinished();
        return report;
    }
    for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        if (f.size() == 5 && f[0] == "phase") {
            report.phase = {f[2].toDouble(), f[3].toLong(), f[4].toLong()};
            report.ok = true;
        } else if (f.size() == 2 && f[0] == "latency") {
            report.latencies.push_back(f[1].toDouble());
        }
    }
    return report;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    double seconds = 20;
    QString phaseName;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--seconds") seconds = std::atof(argv[i + 1]);
        if (std::string(argv[i]) == "--phase") phaseName = QString::fromLocal8Bit(argv[i + 1]);
    }

    QTemporaryDir folder;
    QDir(folder.path()).mkpath("pic");
    {
        QFile f(folder.filePath("pic/loop.swf"));
        f.open(QIODevice::WriteOnly);
        f.write(vectorMovie());
    }
    core::overrideApplicationFolder(folder.path().toStdString());
    const QString demoFolder = folder.filePath("pic");

    if (!phaseName.isEmpty()) {
        const int status = runNamedPhase(phaseName, seconds, demoFolder);
        core::overrideApplicationFolder(std::nullopt);
        return status;
    }
    if (QCoreApplication::arguments().contains(QStringLiteral("--heavy-only"))) {
        bench::heavyMovieClicks(demoFolder);
        core::overrideApplicationFolder(std::nullopt);
        return 0;
    }

    std::printf("platform %s, %g s per phase, each in a process of its own, 22 widgets at the reader's sizes\n",
                qPrintable(QGuiApplication::platformName()), seconds);
    std::fflush(stdout);
    std::map<QString, PhaseReport> runs;
    for (const char* name : {"baseline", "movies", "demo", "glows", "clicks"}) {
        runs[name] = runPhaseProcess(name, seconds);
        if (!runs[name].ok) {
            std::printf("phase %s: the child process failed\n", name);
            return 1;
        }
    }
    const Phase& baseline = runs["baseline"].phase;
    auto print = [&](const char* label, const Phase& p) {
        std::printf("%-28s CPU %6.2f%% of one core, RSS %ld kB, PSS %ld kB\n", label, p.cpuPercent, p.rssKb, p.pssKb);
    };
    auto aboveBaseline = [&](const char* label, const Phase& p) {
        std::printf("  %s above baseline: CPU %+.2f%% of one core (target <= 3), RSS %+.1f MB, PSS %+.1f MB (target <= 20)\n",
                    label, p.cpuPercent - baseline.cpuPercent, (p.rssKb - baseline.rssKb) / 1024.0,
                    (p.pssKb - baseline.pssKb) / 1024.0);
    };
    print("baseline (static pictures):", baseline);
    const Phase& movies = runs["movies"].phase;
    print("movies (24 fps, looping):", movies);
    aboveBaseline("looping movies", movies);
    const Phase& plainDemo = runs["demo"].phase;
    const Phase& glowDemo = runs["glows"].phase;
    print("demo movies, hovered, idle:", plainDemo);
    aboveBaseline("demo movies", plainDemo);
    print("with hover glows:", glowDemo);
    aboveBaseline("with glows", glowDemo);
    std::printf("  glows against plain: CPU %.2fx (%+.2f%% of one core), PSS %+.1f MB\n",
                glowDemo.cpuPercent / std::max(0.01, plainDemo.cpuPercent), glowDemo.cpuPercent - plainDemo.cpuPercent,
                (glowDemo.pssKb - plainDemo.pssKb) / 1024.0);
    const Phase& clicks = runs["clicks"].phase;
    print("clicked (glows, sounds), idle:", clicks);
    aboveBaseline("clicked", clicks);
    std::vector<double> latencies = runs["clicks"].latencies;
    std::sort(latencies.begin(), latencies.end());
    if (latencies.empty()) {
        std::printf("click to first sample in the sink: no click sound reached the sink (22 clicks)\n");
    } else {
        std::printf("click to first sample in the sink: %zu of 22 clicks sounded, median %.2f ms, worst %.2f ms "
                    "(target <= 50; worst/target %.3f)\n",
                    latencies.size(), latencies[latencies.size() / 2], latencies.back(), latencies.back() / 50.0);
    }
    std::fflush(stdout);

    bench::heavyMovieClicks(demoFolder);
    core::overrideApplicationFolder(std::nullopt);
    corpusRenderTimes();
    return 0;
}
