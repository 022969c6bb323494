#pragma once
// A small in-memory display tree that implements the engine's Host, so the engine can be
// tested without the player: clips with names, depths, the numeric display properties and a
// timeline position. Drawing, text and input calls are accepted and do nothing.
#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "swf/avm1/avm1.h"

namespace avm1test {

using namespace swf::avm1;

class FakeHost : public Host {
public:
    struct Node {
        DisplayId id = 0, parent = 0;
        DisplayKind kind = DisplayKind::MovieClip;
        std::string name;
        int depth = 0;
        double props[int(Property::Count)] = {};
        int frame = 1, totalFrames = 1;
        std::string symbol;  // attachMovie's linkage name
        bool playing = true;
    };

    FakeHost() { root = make(0, "", -16384); }

    DisplayId make(DisplayId parent, std::string name, int depth, DisplayKind kind = DisplayKind::MovieClip) {
        auto n = std::make_unique<Node>();
        n->id = nextId++;
        n->parent = parent;
        n->name = std::move(name);
        n->depth = depth;
        n->kind = kind;
        n->props[int(Property::XScale)] = n->props[int(Property::YScale)] = 100;
        n->props[int(Property::Alpha)] = 100;
        n->props[int(Property::Visible)] = 1;
        n->props[int(Property::HighQuality)] = 1;
        n->props[int(Property::FocusRect)] = 1;
        n->props[int(Property::SoundBufTime)] = 5;
        DisplayId id = n->id;
        nodes[id] = std::move(n);
        return id;
    }
    Node* node(DisplayId id) {
        auto it = nodes.find(id);
        return it == nodes.end() ? nullptr : it->second.get();
    }

    DisplayId root = 0;
    DisplayId nextId = 1;
    std::map<DisplayId, std::unique_ptr<Node>> nodes;
    std::vector<std::string> urls;
    std::vector<UrlRequest> requests;
    double clockMs = 0;

    DisplayId rootOf(DisplayId) override { return root; }
    DisplayId level(int n) override { return n == 0 ? root : kNoDisplay; }
    DisplayKind kind(DisplayId o) override { auto* n = node(o); return n ? n->kind : DisplayKind::None; }
    std::string name(DisplayId o) override { auto* n = node(o); return n ? n->name : ""; }
    void setName(DisplayId o, std::string_view v) override { if (auto* n = node(o)) n->name = v; }
    DisplayId parent(DisplayId o) override { auto* n = node(o); return n ? n->parent : kNoDisplay; }
    DisplayId childByName(DisplayId p, std::string_view name, bool caseSensitive) override {
        for (auto& [id, n] : nodes) {
            if (n->parent != p || n->name.size() != name.size()) continue;
            bool same = true;
            for (size_t i = 0; i < name.size(); ++i)
                if (caseSensitive ? n->name[i] != name[i] : std::tolower(n->name[i]) != std::tolower(name[i])) same = false;
            if (same) return id;
        }
        return kNoDisplay;
    }
    std::vector<DisplayId> children(DisplayId p) override {
        std::vector<Node*> list;
        for (auto& [id, n] : nodes)
            if (n->parent == p && id != p) list.push_back(n.get());
        std::sort(list.begin(), list.end(), [](Node* a, Node* b) { return a->depth < b->depth; });
        std::vector<DisplayId> out;
        for (auto* n : list) out.push_back(n->id);
        return out;
    }
    int depth(DisplayId o) override { auto* n = node(o); return n ? n->depth : 0; }
    std::string symbolName(DisplayId o) override { auto* n = node(o); return n ? n->symbol : ""; }
    int swfVersion(DisplayId) override { return version; }
    int version = 8;

    double property(DisplayId o, Property p) override {
        auto* n = node(o);
        if (!n) return 0;
        if (p == Property::CurrentFrame) return n->frame;
        if (p == Property::TotalFrames || p == Property::FramesLoaded) return n->totalFrames;
        return n->props[int(p)];
    }
    void setProperty(DisplayId o, Property p, double v) override { if (auto* n = node(o)) n->props[int(p)] = v; }
    std::string textProperty(DisplayId, Property p) override { return p == Property::Quality ? "HIGH" : ""; }
    void setTextProperty(DisplayId, Property, std::string_view) override {}
    Matrix matrix(DisplayId) override { return {}; }
    void setMatrix(DisplayId, const Matrix&) override {}
    ColorTransformValues colorTransform(DisplayId) override { return ct; }
    void setColorTransform(DisplayId, const ColorTransformValues& c) override { ct = c; }
    ColorTransformValues ct;
    std::optional<std::string> setting(DisplayId, std::string_view) override { return std::nullopt; }
    void setSetting(DisplayId, std::string_view, std::string_view) override {}

    void play(DisplayId o) override { if (auto* n = node(o)) n->playing = true; }
    void stop(DisplayId o) override { if (auto* n = node(o)) n->playing = false; }
    void gotoFrame(DisplayId o, int frame, bool andPlay) override {
        if (auto* n = node(o)) {
            n->frame = std::clamp(frame + 1, 1, n->totalFrames);
            n->playing = andPlay;
            if (o == root) pendingGoto = n->frame;
        }
    }
    bool gotoLabel(DisplayId, std::string_view, bool) override { return false; }
    void nextFrame(DisplayId o) override { if (auto* n = node(o)) gotoFrame(o, n->frame, false); }
    void prevFrame(DisplayId o) override { if (auto* n = node(o)) gotoFrame(o, n->frame - 2, false); }
    int currentFrame(DisplayId o) override { auto* n = node(o); return n ? n->frame : 0; }
    int totalFrames(DisplayId o) override { auto* n = node(o); return n ? n->totalFrames : 0; }
    int framesLoaded(DisplayId o) override { return totalFrames(o); }
    int frameOfLabel(DisplayId, std::string_view) override { return -1; }
    // Scripts of frames (0-based) that the Call action runs.
    std::map<std::pair<DisplayId, int>, std::vector<std::vector<uint8_t>>> frameCode;
    std::vector<std::span<const uint8_t>> frameScripts(DisplayId clip, int frame) override {
        std::vector<std::span<const uint8_t>> out;
        if (auto it = frameCode.find({clip, frame}); it != frameCode.end())
            for (auto& code : it->second) out.emplace_back(code);
        return out;
    }
    int pendingGoto = 0;

    DisplayId placeAt(DisplayId parent, std::string_view name, int depth, DisplayKind kind) {
        if (!node(parent)) return kNoDisplay;
        for (auto& [id, n] : nodes)
            if (n->parent == parent && n->depth == depth && id != parent) {
                removeObject(id);
                break;
            }
        return make(parent, std::string(name), depth, kind);
    }
    // Any symbol attaches as an empty clip; `created` is told at once, as the player tells
    // the engine while it places the clip.
    DisplayId attachMovie(DisplayId p, std::string_view symbol, std::string_view name, int depth) override {
        DisplayId id = placeAt(p, name, depth, DisplayKind::MovieClip);
        if (auto* n = node(id)) n->symbol = symbol;
        if (id && created) created(id);
        return id;
    }
    std::function<void(DisplayId)> created;
    DisplayId duplicateMovieClip(DisplayId c, std::string_view name, int depth) override {
        auto* n = node(c);
        return n && n->parent ? placeAt(n->parent, name, depth, n->kind) : kNoDisplay;
    }
    DisplayId createEmptyMovieClip(DisplayId p, std::string_view name, int depth) override {
        return placeAt(p, name, depth, DisplayKind::MovieClip);
    }
    DisplayId createTextField(DisplayId p, std::string_view name, int depth, double, double, double, double) override {
        return placeAt(p, name, depth, DisplayKind::TextField);
    }
    void removeObject(DisplayId o) override {
        if (o == root) return;
        std::vector<DisplayId> doomed{o};
        for (size_t i = 0; i < doomed.size(); ++i)
            for (auto& [id, n] : nodes)
                if (n->parent == doomed[i]) doomed.push_back(id);
        for (DisplayId d : doomed) {
            nodes.erase(d);
            if (removed) removed(d);
        }
    }
    std::function<void(DisplayId)> removed;
    void swapDepths(DisplayId o, int depth) override { if (auto* n = node(o)) n->depth = depth; }
    void swapDepthsWith(DisplayId a, DisplayId b) override {
        auto *x = node(a), *y = node(b);
        if (x && y) std::swap(x->depth, y->depth);
    }
    int nextHighestDepth(DisplayId p) override {
        int d = 0;
        for (auto& [id, n] : nodes)
            if (n->parent == p && id != p) d = std::max(d, n->depth + 1);
        return d;
    }
    DisplayId instanceAtDepth(DisplayId p, int depth) override {
        for (auto& [id, n] : nodes)
            if (n->parent == p && n->depth == depth && id != p) return id;
        return kNoDisplay;
    }

    Rect bounds(DisplayId, DisplayId, bool) override { return {}; }
    bool hitTestObject(DisplayId, DisplayId) override { return false; }
    bool hitTestPoint(DisplayId, double, double, bool) override { return false; }
    Point localToGlobal(DisplayId, Point p) override { return p; }
    Point globalToLocal(DisplayId, Point p) override { return p; }
    void startDrag(DisplayId, bool, std::optional<Rect>) override {}
    void stopDrag() override {}
    void setMask(DisplayId, DisplayId) override {}
    void moveTo(DisplayId, double, double) override {}
    void lineTo(DisplayId, double, double) override {}
    void curveTo(DisplayId, double, double, double, double) override {}
    void lineStyle(DisplayId, const LineStyleArgs&) override {}
    void lineGradientStyle(DisplayId, const GradientFill&) override {}
    void beginFill(DisplayId, uint32_t, double) override {}
    void beginGradientFill(DisplayId, const GradientFill&) override {}
    void beginBitmapFill(DisplayId, std::string_view, const Matrix&, bool, bool) override {}
    void endFill(DisplayId) override {}
    void clearDrawing(DisplayId) override {}
    std::optional<std::string> textFieldValue(DisplayId, std::string_view) override { return std::nullopt; }
    void setTextFieldValue(DisplayId, std::string_view, std::string_view) override {}
    TextFormatValues textFormat(DisplayId, int, int) override { return {}; }
    void setTextFormat(DisplayId, int, int, const TextFormatValues&) override {}
    TextFormatValues newTextFormat(DisplayId) override { return {}; }
    void setNewTextFormat(DisplayId, const TextFormatValues&) override {}
    void replaceText(DisplayId, int, int, std::string_view) override {}
    TextExtentValues measureText(const TextFormatValues& format, std::string_view text,
                                 std::optional<double> wrapWidth) override {
        measured.push_back({format, std::string(text), wrapWidth});
        return {10, 3, 40, 13, 44, 17};
    }
    struct Measured {
        TextFormatValues format;
        std::string text;
        std::optional<double> wrapWidth;
    };
    std::vector<Measured> measured;
    DisplayId focus() override { return kNoDisplay; }
    bool setFocus(DisplayId) override { return false; }
    int selectionBegin() override { return -1; }
    int selectionEnd() override { return -1; }
    int caretIndex() override { return -1; }
    void setSelection(int, int) override {}
    Point mousePosition() override { return {}; }
    bool isKeyDown(int) override { return false; }
    int lastKeyCode() override { return 0; }
    int lastKeyAscii() override { return 0; }
    double stageWidth() override { return 550; }
    double stageHeight() override { return 400; }
    double frameRate() override { return 24; }
    double millisecondsSinceStart() override { return clockMs; }
    std::string movieUrl(DisplayId) override { return "file:///test.swf"; }
    void requestUrl(const UrlRequest& request) override {
        urls.emplace_back(request.url);
        requests.push_back(request);
    }
    std::string quality() override { return "HIGH"; }
    void setQuality(std::string_view) override {}
};

}  // namespace avm1test
