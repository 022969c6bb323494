// Keyboard focus and typing: Tab order (by position and by tabIndex), which objects
// Selection.setFocus accepts, the focus rectangle and when the mouse hides it, and typed
// text reaching an input field through restrict and maxChars.
#include <gtest/gtest.h>

#include <QImage>
#include <string_view>
#include <tuple>

#include "handmade_swf.h"
#include "swf/swf.h"
#include "swf/text_input.h"

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
    Actions& setMember(const char* object, const char* name, int value) {
        return getVar(object).str(name).num(value).op(0x4F);
    }
    Actions& setFlag(const char* object, const char* name, bool value) {
        return getVar(object).str(name).boolean(value).op(0x4F);
    }
    Actions& setText(const char* object, const char* name, const char* value) {
        return getVar(object).str(name).str(value).op(0x4F);
    }
    Actions& traceMember(const char* object, const char* name) { return getVar(object).str(name).op(0x4E).trace(); }
    // An anonymous function(a, b) running `body`, left on the stack.
    Actions& function(const Actions& body) {
        record(0x9B, cstr("") + u16(2) + cstr("a") + cstr("b") + u16(int(body.bytes_.size())));
        bytes_ += body.bytes_;
        return *this;
    }
    // A clip at (x, y) filled red, 20 pixels square.
    Actions& square(const char* name, int depth, int x, int y) {
        num(depth).str(name).num(2).getVar("_root").str("createEmptyMovieClip").op(0x52).op(0x17);
        num(100).num(0xFF0000).call(name, "beginFill", 2).op(0x17);
        num(0).num(0).call(name, "moveTo", 2).op(0x17);
        for (auto [px, py] : {std::pair{20, 0}, {20, 20}, {0, 20}, {0, 0}}) num(py).num(px).call(name, "lineTo", 2).op(0x17);
        call(name, "endFill", 0).op(0x17);
        return setMember(name, "_x", x).setMember(name, "_y", y);
    }
    // Selection.onSetFocus traces the object that took the focus.
    Actions& traceFocusChanges() {
        str("listener").num(0).str("Object").op(0x40).op(0x1D);
        getVar("listener").str("onSetFocus").function(Actions().getVar("b").trace()).op(0x4F);
        return getVar("listener").call("Selection", "addListener", 1).op(0x17);
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

std::shared_ptr<const swf::Movie> parse(const QByteArray& bytes) {
    return swf::parseMovie(std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())));
}

struct Stage {
    explicit Stage(const QByteArray& tags, int frames = 1)
        : player(parse(swf::test::movie(tags, 100, 100, 8, frames)), nullptr, swf::Player::Start::Later) {
        player.setViewSize(QSize(100, 100));
        player.setTraceHandler([this](const QString& line) { traces << line; });
        player.advance();
    }
    QColor at(int x, int y) { return player.renderImage(QSize(100, 100)).pixelColor(x, y); }
    void tab(bool back = false) {
        if (back) player.keyDown(16, 0);
        player.keyDown(9, 0);
        player.keyUp(9, 0);
        if (back) player.keyUp(16, 0);
    }
    swf::Player player;
    QStringList traces;
};

const QColor kYellow(255, 255, 0);

TEST(Focus, TabFollowsPositionsAndTheRectangleShowsUntilTheMouseIsUsed) {
    Actions a;
    a.square("right", 1, 50, 10).square("left", 2, 10, 10).square("plain", 3, 10, 60);
    a.setFlag("right", "tabEnabled", true).setFlag("left", "tabEnabled", true);
    a.traceFocusChanges();
    // A clip without button handlers or focusEnabled cannot be given the focus.
    a.getVar("plain").call("Selection", "setFocus", 1).trace();
    Stage s(tag(12, a.end()) + showFrame());
    EXPECT_EQ(s.traces, QStringList{"false"});
    EXPECT_EQ(s.at(11, 20), QColor(Qt::red));

    s.tab();  // the leftmost of the row comes first
    s.tab();
    s.tab(true);
    EXPECT_EQ(s.traces, (QStringList{"false", "_level0.left", "_level0.right", "_level0.left"}));
    // Three pixels of yellow just inside the focused clip's bounds, over its fill.
    EXPECT_EQ(s.at(10, 20), kYellow);
    EXPECT_EQ(s.at(12, 20), kYellow);
    EXPECT_EQ(s.at(13, 20), QColor(Qt::red));
    EXPECT_EQ(s.at(51, 20), QColor(Qt::red));

    // Pressing the mouse hides the rectangle but keeps the focus where it is.
    s.player.mousePress(QPointF(90, 90));
    s.player.mouseRelease(QPointF(90, 90));
    EXPECT_EQ(s.at(10, 20), QColor(Qt::red));
    s.tab();
    EXPECT_EQ(s.traces.last(), "_level0.right");
    EXPECT_EQ(s.at(50, 20), kYellow);
}

TEST(Focus, TabIndexMakesACustomOrderAndFocusRectHidesTheRectangle) {
    Actions a;
    a.square("first", 1, 10, 10).square("second", 2, 50, 10).square("none", 3, 10, 60);
    a.setFlag("none", "tabEnabled", true);
    a.setMember("first", "tabIndex", 2).setMember("second", "tabIndex", 1);
    a.traceMember("first", "tabIndex");
    a.setFlag("second", "_focusrect", false);
    a.traceFocusChanges();
    Stage s(tag(12, a.end()) + showFrame());
    EXPECT_EQ(s.traces, QStringList{"2"});
    s.tab();
    s.tab();
    s.tab();
    // Objects without a tabIndex drop out once any object has one.
    EXPECT_EQ(s.traces, (QStringList{"2", "_level0.second", "_level0.first", "_level0.second"}));
    // _focusrect = false on the object itself wins over the stage's setting.
    EXPECT_EQ(s.at(50, 20), QColor(Qt::red));
}

TEST(Focus, TheFocusedClipHearsEachKeyBeforeTheKeyListeners) {
    Actions a;
    a.square("first", 1, 10, 10).square("second", 2, 50, 10);
    a.setMember("first", "tabIndex", 1).setMember("second", "tabIndex", 2);
    a.getVar("first").str("onKeyDown").function(Actions().str("first down").trace()).op(0x4F);
    a.getVar("first").str("onKeyUp").function(Actions().str("first up").trace()).op(0x4F);
    a.str("keys").num(0).str("Object").op(0x40).op(0x1D);
    a.getVar("keys").str("onKeyDown").function(Actions().str("key").trace()).op(0x4F);
    a.getVar("keys").call("Key", "addListener", 1).op(0x17);
    a.traceFocusChanges();
    Stage s(tag(12, a.end()) + showFrame());
    s.tab();  // nothing has the focus as Tab goes down; the first clip has it as it comes up
    s.player.keyDown(65, u'a');
    s.player.keyUp(65, u'a');
    s.tab();  // the second clip has no handlers
    EXPECT_EQ(s.traces, (QStringList{"key", "_level0.first", "first up", "first down", "key", "first up",
                                     "first down", "key", "_level0.second"}));
}

TEST(Focus, TypingReachesTheFocusedInputFieldThroughRestrictAndMaxChars) {
    Actions a;
    a.num(20).num(100).num(0).num(0).num(1).str("field").num(6).getVar("_root").str("createTextField").op(0x52).op(0x17);
    a.setText("field", "type", "input").setText("field", "restrict", "a-c").setMember("field", "maxChars", 3);
    a.getVar("field").call("Selection", "setFocus", 1).trace();
    // Any key traces the field's text.
    a.str("keys").num(0).str("Object").op(0x40).op(0x1D);
    a.getVar("keys").str("onKeyDown").function(Actions().traceMember("field", "text")).op(0x4F);
    a.getVar("keys").call("Key", "addListener", 1).op(0x17);
    Stage s(tag(12, a.end()) + showFrame());
    EXPECT_EQ(s.traces, QStringList{"true"});
    for (char16_t c : std::u16string_view(u"axBcc")) s.player.textInput(c);  // x is refused, B becomes b, no room for the last c
    s.player.keyDown(27, 0);
    EXPECT_EQ(s.traces, (QStringList{"true", "abc"}));
    s.player.editKey(swf::Player::EditKey::Backspace);
    s.player.editKey(swf::Player::EditKey::Home);
    s.player.textInput(u'c');
    s.player.keyDown(27, 0);
    EXPECT_EQ(s.traces.last(), "cab");
}

TEST(Focus, TextFieldSettingsReadBackAsScriptsSetThem) {
    Actions a;
    a.num(20).num(100).num(0).num(0).num(1).str("field").num(6).getVar("_root").str("createTextField").op(0x52).op(0x17);
    a.setFlag("field", "password", true).setText("field", "text", "secret").traceMember("field", "text");
    a.setMember("field", "borderColor", -1).traceMember("field", "borderColor");
    a.setText("field", "autoSize", "RIGHT").traceMember("field", "autoSize");
    a.setFlag("field", "autoSize", true).traceMember("field", "autoSize");
    a.setText("field", "autoSize", "true").traceMember("field", "autoSize");
    a.setText("field", "restrict", "").traceMember("field", "restrict");
    // A variable binding gives the variable the field's text and takes it back.
    a.setText("field", "variable", "bound").getVar("bound").trace();
    a.str("bound").str("changed").op(0x1D).traceMember("field", "text");
    a.setMember("field", "tabIndex", -4).traceMember("field", "tabIndex");
    a.setMember("_root", "tabIndex", 3).traceMember("_root", "tabIndex");
    Stage s(tag(12, a.end()) + showFrame());
    EXPECT_EQ(s.traces, (QStringList{"secret", "16777215", "right", "left", "none", "null", "secret", "changed",
                                     "4294967292", "3"}));
}

TEST(Focus, TabIndexAndFocusRectConvertPerKindAndVersion) {
    Actions a;
    a.square("clip", 1, 10, 10);
    a.getVar("clip").str("tabIndex").str("x").op(0x4F).traceMember("clip", "tabIndex");  // NaN: the lowest int
    a.setMember("clip", "tabIndex", -1).traceMember("clip", "tabIndex");                  // -1: no index
    a.traceMember("clip", "_focusrect");  // unset on the object: null
    a.setFlag("clip", "_focusrect", true).traceMember("clip", "_focusrect");
    a.traceMember("_root", "_focusrect");  // the root speaks for the stage
    Stage swf8(tag(12, a.end()) + showFrame());
    EXPECT_EQ(swf8.traces, (QStringList{"-2147483648", "undefined", "null", "true", "true"}));

    // Below SWF 6 every object answers with the stage's setting, as a number.
    Actions old;
    old.getVar("_root").str("_focusrect").num(0).op(0x4F).traceMember("_root", "_focusrect");
    swf::Player player(parse(swf::test::movie(tag(12, old.end()) + showFrame(), 100, 100, 5)), nullptr,
                       swf::Player::Start::Later);
    QStringList traces;
    player.setTraceHandler([&](const QString& line) { traces << line; });
    player.advance();
    EXPECT_EQ(traces, QStringList{"0"});
}

TEST(Focus, DeviceTextTurnedOrMirroredIsNotDrawn) {
    Actions a;
    for (auto [name, depth, x] : {std::tuple{"upright", 1, 10}, {"turned", 2, 60}}) {
        a.num(20).num(20).num(10).num(x).num(depth).str(name).num(6).getVar("_root").str("createTextField").op(0x52).op(0x17);
        a.setFlag(name, "background", true).setMember(name, "backgroundColor", 0x0000FF);
    }
    a.setMember("turned", "_rotation", 30);
    Stage s(tag(12, a.end()) + showFrame());
    EXPECT_EQ(s.at(20, 20), QColor(Qt::blue));
    EXPECT_EQ(s.at(68, 22), QColor(Qt::white));
}

TEST(TextRestrict, RangesCaretsEscapesAndCase) {
    using swf::TextRestrict;
    EXPECT_EQ(TextRestrict(std::nullopt).filter(QStringLiteral("aZ9 ą")), QStringLiteral("aZ9 ą"));
    EXPECT_EQ(TextRestrict(QString()).filter(QStringLiteral("abc")), QString());
    EXPECT_EQ(TextRestrict(QStringLiteral("a-c")).filter(QStringLiteral("abcdABCD")), QStringLiteral("abcabc"));
    EXPECT_EQ(TextRestrict(QStringLiteral("A-Z")).filter(QStringLiteral("aB1")), QStringLiteral("AB"));
    EXPECT_EQ(TextRestrict(QStringLiteral("^0-9")).filter(QStringLiteral("a1b2")), QStringLiteral("ab"));
    EXPECT_EQ(TextRestrict(QStringLiteral("a-z^q")).filter(QStringLiteral("pqr")), QStringLiteral("pr"));
    EXPECT_EQ(TextRestrict(QStringLiteral("\\^\\-")).filter(QStringLiteral("a^-\\")), QStringLiteral("^-"));
    // A range given backwards or cut short means its first character alone; "-b" starts at
    // 0, and takes c as C.
    EXPECT_EQ(TextRestrict(QStringLiteral("c-a")).filter(QStringLiteral("abc")), QStringLiteral("c"));
    EXPECT_EQ(TextRestrict(QStringLiteral("b-")).filter(QStringLiteral("abc")), QStringLiteral("b"));
    EXPECT_EQ(TextRestrict(QStringLiteral("-b")).filter(QStringLiteral("!abc")), QStringLiteral("!abC"));
}

TEST(TextRestrict, ReplacingTheSelectionKeepsWithinMaxChars) {
    swf::TextEdit e = swf::replaceSelection(QStringLiteral("hello"), 1, 3, QStringLiteral("XYZ"), 5);
    EXPECT_EQ(e.text, QStringLiteral("hXYlo"));  // room for two of the three
    EXPECT_EQ(e.caret, 3);
    e = swf::replaceSelection(QStringLiteral("ab"), -1, -1, QStringLiteral("c"), 0);  // no selection: at the end
    EXPECT_EQ(e.text, QStringLiteral("abc"));
    e = swf::replaceSelection(QStringLiteral("ab"), 5, 0, QString(), 0);  // out of range, reversed
    EXPECT_EQ(e.text, QStringLiteral("")) << "everything from 0 to the end was selected";
    EXPECT_TRUE(e.changed);
}

}  // namespace
