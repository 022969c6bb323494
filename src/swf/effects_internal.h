#pragma once
// Image operations behind the display effects (render_filters.cpp, render_blend.cpp),
// kept apart from the player so that tests can run them on plain pictures. Every image
// is QImage::Format_ARGB32_Premultiplied in device pixels.
#include <QByteArray>
#include <QImage>
#include <QMargins>
#include <QPainter>
#include <span>

#include "swf/filters.h"
#include "swf/movie.h"

namespace swf {
struct Instance;
}

namespace swf::detail {

// Largest layer an effect draws into; past it the layer is cut to what the view shows.
inline constexpr qint64 kMaxLayerPixels = 4 << 20;
// Layers alive at once (an effect inside an effect...); past it objects draw without effects.
inline constexpr qint64 kMaxLiveLayerPixels = 16 << 20;
// Filter work for one frame, in pixel visits; past it filters are left out for that frame.
inline constexpr double kFilterWorkPerFrame = 24e6;

// The device pixels a filter list adds around an object drawn at `scaleX`, `scaleY` (how
// many device pixels one stage pixel covers), blur, offsets and their passes included.
QMargins filterMargins(std::span<const Filter> filters, double scaleX, double scaleY);

// Runs the filters in order over `layer`, which already has filterMargins() of room
// around the object. Radii and passes are clamped (kMaxBlurRadius, kMaxBlurPasses); each
// filter's work is taken from `workLeft`, and the filters it no longer covers are left out.
void applyFilters(QImage& layer, std::span<const Filter> filters, double scaleX, double scaleY,
                  double& workLeft);

// The box blur the filters use: `passes` times a box of `boxX` by `boxY` pixels (a
// fractional box weighs its two end pixels by the fraction).
void boxBlur(QImage& image, double boxX, double boxY, int passes);

// A colour transform over every pixel.
void applyColorTransform(QImage& image, const ColorTransform& cx);

// Draws `layer` with its top left at `at` (device pixels, painter transform ignored) with
// the blend mode; the painter's clip applies.
void compositeLayer(QPainter& p, const QImage& layer, QPoint at, BlendMode mode);

// What a display effect adds to Player::pictureKey.
void appendEffectsKey(QByteArray& key, const Instance& inst);

}  // namespace swf::detail
