#pragma once
// The runtime display tree of a Player: placed characters and the timelines of sprites.
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "swf/media/video_decode.h"
#include "swf/movie.h"

namespace swf {

inline constexpr int kMaxNesting = 48;          // sprites and buttons inside each other
inline constexpr int kMaxLiveInstances = 10000;  // per player

// Scripts number depths from -16384 at the bottom of the timeline's range; the list keys
// are those depths plus this.
inline constexpr int kScriptDepthOffset = 16384;
// The root timeline's display id; instances count from the next one.
inline constexpr uint64_t kRootSerial = 1;

struct Instance;

struct TimelineState {
    const Timeline* timeline = nullptr;
    int frame = -1;  // 0-based; -1 before the first frame ran
    bool playing = true;
    uint64_t ownerSerial = 0;  // the clip this timeline belongs to
    std::map<int, std::unique_ptr<Instance>> list;
    std::vector<bool> initActionsRun;  // DoInitAction per frame, run once
};

// What the drawing API drew into a clip, kept as the calls came and turned into a shape
// (in twips) for the renderer.
struct Drawing {
    struct Part {
        QPainterPath path;  // twips
        std::optional<FillStyle> fill;
        std::optional<LineStyle> line;
    };
    std::vector<Part> parts;
    std::optional<FillStyle> fill;  // open fill
    std::optional<LineStyle> line;
    QPainterPath fillPath;          // the open fill's outline so far
    QPainterPath linePath;          // strokes since the line style was set
    QPointF pen;                    // twips
    QPointF fillStart;
    ShapeDef shape;                 // built from the parts
    void rebuild();
};

// The instances, by display id, that scripts can reach; ids of removed instances are
// collected for the engine.
struct InstanceRegistry {
    std::unordered_map<uint64_t, Instance*> live;
    std::vector<uint64_t> removed;
};

struct Instance {
    uint64_t serial = 0;
    uint16_t id = 0;
    const Character* character = nullptr;
    QTransform matrix;
    ColorTransform colorTransform;
    int ratio = 0;
    int clipDepth = 0;
    bool visible = true;
    QString name;
    // Display effects, from PlaceObject3 or script (filters.h). The scroll rectangle is in
    // the object's own twips: it clips to that area and shows it at the object's origin.
    std::vector<Filter> filters;
    BlendMode blendMode = BlendMode::Normal;
    bool cacheAsBitmap = false;
    std::optional<QColor> opaqueBackground;
    std::optional<QRectF> scrollRect;
    // MovieClip.setMask: the serial of the clip masking this one, and on the mask the serial
    // of the object it masks (a mask in use is not drawn itself). 0 for none.
    uint64_t scriptMask = 0;
    uint64_t scriptMaskOf = 0;
    std::shared_ptr<TimelineState> sprite;  // sprites
    int buttonState = -1;                   // buttons: 0 up, 1 over, 2 down
    std::map<int, std::unique_ptr<Instance>> buttonChildren;
    int* liveCounter = nullptr;
    mutable std::unique_ptr<media::VideoDecoder> video;  // videos: made on first draw
    // A script's BitmapData this instance shows (attachBitmap): its pixels may change.
    std::shared_ptr<QImage> liveBitmap;
    bool smoothBitmap = false;
    bool showsLoadedPicture = false;  // a clip a picture was loaded into (SWF version -1)

    // Scripting.
    uint64_t parentSerial = 0;     // the clip whose list holds it
    int nesting = 0;
    bool dynamic = false;          // made by a script; the timeline leaves it alone
    // Moved or coloured by a script (position, scale, rotation, matrix, alpha, colour
    // transform or depth): the timeline's moves at its depth no longer change its transforms.
    bool transformedByScript = false;
    bool loaded = false;           // its first frame ran (enterFrame comes after it)
    bool enabled = true;           // a disabled button or clip takes no mouse events
    std::optional<int32_t> tabIndex;  // set by script: a custom tab order
    std::optional<bool> focusRect;    // _focusrect of this object; unset follows the stage's
    std::shared_ptr<const std::vector<ClipAction>> clipActions;
    std::shared_ptr<Drawing> drawing;
    std::unique_ptr<Character> ownCharacter;  // a text field's changed copy, a script's empty clip
    // Scale and rotation as scripts last set them; the matrix alone cannot tell a
    // rotation by 180 degrees from two flipped axes.
    struct Decomposed {
        double xScale = 1, yScale = 1;
        double rotation = 0, skewRotation = 0;  // of the x and y axes, in degrees
    };
    std::optional<Decomposed> decomposed;
    InstanceRegistry* registry = nullptr;

    Instance() = default;
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;
    ~Instance() {
        if (liveCounter) --*liveCounter;
        if (registry) {
            registry->live.erase(serial);
            registry->removed.push_back(serial);
        }
    }
    bool isButton() const { return character && std::holds_alternative<ButtonDef>(*character); }
    bool isClip() const { return sprite != nullptr; }
    uint32_t clipEvents() const {
        uint32_t events = 0;
        if (clipActions)
            for (const ClipAction& a : *clipActions) events |= a.events;
        return events;
    }
};

// True when an instance is drawn through render_effects.cpp.
bool hasDisplayEffects(const Instance& inst);

// The PlaceObject3 effects a place command sets, and carrying them over to a replacement.
inline void applyDisplayEffects(const PlaceCommand& cmd, Instance& inst) {
    if (cmd.filters) inst.filters = *cmd.filters;
    if (cmd.blendMode) inst.blendMode = *cmd.blendMode;
    if (cmd.cacheAsBitmap) inst.cacheAsBitmap = *cmd.cacheAsBitmap;
    if (cmd.opaqueBackground) inst.opaqueBackground = *cmd.opaqueBackground;
}
inline void copyDisplayEffects(const Instance& from, Instance& to) {
    to.filters = from.filters;
    to.blendMode = from.blendMode;
    to.cacheAsBitmap = from.cacheAsBitmap;
    to.opaqueBackground = from.opaqueBackground;
    to.scrollRect = from.scrollRect;
}

}  // namespace swf
