#pragma once
// Player: plays one parsed movie. It keeps the display list of the root timeline and of
// every sprite and button, runs the timeline actions, follows the mouse over buttons and
// draws the current frame with QPainter. Frames advance on the shared FrameClock while
// the player is active and something can still change.
#include <QImage>
#include <QMargins>
#include <QObject>
#include <QPainter>
#include <QPointF>
#include <QSize>
#include <QTransform>
#include <QUrl>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "swf/movie.h"
#include "swf/movie_folder.h"

namespace swf {

namespace avm1 {
class Engine;
}
namespace media {
class MovieSound;
}

enum class Quality { Low, Medium, High };

struct Instance;
struct InstanceRegistry;
struct TimelineState;
class ScriptHost;

class Player : public QObject {
    Q_OBJECT
public:
    // Start::Now runs the first frame at once; Start::Later leaves it to the first advance(),
    // so that input given before it (a headless run's script) comes first.
    enum class Start { Now, Later };
    explicit Player(std::shared_ptr<const Movie> movie, QObject* parent = nullptr, Start start = Start::Now);
    ~Player() override;

    const Movie& movie() const { return *movie_; }

    // Playback of the root timeline. Frames count from 1.
    int currentFrame() const;
    int frameCount() const;
    bool isPlaying() const;
    void play();
    void stop();
    bool loops() const { return loop_; }
    void setLoop(bool loop);
    void gotoFrame(int frame);  // keeps the playing state
    void rewind();              // to frame 1, stopped
    void forward();             // one frame on, stopped
    void back();                // one frame back, stopped

    // One tick of the frame clock: every playing timeline moves one frame on.
    void advance();

    // An inactive player (a hidden control) leaves the clock and neither advances nor
    // asks for repaints; activating it again resumes where it stopped.
    void setActive(bool active);
    bool isActive() const { return active_; }
    // True while the player is registered with the frame clock.
    bool isScheduled() const { return scheduled_; }

    // The view: the stage fitted into the view (ShowAll), then the zoom.
    Quality quality() const { return quality_; }
    void setQuality(Quality q);
    void zoomIn(QPointF around);
    void zoomOut();
    void showAll();
    double zoom() const;
    void setViewSize(QSize size);
    QSize viewSize() const { return viewSize_; }
    QTransform viewTransform() const;  // twips -> view pixels

    // Draws the current frame into a view of viewSize(), background included.
    void render(QPainter& painter) const;
    QImage renderImage(QSize size);

    // The mouse, in view pixels.
    void mouseMove(QPointF pos);
    void mousePress(QPointF pos);
    void mouseRelease(QPointF pos);
    // The right or middle button: scripts see no press, but older movies hide the focus
    // rectangle on the right button as on any mouse use.
    void otherMouseButton(QPointF pos, bool right);
    void mouseLeave();
    // The wheel turned by `lines` (positive away from the user) with the mouse at pos: Mouse
    // listeners hear it and the text field under the mouse scrolls (text_input.cpp).
    void mouseWheel(QPointF pos, int lines);
    // Key.isDown(1), (2) and (4) for the left, right and middle buttons: the left one follows
    // mousePress/mouseRelease, the others are told here.
    void setMouseButtonDown(int keyCode, bool down);
    // Keys: `code` as scripts see it (Key.getCode: 37 left arrow, 65 'A'), `character` what
    // the key types (0 for none).
    void keyDown(int code, char16_t character);
    void keyUp(int code, char16_t character);
    // Text typed into the focused input field, and the editing keys it takes.
    void textInput(char16_t character);
    void typeText(const QString& text);
    enum class EditKey : uint8_t { Enter, Backspace, Delete, Left, Right, Home, End, SelectAll };
    void editKey(EditKey key);
    void paste(const QString& text);
    // Text an input method is composing: the focused input field shows it at the caret, in
    // place of what it composed before, and takes it for good when it loses the focus.
    void imePreedit(const QString& text);
    // True once a script asked the host to quit (fscommand "quit"); only runners use it.
    bool quitRequested() const { return quitRequested_; }

    // Whether the movie's scripts run (they do unless the engine stopped them).
    bool scriptsRunning() const;
    // Wall time one script run may take before the movie's scripts are stopped (15 s unless
    // changed; fuzzing sets less). Applies to players created afterwards.
    static void setScriptTimeBudget(double seconds);
    // Lines the movie's scripts trace(); without a handler they go nowhere.
    void setTraceHandler(std::function<void(const QString&)> handler) { traceHandler_ = std::move(handler); }
    // Every web address a script asked to open (getURL), opened or not: only a click opens
    // one (urlRequested); a headless run may want to see them all.
    struct WebRequest {
        QString url;
        QString window;
        QString method;  // "", "GET" or "POST"
        std::vector<std::pair<QString, QString>> variables;
    };
    void setWebRequestObserver(std::function<void(const WebRequest&)> observer) {
        webRequestObserver_ = std::move(observer);
    }
    // Movie time in milliseconds: each advance() moves it on by one frame interval, unless
    // setFrameTime() gave another step (the headless runner's tick).
    double movieTime() const { return movieTimeMs_; }
    void setFrameTime(double ms) { frameTimeMs_ = ms; }
    double frameInterval() const;

    // True when the mouse is over a button (for the pointer shape).
    bool overButton() const { return hoverSerial_ != 0; }

    // A key that is equal for two moments exactly when they draw the same picture (the
    // display tree with its placements and frames, the view and the quality). The control
    // keeps recent pictures by it, so a looping movie draws each frame once.
    QByteArray pictureKey() const;

    // Frames advanced since load with a change to draw; tests use it to see repaint work.
    int changedFrames() const { return changedFrames_; }

    // The sound side of the script Sound object: start an exported sound (by its linkage
    // name) through sounds().start() with a completion callback, stop it, ask its position
    // and duration, and set the volume and pan of a sound or of the whole movie.
    media::MovieSound& sounds() { return *sound_; }
    // An exported sound: its definition and character id, or null when the name is not one.
    const media::SoundDef* exportedSound(const QString& name, uint16_t* id = nullptr) const;

    // The folder whose files the movie's scripts may load (a sound, a picture); without
    // one they load nothing.
    void setMovieFolder(MovieFolder folder) { folder_ = std::move(folder); }
    const MovieFolder& movieFolder() const { return folder_; }

signals:
    // The picture changed; the view should repaint.
    void needsRepaint();
    // A script asked to open a web address while handling the user's click.
    void urlRequested(const QUrl& url);

private:
    friend struct Instance;
    friend class ScriptHost;
    friend struct HostAccess;
    using DisplayList = std::map<int, std::unique_ptr<Instance>>;

    // Scripting (script_host.cpp).
    struct QueuedScript {
        uint64_t target = 0;                      // display id the block runs on
        ActionCode code;                          // bytes to run, or
        const char* handler = nullptr;            // a handler to call by name
        bool evenIfRemoved = false;               // unload runs after the clip left
        bool construct = false;                   // or the registered class's constructor
    };
    void queueScript(QueuedScript script, bool early = false);
    void queueConstruct(QueuedScript script);
    void queueClipEvent(const Instance& inst, uint32_t event, const char* handler, bool early = false);
    void queueFrameScripts(const std::shared_ptr<TimelineState>& tl, int frame);
    void queueInitAction(const std::shared_ptr<TimelineState>& tl, int frame, const InitActionCommand& init);
    void markInitActionsRun(const std::shared_ptr<TimelineState>& tl, int frame);
    void startScripting();
    void runScripts();
    void advanceScripted();
    // A script's attachMovie and the like construct at once; the timeline's clips after the
    // frame's init actions and construct events.
    void placedByTimeline(Instance& inst, bool constructNow = false);
    void removing(Instance& inst);
    void afterScripts();
    void updateBoundTextFields();
    void mouseEventToClips(uint32_t event, const char* handler);
    Instance* instanceById(uint64_t id) const;
    TimelineState* timelineById(uint64_t id) const;
    QPainterPath drawingPathOf(const Instance& inst) const;
    bool hitTestInstance(const Instance& inst, QPointF local) const;  // twips, the instance's space
    bool hitTestList(const DisplayList& list, QPointF local) const;
    void dragTo();  // moves the dragged clip to the mouse
    void trackMouse(QPointF viewPos, bool moved);
    void hover(QPointF viewPos);  // button states and roll events for the mouse at viewPos
    bool isMouseTarget(const Instance& inst) const;
    std::unique_ptr<Instance> createInstance(uint16_t id, int nesting);
    void runFrame(const std::shared_ptr<TimelineState>& tl, int frame, bool actions, int nesting);
    void gotoTimelineFrame(const std::shared_ptr<TimelineState>& tl, int frame, int nesting, bool frameScripts = true);
    void applyPlace(const std::shared_ptr<TimelineState>& tl, const PlaceCommand& cmd, int nesting);
    void nextTimelineFrame(const std::shared_ptr<TimelineState>& tl, bool isRoot, int nesting);
    void tickList(DisplayList& list, int nesting);
    void runQueuedActions();
    void runActions(const std::shared_ptr<TimelineState>& target, const ActionList& actions);
    void setButtonState(Instance& button, int state, int nesting);
    bool anythingPlaying() const;
    void afterChange();
    void updateSchedule();
    // Sound and video (player_media.cpp).
    void frameSounds(const std::shared_ptr<TimelineState>& tl, int frame);
    void buttonSound(const Instance& button, int oldState, int newState);
    void prefetchSounds();
    void drawVideo(QPainter& p, const Instance& inst, const media::VideoStreamDef& video, const QTransform& t,
                   const ColorTransform& cx) const;

    // Keyboard focus, tab order and the focus rectangle (focus.cpp).
    enum class FocusHighlight : uint8_t { Off, Hidden, Shown };
    bool isButtonMode(const Instance& inst) const;
    bool isFocusable(const Instance& inst) const;  // Selection.setFocus may give it the focus
    bool isTabbable(const Instance& inst) const;
    void collectTabbable(const DisplayList& list, std::vector<Instance*>& out, int nesting) const;
    std::vector<Instance*> tabOrder() const;
    QRectF highlightBounds(const Instance& inst) const;  // stage twips
    uint64_t focusedObject() const;
    void rollOverFocus(uint64_t serial);
    void editFocusedField(const QString& typed, std::optional<EditKey> key);  // text_input.cpp
    // A field bound to a variable: take the variable's value now (before a script reads the
    // text), or give the variable the field's text (after a script set it).
    void pullBoundText(Instance& inst);
    void pushBoundText(Instance& inst);
    void changeFocus(uint64_t serial, bool byKeyboard);
    bool focusFromScript(uint64_t serial);
    void cycleFocus(bool reverse);
    void keyToFocused(const char* handler);
    void updateHighlight();
    void resetHighlight();
    Instance* textFieldAt(QPointF viewPos) const;
    void focusOnPress(QPointF viewPos);
    // Selecting with the mouse (text_input.cpp): a press in a selectable field puts the caret
    // under the mouse, dragging selects from there to the mouse.
    int caretUnderMouse(const Instance& field) const;
    void startSelecting(const Instance& field);
    void dragSelect();
    uint64_t selectingSerial_ = 0;
    int selectAnchor_ = 0;
    uint64_t composingSerial_ = 0;  // the field holding input method text, from composeBegin_
    int composeBegin_ = 0, composeLength_ = 0;
    void commitComposition(uint64_t serial);
    void drawFocusHighlight(QPainter& p) const;
    uint64_t focusSerial_ = 0;
    std::optional<int32_t> rootTabIndex_;  // _root.tabIndex: the root takes no focus but keeps it
    bool hoverFromFocus_ = false;          // the focus, not the mouse, chose the hovered object
    FocusHighlight highlight_ = FocusHighlight::Off;
    bool stageFocusRect_ = true;

    // Mouse.
    struct Hit {
        Instance* button = nullptr;
        std::shared_ptr<TimelineState> owner;
    };
    Hit buttonAt(QPointF viewPos) const;
    Hit findButton(uint64_t serial) const;
    void buttonTransition(uint64_t serial, int newState, uint16_t condition);

    // Drawing (render.cpp).
    struct Mask {
        int clipDepth;
        QPainterPath path;  // device coordinates
    };
    void drawList(QPainter& p, const DisplayList& list, const QTransform& t, const ColorTransform& cx, int nesting) const;
    void drawMasked(QPainter& p, const std::vector<const Instance*>& instances, const std::vector<Mask>& masks,
                    const QTransform& t, const ColorTransform& cx, int nesting) const;
    void drawInstance(QPainter& p, const Instance& inst, const QTransform& t, const ColorTransform& cx,
                      int nesting) const;
    void drawContent(QPainter& p, const Instance& inst, const QTransform& t, const ColorTransform& cx,
                     int nesting) const;
    // Filters, blend modes, caching, opaque backgrounds, scroll rectangles (render_effects.cpp).
    void drawWithEffects(QPainter& p, const Instance& inst, QTransform t, const ColorTransform& cx, int nesting) const;
    QRectF deviceBounds(const Instance& inst, const QTransform& t, int nesting) const;
    void drawShape(QPainter& p, const ShapeDef& shape, const QTransform& t, const ColorTransform& cx) const;
    // `selection`: the characters [first, second) shown selected, when the field has the focus.
    void drawEditText(QPainter& p, const EditTextDef& field, const QTransform& t, const ColorTransform& cx,
                      std::pair<int, int> selection = {-1, -1}) const;
    QBrush brushFor(const FillStyle& fill, const ColorTransform& cx, QImage* clippedImage) const;
    QImage bitmapWithTransform(uint16_t id, const ColorTransform& cx) const;
    QImage paddedBitmap(uint16_t id, const ColorTransform& cx, const QImage& image, QMargins& pad) const;
    void clampBitmapFill(const FillStyle& fill, const QPainterPath& path, const QTransform& t, const ColorTransform& cx,
                         const QImage& image, QBrush& brush, QPainterPath& area) const;
    QPainterPath maskOfList(const DisplayList& list, const QTransform& t, int nesting) const;
    QPainterPath maskOfInstance(const Instance& inst, const QTransform& t, int nesting) const;
    // MovieClip.setMask (render_effects.cpp): the live mask of `inst` and the area it covers.
    const Instance* scriptMaskOf(const Instance& inst) const;
    bool isScriptMaskInUse(const Instance& inst) const;
    QPainterPath scriptMaskArea(const Instance& mask) const;

    std::shared_ptr<const Movie> movie_;
    MovieFolder folder_;
    std::unique_ptr<media::MovieSound> sound_;
    std::shared_ptr<TimelineState> root_;
    // The root's own display properties (transform, colour, visibility) as scripts set them
    // on _level0; it holds no character and sits in no list.
    std::unique_ptr<Instance> rootProps_;
    QTransform rootToView() const;  // root twips -> view pixels, through the root's transform
    bool loop_ = true;
    bool active_ = true;
    bool scheduled_ = false;
    bool dirty_ = false;
    int changedFrames_ = 0;
    Quality quality_ = Quality::High;
    QSize viewSize_;
    QTransform zoom_;
    int liveInstances_ = 0;
    int creationsLeft_ = 0;  // per tick, so that self-placing sprites stay cheap
    uint64_t nextSerial_ = 1;
    int unnamedInstances_ = 0;  // "instanceN" names of clips placed without one

    struct QueuedActions {
        std::weak_ptr<TimelineState> target;
        std::shared_ptr<const ActionList> actions;
    };
    std::deque<QueuedActions> actionQueue_;  // without the engine
    std::deque<QueuedScript> earlyScripts_, constructScripts_, scripts_;
    std::unique_ptr<InstanceRegistry> registry_;
    std::unique_ptr<ScriptHost> scriptHost_;
    std::unique_ptr<avm1::Engine> engine_;
    int lastKeyCode_ = 0, lastKeyAscii_ = 0;
    QPointF mouseStage_;  // stage pixels
    std::optional<QPointF> lastMouseView_;
    uint64_t dragSerial_ = 0;
    QPointF dragOffset_;
    bool dragLockCenter_ = false;
    std::optional<QRectF> dragBounds_;

    std::function<void(const QString&)> traceHandler_;
    std::function<void(const WebRequest&)> webRequestObserver_;
    double movieTimeMs_ = 0;
    double frameTimeMs_ = 0;  // 0: the frame interval
    std::vector<int> keysDown_;
    bool started_ = true;
    bool handlingClick_ = false;
    bool quitRequested_ = false;

    uint64_t hoverSerial_ = 0;
    uint64_t pressedSerial_ = 0;
    bool mouseDown_ = false;
    bool pressedInside_ = false;

    mutable int blendGroups_ = 0;  // ancestors being drawn as blend-mode layers
    mutable qint64 liveLayerPixels_ = 0;
    mutable double filterWorkLeft_ = 0;  // refilled for every frame drawn
    mutable std::map<uint16_t, std::pair<ColorTransform, QImage>> tintedBitmaps_;
    // Clipped bitmaps with their edge pixels repeated outward, for fills reaching past them.
    struct PaddedBitmap {
        ColorTransform cx;
        QMargins pad;
        QImage image;
    };
    mutable std::map<uint16_t, PaddedBitmap> paddedBitmaps_;
    QImage canvas_;  // renderImage() draws here
};

}  // namespace swf
