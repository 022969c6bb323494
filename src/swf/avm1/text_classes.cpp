// TextField properties and methods, and the TextFormat class.
#include <cmath>

#include "swf/avm1/vm.h"

namespace swf::avm1 {
namespace {

using Args = std::span<const Value>;

// AnyNumber takes NaN and the infinities too; Number ignores NaN.
enum class FieldType { Text, Flag, Number, AnyNumber, NullableText, NullableNumber };

struct FieldProperty {
    const char* name;
    FieldType type;
    bool readOnly;
};

constexpr FieldProperty kFieldProperties[] = {
    {"text", FieldType::Text, false}, {"htmlText", FieldType::Text, false}, {"html", FieldType::Flag, false},
    {"variable", FieldType::NullableText, false}, {"autoSize", FieldType::Text, false},
    {"border", FieldType::Flag, false}, {"borderColor", FieldType::Number, false},
    {"background", FieldType::Flag, false}, {"backgroundColor", FieldType::Number, false},
    {"textColor", FieldType::Number, false}, {"multiline", FieldType::Flag, false},
    {"wordWrap", FieldType::Flag, false}, {"selectable", FieldType::Flag, false}, {"type", FieldType::Text, false},
    {"password", FieldType::Flag, false}, {"maxChars", FieldType::NullableNumber, false},
    {"embedFonts", FieldType::Flag, false}, {"length", FieldType::Number, true},
    {"textWidth", FieldType::Number, true}, {"textHeight", FieldType::Number, true},
    {"scroll", FieldType::Number, false}, {"maxscroll", FieldType::Number, true},
    {"hscroll", FieldType::Number, false}, {"maxhscroll", FieldType::Number, true},
    {"bottomScroll", FieldType::Number, true}, {"restrict", FieldType::NullableText, false},
    {"condenseWhite", FieldType::Flag, false}, {"antiAliasType", FieldType::Text, false},
    {"mouseWheelEnabled", FieldType::Flag, false}, {"gridFitType", FieldType::Text, false},
    {"sharpness", FieldType::AnyNumber, false}, {"thickness", FieldType::AnyNumber, false},
};

const FieldProperty* fieldProperty(EngineImpl& e, std::string_view name) {
    for (auto& p : kFieldProperties) {
        std::string_view n = p.name;
        if (n.size() != name.size()) continue;
        bool same = true;
        for (size_t i = 0; i < n.size(); ++i)
            if (e.caseSensitive() ? n[i] != name[i] : std::tolower(static_cast<unsigned char>(n[i])) != std::tolower(static_cast<unsigned char>(name[i])))
                same = false;
        if (same) return &p;
    }
    return nullptr;
}

// ---- TextFormat ------------------------------------------------------------------------------
//
// A TextFormat keeps its fields natively and shows them through accessors on the prototype, so
// that assignments are coerced the way the player coerces them: the constructor truncates
// numbers, setters round them half to even (and keep margins from going negative), colours
// wrap to 32 bits, names of alignments other than the four known ones are refused.

enum class FormatField {
    Font, Size, Color, Bold, Italic, Underline, Url, Target, Align, LeftMargin, RightMargin, Indent, Leading,
    BlockIndent, Bullet, Kerning, LetterSpacing, TabStops, Display, Count
};

constexpr const char* kFormatFieldNames[] = {"font", "size", "color", "bold", "italic", "underline", "url",
                                             "target", "align", "leftMargin", "rightMargin", "indent",
                                             "leading", "blockIndent", "bullet", "kerning", "letterSpacing",
                                             "tabStops", "display"};
static_assert(std::size(kFormatFieldNames) == size_t(FormatField::Count));

// Longer font names are cut to this many characters.
constexpr size_t kMaxFontNameLength = 64;

}  // namespace

struct ScriptTextFormat {
    TextFormatValues values;
    std::optional<std::string> display{"block"};
};

namespace {

ScriptTextFormat* textFormatOf(const Value& v) {
    Object* o = v.object();
    return o && o->extras ? o->extras->textFormat.get() : nullptr;
}

std::string truncatedFontName(std::string name) {
    const std::u16string units = toUtf16(name);
    if (units.size() <= kMaxFontNameLength) return name;
    return toUtf8(std::u16string_view(units).substr(0, kMaxFontNameLength));
}

std::optional<std::string> alignName(std::string name) {
    for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (name == "left" || name == "right" || name == "center" || name == "justify") return name;
    return std::nullopt;
}

// How a number reaches a field: the constructor truncates, setters round half to even.
enum class Coercion { Construct, Assign };

double wholeNumber(double d, Coercion how) {
    if (!std::isfinite(d)) return 0;
    return double(toInt32(how == Coercion::Assign ? std::nearbyint(d) : d));
}

void setFormatField(EngineImpl& e, ScriptTextFormat& f, FormatField field, const Value& v, Coercion how) {
    TextFormatValues& t = f.values;
    const bool clear = v.isNullish();
    auto number = [&](std::optional<double>& out, bool nonNegative) {
        if (clear) return out.reset();
        double d = wholeNumber(e.toNumber(v), how);
        if (nonNegative && how == Coercion::Assign) d = std::max(d, 0.0);
        out = d;
    };
    auto flag = [&](std::optional<bool>& out) { clear ? out.reset() : void(out = e.toBoolean(v)); };
    auto text = [&](std::optional<std::string>& out) { clear ? out.reset() : void(out = e.toString(v)); };
    switch (field) {
        case FormatField::Font:
            if (clear) t.font.reset();
            else t.font = truncatedFontName(e.toString(v));
            break;
        case FormatField::Size: number(t.size, false); break;
        case FormatField::Color:
            if (clear) t.color.reset();
            else t.color = toUint32(e.toNumber(v));
            break;
        case FormatField::Bold: flag(t.bold); break;
        case FormatField::Italic: flag(t.italic); break;
        case FormatField::Underline: flag(t.underline); break;
        case FormatField::Url: text(t.url); break;
        case FormatField::Target: text(t.target); break;
        case FormatField::Align:
            // A setter ignores anything but a known name, null included.
            if (auto name = clear ? std::nullopt : alignName(e.toString(v))) t.align = name;
            else if (how == Coercion::Construct) t.align.reset();
            break;
        case FormatField::LeftMargin: number(t.leftMargin, true); break;
        case FormatField::RightMargin: number(t.rightMargin, true); break;
        case FormatField::Indent: number(t.indent, false); break;
        case FormatField::Leading: number(t.leading, false); break;
        case FormatField::BlockIndent: number(t.blockIndent, false); break;
        case FormatField::Bullet: flag(t.bullet); break;
        case FormatField::Kerning: flag(t.kerning); break;
        case FormatField::LetterSpacing:
            if (clear) t.letterSpacing.reset();
            else if (double d = e.toNumber(v); std::isfinite(d)) t.letterSpacing = d;
            break;
        case FormatField::TabStops:
            if (Object* stops = v.object(); stops && stops->kind == ObjKind::Array) {
                std::vector<double> list;
                for (const Value& stop : stops->elements) list.push_back(wholeNumber(e.toNumber(stop), how));
                t.tabStops = std::move(list);
            } else if (clear) {
                t.tabStops.reset();
            }
            break;
        case FormatField::Display: text(f.display); break;
        case FormatField::Count: break;
    }
}

Value formatFieldValue(EngineImpl& e, const ScriptTextFormat& f, FormatField field) {
    const TextFormatValues& t = f.values;
    auto text = [](const std::optional<std::string>& v) { return v ? Value(*v) : Value::null(); };
    auto num = [](const std::optional<double>& v) { return v ? Value(*v) : Value::null(); };
    auto flag = [](const std::optional<bool>& v) { return v ? Value(*v) : Value::null(); };
    switch (field) {
        case FormatField::Font: return text(t.font);
        case FormatField::Size: return num(t.size);
        case FormatField::Color: return t.color ? Value(double(*t.color)) : Value::null();
        case FormatField::Bold: return flag(t.bold);
        case FormatField::Italic: return flag(t.italic);
        case FormatField::Underline: return flag(t.underline);
        case FormatField::Url: return text(t.url);
        case FormatField::Target: return text(t.target);
        case FormatField::Align: return text(t.align);
        case FormatField::LeftMargin: return num(t.leftMargin);
        case FormatField::RightMargin: return num(t.rightMargin);
        case FormatField::Indent: return num(t.indent);
        case FormatField::Leading: return num(t.leading);
        case FormatField::BlockIndent: return num(t.blockIndent);
        case FormatField::Bullet: return flag(t.bullet);
        case FormatField::Kerning: return flag(t.kerning);
        case FormatField::LetterSpacing: return num(t.letterSpacing);
        case FormatField::TabStops: {
            if (!t.tabStops) return Value::null();
            std::vector<Value> stops;
            for (double s : *t.tabStops) stops.push_back(Value(s));
            return Value(e.makeArray(std::move(stops)));
        }
        case FormatField::Display: return text(f.display);
        case FormatField::Count: break;
    }
    return Value();
}

Value formatGetter(EngineImpl& e, Object* callee, const Value& thisv, Args) {
    ScriptTextFormat* f = textFormatOf(thisv);
    return f ? formatFieldValue(e, *f, FormatField(callee->magic)) : Value();
}

Value formatSetter(EngineImpl& e, Object* callee, const Value& thisv, Args args) {
    if (ScriptTextFormat* f = textFormatOf(thisv))
        setFormatField(e, *f, FormatField(callee->magic), arg(args, 0), Coercion::Assign);
    return Value();
}

Value formatObject(EngineImpl& e, const TextFormatValues& values) {
    Object* o = e.alloc(ObjKind::Plain, e.get(e.textFormatCtor, "prototype").object());
    o->more().textFormat = std::make_shared<ScriptTextFormat>();
    o->more().textFormat->values = values;
    return Value(o);
}

TextFormatValues formatValues(EngineImpl& e, Object* o) {
    if (!o) return {};
    if (o->extras && o->extras->textFormat) return o->extras->textFormat->values;
    // Any other object lends its fields as a TextFormat would take them.
    ScriptTextFormat f;
    f.values = {};
    for (size_t i = 0; i < size_t(FormatField::Count); ++i) {
        Value v = e.get(o, kFormatFieldNames[i]);
        if (!v.isNullish()) setFormatField(e, f, FormatField(i), v, Coercion::Assign);
    }
    return f.values;
}

// new TextFormat(font, size, color, bold, italic, underline, url, target, align, leftMargin,
// rightMargin, indent, leading): every field not given is null.
Value textFormatCtor(EngineImpl& e, Object*, const Value& thisv, Args args) {
    Object* o = thisv.object();
    if (!o) return Value();
    auto state = std::make_shared<ScriptTextFormat>();
    constexpr size_t kConstructorFields = size_t(FormatField::Leading) + 1;
    for (size_t i = 0; i < kConstructorFields && i < args.size(); ++i)
        setFormatField(e, *state, FormatField(i), args[i], Coercion::Construct);
    o->more().textFormat = std::move(state);
    return Value();
}

// getTextExtent(text, [width]): the size the text takes in this format with device fonts.
Value textFormatExtent(EngineImpl& e, Object*, const Value& thisv, Args args) {
    ScriptTextFormat* f = textFormatOf(thisv);
    if (!f || args.empty()) return Value();
    const std::string text = e.toString(args[0]);
    std::optional<double> width;
    if (args.size() > 1 && !args[1].isNullish()) {
        double w = e.toNumber(args[1]);
        if (std::isfinite(w)) width = w;
    }
    const TextExtentValues m = e.host.measureText(f->values, text, width);
    // A bare object, without even Object's prototype.
    Object* result = e.alloc(ObjKind::Plain, nullptr);
    e.set(result, "ascent", Value(m.ascent));
    e.set(result, "descent", Value(m.descent));
    e.set(result, "width", Value(m.width));
    e.set(result, "height", Value(m.height));
    e.set(result, "textFieldHeight", Value(m.textFieldHeight));
    e.set(result, "textFieldWidth", Value(m.textFieldWidth));
    return Value(result);
}

DisplayId fieldOf(EngineImpl& e, const Value& thisv) {
    Object* o = thisv.object();
    if (!o || o->kind != ObjKind::Display) return kNoDisplay;
    return e.host.kind(o->display) == DisplayKind::TextField ? o->display : kNoDisplay;
}

Value textFieldMethod(EngineImpl& e, Object* callee, const Value& thisv, Args args) {
    DisplayId id = fieldOf(e, thisv);
    if (!id) return Value();
    Host& h = e.host;
    auto index = [&](size_t i, int def) {
        return i < args.size() && !args[i].isUndefined() ? clampToInt(e.toNumber(args[i])) : def;
    };
    switch (callee->magic) {
        case 0: {  // getTextFormat(begin, end)
            int begin = index(0, -1);
            int end = args.size() > 1 ? index(1, -1) : (args.empty() ? -1 : begin + 1);
            return formatObject(e, h.textFormat(id, begin, end));
        }
        case 1: {  // setTextFormat([begin, [end,]] format)
            if (args.empty()) return Value();
            Object* f = args.back().object();
            if (!f) return Value();
            int begin = args.size() > 1 ? index(0, -1) : -1;
            int end = args.size() > 2 ? index(1, -1) : (args.size() > 1 ? begin + 1 : -1);
            h.setTextFormat(id, begin, end, formatValues(e, f));
            return Value();
        }
        case 2: return formatObject(e, h.newTextFormat(id));
        case 3:
            if (Object* f = arg(args, 0).object()) h.setNewTextFormat(id, formatValues(e, f));
            return Value();
        case 4:  // replaceText(begin, end, text)
            h.replaceText(id, index(0, 0), index(1, 0), e.toString(arg(args, 2)));
            return Value();
        case 5: {  // replaceSel(text): the caret ends after what was put in
            const int begin = h.selectionBegin();
            const std::string text = e.toString(arg(args, 0));
            h.replaceText(id, begin, h.selectionEnd(), text);
            if (begin >= 0) {
                const int caret = begin + int(toUtf16(text).size());
                h.setSelection(caret, caret);
            }
            return Value();
        }
    }
    return Value();
}

}  // namespace

std::optional<Value> textFieldProperty(EngineImpl& e, DisplayId id, std::string_view name) {
    const FieldProperty* p = fieldProperty(e, name);
    if (!p) return std::nullopt;
    std::optional<std::string> v = e.host.textFieldValue(id, p->name);
    if (!v) return std::nullopt;
    switch (p->type) {
        case FieldType::Text: return Value(*v);
        case FieldType::Flag: return Value(*v == "true");
        case FieldType::Number: return Value(stringToNumber(*v, 7));
        case FieldType::AnyNumber:
            if (*v == "Infinity" || *v == "-Infinity") return Value(*v == "Infinity" ? HUGE_VAL : -HUGE_VAL);
            return Value(stringToNumber(*v, 7));
        case FieldType::NullableText: return *v == "null" ? Value::null() : Value(*v);
        case FieldType::NullableNumber: return *v == "null" ? Value::null() : Value(stringToNumber(*v, 7));
    }
    return std::nullopt;
}

bool setTextFieldProperty(EngineImpl& e, DisplayId id, std::string_view name, const Value& v) {
    const FieldProperty* p = fieldProperty(e, name);
    if (!p) return false;
    if (p->readOnly) return true;
    std::string text;
    switch (p->type) {
        case FieldType::Flag: text = e.toBoolean(v) ? "true" : "false"; break;
        case FieldType::Number: {
            double d = e.toNumber(v);
            if (std::isnan(d)) return true;
            text = numberToString(d);
            break;
        }
        case FieldType::AnyNumber: text = numberToString(e.toNumber(v)); break;
        case FieldType::NullableText:
        case FieldType::NullableNumber:
            text = v.isNullish() ? "null" : e.toString(v);
            break;
        case FieldType::Text:
            if (std::string_view(p->name) == "autoSize" && v.type == Type::Boolean) text = v.b ? "left" : "none";
            else text = e.toString(v);
            break;
    }
    e.host.setTextFieldValue(id, p->name, text);
    return true;
}

void installText(EngineImpl& e) {
    const char* names[] = {"getTextFormat", "setTextFormat", "getNewTextFormat", "setNewTextFormat", "replaceText",
                           "replaceSel"};
    for (int i = 0; i < 6; ++i) e.method(e.textFieldProto, names[i], textFieldMethod, i);
    Object* proto = e.makeObject();
    e.textFormatCtor = e.makeClass("TextFormat", textFormatCtor, proto);
    for (size_t i = 0; i < size_t(FormatField::Count); ++i) {
        const std::string k = e.key(kFormatFieldNames[i]);
        Slot& p = proto->props.insert(k, Str(kFormatFieldNames[i]));
        p.getter = e.makeNative(formatGetter, int(i));
        p.setter = e.makeNative(formatSetter, int(i));
    }
    e.method(proto, "getTextExtent", textFormatExtent);
}

}  // namespace swf::avm1
