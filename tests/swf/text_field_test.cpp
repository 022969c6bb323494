// Text fields as scripts see them: measured sizes (textWidth/textHeight), the Selection
// object's indices, glyph rendering settings and watched text; scrolling by script and
// wheel, and the selection drawn over embedded glyphs.
#include <gtest/gtest.h>

#include <cmath>

#include "handmade_swf.h"
#include "swf/device_font.h"
#include "swf/player.h"
#include "swf/swf.h"

namespace {

using namespace swf::test;

QByteArray cstr(const char* s) { return QByteArray(s) + '\0'; }

// Just the actions these tests need, assembled by hand.
class Actions {
public:
    Actions& str(const char* s) { return record(0x96, QByteArray(1, '\0') + cstr(s)); }
    Actions& num(int v) { return record(0x96, QByteArray(1, '\x07') + u32(uint32_t(v))); }
    Actions& boolean(bool v) { return record(0x96, QByteArray(1, '\x05') + QByteArray(1, v ? '\1' : '\0')); }
    Actions& op(uint8_t code) {
        bytes_ += char(code);
        return *this;
    }
    Actions& getVar(const char* name) { return str(name).op(0x1C); }
    Actions& trace() { return op(0x26); }
    // object.method(args) with the arguments already pushed, last first.
    Actions& call(const char* object, const char* method, int argCount) {
        return num(argCount).getVar(object).str(method).op(0x52);
    }
    Actions& set(const char* object, const char* name, int value) { return getVar(object).str(name).num(value).op(0x4F); }
    Actions& set(const char* object, const char* name, bool value) {
        return getVar(object).str(name).boolean(value).op(0x4F);
    }
    Actions& set(const char* object, const char* name, const char* value) {
        return getVar(object).str(name).str(value).op(0x4F);
    }
    Actions& traceMember(const char* object, const char* name) { return getVar(object).str(name).op(0x4E).trace(); }
    // A text field `name` at depth, width x 100 pixels.
    Actions& field(const char* name, int depth, int width) {
        return num(100).num(width).num(0).num(0).num(depth).str(name).num(6).getVar("_root").str("createTextField")
            .op(0x52).op(0x17);
    }
    // Traces Selection's begin, caret and end indices.
    Actions& traceSelection() {
        call("Selection", "getBeginIndex", 0).trace();
        call("Selection", "getCaretIndex", 0).trace();
        return call("Selection", "getEndIndex", 0).trace();
    }
    // An anonymous function(prop, old, value) running `body`, left on the stack.
    Actions& function(const Actions& body) {
        record(0x9B, cstr("") + u16(3) + cstr("prop") + cstr("old") + cstr("value") + u16(int(body.bytes_.size())));
        bytes_ += body.bytes_;
        return *this;
    }
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

// Runs the actions on the first frame, after `tags` (definitions and placements).
QStringList run(const Actions& a, const QByteArray& tags = {}) {
    const QByteArray bytes = movie(tags + tag(12, a.end()) + showFrame(), 100, 100, 8, 1);
    swf::Player player(swf::parseMovie(std::span(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                                 size_t(bytes.size()))),
                       nullptr, swf::Player::Start::Later);
    QStringList traces;
    player.setTraceHandler([&traces](const QString& line) { traces << line; });
    player.advance();
    return traces;
}

double deviceWidth(std::u16string_view text, double size = 12) {
    swf::device_font::Style style;
    style.size = size;
    double width = 0;
    for (char16_t c : text) width += swf::device_font::advance(c, style);
    return width;
}

TEST(TextField, TextSizeFollowsTheDeviceFontWrappingAndAlignment) {
    Actions a;
    a.field("t", 1, 400).set("t", "text", "Hello world").traceMember("t", "textWidth").traceMember("t", "textHeight");
    // Wrapped into a field too narrow for both words: two lines, each as wide as its word
    // and the space after it.
    a.field("w", 2, 60).set("w", "wordWrap", true).set("w", "text", "Hello world");
    a.traceMember("w", "textWidth").traceMember("w", "textHeight");
    // Right-aligned lines are measured without their trailing space.
    a.str("f").num(0).str("TextFormat").op(0x40).op(0x1D).set("f", "align", "right");
    a.getVar("f").num(1).getVar("w").str("setTextFormat").op(0x52).op(0x17).traceMember("w", "textWidth");
    // Letter spacing widens every character.
    a.set("f", "letterSpacing", 2).set("f", "align", "left");
    a.getVar("f").num(1).getVar("t").str("setTextFormat").op(0x52).op(0x17).traceMember("t", "textWidth");
    const QStringList traces = run(a);
    const double line = swf::device_font::ascent(12) + swf::device_font::descent(12);
    EXPECT_EQ(traces, (QStringList{QString::number(std::round(deviceWidth(u"Hello world"))), QString::number(line),
                                   QString::number(std::round(deviceWidth(u"Hello "))), QString::number(2 * line),
                                   QString::number(std::round(deviceWidth(u"world"))),
                                   QString::number(std::round(deviceWidth(u"Hello world") + 2 * 11))}));
}

TEST(TextField, SelectionBelongsToTheFocusedTextField) {
    Actions a;
    a.field("t", 1, 100).set("t", "text", "Some text");
    // Nothing focused: every index is -1 and nothing can be selected.
    a.num(4).num(1).call("Selection", "setSelection", 2).op(0x17).traceSelection();
    a.getVar("t").call("Selection", "setFocus", 1).op(0x17);
    // Ends are put in order and kept inside the text; the caret stays at the asked end.
    a.num(2).num(5).call("Selection", "setSelection", 2).op(0x17).traceSelection();
    a.num(99).num(-3).call("Selection", "setSelection", 2).op(0x17).traceSelection();
    // Without an end the selection runs to the end of the text.
    a.num(4).call("Selection", "setSelection", 1).op(0x17).traceSelection();
    // Replacing the selection leaves the caret after the new text.
    a.num(1).num(0).call("Selection", "setSelection", 2).op(0x17);
    a.str("An").call("t", "replaceSel", 1).op(0x17).traceMember("t", "text").traceSelection();
    EXPECT_EQ(run(a), (QStringList{"-1", "-1", "-1", "2", "2", "5", "0", "9", "9", "4", "9", "9",
                                   "Anome text", "2", "2", "2"}));
}

TEST(TextField, RenderingSettingsTakeOnlyKnownNamesButAnyNumber) {
    Actions a;
    a.field("t", 1, 100);
    a.traceMember("t", "antiAliasType").traceMember("t", "gridFitType").traceMember("t", "sharpness");
    a.set("t", "antiAliasType", "advanced").set("t", "antiAliasType", "blurry").traceMember("t", "antiAliasType");
    a.set("t", "gridFitType", "subpixel").set("t", "gridFitType", "none").set("t", "gridFitType", "x");
    a.traceMember("t", "gridFitType");
    a.set("t", "thickness", -539).traceMember("t", "thickness");
    // 1/0 is Infinity, 0/0 NaN.
    a.getVar("t").str("sharpness").num(1).num(0).op(0x0D).op(0x4F).traceMember("t", "sharpness");
    a.getVar("t").str("thickness").num(0).num(0).op(0x0D).op(0x4F).traceMember("t", "thickness");
    EXPECT_EQ(run(a), (QStringList{"normal", "pixel", "0", "advanced", "none", "-539", "Infinity", "NaN"}));
}

TEST(TextField, AWatchOnTextSeesAndReplacesTheAssignedText) {
    Actions a;
    a.field("t", 1, 100);
    // t.watch("text", function(prop, old, value) { trace(value); return "watched"; })
    Actions body;
    body.getVar("value").trace().str("watched").op(0x3E);
    a.function(body).str("text").num(2).getVar("t").str("watch").op(0x52).op(0x17);
    a.set("t", "text", "typed").traceMember("t", "text");
    EXPECT_EQ(run(a), (QStringList{"typed", "watched"}));
}

TEST(TextField, CreatedFramesAreWholePixelsAndPositionsWholeTwips) {
    // createTextField("f", 1, "-2.9", "3.94", "-50", "7.5"): truncated, the negative width flipped.
    Actions b;
    b.str("7.5").str("-50").str("3.94").str("-2.9").num(1).str("f").num(6).getVar("_root").str("createTextField")
        .op(0x52).op(0x17);
    for (const char* p : {"_x", "_y", "_width", "_height"}) b.traceMember("f", p);
    // Positions keep whole twips (1/20 pixel), cut toward zero.
    b.getVar("f").str("_y").str("3.94").op(0x4F).traceMember("f", "_y");
    // An infinite width is ignored.
    b.getVar("f").str("_width").num(1).num(0).op(0x0D).op(0x4F).traceMember("f", "_width");
    EXPECT_EQ(run(b), (QStringList{"-2", "3", "50", "7", "3.9", "50"}));
}

// A stored field centred with the given indent (twips, as stored), HTML or not, with text.
QByteArray storedField(int id, int indentTwips, bool html) {
    const uint8_t flags1 = 0x80;                      // has text
    const uint8_t flags2 = 0x20 | (html ? 0x02 : 0);  // has layout, HTML
    QByteArray body = u16(id) + rect(0, 2000, 0, 400) + char(flags1) + char(flags2);
    body += char(2) + u16(0) + u16(0) + u16(indentTwips & 0xFFFF) + u16(0);  // centred, margins, indent, leading
    body += cstr("") + cstr(html ? "<p>text</p>" : "text");
    return tag(37, body);
}

TEST(TextField, StoredIndentIsSignedAndHtmlTextKeepsItsOwnAlignment) {
    const QByteArray tags = storedField(1, 0xFF38, false) + place2(1, 1) + storedField(2, 32767, true) + place2(2, 2);
    Actions a;
    for (const char* field : {"instance1", "instance2"}) {
        a.call(field, "getNewTextFormat", 0).str("indent").op(0x4E).trace();
        a.call(field, "getNewTextFormat", 0).str("align").op(0x4E).trace();
    }
    // HTML set from a script brings its first paragraph's alignment.
    a.set("instance2", "htmlText", "<p align=\"right\">r</p>");
    a.call("instance2", "getNewTextFormat", 0).str("align").op(0x4E).trace();
    EXPECT_EQ(run(a, tags), (QStringList{"-10", "center", "1638", "left", "right"}));
}

// A multiline device-font field, 100 x 40 pixels at (0, 0), with four lines of 12-pixel
// text: two of them fit.
QByteArray fourLineField(int id) {
    QByteArray body = u16(id) + rect(0, 2000, 0, 800) + char(0x80 | 0x20 | 0x08) + char(0);  // text, multiline, read-only
    return tag(37, body + cstr("") + cstr("one\rtwo\rthree\rfour"));
}

std::unique_ptr<swf::Player> playerFor(const QByteArray& file, QStringList& traces) {
    auto player = std::make_unique<swf::Player>(
        swf::parseMovie(std::span(reinterpret_cast<const uint8_t*>(file.constData()), size_t(file.size()))), nullptr,
        swf::Player::Start::Later);
    player->setTraceHandler([&traces](const QString& line) { traces << line; });
    return player;
}

TEST(TextField, ScrollStaysWithinTheLinesByScriptAndByWheel) {
    Actions first;
    first.traceMember("instance1", "maxscroll").traceMember("instance1", "bottomScroll");
    first.set("instance1", "scroll", 99).traceMember("instance1", "scroll").traceMember("instance1", "bottomScroll");
    first.set("instance1", "scroll", 1);
    // Mouse listeners hear the wheel's lines: o.onMouseWheel = function(prop) { trace(prop); }
    first.str("o").num(0).str("Object").op(0x40).op(0x1D);
    Actions body;
    body.getVar("prop").trace();
    first.getVar("o").str("onMouseWheel").function(body).op(0x4F);
    first.getVar("o").call("Mouse", "addListener", 1).op(0x17);
    Actions each;
    each.traceMember("instance1", "scroll");
    QByteArray tags = fourLineField(1) + place2(1, 1) + tag(12, first.end()) + showFrame() +
                            tag(12, each.end()) + showFrame() + tag(12, each.end()) + showFrame() +
                            tag(12, each.end()) + showFrame();
    Actions off;
    off.set("instance1", "mouseWheelEnabled", false).traceMember("instance1", "mouseWheelEnabled");
    tags += tag(12, off.end()) + showFrame() + tag(12, each.end()) + showFrame();
    QStringList traces;
    auto player = playerFor(movie(tags, 200, 100, 8, 6), traces);
    player->advance();
    EXPECT_EQ(traces, (QStringList{"3", "2", "3", "4"}));
    traces.clear();
    // Turned toward the user over the field: it shows later lines, as far as the last.
    player->mouseWheel(QPointF(50, 20), -1);
    player->advance();
    player->mouseWheel(QPointF(50, 20), -5);
    player->advance();
    // Away from the user it goes back, no further than the first line; outside the field the
    // wheel scrolls nothing.
    player->mouseWheel(QPointF(50, 20), 9);
    player->mouseWheel(QPointF(150, 20), -1);
    player->advance();
    // A field a script took the wheel from keeps its lines.
    player->advance();
    player->mouseWheel(QPointF(50, 20), -1);
    player->advance();
    EXPECT_EQ(traces, (QStringList{"-1", "2", "-5", "3", "9", "-1", "1", "false", "-1", "1"}));
}

// An input field using an embedded font whose "a" is a square filling the ascent, half an em
// wide: `text` at 20 pixels, the field from (0, 0) to (100, 40) pixels.
QByteArray squareFontField(int fontId, int fieldId, const char* text) {
    Bits glyph;
    rectRecords(glyph, 0, -800, 512, 0, 1, 0, 1);
    QByteArray font = u16(fontId) + char(0x80) + char(1) + char(1) + QByteArray("F") + u16(1);
    font += u16(4) + u16(4 + int(glyph.bytes().size()));  // the glyph's and the code table's offsets
    font += glyph.bytes() + char('a');
    font += u16(800) + u16(224) + u16(0) + u16(512);  // ascent, descent, leading, advance
    font += rect(0, 512, -800, 0) + u16(0);           // bounds, no kerning
    QByteArray field = u16(fieldId) + rect(0, 2000, 0, 800) + char(0x80 | 0x04 | 0x01) + char(0x01);  // outlines
    field += u16(fontId) + u16(400) + QByteArray("\x00\x00\x00\xff", 4);
    return tag(48, font) + tag(37, field + cstr("") + cstr(text));
}

TEST(TextField, TheFocusedFieldDrawsItsSelectionInverted) {
    Actions focus;
    focus.getVar("instance1").call("Selection", "setFocus", 1).op(0x17);
    Actions select;
    select.num(2).num(1).call("Selection", "setSelection", 2).op(0x17);
    const QByteArray tags = tag(9, QByteArray("\xff\xff\xff", 3)) + squareFontField(1, 2, "aaa") + place2(1, 2) +
                            showFrame() + tag(12, focus.end()) + showFrame() + tag(12, select.end()) + showFrame();
    QStringList traces;
    auto player = playerFor(movie(tags, 100, 40, 8, 3), traces);
    // The glyphs sit 2 pixels in, 10 pixels wide and about 15.6 high above the baseline; the
    // line box runs 20 pixels down from the top gutter.
    auto glyphOf = [](const QImage& frame, int n) { return frame.pixelColor(2 + 10 * n + 5, 10).lightness(); };
    auto belowGlyphOf = [](const QImage& frame, int n) { return frame.pixelColor(2 + 10 * n + 5, 20).lightness(); };
    player->advance();
    QImage frame = player->renderImage(QSize(100, 40));
    for (int n = 0; n < 3; ++n) {
        EXPECT_LT(glyphOf(frame, n), 40) << "unfocused glyph " << n;
        EXPECT_GT(belowGlyphOf(frame, n), 215) << "unfocused glyph " << n;
    }
    // Focus from a script selects the whole text of an input field.
    player->advance();
    frame = player->renderImage(QSize(100, 40));
    for (int n = 0; n < 3; ++n) {
        EXPECT_GT(glyphOf(frame, n), 215) << "selected glyph " << n;
        EXPECT_LT(belowGlyphOf(frame, n), 40) << "selected glyph " << n;
    }
    EXPECT_GT(frame.pixelColor(60, 20).lightness(), 215) << "past the text";
    player->advance();
    frame = player->renderImage(QSize(100, 40));
    EXPECT_LT(glyphOf(frame, 0), 40);
    EXPECT_GT(glyphOf(frame, 1), 215);
    EXPECT_LT(belowGlyphOf(frame, 1), 40);
    EXPECT_LT(glyphOf(frame, 2), 40);
}

// Device text: lines break at CR and stand the device font's line height apart, so that
// scrolling by one line shows the second line exactly where the first was; the focused
// field's selection covers its line box.
TEST(TextField, DeviceTextLinesScrollByTheirOwnHeightAndShowTheSelection) {
    Actions scroll;
    scroll.set("instance1", "scroll", 2);
    Actions select;
    select.set("instance1", "type", "input").getVar("instance1").call("Selection", "setFocus", 1).op(0x17);
    const QByteArray tags = tag(9, QByteArray("\xff\xff\xff", 3)) + fourLineField(1) + place2(1, 1) + showFrame() +
                            tag(12, scroll.end()) + showFrame() + tag(12, select.end()) + showFrame();
    QStringList traces;
    auto player = playerFor(movie(tags, 100, 40, 8, 3), traces);
    const int lineHeight = int(swf::device_font::ascent(12) + swf::device_font::descent(12));
    auto inkRows = [](const QImage& frame, int from, int to) {
        int rows = 0;
        for (int y = from; y < to; ++y)
            for (int x = 0; x < frame.width(); ++x)
                if (frame.pixelColor(x, y).lightness() < 128) {
                    ++rows;
                    break;
                }
        return rows;
    };
    player->advance();
    const QImage first = player->renderImage(QSize(100, 40));
    EXPECT_GT(inkRows(first, 2, 2 + lineHeight), 5);
    EXPECT_GT(inkRows(first, 2 + lineHeight, 2 + 2 * lineHeight), 5) << "the second line";
    player->advance();
    const QImage scrolled = player->renderImage(QSize(100, 40));
    EXPECT_EQ(scrolled.copy(0, 2, 100, lineHeight), first.copy(0, 2 + lineHeight, 100, lineHeight));
    player->advance();
    const QImage selected = player->renderImage(QSize(100, 40));
    // The shown line, "two", is selected: its box is mostly dark (but for its white glyphs),
    // the field past the text is not.
    auto darkShare = [&](const QImage& frame) {
        int dark = 0;
        for (int y = 2; y < 2 + lineHeight; ++y)
            for (int x = 2; x < 18; ++x) dark += frame.pixelColor(x, y).lightness() < 128;
        return dark / double(16 * lineHeight);
    };
    EXPECT_LT(darkShare(scrolled), 0.4);
    EXPECT_GT(darkShare(selected), 0.6);
    EXPECT_GT(selected.pixelColor(90, 10).lightness(), 215);
}

// A press in a field puts the caret before the character whose middle is right of the
// mouse; dragging selects from there to the mouse, and above the text means its start.
TEST(TextField, DraggingTheMouseSelectsFromWhereItWasPressed) {
    const QByteArray field = u16(1) + rect(0, 2000, 0, 400) + char(0x80) + char(0);  // an input field
    Actions selection;
    selection.traceSelection();
    const QByteArray tags = tag(37, field + cstr("") + cstr("abc def")) + place2(1, 1) + showFrame() +
                            tag(12, selection.end()) + showFrame() + tag(12, selection.end()) + showFrame();
    QStringList traces;
    auto player = playerFor(movie(tags, 100, 40, 8, 3), traces);
    player->advance();
    // Device advances at 12 pixels from the gutter at 2: a 2-9, b 9-16, c 16-22, space, d 25-32,
    // e 32-39, f 39-43.
    player->mousePress(QPointF(10, 10));
    player->mouseMove(QPointF(20, 10));
    player->mouseRelease(QPointF(30, 10));
    player->advance();
    player->mousePress(QPointF(36, 10));
    player->mouseMove(QPointF(1, -5));
    player->mouseRelease(QPointF(1, -5));
    player->advance();
    EXPECT_EQ(traces, (QStringList{"1", "5", "5", "0", "0", "6"}));
}

// Input method text shows in the focused field at the caret, each composition in place of
// the last; the field takes it for good, telling onChanged, when the focus leaves.
TEST(TextField, ComposedTextShowsAtTheCaretAndIsTakenWhenTheFocusLeaves) {
    const QByteArray field = u16(1) + rect(0, 2000, 0, 400) + char(0x80) + char(0);  // an input field
    Actions setup;
    setup.getVar("instance1").call("Selection", "setFocus", 1).op(0x17);
    setup.num(2).num(2).call("Selection", "setSelection", 2).op(0x17);
    // instance1.onChanged = function(prop) { trace("changed"); }
    Actions changed;
    changed.str("changed").trace();
    setup.getVar("instance1").str("onChanged").function(changed).op(0x4F);
    Actions show;
    show.traceMember("instance1", "text");
    Actions leave;
    leave.traceMember("instance1", "text").getVar("instance2").call("Selection", "setFocus", 1).op(0x17);
    const QByteArray tags = tag(37, field + cstr("") + cstr("abcd")) + place2(1, 1) + place2(2, 1) + tag(12, setup.end()) +
                            showFrame() + tag(12, show.end()) + showFrame() + tag(12, leave.end()) + showFrame();
    QStringList traces;
    auto player = playerFor(movie(tags, 100, 40, 8, 3), traces);
    player->advance();
    player->imePreedit(QStringLiteral("xy"));
    player->advance();
    player->imePreedit(QStringLiteral("z"));
    player->advance();
    EXPECT_EQ(traces, (QStringList{"abxycd", "abzcd", "changed"}));
}

}  // namespace
