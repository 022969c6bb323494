#pragma once
// ScriptHost: the player's side of the scripting engine. It answers the engine's questions
// about display objects (avm1::Host) from the Player's display tree, and changes the tree
// when scripts ask. Display ids are the instances' serial numbers; the root is kRootSerial.
#include <map>
#include <memory>

#include "swf/avm1/host.h"
#include "swf/media/media_tags.h"

class QImage;

namespace swf {

class Player;
struct EditTextDef;

class ScriptHost final : public avm1::Host {
public:
    explicit ScriptHost(Player& player) : player_(player) {}

    // The display tree.
    avm1::DisplayId rootOf(avm1::DisplayId object) override;
    avm1::DisplayId level(int number) override;
    avm1::DisplayKind kind(avm1::DisplayId object) override;
    std::string name(avm1::DisplayId object) override;
    void setName(avm1::DisplayId object, std::string_view name) override;
    avm1::DisplayId parent(avm1::DisplayId object) override;
    avm1::DisplayId childByName(avm1::DisplayId parent, std::string_view name, bool caseSensitive) override;
    std::vector<avm1::DisplayId> children(avm1::DisplayId parent) override;
    int depth(avm1::DisplayId object) override;
    std::string symbolName(avm1::DisplayId object) override;
    int swfVersion(avm1::DisplayId object) override;

    // Display properties.
    double property(avm1::DisplayId object, avm1::Property which) override;
    void setProperty(avm1::DisplayId object, avm1::Property which, double value) override;
    std::string textProperty(avm1::DisplayId object, avm1::Property which) override;
    void setTextProperty(avm1::DisplayId object, avm1::Property which, std::string_view value) override;
    avm1::Matrix matrix(avm1::DisplayId object) override;
    void setMatrix(avm1::DisplayId object, const avm1::Matrix& m) override;
    avm1::ColorTransformValues colorTransform(avm1::DisplayId object) override;
    void setColorTransform(avm1::DisplayId object, const avm1::ColorTransformValues& ct) override;
    std::optional<std::string> setting(avm1::DisplayId object, std::string_view key) override;
    void setSetting(avm1::DisplayId object, std::string_view key, std::string_view value) override;
    std::vector<avm1::FilterValues> filters(avm1::DisplayId object) override;
    void setFilters(avm1::DisplayId object, const std::vector<avm1::FilterValues>& filters) override;

    // Timelines.
    void play(avm1::DisplayId clip) override;
    void stop(avm1::DisplayId clip) override;
    void gotoFrame(avm1::DisplayId clip, int frame, bool andPlay) override;
    bool gotoLabel(avm1::DisplayId clip, std::string_view label, bool andPlay) override;
    void nextFrame(avm1::DisplayId clip) override;
    void prevFrame(avm1::DisplayId clip) override;
    int currentFrame(avm1::DisplayId clip) override;
    int totalFrames(avm1::DisplayId clip) override;
    int framesLoaded(avm1::DisplayId clip) override;
    int frameOfLabel(avm1::DisplayId clip, std::string_view label) override;
    std::vector<std::span<const uint8_t>> frameScripts(avm1::DisplayId clip, int frame) override;

    // Making and removing.
    avm1::DisplayId attachMovie(avm1::DisplayId parent, std::string_view symbol, std::string_view name,
                                int depth) override;
    avm1::DisplayId duplicateMovieClip(avm1::DisplayId clip, std::string_view name, int depth) override;
    avm1::DisplayId createEmptyMovieClip(avm1::DisplayId parent, std::string_view name, int depth) override;
    avm1::DisplayId createTextField(avm1::DisplayId parent, std::string_view name, int depth, double x, double y,
                                    double width, double height) override;
    void removeObject(avm1::DisplayId object) override;
    void swapDepths(avm1::DisplayId object, int depth) override;
    void swapDepthsWith(avm1::DisplayId object, avm1::DisplayId other) override;
    int nextHighestDepth(avm1::DisplayId parent) override;
    avm1::DisplayId instanceAtDepth(avm1::DisplayId parent, int depth) override;

    // Geometry.
    avm1::Rect bounds(avm1::DisplayId object, avm1::DisplayId targetSpace, bool withStrokes) override;
    bool hitTestObject(avm1::DisplayId object, avm1::DisplayId other) override;
    bool hitTestPoint(avm1::DisplayId object, double stageX, double stageY, bool shapeFlag) override;
    avm1::Point localToGlobal(avm1::DisplayId object, avm1::Point p) override;
    avm1::Point globalToLocal(avm1::DisplayId object, avm1::Point p) override;
    // _xmouse/_ymouse: the mouse in the object's pixels.
    avm1::Point localMouse(avm1::DisplayId object);

    // Interaction.
    void startDrag(avm1::DisplayId object, bool lockCenter, std::optional<avm1::Rect> constraint) override;
    void stopDrag() override;
    void setMask(avm1::DisplayId object, avm1::DisplayId mask) override;

    // Drawing API.
    void moveTo(avm1::DisplayId clip, double x, double y) override;
    void lineTo(avm1::DisplayId clip, double x, double y) override;
    void curveTo(avm1::DisplayId clip, double cx, double cy, double x, double y) override;
    void lineStyle(avm1::DisplayId clip, const avm1::LineStyleArgs& style) override;
    void lineGradientStyle(avm1::DisplayId clip, const avm1::GradientFill& fill) override;
    void beginFill(avm1::DisplayId clip, uint32_t rgb, double alpha) override;
    void beginGradientFill(avm1::DisplayId clip, const avm1::GradientFill& fill) override;
    void beginBitmapFill(avm1::DisplayId clip, std::string_view bitmapSymbol, const avm1::Matrix& m, bool repeat,
                         bool smooth) override;
    void endFill(avm1::DisplayId clip) override;
    void clearDrawing(avm1::DisplayId clip) override;

    // Text fields.
    std::optional<std::string> textFieldValue(avm1::DisplayId field, std::string_view name) override;
    void setTextFieldValue(avm1::DisplayId field, std::string_view name, std::string_view value) override;
    avm1::TextFormatValues textFormat(avm1::DisplayId field, int begin, int end) override;
    void setTextFormat(avm1::DisplayId field, int begin, int end, const avm1::TextFormatValues& format) override;
    avm1::TextFormatValues newTextFormat(avm1::DisplayId field) override;
    void setNewTextFormat(avm1::DisplayId field, const avm1::TextFormatValues& format) override;
    void replaceText(avm1::DisplayId field, int begin, int end, std::string_view text) override;
    avm1::TextExtentValues measureText(const avm1::TextFormatValues& format, std::string_view text,
                                       std::optional<double> wrapWidth) override;
    avm1::DisplayId focus() override;
    bool setFocus(avm1::DisplayId object) override;
    int selectionBegin() override;
    int selectionEnd() override;
    int caretIndex() override;
    void setSelection(int begin, int end) override;
    // Script focus moves arrive with nothing selected.
    void clearSelection();

    // The player.
    avm1::Point mousePosition() override;
    bool isKeyDown(int keyCode) override;
    int lastKeyCode() override;
    int lastKeyAscii() override;
    double stageWidth() override;
    double stageHeight() override;
    double frameRate() override;
    double millisecondsSinceStart() override;
    std::string movieUrl(avm1::DisplayId object) override;
    void requestUrl(const avm1::UrlRequest& request) override;
    std::string quality() override;
    void setQuality(std::string_view quality) override;
    void fsCommand(std::string_view command, std::string_view args) override;

    // The script Sound object (script_host_sound.cpp).
    avm1::SoundTransformValues soundTransform(avm1::DisplayId target) override;
    void setSoundTransform(avm1::DisplayId target, const avm1::SoundTransformValues& values) override;
    std::optional<double> soundDuration(avm1::DisplayId target, std::string_view linkage) override;
    avm1::SoundHandle startSound(avm1::DisplayId target, std::string_view linkage, double offsetSeconds,
                                 int loops) override;
    void stopSounds(avm1::DisplayId target, std::string_view linkage) override;
    bool soundPlaying(avm1::SoundHandle handle) override;
    double soundPosition(avm1::SoundHandle handle) override;
    std::optional<avm1::LoadedSound> loadSoundFile(std::string_view url) override;
    avm1::SoundHandle startLoadedSound(avm1::DisplayId target, uint64_t sound, double offsetSeconds,
                                       int loops) override;
    void stopSound(avm1::SoundHandle handle) override;

    // Bitmaps and pictures loaded into clips (script_host_bitmaps.cpp).
    avm1::BitmapHandle createBitmap(int width, int height, bool transparent, uint32_t argb) override;
    void releaseBitmap(avm1::BitmapHandle bitmap) override;
    uint32_t bitmapPixel(avm1::BitmapHandle bitmap, int x, int y) override;
    void setBitmapPixels(avm1::BitmapHandle bitmap, int x, int y, int width, int height, uint32_t argb) override;
    avm1::BitmapHandle cloneBitmap(avm1::BitmapHandle bitmap) override;
    void attachBitmap(avm1::DisplayId clip, avm1::BitmapHandle bitmap, int depth, bool smoothing) override;
    std::optional<double> loadClipFile(avm1::DisplayId clip, std::string_view url) override;
    void unloadClip(avm1::DisplayId clip) override;

private:
    const EditTextDef* focusedField();
    bool qualityBest_ = false;       // the quality scripts asked for is "BEST" (drawn as high)
    int32_t soundBufferSeconds_ = 5;  // _soundbuftime: kept for scripts, the mixer has no buffer
    // BitmapData pixels by handle, shared with the instances that show them.
    std::map<avm1::BitmapHandle, std::shared_ptr<QImage>> bitmaps_;
    avm1::BitmapHandle nextBitmap_ = 1;
    size_t bitmapBytes_ = 0;

    avm1::SoundHandle startScriptVoice(avm1::DisplayId target, int soundId, const media::SoundDef& sound,
                                       double offsetSeconds, int loops);

    struct ScriptVoice {
        avm1::DisplayId target;
        int soundId;  // character id, or a loaded file's id (kFirstLoadedSound and up)
    };
    // Sound files scripts loaded, by the id the mixer knows them by; the same file loaded
    // again is the same sound.
    static constexpr int kFirstLoadedSound = 1 << 16;
    struct LoadedFile {
        std::string path;
        std::shared_ptr<const media::SoundDef> sound;
        avm1::LoadedSound info;
    };
    std::map<int, LoadedFile> loadedSounds_;
    size_t loadedSoundBytes_ = 0;
    std::map<avm1::DisplayId, avm1::SoundTransformValues> soundTransforms_;  // kNoDisplay: the whole movie
    std::map<avm1::SoundHandle, ScriptVoice> scriptVoices_;

    Player& player_;
    int selectionBegin_ = -1, selectionEnd_ = -1, caret_ = -1;
};

}  // namespace swf
