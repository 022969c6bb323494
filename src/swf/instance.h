#pragma once
// The runtime display tree of a Player: placed characters and the timelines of sprites.
#include <map>
#include <memory>

#include "swf/media/video_decode.h"
#include "swf/movie.h"

namespace swf {

inline constexpr int kMaxNesting = 48;          // sprites and buttons inside each other
inline constexpr int kMaxLiveInstances = 10000;  // per player

struct Instance;

struct TimelineState {
    const Timeline* timeline = nullptr;
    int frame = -1;  // 0-based; -1 before the first frame ran
    bool playing = true;
    std::map<int, std::unique_ptr<Instance>> list;
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
    std::shared_ptr<TimelineState> sprite;  // sprites
    int buttonState = -1;                   // buttons: 0 up, 1 over, 2 down
    std::map<int, std::unique_ptr<Instance>> buttonChildren;
    int* liveCounter = nullptr;
    mutable std::unique_ptr<media::VideoDecoder> video;  // videos: made on first draw

    Instance() = default;
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;
    ~Instance() {
        if (liveCounter) --*liveCounter;
    }
    bool isButton() const { return character && std::holds_alternative<ButtonDef>(*character); }
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
