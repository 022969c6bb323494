// The player's scripting side: the frame order of scripts and clip events, the engine's
// questions about the display tree (ScriptHost) and the drawing API's shapes.
#include "swf/script_host.h"

#include <QUrl>
#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "swf/avm1/avm1.h"
#include "swf/device_font.h"
#include "swf/instance.h"
#include "swf/parse_internal.h"
#include "swf/player.h"
#include "swf/script_filters.h"

namespace swf {

namespace {

constexpr int kMaxScriptsPerStep = 100000;  // queued blocks run in one step, loops included
// Scripts place dynamic objects between these depths (as scripts number them).
constexpr int kMinScriptDepth = -16384;
constexpr int kMaxScriptDepth = 2130706428;
// What the original player reports for the bounds of an empty clip.
constexpr double kEmptyBounds = 6710886.35;

QString fromUtf8(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
std::string toUtf8(const QString& s) { return s.toUtf8().toStdString(); }

double degrees(double radians) { return radians * 180 / std::numbers::pi; }
double radians(double degrees) { return degrees * std::numbers::pi / 180; }

QColor rgbColor(uint32_t rgb, double alphaPercent) {
    QColor c(QRgb(rgb & 0xFFFFFF));
    c.setAlphaF(float(std::clamp(std::isfinite(alphaPercent) ? alphaPercent : 100.0, 0.0, 100.0) / 100));
    return c;
}

std::string numberText(double v) {
    if (std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 1e15) return std::to_string(int64_t(v));
    return QString::number(v, 'g', 15).toStdString();
}

// Numbers as scripts print them, infinities and NaN included.
std::string scriptNumberText(double v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
    return numberText(v);
}

bool truthy(std::string_view v) { return v == "true" || v == "1"; }

}  // namespace

// ---- Drawing ----------------------------------------------------------------------------------

void Drawing::rebuild() {
    shape = ShapeDef{};
    QRectF bounds;
    auto add = [&](const QPainterPath& path, const std::optional<FillStyle>& fill, const std::optional<LineStyle>& line) {
        if (path.isEmpty()) return;
        ShapeLayer layer;
        if (fill) {
            layer.fills.push_back(*fill);
            layer.fillPaths.emplace_back(0, path);
            bounds = bounds.united(path.boundingRect());
        }
        if (line) {
            layer.lines.push_back(*line);
            layer.linePaths.emplace_back(0, path);
            const double half = line->width / 2;
            bounds = bounds.united(path.boundingRect().adjusted(-half, -half, half, half));
        }
        shape.layers.push_back(std::move(layer));
    };
    for (const Part& part : parts) add(part.path, part.fill, part.line);
    // What is open still shows: the fill as if closed, the strokes so far.
    if (fill && fillPath.elementCount() > 1) {
        QPainterPath closed = fillPath;
        closed.closeSubpath();
        add(closed, fill, std::nullopt);
    }
    if (line && linePath.elementCount() > 1) add(linePath, std::nullopt, line);
    shape.bounds = bounds;
}

// ---- Scheduling -------------------------------------------------------------------------------

namespace {
double scriptTimeBudgetSeconds = avm1::Limits{}.maxRunSeconds;
}  // namespace

void Player::setScriptTimeBudget(double seconds) { scriptTimeBudgetSeconds = seconds; }

void Player::startScripting() {
    scriptHost_ = std::make_unique<ScriptHost>(*this);
    avm1::Limits limits;
    limits.maxRunSeconds = scriptTimeBudgetSeconds;
    // A movie may ask for less recursion than the engine allows, never for more.
    if (movie_->maxRecursionDepth > 0) limits.maxCallDepth = std::min(limits.maxCallDepth, movie_->maxRecursionDepth);
    engine_ = std::make_unique<avm1::Engine>(*scriptHost_, movie_->version, limits);
    engine_->setTraceSink([this](std::string_view line) {
        if (traceHandler_) traceHandler_(QString::fromUtf8(line.data(), qsizetype(line.size())));
    });
}

bool Player::scriptsRunning() const { return engine_ && !engine_->scriptsDisabled(); }

Instance* Player::instanceById(uint64_t id) const {
    auto it = registry_->live.find(id);
    return it == registry_->live.end() ? nullptr : it->second;
}

TimelineState* Player::timelineById(uint64_t id) const {
    if (id == kRootSerial) return root_.get();
    Instance* inst = instanceById(id);
    return inst && inst->sprite ? inst->sprite.get() : nullptr;
}

void Player::queueScript(QueuedScript script, bool early) {
    if (!script.code && !script.handler) return;
    (early ? earlyScripts_ : scripts_).push_back(std::move(script));
}

void Player::queueConstruct(QueuedScript script) {
    if (!script.code && !script.handler && !script.construct) return;
    constructScripts_.push_back(std::move(script));
}

void Player::queueClipEvent(const Instance& inst, uint32_t event, const char* handler, bool early) {
    if (inst.clipActions)
        for (const ClipAction& action : *inst.clipActions)
            if (action.events & event) queueScript({inst.serial, action.code, nullptr, event == clip_event::kUnload}, early);
    if (handler) queueScript({inst.serial, nullptr, handler, event == clip_event::kUnload}, early);
}

void Player::queueInitAction(const std::shared_ptr<TimelineState>& tl, int frame, const InitActionCommand& init) {
    // Once per movie and block, before the frame's own actions, with the root as target.
    const auto& frames = tl->timeline->frames;
    if (tl->initActionsRun.size() < frames.size()) tl->initActionsRun.resize(frames.size(), false);
    if (tl->initActionsRun[size_t(frame)]) return;
    queueScript({kRootSerial, init.code, nullptr, false}, true);
}

void Player::queueFrameScripts(const std::shared_ptr<TimelineState>& tl, int frame) {
    const auto& frames = tl->timeline->frames;
    if (frame < 0 || frame >= int(frames.size())) return;
    for (const FrameCommand& command : frames[size_t(frame)].commands) {
        if (auto* init = std::get_if<InitActionCommand>(&command)) queueInitAction(tl, frame, *init);
        else if (auto* action = std::get_if<ActionCommand>(&command)) queueScript({tl->ownerSerial, action->code, nullptr, false});
    }
    markInitActionsRun(tl, frame);
}

void Player::markInitActionsRun(const std::shared_ptr<TimelineState>& tl, int frame) {
    if (frame >= 0 && size_t(frame) < tl->initActionsRun.size()) tl->initActionsRun[size_t(frame)] = true;
}

void Player::placedByTimeline(Instance& inst, bool constructNow) {
    // Initialize and construct events come before the frame's scripts, load after. A
    // registered class's constructor runs after the construct events, so that the init
    // actions of the frame that placed the clip can register the class first. A clip a
    // script makes is constructed at once, but after its first frame placed its children.
    queueClipEvent(inst, clip_event::kInitialize, nullptr, true);
    if (inst.clipActions)
        for (const ClipAction& action : *inst.clipActions)
            if (action.events & clip_event::kConstruct) queueConstruct({inst.serial, action.code, nullptr, false});
    if (!constructNow) queueConstruct({inst.serial, nullptr, nullptr, false, true});
    if (inst.sprite) {
        queueClipEvent(inst, clip_event::kLoad, "onLoad");
        if (inst.sprite->timeline->frameCount() > 0) runFrame(inst.sprite, 0, true, inst.nesting + 1);
        inst.loaded = true;
    }
    if (constructNow) engine_->displayObjectCreated(inst.serial);
    // A text field bound to a variable shows its value, or gives the variable its text
    // when it has none yet.
    if (auto* field = inst.character ? std::get_if<EditTextDef>(inst.character) : nullptr; field && !field->variableName.isEmpty()) {
        const std::string name = toUtf8(field->variableName);
        const QString& own = field->html ? field->initialText : field->text;
        if (!engine_->getVariable(inst.parentSerial, name) && !own.isEmpty())
            engine_->setVariable(inst.parentSerial, name, toUtf8(field->html ? field->initialText : field->text));
        updateBoundTextFields();
    }
}

void Player::removing(Instance& inst) {
    if (inst.nesting > kMaxNesting) return;
    engine_->displayObjectLeaving(inst.serial);
    // Children first, then the clip itself, as the original player unloads.
    if (inst.sprite)
        for (auto& [depth, child] : inst.sprite->list) removing(*child);
    for (auto& [depth, child] : inst.buttonChildren) removing(*child);
    if (inst.sprite) queueClipEvent(inst, clip_event::kUnload, "onUnload");
    if (dragSerial_ == inst.serial) dragSerial_ = 0;
}

void Player::advanceScripted() {
    // Every clip, newest first: enterFrame for those whose first frame is behind them,
    // then the next frame of its timeline. Clips made meanwhile wait for the next frame.
    std::vector<uint64_t> clips;
    clips.reserve(registry_->live.size() + 1);
    for (const auto& [serial, inst] : registry_->live)
        if (inst->sprite) clips.push_back(serial);
    std::sort(clips.begin(), clips.end(), std::greater<>());
    clips.push_back(kRootSerial);
    for (uint64_t serial : clips) {
        if (serial == kRootSerial) {
            if (root_->frame >= 0) queueScript({kRootSerial, nullptr, "onEnterFrame", false});
            nextTimelineFrame(root_, true, 0);
            continue;
        }
        Instance* inst = instanceById(serial);
        if (!inst || !inst->sprite) continue;
        if (inst->loaded) queueClipEvent(*inst, clip_event::kEnterFrame, "onEnterFrame");
        nextTimelineFrame(inst->sprite, false, inst->nesting + 1);
    }
}

void Player::runScripts() {
    int budget = kMaxScriptsPerStep;
    while (budget-- > 0 && (!earlyScripts_.empty() || !constructScripts_.empty() || !scripts_.empty())) {
        // Initialize events and init actions first, then construct events, then the rest.
        auto& queue = !earlyScripts_.empty() ? earlyScripts_ : !constructScripts_.empty() ? constructScripts_ : scripts_;
        QueuedScript next = std::move(queue.front());
        queue.pop_front();
        if (!next.evenIfRemoved && next.target != kRootSerial && !instanceById(next.target)) continue;
        if (next.construct) engine_->displayObjectCreated(next.target);
        else if (next.code) engine_->runActions(*next.code, next.target);
        else if (next.handler) engine_->callHandler(next.target, next.handler);
    }
    earlyScripts_.clear();
    constructScripts_.clear();
    scripts_.clear();
    afterScripts();
}

void Player::afterScripts() {
    updateBoundTextFields();
    for (uint64_t serial : registry_->removed) engine_->displayObjectRemoved(serial);
    registry_->removed.clear();
}

void Player::updateBoundTextFields() {
    for (const auto& [serial, inst] : registry_->live) {
        if (!inst->character) continue;
        auto* field = std::get_if<EditTextDef>(inst->character);
        if (!field || field->variableName.isEmpty()) continue;
        auto value = engine_->getVariable(inst->parentSerial, toUtf8(field->variableName));
        if (!value) continue;
        const QString text = QString::fromStdString(*value);
        if (text == (field->html ? field->initialText : field->text)) continue;
        if (!inst->ownCharacter) {
            inst->ownCharacter = std::make_unique<Character>(*field);
            inst->character = inst->ownCharacter.get();
        }
        detail::setEditTextContent(std::get<EditTextDef>(*inst->ownCharacter), text, field->html, *movie_);
        dirty_ = true;
    }
}

void Player::mouseEventToClips(uint32_t event, const char* handler) {
    if (!engine_) return;
    std::vector<uint64_t> clips;
    for (const auto& [serial, inst] : registry_->live)
        if (inst->sprite) clips.push_back(serial);
    std::sort(clips.begin(), clips.end(), std::greater<>());
    for (uint64_t serial : clips)
        if (Instance* inst = instanceById(serial)) queueClipEvent(*inst, event, handler);
}

QPainterPath Player::drawingPathOf(const Instance& inst) const {
    QPainterPath area;
    if (!inst.drawing) return area;
    for (const ShapeLayer& layer : inst.drawing->shape.layers) {
        for (const auto& [index, path] : layer.fillPaths) area.addPath(path);
        for (const auto& [index, path] : layer.linePaths) {
            QPainterPathStroker stroker;
            stroker.setWidth(std::max(20.0f, layer.lines[size_t(index)].width));
            area.addPath(stroker.createStroke(path));
        }
    }
    return area;
}

// ---- ScriptHost: lookups ------------------------------------------------------------------------

namespace {

struct Node {
    Instance* inst = nullptr;        // null for the root
    TimelineState* timeline = nullptr;
    bool root = false;
    explicit operator bool() const { return root || inst; }
};

}  // namespace

// Player's privates are reached through ScriptHost's friendship; these helpers keep it short.
struct HostAccess {
    static Node node(Player& p, avm1::DisplayId id) {
        Node n;
        if (id == kRootSerial) {
            n.root = true;
            n.timeline = p.root_.get();
            return n;
        }
        n.inst = p.instanceById(id);
        if (n.inst) n.timeline = n.inst->sprite.get();
        return n;
    }
    static std::map<int, std::unique_ptr<Instance>>* listOf(Player& p, avm1::DisplayId id) {
        if (id == kRootSerial) return &p.root_->list;
        Instance* inst = p.instanceById(id);
        if (!inst) return nullptr;
        if (inst->sprite) return &inst->sprite->list;
        if (inst->isButton()) return &inst->buttonChildren;
        return nullptr;
    }
    static std::shared_ptr<TimelineState> timeline(Player& p, avm1::DisplayId id) {
        if (id == kRootSerial) return p.root_;
        Instance* inst = p.instanceById(id);
        return inst ? inst->sprite : nullptr;
    }
    // The list holding `inst` and its key there.
    static std::map<int, std::unique_ptr<Instance>>* placeOf(Player& p, const Instance& inst, int& key) {
        auto* list = listOf(p, inst.parentSerial);
        if (!list) return nullptr;
        for (auto& [k, child] : *list)
            if (child.get() == &inst) {
                key = k;
                return list;
            }
        return nullptr;
    }
    // Puts a new instance into `parent`'s list at a script depth, replacing what stood there.
    static Instance* placeDynamic(Player& p, avm1::DisplayId parent, int depth, std::unique_ptr<Instance> inst) {
        auto* list = HostAccess::listOf(p, parent);
        if (!list || !inst) return nullptr;
        const int key = depth + kScriptDepthOffset;
        if (auto old = list->find(key); old != list->end()) {
            p.removing(*old->second);
            list->erase(old);
        }
        inst->parentSerial = parent;
        inst->dynamic = true;
        Instance* placed = inst.get();
        (*list)[key] = std::move(inst);
        p.dirty_ = true;
        p.placedByTimeline(*placed, true);
        return placed;
    }
    // Object space (twips) to stage twips, the root's own transform included.
    static QTransform toStage(Player& p, avm1::DisplayId id) {
        QTransform m;
        for (int guard = 0; id != kRootSerial && guard <= kMaxNesting + 2; ++guard) {
            Instance* inst = p.instanceById(id);
            if (!inst) return m;
            m = m * inst->matrix;
            id = inst->parentSerial;
        }
        return m * p.rootProps_->matrix;
    }
    // The display properties of an object: its instance, or the root's own.
    static Instance* props(Player& p, const Node& n) { return n.inst ? n.inst : n.root ? p.rootProps_.get() : nullptr; }
};

namespace {

// Local bounds of a character as drawn (twips), without its children's transforms applied.
QRectF boundsOf(const Movie& movie, const Instance& inst, const QTransform& t, bool strokes, int nesting);

QRectF listBounds(const Movie& movie, const std::map<int, std::unique_ptr<Instance>>& list, const QTransform& t,
                  bool strokes, int nesting) {
    QRectF r;
    if (nesting > kMaxNesting) return r;
    for (const auto& [depth, child] : list) {
        QRectF b = boundsOf(movie, *child, child->matrix * t, strokes, nesting + 1);
        if (!b.isNull()) r = r.isNull() ? b : r.united(b);
    }
    return r;
}

QRectF shapeBounds(const ShapeDef& shape, const QTransform& t, bool strokes) {
    if (strokes) return shape.bounds.isNull() ? QRectF() : t.mapRect(shape.bounds);
    QRectF r;
    for (const ShapeLayer& layer : shape.layers) {
        for (const auto& [i, path] : layer.fillPaths) r = r.united(t.map(path).boundingRect());
        for (const auto& [i, path] : layer.linePaths) r = r.united(t.map(path).boundingRect());
    }
    return r;
}

QRectF boundsOf(const Movie& movie, const Instance& inst, const QTransform& t, bool strokes, int nesting) {
    QRectF r;
    auto unite = [&](const QRectF& b) {
        if (!b.isNull() && !b.isEmpty()) r = r.isNull() ? b : r.united(b);
        else if (!b.isNull() && r.isNull()) r = b;
    };
    // A scroll rectangle is the object's whole extent, whatever it shows.
    if (inst.scrollRect) return t.mapRect(QRectF(QPointF(0, 0), inst.scrollRect->size()));
    if (inst.drawing) unite(shapeBounds(inst.drawing->shape, t, strokes));
    if (!inst.character) return r;
    std::visit(
        [&](const auto& def) {
            using T = std::decay_t<decltype(def)>;
            if constexpr (std::is_same_v<T, ShapeDef>) unite(shapeBounds(def, t, strokes));
            // A morph's bounds stay those of its start shape, whatever its ratio.
            else if constexpr (std::is_same_v<T, MorphShapeDef>) unite(shapeBounds(def.at(0), t, strokes));
            else if constexpr (std::is_same_v<T, TextDef>) unite(t.mapRect(def.matrix.mapRect(def.bounds)));
            else if constexpr (std::is_same_v<T, EditTextDef>) unite(t.mapRect(def.bounds));
            else if constexpr (std::is_same_v<T, BitmapDef>)
                unite(t.mapRect(QRectF(0, 0, def.image.width() * 20.0, def.image.height() * 20.0)));
            else if constexpr (std::is_same_v<T, SpriteDef>) {
                if (inst.sprite) unite(listBounds(movie, inst.sprite->list, t, strokes, nesting));
            } else if constexpr (std::is_same_v<T, ButtonDef>)
                unite(listBounds(movie, inst.buttonChildren, t, strokes, nesting));
        },
        *inst.character);
    return r;
}

}  // namespace

// ---- ScriptHost: the display tree --------------------------------------------------------------

namespace {

// Shapes, morphs, static text and bitmaps have no script object: their instance names
// stand for the clip that holds them.
bool scriptVisible(const Instance& inst) {
    if (!inst.character) return false;
    return inst.sprite || std::holds_alternative<ButtonDef>(*inst.character) ||
           std::holds_alternative<EditTextDef>(*inst.character) ||
           std::holds_alternative<media::VideoStreamDef>(*inst.character);
}

}  // namespace

avm1::DisplayId ScriptHost::rootOf(avm1::DisplayId) { return kRootSerial; }
avm1::DisplayId ScriptHost::level(int number) { return number == 0 ? kRootSerial : avm1::kNoDisplay; }

avm1::DisplayKind ScriptHost::kind(avm1::DisplayId object) {
    Node n = HostAccess::node(player_, object);
    if (!n) return avm1::DisplayKind::None;
    if (n.root || n.inst->sprite) return avm1::DisplayKind::MovieClip;
    if (n.inst->isButton()) return avm1::DisplayKind::Button;
    if (n.inst->character && std::holds_alternative<EditTextDef>(*n.inst->character)) return avm1::DisplayKind::TextField;
    return avm1::DisplayKind::Other;
}

std::string ScriptHost::name(avm1::DisplayId object) {
    Node n = HostAccess::node(player_, object);
    const Instance* props = HostAccess::props(player_, n);
    return props ? toUtf8(props->name) : std::string();
}

void ScriptHost::setName(avm1::DisplayId object, std::string_view name) {
    // A level takes a name too; its path stays _levelN.
    Node n = HostAccess::node(player_, object);
    if (Instance* props = HostAccess::props(player_, n)) props->name = fromUtf8(name);
}

avm1::DisplayId ScriptHost::parent(avm1::DisplayId object) {
    Node n = HostAccess::node(player_, object);
    return n.inst ? n.inst->parentSerial : avm1::kNoDisplay;
}

avm1::DisplayId ScriptHost::childByName(avm1::DisplayId parent, std::string_view name, bool caseSensitive) {
    auto* list = HostAccess::listOf(player_, parent);
    if (!list) return avm1::kNoDisplay;
    const QString wanted = fromUtf8(name);
    const auto cs = caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    // The lowest depth wins when two children share a name.
    for (const auto& [depth, child] : *list)
        if (child->character && !child->name.isEmpty() && child->name.compare(wanted, cs) == 0)
            return scriptVisible(*child) ? child->serial : parent;
    return avm1::kNoDisplay;
}

std::vector<avm1::DisplayId> ScriptHost::children(avm1::DisplayId parent) {
    std::vector<avm1::DisplayId> out;
    if (auto* list = HostAccess::listOf(player_, parent))
        for (const auto& [depth, child] : *list)
            if (scriptVisible(*child) || (child->character && !child->name.isEmpty())) out.push_back(child->serial);
    return out;
}

int ScriptHost::depth(avm1::DisplayId object) {
    Node n = HostAccess::node(player_, object);
    if (!n.inst) return n.root ? -kScriptDepthOffset : 0;
    int key = 0;
    return HostAccess::placeOf(player_, *n.inst, key) ? key - kScriptDepthOffset : 0;
}

std::string ScriptHost::symbolName(avm1::DisplayId object) {
    Node n = HostAccess::node(player_, object);
    if (!n.inst || !n.inst->id) return {};
    for (const auto& [name, id] : player_.movie_->exports)
        if (id == n.inst->id) return toUtf8(name);
    return {};
}

int ScriptHost::swfVersion(avm1::DisplayId object) {
    const Instance* inst = object == kRootSerial ? nullptr : player_.instanceById(object);
    return inst && inst->showsLoadedPicture ? -1 : player_.movie_->version;
}

// ---- ScriptHost: properties ---------------------------------------------------------------------

namespace {

// A number as a 32-bit integer, the fraction cut off; out of range (or infinite) it is the
// lowest one.
int32_t toInt32Saturating(double v) {
    if (!(v > -2147483649.0 && v < 2147483648.0)) return std::numeric_limits<int32_t>::min();
    return int32_t(std::trunc(v));
}

Instance::Decomposed decompose(const Instance& inst) {
    if (inst.decomposed) return *inst.decomposed;
    const QTransform& m = inst.matrix;
    // Scales are lengths of the axes; each axis keeps its own angle, so a flip or a
    // skew shows in the angles, not in negative scales.
    Instance::Decomposed d;
    d.xScale = std::hypot(m.m11(), m.m12());
    d.yScale = std::hypot(m.m21(), m.m22());
    d.rotation = degrees(std::atan2(m.m12(), m.m11()));
    d.skewRotation = degrees(std::atan2(-m.m21(), m.m22()));
    return d;
}

void recompose(Instance& inst, const Instance::Decomposed& d) {
    // Scripts may set infinite scales or turn by an infinite angle; they read those back,
    // but the drawn matrix only takes finite numbers (the object then collapses).
    auto finite = [](double v) { return std::isfinite(v) ? v : 0.0; };
    const double rx = radians(d.rotation), ry = radians(d.skewRotation);
    inst.matrix = QTransform(finite(d.xScale * std::cos(rx)), finite(d.xScale * std::sin(rx)),
                             finite(-d.yScale * std::sin(ry)), finite(d.yScale * std::cos(ry)), inst.matrix.dx(),
                             inst.matrix.dy());
    inst.decomposed = d;
}

}  // namespace

double ScriptHost::property(avm1::DisplayId object, avm1::Property which) {
    using P = avm1::Property;
    Node n = HostAccess::node(player_, object);
    if (!n) return 0;
    Instance* inst = HostAccess::props(player_, n);
    switch (which) {
        case P::X: return inst ? inst->matrix.dx() / 20 : 0;
        case P::Y: return inst ? inst->matrix.dy() / 20 : 0;
        case P::XScale: return inst ? decompose(*inst).xScale * 100 : 100;
        case P::YScale: return inst ? decompose(*inst).yScale * 100 : 100;
        case P::Rotation: return inst ? decompose(*inst).rotation : 0;
        case P::CurrentFrame: return currentFrame(object);
        case P::TotalFrames: return totalFrames(object);
        case P::FramesLoaded: return framesLoaded(object);
        case P::Alpha: return inst ? double(inst->colorTransform.mul[3]) * 100 : 100;
        case P::Visible: return inst ? inst->visible : 1;
        case P::Width:
        case P::Height: {
            avm1::Rect b = bounds(object, n.inst ? n.inst->parentSerial : avm1::DisplayId(kRootSerial), true);
            if (n.root && b.xMin != kEmptyBounds) {
                // The root's size is on the stage, through its own transform.
                const QRectF r = player_.rootProps_->matrix.mapRect(
                    QRectF(QPointF(b.xMin * 20, b.yMin * 20), QPointF(b.xMax * 20, b.yMax * 20)));
                b = {std::round(r.left()) / 20, std::round(r.top()) / 20, std::round(r.right()) / 20,
                     std::round(r.bottom()) / 20};
            }
            if (b.xMin == kEmptyBounds) return 0;
            return which == P::Width ? b.xMax - b.xMin : b.yMax - b.yMin;
        }
        case P::HighQuality: return player_.quality_ == Quality::Low ? 0 : qualityBest_ ? 2 : 1;
        case P::FocusRect: return 1;
        case P::SoundBufTime: return soundBufferSeconds_;
        case P::XMouse:
        case P::YMouse: {
            avm1::Point p = localMouse(object);
            return which == P::XMouse ? p.x : p.y;
        }
        default: return 0;
    }
}

void ScriptHost::setProperty(avm1::DisplayId object, avm1::Property which, double value) {
    using P = avm1::Property;
    Node n = HostAccess::node(player_, object);
    Instance* props = HostAccess::props(player_, n);
    if (!props || std::isnan(value)) return;
    Instance& inst = *props;
    player_.dirty_ = true;
    if (which == P::X || which == P::Y || which == P::XScale || which == P::YScale || which == P::Rotation ||
        which == P::Width || which == P::Height || which == P::Alpha)
        inst.transformedByScript = true;
    // Positions are whole twips in 32 bits (the fraction cut off): one out of that range
    // (infinities too) ends up as the lowest, as the original player's conversion leaves it.
    auto clampTwips = [](double px) { return double(toInt32Saturating(px * 20)); };
    switch (which) {
        case P::X: {
            const QTransform& m = inst.matrix;
            inst.matrix = QTransform(m.m11(), m.m12(), m.m21(), m.m22(), clampTwips(value), m.dy());
            break;
        }
        case P::Y: {
            const QTransform& m = inst.matrix;
            inst.matrix = QTransform(m.m11(), m.m12(), m.m21(), m.m22(), m.dx(), clampTwips(value));
            break;
        }
        case P::XScale:
        case P::YScale: {
            auto d = decompose(inst);
            (which == P::XScale ? d.xScale : d.yScale) = value / 100;
            recompose(inst, d);
            break;
        }
        case P::Rotation: {
            auto d = decompose(inst);
            double r = std::fmod(value, 360.0);  // an infinite turn reads back as NaN
            if (r > 180) r -= 360;
            else if (r < -180) r += 360;
            if (std::isfinite(d.rotation) && std::isfinite(d.skewRotation) && std::isfinite(r))
                d.skewRotation += r - d.rotation;  // both axes turn together
            else
                d.skewRotation = r;
            d.rotation = r;
            recompose(inst, d);
            break;
        }
        case P::Alpha:
            // Kept as a colour transform multiplier in 256ths, the fraction cut off.
            inst.colorTransform.mul[3] =
                std::isfinite(value) ? float(std::clamp(std::trunc(value * 2.56), -32768.0, 32767.0) / 256) : 0.f;
            break;
        case P::Visible: inst.visible = value != 0; break;
        case P::Width:
        case P::Height: {
            if (!std::isfinite(value) || value < 0) return;
            auto d = decompose(inst);
            if (inst.character && std::holds_alternative<EditTextDef>(*inst.character)) {
                // A text field grows its box instead of scaling its text.
                if (!inst.ownCharacter) {
                    inst.ownCharacter = std::make_unique<Character>(*inst.character);
                    inst.character = inst.ownCharacter.get();
                }
                EditTextDef* f = &std::get<EditTextDef>(*inst.ownCharacter);
                const double scale = std::abs(which == P::Width ? d.xScale : d.yScale);
                if (scale <= 0) return;
                const double size = std::trunc(std::min(value * 20 / scale, 1e8));
                if (which == P::Width) f->bounds.setWidth(size);
                else f->bounds.setHeight(size);
                player_.dirty_ = true;
                break;
            }
            // The clip's own box (w0 x h0), turned by its rotation, is sized anew along the
            // asked axis; the other scale is chosen so that the other side keeps the size it
            // shows now (as measured, on whole twips).
            avm1::Rect own = bounds(object, avm1::kNoDisplay, true);
            if (own.xMin == kEmptyBounds) return;
            const double w0 = own.xMax - own.xMin, h0 = own.yMax - own.yMin;
            const double c = std::abs(std::cos(radians(d.rotation))), s = std::abs(std::sin(radians(d.rotation)));
            const double across = c * w0 + s * h0, down = c * h0 + s * w0;
            if (across <= 0 || down <= 0) return;
            if (which == P::Width) {
                d.yScale = std::copysign(property(object, P::Height) / down, d.yScale);
                d.xScale = value / across;
            } else {
                d.xScale = std::copysign(property(object, P::Width) / across, d.xScale);
                d.yScale = value / down;
            }
            recompose(inst, d);
            break;
        }
        case P::HighQuality:
            // 0 low, 2 and up best; anything else (negative numbers too) high.
            player_.setQuality(value == 0 ? Quality::Low : Quality::High);
            qualityBest_ = value >= 2;
            break;
        case P::SoundBufTime: soundBufferSeconds_ = toInt32Saturating(value); break;
        default: break;
    }
}

std::string ScriptHost::textProperty(avm1::DisplayId object, avm1::Property which) {
    using P = avm1::Property;
    Node n = HostAccess::node(player_, object);
    if (!n) return {};
    switch (which) {
        case P::Name: return n.inst ? toUtf8(n.inst->name) : std::string();
        case P::Target: {
            if (n.root) return "/";
            QStringList parts;
            avm1::DisplayId id = object;
            for (int guard = 0; id != kRootSerial && guard <= kMaxNesting + 2; ++guard) {
                Instance* inst = player_.instanceById(id);
                if (!inst) break;
                parts.prepend(inst->name);
                id = inst->parentSerial;
            }
            return toUtf8(QLatin1Char('/') + parts.join(QLatin1Char('/')));
        }
        case P::DropTarget: return {};
        case P::Url: return movieUrl(object);
        case P::Quality: return quality();
        default: return numberText(property(object, which));
    }
}

void ScriptHost::setTextProperty(avm1::DisplayId object, avm1::Property which, std::string_view value) {
    if (which == avm1::Property::Name) setName(object, value);
    else if (which == avm1::Property::Quality) setQuality(value);
}

avm1::Matrix ScriptHost::matrix(avm1::DisplayId object) {
    Instance* inst = HostAccess::props(player_, HostAccess::node(player_, object));
    if (!inst) return {};
    const QTransform& m = inst->matrix;
    return {m.m11(), m.m12(), m.m21(), m.m22(), m.dx() / 20, m.dy() / 20};
}

void ScriptHost::setMatrix(avm1::DisplayId object, const avm1::Matrix& m) {
    Instance* inst = HostAccess::props(player_, HostAccess::node(player_, object));
    if (!inst) return;
    for (double v : {m.a, m.b, m.c, m.d, m.tx, m.ty})
        if (!std::isfinite(v)) return;
    inst->matrix = QTransform(m.a, m.b, m.c, m.d, std::clamp(m.tx * 20, -2e9, 2e9), std::clamp(m.ty * 20, -2e9, 2e9));
    inst->decomposed.reset();
    inst->transformedByScript = true;
    player_.dirty_ = true;
}

avm1::ColorTransformValues ScriptHost::colorTransform(avm1::DisplayId object) {
    Instance* inst = HostAccess::props(player_, HostAccess::node(player_, object));
    if (!inst) return {};
    const ColorTransform& c = inst->colorTransform;
    return {c.mul[0], c.mul[1], c.mul[2], c.mul[3], c.add[0], c.add[1], c.add[2], c.add[3]};
}

void ScriptHost::setColorTransform(avm1::DisplayId object, const avm1::ColorTransformValues& ct) {
    Instance* inst = HostAccess::props(player_, HostAccess::node(player_, object));
    if (!inst) return;
    auto f = [](double v) { return std::isfinite(v) ? float(std::clamp(v, -1e6, 1e6)) : 0.0f; };
    ColorTransform& c = inst->colorTransform;
    c.mul[0] = f(ct.redMultiplier);
    c.mul[1] = f(ct.greenMultiplier);
    c.mul[2] = f(ct.blueMultiplier);
    c.mul[3] = f(ct.alphaMultiplier);
    c.add[0] = f(ct.redOffset);
    c.add[1] = f(ct.greenOffset);
    c.add[2] = f(ct.blueOffset);
    c.add[3] = f(ct.alphaOffset);
    inst->transformedByScript = true;
    player_.dirty_ = true;
}

namespace {

const char* const kBlendModeNames[] = {"normal", "normal", "layer", "multiply", "screen", "lighten", "darken",
                                       "difference", "add", "subtract", "invert", "alpha", "erase", "overlay",
                                       "hardlight"};

}  // namespace

std::optional<std::string> ScriptHost::setting(avm1::DisplayId object, std::string_view key) {
    if (key == "stageFocusRect") return std::string(player_.stageFocusRect_ ? "true" : "false");
    if (key == "tabIndex" && object == kRootSerial)
        return player_.rootTabIndex_ ? std::to_string(*player_.rootTabIndex_) : std::string();
    Node n = HostAccess::node(player_, object);
    if (key == "bytesTotal" && n) {
        // The whole file for a level's root, a clip's own tags otherwise; all of it is loaded.
        if (n.root) return numberText(double(player_.movie_->byteLength));
        auto* sprite = n.inst->character ? std::get_if<SpriteDef>(n.inst->character) : nullptr;
        return numberText(sprite && !n.inst->ownCharacter ? double(sprite->byteLength) : 0.0);
    }
    if (!n.inst) return std::nullopt;
    if (key == "blendMode") return std::string(kBlendModeNames[size_t(n.inst->blendMode)]);
    if (key == "cacheAsBitmap") return std::string(n.inst->cacheAsBitmap ? "true" : "false");
    if (key == "enabled") return std::string(n.inst->enabled ? "true" : "false");
    if (key == "tabIndex") return n.inst->tabIndex ? std::to_string(*n.inst->tabIndex) : std::string();
    if (key == "focusRect") return n.inst->focusRect ? std::string(*n.inst->focusRect ? "true" : "false") : std::string();
    if (key == "scrollRect") {
        if (!n.inst->scrollRect) return std::string();
        const QRectF& r = *n.inst->scrollRect;
        return numberText(r.x() / 20) + "," + numberText(r.y() / 20) + "," + numberText(r.width() / 20) + "," +
               numberText(r.height() / 20);
    }
    if (key == "opaqueBackground") {
        if (!n.inst->opaqueBackground) return std::string();
        return numberText(double(n.inst->opaqueBackground->rgb() & 0xFFFFFF));
    }
    return std::nullopt;
}

void ScriptHost::setSetting(avm1::DisplayId object, std::string_view key, std::string_view value) {
    if (key == "stageFocusRect") {
        player_.stageFocusRect_ = value == "true";
        return;
    }
    if (key == "tabIndex") {
        // -1 is the same as no index.
        bool numeric = false;
        const int index = fromUtf8(value).toInt(&numeric);
        const std::optional<int32_t> stored = numeric && index != -1 ? std::optional<int32_t>(index) : std::nullopt;
        if (object == kRootSerial) player_.rootTabIndex_ = stored;
        else if (Instance* inst = player_.instanceById(object)) inst->tabIndex = stored;
        return;
    }
    Node n = HostAccess::node(player_, object);
    if (!n.inst) return;
    player_.dirty_ = true;
    if (key == "blendMode") {
        for (size_t i = 1; i < std::size(kBlendModeNames); ++i)
            if (value == kBlendModeNames[i]) n.inst->blendMode = BlendMode(i);
        bool numeric = false;
        int number = QString::fromUtf8(value.data(), qsizetype(value.size())).toInt(&numeric);
        if (numeric) n.inst->blendMode = blendModeFromByte(uint8_t(std::clamp(number, 0, 255)));
    } else if (key == "cacheAsBitmap") {
        n.inst->cacheAsBitmap = truthy(value);
    } else if (key == "enabled") {
        n.inst->enabled = truthy(value);
    } else if (key == "focusRect") {
        n.inst->focusRect = value.empty() ? std::nullopt : std::optional<bool>(value == "true");
    } else if (key == "scrollRect") {
        const QStringList parts = fromUtf8(value).split(QLatin1Char(','));
        if (parts.size() == 4) {
            double v[4];
            for (int i = 0; i < 4; ++i) v[i] = std::clamp(parts[i].toDouble() * 20, -2e9, 2e9);
            n.inst->scrollRect = QRectF(v[0], v[1], v[2], v[3]);
        } else {
            n.inst->scrollRect.reset();
        }
    } else if (key == "opaqueBackground") {
        bool numeric = false;
        double number = fromUtf8(value).toDouble(&numeric);
        if (numeric && std::isfinite(number)) n.inst->opaqueBackground = QColor(QRgb(uint32_t(int64_t(number)) & 0xFFFFFF));
        else n.inst->opaqueBackground.reset();
    }
}

std::vector<avm1::FilterValues> ScriptHost::filters(avm1::DisplayId object) {
    Node n = HostAccess::node(player_, object);
    std::vector<avm1::FilterValues> out;
    if (n.inst)
        for (const Filter& f : n.inst->filters) out.push_back(scriptFilterFrom(f));
    return out;
}

void ScriptHost::setFilters(avm1::DisplayId object, const std::vector<avm1::FilterValues>& filters) {
    Node n = HostAccess::node(player_, object);
    if (!n.inst) return;
    n.inst->filters.clear();
    for (const avm1::FilterValues& v : filters) {
        if (n.inst->filters.size() >= size_t(kMaxFiltersPerObject)) break;
        n.inst->filters.push_back(filterFromScript(v));
    }
    player_.dirty_ = true;
}

// ---- ScriptHost: timelines ----------------------------------------------------------------------

void ScriptHost::play(avm1::DisplayId clip) {
    if (auto tl = HostAccess::timeline(player_, clip)) tl->playing = true;
}

void ScriptHost::stop(avm1::DisplayId clip) {
    if (auto tl = HostAccess::timeline(player_, clip)) tl->playing = false;
}

void ScriptHost::gotoFrame(avm1::DisplayId clip, int frame, bool andPlay) {
    auto tl = HostAccess::timeline(player_, clip);
    if (!tl || tl->timeline->frameCount() == 0) return;
    Instance* inst = player_.instanceById(clip);
    // A goto past the end shows the last frame without running its scripts.
    const int last = tl->timeline->frameCount() - 1;
    player_.gotoTimelineFrame(tl, std::clamp(frame, 0, last), inst ? inst->nesting + 1 : 0, frame <= last);
    tl->playing = andPlay;
    player_.dirty_ = true;
}

bool ScriptHost::gotoLabel(avm1::DisplayId clip, std::string_view label, bool andPlay) {
    int frame = frameOfLabel(clip, label);
    if (frame < 0) return false;
    gotoFrame(clip, frame, andPlay);
    return true;
}

void ScriptHost::nextFrame(avm1::DisplayId clip) {
    auto tl = HostAccess::timeline(player_, clip);
    if (tl) gotoFrame(clip, tl->frame + 1, false);
}

void ScriptHost::prevFrame(avm1::DisplayId clip) {
    auto tl = HostAccess::timeline(player_, clip);
    if (tl) gotoFrame(clip, std::max(0, tl->frame - 1), false);
}

int ScriptHost::currentFrame(avm1::DisplayId clip) {
    auto tl = HostAccess::timeline(player_, clip);
    return tl ? tl->frame + 1 : 0;
}

int ScriptHost::totalFrames(avm1::DisplayId clip) {
    auto tl = HostAccess::timeline(player_, clip);
    return tl ? tl->timeline->frameCount() : 0;
}

int ScriptHost::framesLoaded(avm1::DisplayId clip) { return totalFrames(clip); }

int ScriptHost::frameOfLabel(avm1::DisplayId clip, std::string_view label) {
    auto tl = HostAccess::timeline(player_, clip);
    if (!tl) return -1;
    auto it = tl->timeline->labels.find(fromUtf8(label).toLower());
    return it == tl->timeline->labels.end() ? -1 : it->second;
}

std::vector<std::span<const uint8_t>> ScriptHost::frameScripts(avm1::DisplayId clip, int frame) {
    std::vector<std::span<const uint8_t>> out;
    auto tl = HostAccess::timeline(player_, clip);
    if (!tl || frame < 0 || frame >= tl->timeline->frameCount()) return out;
    for (const FrameCommand& command : tl->timeline->frames[size_t(frame)].commands)
        if (auto* action = std::get_if<ActionCommand>(&command); action && action->code)
            out.emplace_back(action->code->data(), action->code->size());
    return out;
}

// ---- ScriptHost: making and removing --------------------------------------------------------------

namespace {

bool scriptDepthOk(int depth) { return depth >= kMinScriptDepth && depth <= kMaxScriptDepth - kScriptDepthOffset; }

}  // namespace

avm1::DisplayId ScriptHost::attachMovie(avm1::DisplayId parent, std::string_view symbol, std::string_view name,
                                        int depth) {
    if (!scriptDepthOk(depth) || !HostAccess::timeline(player_, parent)) return avm1::kNoDisplay;
    const QString wanted = fromUtf8(symbol);
    const auto& exports = player_.movie_->exports;
    auto it = exports.find(wanted);
    if (it == exports.end())
        it = std::find_if(exports.begin(), exports.end(),
                          [&](const auto& e) { return e.first.compare(wanted, Qt::CaseInsensitive) == 0; });
    if (it == exports.end()) return avm1::kNoDisplay;
    const Character* c = player_.movie_->character(it->second);
    // Exported buttons can be attached as well as clips.
    if (!c || !(std::holds_alternative<SpriteDef>(*c) || std::holds_alternative<ButtonDef>(*c)))
        return avm1::kNoDisplay;
    Node pn = HostAccess::node(player_, parent);
    auto inst = player_.createInstance(it->second, pn.inst ? pn.inst->nesting + 1 : 1);
    inst->name = fromUtf8(name);
    Instance* placed = HostAccess::placeDynamic(player_, parent, depth, std::move(inst));
    return placed ? placed->serial : avm1::kNoDisplay;
}

avm1::DisplayId ScriptHost::createEmptyMovieClip(avm1::DisplayId parent, std::string_view name, int depth) {
    if (!scriptDepthOk(depth) || !HostAccess::timeline(player_, parent)) return avm1::kNoDisplay;
    Node pn = HostAccess::node(player_, parent);
    auto inst = player_.createInstance(0, pn.inst ? pn.inst->nesting + 1 : 1);
    SpriteDef empty;
    empty.timeline.frames.resize(1);
    inst->ownCharacter = std::make_unique<Character>(std::move(empty));
    inst->character = inst->ownCharacter.get();
    inst->sprite = std::make_shared<TimelineState>();
    inst->sprite->timeline = &std::get<SpriteDef>(*inst->ownCharacter).timeline;
    inst->sprite->ownerSerial = inst->serial;
    inst->name = fromUtf8(name);
    Instance* placed = HostAccess::placeDynamic(player_, parent, depth, std::move(inst));
    return placed ? placed->serial : avm1::kNoDisplay;
}

avm1::DisplayId ScriptHost::createTextField(avm1::DisplayId parent, std::string_view name, int depth, double x,
                                            double y, double width, double height) {
    if (!scriptDepthOk(depth) || !HostAccess::timeline(player_, parent)) return avm1::kNoDisplay;
    for (double v : {x, y, width, height})
        if (!std::isfinite(v)) return avm1::kNoDisplay;
    Node pn = HostAccess::node(player_, parent);
    auto inst = player_.createInstance(0, pn.inst ? pn.inst->nesting + 1 : 1);
    EditTextDef field;
    field.bounds = QRectF(0, 0, std::clamp(width, 0.0, 1e6) * 20, std::clamp(height, 0.0, 1e6) * 20);
    field.readOnly = false;
    field.height = 240;  // 12 pixels, Times, as new fields start
    inst->ownCharacter = std::make_unique<Character>(std::move(field));
    inst->character = inst->ownCharacter.get();
    inst->matrix = QTransform::fromTranslate(std::clamp(x * 20, -2e9, 2e9), std::clamp(y * 20, -2e9, 2e9));
    inst->name = fromUtf8(name);
    Instance* placed = HostAccess::placeDynamic(player_, parent, depth, std::move(inst));
    return placed ? placed->serial : avm1::kNoDisplay;
}

avm1::DisplayId ScriptHost::duplicateMovieClip(avm1::DisplayId clip, std::string_view name, int depth) {
    Node n = HostAccess::node(player_, clip);
    if (!n.inst || !n.inst->sprite || !scriptDepthOk(depth)) return avm1::kNoDisplay;
    const Instance& source = *n.inst;
    std::unique_ptr<Instance> copy;
    if (source.ownCharacter) {
        copy = player_.createInstance(0, source.nesting);
        copy->ownCharacter = std::make_unique<Character>(*source.ownCharacter);
        copy->character = copy->ownCharacter.get();
        if (auto* sprite = std::get_if<SpriteDef>(copy->character)) {
            copy->sprite = std::make_shared<TimelineState>();
            copy->sprite->timeline = &sprite->timeline;
            copy->sprite->ownerSerial = copy->serial;
        }
    } else {
        copy = player_.createInstance(source.id, source.nesting);
    }
    copy->name = fromUtf8(name);
    copy->matrix = source.matrix;
    copy->decomposed = source.decomposed;
    copy->colorTransform = source.colorTransform;
    copy->visible = source.visible;
    copy->clipActions = source.clipActions;
    copyDisplayEffects(source, *copy);
    if (source.drawing) copy->drawing = std::make_shared<Drawing>(*source.drawing);
    Instance* placed = HostAccess::placeDynamic(player_, source.parentSerial, depth, std::move(copy));
    return placed ? placed->serial : avm1::kNoDisplay;
}


void ScriptHost::removeObject(avm1::DisplayId object) {
    Node n = HostAccess::node(player_, object);
    if (!n.inst) return;
    int key = 0;
    auto* list = HostAccess::placeOf(player_, *n.inst, key);
    // Only objects at script depths (0 and up) can be removed, as in the original player.
    if (!list || key - kScriptDepthOffset < 0 || key - kScriptDepthOffset > kMaxScriptDepth - kScriptDepthOffset) return;
    player_.removing(*n.inst);
    list->erase(key);
    player_.dirty_ = true;
}

void ScriptHost::swapDepths(avm1::DisplayId object, int depth) {
    Node n = HostAccess::node(player_, object);
    if (!n.inst || !scriptDepthOk(depth)) return;
    int key = 0;
    auto* list = HostAccess::placeOf(player_, *n.inst, key);
    if (!list) return;
    const int target = depth + kScriptDepthOffset;
    if (target == key) return;
    auto self = std::move((*list)[key]);
    list->erase(key);
    if (auto other = list->find(target); other != list->end()) {
        other->second->transformedByScript = true;
        (*list)[key] = std::move(other->second);
        list->erase(target);
    }
    self->transformedByScript = true;
    (*list)[target] = std::move(self);
    player_.dirty_ = true;
}

void ScriptHost::swapDepthsWith(avm1::DisplayId object, avm1::DisplayId other) {
    Node n = HostAccess::node(player_, other);
    Node self = HostAccess::node(player_, object);
    if (!n.inst || !self.inst || n.inst->parentSerial != self.inst->parentSerial) return;
    swapDepths(object, depth(other));
}

int ScriptHost::nextHighestDepth(avm1::DisplayId parent) {
    auto* list = HostAccess::listOf(player_, parent);
    if (!list || list->empty()) return 0;
    return std::max(0, list->rbegin()->first - kScriptDepthOffset + 1);
}

avm1::DisplayId ScriptHost::instanceAtDepth(avm1::DisplayId parent, int depth) {
    auto* list = HostAccess::listOf(player_, parent);
    if (!list) return avm1::kNoDisplay;
    auto it = list->find(depth + kScriptDepthOffset);
    return it == list->end() ? avm1::kNoDisplay : it->second->serial;
}

// ---- ScriptHost: geometry -------------------------------------------------------------------------

avm1::Rect ScriptHost::bounds(avm1::DisplayId object, avm1::DisplayId targetSpace, bool withStrokes) {
    Node n = HostAccess::node(player_, object);
    if (!n) return {kEmptyBounds, kEmptyBounds, kEmptyBounds, kEmptyBounds};
    QTransform toTarget;
    if (targetSpace != avm1::kNoDisplay && targetSpace != object) {
        bool invertible = false;
        QTransform targetInverse = HostAccess::toStage(player_, targetSpace).inverted(&invertible);
        if (!invertible) return {kEmptyBounds, kEmptyBounds, kEmptyBounds, kEmptyBounds};
        toTarget = HostAccess::toStage(player_, object) * targetInverse;
    }
    QRectF r;
    if (n.root) r = listBounds(*player_.movie_, player_.root_->list, toTarget, withStrokes, 0);
    else r = boundsOf(*player_.movie_, *n.inst, toTarget, withStrokes, n.inst->nesting);
    if (r.isNull()) return {kEmptyBounds, kEmptyBounds, kEmptyBounds, kEmptyBounds};
    // Transformed corners land on whole twips, as the movie's own coordinates do.
    return {std::round(r.left()) / 20, std::round(r.top()) / 20, std::round(r.right()) / 20,
            std::round(r.bottom()) / 20};
}

bool ScriptHost::hitTestObject(avm1::DisplayId object, avm1::DisplayId other) {
    avm1::Rect a = bounds(object, kRootSerial, true), b = bounds(other, kRootSerial, true);
    if (a.xMin == kEmptyBounds || b.xMin == kEmptyBounds) return false;
    return a.xMin <= b.xMax && b.xMin <= a.xMax && a.yMin <= b.yMax && b.yMin <= a.yMax;
}

bool ScriptHost::hitTestPoint(avm1::DisplayId object, double stageX, double stageY, bool shapeFlag) {
    Node n = HostAccess::node(player_, object);
    if (!n) return false;
    if (!shapeFlag) {
        avm1::Rect b = bounds(object, kRootSerial, true);
        return b.xMin != kEmptyBounds && stageX >= b.xMin && stageX <= b.xMax && stageY >= b.yMin && stageY <= b.yMax;
    }
    bool invertible = false;
    QTransform toLocal = HostAccess::toStage(player_, object).inverted(&invertible);
    if (!invertible) return false;
    QPointF local = toLocal.map(QPointF(stageX * 20, stageY * 20));
    if (n.root) return player_.hitTestList(player_.root_->list, local);
    return player_.hitTestInstance(*n.inst, local);
}

avm1::Point ScriptHost::localToGlobal(avm1::DisplayId object, avm1::Point p) {
    // Points are kept in whole twips, in and out.
    QPointF q = HostAccess::toStage(player_, object).map(QPointF(std::round(p.x * 20), std::round(p.y * 20)));
    return {std::round(q.x()) / 20, std::round(q.y()) / 20};
}

avm1::Point ScriptHost::globalToLocal(avm1::DisplayId object, avm1::Point p) {
    bool invertible = false;
    QTransform inverse = HostAccess::toStage(player_, object).inverted(&invertible);
    if (!invertible) return p;
    QPointF q = inverse.map(QPointF(std::round(p.x * 20), std::round(p.y * 20)));
    return {std::round(q.x()) / 20, std::round(q.y()) / 20};
}

avm1::Point ScriptHost::localMouse(avm1::DisplayId object) {
    // As the original player finds it: the object's matrix to the window's twips has its
    // offset snapped to whole pixels (halves to even), and the inverse's offset to whole
    // twips. An object that scales to nothing answers the window position as if in twips.
    const QTransform view = player_.viewTransform();
    const QTransform toWindow = HostAccess::toStage(player_, object) * view * QTransform::fromScale(20, 20);
    const QPointF mouse = view.map(player_.mouseStage_ * 20) * 20;
    const QTransform snapped(toWindow.m11(), toWindow.m12(), toWindow.m21(), toWindow.m22(),
                             std::nearbyint(toWindow.dx() / 20) * 20, std::nearbyint(toWindow.dy() / 20) * 20);
    bool invertible = false;
    const QTransform inverse = snapped.inverted(&invertible);
    if (!invertible) return {mouse.x() / 400, mouse.y() / 400};
    const QTransform toLocal(inverse.m11(), inverse.m12(), inverse.m21(), inverse.m22(), std::round(inverse.dx()),
                             std::round(inverse.dy()));
    const QPointF q = toLocal.map(mouse);
    return {std::round(q.x()) / 20, std::round(q.y()) / 20};
}

// ---- ScriptHost: interaction ----------------------------------------------------------------------

void ScriptHost::startDrag(avm1::DisplayId object, bool lockCenter, std::optional<avm1::Rect> constraint) {
    Node n = HostAccess::node(player_, object);
    if (!n.inst) return;
    player_.dragSerial_ = object;
    player_.dragLockCenter_ = lockCenter;
    player_.dragBounds_.reset();
    if (constraint)
        player_.dragBounds_ = QRectF(QPointF(constraint->xMin * 20, constraint->yMin * 20),
                                     QPointF(constraint->xMax * 20, constraint->yMax * 20))
                                  .normalized();
    // Without lockCenter the clip keeps its offset from the mouse.
    avm1::Point mouse = globalToLocal(n.inst->parentSerial, mousePosition());
    player_.dragOffset_ = QPointF(n.inst->matrix.dx() - mouse.x * 20, n.inst->matrix.dy() - mouse.y * 20);
    player_.dragTo();
}

void ScriptHost::stopDrag() { player_.dragSerial_ = 0; }

void ScriptHost::setMask(avm1::DisplayId object, avm1::DisplayId mask) {
    Node n = HostAccess::node(player_, object);
    if (!n.inst) return;
    if (Instance* old = player_.instanceById(n.inst->scriptMask); old && old->scriptMaskOf == n.inst->serial)
        old->scriptMaskOf = 0;
    Instance* m = mask == object ? nullptr : player_.instanceById(mask);
    if (m) {
        // A mask masks one object at a time: the last call wins.
        if (Instance* before = player_.instanceById(m->scriptMaskOf)) before->scriptMask = 0;
        m->scriptMaskOf = n.inst->serial;
    }
    n.inst->scriptMask = m ? m->serial : 0;
    player_.dirty_ = true;
}

// ---- ScriptHost: drawing API ----------------------------------------------------------------------

namespace {

Drawing* drawingOf(Player&, Instance* inst) {
    if (!inst || !inst->sprite) return nullptr;
    if (!inst->drawing) inst->drawing = std::make_shared<Drawing>();
    return inst->drawing.get();
}

constexpr size_t kMaxDrawingElements = 1'000'000;

bool finitePoint(double x, double y) { return std::isfinite(x) && std::isfinite(y); }

QPointF twips(double x, double y) { return {std::clamp(x * 20, -2e9, 2e9), std::clamp(y * 20, -2e9, 2e9)}; }

void flushLine(Drawing& d) {
    if (d.line && d.linePath.elementCount() > 1) d.parts.push_back({d.linePath, std::nullopt, d.line});
    d.linePath = QPainterPath();
    d.linePath.moveTo(d.pen);
}

void flushFill(Drawing& d) {
    if (d.fill && d.fillPath.elementCount() > 1) {
        QPainterPath closed = d.fillPath;
        closed.closeSubpath();
        d.parts.push_back({closed, d.fill, std::nullopt});
    }
    d.fill.reset();
    d.fillPath = QPainterPath();
}

FillStyle gradientStyle(const avm1::GradientFill& g) {
    FillStyle f;
    f.kind = g.radial ? (g.focalPoint != 0 ? FillStyle::Kind::Focal : FillStyle::Kind::Radial) : FillStyle::Kind::Linear;
    const size_t count = std::min({g.colors.size(), g.alphas.size(), g.ratios.size(), size_t(15)});
    for (size_t i = 0; i < count; ++i)
        f.stops.push_back({float(std::clamp(g.ratios[i], 0.0, 255.0) / 255), rgbColor(g.colors[i], g.alphas[i])});
    const avm1::Matrix& m = g.matrix;
    f.matrix = QTransform(m.a, m.b, m.c, m.d, std::clamp(m.tx * 20, -2e9, 2e9), std::clamp(m.ty * 20, -2e9, 2e9));
    f.spread = std::clamp(g.spread, 0, 2);
    f.interpolation = g.interpolation ? 1 : 0;
    f.focal = float(std::clamp(g.focalPoint, -1.0, 1.0));
    return f;
}

}  // namespace

void ScriptHost::moveTo(avm1::DisplayId clip, double x, double y) {
    Drawing* d = drawingOf(player_, player_.instanceById(clip));
    if (!d || !finitePoint(x, y)) return;
    d->pen = twips(x, y);
    if (d->fill) d->fillPath.moveTo(d->pen);
    d->linePath.moveTo(d->pen);
    d->rebuild();
}

void ScriptHost::lineTo(avm1::DisplayId clip, double x, double y) {
    Drawing* d = drawingOf(player_, player_.instanceById(clip));
    if (!d || !finitePoint(x, y) || size_t(d->fillPath.elementCount() + d->linePath.elementCount()) > kMaxDrawingElements) return;
    d->pen = twips(x, y);
    if (d->fill) d->fillPath.lineTo(d->pen);
    if (d->line) d->linePath.lineTo(d->pen);
    else d->linePath.moveTo(d->pen);
    d->rebuild();
    player_.dirty_ = true;
}

void ScriptHost::curveTo(avm1::DisplayId clip, double cx, double cy, double x, double y) {
    Drawing* d = drawingOf(player_, player_.instanceById(clip));
    if (!d || !finitePoint(x, y) || !finitePoint(cx, cy) ||
        size_t(d->fillPath.elementCount() + d->linePath.elementCount()) > kMaxDrawingElements)
        return;
    const QPointF control = twips(cx, cy);
    d->pen = twips(x, y);
    if (d->fill) d->fillPath.quadTo(control, d->pen);
    if (d->line) d->linePath.quadTo(control, d->pen);
    else d->linePath.moveTo(d->pen);
    d->rebuild();
    player_.dirty_ = true;
}

void ScriptHost::lineStyle(avm1::DisplayId clip, const avm1::LineStyleArgs& style) {
    Drawing* d = drawingOf(player_, player_.instanceById(clip));
    if (!d) return;
    flushLine(*d);
    if (std::isnan(style.thickness)) {
        d->line.reset();
        return;
    }
    LineStyle line;
    // Hairlines draw one pixel wide.
    line.width = float(std::clamp(style.thickness, 0.0, 255.0) * 20);
    if (line.width < 20) line.width = 20;
    line.color = rgbColor(style.color, style.alpha);
    line.cap = style.caps == "none" ? Qt::FlatCap : style.caps == "square" ? Qt::SquareCap : Qt::RoundCap;
    line.join = style.joints == "miter" ? Qt::MiterJoin : style.joints == "bevel" ? Qt::BevelJoin : Qt::RoundJoin;
    line.miterLimit = float(std::clamp(style.miterLimit, 1.0, 255.0));
    line.noHScale = style.scaleMode == "none" || style.scaleMode == "horizontal";
    line.noVScale = style.scaleMode == "none" || style.scaleMode == "vertical";
    d->line = line;
}

void ScriptHost::lineGradientStyle(avm1::DisplayId clip, const avm1::GradientFill& fill) {
    Drawing* d = drawingOf(player_, player_.instanceById(clip));
    if (!d || !d->line) return;
    flushLine(*d);
    d->line->fill = gradientStyle(fill);
}

void ScriptHost::beginFill(avm1::DisplayId clip, uint32_t rgb, double alpha) {
    Drawing* d = drawingOf(player_, player_.instanceById(clip));
    if (!d) return;
    flushFill(*d);
    FillStyle f;
    f.color = rgbColor(rgb, alpha);
    d->fill = f;
    d->fillPath.moveTo(d->pen);
    d->fillStart = d->pen;
}

void ScriptHost::beginGradientFill(avm1::DisplayId clip, const avm1::GradientFill& fill) {
    Drawing* d = drawingOf(player_, player_.instanceById(clip));
    if (!d) return;
    flushFill(*d);
    if (fill.colors.empty()) return;
    d->fill = gradientStyle(fill);
    d->fillPath.moveTo(d->pen);
    d->fillStart = d->pen;
}

void ScriptHost::beginBitmapFill(avm1::DisplayId clip, std::string_view bitmapSymbol, const avm1::Matrix& m,
                                 bool repeat, bool smooth) {
    Drawing* d = drawingOf(player_, player_.instanceById(clip));
    if (!d) return;
    flushFill(*d);
    auto it = player_.movie_->exports.find(fromUtf8(bitmapSymbol));
    if (it == player_.movie_->exports.end()) return;
    const Character* c = player_.movie_->character(it->second);
    if (!c || !std::holds_alternative<BitmapDef>(*c)) return;
    FillStyle f;
    f.kind = FillStyle::Kind::Bitmap;
    f.bitmapId = it->second;
    f.matrix = QTransform(m.a * 20, m.b * 20, m.c * 20, m.d * 20, std::clamp(m.tx * 20, -2e9, 2e9),
                          std::clamp(m.ty * 20, -2e9, 2e9));
    f.repeat = repeat;
    f.smooth = smooth;
    d->fill = f;
    d->fillPath.moveTo(d->pen);
    d->fillStart = d->pen;
}

void ScriptHost::endFill(avm1::DisplayId clip) {
    Drawing* d = drawingOf(player_, player_.instanceById(clip));
    if (!d) return;
    flushFill(*d);
    // Strokes drawn with the fill go above it.
    flushLine(*d);
    d->rebuild();
    player_.dirty_ = true;
}

void ScriptHost::clearDrawing(avm1::DisplayId clip) {
    Instance* inst = player_.instanceById(clip);
    if (!inst || !inst->drawing) return;
    // The line style survives a clear; the drawing and an open fill do not.
    auto line = inst->drawing->line;
    *inst->drawing = Drawing{};
    inst->drawing->line = line;
    player_.dirty_ = true;
}

// ---- ScriptHost: text fields ----------------------------------------------------------------------

namespace {

EditTextDef* editableText(const Movie&, Instance* inst) {
    if (!inst || !inst->character) return nullptr;
    auto* field = std::get_if<EditTextDef>(inst->character);
    if (!field) return nullptr;
    if (!inst->ownCharacter) {
        inst->ownCharacter = std::make_unique<Character>(*field);
        inst->character = inst->ownCharacter.get();
    }
    return std::get_if<EditTextDef>(inst->ownCharacter.get());
}

const EditTextDef* textOf(Instance* inst) {
    return inst && inst->character ? std::get_if<EditTextDef>(inst->character) : nullptr;
}

std::string colorText(const QColor& c) { return std::to_string(c.rgb() & 0xFFFFFF); }

// Size of a field's text in pixels as the player lays it out.
QSizeF textExtent(const EditTextDef& f, const Movie& movie) {
    if (f.text.isEmpty()) return {};
    const detail::FieldLayout layout = detail::layoutField(f, movie);
    const auto& lines = layout.lines;
    const auto& advanceOf = layout.advanceOf;
    const double ascent = layout.ascent, descent = layout.descent;
    // Lines set other than flush left are measured without their trailing spaces.
    const bool trimTrailing = f.align != 0;
    double width = 0;
    for (const auto& line : lines) {
        double w = line.width;
        for (size_t i = line.end; trimTrailing && i > line.begin && f.text[qsizetype(i - 1)] == QLatin1Char(' '); --i)
            w -= advanceOf(u' ');
        width = std::max(width, w);
    }
    const double count = double(lines.size());
    return {width, count * (ascent + descent) + std::max(0.0, count - 1) * f.leading / 20};
}

}  // namespace

std::optional<std::string> ScriptHost::textFieldValue(avm1::DisplayId id, std::string_view name) {
    if (Instance* inst = player_.instanceById(id); inst && (name == "text" || name == "htmlText" || name == "length"))
        player_.pullBoundText(*inst);
    const EditTextDef* f = textOf(player_.instanceById(id));
    if (!f) return std::nullopt;
    auto flag = [](bool b) { return std::string(b ? "true" : "false"); };
    if (name == "text") return toUtf8(f->text);
    if (name == "htmlText") return toUtf8(f->html ? f->initialText : f->text);
    if (name == "html") return flag(f->html);
    if (name == "variable") return f->variableName.isEmpty() ? std::string("null") : toUtf8(f->variableName);
    if (name == "autoSize") {
        constexpr const char* kModes[] = {"none", "left", "right", "center"};
        return std::string(kModes[size_t(f->autoSizeMode)]);
    }
    if (name == "border") return flag(f->border);
    if (name == "textColor") return colorText(f->color);
    if (name == "multiline") return flag(f->multiline);
    if (name == "wordWrap") return flag(f->wordWrap);
    if (name == "selectable") return flag(f->selectable);
    if (name == "type") return std::string(f->readOnly ? "dynamic" : "input");
    if (name == "password") return flag(f->password);
    if (name == "maxChars") return f->hasMaxLength ? std::to_string(f->maxLength) : std::string("null");
    if (name == "embedFonts") return flag(f->useOutlines);
    if (name == "length") return std::to_string(f->text.size());
    if (name == "scroll") return std::to_string(std::min(f->scroll, detail::maxScroll(*f, *player_.movie_)));
    if (name == "maxscroll") return std::to_string(detail::maxScroll(*f, *player_.movie_));
    if (name == "bottomScroll") return std::to_string(detail::bottomScroll(*f, *player_.movie_));
    if (name == "hscroll" || name == "maxhscroll") return std::string("0");
    if (name == "antiAliasType") return std::string(f->advancedAntiAlias ? "advanced" : "normal");
    if (name == "gridFitType") {
        constexpr const char* kGridFits[] = {"none", "pixel", "subpixel"};
        return std::string(kGridFits[std::min<size_t>(f->gridFit, 2)]);
    }
    if (name == "thickness") return scriptNumberText(f->thickness);
    if (name == "sharpness") return scriptNumberText(f->sharpness);
    if (name == "background") return flag(f->background);
    if (name == "backgroundColor") return colorText(f->backgroundColor);
    if (name == "borderColor") return colorText(f->borderColor);
    if (name == "condenseWhite") return flag(false);
    if (name == "mouseWheelEnabled") return flag(f->mouseWheelEnabled);
    if (name == "restrict") return f->restrict ? toUtf8(*f->restrict) : std::string("null");
    if (name == "textWidth" || name == "textHeight") {
        const QSizeF size = textExtent(*f, *player_.movie_);
        return numberText(std::round(name == "textWidth" ? size.width() : size.height()));
    }
    return std::nullopt;
}

void ScriptHost::setTextFieldValue(avm1::DisplayId id, std::string_view name, std::string_view value) {
    EditTextDef* f = editableText(*player_.movie_, player_.instanceById(id));
    if (!f) return;
    const Movie& movie = *player_.movie_;
    player_.dirty_ = true;
    Instance& inst = *player_.instanceById(id);
    if (name == "text" || name == "htmlText") {
        detail::setEditTextContent(*f, fromUtf8(value), name == "htmlText" && f->html, movie);
        player_.pushBoundText(inst);
    } else if (name == "html") f->html = truthy(value);
    else if (name == "variable") {
        f->variableName = value == "null" || value == "undefined" ? QString() : fromUtf8(value);
        player_.pullBoundText(inst);
    }
    else if (name == "autoSize") {
        // Names in any case; anything else, "true" among them, turns it off.
        const QString mode = fromUtf8(value).toLower();
        using A = EditTextDef::AutoSize;
        f->autoSizeMode = mode == QLatin1String("left")    ? A::Left
                          : mode == QLatin1String("right")  ? A::Right
                          : mode == QLatin1String("center") ? A::Center
                                                            : A::None;
        f->autoSize = f->autoSizeMode != A::None;
    }
    else if (name == "scroll") {
        const double line = std::strtod(std::string(value).c_str(), nullptr);
        if (std::isfinite(line)) f->scroll = int(std::clamp(line, 1.0, double(detail::maxScroll(*f, movie))));
    }
    else if (name == "mouseWheelEnabled") f->mouseWheelEnabled = truthy(value);
    else if (name == "border") f->border = truthy(value);
    else if (name == "background") f->background = truthy(value);
    else if (name == "borderColor" || name == "backgroundColor") {
        const QColor c(QRgb(uint32_t(std::strtoll(std::string(value).c_str(), nullptr, 10)) & 0xFFFFFF));
        (name == "borderColor" ? f->borderColor : f->backgroundColor) = c;
    }
    else if (name == "textColor") {
        f->color = QColor(QRgb(uint32_t(std::strtoll(std::string(value).c_str(), nullptr, 10)) & 0xFFFFFF));
        detail::setEditTextContent(*f, f->html ? f->initialText : f->text, f->html, movie);
    } else if (name == "multiline") f->multiline = truthy(value);
    else if (name == "wordWrap") f->wordWrap = truthy(value);
    else if (name == "selectable") f->selectable = truthy(value);
    else if (name == "type") f->readOnly = value != "input";
    else if (name == "password") f->password = truthy(value);
    else if (name == "restrict") f->restrict = value.empty() || value == "null" ? std::nullopt : std::optional(fromUtf8(value));
    else if (name == "embedFonts") f->useOutlines = truthy(value);
    else if (name == "antiAliasType") {
        if (value == "normal" || value == "advanced") f->advancedAntiAlias = value == "advanced";
    } else if (name == "gridFitType") {
        if (value == "none") f->gridFit = 0;
        else if (value == "pixel") f->gridFit = 1;
        else if (value == "subpixel") f->gridFit = 2;
    } else if (name == "thickness" || name == "sharpness") {
        // Any number, infinities and NaN included, reads back as set.
        const std::string text(value);
        const double v = text == "Infinity" ? HUGE_VAL : text == "-Infinity" ? -HUGE_VAL : std::strtod(text.c_str(), nullptr);
        (name == "thickness" ? f->thickness : f->sharpness) = v;
    }
    else if (name == "maxChars") {
        f->hasMaxLength = value != "null" && value != "0";
        f->maxLength = std::clamp(std::atoi(std::string(value).c_str()), 0, 1 << 20);
    }
}

avm1::TextFormatValues ScriptHost::textFormat(avm1::DisplayId id, int begin, int end) {
    const EditTextDef* f = textOf(player_.instanceById(id));
    if (!f) return {};
    // A range holding no character has no format: every field answers null.
    const int length = int(f->text.size());
    if (begin < 0 && end < 0) begin = 0, end = length;
    begin = std::clamp(begin, 0, length);
    end = std::clamp(end, begin, length);
    if (begin == end) return {};
    return newTextFormat(id);
}

void ScriptHost::setTextFormat(avm1::DisplayId id, int, int, const avm1::TextFormatValues& format) {
    setNewTextFormat(id, format);
    if (EditTextDef* f = editableText(*player_.movie_, player_.instanceById(id)))
        detail::setEditTextContent(*f, f->html ? f->initialText : f->text, f->html, *player_.movie_);
}

avm1::TextFormatValues ScriptHost::newTextFormat(avm1::DisplayId id) {
    avm1::TextFormatValues v;
    const EditTextDef* f = textOf(player_.instanceById(id));
    if (!f) return v;
    const Character* c = player_.movie_->character(f->fontId);
    const FontDef* font = c ? std::get_if<FontDef>(c) : nullptr;
    v.font = font ? toUtf8(font->name) : std::string("Times New Roman");
    v.size = f->height / 20;
    v.color = f->color.rgb() & 0xFFFFFF;
    static const char* const aligns[] = {"left", "right", "center", "justify"};
    v.align = aligns[std::clamp(f->align, 0, 3)];
    // Whole pixels, as scripts set them.
    v.leftMargin = std::round(f->leftMargin / 20);
    v.rightMargin = std::round(f->rightMargin / 20);
    v.indent = std::round(f->indent / 20);
    v.leading = std::round(f->leading / 20);
    v.bold = font && font->bold;
    v.italic = font && font->italic;
    v.underline = false;
    v.bullet = false;
    v.kerning = false;
    v.blockIndent = std::round(f->blockIndent / 20);
    v.letterSpacing = f->letterSpacing;
    v.url = "";
    v.target = "";
    v.tabStops.emplace();
    return v;
}

void ScriptHost::setNewTextFormat(avm1::DisplayId id, const avm1::TextFormatValues& format) {
    EditTextDef* f = editableText(*player_.movie_, player_.instanceById(id));
    if (!f) return;
    if (format.size && std::isfinite(*format.size)) f->height = float(std::clamp(*format.size, 0.0, 1000.0) * 20);
    if (format.color) f->color = QColor(QRgb(*format.color & 0xFFFFFF));
    if (format.align) {
        const std::string& a = *format.align;
        f->align = a == "right" ? 1 : a == "center" ? 2 : a == "justify" ? 3 : 0;
    }
    // Bounded only so that twips stay exact in a float.
    auto twipsOf = [](const std::optional<double>& v, float& out) {
        if (v && std::isfinite(*v)) out = float(std::clamp(*v, -100000.0, 100000.0) * 20);
    };
    twipsOf(format.leftMargin, f->leftMargin);
    twipsOf(format.rightMargin, f->rightMargin);
    twipsOf(format.indent, f->indent);
    twipsOf(format.leading, f->leading);
    twipsOf(format.blockIndent, f->blockIndent);
    if (format.letterSpacing && std::isfinite(*format.letterSpacing))
        f->letterSpacing = float(std::clamp(*format.letterSpacing, -1000.0, 1000.0));
    player_.dirty_ = true;
}

void ScriptHost::replaceText(avm1::DisplayId id, int begin, int end, std::string_view text) {
    EditTextDef* f = editableText(*player_.movie_, player_.instanceById(id));
    if (!f) return;
    QString content = f->text;
    begin = std::clamp(begin, 0, int(content.size()));
    end = std::clamp(end, begin, int(content.size()));
    content.replace(begin, end - begin, fromUtf8(text));
    detail::setEditTextContent(*f, content, false, *player_.movie_);
    player_.dirty_ = true;
}

avm1::TextExtentValues ScriptHost::measureText(const avm1::TextFormatValues& format, std::string_view text,
                                               std::optional<double> wrapWidth) {
    // Text fields keep a two-pixel gutter on each side.
    constexpr double kGutters = 4;
    device_font::Style style;
    style.size = format.size ? std::clamp(*format.size, 0.0, 1000.0) : 12.0;
    style.bold = format.bold.value_or(false);
    style.letterSpacing = format.letterSpacing ? std::clamp(*format.letterSpacing, -100.0, 1000.0) : 0.0;
    const QString content = fromUtf8(text);
    std::optional<double> lineWidth;
    if (wrapWidth) lineWidth = std::max(0.0, *wrapWidth - kGutters);
    const device_font::Extent extent = device_font::measure(
        std::u16string_view(reinterpret_cast<const char16_t*>(content.utf16()), size_t(content.size())), style,
        lineWidth);
    avm1::TextExtentValues v;
    v.ascent = device_font::ascent(style.size);
    v.descent = device_font::descent(style.size);
    v.width = extent.width;
    v.height = extent.lines > 0 ? extent.height : v.ascent + v.descent;
    v.textFieldWidth = wrapWidth ? std::round(*wrapWidth) : v.width + kGutters;
    v.textFieldHeight = v.height + kGutters;
    return v;
}

avm1::DisplayId ScriptHost::focus() { return player_.focusedObject(); }
bool ScriptHost::setFocus(avm1::DisplayId object) { return player_.focusFromScript(object); }
// The selection belongs to the focused text field: without one every index is -1 and
// nothing can be selected.
const EditTextDef* ScriptHost::focusedField() { return textOf(player_.instanceById(player_.focusedObject())); }
int ScriptHost::selectionBegin() { return focusedField() ? selectionBegin_ : -1; }
int ScriptHost::selectionEnd() { return focusedField() ? selectionEnd_ : -1; }
int ScriptHost::caretIndex() { return focusedField() ? caret_ : -1; }
void ScriptHost::setSelection(int begin, int end) {
    const EditTextDef* field = focusedField();
    if (!field) return;
    const int length = int(field->text.size());
    begin = std::clamp(begin, 0, length);
    end = std::clamp(end, 0, length);
    // The caret stays where the selection was asked to end.
    selectionBegin_ = std::min(begin, end);
    selectionEnd_ = std::max(begin, end);
    caret_ = end;
}
void ScriptHost::clearSelection() { selectionBegin_ = selectionEnd_ = caret_ = -1; }

// ---- ScriptHost: the player -----------------------------------------------------------------------

avm1::Point ScriptHost::mousePosition() { return {player_.mouseStage_.x(), player_.mouseStage_.y()}; }

bool ScriptHost::isKeyDown(int keyCode) {
    return std::find(player_.keysDown_.begin(), player_.keysDown_.end(), keyCode) != player_.keysDown_.end();
}

int ScriptHost::lastKeyCode() { return player_.lastKeyCode_; }
int ScriptHost::lastKeyAscii() { return player_.lastKeyAscii_; }
double ScriptHost::stageWidth() { return player_.movie_->stageSizePixels().width(); }
double ScriptHost::stageHeight() { return player_.movie_->stageSizePixels().height(); }
double ScriptHost::frameRate() { return player_.movie_->frameRate; }
double ScriptHost::millisecondsSinceStart() { return player_.movieTimeMs_; }
std::string ScriptHost::movieUrl(avm1::DisplayId) { return "file:///movie.swf"; }

void ScriptHost::requestUrl(const avm1::UrlRequest& request) {
    if (player_.webRequestObserver_) {
        Player::WebRequest seen{fromUtf8(request.url), fromUtf8(request.window), {}, {}};
        using Method = avm1::UrlRequest::Method;
        if (request.method != Method::None) seen.method = request.method == Method::Get ? "GET" : "POST";
        for (const auto& [name, value] : request.variables) seen.variables.emplace_back(fromUtf8(name), fromUtf8(value));
        player_.webRequestObserver_(seen);
    }
    // Only a user's click may open the browser, and only for web addresses.
    if (!player_.handlingClick_) return;
    const QUrl address(fromUtf8(request.url));
    if (address.scheme() != QLatin1String("http") && address.scheme() != QLatin1String("https")) return;
    emit player_.urlRequested(address);
}

std::string ScriptHost::quality() {
    switch (player_.quality_) {
        case Quality::Low: return "LOW";
        case Quality::Medium: return "MEDIUM";
        case Quality::High: break;
    }
    return qualityBest_ ? "BEST" : "HIGH";
}

void ScriptHost::setQuality(std::string_view quality) {
    const QString q = fromUtf8(quality).toUpper();
    if (q == QLatin1String("LOW")) player_.setQuality(Quality::Low);
    else if (q == QLatin1String("MEDIUM")) player_.setQuality(Quality::Medium);
    else if (q == QLatin1String("HIGH") || q == QLatin1String("BEST")) player_.setQuality(Quality::High);
    else return;
    qualityBest_ = q == QLatin1String("BEST");
}

void ScriptHost::fsCommand(std::string_view command, std::string_view) {
    if (fromUtf8(command).compare(QLatin1String("quit"), Qt::CaseInsensitive) == 0) player_.quitRequested_ = true;
}

}  // namespace swf
