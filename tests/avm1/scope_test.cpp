// Names and the objects they end up on: which `this` a plain call gets, and what a reference
// to a clip that left the display list reads as.
#include <gtest/gtest.h>

#include <deque>

#include "assembler.h"
#include "fake_host.h"
#include "script_fixture.h"

using namespace avm1test;

namespace {

class ScopeTest : public ScriptFixture {};

TEST_F(ScopeTest, PlainCallGetsTheActivationOrWithObjectHoldingTheFunction) {
    // function g() { trace(this.tag); }
    Asm g;
    g.str("this").getVariable().str("tag").getMember().trace();
    // function f() { var tag = "local"; var h = g; h(); }
    Asm f;
    f.str("tag").str("local").defineLocal();
    f.str("h").str("g").getVariable().defineLocal();
    f.num(0).str("h").callFunction().pop();
    Asm code;
    code.function1("g", {}, g).function1("f", {}, f);
    code.str("tag").str("timeline").setVariable();
    code.num(0).str("f").callFunction().pop();  // found in f's locals: this is the activation
    code.num(0).str("g").callFunction().pop();  // found on the timeline: this is the timeline
    // with ({tag: "with", h: g}) h();
    Asm body;
    body.num(0).str("h").callFunction().pop();
    code.str("tag").str("with").str("h").str("g").getVariable().num(2).initObject().with(body);
    run(code);
    EXPECT_EQ(traces, (std::vector<std::string>{"local", "timeline", "with"}));
}

TEST_F(ScopeTest, RemovedClipReadsAsEmptyTextExceptToItsUnloadHandler) {
    // kid = createEmptyMovieClip("kid", 1); kid.onUnload = function () { trace("unload " + this); }
    Asm unload;
    unload.str("unload ").str("this").getVariable().add2().trace();
    Asm code;
    code.str("kid").num(1).str("kid").num(2).str("createEmptyMovieClip").callFunction().setVariable();
    code.str("kid").getVariable().str("onUnload").function1("", {}, unload).setMember();
    code.str("kid").getVariable().trace();
    run(code);
    DisplayId kid = host.childByName(host.root, "kid", true);
    ASSERT_NE(kid, kNoDisplay);

    engine->displayObjectLeaving(kid);
    host.removeObject(kid);
    EXPECT_TRUE(engine->callHandler(kid, "onUnload"));
    // Any other script holding the reference sees nothing where the clip was.
    Asm after;
    after.str("[").str("kid").getVariable().add2().str("]").add2().trace();
    run(after);
    EXPECT_EQ(traces, (std::vector<std::string>{"_level0.kid", "unload _level0.kid", "[]"}));
}

TEST_F(ScopeTest, CallRunsAFramesScriptsOnTheirClipAndRecursionEndsAtTheCallLimit) {
    DisplayId kid = host.make(host.root, "kid", 1);
    Asm second;
    second.str("frame 2 of ").str("this").getVariable().add2().trace();
    host.frameCode[{kid, 1}] = {second.bytes()};
    Asm code;
    code.str("/kid:2").record(0x9E, {});                               // call("/kid:2")
    code.record(0x8B, {'k', 'i', 'd', 0}).num(2).record(0x9E, {});      // tellTarget("kid") call(2)
    code.record(0x8B, {0}).num(7).record(0x9E, {}).str("after").trace(); // no such frame: nothing runs
    run(code);
    EXPECT_EQ(traces, (std::vector<std::string>{"frame 2 of _level0.kid", "frame 2 of _level0.kid", "after"}));

    // A frame that calls itself stops at the call limit and the movie's scripts with it.
    Asm self;
    self.num(1).record(0x9E, {});
    host.frameCode[{host.root, 0}] = {self.bytes()};
    traces.clear();
    Asm start;
    start.num(1).record(0x9E, {}).str("unreached").trace();
    run(start);
    EXPECT_TRUE(traces.empty());
    EXPECT_TRUE(engine->scriptsDisabled());
}

}  // namespace
