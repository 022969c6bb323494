#include "heavy_click.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/install_path.h"
#include "swf/flash_control.h"
#include "swf/frame_clock.h"
#include "swf/swf.h"
#include "swf/writer/swf_writer.h"

namespace bench {
namespace {

// A looping movie of 48 frames, each a filled outline of `edges` straight edges (near the
// parser's limit of 65,536), turned a little from frame to frame: more frames than the
// control keeps drawn, so that every frame is drawn again.
QByteArray heavyMovie(int edges) {
    using namespace swf::writer;
    MovieWriter w(QSizeF(200, 150), 24);
    QPainterPath path;
    for (int i = 0; i < edges; ++i) {
        const double a = 2 * M_PI * i / edges;
        const double r = i % 2 ? 75 : 90;
        const QPointF p(100 + r * std::cos(a), 75 + r * std::sin(a));
        if (i == 0) path.moveTo(p);
        else path.lineTo(p);
    }
    path.closeSubpath();
    const uint16_t shape = w.defineShape(path, FillStyle::solid(QColor(200, 40, 40)));
    for (int f = 0; f < 48; ++f) {
        const Placement at = Placement::at(QTransform().translate(100, 75).rotate(f * 7.5).translate(-100, -75));
        if (f == 0) w.place(1, shape, at);
        else w.modify(1, at);
        w.showFrame();
    }
    return w.finish();
}

// Notes when a posted press reaches it.
class ClickTarget : public QWidget {
public:
    using QWidget::QWidget;
    QElapsedTimer clock;
    qint64 postedAt = -1;
    std::vector<double> waitsMs;

protected:
    void mousePressEvent(QMouseEvent*) override {
        if (postedAt >= 0) waitsMs.push_back((clock.nsecsElapsed() - postedAt) / 1e6);
        postedAt = -1;
    }
};

struct Result {
    std::vector<double> waitsMs;
    long droppedTicks = 0;
    int framesDrawn = 0;
    int framesAdvanced = 0;
};

// Clicks on a plain widget beside the heavy movie (or beside nothing), `clicks` of them,
// 170 ms apart so that they fall at every point of the movie's frames.
Result clickBeside(const QString& movie, int clicks) {
    QWidget window;
    window.resize(420, 200);
    swf::ShockwaveFlash* heavy = nullptr;
    if (!movie.isEmpty()) {
        heavy = new swf::ShockwaveFlash(&window);
        heavy->setGeometry(0, 0, 200, 150);
        heavy->setMovie(movie);
    }
    const int advanced0 = heavy && heavy->player() ? heavy->player()->changedFrames() : 0;
    auto* target = new ClickTarget(&window);
    target->setGeometry(220, 0, 80, 40);
    window.show();
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 1500) QApplication::processEvents(QEventLoop::AllEvents, 10);

    const long dropped0 = swf::FrameClock::instance().droppedTicks();
    const int drawn0 = heavy ? heavy->framesDrawn() : 0;
    target->clock.start();
    for (int i = 0; i < clicks; ++i) {
        const QPointF at(40, 20);
        target->postedAt = target->clock.nsecsElapsed();
        QApplication::postEvent(target, new QMouseEvent(QEvent::MouseButtonPress, at, target->mapToGlobal(at),
                                                        Qt::LeftButton, Qt::LeftButton, {}));
        QApplication::postEvent(target, new QMouseEvent(QEvent::MouseButtonRelease, at, target->mapToGlobal(at),
                                                        Qt::LeftButton, Qt::NoButton, {}));
        QElapsedTimer gap;
        gap.start();
        while (gap.elapsed() < 170) QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    Result r;
    r.waitsMs = target->waitsMs;
    r.droppedTicks = swf::FrameClock::instance().droppedTicks() - dropped0;
    if (heavy) {
        // The player waits for a frame being drawn; the counts above are taken by then.
        r.framesDrawn = heavy->framesDrawn() - drawn0;
        r.framesAdvanced = heavy->player() ? heavy->player()->changedFrames() - advanced0 : 0;
    }
    return r;
}

void print(const char* label, Result r) {
    std::sort(r.waitsMs.begin(), r.waitsMs.end());
    if (r.waitsMs.empty()) {
        std::printf("  %s: no click was answered\n", label);
        return;
    }
    std::printf("  %s: %zu clicks answered, median %.2f ms, worst %.2f ms (bar 100 ms; worst/bar %.3f)\n", label,
                r.waitsMs.size(), r.waitsMs[r.waitsMs.size() / 2], r.waitsMs.back(), r.waitsMs.back() / 100.0);
}

}  // namespace

void heavyMovieClicks(const QString& picFolder) {
    constexpr int kEdges = 60000;
    constexpr int kClicks = 40;
    {
        QFile f(picFolder + "/heavy.swf");
        if (!f.open(QIODevice::WriteOnly)) return;
        f.write(heavyMovie(kEdges));
    }
    std::printf("\nclicks beside a heavy movie (%d edges in each frame, 24 fps), %d clicks 170 ms apart:\n", kEdges,
                kClicks);
    const Result alone = clickBeside({}, kClicks);
    print("baseline, no movie", alone);
    const Result heavy =
        clickBeside(QString::fromStdString(core::applicationFolder()) + "\\pic\\heavy.swf", kClicks);
    print("beside the heavy movie", heavy);
    std::printf("  heavy movie: %d frames advanced, %d drawn, %ld clock ticks dropped while a frame was drawn\n",
                heavy.framesAdvanced, heavy.framesDrawn, heavy.droppedTicks);
}

}  // namespace bench
