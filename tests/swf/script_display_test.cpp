// The display list as scripts see it: which frames count as loaded, what the timeline may
// still do to clips a script moved, names of objects without a script object, code whose
// clip leaves the stage, sprites cut short, masks, sizes of turned clips and hit tests.
#include <gtest/gtest.h>

#include <cmath>

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

// PlaceObject2 of a new character with a name, at x pixels.
QByteArray placeNamed(int depth, int id, const char* name, int x = 0) {
    return tag(26, QByteArray(1, char(0x02 | 0x04 | 0x20)) + u16(depth) + u16(id) + translate(x * 20, 0) + cstr(name));
}
// PlaceObject2 moving what stands at a depth to x pixels.
QByteArray moveTo(int depth, int x) { return tag(26, QByteArray(1, char(0x01 | 0x04)) + u16(depth) + translate(x * 20, 0)); }
QByteArray removeAt(int depth) { return tag(28, u16(depth)); }
QByteArray emptySprite(int id) { return tag(39, u16(id) + u16(1) + tag(1, {}) + u16(0)); }

TEST(ScriptDisplay, ALoadedMovieCountsFramesUpToTheFormatsLimitAndUnknownLabelsAsLoaded) {
    Actions a;
    // WaitForFrame(frame, skip 2) then a trace of the frame's number, which the skip covers.
    for (int frame : {0, 5, 16000, 16001})
        a.action(0x8A, u16(frame) + QByteArray(1, '\x02')).num(frame).trace();
    // WaitForFrame2 takes the frame from the stack, 1-based, as gotoFrame reads it.
    auto waitFor2 = [&](auto push, const char* shown) {
        push();
        a.action(0x8D, QByteArray(1, '\x02')).str(shown).trace();
    };
    waitFor2([&] { a.str("no such label"); }, "label");
    waitFor2([&] { a.num(16001); }, "16001");
    waitFor2([&] { a.num(16002); }, "16002");
    waitFor2([&] { a.dbl(2147483648.0); }, "2^31");
    waitFor2([&] { a.dbl(2147483649.0); }, "2^31+1");
    waitFor2([&] { a.num(-3); }, "-3");
    EXPECT_EQ(run(tag(12, a.end()) + tag(1, {}), 1, 1),
              (QStringList{"0", "5", "16000", "label", "16001", "2^31+1", "-3"}));
}

TEST(ScriptDisplay, TheTimelineNoLongerMovesClipsAScriptMovedButRemovesWhatStandsAtItsDepth) {
    Actions a;
    // b swaps into a's depth (1), a goes to b's (2); c is moved by script, d is left alone.
    a.num(-16383).call1("b", "swapDepths");
    a.getVar("c").str("_x").num(5).op(0x4F);
    QByteArray tags = emptySprite(1) + placeNamed(1, 1, "a") + placeNamed(2, 1, "b") + placeNamed(3, 1, "c") +
                      placeNamed(4, 1, "d") + tag(12, a.end()) + tag(1, {});
    Actions check;
    check.traceMember("a", "_x").traceMember("c", "_x").traceMember("d", "_x");
    check.getVar("b").op(0x44).trace();  // typeof b
    tags += moveTo(2, 100) + moveTo(3, 100) + moveTo(4, 100) + removeAt(1) + tag(12, check.end()) + tag(1, {});
    EXPECT_EQ(run(tags, 2, 2), (QStringList{"0", "5", "100", "undefined"}));
}

TEST(ScriptDisplay, NamesOfShapesStandForTheirClipAndEnumerate) {
    const QByteArray shape = shapeTag(1, 0, 0, 200, 200, QByteArray(1, '\0') + QByteArray("\xFF\x00\x00", 3));
    Actions a;
    a.getVar("box").trace();
    a.getVar("box").getVar("_root").op(0x49).trace();  // box == _root
    a.getVar("box").str("_name").op(0x4E).trace();
    // for (k in _root) trace(k): Enumerate2 leaves the names over an undefined end marker.
    Actions loop;
    loop.getVar("_root").op(0x55);
    QByteArray code = a.body() + loop.body();
    // top: dup; push undefined; equals2; if (true) jump out; trace; jump top
    const QByteArray top = QByteArray(1, '\x4C') + QByteArray("\x96\x01\x00\x03", 4) + QByteArray(1, '\x49');
    const QByteArray traceAndBack = QByteArray(1, '\x26');
    const int backJump = -(int(top.size()) + 5 + int(traceAndBack.size()) + 5);
    code += top + QByteArray(1, '\x9D') + u16(2) + u16(int(traceAndBack.size()) + 5) + traceAndBack +
            QByteArray(1, '\x99') + u16(2) + u16(backJump & 0xFFFF) + QByteArray(1, '\x17') + QByteArray(1, '\0');
    const QByteArray tags = shape + placeNamed(1, 1, "box") + tag(12, code) + tag(1, {});
    // The first level also holds the player's $version.
    EXPECT_EQ(run(tags, 1, 1), (QStringList{"_level0", "true", "", "$version", "box"}));
}

TEST(ScriptDisplay, CodeStopsAfterACallThatTookItsClipOffTheStage) {
    // The clip's frame script sends the root to a frame that removes the clip (by actions
    // that are no calls): a method asked of nothing is no call either, the next real call
    // ends the script.
    Actions inner;
    inner.str("x").trace();
    inner.action(0x8B, cstr("_root")).action(0x81, u16(1)).action(0x8B, cstr(""));
    inner.str("still").trace();
    inner.call0("nothing", "f");
    inner.str("still after nothing").trace();
    inner.call0("_root", "stop");
    inner.str("never").trace();
    const QByteArray sprite = tag(39, u16(2) + u16(1) + tag(12, inner.end()) + tag(1, {}) + u16(0));
    Actions later;
    later.str("root frame 2").trace();
    const QByteArray tags = sprite + place2(1, 2) + tag(1, {}) + removeAt(1) + tag(12, later.end()) + tag(1, {});
    EXPECT_EQ(run(tags, 2, 1), (QStringList{"x", "still", "still after nothing", "root frame 2"}));
}

// A sprite of two frames that trace "1" and "2"; `tail` is what follows its last
// ShowFrame (an End tag, more actions, or nothing).
QByteArray twoFrameSprite(const QByteArray& tail) {
    const QByteArray frames = tag(12, Actions().str("1").trace().end()) + tag(1, {}) +
                              tag(12, Actions().str("2").trace().end()) + tag(1, {});
    return tag(39, u16(1) + u16(2) + frames + tail);
}

TEST(ScriptDisplay, OnlyASpriteClosedAfterAWholeFrameLoops) {
    const auto runSprite = [](const QByteArray& sprite) { return run(sprite + place2(1, 1) + tag(1, {}), 1, 5); };
    EXPECT_EQ(runSprite(twoFrameSprite(u16(0))), (QStringList{"1", "2", "1", "2", "1"}));
    EXPECT_EQ(runSprite(twoFrameSprite({})), (QStringList{"1", "2"}));
    // Actions after the last ShowFrame run once as a frame of their own; then it stays.
    EXPECT_EQ(runSprite(twoFrameSprite(tag(12, Actions().str("tail").trace().end()) + u16(0))),
              (QStringList{"1", "2", "tail"}));
}

TEST(ScriptDisplay, SetMaskAnswersWhetherItTookAndReadsPathsWhereTheCodeRuns) {
    Actions a;
    a.num(1).str("a").num(2).getVar("_root").str("createEmptyMovieClip").op(0x52).op(0x17);
    a.num(2).str("m").num(2).getVar("_root").str("createEmptyMovieClip").op(0x52).op(0x17);
    a.str("m").num(1).getVar("a").str("setMask").op(0x52).trace();        // a sibling, named from _root
    a.str("nothing").num(1).getVar("a").str("setMask").op(0x52).trace();  // names nothing
    a.op(0x96).op(0x01).op(0x00).op(0x02);                                // push null
    a.num(1).getVar("a").str("setMask").op(0x52).trace();                 // clears
    a.num(0).getVar("a").str("setMask").op(0x52).trace();                 // no argument
    EXPECT_EQ(run(tag(12, a.end()) + tag(1, {}), 1, 1), (QStringList{"true", "false", "true", "undefined"}));
}

TEST(ScriptDisplay, WidthOfATurnedClipSizesItsOwnBoxAndKeepsTheOtherSide) {
    // A 200 x 100 pixel rectangle in a clip turned by 90 degrees.
    const QByteArray shape = shapeTag(1, 0, 0, 4000, 2000, QByteArray(1, '\0') + QByteArray("\xFF\x00\x00", 3));
    const QByteArray sprite = tag(39, u16(2) + u16(1) + place2(1, 1) + tag(1, {}) + u16(0));
    Actions a;
    a.getVar("c").str("_rotation").num(90).op(0x4F);
    auto setWidth = [&](int w) {
        a.getVar("c").str("_width").num(w).op(0x4F);
        a.traceMember("c", "_xscale").traceMember("c", "_yscale").traceMember("c", "_width").traceMember("c", "_height");
    };
    setWidth(50);  // the box's long side shows as height: x scale 50% makes it 100 high
    setWidth(50);  // now the height (100) is kept by halving the y scale
    const QByteArray tags = shape + sprite + placeNamed(1, 2, "c") + tag(12, a.end()) + tag(1, {});
    EXPECT_EQ(run(tags, 1, 1), (QStringList{"50", "100", "100", "100", "50", "50", "50", "100"}));
}

// DefineShape4 of two nested squares drawn the same way round with one fill.
QByteArray nestedSquares(int id, bool nonZero) {
    Bits b;
    b.ub(1, 4);  // fill bits
    b.ub(0, 4);  // line bits
    auto square = [&](int x0, int y0, int size, bool first) {
        b.ub(0, 1);
        b.ub(first ? (0x04 | 0x01) : 0x01, 5);  // fill1 (first only) and move
        b.ub(16, 5);
        b.sb(x0, 16);
        b.sb(y0, 16);
        if (first) b.ub(1, 1);
        for (auto [dx, dy] : {std::pair{size, 0}, {0, size}, {-size, 0}, {0, -size}}) {
            b.ub(1, 1);
            b.ub(1, 1);
            b.ub(14, 4);
            b.ub(0, 1);
            b.ub(dy != 0 ? 1 : 0, 1);
            b.sb(dy != 0 ? dy : dx, 16);
        }
    };
    square(0, 0, 1600, true);
    square(400, 400, 800, false);
    b.ub(0, 6);
    QByteArray body = u16(id) + rect(0, 1600, 0, 1600) + rect(0, 1600, 0, 1600) + QByteArray(1, char(nonZero ? 0x04 : 0));
    body += QByteArray(1, '\1') + QByteArray(1, '\0') + QByteArray("\xFF\x00\x00\xFF", 4);  // one solid red fill
    body += QByteArray(1, '\0');  // no line styles
    return tag(83, body + b.bytes());
}

TEST(ScriptDisplay, ShapesHitByTheirWindingRule) {
    auto hits = [](bool nonZero) {
        Actions a;
        for (int at : {40, 10, 90}) a.num(1).num(at).num(at).num(3).getVar("_root").str("hitTest").op(0x52).trace();
        return run(nestedSquares(1, nonZero) + place2(1, 1) + tag(12, a.end()) + tag(1, {}), 1, 1);
    };
    EXPECT_EQ(hits(false), (QStringList{"false", "true", "false"}));  // the inner square is a hole
    EXPECT_EQ(hits(true), (QStringList{"true", "true", "false"}));
}

TEST(ScriptDisplay, CallRunsAFramesScriptsInPlaceAndEndlessCallsAreCutOff) {
    Actions first;
    first.str("third").op(0x9E).op(0).op(0);  // call("third"): the label of frame 3
    first.str("after").trace().op(0x07);      // stop()
    QByteArray tags = tag(12, first.end()) + tag(1, {}) + tag(1, {});
    tags += tag(43, cstr("third")) + tag(12, Actions().str("A").trace().traceMember("_root", "_currentframe").end()) +
            tag(12, Actions().str("B").trace().end()) + tag(1, {});
    EXPECT_EQ(run(tags, 3, 1), (QStringList{"A", "1", "B", "after"}));

    // A frame that calls itself: the call depth limit ends it, and the player lives on.
    Actions endless;
    endless.str("x").trace().num(1).op(0x9E).op(0).op(0);
    const QStringList traces = run(tag(12, endless.end()) + tag(1, {}), 1, 2);
    EXPECT_GT(traces.size(), 10);
    EXPECT_LT(traces.size(), 1000);
}

TEST(ScriptDisplay, UndefinedAndNullLeaveDisplayPropertiesAloneInEveryVersion) {
    Actions a;
    a.num(1).str("c").num(2).getVar("_root").str("createEmptyMovieClip").op(0x52).op(0x17);
    a.getVar("c").str("_x").num(5).op(0x4F);
    a.getVar("c").str("_x").op(0x96).op(0x01).op(0x00).op(0x03).op(0x4F);  // c._x = undefined
    a.getVar("c").str("_visible").op(0x96).op(0x01).op(0x00).op(0x02).op(0x4F);  // c._visible = null
    a.traceMember("c", "_x").traceMember("c", "_visible");
    for (int version : {6, 8}) EXPECT_EQ(run(tag(12, a.end()) + tag(1, {}), 1, 1, version), (QStringList{"5", "true"}));
}

TEST(ScriptDisplay, TheRootHasItsOwnTransformThatChildrenReachTheStageThrough) {
    Actions a;
    a.num(1).str("c").num(2).getVar("_root").str("createEmptyMovieClip").op(0x52).op(0x17);
    a.getVar("_root").str("_x").num(10).op(0x4F);
    a.getVar("_root").str("_xscale").num(200).op(0x4F);
    a.getVar("c").str("_x").num(3).op(0x4F);
    a.traceMember("_root", "_x").traceMember("_root", "_xscale");
    // p = {x: 1, y: 0}; c.localToGlobal(p); trace(p.x);  ->  10 + 2 * (3 + 1)
    a.str("p").str("x").num(1).str("y").num(0).num(2).op(0x43).op(0x3C);
    a.getVar("p").num(1).getVar("c").str("localToGlobal").op(0x52).op(0x17);
    a.traceMember("p", "x");
    // Setting a position past 32-bit twips leaves it at the lowest one, as infinity does.
    a.getVar("_root").str("_y").dbl(1e300).op(0x4F).traceMember("_root", "_y");
    EXPECT_EQ(run(tag(12, a.end()) + tag(1, {}), 1, 1), (QStringList{"10", "200", "18", "-107374182.4"}));
}

TEST(ScriptDisplay, PropertiesKeepThePlayersOwnUnits) {
    Actions a;
    auto setMember = [&](const char* name, auto push) {
        a.getVar("c").str(name);
        push();
        a.op(0x4F);
    };
    setMember("_alpha", [&] { a.num(2); });  // 256ths of the colour multiplier, cut down
    a.traceMember("c", "_alpha");
    setMember("_x", [&] { a.dbl(5.52); });  // whole twips
    a.traceMember("c", "_x");
    setMember("_xscale", [&] { a.dbl(INFINITY); });
    a.traceMember("c", "_xscale");
    setMember("_rotation", [&] { a.dbl(INFINITY); });
    a.traceMember("c", "_rotation");
    setMember("_rotation", [&] { a.num(90); });
    a.traceMember("c", "_rotation");
    setMember("_highquality", [&] { a.num(2); });
    a.traceMember("c", "_highquality").traceMember("c", "_quality");
    setMember("_highquality", [&] { a.num(-5); });
    a.traceMember("c", "_highquality");
    setMember("_soundbuftime", [&] { a.dbl(1.5); });
    a.traceMember("c", "_soundbuftime");
    // A level takes a name, and keeps its path.
    a.str("_level0").num(13).str("top").op(0x23);
    a.traceMember("_level0", "_name").getVar("_level0").trace();
    EXPECT_EQ(run(emptySprite(1) + placeNamed(1, 1, "c") + tag(12, a.end()) + tag(1, {}), 1, 1),
              (QStringList{"1.953125", "5.5", "Infinity", "NaN", "90", "2", "BEST", "1", "1", "top", "_level0"}));
}

TEST(ScriptDisplay, AttachedClipsMeetTheirClassWithTheirChildrenPlacedAndButtonsAttachToo) {
    const QByteArray withChild = tag(39, u16(2) + u16(1) + placeNamed(1, 1, "child") + tag(1, {}) + u16(0));
    const QByteArray button = tag(34, u16(3) + QByteArray(1, '\0') + u16(0) + QByteArray(1, '\0'));
    const QByteArray exports = tag(56, u16(2) + u16(2) + cstr("withChild") + u16(3) + cstr("btn"));
    Actions ctor;
    ctor.getVar("this").str("child").op(0x4E).op(0x44).trace();  // typeof this.child
    ctor.getVar("this").str("__constructor__").op(0x4E).getVar("C").op(0x66).trace();
    Actions a;
    a.str("C").function(ctor.body()).op(0x1D);
    for (const char* symbol : {"withChild", "btn"})
        a.getVar("C").str(symbol).num(2).getVar("Object").str("registerClass").op(0x52).op(0x17);
    a.num(1).str("m").str("withChild").num(3).getVar("_root").str("attachMovie").op(0x52).op(0x44).trace();
    a.num(2).str("b").str("btn").num(3).getVar("_root").str("attachMovie").op(0x52).op(0x44).trace();
    a.getVar("_root").str("b").op(0x4E).getVar("Button").op(0x54).trace();  // _root.b instanceof Button
    // A slash path without a variable names clips only.
    a.str("_root.m.v").num(1).op(0x1D);
    a.getVar("m/child").trace().getVar("_root.m/v").trace().getVar("_root.m:v").trace();
    EXPECT_EQ(run(emptySprite(1) + withChild + button + exports + tag(12, a.end()) + tag(1, {}), 1, 1),
              (QStringList{"movieclip", "true", "movieclip", "object", "true", "_level0.m.child", "undefined", "1"}));
}

TEST(ScriptDisplay, PathsSplitTheirVariableAtTheLastDotOrColonAndDotsAfterASlashAreNames) {
    const QByteArray outer = tag(39, u16(2) + u16(1) + placeNamed(1, 1, "c2") + tag(1, {}) + u16(0));
    Actions a;
    a.str("c1.c2.v").str("text").op(0x1D);
    a.getVar("c1/c2").trace();       // a clip
    a.getVar("c1.c2:v").trace();     // a variable
    a.getVar("/c1.c2:v").trace();    // "c1.c2" is one name after the slash
    a.getVar("c1/..").trace();       // the variable would be the last dot's
    a.str("//").num(13).op(0x22).trace();  // two slashes lead nowhere
    // A target that ends on a primitive is refused, and the player says so.
    a.str("c1.c2:v").num(13).op(0x22).trace();
    EXPECT_EQ(run(emptySprite(1) + outer + placeNamed(1, 2, "c1") + tag(12, a.end()) + tag(1, {}), 1, 1),
              (QStringList{"_level0.c1.c2", "text", "undefined", "undefined", "undefined",
                           "Parameters of primitive types are no longer coerced into the required type - Object.",
                           "undefined"}));
}

}  // namespace
