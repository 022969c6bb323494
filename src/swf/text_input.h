#pragma once
// Typing into input text fields: the `restrict` character filter and the edit that
// replaces a field's selection with typed or pasted text.
#include <QString>
#include <optional>

namespace swf {

// A field's `restrict` setting: which characters typing may insert. No value allows
// everything; ranges "a-z", a caret switches between allowing and excluding, a backslash
// escapes the next character.
class TextRestrict {
public:
    TextRestrict() = default;
    explicit TextRestrict(const std::optional<QString>& pattern);
    // The character to insert for `c`: itself, or its other ASCII case when only that is
    // allowed; empty when neither may be typed.
    std::optional<char32_t> admit(char32_t c) const;
    QString filter(const QString& text) const;

private:
    bool allows(char32_t c) const;
    struct Range {
        char32_t first, last;
    };
    bool everything_ = true;
    std::vector<Range> allowed_, excluded_;
};

// The result of replacing [begin, end) of `text` with `typed`, keeping at most maxChars
// characters (0: no limit). caret is where the insertion ends.
struct TextEdit {
    QString text;
    int caret = 0;
    bool changed = false;
};
TextEdit replaceSelection(const QString& text, int begin, int end, QString typed, int maxChars);

}  // namespace swf
