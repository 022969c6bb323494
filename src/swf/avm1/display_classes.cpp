// MovieClip, Button, TextField and TextFormat, and the player objects scripts talk to:
// Key, Mouse, Stage, Selection, System, Color and ASBroadcaster.
#include <cmath>
#include <limits>

#include "swf/avm1/vm.h"

namespace swf::avm1 {
namespace {

using Args = std::span<const Value>;

DisplayId thisDisplay(const Value& thisv) {
    Object* o = thisv.object();
    return o && o->kind == ObjKind::Display ? o->display : kNoDisplay;
}

DisplayId displayArg(EngineImpl& e, const Value& v, DisplayId relativeTo) {
    if (Object* o = v.object()) return o->kind == ObjKind::Display ? o->display : kNoDisplay;
    if (v.isNullish()) return kNoDisplay;
    std::string path = e.toString(v);
    Activation a;
    a.base = a.target = relativeTo;
    a.thisv = e.displayValue(relativeTo);
    a.stackBase = e.stack.size();
    Object* clip = e.displayObject(relativeTo);
    auto g = std::make_shared<Scope>(Scope{ScopeKind::Global, e.global, nullptr});
    a.scope = clip ? std::make_shared<Scope>(Scope{ScopeKind::Target, clip, g}) : g;
    Value out;
    if (!e.resolvePathObject(a, path, out)) return kNoDisplay;
    Object* o = out.object();
    return o && o->kind == ObjKind::Display ? o->display : kNoDisplay;
}

}  // namespace

// Frame numbers wrap as 32-bit integers. Anything but a whole number is read as text:
// "path:frame" names another clip, a text that is a whole number is a frame number, any
// other a label. The bias applies to labels too. Empty when the clip or label is unknown.
std::optional<FrameRef> frameOfValue(EngineImpl& e, DisplayId clip, const Value& frame, int bias) {
    auto numbered = [&](DisplayId target, double n) {
        return FrameRef{target, int32_t(uint32_t(toInt32(n)) - 1u + uint32_t(bias))};
    };
    if (frame.isNumber()) {
        double n = frame.n;
        if (std::isfinite(n) && n == std::trunc(n)) return numbered(clip, n);
    }
    std::string text = e.toString(frame);
    std::string_view name = text;
    DisplayId target = clip;
    if (size_t colon = name.rfind(':'); colon != std::string_view::npos) {
        target = displayArg(e, Value(Str(name.substr(0, colon))), clip);
        name = name.substr(colon + 1);
        if (target == kNoDisplay) return std::nullopt;
    }
    double n = stringToNumber(name, 5);
    if (!name.empty() && std::isfinite(n) && n == std::trunc(n)) return numbered(target, n);
    if (int labelled = e.host.frameOfLabel(target, name); labelled >= 0) return numbered(target, labelled + 1.0);
    return std::nullopt;
}

// A frame before the first is no goto at all.
void gotoFrameValue(EngineImpl& e, DisplayId clip, const Value& frame, bool play, int bias) {
    auto ref = frameOfValue(e, clip, frame, bias);
    if (ref && ref->zeroBased >= 0) e.host.gotoFrame(ref->clip, ref->zeroBased, play);
}

// ifFrameLoaded: a movie that has arrived counts every frame up to the format's limit of
// 16000 as loaded; frames before the first and unknown labels count as loaded too.
bool frameLoaded(EngineImpl& e, DisplayId clip, int64_t zeroBased) {
    constexpr int64_t kLastPossibleFrame = 16000;
    if (zeroBased < 0) return true;
    int loaded = e.host.framesLoaded(clip);
    if (zeroBased < loaded) return true;
    return loaded >= e.host.totalFrames(clip) && zeroBased <= kLastPossibleFrame;
}

namespace {

Value rectObject(EngineImpl& e, const Rect& r) {
    Object* o = e.makeObject();
    e.set(o, "xMin", Value(r.xMin));
    e.set(o, "xMax", Value(r.xMax));
    e.set(o, "yMin", Value(r.yMin));
    e.set(o, "yMax", Value(r.yMax));
    return Value(o);
}

Matrix matrixFrom(EngineImpl& e, const Value& v) {
    Matrix m;
    Object* o = v.object();
    if (!o) return m;
    Value mt = e.get(o, "matrixType");
    if (mt.isString() && mt.s.view() == "box") {
        double w = e.toNumber(e.get(o, "w")), h = e.toNumber(e.get(o, "h")), x = e.toNumber(e.get(o, "x")),
               y = e.toNumber(e.get(o, "y")), r = e.toNumber(e.get(o, "r"));
        double sx = w / 1638.4, sy = h / 1638.4;
        m.a = sx * std::cos(r);
        m.b = sy * std::sin(r);
        m.c = -sx * std::sin(r);
        m.d = sy * std::cos(r);
        m.tx = x + w / 2;
        m.ty = y + h / 2;
        return m;
    }
    auto num = [&](const char* k, double def) {
        Value x = e.get(o, k);
        return x.isUndefined() ? def : e.toNumber(x);
    };
    if (e.has(o, "a")) {
        m.a = num("a", 1); m.b = num("b", 0); m.c = num("c", 0); m.d = num("d", 1); m.tx = num("tx", 0); m.ty = num("ty", 0);
    } else {
        m.a = num("a", 1);
    }
    return m;
}

GradientFill gradientFrom(EngineImpl& e, Args args) {
    GradientFill g;
    g.radial = e.toString(arg(args, 0)) == "radial";
    auto list = [&](size_t i, auto&& fn) {
        if (Object* a = arg(args, i).object(); a && a->kind == ObjKind::Array)
            for (auto& v : a->elements) fn(e.toNumber(v));
    };
    list(1, [&](double v) { g.colors.push_back(toUint32(v) & 0xFFFFFF); });
    list(2, [&](double v) { g.alphas.push_back(v); });
    list(3, [&](double v) { g.ratios.push_back(v); });
    g.matrix = matrixFrom(e, arg(args, 4));
    std::string spread = e.toString(arg(args, 5));
    g.spread = spread == "reflect" ? 1 : spread == "repeat" ? 2 : 0;
    g.interpolation = e.toString(arg(args, 6)) == "linearRGB" ? 1 : 0;
    g.focalPoint = args.size() > 7 ? e.toNumber(args[7]) : 0;
    return g;
}

Value clipMethod(EngineImpl& e, Object* callee, const Value& thisv, Args args) {
    DisplayId id = thisDisplay(thisv);
    if (!id) return Value();
    Host& h = e.host;
    auto num = [&](size_t i) { return e.toNumber(arg(args, i)); };
    auto str = [&](size_t i) { return e.toString(arg(args, i)); };
    switch (callee->magic) {
        case 0: h.play(id); break;
        case 1: h.stop(id); break;
        case 2: h.nextFrame(id); break;
        case 3: h.prevFrame(id); break;
        case 4: gotoFrameValue(e, id, arg(args, 0), true, 0); break;
        case 5: gotoFrameValue(e, id, arg(args, 0), false, 0); break;
        case 6: case 7: {  // attachMovie(symbol, name, depth, init), duplicateMovieClip(name, depth, init)
            const bool attach = callee->magic == 6;
            // The init object's properties reach the new clip before its class's constructor
            // runs, which happens while the player places it (displayObjectCreated).
            Object* init = arg(args, attach ? 3 : 2).object();
            const DisplayId parent = attach ? id : h.parent(id);
            e.pendingInit = init ? std::optional(EngineImpl::PendingInit{parent, init}) : std::nullopt;
            DisplayId c = attach ? h.attachMovie(id, str(0), str(1), clampToInt(num(2)))
                                 : h.duplicateMovieClip(id, str(0), clampToInt(num(1)));
            std::optional<EngineImpl::PendingInit> unused = std::exchange(e.pendingInit, std::nullopt);
            if (!c) return Value();
            Object* o = e.displayObject(c);
            if (unused && o) e.copyInitProperties(o, unused->init);
            return Value(o);
        }
        case 8: {  // createEmptyMovieClip(name, depth)
            DisplayId c = h.createEmptyMovieClip(id, str(0), clampToInt(num(1)));
            return c ? e.displayValue(c) : Value();
        }
        case 9: {  // createTextField(name, depth, x, y, w, h)
            // The frame is in whole pixels (NaN and infinities are 0); a negative size counts
            // as its magnitude.
            auto whole = [&](size_t i) { return double(toInt32(num(i))); };
            DisplayId c = h.createTextField(id, str(0), clampToInt(num(1)), whole(2), whole(3), std::fabs(whole(4)),
                                            std::fabs(whole(5)));
            return e.version >= 8 && c ? e.displayValue(c) : Value();
        }
        case 10: h.removeObject(id); break;
        case 11: {  // swapDepths
            // A clip, or a path naming one, trades places with it; anything else is a depth
            // (wrapping as a 32-bit integer); no argument, or undefined, does nothing.
            const Value& to = arg(args, 0);
            if (to.isUndefined()) break;
            if (Object* o = to.object(); o && o->kind == ObjKind::Display) {
                h.swapDepthsWith(id, o->display);
                break;
            }
            if (to.isString())
                if (DisplayId other = displayArg(e, to, id); other != kNoDisplay && other != id) {
                    h.swapDepthsWith(id, other);
                    break;
                }
            h.swapDepths(id, toInt32(e.toNumber(to)));
            break;
        }
        case 12: return Value(double(h.nextHighestDepth(id)));
        case 13: return Value(double(h.depth(id)));
        case 14: {  // getInstanceAtDepth
            DisplayId c = h.instanceAtDepth(id, clampToInt(num(0)));
            return c ? e.displayValue(c) : Value();
        }
        case 15: case 16: {  // getBounds, getRect
            DisplayId space = args.empty() ? id : displayArg(e, args[0], id);
            if (!args.empty() && !space) return Value();
            return rectObject(e, h.bounds(id, space, callee->magic == 15));
        }
        case 17: {  // hitTest
            if (args.size() >= 2) return Value(h.hitTestPoint(id, num(0), num(1), e.toBoolean(arg(args, 2))));
            DisplayId other = displayArg(e, arg(args, 0), id);
            return Value(other ? h.hitTestObject(id, other) : false);
        }
        case 18: case 19: {  // localToGlobal, globalToLocal
            Object* p = arg(args, 0).object();
            if (!p) return Value();
            // Only a point whose own x and y are numbers is converted; anything else stays.
            if (!e.hasOwn(p, Str("x")) || !e.hasOwn(p, Str("y"))) return Value();
            Value x = e.get(p, "x"), y = e.get(p, "y");
            if (!x.isNumber() || !y.isNumber()) return Value();
            Point pt{x.n, y.n};
            Point r = callee->magic == 18 ? h.localToGlobal(id, pt) : h.globalToLocal(id, pt);
            e.set(p, "x", Value(r.x));
            e.set(p, "y", Value(r.y));
            break;
        }
        case 20: {  // startDrag(lock, l, t, r, b)
            std::optional<Rect> r;
            if (args.size() >= 5) r = Rect{num(1), num(2), num(3), num(4)};
            h.startDrag(id, e.toBoolean(arg(args, 0)), r);
            break;
        }
        case 21: h.stopDrag(); break;
        case 22: {  // setMask: true once set or cleared; a mask that names nothing changes nothing
            if (args.empty()) return Value();
            if (args[0].isNullish()) {
                h.setMask(id, kNoDisplay);
                return Value(true);
            }
            // A path is read where the calling code runs, not from the masked clip.
            DisplayId from = e.current ? (e.current->target ? e.current->target : e.current->base) : id;
            DisplayId mask = displayArg(e, args[0], from ? from : id);
            if (!mask) return Value(false);
            h.setMask(id, mask);
            return Value(true);
        }
        case 23: h.moveTo(id, num(0), num(1)); break;
        case 24: h.lineTo(id, num(0), num(1)); break;
        case 25: h.curveTo(id, num(0), num(1), num(2), num(3)); break;
        case 26: {  // lineStyle
            LineStyleArgs s;
            s.thickness = args.empty() ? std::nan("") : num(0);
            s.color = toUint32(num(1)) & 0xFFFFFF;
            s.alpha = args.size() > 2 ? num(2) : 100;
            s.pixelHinting = e.toBoolean(arg(args, 3));
            if (args.size() > 4) s.scaleMode = str(4);
            if (args.size() > 5) s.caps = str(5);
            if (args.size() > 6) s.joints = str(6);
            if (args.size() > 7) s.miterLimit = num(7);
            h.lineStyle(id, s);
            break;
        }
        case 27: h.beginFill(id, toUint32(num(0)) & 0xFFFFFF, args.size() > 1 ? num(1) : 100); break;
        case 28: h.beginGradientFill(id, gradientFrom(e, args)); break;
        case 29: h.endFill(id); break;
        case 30: h.clearDrawing(id); break;
        case 31: h.beginBitmapFill(id, str(0), matrixFrom(e, arg(args, 1)), args.size() > 2 ? e.toBoolean(args[2]) : true,
                                   e.toBoolean(arg(args, 3))); break;
        case 32: h.lineGradientStyle(id, gradientFrom(e, args)); break;
        case 33: return Value(double(h.swfVersion(id)));
        case 34: {  // getBytesLoaded / getBytesTotal: everything is loaded
            std::optional<std::string> bytes = h.setting(id, "bytesTotal");
            return bytes ? Value(e.toNumber(Value(Str(*bytes)))) : Value();
        }
        case 35: {  // getURL
            std::string method = str(2);
            for (char& c : method) c = char(std::tolower(static_cast<unsigned char>(c)));
            requestUrl(e, id, str(0), str(1),
                       method == "get"    ? UrlRequest::Method::Get
                       : method == "post" ? UrlRequest::Method::Post
                                          : UrlRequest::Method::None);
            break;
        }
        case 36: {  // removeTextField
            h.removeObject(id);
            break;
        }
        case 37: {  // getTextFormat / getNewTextFormat handled by TextField
            break;
        }
    }
    return Value();
}



// ---- ASBroadcaster ----

Value broadcasterInitialize(EngineImpl& e, Object*, const Value&, Args args) {
    Object* o = arg(args, 0).object();
    if (!o) return Value();
    Object* bc = e.get(e.global, "AsBroadcaster").object();
    if (!bc) bc = e.get(e.global, "ASBroadcaster").object();
    if (bc) {
        e.set(o, "addListener", e.get(bc, "addListener"));
        e.set(o, "removeListener", e.get(bc, "removeListener"));
        e.set(o, "broadcastMessage", e.get(bc, "broadcastMessage"));
    }
    e.set(o, "_listeners", Value(e.makeArray()));
    for (const char* n : {"addListener", "removeListener", "broadcastMessage", "_listeners"}) {
        if (Slot* p = e.findOwn(o, e.key(n))) p->flags |= prop_flag::kDontEnum;
    }
    return Value();
}

Value broadcasterAdd(EngineImpl& e, Object*, const Value& thisv, Args args) {
    Object* o = thisv.object();
    if (!o) return Value(false);
    Object* list = e.get(o, "_listeners").object();
    if (!list || list->kind != ObjKind::Array) return Value(false);
    for (auto& v : list->elements)
        if (e.strictEquals(v, arg(args, 0))) return Value(true);
    list->elements.push_back(arg(args, 0));
    return Value(true);
}

Value broadcasterRemove(EngineImpl& e, Object*, const Value& thisv, Args args) {
    Object* o = thisv.object();
    if (!o) return Value(false);
    Object* list = e.get(o, "_listeners").object();
    if (!list || list->kind != ObjKind::Array) return Value(false);
    for (size_t i = 0; i < list->elements.size(); ++i)
        if (e.strictEquals(list->elements[i], arg(args, 0))) {
            list->elements.erase(list->elements.begin() + long(i));
            return Value(true);
        }
    return Value(false);
}

Value broadcasterBroadcast(EngineImpl& e, Object*, const Value& thisv, Args args) {
    Object* o = thisv.object();
    if (!o || args.empty()) return Value();
    Object* list = e.get(o, "_listeners").object();
    if (!list || list->kind != ObjKind::Array) return Value();
    Str name = e.toStr(args[0]);
    std::vector<Value> copy = list->elements;
    bool any = false;
    for (auto& l : copy) {
        if (!l.isObject()) continue;
        e.callMethod(l, name, args.subspan(1));
        any = true;
    }
    return any ? Value(true) : Value();
}

// ---- Key, Mouse, Stage, Selection ----

Value keyMethod(EngineImpl& e, Object* callee, const Value&, Args args) {
    switch (callee->magic) {
        case 0: return Value(e.host.isKeyDown(clampToInt(e.toNumber(arg(args, 0)))));
        case 1: return Value(double(e.host.lastKeyCode()));
        case 2: return Value(double(e.host.lastKeyAscii()));
        case 3: return Value(false);  // isToggled
    }
    return Value();
}

Value mouseMethod(EngineImpl& e, Object* callee, const Value&, Args) {
    e.host.setMouseVisible(callee->magic == 0);
    return Value(1.0);
}

Value stageGetter(EngineImpl& e, Object* callee, const Value&, Args) {
    switch (callee->magic) {
        case 0: return Value(e.host.stageWidth());
        case 1: return Value(e.host.stageHeight());
        case 2: return Value(e.host.stageScaleMode());
        case 3: return Value(e.host.stageAlign());
        case 4: return Value(true);  // showMenu
    }
    return Value();
}

Value stageSetter(EngineImpl& e, Object* callee, const Value&, Args args) {
    if (callee->magic == 2) e.host.setStageScaleMode(e.toString(arg(args, 0)));
    if (callee->magic == 3) e.host.setStageAlign(e.toString(arg(args, 0)));
    return Value();
}

Value selectionMethod(EngineImpl& e, Object* callee, const Value&, Args args) {
    Host& h = e.host;
    switch (callee->magic) {
        case 0: {
            DisplayId f = h.focus();
            return f ? Value(e.targetPath(f, false)) : Value::null();
        }
        case 1: {
            if (args.empty()) return Value(false);
            if (arg(args, 0).isNullish()) return Value(h.setFocus(kNoDisplay));
            DisplayId f = displayArg(e, arg(args, 0), h.level(0));
            return Value(f != kNoDisplay && h.setFocus(f));
        }
        case 2: return Value(double(h.selectionBegin()));
        case 3: return Value(double(h.selectionEnd()));
        case 4: return Value(double(h.caretIndex()));
        case 5: {  // setSelection(begin, [end]): without an end, to the end of the text
            if (args.empty()) return Value();
            const int begin = clampToInt(e.toNumber(args[0]));
            const int end = args.size() > 1 ? clampToInt(e.toNumber(args[1])) : std::numeric_limits<int>::max();
            h.setSelection(begin, end);
            return Value();
        }
    }
    return Value();
}

// ---- Color ----

Value colorCtor(EngineImpl& e, Object*, const Value& thisv, Args args) {
    if (Object* o = thisv.object()) e.define(o, "target", arg(args, 0), prop_flag::kDontEnum);
    return Value();
}

Value colorMethod(EngineImpl& e, Object* callee, const Value& thisv, Args args) {
    Object* o = thisv.object();
    if (!o) return Value();
    Value target = e.get(o, "target");
    if (target.isString() && target.s.size() == 0) return Value();
    DisplayId id = displayArg(e, target, e.host.level(0));
    if (!id) return Value();
    ColorTransformValues ct = e.host.colorTransform(id);
    switch (callee->magic) {
        case 0: {  // getRGB
            // Offsets are signed: a negative one fills the bits above it.
            auto r = uint32_t(int32_t(ct.redOffset)), g = uint32_t(int32_t(ct.greenOffset)), b = uint32_t(int32_t(ct.blueOffset));
            return Value(double(int32_t(r << 16 | g << 8 | b)));
        }
        case 1: {  // setRGB
            uint32_t rgb = toUint32(e.toNumber(arg(args, 0)));
            ct.redMultiplier = ct.greenMultiplier = ct.blueMultiplier = 0;
            ct.redOffset = (rgb >> 16) & 0xFF;
            ct.greenOffset = (rgb >> 8) & 0xFF;
            ct.blueOffset = rgb & 0xFF;
            e.host.setColorTransform(id, ct);
            return Value();
        }
        case 2: {  // getTransform
            Object* t = e.makeObject();
            e.set(t, "ra", Value(ct.redMultiplier * 100));
            e.set(t, "rb", Value(ct.redOffset));
            e.set(t, "ga", Value(ct.greenMultiplier * 100));
            e.set(t, "gb", Value(ct.greenOffset));
            e.set(t, "ba", Value(ct.blueMultiplier * 100));
            e.set(t, "bb", Value(ct.blueOffset));
            e.set(t, "aa", Value(ct.alphaMultiplier * 100));
            e.set(t, "ab", Value(ct.alphaOffset));
            return Value(t);
        }
        case 3: {  // setTransform
            Object* t = arg(args, 0).object();
            if (!t) return Value();
            // The player keeps these as 16-bit numbers: multipliers in 1/256 steps, offsets
            // whole, both wrapping when too big.
            auto field = [&](const char* k, double& out, bool multiplier) {
                if (!e.hasOwn(t, k)) return;  // inherited values do not count
                double v = e.toNumber(e.get(t, k));
                if (multiplier) v = v * 256 / 100;
                double stored = double(int16_t(toInt32(v)));
                out = multiplier ? stored / 256 : stored;
            };
            field("ra", ct.redMultiplier, true);
            field("rb", ct.redOffset, false);
            field("ga", ct.greenMultiplier, true);
            field("gb", ct.greenOffset, false);
            field("ba", ct.blueMultiplier, true);
            field("bb", ct.blueOffset, false);
            field("aa", ct.alphaMultiplier, true);
            field("ab", ct.alphaOffset, false);
            e.host.setColorTransform(id, ct);
            return Value();
        }
    }
    return Value();
}

Value noop(EngineImpl&, Object*, const Value&, Args) { return Value(); }

}  // namespace

void installDisplay(EngineImpl& e) {
    Object* mc = e.movieClipProto;
    e.makeClass("MovieClip", noop, mc);
    const char* clipNames[] = {"play", "stop", "nextFrame", "prevFrame", "gotoAndPlay", "gotoAndStop", "attachMovie",
                               "duplicateMovieClip", "createEmptyMovieClip", "createTextField", "removeMovieClip",
                               "swapDepths", "getNextHighestDepth", "getDepth", "getInstanceAtDepth", "getBounds",
                               "getRect", "hitTest", "localToGlobal", "globalToLocal", "startDrag", "stopDrag",
                               "setMask", "moveTo", "lineTo", "curveTo", "lineStyle", "beginFill",
                               "beginGradientFill", "endFill", "clear", "beginBitmapFill", "lineGradientStyle",
                               "getSWFVersion", "getBytesLoaded", "getURL"};
    for (int i = 0; i < 36; ++i) e.method(mc, clipNames[i], clipMethod, i);
    e.method(mc, "getBytesTotal", clipMethod, 34);

    e.makeClass("Button", noop, e.buttonProto);
    e.method(e.buttonProto, "getDepth", clipMethod, 13);

    e.makeClass("TextField", noop, e.textFieldProto);
    e.method(e.textFieldProto, "removeTextField", clipMethod, 36);
    e.method(e.textFieldProto, "getDepth", clipMethod, 13);
    e.method(e.textFieldProto, "swapDepths", clipMethod, 11);

    Object* bc = e.makeNative(noop);
    e.define(e.global, "AsBroadcaster", Value(bc));
    e.define(bc, "prototype", Value(e.makeObject()), prop_flag::kDontEnum | prop_flag::kDontDelete);
    e.method(bc, "initialize", broadcasterInitialize);
    e.method(bc, "addListener", broadcasterAdd);
    e.method(bc, "removeListener", broadcasterRemove);
    e.method(bc, "broadcastMessage", broadcasterBroadcast);
    Value initArgs[1];

    e.keyObject = e.makeObject();
    e.define(e.global, "Key", Value(e.keyObject));
    initArgs[0] = Value(e.keyObject);
    broadcasterInitialize(e, nullptr, Value(), initArgs);
    e.method(e.keyObject, "isDown", keyMethod, 0);
    e.method(e.keyObject, "getCode", keyMethod, 1);
    e.method(e.keyObject, "getAscii", keyMethod, 2);
    e.method(e.keyObject, "isToggled", keyMethod, 3);
    const std::pair<const char*, int> keys[] = {{"ALT", 18}, {"BACKSPACE", 8}, {"CAPSLOCK", 20}, {"CONTROL", 17},
                                                {"DELETEKEY", 46}, {"DOWN", 40}, {"END", 35}, {"ENTER", 13},
                                                {"ESCAPE", 27}, {"HOME", 36}, {"INSERT", 45}, {"LEFT", 37},
                                                {"PGDN", 34}, {"PGUP", 33}, {"RIGHT", 39}, {"SHIFT", 16},
                                                {"SPACE", 32}, {"TAB", 9}, {"UP", 38}};
    for (auto& [n, code] : keys) e.define(e.keyObject, n, Value(double(code)), prop_flag::kDontEnum | prop_flag::kDontDelete | prop_flag::kReadOnly);

    e.mouseObject = e.makeObject();
    e.define(e.global, "Mouse", Value(e.mouseObject));
    initArgs[0] = Value(e.mouseObject);
    broadcasterInitialize(e, nullptr, Value(), initArgs);
    e.method(e.mouseObject, "show", mouseMethod, 0);
    e.method(e.mouseObject, "hide", mouseMethod, 1);

    e.stageObject = e.makeObject();
    e.define(e.global, "Stage", Value(e.stageObject));
    initArgs[0] = Value(e.stageObject);
    broadcasterInitialize(e, nullptr, Value(), initArgs);
    const char* stageProps[] = {"width", "height", "scaleMode", "align", "showMenu"};
    for (int i = 0; i < 5; ++i) {
        std::string k = e.key(stageProps[i]);
        Slot& p = e.stageObject->props.insert(k, Str(stageProps[i]));
        p.getter = e.makeNative(stageGetter, i);
        p.setter = e.makeNative(stageSetter, i);
        p.flags = prop_flag::kDontEnum;
    }

    e.selectionObject = e.makeObject();
    e.define(e.global, "Selection", Value(e.selectionObject));
    initArgs[0] = Value(e.selectionObject);
    broadcasterInitialize(e, nullptr, Value(), initArgs);
    const char* selNames[] = {"getFocus", "setFocus", "getBeginIndex", "getEndIndex", "getCaretIndex", "setSelection"};
    for (int i = 0; i < 6; ++i) e.method(e.selectionObject, selNames[i], selectionMethod, i);

    Object* colorProto = e.makeObject();
    e.makeClass("Color", colorCtor, colorProto);
    const char* colorNames[] = {"getRGB", "setRGB", "getTransform", "setTransform"};
    for (int i = 0; i < 4; ++i) e.method(colorProto, colorNames[i], colorMethod, i);

    Object* system = e.makeObject();
    e.define(e.global, "System", Value(system));
    Object* caps = e.makeObject();
    e.define(system, "capabilities", Value(caps));
    const std::pair<const char*, Value> capValues[] = {
        {"os", Value("Linux")}, {"version", Value("LNX 9,0,280,0")}, {"playerType", Value("StandAlone")},
        {"language", Value("en")}, {"manufacturer", Value("Adobe Linux")}, {"screenResolutionX", Value(1920.0)},
        {"screenResolutionY", Value(1080.0)}, {"screenDPI", Value(72.0)}, {"screenColor", Value("color")},
        {"pixelAspectRatio", Value(1.0)}, {"hasAudio", Value(true)}, {"hasMP3", Value(true)},
        {"hasVideoEncoder", Value(false)}, {"hasAccessibility", Value(false)}, {"isDebugger", Value(false)},
        {"localFileReadDisable", Value(false)}, {"avHardwareDisable", Value(true)}, {"hasPrinting", Value(false)},
        {"hasStreamingAudio", Value(true)}, {"hasStreamingVideo", Value(false)}, {"hasEmbeddedVideo", Value(true)}};
    for (auto& [n, v] : capValues) e.define(caps, n, v, 0);
    e.define(system, "useCodepage", Value(false), 0);
}

}  // namespace swf::avm1
