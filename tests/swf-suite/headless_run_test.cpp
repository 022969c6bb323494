// The headless runner: reading the suite's input scripts and replaying them between frames.
#include <gtest/gtest.h>

#include "headless_run.h"
#include "swf/swf.h"
#include "swf/writer/swf_writer.h"

namespace {

// A button record drawn in the up state and used as the hit area.
swf::writer::ButtonRecord hitAndUp(uint16_t shape) {
    swf::writer::ButtonRecord record;
    record.states = swf::writer::ButtonRecord::Up | swf::writer::ButtonRecord::HitTest;
    record.characterId = shape;
    return record;
}

using swfrun::InputEvent;

TEST(InputScript, EventsKeysAndWaits) {
    const QByteArray json = R"([
        {"type": "MouseMove", "pos": [10, 20.5]},
        {"type": "MouseDown", "pos": [10, 20], "btn": "Left"},
        {"type": "MouseDown", "pos": [1, 2], "btn": "Right"},
        {"type": "Wait"},
        {"type": "KeyDown", "key": "ArrowLeft"},
        {"type": "KeyDown", "key": {"Char": "q"}},
        {"type": "KeyUp", "key": {"Numpad": "1"}},
        {"type": "KeyDown", "key": "F3"},
        {"type": "TextInput", "codepoint": "\u00e9"},
        {"type": "MouseWheel", "lines": 3},
        {"type": "ImePreedit", "text": "q", "cursor": [1, 1]}
    ])";
    std::vector<InputEvent> events;
    QString error;
    ASSERT_TRUE(swfrun::parseInputEvents(json, events, error)) << error.toStdString();
    ASSERT_EQ(events.size(), 11u);
    EXPECT_EQ(events[0].kind, InputEvent::Kind::MouseMove);
    EXPECT_EQ(events[0].pos, QPointF(10, 20.5));
    EXPECT_EQ(events[1].kind, InputEvent::Kind::MouseDown);
    EXPECT_EQ(events[2].kind, InputEvent::Kind::RightButton);  // only the left button presses
    EXPECT_EQ(events[1].keyCode, 1);
    EXPECT_EQ(events[2].keyCode, 2);  // as Key.isDown numbers it
    EXPECT_EQ(events[3].kind, InputEvent::Kind::Wait);
    EXPECT_EQ(events[4].keyCode, 37);
    EXPECT_EQ(events[5].keyCode, 'Q');
    EXPECT_EQ(events[5].character, u'q');
    EXPECT_EQ(events[6].kind, InputEvent::Kind::KeyUp);
    EXPECT_EQ(events[6].keyCode, 97);
    EXPECT_EQ(events[7].keyCode, 114);
    EXPECT_EQ(events[8].character, u'\u00e9');
    EXPECT_EQ(events[9].kind, InputEvent::Kind::MouseWheel);
    EXPECT_EQ(events[9].keyCode, 3);
    EXPECT_EQ(events[10].kind, InputEvent::Kind::ImePreedit);
    EXPECT_EQ(events[10].text, QStringLiteral("q"));

    EXPECT_FALSE(swfrun::parseInputEvents("{\"type\": \"Wait\"}", events, error));
}

TEST(InputScript, TextEditingControlsAndClipboard) {
    const QByteArray json = R"([
        {"type": "SetClipboardText", "text": "pasted"},
        {"type": "TextControl", "code": "Paste"},
        {"type": "TextInput", "codepoint": "\ud801\udc37"},
        {"type": "MouseUp", "pos": [3, 4], "btn": "Middle"}
    ])";
    std::vector<InputEvent> events;
    QString error;
    ASSERT_TRUE(swfrun::parseInputEvents(json, events, error)) << error.toStdString();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].kind, InputEvent::Kind::SetClipboard);
    EXPECT_EQ(events[0].text, QStringLiteral("pasted"));
    EXPECT_EQ(events[1].kind, InputEvent::Kind::TextControl);
    EXPECT_EQ(events[1].text, QStringLiteral("Paste"));
    EXPECT_EQ(events[2].text.size(), 2) << "a character beyond 16 bits stays whole";
    EXPECT_EQ(events[3].kind, InputEvent::Kind::MiddleButton);
    EXPECT_FALSE(swfrun::parseInputEvents("[{", events, error));
}

// A button that goes to frame 2 on release; frame 2 shows a marker. Each tick runs its
// frame, then its input up to the next Wait, then takes the picture: the click comes in
// the second tick, after that tick's frame, and the third picture shows the marker.
TEST(HeadlessRun, EachTickRunsItsFrameThenItsInputThenTheSnapshot) {
    swf::writer::MovieWriter w(QSizeF(100, 100), 24);
    w.setBackgroundColor(Qt::white);
    QPainterPath square, marker;
    square.addRect(10, 10, 30, 30);
    marker.addRect(60, 60, 30, 30);
    uint16_t shape = w.defineShape(square, swf::writer::FillStyle::solid(Qt::red));
    uint16_t markerShape = w.defineShape(marker, swf::writer::FillStyle::solid(Qt::blue));
    swf::writer::ButtonAction toFrame2;
    toFrame2.kind = swf::writer::ButtonAction::GotoFrame;
    toFrame2.frame = 1;
    w.place(1, w.defineButton2({hitAndUp(shape)}, {toFrame2}));
    w.stop();
    w.showFrame();
    w.place(2, markerShape);
    w.stop();
    w.showFrame();
    const QByteArray file = w.finish();
    auto movie = swf::parseMovie(std::span(reinterpret_cast<const uint8_t*>(file.constData()), size_t(file.size())));

    swfrun::RunOptions options;
    options.frames = 3;
    options.snapshotFrames = {1, 3};
    const QByteArray json = R"([{"type": "Wait"},
        {"type": "MouseMove", "pos": [20, 20]}, {"type": "MouseDown", "pos": [20, 20]},
        {"type": "MouseUp", "pos": [20, 20]}, {"type": "Wait"}, {"type": "Wait"}])";
    QString error;
    ASSERT_TRUE(swfrun::parseInputEvents(json, options.input, error));
    std::map<int, QImage> pictures;
    swfrun::RunCallbacks callbacks;
    callbacks.snapshot = [&](int frame, const QImage& image) { pictures[frame] = image; };
    swfrun::runMovie(movie, options, callbacks);
    ASSERT_EQ(pictures.size(), 2u);
    EXPECT_EQ(pictures[1].size(), QSize(100, 100));
    EXPECT_EQ(pictures[1].pixelColor(70, 70), QColor(Qt::white));
    EXPECT_EQ(pictures[1].pixelColor(20, 20), QColor(Qt::red));
    EXPECT_EQ(pictures[3].pixelColor(70, 70), QColor(Qt::blue));
}

}  // namespace
