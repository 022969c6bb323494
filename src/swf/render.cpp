// Drawing a frame: the display tree walked in depth order with its matrices and colour
// transforms, shapes filled per style, masks applied as clip paths in device space.
#include <QPainterPathStroker>
#include <algorithm>
#include <cmath>

#include "swf/instance.h"
#include "swf/player.h"

namespace swf {
namespace {

double scaleOf(const QTransform& t) { return std::sqrt(std::fabs(t.determinant())); }

double toLinear(double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); }
double toSrgb(double c) { return c <= 0.0031308 ? c * 12.92 : 1.055 * std::pow(c, 1 / 2.4) - 0.055; }

QGradientStops gradientStops(const FillStyle& fill, const ColorTransform& cx) {
    QGradientStops stops;
    for (const GradientStop& s : fill.stops) stops.append({s.position, cx.apply(s.color)});
    if (stops.isEmpty()) stops.append({0.0, QColor(0, 0, 0, 0)});
    if (fill.interpolation == 1 && stops.size() >= 2) {
        // Linear-light interpolation, approximated by stops placed between the given ones.
        QGradientStops dense;
        constexpr int kSteps = 8;
        for (qsizetype i = 0; i + 1 < stops.size(); ++i) {
            const auto& [p0, c0] = stops[i];
            const auto& [p1, c1] = stops[i + 1];
            for (int k = 0; k < kSteps; ++k) {
                double t = double(k) / kSteps;
                auto channel = [t](int a, int b) {
                    double v = toLinear(a / 255.0) + (toLinear(b / 255.0) - toLinear(a / 255.0)) * t;
                    return std::clamp(int(std::lround(toSrgb(v) * 255)), 0, 255);
                };
                dense.append({p0 + (p1 - p0) * t,
                              QColor(channel(c0.red(), c1.red()), channel(c0.green(), c1.green()),
                                     channel(c0.blue(), c1.blue()), int(std::lround(c0.alpha() + (c1.alpha() - c0.alpha()) * t)))});
            }
        }
        dense.append(stops.back());
        stops = dense;
    }
    // QGradient keeps stops at equal positions in reverse order; spread them apart so that
    // a hard step stays a hard step in the file's order.
    for (qsizetype i = 1; i < stops.size(); ++i)
        if (stops[i].first <= stops[i - 1].first) stops[i].first = stops[i - 1].first + 1e-6;
    for (qsizetype i = stops.size() - 1; i >= 0; --i) {
        double limit = 1.0 - double(stops.size() - 1 - i) * 1e-6;
        if (stops[i].first > limit) stops[i].first = limit;
    }
    return stops;
}

QPainterPath rectPath(const QRectF& r) {
    QPainterPath p;
    p.addRect(r);
    return p;
}

QPainterPath unite(const QPainterPath& a, const QPainterPath& b) {
    if (a.isEmpty()) return b;
    if (b.isEmpty()) return a;
    return a.united(b);
}

}  // namespace

QImage Player::bitmapWithTransform(uint16_t id, const ColorTransform& cx) const {
    const Character* c = movie_->character(id);
    const BitmapDef* bitmap = c ? std::get_if<BitmapDef>(c) : nullptr;
    if (!bitmap || bitmap->image.isNull()) return {};
    if (cx.isIdentity()) return bitmap->image;
    auto cached = tintedBitmaps_.find(id);
    if (cached != tintedBitmaps_.end() && cached->second.first == cx) return cached->second.second;
    QImage out = bitmap->image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            QColor col = cx.apply(QColor::fromRgba(line[x]));
            line[x] = col.rgba();
        }
    }
    out = out.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    tintedBitmaps_[id] = {cx, out};
    return out;
}

QBrush Player::brushFor(const FillStyle& fill, const ColorTransform& cx, QImage* image) const {
    switch (fill.kind) {
        case FillStyle::Kind::Solid: return QBrush(cx.apply(fill.color));
        case FillStyle::Kind::Linear:
        case FillStyle::Kind::Radial:
        case FillStyle::Kind::Focal: {
            QGradient gradient;
            if (fill.kind == FillStyle::Kind::Linear) gradient = QLinearGradient(-16384, 0, 16384, 0);
            else gradient = QRadialGradient(QPointF(0, 0), 16384, QPointF(fill.focal * 16384.0 * 0.999, 0));
            gradient.setStops(gradientStops(fill, cx));
            gradient.setSpread(fill.spread == 1   ? QGradient::ReflectSpread
                               : fill.spread == 2 ? QGradient::RepeatSpread
                                                  : QGradient::PadSpread);
            QBrush brush(gradient);
            brush.setTransform(fill.matrix);
            return brush;
        }
        case FillStyle::Kind::Bitmap: {
            QImage img = bitmapWithTransform(fill.bitmapId, cx);
            if (img.isNull()) return QBrush(Qt::NoBrush);
            if (image) *image = img;
            QBrush brush(img);
            brush.setTransform(fill.matrix);
            return brush;
        }
    }
    return {};
}

void Player::drawShape(QPainter& p, const ShapeDef& shape, const QTransform& t, const ColorTransform& cx) const {
    if (!t.mapRect(shape.bounds).intersects(QRectF(QPointF(0, 0), QSizeF(viewSize_)).adjusted(-2, -2, 2, 2))) return;
    const double scale = scaleOf(t);
    const bool smoothAllowed = quality_ == Quality::High;
    for (const ShapeLayer& layer : shape.layers) {
        p.setTransform(t);
        p.setPen(Qt::NoPen);
        for (const auto& [index, path] : layer.fillPaths) {
            const FillStyle& fill = layer.fills[size_t(index)];
            if (fill.kind == FillStyle::Kind::Bitmap) {
                QImage image;
                QBrush brush = brushFor(fill, cx, &image);
                if (image.isNull()) continue;
                p.setRenderHint(QPainter::SmoothPixmapTransform, smoothAllowed && fill.smooth);
                QPainterPath area = path;
                if (!fill.repeat) {
                    // A clipped fill covers the picture's own area only.
                    QPainterPath picture = fill.matrix.map(rectPath(QRectF(image.rect())));
                    if (!picture.boundingRect().contains(path.boundingRect())) area = path.intersected(picture);
                }
                p.fillPath(area, brush);
                p.setRenderHint(QPainter::SmoothPixmapTransform, smoothAllowed);
                continue;
            }
            p.fillPath(path, brushFor(fill, cx, nullptr));
        }
        for (const auto& [index, path] : layer.linePaths) {
            const LineStyle& line = layer.lines[size_t(index)];
            const bool nonScaling = line.noHScale || line.noVScale;
            double deviceWidth = line.width * (nonScaling ? scaleOf(viewTransform()) : scale);
            deviceWidth = std::max(deviceWidth, 1.0);  // hairlines and thin lines stay one pixel wide
            QBrush brush = line.fill ? brushFor(*line.fill, cx, nullptr) : QBrush(cx.apply(line.color));
            if (nonScaling || scale <= 0) {
                brush.setTransform(brush.transform() * t);
                QPen pen(brush, deviceWidth, Qt::SolidLine, line.cap, line.join);
                pen.setMiterLimit(line.miterLimit);
                p.setTransform(QTransform());
                p.strokePath(t.map(path), pen);
                p.setTransform(t);
            } else {
                QPen pen(brush, deviceWidth / scale, Qt::SolidLine, line.cap, line.join);
                pen.setMiterLimit(line.miterLimit);
                p.strokePath(path, pen);
            }
        }
    }
}

void Player::drawEditText(QPainter& p, const EditTextDef& field, const QTransform& t, const ColorTransform& cx) const {
    if (field.border) {
        // The border sits on whole device pixels, one pixel wide, around a white field.
        QRect box = t.mapRect(field.bounds).toRect();
        p.save();
        p.setTransform(QTransform());
        p.setRenderHint(QPainter::Antialiasing, false);
        p.fillRect(box, cx.apply(Qt::white));
        p.setPen(QPen(cx.apply(Qt::black), 0));
        p.setBrush(Qt::NoBrush);
        p.drawRect(box.adjusted(0, 0, -1, -1));
        p.restore();
    }
    if (field.text.isEmpty()) return;
    p.save();
    p.setTransform(t);
    p.setClipRect(field.bounds, Qt::IntersectClip);
    if (field.hasOutlines) {
        p.setPen(Qt::NoPen);
        for (const auto& [color, path] : field.outlineRuns) p.fillPath(path, cx.apply(color));
    } else {
        const Character* c = movie_->character(field.fontId);
        const FontDef* fontDef = c ? std::get_if<FontDef>(c) : nullptr;
        QFont font(fontDef && !fontDef->name.isEmpty() ? fontDef->name : QStringLiteral("DejaVu Sans"));
        font.setPixelSize(std::max(1, int(std::lround(field.height))));
        if (fontDef) {
            font.setBold(fontDef->bold);
            font.setItalic(fontDef->italic);
        }
        p.setFont(font);
        p.setPen(cx.apply(field.color));
        QRectF inner = field.bounds.adjusted(40 + field.leftMargin, 40, -40 - field.rightMargin, -40);
        int flags = Qt::AlignTop | (field.wordWrap ? Qt::TextWordWrap : 0);
        flags |= field.align == 1 ? Qt::AlignRight : field.align == 2 ? Qt::AlignHCenter : Qt::AlignLeft;
        p.drawText(inner, flags, field.text);
    }
    p.restore();
}

void Player::drawInstance(QPainter& p, const Instance& inst, const QTransform& parent, const ColorTransform& parentCx,
                          int nesting) const {
    if (!inst.character || nesting > kMaxNesting) return;
    const QTransform t = inst.matrix * parent;
    const ColorTransform cx = parentCx.after(inst.colorTransform);
    if (cx.mul[3] <= 0 && cx.add[3] <= -255) return;
    std::visit(
        [&](const auto& def) {
            using T = std::decay_t<decltype(def)>;
            if constexpr (std::is_same_v<T, ShapeDef>) {
                drawShape(p, def, t, cx);
            } else if constexpr (std::is_same_v<T, MorphShapeDef>) {
                drawShape(p, def.at(inst.ratio), t, cx);
            } else if constexpr (std::is_same_v<T, TextDef>) {
                p.setTransform(def.matrix * t);
                p.setPen(Qt::NoPen);
                for (const auto& [color, path] : def.runs) p.fillPath(path, cx.apply(color));
            } else if constexpr (std::is_same_v<T, EditTextDef>) {
                drawEditText(p, def, t, cx);
            } else if constexpr (std::is_same_v<T, SpriteDef>) {
                if (inst.sprite) drawList(p, inst.sprite->list, t, cx, nesting + 1);
            } else if constexpr (std::is_same_v<T, ButtonDef>) {
                drawList(p, inst.buttonChildren, t, cx, nesting + 1);
            } else if constexpr (std::is_same_v<T, BitmapDef>) {
                QImage image = bitmapWithTransform(inst.id, cx);
                p.setTransform(QTransform::fromScale(20, 20) * t);
                p.drawImage(0, 0, image);
            }
        },
        *inst.character);
}

void Player::drawList(QPainter& p, const DisplayList& list, const QTransform& t, const ColorTransform& cx,
                      int nesting) const {
    if (nesting > kMaxNesting) return;
    std::vector<Mask> masks;
    for (const auto& [depth, inst] : list) {
        std::erase_if(masks, [depth = depth](const Mask& m) { return m.clipDepth < depth; });
        if (inst->clipDepth > 0) {
            masks.push_back({inst->clipDepth, maskOfInstance(*inst, t, nesting)});
            continue;
        }
        if (!inst->visible) continue;
        if (masks.empty()) {
            drawInstance(p, *inst, t, cx, nesting);
            continue;
        }
        p.save();
        p.setTransform(QTransform());
        for (const Mask& m : masks) p.setClipPath(m.path, Qt::IntersectClip);
        drawInstance(p, *inst, t, cx, nesting);
        p.restore();
    }
}

QPainterPath Player::maskOfList(const DisplayList& list, const QTransform& t, int nesting) const {
    QPainterPath area;
    if (nesting > kMaxNesting) return area;
    std::vector<Mask> masks;
    for (const auto& [depth, inst] : list) {
        std::erase_if(masks, [depth = depth](const Mask& m) { return m.clipDepth < depth; });
        if (inst->clipDepth > 0) {
            masks.push_back({inst->clipDepth, maskOfInstance(*inst, t, nesting)});
            continue;
        }
        QPainterPath part = maskOfInstance(*inst, t, nesting);
        for (const Mask& m : masks) part = part.intersected(m.path);
        area = unite(area, part);
    }
    return area;
}

QPainterPath Player::maskOfInstance(const Instance& inst, const QTransform& parent, int nesting) const {
    QPainterPath area;
    if (!inst.character || nesting > kMaxNesting || !inst.visible) return area;
    const QTransform t = inst.matrix * parent;
    auto addShape = [&](const ShapeDef& shape) {
        for (const ShapeLayer& layer : shape.layers) {
            for (const auto& [index, path] : layer.fillPaths) area = unite(area, t.map(path));
            for (const auto& [index, path] : layer.linePaths) {
                QPainterPathStroker stroker;
                stroker.setWidth(std::max(1.0f, layer.lines[size_t(index)].width));
                area = unite(area, t.map(stroker.createStroke(path)));
            }
        }
    };
    std::visit(
        [&](const auto& def) {
            using T = std::decay_t<decltype(def)>;
            if constexpr (std::is_same_v<T, ShapeDef>) addShape(def);
            else if constexpr (std::is_same_v<T, MorphShapeDef>) addShape(def.at(inst.ratio));
            else if constexpr (std::is_same_v<T, TextDef>) {
                for (const auto& [color, path] : def.runs) area = unite(area, (def.matrix * t).map(path));
            } else if constexpr (std::is_same_v<T, EditTextDef>) area = t.map(rectPath(def.bounds));
            else if constexpr (std::is_same_v<T, SpriteDef>) {
                if (inst.sprite) area = maskOfList(inst.sprite->list, t, nesting + 1);
            } else if constexpr (std::is_same_v<T, ButtonDef>) area = maskOfList(inst.buttonChildren, t, nesting + 1);
            else if constexpr (std::is_same_v<T, BitmapDef>) {
                if (!def.image.isNull()) area = (QTransform::fromScale(20, 20) * t).map(rectPath(QRectF(def.image.rect())));
            }
        },
        *inst.character);
    return area;
}

void Player::render(QPainter& p) const {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, quality_ != Quality::Low);
    p.setRenderHint(QPainter::SmoothPixmapTransform, quality_ == Quality::High);
    p.fillRect(QRect(QPoint(0, 0), viewSize_), QColor(movie_->background.rgb()));
    drawList(p, root_->list, viewTransform(), ColorTransform{}, 0);
    p.restore();
}

}  // namespace swf
