// The filters on device-pixel layers: box blurs with their passes, shadows, glows and
// bevels built from the blurred alpha (with inner, knockout, hide-object and strength),
// their gradient forms, the colour matrix and the convolution.
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "swf/effects_internal.h"

namespace swf::detail {
namespace {

// Past this box width (device pixels) a blur looks the same and only costs more.
constexpr double kMaxDeviceBox = 512;
// Past this many multiply-adds a convolution is skipped rather than stall the frame.
constexpr double kMaxConvolutionWork = 256e6;


// One channel of a layer, 0..1.
struct Plane {
    int width = 0, height = 0;
    std::vector<float> v;
    Plane(int w, int h) : width(w), height(h), v(size_t(w) * size_t(h), 0.0f) {}
    float at(int x, int y) const {
        return x < 0 || y < 0 || x >= width || y >= height ? 0.0f : v[size_t(y) * size_t(width) + size_t(x)];
    }
};

Plane channelOf(const QImage& image, int shift) {
    Plane plane(image.width(), image.height());
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        float* out = plane.v.data() + size_t(y) * size_t(image.width());
        for (int x = 0; x < image.width(); ++x) out[x] = float((line[x] >> shift) & 0xFF) / 255.0f;
    }
    return plane;
}

// One pass of a box `box` wide along a line of `n` values `stride` apart. Outside the line
// counts as zero, so blurs fade out at the layer's edge like at an object's. The line is
// copied into a zero-padded buffer so that the sliding sum needs no bounds checks.
void blurLine(float* data, int n, size_t stride, double box, std::vector<float>& padded) {
    const int full = int(std::floor((box - 1) / 2));
    const float edge = float((box - (2 * full + 1)) / 2);
    const float scale = float(1.0 / box);
    const size_t pad = size_t(full) + 1;
    padded.assign(size_t(n) + 2 * pad, 0.0f);
    for (int i = 0; i < n; ++i) padded[pad + size_t(i)] = data[size_t(i) * stride];
    const float* b = padded.data() + pad;  // b[-pad] .. b[n + pad - 1] are valid
    double sum = 0;
    for (int k = -full; k <= full; ++k) sum += b[k];
    for (int i = 0; i < n; ++i) {
        data[size_t(i) * stride] = float(sum + double(edge) * (b[i - full - 1] + b[i + full + 1])) * scale;
        sum += double(b[i + full + 1]) - double(b[i - full]);
    }
}

void blurPlane(Plane& plane, double boxX, double boxY, int passes) {
    std::vector<float> padded;
    for (int pass = 0; pass < passes; ++pass) {
        if (boxX > 1)
            for (int y = 0; y < plane.height; ++y)
                blurLine(plane.v.data() + size_t(y) * size_t(plane.width), plane.width, 1, boxX, padded);
        if (boxY > 1)
            for (int x = 0; x < plane.width; ++x)
                blurLine(plane.v.data() + size_t(x), plane.height, size_t(plane.width), boxY, padded);
    }
}

struct Blur {
    double boxX = 0, boxY = 0;
    int passes = 0;
};

Blur deviceBlur(float blurX, float blurY, int passes, double scaleX, double scaleY) {
    Blur b;
    b.boxX = std::min(double(std::clamp(blurX, 0.0f, kMaxBlurRadius)) * scaleX, kMaxDeviceBox);
    b.boxY = std::min(double(std::clamp(blurY, 0.0f, kMaxBlurRadius)) * scaleY, kMaxDeviceBox);
    b.passes = std::clamp(passes, 0, kMaxBlurPasses);
    return b;
}

int blurReach(double box, int passes) { return box > 1 ? int(std::ceil(box / 2 * passes)) + 1 : 0; }

QPoint deviceOffset(double angle, double distance, double scaleX, double scaleY) {
    const double d = std::clamp(distance, -4096.0, 4096.0);
    return QPoint(int(std::lround(d * std::cos(angle) * scaleX)), int(std::lround(d * std::sin(angle) * scaleY)));
}

float clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

// A straight colour scaled by `amount` into a premultiplied pixel.
QRgb premultipliedColor(const QColor& c, float amount) {
    const float a = clamp01(float(c.alphaF()) * amount);
    return qRgba(int(std::lround(c.red() * a)), int(std::lround(c.green() * a)), int(std::lround(c.blue() * a)),
                 int(std::lround(a * 255)));
}

// x * k / 255 for 0..255 values, rounded, without a division.
inline int mul255(int x, int k) {
    const int v = x * k + 128;
    return (v + (v >> 8)) >> 8;
}

// Source-over of two premultiplied pixels.
QRgb over(QRgb top, QRgb bottom) {
    const int inv = 255 - qAlpha(top);
    auto ch = [&](int t, int b) { return std::min(255, t + mul255(b, inv)); };
    return qRgba(ch(qRed(top), qRed(bottom)), ch(qGreen(top), qGreen(bottom)), ch(qBlue(top), qBlue(bottom)),
                 ch(qAlpha(top), qAlpha(bottom)));
}

// A premultiplied pixel times k / 255.
QRgb scaled(QRgb c, int k) {
    return qRgba(mul255(qRed(c), k), mul255(qGreen(c), k), mul255(qBlue(c), k), mul255(qAlpha(c), k));
}

// Puts an effect pixel `effect` (premultiplied) together with the object pixel.
struct Placing {
    bool inner = false, knockout = false, hideObject = false, onTop = false;
};

QRgb combine(QRgb effect, QRgb object, const Placing& how) {
    const int objectAlpha = qAlpha(object);
    if (how.inner) {
        const QRgb inside = scaled(effect, objectAlpha);
        if (how.knockout || how.hideObject) return inside;
        // Atop the object: the effect shows only where the object is, and keeps its alpha.
        const QRgb rest = scaled(object, 255 - qAlpha(effect));
        return qRgba(std::min(255, qRed(inside) + qRed(rest)), std::min(255, qGreen(inside) + qGreen(rest)),
                     std::min(255, qBlue(inside) + qBlue(rest)), objectAlpha);
    }
    if (how.knockout) return scaled(effect, 255 - objectAlpha);
    if (how.hideObject) return effect;
    return how.onTop ? over(effect, object) : over(object, effect);
}

// A colour at each of 256 strengths, so that the per-pixel work is a lookup.
using ColorRamp = std::array<QRgb, 256>;
ColorRamp rampOf(const QColor& c) {
    ColorRamp ramp;
    for (int i = 0; i < 256; ++i) ramp[size_t(i)] = premultipliedColor(c, float(i) / 255.0f);
    return ramp;
}
inline size_t rampIndex(float amount) { return size_t(clamp01(amount) * 255.0f + 0.5f); }

// Glow, drop shadow and gradient glow: the blurred, shifted alpha (inverted for inner ones)
// times the strength picks the effect's colour.
template <typename ColorOf>
void shadowFilter(QImage& layer, const Blur& blur, QPoint offset, float strength, const Placing& how,
                  ColorOf colorOf) {
    const Plane alpha = channelOf(layer, 24);
    Plane shifted(layer.width(), layer.height());
    for (int y = 0; y < layer.height(); ++y)
        for (int x = 0; x < layer.width(); ++x)
            shifted.v[size_t(y) * size_t(layer.width()) + size_t(x)] = alpha.at(x - offset.x(), y - offset.y());
    blurPlane(shifted, blur.boxX, blur.boxY, blur.passes);
    const float s = std::clamp(strength, 0.0f, 255.0f);
    for (int y = 0; y < layer.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(layer.scanLine(y));
        const float* a = shifted.v.data() + size_t(y) * size_t(layer.width());
        for (int x = 0; x < layer.width(); ++x) {
            line[x] = combine(colorOf(rampIndex((how.inner ? 1.0f - a[x] : a[x]) * s)), line[x], how);
        }
    }
}

// Bevels: the blurred alpha seen from the light and from the shadow side; their difference
// (times the strength) is the highlight (positive) or the shadow (negative).
template <typename ColorOf>
void bevelFilter(QImage& layer, const Blur& blur, QPoint offset, float strength, const Placing& how,
                 bool fullBevel, ColorOf colorOf) {
    Plane alpha = channelOf(layer, 24);
    blurPlane(alpha, blur.boxX, blur.boxY, blur.passes);
    const float s = std::clamp(strength, 0.0f, 255.0f);
    for (int y = 0; y < layer.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(layer.scanLine(y));
        for (int x = 0; x < layer.width(); ++x) {
            const float lit = alpha.at(x + offset.x(), y + offset.y());
            const float dark = alpha.at(x - offset.x(), y - offset.y());
            const float difference = std::clamp((lit - dark) * s, -1.0f, 1.0f);
            QRgb effect = colorOf(difference);
            if (fullBevel) {
                line[x] = how.knockout ? effect : (how.hideObject ? effect : over(effect, line[x]));
                continue;
            }
            if (!how.inner) effect = scaled(effect, 255 - qAlpha(line[x]));
            line[x] = combine(effect, line[x], how);
        }
    }
}

std::array<QRgb, 256> gradientTable(const std::vector<GradientFilterStop>& stops) {
    std::array<QRgb, 256> table{};
    if (stops.empty()) return table;
    for (int i = 0; i < 256; ++i) {
        size_t j = 0;
        while (j < stops.size() && stops[j].ratio < i) ++j;
        QColor c;
        if (j == 0) c = stops.front().color;
        else if (j == stops.size()) c = stops.back().color;
        else {
            const auto& a = stops[j - 1];
            const auto& b = stops[j];
            const double t = b.ratio == a.ratio ? 1.0 : double(i - a.ratio) / double(b.ratio - a.ratio);
            auto mix = [&](int u, int v) { return int(std::lround(u + (v - u) * t)); };
            c = QColor(mix(a.color.red(), b.color.red()), mix(a.color.green(), b.color.green()),
                       mix(a.color.blue(), b.color.blue()), mix(a.color.alpha(), b.color.alpha()));
        }
        table[size_t(i)] = premultipliedColor(c, 1.0f);
    }
    return table;
}

void colorMatrix(QImage& layer, const ColorMatrixFilter& f) {
    const auto& m = f.matrix;
    for (int y = 0; y < layer.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(layer.scanLine(y));
        for (int x = 0; x < layer.width(); ++x) {
            const QRgb straight = qUnpremultiply(line[x]);
            const float in[4] = {float(qRed(straight)), float(qGreen(straight)), float(qBlue(straight)),
                                 float(qAlpha(straight))};
            int out[4];
            for (int row = 0; row < 4; ++row) {
                const float* r = m.data() + row * 5;
                const float v = r[0] * in[0] + r[1] * in[1] + r[2] * in[2] + r[3] * in[3] + r[4];
                out[row] = std::clamp(int(std::lround(v)), 0, 255);
            }
            line[x] = qPremultiply(qRgba(out[0], out[1], out[2], out[3]));
        }
    }
}

void convolution(QImage& layer, const ConvolutionFilter& f) {
    const int mw = f.matrixX, mh = f.matrixY;
    if (mw <= 0 || mh <= 0 || mw > kMaxConvolutionSide || mh > kMaxConvolutionSide ||
        f.matrix.size() != size_t(mw) * size_t(mh))
        return;
    if (double(layer.width()) * layer.height() * mw * mh > kMaxConvolutionWork) return;
    const QImage source = layer.copy();
    const double divisor = f.divisor == 0 ? 1.0 : double(f.divisor);
    const QRgb outside = qRgba(f.defaultColor.red(), f.defaultColor.green(), f.defaultColor.blue(),
                               f.defaultColor.alpha());
    const int w = layer.width(), h = layer.height();
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(layer.scanLine(y));
        for (int x = 0; x < w; ++x) {
            double sum[4] = {0, 0, 0, 0};
            for (int j = 0; j < mh; ++j) {
                for (int i = 0; i < mw; ++i) {
                    int sx = x + i - mw / 2, sy = y + j - mh / 2;
                    QRgb c;
                    if (sx < 0 || sy < 0 || sx >= w || sy >= h) {
                        if (!f.clamp) c = outside;
                        else c = qUnpremultiply(source.pixel(std::clamp(sx, 0, w - 1), std::clamp(sy, 0, h - 1)));
                    } else {
                        c = qUnpremultiply(reinterpret_cast<const QRgb*>(source.constScanLine(sy))[sx]);
                    }
                    const double k = f.matrix[size_t(j) * size_t(mw) + size_t(i)];
                    sum[0] += k * qRed(c);
                    sum[1] += k * qGreen(c);
                    sum[2] += k * qBlue(c);
                    sum[3] += k * qAlpha(c);
                }
            }
            auto ch = [&](double v) { return std::clamp(int(std::lround(v / divisor + f.bias)), 0, 255); };
            const int alpha = f.preserveAlpha ? qAlpha(qUnpremultiply(line[x])) : ch(sum[3]);
            line[x] = qPremultiply(qRgba(ch(sum[0]), ch(sum[1]), ch(sum[2]), alpha));
        }
    }
}

template <typename F>
Placing placingOf(const F& f) {
    Placing how;
    how.inner = f.inner;
    how.knockout = f.knockout;
    how.hideObject = f.hideObject;
    if constexpr (requires { f.onTop; }) how.onTop = f.onTop;
    return how;
}

}  // namespace

void boxBlur(QImage& image, double boxX, double boxY, int passes) {
    passes = std::clamp(passes, 0, kMaxBlurPasses);
    if (passes == 0 || (boxX <= 1 && boxY <= 1) || image.isNull()) return;
    boxX = std::min(boxX, kMaxDeviceBox);
    boxY = std::min(boxY, kMaxDeviceBox);
    Plane planes[4] = {channelOf(image, 0), channelOf(image, 8), channelOf(image, 16), channelOf(image, 24)};
    for (Plane& plane : planes) blurPlane(plane, boxX, boxY, passes);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const size_t row = size_t(y) * size_t(image.width());
        for (int x = 0; x < image.width(); ++x) {
            auto ch = [&](int i) { return std::clamp(int(planes[i].v[row + size_t(x)] * 255.0f + 0.5f), 0, 255); };
            const int a = ch(3);
            line[x] = qRgba(std::min(ch(2), a), std::min(ch(1), a), std::min(ch(0), a), a);
        }
    }
}

QMargins filterMargins(std::span<const Filter> filters, double scaleX, double scaleY) {
    QMargins total;
    for (const Filter& filter : filters.first(std::min(filters.size(), size_t(kMaxFiltersPerObject)))) {
        std::visit(
            [&](const auto& f) {
                using T = std::decay_t<decltype(f)>;
                if constexpr (std::is_same_v<T, ColorMatrixFilter> || std::is_same_v<T, ConvolutionFilter>) {
                    return;
                } else {
                    const Blur b = deviceBlur(f.blurX, f.blurY, f.passes, scaleX, scaleY);
                    QMargins m(blurReach(b.boxX, b.passes), blurReach(b.boxY, b.passes), blurReach(b.boxX, b.passes),
                               blurReach(b.boxY, b.passes));
                    if constexpr (requires { f.angle; }) {
                        const QPoint d = deviceOffset(f.angle, f.distance, scaleX, scaleY);
                        m += QMargins(std::abs(d.x()), std::abs(d.y()), std::abs(d.x()), std::abs(d.y()));
                    }
                    // Inner effects stay within the object; a full bevel (on top) reaches out too.
                    if constexpr (requires { f.onTop; }) {
                        if (f.inner && !f.onTop) return;
                    } else if constexpr (requires { f.inner; }) {
                        if (f.inner) return;
                    }
                    total += m;
                }
            },
            filter);
    }
    return total;
}

void applyFilters(QImage& layer, std::span<const Filter> filters, double scaleX, double scaleY, double& workLeft) {
    const double pixels = double(layer.width()) * layer.height();
    for (const Filter& filter : filters.first(std::min(filters.size(), size_t(kMaxFiltersPerObject)))) {
        // A blur pass visits every pixel twice (across, then down) per channel.
        double work = 0;
        std::visit(
            [&](const auto& f) {
                using T = std::decay_t<decltype(f)>;
                if constexpr (std::is_same_v<T, ColorMatrixFilter>) work += pixels;
                else if constexpr (std::is_same_v<T, ConvolutionFilter>) work += pixels * f.matrix.size();
                else work += pixels * (4 + 2 * std::clamp(f.passes, 0, kMaxBlurPasses) * (std::is_same_v<T, BlurFilter> ? 4 : 1));
            },
            filter);
        if (work > workLeft) break;
        workLeft -= work;
        std::visit(
            [&](const auto& f) {
                using T = std::decay_t<decltype(f)>;
                if constexpr (std::is_same_v<T, BlurFilter>) {
                    const Blur b = deviceBlur(f.blurX, f.blurY, f.passes, scaleX, scaleY);
                    boxBlur(layer, b.boxX, b.boxY, b.passes);
                } else if constexpr (std::is_same_v<T, DropShadowFilter> || std::is_same_v<T, GlowFilter>) {
                    QPoint offset;
                    if constexpr (requires { f.angle; }) offset = deviceOffset(f.angle, f.distance, scaleX, scaleY);
                    const ColorRamp ramp = rampOf(f.color);
                    shadowFilter(layer, deviceBlur(f.blurX, f.blurY, f.passes, scaleX, scaleY), offset, f.strength,
                                 placingOf(f), [&](size_t i) { return ramp[i]; });
                } else if constexpr (std::is_same_v<T, GradientGlowFilter>) {
                    const auto table = gradientTable(f.stops);
                    shadowFilter(layer, deviceBlur(f.blurX, f.blurY, f.passes, scaleX, scaleY),
                                 deviceOffset(f.angle, f.distance, scaleX, scaleY), f.strength, placingOf(f),
                                 [&](size_t i) { return table[i]; });
                } else if constexpr (std::is_same_v<T, BevelFilter>) {
                    const ColorRamp highlight = rampOf(f.highlightColor), shadow = rampOf(f.shadowColor);
                    bevelFilter(layer, deviceBlur(f.blurX, f.blurY, f.passes, scaleX, scaleY),
                                deviceOffset(f.angle, f.distance, scaleX, scaleY), f.strength, placingOf(f), f.onTop,
                                [&](float d) { return d >= 0 ? highlight[rampIndex(d)] : shadow[rampIndex(-d)]; });
                } else if constexpr (std::is_same_v<T, GradientBevelFilter>) {
                    const auto table = gradientTable(f.stops);
                    bevelFilter(layer, deviceBlur(f.blurX, f.blurY, f.passes, scaleX, scaleY),
                                deviceOffset(f.angle, f.distance, scaleX, scaleY), f.strength, placingOf(f), f.onTop,
                                [&](float d) { return table[size_t(std::clamp(int(128.5f - d * 128), 0, 255))]; });
                } else if constexpr (std::is_same_v<T, ColorMatrixFilter>) {
                    colorMatrix(layer, f);
                } else if constexpr (std::is_same_v<T, ConvolutionFilter>) {
                    convolution(layer, f);
                }
            },
            filter);
    }
}

}  // namespace swf::detail
