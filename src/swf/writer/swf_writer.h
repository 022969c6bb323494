#pragma once
// swfwriter: writes small SWF movies from Qt drawing primitives.
//
// Offers MovieWriter (header, stage, frame rate, background, definitions, the root
// timeline) and Timeline (the control tags of a timeline: place, move, remove, labels,
// frame actions, show frame), which also serves as a sprite's timeline. Shapes come
// from QPainterPath (text outlines included); cubic curves become quadratic ones.
// Coordinates passed in are in pixels; the file holds twips (20 to the pixel).
//
// Characters: DefineShape 1 to 4 (chosen from what the styles need), DefineSprite,
// DefineButton2 (with filters and blend modes), DefineBitsLossless and DefineBitsLossless2, DefineBitsJPEG2,
// DefineFont2 with DefineText, DefineMorphShape and DefineMorphShape2; sounds with
// DefineSound, StartSound, StartSound2, DefineButtonSound and stream sound (sound_writer.cpp).
// Filled areas follow the odd-even rule: every edge carries the fill on one side.
#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QGradientStops>
#include <QImage>
#include <QPainterPath>
#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QTransform>
#include <cstdint>
#include <optional>
#include <vector>

#include "swf/filters.h"
#include "swf/writer/actions.h"

namespace swf::writer {

// A fill: one colour, a linear or radial gradient (positions in pixels of the shape's
// own space), or a bitmap (its pixels mapped by `bitmapTransform` into shape pixels).
struct FillStyle {
    enum class Kind { Solid, Linear, Radial, FocalRadial, Bitmap };
    enum class Spread { Pad = 0, Reflect = 1, Repeat = 2 };

    Kind kind = Kind::Solid;
    QColor color = Qt::black;
    QGradientStops stops;          // at most 15 (8 below DefineShape4)
    QPointF from, to;              // linear: the gradient runs from `from` to `to`
    QPointF center;                // radial: centre and radius
    double radius = 0;
    double focus = 0;              // focal radial: -1..1 along the x axis of the gradient
    Spread spread = Spread::Pad;
    bool linearRgb = false;        // interpolate in linear RGB (DefineShape4)
    uint16_t bitmapId = 0;
    QTransform bitmapTransform;
    bool bitmapRepeat = false;
    bool bitmapSmoothed = true;

    static FillStyle solid(const QColor& color);
    static FillStyle linear(QPointF from, QPointF to, const QGradientStops& stops);
    static FillStyle radial(QPointF center, double radius, const QGradientStops& stops);
    static FillStyle focalRadial(QPointF center, double radius, double focus,
                                 const QGradientStops& stops);
    static FillStyle bitmap(uint16_t bitmapId, const QTransform& pixelsToShape = {},
                            bool repeat = false, bool smoothed = true);
};

// A stroke. Round caps and joins fit every DefineShape; other caps or joins need
// DefineShape4, which the writer then chooses.
struct LineStyle {
    enum class Cap { Round = 0, None = 1, Square = 2 };
    enum class Join { Round = 0, Bevel = 1, Miter = 2 };
    double width = 1;  // pixels
    QColor color = Qt::black;
    Cap cap = Cap::Round;
    Join join = Join::Round;
    double miterLimit = 3;
};

// One region of a shape: a path with its fill and optional stroke. The regions of one
// shape should not overlap (the odd-even rule applies across the whole shape).
struct ShapeLayer {
    QPainterPath path;
    std::optional<FillStyle> fill;
    std::optional<LineStyle> line;
};

// A colour transform with alpha: each channel becomes channel * mult + add.
struct ColorTransform {
    double redMult = 1, greenMult = 1, blueMult = 1, alphaMult = 1;
    int redAdd = 0, greenAdd = 0, blueAdd = 0, alphaAdd = 0;

    static ColorTransform alpha(double alphaMult);
    static ColorTransform tint(const QColor& add, double mult = 1);
};

// Clip event bits of PlaceObject2 clip actions (the 32-bit form of SWF 6 and later).
namespace clip_event {
inline constexpr uint32_t kLoad = 1u << 0, kEnterFrame = 1u << 1, kUnload = 1u << 2, kMouseMove = 1u << 3,
                          kMouseDown = 1u << 4, kMouseUp = 1u << 5, kKeyDown = 1u << 6, kKeyUp = 1u << 7,
                          kData = 1u << 8, kInitialize = 1u << 9, kPress = 1u << 10, kRelease = 1u << 11,
                          kReleaseOutside = 1u << 12, kRollOver = 1u << 13, kRollOut = 1u << 14,
                          kDragOver = 1u << 15, kDragOut = 1u << 16, kKeyPress = 1u << 17, kConstruct = 1u << 18;
}

// onClipEvent(...) code of a placed sprite.
struct ClipEventActions {
    uint32_t events = 0;  // clip_event bits
    Actions actions;
    uint8_t keyCode = 0;  // with kKeyPress
};

// What to change when placing or modifying a character on a timeline.
struct Placement {
    std::optional<QTransform> transform;  // pixel units; translation in pixels
    std::optional<ColorTransform> colorTransform;
    std::optional<uint16_t> ratio;        // morph shapes: 0 = start, 65535 = end
    QString name;
    std::optional<uint16_t> clipDepth;
    // Any of these makes the placement a PlaceObject3.
    std::optional<std::vector<swf::Filter>> filters;
    std::optional<swf::BlendMode> blendMode;
    std::optional<bool> cacheAsBitmap;
    std::optional<QColor> opaqueBackground;
    // onClipEvent handlers (PlaceObject2 clip actions, written in the SWF 6 form).
    std::vector<ClipEventActions> clipActions;

    static Placement at(const QTransform& transform);
    static Placement tinted(const ColorTransform& colorTransform);
};

// How sound data is stored: the codec's number, the rate (5512, 11025, 22050 or 44100),
// 8 or 16 bits and channels, as DefineSound and SoundStreamHead write them.
struct SoundFormat {
    enum Codec : uint8_t { PcmNativeEndian = 0, Adpcm = 1, Mp3 = 2, PcmLittleEndian = 3, Nellymoser = 6 };
    Codec codec = PcmLittleEndian;
    int rate = 44100;
    bool sixteenBit = true;
    bool stereo = true;
};

// The start info of a sound (SOUNDINFO); positions in 44,100 Hz samples.
struct SoundStart {
    struct EnvelopePoint {
        uint32_t position = 0;
        uint16_t left = 32768, right = 32768;
    };
    bool syncStop = false;
    bool noMultiple = false;
    std::optional<uint32_t> inPoint, outPoint;
    std::optional<uint16_t> loops;
    std::vector<EnvelopePoint> envelope;
};

// The control tags of one timeline: the root's or a sprite's.
class Timeline {
public:
    Timeline() = default;

    // PlaceObject2 with a new character at `depth` (PlaceObject3 when the placement has
    // filters, a blend mode, bitmap caching or an opaque background).
    void place(uint16_t depth, uint16_t characterId, const Placement& placement = {});
    // PlaceObject2 that modifies what stands at `depth` (matrix, colours, ratio).
    void modify(uint16_t depth, const Placement& placement);
    // PlaceObject2 that replaces the character at `depth`.
    void replace(uint16_t depth, uint16_t characterId, const Placement& placement = {});
    void remove(uint16_t depth);  // RemoveObject2
    void frameLabel(const QString& label);

    // Frame actions (DoAction): each call writes one action block.
    void stop();
    void play();
    void gotoFrame(uint16_t frameIndexFromZero, bool andPlay = false);
    void gotoLabel(const QString& label, bool andPlay = false);
    // Any script: one DoAction block.
    void doAction(const Actions& actions);

    // Sound: StartSound (by id) or StartSound2 (by exported class name); the stream of
    // this timeline: SoundStreamHead2 once, then one SoundStreamBlock per frame.
    void startSound(uint16_t soundId, const SoundStart& start = {});
    void startSound2(const QString& className, const SoundStart& start = {});
    void soundStreamHead(const SoundFormat& format, uint16_t samplesPerBlock, int16_t latencySeek = 0);
    // `data` is the block as stored: for MP3, sample count and seek samples come first.
    void soundStreamBlock(const QByteArray& data);
    // VideoFrame: the data of frame `frame` of the video character `streamId`.
    void videoFrame(uint16_t streamId, uint16_t frame, const QByteArray& data);

    void showFrame();
    uint16_t frameCount() const { return frames_; }

    // The control tags written so far, with an End tag appended.
    QByteArray controlTags() const;

protected:
    void appendTag(uint16_t code, const QByteArray& body, bool forceLong = false);
    QByteArray tags_;
    uint16_t frames_ = 0;

private:
    void placeObject(uint16_t depth, std::optional<uint16_t> characterId, bool move,
                     const Placement& placement);
};

// A button state record of DefineButton2.
struct ButtonRecord {
    enum State : uint8_t { Up = 1, Over = 2, Down = 4, HitTest = 8 };
    uint8_t states = Up;
    uint16_t characterId = 0;
    uint16_t depth = 1;
    QTransform transform;
    std::optional<ColorTransform> colorTransform;
    std::vector<swf::Filter> filters;
    swf::BlendMode blendMode = swf::BlendMode::Normal;
};

// A button action: run on release inside (OverDownToOverUp) unless told otherwise.
struct ButtonAction {
    enum Kind { Stop, Play, GotoFrame, GotoLabel, Script };
    Kind kind = Play;
    uint16_t frame = 0;
    QString label;
    Actions script;  // Script: any code
    uint16_t conditions = 0x0008;  // OverDownToOverUp
};

class MovieWriter : public Timeline {
public:
    // `version` goes into the header; 8 and above get a FileAttributes tag first.
    MovieWriter(QSizeF stagePixels, double frameRate, uint8_t version = 10);

    void setCompressed(bool compressed) { compressed_ = compressed; }  // CWS instead of FWS
    void setBackgroundColor(const QColor& color);

    uint16_t defineShape(const QPainterPath& path, const std::optional<FillStyle>& fill,
                         const std::optional<LineStyle>& line = std::nullopt);
    uint16_t defineShape(const std::vector<ShapeLayer>& layers);

    // A morph between two paths with the same sequence of elements (moves, lines,
    // curves): DefineMorphShape, or DefineMorphShape2 when `version2` is set.
    uint16_t defineMorphShape(const QPainterPath& start, const QPainterPath& end,
                              const QColor& startColor, const QColor& endColor,
                              bool version2 = false);

    uint16_t defineSprite(const Timeline& timeline);
    // DoInitAction: code run once, before the sprite's first placement.
    void doInitAction(uint16_t spriteId, const Actions& actions);
    uint16_t defineButton2(const std::vector<ButtonRecord>& records,
                           const std::vector<ButtonAction>& actions = {},
                           bool trackAsMenu = false);

    // Bitmaps: lossless with or without alpha, or JPEG (quality 0..100).
    uint16_t defineBitsLossless(const QImage& image);   // alpha dropped
    uint16_t defineBitsLossless2(const QImage& image);  // with alpha
    uint16_t defineBitsJpeg2(const QImage& image, int quality = 85);
    // DefineSound: `data` holds the samples as the codec stores them (for MP3 the frames,
    // with `seekSamples` written before them); `sampleCount` is per channel.
    uint16_t defineSound(const SoundFormat& format, uint32_t sampleCount, const QByteArray& data,
                         int16_t seekSamples = 0);
    // ExportAssets: `name` for the character `id` (a sound for attachSound, say).
    void exportAsset(uint16_t id, const QString& name);
    // DefineButtonSound: the sound for each state change of a button (id 0 for none).
    struct ButtonSound {
        uint16_t soundId = 0;
        SoundStart start;
    };
    void defineButtonSound(uint16_t buttonId, const ButtonSound& overToUp, const ButtonSound& upToOver,
                           const ButtonSound& overToDown, const ButtonSound& downToOver);

    // DefineVideoStream: codec 2 Sorenson H.263, 3 Screen Video, 4 VP6, 5 VP6 with alpha,
    // 6 Screen Video 2; frames follow in VideoFrame tags of a timeline.
    uint16_t defineVideoStream(uint16_t frameCount, QSize size, uint8_t codec, uint8_t deblocking = 0,
                               bool smoothing = false);

    // A rectangle of the bitmap's size filled with the bitmap, at the origin.
    uint16_t defineBitmapShape(uint16_t bitmapId, QSize size, bool smoothed = true);

    // DefineFont2 with the outlines of `characters` in `font`, then DefineText lines
    // drawn with it. Returns the font id.
    uint16_t defineFont2(const QFont& font, const QString& characters);
    // Static text with a font from defineFont2: baseline starts at `origin` (pixels).
    uint16_t defineText(uint16_t fontId, const QString& text, double pixelHeight,
                        const QColor& color, QPointF origin);

    // A shape filled with the outline of `text` in `font`; `origin` is the baseline start.
    uint16_t defineTextShape(const QString& text, const QFont& font, QPointF origin,
                             const FillStyle& fill);

    // The complete file. The frame count is the number of showFrame calls.
    QByteArray finish() const;
    bool save(const QString& path) const;

private:
    struct FontData;
    uint16_t nextId() { return nextId_++; }

    QSizeF stage_;
    double frameRate_;
    uint8_t version_;
    bool compressed_ = false;
    uint16_t nextId_ = 1;
    std::vector<FontData> fonts_;

public:
    ~MovieWriter();
    MovieWriter(const MovieWriter&) = delete;
    MovieWriter& operator=(const MovieWriter&) = delete;
};

// Cubic-to-quadratic conversion used for shapes, exposed for tests: the quadratic
// pieces (control, end) that follow the cubic p0..p3 within `tolerance`.
std::vector<std::pair<QPointF, QPointF>> cubicToQuadratics(QPointF p0, QPointF c1, QPointF c2,
                                                           QPointF p3, double tolerance);

}  // namespace swf::writer
