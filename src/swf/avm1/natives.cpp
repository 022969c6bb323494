// The numbered native table (ASnative, ASSetNative, ASnew) and the classes the engine knows
// only by name: networking, storage, devices and the like are out of reach of a book's
// movies, but scripts that test for them must find them where the original player has them.
#include <cmath>
#include <limits>
#include <vector>

#include "swf/avm1/vm.h"

namespace swf::avm1 {
namespace {

using Args = std::span<const Value>;

// The Math functions in the order of their native numbers (table 200).
constexpr const char* kMathNatives[] = {"abs", "min",  "max",    "sin",   "cos",  "atan2", "tan",  "exp",  "log",
                                        "sqrt", "round", "random", "floor", "ceil", "atan",  "asin", "acos", "pow"};
constexpr int kMathTable = 200;
constexpr int kObjectTable = 2;

Value nothing(EngineImpl&, Object*, const Value&, Args) { return Value(); }

// ASnative(2, 0): whether the innermost script function was called with `new`.
Value asNew(EngineImpl& e, Object*, const Value&, Args) {
    return Value(e.current && e.current->isFunction && e.current->constructing);
}

// A number past the end of the Math table still reads two numbers and answers NaN.
Value missingMathNative(EngineImpl& e, Object*, const Value&, Args args) {
    for (size_t i = 0; i < std::min<size_t>(args.size(), 2); ++i) e.toNumber(args[i]);
    return Value(std::numeric_limits<double>::quiet_NaN());
}

Object* nativeFunction(EngineImpl& e, int table, int index) {
    if (table == kMathTable && index >= 0) {
        if (size_t(index) < std::size(kMathNatives)) {
            Value math = e.get(e.global, "Math");
            if (Object* m = math.object()) {
                Value fn = e.get(m, kMathNatives[index]);
                if (Object* f = fn.object(); f && f->native) return e.makeNative(f->native, f->magic);
            }
        }
        return e.makeNative(missingMathNative);
    }
    if (table == kObjectTable && index == 0) return e.makeNative(asNew);
    return e.makeNative(nothing);
}

Value asNative(EngineImpl& e, Object*, const Value&, Args args) {
    if (args.size() < 2) return Value();
    double table = e.toNumber(args[0]), index = e.toNumber(args[1]);
    if (!std::isfinite(table) || !std::isfinite(index)) return Value();
    return Value(nativeFunction(e, clampToInt(table), clampToInt(index)));
}

// A leading version mark on a name given to ASSetNative: 6..9 or 10 make the property
// visible from that version on; a plain 1 is dropped. Other digits belong to the name.
uint16_t takeVersionMark(std::string_view& name) {
    if (name.empty()) return 0;
    char c = name[0];
    if (c == '1' && name.size() > 1 && name[1] == '0') {
        name.remove_prefix(2);
        return prop_flag::kVersion10;
    }
    static constexpr uint16_t marks[] = {prop_flag::kVersion6, prop_flag::kVersion7, prop_flag::kVersion8,
                                         prop_flag::kVersion9};
    if (c >= '6' && c <= '9') {
        name.remove_prefix(1);
        return marks[c - '6'];
    }
    if (c == '1') name.remove_prefix(1);
    return 0;
}

// ASSetNative(object, table, "a,b,c"): the table's functions 0, 1, 2 ... under those names.
Value asSetNative(EngineImpl& e, Object*, const Value&, Args args) {
    Object* target = arg(args, 0).object();
    if (!target || args.size() < 3) return Value();
    double tableNumber = e.toNumber(args[1]);
    if (!std::isfinite(tableNumber)) return Value();
    int table = clampToInt(tableNumber);
    std::string list = e.toString(args[2]);
    std::string_view rest = list;
    int index = 0;
    while (!rest.empty()) {
        size_t comma = rest.find(',');
        std::string_view name = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        uint16_t flags = takeVersionMark(name);
        if (name.empty()) continue;
        Value fn(nativeFunction(e, table, index++));
        std::string k = e.key(name);
        if (Slot* existing = target->props.find(k)) {
            // An existing property keeps its flags and gets the function.
            existing->value = fn;
            existing->getter = existing->setter = nullptr;
        } else {
            Slot& p = target->props.insert(k, Str(name));
            p.value = fn;
            p.flags = flags;
        }
    }
    return Value();
}

Value stubConstructor(EngineImpl&, Object*, const Value&, Args) { return Value(); }

void defineIfAbsent(EngineImpl& e, Object* on, std::string_view name, const Value& v,
                    uint16_t flags = prop_flag::kDontEnum) {
    if (!on->props.find(e.key(name))) e.define(on, name, v, flags);
}

Object* stubClass(EngineImpl& e, Object* into, std::string_view name) {
    if (Slot* p = into->props.find(e.key(name)); p && p->value.isObject()) return p->value.o;
    Object* proto = e.makeObject();
    return e.makeClass(name, stubConstructor, proto, into);
}

Object* package(EngineImpl& e, Object* into, std::string_view name, uint16_t flags = prop_flag::kDontEnum) {
    if (Slot* p = into->props.find(e.key(name)); p && p->value.isObject()) return p->value.o;
    Object* o = e.makeObject();
    e.define(into, name, Value(o), flags);
    return o;
}

void hidePrototypeBelow6(EngineImpl& e, std::string_view className) {
    Object* c = e.get(e.global, Str(className)).object();
    if (!c) return;
    if (Slot* p = c->props.find("prototype")) p->flags |= prop_flag::kVersion6;
}

}  // namespace

void installNatives(EngineImpl& e) {
    Object* g = e.global;
    e.method(g, "ASnative", asNative);
    e.method(g, "ASSetNative", asSetNative);

    for (const char* name : {"Camera", "ContextMenu", "ContextMenuItem", "LoadVars", "LocalConnection", "Microphone",
                             "MovieClipLoader", "NetConnection", "NetStream", "PrintJob", "SharedObject", "Sound",
                             "TextSnapshot", "Video", "XML", "XMLNode", "XMLSocket"})
        stubClass(e, g, name);
    defineIfAbsent(e, g, "Accessibility", Value(e.makeObject()));
    // The original player leaves a global `o` behind, set to null.
    defineIfAbsent(e, g, "o", Value::null());
    if (Object* system = e.get(g, "System").object()) {
        package(e, system, "IME");
        package(e, system, "security");
    }
    if (Object* textField = e.get(g, "TextField").object()) {
        stubClass(e, textField, "StyleSheet");
        if (Slot* p = textField->props.find(e.key("StyleSheet"))) p->flags |= prop_flag::kVersion7;
    }
    // The classes of SWF 8, under their packages.
    Object* flash = package(e, g, "flash");
    if (Slot* p = g->props.find(e.key("flash"))) p->flags |= prop_flag::kVersion8;
    const std::pair<const char*, std::vector<const char*>> packages[] = {
        {"display", {"BitmapData"}},
        {"external", {"ExternalInterface"}},
        {"filters",
         {"BevelFilter", "BitmapFilter", "BlurFilter", "ColorMatrixFilter", "ConvolutionFilter", "DisplacementMapFilter",
          "DropShadowFilter", "GlowFilter", "GradientBevelFilter", "GradientGlowFilter"}},
        {"geom", {"Transform"}},
        {"net", {"FileReference", "FileReferenceList"}},
        {"text", {"TextRenderer"}},
    };
    for (auto& [packageName, classes] : packages) {
        Object* p = package(e, flash, packageName);
        for (const char* c : classes) stubClass(e, p, c);
    }
    // Below SWF 6 a few classes have no prototype to show and Function is no global.
    hidePrototypeBelow6(e, "AsBroadcaster");
    hidePrototypeBelow6(e, "TextField");
    if (Slot* p = g->props.find(e.key("Function"))) p->flags |= prop_flag::kVersion6;
}

}  // namespace swf::avm1
