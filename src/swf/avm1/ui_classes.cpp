// What scripts see of the player's own surroundings: the ContextMenu and ContextMenuItem
// classes, Stage.displayState, and the web requests of getURL with the variables they send.
// The player shows no custom menu and never leaves its window; these keep the script-visible
// state so that movies which set them up behave as they expect.
#include <array>

#include "swf/avm1/vm.h"

namespace swf::avm1 {
namespace {

using Args = std::span<const Value>;

// The built-in menu entries, in the order a fresh menu enumerates them (newest first, so
// they are defined back to front).
constexpr std::array<const char*, 8> kBuiltInItems = {"save",   "zoom",         "quality", "play",
                                                      "loop",   "rewind",       "forward_back", "print"};

Object* makeBuiltInItems(EngineImpl& e, Object* from) {
    Object* items = e.makeObject();
    for (auto it = kBuiltInItems.rbegin(); it != kBuiltInItems.rend(); ++it)
        e.define(items, *it, from ? e.get(from, *it) : Value(true), 0);
    return items;
}

// new ContextMenu([onSelect]): its own builtInItems and customItems, never shared.
Value contextMenuCtor(EngineImpl& e, Object*, const Value& thisv, Args args) {
    Object* menu = thisv.object();
    if (!menu) return Value();
    e.define(menu, "onSelect", arg(args, 0), 0);
    e.define(menu, "builtInItems", Value(makeBuiltInItems(e, nullptr)), 0);
    e.define(menu, "customItems", Value(e.makeArray()), 0);
    return Value();
}

Object* contextMenuClass(EngineImpl& e) { return e.get(e.global, "ContextMenu").object(); }

Value contextMenuCopy(EngineImpl& e, Object*, const Value& thisv, Args) {
    Object* menu = thisv.object();
    Object* ctor = contextMenuClass(e);
    if (!menu || !ctor) return Value();
    Value onSelect = e.get(menu, "onSelect");
    Object* copy = e.construct(Value(ctor), std::span(&onSelect, 1)).object();
    if (!copy) return Value();
    if (Object* builtIn = e.get(menu, "builtInItems").object())
        e.set(copy, "builtInItems", Value(makeBuiltInItems(e, builtIn)));
    if (Object* custom = e.get(menu, "customItems").object(); custom && custom->kind == ObjKind::Array) {
        std::vector<Value> items;
        items.reserve(custom->elements.size());
        for (const Value& item : custom->elements) {
            Value copied = item.isObject() ? e.callMethod(item, "copy", {}) : item;
            items.push_back(copied.isUndefined() ? item : copied);
        }
        e.set(copy, "customItems", Value(e.makeArray(std::move(items))));
    }
    return Value(copy);
}

Value contextMenuHideBuiltIns(EngineImpl& e, Object*, const Value& thisv, Args) {
    if (Object* menu = thisv.object())
        if (Object* builtIn = e.get(menu, "builtInItems").object())
            for (const char* name : kBuiltInItems) e.set(builtIn, name, Value(false));
    return Value();
}

// new ContextMenuItem(caption, onSelect, separatorBefore = false, enabled = true, visible = true)
Value menuItemCtor(EngineImpl& e, Object*, const Value& thisv, Args args) {
    Object* item = thisv.object();
    if (!item) return Value();
    auto flag = [&](size_t i, bool otherwise) { return i < args.size() ? Value(e.toBoolean(args[i])) : Value(otherwise); };
    e.define(item, "caption", arg(args, 0), 0);
    e.define(item, "onSelect", arg(args, 1), 0);
    e.define(item, "separatorBefore", flag(2, false), 0);
    e.define(item, "enabled", flag(3, true), 0);
    e.define(item, "visible", flag(4, true), 0);
    return Value();
}

Value menuItemCopy(EngineImpl& e, Object*, const Value& thisv, Args) {
    Object* item = thisv.object();
    Object* ctor = e.get(e.global, "ContextMenuItem").object();
    if (!item || !ctor) return Value();
    const Value fields[] = {e.get(item, "caption"), e.get(item, "onSelect"), e.get(item, "separatorBefore"),
                            e.get(item, "enabled"), e.get(item, "visible")};
    return e.construct(Value(ctor), fields);
}

// Stage.displayState: "normal" or "fullScreen". Any spelling of the two is taken; a change
// tells the Stage listeners (onFullScreen) at once. The player's window never changes.
Value displayStateGetter(EngineImpl& e, Object*, const Value&, Args) {
    return Value(e.fullScreen ? "fullScreen" : "normal");
}

Value displayStateSetter(EngineImpl& e, Object*, const Value&, Args args) {
    std::string asked = e.toString(arg(args, 0));
    for (char& c : asked) c = char(std::tolower(static_cast<unsigned char>(c)));
    bool full;
    if (asked == "fullscreen") full = true;
    else if (asked == "normal") full = false;
    else return Value();
    if (full == e.fullScreen) return Value();
    e.fullScreen = full;
    const Value message[] = {Value("onFullScreen"), Value(full)};
    e.callMethod(Value(e.stageObject), "broadcastMessage", message);
    return Value();
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

}  // namespace

void installUiClasses(EngineImpl& e) {
    Object* menuProto = e.makeObject();
    e.makeClass("ContextMenu", contextMenuCtor, menuProto);
    e.method(menuProto, "copy", contextMenuCopy);
    e.method(menuProto, "hideBuiltInItems", contextMenuHideBuiltIns);

    Object* itemProto = e.makeObject();
    e.makeClass("ContextMenuItem", menuItemCtor, itemProto);
    e.method(itemProto, "copy", menuItemCopy);

    if (e.stageObject) {
        Slot& p = e.stageObject->props.insert(e.key("displayState"), Str("displayState"));
        p.getter = e.makeNative(displayStateGetter);
        p.setter = e.makeNative(displayStateSetter);
        p.flags = prop_flag::kDontEnum;
    }
}

std::string normalizedWindow(std::string_view window) {
    // The original player takes "_blank" in any case and with or without the underscore.
    std::string_view bare = window.starts_with('_') ? window.substr(1) : window;
    return equalsIgnoringCase(bare, "blank") ? std::string("_blank") : std::string(window);
}

void requestUrl(EngineImpl& e, DisplayId clip, std::string_view url, std::string_view window, UrlRequest::Method method) {
    // Only web addresses reach the player; other schemes, fscommand and load requests never do.
    if (!url.starts_with("http://") && !url.starts_with("https://")) return;
    if (window.starts_with("_level")) return;  // loadMovieNum: a load, not a page
    UrlRequest request;
    request.url = url;
    request.window = normalizedWindow(window);
    request.method = method;
    if (method != UrlRequest::Method::None) {
        // The clip's own enumerable variables go along, newest first as for..in lists them;
        // functions and display objects stay behind.
        if (Object* o = e.displayObject(clip)) {
            auto& items = o->props.items();
            constexpr size_t kMaxVariables = 4096;
            for (size_t i = items.size(); i-- > 0 && request.variables.size() < kMaxVariables;) {
                const Slot& slot = items[i];
                if ((slot.flags & prop_flag::kDontEnum) || slot.virtualProp()) continue;
                if (Object* v = slot.value.object(); v && (v->isFunction() || v->kind == ObjKind::Display)) continue;
                request.variables.emplace_back(slot.name.str(), e.toString(slot.value));
            }
        }
    }
    e.host.requestUrl(request);
}

}  // namespace swf::avm1
