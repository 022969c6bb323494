#pragma once
// Running a movie without a window: the input-event script of the conformance suite
// (input.json), and a loop that runs frames, replays the events between frames, collects
// trace lines and takes pictures of the stage after chosen frames.
#include <QByteArray>
#include <QImage>
#include <QPointF>
#include <QSize>
#include <QString>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "swf/movie.h"
#include "swf/player.h"

namespace swfrun {

struct InputEvent {
    enum class Kind {
        MouseMove, MouseDown, MouseUp, RightButton, MiddleButton, MouseWheel, KeyDown, KeyUp, TextInput, TextControl,
        ImePreedit, SetClipboard, Wait, Ignored
    };
    Kind kind = Kind::Ignored;
    QPointF pos;              // mouse events, stage pixels
    int keyCode = 0;          // key events, as scripts number keys; mouse events: 1 left, 2 right, 4 middle;
                              // the wheel: lines turned, positive away from the user
    bool pressed = false;     // mouse buttons: down rather than up
    char16_t character = 0;   // what the key or the text input types
    QString text;             // typed text, clipboard text, or the editing control's name
};

// Reads an input script: a JSON array of {"type": ...} objects. Events the player has no
// use for come back as Ignored so that the frames stay counted
// right. Returns false with `error` set when the text is not such an array.
bool parseInputEvents(const QByteArray& json, std::vector<InputEvent>& events, QString& error);

struct RunOptions {
    int frames = 1;                 // frame 1 is the first one shown
    double tickMs = 0;              // time per frame; 0: the movie's frame interval
    QSize size;                     // stage picture size; empty: the stage's own
    // The window the movie plays in, in its pixels (input positions are given in them); the
    // stage is fitted into it. Empty: the stage's own size.
    QSize viewport;
    // Write every web address a script asks to open into the trace, as the suite's runner
    // logs them ("Navigator::navigate_to_url:" and the request's fields).
    bool logWebRequests = false;
    swf::Quality quality = swf::Quality::High;
    std::vector<InputEvent> input;  // each Wait ends one frame
    std::vector<int> snapshotFrames;
    std::filesystem::path movieFolder;  // what the movie may load from; empty: nothing
};

struct RunCallbacks {
    std::function<void(const QString&)> trace;
    std::function<void(int frame, const QImage&)> snapshot;
    // The mixed sound over the frames run (44,100 Hz stereo 16-bit), given at the end.
    std::function<void(const std::vector<int16_t>&)> audio;
};

// Runs `options.frames` frames. Events before the n-th Wait happen before frame n+1.
void runMovie(std::shared_ptr<const swf::Movie> movie, const RunOptions& options, const RunCallbacks& callbacks);

}  // namespace swfrun
