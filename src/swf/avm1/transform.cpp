// flash.geom.Transform and MovieClip.transform: a clip's matrix and colour transform as
// flash.geom objects, its concatenated ones and its bounds on the stage. A Transform keeps
// the clip it was made for; every read asks the player afresh, and a removed clip answers
// undefined.
#include <cmath>

#include "swf/avm1/vm.h"

namespace swf::avm1 {
namespace {

using Args = std::span<const Value>;

enum Field : int { kMatrix, kConcatenatedMatrix, kColorTransform, kConcatenatedColorTransform, kPixelBounds };

// The clip of a Transform; it is kept in the object's primitive slot, which scripts cannot reach.
DisplayId clipOf(EngineImpl& e, const Value& transform) {
    Object* t = transform.object();
    Object* clip = t ? t->primitive.object() : nullptr;
    if (!clip || clip->kind != ObjKind::Display || e.host.kind(clip->display) == DisplayKind::None) return kNoDisplay;
    return clip->display;
}

// Row-vector composition, as Matrix.concat: first `inner`, then `outer`.
Matrix concatenated(const Matrix& inner, const Matrix& outer) {
    return {inner.a * outer.a + inner.b * outer.c,   inner.a * outer.b + inner.b * outer.d,
            inner.c * outer.a + inner.d * outer.c,   inner.c * outer.b + inner.d * outer.d,
            inner.tx * outer.a + inner.ty * outer.c + outer.tx, inner.tx * outer.b + inner.ty * outer.d + outer.ty};
}

ColorTransformValues concatenated(const ColorTransformValues& inner, const ColorTransformValues& outer) {
    ColorTransformValues c;
    c.redMultiplier = inner.redMultiplier * outer.redMultiplier;
    c.greenMultiplier = inner.greenMultiplier * outer.greenMultiplier;
    c.blueMultiplier = inner.blueMultiplier * outer.blueMultiplier;
    c.alphaMultiplier = inner.alphaMultiplier * outer.alphaMultiplier;
    c.redOffset = inner.redOffset * outer.redMultiplier + outer.redOffset;
    c.greenOffset = inner.greenOffset * outer.greenMultiplier + outer.greenOffset;
    c.blueOffset = inner.blueOffset * outer.blueMultiplier + outer.blueOffset;
    c.alphaOffset = inner.alphaOffset * outer.alphaMultiplier + outer.alphaOffset;
    return c;
}

Value matrixValue(EngineImpl& e, const Matrix& m) {
    Value args[] = {Value(m.a), Value(m.b), Value(m.c), Value(m.d), Value(m.tx), Value(m.ty)};
    return e.construct(Value(e.matrixClass), args);
}

Value colorTransformValue(EngineImpl& e, Object* colorTransformClass, const ColorTransformValues& c) {
    if (!colorTransformClass) return Value();
    Value args[] = {Value(c.redMultiplier), Value(c.greenMultiplier), Value(c.blueMultiplier), Value(c.alphaMultiplier),
                    Value(c.redOffset),     Value(c.greenOffset),     Value(c.blueOffset),     Value(c.alphaOffset)};
    return e.construct(Value(colorTransformClass), args);
}

double number(EngineImpl& e, Object* o, const char* name) { return e.toNumber(e.get(o, Str(name))); }

Value transformCtor(EngineImpl&, Object*, const Value& thisv, Args args) {
    Object* self = thisv.object();
    Object* clip = arg(args, 0).object();
    if (self && clip && clip->kind == ObjKind::Display) self->primitive = Value(clip);
    return Value();
}

// The getters keep flash.geom.ColorTransform and Rectangle as the engine made them in
// their elements, so that what they answer does not depend on what scripts did to flash.geom.
Value transformGetter(EngineImpl& e, Object* callee, const Value& thisv, Args) {
    const DisplayId id = clipOf(e, thisv);
    if (!id) return Value();
    Object* colorTransformClass = callee->elements.empty() ? nullptr : callee->elements[0].object();
    switch (Field(callee->magic)) {
        case kMatrix: return matrixValue(e, e.host.matrix(id));
        case kConcatenatedMatrix: {
            Matrix m = e.host.matrix(id);
            for (DisplayId p = e.host.parent(id); p != kNoDisplay; p = e.host.parent(p))
                m = concatenated(m, e.host.matrix(p));
            return matrixValue(e, m);
        }
        case kColorTransform: return colorTransformValue(e, colorTransformClass, e.host.colorTransform(id));
        case kConcatenatedColorTransform: {
            ColorTransformValues c = e.host.colorTransform(id);
            for (DisplayId p = e.host.parent(id); p != kNoDisplay; p = e.host.parent(p))
                c = concatenated(c, e.host.colorTransform(p));
            return colorTransformValue(e, colorTransformClass, c);
        }
        case kPixelBounds: {
            const Rect r = e.host.bounds(id, e.host.rootOf(id), true);
            Value args[] = {Value(r.xMin), Value(r.yMin), Value(r.xMax - r.xMin), Value(r.yMax - r.yMin)};
            return e.construct(Value(e.rectangleClass), args);
        }
    }
    return Value();
}

Value transformSetter(EngineImpl& e, Object* callee, const Value& thisv, Args args) {
    const DisplayId id = clipOf(e, thisv);
    Object* from = arg(args, 0).object();
    if (!id || !from) return Value();
    if (callee->magic == kMatrix) {
        Matrix m{number(e, from, "a"), number(e, from, "b"), number(e, from, "c"),
                 number(e, from, "d"), number(e, from, "tx"), number(e, from, "ty")};
        for (double v : {m.a, m.b, m.c, m.d, m.tx, m.ty})
            if (!std::isfinite(v)) return Value();
        e.host.setMatrix(id, m);
    } else if (callee->magic == kColorTransform) {
        ColorTransformValues c;
        c.redMultiplier = number(e, from, "redMultiplier");
        c.greenMultiplier = number(e, from, "greenMultiplier");
        c.blueMultiplier = number(e, from, "blueMultiplier");
        c.alphaMultiplier = number(e, from, "alphaMultiplier");
        c.redOffset = number(e, from, "redOffset");
        c.greenOffset = number(e, from, "greenOffset");
        c.blueOffset = number(e, from, "blueOffset");
        c.alphaOffset = number(e, from, "alphaOffset");
        e.host.setColorTransform(id, c);
    }
    return Value();
}

// MovieClip.transform: a new Transform for the clip each time; set, it takes the matrix
// and colour transform of another Transform's clip.
Value clipTransformGetter(EngineImpl& e, Object* callee, const Value& thisv, Args) {
    Object* self = thisv.object();
    Object* transformClass = callee->elements.empty() ? nullptr : callee->elements[0].object();
    if (!self || self->kind != ObjKind::Display || !transformClass) return Value();
    Value args[] = {thisv};
    return e.construct(Value(transformClass), args);
}

Value clipTransformSetter(EngineImpl& e, Object*, const Value& thisv, Args args) {
    Object* self = thisv.object();
    if (!self || self->kind != ObjKind::Display || e.host.kind(self->display) == DisplayKind::None) return Value();
    const DisplayId from = clipOf(e, arg(args, 0));
    if (!from) return Value();
    e.host.setMatrix(self->display, e.host.matrix(from));
    e.host.setColorTransform(self->display, e.host.colorTransform(from));
    return Value();
}

void accessorOn(EngineImpl& e, Object* on, const char* name, Object* getter, Object* setter, uint16_t flags) {
    const std::string k = e.key(name);
    Slot* existing = on->props.find(k);
    Slot& p = existing ? *existing : on->props.insert(k, Str(name));
    p.value = Value();
    p.getter = getter;
    p.setter = setter;
    p.flags = flags;
}

}  // namespace

void installTransform(EngineImpl& e) {
    Object* flash = e.get(e.global, Str("flash")).object();
    Object* geom = flash ? e.get(flash, Str("geom")).object() : nullptr;
    if (!geom) return;
    Object* colorTransformClass = e.get(geom, Str("ColorTransform")).object();
    Object* proto = e.makeObject();
    Object* transformClass = e.makeClass("Transform", transformCtor, proto, geom);
    const char* names[] = {"matrix", "concatenatedMatrix", "colorTransform", "concatenatedColorTransform",
                           "pixelBounds"};
    for (int f = kMatrix; f <= kPixelBounds; ++f) {
        Object* getter = e.makeNative(transformGetter, f);
        if (colorTransformClass) getter->elements.emplace_back(colorTransformClass);
        const bool settable = f == kMatrix || f == kColorTransform;
        accessorOn(e, proto, names[f], getter, settable ? e.makeNative(transformSetter, f) : nullptr,
                   prop_flag::kDontEnum);
    }
    Object* getter = e.makeNative(clipTransformGetter);
    getter->elements.emplace_back(transformClass);
    accessorOn(e, e.movieClipProto, "transform", getter, e.makeNative(clipTransformSetter),
               prop_flag::kDontEnum | prop_flag::kVersion8);
}

}  // namespace swf::avm1
