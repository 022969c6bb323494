// Drawing a frame: the display tree walked in depth order with its matrices and colour
// transforms, shapes filled per style, masks applied as clip paths in device space.
#include <QPainterPathStroker>
#include <algorithm>
#include <array>
#include <cmath>

#include "swf/effects_internal.h"
#include "swf/instance.h"
#include "swf/parse_internal.h"
#include "swf/player.h"
#include "swf/script_host.h"

namespace swf {
namespace {

double scaleOf(const QTransform& t) { return std::sqrt(std::fabs(t.determinant())); }

double toLinear(double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); }
double toSrgb(double c) { return c <= 0.0031308 ? c * 12.92 : 1.055 * std::pow(c, 1 / 2.4) - 0.055; }

QColor lerpColor(const QColor& a, const QColor& b, double t, bool linearLight) {
    auto channel = [&](int x, int y) {
        if (!linearLight) return std::clamp(int(std::lround(x + (y - x) * t)), 0, 255);
        double v = toLinear(x / 255.0) + (toLinear(y / 255.0) - toLinear(x / 255.0)) * t;
        return std::clamp(int(std::lround(toSrgb(v) * 255)), 0, 255);
    };
    return QColor(channel(a.red(), b.red()), channel(a.green(), b.green()), channel(a.blue(), b.blue()),
                  std::clamp(int(std::lround(a.alpha() + (b.alpha() - a.alpha()) * t)), 0, 255));
}

// The gradient as the original player builds it: a table of 256 colours filled stop by
// stop with a cursor that moves at least one entry per stop, so that stops sharing a ratio
// each get one entry (hard steps), and linear-light interpolation done exactly.
std::array<QColor, 256> gradientTable(const std::vector<GradientStop>& stops, bool linearLight) {
    std::array<QColor, 256> table;
    int cursor = 0;
    int firstRatio = int(std::lround(stops.front().position * 255));
    for (; cursor <= firstRatio && cursor < 256; ++cursor) table[size_t(cursor)] = stops.front().color;
    for (size_t j = 1; j < stops.size(); ++j) {
        int r0 = int(std::lround(stops[j - 1].position * 255));
        int r1 = int(std::lround(stops[j].position * 255));
        if (r1 <= r0) {
            if (cursor < 256) table[size_t(cursor++)] = stops[j - 1].color;
            continue;
        }
        for (; cursor <= r1 && cursor < 256; ++cursor)
            table[size_t(cursor)] = lerpColor(stops[j - 1].color, stops[j].color, double(cursor - r0) / (r1 - r0),
                                              linearLight);
    }
    for (; cursor < 256; ++cursor) table[size_t(cursor)] = stops.back().color;
    return table;
}

QGradientStops gradientStops(const FillStyle& fill, const ColorTransform& cx) {
    QGradientStops stops;
    if (fill.stops.empty()) {
        stops.append({0.0, QColor(0, 0, 0, 0)});
        return stops;
    }
    bool sharedRatios = false;
    for (size_t i = 1; i < fill.stops.size(); ++i)
        sharedRatios = sharedRatios || fill.stops[i].position <= fill.stops[i - 1].position;
    if (!sharedRatios && fill.interpolation != 1) {
        for (const GradientStop& s : fill.stops) stops.append({s.position, cx.apply(s.color)});
        return stops;
    }
    // Each table entry becomes a flat band of 1/256 of the gradient.
    const auto table = gradientTable(fill.stops, fill.interpolation == 1);
    for (int i = 0; i < 256; ++i) {
        QColor c = cx.apply(table[size_t(i)]);
        // The original player rounds a position to the nearest entry (ties upward); the
        // bands are centred on the entries, with room for the 1/1024 steps of Qt's own table.
        constexpr double kEarly = 3.0 / 1024;
        stops.append({std::max(0.0, i / 256.0 - kEarly), c});
        stops.append({std::max(0.0, (i + 1) / 256.0 - kEarly - 1e-7), c});
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

// A field without embedded outlines is drawn with a system font. The device font names
// stand for generic families (the Japanese ones too); any other name goes to the system's
// font matching, which substitutes its nearest font.
QFont systemFontFor(const QString& name) {
    QFont font;
    const QStringView n(name);
    if (n.isEmpty() || n == u"_sans" || n == u"_\u30B4\u30B7\u30C3\u30AF") {
        font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("sans-serif")});
        font.setStyleHint(QFont::SansSerif);
    } else if (n == u"_serif" || n == u"_\u660E\u671D") {
        font.setFamilies({QStringLiteral("DejaVu Serif"), QStringLiteral("serif")});
        font.setStyleHint(QFont::Serif);
    } else if (n == u"_typewriter" || n == u"_\u7B49\u5E45") {
        font.setFamilies({QStringLiteral("DejaVu Sans Mono"), QStringLiteral("monospace")});
        font.setStyleHint(QFont::TypeWriter);
    } else {
        font.setFamily(name);
    }
    return font;
}

}  // namespace

namespace {
// A picture through a colour transform, without keeping the result.
QImage tinted(const QImage& image, const ColorTransform& cx) {
    if (cx.isIdentity() || image.isNull()) return image;
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) line[x] = cx.apply(QColor::fromRgba(line[x])).rgba();
    }
    return out.convertToFormat(QImage::Format_ARGB32_Premultiplied);
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

QImage Player::paddedBitmap(uint16_t id, const ColorTransform& cx, const QImage& image, QMargins& pad) const {
    auto cached = paddedBitmaps_.find(id);
    if (cached != paddedBitmaps_.end() && cached->second.cx == cx) {
        const QMargins& have = cached->second.pad;
        if (have.left() >= pad.left() && have.top() >= pad.top() && have.right() >= pad.right() &&
            have.bottom() >= pad.bottom()) {
            pad = have;
            return cached->second.image;
        }
    }
    const QImage source = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int w = source.width(), h = source.height();
    QImage out(w + pad.left() + pad.right(), h + pad.top() + pad.bottom(), QImage::Format_ARGB32_Premultiplied);
    if (out.isNull()) return {};
    for (int y = 0; y < out.height(); ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(source.constScanLine(std::clamp(y - pad.top(), 0, h - 1)));
        auto* to = reinterpret_cast<QRgb*>(out.scanLine(y));
        std::fill(to, to + pad.left(), from[0]);
        std::copy(from, from + w, to + pad.left());
        std::fill(to + pad.left() + w, to + out.width(), from[w - 1]);
    }
    paddedBitmaps_[id] = {cx, pad, out};
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

// A clipped fill repeats the picture's edge pixels outward. The common case, a shape
// within the picture, needs nothing; otherwise the brush gets a copy of the picture padded
// by its edges as far as the visible part of the shape reaches.
void Player::clampBitmapFill(const FillStyle& fill, const QPainterPath& path, const QTransform& t,
                             const ColorTransform& cx, const QImage& image, QBrush& brush,
                             QPainterPath& area) const {
    bool invertible = false;
    const QTransform shapeToPicture = fill.matrix.inverted(&invertible);
    if (!invertible) return;
    QRectF needed = path.boundingRect();
    const QTransform deviceToShape = t.inverted(&invertible);
    if (invertible)
        needed = needed.intersected(deviceToShape.mapRect(QRectF(QPointF(0, 0), QSizeF(viewSize_)).adjusted(-2, -2, 2, 2)));
    if (needed.isEmpty()) return;
    const QRectF picture(image.rect());
    const QRectF reach = shapeToPicture.mapRect(needed);
    if (picture.contains(reach)) return;
    // One pixel beyond the reach, so that smoothing never samples the opposite edge.
    auto padding = [](double beyond) { return beyond > 0 ? std::ceil(beyond) + 1 : 0.0; };
    const double left = padding(-reach.left()), top = padding(-reach.top());
    const double right = padding(reach.right() - picture.width()), bottom = padding(reach.bottom() - picture.height());
    const double width = picture.width() + left + right, height = picture.height() + top + bottom;
    constexpr double kMaxPaddedPixels = 4 << 20;
    QImage padded;
    QMargins pad(int(std::min(left, kMaxPaddedPixels)), int(std::min(top, kMaxPaddedPixels)),
                 int(std::min(right, kMaxPaddedPixels)), int(std::min(bottom, kMaxPaddedPixels)));
    if (width * height <= kMaxPaddedPixels) padded = paddedBitmap(fill.bitmapId, cx, image, pad);
    if (padded.isNull()) {
        // Too far to pad (a large picture drawn small): the fill stops at the picture.
        area = path.intersected(fill.matrix.map(rectPath(picture)));
        return;
    }
    QBrush clamped(padded);
    clamped.setTransform(QTransform::fromTranslate(-pad.left(), -pad.top()) * fill.matrix);
    brush = clamped;
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
                if (!fill.repeat) clampBitmapFill(fill, path, t, cx, image, brush, area);
                p.fillPath(area, brush);
                p.setRenderHint(QPainter::SmoothPixmapTransform, smoothAllowed);
                continue;
            }
            QBrush brush = brushFor(fill, cx, nullptr);
            p.fillPath(path, brush);
        }
        for (const auto& [index, path] : layer.linePaths) {
            const LineStyle& line = layer.lines[size_t(index)];
            // Only a line that keeps its width in both directions stays unscaled; with one
            // direction set alone the original player scales the line like any other.
            const bool nonScaling = line.noHScale && line.noVScale;
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

void Player::drawEditText(QPainter& p, const EditTextDef& field, const QTransform& placed, const ColorTransform& cx,
                          std::pair<int, int> selection) const {
    QTransform t = placed;
    if (!field.useOutlines) {
        // Device text cannot turn, slant or mirror: a field so placed is not drawn at all, and
        // one turned by a hair is drawn upright.
        const double sx = std::hypot(t.m11(), t.m12()), sy = std::hypot(t.m21(), t.m22());
        if (std::abs(t.m12()) > 0.01 * sx || std::abs(t.m21()) > 0.01 * sy || t.m11() <= 0 || t.m22() <= 0) return;
        t = QTransform(t.m11(), 0, 0, t.m22(), t.dx(), t.dy());
    }
    if (field.border || field.background) {
        const QColor ink = cx.apply(field.borderColor);
        p.save();
        if (t.m12() != 0 || t.m21() != 0) {
            // Turned or sheared: the box follows the transform, the border stays a hairline.
            p.setTransform(t);
            if (field.background) p.fillRect(field.bounds, cx.apply(field.backgroundColor));
            if (field.border) {
                QPen pen(ink, 0);
                pen.setCosmetic(true);
                p.setPen(pen);
                p.setBrush(Qt::NoBrush);
                p.drawRect(field.bounds);
            }
        } else {
            // The border lies on whole device pixels around the field: the top and left
            // lines run one pixel past the width and height, the right and bottom ones stop
            // short of the far corner, as the original player draws them.
            // Clamped first: a hostile size must not overflow the integer rectangle.
            const QRect box = t.mapRect(field.bounds).intersected(QRectF(-1e6, -1e6, 2e6, 2e6)).toRect();
            p.setTransform(QTransform());
            p.setRenderHint(QPainter::Antialiasing, false);
            if (field.background) p.fillRect(box, cx.apply(field.backgroundColor));
            const int l = box.left(), tp = box.top(), w = box.width(), h = box.height();
            if (field.border) {
                p.fillRect(QRect(l, tp, w + 1, 1), ink);
                p.fillRect(QRect(l, tp, 1, h + 1), ink);
                p.fillRect(QRect(l + w, tp, 1, h), ink);
                p.fillRect(QRect(l, tp + h, w, 1), ink);
            }
        }
        p.restore();
    }
    if (field.text.isEmpty()) return;
    p.save();
    p.setTransform(t);
    p.setClipRect(field.bounds, Qt::IntersectClip);
    // A scrolled field moves its lines up by whole lines, as far as its last line allows.
    const int scroll = field.scroll > 1 ? std::min(field.scroll, detail::maxScroll(field, *movie_)) : 1;
    if (field.hasOutlines) {
        p.setTransform(QTransform::fromTranslate(0, -(scroll - 1) * field.linePitch) * t);
        p.setPen(Qt::NoPen);
        for (const auto& [color, path] : field.outlineRuns) p.fillPath(path, cx.apply(color));
        // The selection: white text on black over the selected characters.
        const int size = int(field.charBoxes.size());
        const int begin = std::clamp(selection.first, 0, size), end = std::clamp(selection.second, 0, size);
        QPainterPath selected;
        selected.setFillRule(Qt::WindingFill);
        for (int i = begin; i < end; ++i)
            if (field.charBoxes[size_t(i)].width() > 0) selected.addRect(field.charBoxes[size_t(i)]);
        if (!selected.isEmpty()) {
            p.fillPath(selected, cx.apply(Qt::black));
            p.setClipPath(selected, Qt::IntersectClip);
            for (const auto& run : field.outlineRuns) p.fillPath(run.second, cx.apply(Qt::white));
        }
    } else {
        const Character* c = movie_->character(field.fontId);
        const FontDef* fontDef = c ? std::get_if<FontDef>(c) : nullptr;
        QFont font = systemFontFor(fontDef ? fontDef->name : QString());
        font.setPixelSize(std::max(1, int(std::lround(field.height))));
        if (fontDef) {
            font.setBold(fontDef->bold);
            font.setItalic(fontDef->italic);
        }
        // Characters stand where the device font's metrics put them, on the lines the
        // field's layout breaks (the ones scripts measure and scroll by), whichever system
        // font draws the glyphs; the system faces run wider than those metrics, so they are
        // condensed a little to fit. Low quality draws them without smoothing, as it does shapes.
        if (quality_ == Quality::Low) font.setStyleStrategy(QFont::NoAntialias);
        font.setStretch(90);
        p.setFont(font);
        const detail::PlacedText placed = detail::placeText(field, *movie_);
        const QString& text = field.text;
        const int selBegin = std::max(0, selection.first), selEnd = std::min(int(text.size()), selection.second);
        struct Glyph {
            QPointF at;
            QString shown;
        };
        std::vector<Glyph> glyphs;
        QPainterPath selected;
        selected.setFillRule(Qt::WindingFill);
        const QPointF scrolled(0, -(scroll - 1) * placed.pitch);
        for (size_t i = 0; i < placed.boxes.size(); ++i) {
            const QRectF box = placed.boxes[i].translated(scrolled);
            if (box.width() <= 0 || box.bottom() < field.bounds.top() || box.top() > field.bounds.bottom()) continue;
            QString shown = field.password ? QStringLiteral("*") : QString(text[qsizetype(i)]);
            // A surrogate pair is one glyph.
            if (!field.password && text[qsizetype(i)].isHighSurrogate() && i + 1 < placed.boxes.size())
                shown += text[qsizetype(i) + 1];
            if (!text[qsizetype(i)].isLowSurrogate() && shown != QLatin1String(" "))
                glyphs.push_back({QPointF(box.left(), box.top() + placed.ascent), shown});
            if (int(i) >= selBegin && int(i) < selEnd) selected.addRect(box);
        }
        p.setPen(cx.apply(field.color));
        for (const Glyph& g : glyphs) p.drawText(g.at, g.shown);
        // The selection: white text on black.
        if (!selected.isEmpty()) {
            p.fillPath(selected, cx.apply(Qt::black));
            p.setClipPath(selected, Qt::IntersectClip);
            p.setPen(cx.apply(Qt::white));
            for (const Glyph& g : glyphs) p.drawText(g.at, g.shown);
        }
    }
    p.restore();
}

void Player::drawInstance(QPainter& p, const Instance& inst, const QTransform& parent, const ColorTransform& parentCx,
                          int nesting) const {
    if (!inst.character || nesting > kMaxNesting) return;
    const QTransform t = inst.matrix * parent;
    const ColorTransform cx = parentCx.after(inst.colorTransform);
    if (cx.mul[3] <= 0 && cx.add[3] <= -255) return;
    if (hasDisplayEffects(inst)) drawWithEffects(p, inst, t, cx, nesting);
    else drawContent(p, inst, t, cx, nesting);
}

void Player::drawContent(QPainter& p, const Instance& inst, const QTransform& t, const ColorTransform& cx,
                         int nesting) const {
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
                std::pair<int, int> selection{-1, -1};
                if (scriptHost_ && inst.serial == focusedObject())
                    selection = {scriptHost_->selectionBegin(), scriptHost_->selectionEnd()};
                drawEditText(p, def, t, cx, selection);
            } else if constexpr (std::is_same_v<T, SpriteDef>) {
                if (inst.drawing) drawShape(p, inst.drawing->shape, t, cx);  // the drawing API, under the children
                if (inst.sprite) drawList(p, inst.sprite->list, t, cx, nesting + 1);
            } else if constexpr (std::is_same_v<T, ButtonDef>) {
                drawList(p, inst.buttonChildren, t, cx, nesting + 1);
            } else if constexpr (std::is_same_v<T, BitmapDef>) {
                // A script's bitmap or a loaded picture is the instance's own; others are the movie's.
                QImage image = inst.liveBitmap    ? tinted(*inst.liveBitmap, cx)
                               : inst.ownCharacter ? tinted(def.image, cx)
                                                   : bitmapWithTransform(inst.id, cx);
                p.setTransform(QTransform::fromScale(20, 20) * t);
                if (inst.liveBitmap) {
                    p.save();
                    p.setRenderHint(QPainter::SmoothPixmapTransform, inst.smoothBitmap && quality_ != Quality::Low);
                    p.drawImage(0, 0, image);
                    p.restore();
                } else {
                    p.drawImage(0, 0, image);
                }
            } else if constexpr (std::is_same_v<T, media::VideoStreamDef>) {
                drawVideo(p, inst, def, t, cx);
            }
        },
        *inst.character);
}

void Player::drawList(QPainter& p, const DisplayList& list, const QTransform& t, const ColorTransform& cx,
                      int nesting) const {
    if (nesting > kMaxNesting) return;
    std::vector<Mask> masks;
    // The instances under the current masks, drawn together once the masks change.
    std::vector<const Instance*> masked;
    auto flush = [&] {
        if (!masked.empty()) drawMasked(p, masked, masks, t, cx, nesting);
        masked.clear();
    };
    for (const auto& [depth, inst] : list) {
        if (std::any_of(masks.begin(), masks.end(), [depth = depth](const Mask& m) { return m.clipDepth < depth; })) {
            flush();
            std::erase_if(masks, [depth = depth](const Mask& m) { return m.clipDepth < depth; });
        }
        if (inst->clipDepth > 0) {
            flush();
            masks.push_back({inst->clipDepth, maskOfInstance(*inst, t, nesting)});
            continue;
        }
        if (!inst->visible || isScriptMaskInUse(*inst)) continue;
        if (const Instance* scriptMask = scriptMaskOf(*inst)) {
            flush();
            std::vector<Mask> all = masks;
            all.push_back({0, scriptMaskArea(*scriptMask)});
            drawMasked(p, {inst.get()}, all, t, cx, nesting);
            continue;
        }
        if (masks.empty()) drawInstance(p, *inst, t, cx, nesting);
        else masked.push_back(inst.get());
    }
    flush();
}

// Masked instances: antialiased, they are drawn into a layer over the masks' common
// bounds, which the masks then cut with their own antialiased edges; without
// antialiasing the masks simply clip.
void Player::drawMasked(QPainter& p, const std::vector<const Instance*>& instances, const std::vector<Mask>& masks,
                        const QTransform& t, const ColorTransform& cx, int nesting) const {
    if (!p.testRenderHint(QPainter::Antialiasing) || !p.device()) {
        p.save();
        p.setTransform(QTransform());
        for (const Mask& m : masks) p.setClipPath(m.path, Qt::IntersectClip);
        for (const Instance* inst : instances) drawInstance(p, *inst, t, cx, nesting);
        p.restore();
        return;
    }
    QRectF common(0, 0, p.device()->width(), p.device()->height());
    for (const Mask& m : masks) common = common.intersected(m.path.boundingRect());
    const QRect area = common.toAlignedRect();
    if (area.isEmpty()) return;
    const QTransform toLayer = QTransform::fromTranslate(-area.left(), -area.top());
    QImage layer(area.size(), QImage::Format_ARGB32_Premultiplied);
    if (layer.isNull()) return;
    layer.fill(Qt::transparent);
    {
        QPainter lp(&layer);
        lp.setRenderHints(p.renderHints());
        for (const Instance* inst : instances) drawInstance(lp, *inst, t * toLayer, cx, nesting);
        lp.setTransform(QTransform());
        lp.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        for (const Mask& m : masks) {
            QImage cut(area.size(), QImage::Format_ARGB32_Premultiplied);
            cut.fill(Qt::transparent);
            QPainter cp(&cut);
            cp.setRenderHint(QPainter::Antialiasing);
            cp.fillPath(toLayer.map(m.path), Qt::black);
            cp.end();
            lp.drawImage(0, 0, cut);
        }
    }
    p.save();
    p.setTransform(QTransform());
    p.drawImage(area.topLeft(), layer);
    p.restore();
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
    QTransform t = inst.matrix * parent;
    // A scroll rectangle moves a mask's outline but does not cut it.
    if (inst.scrollRect) t = QTransform::fromTranslate(-inst.scrollRect->x(), -inst.scrollRect->y()) * t;
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
                if (inst.drawing) area = unite(area, t.map(drawingPathOf(inst)));
            } else if constexpr (std::is_same_v<T, ButtonDef>) area = maskOfList(inst.buttonChildren, t, nesting + 1);
            else if constexpr (std::is_same_v<T, BitmapDef>) {
                if (!def.image.isNull()) area = (QTransform::fromScale(20, 20) * t).map(rectPath(QRectF(def.image.rect())));
            } else if constexpr (std::is_same_v<T, media::VideoStreamDef>) {
                area = t.map(rectPath(QRectF(0, 0, def.width * 20.0, def.height * 20.0)));
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
    filterWorkLeft_ = detail::kFilterWorkPerFrame;
    if (rootProps_->visible) drawList(p, root_->list, rootToView(), rootProps_->colorTransform, 0);
    drawFocusHighlight(p);
    p.restore();
}

}  // namespace swf
