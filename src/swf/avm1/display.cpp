// The script side of display objects: their script objects, display properties by name
// and by index, target paths, and the MovieClip, Button and TextField classes.
#include <cmath>

#include "swf/avm1/vm.h"

namespace swf::avm1 {
namespace {

constexpr const char* kPropertyNames[] = {"_x", "_y", "_xscale", "_yscale", "_currentframe", "_totalframes",
                                          "_alpha", "_visible", "_width", "_height", "_rotation", "_target",
                                          "_framesloaded", "_name", "_droptarget", "_url", "_highquality",
                                          "_focusrect", "_soundbuftime", "_quality", "_xmouse", "_ymouse"};

bool isTextProperty(Property p) {
    return p == Property::Target || p == Property::Name || p == Property::DropTarget || p == Property::Url ||
           p == Property::Quality;
}

bool equalsFolded(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

}  // namespace

int EngineImpl::propertyIndex(std::string_view name) const {
    if (name.empty() || name[0] != '_') return -1;
    for (int i = 0; i < int(Property::Count); ++i)
        if (equalsFolded(name, kPropertyNames[i])) return i;
    return -1;
}

Object* EngineImpl::displayObject(DisplayId id) {
    if (id == kNoDisplay) return nullptr;
    auto it = displayObjects.find(id);
    if (it != displayObjects.end()) return it->second;
    DisplayKind k = host.kind(id);
    if (k == DisplayKind::None) return nullptr;
    Object* proto = k == DisplayKind::Button ? buttonProto : k == DisplayKind::TextField ? textFieldProto : movieClipProto;
    if (k == DisplayKind::MovieClip) {
        auto rc = registeredClasses.find(host.symbolName(id));
        if (rc != registeredClasses.end() && rc->second) {
            Object* p = get(rc->second, "prototype").object();
            if (p) proto = p;
        }
    }
    Object* o = alloc(ObjKind::Display, proto);
    o->display = id;
    displayObjects.emplace(id, o);
    // The player's version, a variable of the first level's timeline that getURL sends along.
    if (k == DisplayKind::MovieClip && id == host.level(0)) define(o, "$version", Value(kPlayerVersion), 0);
    return o;
}

std::string EngineImpl::targetPath(DisplayId id, bool slashes) {
    if (auto gone = removedPaths.find(id); gone != removedPaths.end() && host.kind(id) == DisplayKind::None) {
        if (!slashes) return gone->second;
        // "_levelN.a.b" as "/a/b".
        std::string path = gone->second;
        size_t dot = path.find('.');
        if (dot == std::string::npos) return "/";
        path = path.substr(dot);
        for (char& c : path)
            if (c == '.') c = '/';
        return path;
    }
    std::vector<std::string> names;
    DisplayId cur = id;
    int guard = 0;
    while (cur != kNoDisplay && guard++ < 1000) {
        DisplayId parent = host.parent(cur);
        if (parent == kNoDisplay) {
            // A level's root: find its number.
            int level = 0;
            for (int i = 0; i < 100; ++i)
                if (host.level(i) == cur) {
                    level = i;
                    break;
                }
            std::string out = slashes ? "" : "_level" + std::to_string(level);
            for (auto it = names.rbegin(); it != names.rend(); ++it) out += (slashes ? "/" : ".") + *it;
            if (slashes && out.empty()) out = "/";
            return out;
        }
        names.push_back(host.name(cur));
        cur = parent;
    }
    return slashes ? "/" : "_level0";
}

std::optional<Value> EngineImpl::getDisplayProperty(Object* o, const Str& name) {
    DisplayId id = o->display;
    if (host.kind(id) == DisplayKind::None) return std::nullopt;
    std::string_view n = name.view();
    if (!n.empty() && n[0] == '_') {
        if (equalsFolded(n, "_root")) return displayValue(host.rootOf(id));
        if (equalsFolded(n, "_parent")) {
            DisplayId p = host.parent(id);
            // Before SWF 6 buttons have no script object: a clip inside one sees past it.
            if (p && host.kind(p) == DisplayKind::Button && host.swfVersion(id) < 6) p = host.parent(p);
            return p ? displayValue(p) : Value();
        }
        if (equalsFolded(n, "_global")) return Value(global);
        if (n.size() > 6 && (caseSensitive() ? n.substr(0, 6) == "_level" : equalsFolded(n.substr(0, 6), "_level"))) {
            int level = 0;
            for (char c : n.substr(6)) {
                if (c < '0' || c > '9') return std::nullopt;
                level = level * 10 + (c - '0');
                if (level > 100000) return std::nullopt;
            }
            return displayValue(host.level(level));
        }
    }
    if (auto v = interactionProperty(id, n)) return v;
    DisplayId child = host.childByName(id, n, caseSensitive());
    if (child && host.kind(child) == DisplayKind::Button && host.swfVersion(child) < 6) return displayValue(id);
    if (child) return displayValue(child);
    if (host.kind(id) == DisplayKind::TextField)
        if (auto v = textFieldProperty(*this, id, n)) return v;
    if (auto v = clipFocusProperty(*this, id, n)) return v;
    int index = propertyIndex(n);
    if (index >= 0) return getPropertyByIndex(id, index);
    return std::nullopt;
}

// enabled and useHandCursor of clips and buttons: scripts keep whatever they store (a
// variable of the object), and the player follows the value's truth for the mouse.
std::optional<Value> EngineImpl::interactionProperty(DisplayId id, std::string_view name) {
    DisplayKind k = host.kind(id);
    if (k != DisplayKind::MovieClip && k != DisplayKind::Button) return std::nullopt;
    auto is = [&](std::string_view key) { return caseSensitive() ? name == key : equalsFolded(name, key); };
    if (is("enabled")) return Value(host.setting(id, "enabled").value_or("true") == "true");
    if (is("useHandCursor")) return Value(true);
    return std::nullopt;
}

bool EngineImpl::setDisplayProperty(Object* o, const Str& name, const Value& v) {
    int index = propertyIndex(name.view());
    if (index < 0 && (caseSensitive() ? name.view() == "enabled" : equalsFolded(name.view(), "enabled"))) {
        DisplayKind k = host.kind(o->display);
        if (k == DisplayKind::MovieClip || k == DisplayKind::Button)
            host.setSetting(o->display, "enabled", toBoolean(v) ? "true" : "false");
        return false;  // kept as the object's own variable too
    }
    if (index < 0) {
        if (host.kind(o->display) == DisplayKind::TextField) return setTextFieldProperty(*this, o->display, name.view(), v);
        return setClipFocusProperty(*this, o->display, name.view(), v);
    }
    if (host.kind(o->display) != DisplayKind::None) setPropertyByIndex(o->display, index, v);
    return true;
}

Value EngineImpl::getPropertyByIndex(DisplayId id, int index) {
    if (index < 0 || index >= int(Property::Count)) return Value();
    Property p = Property(index);
    if (p == Property::Target) return Value(targetPath(id, true));
    if (p == Property::Name) return Value(host.name(id));
    if (isTextProperty(p)) return Value(host.textProperty(id, p));
    if (p == Property::FocusRect) return focusRectValue(*this, id);
    double v = host.property(id, p);
    if (p == Property::Visible) return Value(v != 0);
    return Value(v);
}

void EngineImpl::setPropertyByIndex(DisplayId id, int index, const Value& v) {
    if (index < 0 || index >= int(Property::Count)) return;
    Property p = Property(index);
    switch (p) {
        case Property::Target: case Property::CurrentFrame: case Property::TotalFrames: case Property::FramesLoaded:
        case Property::DropTarget: case Property::Url: case Property::XMouse: case Property::YMouse:
            return;
        case Property::Name: host.setName(id, toStr(v).view()); return;
        case Property::Quality: host.setTextProperty(id, p, toStr(v).view()); return;
        case Property::FocusRect: setFocusRectValue(*this, id, v); return;
        case Property::Visible: {
            // undefined and null change nothing, whatever number they read as in the
            // movie's version; so does anything that is not a number.
            if (v.isNullish()) return;
            double d = toNumber(v);
            if (std::isnan(d)) return;
            host.setProperty(id, p, d != 0 ? 1 : 0);
            return;
        }
        default: {
            if (v.isNullish()) return;
            double d = toNumber(v);
            if (std::isnan(d)) return;
            host.setProperty(id, p, d);
        }
    }
}

}  // namespace swf::avm1
