// The Sound class: a script's handle on the sounds of a clip (or of the whole movie). The
// engine keeps what the script sees (the attached sound, the last position); the player
// plays, and keeps each target's volume and pan, through Host.
#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

#include "swf/avm1/vm.h"

namespace swf::avm1 {

struct SoundState {
    bool hasTarget = false;
    DisplayId target = kNoDisplay;  // where a relative path starts
    std::string targetPath;         // a Sound finds its clip again by this path
    bool attached = false;          // attachSound found an exported sound
    std::string linkage;
    double durationMs = 0;
    SoundHandle voice = 0;
    double positionMs = 0;  // where the last started sound was when last seen

    // Sound.loadSound: a file sound, loading (starts wait for it) or loaded.
    enum class Load : uint8_t { None, Loading, Loaded } load = Load::None;
    uint64_t loadedSound = 0;
    double loadedBytes = 0;
    bool streaming = false;  // plays by itself once loaded, one voice at a time
    int loadGeneration = 0;  // a newer loadSound replaces the one under way
    struct QueuedStart {
        double offsetSeconds;
        int loops;
    };
    std::vector<QueuedStart> queued;

    bool hasSound() const { return attached || load == Load::Loaded; }
};

namespace {

using Args = std::span<const Value>;

enum Method {
    kAttachSound, kStart, kStop, kSetVolume, kGetVolume, kSetPan, kGetPan, kSetTransform, kGetTransform,
    kGetDuration, kGetPosition, kLoadSound, kGetBytesLoaded, kGetBytesTotal
};

SoundState* stateOf(const Value& thisv) {
    Object* o = thisv.object();
    return o && o->extras ? o->extras->sound.get() : nullptr;
}

// Volume and pan arguments: a whole number, with NaN and anything outside the int range
// becoming INT_MIN, as the original player converts them.
int saturatingInt(EngineImpl& e, const Value& value) {
    if (value.isUndefined()) return 0;
    const double v = e.toNumber(value);
    if (std::isnan(v) || v >= 2147483648.0 || v < -2147483648.0) return INT_MIN;
    return int(std::trunc(v));
}

int wrap(int64_t v) { return int(int32_t(uint32_t(uint64_t(v)))); }

// The clip the Sound speaks for, found again by its path each time (a clip renamed away
// from that path is out of reach, unless a variable of the old name still holds it).
// nullopt: unreachable.
std::optional<DisplayId> resolveTarget(EngineImpl& e, const SoundState& s) {
    if (!s.hasTarget) return kNoDisplay;
    std::string_view path = s.targetPath;
    DisplayId id = s.target;  // relative paths start at the clip the Sound was made on
    if (path.substr(0, 6) == "_level") {
        size_t end = path.find_first_of("./");
        int level = 0;
        for (char c : path.substr(6, end == std::string_view::npos ? end : end - 6)) {
            if (c < '0' || c > '9' || level > 100000) return std::nullopt;
            level = level * 10 + (c - '0');
        }
        id = e.host.level(level);
        path = end == std::string_view::npos ? std::string_view() : path.substr(end + 1);
    }
    while (id != kNoDisplay && !path.empty()) {
        size_t end = path.find_first_of("./");
        std::string_view name = path.substr(0, end);
        path = end == std::string_view::npos ? std::string_view() : path.substr(end + 1);
        if (name.empty()) continue;
        Object* holder = e.displayObject(id);
        if (!holder) return std::nullopt;
        Object* next = e.get(holder, Str(name)).object();
        id = next && next->kind == ObjKind::Display ? next->display : kNoDisplay;
    }
    if (id == kNoDisplay || e.host.kind(id) == DisplayKind::None) return std::nullopt;
    return id;
}

double soundPosition(EngineImpl& e, SoundState& s) {
    if (s.voice && e.host.soundPlaying(s.voice)) s.positionMs = e.host.soundPosition(s.voice);
    return std::floor(s.positionMs);
}

Value durationGetter(EngineImpl&, Object*, const Value& thisv, Args) {
    SoundState* s = stateOf(thisv);
    return s && s->hasSound() ? Value(std::round(s->durationMs)) : Value();
}

Value positionGetter(EngineImpl& e, Object*, const Value& thisv, Args) {
    SoundState* s = stateOf(thisv);
    return s && s->hasSound() ? Value(soundPosition(e, *s)) : Value();
}

// `duration` and `position` appear on a Sound once it has a sound, unless the script already
// put its own values under both names (one of them alone is replaced).
void addSoundProperties(EngineImpl& e, Object* o) {
    const std::string duration = e.key("duration"), position = e.key("position");
    if (e.findOwn(o, duration) && e.findOwn(o, position)) return;
    for (auto [name, get] : {std::pair{"position", &positionGetter}, std::pair{"duration", &durationGetter}}) {
        const std::string k = e.key(name);
        Slot* p = e.findOwn(o, k);
        if (!p) p = &o->props.insert(k, Str(name));
        p->value = Value();
        p->getter = e.makeNative(get);
        p->setter = nullptr;
        p->flags = prop_flag::kDontEnum | prop_flag::kDontDelete;
    }
}

// Every started sound is waited for on its own: each one's end is an onSoundComplete.
void rememberPlaying(EngineImpl& e, Object* o, SoundHandle voice) { e.playingSounds.push_back({o, voice}); }

void startLoaded(EngineImpl& e, Object* self, SoundState& s, DisplayId target, double offset, int loops) {
    if (s.streaming && s.voice) e.host.stopSound(s.voice);  // a streamed file plays once at a time
    s.voice = e.host.startLoadedSound(target, s.loadedSound, offset, loops);
    s.positionMs = offset * 1000;
    rememberPlaying(e, self, s.voice);
}

Value soundCtor(EngineImpl& e, Object*, const Value& thisv, Args args) {
    Object* self = thisv.object();
    if (!self) return Value();
    auto state = std::make_shared<SoundState>();
    const Value& target = arg(args, 0);
    if (Object* t = target.object(); t && t->kind == ObjKind::Display) {
        state->hasTarget = true;
        state->targetPath = e.targetPath(t->display, false);
    } else if (target.isString()) {
        // A path, looked up from the clip whose script made the Sound.
        state->hasTarget = true;
        state->target = e.current ? e.current->target : e.host.level(0);
        state->targetPath = target.s.str();
    }
    self->more().sound = std::move(state);
    return Value();
}

Value transformObject(EngineImpl& e, const SoundTransformValues& t) {
    Object* o = e.makeObject();
    e.set(o, "ll", Value(t.leftToLeft));
    e.set(o, "lr", Value(t.leftToRight));
    e.set(o, "rr", Value(t.rightToRight));
    e.set(o, "rl", Value(t.rightToLeft));
    return Value(o);
}

Value soundMethod(EngineImpl& e, Object* callee, const Value& thisv, Args args) {
    SoundState* s = stateOf(thisv);
    if (!s) return Value();
    Object* self = thisv.object();
    std::optional<DisplayId> target = resolveTarget(e, *s);
    switch (callee->magic) {
        case kAttachSound: {
            if (!target) return Value();
            std::string name = e.toString(arg(args, 0));
            std::optional<double> duration = e.host.soundDuration(*target, name);
            if (!duration) return Value();
            s->attached = true;
            s->load = SoundState::Load::None;
            s->queued.clear();
            s->streaming = false;
            s->linkage = std::move(name);
            s->durationMs = *duration;
            s->voice = 0;
            s->positionMs = 0;
            addSoundProperties(e, self);
            return Value();
        }
        case kStart: {
            if (!target || (!s->attached && s->load == SoundState::Load::None)) return Value();
            double offset = e.toNumber(arg(args, 0));
            double loops = e.toNumber(arg(args, 1));
            if (!(offset > 0)) offset = 0;
            int loopCount = loops >= 1 ? int(std::min(loops, 65535.0)) : 1;
            if (s->load == SoundState::Load::Loading) {
                if (s->queued.size() < 1000) s->queued.push_back({offset, loopCount});
                return Value();
            }
            if (s->load == SoundState::Load::Loaded) {
                startLoaded(e, self, *s, *target, offset, loopCount);
                return Value();
            }
            s->voice = e.host.startSound(*target, s->linkage, offset, loopCount);
            s->positionMs = offset * 1000;
            // Nothing playing (no sound device, or every voice busy) ends at once: the
            // script still hears onSoundComplete.
            rememberPlaying(e, self, s->voice);
            return Value();
        }
        case kStop: {
            if (!target) return Value();
            std::string only = args.empty() ? std::string() : e.toString(args[0]);
            soundPosition(e, *s);
            e.host.stopSounds(*target, only);
            if (only.empty() || only == s->linkage) {
                s->voice = 0;
                std::erase_if(e.playingSounds, [&](const EngineImpl::PlayingSound& p) { return p.sound == self; });
            }
            return Value();
        }
        case kGetVolume:
            if (!target) return Value();
            return Value(e.host.soundTransform(*target).volume);
        case kSetVolume: {
            if (!target) return Value();
            SoundTransformValues t = e.host.soundTransform(*target);
            t.volume = saturatingInt(e, arg(args, 0));
            e.host.setSoundTransform(*target, t);
            return Value();
        }
        case kGetPan: {
            if (!target) return Value();
            SoundTransformValues t = e.host.soundTransform(*target);
            // What the original player answers, mixed signs included.
            int64_t pan = t.leftToLeft != 100 ? 100 - std::abs(int64_t(t.leftToLeft))
                                              : std::abs(int64_t(t.rightToRight)) - 100;
            return Value(wrap(pan));
        }
        case kSetPan: {
            if (!target) return Value();
            SoundTransformValues t = e.host.soundTransform(*target);
            int pan = saturatingInt(e, arg(args, 0));
            t.leftToLeft = pan >= 0 ? wrap(100 - int64_t(pan)) : 100;
            t.rightToRight = pan >= 0 ? 100 : wrap(100 + int64_t(pan));
            e.host.setSoundTransform(*target, t);
            return Value();
        }
        case kGetTransform:
            if (!target) return Value();
            return transformObject(e, e.host.soundTransform(*target));
        case kSetTransform: {
            if (!target) return Value();
            Object* from = arg(args, 0).object();
            if (!from) return Value();
            SoundTransformValues t = e.host.soundTransform(*target);
            auto take = [&](const char* key, int& into) {
                if (e.hasOwn(from, Str(key))) into = toInt32(e.toNumber(e.get(from, Str(key))));
            };
            take("ll", t.leftToLeft);
            take("lr", t.leftToRight);
            take("rl", t.rightToLeft);
            take("rr", t.rightToRight);
            e.host.setSoundTransform(*target, t);
            return Value();
        }
        case kGetDuration: return s->hasSound() ? Value(std::round(s->durationMs)) : Value();
        case kGetPosition: return s->hasSound() ? Value(soundPosition(e, *s)) : Value();
        case kLoadSound: {
            if (args.empty()) return Value();
            std::string url = e.toString(args[0]);
            s->streaming = e.toBoolean(arg(args, 1));
            if (s->streaming && s->voice) {
                e.host.stopSound(s->voice);
                s->voice = 0;
            }
            // The file is read when the load is due to finish (the next time the movie's
            // clock moves), as a download would be.
            s->load = SoundState::Load::Loading;
            s->queued.clear();
            ++s->loadGeneration;
            e.pendingSoundLoads.push_back({self, std::move(url), s->loadGeneration});
            return Value();
        }
        case kGetBytesLoaded:
        case kGetBytesTotal:
            if (s->load == SoundState::Load::Loaded) return Value(s->loadedBytes);
            return s->attached || s->load == SoundState::Load::Loading ? Value(0) : Value();
    }
    return Value();
}

}  // namespace

namespace {

// A finished load: the sound is there (queued starts begin now), then onID3 when the file
// has a tag, onLoad with the outcome, and a streamed sound starts by itself.
void finishLoad(EngineImpl& e, const EngineImpl::PendingSoundLoad& pending) {
    Object* self = pending.sound;
    SoundState* s = self->more().sound.get();
    if (!s || s->loadGeneration != pending.generation || s->load != SoundState::Load::Loading) return;
    std::optional<LoadedSound> file = e.host.loadSoundFile(pending.url);
    std::optional<DisplayId> target = resolveTarget(e, *s);
    if (file) {
        s->load = SoundState::Load::Loaded;
        s->attached = false;
        s->linkage.clear();
        s->loadedSound = file->id;
        s->loadedBytes = file->bytes;
        s->voice = 0;
        s->positionMs = 0;
        for (const SoundState::QueuedStart& q : std::exchange(s->queued, {}))
            if (target) startLoaded(e, self, *s, *target, q.offsetSeconds, q.loops);
        addSoundProperties(e, self);
        s->durationMs = 0;  // what onID3 sees
        if (file->hasId3) {
            if (!e.hasOwn(self, Str("id3"))) {
                Object* tags = e.alloc(ObjKind::Plain, nullptr);
                for (const auto& [frame, text] : file->id3) e.set(tags, Str(frame), Value(text));
                e.define(self, "id3", Value(tags),
                         prop_flag::kDontEnum | prop_flag::kDontDelete | prop_flag::kReadOnly);
            }
            Value yes[] = {Value(true)};
            e.callMethod(Value(self), "onID3", yes);
        }
        s->durationMs = file->durationMs;
    } else {
        s->load = SoundState::Load::None;
        s->queued.clear();
    }
    Value outcome[] = {Value(file.has_value())};
    e.callMethod(Value(self), "onLoad", outcome);
    if (file && s->streaming && s->load == SoundState::Load::Loaded && s->loadedSound == file->id) {
        if ((target = resolveTarget(e, *s))) startLoaded(e, self, *s, *target, 0, 1);
    }
}

}  // namespace

void settleSounds(EngineImpl& e, const std::function<void(const std::function<void()>&)>& run) {
    for (auto& pending : std::exchange(e.pendingSoundLoads, {})) run([&] { finishLoad(e, pending); });
    if (e.playingSounds.empty()) return;
    std::vector<Object*> done;
    for (const EngineImpl::PlayingSound& p : e.playingSounds) {
        SoundState* s = p.sound->more().sound.get();
        if (s && p.voice && e.host.soundPlaying(p.voice)) continue;
        if (s && p.voice == s->voice) {
            s->voice = 0;
            s->positionMs = std::round(s->durationMs);
        }
        done.push_back(p.sound);
    }
    std::erase_if(e.playingSounds, [&](const EngineImpl::PlayingSound& p) {
        SoundState* s = p.sound->more().sound.get();
        return !s || !p.voice || !e.host.soundPlaying(p.voice);
    });
    for (Object* sound : done) run([&] { e.callMethod(Value(sound), "onSoundComplete", {}); });
}

void installSound(EngineImpl& e) {
    Object* proto = e.alloc(ObjKind::Plain, e.objectProto);
    e.makeClass("Sound", soundCtor, proto);
    const std::pair<const char*, Method> methods[] = {
        {"attachSound", kAttachSound},   {"start", kStart},
        {"stop", kStop},                 {"setVolume", kSetVolume},
        {"getVolume", kGetVolume},       {"setPan", kSetPan},
        {"getPan", kGetPan},             {"setTransform", kSetTransform},
        {"getTransform", kGetTransform}, {"getDuration", kGetDuration},
        {"getPosition", kGetPosition},   {"loadSound", kLoadSound},
        {"getBytesLoaded", kGetBytesLoaded}, {"getBytesTotal", kGetBytesTotal},
    };
    for (const auto& [name, magic] : methods) e.method(proto, name, soundMethod, magic);
}

}  // namespace swf::avm1
