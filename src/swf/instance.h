#pragma once
// The runtime display tree of a Player: placed characters and the timelines of sprites.
#include <map>
#include <memory>

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
    std::shared_ptr<TimelineState> sprite;  // sprites
    int buttonState = -1;                   // buttons: 0 up, 1 over, 2 down
    std::map<int, std::unique_ptr<Instance>> buttonChildren;
    int* liveCounter = nullptr;

    Instance() = default;
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;
    ~Instance() {
        if (liveCounter) --*liveCounter;
    }
    bool isButton() const { return character && std::holds_alternative<ButtonDef>(*character); }
};

}  // namespace swf
