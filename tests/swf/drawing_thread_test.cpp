// Movies read and drawn off the user-interface thread: a click next to a movie that takes long
// to draw (or to read) is answered while the frame is still being drawn (or the movie read),
// input for the movie itself waits for the frame and then arrives in order, and a control may
// change its movie or go away mid-frame.
//
// Nothing here is timed: "answered while drawing" is a count of clicks whose handler ran while
// the heavy frame was still out, which is zero when drawing blocks the event loop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <functional>

#include "core/install_path.h"
#include "swf/flash_control.h"
#include "swf/frame_clock.h"
#include "swf/swf.h"
#include "swf/writer/swf_writer.h"

namespace {

using swf::writer::MovieWriter;
using swf::writer::Placement;

// A filled outline of `edges` short straight edges: one frame of 40,000 of them takes a few
// hundred milliseconds to draw.
QPainterPath jaggedOutline(int edges) {
    QPainterPath path;
    for (int i = 0; i < edges; ++i) {
        const double a = 2 * M_PI * i / edges;
        const double r = i % 2 ? 75 : 90;
        const QPointF p(100 + r * std::cos(a), 75 + r * std::sin(a));
        if (i == 0) path.moveTo(p);
        else path.lineTo(p);
    }
    path.closeSubpath();
    return path;
}

// Three frames of the heavy outline, each moved a little, looping at 24 frames a second.
QByteArray heavyMovie() {
    MovieWriter w(QSizeF(200, 150), 24);
    w.setBackgroundColor(Qt::white);
    const uint16_t shape = w.defineShape(jaggedOutline(40000), swf::writer::FillStyle::solid(QColor(200, 40, 40)));
    for (int f = 0; f < 3; ++f) {
        const Placement at = Placement::at(QTransform::fromTranslate(f * 4, 0));
        if (f == 0) w.place(1, shape, at);
        else w.modify(1, at);
        w.showFrame();
    }
    return w.finish();
}

// Many shapes of many edges: a movie that takes a while to read.
QByteArray largeMovie(int shapes) {
    MovieWriter w(QSizeF(200, 150), 24);
    const QPainterPath outline = jaggedOutline(60000);
    for (int i = 0; i < shapes; ++i) {
        const uint16_t id = w.defineShape(outline, swf::writer::FillStyle::solid(QColor(i, 40, 40)));
        if (i == 0) w.place(1, id);
    }
    w.showFrame();
    return w.finish();
}

QByteArray lightMovie() {
    MovieWriter w(QSizeF(64, 52), 24);
    QPainterPath dot;
    dot.addEllipse(QRectF(10, 10, 30, 30));
    w.place(1, w.defineShape(dot, swf::writer::FillStyle::solid(Qt::darkGreen)));
    w.showFrame();
    return w.finish();
}

// Runs the event loop until `done` holds, for at most `ms` (a guard against hanging, not a measure).
bool spinUntil(const std::function<bool()>& done, int ms = 20000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

class DrawingThread : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.isValid());
        QDir(folder_.path()).mkpath(QStringLiteral("pic"));
        write(QStringLiteral("pic/heavy.swf"), heavyMovie());
        write(QStringLiteral("pic/light.swf"), lightMovie());
        core::overrideApplicationFolder(folder_.path().toStdString());
    }
    void TearDown() override { core::overrideApplicationFolder(std::nullopt); }

    void write(const QString& name, const QByteArray& bytes) {
        QFile f(folder_.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static QString installPath(const char* name) {
        return QString::fromStdString(core::applicationFolder()) + "\\pic\\" + QString::fromUtf8(name);
    }

    QTemporaryDir folder_;
};

TEST_F(DrawingThread, AClickNextToAHeavyMovieIsAnsweredWhileItsFrameIsDrawn) {
    QWidget window;
    window.resize(420, 200);
    auto* heavy = new swf::ShockwaveFlash(&window);
    heavy->setGeometry(0, 0, 200, 150);
    heavy->setMovie(installPath("heavy.swf"));
    auto* button = new QPushButton(QStringLiteral("next"), &window);
    button->setGeometry(220, 0, 80, 40);
    int answered = 0, answeredWhileDrawing = 0;
    QObject::connect(button, &QPushButton::clicked, [&] {
        ++answered;
        answeredWhileDrawing += heavy->isDrawing();
    });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    const long droppedBefore = swf::FrameClock::instance().droppedTicks();
    constexpr int kRounds = 3;
    for (int round = 0; round < kRounds; ++round) {
        // A new size is a picture not drawn yet, so another long frame starts.
        heavy->resize(200 - round, 150);
        ASSERT_TRUE(spinUntil([&] { return heavy->isDrawing(); })) << "round " << round;
        // Through the event queue, as the window system delivers a click.
        const QPointF at(40, 20);
        QApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonPress, at, button->mapToGlobal(at),
                                                        Qt::LeftButton, Qt::LeftButton, {}));
        QApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonRelease, at, button->mapToGlobal(at),
                                                        Qt::LeftButton, Qt::NoButton, {}));
        ASSERT_TRUE(spinUntil([&] { return answered == round + 1; })) << "round " << round;
        ASSERT_TRUE(spinUntil([&] { return !heavy->isDrawing(); })) << "round " << round;
    }
    EXPECT_EQ(answeredWhileDrawing, kRounds) << "clicks answered only after the heavy frame was drawn";
    EXPECT_GE(heavy->framesDrawn(), kRounds);
    // The movie plays on: the ticks that came during its frames were dropped, not queued.
    EXPECT_GT(swf::FrameClock::instance().droppedTicks(), droppedBefore);
}

TEST_F(DrawingThread, InputForAMovieBeingDrawnWaitsForTheFrameAndArrivesInOrder) {
    QWidget window;
    window.resize(300, 200);
    auto* other = new QPushButton(&window);
    other->setGeometry(220, 0, 60, 30);
    auto* heavy = new swf::ShockwaveFlash(&window);
    heavy->setGeometry(0, 0, 200, 150);
    heavy->setMovie(installPath("heavy.swf"));
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    other->setFocus();
    QSignalSpy gotFocus(heavy, &swf::ShockwaveFlash::GotFocus);

    ASSERT_TRUE(spinUntil([&] { return heavy->isDrawing(); }));
    // The focus (which turns the reader's pages) moves at once; the movie's own handling waits.
    QTest::mouseClick(heavy, Qt::LeftButton, {}, QPoint(100, 75));
    EXPECT_EQ(gotFocus.count(), 1);
    EXPECT_TRUE(heavy->hasFocus());
    auto menu = heavy->createContextMenu(QPoint(100, 75));
    auto trigger = [&](const char* text) {
        for (QAction* a : menu->actions())
            if (a->text() == QLatin1String(text)) a->trigger();
    };
    trigger("Rewind");
    trigger("Forward");
    trigger("Forward");
    trigger("Back");
    EXPECT_TRUE(heavy->isDrawing()) << "the commands waited for the frame on this thread";
    swf::Player* player = heavy->player();  // waits for the frame, then the commands have run
    ASSERT_NE(player, nullptr);
    EXPECT_FALSE(heavy->isDrawing());
    EXPECT_FALSE(player->isPlaying());
    EXPECT_EQ(player->currentFrame(), 2);  // rewind, forward, forward, back: in that order
}

TEST_F(DrawingThread, AControlChangesItsMovieOrGoesAwayWhileAFrameIsDrawn) {
    {
        swf::ShockwaveFlash control;
        control.resize(200, 150);
        control.setMovie(installPath("heavy.swf"));
        control.show();
        ASSERT_TRUE(spinUntil([&] { return control.isDrawing(); }));
        control.setMovie(installPath("light.swf"));
        EXPECT_FALSE(control.isDrawing());  // the new movie does not wait for the old one's frame
        control.resize(64, 52);
        ASSERT_TRUE(spinUntil([&] { return control.framesDrawn() > 0 && !control.isDrawing(); }));
        const QImage shown = control.grab().toImage();
        EXPECT_EQ(shown.pixelColor(25, 25), QColor(Qt::darkGreen));
    }
    {
        auto control = std::make_unique<swf::ShockwaveFlash>();
        control->resize(200, 150);
        control->setMovie(installPath("heavy.swf"));
        control->show();
        ASSERT_TRUE(spinUntil([&] { return control->isDrawing(); }));
        control.reset();  // waits for its frame, then lets the player go
    }
    // The frame the first control left behind comes back and releases its player here.
    EXPECT_TRUE(spinUntil([] { return swf::FrameClock::instance().registeredCount() == 0; }));
}

TEST_F(DrawingThread, AClickIsAnsweredWhileALargeMovieIsRead) {
    write(QStringLiteral("pic/large.swf"), largeMovie(20));  // 1.2 million edges
    QWidget window;
    window.resize(420, 200);
    auto* control = new swf::ShockwaveFlash(&window);
    control->setGeometry(0, 0, 200, 150);
    auto* button = new QPushButton(QStringLiteral("next"), &window);
    button->setGeometry(220, 0, 80, 40);
    int answered = 0, answeredWhileLoading = 0;
    QObject::connect(button, &QPushButton::clicked, [&] {
        ++answered;
        answeredWhileLoading += control->isLoading();
    });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    control->setMovie(installPath("large.swf"));
    const QPointF at(40, 20);
    QApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonPress, at, button->mapToGlobal(at),
                                                    Qt::LeftButton, Qt::LeftButton, {}));
    QApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonRelease, at, button->mapToGlobal(at),
                                                    Qt::LeftButton, Qt::NoButton, {}));
    ASSERT_TRUE(spinUntil([&] { return answered == 1; }));
    EXPECT_EQ(answeredWhileLoading, 1) << "the click waited for the movie to be read";
    ASSERT_NE(control->player(), nullptr);  // waits for the rest
    EXPECT_FALSE(control->isLoading());
    EXPECT_EQ(control->player()->frameCount(), 1);
}

TEST_F(DrawingThread, FinishDrawingShowsTheCurrentFrameAtOnce) {
    swf::ShockwaveFlash control;
    control.resize(64, 52);
    control.setMovie(installPath("light.swf"));
    control.finishDrawing();
    EXPECT_FALSE(control.isDrawing());
    const QImage shown = control.grab().toImage();
    EXPECT_EQ(shown.pixelColor(25, 25), QColor(Qt::darkGreen));
}

}  // namespace
