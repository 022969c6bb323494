#pragma once
// The AVM1 scripting engine: runs the ActionScript 1/2 bytecode of SWF 3..9 movies.
//   Engine      - one per player: values, objects, built-in classes, timers, limits
//   Host        - what the player implements for the engine (host.h)
// The engine knows display objects only through Host and DisplayId; the player knows the
// engine only through this header. Action bytes are run as they are stored in the file: the
// engine checks every length and offset itself, so any bytes are safe to hand over.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "swf/avm1/host.h"

namespace swf::avm1 {

class EngineImpl;

// Budgets that keep a movie's scripts from taking the player down with them.
struct Limits {
    double maxRunSeconds = 15;      // wall time of one script run (with everything it calls)
    int maxCallDepth = 256;         // nested function calls
    size_t maxObjects = 2'000'000;  // live script objects
    size_t maxStringBytes = 64u << 20;
    size_t maxArrayLength = 16u << 20;
};

// An argument passed to a handler from the player (mouse and key events carry none; a few
// callbacks such as onChanged or onSetFocus take a display object or text).
struct Argument {
    enum class Kind : uint8_t { Undefined, Number, String, Boolean, Display } kind = Kind::Undefined;
    double number = 0;
    std::string text;
    DisplayId display = kNoDisplay;

    static Argument ofNumber(double v) { Argument a; a.kind = Kind::Number; a.number = v; return a; }
    static Argument ofString(std::string v) { Argument a; a.kind = Kind::String; a.text = std::move(v); return a; }
    static Argument ofBoolean(bool v) { Argument a; a.kind = Kind::Boolean; a.number = v; return a; }
    static Argument ofDisplay(DisplayId v) { Argument a; a.kind = Kind::Display; a.display = v; return a; }
};

enum class MouseEvent : uint8_t { Down, Up, Move, Wheel };
enum class KeyEvent : uint8_t { Down, Up };

// The engine's objects and built-in classes are made when the first script runs (or a script
// variable is set): a movie without scripts, or whose scripts wait for the user, costs next
// to nothing until then. Until that moment no handler, listener, timer or variable exists,
// so the queries below answer as an empty engine would.
class Engine {
public:
    // swfVersion is the root movie's version; it decides conversions and case sensitivity.
    Engine(Host& host, int swfVersion, Limits limits = {});
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Every trace() line, without a line end, formatted as the original player prints it.
    void setTraceSink(std::function<void(std::string_view line)> sink);

    // Runs one block of action bytes (DoAction, DoInitAction, a clip event or a button
    // condition) with `target` as `this` and the target of timeline actions. The bytes must
    // stay valid as long as the engine lives: functions defined in them keep pointing at them.
    // Does nothing while scripts are disabled.
    void runActions(std::span<const uint8_t> bytes, DisplayId target);
    // The same, for a block from a movie of another version than the root's (loaded levels).
    void runActions(std::span<const uint8_t> bytes, DisplayId target, int swfVersion);

    // Calls the function stored under `name` on the display object's script object (e.g.
    // "onEnterFrame", "onPress", "onLoad"). Returns false when there is no such function.
    bool callHandler(DisplayId object, std::string_view name, std::span<const Argument> args = {});
    // True when the object has a function under `name` (the player asks before it makes a
    // clip a button target, e.g. for onPress/onRelease/onRollOver).
    bool hasHandler(DisplayId object, std::string_view name);
    // A script property read as a flag (tabEnabled, tabChildren, focusEnabled); empty when
    // the object has no such property or it is undefined.
    std::optional<bool> booleanProperty(DisplayId object, std::string_view name);

    // Broadcasts to the listeners registered with Key.addListener / Mouse.addListener
    // (onKeyDown/onKeyUp, onMouseDown/onMouseUp/onMouseMove/onMouseWheel).
    void broadcastKey(KeyEvent event);
    void broadcastMouse(MouseEvent event, double wheelDelta = 0);
    // Stage.onResize listeners, Selection.onSetFocus listeners.
    void broadcastStageResize();
    void broadcastFocusChange(DisplayId oldFocus, DisplayId newFocus);

    // Lifecycle of display objects, told by the player:
    // - created: a placed or attached object got its script object; when its symbol has a
    //   class registered with Object.registerClass the class's constructor runs now.
    // - removed: the object left the display list; its script object stays for any script
    //   that still holds it, but no longer reaches the player.
    void displayObjectCreated(DisplayId object);
    void displayObjectRemoved(DisplayId object);
    // Told just before an object and its children leave the display list, while their
    // parents are still known: scripts that run afterwards (onUnload) still see its path.
    void displayObjectLeaving(DisplayId object);

    // Runs the setInterval/setTimeout timers due in the next `milliseconds` of movie time.
    // Timers fire in the order they fall due, a repeating one as often as its interval fits
    // (no closer than 10 ms); afterEach runs after every callback (the player's queued scripts).
    void advanceTime(double milliseconds, const std::function<void()>& afterEach = {});
    // True while a setInterval or setTimeout is waiting: the movie's clock must keep going.
    bool hasTimers() const;
    // True also while a script waits for a sound to end (onSoundComplete) or to load.
    bool needsTime() const;

    // Variables by path, as text fields bound to a variable read and write them
    // ("/a/b:c", "a.b.c" or a plain name, relative to `scope`). Empty when undefined.
    std::optional<std::string> getVariable(DisplayId scope, std::string_view path);
    void setVariable(DisplayId scope, std::string_view path, std::string_view value);

    // After a script ran past its time or recursion budget (or tried to use more memory than
    // allowed), the movie's scripts are disabled for good.
    bool scriptsDisabled() const;
    // Actions executed since the engine was made (for benchmarks).
    uint64_t actionCount() const;
    // Script objects alive on the engine's heap, collected or not (for tests and benchmarks).
    size_t heapObjectCount() const;

    // Frees script objects no longer reachable. The engine also does this by itself between
    // script runs; the player may call it at the end of a frame.
    void collectGarbage();
    // True once the engine's objects exist (the first script ran or a variable was set).
    bool isStarted() const { return impl_ != nullptr; }

private:
    EngineImpl& started();

    Host& host_;
    int version_;
    Limits limits_;
    std::function<void(std::string_view)> traceSink_;
    double idleTimeMs_ = 0;  // movie time that passed before the engine started
    std::unique_ptr<EngineImpl> impl_;
};

}  // namespace swf::avm1
