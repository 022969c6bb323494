// The action interpreter: decodes action records straight from the movie's bytes, checking
// every length and jump, and runs them against the engine's stack and scope chain.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <utility>

#include "swf/avm1/vm.h"

namespace swf::avm1 {
namespace {

// GetProperty/SetProperty index: a number that is no index at all (NaN) names no property.
int propertyIndexOf(double n) { return std::isnan(n) ? -1 : clampToInt(n); }

// Bounds-checked reads from one action's body; reads past the end give zeros.
struct BodyReader {
    std::span<const uint8_t> data;
    size_t pos = 0;
    bool atEnd() const { return pos >= data.size(); }
    uint8_t u8() { return pos < data.size() ? data[pos++] : 0; }
    uint16_t u16() { uint16_t lo = u8(); return uint16_t(lo | u8() << 8); }
    uint32_t u32() { uint32_t lo = u16(); return lo | uint32_t(u16()) << 16; }
    float f32() { uint32_t b = u32(); float f; std::memcpy(&f, &b, 4); return f; }
    double f64() {
        uint64_t hi = u32(), lo = u32();
        uint64_t bits = hi << 32 | lo;
        double d;
        std::memcpy(&d, &bits, 8);
        return d;
    }
    std::string_view cstring() {
        size_t start = pos;
        while (pos < data.size() && data[pos] != 0) ++pos;
        std::string_view s(reinterpret_cast<const char*>(data.data() + start), pos - start);
        if (pos < data.size()) ++pos;
        return s;
    }
};

// Text in SWF 5 and older movies is in the author's code page, not UTF-8; Latin-1 is read.
Str codePageText(std::string_view s, int version) {
    if (version >= 6 || isAscii(s)) return Str(s);
    std::string out;
    for (unsigned char c : s) {
        if (c < 0x80) out += char(c);
        else { out += char(0xC0 | c >> 6); out += char(0x80 | (c & 0x3F)); }
    }
    return Str(out);
}

bool isFsCommand(std::string_view url) {
    constexpr std::string_view prefix = "fscommand:";
    if (url.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(url[i])) != prefix[i]) return false;
    return true;
}

// GetURL2's send-variables bits: 1 GET, 2 POST.
UrlRequest::Method urlMethod(unsigned bits) {
    return bits == 1 ? UrlRequest::Method::Get : bits == 2 ? UrlRequest::Method::Post : UrlRequest::Method::None;
}

bool hasPathChars(std::string_view s) {
    for (char c : s)
        if (c == '/' || c == ':' || c == '.') return true;
    return false;
}

std::mt19937& rng() {
    static std::mt19937 gen(std::random_device{}());
    return gen;
}

}  // namespace

void EngineImpl::checkBudget() {
    if (++budgetTick < 4096) return;
    budgetTick = 0;
    auto elapsed = std::chrono::steady_clock::now() - runStart;
    if (elapsed > std::chrono::duration<double>(limits.maxRunSeconds)) throw ScriptAbort{"script ran too long"};
}

Value EngineImpl::pop(Activation& a) {
    if (stack.size() <= a.stackBase) return Value();
    Value v = std::move(stack.back());
    stack.pop_back();
    return v;
}

void EngineImpl::trace(const Value& v) {
    std::string text = traceText(v).str();
    // The player ends a trace line at a carriage return as at a line feed.
    std::replace(text.begin(), text.end(), '\r', '\n');
    traceLine(text);
}

// ---- variables ------------------------------------------------------------------------------

// A timeline scope whose clip was removed while its script ran reads and writes _level0 instead.
Object* EngineImpl::scopeObject(const Scope& s) {
    if (s.kind != ScopeKind::Target || s.object->kind != ObjKind::Display) return s.object;
    if (host.kind(s.object->display) != DisplayKind::None) return s.object;
    Object* level0 = displayObject(host.level(0));
    return level0 ? level0 : s.object;
}

Value EngineImpl::lookupScope(Activation& a, const Str& name, bool* found, const Scope** where) {
    std::string_view n = name.view();
    if (found) *found = true;
    auto eq = [&](std::string_view k) {
        if (caseSensitive()) return n == k;
        if (n.size() != k.size()) return false;
        for (size_t i = 0; i < n.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(n[i])) != k[i]) return false;
        return true;
    };
    if (!n.empty() && n[0] == '_') {
        if (eq("_global") && version >= 6) return Value(global);
        if (eq("_root")) return displayValue(host.rootOf(a.target ? a.target : a.base));
    }
    if (!n.empty() && (n[0] == 's' || n[0] == 'S') && eq("super") && a.superObj) return Value(a.superObj);
    for (Scope* s = a.scope.get(); s; s = s->parent.get()) {
        // SWF 4 had no global objects: its timeline scripts see neither NaN nor Math.
        if (s->kind == ScopeKind::Global && a.version < 5) break;
        Object* o = scopeObject(*s);
        if (has(o, name)) {
            if (where) *where = s;
            return get(o, name);
        }
    }
    // `this` is found as a local first; SWF 5 functions that keep it only in a register have no other.
    // A function that keeps `this` only in a register finds the timeline's by name.
    if ((!a.isFunction || a.version >= 6) && !n.empty() && (n[0] == 't' || n[0] == 'T') && eq("this"))
        return a.isFunction ? displayValue(a.base) : a.thisv;
    if (found) *found = false;
    return Value();
}

bool EngineImpl::resolvePathObject(Activation& a, std::string_view path, Value& out) {
    DisplayId start = a.target ? a.target : a.base;
    if (path.empty()) {
        out = displayValue(start);
        return true;
    }
    Value cur;
    size_t i = 0;
    bool slash = path.find('/') != std::string_view::npos;
    if (path[0] == '/') {
        cur = displayValue(host.rootOf(start));
        i = 1;
    }
    bool first = cur.isUndefined();
    bool afterSlash = path[0] == '/';  // past a slash, a single '.' is part of a name
    // A path cannot start with a single dot.
    if (path[0] == '.' && (path.size() < 2 || path[1] != '.')) return false;
    while (i <= path.size()) {
        size_t j = i;
        while (j < path.size() && path[j] != '/' && path[j] != ':') {
            if (path[j] == '.') {
                const bool parentStep = (j + 1 < path.size() && path[j + 1] == '.') || (j > 0 && path[j - 1] == '.');
                if (parentStep || !afterSlash) break;
            }
            ++j;
        }
        if (j < path.size() && path[j] == '/') afterSlash = true;
        std::string_view seg = path.substr(i, j - i);
        // ".." is a parent step in slash paths.
        if (seg.empty() && j + 1 < path.size() && path[j] == '.' && path[j + 1] == '.') {
            Object* base = first ? displayObject(start) : cur.object();
            if (!base || base->kind != ObjKind::Display) return false;
            cur = displayValue(host.parent(base->display));
            if (cur.isUndefined()) return false;
            first = false;
            i = j + 2;
            if (i < path.size() && (path[i] == '/' || path[i] == '.')) ++i;
            if (i >= path.size()) break;
            continue;
        }
        // Two slashes in a row ("//", "/a//b") lead nowhere.
        if (seg.empty() && j < path.size() && path[j] == '/' && i >= 1 && path[i - 1] == '/') return false;
        if (!seg.empty()) {
            Str name(seg);
            if (first) {
                if (seg == "this") cur = a.thisv;
                else if (slash) {
                    Object* t = displayObject(start);
                    cur = t ? get(t, name) : Value();
                    if (cur.isUndefined()) cur = lookupScope(a, name);
                } else {
                    cur = lookupScope(a, name);
                }
                first = false;
            } else {
                Object* o = cur.object();
                if (!o) return false;
                cur = get(o, name);
            }
            if (!cur.isObject()) {
                if (j >= path.size()) { out = cur; return !cur.isUndefined(); }
                return false;
            }
        }
        if (j >= path.size()) break;
        i = j + 1;
    }
    if (first) cur = displayValue(start);
    out = cur;
    return cur.isObject();
}

Value EngineImpl::getVariable(Activation& a, const Str& name) {
    std::string_view n = name.view();
    if (!hasPathChars(n)) return lookupScope(a, name);
    // The variable is what follows the last ':' or '.', even the second dot of a "..".
    const size_t split = n.find_last_of(":.");
    if (split != std::string_view::npos && n[split] == ':') {
        Value base;
        if (!resolvePathObject(a, n.substr(0, split), base)) return Value();
        return get(base.object(), Str(n.substr(split + 1)));
    }
    if (split == std::string_view::npos && n.find('/') != std::string_view::npos) {
        // A slash path without a variable names a clip; it reads as nothing when it ends
        // on something else.
        Value base;
        if (!resolvePathObject(a, n, base)) return Value();
        Object* o = base.object();
        return o && o->kind == ObjKind::Display ? base : Value();
    }
    const size_t dot = split;
    Value base;
    if (dot == std::string_view::npos || dot == 0 || !resolvePathObject(a, n.substr(0, dot), base))
        return lookupScope(a, name);
    return getValueMember(base, Str(n.substr(dot + 1)));
}

void EngineImpl::setVariable(Activation& a, const Str& name, const Value& v) {
    std::string_view n = name.view();
    if (hasPathChars(n)) {
        size_t split = n.rfind(':');
        if (split == std::string_view::npos) split = n.rfind('.');
        if (split == std::string_view::npos) split = n.rfind('/');
        if (split != std::string_view::npos) {
            Value base;
            if (split == 0 && n[0] == '/') base = displayValue(host.rootOf(a.target ? a.target : a.base));
            else if (!resolvePathObject(a, n.substr(0, split), base)) return;
            if (Object* o = base.object()) set(o, Str(n.substr(split + 1)), v);
            return;
        }
    }
    for (Scope* s = a.scope.get(); s; s = s->parent.get()) {
        if (s->kind == ScopeKind::Target || s->kind == ScopeKind::Global || has(s->object, name)) {
            set(scopeObject(*s), name, v);
            return;
        }
    }
}

void EngineImpl::defineOnTimeline(Activation& a, const Str& name, const Value& v) {
    if (hasPathChars(name.view())) {
        setVariable(a, name, v);
        return;
    }
    // A with object takes the variable only when it has it itself, not through its prototype.
    for (Scope* s = a.scope.get(); s; s = s->parent.get()) {
        if (s->kind == ScopeKind::With ? hasOwn(s->object, name) : true) {
            set(scopeObject(*s), name, v);
            return;
        }
    }
}

// ---- functions ------------------------------------------------------------------------------

Value EngineImpl::superConstructor(Object* superObject) {
    // The __constructor__ of the chain from the super object's base, getters included but
    // without __resolve; a clip on the way ends the search.
    int depth = 0;
    for (Object* cur = superObject->more().superProto; cur && cur->kind != ObjKind::Display; cur = cur->proto) {
        if (Slot* p = findOwn(cur, "__constructor__")) {
            if (p->getter) return call(Value(p->getter), superObject->more().superThis, {});
            return p->value;
        }
        if (++depth > 256) throw ScriptAbort{"prototype chain too long", false};
    }
    return Value();
}

Value EngineImpl::runFunction(Object* fn, const Value& thisv, std::span<const Value> args, Object* superHolder) {
    const FunctionDef& def = *fn->def;
    bool constructing = std::exchange(constructNext, false);
    // The timeline's own level counts too: a limit of N leaves N - 1 nested calls.
    if (callDepth + 1 >= limits.maxCallDepth) throw ScriptAbort{"recursion too deep"};
    struct DepthGuard {
        int& d;
        explicit DepthGuard(int& d) : d(d) { ++d; }
        ~DepthGuard() { --d; }
    } guard(callDepth);

    Activation a;
    a.code = def.code;
    a.isFunction = true;
    a.version = def.version;
    a.pool = def.pool;
    a.base = def.baseClip;
    if (host.kind(a.base) == DisplayKind::None) {
        // The clip that defined the function is gone: it runs on the clip it is called on, else on _level0.
        Object* self = thisv.object();
        bool onClip = self && self->kind == ObjKind::Display && host.kind(self->display) != DisplayKind::None;
        a.base = onClip ? self->display : host.level(0);
    }
    a.target = a.base;
    a.thisv = thisv;
    a.callee = fn;
    a.constructing = constructing;
    a.stackBase = stack.size();
    Object* locals = alloc(ObjKind::Plain, nullptr);
    std::shared_ptr<Scope> outer = fn->scope;
    if (def.version < 6) {
        // SWF 5 functions run on the timeline they are called on, when called on a clip.
        Object* self = thisv.object();
        if (self && self->kind == ObjKind::Display) {
            a.base = a.target = self->display;
            outer = std::make_shared<Scope>(
                Scope{ScopeKind::Target, self, std::make_shared<Scope>(Scope{ScopeKind::Global, global, nullptr})});
        }
    }
    a.scope = std::make_shared<Scope>(Scope{ScopeKind::Local, locals, outer});
    a.locals = locals;

    auto makeSuper = [&]() -> Object* {
        // super starts one step up from the object that held the method; a method of the
        // object itself counts as its prototype's.
        Object* holder = superHolder;
        if ((!holder || holder == thisv.object()) && thisv.isObject()) holder = thisv.o->proto;
        if (!holder) return nullptr;
        // A clip met on the way is no prototype for super: it finds nothing beyond.
        auto isClip = [](const Object* o) { return o && o->kind == ObjKind::Display; };
        Object* s = alloc(ObjKind::Super, isClip(holder) || isClip(holder->proto) ? nullptr : holder->proto);
        s->more().superProto = holder;
        s->more().superThis = thisv;
        return s;
    };
    auto makeArguments = [&]() {
        Object* argsObj = makeArray(std::vector<Value>(args.begin(), args.end()));
        defineShared(argsObj, calleeName, Value(fn));
        Object* caller = current && current->callee ? current->callee : nullptr;
        defineShared(argsObj, callerName, caller ? Value(caller) : Value::null());
        return argsObj;
    };

    if (!def.v2) {
        a.regs.resize(4);
        // `this` is a local of the activation: a script may even assign to it.
        defineShared(locals, thisName, thisv, 0);
        defineShared(locals, argumentsName, Value(makeArguments()), 0);
        a.superObj = makeSuper();
        for (size_t i = 0; i < def.params.size(); ++i)
            defineShared(locals, def.params[i].second, arg(args, i), 0);
    } else {
        a.regs.resize(std::max<size_t>(def.registerCount, 1));
        uint16_t f = def.flags;
        size_t r = 1;
        auto preload = [&](const Value& v) {
            if (r < a.regs.size()) a.regs[r] = v;
            ++r;
        };
        if (f & fn_flag::kPreloadThis) preload(thisv);
        Object* argsObj = nullptr;
        if (!(f & fn_flag::kSuppressArguments)) argsObj = makeArguments();
        if (f & fn_flag::kPreloadArguments) preload(Value(argsObj));
        else if (argsObj) defineShared(locals, argumentsName, Value(argsObj), 0);
        if (!(f & fn_flag::kSuppressSuper)) a.superObj = makeSuper();
        if (f & fn_flag::kPreloadSuper) preload(Value(a.superObj));
        if (f & fn_flag::kPreloadRoot) preload(displayValue(host.rootOf(a.base)));
        if (f & fn_flag::kPreloadParent) preload(displayValue(host.parent(a.base)));
        if (f & fn_flag::kPreloadGlobal) preload(Value(global));
        if (f & fn_flag::kSuppressThis) a.thisv = Value();
        else if (!(f & fn_flag::kPreloadThis)) defineShared(locals, thisName, thisv, 0);
        for (size_t i = 0; i < def.params.size(); ++i) {
            uint8_t reg = def.params[i].first;
            if (reg && reg < a.regs.size()) a.regs[reg] = arg(args, i);
            else defineShared(locals, def.params[i].second, arg(args, i), 0);
        }
    }
    Activation* saved = current;
    current = &a;
    Value returned;
    try {
        execute(a, 0, a.code.size(), returned);
    } catch (...) {
        current = saved;
        stack.resize(std::min(stack.size(), a.stackBase));
        throw;
    }
    current = saved;
    stack.resize(std::min(stack.size(), a.stackBase));
    return returned;
}

void EngineImpl::runTopLevel(std::span<const uint8_t> code, DisplayId target, int codeVersion) {
    Object* clip = displayObject(target);
    Activation a;
    a.code = code;
    a.version = codeVersion;
    a.base = a.target = target;
    a.thisv = clip ? Value(clip) : Value();
    a.regs.resize(4);
    a.pool = std::make_shared<std::vector<Str>>();
    // Timeline scripts share one stack: what a block leaves there, the next one may pop.
    a.stackBase = runDepth <= 1 ? 0 : stack.size();
    auto globalScope = std::make_shared<Scope>(Scope{ScopeKind::Global, global, nullptr});
    a.scope = clip ? std::make_shared<Scope>(Scope{ScopeKind::Target, clip, globalScope}) : globalScope;
    Activation* saved = current;
    current = &a;
    Value returned;
    try {
        execute(a, 0, code.size(), returned);
    } catch (...) {
        current = saved;
        stack.resize(std::min(stack.size(), a.stackBase));
        throw;
    }
    current = saved;
    if (runDepth > 1) stack.resize(std::min(stack.size(), a.stackBase));
    else if (stack.size() > 4096) stack.clear();  // a bounded leftover
}

void EngineImpl::callFrame(DisplayId clip, int frame) {
    std::vector<std::span<const uint8_t>> blocks = host.frameScripts(clip, frame);
    if (blocks.empty()) return;
    // A frame that calls itself recurses like a function would.
    if (callDepth + 1 >= limits.maxCallDepth) throw ScriptAbort{"recursion too deep"};
    struct Nested {
        EngineImpl& e;
        explicit Nested(EngineImpl& e) : e(e) { ++e.callDepth; ++e.runDepth; }
        ~Nested() { --e.callDepth; --e.runDepth; }
        Nested(const Nested&) = delete;
        Nested& operator=(const Nested&) = delete;
    } nested(*this);
    const int clipVersion = host.swfVersion(clip);
    for (std::span<const uint8_t> code : blocks) runTopLevel(code, clip, clipVersion);
}

// ---- the interpreter loop -------------------------------------------------------------------

EngineImpl::Flow EngineImpl::execute(Activation& a, size_t begin, size_t end, Value& returned) {
    const auto code = a.code;
    end = std::min(end, code.size());
    a.pc = begin;
    auto targetObject = [&]() -> DisplayId { return a.target; };
    auto skipActions = [&](int count) {
        for (int i = 0; i < count && a.pc < end; ++i) {
            uint8_t op = code[a.pc];
            size_t len = 1;
            if (op >= 0x80) {
                if (a.pc + 3 > end) { a.pc = end; return; }
                len = 3 + size_t(code[a.pc + 1] | code[a.pc + 2] << 8);
            }
            a.pc += len;
        }
    };
    auto resolveTarget = [&](const Value& v) -> DisplayId {
        if (Object* o = v.object(); o && o->kind == ObjKind::Display) return o->display;
        // Anything else names its target by its text (an object's toString).
        Value out;
        Str path = toStr(v);
        if (path.view().empty()) return a.target;
        if (!resolvePathObject(a, path.view(), out)) return kNoDisplay;
        // The player says so among the traces when a target path ends on a primitive.
        if (out.isString() || out.isNumber() || out.type == Type::Boolean)
            traceLine("Parameters of primitive types are no longer coerced into the required type - Object.");
        Object* o = out.object();
        return o && o->kind == ObjKind::Display ? o->display : kNoDisplay;
    };
    auto setTarget = [&](DisplayId id, bool reset) {
        a.target = reset ? a.base : id;
        if (a.isFunction) return;
        Object* clip = displayObject(a.target);
        auto globalScope = std::make_shared<Scope>(Scope{ScopeKind::Global, global, nullptr});
        // A missing target keeps variables on the original timeline.
        Object* scopeClip = clip ? clip : displayObject(a.base);
        a.scope = scopeClip ? std::make_shared<Scope>(Scope{ScopeKind::Target, scopeClip, globalScope}) : globalScope;
    };
    // SWF 4 comparisons give booleans too; they only print as 1 and 0 there.
    auto boolResult = [&](bool b) { return Value(b); };

    while (true) {
        if (a.pc == end) return Flow::Normal;
        if (a.pc < begin || a.pc > end) return Flow::Out;
        ++actionCount;
        checkBudget();
        uint8_t op = code[a.pc];
        if (op == 0) {  // End
            a.pc = code.size();
            return end == code.size() ? Flow::Normal : Flow::Out;
        }
        size_t length = 0;
        size_t headerEnd = a.pc + 1;
        if (op >= 0x80) {
            if (a.pc + 3 > code.size()) { a.pc = code.size(); return Flow::Out; }
            length = size_t(code[a.pc + 1] | code[a.pc + 2] << 8);
            headerEnd = a.pc + 3;
            if (headerEnd + length > code.size()) { a.pc = code.size(); return Flow::Out; }
        }
        BodyReader body{code.subspan(headerEnd, length)};
        a.pc = headerEnd + length;

        switch (op) {
            // ---- timeline ----
            case 0x04: host.nextFrame(targetObject()); break;
            case 0x05: host.prevFrame(targetObject()); break;
            case 0x06: host.play(targetObject()); break;
            case 0x07: host.stop(targetObject()); break;
            case 0x08: {
                std::string q = host.quality();
                host.setQuality(q == "LOW" ? "HIGH" : "LOW");
                break;
            }
            case 0x09: break;  // StopSounds
            case 0x81: host.gotoFrame(targetObject(), body.u16(), false); break;
            case 0x8C: host.gotoLabel(targetObject(), body.cstring(), false); break;
            case 0x8A: {  // WaitForFrame
                int frame = body.u16();
                int skip = body.u8();
                if (!frameLoaded(*this, targetObject(), frame)) skipActions(skip);
                break;
            }
            case 0x8D: {  // WaitForFrame2
                int skip = body.u8();
                Value f = pop(a);
                if (f.isObject()) f = Value(toStr(f));  // a frame may be named by text
                auto ref = frameOfValue(*this, targetObject(), f, 0);
                if (ref && !frameLoaded(*this, ref->clip, ref->zeroBased)) skipActions(skip);
                break;
            }
            case 0x8B: {  // SetTarget
                std::string_view path = body.cstring();
                if (path.empty()) setTarget(kNoDisplay, true);
                else setTarget(resolveTarget(Value(Str(path))), false);
                break;
            }
            case 0x20: {  // SetTarget2
                Value t = pop(a);
                // Objects, clips included, are taken by their text: a clip by its path, so
                // of two clips with one name the first wins.
                if (t.isObject()) t = Value(toStr(t));
                if (t.isString() && t.s.view().empty()) setTarget(kNoDisplay, true);
                else setTarget(resolveTarget(t), false);
                break;
            }
            case 0x9F: {  // GotoFrame2
                uint8_t flags = body.u8();
                int bias = (flags & 2) ? body.u16() : 0;
                bool play = flags & 1;
                Value f = pop(a);
                gotoFrameValue(*this, targetObject(), f, play, bias);
                break;
            }
            case 0x9E: {  // Call: a frame's scripts run now, on its clip, without going there
                Value f = pop(a);
                if (f.isObject()) f = Value(toStr(f));
                // A target that names nothing leaves the call on the code's own timeline.
                auto ref = frameOfValue(*this, a.target ? a.target : a.base, f, 0);
                if (ref && ref->zeroBased >= 0 && host.kind(ref->clip) == DisplayKind::MovieClip)
                    callFrame(ref->clip, ref->zeroBased);
                break;
            }
            case 0x24: {  // CloneSprite
                double depth = toNumber(pop(a));
                Str name = toStr(pop(a));
                DisplayId source = resolveTarget(pop(a));
                if (source) host.duplicateMovieClip(source, name.view(), clampToInt(depth) - 16384);
                break;
            }
            case 0x25: {  // RemoveSprite
                DisplayId t = resolveTarget(pop(a));
                if (t) host.removeObject(t);
                break;
            }
            case 0x27: {  // StartDrag
                DisplayId t = resolveTarget(pop(a));
                // Both flags are read as numbers (an object's valueOf is asked); only 1
                // turns the constraint on.
                bool lock = toNumber(pop(a)) != 0;
                bool constrain = toNumber(pop(a)) == 1;
                std::optional<Rect> r;
                if (constrain) {
                    double y2 = toNumber(pop(a)), x2 = toNumber(pop(a)), y1 = toNumber(pop(a)), x1 = toNumber(pop(a));
                    r = Rect{x1, y1, x2, y2};
                }
                if (t) host.startDrag(t, lock, r);
                break;
            }
            case 0x28: host.stopDrag(); break;
            case 0x83: {  // GetURL
                std::string_view url = body.cstring();
                std::string_view window = body.cstring();
                if (isFsCommand(url)) host.fsCommand(url.substr(10), window);
                else if (!window.starts_with("_level")) requestUrl(*this, a.target ? a.target : a.base, url, window, UrlRequest::Method::None);
                break;
            }
            case 0x9A: {  // GetURL2
                uint8_t flags = body.u8();
                Str window = toStr(pop(a));
                Str url = toStr(pop(a));
                bool loads = flags & 0xC0;
                std::string_view u = url.view();
                if (!loads && isFsCommand(u)) host.fsCommand(u.substr(10), window.view());
                else if (!loads && !window.view().starts_with("_level"))
                    requestUrl(*this, a.target ? a.target : a.base, u, window.view(), urlMethod(flags & 3));
                break;
            }

            // ---- stack and constants ----
            case 0x96: {  // Push
                while (!body.atEnd()) {
                    uint8_t type = body.u8();
                    switch (type) {
                        case 0: push(Value(codePageText(body.cstring(), a.version))); break;
                        case 1: push(Value(double(body.f32()))); break;
                        case 2: push(Value::null()); break;
                        case 3: push(Value()); break;
                        case 4: {
                            uint8_t r = body.u8();
                            push(r < a.regs.size() ? a.regs[r] : Value());
                            break;
                        }
                        case 5: push(Value(body.u8() != 0)); break;
                        case 6: push(Value(body.f64())); break;
                        case 7: push(Value(double(int32_t(body.u32())))); break;
                        case 8:
                        case 9: {
                            size_t i = type == 8 ? body.u8() : body.u16();
                            push(i < a.pool->size() ? Value((*a.pool)[i]) : Value());
                            break;
                        }
                        default: body.pos = body.data.size(); break;
                    }
                }
                break;
            }
            case 0x17: pop(a); break;
            case 0x4C: {
                Value v = stack.size() > a.stackBase ? stack.back() : Value();
                push(v);
                break;
            }
            case 0x4D: {
                Value x = pop(a), y = pop(a);
                push(x);
                push(y);
                break;
            }
            case 0x88: {  // ConstantPool
                auto pool = std::make_shared<std::vector<Str>>();
                unsigned count = body.u16();
                for (unsigned i = 0; i < count && !body.atEnd(); ++i) pool->push_back(codePageText(body.cstring(), a.version));
                a.pool = pool;
                break;
            }
            case 0x87: {  // StoreRegister
                uint8_t r = body.u8();
                Value v = stack.size() > a.stackBase ? stack.back() : Value();
                if (r < a.regs.size()) a.regs[r] = v;
                break;
            }

            // ---- arithmetic ----
            case 0x0A: case 0x0B: case 0x0C: case 0x0D: {
                Value yv = pop(a), xv = pop(a);
                // Subtract and Divide convert their right operand first.
                double x, y;
                if (op == 0x0B || op == 0x0D) {
                    y = toNumber(yv);
                    x = toNumber(xv);
                } else {
                    x = toNumber(xv);
                    y = toNumber(yv);
                }
                double r = op == 0x0A ? x + y : op == 0x0B ? x - y : op == 0x0C ? x * y : x / y;
                if (op == 0x0D && y == 0 && a.version < 5) push(Value("#ERROR#"));
                else push(Value(r));
                break;
            }
            case 0x0E: {  // Equals (numeric): the right operand converts first
                double y = toNumber(pop(a)), x = toNumber(pop(a));
                push(boolResult(x == y));
                break;
            }
            case 0x0F: {  // Less (numeric)
                Value yv = pop(a), xv = pop(a);
                double x = toNumber(xv), y = toNumber(yv);
                push(boolResult(x < y));
                break;
            }
            case 0x10: {
                bool y = toBoolean(pop(a)), x = toBoolean(pop(a));
                push(boolResult(x && y));
                break;
            }
            case 0x11: {
                bool y = toBoolean(pop(a)), x = toBoolean(pop(a));
                push(boolResult(x || y));
                break;
            }
            case 0x12: push(boolResult(!toBoolean(pop(a)))); break;
            case 0x13: {
                Str y = toStr(pop(a)), x = toStr(pop(a));
                push(boolResult(x.str() == y.str()));
                break;
            }
            case 0x29: {
                Str y = toStr(pop(a)), x = toStr(pop(a));
                push(boolResult(x.str() < y.str()));
                break;
            }
            case 0x68: {
                Str y = toStr(pop(a)), x = toStr(pop(a));
                push(boolResult(x.str() > y.str()));
                break;
            }
            case 0x14: {  // StringLength
                Str s = toStr(pop(a));
                push(Value(double(s.size())));
                break;
            }
            case 0x31: {  // MBStringLength
                Str s = toStr(pop(a));
                push(Value(double(toUtf16(s.view()).size())));
                break;
            }
            case 0x15: case 0x35: {  // StringExtract, MBStringExtract
                double count = toNumber(pop(a)), index = toNumber(pop(a));
                Str s = toStr(pop(a));
                if (op == 0x15) {
                    std::string_view v = s.view();
                    double start = std::max(0.0, std::isnan(index) ? 0 : index - 1);
                    if (start >= double(v.size()) || !(count > 0)) push(Value(""));
                    else push(Value(Str(v.substr(size_t(start), size_t(std::min(count, double(v.size())))))));
                } else {
                    std::u16string u = toUtf16(s.view());
                    double start = std::max(0.0, std::isnan(index) ? 0 : index - 1);
                    if (start >= double(u.size()) || !(count > 0)) push(Value(""));
                    else push(Value(toUtf8(u.substr(size_t(start), size_t(std::min(count, double(u.size())))))));
                }
                break;
            }
            case 0x21: {  // StringAdd
                Str y = toStr(pop(a)), x = toStr(pop(a));
                if (x.size() + y.size() > limits.maxStringBytes) throw ScriptAbort{"string too long"};
                push(Value(x.str() + y.str()));
                break;
            }
            case 0x18: {  // ToInteger
                double v = toNumber(pop(a));
                push(Value(std::isnan(v) ? 0.0 : std::trunc(v)));
                break;
            }
            case 0x32: case 0x36: {  // CharToAscii, MBCharToAscii
                Str s = toStr(pop(a));
                if (s.size() == 0) { push(Value(0.0)); break; }
                if (op == 0x32 && a.version < 6) push(Value(double(static_cast<unsigned char>(s.view()[0]))));
                else {
                    std::u16string u = toUtf16(s.view());
                    push(Value(double(u.empty() ? 0 : u[0])));
                }
                break;
            }
            case 0x33: case 0x37: {  // AsciiToChar, MBAsciiToChar
                double c = toNumber(pop(a));
                char16_t ch = char16_t(toUint32(c) & 0xFFFF);
                if (ch == 0) push(Value(""));
                else push(Value(toUtf8(std::u16string(1, ch))));
                break;
            }
            case 0x30: {  // RandomNumber
                double max = toNumber(pop(a));
                int m = std::isfinite(max) ? int(max) : 0;
                push(Value(m > 0 ? double(std::uniform_int_distribution<int>(0, m - 1)(rng())) : 0.0));
                break;
            }
            case 0x34: push(Value(std::floor(host.millisecondsSinceStart()))); break;
            case 0x3F: {  // Modulo
                double y = toNumber(pop(a)), x = toNumber(pop(a));
                push(Value(std::fmod(x, y)));
                break;
            }
            case 0x47: {  // Add2
                // valueOf first. An object it leaves is asked for its string when the other
                // side is a string, and for valueOf once more (NaN) otherwise.
                Value yv = pop(a), xv = pop(a);
                Value y = toPrimitive(yv), x = toPrimitive(xv);
                auto staysObject = [](const Value& p) { return p.type == Type::Object && p.o->kind != ObjKind::Display; };
                if (x.isString() || y.isString()) {
                    Str xs = toStr(staysObject(x) ? xv : x), ys = toStr(staysObject(y) ? yv : y);
                    if (xs.size() + ys.size() > limits.maxStringBytes) throw ScriptAbort{"string too long"};
                    push(Value(xs.str() + ys.str()));
                } else {
                    double xn = toNumber(staysObject(x) ? xv : x);
                    push(Value(xn + toNumber(staysObject(y) ? yv : y)));
                }
                break;
            }
            case 0x48: {  // Less2
                Value y = pop(a), x = pop(a);
                push(lessThan(x, y));
                break;
            }
            case 0x67: {  // Greater
                Value y = pop(a), x = pop(a);
                Value r = lessThan(y, x);
                push(r);
                break;
            }
            case 0x49: {
                Value y = pop(a), x = pop(a);
                push(Value(looseEquals(x, y)));
                break;
            }
            case 0x66: {
                Value y = pop(a), x = pop(a);
                push(Value(strictEquals(x, y)));
                break;
            }
            case 0x4A: push(Value(toNumber(pop(a)))); break;
            case 0x4B: push(Value(toStr(pop(a)))); break;
            case 0x50: push(Value(toNumber(pop(a)) + 1)); break;
            case 0x51: push(Value(toNumber(pop(a)) - 1)); break;
            case 0x60: case 0x61: case 0x62: case 0x63: case 0x64: case 0x65: {
                double yd = toNumber(pop(a)), xd = toNumber(pop(a));
                int32_t x = toInt32(xd), y = toInt32(yd);
                double r = 0;
                switch (op) {
                    case 0x60: r = x & y; break;
                    case 0x61: r = x | y; break;
                    case 0x62: r = x ^ y; break;
                    case 0x63: r = int32_t(uint32_t(x) << (y & 31)); break;
                    case 0x64: r = x >> (y & 31); break;
                    default: r = double(uint32_t(x) >> (y & 31)); break;
                }
                push(Value(r));
                break;
            }
            case 0x44: push(Value(typeOf(pop(a)))); break;

            // ---- variables and members ----
            case 0x1C: {
                Str name = toStr(pop(a));
                push(getVariable(a, name));
                break;
            }
            case 0x1D: {
                Value v = pop(a);
                Str name = toStr(pop(a));
                setVariable(a, name, v);
                break;
            }
            case 0x3C: {  // DefineLocal
                Value v = pop(a);
                Str name = toStr(pop(a));
                if (a.isFunction) set(a.locals, name, v);
                else defineOnTimeline(a, name, v);
                break;
            }
            case 0x41: {  // DefineLocal2
                Str name = toStr(pop(a));
                if (a.isFunction) {
                    if (!hasOwn(a.locals, name)) set(a.locals, name, Value());
                } else if (size_t split = name.view().find_last_of(":."); split != std::string_view::npos && split > 0) {
                    // "var /:x" declares x where the path leads.
                    Value base;
                    Str member(name.view().substr(split + 1));
                    if (resolvePathObject(a, name.view().substr(0, split), base))
                        if (Object* o = base.object(); o && !has(o, member)) set(o, member, Value());
                } else {
                    Object* t = displayObject(a.target);
                    if (t && !has(t, name)) set(t, name, Value());
                }
                break;
            }
            case 0x4E: {  // GetMember
                Value nameV = pop(a);
                Value obj = pop(a);
                Str name = nameV.isString() ? nameV.s : toStr(nameV);
                push(getValueMember(obj, name));
                break;
            }
            case 0x4F: {  // SetMember
                Value v = pop(a);
                Value nameV = pop(a);
                Value obj = pop(a);
                if (Object* o = obj.object()) set(o, nameV.isString() ? nameV.s : toStr(nameV), v);
                break;
            }
            case 0x3A: {  // Delete
                Str name = toStr(pop(a));
                Value obj = pop(a);
                push(Value(remove(obj.object(), name)));
                break;
            }
            case 0x3B: {  // Delete2
                Str name = toStr(pop(a));
                bool done = false;
                std::string_view n = name.view();
                size_t split = n.find_last_of(":.");
                if (split != std::string_view::npos && split > 0) {
                    Value base;
                    if (resolvePathObject(a, n.substr(0, split), base)) {
                        // The player says so among the traces when the path ends on a primitive.
                        if (base.isString() || base.isNumber() || base.type == Type::Boolean)
                            traceLine("Parameters of primitive types are no longer coerced into the required type - Object.");
                        done = remove(base.object(), Str(n.substr(split + 1)));
                    }
                    push(Value(done));
                    break;
                }
                for (Scope* s = a.scope.get(); s; s = s->parent.get())
                    if (hasOwn(s->object, name)) {
                        done = remove(s->object, name);
                        break;
                    }
                push(Value(done));
                break;
            }
            case 0x22: {  // GetProperty
                int index = propertyIndexOf(toNumber(pop(a)));
                DisplayId t = resolveTarget(pop(a));
                push(t ? getPropertyByIndex(t, index) : Value());
                break;
            }
            case 0x23: {  // SetProperty
                Value v = pop(a);
                int index = propertyIndexOf(toNumber(pop(a)));
                DisplayId t = resolveTarget(pop(a));
                // From version 7 a NaN names a clip "0".
                if (t && index == 13 && a.version >= 7 && v.isNumber() && std::isnan(v.n)) v = Value(0.0);
                if (t) setPropertyByIndex(t, index, v);
                else if (index == 13 || index == 19) toStr(v);  // converted all the same: _name, _quality as text,
                else if (index >= 0 && index != 11 && index != 14 && index != 15) toNumber(v);  // the others as numbers
                break;
            }
            case 0x45: {  // TargetPath
                Value v = pop(a);
                Object* o = v.object();
                if (o && o->kind == ObjKind::Display) push(Value(targetPath(o->display, false)));
                else push(Value());
                break;
            }
            case 0x26: trace(pop(a)); break;

            // ---- objects ----
            case 0x42: {  // InitArray
                double count = toNumber(pop(a));
                if (count < 0 || count > 2147483647.0) {
                    // A count no array can have makes nothing and takes nothing off the stack.
                    push(Value());
                    break;
                }
                size_t n = count > 0 ? size_t(std::min(count, double(stack.size() - a.stackBase))) : 0;
                std::vector<Value> items;
                items.reserve(n);
                for (size_t i = 0; i < n; ++i) items.push_back(pop(a));
                push(Value(makeArray(std::move(items))));
                break;
            }
            case 0x43: {  // InitObject
                double count = toNumber(pop(a));
                size_t n = count > 0 ? size_t(std::min(count, double(stack.size() - a.stackBase) / 2)) : 0;
                Object* o = makeObject();
                for (size_t i = 0; i < n; ++i) {
                    Value v = pop(a);
                    Str name = toStr(pop(a));
                    set(o, name, v);
                }
                push(Value(o));
                break;
            }
            case 0x3D: case 0x52: case 0x40: case 0x53: {  // CallFunction, CallMethod, NewObject, NewMethod
                bool isMethod = op == 0x52 || op == 0x53;
                Value nameV = pop(a);
                Value obj = isMethod ? pop(a) : Value();
                double count = toNumber(pop(a));
                size_t n = count > 0 ? size_t(std::min(count, double(stack.size() - a.stackBase))) : 0;
                std::vector<Value> args;
                args.reserve(n);
                for (size_t i = 0; i < n; ++i) args.push_back(pop(a));
                Str name = nameV.isUndefined() ? Str() : toStr(nameV);
                Value fn, thisv;
                Object* holder = nullptr;
                if (!isMethod) {
                    // A plain call runs on the caller's timeline, or on the with object or
                    // activation that holds the function.
                    const Scope* where = nullptr;
                    fn = hasPathChars(name.view()) ? getVariable(a, name) : lookupScope(a, name, nullptr, &where);
                    Object* base = displayObject(a.target ? a.target : a.base);
                    thisv = base ? Value(base) : Value();
                    if (where && (where->kind == ScopeKind::Local || where->kind == ScopeKind::With))
                        thisv = Value(where->object);
                    if (name.view() == "super" && a.superObj) {
                        // super(): the superclass constructor, on this object.
                        Object* s = a.superObj;
                        fn = superConstructor(s);
                        thisv = s->more().superThis;
                        holder = s->proto;
                    }
                } else if (name.size() == 0 && obj.object() && obj.o->kind == ObjKind::Super) {
                    Object* s = obj.o;
                    fn = superConstructor(s);
                    thisv = s->more().superThis;
                    holder = s->proto;
                } else if (name.size() == 0) {
                    fn = obj;
                    thisv = Value();
                } else {
                    Object* o = obj.object();
                    if (o && o->kind == ObjKind::Super) {
                        Object* start = o->proto;
                        Object* h = nullptr;
                        Slot* p = start ? findInChain(start, key(name.view()), &h) : nullptr;
                        if (p) fn = p->getter ? call(Value(p->getter), o->more().superThis, {}) : p->value;
                        thisv = o->more().superThis;
                        holder = h;
                    } else {
                        fn = getValueMember(obj, name);
                        thisv = obj;
                        if (o) findInChain(o, key(name.view()), &holder);
                    }
                }
                if (op == 0x3D || op == 0x52) {
                    Object* f = fn.object();
                    if (!f || !f->isFunction()) push(Value());
                    else if (f->native) push(call(fn, thisv, args));
                    else push(runFunction(f, thisv, args, holder));
                } else {
                    push(construct(fn, args));
                }
                // Code whose clip left the stage during a call goes no further; a method
                // asked of nothing was no call.
                if (a.base && (!isMethod || !obj.isNullish()) && host.kind(a.base) == DisplayKind::None) {
                    returned = Value();
                    a.pc = code.size();
                    return Flow::Return;
                }
                break;
            }
            case 0x3E: {  // Return
                returned = pop(a);
                a.pc = code.size();
                return Flow::Return;
            }
            case 0x46: case 0x55: {  // Enumerate, Enumerate2
                Value v = pop(a);
                Object* o = nullptr;
                if (op == 0x46) {
                    Value target = getVariable(a, toStr(v));
                    o = target.object();
                } else {
                    o = v.object();
                }
                push(Value());  // the end marker
                if (o) {
                    std::vector<Str> names = enumerate(o);
                    if (o->kind == ObjKind::Display) {
                        // Named children follow, frontmost first.
                        std::vector<DisplayId> kids = host.children(o->display);
                        for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
                            std::string n = host.name(*it);
                            if (!n.empty()) names.push_back(Str(n));
                        }
                    }
                    // The loop pops names off the stack: push them last-enumerated first.
                    for (auto it = names.rbegin(); it != names.rend(); ++it) push(Value(*it));
                }
                break;
            }
            case 0x54: {  // InstanceOf
                Value ctor = pop(a), obj = pop(a);
                Object* o = obj.object();
                if (!o && (obj.isString() || obj.isNumber() || obj.type == Type::Boolean)) o = nullptr;
                push(Value(o && instanceOf(o, ctor.object())));
                break;
            }
            case 0x2B: {  // CastOp
                Value obj = pop(a), ctor = pop(a);
                Object* o = obj.object();
                push(o && instanceOf(o, ctor.object()) ? obj : Value::null());
                break;
            }
            case 0x2C: {  // ImplementsOp
                Value ctor = pop(a);
                double count = toNumber(pop(a));
                size_t n = count > 0 ? size_t(std::min(count, double(stack.size() - a.stackBase))) : 0;
                std::vector<Object*> interfaces;
                for (size_t i = 0; i < n; ++i)
                    if (Object* o = pop(a).object()) interfaces.push_back(o);
                if (Object* c = ctor.object()) c->more().interfaces = std::move(interfaces);
                break;
            }
            case 0x69: {  // Extends
                Value super = pop(a), sub = pop(a);
                Object* s = super.object();
                Object* c = sub.object();
                if (!s || !c) break;
                Object* proto = alloc(ObjKind::Plain, get(s, "prototype").object());
                define(proto, "__constructor__", Value(s));
                define(c, "prototype", Value(proto), prop_flag::kDontEnum | prop_flag::kDontDelete);
                break;
            }
            case 0x2A: throw ScriptThrow{pop(a)};

            // ---- control flow ----
            case 0x99: {  // Jump
                int16_t offset = int16_t(body.u16());
                long target = long(a.pc) + offset;
                if (target < 0 || size_t(target) > code.size()) { a.pc = code.size(); return Flow::Out; }
                a.pc = size_t(target);
                break;
            }
            case 0x9D: {  // If
                int16_t offset = int16_t(body.u16());
                if (toBoolean(pop(a))) {
                    long target = long(a.pc) + offset;
                    if (target < 0 || size_t(target) > code.size()) { a.pc = code.size(); return Flow::Out; }
                    a.pc = size_t(target);
                }
                break;
            }
            case 0x9B: case 0x8E: {  // DefineFunction, DefineFunction2
                auto def = std::make_shared<FunctionDef>();
                def->name = std::string(body.cstring());
                unsigned params = body.u16();
                def->v2 = op == 0x8E;
                if (def->v2) {
                    def->registerCount = body.u8();
                    def->flags = body.u16();
                    for (unsigned i = 0; i < params && !body.atEnd(); ++i) {
                        uint8_t reg = body.u8();
                        def->params.emplace_back(reg, Str(body.cstring()));
                    }
                } else {
                    for (unsigned i = 0; i < params && !body.atEnd(); ++i) def->params.emplace_back(0, Str(body.cstring()));
                }
                size_t size = body.u16();
                size_t start = a.pc;
                size = std::min(size, code.size() - start);
                def->code = code.subspan(start, size);
                // Functions never had SWF 4 semantics, even in a movie marked as version 4.
                def->version = std::max(a.version, 5);
                def->pool = a.pool;
                def->baseClip = a.base;
                a.pc = start + size;
                Object* f = alloc(ObjKind::Function, functionProto);
                f->def = def;
                f->scope = a.scope;
                if (a.version < 6) {
                    // SWF 5 functions close over nothing but their timeline and _global.
                    for (auto s = a.scope; s; s = s->parent)
                        if (s->kind == ScopeKind::Target || s->kind == ScopeKind::Global) {
                            f->scope = s;
                            break;
                        }
                }
                Object* proto = makeObject();
                define(proto, "constructor", Value(f));
                define(f, "prototype", Value(proto), prop_flag::kDontEnum | prop_flag::kDontDelete);
                if (def->name.empty()) push(Value(f));
                else if (a.isFunction) set(a.locals, Str(def->name), Value(f));
                else setVariable(a, Str(def->name), Value(f));
                break;
            }
            case 0x94: {  // With
                size_t size = body.u16();
                Value v = pop(a);
                size_t start = a.pc, stop = std::min(code.size(), start + size);
                Object* o = v.object();
                if (!o) o = toObject(v);
                if (!o) {
                    // Nothing to scope on: the block runs with the current chain.
                    break;
                }
                auto saved = a.scope;
                a.scope = std::make_shared<Scope>(Scope{ScopeKind::With, o, saved});
                Flow f;
                try {
                    f = execute(a, start, stop, returned);
                } catch (...) {
                    a.scope = saved;
                    throw;
                }
                a.scope = saved;
                if (f == Flow::Return) return f;
                if (f == Flow::Normal) a.pc = stop;
                break;
            }
            case 0x8F: {  // Try
                uint8_t flags = body.u8();
                size_t trySize = body.u16(), catchSize = body.u16(), finallySize = body.u16();
                bool catchInRegister = flags & 4;
                Str catchName;
                uint8_t catchReg = 0;
                if (catchInRegister) catchReg = body.u8();
                else catchName = Str(body.cstring());
                size_t tryStart = a.pc;
                size_t catchStart = std::min(code.size(), tryStart + trySize);
                size_t finallyStart = std::min(code.size(), catchStart + catchSize);
                size_t after = std::min(code.size(), finallyStart + finallySize);
                size_t depth = stack.size();
                Flow f = Flow::Normal;
                size_t outPc = 0;
                std::optional<ScriptThrow> pending;
                try {
                    f = execute(a, tryStart, catchStart, returned);
                    outPc = a.pc;
                } catch (ScriptThrow& t) {
                    stack.resize(std::max(a.stackBase, std::min(stack.size(), depth)));
                    if (flags & 1) {
                        if (catchInRegister) {
                            if (catchReg < a.regs.size()) a.regs[catchReg] = t.value;
                        } else if (a.isFunction) {
                            set(a.locals, catchName, t.value);
                        } else {
                            setVariable(a, catchName, t.value);
                        }
                        try {
                            f = execute(a, catchStart, finallyStart, returned);
                            outPc = a.pc;
                        } catch (ScriptThrow& t2) {
                            pending = t2;
                        }
                    } else {
                        pending = t;
                    }
                }
                if ((flags & 2) && finallySize) {
                    Value finallyReturn;
                    Flow ff = execute(a, finallyStart, after, finallyReturn);
                    if (ff == Flow::Return) {
                        returned = finallyReturn;
                        return ff;
                    }
                    if (ff == Flow::Out) return ff;
                }
                if (pending) throw *pending;
                if (f == Flow::Return) return f;
                if (f == Flow::Out) a.pc = outPc;
                else a.pc = after;
                break;
            }
            default: break;  // unknown actions are skipped by their length
        }
    }
}

}  // namespace swf::avm1
