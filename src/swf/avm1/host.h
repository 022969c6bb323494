#pragma once
// What the AVM1 engine needs from the player that embeds it. The player implements Host;
// the engine calls it for everything it knows about display objects, the stage, input and
// the outside world. Display objects are named by DisplayId, a handle the player hands out
// and never reuses for the life of the player (0 is "none").
//
// Strings are UTF-8. Positions and sizes are in pixels, angles in degrees, scales and alpha
// in percent, as scripts see them. Every call may be made with an id the player no longer
// knows (a removed clip); the player then answers with the neutral value and does nothing.
//
// Interface changes are announced at the end of this file, under "Changes".
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace swf::avm1 {

using DisplayId = uint64_t;
inline constexpr DisplayId kNoDisplay = 0;

enum class DisplayKind : uint8_t { None, MovieClip, Button, TextField, Other };

// The display properties reachable by index (GetProperty/SetProperty), in index order.
enum class Property : uint8_t {
    X, Y, XScale, YScale, CurrentFrame, TotalFrames, Alpha, Visible, Width, Height, Rotation,
    Target, FramesLoaded, Name, DropTarget, Url, HighQuality, FocusRect, SoundBufTime, Quality,
    XMouse, YMouse,
    Count
};

struct Rect {
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
};

struct Point {
    double x = 0, y = 0;
};

// A 2D affine matrix as flash.geom.Matrix has it: x' = a*x + c*y + tx, y' = b*x + d*y + ty (pixels).
struct Matrix {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
};

// Colour transform in script units: multipliers 1.0 for identity, offsets in -255..255.
struct ColorTransformValues {
    double redMultiplier = 1, greenMultiplier = 1, blueMultiplier = 1, alphaMultiplier = 1;
    double redOffset = 0, greenOffset = 0, blueOffset = 0, alphaOffset = 0;
};

struct GradientFill {
    bool radial = false;
    std::vector<uint32_t> colors;  // 0xRRGGBB
    std::vector<double> alphas;    // 0..100
    std::vector<double> ratios;    // 0..255
    Matrix matrix;                 // gradient box (-819.2..819.2 square) to clip space
    int spread = 0;                // 0 pad, 1 reflect, 2 repeat
    int interpolation = 0;         // 0 RGB, 1 linear RGB
    double focalPoint = 0;
};

struct LineStyleArgs {
    double thickness = 0;  // pixels; NaN clears the line style
    uint32_t color = 0;    // 0xRRGGBB
    double alpha = 100;
    bool pixelHinting = false;
    std::string scaleMode = "normal";
    std::string caps = "round", joints = "round";
    double miterLimit = 3;
};

// Text formatting as TextFormat carries it; unset fields stay as they are when applied.
struct TextFormatValues {
    std::optional<std::string> font, url, target, align;
    std::optional<double> size, leftMargin, rightMargin, indent, leading, blockIndent, letterSpacing;
    std::optional<uint32_t> color;
    std::optional<bool> bold, italic, underline, bullet, kerning;
    std::optional<std::vector<double>> tabStops;
};

// What TextFormat.getTextExtent answers, in whole pixels: one line's ascent and descent, the
// laid-out text's width and height, and the size of a text field that would just hold it.
struct TextExtentValues {
    double ascent = 0, descent = 0, width = 0, height = 0, textFieldWidth = 0, textFieldHeight = 0;
};

// Text-field-only settings exposed to scripts by name (TextField properties that are not
// display properties): "text", "htmlText", "html", "variable", "autoSize", "border",
// "borderColor", "background", "backgroundColor", "textColor", "multiline", "wordWrap",
// "selectable", "type", "password", "maxChars", "embedFonts", "length", "textWidth",
// "textHeight", "scroll", "maxscroll", "hscroll", "maxhscroll", "bottomScroll", "restrict",
// "condenseWhite", "antiAliasType". Values travel as text ("true"/"false" for flags, decimal
// numbers, names for enumerations), so the list can grow without changing this interface.

// One bitmap filter (flash.filters) as it travels between scripts and the player, in script
// units: pixels, degrees, alphas 0..1, colours 0xRRGGBB. Each kind reads the fields its
// class has; a bevel's shadow is color/alpha. The gradient kinds read colors, alphas and
// ratios (0..255), all of one length.
struct FilterValues {
    enum class Kind : uint8_t { DropShadow, Blur, Glow, Bevel, GradientGlow, Convolution, ColorMatrix, GradientBevel };
    enum class Type : uint8_t { Inner, Outer, Full };  // bevels and gradient filters
    Kind kind = Kind::Blur;
    double blurX = 4, blurY = 4;
    int quality = 1;  // passes, 0..15
    double strength = 1;
    double angle = 45, distance = 4;
    uint32_t color = 0;
    double alpha = 1;
    uint32_t highlightColor = 0xFFFFFF;
    double highlightAlpha = 1;
    bool inner = false, knockout = false, hideObject = false;
    Type type = Type::Inner;
    std::vector<uint32_t> colors;
    std::vector<double> alphas;
    std::vector<int> ratios;
    std::vector<double> matrix;  // colour matrix (20) or convolution (matrixX * matrixY, row by row)
    int matrixX = 0, matrixY = 0;
    double divisor = 1, bias = 0;
    bool preserveAlpha = true, clamp = true;
};

// The sound transform of the script Sound object, in percent, kept as whole numbers the way
// scripts set them (not clamped: scripts read back what they wrote).
struct SoundTransformValues {
    int volume = 100;
    int leftToLeft = 100, leftToRight = 0, rightToLeft = 0, rightToRight = 100;
    bool operator==(const SoundTransformValues&) const = default;
};

// A web address a script asked to open (getURL). The window keeps the script's name for it,
// except that any spelling of "_blank" ("blank", "_BLANK") reads "_blank". With GET or POST
// the clip's variables go along as (name, text) pairs, in the order for..in lists them.
struct UrlRequest {
    enum class Method : uint8_t { None, Get, Post };
    std::string url;
    std::string window;
    Method method = Method::None;
    std::vector<std::pair<std::string, std::string>> variables;
};

using SoundHandle = uint64_t;  // one started sound; 0 is "none"

using BitmapHandle = uint64_t;  // a script's BitmapData pixels; 0 is "none"
inline constexpr int kMaxBitmapSide = 2880;  // pixels, as the original player allows

// A sound file read for Sound.loadSound.
struct LoadedSound {
    uint64_t id = 0;        // the player's name for it, never 0
    double durationMs = 0;
    double bytes = 0;       // size of the file
    bool hasId3 = false;    // the file starts with an ID3v2 tag (the script hears onID3)
    std::vector<std::pair<std::string, std::string>> id3;  // frame id ("TIT2") and its text
};

enum class KeyCode : int {};  // the player's virtual key codes, as Key.getCode() reports them

class Host {
public:
    virtual ~Host() = default;

    // ---- The display tree --------------------------------------------------------------
    virtual DisplayId rootOf(DisplayId object) = 0;        // _root of the movie holding it
    virtual DisplayId level(int number) = 0;               // _levelN, kNoDisplay when absent
    virtual DisplayKind kind(DisplayId object) = 0;        // None once removed
    // Instance name. Objects placed without a name are named "instanceN" by the player, N
    // counting placements from 1, and scripts see that name (_name, _target, paths).
    virtual std::string name(DisplayId object) = 0;
    virtual void setName(DisplayId object, std::string_view name) = 0;
    virtual DisplayId parent(DisplayId object) = 0;        // kNoDisplay for a level's root
    // The child with this instance name (case-insensitive below SWF 7 when asked so).
    // A named object with no script object of its own (a shape, static text, a bitmap)
    // stands for the clip holding it: childByName then answers `parent` itself.
    virtual DisplayId childByName(DisplayId parent, std::string_view name, bool caseSensitive) = 0;
    // In depth order, back first; named objects without a script object are listed too
    // (their names enumerate), others only when scripts can reach them.
    virtual std::vector<DisplayId> children(DisplayId parent) = 0;
    virtual int depth(DisplayId object) = 0;               // as scripts see it (timeline depth - 16384)
    // Linkage name of the library symbol the object was made from ("" when none), so that
    // Object.registerClass can give the right prototype.
    virtual std::string symbolName(DisplayId object) = 0;
    virtual int swfVersion(DisplayId object) = 0;          // version of the movie the object comes from

    // ---- Display properties --------------------------------------------------------------
    // Numeric properties (X .. Rotation, CurrentFrame, TotalFrames, FramesLoaded, Visible as
    // 0/1, HighQuality, FocusRect, SoundBufTime, XMouse, YMouse). Target, Name, DropTarget,
    // Url and Quality are text and go through the text calls.
    virtual double property(DisplayId object, Property which) = 0;
    virtual void setProperty(DisplayId object, Property which, double value) = 0;
    virtual std::string textProperty(DisplayId object, Property which) = 0;
    virtual void setTextProperty(DisplayId object, Property which, std::string_view value) = 0;

    virtual Matrix matrix(DisplayId object) = 0;
    virtual void setMatrix(DisplayId object, const Matrix& m) = 0;
    virtual ColorTransformValues colorTransform(DisplayId object) = 0;
    virtual void setColorTransform(DisplayId object, const ColorTransformValues& ct) = 0;

    // Named settings that are neither index properties nor text-field text: "blendMode",
    // "cacheAsBitmap", "opaqueBackground" ("" for none), "scrollRect" ("x,y,w,h" or ""),
    // "enabled", "useHandCursor", "tabEnabled", "tabIndex", "trackAsMenu", "focusEnabled",
    // "_lockroot", and the read-only "bytesTotal" (the bytes a clip came from). Empty
    // optional: not supported.
    virtual std::optional<std::string> setting(DisplayId object, std::string_view key) = 0;
    virtual void setSetting(DisplayId object, std::string_view key, std::string_view value) = 0;
    // The object's filter list (MovieClip.filters): a copy each way.
    virtual std::vector<FilterValues> filters(DisplayId /*object*/) { return {}; }
    virtual void setFilters(DisplayId /*object*/, const std::vector<FilterValues>& /*filters*/) {}

    // ---- Timeline control ----------------------------------------------------------------
    virtual void play(DisplayId clip) = 0;
    virtual void stop(DisplayId clip) = 0;
    virtual void gotoFrame(DisplayId clip, int frame, bool andPlay) = 0;  // frame is 0-based
    // Returns false when the label is unknown (nothing happens then).
    virtual bool gotoLabel(DisplayId clip, std::string_view label, bool andPlay) = 0;
    virtual void nextFrame(DisplayId clip) = 0;
    virtual void prevFrame(DisplayId clip) = 0;
    virtual int currentFrame(DisplayId clip) = 0;   // 1-based, 0 before the first frame
    virtual int totalFrames(DisplayId clip) = 0;
    virtual int framesLoaded(DisplayId clip) = 0;
    // 0-based frame of a label, or -1.
    virtual int frameOfLabel(DisplayId clip, std::string_view label) = 0;
    // The action blocks (DoAction) of a clip's 0-based frame, in tag order, for the Call
    // action; the bytes live as long as the movie.
    virtual std::vector<std::span<const uint8_t>> frameScripts(DisplayId /*clip*/, int /*frame*/) { return {}; }

    // ---- Making and removing objects -----------------------------------------------------
    // All return kNoDisplay when they fail (unknown symbol, bad depth, not a movie clip).
    virtual DisplayId attachMovie(DisplayId parent, std::string_view symbol, std::string_view name, int depth) = 0;
    virtual DisplayId duplicateMovieClip(DisplayId clip, std::string_view name, int depth) = 0;
    virtual DisplayId createEmptyMovieClip(DisplayId parent, std::string_view name, int depth) = 0;
    virtual DisplayId createTextField(DisplayId parent, std::string_view name, int depth, double x, double y,
                                      double width, double height) = 0;
    virtual void removeObject(DisplayId object) = 0;  // removeMovieClip / removeTextField
    virtual void swapDepths(DisplayId object, int depth) = 0;
    virtual void swapDepthsWith(DisplayId object, DisplayId other) = 0;
    virtual int nextHighestDepth(DisplayId parent) = 0;
    virtual DisplayId instanceAtDepth(DisplayId parent, int depth) = 0;

    // ---- Geometry -------------------------------------------------------------------------
    // Bounds of the object in the space of targetSpace (kNoDisplay: its own space).
    // withStrokes=false gives getRect's answer.
    virtual Rect bounds(DisplayId object, DisplayId targetSpace, bool withStrokes) = 0;
    virtual bool hitTestObject(DisplayId object, DisplayId other) = 0;
    virtual bool hitTestPoint(DisplayId object, double stageX, double stageY, bool shapeFlag) = 0;
    virtual Point localToGlobal(DisplayId object, Point p) = 0;
    virtual Point globalToLocal(DisplayId object, Point p) = 0;

    // ---- Interaction ------------------------------------------------------------------------
    virtual void startDrag(DisplayId object, bool lockCenter, std::optional<Rect> constraint) = 0;
    virtual void stopDrag() = 0;
    virtual void setMask(DisplayId object, DisplayId mask) = 0;  // mask kNoDisplay clears

    // ---- Drawing API (coordinates in the clip's pixels) -----------------------------------
    virtual void moveTo(DisplayId clip, double x, double y) = 0;
    virtual void lineTo(DisplayId clip, double x, double y) = 0;
    virtual void curveTo(DisplayId clip, double cx, double cy, double x, double y) = 0;
    virtual void lineStyle(DisplayId clip, const LineStyleArgs& style) = 0;
    virtual void lineGradientStyle(DisplayId clip, const GradientFill& fill) = 0;
    virtual void beginFill(DisplayId clip, uint32_t rgb, double alpha) = 0;
    virtual void beginGradientFill(DisplayId clip, const GradientFill& fill) = 0;
    // The bitmap is a library symbol's linkage name (the bitmap API itself is not scripted yet).
    virtual void beginBitmapFill(DisplayId clip, std::string_view bitmapSymbol, const Matrix& m, bool repeat,
                                 bool smooth) = 0;
    virtual void endFill(DisplayId clip) = 0;
    virtual void clearDrawing(DisplayId clip) = 0;

    // ---- Text fields --------------------------------------------------------------------------
    // name is one of the text-field settings listed above TextFormatValues.
    virtual std::optional<std::string> textFieldValue(DisplayId field, std::string_view name) = 0;
    virtual void setTextFieldValue(DisplayId field, std::string_view name, std::string_view value) = 0;
    // Range -1..-1 means the whole text; getTextFormat of a range answers the common values.
    virtual TextFormatValues textFormat(DisplayId field, int begin, int end) = 0;
    virtual void setTextFormat(DisplayId field, int begin, int end, const TextFormatValues& format) = 0;
    virtual TextFormatValues newTextFormat(DisplayId field) = 0;
    virtual void setNewTextFormat(DisplayId field, const TextFormatValues& format) = 0;
    virtual void replaceText(DisplayId field, int begin, int end, std::string_view text) = 0;
    // Measures text set in `format` with the player's device fonts; with a wrap width (the
    // field's width, gutters included) the text wraps at word breaks.
    virtual TextExtentValues measureText(const TextFormatValues& /*format*/, std::string_view /*text*/,
                                         std::optional<double> /*wrapWidth*/) {
        return {};
    }
    // Focus for Selection; kNoDisplay when nothing has it. setFocus answers false (and
    // leaves the focus) when the object cannot take it.
    virtual DisplayId focus() = 0;
    virtual bool setFocus(DisplayId object) = 0;
    virtual int selectionBegin() = 0;
    virtual int selectionEnd() = 0;
    virtual int caretIndex() = 0;
    virtual void setSelection(int begin, int end) = 0;

    // ---- The player -------------------------------------------------------------------------
    virtual Point mousePosition() = 0;             // stage pixels
    virtual bool isKeyDown(int keyCode) = 0;
    virtual int lastKeyCode() = 0;
    virtual int lastKeyAscii() = 0;
    virtual double stageWidth() = 0;               // pixels, as Stage.width reports
    virtual double stageHeight() = 0;
    virtual std::string stageScaleMode() { return "showAll"; }
    virtual void setStageScaleMode(std::string_view) {}
    virtual std::string stageAlign() { return ""; }
    virtual void setStageAlign(std::string_view) {}
    virtual bool mouseVisible() { return true; }
    virtual void setMouseVisible(bool) {}
    virtual double frameRate() = 0;
    virtual double millisecondsSinceStart() = 0;   // getTimer()
    virtual std::string movieUrl(DisplayId object) = 0;  // _url
    // An http(s) address a script asked to open. The player opens it only in answer to a
    // user's click; the engine never passes any other scheme, fscommand or load request.
    virtual void requestUrl(const UrlRequest& request) = 0;
    // fscommand(command, args). The player acts on none of them except "quit", which only a
    // headless runner heeds (it ends the run); the reader's player ignores every one.
    // (Added by the player side; default does nothing.)
    virtual void fsCommand(std::string_view /*command*/, std::string_view /*args*/) {}
    // Quality as "LOW", "MEDIUM", "HIGH", "BEST".
    virtual std::string quality() = 0;
    virtual void setQuality(std::string_view quality) = 0;

    // ---- Sound (the script Sound object) ------------------------------------------------------
    // `target` is the clip a Sound object speaks for, kNoDisplay for the whole movie; a sound
    // is named by its export (linkage) name in the movie holding the target.
    virtual SoundTransformValues soundTransform(DisplayId /*target*/) { return {}; }
    virtual void setSoundTransform(DisplayId /*target*/, const SoundTransformValues&) {}
    // Length in milliseconds; nullopt when the movie exports no sound by that name.
    virtual std::optional<double> soundDuration(DisplayId /*target*/, std::string_view /*linkage*/) { return {}; }
    // Starts the sound `offsetSeconds` into it, played `loops` times; 0 when nothing started.
    virtual SoundHandle startSound(DisplayId /*target*/, std::string_view /*linkage*/, double /*offsetSeconds*/,
                                   int /*loops*/) {
        return 0;
    }
    // Stops that sound's voices started for the target, or all of them when linkage is empty.
    virtual void stopSounds(DisplayId /*target*/, std::string_view /*linkage*/) {}
    virtual bool soundPlaying(SoundHandle) { return false; }
    virtual double soundPosition(SoundHandle) { return 0; }  // ms into the current loop
    // Sound.loadSound: an MP3 file named by an address relative to the movie. The player
    // reads only files inside the movie's own folder, never the network; nullopt when there
    // is no such file there or it is no sound. The engine asks when the load is due to finish.
    virtual std::optional<LoadedSound> loadSoundFile(std::string_view /*url*/) { return {}; }
    // Starts a sound loadSoundFile gave, as startSound does an exported one.
    virtual SoundHandle startLoadedSound(DisplayId /*target*/, uint64_t /*sound*/, double /*offsetSeconds*/,
                                         int /*loops*/) {
        return 0;
    }
    // Stops one started sound (a streamed file sound plays once at a time).
    virtual void stopSound(SoundHandle) {}

    // ---- Bitmaps (flash.display.BitmapData) ------------------------------------------------
    // Colours are unpremultiplied 32-bit ARGB. createBitmap answers 0 when the size is past
    // kMaxBitmapSide or the movie's bitmaps would take too much memory.
    virtual BitmapHandle createBitmap(int /*width*/, int /*height*/, bool /*transparent*/, uint32_t /*argb*/) {
        return 0;
    }
    // The script no longer holds the bitmap (collected or disposed); objects showing it keep it.
    virtual void releaseBitmap(BitmapHandle) {}
    virtual uint32_t bitmapPixel(BitmapHandle, int /*x*/, int /*y*/) { return 0; }
    // Sets a rectangle of pixels (clipped to the bitmap) to one colour.
    virtual void setBitmapPixels(BitmapHandle, int /*x*/, int /*y*/, int /*width*/, int /*height*/,
                                 uint32_t /*argb*/) {}
    virtual BitmapHandle cloneBitmap(BitmapHandle) { return 0; }
    // MovieClip.attachBitmap: a child of the clip at a script depth that shows the bitmap.
    virtual void attachBitmap(DisplayId /*clip*/, BitmapHandle, int /*depth*/, bool /*smoothing*/) {}

    // ---- Loading into clips (MovieClipLoader) -------------------------------------------------
    // Loads the picture (PNG, JPEG, GIF) at an address relative to the movie into the clip,
    // from the movie's own folder only; the clip's content is replaced by it and its SWF
    // version becomes -1. Answers the file's size, nullopt when nothing was loaded.
    virtual std::optional<double> loadClipFile(DisplayId /*clip*/, std::string_view /*url*/) { return {}; }
    // Empties a clip (MovieClipLoader.unloadClip).
    virtual void unloadClip(DisplayId /*clip*/) {}
};

// Changes (newest last):
// - first version.
// - fsCommand(command, args), default no-op: the engine passes fscommand calls so that a
//   headless run can end on "quit".
// - name(): unnamed placed objects answer "instanceN" (documented; the suite expects it).
// - setFocus() answers whether the object took the focus; settings "tabIndex" (decimal or
//   "" when unset), "focusRect" ("true"/"false"/"" for unset) and "stageFocusRect".
// - filters()/setFilters(), defaults empty/no-op: filter lists as typed values, in place of
//   the opaque "filters" setting text.
// - Sound calls (soundTransform ... soundPosition), defaults do nothing: the script Sound
//   object; the engine polls soundPlaying() as time advances to run onSoundComplete.
// - loadSoundFile()/startLoadedSound()/stopSound(), defaults refuse: Sound.loadSound of a file in the
//   movie's own folder.
// - childByName() answers the parent for a named shape, static text or bitmap, and
//   children() lists them, as their names reach the clip holding them.
// - frameScripts(clip, frame), default none: a frame's action blocks, which the Call action
//   runs in place.
// - measureText(format, text, wrapWidth), default all zero: TextFormat.getTextExtent.
// - requestUrl(UrlRequest): the window normalised, with the method and the clip's variables.
// - Bitmaps (createBitmap ... attachBitmap) and loadClipFile()/unloadClip(), defaults
//   refuse: flash.display.BitmapData and MovieClipLoader.

}  // namespace swf::avm1
