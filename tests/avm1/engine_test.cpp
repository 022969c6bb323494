// The engine without the player: conversions, tricky actions, the object model, limits and
// hostile action bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <random>

#include "assembler.h"
#include "fake_host.h"
#include "script_fixture.h"
#include "swf/avm1/value.h"

using namespace avm1test;

namespace {

class EngineTest : public ScriptFixture {
protected:
    Asm traceOf(const std::string& expression) {
        Asm a;
        a.str(expression).getVariable().trace();
        return a;
    }
};

TEST(Avm1Values, NumbersPrintWithFifteenDigitsAndExponentsAtTheEdges) {
    EXPECT_EQ(numberToString(0.1 + 0.2), "0.3");
    EXPECT_EQ(numberToString(1.0 / 3), "0.333333333333333");
    EXPECT_EQ(numberToString(-2.5), "-2.5");
    EXPECT_EQ(numberToString(1e21), "1e+21");
    EXPECT_EQ(numberToString(123456789012345680000.0), "1.23456789012346e+20");
    EXPECT_EQ(numberToString(0.00001), "0.00001");
    EXPECT_EQ(numberToString(0.000001), "1e-6");
    EXPECT_EQ(numberToString(-0.0), "0");
    EXPECT_EQ(numberToString(std::nan("")), "NaN");
    EXPECT_EQ(numberToString(-INFINITY), "-Infinity");
    EXPECT_EQ(numberToString(4294967296.0), "4294967296");
}

TEST(Avm1Values, StringsBecomeNumbersByVersion) {
    EXPECT_EQ(stringToNumber("  12.5", 7), 12.5);
    EXPECT_TRUE(std::isnan(stringToNumber("", 7)));
    EXPECT_EQ(stringToNumber("", 4), 0);
    EXPECT_EQ(stringToNumber("abc", 4), 0);
    EXPECT_TRUE(std::isnan(stringToNumber("12abc", 6)));
    EXPECT_EQ(stringToNumber("0x10", 6), 16);
    EXPECT_TRUE(std::isnan(stringToNumber("0x10", 5)));
    EXPECT_EQ(stringToNumber("010", 6), 8);
    EXPECT_EQ(stringToNumber("019", 6), 19);
    EXPECT_EQ(stringToNumber("-1e3", 7), -1000);
    EXPECT_EQ(toInt32(4294967297.0), 1);
    EXPECT_EQ(toInt32(-1.5), -1);
    EXPECT_EQ(toUint32(-1), 4294967295u);
}

TEST(Avm1Values, NumbersUsedAsFramesAndDepthsStayInsideTheIntRange) {
    using swf::avm1::clampToInt;
    EXPECT_EQ(clampToInt(std::nan("")), 0);
    EXPECT_EQ(clampToInt(-2.9), -2);
    EXPECT_EQ(clampToInt(2130690045), 2130690045);  // the first depth past the top one
    EXPECT_GT(clampToInt(INFINITY), 2130690045);
    EXPECT_LT(clampToInt(-1e300), -2130690045);
    EXPECT_EQ(clampToInt(1e300) - 16384 + 16384, clampToInt(1e300));  // room left for offsets
}

TEST(Avm1Values, Utf16RoundTripKeepsSurrogatePairs) {
    std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // a é € 😀
    std::u16string u = toUtf16(text);
    EXPECT_EQ(u.size(), 5u);
    EXPECT_EQ(toUtf8(u), text);
}

TEST_F(EngineTest, UndefinedPrintsByVersionAndAddConcatenatesStrings) {
    makeEngine(6);
    Asm code;
    code.str("x").undef().add2().trace();  // "x" + undefined
    code.num(1).str("2").add2().trace();
    code.num(1).num(2).add2().trace();
    run(code);
    ASSERT_EQ(traces.size(), 3u);
    EXPECT_EQ(traces[0], "x");
    EXPECT_EQ(traces[1], "12");
    EXPECT_EQ(traces[2], "3");

    traces.clear();
    makeEngine(7);
    run(Asm().str("x").undef().add2().trace());
    EXPECT_EQ(traces.at(0), "xundefined");
}

TEST_F(EngineTest, VariableNamesFoldCaseBelowVersion7) {
    makeEngine(6);
    run(Asm().str("Foo").num(1).setVariable().str("FOO").getVariable().trace());
    EXPECT_EQ(traces.at(0), "1");
    traces.clear();
    makeEngine(7);
    run(Asm().str("Foo").num(1).setVariable().str("FOO").getVariable().trace());
    EXPECT_EQ(traces.at(0), "undefined");
}

TEST_F(EngineTest, Function2TakesParametersInRegistersAndPreloadsThis) {
    // function add(a, b) { return a + b + ":" + this; }: this preloaded in r1, a in r2, b in r3.
    Asm body;
    body.reg(2).reg(3).add2().str(":").add2().reg(1).add2().ret();
    Asm code;
    code.function2("add", {{2, "a"}, {3, "b"}}, 4, 0x01, body);
    code.num(3).num(2).num(2).str("add").callFunction().trace();
    run(code);
    // this is the root clip, which prints as its target.
    EXPECT_EQ(traces.at(0), "5:_level0");
}

TEST_F(EngineTest, ClosuresSeeTheirDefiningActivation) {
    // function outer() { var v = "inner sees me"; return function () { return v; }; }
    Asm inner;
    inner.str("v").getVariable().ret();
    Asm outer;
    outer.str("v").str("inner sees me").op(0x3C);  // DefineLocal
    outer.function1("", {}, inner).ret();
    Asm code;
    code.function1("outer", {}, outer);
    code.num(0).str("outer").callFunction().storeRegister(1).pop();
    code.num(0).reg(1).undef().callMethod().trace();
    code.str("v").getVariable().trace();  // not leaked to the timeline
    run(code);
    ASSERT_EQ(traces.size(), 2u);
    EXPECT_EQ(traces[0], "inner sees me");
    EXPECT_EQ(traces[1], "undefined");
}

TEST_F(EngineTest, TryCatchFinallyRunsEachBlockOnceAndRethrowsNothing) {
    Asm tryBlock;
    tryBlock.str("try").trace().str("boom").op(0x2A).str("not reached").trace();
    Asm catchBlock;
    catchBlock.str("e").getVariable().trace();
    Asm finallyBlock;
    finallyBlock.str("finally").trace();
    Asm code;
    code.tryCatch(tryBlock, "e", catchBlock, &finallyBlock).str("after").trace();
    run(code);
    EXPECT_EQ(traces, (std::vector<std::string>{"try", "boom", "finally", "after"}));
}

TEST_F(EngineTest, UncaughtThrowEndsOnlyThatRun) {
    run(Asm().str("first").trace().str("err").op(0x2A).str("never").trace());
    run(Asm().str("second").trace());
    EXPECT_EQ(traces, (std::vector<std::string>{"first", "Warning: Uncaught exception, err", "second"}));
    EXPECT_FALSE(engine->scriptsDisabled());
}

TEST_F(EngineTest, WithPutsTheObjectFirstInTheScope) {
    Asm code;
    code.str("o").num(0).op(0x43).setVariable();  // o = {}
    code.str("o").getVariable().str("x").num(7).setMember();
    Asm inside;
    inside.str("x").getVariable().trace();
    code.str("o").getVariable().with(inside);
    code.str("x").getVariable().trace();
    run(code);
    EXPECT_EQ(traces, (std::vector<std::string>{"7", "undefined"}));
}

TEST_F(EngineTest, ForInListsNewestPropertiesFirstAndSkipsHiddenOnes) {
    Asm code;
    code.str("o").num(0).op(0x43).setVariable();
    for (const char* name : {"a", "b", "c"}) code.str("o").getVariable().str(name).num(1).setMember();
    // ASSetPropFlags(o, "b", 1)
    code.num(1).str("b").str("o").getVariable().num(3).str("ASSetPropFlags").callFunction().pop();
    code.str("o").op(0x46);  // Enumerate
    // loop: r0 = pop; if r0 == null break; trace r0
    size_t top = code.size();
    code.storeRegister(0).null().op(0x49);
    Asm tail;
    tail.reg(0).trace();
    tail.jump(0);
    int16_t exitOffset = int16_t(tail.size());
    code.ifTrue(exitOffset);
    size_t bodyStart = code.size();
    code.reg(0).trace();
    int16_t back = int16_t(int(top) - int(bodyStart + tail.size()));
    code.jump(back);
    code.pop();
    run(code);
    EXPECT_EQ(traces, (std::vector<std::string>{"c", "a"}));
}

TEST_F(EngineTest, AddPropertyGettersAndWatchersSeeAssignments) {
    // o.addProperty("p", function () { return 42; }, null); trace(o.p)
    Asm getter;
    getter.num(42).ret();
    Asm code;
    code.str("o").num(0).op(0x43).setVariable();
    code.null().function1("", {}, getter).str("p").num(3).str("o").getVariable().str("addProperty").callMethod().trace();
    code.str("o").getVariable().str("p").getMember().trace();
    // o.watch("w", function (name, old, nv) { return nv * 2; }); o.w = 5; trace(o.w)
    Asm watcher;
    watcher.str("nv").getVariable().num(2).op(0x0C).ret();
    code.function1("", {"name", "old", "nv"}, watcher).str("w").num(2).str("o").getVariable().str("watch").callMethod().pop();
    code.str("o").getVariable().str("w").num(5).setMember();
    code.str("o").getVariable().str("w").getMember().trace();
    run(code);
    EXPECT_EQ(traces, (std::vector<std::string>{"true", "42", "10"}));
}

TEST_F(EngineTest, ArraySortHonoursItsFlags) {
    Asm code;
    // a = [10, 9, 1]; trace(a.sort()); trace(a.sort(Array.NUMERIC | Array.DESCENDING))
    code.str("a").num(1).num(9).num(10).num(3).op(0x42).setVariable();
    code.num(0).str("a").getVariable().str("sort").callMethod().trace();
    code.num(18).num(1).str("a").getVariable().str("sort").callMethod().trace();
    code.num(8).num(1).str("a").getVariable().str("sort").callMethod().trace();  // RETURNINDEXEDARRAY
    run(code);
    EXPECT_EQ(traces, (std::vector<std::string>{"1,10,9", "10,9,1", "2,0,1"}));
}

// ---- limits: each ends in a stopped script, never a crash or a hang ----

TEST_F(EngineTest, InfiniteLoopStopsAndDisablesScripts) {
    Limits limits;
    limits.maxRunSeconds = 0.2;
    makeEngine(8, limits);
    Asm loop;
    loop.jump(-5);
    run(loop);
    EXPECT_TRUE(engine->scriptsDisabled());
    run(Asm().str("after").trace());
    EXPECT_TRUE(traces.empty());
}

TEST_F(EngineTest, DeepRecursionStops) {
    // function f() { f(); } f();
    Asm body;
    body.num(0).str("f").callFunction().pop();
    Asm code;
    code.function1("f", {}, body).num(0).str("f").callFunction().pop();
    run(code);
    EXPECT_TRUE(engine->scriptsDisabled());
}

TEST_F(EngineTest, HugeArraysAndStringsStop) {
    Limits limits;
    limits.maxArrayLength = 1 << 16;
    limits.maxStringBytes = 1 << 20;
    makeEngine(8, limits);
    // a = []; a.length = 1e9: only remembered, nothing is made for it.
    run(Asm().str("a").num(0).op(0x42).setVariable().str("a").getVariable().str("length").num(1e9).setMember());
    run(traceOf("a.length"));
    EXPECT_EQ(traces, (std::vector<std::string>{"1000000000"}));
    EXPECT_FALSE(engine->scriptsDisabled());
    // Elements past the limit are never made: a[65535] = 1 fills the array, a.push(2) stops.
    Asm fill;
    fill.str("a").getVariable().str("65535").num(1).setMember();
    fill.num(2).num(1).str("a").getVariable().str("push").callMethod().pop();
    run(fill);
    EXPECT_TRUE(engine->scriptsDisabled());

    makeEngine(8, limits);
    // s = "xxxxxxxx"; loop: s = s + s
    Asm code;
    code.str("s").str("xxxxxxxx").setVariable();
    size_t top = code.size();
    code.str("s").str("s").getVariable().str("s").getVariable().add2().setVariable();
    code.jump(int16_t(int(top) - int(code.size() + 5)));
    run(code);
    EXPECT_TRUE(engine->scriptsDisabled());
}

TEST_F(EngineTest, RunningOutOfObjectsStopsTheScriptWithoutFreeingWhatItHolds) {
    // r1 = {v: "kept"}; for (r2 = 0; r2 < 30000; ++r2) {}; trace(r1.v)
    // The object in r1 is reachable only from the running script's register: running
    // out of objects mid-script must stop it, not collect that object under it.
    Limits limits;
    limits.maxObjects = 20000;
    makeEngine(8, limits);
    Asm body;
    body.num(0).op(0x43).pop();
    Asm step;
    step.reg(2).op(0x50).storeRegister(2).pop();
    Asm test;
    test.reg(2).num(30000).op(0x48).op(0x12);
    test.ifTrue(int16_t(body.size() + step.size() + 5));
    Asm code;
    code.str("v").str("kept").num(1).op(0x43).storeRegister(1).pop();
    code.num(0).storeRegister(2).pop();
    for (const Asm* part : {&test, &body, &step}) code.append(*part);
    code.jump(int16_t(-int(test.size() + body.size() + step.size() + 5)));
    code.reg(1).str("v").getMember().trace();
    run(code);
    EXPECT_TRUE(traces.empty());
    EXPECT_TRUE(engine->scriptsDisabled());
}

TEST_F(EngineTest, SelfReferencingPrototypeStopsThatScriptOnly) {
    Asm code;
    code.str("o").num(0).op(0x43).setVariable();
    code.str("o").getVariable().str("__proto__").str("o").getVariable().setMember();
    code.str("o").getVariable().str("missing").getMember().trace();
    code.str("not reached").trace();
    run(code);
    EXPECT_TRUE(traces.empty());
    EXPECT_FALSE(engine->scriptsDisabled());
    run(Asm().str("next script").trace());
    EXPECT_EQ(traces, (std::vector<std::string>{"next script"}));
}

TEST_F(EngineTest, ArrayContainingItselfStopsInsteadOfOverflowing) {
    // a = []; a[0] = a; trace(a)
    Asm code;
    code.str("a").num(0).op(0x42).setVariable();
    code.str("a").getVariable().str("0").str("a").getVariable().setMember();
    code.str("a").getVariable().trace();
    run(code);
    EXPECT_TRUE(engine->scriptsDisabled());
}

TEST_F(EngineTest, CollectorFreesCycles) {
    makeEngine(8);
    run(Asm());  // the built-in objects exist from the first run on
    engine->collectGarbage();
    size_t before = engine->heapObjectCount();
    // Make 1000 pairs that point at each other, reachable from nothing.
    Asm code;
    for (int i = 0; i < 1000; ++i) {
        code.num(0).op(0x43).storeRegister(1).pop();
        code.num(0).op(0x43).storeRegister(2).pop();
        code.reg(1).str("other").reg(2).setMember();
        code.reg(2).str("other").reg(1).setMember();
    }
    run(code);
    engine->collectGarbage();
    EXPECT_LE(engine->heapObjectCount(), before + 10);
}

TEST_F(EngineTest, HostileActionBytesNeverCrash) {
    std::mt19937 rng(1234);
    makeEngine(8);
    Limits limits;
    limits.maxRunSeconds = 0.05;
    for (int round = 0; round < 3000; ++round) {
        if (round % 500 == 0) makeEngine(5 + round / 500 % 4, limits);
        std::vector<uint8_t> bytes(rng() % 64);
        for (auto& b : bytes) {
            uint32_t r = rng();
            // Bias towards real opcodes so that the interesting paths run.
            b = r % 3 == 0 ? uint8_t(0x80 + r % 0x20) : r % 3 == 1 ? uint8_t(r % 0x70) : uint8_t(r >> 8);
        }
        blocks.push_back(bytes);
        engine->runActions(blocks.back(), host.root);
    }
    SUCCEED();
}

TEST_F(EngineTest, TruncatedRecordsAndWildJumpsEndTheBlock) {
    std::vector<std::vector<uint8_t>> cases = {
        {0x96, 0xFF, 0xFF, 0x00},             // push longer than the block
        {0x96, 0x02, 0x00, 0x09},             // constant index without its bytes
        {0x99, 0x02, 0x00, 0x00, 0x80},       // jump far before the start
        {0x99, 0x02, 0x00, 0xFF, 0x7F},       // jump far past the end
        {0x8E, 0x03, 0x00, 0x00, 0xFF, 0xFF},  // function definition cut short
        {0x8F, 0x01, 0x00, 0x07},             // try without its sizes
    };
    makeEngine(8);
    for (auto& c : cases) {
        blocks.push_back(c);
        engine->runActions(blocks.back(), host.root);
    }
    run(Asm().str("still running").trace());
    EXPECT_EQ(traces, (std::vector<std::string>{"still running"}));
}

TEST_F(EngineTest, GetUrlPassesOnlyWebAddressesToTheHost) {
    makeEngine(8);
    Asm code;
    for (const char* url : {"https://example.org/", "javascript:alert(1)", "file:///etc/passwd", "FSCommand:quit",
                            "http://example.com/a"})
        code.str(url).str("_blank").record(0x9A, {0});
    run(code);
    EXPECT_EQ(host.urls, (std::vector<std::string>{"https://example.org/", "http://example.com/a"}));
}

TEST_F(EngineTest, TimersFireAsMovieTimeAdvances) {
    // setInterval(function () { trace("tick"); }, 100)
    Asm body;
    body.str("tick").trace();
    Asm code;
    code.num(100).function1("", {}, body).num(2).str("setInterval").callFunction().pop();
    run(code);
    engine->advanceTime(50);
    EXPECT_TRUE(traces.empty());
    engine->advanceTime(60);
    engine->advanceTime(100);
    EXPECT_EQ(traces.size(), 2u);
}

// A movie whose scripts have not run yet holds no script objects: the player's questions are
// answered as an empty engine would, and the first script finds everything in place.
TEST_F(EngineTest, StartsWithTheFirstScriptAndAnswersAsEmptyUntilThen) {
    makeEngine(8);
    engine->advanceTime(250);
    EXPECT_FALSE(engine->hasHandler(host.root, "onEnterFrame"));
    EXPECT_FALSE(engine->callHandler(host.root, "onLoad"));
    EXPECT_EQ(engine->booleanProperty(host.root, "tabEnabled"), std::nullopt);
    EXPECT_EQ(engine->getVariable(host.root, "x"), std::nullopt);
    engine->broadcastMouse(MouseEvent::Move);
    engine->displayObjectCreated(host.root);
    EXPECT_FALSE(engine->hasTimers());
    EXPECT_FALSE(engine->scriptsDisabled());
    EXPECT_FALSE(engine->isStarted());
    EXPECT_EQ(engine->heapObjectCount(), 0u);

    // The trace sink given before the start is used; movie time before it counts as well,
    // so a timeout set now falls due after its own delay only.
    Asm body;
    body.str("late").trace();
    Asm code;
    code.str("first").trace();
    code.num(100).function1("", {}, body).num(2).str("setTimeout").callFunction().pop();
    code.str("onEnterFrame").function1("", {}, Asm()).setVariable();
    run(code);
    EXPECT_TRUE(engine->isStarted());
    EXPECT_GT(engine->heapObjectCount(), 100u);
    EXPECT_TRUE(engine->hasHandler(host.root, "onEnterFrame"));
    EXPECT_EQ(traces, (std::vector<std::string>{"first"}));
    engine->advanceTime(90);
    EXPECT_EQ(traces.size(), 1u);
    engine->advanceTime(20);
    EXPECT_EQ(traces, (std::vector<std::string>{"first", "late"}));

    // Setting a variable (a text field bound to one) starts the engine too.
    Engine other(host, 8);
    other.setVariable(host.root, "answer", "42");
    EXPECT_TRUE(other.isStarted());
    EXPECT_EQ(other.getVariable(host.root, "answer"), std::optional<std::string>("42"));
}

TEST_F(EngineTest, ThisIsALocalOfEachFunctionAndAssignableOnTheTimeline) {
    // this = "t" on the timeline; function f() { trace(this); this = 1; trace(this); } f(); trace(this)
    Asm body;
    body.str("this").getVariable().trace().str("this").num(1).setVariable().str("this").getVariable().trace();
    Asm code;
    code.function1("f", {}, body);
    code.str("this").str("t").setVariable();
    code.num(0).str("f").callFunction().pop();
    code.str("this").getVariable().trace();
    run(code);
    EXPECT_EQ(traces, (std::vector<std::string>{"_level0", "1", "t"}));
}

TEST_F(EngineTest, TimelineBlocksShareTheStackButFunctionsDoNot) {
    run(Asm().str("left for the next block"));
    run(Asm().trace());
    // A function cannot pop what its caller pushed.
    Asm body;
    body.trace();
    run(Asm().str("caller's").function1("f", {}, body).num(0).str("f").callFunction().pop().trace());
    EXPECT_EQ(traces, (std::vector<std::string>{"left for the next block", "undefined", "caller's"}));
}

TEST_F(EngineTest, DeleteByPathRemovesTheMember) {
    Asm code;
    code.str("o").num(0).op(0x43).setVariable();
    code.str("o").getVariable().str("a").num(1).setMember();
    code.str("o.a").op(0x3B).trace();  // Delete2 "o.a"
    code.str("o").getVariable().str("a").getMember().trace();
    run(code);
    EXPECT_EQ(traces, (std::vector<std::string>{"true", "undefined"}));
}

TEST_F(EngineTest, GeometryClassesComputeFromTheirProperties) {
    // p = new flash.geom.Point(3, 4); trace(p.length); trace(p.add(p));
    Asm code;
    code.str("p").num(4).num(3).num(2).str("flash").getVariable().str("geom").getMember().str("Point").op(0x53).setVariable();
    code.str("p").getVariable().str("length").getMember().trace();
    code.str("p").getVariable().num(1).str("p").getVariable().str("add").callMethod().trace();
    // r = new flash.geom.Rectangle(0, 0, 10, 10); r.right = 20; trace(r); trace(r.intersects(new Rectangle(15, 5, 10, 10)))
    code.str("r").num(10).num(10).num(0).num(0).num(4).str("flash").getVariable().str("geom").getMember()
        .str("Rectangle").op(0x53).setVariable();
    code.str("r").getVariable().str("right").num(20).setMember();
    code.str("r").getVariable().trace();
    code.num(10).num(10).num(5).num(15).num(4).str("flash").getVariable().str("geom").getMember().str("Rectangle")
        .op(0x53).num(1).str("r").getVariable().str("intersects").callMethod().trace();
    run(code);
    EXPECT_EQ(traces, (std::vector<std::string>{"5", "(x=6, y=8)", "(x=0, y=0, w=20, h=10)", "true"}));
}

TEST_F(EngineTest, TextFormatStartsWithEveryFieldNull) {
    Asm code;
    code.str("f").str("Arial").num(1).str("TextFormat").newObject().setVariable();
    code.str("f").getVariable().str("font").getMember().trace();
    code.str("f").getVariable().str("size").getMember().trace();
    code.str("f").getVariable().str("bold").getMember().trace();
    run(code);
    EXPECT_EQ(traces, (std::vector<std::string>{"Arial", "null", "null"}));
}

TEST_F(EngineTest, TextFormatConstructorTruncatesAndSettersRoundHalfToEven) {
    // f = new TextFormat("f", -10.9, -11, 1, 0, "", null, null, "bogus", -3.5, 2.5)
    Asm code;
    code.str("f").num(2.5).num(-3.5).str("bogus").null().null().str("").num(0).num(1).num(-11).num(-10.9).str("f")
        .num(11).str("TextFormat").newObject().setVariable();
    for (const char* field : {"size", "color", "bold", "italic", "underline", "align", "leftMargin", "rightMargin"})
        code.str("f").getVariable().str(field).getMember().trace();
    // Setters: sizes round half to even, margins stop at zero, unknown alignments are ignored.
    auto assign = [&](const char* field, double v) { code.str("f").getVariable().str(field).num(v).setMember(); };
    assign("size", 2.5);
    code.str("f").getVariable().str("size").getMember().trace();
    assign("size", 3.5);
    code.str("f").getVariable().str("size").getMember().trace();
    assign("leftMargin", -4);
    code.str("f").getVariable().str("leftMargin").getMember().trace();
    assign("indent", -4.6);
    code.str("f").getVariable().str("indent").getMember().trace();
    code.str("f").getVariable().str("align").str("CENTER").setMember();
    code.str("f").getVariable().str("align").str("middle").setMember();
    code.str("f").getVariable().str("align").getMember().trace();
    code.str("f").getVariable().str("display").getMember().trace();
    run(code);
    EXPECT_EQ(traces, (std::vector<std::string>{"-10", "4294967285", "true", "false", "false", "null", "-3", "2",
                                                "2", "4", "0", "-5", "center", "block"}));
}

TEST_F(EngineTest, TextFormatCutsLongFontNamesAndKeepsFieldsOffTheInstance) {
    const std::string longName(70, 'x');
    Asm code;
    code.str("f").num(0).str("TextFormat").newObject().setVariable();
    code.str("f").getVariable().str("font").str(longName).setMember();
    code.str("f").getVariable().str("font").getMember().trace();
    // The fields are accessors of the prototype, not the object's own properties.
    code.str("font").num(1).str("f").getVariable().str("hasOwnProperty").callMethod().trace();
    run(code);
    ASSERT_EQ(traces.size(), 2u);
    EXPECT_EQ(traces[0], std::string(64, 'x'));
    EXPECT_EQ(traces[1], "false");
}

TEST_F(EngineTest, GetTextExtentAsksTheHostAndAnswersABareObject) {
    // f = new TextFormat("Sans", 18); m = f.getTextExtent("Hello", 100); m2 = f.getTextExtent("x", undefined)
    Asm code;
    code.str("f").num(18).str("Sans").num(2).str("TextFormat").newObject().setVariable();
    code.str("m").num(100).str("Hello").num(2).str("f").getVariable().str("getTextExtent").callMethod().setVariable();
    code.undef().str("x").num(2).str("f").getVariable().str("getTextExtent").callMethod().pop();
    for (const char* field : {"ascent", "descent", "width", "height", "textFieldWidth", "textFieldHeight", "__proto__"})
        code.str("m").getVariable().str(field).getMember().trace();
    run(code);
    EXPECT_EQ(traces, (std::vector<std::string>{"10", "3", "40", "13", "44", "17", "undefined"}));
    ASSERT_EQ(host.measured.size(), 2u);
    EXPECT_EQ(host.measured[0].text, "Hello");
    EXPECT_EQ(host.measured[0].format.font, "Sans");
    EXPECT_EQ(host.measured[0].format.size, 18);
    EXPECT_EQ(host.measured[0].wrapWidth, 100);
    EXPECT_FALSE(host.measured[1].wrapWidth.has_value());
}

TEST_F(EngineTest, ClipPropertiesGoThroughTheHost) {
    // _root.createEmptyMovieClip("kid", 1); kid._x = 12; trace(kid._x); trace(kid._target); removeMovieClip
    Asm code;
    code.num(1).str("kid").num(2).str("_root").getVariable().str("createEmptyMovieClip").callMethod().pop();
    code.str("kid").getVariable().str("_x").num(12).setMember();
    code.str("kid").getVariable().str("_x").getMember().trace();
    code.str("kid").getVariable().str("_target").getMember().trace();
    code.str("kid").getVariable().op(0x44).trace();  // typeof
    code.str("/kid:_x").getVariable().trace();      // slash path
    run(code);
    EXPECT_EQ(traces, (std::vector<std::string>{"12", "/kid", "movieclip", "12"}));
    DisplayId kid = host.childByName(host.root, "kid", true);
    ASSERT_NE(kid, kNoDisplay);
    EXPECT_EQ(host.property(kid, Property::X), 12);
}

}  // namespace
