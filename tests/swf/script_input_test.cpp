// The mouse and the clock as scripts see them: the root's enterFrame, mouse buttons in
// Key.isDown, buttons that scripts disable while the mouse is over them, and intervals.
#include <gtest/gtest.h>

#include "handmade_swf.h"
#include "script_actions.h"
#include "swf/swf.h"

namespace {

using namespace swf::test;
using Actions = swf::test::ScriptActions;

struct ScriptedPlayer {
    std::shared_ptr<const swf::Movie> movie;
    QStringList traces;
    std::unique_ptr<swf::Player> player;

    ScriptedPlayer(const QByteArray& tags, int frameCount) {
        const QByteArray bytes = swf::test::movie(tags, 100, 100, 8, frameCount);
        movie = swf::parseMovie(std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())));
        player = std::make_unique<swf::Player>(movie, nullptr, swf::Player::Start::Later);
        player->setViewSize(QSize(100, 100));
        player->setTraceHandler([this](const QString& line) { traces << line; });
    }
};

TEST(ScriptInput, TheRootGetsEnterFrameAndScriptsSeeTheMouseButtons) {
    // _root.onEnterFrame = function () { trace(Key.isDown(1) + "," + Key.isDown(4)); }
    Actions body;
    body.num(1).num(1).getVar("Key").str("isDown").op(0x52).str(",").op(0x47);
    body.num(4).num(1).getVar("Key").str("isDown").op(0x52).op(0x47).trace();
    Actions a;
    a.getVar("_root").str("onEnterFrame").function(body.body()).op(0x4F);
    ScriptedPlayer r(tag(12, a.end()) + tag(1, {}), 1);
    r.player->advance();  // the first frame: no enterFrame yet
    r.player->mousePress(QPointF(10, 10));
    r.player->advance();
    r.player->mouseRelease(QPointF(10, 10));
    r.player->setMouseButtonDown(4, true);
    r.player->otherMouseButton(QPointF(10, 10), false);
    r.player->advance();
    r.player->setMouseButtonDown(4, false);
    r.player->otherMouseButton(QPointF(10, 10), false);
    r.player->advance();
    EXPECT_EQ(r.traces, (QStringList{"true,false", "false,true", "false,false"}));
}

TEST(ScriptInput, ADisabledButtonKeepsItsStateUntilEnabledAgain) {
    // A 50 x 50 pixel button "b" at the top left; frame 1 gives it roll handlers, frame 2
    // disables it, frame 3 enables it and stops.
    const QByteArray shape = shapeTag(1, 0, 0, 1000, 1000, QByteArray("\x00\xff\x00\x00", 4));
    const QByteArray record = QByteArray(1, '\x0F') + u16(1) + u16(1) + translate(0, 0) + QByteArray(1, '\0');
    const QByteArray button = tag(34, u16(2) + QByteArray(1, '\0') + u16(0) + record + QByteArray(1, '\0'));
    const QByteArray placeNamed = tag(26, QByteArray(1, char(0x02 | 0x20)) + u16(1) + u16(2) + QByteArray("b") + '\0');
    Actions handlers;
    handlers.getVar("b").str("onRollOver").function(Actions().str("over").trace().body()).op(0x4F);
    handlers.getVar("b").str("onRollOut").function(Actions().str("out").trace().body()).op(0x4F);
    Actions disable, enable;
    disable.getVar("b").str("enabled").num(0).op(0x4F);
    enable.getVar("b").str("enabled").num(1).op(0x4F).op(0x07);
    const QByteArray tags = shape + button + placeNamed + tag(12, handlers.end()) + tag(1, {}) + tag(12, disable.end()) +
                            tag(1, {}) + tag(12, enable.end()) + tag(1, {});
    ScriptedPlayer r(tags, 3);
    r.player->advance();
    r.player->mouseMove(QPointF(20, 20));
    EXPECT_EQ(r.traces, (QStringList{"over"}));
    r.player->advance();                   // disabled under the mouse: no rollOut
    r.player->mouseMove(QPointF(80, 80));  // and none when the mouse leaves it
    EXPECT_EQ(r.traces, (QStringList{"over"}));
    r.player->advance();  // enabled again, the mouse elsewhere: now it rolls out
    EXPECT_EQ(r.traces, (QStringList{"over", "out"}));
}

TEST(ScriptInput, IntervalsFireAsOftenAsTheFrameTimeAllowsAndKeepAStoppedMovieTicking) {
    // stop(); setInterval(function () { trace("a"); }, 30); setInterval(function () { trace("b"); }, 1);
    Actions a;
    a.op(0x07);
    a.num(30).function(Actions().str("a").trace().body()).num(2).str("setInterval").op(0x3D).op(0x17);
    a.num(1).function(Actions().str("b").trace().body()).num(2).str("setInterval").op(0x3D).op(0x17);
    ScriptedPlayer r(tag(12, a.end()) + tag(1, {}), 1);
    r.player->setFrameTime(100);
    r.player->advance();
    // Within the frame's 100 ms: "a" at 30, 60 and 90; "b" no closer than every 10 ms.
    EXPECT_EQ(r.traces.count("a"), 3);
    EXPECT_EQ(r.traces.count("b"), 10);
    EXPECT_EQ(r.traces.mid(0, 4), (QStringList{"b", "b", "b", "a"}));
    // One frame, stopped: only the intervals need the clock, and they keep it.
    EXPECT_TRUE(r.player->isScheduled());
    r.player->advance();
    EXPECT_EQ(r.traces.count("a"), 6);
    r.player->setActive(false);
}

}  // namespace
