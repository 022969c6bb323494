// The player's timelines, actions, buttons and scheduling. Drawing is in render.cpp.
#include "swf/player.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "swf/avm1/avm1.h"
#include "swf/effects_internal.h"
#include "swf/frame_clock.h"
#include "swf/instance.h"
#include "swf/media/movie_sound.h"
#include "swf/script_host.h"

namespace swf {

namespace {
constexpr int kMaxActionListsPerTick = 256;
constexpr int kMaxCreationsPerTick = 20000;
}

Player::Player(std::shared_ptr<const Movie> movie, QObject* parent, Start start)
    : QObject(parent), movie_(std::move(movie)), sound_(std::make_unique<media::MovieSound>()) {
    root_ = std::make_shared<TimelineState>();
    root_->timeline = &movie_->root;
    root_->ownerSerial = kRootSerial;
    rootProps_ = std::make_unique<Instance>();
    rootProps_->serial = kRootSerial;
    nextSerial_ = kRootSerial + 1;
    registry_ = std::make_unique<InstanceRegistry>();
    viewSize_ = movie_->stageSizePixels();
    creationsLeft_ = kMaxCreationsPerTick;
    prefetchSounds();
    startScripting();
    started_ = start == Start::Now;
    if (started_) {
        runFrame(root_, 0, true, 0);
        queueScript({kRootSerial, nullptr, "onLoad", false});
    }
    runQueuedActions();
    dirty_ = false;  // the first paint draws the first frame anyway
    updateSchedule();
}

Player::~Player() {
    FrameClock::instance().remove(this);
    // The engine goes first (it may hold ids), then the instances while the registry they
    // report to is still there.
    engine_.reset();
    scriptHost_.reset();
    root_->list.clear();
}

int Player::currentFrame() const { return root_->frame + 1; }
int Player::frameCount() const { return movie_->root.frameCount(); }
bool Player::isPlaying() const { return root_->playing; }

void Player::play() {
    root_->playing = true;
    updateSchedule();
}

void Player::stop() {
    root_->playing = false;
    updateSchedule();
}

void Player::setLoop(bool loop) {
    loop_ = loop;
    updateSchedule();
}

void Player::gotoFrame(int frame) {
    gotoTimelineFrame(root_, std::clamp(frame, 1, std::max(1, frameCount())) - 1, 0);
    runQueuedActions();
    afterChange();
}

void Player::rewind() {
    root_->playing = false;
    gotoFrame(1);
}

void Player::forward() {
    root_->playing = false;
    gotoFrame(currentFrame() + 1);
}

void Player::back() {
    root_->playing = false;
    gotoFrame(currentFrame() - 1);
}

double Player::frameInterval() const { return 1000.0 / std::clamp(movie_->frameRate, 1.0, 120.0); }

void Player::advance() {
    creationsLeft_ = kMaxCreationsPerTick;
    if (engine_) {
        if (!started_) {
            started_ = true;
            runFrame(root_, 0, true, 0);
            queueScript({kRootSerial, nullptr, "onLoad", false});
        } else {
            movieTimeMs_ += frameTimeMs_ > 0 ? frameTimeMs_ : frameInterval();
            advanceScripted();
        }
        runQueuedActions();
        // Then the frame's time passes for setInterval/setTimeout; what a callback starts
        // (an attached clip's onLoad, say) runs before the next callback.
        engine_->advanceTime(frameTimeMs_ > 0 ? frameTimeMs_ : frameInterval(), [this] { runQueuedActions(); });
        // What is under the mouse may have changed without the mouse moving.
        if (lastMouseView_ && !hoverFromFocus_) {
            hover(*lastMouseView_);
            runQueuedActions();
        }
        afterChange();
        return;
    }
    if (!started_) {
        started_ = true;
        runFrame(root_, 0, true, 0);
    } else {
        movieTimeMs_ += frameTimeMs_ > 0 ? frameTimeMs_ : frameInterval();
        tickList(root_->list, 1);
        nextTimelineFrame(root_, true, 0);
    }
    runQueuedActions();
    afterChange();
}

void Player::afterChange() {
    creationsLeft_ = kMaxCreationsPerTick;
    if (dirty_) {
        dirty_ = false;
        ++changedFrames_;
        if (active_) emit needsRepaint();
    }
    updateSchedule();
}

void Player::setActive(bool active) {
    if (active_ == active) return;
    active_ = active;
    sound_->setAudible(active);
    updateSchedule();
}

bool Player::anythingPlaying() const {
    const int rootFrames = frameCount();
    if (root_->playing && rootFrames > 1 && (loop_ || root_->frame + 1 < rootFrames)) return true;
    // Scripts that run every frame keep it too, and so do timers and sounds a script waits on.
    if (scriptsRunning()) {
        if (engine_->needsTime()) return true;
        for (const auto& [serial, inst] : registry_->live)
            if ((inst->clipEvents() & clip_event::kEnterFrame) || (inst->sprite && engine_->hasHandler(serial, "onEnterFrame")))
                return true;
        if (engine_->hasHandler(kRootSerial, "onEnterFrame")) return true;
        if (engine_->hasTimers()) return true;
    }
    // Any playing sprite with more than one frame keeps the clock needed.
    std::vector<const std::map<int, std::unique_ptr<Instance>>*> pending{&root_->list};
    while (!pending.empty()) {
        auto* list = pending.back();
        pending.pop_back();
        for (const auto& [depth, inst] : *list) {
            if (inst->sprite) {
                if (inst->sprite->playing && inst->sprite->timeline->frameCount() > 1) return true;
                pending.push_back(&inst->sprite->list);
            }
            if (!inst->buttonChildren.empty()) pending.push_back(&inst->buttonChildren);
        }
    }
    return false;
}

void Player::updateSchedule() {
    bool want = active_ && anythingPlaying();
    if (want == scheduled_) return;
    scheduled_ = want;
    if (want) FrameClock::instance().add(this, frameInterval());
    else FrameClock::instance().remove(this);
}

// ---- Timelines -------------------------------------------------------------------------------

std::unique_ptr<Instance> Player::createInstance(uint16_t id, int nesting) {
    auto inst = std::make_unique<Instance>();
    inst->serial = nextSerial_++;
    inst->id = id;
    inst->liveCounter = &liveInstances_;
    ++liveInstances_;
    inst->nesting = nesting;
    inst->registry = registry_.get();
    registry_->live[inst->serial] = inst.get();
    // Past the limits (a sprite that contains itself, say) the instance stays empty.
    if (nesting > kMaxNesting || liveInstances_ > kMaxLiveInstances || --creationsLeft_ < 0) return inst;
    inst->character = movie_->character(id);
    if (!inst->character) return inst;
    if (auto* sprite = std::get_if<SpriteDef>(inst->character)) {
        inst->sprite = std::make_shared<TimelineState>();
        inst->sprite->timeline = &sprite->timeline;
        inst->sprite->ownerSerial = inst->serial;
        // With scripts the first frame waits until the placement gave the clip its name
        // and clip actions (placedByTimeline), as scripts in that frame may use them.
        if (!engine_ && sprite->timeline.frameCount() > 0) runFrame(inst->sprite, 0, true, nesting + 1);
    } else if (std::holds_alternative<ButtonDef>(*inst->character) && !engine_) {
        // With scripts the state's children wait until the button has its name (applyPlace), as
        // the unnamed ones are numbered after it.
        setButtonState(*inst, 0, nesting + 1);
    }
    return inst;
}

void Player::applyPlace(const std::shared_ptr<TimelineState>& tl, const PlaceCommand& cmd, int nesting) {
    auto& list = tl->list;
    auto it = list.find(cmd.depth);
    Instance* inst = nullptr;
    bool created = false;
    if (cmd.move && it != list.end()) {
        inst = it->second.get();
        if (cmd.characterId && *cmd.characterId != inst->id) {
            // The same depth takes another character; the placement's other values stay.
            auto replacement = createInstance(*cmd.characterId, nesting);
            replacement->matrix = inst->matrix;
            replacement->colorTransform = inst->colorTransform;
            replacement->ratio = inst->ratio;
            replacement->clipDepth = inst->clipDepth;
            replacement->name = inst->name;
            replacement->visible = inst->visible;
            copyDisplayEffects(*inst, *replacement);
            replacement->parentSerial = tl->ownerSerial;
            if (engine_) removing(*inst);
            it->second = std::move(replacement);
            inst = it->second.get();
            created = true;
        }
    } else {
        if (!cmd.characterId) return;
        if (it != list.end() && engine_) {
            // A script-made clip keeps its depth against the timeline.
            if (it->second->dynamic) return;
            removing(*it->second);
        }
        list[cmd.depth] = createInstance(*cmd.characterId, nesting);
        inst = list[cmd.depth].get();
        inst->parentSerial = tl->ownerSerial;
        created = true;
    }
    const bool keepTransform = !created && inst->transformedByScript;
    if (cmd.matrix && !keepTransform) {
        inst->matrix = *cmd.matrix;
        inst->decomposed.reset();
    }
    if (cmd.colorTransform && !keepTransform) inst->colorTransform = *cmd.colorTransform;
    if (cmd.ratio) inst->ratio = *cmd.ratio;
    if (cmd.clipDepth) inst->clipDepth = *cmd.clipDepth;
    if (cmd.name) inst->name = *cmd.name;
    if (cmd.visible) inst->visible = *cmd.visible;
    applyDisplayEffects(cmd, *inst);
    if (created && cmd.clipActions) inst->clipActions = cmd.clipActions;
    // Scripts see unnamed clips, buttons and text fields as instance1, instance2, ...
    if (created && engine_ && inst->name.isEmpty() && inst->character &&
        (inst->sprite || inst->isButton() || std::holds_alternative<EditTextDef>(*inst->character)))
        inst->name = QStringLiteral("instance%1").arg(++unnamedInstances_);
    if (created && engine_ && inst->isButton() && inst->buttonState < 0) setButtonState(*inst, 0, nesting + 1);
    if (created && engine_) placedByTimeline(*inst);
    dirty_ = true;
}

void Player::runFrame(const std::shared_ptr<TimelineState>& tl, int frame, bool actions, int nesting) {
    const auto& frames = tl->timeline->frames;
    if (frame < 0 || frame >= int(frames.size())) return;
    tl->frame = frame;
    for (const FrameCommand& command : frames[size_t(frame)].commands) {
        if (auto* place = std::get_if<PlaceCommand>(&command)) {
            applyPlace(tl, *place, nesting);
        } else if (auto* remove = std::get_if<RemoveCommand>(&command)) {
            auto it = tl->list.find(remove->depth);
            if (it != tl->list.end() && !(engine_ && it->second->dynamic)) {
                if (engine_) removing(*it->second);
                tl->list.erase(it);
                dirty_ = true;
            }
        } else if (auto* action = std::get_if<ActionCommand>(&command)) {
            // With scripts, a frame's actions queue where their tag stands, among the
            // load events of the clips the frame places.
            if (actions && engine_) queueScript({tl->ownerSerial, action->code, nullptr, false});
            else if (actions && !action->actions->empty()) actionQueue_.push_back({tl, action->actions});
        } else if (auto* init = std::get_if<InitActionCommand>(&command)) {
            if (actions && engine_) queueInitAction(tl, frame, *init);
        }
    }
    if (actions && engine_) markInitActionsRun(tl, frame);
    if (actions) frameSounds(tl, frame);
}

void Player::gotoTimelineFrame(const std::shared_ptr<TimelineState>& tl, int frame, int nesting, bool frameScripts) {
    const int count = tl->timeline->frameCount();
    if (count == 0) return;
    frame = std::clamp(frame, 0, count - 1);
    if (frame == tl->frame) return;
    if (frame > tl->frame) {
        for (int f = tl->frame + 1; f <= frame; ++f) runFrame(tl, f, frameScripts && f == frame, nesting);
        return;
    }
    // Backwards: rebuild the list as it stands at `frame`. Characters that stay at the
    // same depth keep their instance (and a sprite its own timeline's position).
    auto old = std::move(tl->list);
    tl->list.clear();
    // What stands at script depths (0 and up) stays; the timeline's range is rebuilt, and
    // script-made clips moved into it go.
    for (auto it = old.begin(); it != old.end();) {
        if (it->first >= kScriptDepthOffset) {
            tl->list[it->first] = std::move(it->second);
            it = old.erase(it);
        } else {
            ++it;
        }
    }
    struct Planned {
        PlaceCommand place;  // accumulated values
    };
    std::map<int, PlaceCommand> plan;
    const auto& frames = tl->timeline->frames;
    for (int f = 0; f <= frame; ++f) {
        for (const FrameCommand& command : frames[size_t(f)].commands) {
            if (auto* place = std::get_if<PlaceCommand>(&command)) {
                auto it = plan.find(place->depth);
                if (place->move && it != plan.end()) {
                    PlaceCommand& p = it->second;
                    if (place->characterId) p.characterId = place->characterId;
                    if (place->matrix) p.matrix = place->matrix;
                    if (place->colorTransform) p.colorTransform = place->colorTransform;
                    if (place->ratio) p.ratio = place->ratio;
                    if (place->clipDepth) p.clipDepth = place->clipDepth;
                    if (place->name) p.name = place->name;
                    if (place->visible) p.visible = place->visible;
                } else if (place->characterId) {
                    plan[place->depth] = *place;
                    plan[place->depth].move = false;
                }
            } else if (auto* remove = std::get_if<RemoveCommand>(&command)) {
                plan.erase(remove->depth);
            }
        }
    }
    for (auto& [depth, place] : plan) {
        if (tl->list.count(depth)) continue;  // a script-made clip holds the depth
        auto kept = old.find(depth);
        if (kept != old.end() && kept->second->id == *place.characterId) {
            tl->list[depth] = std::move(kept->second);
            Instance& inst = *tl->list[depth];
            if (!inst.transformedByScript) {
                inst.matrix = place.matrix.value_or(QTransform());
                inst.colorTransform = place.colorTransform.value_or(ColorTransform());
                inst.decomposed.reset();
            }
            inst.ratio = place.ratio.value_or(0);
            inst.clipDepth = place.clipDepth.value_or(0);
            inst.visible = place.visible.value_or(true);
        } else {
            applyPlace(tl, place, nesting);
        }
    }
    if (engine_)
        for (auto& [depth, inst] : old)
            if (inst) removing(*inst);
    old.clear();
    tl->frame = frame;
    dirty_ = true;
    if (!frameScripts) {
    } else if (engine_) {
        queueFrameScripts(tl, frame);
    } else {
        for (const FrameCommand& command : frames[size_t(frame)].commands)
            if (auto* action = std::get_if<ActionCommand>(&command))
                if (!action->actions->empty()) actionQueue_.push_back({tl, action->actions});
    }
    if (frameScripts) frameSounds(tl, frame);
}

void Player::nextTimelineFrame(const std::shared_ptr<TimelineState>& tl, bool isRoot, int nesting) {
    if (!tl->playing) return;
    const int count = tl->timeline->frameCount();
    if (count <= 1) return;  // a one-frame timeline has nothing to replay
    int next = tl->frame + 1;
    if (next >= count) {
        if (!isRoot && !tl->timeline->complete) return;
        if (isRoot && !loop_) {
            tl->playing = false;
            return;
        }
        gotoTimelineFrame(tl, 0, nesting);
        return;
    }
    runFrame(tl, next, true, nesting);
}

void Player::tickList(DisplayList& list, int nesting) {
    if (nesting > kMaxNesting) return;
    // Children placed during this tick start on their first frame; only those that were
    // already there move on. Collect them first, as a frame may change the list.
    std::vector<std::shared_ptr<TimelineState>> sprites;
    std::vector<DisplayList*> buttons;
    for (auto& [depth, inst] : list) {
        if (inst->sprite) sprites.push_back(inst->sprite);
        if (!inst->buttonChildren.empty()) buttons.push_back(&inst->buttonChildren);
    }
    for (auto* children : buttons) tickList(*children, nesting + 1);
    for (auto& sprite : sprites) {
        tickList(sprite->list, nesting + 1);
        nextTimelineFrame(sprite, false, nesting + 1);
    }
}

// ---- Actions ---------------------------------------------------------------------------------

void Player::runQueuedActions() {
    if (engine_) {
        runScripts();
        return;
    }
    int budget = kMaxActionListsPerTick;
    while (!actionQueue_.empty() && budget-- > 0) {
        QueuedActions next = std::move(actionQueue_.front());
        actionQueue_.pop_front();
        if (auto target = next.target.lock()) runActions(target, *next.actions);
    }
    actionQueue_.clear();
}

void Player::runActions(const std::shared_ptr<TimelineState>& target, const ActionList& actions) {
    std::vector<QString> stack;
    const bool isRoot = target == root_;
    auto gotoFrame = [&](int frame) {
        gotoTimelineFrame(target, frame, isRoot ? 0 : 1);
        dirty_ = true;
    };
    for (const Action& a : actions) {
        switch (a.op) {
            case ActionOp::Play: target->playing = true; break;
            case ActionOp::Stop: target->playing = false; break;
            case ActionOp::NextFrame:
                target->playing = false;
                gotoFrame(target->frame + 1);
                break;
            case ActionOp::PrevFrame:
                target->playing = false;
                gotoFrame(target->frame - 1);
                break;
            case ActionOp::GotoFrame: gotoFrame(a.frame); break;
            case ActionOp::GotoLabel: {
                auto it = target->timeline->labels.find(a.label.toLower());
                if (it != target->timeline->labels.end()) gotoFrame(it->second);
                break;
            }
            case ActionOp::GotoFrameDynamic: {
                QString value = stack.empty() ? QString() : stack.back();
                if (!stack.empty()) stack.pop_back();
                // "target:frame" addresses another timeline; only the frame part is used.
                int colon = int(value.lastIndexOf(QLatin1Char(':')));
                if (colon >= 0) value = value.mid(colon + 1);
                bool numeric = false;
                double number = value.toDouble(&numeric);
                if (numeric) {
                    if (std::isfinite(number) && std::fabs(number) < 1e7) gotoFrame(int(std::floor(number)) - 1 + a.frame);
                } else {
                    auto it = target->timeline->labels.find(value.toLower());
                    if (it != target->timeline->labels.end()) gotoFrame(it->second);
                }
                target->playing = a.play;
                break;
            }
            case ActionOp::Push:
                for (const QString& v : a.pushed)
                    if (stack.size() < 4096) stack.push_back(v);
                break;
            case ActionOp::Pop:
                if (!stack.empty()) stack.pop_back();
                break;
        }
    }
}

// ---- Buttons ---------------------------------------------------------------------------------

void Player::setButtonState(Instance& button, int state, int nesting) {
    if (button.buttonState == state) return;
    button.buttonState = state;
    const auto& def = std::get<ButtonDef>(*button.character);
    const uint8_t bit = uint8_t(1u << state);
    auto old = std::move(button.buttonChildren);
    button.buttonChildren.clear();
    for (const ButtonRecord& rec : def.records) {
        if (!(rec.states & bit)) continue;
        auto kept = old.find(rec.depth);
        std::unique_ptr<Instance> child;
        bool fresh = false;
        if (kept != old.end() && kept->second && kept->second->id == rec.characterId) {
            child = std::move(kept->second);
        } else {
            child = createInstance(rec.characterId, nesting);
            child->parentSerial = button.serial;
            if (engine_ && (child->sprite || child->isButton()))
                child->name = QStringLiteral("instance%1").arg(++unnamedInstances_);
            if (engine_ && child->isButton()) setButtonState(*child, 0, nesting + 1);
            fresh = true;
        }
        child->matrix = rec.matrix;
        child->colorTransform = rec.colorTransform;
        child->filters = rec.filters;
        child->blendMode = rec.blendMode;
        Instance& placed = *child;
        button.buttonChildren[rec.depth] = std::move(child);
        if (fresh && engine_) placedByTimeline(placed);
    }
    dirty_ = true;
}

namespace {

bool hitCharacter(const Movie& movie, const Instance& inst, QPointF local, int nesting);

bool hitList(const Movie& movie, const std::map<int, std::unique_ptr<Instance>>& list, QPointF p, int nesting) {
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        const Instance& child = *it->second;
        if (child.clipDepth > 0 || !child.visible) continue;
        bool invertible = false;
        QTransform inverse = child.matrix.inverted(&invertible);
        if (invertible && hitCharacter(movie, child, inverse.map(p), nesting + 1)) return true;
    }
    return false;
}

bool hitShape(const ShapeDef& shape, QPointF p) {
    if (!shape.bounds.adjusted(-200, -200, 200, 200).contains(p)) return false;
    for (const auto& layer : shape.layers) {
        for (const auto& [index, path] : layer.fillPaths)
            if (path.contains(p)) return true;
        for (const auto& [index, path] : layer.linePaths) {
            QPainterPathStroker stroker;
            stroker.setWidth(std::max(20.0f, layer.lines[size_t(index)].width));
            if (stroker.createStroke(path).contains(p)) return true;
        }
    }
    return false;
}

bool hitCharacter(const Movie& movie, const Instance& inst, QPointF p, int nesting) {
    if (!inst.character || nesting > kMaxNesting) return false;
    // A scroll rectangle shows only its own area, moved to the object's origin.
    if (inst.scrollRect) {
        if (!QRectF(QPointF(0, 0), inst.scrollRect->size()).contains(p)) return false;
        p += inst.scrollRect->topLeft();
    }
    return std::visit(
        [&](const auto& def) -> bool {
            using T = std::decay_t<decltype(def)>;
            if constexpr (std::is_same_v<T, ShapeDef>) return hitShape(def, p);
            else if constexpr (std::is_same_v<T, MorphShapeDef>) return hitShape(def.at(inst.ratio), p);
            else if constexpr (std::is_same_v<T, TextDef>) return def.matrix.mapRect(def.bounds).contains(p);
            else if constexpr (std::is_same_v<T, EditTextDef>) return def.bounds.contains(p);
            else if constexpr (std::is_same_v<T, BitmapDef>)
                return QRectF(0, 0, def.image.width() * 20.0, def.image.height() * 20.0).contains(p);
            else if constexpr (std::is_same_v<T, SpriteDef>)
                return (inst.drawing && hitShape(inst.drawing->shape, p)) ||
                       (inst.sprite && hitList(movie, inst.sprite->list, p, nesting));
            else if constexpr (std::is_same_v<T, ButtonDef>) {
                // A button is hit through its hit-state characters.
                for (const ButtonRecord& rec : def.records) {
                    if (!(rec.states & 8)) continue;
                    const Character* c = movie.character(rec.characterId);
                    if (!c) continue;
                    bool invertible = false;
                    QTransform inverse = rec.matrix.inverted(&invertible);
                    if (!invertible) continue;
                    Instance probe;
                    probe.character = c;
                    if (std::holds_alternative<SpriteDef>(*c)) continue;  // sprites as hit areas: first frame only
                    if (hitCharacter(movie, probe, inverse.map(p), nesting + 1)) return true;
                }
                return false;
            } else return false;
        },
        *inst.character);
}

// Finds the topmost button under `p` (in the coordinates of `list`'s parent).
bool findButtonAt(const Movie& movie, const std::shared_ptr<TimelineState>& owner,
                  const std::map<int, std::unique_ptr<Instance>>& list, QPointF p, int nesting, Instance*& button,
                  std::shared_ptr<TimelineState>& buttonOwner, const std::function<bool(const Instance&)>& isTarget) {
    if (nesting > kMaxNesting) return false;
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        Instance& child = *it->second;
        if (child.clipDepth > 0 || !child.visible || !child.character) continue;
        bool invertible = false;
        QTransform inverse = child.matrix.inverted(&invertible);
        if (!invertible) continue;
        QPointF local = inverse.map(p);
        if (isTarget(child)) {
            if (hitCharacter(movie, child, local, nesting)) {
                button = &child;
                buttonOwner = owner;
                return true;
            }
        } else if (child.sprite) {
            if (findButtonAt(movie, child.sprite, child.sprite->list, local, nesting + 1, button, buttonOwner, isTarget))
                return true;
        }
    }
    return false;
}

bool findSerial(const std::shared_ptr<TimelineState>& owner, const std::map<int, std::unique_ptr<Instance>>& list,
                uint64_t serial, int nesting, Instance*& found, std::shared_ptr<TimelineState>& foundOwner) {
    if (nesting > kMaxNesting) return false;
    for (auto& [depth, inst] : list) {
        if (inst->serial == serial) {
            found = inst.get();
            foundOwner = owner;
            return true;
        }
        if (inst->sprite && findSerial(inst->sprite, inst->sprite->list, serial, nesting + 1, found, foundOwner))
            return true;
        if (findSerial(owner, inst->buttonChildren, serial, nesting + 1, found, foundOwner)) return true;
    }
    return false;
}

}  // namespace

Player::Hit Player::buttonAt(QPointF viewPos) const {
    bool invertible = false;
    QPointF stagePos = rootToView().inverted(&invertible).map(viewPos);
    Hit hit;
    if (invertible)
        findButtonAt(*movie_, root_, root_->list, stagePos, 0, hit.button, hit.owner,
                     [this](const Instance& inst) { return isMouseTarget(inst); });
    return hit;
}

bool Player::hitTestInstance(const Instance& inst, QPointF local) const {
    return hitCharacter(*movie_, inst, local, inst.nesting);
}

bool Player::hitTestList(const DisplayList& list, QPointF local) const { return hitList(*movie_, list, local, 0); }

Player::Hit Player::findButton(uint64_t serial) const {
    Hit hit;
    if (serial) findSerial(root_, root_->list, serial, 0, hit.button, hit.owner);
    return hit;
}

namespace {

// The handler and clip event that go with a button transition.
struct MouseHandler {
    uint16_t condition;
    uint32_t clipEvent;
    const char* handler;
};
constexpr MouseHandler kMouseHandlers[] = {
    {button_transition::kIdleToOverUp, clip_event::kRollOver, "onRollOver"},
    {button_transition::kOverUpToIdle, clip_event::kRollOut, "onRollOut"},
    {button_transition::kOverUpToOverDown, clip_event::kPress, "onPress"},
    {button_transition::kOverDownToOverUp, clip_event::kRelease, "onRelease"},
    {button_transition::kOverDownToOutDown, clip_event::kDragOut, "onDragOut"},
    {button_transition::kOutDownToOverDown, clip_event::kDragOver, "onDragOver"},
    {button_transition::kOutDownToIdle, clip_event::kReleaseOutside, "onReleaseOutside"},
};

}  // namespace

void Player::buttonTransition(uint64_t serial, int newState, uint16_t condition) {
    Hit hit = findButton(serial);
    if (!hit.button || !hit.button->enabled) return;
    if (hit.button->isButton()) {
        buttonSound(*hit.button, hit.button->buttonState, newState);
        setButtonState(*hit.button, newState, 1);
        const auto& def = std::get<ButtonDef>(*hit.button->character);
        for (const ButtonCondition& c : def.actions) {
            if (!(c.conditions & condition) || !hit.owner) continue;
            if (engine_) queueScript({hit.owner->ownerSerial, c.code, nullptr, false});
            else actionQueue_.push_back({hit.owner, c.actions});
        }
    }
    if (!engine_) return;
    for (const MouseHandler& h : kMouseHandlers)
        if (h.condition == condition) queueClipEvent(*hit.button, h.clipEvent, h.handler);
}

bool Player::isMouseTarget(const Instance& inst) const {
    if (!inst.enabled) return false;
    if (inst.isButton()) return true;
    if (!engine_ || !inst.sprite) return false;
    if (inst.clipEvents() & (clip_event::kPress | clip_event::kRelease | clip_event::kReleaseOutside |
                             clip_event::kRollOver | clip_event::kRollOut | clip_event::kDragOver | clip_event::kDragOut))
        return true;
    for (const MouseHandler& h : kMouseHandlers)
        if (engine_->hasHandler(inst.serial, h.handler)) return true;
    return false;
}

void Player::dragTo() {
    Instance* inst = instanceById(dragSerial_);
    if (!inst) {
        dragSerial_ = 0;
        return;
    }
    // The mouse in the dragged clip's parent space.
    QTransform toStage;
    for (uint64_t id = inst->parentSerial; id != kRootSerial;) {
        Instance* parent = instanceById(id);
        if (!parent) break;
        toStage = toStage * parent->matrix;
        id = parent->parentSerial;
    }
    toStage = toStage * rootProps_->matrix;
    bool invertible = false;
    QPointF local = toStage.inverted(&invertible).map(mouseStage_ * 20);
    if (!invertible) return;
    QPointF at = dragLockCenter_ ? local : local + dragOffset_;
    if (dragBounds_) {
        at.setX(std::clamp(at.x(), dragBounds_->left(), dragBounds_->right()));
        at.setY(std::clamp(at.y(), dragBounds_->top(), dragBounds_->bottom()));
    }
    const QTransform& m = inst->matrix;
    inst->matrix = QTransform(m.m11(), m.m12(), m.m21(), m.m22(), at.x(), at.y());
    dirty_ = true;
}

void Player::trackMouse(QPointF viewPos, bool moved) {
    bool invertible = false;
    QPointF stage = viewTransform().inverted(&invertible).map(viewPos);
    if (invertible) {
        QPointF pixels = stage / 20;
        moved = moved && pixels != mouseStage_;
        mouseStage_ = pixels;
    }
    if (!engine_ || !moved) return;
    if (dragSerial_) dragTo();
    if (selectingSerial_) dragSelect();
    mouseEventToClips(clip_event::kMouseMove, "onMouseMove");
    engine_->broadcastMouse(avm1::MouseEvent::Move);
}

void Player::mouseMove(QPointF pos) {
    if (movie_->version < 9) resetHighlight();
    // What the focus rolled over stays so until the mouse really moves.
    if (!lastMouseView_ || *lastMouseView_ != pos) hoverFromFocus_ = false;
    trackMouse(pos, true);
    lastMouseView_ = pos;
    if (!hoverFromFocus_) hover(pos);
    runQueuedActions();
    afterChange();
}

void Player::hover(QPointF pos) {
    Hit hit = buttonAt(pos);
    uint64_t under = hit.button ? hit.button->serial : 0;
    using namespace button_transition;
    if (mouseDown_) {
        if (pressedSerial_) {
            bool inside = under == pressedSerial_;
            if (inside != pressedInside_) {
                pressedInside_ = inside;
                buttonTransition(pressedSerial_, inside ? 2 : 1, inside ? kOutDownToOverDown : kOverDownToOutDown);
            }
        }
    } else if (under != hoverSerial_) {
        // A disabled button keeps the state it had until it is enabled again.
        if (const Instance* hovered = hoverSerial_ ? instanceById(hoverSerial_) : nullptr; hovered && !hovered->enabled)
            return;
        if (hoverSerial_) buttonTransition(hoverSerial_, 0, kOverUpToIdle);
        if (under) buttonTransition(under, 1, kIdleToOverUp);
        hoverSerial_ = under;
    }
}

void Player::mousePress(QPointF pos) {
    mouseMove(pos);
    resetHighlight();
    handlingClick_ = true;
    mouseDown_ = true;
    setMouseButtonDown(1, true);
    if (engine_) {
        mouseEventToClips(clip_event::kMouseDown, "onMouseDown");
        engine_->broadcastMouse(avm1::MouseEvent::Down);
        runQueuedActions();
    }
    pressedSerial_ = hoverSerial_;
    pressedInside_ = true;
    if (pressedSerial_) buttonTransition(pressedSerial_, 2, button_transition::kOverUpToOverDown);
    // The click moves the focus after the press went to its target; the focus handlers
    // run at once, the press handlers after them.
    if (engine_) focusOnPress(pos);
    runQueuedActions();
    handlingClick_ = false;
    afterChange();
}

void Player::otherMouseButton(QPointF pos, bool right) {
    if (right && movie_->version < 9) resetHighlight();
    trackMouse(pos, true);
    lastMouseView_ = pos;
    hover(pos);
    runQueuedActions();
    afterChange();
}

void Player::setMouseButtonDown(int keyCode, bool down) {
    auto it = std::find(keysDown_.begin(), keysDown_.end(), keyCode);
    if (down && it == keysDown_.end()) keysDown_.push_back(keyCode);
    if (!down && it != keysDown_.end()) keysDown_.erase(it);
}

void Player::mouseRelease(QPointF pos) {
    using namespace button_transition;
    if (movie_->version < 9) resetHighlight();
    trackMouse(pos, true);
    Hit hit = buttonAt(pos);
    uint64_t under = hit.button ? hit.button->serial : 0;
    mouseDown_ = false;
    selectingSerial_ = 0;
    setMouseButtonDown(1, false);
    handlingClick_ = true;
    if (engine_) {
        mouseEventToClips(clip_event::kMouseUp, "onMouseUp");
        engine_->broadcastMouse(avm1::MouseEvent::Up);
    }
    if (pressedSerial_) {
        if (under == pressedSerial_) buttonTransition(pressedSerial_, 1, kOverDownToOverUp);
        else buttonTransition(pressedSerial_, 0, kOutDownToIdle);
    }
    pressedSerial_ = 0;
    hoverSerial_ = under == hoverSerial_ ? hoverSerial_ : 0;
    runQueuedActions();
    handlingClick_ = false;
    afterChange();
    mouseMove(pos);
}

namespace {

// Button conditions number keys their own way: 1-19 for the special keys, else the character.
uint8_t buttonKeyCode(int code, char16_t character) {
    switch (code) {
        case 37: return 1;   // left
        case 39: return 2;   // right
        case 36: return 3;   // home
        case 35: return 4;   // end
        case 45: return 5;   // insert
        case 46: return 6;   // delete
        case 8: return 8;    // backspace
        case 13: return 13;  // enter
        case 38: return 14;  // up
        case 40: return 15;  // down
        case 33: return 16;  // page up
        case 34: return 17;  // page down
        case 9: return 18;   // tab
        case 27: return 19;  // escape
        default: break;
    }
    return character >= 32 && character < 127 ? uint8_t(character) : 0;
}

void collectKeyButtons(const std::shared_ptr<TimelineState>& owner, const std::map<int, std::unique_ptr<Instance>>& list,
                       uint8_t key, int nesting, std::vector<std::pair<std::shared_ptr<TimelineState>, const ButtonCondition*>>& out) {
    if (nesting > kMaxNesting) return;
    for (const auto& [depth, inst] : list) {
        if (inst->isButton()) {
            if (!inst->visible) continue;  // a hidden button hears no keys
            for (const ButtonCondition& c : std::get<ButtonDef>(*inst->character).actions)
                if (c.keyCode == key) out.emplace_back(owner, &c);
        } else if (inst->sprite) {
            collectKeyButtons(inst->sprite, inst->sprite->list, key, nesting + 1, out);
        }
    }
}

}  // namespace

// The button or clip with the focus hears each key before the Key listeners do.
void Player::keyToFocused(const char* handler) {
    const Instance* focused = focusSerial_ ? instanceById(focusSerial_) : nullptr;
    if (focused && (focused->isButton() || focused->isClip())) engine_->callHandler(focusSerial_, handler);
}

void Player::keyDown(int code, char16_t character) {
    if (std::find(keysDown_.begin(), keysDown_.end(), code) == keysDown_.end()) keysDown_.push_back(code);
    lastKeyCode_ = code;
    lastKeyAscii_ = character;
    const uint8_t key = buttonKeyCode(code, character);
    if (engine_) {
        keyToFocused("onKeyDown");
        engine_->broadcastKey(avm1::KeyEvent::Down);
        mouseEventToClips(clip_event::kKeyDown, nullptr);
        if (key) {
            std::vector<uint64_t> clips;
            for (const auto& [serial, inst] : registry_->live)
                if (inst->clipActions) clips.push_back(serial);
            std::sort(clips.begin(), clips.end(), std::greater<>());
            for (uint64_t serial : clips)
                for (const ClipAction& a : *instanceById(serial)->clipActions)
                    if ((a.events & clip_event::kKeyPress) && a.keyCode == key) queueScript({serial, a.code, nullptr, false});
        }
    }
    bool keyPressTaken = false;
    if (key) {
        std::vector<std::pair<std::shared_ptr<TimelineState>, const ButtonCondition*>> hits;
        collectKeyButtons(root_, root_->list, key, 0, hits);
        keyPressTaken = !hits.empty();
        for (auto& [owner, condition] : hits) {
            if (engine_) queueScript({owner->ownerSerial, condition->code, nullptr, false});
            else actionQueue_.push_back({owner, condition->actions});
        }
    }
    // A button's key handler takes precedence over moving the focus.
    if (engine_ && code == 9 && !keyPressTaken)
        cycleFocus(std::find(keysDown_.begin(), keysDown_.end(), 16) != keysDown_.end());
    runQueuedActions();
    afterChange();
}

void Player::keyUp(int code, char16_t character) {
    std::erase(keysDown_, code);
    lastKeyCode_ = code;
    lastKeyAscii_ = character;
    if (engine_) {
        keyToFocused("onKeyUp");
        engine_->broadcastKey(avm1::KeyEvent::Up);
        mouseEventToClips(clip_event::kKeyUp, nullptr);
    }
    runQueuedActions();
    afterChange();
}

void Player::mouseLeave() {
    if (hoverSerial_ && !mouseDown_) buttonTransition(hoverSerial_, 0, button_transition::kOverUpToIdle);
    hoverSerial_ = 0;
    // The pointer is nowhere over the movie now: frames to come must not roll it over again.
    lastMouseView_.reset();
    runQueuedActions();
    afterChange();
}

// ---- View ------------------------------------------------------------------------------------

void Player::setQuality(Quality q) {
    if (quality_ == q) return;
    quality_ = q;
    emit needsRepaint();
}

void Player::setViewSize(QSize size) { viewSize_ = size; }

QTransform Player::rootToView() const { return rootProps_->matrix * viewTransform(); }

QTransform Player::viewTransform() const {
    const QRectF stage = movie_->stage;
    double w = std::max(1, viewSize_.width()), h = std::max(1, viewSize_.height());
    double scale = std::min(w * 20 / stage.width(), h * 20 / stage.height());
    double ox = (w - stage.width() / 20 * scale) / 2, oy = (h - stage.height() / 20 * scale) / 2;
    QTransform fit = QTransform::fromTranslate(-stage.left(), -stage.top()) *
                     QTransform::fromScale(scale / 20, scale / 20) * QTransform::fromTranslate(ox, oy);
    return fit * zoom_;
}

double Player::zoom() const { return std::sqrt(std::fabs(zoom_.determinant())); }

void Player::zoomIn(QPointF around) {
    zoom_ = zoom_ * QTransform::fromTranslate(-around.x(), -around.y()) * QTransform::fromScale(2, 2) *
            QTransform::fromTranslate(around.x(), around.y());
    emit needsRepaint();
}

void Player::zoomOut() {
    QPointF centre(viewSize_.width() / 2.0, viewSize_.height() / 2.0);
    zoom_ = zoom_ * QTransform::fromTranslate(-centre.x(), -centre.y()) * QTransform::fromScale(0.5, 0.5) *
            QTransform::fromTranslate(centre.x(), centre.y());
    if (zoom() <= 1.0001) zoom_.reset();
    emit needsRepaint();
}

void Player::showAll() {
    zoom_.reset();
    emit needsRepaint();
}

namespace {

void appendList(QByteArray& key, const std::map<int, std::unique_ptr<Instance>>& list, int nesting) {
    if (nesting > kMaxNesting) return;
    auto put = [&key](const auto& value) { key.append(reinterpret_cast<const char*>(&value), sizeof value); };
    put(int32_t(list.size()));
    for (const auto& [depth, inst] : list) {
        put(int32_t(depth));
        put(inst->id);
        const QTransform& m = inst->matrix;
        for (double v : {m.m11(), m.m12(), m.m21(), m.m22(), m.dx(), m.dy()}) put(v);
        put(inst->colorTransform);
        put(int32_t(inst->ratio));
        put(int32_t(inst->clipDepth));
        put(inst->visible);
        put(int32_t(inst->buttonState));
        detail::appendEffectsKey(key, *inst);
        if (const auto* field = inst->character ? std::get_if<EditTextDef>(inst->character) : nullptr) {
            put(qHash(field->text));
            put(int32_t(field->scroll));
        }
        if (inst->sprite) {
            put(int32_t(inst->sprite->frame));
            appendList(key, inst->sprite->list, nesting + 1);
        }
        if (!inst->buttonChildren.empty()) appendList(key, inst->buttonChildren, nesting + 1);
    }
}

}  // namespace

QByteArray Player::pictureKey() const {
    QByteArray key;
    key.reserve(256);
    auto put = [&key](const auto& value) { key.append(reinterpret_cast<const char*>(&value), sizeof value); };
    put(int32_t(quality_));
    put(int32_t(viewSize_.width()));
    put(int32_t(viewSize_.height()));
    for (double v : {zoom_.m11(), zoom_.m22(), zoom_.dx(), zoom_.dy()}) put(v);
    appendList(key, root_->list, 0);
    put(highlight_ == FocusHighlight::Shown ? focusSerial_ : uint64_t(0));
    // The focused field draws its selection.
    if (scriptHost_) {
        put(focusSerial_);
        put(int32_t(scriptHost_->selectionBegin()));
        put(int32_t(scriptHost_->selectionEnd()));
    }
    return key;
}

QImage Player::renderImage(QSize size) {
    QSize old = viewSize_;
    viewSize_ = size;
    // Drawn on a canvas kept for the next frame, then handed out as a plain copy: an image
    // once painted on keeps its paint engine and the rasterizer's buffers as long as it
    // lives, several kilobytes for every picture a control keeps.
    if (canvas_.size() != size) canvas_ = QImage(size, QImage::Format_ARGB32_Premultiplied);
    {
        QPainter painter(&canvas_);
        render(painter);
    }
    viewSize_ = old;
    return canvas_.copy();
}

}  // namespace swf
