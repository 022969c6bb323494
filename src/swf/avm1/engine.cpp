// The public face of the engine: runs, handlers, timers, limits and collection.
#include <cmath>

#include "swf/avm1/vm.h"

namespace swf::avm1 {

EngineImpl::EngineImpl(Host& h, int v, Limits l) : host(h), version(v), limits(l) {
    objectProto = alloc(ObjKind::Plain, nullptr);
    functionProto = alloc(ObjKind::Plain, objectProto);
    global = alloc(ObjKind::Plain, nullptr);  // _global has no prototype
    arrayProto = alloc(ObjKind::Plain, objectProto);
    stringProto = alloc(ObjKind::Plain, objectProto);
    numberProto = alloc(ObjKind::Plain, objectProto);
    booleanProto = alloc(ObjKind::Plain, objectProto);
    dateProto = alloc(ObjKind::Plain, objectProto);
    errorProto = alloc(ObjKind::Plain, objectProto);
    movieClipProto = alloc(ObjKind::Plain, objectProto);
    buttonProto = alloc(ObjKind::Plain, objectProto);
    textFieldProto = alloc(ObjKind::Plain, objectProto);
    installObjectAndFunction(*this);
    installArray(*this);
    installStringNumberBoolean(*this);
    installMath(*this);
    installGlobals(*this);
    installDate(*this);
    installDisplay(*this);
    installGeom(*this);
    installFilters(*this);
    installText(*this);
    installFocus(*this);
    installSound(*this);
    installUiClasses(*this);
    installTransform(*this);
    installBitmapData(*this);
    installClipLoader(*this);
    installNatives(*this);
    // Hundreds of built-in objects per engine, one engine per movie: no spare room in them.
    for (auto& o : heap) o->props.shrink();
}

EngineImpl::~EngineImpl() = default;

namespace {

// Runs fn as one outermost script run: budgets start, aborts disable scripts, uncaught
// throws end the run quietly, and the collector runs when enough was allocated.
template <typename Fn>
void outermost(EngineImpl& e, Fn&& fn, bool keepStack = false) {
    if (e.disabled) return;
    bool outer = e.runDepth == 0;
    if (outer) {
        e.runStart = std::chrono::steady_clock::now();
        e.budgetTick = 0;
    }
    ++e.runDepth;
    size_t stackSize = e.stack.size();
    try {
        fn();
    } catch (ScriptThrow& t) {
        // An uncaught throw ends the run; the player logs it among the traces.
        if (outer) {
            try {
                e.traceLine("Warning: Uncaught exception, " + e.toString(t.value));
            } catch (...) {
            }
        } else {
            --e.runDepth;
            e.stack.resize(std::min(e.stack.size(), stackSize));
            throw;
        }
    } catch (ScriptAbort& a) {
        if (outer) {
            if (a.disablesScripts) {
                e.disabled = true;
                e.timers.clear();
            }
        } else {
            --e.runDepth;
            e.stack.resize(std::min(e.stack.size(), stackSize));
            throw;
        }
    } catch (const std::exception&) {
        // Out of memory or a library limit inside a script: stop this movie's scripts.
        if (outer) {
            e.disabled = true;
            e.timers.clear();
        } else {
            --e.runDepth;
            e.stack.resize(std::min(e.stack.size(), stackSize));
            throw;
        }
    }
    --e.runDepth;
    if (!keepStack) e.stack.resize(std::min(e.stack.size(), stackSize));
    if (e.runDepth == 0 && e.allocatedSinceGc > 20000 && e.allocatedSinceGc > e.heap.size() / 2) e.collect();
}

Value toValue(EngineImpl& e, const Argument& a) {
    switch (a.kind) {
        case Argument::Kind::Undefined: return Value();
        case Argument::Kind::Number: return Value(a.number);
        case Argument::Kind::String: return Value(a.text);
        case Argument::Kind::Boolean: return Value(a.number != 0);
        case Argument::Kind::Display: return a.display == kNoDisplay ? Value::null() : e.displayValue(a.display);
    }
    return Value();
}

void broadcast(EngineImpl& e, Object* source, std::string_view event, std::span<const Value> args = {}) {
    if (!source) return;
    Value listeners = e.get(source, "_listeners");
    Object* list = listeners.object();
    if (!list || list->kind != ObjKind::Array) return;
    std::vector<Value> copy = list->elements;
    for (auto& l : copy) {
        if (!l.isObject()) continue;
        // A removed clip stays in the list but no longer hears anything.
        if (l.o->kind == ObjKind::Display && e.host.kind(l.o->display) == DisplayKind::None) continue;
        e.callMethod(l, Str(event), args);
    }
}

// Scripts run for a clip that already left the display list are its unload scripts.
struct UnloadingScope {
    UnloadingScope(EngineImpl& e, DisplayId target)
        : engine(e), saved(e.unloadingClip) {
        if (target != kNoDisplay && e.host.kind(target) == DisplayKind::None) e.unloadingClip = target;
    }
    ~UnloadingScope() { engine.unloadingClip = saved; }
    UnloadingScope(const UnloadingScope&) = delete;
    UnloadingScope& operator=(const UnloadingScope&) = delete;
    EngineImpl& engine;
    DisplayId saved;
};

}  // namespace

Engine::Engine(Host& host, int swfVersion, Limits limits) : host_(host), version_(swfVersion), limits_(limits) {}
Engine::~Engine() = default;

EngineImpl& Engine::started() {
    if (!impl_) {
        impl_ = std::make_unique<EngineImpl>(host_, version_, limits_);
        impl_->traceSink = traceSink_;
        impl_->timeMs = idleTimeMs_;
    }
    return *impl_;
}

void Engine::setTraceSink(std::function<void(std::string_view)> sink) {
    traceSink_ = std::move(sink);
    if (impl_) impl_->traceSink = traceSink_;
}

void Engine::runActions(std::span<const uint8_t> bytes, DisplayId target) { runActions(bytes, target, version_); }

void Engine::runActions(std::span<const uint8_t> bytes, DisplayId target, int swfVersion) {
    EngineImpl& e = started();
    UnloadingScope unloading(e, target);
    outermost(e, [&] { e.runTopLevel(bytes, target, swfVersion); }, e.runDepth == 0);
}

bool Engine::callHandler(DisplayId object, std::string_view name, std::span<const Argument> args) {
    if (!impl_) return false;
    EngineImpl& e = *impl_;
    if (e.disabled) return false;
    bool called = false;
    UnloadingScope unloading(e, object);
    outermost(e, [&] {
        Object* o = e.displayObject(object);
        if (!o) return;
        Value fn = e.get(o, Str(name));
        if (!fn.isObject() || !fn.o->isFunction()) return;
        std::vector<Value> values;
        for (auto& a : args) values.push_back(toValue(e, a));
        called = true;
        e.call(fn, Value(o), values);
    });
    return called;
}

bool Engine::hasHandler(DisplayId object, std::string_view name) {
    if (!impl_) return false;
    EngineImpl& e = *impl_;
    if (e.disabled) return false;
    try {
        Object* o = e.displayObject(object);
        if (!o) return false;
        Slot* p = e.findInChain(o, e.key(name));
        return p && p->value.isObject() && p->value.o->isFunction();
    } catch (const ScriptAbort&) {
        return false;  // a looping prototype chain or a full heap: no handler to run
    }
}

std::optional<bool> Engine::booleanProperty(DisplayId object, std::string_view name) {
    if (!impl_) return std::nullopt;
    EngineImpl& e = *impl_;
    if (e.disabled) return std::nullopt;
    std::optional<bool> result;
    outermost(e, [&] {
        Object* o = e.displayObject(object);
        if (!o) return;
        Value v = e.get(o, Str(name));
        if (!v.isUndefined()) result = e.toBoolean(v);
    });
    return result;
}

void Engine::broadcastKey(KeyEvent event) {
    if (!impl_) return;
    EngineImpl& e = *impl_;
    outermost(e, [&] { broadcast(e, e.keyObject, event == KeyEvent::Down ? "onKeyDown" : "onKeyUp"); });
}

void Engine::broadcastMouse(MouseEvent event, double wheelDelta) {
    if (!impl_) return;
    EngineImpl& e = *impl_;
    const char* names[] = {"onMouseDown", "onMouseUp", "onMouseMove", "onMouseWheel"};
    outermost(e, [&] {
        Value delta[] = {Value(wheelDelta)};
        broadcast(e, e.mouseObject, names[int(event)],
                  event == MouseEvent::Wheel ? std::span<const Value>(delta) : std::span<const Value>());
    });
}

void Engine::broadcastStageResize() {
    if (!impl_) return;
    EngineImpl& e = *impl_;
    outermost(e, [&] { broadcast(e, e.stageObject, "onResize"); });
}

void Engine::broadcastFocusChange(DisplayId oldFocus, DisplayId newFocus) {
    if (!impl_) return;
    EngineImpl& e = *impl_;
    outermost(e, [&] {
        Value args[] = {e.displayValue(oldFocus), e.displayValue(newFocus)};
        for (auto& a : args)
            if (a.isUndefined()) a = Value::null();
        broadcast(e, e.selectionObject, "onSetFocus", args);
    });
}

void Engine::displayObjectCreated(DisplayId object) {
    if (!impl_) return;
    EngineImpl& e = *impl_;
    outermost(e, [&] {
        Object* o = e.displayObject(object);
        if (!o) return;
        std::optional<EngineImpl::PendingInit> init;
        if (e.pendingInit && e.host.parent(object) == e.pendingInit->parent) init = std::exchange(e.pendingInit, std::nullopt);
        // Only clips take a registered class; buttons stay buttons.
        auto rc = e.host.kind(object) == DisplayKind::MovieClip ? e.registeredClasses.find(e.host.symbolName(object))
                                                                 : e.registeredClasses.end();
        if (rc == e.registeredClasses.end() || !rc->second) {
            if (init) e.copyInitProperties(o, init->init);
            return;
        }
        // The class may have been registered after a script first saw the clip.
        if (Object* proto = e.get(rc->second, "prototype").object()) o->proto = proto;
        if (init) e.copyInitProperties(o, init->init);
        // Constructed as `new` would: the object knows its class.
        e.define(o, "__constructor__", Value(rc->second), prop_flag::kDontEnum);
        if (e.version < 7) e.define(o, "constructor", Value(rc->second), prop_flag::kDontEnum);
        e.constructNext = !rc->second->native;
        e.call(Value(rc->second), Value(o), {});
    });
}

void Engine::displayObjectRemoved(DisplayId object) {
    if (impl_) impl_->displayObjects.erase(object);
}

void Engine::displayObjectLeaving(DisplayId object) {
    if (!impl_) return;
    EngineImpl& e = *impl_;
    // Only objects a script has seen can be asked for their path later.
    constexpr size_t kMaxRemovedPaths = 10000;
    if (!e.displayObjects.count(object) || e.removedPaths.size() >= kMaxRemovedPaths) return;
    e.removedPaths[object] = e.targetPath(object, false);
}

void Engine::advanceTime(double milliseconds, const std::function<void()>& afterEach) {
    if (!impl_) {
        idleTimeMs_ += std::max(0.0, milliseconds);
        return;
    }
    EngineImpl& e = *impl_;
    if (e.disabled) return;
    // A frame's scripts share one stack; the next frame starts with an empty one.
    if (e.runDepth == 0) e.stack.clear();
    constexpr double kMinInterval = 10;   // ms between two firings of one interval
    constexpr int kMaxFirings = 1000;     // per step, whatever the intervals
    const double end = e.timeMs + std::max(0.0, milliseconds);
    for (int firings = 0; firings < kMaxFirings && !e.disabled; ++firings) {
        auto next = e.timers.end();
        for (auto it = e.timers.begin(); it != e.timers.end(); ++it)
            if (it->due <= end && (next == e.timers.end() || it->due < next->due)) next = it;
        if (next == e.timers.end()) break;
        Timer t = *next;
        e.timeMs = std::max(e.timeMs, t.due);
        if (t.repeat) next->due = t.due + std::max(t.interval, kMinInterval);
        else e.timers.erase(next);
        outermost(e, [&] {
            if (t.method.size()) e.callMethod(t.callee, t.method, t.args);
            else e.call(t.callee, Value(), t.args);
        });
        if (afterEach && !e.disabled) afterEach();
    }
    // Past the firing budget, intervals skip what they missed rather than catch up later.
    for (Timer& t : e.timers) t.due = std::max(t.due, end);
    e.timeMs = end;
    settleClipLoads(e, [&](const std::function<void()>& call) { outermost(e, call); });
    settleSounds(e, [&](const std::function<void()>& call) { outermost(e, call); });
}

bool Engine::hasTimers() const { return impl_ && !impl_->disabled && !impl_->timers.empty(); }
bool Engine::needsTime() const {
    return impl_ && !impl_->disabled &&
           (!impl_->timers.empty() || !impl_->playingSounds.empty() || !impl_->pendingSoundLoads.empty() ||
            !impl_->pendingClipLoads.empty());
}

namespace {
// An activation that resolves names as a frame script on `clip` would: the clip, then _global.
Activation clipActivation(EngineImpl& e, DisplayId scope, Object* clip) {
    Activation a;
    a.base = a.target = scope;
    a.thisv = Value(clip);
    a.stackBase = e.stack.size();
    a.scope = std::make_shared<Scope>(Scope{ScopeKind::Target, clip, std::make_shared<Scope>(Scope{ScopeKind::Global, e.global, nullptr})});
    return a;
}
}  // namespace

std::optional<std::string> Engine::getVariable(DisplayId scope, std::string_view path) {
    if (!impl_) return std::nullopt;
    EngineImpl& e = *impl_;
    std::optional<std::string> out;
    outermost(e, [&] {
        Object* clip = e.displayObject(scope);
        if (!clip) return;
        Activation a = clipActivation(e, scope, clip);
        Value v = e.getVariable(a, Str(path));
        if (!v.isUndefined()) out = e.toString(v);
    });
    return out;
}

void Engine::setVariable(DisplayId scope, std::string_view path, std::string_view value) {
    EngineImpl& e = started();
    outermost(e, [&] {
        Object* clip = e.displayObject(scope);
        if (!clip) return;
        Activation a = clipActivation(e, scope, clip);
        e.setVariable(a, Str(path), Value(Str(value)));
    });
}

bool Engine::scriptsDisabled() const { return impl_ && impl_->disabled; }
uint64_t Engine::actionCount() const { return impl_ ? impl_->actionCount : 0; }
size_t Engine::heapObjectCount() const { return impl_ ? impl_->heap.size() : 0; }
void Engine::collectGarbage() {
    if (impl_ && impl_->runDepth == 0) impl_->collect();
}

}  // namespace swf::avm1
