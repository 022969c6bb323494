// flash.geom: Point, Rectangle, Matrix and ColorTransform. Like the player's own, they keep
// their state in ordinary properties, so scripts may read, replace and extend them.
#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "swf/avm1/vm.h"

namespace swf::avm1 {
namespace {

using Args = std::span<const Value>;

Value num(EngineImpl& e, const Value& o, const char* k) { return e.getValueMember(o, k); }
double d(EngineImpl& e, const Value& o, const char* k) { return e.toNumber(e.getValueMember(o, k)); }
void put(EngineImpl& e, const Value& o, const char* k, const Value& v) {
    if (Object* obj = o.object()) e.set(obj, k, v);
}

Value newPoint(EngineImpl& e, const Value& x, const Value& y) {
    Value args[] = {x, y};
    return e.construct(Value(e.pointClass), args);
}

Value newRect(EngineImpl& e, const Value& x, const Value& y, const Value& w, const Value& h) {
    Value args[] = {x, y, w, h};
    return e.construct(Value(e.rectangleClass), args);
}

// ---- Point ----

Value pointCtor(EngineImpl& e, Object*, const Value& thisv, Args args) {
    if (args.empty()) {
        put(e, thisv, "x", Value(0.0));
        put(e, thisv, "y", Value(0.0));
    } else {
        put(e, thisv, "x", args[0]);
        put(e, thisv, "y", arg(args, 1));
    }
    return Value();
}

Value pointMethod(EngineImpl& e, Object* callee, const Value& thisv, Args args) {
    const Value& other = arg(args, 0);
    switch (callee->magic) {
        case 0:  // add
            return newPoint(e, Value(d(e, thisv, "x") + d(e, other, "x")), Value(d(e, thisv, "y") + d(e, other, "y")));
        case 1:  // subtract
            return newPoint(e, Value(d(e, thisv, "x") - d(e, other, "x")), Value(d(e, thisv, "y") - d(e, other, "y")));
        case 2: {  // equals
            Object* o = other.object();
            if (!o || !e.instanceOf(o, e.pointClass)) return Value(false);
            return Value(e.looseEquals(num(e, thisv, "x"), num(e, other, "x")) &&
                         e.looseEquals(num(e, thisv, "y"), num(e, other, "y")));
        }
        case 3: {  // normalize(length)
            double x = d(e, thisv, "x"), y = d(e, thisv, "y"), len = std::hypot(x, y);
            double want = e.toNumber(other);
            if (len > 0) {
                put(e, thisv, "x", Value(x * want / len));
                put(e, thisv, "y", Value(y * want / len));
            }
            return Value();
        }
        case 4:  // offset(dx, dy)
            put(e, thisv, "x", Value(d(e, thisv, "x") + e.toNumber(arg(args, 0))));
            put(e, thisv, "y", Value(d(e, thisv, "y") + e.toNumber(arg(args, 1))));
            return Value();
        case 5: return newPoint(e, num(e, thisv, "x"), num(e, thisv, "y"));  // clone
        case 6:  // toString
            return Value("(x=" + e.toString(num(e, thisv, "x")) + ", y=" + e.toString(num(e, thisv, "y")) + ")");
        case 7: {  // length getter
            return Value(std::hypot(d(e, thisv, "x"), d(e, thisv, "y")));
        }
    }
    return Value();
}

Value pointStatic(EngineImpl& e, Object* callee, const Value&, Args args) {
    const Value &a = arg(args, 0), &b = arg(args, 1);
    switch (callee->magic) {
        case 0: {  // distance
            // The first point's own subtract and length do the work, so a plain {x, y} has none.
            if (!a.isObject()) return Value();
            Value bArgs[] = {b};
            Value difference = e.callMethod(a, "subtract", bArgs);
            return e.getValueMember(difference, "length");
        }
        case 1: {  // interpolate(a, b, f): f = 1 gives a
            double f = e.toNumber(arg(args, 2));
            return newPoint(e, Value(d(e, b, "x") + f * (d(e, a, "x") - d(e, b, "x"))),
                            Value(d(e, b, "y") + f * (d(e, a, "y") - d(e, b, "y"))));
        }
        case 2: {  // polar(length, angle)
            double len = e.toNumber(a), angle = e.toNumber(b);
            return newPoint(e, Value(len * std::cos(angle)), Value(len * std::sin(angle)));
        }
    }
    return Value();
}

// ---- Rectangle ----

Value rectCtor(EngineImpl& e, Object*, const Value& thisv, Args args) {
    if (args.empty()) {
        for (const char* k : {"x", "y", "width", "height"}) put(e, thisv, k, Value(0.0));
    } else {
        put(e, thisv, "x", args[0]);
        put(e, thisv, "y", arg(args, 1));
        put(e, thisv, "width", arg(args, 2));
        put(e, thisv, "height", arg(args, 3));
    }
    return Value();
}

Value rectAccessor(EngineImpl& e, Object* callee, const Value& thisv, Args args) {
    const Value& v = arg(args, 0);
    auto plus = [&](const char* a, const char* b) { return Value(d(e, thisv, a) + d(e, thisv, b)); };
    switch (callee->magic) {
        case 0: return num(e, thisv, "x");  // left
        case 1: return num(e, thisv, "y");  // top
        case 2: return plus("x", "width");  // right
        case 3: return plus("y", "height");  // bottom
        case 4: return newPoint(e, num(e, thisv, "x"), num(e, thisv, "y"));  // topLeft
        case 5: return newPoint(e, plus("x", "width"), plus("y", "height"));  // bottomRight
        case 6: return newPoint(e, num(e, thisv, "width"), num(e, thisv, "height"));  // size
        // setters
        case 10:  // left
            put(e, thisv, "width", Value(d(e, thisv, "width") + d(e, thisv, "x") - e.toNumber(v)));
            put(e, thisv, "x", v);
            return Value();
        case 11:  // top
            put(e, thisv, "height", Value(d(e, thisv, "height") + d(e, thisv, "y") - e.toNumber(v)));
            put(e, thisv, "y", v);
            return Value();
        case 12: put(e, thisv, "width", Value(e.toNumber(v) - d(e, thisv, "x"))); return Value();
        case 13: put(e, thisv, "height", Value(e.toNumber(v) - d(e, thisv, "y"))); return Value();
        case 14: {  // topLeft: the point's coordinates are kept as they are
            Value x = e.getValueMember(v, "x"), y = e.getValueMember(v, "y");
            put(e, thisv, "width", Value(d(e, thisv, "width") + d(e, thisv, "x") - e.toNumber(x)));
            put(e, thisv, "height", Value(d(e, thisv, "height") + d(e, thisv, "y") - e.toNumber(y)));
            put(e, thisv, "x", x);
            put(e, thisv, "y", y);
            return Value();
        }
        case 15:  // bottomRight
            put(e, thisv, "width", Value(d(e, v, "x") - d(e, thisv, "x")));
            put(e, thisv, "height", Value(d(e, v, "y") - d(e, thisv, "y")));
            return Value();
        case 16:  // size
            put(e, thisv, "width", num(e, v, "x"));
            put(e, thisv, "height", num(e, v, "y"));
            return Value();
    }
    return Value();
}

// Math.min/max as scripts see them: NaN wins.
double minOf(double a, double b) { return std::isnan(a) || std::isnan(b) ? a + b : std::min(a, b); }
double maxOf(double a, double b) { return std::isnan(a) || std::isnan(b) ? a + b : std::max(a, b); }

// A chain of `a >= b` (or `a > b` when strict) joined by &&, as the player's own script
// for these methods runs it: the first test that is not true answers, undefined for NaN.
struct Comparison {
    double a, b;
    bool strict;
};
Value allOf(std::initializer_list<Comparison> tests) {
    for (const Comparison& c : tests) {
        if (std::isnan(c.a) || std::isnan(c.b)) return Value();
        if (c.strict ? !(c.a > c.b) : !(c.a >= c.b)) return Value(false);
    }
    return Value(true);
}

Value rectMethod(EngineImpl& e, Object* callee, const Value& thisv, Args args) {
    double x = d(e, thisv, "x"), y = d(e, thisv, "y"), w = d(e, thisv, "width"), h = d(e, thisv, "height");
    auto n = [&](size_t i) { return e.toNumber(arg(args, i)); };
    switch (callee->magic) {
        case 0: return newRect(e, num(e, thisv, "x"), num(e, thisv, "y"), num(e, thisv, "width"), num(e, thisv, "height"));
        case 1: case 2: {  // contains(x, y), containsPoint(p)
            double px = callee->magic == 1 ? n(0) : d(e, arg(args, 0), "x");
            double py = callee->magic == 1 ? n(1) : d(e, arg(args, 0), "y");
            return allOf({{px, x, false}, {x + w, px, true}, {py, y, false}, {y + h, py, true}});
        }
        case 3: {  // containsRectangle
            const Value& r = arg(args, 0);
            double rx = d(e, r, "x"), ry = d(e, r, "y"), rw = d(e, r, "width"), rh = d(e, r, "height");
            return allOf({{rx, x, false}, {ry, y, false}, {x + w, rx + rw, false}, {y + h, ry + rh, false}});
        }
        case 4: {  // inflate(dx, dy)
            double dx = n(0), dy = n(1);
            put(e, thisv, "x", Value(x - dx));
            put(e, thisv, "width", Value(w + 2 * dx));
            put(e, thisv, "y", Value(y - dy));
            put(e, thisv, "height", Value(h + 2 * dy));
            return Value();
        }
        case 5: {  // inflatePoint
            double dx = d(e, arg(args, 0), "x"), dy = d(e, arg(args, 0), "y");
            put(e, thisv, "x", Value(x - dx));
            put(e, thisv, "width", Value(w + 2 * dx));
            put(e, thisv, "y", Value(y - dy));
            put(e, thisv, "height", Value(h + 2 * dy));
            return Value();
        }
        case 6: case 7: case 8: {  // intersection, intersects, union
            const Value& r = arg(args, 0);
            double rx = d(e, r, "x"), ry = d(e, r, "y"), rw = d(e, r, "width"), rh = d(e, r, "height");
            if (callee->magic == 8) {
                // No special case for empty rectangles; a NaN anywhere spreads.
                double l = minOf(x, rx), t = minOf(y, ry);
                return newRect(e, Value(l), Value(t), Value(maxOf(x + w, rx + rw) - l), Value(maxOf(y + h, ry + rh) - t));
            }
            double l = maxOf(x, rx), t = maxOf(y, ry), r2 = minOf(x + w, rx + rw), b = minOf(y + h, ry + rh);
            bool hit = r2 > l && b > t;  // false with any NaN
            if (callee->magic == 7) return Value(hit);
            if (!hit) return newRect(e, Value(0.0), Value(0.0), Value(0.0), Value(0.0));
            return newRect(e, Value(l), Value(t), Value(r2 - l), Value(b - t));
        }
        case 9: return Value(!(w > 0 && h > 0));  // isEmpty
        case 10:  // offset
            put(e, thisv, "x", Value(x + n(0)));
            put(e, thisv, "y", Value(y + n(1)));
            return Value();
        case 11:  // offsetPoint
            put(e, thisv, "x", Value(x + d(e, arg(args, 0), "x")));
            put(e, thisv, "y", Value(y + d(e, arg(args, 0), "y")));
            return Value();
        case 12:  // setEmpty
            for (const char* k : {"x", "y", "width", "height"}) put(e, thisv, k, Value(0.0));
            return Value();
        case 13: {  // equals
            Object* o = arg(args, 0).object();
            if (!o || !e.instanceOf(o, e.rectangleClass)) return Value(false);
            const Value& r = arg(args, 0);
            for (const char* k : {"x", "y", "width", "height"})
                if (!e.looseEquals(num(e, thisv, k), num(e, r, k))) return Value(false);
            return Value(true);
        }
        case 14: {  // toString
            std::string out = "(x=" + e.toString(num(e, thisv, "x")) + ", y=" + e.toString(num(e, thisv, "y")) +
                              ", w=" + e.toString(num(e, thisv, "width")) + ", h=" + e.toString(num(e, thisv, "height")) + ")";
            return Value(out);
        }
    }
    return Value();
}

// ---- Matrix ----

const char* kMatrixFields[] = {"a", "b", "c", "d", "tx", "ty"};

Value matrixCtor(EngineImpl& e, Object*, const Value& thisv, Args args) {
    double identity[] = {1, 0, 0, 1, 0, 0};
    for (int i = 0; i < 6; ++i) put(e, thisv, kMatrixFields[i], args.empty() ? Value(identity[i]) : arg(args, size_t(i)));
    return Value();
}

Matrix readMatrix(EngineImpl& e, const Value& v) {
    return Matrix{d(e, v, "a"), d(e, v, "b"), d(e, v, "c"), d(e, v, "d"), d(e, v, "tx"), d(e, v, "ty")};
}
void writeMatrix(EngineImpl& e, const Value& v, const Matrix& m) {
    double f[] = {m.a, m.b, m.c, m.d, m.tx, m.ty};
    for (int i = 0; i < 6; ++i) put(e, v, kMatrixFields[i], Value(f[i]));
}
Matrix multiply(const Matrix& m, const Matrix& n) {  // m then n
    return Matrix{m.a * n.a + m.b * n.c, m.a * n.b + m.b * n.d, m.c * n.a + m.d * n.c, m.c * n.b + m.d * n.d,
                  m.tx * n.a + m.ty * n.c + n.tx, m.tx * n.b + m.ty * n.d + n.ty};
}

Value matrixMethod(EngineImpl& e, Object* callee, const Value& thisv, Args args) {
    Matrix m = readMatrix(e, thisv);
    auto n = [&](size_t i) { return e.toNumber(arg(args, i)); };
    switch (callee->magic) {
        case 0: {  // clone
            Value a[] = {Value(m.a), Value(m.b), Value(m.c), Value(m.d), Value(m.tx), Value(m.ty)};
            return e.construct(Value(e.matrixClass), a);
        }
        case 1: writeMatrix(e, thisv, multiply(m, readMatrix(e, arg(args, 0)))); return Value();  // concat
        case 2: writeMatrix(e, thisv, Matrix{}); return Value();  // identity
        case 3: {  // invert
            double det = m.a * m.d - m.b * m.c;
            if (det == 0) {
                writeMatrix(e, thisv, Matrix{});
                return Value();
            }
            Matrix r{m.d / det, -m.b / det, -m.c / det, m.a / det, 0, 0};
            r.tx = -(r.a * m.tx + r.c * m.ty);
            r.ty = -(r.b * m.tx + r.d * m.ty);
            writeMatrix(e, thisv, r);
            return Value();
        }
        case 4: {  // rotate
            double c = std::cos(n(0)), s = std::sin(n(0));
            writeMatrix(e, thisv, multiply(m, Matrix{c, s, -s, c, 0, 0}));
            return Value();
        }
        case 5: writeMatrix(e, thisv, multiply(m, Matrix{n(0), 0, 0, n(1), 0, 0})); return Value();  // scale
        case 6: writeMatrix(e, thisv, multiply(m, Matrix{1, 0, 0, 1, n(0), n(1)})); return Value();  // translate
        case 7: {  // transformPoint
            double x = d(e, arg(args, 0), "x"), y = d(e, arg(args, 0), "y");
            return newPoint(e, Value(m.a * x + m.c * y + m.tx), Value(m.b * x + m.d * y + m.ty));
        }
        case 8: {  // deltaTransformPoint
            double x = d(e, arg(args, 0), "x"), y = d(e, arg(args, 0), "y");
            return newPoint(e, Value(m.a * x + m.c * y), Value(m.b * x + m.d * y));
        }
        case 9: case 10: {  // createBox, createGradientBox
            double sx = n(0), sy = n(1), r = args.size() > 2 ? n(2) : 0, tx = args.size() > 3 ? n(3) : 0,
                   ty = args.size() > 4 ? n(4) : 0;
            if (callee->magic == 10) {
                sx /= 1638.4;
                sy /= 1638.4;
                tx += n(0) / 2;
                ty += n(1) / 2;
            }
            double c = std::cos(r), s = std::sin(r);
            writeMatrix(e, thisv, Matrix{sx * c, sy * s, -sx * s, sy * c, tx, ty});
            return Value();
        }
        case 11: {  // toString
            std::string out = "(";
            for (int i = 0; i < 6; ++i) {
                if (i) out += ", ";
                out += std::string(kMatrixFields[i]) + "=" + e.toString(num(e, thisv, kMatrixFields[i]));
            }
            return Value(out + ")");
        }
    }
    return Value();
}

// ---- ColorTransform ----

const char* kColorFields[] = {"redMultiplier", "greenMultiplier", "blueMultiplier", "alphaMultiplier",
                              "redOffset",     "greenOffset",     "blueOffset",     "alphaOffset"};

Value colorTransformCtor(EngineImpl& e, Object*, const Value& thisv, Args args) {
    for (int i = 0; i < 8; ++i)
        put(e, thisv, kColorFields[i], args.size() > size_t(i) ? Value(e.toNumber(args[size_t(i)])) : Value(i < 4 ? 1.0 : 0.0));
    return Value();
}

Value colorTransformMethod(EngineImpl& e, Object* callee, const Value& thisv, Args args) {
    switch (callee->magic) {
        case 0: {  // rgb getter
            auto c = [&](const char* k) { return toUint32(d(e, thisv, k)) & 0xFF; };
            return Value(double(c("redOffset") << 16 | c("greenOffset") << 8 | c("blueOffset")));
        }
        case 1: {  // rgb setter
            uint32_t rgb = toUint32(e.toNumber(arg(args, 0)));
            for (int i = 0; i < 3; ++i) put(e, thisv, kColorFields[i], Value(0.0));
            put(e, thisv, "redOffset", Value(double((rgb >> 16) & 0xFF)));
            put(e, thisv, "greenOffset", Value(double((rgb >> 8) & 0xFF)));
            put(e, thisv, "blueOffset", Value(double(rgb & 0xFF)));
            return Value();
        }
        case 2: {  // concat(second): this = second applied after this
            const Value& o = arg(args, 0);
            for (int i = 0; i < 4; ++i) {
                double m = d(e, thisv, kColorFields[i]), off = d(e, thisv, kColorFields[i + 4]);
                double m2 = d(e, o, kColorFields[i]), off2 = d(e, o, kColorFields[i + 4]);
                put(e, thisv, kColorFields[i + 4], Value(off + m * off2));
                put(e, thisv, kColorFields[i], Value(m * m2));
            }
            return Value();
        }
        case 3: {  // toString
            std::string out = "(";
            for (int i = 0; i < 8; ++i) {
                if (i) out += ", ";
                out += std::string(kColorFields[i]) + "=" + e.toString(num(e, thisv, kColorFields[i]));
            }
            return Value(out + ")");
        }
    }
    return Value();
}

void accessor(EngineImpl& e, Object* on, const char* name, NativeFn get, int getMagic, NativeFn set, int setMagic) {
    std::string k = e.key(name);
    Slot& p = e.findOwn(on, k) ? *e.findOwn(on, k) : on->props.insert(k, Str(name));
    p.getter = e.makeNative(get, getMagic);
    p.setter = set ? e.makeNative(set, setMagic) : nullptr;
    p.flags = prop_flag::kDontEnum;
}

}  // namespace

void installGeom(EngineImpl& e) {
    Object* flash = e.makeObject();
    Object* geom = e.makeObject();
    e.define(e.global, "flash", Value(flash));
    e.define(flash, "geom", Value(geom));

    Object* pointProto = e.makeObject();
    e.pointClass = e.makeClass("Point", pointCtor, pointProto, geom);
    const char* pointNames[] = {"add", "subtract", "equals", "normalize", "offset", "clone", "toString"};
    for (int i = 0; i < 7; ++i) e.method(pointProto, pointNames[i], pointMethod, i);
    accessor(e, pointProto, "length", pointMethod, 7, nullptr, 0);
    const char* pointStatics[] = {"distance", "interpolate", "polar"};
    for (int i = 0; i < 3; ++i) e.method(e.pointClass, pointStatics[i], pointStatic, i);

    Object* rectProto = e.makeObject();
    e.rectangleClass = e.makeClass("Rectangle", rectCtor, rectProto, geom);
    const char* rectNames[] = {"clone", "contains", "containsPoint", "containsRectangle", "inflate", "inflatePoint",
                               "intersection", "intersects", "union", "isEmpty", "offset", "offsetPoint",
                               "setEmpty", "equals", "toString"};
    for (int i = 0; i < 15; ++i) e.method(rectProto, rectNames[i], rectMethod, i);
    const char* rectProps[] = {"left", "top", "right", "bottom", "topLeft", "bottomRight", "size"};
    for (int i = 0; i < 7; ++i) accessor(e, rectProto, rectProps[i], rectAccessor, i, rectAccessor, 10 + i);

    Object* matrixProto = e.makeObject();
    e.matrixClass = e.makeClass("Matrix", matrixCtor, matrixProto, geom);
    const char* matrixNames[] = {"clone", "concat", "identity", "invert", "rotate", "scale", "translate",
                                 "transformPoint", "deltaTransformPoint", "createBox", "createGradientBox", "toString"};
    for (int i = 0; i < 12; ++i) e.method(matrixProto, matrixNames[i], matrixMethod, i);

    Object* ctProto = e.makeObject();
    e.makeClass("ColorTransform", colorTransformCtor, ctProto, geom);
    accessor(e, ctProto, "rgb", colorTransformMethod, 0, colorTransformMethod, 1);
    e.method(ctProto, "concat", colorTransformMethod, 2);
    e.method(ctProto, "toString", colorTransformMethod, 3);
}

}  // namespace swf::avm1
