// Typing into input text fields (see text_input.h), and the player's side of it: keys and
// typed text reach the focused field, which tells its script through onChanged.
#include "swf/text_input.h"

#include <algorithm>

#include "swf/avm1/avm1.h"
#include "swf/instance.h"
#include "swf/parse_internal.h"
#include "swf/player.h"
#include "swf/script_host.h"

namespace swf {

TextRestrict::TextRestrict(const std::optional<QString>& pattern) {
    if (!pattern) return;
    everything_ = false;
    if (pattern->isEmpty()) return;
    // Tokens: a character (escaped or not), a range dash, or a caret.
    enum class Kind { Char, Dash, Caret };
    struct Token {
        Kind kind;
        char32_t c = 0;
    };
    std::vector<Token> tokens;
    const std::u32string chars = pattern->toStdU32String();
    for (size_t i = 0; i < chars.size(); ++i) {
        char32_t c = chars[i];
        if (c == U'\\') {
            if (i + 1 < chars.size()) tokens.push_back({Kind::Char, chars[++i]});
        } else if (c == U'^') {
            tokens.push_back({Kind::Caret});
        } else if (c == U'-') {
            tokens.push_back({Kind::Dash});
        } else {
            tokens.push_back({Kind::Char, c});
        }
    }
    std::vector<Range> current;
    std::optional<char32_t> last;
    bool allowing = true;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (t.kind == Kind::Char) {
            current.push_back({t.c, t.c});
            last = t.c;
            continue;
        }
        if (t.kind == Kind::Caret) {
            // A leading caret excludes from everything; later ones just switch sides.
            if (allowing) {
                if (current.empty() && allowed_.empty()) allowed_.push_back({0, 0x10FFFF});
                else allowed_.insert(allowed_.end(), current.begin(), current.end());
            } else {
                excluded_.insert(excluded_.end(), current.begin(), current.end());
            }
            current.clear();
            allowing = !allowing;
            last.reset();
            continue;
        }
        // A dash: "a-z"; "-z" starts at 0; "a-" and "z-a" mean the first character alone.
        char32_t first = 0;
        if (last) {
            current.pop_back();
            first = *last;
        }
        char32_t lastChar = first;
        if (i + 1 < tokens.size() && tokens[i + 1].kind == Kind::Char) lastChar = tokens[++i].c;
        current.push_back({first, std::max(first, lastChar)});
        last.reset();
    }
    if (allowing) allowed_.insert(allowed_.end(), current.begin(), current.end());
    else excluded_.insert(excluded_.end(), current.begin(), current.end());
}

bool TextRestrict::allows(char32_t c) const {
    if (everything_) return true;
    auto in = [c](const std::vector<Range>& ranges) {
        return std::any_of(ranges.begin(), ranges.end(), [c](const Range& r) { return c >= r.first && c <= r.last; });
    };
    return in(allowed_) && !in(excluded_);
}

std::optional<char32_t> TextRestrict::admit(char32_t c) const {
    if (allows(c)) return c;
    if (c >= U'a' && c <= U'z' && allows(c - 32)) return c - 32;
    if (c >= U'A' && c <= U'Z' && allows(c + 32)) return c + 32;
    return std::nullopt;
}

QString TextRestrict::filter(const QString& text) const {
    std::u32string out;
    for (char32_t c : text.toStdU32String())
        if (auto admitted = admit(c)) out.push_back(*admitted);
    return QString::fromStdU32String(out);
}

TextEdit replaceSelection(const QString& text, int begin, int end, QString typed, int maxChars) {
    const int size = int(text.size());
    begin = std::clamp(begin < 0 ? size : begin, 0, size);
    end = std::clamp(end < 0 ? size : end, 0, size);
    if (begin > end) std::swap(begin, end);
    if (maxChars > 0) {
        const int room = std::max(0, maxChars - (size - (end - begin)));
        if (typed.size() > room) typed.truncate(room);
    }
    TextEdit edit;
    edit.caret = begin + int(typed.size());
    edit.changed = !typed.isEmpty() || begin != end;
    edit.text = text.left(begin) + typed + text.mid(end);
    return edit;
}

namespace {

EditTextDef* ownFieldOf(Instance* inst) {
    if (!inst || !inst->character || !std::holds_alternative<EditTextDef>(*inst->character)) return nullptr;
    if (!inst->ownCharacter) {
        inst->ownCharacter = std::make_unique<Character>(*inst->character);
        inst->character = inst->ownCharacter.get();
    }
    return std::get_if<EditTextDef>(inst->ownCharacter.get());
}

}  // namespace

void Player::editFocusedField(const QString& typed, std::optional<EditKey> key) {
    if (!scriptHost_) return;
    Instance* inst = instanceById(focusedObject());
    EditTextDef* field = ownFieldOf(inst);
    if (!field || field->readOnly) return;
    composingSerial_ = 0;  // typing takes what was being composed as it stands
    const QString before = field->text;
    const int size = int(before.size());
    int begin = scriptHost_->selectionBegin(), end = scriptHost_->selectionEnd();
    begin = std::clamp(begin < 0 ? size : begin, 0, size);
    end = std::clamp(end < 0 ? size : end, 0, size);
    if (begin > end) std::swap(begin, end);
    TextEdit edit;
    if (!key) {
        QString text = typed;
        if (!field->multiline) text.remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
        text = TextRestrict(field->restrict).filter(text);
        edit = replaceSelection(before, begin, end, text, field->hasMaxLength ? field->maxLength : 0);
    } else switch (*key) {
        case EditKey::Enter:
            if (!field->multiline) return;
            edit = replaceSelection(before, begin, end, QStringLiteral("\r"), field->hasMaxLength ? field->maxLength : 0);
            break;
        case EditKey::Backspace:
            edit = replaceSelection(before, begin == end ? std::max(0, begin - 1) : begin, end, {}, 0);
            break;
        case EditKey::Delete:
            edit = replaceSelection(before, begin, begin == end ? std::min(size, end + 1) : end, {}, 0);
            break;
        case EditKey::Left:
        case EditKey::Right:
        case EditKey::Home:
        case EditKey::End: {
            int caret = *key == EditKey::Home  ? 0
                        : *key == EditKey::End ? size
                        : *key == EditKey::Left ? (begin == end ? std::max(0, begin - 1) : begin)
                                               : (begin == end ? std::min(size, end + 1) : end);
            scriptHost_->setSelection(caret, caret);
            return;
        }
        case EditKey::SelectAll:
            scriptHost_->setSelection(0, size);
            return;
    }
    if (!edit.changed) return;
    detail::setEditTextContent(*field, edit.text, false, *movie_);
    scriptHost_->setSelection(edit.caret, edit.caret);
    dirty_ = true;
    if (!engine_) return;
    pushBoundText(*inst);
    avm1::Argument self[] = {avm1::Argument::ofDisplay(inst->serial)};
    engine_->callHandler(inst->serial, "onChanged", self);
}

void Player::pullBoundText(Instance& inst) {
    const auto* stored = inst.character ? std::get_if<EditTextDef>(inst.character) : nullptr;
    if (!engine_ || !stored || stored->variableName.isEmpty()) return;
    const std::string name = stored->variableName.toStdString();
    auto value = engine_->getVariable(inst.parentSerial, name);
    EditTextDef* field = ownFieldOf(&inst);
    const QString& own = field->html ? field->initialText : field->text;
    if (!value) {
        // A variable that does not exist yet takes the field's text, if it has any.
        if (!own.isEmpty()) engine_->setVariable(inst.parentSerial, name, own.toStdString());
        return;
    }
    const QString text = QString::fromStdString(*value);
    if (text == own) return;
    detail::setEditTextContent(*field, text, field->html, *movie_);
    dirty_ = true;
}

void Player::pushBoundText(Instance& inst) {
    const auto* field = inst.character ? std::get_if<EditTextDef>(inst.character) : nullptr;
    if (!engine_ || !field || field->variableName.isEmpty()) return;
    engine_->setVariable(inst.parentSerial, field->variableName.toStdString(),
                         (field->html ? field->initialText : field->text).toStdString());
}

void Player::mouseWheel(QPointF pos, int lines) {
    trackMouse(pos, true);
    lastMouseView_ = pos;
    if (engine_) {
        engine_->broadcastMouse(avm1::MouseEvent::Wheel, lines);
        runQueuedActions();
    }
    // Turning the wheel away from the user shows earlier lines.
    Instance* under = textFieldAt(pos);
    const auto* stored = under ? std::get_if<EditTextDef>(under->character) : nullptr;
    if (EditTextDef* field = stored && stored->mouseWheelEnabled ? ownFieldOf(under) : nullptr) {
        const int scroll = std::clamp(field->scroll - lines, 1, std::max(1, detail::maxScroll(*field, *movie_)));
        if (scroll != field->scroll) {
            field->scroll = scroll;
            dirty_ = true;
        }
    }
    afterChange();
}

int Player::caretUnderMouse(const Instance& inst) const {
    const auto* field = inst.character ? std::get_if<EditTextDef>(inst.character) : nullptr;
    if (!field) return 0;
    // The mouse in the field's own twips.
    QTransform toStage = inst.matrix;
    int guard = 0;
    for (uint64_t id = inst.parentSerial; id != kRootSerial && guard <= kMaxNesting; ++guard) {
        const Instance* parent = instanceById(id);
        if (!parent) break;
        toStage = toStage * parent->matrix;
        id = parent->parentSerial;
    }
    toStage = toStage * rootProps_->matrix;
    bool invertible = false;
    const QPointF local = toStage.inverted(&invertible).map(mouseStage_ * 20);
    if (!invertible) return 0;
    const detail::PlacedText placed = detail::placeText(*field, *movie_);
    const int scroll = field->scroll > 1 ? std::min(field->scroll, detail::maxScroll(*field, *movie_)) : 1;
    return detail::caretIndexAt(placed.boxes, local + QPointF(0, (scroll - 1) * placed.pitch));
}

void Player::startSelecting(const Instance& field) {
    if (!scriptHost_ || !mouseDown_ || focusedObject() != field.serial) return;
    selectingSerial_ = field.serial;
    selectAnchor_ = caretUnderMouse(field);
    scriptHost_->setSelection(selectAnchor_, selectAnchor_);
    dirty_ = true;
}

void Player::dragSelect() {
    const Instance* field = instanceById(selectingSerial_);
    if (!scriptHost_ || !field || !mouseDown_ || focusedObject() != selectingSerial_) {
        selectingSerial_ = 0;
        return;
    }
    scriptHost_->setSelection(selectAnchor_, caretUnderMouse(*field));
    dirty_ = true;
}

void Player::imePreedit(const QString& text) {
    Instance* inst = instanceById(focusedObject());
    EditTextDef* field = ownFieldOf(inst);
    if (!field || field->readOnly || !scriptHost_) return;
    QString content = field->text;
    const int size = int(content.size());
    int at;
    if (composingSerial_ == inst->serial) {
        at = std::clamp(composeBegin_, 0, size);
        content.remove(at, std::clamp(composeLength_, 0, size - at));
    } else {
        // Composing starts at the caret, in place of the selection.
        int begin = scriptHost_->selectionBegin(), end = scriptHost_->selectionEnd();
        begin = std::clamp(begin < 0 ? size : begin, 0, size);
        end = std::clamp(end < 0 ? size : end, begin, size);
        content.remove(begin, end - begin);
        at = begin;
    }
    content.insert(at, text);
    composingSerial_ = inst->serial;
    composeBegin_ = at;
    composeLength_ = int(text.size());
    detail::setEditTextContent(*field, content, false, *movie_);
    scriptHost_->setSelection(at + composeLength_, at + composeLength_);
    dirty_ = true;
    afterChange();
}

void Player::commitComposition(uint64_t serial) {
    if (!composingSerial_ || composingSerial_ != serial) return;
    composingSerial_ = 0;
    Instance* inst = instanceById(serial);
    if (!inst || !engine_ || composeLength_ == 0) return;
    pushBoundText(*inst);
    avm1::Argument self[] = {avm1::Argument::ofDisplay(serial)};
    engine_->callHandler(serial, "onChanged", self);
}

void Player::textInput(char16_t character) { typeText(QString(QChar(character))); }

void Player::typeText(const QString& text) {
    if (text == QLatin1String("\r") || text == QLatin1String("\n")) return editKey(EditKey::Enter);
    QString printable = text;
    printable.removeIf([](QChar c) { return c.unicode() < 32 || c.unicode() == 127; });
    if (printable.isEmpty()) return;
    editFocusedField(printable, std::nullopt);
    runQueuedActions();
    afterChange();
}

void Player::editKey(EditKey key) {
    editFocusedField({}, key);
    runQueuedActions();
    afterChange();
}

void Player::paste(const QString& text) {
    editFocusedField(text, std::nullopt);
    runQueuedActions();
    afterChange();
}

}  // namespace swf
