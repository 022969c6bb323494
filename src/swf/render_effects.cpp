// Objects with display effects: drawn through a device-pixel layer when they have filters
// or a blend mode, snapped to whole pixels when the original player would cache them as a
// bitmap, clipped and shifted by a scroll rectangle, over an opaque background.
#include <algorithm>
#include <cmath>

#include "swf/effects_internal.h"
#include "swf/instance.h"
#include "swf/player.h"

namespace swf {
namespace {

bool needsLayer(const Instance& inst) {
    return !inst.filters.empty() || (inst.blendMode != BlendMode::Normal && uint8_t(inst.blendMode) != 0);
}

// Device pixels per stage pixel along the object's own x and y axes.
double axisScale(double a, double b) { return std::hypot(a, b) * 20; }

}  // namespace

bool hasDisplayEffects(const Instance& inst) {
    return needsLayer(inst) || inst.cacheAsBitmap || inst.opaqueBackground || inst.scrollRect;
}

QRectF Player::deviceBounds(const Instance& inst, const QTransform& t, int nesting) const {
    QRectF area;
    if (!inst.character || nesting > kMaxNesting) return area;
    if (inst.scrollRect) return t.mapRect(QRectF(QPointF(0, 0), inst.scrollRect->size()));
    const QTransform content = t;
    std::visit(
        [&](const auto& def) {
            using T = std::decay_t<decltype(def)>;
            if constexpr (std::is_same_v<T, ShapeDef> || std::is_same_v<T, TextDef> || std::is_same_v<T, EditTextDef>)
                area = content.mapRect(def.bounds);
            else if constexpr (std::is_same_v<T, MorphShapeDef>)
                area = content.mapRect(def.at(inst.ratio).bounds);
            else if constexpr (std::is_same_v<T, BitmapDef>)
                area = (QTransform::fromScale(20, 20) * content).mapRect(QRectF(def.image.rect()));
            else if constexpr (std::is_same_v<T, SpriteDef> || std::is_same_v<T, ButtonDef>) {
                const DisplayList* list = nullptr;
                if constexpr (std::is_same_v<T, SpriteDef>) list = inst.sprite ? &inst.sprite->list : nullptr;
                else list = &inst.buttonChildren;
                if (!list) return;
                for (const auto& [depth, child] : *list) {
                    if (child->clipDepth > 0 || !child->visible) continue;
                    const QTransform ct = child->matrix * content;
                    QRectF part = deviceBounds(*child, ct, nesting + 1);
                    if (!child->filters.empty() && !part.isEmpty())
                        part = part.marginsAdded(QMarginsF(detail::filterMargins(
                            child->filters, axisScale(ct.m11(), ct.m12()), axisScale(ct.m21(), ct.m22()))));
                    if (!part.isEmpty()) area = area.isEmpty() ? part : area.united(part);
                }
            }
        },
        *inst.character);
    return area;
}

void Player::drawWithEffects(QPainter& p, const Instance& inst, QTransform t, const ColorTransform& cx,
                             int nesting) const {
    // Cached bitmaps and scroll rectangles land on whole pixels. Filtered objects keep their
    // place: the reference pictures show their edges where unfiltered ones would be.
    if (inst.cacheAsBitmap || inst.scrollRect)
        t = QTransform(t.m11(), t.m12(), t.m21(), t.m22(), std::round(t.dx()), std::round(t.dy()));
    QTransform content = t;
    QPainterPath scrollClip;
    if (inst.scrollRect) {
        content = QTransform::fromTranslate(-inst.scrollRect->x(), -inst.scrollRect->y()) * t;
        scrollClip.addRect(QRectF(QPointF(0, 0), inst.scrollRect->size()));
        scrollClip = t.map(scrollClip);
    }
    const QRectF bounds = deviceBounds(inst, t, nesting);
    auto drawBody = [&](QPainter& target, const QTransform& toTarget, const ColorTransform& bodyCx) {
        if (inst.opaqueBackground) {
            target.save();
            target.setTransform(QTransform());
            target.fillRect(toTarget.mapRect(bounds).toAlignedRect(), bodyCx.apply(*inst.opaqueBackground));
            target.restore();
        }
        if (!scrollClip.isEmpty()) {
            target.save();
            target.setTransform(QTransform());
            target.setClipPath(toTarget.map(scrollClip), Qt::IntersectClip);
        }
        drawContent(target, inst, content * toTarget, bodyCx, nesting);
        if (!scrollClip.isEmpty()) target.restore();
    };
    if (!needsLayer(inst)) {
        drawBody(p, QTransform(), cx);
        return;
    }

    const double scaleX = axisScale(t.m11(), t.m12()), scaleY = axisScale(t.m21(), t.m22());
    const QMargins margins = detail::filterMargins(inst.filters, scaleX, scaleY);
    if (bounds.isEmpty() || !p.device()) return;
    const QRect device(0, 0, p.device()->width(), p.device()->height());
    // Content just outside the device still blurs or shadows into it (up to a limit: past
    // it, what a huge blur would carry in is left out).
    constexpr int kMaxReachOutside = 256;
    const QMargins outside(std::min(margins.left(), kMaxReachOutside), std::min(margins.top(), kMaxReachOutside),
                           std::min(margins.right(), kMaxReachOutside), std::min(margins.bottom(), kMaxReachOutside));
    QRect area = bounds.toAlignedRect().marginsAdded(margins).intersected(device.marginsAdded(outside));
    if (qint64(area.width()) * area.height() > detail::kMaxLayerPixels) area = area.intersected(device);
    if (area.isEmpty() || qint64(area.width()) * area.height() > detail::kMaxLayerPixels) return;
    const qint64 layerPixels = qint64(area.width()) * area.height();
    if (liveLayerPixels_ + layerPixels > detail::kMaxLiveLayerPixels) {
        drawBody(p, QTransform(), cx);  // too deep in layers: the plain object
        return;
    }
    // Alpha and erase work on the group of an ancestor drawn as a layer; without one they
    // leave the stage as it is.
    const BlendMode mode = inst.blendMode;
    if ((mode == BlendMode::Alpha || mode == BlendMode::Erase) && blendGroups_ == 0) return;
    QImage layer(area.size(), QImage::Format_ARGB32_Premultiplied);
    if (layer.isNull()) return;
    struct LiveLayer {
        qint64& live;
        qint64 pixels;
        ~LiveLayer() { live -= pixels; }
    } counted{liveLayerPixels_, layerPixels};
    liveLayerPixels_ += layerPixels;
    layer.fill(Qt::transparent);
    {
        QPainter lp(&layer);
        lp.setRenderHints(p.renderHints());
        // The group is drawn untouched; its colour transform applies to the finished layer.
        const bool group = inst.blendMode != BlendMode::Normal && uint8_t(inst.blendMode) != 0;
        blendGroups_ += group;
        drawBody(lp, QTransform::fromTranslate(-area.left(), -area.top()), ColorTransform{});
        blendGroups_ -= group;
    }
    detail::applyFilters(layer, inst.filters, scaleX, scaleY, filterWorkLeft_);
    detail::applyColorTransform(layer, cx);
    detail::compositeLayer(p, layer, area.topLeft(), mode);
}

const Instance* Player::scriptMaskOf(const Instance& inst) const {
    if (!inst.scriptMask) return nullptr;
    const Instance* mask = instanceById(inst.scriptMask);
    return mask && mask->scriptMaskOf == inst.serial ? mask : nullptr;
}

bool Player::isScriptMaskInUse(const Instance& inst) const {
    if (!inst.scriptMaskOf) return false;
    const Instance* masked = instanceById(inst.scriptMaskOf);
    return masked && masked->scriptMask == inst.serial;
}

// The mask's outline on the stage, through its own and its parents' matrices.
QPainterPath Player::scriptMaskArea(const Instance& mask) const {
    QTransform parentToStage;
    int guard = 0;
    for (uint64_t serial = mask.parentSerial; serial && serial != kRootSerial && guard <= kMaxNesting; ++guard) {
        const Instance* parent = instanceById(serial);
        if (!parent) return {};  // no longer on the stage: masks nothing
        parentToStage = parentToStage * parent->matrix;
        serial = parent->parentSerial;
    }
    return maskOfInstance(mask, parentToStage * rootToView(), 0);
}

}  // namespace swf
