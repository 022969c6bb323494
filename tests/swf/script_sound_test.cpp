// The script Sound object in hand-made movies, heard in the mixed output the headless
// runner writes: when a script-started sound begins, its volume and pan, stop, and
// onSoundComplete.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "media_encode.h"
#include "swf/media/media.h"
#include "swf/swf.h"
#include "swf/writer/swf_writer.h"

namespace {

using swf::writer::Actions;
using swf::writer::MovieWriter;
constexpr int kFps = 10;
constexpr size_t kFrameSamples = 44100 / kFps;

// variable.method(args...) with the result dropped.
void callOn(Actions& a, const char* variable, const char* method, const std::vector<double>& args = {}) {
    for (auto it = args.rbegin(); it != args.rend(); ++it) a.num(*it);
    a.num(double(args.size())).str(variable).getVariable().str(method).callMethod().pop();
}

// variable = new Sound(); variable.attachSound(linkage); on completion it traces `variable done`.
Actions newSound(const char* variable, const char* linkage) {
    Actions a;
    a.str(variable).num(0).str("Sound").newObject().setVariable();
    a.str(linkage).num(1).str(variable).getVariable().str("attachSound").callMethod().pop();
    Actions onComplete;
    onComplete.str(std::string(variable) + " done").trace();
    a.str(variable).getVariable().str("onSoundComplete").function1("", {}, onComplete).setMember();
    return a;
}

struct Heard {
    std::vector<int16_t> mix;
    std::vector<std::pair<int, QString>> traces;  // frame, line
};

Heard playMovie(const QByteArray& file, int frames, const std::filesystem::path& folder = {}) {
    auto& mixer = swf::media::Mixer::instance();
    mixer.setOffline(true);
    Heard out;
    int frame = 1;
    swf::Player player(swf::parseMovie(std::span(reinterpret_cast<const uint8_t*>(file.data()), size_t(file.size()))),
                       nullptr, swf::Player::Start::Later);
    player.setTraceHandler([&](const QString& line) { out.traces.emplace_back(frame, line); });
    if (!folder.empty()) player.setMovieFolder(swf::MovieFolder(folder));
    swf::media::AudioCapture capture(kFps);
    for (; frame <= frames; ++frame) {
        player.advance();
        capture.captureFrame();
    }
    out.mix = capture.frames();
    return out;
}

int16_t left(const Heard& r, size_t frame) { return r.mix.at(frame * 2); }
int16_t right(const Heard& r, size_t frame) { return r.mix.at(frame * 2 + 1); }

TEST(ScriptSound, StartsOnItsFrameWithVolumeAndPanAndReportsTheEnd) {
    MovieWriter w(QSizeF(40, 30), kFps);
    const uint16_t tone = w.defineSound({}, 2000, swf::test::pcmBytes(std::vector<int16_t>(2000 * 2, 8000)));
    w.exportAsset(tone, QStringLiteral("tone"));
    w.doAction(newSound("s", "tone"));
    w.showFrame();
    Actions start;
    callOn(start, "s", "setVolume", {50});
    callOn(start, "s", "setPan", {-100});  // all left
    callOn(start, "s", "start");
    Actions position;
    position.str("s").getVariable().str("position").getMember().trace();
    w.doAction(start);
    w.doAction(position);
    w.showFrame();
    for (int f = 0; f < 3; ++f) w.showFrame();

    const Heard r = playMovie(w.finish(), 5);
    // Frame 1 is silent; the sound starts with frame 2 and lasts its 2000 samples.
    EXPECT_EQ(left(r, 0), 0);
    EXPECT_EQ(left(r, kFrameSamples - 1), 0);
    EXPECT_EQ(left(r, kFrameSamples), 4000);
    EXPECT_EQ(right(r, kFrameSamples), 0);
    EXPECT_EQ(left(r, kFrameSamples + 1999), 4000);
    EXPECT_EQ(left(r, kFrameSamples + 2000), 0);
    ASSERT_EQ(r.traces.size(), 2u);
    EXPECT_EQ(r.traces[0].second, QStringLiteral("0"));  // started, nothing played yet
    EXPECT_EQ(r.traces[1].second, QStringLiteral("s done"));
    EXPECT_EQ(r.traces[1].first, 3);  // heard as time moves on after the sound ran out
}

TEST(ScriptSound, StopEndsTheSoundWithoutCompletionAndLoopsRepeatFromTheOffset) {
    std::vector<int16_t> ramp;
    for (int i = 0; i < 44100; ++i) ramp.insert(ramp.end(), {int16_t(i / 4), int16_t(i / 4)});
    MovieWriter w(QSizeF(40, 30), kFps);
    const uint16_t long_ = w.defineSound({}, 44100, swf::test::pcmBytes(ramp));
    w.exportAsset(long_, QStringLiteral("ramp"));
    w.doAction(newSound("s", "ramp"));
    Actions start;
    callOn(start, "s", "start", {0.5, 2});  // half a second in, twice
    w.doAction(start);
    w.showFrame();
    w.showFrame();
    Actions stop;
    callOn(stop, "s", "stop");
    w.doAction(stop);
    for (int f = 0; f < 3; ++f) w.showFrame();

    const Heard r = playMovie(w.finish(), 5);
    EXPECT_EQ(left(r, 0), 22050 / 4);  // from the offset on
    EXPECT_EQ(left(r, kFrameSamples), (22050 + int(kFrameSamples)) / 4);
    for (size_t i = 2 * kFrameSamples; i < 5 * kFrameSamples; i += 97) ASSERT_EQ(left(r, i), 0) << i;
    EXPECT_TRUE(r.traces.empty());  // stopped: no onSoundComplete

    // The same sound left to play loops back to the offset.
    MovieWriter looped(QSizeF(40, 30), kFps);
    const uint16_t again = looped.defineSound({}, 44100, swf::test::pcmBytes(ramp));
    looped.exportAsset(again, QStringLiteral("ramp"));
    looped.doAction(newSound("s", "ramp"));
    looped.doAction(start);
    for (int f = 0; f < 12; ++f) looped.showFrame();
    const Heard l = playMovie(looped.finish(), 12);
    EXPECT_EQ(left(l, 22050), 22050 / 4);  // the second time round starts at the offset again
    EXPECT_EQ(left(l, 44100), 0);
    ASSERT_EQ(l.traces.size(), 1u);
    EXPECT_EQ(l.traces[0].second, QStringLiteral("s done"));
}

TEST(ScriptSound, ClipTargetKeepsItsOwnVolume) {
    // Two Sounds: one for a clip at 25%, one for the whole movie; each plays the tone.
    MovieWriter w(QSizeF(40, 30), kFps);
    const uint16_t tone = w.defineSound({}, 1000, swf::test::pcmBytes(std::vector<int16_t>(1000 * 2, 8000)));
    w.exportAsset(tone, QStringLiteral("tone"));
    Actions a;
    a.num(1).str("clip").num(2).str("createEmptyMovieClip").callFunction().pop();  // createEmptyMovieClip("clip", 1)
    a.str("quiet").str("clip").getVariable().num(1).str("Sound").newObject().setVariable();
    a.str("tone").num(1).str("quiet").getVariable().str("attachSound").callMethod().pop();
    callOn(a, "quiet", "setVolume", {25});
    callOn(a, "quiet", "start");
    w.doAction(a);
    w.showFrame();
    Actions b = newSound("whole", "tone");
    callOn(b, "whole", "start");
    Actions volumes;
    volumes.num(0).str("quiet").getVariable().str("getVolume").callMethod().trace();
    volumes.num(0).str("whole").getVariable().str("getVolume").callMethod().trace();
    w.doAction(b);
    w.doAction(volumes);
    w.showFrame();

    const Heard r = playMovie(w.finish(), 2);
    EXPECT_EQ(left(r, 0), 2000);
    EXPECT_EQ(left(r, kFrameSamples), 8000);
    ASSERT_GE(r.traces.size(), 2u);
    EXPECT_EQ(r.traces[0].second, QStringLiteral("25"));
    EXPECT_EQ(r.traces[1].second, QStringLiteral("100"));
}

// s.name = function(a) { trace(name + " " + a + " " + s.getDuration()); }
void traceHandler(Actions& a, const std::string& name) {
    Actions body;
    body.str(name + " ").str("a").getVariable().add2().str(" ").add2();
    body.num(0).str("s").getVariable().str("getDuration").callMethod().add2().trace();
    a.str("s").getVariable().str(name).function1("", {"a"}, body).setMember();
}

TEST(ScriptSound, LoadSoundReadsAFileNextToTheMovieAndStreamsIt) {
    // One MPEG-1 layer III frame of silence, 1152 samples at 44.1 kHz, behind an ID3v2 tag.
    std::vector<char> file{'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 40; ++i) {
        std::vector<char> frame(417, 0);
        frame[0] = char(0xFF), frame[1] = char(0xFB), frame[2] = char(0x90), frame[3] = char(0x44);
        file.insert(file.end(), frame.begin(), frame.end());
    }
    QTemporaryDir temp;
    const std::filesystem::path folder = std::filesystem::path(temp.path().toStdString()) / "movie";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "quiet.mp3", std::ios::binary).write(file.data(), std::streamsize(file.size()));
    std::ofstream(std::filesystem::path(temp.path().toStdString()) / "outside.mp3", std::ios::binary)
        .write(file.data(), std::streamsize(file.size()));

    auto movie = [](const char* url) {
        MovieWriter w(QSizeF(40, 30), kFps);
        Actions a;
        a.str("s").num(0).str("Sound").newObject().setVariable();
        traceHandler(a, "onID3");
        traceHandler(a, "onLoad");
        traceHandler(a, "onSoundComplete");
        a.boolean(true).str(url).num(2).str("s").getVariable().str("loadSound").callMethod().pop();
        a.str("s").getVariable().str("duration").getMember().trace();  // nothing yet
        w.doAction(a);
        for (int f = 0; f < 20; ++f) w.showFrame();
        return w.finish();
    };
    const Heard r = playMovie(movie("quiet.mp3"), 20, folder);
    ASSERT_EQ(r.traces.size(), 4u);
    EXPECT_EQ(r.traces[0].second, QStringLiteral("undefined"));
    EXPECT_EQ(r.traces[1].second, QStringLiteral("onID3 true 0"));
    EXPECT_EQ(r.traces[2].second, QStringLiteral("onLoad true 1045"));  // 40 frames of 1152 samples
    EXPECT_EQ(r.traces[3].second, QStringLiteral("onSoundComplete undefined 1045"));
    // Streamed: it played by itself once loaded, and ended about 1.045 s later.
    EXPECT_EQ(r.traces[3].first - r.traces[2].first, 11);

    // Outside the movie's folder, or with no folder given, nothing loads.
    for (const auto& [url, where] : {std::pair{"../outside.mp3", folder}, std::pair{"quiet.mp3", std::filesystem::path()}}) {
        const Heard refused = playMovie(movie(url), 3, where);
        ASSERT_EQ(refused.traces.size(), 2u) << url;
        EXPECT_EQ(refused.traces[1].second, QStringLiteral("onLoad false undefined"));
    }
}

}  // namespace
