// Filter lists of PlaceObject3 and DefineButton2 records.
#include <algorithm>
#include <cmath>

#include "swf/parse_internal.h"

namespace swf::detail {
namespace {

// Fixed and float fields may hold anything; the renderer clamps them, but NaN and
// infinities are turned into zero here so that no later arithmetic sees them.
float finite(double v) { return std::isfinite(v) ? float(v) : 0.0f; }
float fixed16(ByteReader& r) { return finite(int32_t(r.u32()) / 65536.0); }
float fixed8(ByteReader& r) { return finite(r.fixed8()); }
float floatField(ByteReader& r) { return finite(r.f32()); }

// The common tail of shadow-like filters: blur, angle, distance, strength and flag bits.
template <typename F>
void readShadowTail(ByteReader& r, F& f, bool withOnTop) {
    f.blurX = fixed16(r);
    f.blurY = fixed16(r);
    if constexpr (requires { f.angle; }) {
        f.angle = fixed16(r);
        f.distance = fixed16(r);
    }
    f.strength = fixed8(r);
    f.inner = r.flag();
    f.knockout = r.flag();
    f.hideObject = !r.flag();  // the bit is "composite source"
    if constexpr (requires { f.onTop; }) {
        if (withOnTop) f.onTop = r.flag();
    }
    f.passes = int(r.ub(withOnTop ? 4 : 5));
    r.align();
}

std::vector<GradientFilterStop> readFilterGradient(ByteReader& r) {
    const int count = r.u8();
    std::vector<GradientFilterStop> stops(static_cast<size_t>(count));
    for (auto& s : stops) s.color = readRgba(r);
    for (auto& s : stops) s.ratio = r.u8();
    return stops;
}

Filter readFilter(ByteReader& r) {
    const int type = r.u8();
    switch (type) {
        case 0: {
            DropShadowFilter f;
            f.color = readRgba(r);
            readShadowTail(r, f, false);
            return f;
        }
        case 1: {
            BlurFilter f;
            f.blurX = fixed16(r);
            f.blurY = fixed16(r);
            f.passes = int(r.ub(5));
            r.align();
            return f;
        }
        case 2: {
            GlowFilter f;
            f.color = readRgba(r);
            readShadowTail(r, f, false);
            return f;
        }
        case 3: {
            // Stored highlight first, then shadow (the published field order has them the other way).
            BevelFilter f;
            f.highlightColor = readRgba(r);
            f.shadowColor = readRgba(r);
            readShadowTail(r, f, true);
            return f;
        }
        case 4: {
            GradientGlowFilter f;
            f.stops = readFilterGradient(r);
            readShadowTail(r, f, true);
            return f;
        }
        case 5: {
            ConvolutionFilter f;
            f.matrixX = r.u8();
            f.matrixY = r.u8();
            f.divisor = floatField(r);
            f.bias = floatField(r);
            const size_t cells = size_t(f.matrixX) * size_t(f.matrixY);
            if (cells * 4 > r.remaining()) throw MalformedMovie("convolution matrix past the end");
            f.matrix.resize(cells);
            for (float& v : f.matrix) v = floatField(r);
            f.defaultColor = readRgba(r);
            const uint8_t flags = r.u8();
            f.clamp = flags & 0x02;
            f.preserveAlpha = flags & 0x01;
            return f;
        }
        case 6: {
            ColorMatrixFilter f;
            for (float& v : f.matrix) v = floatField(r);
            return f;
        }
        case 7: {
            GradientBevelFilter f;
            f.stops = readFilterGradient(r);
            readShadowTail(r, f, true);
            return f;
        }
        default: throw MalformedMovie("unknown filter");
    }
}

}  // namespace

std::vector<Filter> readFilterList(ByteReader& r) {
    const int count = r.u8();
    std::vector<Filter> filters;
    filters.reserve(size_t(count));
    for (int i = 0; i < count; ++i) filters.push_back(readFilter(r));
    return filters;
}

}  // namespace swf::detail
