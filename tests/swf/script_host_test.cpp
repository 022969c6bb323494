// The player running scripts through the engine: the order of frame scripts and clip
// events, display properties as scripts see them, dynamic clips and the drawing API.
// Action bytes are assembled here by hand.
#include <gtest/gtest.h>

#include <QImage>
#include <cstring>

#include "handmade_swf.h"
#include "swf/swf.h"

namespace {

using namespace swf::test;

// A few actions, enough to call methods and read and write properties.
class Actions {
public:
    Actions& str(const char* s) {
        const QByteArray body = QByteArray(1, '\0') + QByteArray(s) + '\0';
        return record(0x96, body);
    }
    Actions& num(int v) { return record(0x96, QByteArray(1, '\x07') + u32(uint32_t(v))); }
    Actions& op(uint8_t code) {
        bytes_ += char(code);
        return *this;
    }
    Actions& getVar(const char* name) { return str(name).op(0x1C); }
    Actions& trace() { return op(0x26); }
    // object.method(args...): arguments pushed last to first before this.
    Actions& call(const char* object, const char* method, int argCount) {
        num(argCount).getVar(object).str(method).op(0x52);
        return *this;
    }
    Actions& setMember(const char* object, const char* name, int value) {
        return getVar(object).str(name).num(value).op(0x4F);
    }
    Actions& traceMember(const char* object, const char* name) { return getVar(object).str(name).op(0x4E).trace(); }
    QByteArray end() const { return bytes_ + '\0'; }

private:
    Actions& record(uint8_t code, const QByteArray& body) {
        bytes_ += char(code);
        bytes_ += u16(int(body.size()));
        bytes_ += body;
        return *this;
    }
    QByteArray bytes_;
};

QByteArray cstr(const char* s) { return QByteArray(s) + '\0'; }

std::shared_ptr<const swf::Movie> parse(const QByteArray& bytes) {
    return swf::parseMovie(std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())));
}

struct Outcome {
    QStringList traces;
    QImage picture;
};

Outcome run(const QByteArray& tags, int frames, int version = 8) {
    auto movie = parse(swf::test::movie(tags, 100, 100, version));
    Outcome out;
    swf::Player player(movie, nullptr, swf::Player::Start::Later);
    player.setTraceHandler([&](const QString& line) { out.traces << line; });
    for (int i = 0; i < frames; ++i) player.advance();
    out.picture = player.renderImage(QSize(100, 100));
    return out;
}

// PlaceObject2 of a sprite with a name and one onClipEvent block.
QByteArray placeWithEvent(int depth, int id, const char* name, uint32_t events, const QByteArray& code) {
    QByteArray body;
    body += char(0x02 | 0x20 | 0x80);
    body += u16(depth) + u16(id) + cstr(name);
    body += u16(0) + u32(events) + u32(events) + u32(uint32_t(code.size())) + code + u32(0);
    return tag(26, body);
}

TEST(ScriptHost, FrameScriptsAndClipEventsRunInTheOriginalOrder) {
    const QByteArray childFrame = tag(12, Actions().str("child frame 1").trace().end());
    const QByteArray sprite = tag(39, u16(2) + u16(1) + childFrame + tag(1, {}) + u16(0));
    QByteArray tags = sprite;
    tags += tag(12, Actions().str("root frame 1").trace().end());
    tags += placeWithEvent(1, 2, "clip", swf::clip_event::kLoad | swf::clip_event::kEnterFrame,
                           Actions().str("clip event").trace().end());
    tags += tag(1, {});
    tags += tag(12, Actions().str("root frame 2").trace().end());
    tags += tag(1, {});
    const Outcome r = run(tags, 2);
    // The frame's own script first, then the new clip's load event and its first frame;
    // on the next frame the clip's enterFrame comes before the root's script.
    EXPECT_EQ(r.traces, (QStringList{"root frame 1", "clip event", "child frame 1", "clip event", "root frame 2"}));
}

TEST(ScriptHost, PropertiesDynamicClipsAndDrawing) {
    Actions a;
    a.num(1).str("d").num(2).getVar("_root").str("createEmptyMovieClip").op(0x52).op(0x17);
    a.num(100).num(0xFF0000).call("d", "beginFill", 2).op(0x17);
    a.num(0).num(0).call("d", "moveTo", 2).op(0x17);
    for (auto [x, y] : {std::pair{40, 0}, {40, 20}, {0, 20}, {0, 0}}) a.num(y).num(x).call("d", "lineTo", 2).op(0x17);
    a.call("d", "endFill", 0).op(0x17);
    a.setMember("d", "_x", 50).setMember("d", "_y", 10);
    a.traceMember("d", "_x").traceMember("d", "_width").traceMember("d", "_name").traceMember("d", "_target");
    a.setMember("d", "_rotation", 90).traceMember("d", "_rotation").traceMember("d", "_xscale");
    a.setMember("d", "_xscale", 50).traceMember("d", "_rotation").traceMember("d", "_xscale");
    const Outcome r = run(tag(12, a.end()) + tag(1, {}), 1);
    EXPECT_EQ(r.traces, (QStringList{"50", "40", "d", "/d", "90", "100", "90", "50"}));
    // Turned a quarter round about its origin at (50, 10) and halved along its own x
    // axis: 20 pixels down, 20 to the left.
    EXPECT_EQ(r.picture.pixelColor(40, 20), QColor(Qt::red));
    EXPECT_EQ(r.picture.pixelColor(40, 35), QColor(Qt::white));
    EXPECT_EQ(r.picture.pixelColor(60, 20), QColor(Qt::white));
}

TEST(ScriptHost, DepthsSwapAndRemovalOnlyAtScriptDepths) {
    Actions a;
    for (auto [name, depth] : {std::pair{"a", 5}, {"b", 7}})
        a.num(depth).str(name).num(2).getVar("_root").str("createEmptyMovieClip").op(0x52).op(0x17);
    a.num(7).call("a", "swapDepths", 1).op(0x17);
    a.call("a", "getDepth", 0).trace().call("b", "getDepth", 0).trace();
    a.call("_root", "getNextHighestDepth", 0).trace();
    a.call("b", "removeMovieClip", 0).op(0x17);
    a.getVar("b").op(0x44).trace();  // typeof
    a.num(-20).call("a", "swapDepths", 1).op(0x17);
    a.call("a", "removeMovieClip", 0).op(0x17);
    a.getVar("a").op(0x44).trace();  // still there: negative depths are the timeline's
    const Outcome r = run(tag(12, a.end()) + tag(1, {}), 1);
    EXPECT_EQ(r.traces, (QStringList{"7", "5", "8", "undefined", "movieclip"}));
}

TEST(ScriptHost, AttachMovieByExportNameRunsTheSymbolsFirstFrame) {
    const QByteArray sprite = tag(39, u16(3) + u16(1) + tag(12, Actions().str("attached").trace().end()) + tag(1, {}) + u16(0));
    QByteArray tags = sprite + tag(56, u16(1) + u16(3) + cstr("Thing"));
    Actions a;
    a.num(4).str("t").str("Thing").num(3).getVar("_root").str("attachMovie").op(0x52).op(0x17);
    a.traceMember("t", "_name");
    a.num(5).str("u").str("Nothing").num(3).getVar("_root").str("attachMovie").op(0x52).op(0x44).trace();
    tags += tag(12, a.end()) + tag(1, {});
    const Outcome r = run(tags, 1);
    EXPECT_EQ(r.traces, (QStringList{"t", "undefined", "attached"}));
}

}  // namespace
