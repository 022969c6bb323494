// flash.display.BitmapData and MovieClip.attachBitmap. The pixels live in the player (they
// are drawn there); a BitmapData object holds the player's handle and gives it back when
// the object is collected or disposed.
#include <algorithm>
#include <cmath>

#include "swf/avm1/vm.h"

namespace swf::avm1 {

struct BitmapState {
    Host& host;
    BitmapHandle handle;
    int width, height;
    bool transparent;
    BitmapState(Host& h, BitmapHandle b, int w, int ht, bool t) : host(h), handle(b), width(w), height(ht), transparent(t) {}
    BitmapState(const BitmapState&) = delete;
    BitmapState& operator=(const BitmapState&) = delete;
    ~BitmapState() { release(); }
    void release() {
        if (handle) host.releaseBitmap(std::exchange(handle, 0));
    }
};

namespace {

using Args = std::span<const Value>;

enum Method : int {
    kGetPixel, kGetPixel32, kSetPixel, kSetPixel32, kFillRect, kDispose, kClone,
    kWidth, kHeight, kTransparent, kRectangle
};

BitmapState* live(const Value& thisv) {
    Object* o = thisv.object();
    return o && o->extras && o->extras->bitmap && o->extras->bitmap->handle ? o->extras->bitmap.get() : nullptr;
}

// Colours are 32-bit ARGB however a script wrote them (negative numbers included).
uint32_t colorOf(EngineImpl& e, const Value& v) { return uint32_t(toInt32(e.toNumber(v))); }

int coordinate(EngineImpl& e, const Value& v) {
    const double d = e.toNumber(v);
    return std::isfinite(d) ? int(std::clamp(std::trunc(d), -1e9, 1e9)) : -1;
}

// What is stored for a colour: an opaque bitmap keeps no alpha.
uint32_t stored(const BitmapState& b, uint32_t argb) { return b.transparent ? argb : argb | 0xFF000000u; }

Value bitmapDataCtor(EngineImpl& e, Object*, const Value& thisv, Args args) {
    Object* self = thisv.object();
    if (!self) return Value();
    const double width = e.toNumber(arg(args, 0)), height = e.toNumber(arg(args, 1));
    const bool transparent = args.size() < 3 || e.toBoolean(args[2]);
    const uint32_t fill = args.size() < 4 ? 0xFFFFFFFFu : colorOf(e, args[3]);
    // The original player's limits: 1..2880 pixels a side.
    if (!(width >= 1 && width <= kMaxBitmapSide && height >= 1 && height <= kMaxBitmapSide)) return Value();
    const int w = int(width), h = int(height);
    BitmapHandle handle = e.host.createBitmap(w, h, transparent, transparent ? fill : fill | 0xFF000000u);
    if (!handle) return Value();
    self->more().bitmap = std::make_shared<BitmapState>(e.host, handle, w, h, transparent);
    return Value();
}

Value bitmapDataMethod(EngineImpl& e, Object* callee, const Value& thisv, Args args) {
    BitmapState* b = live(thisv);
    const Method method = Method(callee->magic);
    if (!b) {
        // A disposed (or never made) bitmap answers -1 for its size and nothing else.
        return method == kWidth || method == kHeight ? Value(-1.0) : Value();
    }
    switch (method) {
        case kGetPixel:
        case kGetPixel32: {
            const int x = coordinate(e, arg(args, 0)), y = coordinate(e, arg(args, 1));
            if (x < 0 || y < 0 || x >= b->width || y >= b->height) return Value(0.0);
            const uint32_t argb = e.host.bitmapPixel(b->handle, x, y);
            return method == kGetPixel ? Value(double(argb & 0xFFFFFF)) : Value(double(int32_t(argb)));
        }
        case kSetPixel:
        case kSetPixel32: {
            const int x = coordinate(e, arg(args, 0)), y = coordinate(e, arg(args, 1));
            if (x < 0 || y < 0 || x >= b->width || y >= b->height) return Value();
            uint32_t argb = colorOf(e, arg(args, 2));
            if (method == kSetPixel) argb = (e.host.bitmapPixel(b->handle, x, y) & 0xFF000000u) | (argb & 0xFFFFFF);
            e.host.setBitmapPixels(b->handle, x, y, 1, 1, stored(*b, argb));
            return Value();
        }
        case kFillRect: {
            Object* r = arg(args, 0).object();
            if (!r) return Value();
            auto n = [&](const char* k) { return e.toNumber(e.get(r, Str(k))); };
            const double x = n("x"), y = n("y"), w = n("width"), h = n("height");
            if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(w) || !std::isfinite(h)) return Value();
            const int left = int(std::clamp(x, 0.0, double(b->width))), top = int(std::clamp(y, 0.0, double(b->height)));
            const int right = int(std::clamp(x + w, 0.0, double(b->width)));
            const int bottom = int(std::clamp(y + h, 0.0, double(b->height)));
            if (right > left && bottom > top)
                e.host.setBitmapPixels(b->handle, left, top, right - left, bottom - top, stored(*b, colorOf(e, arg(args, 1))));
            return Value();
        }
        case kDispose: b->release(); return Value();
        case kClone: {
            Object* self = thisv.object();
            Object* copy = e.alloc(ObjKind::Plain, self->proto);
            if (BitmapHandle h = e.host.cloneBitmap(b->handle))
                copy->more().bitmap = std::make_shared<BitmapState>(e.host, h, b->width, b->height, b->transparent);
            return Value(copy);
        }
        case kWidth: return Value(double(b->width));
        case kHeight: return Value(double(b->height));
        case kTransparent: return Value(b->transparent);
        case kRectangle: {
            Value r[] = {Value(0.0), Value(0.0), Value(double(b->width)), Value(double(b->height))};
            return e.construct(Value(e.rectangleClass), r);
        }
    }
    return Value();
}

// MovieClip.attachBitmap(bitmap, depth, pixelSnapping, smoothing).
Value attachBitmap(EngineImpl& e, Object*, const Value& thisv, Args args) {
    Object* clip = thisv.object();
    BitmapState* b = live(arg(args, 0));
    if (!clip || clip->kind != ObjKind::Display || !b) return Value();
    const double depth = e.toNumber(arg(args, 1));
    if (!std::isfinite(depth)) return Value();
    const bool smoothing = args.size() > 3 && e.toBoolean(args[3]);
    e.host.attachBitmap(clip->display, b->handle, int(std::clamp(depth, -2e9, 2e9)), smoothing);
    return Value();
}

}  // namespace

void installBitmapData(EngineImpl& e) {
    Object* flash = e.get(e.global, Str("flash")).object();
    if (!flash) return;
    Object* display = e.get(flash, Str("display")).object();
    if (!display) {
        display = e.makeObject();
        e.define(flash, "display", Value(display));
    }
    Object* proto = e.makeObject();
    e.makeClass("BitmapData", bitmapDataCtor, proto, display);
    const std::pair<const char*, Method> methods[] = {
        {"getPixel", kGetPixel}, {"getPixel32", kGetPixel32}, {"setPixel", kSetPixel}, {"setPixel32", kSetPixel32},
        {"fillRect", kFillRect}, {"dispose", kDispose},       {"clone", kClone},
    };
    for (const auto& [name, magic] : methods) e.method(proto, name, bitmapDataMethod, magic);
    const std::pair<const char*, Method> properties[] = {
        {"width", kWidth}, {"height", kHeight}, {"transparent", kTransparent}, {"rectangle", kRectangle}};
    for (const auto& [name, magic] : properties) {
        Slot& p = proto->props.insert(e.key(name), Str(name));
        p.getter = e.makeNative(bitmapDataMethod, magic);
        p.flags = prop_flag::kDontEnum;
    }
    e.define(e.movieClipProto, "attachBitmap", Value(e.makeNative(attachBitmap)),
             prop_flag::kDontEnum | prop_flag::kVersion8);
}

}  // namespace swf::avm1
