#include "workloads.h"

#include "assembler.h"

namespace bench {
namespace {

using avm1test::Asm;

// Action codes the assembler has no name for.
constexpr uint8_t kSubtract = 0x0B, kMultiply = 0x0C, kNot = 0x12, kGetTime = 0x34, kModulo = 0x3F,
                  kInitArray = 0x42, kInitObject = 0x43, kLess2 = 0x48, kIncrement = 0x50, kStop = 0x07;

// DefineFunction2 flags as a compiler sets them for functions that use neither `this`,
// `arguments` nor `super`; with `this` preloaded into r1 for methods.
constexpr uint16_t kPlainFunction = 0x02 | 0x08 | 0x20, kMethod = 0x01 | 0x08 | 0x20;

// Registers of the work function: 1 the loop counter, 2 the accumulator, 3 and 4 scratch.
constexpr uint8_t kCounter = 1, kSum = 2, kScratch = 3, kScratch2 = 4;

struct Loop {
    Asm code;
    int turns = 0;
    uint64_t actionsPerTurn = 0;
};

// for (counter = 0; counter < turns; ++counter) body
Loop countedLoop(int turns, const Asm& body) {
    Asm test;
    test.reg(kCounter).num(turns).op(kLess2).op(kNot);
    Asm step;
    step.reg(kCounter).op(kIncrement).storeRegister(kCounter).pop();
    const int exit = int(body.size() + step.size() + 5);
    test.ifTrue(int16_t(exit));
    Loop loop;
    loop.turns = turns;
    loop.code.num(0).storeRegister(kCounter).pop();
    loop.code.append(test);
    loop.code.append(body);
    loop.code.append(step);
    loop.code.jump(int16_t(-int(test.size() + body.size() + step.size() + 5)));
    loop.actionsPerTurn = countActions(test.bytes()) + countActions(body.bytes()) + countActions(step.bytes()) + 1;
    return loop;
}

// function work() { var sum = 0; <prologue>; <loop>; return sum; }, with registers.
Asm workFunction(const Asm& prologue, const Loop& loop) {
    Asm body;
    body.num(0).storeRegister(kSum).pop();
    body.append(prologue);
    body.append(loop.code);
    body.reg(kSum).ret();
    Asm define;
    define.function2("work", {}, 5, kPlainFunction, body);
    return define;
}

// t0 = getTimer(); last = work(); total += getTimer() - t0;
Asm timedBatch() {
    Asm a;
    a.str("t0").op(kGetTime).setVariable();
    a.str("last").num(0).str("work").callFunction().setVariable();
    a.str("total").str("total").getVariable().op(kGetTime).str("t0").getVariable().op(kSubtract).add2().setVariable();
    return a;
}

void appendTag(QByteArray& out, uint16_t code, const std::vector<uint8_t>& body) {
    const uint16_t head = uint16_t(code << 6 | 0x3F);
    out.append(char(head & 0xFF)).append(char(head >> 8));
    const uint32_t n = uint32_t(body.size());
    for (int i = 0; i < 4; ++i) out.append(char((n >> (8 * i)) & 0xFF));
    out.append(reinterpret_cast<const char*>(body.data()), qsizetype(body.size()));
}

// A 550 x 400 movie at 30 frames a second: `setup` and one batch in frame 1, one batch in
// each later frame, and the report in the last.
QByteArray scriptMovie(const Asm& setup, int frames) {
    QByteArray tags;
    appendTag(tags, 9, {0xFF, 0xFF, 0xFF});  // SetBackgroundColor: white
    for (int frame = 1; frame <= frames; ++frame) {
        Asm actions;
        if (frame == 1) {
            actions = setup;
            actions.str("total").num(0).setVariable();
        }
        Asm batch = timedBatch();
        actions.append(batch);
        if (frame == frames) {
            actions.str("result ").str("last").getVariable().add2().trace();
            actions.str("total ").str("total").getVariable().add2().trace();
            actions.str("done").trace().op(kStop);
        }
        actions.op(0);  // ActionEnd
        appendTag(tags, 12, actions.bytes());  // DoAction
        appendTag(tags, 1, {});             // ShowFrame
    }
    tags.append(2, '\0');  // End

    // The stage RECT: four 15-bit fields (0, 11000, 0, 8000 twips) after their 5-bit size,
    // most significant bit first.
    QByteArray rect;
    std::vector<int> stream;
    for (int i = 4; i >= 0; --i) stream.push_back((15 >> i) & 1);
    for (uint32_t v : {0u, 11000u, 0u, 8000u})
        for (int i = 14; i >= 0; --i) stream.push_back(int((v >> i) & 1));
    while (stream.size() % 8) stream.push_back(0);
    for (size_t i = 0; i < stream.size(); i += 8) {
        int byte = 0;
        for (int b = 0; b < 8; ++b) byte = byte << 1 | stream[i + size_t(b)];
        rect.append(char(byte));
    }
    QByteArray body = rect;
    body.append(char(0)).append(char(30));  // 30 frames a second, 8.8 fixed point
    body.append(char(frames & 0xFF)).append(char(frames >> 8));
    body += tags;
    const uint32_t length = uint32_t(8 + body.size());
    QByteArray header;
    header.append("FWS").append(char(8));
    for (int i = 0; i < 4; ++i) header.append(char((length >> (8 * i)) & 0xFF));
    return header + body;
}

// A workload whose frame batch is `loop` after `prologue`, inside work(); `helpers` are
// defined once, in frame 1, before work().
// `calleeActions`: actions a called function runs per turn, besides the loop's own.
Workload make(QString name, QString what, const Asm& helpers, const Asm& prologue, const Loop& loop,
              uint64_t calleeActions = 0, int frames = 10) {
    Workload w;
    w.name = std::move(name);
    w.what = std::move(what);
    w.frames = frames;
    Asm setup = helpers;
    const Asm work = workFunction(prologue, loop);
    setup.append(work);
    w.movie = scriptMovie(setup, frames);
    w.actionsPerFrame = (loop.actionsPerTurn + calleeActions) * uint64_t(loop.turns);
    return w;
}

}  // namespace

uint64_t countActions(const std::vector<uint8_t>& bytes) {
    uint64_t count = 0;
    for (size_t pos = 0; pos < bytes.size();) {
        const uint8_t code = bytes[pos];
        if (code < 0x80) {
            pos += 1;
        } else {
            if (pos + 3 > bytes.size()) break;
            pos += 3 + size_t(bytes[pos + 1] | bytes[pos + 2] << 8);
        }
        ++count;
    }
    return count;
}

std::vector<Workload> scriptWorkloads() {
    std::vector<Workload> all;
    const Asm none;

    {  // sum = (sum + i * 3) % 1000003
        Asm body;
        body.reg(kSum).reg(kCounter).num(3).op(kMultiply).add2().num(1000003).op(kModulo).storeRegister(kSum).pop();
        all.push_back(make("arithmetic", "sum = (sum + i * 3) % 1000003 in registers", none, none,
                           countedLoop(200000, body)));
    }
    {  // o.x = o.x + 1; o.y = o.x * 2;
        Asm prologue;
        prologue.str("x").num(0).str("y").num(0).num(2).op(kInitObject).storeRegister(kScratch).pop();
        Asm body;
        body.reg(kScratch).str("x").reg(kScratch).str("x").getMember().num(1).add2().setMember();
        body.reg(kScratch).str("y").reg(kScratch).str("x").getMember().num(2).op(kMultiply).setMember();
        all.push_back(make("properties", "o.x = o.x + 1; o.y = o.x * 2 on an object", none, prologue,
                           countedLoop(100000, body)));
    }
    {  // sum = add(sum, i) with function add(a, b) { return a + b; }
        Asm addBody;
        addBody.reg(1).reg(2).add2().ret();
        Asm helpers;
        helpers.function2("add", {{1, "a"}, {2, "b"}}, 3, kPlainFunction, addBody);
        Asm body;
        body.reg(kCounter).reg(kSum).num(2).str("add").callFunction().storeRegister(kSum).pop();
        all.push_back(make("calls", "sum = add(sum, i), a two-argument function", helpers, none,
                           countedLoop(50000, body), countActions(addBody.bytes())));
    }
    {  // The same with DefineFunction of SWF 5 and 6: named parameters, `arguments` made.
        Asm addBody;
        addBody.str("a").getVariable().str("b").getVariable().add2().ret();
        Asm helpers;
        helpers.function1("add", {"a", "b"}, addBody);
        Asm body;
        body.reg(kCounter).reg(kSum).num(2).str("add").callFunction().storeRegister(kSum).pop();
        all.push_back(make("calls-v5", "the same with a function of SWF 5 (named parameters)", helpers, none,
                           countedLoop(50000, body), countActions(addBody.bytes())));
    }
    {  // a.push(i); sum += a[i];
        Asm prologue;
        prologue.num(0).op(kInitArray).storeRegister(kScratch).pop();
        Asm body;
        body.reg(kCounter).num(1).reg(kScratch).str("push").callMethod().pop();
        body.reg(kSum).reg(kScratch).reg(kCounter).getMember().add2().storeRegister(kSum).pop();
        all.push_back(make("arrays", "a.push(i); sum += a[i] on a growing array", none, prologue,
                           countedLoop(50000, body)));
    }
    {  // s = "item" + i; sum += s.length + s.indexOf("9");
        Asm body;
        body.str("item").reg(kCounter).add2().storeRegister(kScratch2).pop();
        body.reg(kSum).reg(kScratch2).str("length").getMember().add2();
        body.str("9").num(1).reg(kScratch2).str("indexOf").callMethod().add2().storeRegister(kSum).pop();
        all.push_back(make("strings", "s = \"item\" + i; sum += s.length + s.indexOf(\"9\")", none, none,
                           countedLoop(50000, body)));
    }
    {  // A typical script's inner loop: p.move(i) on an object whose class has the method,
       // reading and writing members and an array.
        // function(d) { this.x += d; this.trail.push(this.x % 7); return this.x; }, with
        // `this` preloaded into r1 and d in r2.
        Asm moveBody;
        moveBody.reg(1).str("x").reg(1).str("x").getMember().reg(2).add2().setMember();
        moveBody.reg(1).str("x").getMember().num(7).op(kModulo).num(1).reg(1).str("trail").getMember().str("push")
            .callMethod().pop();
        moveBody.reg(1).str("x").getMember().ret();
        Asm helpers;  // Walker = function() {}; Walker.prototype.move = <moveBody>;
        helpers.str("Walker").function2("", {}, 1, kPlainFunction, Asm{}).setVariable();
        helpers.str("Walker").getVariable().str("prototype").getMember().str("move");
        helpers.function2("", {{2, "d"}}, 3, kMethod, moveBody);
        helpers.setMember();
        Asm prologue;  // p = new Walker(); p.x = 0; p.trail = [];
        prologue.num(0).str("Walker").newObject().storeRegister(kScratch).pop();
        prologue.reg(kScratch).str("x").num(0).setMember();
        prologue.reg(kScratch).str("trail").num(0).op(kInitArray).setMember();
        Asm body;
        body.reg(kCounter).num(1).reg(kScratch).str("move").callMethod().reg(kSum).add2().storeRegister(kSum).pop();
        all.push_back(make("mixed", "p.move(i): a method from a prototype, members and an array", helpers,
                           prologue, countedLoop(30000, body), countActions(moveBody.bytes())));
    }
    return all;
}

}  // namespace bench
