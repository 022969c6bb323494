// flash.filters (BitmapFilter and its eight kinds) and the display settings that go with
// them on clips, buttons and text fields: filters, blendMode, cacheAsBitmap,
// opaqueBackground and scrollRect. A filter keeps its settings natively, clamped as the
// original player clamps them, behind accessor properties on its prototype. A clip's filter
// list is copied each way: changing a filter after assigning it leaves the clip alone.
#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "swf/avm1/vm.h"

namespace swf::avm1 {

// The gradient arrays live in fixed buffers behind one count, as in the original player:
// shrinking the count and growing it again brings earlier entries back.
struct ScriptFilter {
    static constexpr size_t kMaxStops = 16;
    FilterValues values;
    double angleRadians = 0.785398163;  // the player keeps radians; scripts see degrees
    std::array<uint32_t, kMaxStops> colors{};
    std::array<double, kMaxStops> alphas{};
    std::array<int, kMaxStops> ratios{};
    size_t stops = 0;
};

namespace {

using Args = std::span<const Value>;
using Kind = FilterValues::Kind;

constexpr int kKindCount = 8;
constexpr size_t kMaxConvolutionSide = 15;
// A hostile "length" must not make a huge convolution matrix.
constexpr size_t kMaxMatrixValues = 4096;

enum class Field : int {
    Distance, Angle, Color, Alpha, HighlightColor, HighlightAlpha, ShadowColor, ShadowAlpha, Quality,
    Strength, Inner, Knockout, HideObject, BlurX, BlurY, Type, Colors, Alphas, Ratios, Matrix, MatrixX,
    MatrixY, Divisor, Bias, PreserveAlpha, Clamp,
};

constexpr const char* kFieldNames[] = {
    "distance", "angle", "color", "alpha", "highlightColor", "highlightAlpha", "shadowColor", "shadowAlpha",
    "quality", "strength", "inner", "knockout", "hideObject", "blurX", "blurY", "type", "colors", "alphas",
    "ratios", "matrix", "matrixX", "matrixY", "divisor", "bias", "preserveAlpha", "clamp",
};

struct ClassInfo {
    Kind kind;
    const char* name;
    std::vector<Field> properties;   // in the order the prototype lists them
    std::vector<Field> constructor;  // in the order the constructor takes them
};

const std::vector<ClassInfo>& classes() {
    using F = Field;
    static const std::vector<ClassInfo> list = {
        {Kind::DropShadow, "DropShadowFilter",
         {F::Distance, F::Angle, F::Color, F::Alpha, F::Quality, F::Inner, F::Knockout, F::BlurX, F::BlurY,
          F::Strength, F::HideObject},
         {F::Distance, F::Angle, F::Color, F::Alpha, F::BlurX, F::BlurY, F::Strength, F::Quality, F::Inner,
          F::Knockout, F::HideObject}},
        {Kind::Blur, "BlurFilter", {F::BlurX, F::BlurY, F::Quality}, {F::BlurX, F::BlurY, F::Quality}},
        {Kind::Glow, "GlowFilter",
         {F::Color, F::Alpha, F::Quality, F::Inner, F::Knockout, F::BlurX, F::BlurY, F::Strength},
         {F::Color, F::Alpha, F::BlurX, F::BlurY, F::Strength, F::Quality, F::Inner, F::Knockout}},
        {Kind::Bevel, "BevelFilter",
         {F::Distance, F::Angle, F::HighlightColor, F::HighlightAlpha, F::ShadowColor, F::ShadowAlpha, F::Quality,
          F::Strength, F::Knockout, F::BlurX, F::BlurY, F::Type},
         {F::Distance, F::Angle, F::HighlightColor, F::HighlightAlpha, F::ShadowColor, F::ShadowAlpha, F::BlurX,
          F::BlurY, F::Strength, F::Quality, F::Type, F::Knockout}},
        {Kind::GradientGlow, "GradientGlowFilter",
         {F::Distance, F::Angle, F::Colors, F::Alphas, F::Ratios, F::BlurX, F::BlurY, F::Quality, F::Strength,
          F::Knockout, F::Type},
         {F::Distance, F::Angle, F::Colors, F::Alphas, F::Ratios, F::BlurX, F::BlurY, F::Strength, F::Quality,
          F::Type, F::Knockout}},
        {Kind::Convolution, "ConvolutionFilter",
         {F::MatrixX, F::MatrixY, F::Matrix, F::Divisor, F::Bias, F::PreserveAlpha, F::Clamp, F::Color, F::Alpha},
         {F::MatrixX, F::MatrixY, F::Matrix, F::Divisor, F::Bias, F::PreserveAlpha, F::Clamp, F::Color, F::Alpha}},
        {Kind::ColorMatrix, "ColorMatrixFilter", {F::Matrix}, {F::Matrix}},
        {Kind::GradientBevel, "GradientBevelFilter",
         {F::Distance, F::Angle, F::Colors, F::Alphas, F::Ratios, F::BlurX, F::BlurY, F::Quality, F::Strength,
          F::Knockout, F::Type},
         {F::Distance, F::Angle, F::Colors, F::Alphas, F::Ratios, F::BlurX, F::BlurY, F::Strength, F::Quality,
          F::Type, F::Knockout}},
    };
    return list;
}

ScriptFilter defaultFilter(Kind kind) {
    ScriptFilter f;
    FilterValues& v = f.values;
    v.kind = kind;
    switch (kind) {
        case Kind::Glow:
            v.color = 0xFF0000;
            v.blurX = v.blurY = 6;
            v.strength = 2;
            break;
        case Kind::Bevel:
        case Kind::GradientBevel:
        case Kind::GradientGlow: v.type = FilterValues::Type::Inner; break;
        case Kind::Convolution: v.alpha = 0; break;
        case Kind::ColorMatrix: v.matrix = {1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0}; break;
        default: break;
    }
    return f;
}

ScriptFilter* filterOf(const Value& v) {
    Object* o = v.object();
    return o && o->extras ? o->extras->filter.get() : nullptr;
}

uint32_t toColor(double d) { return std::isnan(d) ? 0 : toUint32(d) & 0xFFFFFF; }

double clampedAlpha(double a) { return std::isnan(a) ? 1 : std::clamp(a, 0.0, 1.0); }

double elementNumber(EngineImpl& e, const Value& list, size_t i) {
    return e.toNumber(e.getValueMember(list, Str(std::to_string(i))));
}

size_t lengthOf(EngineImpl& e, const Value& list, size_t cap) {
    const double n = e.toNumber(e.getValueMember(list, Str("length")));
    return n >= 1 ? size_t(std::min(n, double(cap))) : 0;
}

void padConvolution(FilterValues& v) {
    const size_t want = size_t(v.matrixX) * size_t(v.matrixY);
    if (v.matrix.size() < want) v.matrix.resize(want, 0.0);
}

void setField(EngineImpl& e, ScriptFilter& f, Field field, const Value& value) {
    FilterValues& v = f.values;
    const auto number = [&] { return e.toNumber(value); };
    const auto ranged = [&](double lo, double hi) {
        const double d = number();
        return std::isnan(d) ? lo : std::clamp(d, lo, hi);
    };
    // Single colour alphas keep whole 1/255 steps, cut down.
    const auto alpha = [&] { return std::floor(clampedAlpha(number()) * 255) / 255; };
    const bool absent = value.isUndefined() || value.type == Type::Null;
    switch (field) {
        case Field::Distance: v.distance = number(); break;
        case Field::Angle: {
            const double degrees = number();
            f.angleRadians = std::fmod(degrees, 360.0) * std::numbers::pi / 180;
            break;
        }
        case Field::Color:
        case Field::ShadowColor: v.color = toColor(number()); break;
        case Field::Alpha:
        case Field::ShadowAlpha: v.alpha = alpha(); break;
        case Field::HighlightColor: v.highlightColor = toColor(number()); break;
        case Field::HighlightAlpha: v.highlightAlpha = alpha(); break;
        case Field::Quality: v.quality = int(ranged(0, 15)); break;
        case Field::Strength: v.strength = ranged(0, 255); break;
        case Field::Inner: v.inner = e.toBoolean(value); break;
        case Field::Knockout: v.knockout = e.toBoolean(value); break;
        case Field::HideObject: v.hideObject = e.toBoolean(value); break;
        case Field::BlurX: v.blurX = ranged(0, 255); break;
        case Field::BlurY: v.blurY = ranged(0, 255); break;
        case Field::Type: {
            const std::string name = e.toString(value);
            v.type = name == "inner"   ? FilterValues::Type::Inner
                     : name == "outer" ? FilterValues::Type::Outer
                                       : FilterValues::Type::Full;
            break;
        }
        case Field::Colors:
            if (absent) break;
            f.stops = lengthOf(e, value, ScriptFilter::kMaxStops);
            for (size_t i = 0; i < f.stops; ++i) f.colors[i] = toColor(elementNumber(e, value, i));
            break;
        case Field::Alphas:
            if (absent) break;
            for (size_t i = 0; i < f.stops; ++i)
                f.alphas[i] = std::round(clampedAlpha(elementNumber(e, value, i)) * 255) / 255;
            break;
        case Field::Ratios:
            if (absent) break;
            f.stops = std::min(f.stops, lengthOf(e, value, ScriptFilter::kMaxStops));
            for (size_t i = 0; i < f.stops; ++i) {
                const double r = elementNumber(e, value, i);
                f.ratios[i] = std::isnan(r) ? 0 : int(std::clamp(r, 0.0, 255.0));
            }
            break;
        case Field::Matrix:
            if (v.kind == Kind::ColorMatrix) {
                if (absent) break;
                for (size_t i = 0; i < 20; ++i) v.matrix[i] = elementNumber(e, value, i);
            } else {
                v.matrix.assign(lengthOf(e, value, kMaxMatrixValues), 0.0);
                for (size_t i = 0; i < v.matrix.size(); ++i) v.matrix[i] = elementNumber(e, value, i);
                padConvolution(v);
            }
            break;
        case Field::MatrixX:
            v.matrixX = int(ranged(0, kMaxConvolutionSide));
            padConvolution(v);
            break;
        case Field::MatrixY:
            v.matrixY = int(ranged(0, kMaxConvolutionSide));
            padConvolution(v);
            break;
        case Field::Divisor: v.divisor = number(); break;
        case Field::Bias: v.bias = number(); break;
        case Field::PreserveAlpha: v.preserveAlpha = e.toBoolean(value); break;
        case Field::Clamp: v.clamp = e.toBoolean(value); break;
    }
}

Value numberArray(EngineImpl& e, auto begin, auto end) {
    std::vector<Value> items;
    for (auto it = begin; it != end; ++it) items.emplace_back(double(*it));
    return Value(e.makeArray(std::move(items)));
}

Value getField(EngineImpl& e, const ScriptFilter& f, Field field) {
    const FilterValues& v = f.values;
    switch (field) {
        case Field::Distance: return Value(v.distance);
        case Field::Angle: return Value(f.angleRadians * 180 / std::numbers::pi);
        case Field::Color:
        case Field::ShadowColor: return Value(double(v.color));
        case Field::Alpha:
        case Field::ShadowAlpha: return Value(v.alpha);
        case Field::HighlightColor: return Value(double(v.highlightColor));
        case Field::HighlightAlpha: return Value(v.highlightAlpha);
        case Field::Quality: return Value(double(v.quality));
        case Field::Strength: return Value(v.strength);
        case Field::Inner: return Value(v.inner);
        case Field::Knockout: return Value(v.knockout);
        case Field::HideObject: return Value(v.hideObject);
        case Field::BlurX: return Value(v.blurX);
        case Field::BlurY: return Value(v.blurY);
        case Field::Type:
            return Value(v.type == FilterValues::Type::Inner   ? "inner"
                         : v.type == FilterValues::Type::Outer ? "outer"
                                                               : "full");
        case Field::Colors: return numberArray(e, f.colors.begin(), f.colors.begin() + long(f.stops));
        case Field::Alphas: return numberArray(e, f.alphas.begin(), f.alphas.begin() + long(f.stops));
        case Field::Ratios: return numberArray(e, f.ratios.begin(), f.ratios.begin() + long(f.stops));
        case Field::Matrix: return numberArray(e, v.matrix.begin(), v.matrix.end());
        case Field::MatrixX: return Value(double(v.matrixX));
        case Field::MatrixY: return Value(double(v.matrixY));
        case Field::Divisor: return Value(v.divisor);
        case Field::Bias: return Value(v.bias);
        case Field::PreserveAlpha: return Value(v.preserveAlpha);
        case Field::Clamp: return Value(v.clamp);
    }
    return Value();
}

Value filterGetter(EngineImpl& e, Object* callee, const Value& thisv, Args) {
    ScriptFilter* f = filterOf(thisv);
    return f ? getField(e, *f, Field(callee->magic)) : Value();
}

Value filterSetter(EngineImpl& e, Object* callee, const Value& thisv, Args args) {
    if (ScriptFilter* f = filterOf(thisv)) setField(e, *f, Field(callee->magic), arg(args, 0));
    return Value();
}

Value filterCtor(EngineImpl& e, Object* callee, const Value& thisv, Args args) {
    Object* self = thisv.object();
    if (!self) return Value();
    const ClassInfo& info = classes()[size_t(callee->magic)];
    auto state = std::make_shared<ScriptFilter>(defaultFilter(info.kind));
    for (size_t i = 0; i < info.constructor.size() && i < args.size(); ++i)
        if (!args[i].isUndefined()) setField(e, *state, info.constructor[i], args[i]);
    self->more().filter = std::move(state);
    return Value();
}

Value bitmapFilterCtor(EngineImpl&, Object*, const Value&, Args) { return Value(); }

Value filterClone(EngineImpl& e, Object*, const Value& thisv, Args) {
    ScriptFilter* f = filterOf(thisv);
    if (!f) return Value();
    Object* copy = e.alloc(ObjKind::Plain, thisv.object()->proto);
    copy->more().filter = std::make_shared<ScriptFilter>(*f);
    return Value(copy);
}

// ---- Converting to and from what the player keeps --------------------------------------------

FilterValues exported(const ScriptFilter& f) {
    FilterValues v = f.values;
    v.angle = f.angleRadians * 180 / std::numbers::pi;
    const bool gradient = v.kind == Kind::GradientGlow || v.kind == Kind::GradientBevel;
    if (gradient) {
        v.colors.assign(f.colors.begin(), f.colors.begin() + long(f.stops));
        v.alphas.assign(f.alphas.begin(), f.alphas.begin() + long(f.stops));
        v.ratios.assign(f.ratios.begin(), f.ratios.begin() + long(f.stops));
    }
    return v;
}

ScriptFilter imported(const FilterValues& v) {
    ScriptFilter f;
    f.values = v;
    f.angleRadians = v.angle * std::numbers::pi / 180;
    f.stops = std::min({v.colors.size(), v.alphas.size(), v.ratios.size(), ScriptFilter::kMaxStops});
    for (size_t i = 0; i < f.stops; ++i) {
        f.colors[i] = v.colors[i] & 0xFFFFFF;
        f.alphas[i] = clampedAlpha(v.alphas[i]);
        f.ratios[i] = std::clamp(v.ratios[i], 0, 255);
    }
    if (v.kind == Kind::ColorMatrix) f.values.matrix.resize(20, 0.0);
    return f;
}

// ---- Display settings -----------------------------------------------------------------------

enum class Setting : int { Filters, BlendMode, CacheAsBitmap, OpaqueBackground, ScrollRect };

DisplayId displayOf(EngineImpl& e, const Value& thisv) {
    Object* o = thisv.object();
    if (!o || o->kind != ObjKind::Display || e.host.kind(o->display) == DisplayKind::None) return kNoDisplay;
    return o->display;
}

// The filters getter keeps the eight prototypes in its elements (kind order), so that the
// objects it makes belong to the original classes whatever scripts do to flash.filters.
Value settingGetter(EngineImpl& e, Object* callee, const Value& thisv, Args) {
    const DisplayId id = displayOf(e, thisv);
    if (!id) return Value();
    switch (Setting(callee->magic)) {
        case Setting::Filters: {
            std::vector<Value> items;
            for (const FilterValues& v : e.host.filters(id)) {
                const size_t kind = size_t(v.kind);
                Object* proto = kind < callee->elements.size() ? callee->elements[kind].object() : nullptr;
                if (!proto) continue;
                Object* o = e.alloc(ObjKind::Plain, proto);
                o->more().filter = std::make_shared<ScriptFilter>(imported(v));
                items.emplace_back(o);
            }
            return Value(e.makeArray(std::move(items)));
        }
        case Setting::BlendMode: return Value(e.host.setting(id, "blendMode").value_or("normal"));
        case Setting::CacheAsBitmap: return Value(e.host.setting(id, "cacheAsBitmap").value_or("") == "true");
        case Setting::OpaqueBackground: {
            const std::string text = e.host.setting(id, "opaqueBackground").value_or("");
            if (text.empty()) return Value();
            return Value(std::strtod(text.c_str(), nullptr));
        }
        case Setting::ScrollRect: {
            const std::string text = e.host.setting(id, "scrollRect").value_or("");
            if (text.empty()) return Value();
            std::vector<Value> parts;
            size_t from = 0;
            while (parts.size() < 4) {
                size_t comma = text.find(',', from);
                parts.emplace_back(std::strtod(text.substr(from, comma - from).c_str(), nullptr));
                if (comma == std::string::npos) break;
                from = comma + 1;
            }
            parts.resize(4, Value(0.0));
            return e.construct(Value(e.rectangleClass), parts);
        }
    }
    return Value();
}

std::string numberText(EngineImpl& e, double d) { return e.toString(Value(d)); }

Value settingSetter(EngineImpl& e, Object* callee, const Value& thisv, Args args) {
    const DisplayId id = displayOf(e, thisv);
    if (!id) return Value();
    const Value& value = arg(args, 0);
    const bool absent = value.isUndefined() || value.type == Type::Null;
    switch (Setting(callee->magic)) {
        case Setting::Filters: {
            std::vector<FilterValues> list;
            if (value.object()) {
                const size_t n = lengthOf(e, value, 1024);
                for (size_t i = 0; i < n; ++i)
                    if (ScriptFilter* f = filterOf(e.getValueMember(value, Str(std::to_string(i)))))
                        list.push_back(exported(*f));
            }
            e.host.setFilters(id, list);
            break;
        }
        case Setting::BlendMode:
            if (value.type == Type::Number) e.host.setSetting(id, "blendMode", numberText(e, value.n));
            else if (value.type == Type::String) e.host.setSetting(id, "blendMode", e.toString(value));
            break;
        case Setting::CacheAsBitmap: e.host.setSetting(id, "cacheAsBitmap", e.toBoolean(value) ? "true" : "false"); break;
        case Setting::OpaqueBackground: {
            const double d = e.toNumber(value);
            e.host.setSetting(id, "opaqueBackground", absent || std::isnan(d) ? "" : numberText(e, d));
            break;
        }
        case Setting::ScrollRect: {
            if (absent || !value.object()) {
                e.host.setSetting(id, "scrollRect", "");
                break;
            }
            std::string text;
            for (const char* k : {"x", "y", "width", "height"}) {
                const double d = e.toNumber(e.getValueMember(value, Str(k)));
                if (!text.empty()) text += ',';
                text += numberText(e, std::isfinite(d) ? d : 0.0);
            }
            e.host.setSetting(id, "scrollRect", text);
            break;
        }
    }
    return Value();
}

// Returns the getter.
Object* accessorOn(EngineImpl& e, Object* on, const char* name, NativeFn get, NativeFn set, int magic,
                   uint16_t flags) {
    const std::string k = e.key(name);
    Slot* existing = on->props.find(k);
    Slot& p = existing ? *existing : on->props.insert(k, Str(name));
    p.getter = e.makeNative(get, magic);
    p.setter = e.makeNative(set, magic);
    p.flags = flags;
    return p.getter;
}

}  // namespace

void installFilters(EngineImpl& e) {
    Object* flash = e.get(e.global, Str("flash")).object();
    if (!flash) {
        flash = e.makeObject();
        e.define(e.global, "flash", Value(flash));
    }
    Object* package = e.makeObject();
    e.define(flash, "filters", Value(package));

    Object* baseProto = e.makeObject();
    e.makeClass("BitmapFilter", bitmapFilterCtor, baseProto, package);
    e.method(baseProto, "clone", filterClone);

    std::array<Object*, kKindCount> protos{};
    for (size_t c = 0; c < classes().size(); ++c) {
        const ClassInfo& info = classes()[c];
        Object* proto = e.alloc(ObjKind::Plain, baseProto);
        Object* ctor = e.makeClass(info.name, filterCtor, proto, package);
        ctor->magic = int(c);
        for (Field field : info.properties)
            accessorOn(e, proto, kFieldNames[int(field)], filterGetter, filterSetter, int(field), 0);
        e.define(proto, "clone", Value(e.makeNative(filterClone)), 0);
        protos[size_t(info.kind)] = proto;
    }

    constexpr uint16_t kClipFlags = prop_flag::kDontEnum | prop_flag::kVersion8;
    const char* settingNames[] = {"filters", "blendMode", "cacheAsBitmap", "opaqueBackground", "scrollRect"};
    for (Object* on : {e.movieClipProto, e.buttonProto, e.textFieldProto}) {
        for (int s = 0; s < 5; ++s) {
            // Buttons and text fields have neither an opaque background nor a scroll rectangle.
            if (on != e.movieClipProto && (Setting(s) == Setting::OpaqueBackground || Setting(s) == Setting::ScrollRect))
                continue;
            Object* getter = accessorOn(e, on, settingNames[s], settingGetter, settingSetter, s, kClipFlags);
            if (Setting(s) == Setting::Filters)
                for (Object* proto : protos) getter->elements.emplace_back(proto);
        }
    }
}

}  // namespace swf::avm1
