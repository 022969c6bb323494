// The script-carrying tags as the parser keeps them for the engine (action bytes of
// DoAction, DoInitAction, button conditions and clip events; export names; text-field
// variables), and key presses reaching button key conditions.
#include <gtest/gtest.h>

#include "handmade_swf.h"
#include "swf/swf.h"
#include "swf/writer/swf_writer.h"

namespace {

// A button record drawn in the up state and used as the hit area.
swf::writer::ButtonRecord hitAndUp(uint16_t shape) {
    swf::writer::ButtonRecord record;
    record.states = swf::writer::ButtonRecord::Up | swf::writer::ButtonRecord::HitTest;
    record.characterId = shape;
    return record;
}

using namespace swf::test;

std::shared_ptr<const swf::Movie> parse(const QByteArray& bytes) {
    return swf::parseMovie(std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())));
}

QByteArray movieOf(const QByteArray& tags, int version = 8) { return swf::test::movie(tags, 100, 100, version); }

QByteArray cstr(const char* s) { return QByteArray(s) + '\0'; }

std::vector<uint8_t> bytesOf(const QByteArray& b) { return {b.begin(), b.end()}; }

// Push "hi", Trace, End.
const QByteArray kTraceHi = QByteArray("\x96\x04\x00\x00hi\x00\x26\x00", 9);

QByteArray emptySprite(int id) { return tag(39, u16(id) + u16(1) + tag(1, {}) + u16(0)); }

TEST(ScriptTags, ActionBytesAreKeptAsStored) {
    QByteArray tags = emptySprite(5);
    tags += tag(56, u16(1) + u16(5) + cstr("Linked"));  // ExportAssets
    tags += tag(59, u16(5) + kTraceHi);                   // DoInitAction
    tags += tag(12, kTraceHi);                            // DoAction
    tags += tag(1, {});
    auto movie = parse(movieOf(tags));
    ASSERT_EQ(movie->root.frames.size(), 1u);
    const auto& commands = movie->root.frames[0].commands;
    ASSERT_EQ(commands.size(), 2u);
    auto* init = std::get_if<swf::InitActionCommand>(&commands[0]);
    ASSERT_TRUE(init);
    EXPECT_EQ(init->spriteId, 5);
    ASSERT_TRUE(init->code);
    EXPECT_EQ(*init->code, bytesOf(kTraceHi));
    auto* action = std::get_if<swf::ActionCommand>(&commands[1]);
    ASSERT_TRUE(action && action->code);
    EXPECT_EQ(*action->code, bytesOf(kTraceHi));
    ASSERT_EQ(movie->exports.count(QStringLiteral("Linked")), 1u);
    EXPECT_EQ(movie->exports.at(QStringLiteral("Linked")), 5);
}

// PlaceObject2 with clip actions: 16-bit event flags in SWF 5, 32-bit from SWF 6, and a
// key code before the actions of a key press event.
QByteArray placeWithClipActions(int version) {
    auto flags = [&](uint32_t v) { return version >= 6 ? u32(v) : u16(int(v)); };
    QByteArray body;
    body += char(0x02 | 0x80);  // character, clip actions
    body += u16(1) + u16(5);    // depth 1, sprite 5
    body += u16(0);             // reserved
    const uint32_t load = swf::clip_event::kLoad, enterFrame = swf::clip_event::kEnterFrame;
    const uint32_t keyPress = swf::clip_event::kKeyPress;
    body += flags(version >= 6 ? load | enterFrame | keyPress : load | enterFrame);
    body += flags(load | enterFrame) + u32(uint32_t(kTraceHi.size())) + kTraceHi;
    if (version >= 6) body += flags(keyPress) + u32(uint32_t(kTraceHi.size() + 1)) + char(18) + kTraceHi;
    body += flags(0);
    return emptySprite(5) + tag(26, body) + tag(1, {});
}

TEST(ScriptTags, ClipActionsBySwfVersion) {
    for (int version : {5, 6}) {
        SCOPED_TRACE(version);
        auto movie = parse(movieOf(placeWithClipActions(version), version));
        const auto& place = std::get<swf::PlaceCommand>(movie->root.frames[0].commands[0]);
        ASSERT_TRUE(place.clipActions);
        ASSERT_EQ(place.clipActions->size(), version >= 6 ? 2u : 1u);
        const swf::ClipAction& first = (*place.clipActions)[0];
        EXPECT_EQ(first.events, swf::clip_event::kLoad | swf::clip_event::kEnterFrame);
        EXPECT_EQ(*first.code, bytesOf(kTraceHi));
        if (version >= 6) {
            const swf::ClipAction& key = (*place.clipActions)[1];
            EXPECT_EQ(key.events, swf::clip_event::kKeyPress);
            EXPECT_EQ(key.keyCode, 18);
            EXPECT_EQ(*key.code, bytesOf(kTraceHi));
        }
    }
}

TEST(ScriptTags, ClipActionLongerThanItsTagIsMalformed) {
    QByteArray body;
    body += char(0x02 | 0x80);
    body += u16(1) + u16(5) + u16(0) + u32(1) + u32(1) + u32(1000) + kTraceHi;
    EXPECT_THROW(parse(movieOf(emptySprite(5) + tag(26, body) + tag(1, {}), 6)), swf::MalformedMovie);
}

TEST(ScriptTags, EditTextKeepsItsVariableAndStoredText) {
    QByteArray body = u16(3) + rect(0, 2000, 0, 400);
    body += char(0x80 | 0x08);  // has text, read only
    body += char(0x40 | 0x02);  // auto size, HTML
    body += cstr("_root.score") + cstr("<b>12</b>");
    auto movie = parse(movieOf(tag(37, body) + tag(1, {}), 8));
    const auto& field = std::get<swf::EditTextDef>(*movie->character(3));
    EXPECT_EQ(field.variableName, QStringLiteral("_root.score"));
    EXPECT_EQ(field.initialText, QStringLiteral("<b>12</b>"));
    EXPECT_EQ(field.text, QStringLiteral("12"));
    EXPECT_TRUE(field.autoSize);
    EXPECT_TRUE(field.readOnly);
}

TEST(ScriptTags, KeyPressesRunButtonKeyConditions) {
    swf::writer::MovieWriter w(QSizeF(100, 100), 24);
    QPainterPath square;
    square.addRect(10, 10, 20, 20);
    uint16_t shape = w.defineShape(square, swf::writer::FillStyle::solid(Qt::red));
    swf::writer::ButtonAction onTab, onA;
    onTab.kind = onA.kind = swf::writer::ButtonAction::GotoFrame;
    onTab.frame = 1;
    onTab.conditions = uint16_t(18 << 9);  // the Tab key
    onA.frame = 2;
    onA.conditions = uint16_t('a' << 9);
    uint16_t button = w.defineButton2({hitAndUp(shape)}, {onTab, onA});
    w.place(1, button);
    w.stop();
    for (int i = 0; i < 3; ++i) w.showFrame();

    swf::Player player(parse(w.finish()));
    ASSERT_EQ(player.currentFrame(), 1);
    player.keyDown('B', u'b');  // no condition for it
    EXPECT_EQ(player.currentFrame(), 1);
    player.keyDown(9, u'\t');
    player.keyUp(9, u'\t');
    EXPECT_EQ(player.currentFrame(), 2);
    player.keyDown('A', u'a');
    EXPECT_EQ(player.currentFrame(), 3);
}

}  // namespace
