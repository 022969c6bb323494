#pragma once
// Display effects of a placed object: the filter list, the blend mode, bitmap caching,
// the opaque background and the scroll rectangle. They come from PlaceObject3 and button
// records, and script may set them too; the renderer (render_filters.cpp,
// render_blend.cpp) draws them. Only Qt value types here, so the writer can share them.
#include <QColor>
#include <QRectF>
#include <array>
#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

namespace swf {

// Blur radii and passes as stored: blurX/blurY in pixels at the object's scale.
struct BlurFilter {
    float blurX = 4, blurY = 4;
    int passes = 1;  // "quality": 1 low, 2 medium, 3 high, up to 15
};

struct DropShadowFilter {
    QColor color = QColor(0, 0, 0);
    float blurX = 4, blurY = 4;
    double angle = 0.785398163;  // radians
    double distance = 4;         // pixels
    float strength = 1;
    bool inner = false, knockout = false;
    bool hideObject = false;  // stored as the inverse "composite source" bit
    int passes = 1;
};

struct GlowFilter {
    QColor color = QColor(255, 0, 0);
    float blurX = 6, blurY = 6;
    float strength = 2;
    bool inner = false, knockout = false;
    bool hideObject = false;
    int passes = 1;
};

struct BevelFilter {
    QColor shadowColor = QColor(0, 0, 0);
    QColor highlightColor = QColor(255, 255, 255);
    float blurX = 4, blurY = 4;
    double angle = 0.785398163;
    double distance = 4;
    float strength = 1;
    bool inner = true, knockout = false, onTop = false;
    bool hideObject = false;
    int passes = 1;
};

// Gradient glow and gradient bevel: the glow's or bevel's colour comes from a gradient
// indexed by the blurred alpha (glow) or the highlight/shadow difference (bevel).
struct GradientFilterStop {
    uint8_t ratio = 0;
    QColor color;
    bool operator==(const GradientFilterStop&) const = default;
};

struct GradientGlowFilter {
    std::vector<GradientFilterStop> stops;
    float blurX = 4, blurY = 4;
    double angle = 0.785398163;
    double distance = 4;
    float strength = 1;
    bool inner = false, knockout = false, onTop = false;
    bool hideObject = false;
    int passes = 1;
};

struct GradientBevelFilter {
    std::vector<GradientFilterStop> stops;
    float blurX = 4, blurY = 4;
    double angle = 0.785398163;
    double distance = 4;
    float strength = 1;
    bool inner = true, knockout = false, onTop = false;
    bool hideObject = false;
    int passes = 1;
};

// out = M * (r, g, b, a, 1) per pixel on unpremultiplied 0..255 values; row-major 4x5.
struct ColorMatrixFilter {
    std::array<float, 20> matrix{1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0};
};

struct ConvolutionFilter {
    int matrixX = 0, matrixY = 0;
    std::vector<float> matrix;  // matrixX * matrixY, row by row
    float divisor = 1, bias = 0;
    QColor defaultColor = QColor(0, 0, 0, 0);
    bool clamp = true, preserveAlpha = true;
};

using Filter = std::variant<DropShadowFilter, BlurFilter, GlowFilter, BevelFilter, GradientGlowFilter,
                            ConvolutionFilter, ColorMatrixFilter, GradientBevelFilter>;

// Numbered as stored in the file (0 and 1 both mean normal).
enum class BlendMode : uint8_t {
    Normal = 1,
    Layer = 2,
    Multiply = 3,
    Screen = 4,
    Lighten = 5,
    Darken = 6,
    Difference = 7,
    Add = 8,
    Subtract = 9,
    Invert = 10,
    Alpha = 11,
    Erase = 12,
    Overlay = 13,
    Hardlight = 14,
};

// The stored byte as a mode; unknown values draw as normal, as the original player does.
inline BlendMode blendModeFromByte(uint8_t value) {
    return value >= 2 && value <= 14 ? BlendMode(value) : BlendMode::Normal;
}

// Limits that keep a filter list bounded in memory and time whatever the file says.
inline constexpr int kMaxFiltersPerObject = 32;
inline constexpr float kMaxBlurRadius = 255;
inline constexpr int kMaxBlurPasses = 15;
inline constexpr int kMaxConvolutionSide = 15;

}  // namespace swf
