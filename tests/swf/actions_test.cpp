// The writer's action assembler, round-tripped through the player and its engine: code in
// DoAction, DoInitAction, button conditions and clip events of hand-made movies runs and
// traces what it should; labels, the constant pool and function definitions assemble right.
#include <gtest/gtest.h>

#include <QPainterPath>
#include <stdexcept>

#include "swf/swf.h"
#include "swf/writer/swf_writer.h"

namespace {

using swf::writer::Actions;
using swf::writer::ButtonAction;
using swf::writer::ButtonRecord;
using swf::writer::MovieWriter;
using swf::writer::Placement;
namespace clip_event = swf::writer::clip_event;

struct Run {
    QStringList traces;
    std::unique_ptr<swf::Player> player;
};

// Plays `frames` frames of the movie, keeping what its scripts trace.
std::unique_ptr<Run> play(const QByteArray& file, int frames) {
    auto run = std::make_unique<Run>();
    auto movie = swf::parseMovie(std::span(reinterpret_cast<const uint8_t*>(file.data()), size_t(file.size())));
    run->player = std::make_unique<swf::Player>(movie, nullptr, swf::Player::Start::Later);
    run->player->setViewSize(QSize(100, 100));
    run->player->setTraceHandler([r = run.get()](const QString& line) { r->traces << line; });
    for (int f = 0; f < frames; ++f) run->player->advance();
    return run;
}

QStringList traceOf(const Actions& code, int frames = 1) {
    MovieWriter w(QSizeF(100, 100), 10, 8);
    w.doAction(code);
    for (int f = 0; f < frames; ++f) w.showFrame();
    return play(w.finish(), frames)->traces;
}

uint16_t square(MovieWriter& w) {
    QPainterPath p;
    p.addRect(0, 0, 100, 100);
    return w.defineShape(p, swf::writer::FillStyle::solid(Qt::red));
}

TEST(Actions, LabelsBranchForwardAndBack) {
    // for (i = 1, sum = 0; i <= 10; ++i) sum += i; trace(sum); with the exit test at the top.
    Actions a;
    a.str("sum").num(0).setVariable().str("i").num(1).setVariable();
    const Actions::Label top = a.label(), done = a.label();
    a.bind(top);
    a.str("i").getVariable().num(10).greater().ifTrue(done);
    a.str("sum").str("sum").getVariable().str("i").getVariable().add2().setVariable();
    a.str("i").str("i").getVariable().increment().setVariable();
    a.jump(top);
    a.bind(done);
    a.str("sum").getVariable().trace();
    EXPECT_EQ(traceOf(a), QStringList{"55"});
}

TEST(Actions, ConstantPoolAndNumbersPushAsTheyShould) {
    Actions a;
    a.constantPool({"greeting", "hello"});
    a.str("greeting").str("hello").setVariable();
    a.str("greeting").getVariable().trace();
    a.str("not pooled").trace();
    a.num(-7).trace().num(2.5).trace().num(-0.0).trace().num(3e9).trace();
    // Pooled strings are pushed by index (type 8), the others inline (type 0).
    const std::vector<uint8_t>& code = a.bytes();
    const std::vector<uint8_t> byIndex{0x96, 2, 0, 8, 0};
    EXPECT_NE(std::search(code.begin(), code.end(), byIndex.begin(), byIndex.end()), code.end());
    EXPECT_EQ(traceOf(a), (QStringList{"hello", "not pooled", "-7", "2.5", "0", "3000000000"}));
}

TEST(Actions, GreaterWithAnUndefinedSideIsUndefined) {
    Actions a;
    a.undef().num(400).greater().trace();  // undefined > 400
    a.num(5).num(4).greater().trace();
    EXPECT_EQ(traceOf(a), (QStringList{"undefined", "true"}));
}

TEST(Actions, FunctionsWithRegistersNamesTryAndWith) {
    // function2 scale(v /* r2 */) { _root preloaded in r1 } returns v * _root.factor
    Actions scale;
    scale.reg(2).reg(1).str("factor").getMember().multiply().ret();
    Actions a;
    a.str("factor").num(3).setVariable();
    a.function2("scale", {{2, "v"}}, 3, swf::writer::function_flag::kPreloadRoot, scale);
    a.num(14).num(1).str("scale").callFunction().trace();
    // function join(a, b) { return a + "-" + b; }
    Actions join;
    join.str("a").getVariable().str("-").add2().str("b").getVariable().add2().ret();
    a.function1("join", {"a", "b"}, join);
    a.str("y").str("x").num(2).str("join").callFunction().trace();
    // try { throw "oops"; } catch (e) { trace("caught " + e); } finally { trace("finally"); }
    Actions tryBlock, catchBlock, finallyBlock;
    tryBlock.str("oops").op(0x2A);
    catchBlock.str("caught ").str("e").getVariable().add2().trace();
    finallyBlock.str("finally").trace();
    a.tryCatch(tryBlock, "e", catchBlock, &finallyBlock);
    // with ({inner: "from with"}) trace(inner);
    a.str("inner").str("from with").num(1).initObject();
    Actions inside;
    inside.str("inner").getVariable().trace();
    a.with(inside);
    EXPECT_EQ(traceOf(a), (QStringList{"42", "x-y", "caught oops", "finally", "from with"}));
}

TEST(Actions, InitActionsRunBeforeTheSpritesFirstPlacement) {
    MovieWriter w(QSizeF(100, 100), 10, 8);
    swf::writer::Timeline inner;
    Actions innerFrame;
    innerFrame.str("sprite frame").trace();
    inner.doAction(innerFrame);
    inner.showFrame();
    const uint16_t sprite = w.defineSprite(inner);
    Actions init, frame;
    init.str("init").trace();
    frame.str("root frame").trace();
    w.doAction(frame);
    w.doInitAction(sprite, init);
    w.place(1, sprite);
    w.showFrame();
    const QStringList traces = play(w.finish(), 1)->traces;
    ASSERT_FALSE(traces.isEmpty());
    EXPECT_EQ(traces.front(), "init");
    EXPECT_TRUE(traces.contains("root frame"));
    EXPECT_TRUE(traces.contains("sprite frame"));
}

TEST(Actions, ClipEventsAndButtonConditionsRunTheirCode) {
    MovieWriter w(QSizeF(100, 100), 10, 8);
    const uint16_t shape = square(w);
    swf::writer::Timeline inner;
    inner.place(1, shape);
    inner.showFrame();
    const uint16_t sprite = w.defineSprite(inner);
    Placement clip;
    clip.name = "clip";
    Actions onLoad, onEnterFrame;
    onLoad.str("load ").str("_name").getVariable().add2().trace().str("frames").num(0).setVariable();
    onEnterFrame.str("frames").str("frames").getVariable().increment().setVariable();
    clip.clipActions = {{clip_event::kLoad, onLoad}, {clip_event::kEnterFrame, onEnterFrame}};
    w.place(1, sprite, clip);

    ButtonRecord record;
    record.states = ButtonRecord::Up | ButtonRecord::Over | ButtonRecord::Down | ButtonRecord::HitTest;
    record.characterId = shape;
    ButtonAction over, release;
    over.kind = release.kind = ButtonAction::Script;
    over.conditions = 0x0001;  // IdleToOverUp
    over.script.str("over").trace();
    release.script.str("clicked ").str("clip").getVariable().str("frames").getMember().add2().trace();
    const uint16_t button = w.defineButton2({record}, {over, release});
    w.place(2, button);
    w.showFrame();
    w.showFrame();
    w.showFrame();

    auto run = play(w.finish(), 3);
    run->player->mouseMove(QPointF(50, 50));
    run->player->mousePress(QPointF(50, 50));
    run->player->mouseRelease(QPointF(50, 50));
    ASSERT_FALSE(run->traces.isEmpty());
    EXPECT_EQ(run->traces.front(), "load clip") << run->traces.join('|').toStdString();
    EXPECT_TRUE(run->traces.contains("over"));
    // Three frames shown; the first enterFrame comes with the second.
    EXPECT_TRUE(run->traces.contains("clicked 2") || run->traces.contains("clicked 3")) << run->traces.join('|').toStdString();
}

TEST(Actions, MisuseIsCaughtWhenWriting) {
    Actions a;
    const Actions::Label never = a.label();
    a.jump(never);
    EXPECT_THROW(a.block(), std::logic_error);
    Actions outer;
    EXPECT_THROW(outer.with(a), std::logic_error);
    EXPECT_THROW(a.bind(never).bind(never), std::logic_error);
    Actions big;
    EXPECT_THROW(big.str(std::string(70000, 'x')), std::length_error);
    Actions far;
    const Actions::Label end = far.label();
    far.jump(end);
    for (int i = 0; i < 40000; ++i) far.op(0x17);
    EXPECT_THROW(far.bind(end), std::length_error);
}

TEST(Actions, AMovieWaitingOnATimerKeepsTheClockGoing) {
    // One stopped frame whose only life is an interval, cleared on its third call.
    Actions tick;
    tick.str("ticks").str("ticks").getVariable().increment().setVariable();
    tick.str("ticks").getVariable().trace();
    Actions clear;
    clear.str("id").getVariable().num(1).str("clearInterval").callFunction().pop();
    const Actions::Label notYet = tick.label();
    tick.str("ticks").getVariable().num(3).less2().ifTrue(notYet);
    tick.append(clear);
    tick.bind(notYet);
    Actions a;
    a.str("ticks").num(0).setVariable();
    a.str("id").num(100);  // the frame's own interval: one call a frame
    a.function1("", {}, tick);
    a.num(2).str("setInterval").callFunction().setVariable();
    a.stop();
    MovieWriter w(QSizeF(100, 100), 10, 8);
    w.doAction(a);
    w.showFrame();
    auto run = play(w.finish(), 1);
    run->player->setActive(true);
    EXPECT_TRUE(run->player->isScheduled());
    for (int f = 0; f < 5; ++f) run->player->advance();
    EXPECT_EQ(run->traces, (QStringList{"1", "2", "3"}));
    EXPECT_FALSE(run->player->isScheduled());  // nothing left to wait for: the clock lets go
}

}  // namespace
