// MovieClipLoader: a picture from the movie's own folder loaded into a clip, with the
// loader's listeners told of each step. The load finishes when the movie's clock next moves,
// as a download would; the player reads the file then.
#include <cmath>

#include "swf/avm1/vm.h"

namespace swf::avm1 {
namespace {

using Args = std::span<const Value>;

// The clip a target argument names: a clip, a path from the calling clip, or a level number.
DisplayId targetOf(EngineImpl& e, const Value& target) {
    if (Object* o = target.object(); o && o->kind == ObjKind::Display) return o->display;
    if (target.isNumber()) {
        const double level = target.n;
        return level >= 0 && level < 1e6 ? e.host.level(int(level)) : kNoDisplay;
    }
    if (target.isString() && e.current) {
        Value found;
        if (!e.resolvePathObject(*e.current, e.toString(target), found)) return kNoDisplay;
        Object* o = found.object();
        return o && o->kind == ObjKind::Display ? o->display : kNoDisplay;
    }
    return kNoDisplay;
}

Value loaderCtor(EngineImpl& e, Object*, const Value& thisv, Args) {
    Object* self = thisv.object();
    if (!self) return Value();
    // The loader listens to itself: handlers set on it are called too.
    e.define(self, "_listeners", Value(e.makeArray({thisv})), prop_flag::kDontEnum);
    return Value();
}

Value loaderMethod(EngineImpl& e, Object* callee, const Value& thisv, Args args) {
    Object* self = thisv.object();
    if (!self) return Value(false);
    switch (callee->magic) {
        case 0: {  // loadClip(url, target)
            if (args.size() < 2) return Value(false);
            const DisplayId target = targetOf(e, args[1]);
            if (target == kNoDisplay || e.host.kind(target) == DisplayKind::None) return Value(false);
            if (e.pendingClipLoads.size() >= 1000) return Value(false);
            e.pendingClipLoads.push_back({self, e.toString(args[0]), target});
            return Value(true);
        }
        case 1: {  // unloadClip(target)
            const DisplayId target = targetOf(e, arg(args, 0));
            if (target == kNoDisplay) return Value(false);
            std::erase_if(e.pendingClipLoads, [&](const EngineImpl::PendingClipLoad& p) { return p.target == target; });
            e.host.unloadClip(target);
            return Value(true);
        }
        case 2: {  // getProgress(target): what the player read for it
            const DisplayId target = targetOf(e, arg(args, 0));
            Object* progress = e.makeObject();
            if (target != kNoDisplay) {
                const std::string bytes = e.host.setting(target, "bytesTotal").value_or("0");
                const Value total(e.toNumber(Value(Str(bytes))));
                e.set(progress, "bytesLoaded", total);
                e.set(progress, "bytesTotal", total);
            }
            return Value(progress);
        }
    }
    return Value();
}

// One finished load: the listeners hear onLoadStart, onLoadProgress, onLoadComplete and
// onLoadInit, or onLoadError when there was nothing to load.
void finishClipLoad(EngineImpl& e, const EngineImpl::PendingClipLoad& load) {
    if (e.host.kind(load.target) == DisplayKind::None) return;
    const std::optional<double> bytes = e.host.loadClipFile(load.target, load.url);
    const Value clip = e.displayValue(load.target);
    auto broadcast = [&](std::initializer_list<Value> args) {
        e.callMethod(Value(load.loader), "broadcastMessage", std::span<const Value>(args.begin(), args.size()));
    };
    if (!bytes) {
        broadcast({Value("onLoadError"), clip, Value("URLNotFound"), Value(0.0)});
        return;
    }
    broadcast({Value("onLoadStart"), clip});
    broadcast({Value("onLoadProgress"), clip, Value(*bytes), Value(*bytes)});
    broadcast({Value("onLoadComplete"), clip, Value(0.0)});
    broadcast({Value("onLoadInit"), clip});
}

}  // namespace

void settleClipLoads(EngineImpl& e, const std::function<void(const std::function<void()>&)>& run) {
    for (const auto& load : std::exchange(e.pendingClipLoads, {})) run([&] { finishClipLoad(e, load); });
}

void installClipLoader(EngineImpl& e) {
    Object* proto = e.makeObject();
    e.makeClass("MovieClipLoader", loaderCtor, proto);
    if (Object* bc = e.get(e.global, "AsBroadcaster").object()) {
        for (const char* n : {"addListener", "removeListener", "broadcastMessage"})
            e.define(proto, n, e.get(bc, n), prop_flag::kDontEnum);
    }
    const char* names[] = {"loadClip", "unloadClip", "getProgress"};
    for (int i = 0; i < 3; ++i) e.method(proto, names[i], loaderMethod, i);
}

}  // namespace swf::avm1
