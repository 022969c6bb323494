// Putting an effect layer onto what lies below it: colour transforms on the finished
// layer and every blend mode. QPainter's composition modes do most modes; subtract and
// invert are built from difference and plus, which keeps them working on any device.
#include <algorithm>
#include <cmath>

#include "swf/effects_internal.h"
#include "swf/instance.h"

namespace swf::detail {

void applyColorTransform(QImage& image, const ColorTransform& cx) {
    if (cx.isIdentity() || image.isNull()) return;
    if (cx.onlyAlphaMultiplier()) {
        const float m = std::clamp(cx.mul[3], 0.0f, 1.0f);
        const int scale = int(std::lround(m * 256));
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                const QRgb c = line[x];
                line[x] = qRgba((qRed(c) * scale) >> 8, (qGreen(c) * scale) >> 8, (qBlue(c) * scale) >> 8,
                                (qAlpha(c) * scale) >> 8);
            }
        }
        return;
    }
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb straight = qUnpremultiply(line[x]);
            auto ch = [&](int i, int v) { return std::clamp(int(std::lround(v * cx.mul[i] + cx.add[i])), 0, 255); };
            // A transparent pixel stays transparent unless the transform adds alpha.
            if (qAlpha(straight) == 0 && cx.add[3] <= 0) {
                line[x] = 0;
                continue;
            }
            line[x] = qPremultiply(qRgba(ch(0, qRed(straight)), ch(1, qGreen(straight)), ch(2, qBlue(straight)),
                                         ch(3, qAlpha(straight))));
        }
    }
}

namespace {

// An image as wide as `layer` that is white where the layer is, weighed by its alpha.
QImage whiteOfAlpha(const QImage& layer) {
    QImage out(layer.size(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < layer.height(); ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(layer.constScanLine(y));
        auto* to = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < layer.width(); ++x) {
            const int a = qAlpha(from[x]);
            to[x] = qRgba(a, a, a, a);
        }
    }
    return out;
}

void drawWith(QPainter& p, QPainter::CompositionMode mode, QPoint at, const QImage& image) {
    p.setCompositionMode(mode);
    p.drawImage(at, image);
}

}  // namespace

void compositeLayer(QPainter& p, const QImage& layer, QPoint at, BlendMode mode) {
    if (layer.isNull()) return;
    p.save();
    p.setTransform(QTransform());
    switch (mode) {
        case BlendMode::Normal:
        case BlendMode::Layer: drawWith(p, QPainter::CompositionMode_SourceOver, at, layer); break;
        case BlendMode::Multiply: drawWith(p, QPainter::CompositionMode_Multiply, at, layer); break;
        case BlendMode::Screen: drawWith(p, QPainter::CompositionMode_Screen, at, layer); break;
        case BlendMode::Lighten: drawWith(p, QPainter::CompositionMode_Lighten, at, layer); break;
        case BlendMode::Darken: drawWith(p, QPainter::CompositionMode_Darken, at, layer); break;
        case BlendMode::Difference: drawWith(p, QPainter::CompositionMode_Difference, at, layer); break;
        case BlendMode::Add: drawWith(p, QPainter::CompositionMode_Plus, at, layer); break;
        case BlendMode::Overlay: drawWith(p, QPainter::CompositionMode_Overlay, at, layer); break;
        case BlendMode::Hardlight: drawWith(p, QPainter::CompositionMode_HardLight, at, layer); break;
        case BlendMode::Subtract: {
            // below - layer = not(not(below) + layer), with "not" as a difference from white.
            QImage white(layer.size(), QImage::Format_ARGB32_Premultiplied);
            white.fill(Qt::white);
            drawWith(p, QPainter::CompositionMode_Difference, at, white);
            drawWith(p, QPainter::CompositionMode_Plus, at, layer);
            drawWith(p, QPainter::CompositionMode_Difference, at, white);
            break;
        }
        case BlendMode::Invert:
            // Where the layer is, what lies below turns to its negative, by the layer's alpha.
            drawWith(p, QPainter::CompositionMode_Difference, at, whiteOfAlpha(layer));
            break;
        case BlendMode::Alpha:
        case BlendMode::Erase:
            // The layer's alpha keeps (alpha) or cuts (erase) what lies below it.
            drawWith(p,
                     mode == BlendMode::Alpha ? QPainter::CompositionMode_DestinationIn
                                              : QPainter::CompositionMode_DestinationOut,
                     at, layer);
            break;
    }
    p.restore();
}

void appendEffectsKey(QByteArray& key, const Instance& inst) {
    auto put = [&key](const auto& value) { key.append(reinterpret_cast<const char*>(&value), sizeof value); };
    put(uint8_t(inst.blendMode));
    put(inst.cacheAsBitmap);
    put(inst.opaqueBackground ? inst.opaqueBackground->rgba() : QRgb(0));
    put(bool(inst.opaqueBackground));
    if (inst.scrollRect)
        for (double v : {inst.scrollRect->x(), inst.scrollRect->y(), inst.scrollRect->width(), inst.scrollRect->height()})
            put(v);
    put(uint32_t(inst.filters.size()));
    // Filters hold only numbers, colours and small vectors: each field goes in by value.
    for (const Filter& filter : inst.filters) {
        put(uint8_t(filter.index()));
        std::visit(
            [&](const auto& f) {
                using T = std::decay_t<decltype(f)>;
                if constexpr (std::is_same_v<T, ColorMatrixFilter>) {
                    for (float v : f.matrix) put(v);
                } else if constexpr (std::is_same_v<T, ConvolutionFilter>) {
                    put(f.matrixX);
                    put(f.matrixY);
                    for (float v : f.matrix) put(v);
                    put(f.divisor);
                    put(f.bias);
                    put(f.defaultColor.rgba());
                    put(f.clamp);
                    put(f.preserveAlpha);
                } else {
                    put(f.blurX);
                    put(f.blurY);
                    put(f.passes);
                    if constexpr (requires { f.strength; }) {
                        put(f.strength);
                        put(f.inner);
                        put(f.knockout);
                        put(f.hideObject);
                    }
                    if constexpr (requires { f.color; }) put(f.color.rgba());
                    if constexpr (requires { f.angle; }) {
                        put(f.angle);
                        put(f.distance);
                    }
                    if constexpr (requires { f.onTop; }) put(f.onTop);
                    if constexpr (requires { f.highlightColor; }) {
                        put(f.highlightColor.rgba());
                        put(f.shadowColor.rgba());
                    }
                    if constexpr (requires { f.stops; })
                        for (const auto& s : f.stops) {
                            put(s.ratio);
                            put(s.color.rgba());
                        }
                }
            },
            filter);
    }
}

}  // namespace swf::detail
