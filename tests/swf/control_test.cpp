// The Flash control: movie by installation path, focus and GotFocus, the context menu,
// and a hidden control that leaves the frame clock.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include "core/install_path.h"
#include "script_actions.h"
#include "swf/flash_control.h"
#include "swf/frame_clock.h"
#include "swf/swf.h"
#include "swf/writer/swf_writer.h"

namespace {

using swf::writer::MovieWriter;

// A looping three-frame movie (or a one-frame one) at 24 frames a second.
QByteArray loopingMovie(int frames) {
    MovieWriter w(QSizeF(64, 52), 24);
    w.setBackgroundColor(Qt::darkBlue);
    for (int i = 0; i < frames; ++i) {
        QPainterPath p;
        p.addEllipse(QRectF(4 + 10 * i, 10, 30, 30));
        uint16_t id = w.defineShape(p, swf::writer::FillStyle::solid(QColor(80 * i, 200, 40)));
        if (i == 0) w.place(1, id);
        else w.replace(1, id);
        w.showFrame();
    }
    return w.finish();
}

// One frame whose script sets _root.onEnterFrame = function () { trace("tick"); }.
QByteArray tickingMovie() {
    using namespace swf::test;
    ScriptActions a;
    a.getVar("_root").str("onEnterFrame").function(ScriptActions().str("tick").trace().body()).op(0x4F);
    return movie(tag(12, a.end()) + tag(1, {}), 64, 52, 8, 1);
}

class Control : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.isValid());
        QDir(folder_.path()).mkpath(QStringLiteral("Pic"));
        write(QStringLiteral("Pic/Down.swf"), loopingMovie(3));
        write(QStringLiteral("Pic/still.swf"), loopingMovie(1));
        write(QStringLiteral("Pic/ticking.swf"), tickingMovie());
        write(QStringLiteral("Pic/broken.swf"), QByteArray("FWS\x0a\xff\xff\x00\x00garbage", 16));
        core::overrideApplicationFolder(folder_.path().toStdString());
    }
    void TearDown() override { core::overrideApplicationFolder(std::nullopt); }

    void write(const QString& name, const QByteArray& bytes) {
        QFile f(folder_.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QString installPath(const char* relative) const {
        return QString::fromStdString(core::applicationFolder()) + QString::fromUtf8(relative);
    }

    QTemporaryDir folder_;
};

TEST_F(Control, LoadsTheMovieByInstallationPathAndStaysEmptyOtherwise) {
    swf::ShockwaveFlash control;
    control.setMovie(installPath("\\pic\\down.swf"));
    ASSERT_NE(control.player(), nullptr);
    EXPECT_EQ(control.player()->frameCount(), 3);
    EXPECT_TRUE(control.player()->isPlaying());
    EXPECT_TRUE(control.player()->loops());
    EXPECT_EQ(control.player()->quality(), swf::Quality::High);
    EXPECT_EQ(control.movie(), installPath("\\pic\\down.swf"));

    control.setMovie(installPath("\\pic\\missing.swf"));
    EXPECT_EQ(control.player(), nullptr);
    control.setMovie(installPath("\\pic\\broken.swf"));
    EXPECT_EQ(control.player(), nullptr);
    control.resize(40, 30);
    EXPECT_FALSE(control.grab().isNull());  // an empty control still paints
}

TEST_F(Control, GainingTheFocusRaisesGotFocusEachTime) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* other = new QLineEdit(&window);
    auto* control = new swf::ShockwaveFlash(&window);
    control->setMinimumSize(64, 52);
    layout->addWidget(other);
    layout->addWidget(control);
    control->setMovie(installPath("\\pic\\down.swf"));
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    other->setFocus();
    QSignalSpy gotFocus(control, &swf::ShockwaveFlash::GotFocus);

    QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(30, 20));
    EXPECT_TRUE(control->hasFocus());
    EXPECT_EQ(gotFocus.count(), 1);
    QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(30, 20));
    EXPECT_EQ(gotFocus.count(), 1);  // already focused: no second event

    other->setFocus();
    QTest::keyClick(other, Qt::Key_Tab);
    EXPECT_TRUE(control->hasFocus());
    EXPECT_EQ(gotFocus.count(), 2);

    other->setFocus();
    QTest::mousePress(control, Qt::RightButton, {}, QPoint(30, 20));
    EXPECT_EQ(gotFocus.count(), 3);
    QTest::mouseRelease(control, Qt::RightButton, {}, QPoint(30, 20));

    control->hide();
    other->setFocus();
    QTest::keyClick(other, Qt::Key_Tab);
    EXPECT_FALSE(control->hasFocus());  // a hidden control cannot take the focus
}

TEST_F(Control, ContextMenuActsOnTheMovie) {
    swf::ShockwaveFlash control;
    control.resize(64, 52);
    control.setMovie(installPath("\\pic\\down.swf"));
    ASSERT_NE(control.player(), nullptr);  // loaded: a menu opened while loading has its entries off
    auto menu = control.createContextMenu(QPoint(32, 26));
    QStringList entries;
    std::map<QString, QAction*> byText;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator()) continue;
        entries << a->text();
        byText[a->text()] = a;
    }
    EXPECT_EQ(entries, (QStringList{"Zoom In", "Zoom Out", "Show All", "Quality", "Play", "Loop", "Rewind", "Forward",
                                    "Back", "About"}));
    swf::Player& player = *control.player();
    EXPECT_TRUE(byText["Play"]->isChecked());
    byText["Play"]->trigger();
    EXPECT_FALSE(player.isPlaying());
    byText["Forward"]->trigger();
    EXPECT_EQ(player.currentFrame(), 2);
    byText["Rewind"]->trigger();
    EXPECT_EQ(player.currentFrame(), 1);
    byText["Loop"]->trigger();
    EXPECT_FALSE(player.loops());
    byText["Zoom In"]->trigger();
    EXPECT_DOUBLE_EQ(player.zoom(), 2.0);
    auto again = control.createContextMenu(QPoint(32, 26));
    for (QAction* a : again->actions())
        if (a->text() == QLatin1String("Show All")) a->trigger();
    EXPECT_DOUBLE_EQ(player.zoom(), 1.0);
    for (QAction* a : byText["Quality"]->menu()->actions())
        if (a->text() == QLatin1String("Low")) a->trigger();
    EXPECT_EQ(player.quality(), swf::Quality::Low);
}

TEST_F(Control, HiddenControlNeitherAdvancesNorPaintsAndStillMoviesRest) {
    QWidget window;
    auto* control = new swf::ShockwaveFlash(&window);
    control->setGeometry(0, 0, 64, 52);
    control->setMovie(installPath("\\pic\\down.swf"));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    swf::Player* player = control->player();
    ASSERT_NE(player, nullptr);
    EXPECT_TRUE(player->isScheduled());
    QTRY_VERIFY_WITH_TIMEOUT(player->changedFrames() >= 3, 5000);  // it plays on the shared clock

    control->hide();
    // A frame being drawn when the control goes finishes first; from then on it rests.
    QTRY_VERIFY_WITH_TIMEOUT(!player->isScheduled(), 2000);
    const int frame = player->currentFrame();
    const int changed = player->changedFrames();
    QTest::qWait(300);
    EXPECT_EQ(player->currentFrame(), frame);
    EXPECT_EQ(player->changedFrames(), changed);

    control->show();
    EXPECT_TRUE(player->isScheduled());
    QTRY_VERIFY_WITH_TIMEOUT(player->currentFrame() != frame, 5000);

    // Hiding the window hides the control too.
    window.hide();
    QTRY_VERIFY_WITH_TIMEOUT(!player->isScheduled(), 2000);
    window.show();

    // A one-frame movie never joins the clock.
    auto* still = new swf::ShockwaveFlash(&window);
    still->setGeometry(0, 60, 64, 52);
    still->setMovie(installPath("\\pic\\still.swf"));
    still->show();
    EXPECT_FALSE(still->player()->isScheduled());
}

TEST_F(Control, AOneFrameMovieWhoseRootHandlesEnterFrameKeepsTheClock) {
    QWidget window;
    auto* control = new swf::ShockwaveFlash(&window);
    control->setGeometry(0, 0, 64, 52);
    control->setMovie(installPath("\\pic\\ticking.swf"));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    swf::Player* player = control->player();
    ASSERT_NE(player, nullptr);
    int ticks = 0;
    player->setTraceHandler([&](const QString& line) { ticks += line == QLatin1String("tick"); });
    EXPECT_TRUE(player->isScheduled());
    QTRY_VERIFY_WITH_TIMEOUT(ticks >= 3, 5000);
}

}  // namespace
