#include "headless_run.h"

#include "swf/media/mixer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

#include "swf/player.h"

namespace swfrun {
namespace {

// Key codes as Key.getCode() reports them, for the names the input scripts use.
int namedKeyCode(const QString& name) {
    static const std::map<QString, int> codes = {
        {QStringLiteral("Backspace"), 8},   {QStringLiteral("Tab"), 9},        {QStringLiteral("Enter"), 13},
        {QStringLiteral("Shift"), 16},      {QStringLiteral("Control"), 17},   {QStringLiteral("Alt"), 18},
        {QStringLiteral("CapsLock"), 20},   {QStringLiteral("Escape"), 27},    {QStringLiteral("Space"), 32},
        {QStringLiteral("PageUp"), 33},     {QStringLiteral("PageDown"), 34},  {QStringLiteral("End"), 35},
        {QStringLiteral("Home"), 36},       {QStringLiteral("ArrowLeft"), 37}, {QStringLiteral("ArrowUp"), 38},
        {QStringLiteral("ArrowRight"), 39}, {QStringLiteral("ArrowDown"), 40}, {QStringLiteral("Insert"), 45},
        {QStringLiteral("Delete"), 46},
    };
    auto it = codes.find(name);
    if (it != codes.end()) return it->second;
    if (name.size() >= 2 && name[0] == QLatin1Char('F')) {
        bool ok = false;
        int n = name.mid(1).toInt(&ok);
        if (ok && n >= 1 && n <= 15) return 111 + n;
    }
    return 0;
}

// A key given as a name ("Tab") or as {"Char": "a"} / {"Numpad": "1"}.
void readKey(const QJsonValue& key, InputEvent& event) {
    if (key.isString()) {
        event.keyCode = namedKeyCode(key.toString());
        if (event.keyCode == 32) event.character = u' ';
        else if (event.keyCode == 13) event.character = u'\r';
        else if (event.keyCode == 9) event.character = u'\t';
        return;
    }
    const QJsonObject object = key.toObject();
    if (QString c = object.value(QStringLiteral("Char")).toString(); !c.isEmpty()) {
        event.character = c[0].unicode();
        QChar upper = c[0].toUpper();
        event.keyCode = upper.unicode() < 128 ? upper.unicode() : 0;
        // Punctuation keys carry the US layout's codes.
        static const std::map<char16_t, int> punctuation = {
            {u';', 186}, {u'=', 187}, {u',', 188}, {u'-', 189}, {u'.', 190}, {u'/', 191},
            {u'`', 192}, {u'[', 219}, {u'\\', 220}, {u']', 221}, {u'\'', 222}};
        if (auto it = punctuation.find(event.character); it != punctuation.end()) event.keyCode = it->second;
    } else if (QString n = object.value(QStringLiteral("Numpad")).toString(); !n.isEmpty()) {
        event.character = n[0].unicode();
        if (n[0].isDigit()) event.keyCode = 96 + n[0].digitValue();
    }
}

QPointF readPos(const QJsonObject& object) {
    const QJsonArray pos = object.value(QStringLiteral("pos")).toArray();
    return pos.size() == 2 ? QPointF(pos[0].toDouble(), pos[1].toDouble()) : QPointF();
}

}  // namespace

bool parseInputEvents(const QByteArray& json, std::vector<InputEvent>& events, QString& error) {
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isArray()) {
        error = parseError.error != QJsonParseError::NoError ? parseError.errorString()
                                                             : QStringLiteral("not a list of events");
        return false;
    }
    events.clear();
    for (const QJsonValue& value : doc.array()) {
        const QJsonObject object = value.toObject();
        const QString type = object.value(QStringLiteral("type")).toString();
        InputEvent event;
        if (type == QLatin1String("Wait")) {
            event.kind = InputEvent::Kind::Wait;
        } else if (type == QLatin1String("MouseMove") || type == QLatin1String("MouseDown") ||
                   type == QLatin1String("MouseUp")) {
            // Only the left button presses; the others move the mouse (and may hide the
            // focus rectangle).
            const QString button = object.value(QStringLiteral("btn")).toString(QStringLiteral("Left"));
            if (type == QLatin1String("MouseMove")) event.kind = InputEvent::Kind::MouseMove;
            else if (button == QLatin1String("Right")) event.kind = InputEvent::Kind::RightButton;
            else if (button != QLatin1String("Left")) event.kind = InputEvent::Kind::MiddleButton;
            else event.kind = type == QLatin1String("MouseDown") ? InputEvent::Kind::MouseDown : InputEvent::Kind::MouseUp;
            // Scripts see every button in Key.isDown (1 left, 2 right, 4 middle).
            event.keyCode = button == QLatin1String("Right") ? 2 : button == QLatin1String("Left") ? 1 : 4;
            event.pressed = type == QLatin1String("MouseDown");
            event.pos = readPos(object);
        } else if (type == QLatin1String("MouseWheel")) {
            // At the mouse's last position.
            event.kind = InputEvent::Kind::MouseWheel;
            event.keyCode = object.value(QStringLiteral("lines")).toInt();
        } else if (type == QLatin1String("KeyDown") || type == QLatin1String("KeyUp")) {
            event.kind = type == QLatin1String("KeyDown") ? InputEvent::Kind::KeyDown : InputEvent::Kind::KeyUp;
            readKey(object.value(QStringLiteral("key")), event);
        } else if (type == QLatin1String("TextInput")) {
            event.kind = InputEvent::Kind::TextInput;
            const QString text = object.value(QStringLiteral("codepoint")).toString();
            event.character = text.isEmpty() ? 0 : text[0].unicode();
            event.text = text;
        } else if (type == QLatin1String("TextControl")) {
            event.kind = InputEvent::Kind::TextControl;
            event.text = object.value(QStringLiteral("code")).toString();
        } else if (type == QLatin1String("ImePreedit")) {
            event.kind = InputEvent::Kind::ImePreedit;
            event.text = object.value(QStringLiteral("text")).toString();
        } else if (type == QLatin1String("SetClipboardText")) {
            event.kind = InputEvent::Kind::SetClipboard;
            event.text = object.value(QStringLiteral("text")).toString();
        }
        events.push_back(event);
    }
    return true;
}

namespace {

// An editing control of the input script ("Backspace", "Paste", ...) on the focused field.
void textControl(swf::Player& player, const QString& code, const QString& clipboard) {
    using Key = swf::Player::EditKey;
    static const std::map<QString, Key> keys = {
        {QStringLiteral("Enter"), Key::Enter},         {QStringLiteral("Backspace"), Key::Backspace},
        {QStringLiteral("Delete"), Key::Delete},       {QStringLiteral("MoveLeft"), Key::Left},
        {QStringLiteral("MoveRight"), Key::Right},     {QStringLiteral("MoveLeftDocument"), Key::Home},
        {QStringLiteral("MoveRightDocument"), Key::End}, {QStringLiteral("SelectAll"), Key::SelectAll}};
    if (code == QLatin1String("Paste")) player.paste(clipboard);
    else if (auto it = keys.find(code); it != keys.end()) player.editKey(it->second);
}

}  // namespace

void runMovie(std::shared_ptr<const swf::Movie> movie, const RunOptions& options, const RunCallbacks& callbacks) {
    const QSize stageSize = movie->stageSizePixels();
    // Headless: no sound device; the mix is pulled frame by frame instead.
    swf::media::Mixer::instance().setOffline(true);
    swf::media::AudioCapture capture(options.tickMs > 0 ? 1000.0 / options.tickMs : movie->frameRate);
    auto giveAudio = [&] {
        if (callbacks.audio) callbacks.audio(capture.frames());
    };
    swf::Player player(movie, nullptr, swf::Player::Start::Later);
    if (!options.movieFolder.empty()) player.setMovieFolder(swf::MovieFolder(options.movieFolder));
    player.setViewSize(options.viewport.isEmpty() ? stageSize : options.viewport);
    player.setQuality(options.quality);
    if (options.tickMs > 0) player.setFrameTime(options.tickMs);
    if (callbacks.trace) player.setTraceHandler(callbacks.trace);
    if (callbacks.trace && options.logWebRequests)
        player.setWebRequestObserver([&](const swf::Player::WebRequest& request) {
            callbacks.trace(QStringLiteral("Navigator::navigate_to_url:"));
            callbacks.trace(QStringLiteral("  URL: ") + request.url);
            callbacks.trace(QStringLiteral("  Target: ") + request.window);
            if (request.method.isEmpty()) return;
            callbacks.trace(QStringLiteral("  Method: ") + request.method);
            for (const auto& [name, value] : request.variables)
                callbacks.trace(QStringLiteral("  Param: ") + name + QLatin1Char('=') + value);
        });

    size_t next = 0;
    QPointF mouse;      // where the last mouse event left the pointer
    QString clipboard;  // the run's own: SetClipboardText fills it, Paste reads it
    auto replayUntilWait = [&] {
        for (; next < options.input.size(); ++next) {
            const InputEvent& e = options.input[next];
            switch (e.kind) {
                case InputEvent::Kind::Wait: ++next; return;
                case InputEvent::Kind::MouseMove: player.mouseMove(mouse = e.pos); break;
                case InputEvent::Kind::MouseDown: player.mousePress(mouse = e.pos); break;
                case InputEvent::Kind::MouseUp: player.mouseRelease(mouse = e.pos); break;
                case InputEvent::Kind::MouseWheel: player.mouseWheel(mouse, e.keyCode); break;
                case InputEvent::Kind::RightButton:
                case InputEvent::Kind::MiddleButton:
                    mouse = e.pos;
                    if (e.keyCode > 1) player.setMouseButtonDown(e.keyCode, e.pressed);
                    player.otherMouseButton(e.pos, e.kind == InputEvent::Kind::RightButton);
                    break;
                case InputEvent::Kind::KeyDown: player.keyDown(e.keyCode, e.character); break;
                case InputEvent::Kind::KeyUp: player.keyUp(e.keyCode, e.character); break;
                case InputEvent::Kind::TextInput: player.typeText(e.text); break;
                case InputEvent::Kind::SetClipboard: clipboard = e.text; break;
                case InputEvent::Kind::ImePreedit: player.imePreedit(e.text); break;
                case InputEvent::Kind::TextControl: textControl(player, e.text, clipboard); break;
                case InputEvent::Kind::Ignored: break;
            }
        }
    };
    // As the suite's runner does it: each tick runs a frame, then the input up to the next
    // Wait, then the picture is taken.
    for (int frame = 1; frame <= options.frames; ++frame) {
        player.advance();
        replayUntilWait();
        capture.captureFrame();
        if (player.quitRequested()) {
            // fscommand("quit") ends the run after this frame; a picture asked for the
            // last frame is still taken.
            if (callbacks.snapshot)
                for (int f : options.snapshotFrames)
                    if (f >= frame) callbacks.snapshot(f, player.renderImage(options.size.isEmpty() ? stageSize : options.size));
            giveAudio();
            return;
        }
        if (callbacks.snapshot && std::find(options.snapshotFrames.begin(), options.snapshotFrames.end(), frame) !=
                                      options.snapshotFrames.end())
            callbacks.snapshot(frame, player.renderImage(options.size.isEmpty() ? stageSize : options.size));
    }
    giveAudio();
}

}  // namespace swfrun
