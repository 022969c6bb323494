// The object model's edges: accessors that reach for their own property, and what super
// finds from a method or a constructor.
#include <gtest/gtest.h>

#include <deque>

#include "assembler.h"
#include "fake_host.h"
#include "script_fixture.h"

using namespace avm1test;

namespace {

class ObjectModelTest : public ScriptFixture {
protected:
    // o.addProperty("p", getter, setter) where the setter counts its calls in `calls` and
    // assigns o.p again; then o.p = 1.
    Asm selfAssigningSetter() {
        Asm setter;
        setter.str("calls").str("calls").getVariable().increment().setVariable();
        setter.str("o").getVariable().str("p").num(2).setMember();
        Asm getter;
        getter.str("stored").ret();
        Asm code;
        code.str("calls").num(0).setVariable();
        code.str("o").num(0).initObject().setVariable();
        code.function1("", {}, setter).function1("", {}, getter).str("p").num(3);
        code.str("o").getVariable().str("addProperty").callMethod().pop();
        code.str("o").getVariable().str("p").num(1).setMember();
        code.str("calls").getVariable().trace();
        return code;
    }
};

TEST_F(ObjectModelTest, SetterThatAssignsItsOwnPropertyNestsSixtyFiveTimesFromSwf7) {
    makeEngine(8);
    run(selfAssigningSetter());
    EXPECT_EQ(traces, (std::vector<std::string>{"65"}));
    EXPECT_FALSE(engine->scriptsDisabled());
}

TEST_F(ObjectModelTest, SetterThatAssignsItsOwnPropertyRunsOnceInSwf6) {
    makeEngine(6);
    run(selfAssigningSetter());
    EXPECT_EQ(traces, (std::vector<std::string>{"1"}));
}

TEST_F(ObjectModelTest, SuperStartsAboveTheObjectThatHeldTheMethod) {
    // base = { __constructor__: function () { return "base ctor"; }, m: function () { return "base m"; } }
    Asm baseCtor, baseM;
    baseCtor.str("base ctor").ret();
    baseM.str("base m").ret();
    // method: trace(super() + " / " + super.m());  (super preloaded in register 1)
    Asm method;
    method.num(0).reg(1).undef().callMethod().str(" / ").add2();
    method.num(0).reg(1).str("m").callMethod().add2().trace();
    Asm code;
    code.str("base").str("__constructor__").function1("", {}, baseCtor).str("m").function1("", {}, baseM);
    code.num(2).initObject().setVariable();
    // An own method counts as the prototype's: obj = { __constructor__: "own", f: method }, obj.__proto__ = base.
    code.str("obj").str("__constructor__").str("own").str("f");
    code.function2("", {}, 2, 0x10 /* preload super */, method).num(2).initObject().setVariable();
    code.str("obj").getVariable().str("__proto__").str("base").getVariable().setMember();
    code.num(0).str("obj").getVariable().str("f").callMethod().pop();
    // A method of a prototype: mid = { f: method }, mid.__proto__ = base, inst.__proto__ = mid.
    code.str("mid").str("f").str("obj").getVariable().str("f").getMember().num(1).initObject().setVariable();
    code.str("mid").getVariable().str("__proto__").str("base").getVariable().setMember();
    code.str("inst").num(0).initObject().setVariable();
    code.str("inst").getVariable().str("__proto__").str("mid").getVariable().setMember();
    code.num(0).str("inst").getVariable().str("f").callMethod().pop();
    // A __resolve on the way is never asked for the constructor.
    Asm resolve;
    resolve.str("resolved").ret();
    code.str("base").getVariable().str("__constructor__").deleteMember().pop();
    code.str("base").getVariable().str("__resolve").function1("", {"name"}, resolve).setMember();
    code.num(0).str("inst").getVariable().str("f").callMethod().pop();
    run(code);
    EXPECT_EQ(traces,
              (std::vector<std::string>{"base ctor / undefined", "base ctor / base m", "undefined / base m"}));
}

TEST_F(ObjectModelTest, SuperFindsNothingPastAClip) {
    // obj = { f: method }; obj.__proto__ = _root; _root.m = ...; obj.f() -> super.m() is undefined
    Asm method;
    method.num(0).reg(1).str("m").callMethod().trace();
    Asm m;
    m.str("clip m").ret();
    Asm code;
    code.str("_root").getVariable().str("m").function1("", {}, m).setMember();
    code.str("obj").str("f").function2("", {}, 2, 0x10, method).num(1).initObject().setVariable();
    code.str("obj").getVariable().str("__proto__").str("_root").getVariable().setMember();
    code.num(0).str("obj").getVariable().str("f").callMethod().pop();
    run(code);
    EXPECT_EQ(traces, (std::vector<std::string>{"undefined"}));
}

TEST_F(ObjectModelTest, AttachMovieHandsTheInitObjectOverBeforeTheClassConstructorRuns) {
    makeEngine(8);
    host.created = [this](DisplayId id) { engine->displayObjectCreated(id); };
    // Thing = function () { trace("ctor " + this.a); }; Thing.prototype.addProperty("b", getter, setter)
    Asm ctor;
    ctor.str("ctor ").str("this").getVariable().str("a").getMember().add2().trace();
    Asm setter;
    setter.str("set b").trace();
    Asm getter;
    getter.undef().ret();
    Asm code;
    code.str("Thing").function1("", {}, ctor).setVariable();
    code.function1("", {"v"}, setter).function1("", {}, getter).str("b").num(3);
    code.str("Thing").getVariable().str("prototype").getMember().str("addProperty").callMethod().pop();
    code.str("Thing").getVariable().str("Thing").num(2).str("Object").getVariable().str("registerClass").callMethod().pop();
    // attachMovie("Thing", "t", 1, {a: 1, b: 2}): b is the init object's oldest property.
    code.str("a").num(1).str("b").num(2).num(2).initObject().num(1).str("t").str("Thing").num(4);
    code.str("_root").getVariable().str("attachMovie").callMethod().pop();
    code.str("t").getVariable().str("a").getMember().trace();
    run(code);
    EXPECT_EQ(traces, (std::vector<std::string>{"set b", "ctor 1", "1"}));
}

TEST_F(ObjectModelTest, ArrayLengthIsA32BitIntegerThatIndexesMoveAndHolesAreNotListed) {
    makeEngine(8);
    auto traceLength = [](Asm& code) { code.str("a").getVariable().str("length").getMember().trace(); };
    // for (k in a) s = k + "," + s; trace(s)
    auto traceKeys = [](Asm& code) {
        code.str("s").str("").setVariable();
        code.str("a").getVariable().op(0x55);  // Enumerate2
        auto top = code.label(), done = code.label();
        code.bind(top).storeRegister(0).null().equals2().ifTrue(done);
        code.str("s").reg(0).str(",").add2().str("s").getVariable().add2().setVariable().jump(top);
        code.bind(done).str("s").getVariable().trace();
    };
    Asm code;
    code.str("a").num(-1).num(1).str("Array").newObject().setVariable();  // new Array(-1)
    traceLength(code);
    code.str("a").num(0).initArray().setVariable();
    code.str("a").getVariable().str("3").str("x").setMember();
    code.str("a").getVariable().str("1").str("y").setMember();
    code.str("a").getVariable().str("-5").str("z").setMember();  // a property; the length stays
    traceLength(code);
    traceKeys(code);                                              // 2 and 0 are holes
    code.str("a").getVariable().str("2147483647").str("w").setMember();  // the length wraps
    traceLength(code);
    traceKeys(code);                                              // the elements went with the length
    code.str("a").getVariable().str("4294967296").str("v").setMember();  // wraps to index 0
    traceLength(code);
    code.str("a").getVariable().str("0").getMember().trace();
    run(code);
    EXPECT_EQ(traces, (std::vector<std::string>{"-1", "4", "1,3,-5,", "-2147483648", "-5,2147483647,", "1",
                                                "undefined"}));
}

}  // namespace
