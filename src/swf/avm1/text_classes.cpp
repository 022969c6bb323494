// TextField properties and methods, and the TextFormat class.
#include <cmath>

#include "swf/avm1/vm.h"

namespace swf::avm1 {
namespace {

using Args = std::span<const Value>;

enum class FieldType { Text, Flag, Number, NullableText, NullableNumber };

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
    {"sharpness", FieldType::Number, false}, {"thickness", FieldType::Number, false},
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

// TextFormat fields in the order the player lists them.
constexpr const char* kFormatFields[] = {"font", "size", "color", "bold", "italic", "underline", "url", "target",
                                         "align", "leftMargin", "rightMargin", "indent", "leading", "blockIndent",
                                         "bullet", "kerning", "letterSpacing", "tabStops"};

Value formatObject(EngineImpl& e, const TextFormatValues& f) {
    Object* o = e.alloc(ObjKind::Plain, e.get(e.textFormatCtor, "prototype").object());
    auto text = [&](const char* k, const std::optional<std::string>& v) { e.set(o, k, v ? Value(*v) : Value::null()); };
    auto num = [&](const char* k, const std::optional<double>& v) { e.set(o, k, v ? Value(*v) : Value::null()); };
    auto flag = [&](const char* k, const std::optional<bool>& v) { e.set(o, k, v ? Value(*v) : Value::null()); };
    text("font", f.font);
    num("size", f.size);
    e.set(o, "color", f.color ? Value(double(*f.color)) : Value::null());
    flag("bold", f.bold);
    flag("italic", f.italic);
    flag("underline", f.underline);
    text("url", f.url);
    text("target", f.target);
    text("align", f.align);
    num("leftMargin", f.leftMargin);
    num("rightMargin", f.rightMargin);
    num("indent", f.indent);
    num("leading", f.leading);
    num("blockIndent", f.blockIndent);
    flag("bullet", f.bullet);
    flag("kerning", f.kerning);
    num("letterSpacing", f.letterSpacing);
    if (f.tabStops) {
        std::vector<Value> stops;
        for (double s : *f.tabStops) stops.push_back(Value(s));
        e.set(o, "tabStops", Value(e.makeArray(std::move(stops))));
    } else {
        e.set(o, "tabStops", Value::null());
    }
    return Value(o);
}

TextFormatValues formatValues(EngineImpl& e, Object* o) {
    TextFormatValues f;
    if (!o) return f;
    auto text = [&](const char* k, std::optional<std::string>& out) {
        Value v = e.get(o, k);
        if (!v.isNullish()) out = e.toString(v);
    };
    auto num = [&](const char* k, std::optional<double>& out) {
        Value v = e.get(o, k);
        if (!v.isNullish()) out = e.toNumber(v);
    };
    auto flag = [&](const char* k, std::optional<bool>& out) {
        Value v = e.get(o, k);
        if (!v.isNullish()) out = e.toBoolean(v);
    };
    text("font", f.font);
    num("size", f.size);
    if (Value c = e.get(o, "color"); !c.isNullish()) f.color = toUint32(e.toNumber(c)) & 0xFFFFFF;
    flag("bold", f.bold);
    flag("italic", f.italic);
    flag("underline", f.underline);
    text("url", f.url);
    text("target", f.target);
    text("align", f.align);
    num("leftMargin", f.leftMargin);
    num("rightMargin", f.rightMargin);
    num("indent", f.indent);
    num("leading", f.leading);
    num("blockIndent", f.blockIndent);
    flag("bullet", f.bullet);
    flag("kerning", f.kerning);
    num("letterSpacing", f.letterSpacing);
    if (Object* stops = e.get(o, "tabStops").object(); stops && stops->kind == ObjKind::Array) {
        f.tabStops.emplace();
        for (auto& v : stops->elements) f.tabStops->push_back(e.toNumber(v));
    }
    return f;
}

Value textFormatCtor(EngineImpl& e, Object*, const Value& thisv, Args args) {
    Object* o = thisv.object();
    if (!o) return Value();
    for (size_t i = 0; i < std::size(kFormatFields); ++i) {
        Value v = i < 13 && i < args.size() && !args[i].isUndefined() ? args[i] : Value::null();
        if (!v.isNull()) {
            std::string_view k = kFormatFields[i];
            if (k == "font" || k == "url" || k == "target" || k == "align") v = Value(e.toStr(v));
            else if (k == "bold" || k == "italic" || k == "underline") v = Value(e.toBoolean(v));
            else v = Value(e.toNumber(v));
        }
        e.set(o, kFormatFields[i], v);
    }
    return Value();
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
        case 5:  // replaceSel(text)
            h.replaceText(id, h.selectionBegin(), h.selectionEnd(), e.toString(arg(args, 0)));
            return Value();
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
}

}  // namespace swf::avm1
