// Script side of keyboard focus: tabIndex on movie clips, buttons and text fields, and the
// _focusrect property. The values live in the player (Host settings "tabIndex",
// "focusRect" and "stageFocusRect"); this file only converts them the way scripts see them.
#include <cmath>
#include <cstdint>
#include <limits>

#include "swf/avm1/vm.h"

namespace swf::avm1 {
namespace {

using Args = std::span<const Value>;

// Movie clips convert like a hardware float-to-int: NaN and values out of range become the
// lowest int. Buttons and text fields wrap modulo 2^32 like ToUint32.
int32_t clipTabIndex(double d) {
    if (std::isnan(d) || d >= 2147483648.0 || d < -2147483648.0) return std::numeric_limits<int32_t>::min();
    return int32_t(std::trunc(d));
}

int32_t wrappedTabIndex(double d) {
    if (!std::isfinite(d)) return 0;
    double m = std::fmod(std::trunc(d), 4294967296.0);
    if (m < 0) m += 4294967296.0;
    return int32_t(uint32_t(m));
}

std::optional<int32_t> storedTabIndex(EngineImpl& e, DisplayId id) {
    auto s = e.host.setting(id, "tabIndex");
    if (!s || s->empty()) return std::nullopt;
    try {
        return int32_t(std::stol(*s));
    } catch (...) {
        return std::nullopt;
    }
}

// tabIndex on the Button and TextField prototypes: buttons convert and show it as movie
// clips do, text fields as an unsigned number.
Value tabIndexGetter(EngineImpl& e, Object*, const Value& thisv, Args) {
    Object* o = thisv.object();
    if (!o || o->kind != ObjKind::Display) return Value();
    auto index = storedTabIndex(e, o->display);
    if (!index) return Value();
    return e.host.kind(o->display) == DisplayKind::TextField ? Value(double(uint32_t(*index))) : Value(double(*index));
}

Value tabIndexSetter(EngineImpl& e, Object*, const Value& thisv, Args args) {
    Object* o = thisv.object();
    if (!o || o->kind != ObjKind::Display) return Value();
    Value v = args.empty() ? Value() : args[0];
    if (v.isUndefined()) {
        e.host.setSetting(o->display, "tabIndex", "");
        return Value();
    }
    const double d = e.toNumber(v);
    const bool field = e.host.kind(o->display) == DisplayKind::TextField;
    e.host.setSetting(o->display, "tabIndex", std::to_string(field ? wrappedTabIndex(d) : clipTabIndex(d)));
    return Value();
}

bool sameName(EngineImpl& e, std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (!e.caseSensitive()) {
            x = char(std::tolower(static_cast<unsigned char>(x)));
            y = char(std::tolower(static_cast<unsigned char>(y)));
        }
        if (x != y) return false;
    }
    return true;
}

// Below SWF 6 and on a level's root, _focusrect is the stage's setting.
bool meansStageFocusRect(EngineImpl& e, DisplayId id) { return e.version <= 5 || e.host.parent(id) == kNoDisplay; }

}  // namespace

std::optional<Value> clipFocusProperty(EngineImpl& e, DisplayId id, std::string_view name) {
    if (e.host.kind(id) != DisplayKind::MovieClip || !sameName(e, name, "tabIndex")) return std::nullopt;
    auto index = storedTabIndex(e, id);
    return index ? Value(double(*index)) : Value();
}

bool setClipFocusProperty(EngineImpl& e, DisplayId id, std::string_view name, const Value& v) {
    if (e.host.kind(id) != DisplayKind::MovieClip || !sameName(e, name, "tabIndex")) return false;
    e.host.setSetting(id, "tabIndex", v.isUndefined() ? std::string() : std::to_string(clipTabIndex(e.toNumber(v))));
    return true;
}

Value focusRectValue(EngineImpl& e, DisplayId id) {
    if (meansStageFocusRect(e, id)) {
        bool on = e.host.setting(id, "stageFocusRect").value_or("true") == "true";
        return e.version <= 5 ? Value(on ? 1.0 : 0.0) : Value(on);
    }
    auto s = e.host.setting(id, "focusRect");
    if (!s || s->empty()) return Value::null();
    return Value(*s == "true");
}

void setFocusRectValue(EngineImpl& e, DisplayId id, const Value& v) {
    if (meansStageFocusRect(e, id)) {
        if (v.isNullish()) return;
        double d = v.isObject() ? 0.0 : e.toNumber(v);
        if (std::isnan(d)) return;
        e.host.setSetting(id, "stageFocusRect", d != 0 ? "true" : "false");
        return;
    }
    e.host.setSetting(id, "focusRect", v.isNullish() ? "" : e.toBoolean(v) ? "true" : "false");
}

void installFocus(EngineImpl& e) {
    for (Object* proto : {e.buttonProto, e.textFieldProto}) {
        Slot& p = proto->props.insert(e.key("tabIndex"), Str("tabIndex"));
        p.getter = e.makeNative(tabIndexGetter);
        p.setter = e.makeNative(tabIndexSetter);
        p.flags = 0;
    }
}

}  // namespace swf::avm1
