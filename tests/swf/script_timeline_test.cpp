// Timelines driven from scripts: where gotos land (and what they run), and what scripts
// still see of a clip once it has left the display list.
#include <gtest/gtest.h>

#include <cstring>

#include "handmade_swf.h"
#include "script_actions.h"
#include "swf/swf.h"

namespace {

using namespace swf::test;
using Actions = swf::test::ScriptActions;

QByteArray cstr(const char* s) { return QByteArray(s) + '\0'; }

QStringList run(const QByteArray& tags, int frameCount, int advances, int version = 8) {
    const QByteArray bytes = swf::test::movie(tags, 100, 100, version, frameCount);
    auto movie = swf::parseMovie(std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())));
    QStringList traces;
    swf::Player player(movie, nullptr, swf::Player::Start::Later);
    player.setTraceHandler([&](const QString& line) { traces << line; });
    for (int i = 0; i < advances; ++i) player.advance();
    return traces;
}

// Four root frames that say which one ran; the third is labelled "Third".
QByteArray fourFrames(const QByteArray& firstFrameScript) {
    QByteArray tags = tag(12, firstFrameScript) + tag(1, {});
    for (const char* name : {"f2", "f3", "f4"}) {
        tags += tag(12, Actions().str(name).trace().end());
        if (std::strcmp(name, "f3") == 0) tags += tag(43, cstr("Third"));
        tags += tag(1, {});
    }
    return tags;
}

TEST(ScriptTimeline, GotoFrameNumbersWrapLabelsFoldCaseAndPastTheEndSkipsTheScript) {
    Actions a;
    a.num(0).call1("_root", "gotoAndStop").traceMember("_root", "_currentframe");        // no goto
    a.num(-5).call1("_root", "gotoAndStop").traceMember("_root", "_currentframe");       // no goto
    a.dbl(2.5).call1("_root", "gotoAndStop").traceMember("_root", "_currentframe");      // a label, none
    a.dbl(4294967298.0).call1("_root", "gotoAndStop").traceMember("_root", "_currentframe");  // wraps to 2
    a.str("third").call1("_root", "gotoAndStop").traceMember("_root", "_currentframe");
    a.num(99).call1("_root", "gotoAndStop").traceMember("_root", "_currentframe");       // the last frame
    const QStringList traces = run(fourFrames(a.end()), 4, 3);
    // Frame 2's and 3's scripts run after the script that jumped; the last frame was
    // reached past its end, so its script does not run.
    EXPECT_EQ(traces, (QStringList{"1", "1", "1", "2", "3", "4", "f2", "f3"}));
}

TEST(ScriptTimeline, GotoTextNamesAnotherClipAndTheSceneBiasAppliesToLabels) {
    Actions a;
    a.str("/:3").call1("_root", "gotoAndStop").traceMember("_root", "_currentframe");
    a.num(2).gotoFrame2(false, 0).traceMember("_root", "_currentframe");
    // A scene starting at frame 2: its label "Third" is looked up, then moved on by the bias.
    a.str("THIRD").gotoFrame2(false, 1).traceMember("_root", "_currentframe");
    const QStringList traces = run(fourFrames(a.end()), 4, 2);
    EXPECT_EQ(traces, (QStringList{"3", "2", "4", "f3", "f2", "f4"}));
}

TEST(ScriptTimeline, AClipsUnloadHandlerStillSeesItsPathAfterRemoval) {
    Actions a;
    a.num(1).str("a").num(2).getVar("_root").str("createEmptyMovieClip").op(0x52).op(0x17);
    a.num(1).str("b").num(2).getVar("a").str("createEmptyMovieClip").op(0x52).op(0x17);
    // a.b.onUnload = function () { trace(this); }
    a.getVar("a.b").str("onUnload").function(Actions().getVar("this").trace().body()).op(0x4F);
    a.call0("a", "removeMovieClip");
    const QStringList traces = run(tag(12, a.end()) + tag(1, {}), 1, 2);
    EXPECT_EQ(traces, (QStringList{"_level0.a.b"}));
}

// A sprite whose only frame traces `this` and `_parent`, inside a button placed unnamed.
QByteArray buttonWithClip() {
    const QByteArray sprite =
        tag(39, u16(1) + u16(1) + tag(12, Actions().getVar("this").trace().getVar("_parent").trace().end()) + tag(1, {}) + u16(0));
    // DefineButton2: one record shown in every state, an empty colour transform, no actions.
    const QByteArray record = QByteArray(1, '\x0F') + u16(1) + u16(1) + translate(0, 0) + QByteArray(1, '\0');
    const QByteArray button = tag(34, u16(2) + QByteArray(1, '\0') + u16(0) + record + QByteArray(1, '\0'));
    return sprite + button + place2(1, 2) + tag(1, {});
}

TEST(ScriptTimeline, AButtonIsNumberedBeforeItsClipsAndBelowSwf6ScriptsSeePastIt) {
    EXPECT_EQ(run(buttonWithClip(), 1, 1, 8), (QStringList{"_level0.instance1.instance2", "_level0.instance1"}));
    EXPECT_EQ(run(buttonWithClip(), 1, 1, 5), (QStringList{"_level0.instance1.instance2", "_level0"}));
}

TEST(ScriptTimeline, ClipEventsOutsideThePlacementsEventSetNeverFire) {
    const QByteArray sprite = tag(39, u16(1) + u16(1) + tag(1, {}) + u16(0));
    auto place = [](int depth, const char* name, uint32_t used) {
        const QByteArray code = Actions().str(name).trace().end();
        const uint32_t events = swf::clip_event::kLoad;
        QByteArray body(1, char(0x02 | 0x20 | 0x80));
        body += u16(depth) + u16(1) + cstr(name);
        body += u16(0) + u32(used) + u32(events) + u32(uint32_t(code.size())) + code + u32(0);
        return tag(26, body);
    };
    const QByteArray tags = sprite + place(1, "listed", swf::clip_event::kLoad) + place(2, "unlisted", 0) + tag(1, {});
    EXPECT_EQ(run(tags, 1, 1), (QStringList{"listed"}));
}

TEST(ScriptTimeline, RewindingRebuildsTheTimelinesDepthsAndKeepsScriptDepths) {
    Actions a;
    a.num(-100).str("low").num(2).getVar("_root").str("createEmptyMovieClip").op(0x52).op(0x17);
    a.num(5).str("high").num(2).getVar("_root").str("createEmptyMovieClip").op(0x52).op(0x17);
    a.num(1).call1("_root", "gotoAndStop");
    a.getVar("low").op(0x44).trace().getVar("high").op(0x44).trace();
    const QByteArray tags = tag(1, {}) + tag(12, a.end()) + tag(1, {});
    EXPECT_EQ(run(tags, 2, 2), (QStringList{"undefined", "movieclip"}));
}

TEST(ScriptTimeline, ClipsWithTheSamePathAreEqualAndDepthsWrap) {
    Actions a;
    for (int depth : {1, 2}) a.num(depth).str("twin").num(2).getVar("_root").str("createEmptyMovieClip").op(0x52).op(0x17);
    auto atDepth = [](Actions& x, int depth) { x.num(depth).num(1).getVar("_root").str("getInstanceAtDepth").op(0x52); };
    atDepth(a, 1);
    atDepth(a, 2);
    a.op(0x49).trace();  // Equals2
    atDepth(a, 1);
    a.getVar("_root").op(0x49).trace();
    a.num(3).str("solo").num(2).getVar("_root").str("createEmptyMovieClip").op(0x52).op(0x17);
    a.dbl(4294967301.0).call1("solo", "swapDepths").num(0).getVar("solo").str("getDepth").op(0x52).trace();
    a.getVar("undefined").call1("solo", "swapDepths");  // no depth: nothing happens
    a.num(0).getVar("solo").str("getDepth").op(0x52).trace();
    EXPECT_EQ(run(tag(12, a.end()) + tag(1, {}), 1, 1), (QStringList{"true", "false", "5", "5"}));
}

TEST(ScriptTimeline, TimelineMovesLeaveWhatAScriptTransformed) {
    const QByteArray sprite = tag(39, u16(1) + u16(1) + tag(1, {}) + u16(0));
    auto placeNamed = [](int depth, const char* name) {
        return tag(26, QByteArray(1, char(0x02 | 0x04 | 0x20)) + u16(depth) + u16(1) + translate(0, 0) + cstr(name));
    };
    auto move = [](int depth, int twips) { return tag(26, QByteArray(1, char(0x01 | 0x04)) + u16(depth) + translate(twips, 0)); };
    Actions first;
    first.getVar("moved").str("_x").num(30).op(0x4F);
    first.getVar("tinted").str("_alpha").num(50).op(0x4F);
    Actions second;
    for (const char* clip : {"moved", "tinted", "untouched"}) second.traceMember(clip, "_x");
    const QByteArray tags = sprite + placeNamed(1, "moved") + placeNamed(2, "tinted") + placeNamed(3, "untouched") +
                            tag(12, first.end()) + tag(1, {}) + move(1, 2000) + move(2, 2000) + move(3, 2000) +
                            tag(12, second.end()) + tag(1, {});
    EXPECT_EQ(run(tags, 2, 2), (QStringList{"30", "0", "100"}));
}

}  // namespace
