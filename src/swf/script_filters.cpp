// Filters set from script, in both directions. The file keeps angles in radians and
// colours with their alpha; scripts see degrees and separate 0..1 alphas.
#include "swf/script_filters.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace swf {
namespace {

using Kind = avm1::FilterValues::Kind;
using Type = avm1::FilterValues::Type;

float finite(double v, double fallback = 0) { return float(std::isfinite(v) ? std::clamp(v, -1e6, 1e6) : fallback); }
float blur(double v) { return float(std::isfinite(v) ? std::clamp(v, 0.0, double(kMaxBlurRadius)) : 0.0); }
int passes(int quality) { return std::clamp(quality, 0, kMaxBlurPasses); }
float strength(double v) { return float(std::isfinite(v) ? std::clamp(v, 0.0, 255.0) : 0.0); }

QColor colorOf(uint32_t rgb, double alpha) {
    QColor c(QRgb(rgb & 0xFFFFFF));
    c.setAlpha(int(std::lround(std::clamp(std::isfinite(alpha) ? alpha : 1.0, 0.0, 1.0) * 255)));
    return c;
}
uint32_t rgbOf(const QColor& c) { return c.rgb() & 0xFFFFFF; }
double alphaOf(const QColor& c) { return c.alpha() / 255.0; }

double degrees(double radians) { return radians * 180 / std::numbers::pi; }
double radians(double degrees) { return std::fmod(std::isfinite(degrees) ? degrees : 0, 360.0) * std::numbers::pi / 180; }

// Bevels and gradient filters: inner, outer, or both ("full": not held inside the object,
// and drawn over it), as the renderer reads the two flags.
Type typeOf(bool inner, bool onTop) { return inner ? Type::Inner : onTop ? Type::Full : Type::Outer; }
void setType(Type type, bool& inner, bool& onTop) {
    inner = type == Type::Inner;
    onTop = type == Type::Full;
}

void exportStops(const std::vector<GradientFilterStop>& stops, avm1::FilterValues& v) {
    for (const GradientFilterStop& s : stops) {
        v.colors.push_back(rgbOf(s.color));
        v.alphas.push_back(alphaOf(s.color));
        v.ratios.push_back(s.ratio);
    }
}

std::vector<GradientFilterStop> importStops(const avm1::FilterValues& v) {
    std::vector<GradientFilterStop> stops;
    const size_t n = std::min({v.colors.size(), v.alphas.size(), v.ratios.size(), size_t(255)});
    for (size_t i = 0; i < n; ++i)
        stops.push_back({uint8_t(std::clamp(v.ratios[i], 0, 255)), colorOf(v.colors[i], v.alphas[i])});
    return stops;
}

}  // namespace

avm1::FilterValues scriptFilterFrom(const Filter& filter) {
    avm1::FilterValues v;
    std::visit(
        [&](const auto& f) {
            using T = std::decay_t<decltype(f)>;
            if constexpr (requires { f.blurX; }) {
                v.blurX = f.blurX;
                v.blurY = f.blurY;
                v.quality = f.passes;
            }
            if constexpr (requires { f.strength; }) v.strength = f.strength;
            if constexpr (requires { f.angle; }) {
                v.angle = degrees(f.angle);
                v.distance = f.distance;
            }
            if constexpr (requires { f.knockout; }) {
                v.knockout = f.knockout;
                v.hideObject = f.hideObject;
            }
            if constexpr (std::is_same_v<T, DropShadowFilter> || std::is_same_v<T, GlowFilter>) {
                v.kind = std::is_same_v<T, GlowFilter> ? Kind::Glow : Kind::DropShadow;
                v.color = rgbOf(f.color);
                v.alpha = alphaOf(f.color);
                v.inner = f.inner;
            } else if constexpr (std::is_same_v<T, BlurFilter>) {
                v.kind = Kind::Blur;
            } else if constexpr (std::is_same_v<T, BevelFilter>) {
                v.kind = Kind::Bevel;
                v.color = rgbOf(f.shadowColor);
                v.alpha = alphaOf(f.shadowColor);
                v.highlightColor = rgbOf(f.highlightColor);
                v.highlightAlpha = alphaOf(f.highlightColor);
                v.type = typeOf(f.inner, f.onTop);
            } else if constexpr (std::is_same_v<T, GradientGlowFilter> || std::is_same_v<T, GradientBevelFilter>) {
                v.kind = std::is_same_v<T, GradientGlowFilter> ? Kind::GradientGlow : Kind::GradientBevel;
                v.type = typeOf(f.inner, f.onTop);
                exportStops(f.stops, v);
            } else if constexpr (std::is_same_v<T, ConvolutionFilter>) {
                v.kind = Kind::Convolution;
                v.matrixX = f.matrixX;
                v.matrixY = f.matrixY;
                v.matrix.assign(f.matrix.begin(), f.matrix.end());
                v.divisor = f.divisor;
                v.bias = f.bias;
                v.color = rgbOf(f.defaultColor);
                v.alpha = alphaOf(f.defaultColor);
                v.clamp = f.clamp;
                v.preserveAlpha = f.preserveAlpha;
            } else if constexpr (std::is_same_v<T, ColorMatrixFilter>) {
                v.kind = Kind::ColorMatrix;
                v.matrix.assign(f.matrix.begin(), f.matrix.end());
            }
        },
        filter);
    return v;
}

Filter filterFromScript(const avm1::FilterValues& v) {
    auto common = [&](auto& f) {
        if constexpr (requires { f.blurX; }) {
            f.blurX = blur(v.blurX);
            f.blurY = blur(v.blurY);
            f.passes = passes(v.quality);
        }
        if constexpr (requires { f.strength; }) f.strength = strength(v.strength);
        if constexpr (requires { f.angle; }) {
            f.angle = radians(v.angle);
            f.distance = std::isfinite(v.distance) ? std::clamp(v.distance, -1e6, 1e6) : 0.0;
        }
        if constexpr (requires { f.knockout; }) {
            f.knockout = v.knockout;
            f.hideObject = v.hideObject;
        }
    };
    switch (v.kind) {
        case Kind::DropShadow: {
            DropShadowFilter f;
            common(f);
            f.color = colorOf(v.color, v.alpha);
            f.inner = v.inner;
            return f;
        }
        case Kind::Blur: {
            BlurFilter f;
            common(f);
            return f;
        }
        case Kind::Glow: {
            GlowFilter f;
            common(f);
            f.color = colorOf(v.color, v.alpha);
            f.inner = v.inner;
            return f;
        }
        case Kind::Bevel: {
            BevelFilter f;
            common(f);
            f.shadowColor = colorOf(v.color, v.alpha);
            f.highlightColor = colorOf(v.highlightColor, v.highlightAlpha);
            setType(v.type, f.inner, f.onTop);
            return f;
        }
        case Kind::GradientGlow: {
            GradientGlowFilter f;
            common(f);
            setType(v.type, f.inner, f.onTop);
            f.stops = importStops(v);
            return f;
        }
        case Kind::GradientBevel: {
            GradientBevelFilter f;
            common(f);
            setType(v.type, f.inner, f.onTop);
            f.stops = importStops(v);
            return f;
        }
        case Kind::Convolution: {
            ConvolutionFilter f;
            f.matrixX = std::clamp(v.matrixX, 0, kMaxConvolutionSide);
            f.matrixY = std::clamp(v.matrixY, 0, kMaxConvolutionSide);
            // Exactly matrixX * matrixY weights reach the renderer, whatever scripts stored.
            f.matrix.assign(size_t(f.matrixX * f.matrixY), 0.0f);
            for (size_t i = 0; i < f.matrix.size() && i < v.matrix.size(); ++i) f.matrix[i] = finite(v.matrix[i]);
            f.divisor = finite(v.divisor, 1);
            f.bias = finite(v.bias);
            f.defaultColor = colorOf(v.color, v.alpha);
            f.clamp = v.clamp;
            f.preserveAlpha = v.preserveAlpha;
            return f;
        }
        case Kind::ColorMatrix: {
            ColorMatrixFilter f;
            for (size_t i = 0; i < f.matrix.size(); ++i) f.matrix[i] = i < v.matrix.size() ? finite(v.matrix[i]) : 0.0f;
            return f;
        }
    }
    return BlurFilter{};
}

}  // namespace swf
