#pragma once
// Engine internals shared by the interpreter and the built-in classes: objects and their
// properties, functions, scope chains and the engine state. Not for the player.
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "swf/avm1/avm1.h"
#include "swf/avm1/value.h"

namespace swf::avm1 {

class EngineImpl;

namespace prop_flag {
inline constexpr uint16_t kDontEnum = 1, kDontDelete = 2, kReadOnly = 4;
// Visible only from these versions on (the ASSetPropFlags bits as scripts pass them).
inline constexpr uint16_t kVersion6 = 1 << 7, kOnlyNot6 = 1 << 8, kVersion7 = 1 << 10, kVersion8 = 1 << 12,
                          kVersion9 = 1 << 13, kVersion10 = 1 << 14;
}  // namespace prop_flag

struct Slot {
    Str name;
    Value value;
    Object* getter = nullptr;  // addProperty
    Object* setter = nullptr;
    uint16_t flags = 0;
    bool virtualProp() const { return getter != nullptr; }
};

// Properties in insertion order with a hash index on the (case-folded) key; enumeration
// walks them newest first, as the original player does.
class PropertyMap {
public:
    Slot* find(std::string_view key);
    Slot& insert(const std::string& key, Str name);
    bool erase(const std::string& key);
    std::vector<Slot>& items() { return items_; }
    const std::vector<std::string>& keys() const { return keys_; }
    size_t size() const { return items_.size(); }
    // Gives back what growing left spare (for objects that are complete, the built-ins).
    void shrink() {
        items_.shrink_to_fit();
        keys_.shrink_to_fit();
    }

private:
    void rebuild();
    void place(uint32_t item);
    std::vector<Slot> items_;
    std::vector<std::string> keys_;
    // Past a few properties, an open-addressed table of item numbers + 1 (0: empty), a power
    // of two in size and at most half full: four bytes a place, where a node-based map would
    // take some sixty for each property of each of an engine's hundreds of objects.
    std::vector<uint32_t> index_;
};

enum class ObjKind : uint8_t {
    Plain, Function, Array, Boolean, Number, String, Date, Display, Arguments, Super, Error
};

struct Scope;
struct FunctionDef;
struct ScriptFilter;  // filter_classes.cpp
struct ScriptTextFormat;  // text_classes.cpp
struct SoundState;
struct BitmapState;  // bitmap_data.cpp
using NativeFn = Value (*)(EngineImpl& e, Object* callee, const Value& thisv, std::span<const Value> args);

// A script object. Owned by the engine's heap, reached through raw pointers that the
// collector follows.
struct Object {
    ObjKind kind = ObjKind::Plain;
    bool marked = false;
    Object* proto = nullptr;  // __proto__
    PropertyMap props;
    std::vector<Value> elements;  // Array
    // An array's length when the elements do not tell it: negative, or past the last element
    // kept (a length set beyond limits.maxArrayLength, or an index stored as a property).
    std::optional<int32_t> oddLength;
    Value primitive;              // Boolean/Number/String wrappers, Date time value
    DisplayId display = kNoDisplay;
    // Functions.
    std::shared_ptr<const FunctionDef> def;
    NativeFn native = nullptr;
    NativeFn nativeConstruct = nullptr;  // when construction differs from a call
    int magic = 0;                        // selects among natives sharing one C++ function
    std::shared_ptr<Scope> scope;
    // Watches (Object.watch): key -> (callback, user data).
    std::unique_ptr<std::unordered_map<std::string, std::pair<Object*, Value>>> watches;
    // What few objects have, kept apart: an engine holds hundreds of built-in objects that
    // need none of it.
    struct Extras {
        // super: the prototype to search and the object it speaks for.
        Object* superProto = nullptr;
        Value superThis;
        std::vector<Object*> interfaces;  // ImplementsOp
        std::shared_ptr<ScriptFilter> filter;  // flash.filters objects: their settings
        std::shared_ptr<ScriptTextFormat> textFormat;  // TextFormat objects: their fields
        std::shared_ptr<SoundState> sound;  // what a Sound object knows (sound.cpp)
        std::shared_ptr<BitmapState> bitmap;  // a BitmapData's pixels in the player
    };
    std::unique_ptr<Extras> extras;
    Extras& more() {
        if (!extras) extras = std::make_unique<Extras>();
        return *extras;
    }
    bool isFunction() const { return kind == ObjKind::Function; }
};

enum class ScopeKind : uint8_t { Global, Target, Local, With };

struct Scope {
    ScopeKind kind;
    Object* object;
    std::shared_ptr<Scope> parent;
};

// A function defined by DefineFunction/DefineFunction2.
struct FunctionDef {
    std::span<const uint8_t> code;
    std::string name;
    std::vector<std::pair<uint8_t, Str>> params;  // register (0: none), name
    uint8_t registerCount = 4;
    uint16_t flags = 0;
    bool v2 = false;
    int version = 7;
    std::shared_ptr<const std::vector<Str>> pool;
    DisplayId baseClip = kNoDisplay;  // timeline the function was defined on
};

namespace fn_flag {
inline constexpr uint16_t kPreloadThis = 0x01, kSuppressThis = 0x02, kPreloadArguments = 0x04,
                          kSuppressArguments = 0x08, kPreloadSuper = 0x10, kSuppressSuper = 0x20,
                          kPreloadRoot = 0x40, kPreloadParent = 0x80, kPreloadGlobal = 0x100;
}

// Thrown by Throw and caught by Try; carries the thrown value.
struct ScriptThrow {
    Value value;
};
// Thrown when a budget runs out; unwinds to the outermost run, which disables scripts (or,
// for a runaway prototype chain, only ends that run).
struct ScriptAbort {
    const char* why;
    bool disablesScripts = true;
};

struct Activation {
    std::span<const uint8_t> code;
    size_t pc = 0;
    std::shared_ptr<Scope> scope;
    Value thisv;
    Object* callee = nullptr;
    Object* arguments = nullptr;
    Object* superObj = nullptr;
    Object* locals = nullptr;  // functions: the activation object that holds local variables
    std::vector<Value> regs;
    std::shared_ptr<const std::vector<Str>> pool;
    DisplayId base = kNoDisplay;    // the clip the code belongs to
    DisplayId target = kNoDisplay;  // current target (SetTarget)
    int version = 7;
    size_t stackBase = 0;
    bool isFunction = false;
    bool constructing = false;  // called by NewObject/NewMethod (what ASnew tells)
};

struct Timer {
    int id;
    double interval;
    double due;
    bool repeat;
    Value callee;  // function, or object whose method is called
    Str method;
    std::vector<Value> args;
};

class EngineImpl {
public:
    EngineImpl(Host& host, int version, Limits limits);
    ~EngineImpl();

    Host& host;
    int version;
    Limits limits;
    std::function<void(std::string_view)> traceSink;
    bool disabled = false;
    uint64_t actionCount = 0;

    // ---- heap ----
    std::vector<std::unique_ptr<Object>> heap;
    size_t allocatedSinceGc = 0;
    Object* alloc(ObjKind kind, Object* proto);
    void collect();
    void mark(Object* o);
    void markValue(const Value& v);
    void markScope(const Scope* s);
    int runDepth = 0;  // nested runs; collection only at depth 0

    // ---- well-known objects ----
    Object* global = nullptr;
    Object* objectProto = nullptr;
    Object* functionProto = nullptr;
    Object* arrayProto = nullptr;
    Object* stringProto = nullptr;
    Object* numberProto = nullptr;
    Object* booleanProto = nullptr;
    Object* dateProto = nullptr;
    Object* errorProto = nullptr;
    Object* movieClipProto = nullptr;
    Object* buttonProto = nullptr;
    Object* textFieldProto = nullptr;
    Object* textFormatCtor = nullptr;
    Object* pointClass = nullptr;  // flash.geom classes, for results the engine builds itself
    Object* rectangleClass = nullptr;
    Object* matrixClass = nullptr;
    Object* keyObject = nullptr;
    Object* mouseObject = nullptr;
    Object* stageObject = nullptr;
    Object* selectionObject = nullptr;
    std::unordered_map<std::string, Object*> registeredClasses;  // Object.registerClass
    std::unordered_map<DisplayId, Object*> displayObjects;
    // Target paths ("_level0.a.b") of removed objects that scripts still hold.
    std::unordered_map<DisplayId, std::string> removedPaths;
    std::vector<Timer> timers;
    struct PlayingSound {
        Object* sound;
        SoundHandle voice;  // 0: nothing played; it ends at once
    };
    std::vector<PlayingSound> playingSounds;  // started sounds whose end a script hears
    struct PendingSoundLoad {
        Object* sound;
        std::string url;
        int generation;  // the load it finishes (a newer loadSound replaces it)
    };
    std::vector<PendingSoundLoad> pendingSoundLoads;  // Sound.loadSound calls not yet finished
    struct PendingClipLoad {
        Object* loader;  // the MovieClipLoader whose listeners hear of it
        std::string url;
        DisplayId target;
    };
    std::vector<PendingClipLoad> pendingClipLoads;  // MovieClipLoader.loadClip calls not yet finished
    int nextTimerId = 1;
    double timeMs = 0;
    bool fullScreen = false;  // Stage.displayState as scripts last set it

    // ---- keys ----
    bool caseSensitive() const { return version >= 7; }
    std::string key(std::string_view name) const;

    // ---- values ----
    // Conversions follow the version of the code that runs them (a SWF 4 timeline script and
    // the functions it calls may differ); between runs, the root movie's.
    int codeVersion() const { return current ? current->version : version; }
    double toNumber(const Value& v);
    Str toStr(const Value& v);
    std::string toString(const Value& v) { return toStr(v).str(); }
    bool toBoolean(const Value& v) const;
    Value toPrimitive(const Value& v, bool preferString = false);
    Object* toObject(const Value& v);
    std::string typeOf(const Value& v);
    bool looseEquals(const Value& a, const Value& b);
    bool strictEquals(const Value& a, const Value& b);
    Value lessThan(const Value& a, const Value& b);  // undefined when either is NaN
    Str traceText(const Value& v);
    Str displayText(DisplayId id);  // a display object as text: its target path
    DisplayId unloadingClip = kNoDisplay;  // a removed clip whose unload scripts run

    // ---- objects ----
    Value get(Object* o, const Str& name);
    Value getValueMember(const Value& base, const Str& name);
    // A name no object on the chain has: asks __resolve, as scripts may define it.
    Value resolveMissing(Object* o, const Str& name);
    void defineStringLength(Object* stringObject);
    void set(Object* o, const Str& name, const Value& v);
    Slot* findOwn(Object* o, std::string_view key);
    Slot* findInChain(Object* o, std::string_view key, Object** holder = nullptr);
    // The lookup key of a name without copying it when it needs no folding; `buffer` holds a
    // folded copy otherwise.
    std::string_view keyView(std::string_view name, std::string& buffer) const;
    bool has(Object* o, const Str& name);
    bool hasOwn(Object* o, const Str& name);
    bool remove(Object* o, const Str& name);
    void define(Object* o, std::string_view name, const Value& v, uint16_t flags = prop_flag::kDontEnum);
    // The same, sharing `name` instead of copying it: calls define their locals this way.
    void defineShared(Object* o, const Str& name, const Value& v, uint16_t flags = prop_flag::kDontEnum);
    // Names every call defines.
    const Str thisName{"this"}, argumentsName{"arguments"}, calleeName{"callee"}, callerName{"caller"};
    std::vector<Str> enumerate(Object* o);
    bool visible(const Slot& p) const;
    Object* makeArray(std::vector<Value> items = {});
    Object* makeObject() { return alloc(ObjKind::Plain, objectProto); }
    Object* makeNative(NativeFn fn, int magic = 0, Object* proto = nullptr);
    Object* method(Object* on, std::string_view name, NativeFn fn, int magic = 0);
    Object* makeClass(std::string_view name, NativeFn ctor, Object* proto, Object* into = nullptr);
    Object* protoOf(Object* o) const { return o->proto; }
    bool instanceOf(Object* o, Object* ctor);

    // Arrays: "length" and indexed elements. Elements below limits.maxArrayLength are kept in
    // `elements`; other names that read as an index (a sign and any number of digits) are
    // plain properties that still move the length, which wraps as a 32-bit integer.
    static bool arrayIndex(std::string_view name, size_t& index);
    static bool wrappedIndex(std::string_view name, int32_t& index);
    int32_t arrayLength(const Object* a) const {
        return a->oddLength ? *a->oddLength : int32_t(a->elements.size());
    }
    void changeArrayLength(Object* a, int32_t length);  // drops the elements from `length` on
    // Properties whose getter, setter or watch is running, once per nesting: nested too deep
    // (isBusy) they act as plain data, which ends accessors that reach for their own property.
    std::vector<std::pair<Object*, std::string>> busyProperties;
    static constexpr int kPropertyRecursionLimit = 65;
    bool isBusy(Object* o, std::string_view key) const;
    struct BusyProperty {
        BusyProperty(EngineImpl& e, Object* o, std::string_view key);
        ~BusyProperty();
        BusyProperty(const BusyProperty&) = delete;
        BusyProperty& operator=(const BusyProperty&) = delete;
        EngineImpl& engine;
    };
    // An addProperty getter of the object itself under this name (it hides an array's own
    // elements and length).
    bool ownVirtual(Object* o, std::string_view name);
    void setArrayLength(Object* a, double length);

    // ---- display objects ----
    // attachMovie/duplicateMovieClip's init object, waiting for the clip the player is making
    // for `parent` (duplicates are made for the source's parent).
    struct PendingInit {
        DisplayId parent;
        Object* init;
    };
    std::optional<PendingInit> pendingInit;
    void copyInitProperties(Object* clip, Object* init);  // oldest property first
    Object* displayObject(DisplayId id);
    Value displayValue(DisplayId id) { Object* o = displayObject(id); return o ? Value(o) : Value(); }
    std::optional<Value> interactionProperty(DisplayId id, std::string_view name);
    std::optional<Value> getDisplayProperty(Object* o, const Str& name);
    bool setDisplayProperty(Object* o, const Str& name, const Value& v);
    std::string targetPath(DisplayId id, bool slashes);
    DisplayId resolveTargetPath(DisplayId from, std::string_view path);
    int propertyIndex(std::string_view name) const;
    Value getPropertyByIndex(DisplayId id, int index);
    void setPropertyByIndex(DisplayId id, int index, const Value& v);

    // ---- calls ----
    Value call(const Value& fn, const Value& thisv, std::span<const Value> args, Object* superObj = nullptr);
    Value callMethod(const Value& obj, const Str& name, std::span<const Value> args);
    Value construct(const Value& ctor, std::span<const Value> args);
    Value runFunction(Object* fn, const Value& thisv, std::span<const Value> args, Object* superObj);
    Value superConstructor(Object* superObject);  // what super() calls
    bool constructNext = false;  // the next script function entered runs as a constructor

    // ---- interpreter ----
    std::vector<Value> stack;
    int callDepth = 0;
    std::chrono::steady_clock::time_point runStart;
    uint32_t budgetTick = 0;
    void checkBudget();
    Value pop(Activation& a);
    void push(Value v) {
        if (v.isHole()) v = Value();
        stack.push_back(std::move(v));
    }
    enum class Flow : uint8_t { Normal, Return, Out };
    Flow execute(Activation& a, size_t begin, size_t end, Value& returned);
    void runTopLevel(std::span<const uint8_t> code, DisplayId target, int version);
    // The Call action: runs a frame's scripts now, on their clip, as a nested run.
    void callFrame(DisplayId clip, int frame);

    // Variables by name or path.
    Value getVariable(Activation& a, const Str& name);
    void setVariable(Activation& a, const Str& name, const Value& v);
    Object* scopeObject(const Scope& s);
    void defineOnTimeline(Activation& a, const Str& name, const Value& v);  // DefineLocal outside functions
    // `where` tells the scope that held the name.
    Value lookupScope(Activation& a, const Str& name, bool* found = nullptr, const Scope** where = nullptr);
    bool resolvePathObject(Activation& a, std::string_view path, Value& out);
    void trace(const Value& v);
    void traceLine(std::string_view line) { if (traceSink) traceSink(line); }

    void setupBuiltins();
    void setupDisplayBuiltins();
    Activation* current = nullptr;
    Value dummy;
};

// Builtin registration, one per source file.
void installObjectAndFunction(EngineImpl& e);
void installArray(EngineImpl& e);
void installStringNumberBoolean(EngineImpl& e);
void installMath(EngineImpl& e);
void installDate(EngineImpl& e);
void installGlobals(EngineImpl& e);
void installDisplay(EngineImpl& e);
// gotoAndPlay/gotoAndStop and GotoFrame2 with a frame number, label or "path:frame" value;
// bias is added to frame numbers (a scene's first frame).
void gotoFrameValue(EngineImpl& e, DisplayId clip, const Value& frame, bool play, int bias);
struct FrameRef {
    DisplayId clip = kNoDisplay;
    int32_t zeroBased = 0;
};
std::optional<FrameRef> frameOfValue(EngineImpl& e, DisplayId clip, const Value& frame, int bias);
bool frameLoaded(EngineImpl& e, DisplayId clip, int64_t zeroBased);
void installGeom(EngineImpl& e);
void installText(EngineImpl& e);
void installFocus(EngineImpl& e);
// tabIndex of movie clips and _focusrect (focus_properties.cpp).
std::optional<Value> clipFocusProperty(EngineImpl& e, DisplayId id, std::string_view name);
bool setClipFocusProperty(EngineImpl& e, DisplayId id, std::string_view name, const Value& v);
Value focusRectValue(EngineImpl& e, DisplayId id);
void setFocusRectValue(EngineImpl& e, DisplayId id, const Value& v);
void installFilters(EngineImpl& e);  // after installGeom and installDisplay
void installSound(EngineImpl& e);
// Finishes the sound loads under way and hears the sounds that ended since the last call
// (onID3, onLoad, onSoundComplete); `run` runs each script call as one outermost run.
void settleSounds(EngineImpl& e, const std::function<void(const std::function<void()>&)>& run);
// $version of the first level, as the player reports itself to scripts.
inline constexpr const char* kPlayerVersion = "LNX 32,0,0,0";
// ContextMenu, ContextMenuItem and Stage.displayState (ui_classes.cpp); before installNatives.
void installUiClasses(EngineImpl& e);
// getURL from a clip: passes web addresses on to the host with the window's usual name and,
// for GET or POST, the clip's variables.
void requestUrl(EngineImpl& e, DisplayId clip, std::string_view url, std::string_view window, UrlRequest::Method method);
void installTransform(EngineImpl& e);    // after installGeom
void installBitmapData(EngineImpl& e);   // after installGeom and installDisplay
void installClipLoader(EngineImpl& e);   // after installDisplay
// Finishes the MovieClipLoader loads under way, each through `run` as in settleSounds.
void settleClipLoads(EngineImpl& e, const std::function<void(const std::function<void()>&)>& run);
void installNatives(EngineImpl& e);  // last: it completes what the others made
// Text field properties by name ("text", "htmlText" ...); empty when the name is not one.
std::optional<Value> textFieldProperty(EngineImpl& e, DisplayId field, std::string_view name);
bool setTextFieldProperty(EngineImpl& e, DisplayId field, std::string_view name, const Value& v);

inline const Value& arg(std::span<const Value> args, size_t i) {
    static const Value undefined;
    return i < args.size() ? args[i] : undefined;
}

}  // namespace swf::avm1
