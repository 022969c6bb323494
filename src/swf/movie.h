#pragma once
// A parsed SWF movie: header, dictionary of characters and timelines. Parsing is
// separate from playing so that one file can be checked, played and rendered by tools.
#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QRectF>
#include <QString>
#include <QTransform>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include "swf/filters.h"
#include "swf/media/media_tags.h"
#include "swf/memory_budget.h"

namespace swf {

// Colour transform with alpha; multipliers are 1.0 for identity, additions in 0..255 units.
struct ColorTransform {
    float mul[4] = {1, 1, 1, 1};  // r, g, b, a
    float add[4] = {0, 0, 0, 0};

    bool isIdentity() const;
    bool onlyAlphaMultiplier() const;
    QColor apply(const QColor& c) const;
    // The transform that applies `inner` first and then this one.
    ColorTransform after(const ColorTransform& inner) const;
    bool operator==(const ColorTransform&) const = default;
};

// ---- Shapes ----------------------------------------------------------------------------

struct GradientStop {
    float position = 0;  // 0..1
    QColor color;
};

struct FillStyle {
    enum class Kind { Solid, Linear, Radial, Focal, Bitmap };
    Kind kind = Kind::Solid;
    QColor color = Qt::black;
    QTransform matrix;  // gradient square or bitmap pixels -> shape twips
    std::vector<GradientStop> stops;
    int spread = 0;         // 0 pad, 1 reflect, 2 repeat
    int interpolation = 0;  // 0 normal RGB, 1 linear RGB
    float focal = 0;
    uint16_t bitmapId = 0;
    bool repeat = true;
    bool smooth = true;
};

struct LineStyle {
    float width = 20;  // twips
    QColor color = Qt::black;
    std::optional<FillStyle> fill;
    Qt::PenCapStyle cap = Qt::RoundCap;
    Qt::PenJoinStyle join = Qt::RoundJoin;
    float miterLimit = 3;
    bool noHScale = false, noVScale = false;
};

// One edge of a shape in twips, with the styles on its two sides and its line style.
struct Edge {
    int fill0 = 0, fill1 = 0, line = 0;  // 1-based into the layer's styles, 0 for none
    QPoint from, control, to;
    bool curve = false;
};

// A run of edges that share one style table. A shape starts a new layer at every new
// style array; later layers are drawn over earlier ones.
struct ShapeLayer {
    std::vector<FillStyle> fills;
    std::vector<LineStyle> lines;
    std::vector<Edge> edges;
    // Built from the edges: one closed area per fill style, one open path per line style.
    std::vector<std::pair<int, QPainterPath>> fillPaths;  // fill index (0-based), area
    std::vector<std::pair<int, QPainterPath>> linePaths;  // line index (0-based), path
    void buildPaths();
};

struct ShapeDef {
    QRectF bounds;
    std::vector<ShapeLayer> layers;
};

struct MorphShapeDef {
    QRectF startBounds, endBounds;
    std::vector<FillStyle> startFills, endFills;
    std::vector<LineStyle> startLines, endLines;
    std::vector<Edge> startEdges, endEdges;
    // The shape at one ratio (0..65535), built on demand and kept for a while.
    const ShapeDef& at(int ratio) const;

private:
    // Shapes built per ratio, so that a morph that loops, or two instances at different
    // ratios, build each shape once; bounded by kMorphCacheEntries and kMorphCacheEdges.
    mutable std::map<int, ShapeDef> cached_;
    mutable std::vector<int> cacheOrder_;  // oldest first
    mutable std::size_t cachedEdges_ = 0;
};

struct BitmapDef {
    QImage image;  // premultiplied ARGB
};

// ---- Text ------------------------------------------------------------------------------

struct FontDef {
    std::vector<QPainterPath> glyphs;  // in font units, baseline at y = 0
    std::vector<uint16_t> codes;       // character of each glyph, when the font has them
    std::vector<float> advances;       // in font units, when the font has a layout
    float unitsPerEm = 1024;           // 20480 for DefineFont3
    float ascent = 0, descent = 0, leading = 0;
    QString name;
    bool bold = false, italic = false;
    int glyphFor(char16_t c) const;
};

// Static text, laid out at load: one filled path per colour, in the text's own space.
struct TextDef {
    QRectF bounds;
    QTransform matrix;
    std::vector<std::pair<QColor, QPainterPath>> runs;
};

struct EditTextDef {
    QRectF bounds;
    bool border = false, wordWrap = false, multiline = false, password = false, html = false;
    bool useOutlines = false;
    uint16_t fontId = 0;
    float height = 240;
    QColor color = Qt::black;
    int align = 0;  // 0 left, 1 right, 2 centre, 3 justify
    float leftMargin = 0, rightMargin = 0, indent = 0, leading = 0;
    float blockIndent = 0;    // twips, as the margins
    float letterSpacing = 0;  // pixels after each character
    // Glyph rendering settings scripts can read back (CSMTextSettings).
    bool advancedAntiAlias = false;
    uint8_t gridFit = 1;  // 0 none, 1 pixel, 2 subpixel
    double thickness = 0, sharpness = 0;
    QString text;  // plain text (HTML reduced to its text)
    QString initialText;  // the text as stored (HTML when `html`)
    QString variableName;
    bool readOnly = true, selectable = true, autoSize = false, hasMaxLength = false;
    std::optional<QString> restrict;  // characters typing may insert; none: any
    bool background = false;  // a stored field has one exactly when it has a border
    enum class AutoSize : uint8_t { None, Left, Right, Center } autoSizeMode = AutoSize::None;
    QColor borderColor = Qt::black, backgroundColor = Qt::white;
    int maxLength = 0;
    // Embedded outlines laid out at load, when the font carries them, with the box of each
    // character (twips, unscrolled) for drawing a selection over them.
    std::vector<std::pair<QColor, QPainterPath>> outlineRuns;
    std::vector<QRectF> charBoxes;
    double linePitch = 0;  // twips from one outline line to the next
    bool hasOutlines = false;
    // The first line shown, from 1: the mouse wheel (unless a script turned it off) and
    // scripts scroll a field.
    int scroll = 1;
    bool mouseWheelEnabled = true;
};

// ---- Timelines, sprites, buttons -------------------------------------------------------

enum class ActionOp : uint8_t { NextFrame, PrevFrame, Play, Stop, GotoFrame, GotoLabel, GotoFrameDynamic, Push, Pop };

struct Action {
    ActionOp op;
    int frame = 0;       // GotoFrame: 0-based; GotoFrameDynamic: scene bias
    bool play = false;   // GotoFrameDynamic
    QString label;       // GotoLabel
    std::vector<QString> pushed;  // Push: values as text ("" for null/undefined)
};
using ActionList = std::vector<Action>;

// The bytes of one action block as stored (a DoAction, a button condition, a clip event),
// kept whole for the script engine; functions defined in it point into these bytes.
using ActionCode = std::shared_ptr<const std::vector<uint8_t>>;

// Events of a clip action (onClipEvent), as the bits of the stored event flags.
namespace clip_event {
inline constexpr uint32_t kLoad = 1u << 0;
inline constexpr uint32_t kEnterFrame = 1u << 1;
inline constexpr uint32_t kUnload = 1u << 2;
inline constexpr uint32_t kMouseMove = 1u << 3;
inline constexpr uint32_t kMouseDown = 1u << 4;
inline constexpr uint32_t kMouseUp = 1u << 5;
inline constexpr uint32_t kKeyDown = 1u << 6;
inline constexpr uint32_t kKeyUp = 1u << 7;
inline constexpr uint32_t kData = 1u << 8;
inline constexpr uint32_t kInitialize = 1u << 9;
inline constexpr uint32_t kPress = 1u << 10;
inline constexpr uint32_t kRelease = 1u << 11;
inline constexpr uint32_t kReleaseOutside = 1u << 12;
inline constexpr uint32_t kRollOver = 1u << 13;
inline constexpr uint32_t kRollOut = 1u << 14;
inline constexpr uint32_t kDragOver = 1u << 15;
inline constexpr uint32_t kDragOut = 1u << 16;
inline constexpr uint32_t kKeyPress = 1u << 17;
inline constexpr uint32_t kConstruct = 1u << 18;
}  // namespace clip_event

struct ClipAction {
    uint32_t events = 0;   // clip_event bits
    uint8_t keyCode = 0;   // with kKeyPress: the key, as button conditions number keys
    ActionCode code;
};

struct PlaceCommand {
    uint16_t depth = 0;
    bool move = false;
    std::optional<uint16_t> characterId;
    std::optional<QTransform> matrix;
    std::optional<ColorTransform> colorTransform;
    std::optional<uint16_t> ratio;
    std::optional<uint16_t> clipDepth;
    std::optional<QString> name;
    std::optional<bool> visible;
    // PlaceObject3 display effects (filters.h).
    std::optional<std::vector<Filter>> filters;
    std::optional<BlendMode> blendMode;
    std::optional<bool> cacheAsBitmap;
    std::optional<QColor> opaqueBackground;
    std::shared_ptr<const std::vector<ClipAction>> clipActions;  // PlaceObject2/3 onClipEvent
};
struct RemoveCommand {
    uint16_t depth = 0;
};
struct ActionCommand {
    std::shared_ptr<const ActionList> actions;  // the timeline actions, pre-decoded
    ActionCode code;
};
// DoInitAction: runs once, the first time the frame is reached, before the frame's DoAction.
struct InitActionCommand {
    uint16_t spriteId = 0;
    ActionCode code;
};
using FrameCommand = std::variant<PlaceCommand, RemoveCommand, ActionCommand, InitActionCommand,
                                  media::StartSoundCommand, media::StreamBlockCommand>;

struct Frame {
    std::vector<FrameCommand> commands;
};

struct Timeline {
    std::vector<Frame> frames;
    std::map<QString, int> labels;  // lower-cased label -> 0-based frame
    std::optional<media::StreamHead> streamHead;
    // Its tags closed with an End tag right after a whole frame. A sprite cut short (no End
    // tag, or tags after its last ShowFrame) plays on to its last frame and stays there, as
    // one still arriving would.
    bool complete = true;
    int frameCount() const { return int(frames.size()); }
};

struct SpriteDef {
    Timeline timeline;
    uint32_t byteLength = 0;  // of its tags, as getBytesTotal counts a clip
};

struct ButtonRecord {
    uint8_t states = 0;  // 1 up, 2 over, 4 down, 8 hit
    uint16_t characterId = 0;
    uint16_t depth = 0;
    QTransform matrix;
    ColorTransform colorTransform;
    std::vector<Filter> filters;
    BlendMode blendMode = BlendMode::Normal;
};

struct ButtonCondition {
    uint16_t conditions = 0;  // transition bits as stored
    uint8_t keyCode = 0;      // key press condition: 1-19 special keys, else the character
    std::shared_ptr<const ActionList> actions;
    ActionCode code;
};

struct ButtonDef {
    std::vector<ButtonRecord> records;
    std::vector<ButtonCondition> actions;
    bool trackAsMenu = false;
    media::ButtonSounds sounds;
};

// Transition bits of a button condition (the first stored byte is the high byte here).
namespace button_transition {
inline constexpr uint16_t kIdleToOverUp = 0x0001;
inline constexpr uint16_t kOverUpToIdle = 0x0002;
inline constexpr uint16_t kOverUpToOverDown = 0x0004;
inline constexpr uint16_t kOverDownToOverUp = 0x0008;
inline constexpr uint16_t kOverDownToOutDown = 0x0010;
inline constexpr uint16_t kOutDownToOverDown = 0x0020;
inline constexpr uint16_t kOutDownToIdle = 0x0040;
inline constexpr uint16_t kIdleToOverDown = 0x0080;
inline constexpr uint16_t kOverDownToIdle = 0x0100;
}  // namespace button_transition

using Character = std::variant<ShapeDef, MorphShapeDef, BitmapDef, FontDef, TextDef, EditTextDef, SpriteDef,
                               ButtonDef, media::SoundDef, media::VideoStreamDef>;

struct Movie {
    int version = 0;
    QRectF stage;  // twips
    double frameRate = 12;
    int declaredFrameCount = 0;
    uint32_t byteLength = 0;  // as the file header declares it
    QColor background = Qt::white;
    bool actionScript3 = false;
    int maxRecursionDepth = 0;  // ScriptLimits, 0 when the movie sets none
    Timeline root;
    std::unordered_map<uint16_t, Character> dictionary;
    std::map<QString, uint16_t> exports;  // ExportAssets: linkage name -> character
    std::shared_ptr<MemoryCharge> memory = std::make_shared<MemoryCharge>();  // of the decoded dictionary

    const Character* character(uint16_t id) const {
        auto it = dictionary.find(id);
        return it == dictionary.end() ? nullptr : &it->second;
    }
    QSize stageSizePixels() const;  // rounded down, at least 1x1
};

// Limits on what a file may make the player do.
inline constexpr size_t kMaxBodyBytes = 64u << 20;
inline constexpr int kMaxBitmapPixels = 16 << 20;

// Parses a complete file. Throws MalformedMovie when the header or a tag is broken.
std::shared_ptr<const Movie> parseMovie(std::span<const uint8_t> file);

}  // namespace swf
