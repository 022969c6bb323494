// Sound and video of hand-made movies: the mixed output (as the headless tools write it)
// against the decoded source, sample by sample; button sounds, streams, loops, envelopes
// and in/out points; video frames against their source pictures; and broken media data.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <cmath>

#include "image_compare.h"
#include "media_encode.h"
#include "swf/media/media.h"
#include "swf/swf.h"
#include "swf/writer/swf_writer.h"

namespace {

using swf::writer::MovieWriter;
using swf::writer::SoundFormat;
using swf::writer::SoundStart;
constexpr int kFps = 10;
constexpr size_t kFrameSamples = 44100 / kFps;

std::shared_ptr<const swf::Movie> parse(const QByteArray& file) {
    return swf::parseMovie(std::span(reinterpret_cast<const uint8_t*>(file.data()), size_t(file.size())));
}

// Runs `frames` frames of the movie and returns the mix over them; `between` runs before
// each frame after the first (for mouse events).
std::vector<int16_t> playAndCapture(const QByteArray& file, int frames,
                                    const std::function<void(swf::Player&, int)>& between = {}) {
    auto& mixer = swf::media::Mixer::instance();
    mixer.setOffline(true);
    swf::Player player(parse(file));
    swf::media::AudioCapture capture(player.movie().frameRate);
    capture.captureFrame();
    for (int f = 2; f <= frames; ++f) {
        if (between) between(player, f);
        player.advance();
        capture.captureFrame();
    }
    return capture.frames();
}

// Largest difference between `got` from frame `at` on and `want`.
int maxDifference(const std::vector<int16_t>& got, size_t at, const std::vector<int16_t>& want) {
    int worst = 0;
    for (size_t i = 0; i < want.size(); ++i) {
        if (at * 2 + i >= got.size()) return 65536;
        worst = std::max(worst, std::abs(int(got[at * 2 + i]) - int(want[i])));
    }
    return worst;
}

bool silent(const std::vector<int16_t>& got, size_t from, size_t to) {
    for (size_t i = from * 2; i < std::min(got.size(), to * 2); ++i)
        if (got[i] != 0) return false;
    return true;
}

std::vector<int16_t> slice(const std::vector<int16_t>& s, size_t from, size_t to) {
    return {s.begin() + std::ptrdiff_t(from * 2), s.begin() + std::ptrdiff_t(to * 2)};
}

// An event sound started on frame `startFrame` of a movie with enough frames to play it out.
QByteArray eventSoundMovie(const SoundFormat& format, uint32_t sampleCount, const QByteArray& data,
                           int startFrame, int frames, const SoundStart& start = {}, int16_t seek = 0) {
    MovieWriter w(QSizeF(40, 30), kFps);
    const uint16_t sound = w.defineSound(format, sampleCount, data, seek);
    for (int f = 1; f <= frames; ++f) {
        if (f == startFrame) w.startSound(sound, start);
        w.showFrame();
    }
    return w.finish();
}

TEST(MovieSound, UncompressedSoundPlaysFromItsFrameInBothByteOrderCodes) {
    const auto source = swf::test::testSignal(3000);
    for (auto codec : {SoundFormat::PcmLittleEndian, SoundFormat::PcmNativeEndian}) {
        SoundFormat format;
        format.codec = codec;
        const auto out = playAndCapture(eventSoundMovie(format, 3000, swf::test::pcmBytes(source), 3, 4), 4);
        ASSERT_EQ(out.size(), 4 * kFrameSamples * 2);
        EXPECT_TRUE(silent(out, 0, 2 * kFrameSamples));
        EXPECT_LE(maxDifference(out, 2 * kFrameSamples, source), 1);
        EXPECT_TRUE(silent(out, 2 * kFrameSamples + 3000, 4 * kFrameSamples));
    }
}

TEST(MovieSound, LowRateMonoEightBitComesOutAtTheMixRateOnBothSides) {
    // 11,025 Hz mono 8-bit: a quarter of a second becomes a quarter of a second at 44,100.
    QByteArray data;
    for (int i = 0; i < 2756; ++i) data.append(char(128 + int(100 * std::sin(i * 0.2))));
    SoundFormat format;
    format.rate = 11025;
    format.sixteenBit = false;
    format.stereo = false;
    const auto out = playAndCapture(eventSoundMovie(format, 2756, data, 1, 5), 5);
    size_t last = 0;
    for (size_t i = 0; i < out.size() / 2; ++i) {
        EXPECT_EQ(out[i * 2], out[i * 2 + 1]) << i;
        if (out[i * 2] != 0) last = i;
    }
    EXPECT_NEAR(double(last), 11025.0, 30.0);
}

TEST(MovieSound, AdpcmMatchesTheDecodedSource) {
    const auto source = swf::test::testSignal(4096);
    const auto encoded = swf::test::encodeAudio(AV_CODEC_ID_ADPCM_SWF, source);
    if (encoded.packets.empty()) GTEST_SKIP() << "no SWF ADPCM encoder";
    const QByteArray& packet = encoded.packets.front();
    const auto decoded = swf::test::decodeAudioPacket(AV_CODEC_ID_ADPCM_SWF, packet, 44100, 2);
    ASSERT_EQ(decoded.size(), 4096u * 2);
    SoundFormat format;
    format.codec = SoundFormat::Adpcm;
    const auto out = playAndCapture(eventSoundMovie(format, 4096, packet, 2, 3), 3);
    EXPECT_TRUE(silent(out, 0, kFrameSamples));
    EXPECT_LE(maxDifference(out, kFrameSamples, decoded), 1);
}

double correlation(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        ab += double(a[i]) * b[i];
        aa += double(a[i]) * a[i];
        bb += double(b[i]) * b[i];
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

TEST(MovieSound, Mp3FollowsTheSourceAfterItsEncoderDelay) {
    const auto source = swf::test::testSignal(22050);
    const auto encoded = swf::test::encodeAudio(AV_CODEC_ID_MP3, source);
    if (encoded.data.isEmpty()) GTEST_SKIP() << "no MP3 encoder";
    SoundFormat format;
    format.codec = SoundFormat::Mp3;
    const auto out = playAndCapture(
        eventSoundMovie(format, 22050, encoded.data, 2, 8, {}, int16_t(encoded.initialPadding)), 8);
    EXPECT_TRUE(silent(out, 0, kFrameSamples));
    EXPECT_GE(correlation(slice(out, kFrameSamples, kFrameSamples + 22050), source), 0.99);
    EXPECT_TRUE(silent(out, kFrameSamples + 22050, 8 * kFrameSamples));
}

TEST(MovieSound, NellymoserFollowsTheSourceOnBothSides) {
    const auto source = swf::test::testSignal(22050, 22050);
    const auto encoded = swf::test::encodeAudio(AV_CODEC_ID_NELLYMOSER, source, 22050, 1);
    if (encoded.data.isEmpty()) GTEST_SKIP() << "no Nellymoser encoder";
    SoundFormat format;
    format.codec = SoundFormat::Nellymoser;
    format.rate = 22050;
    format.stereo = false;
    const auto out = playAndCapture(eventSoundMovie(format, 22050, encoded.data, 1, 12), 12);
    // The left side of the source, at twice the rate; the codec's own delay is searched for.
    std::vector<int16_t> left, played;
    for (size_t i = 0; i < 20000; ++i) left.push_back(source[i * 2]);
    double best = 0;
    for (size_t delay = 0; delay < 1024; delay += 2) {
        played.clear();
        for (size_t i = 0; i < 20000; ++i) played.push_back(out[(delay + i * 2) * 2]);
        best = std::max(best, correlation(played, left));
    }
    EXPECT_GE(best, 0.9);
    for (size_t i = 0; i < out.size() / 2; ++i) ASSERT_EQ(out[i * 2], out[i * 2 + 1]);
}

TEST(MovieSound, CorruptMp3PlaysSilenceInsteadOfCrashing) {
    auto encoded = swf::test::encodeAudio(AV_CODEC_ID_MP3, swf::test::testSignal(8820));
    if (encoded.data.isEmpty()) GTEST_SKIP() << "no MP3 encoder";
    for (qsizetype i = 200; i < encoded.data.size(); i += 97) encoded.data[i] = char(encoded.data[i] ^ 0x5A);
    swf::media::SoundDef sound;
    sound.format.codec = swf::media::SoundCodec::Mp3;
    sound.sampleCount = 8820;
    sound.data.assign(encoded.data.begin(), encoded.data.end());
    EXPECT_LE(swf::media::decodeSound(sound).size(), 8820u * 2);
    sound.data.assign(300, 0xFF);  // frame sync everywhere, nothing valid
    EXPECT_LE(swf::media::decodeSound(sound).size(), 8820u * 2);
}

TEST(MovieSound, LoopsPlayTheRangeBetweenInAndOutPoints) {
    const auto source = swf::test::testSignal(1000);
    SoundStart start;
    start.inPoint = 100;
    start.outPoint = 600;
    start.loops = 3;
    const auto out = playAndCapture(eventSoundMovie({}, 1000, swf::test::pcmBytes(source), 1, 2, start), 2);
    const auto range = slice(source, 100, 600);
    for (size_t loop = 0; loop < 3; ++loop) EXPECT_LE(maxDifference(out, loop * 500, range), 1) << loop;
    EXPECT_TRUE(silent(out, 1500, 2 * kFrameSamples));
}

TEST(MovieSound, EnvelopeMovesTheSoundFromLeftToRight) {
    std::vector<int16_t> source(4000 * 2, 10000);
    SoundStart start;
    start.envelope = {{0, 32768, 0}, {4000, 0, 32768}};
    const auto out = playAndCapture(eventSoundMovie({}, 4000, swf::test::pcmBytes(source), 1, 1, start), 1);
    for (size_t i = 0; i < 4000; i += 250) {
        const double t = i / 4000.0;
        EXPECT_NEAR(out[i * 2], 10000 * (1 - t), 1.0) << i;
        EXPECT_NEAR(out[i * 2 + 1], 10000 * t, 1.0) << i;
    }
}

TEST(MovieSound, NoMultipleKeepsOneInstanceAndSyncStopEndsIt) {
    std::vector<int16_t> source(44100 * 2, 1000);  // one second of a constant level
    MovieWriter w(QSizeF(40, 30), kFps);
    const uint16_t sound = w.defineSound({}, 44100, swf::test::pcmBytes(source));
    SoundStart once;
    once.noMultiple = true;
    SoundStart stop;
    stop.syncStop = true;
    w.startSound(sound);
    w.showFrame();
    w.startSound(sound, once);  // already playing: not started again
    w.showFrame();
    w.startSound(sound);  // a second instance on top
    w.showFrame();
    w.startSound(sound, stop);
    w.showFrame();
    w.showFrame();
    const auto out = playAndCapture(w.finish(), 5);
    EXPECT_EQ(out[kFrameSamples * 2 + 10], 1000);
    EXPECT_EQ(out[kFrameSamples * 2 * 2 + 10], 2000);
    EXPECT_TRUE(silent(out, 3 * kFrameSamples, 5 * kFrameSamples));
}

// A stream of `frames` blocks of one frame each; block n is the source's n-th frame.
QByteArray streamMovie(const std::vector<int16_t>& source, int frames, int jumpAtFrame = 0, int jumpTo = 0) {
    MovieWriter w(QSizeF(40, 30), kFps);
    w.soundStreamHead({}, uint16_t(kFrameSamples));
    for (int f = 0; f < frames; ++f) {
        w.soundStreamBlock(swf::test::pcmBytes(slice(source, size_t(f) * kFrameSamples, size_t(f + 1) * kFrameSamples)));
        if (f + 1 == jumpAtFrame) w.gotoFrame(uint16_t(jumpTo), true);
        w.showFrame();
    }
    return w.finish();
}

TEST(MovieSound, StreamBlocksPlayInStepWithTheirFrames) {
    const auto source = swf::test::testSignal(kFrameSamples * 6);
    const auto out = playAndCapture(streamMovie(source, 6), 6);
    EXPECT_LE(maxDifference(out, 0, source), 1);

    // A jump back plays the block of the frame jumped to, at the time that frame shows.
    const auto jumped = playAndCapture(streamMovie(source, 6, 4, 1), 7);
    // Frames shown: 1 2 3, then the action of frame 4 jumps before it shows: 2 3, again 2 3.
    EXPECT_LE(maxDifference(jumped, 0, slice(source, 0, 3 * kFrameSamples)), 1);
    EXPECT_LE(maxDifference(jumped, 3 * kFrameSamples, slice(source, kFrameSamples, 3 * kFrameSamples)), 1);
    EXPECT_LE(maxDifference(jumped, 5 * kFrameSamples, slice(source, kFrameSamples, 3 * kFrameSamples)), 1);
}

TEST(MovieSound, ButtonSoundsPlayOnEachStateChange) {
    MovieWriter w(QSizeF(100, 100), kFps);
    QPainterPath square;
    square.addRect(0, 0, 100, 100);
    const uint16_t shape = w.defineShape(square, swf::writer::FillStyle::solid(Qt::red));
    swf::writer::ButtonRecord rec;
    rec.states = rec.Up | rec.Over | rec.Down | rec.HitTest;
    rec.characterId = shape;
    const uint16_t button = w.defineButton2({rec});
    const std::vector<int16_t> over(500 * 2, 1000), down(500 * 2, 3000);
    const uint16_t overSound = w.defineSound({}, 500, swf::test::pcmBytes(over));
    const uint16_t downSound = w.defineSound({}, 500, swf::test::pcmBytes(down));
    w.defineButtonSound(button, {}, {overSound, {}}, {downSound, {}}, {});
    w.place(1, button);
    for (int f = 0; f < 4; ++f) w.showFrame();
    const auto out = playAndCapture(w.finish(), 4, [](swf::Player& player, int frame) {
        if (frame == 2) player.mouseMove(QPointF(50, 50));
        if (frame == 3) player.mousePress(QPointF(50, 50));
    });
    EXPECT_TRUE(silent(out, 0, kFrameSamples));
    EXPECT_EQ(out[kFrameSamples * 2], 1000);
    EXPECT_TRUE(silent(out, kFrameSamples + 500, 2 * kFrameSamples));
    EXPECT_EQ(out[2 * kFrameSamples * 2 + 1], 3000);
}

TEST(MovieSound, ScriptSideStartsAnExportedSoundPansItAndHearsItEnd) {
    std::vector<int16_t> source(1000 * 2, 8000);
    MovieWriter w(QSizeF(40, 30), kFps);
    const uint16_t sound = w.defineSound({}, 1000, swf::test::pcmBytes(source));
    w.exportAsset(sound, QStringLiteral("ding"));
    w.showFrame();
    auto& mixer = swf::media::Mixer::instance();
    mixer.setOffline(true);
    swf::Player player(parse(w.finish()));
    uint16_t id = 0;
    const swf::media::SoundDef* def = player.exportedSound(QStringLiteral("ding"), &id);
    ASSERT_TRUE(def);
    EXPECT_EQ(id, sound);
    EXPECT_FALSE(player.exportedSound(QStringLiteral("dong")));
    EXPECT_NEAR(player.sounds().durationMs(id, *def), 1000 * 1000.0 / 44100, 0.01);

    int completions = 0;
    swf::media::SoundInfo twice;
    twice.loops = 2;
    const auto voice = player.sounds().start(id, *def, twice, [&] { ++completions; });
    swf::media::SoundTransform hardLeft;
    hardLeft.rightToRight = 0;  // setPan(-100): the right side goes silent
    player.sounds().setVoiceTransform(voice, hardLeft);
    std::vector<int16_t> out(600 * 2);
    mixer.mix(out);
    EXPECT_EQ(out[0], 8000);
    EXPECT_EQ(out[1], 0);
    EXPECT_NEAR(player.sounds().positionMs(voice), 600 * 1000.0 / 44100, 0.01);
    swf::media::SoundTransform half;
    half.volume = 0.5;  // setVolume(50) on the whole movie
    player.sounds().setTransform(half);
    mixer.mix(out);
    EXPECT_EQ(out[0], 4000);
    EXPECT_EQ(completions, 0);
    out.assign(1000 * 2, 0);
    mixer.mix(out);  // the second loop ends in here
    EXPECT_EQ(completions, 1);
    EXPECT_FALSE(player.sounds().isVoicePlaying(voice));
}

TEST(MovieSound, PlayersGoneBeforeTheirSoundsAreDecodedLeaveNothingBehind) {
    // Long sounds keep the decoding worker busy while their players come and go.
    std::vector<int16_t> source(44100 * 2 * 4, 1200);
    MovieWriter w(QSizeF(40, 30), kFps);
    const uint16_t sound = w.defineSound({}, 44100 * 4, swf::test::pcmBytes(source));
    w.exportAsset(sound, QStringLiteral("long"));
    w.showFrame();
    const QByteArray file = w.finish();
    auto& mixer = swf::media::Mixer::instance();
    mixer.setOffline(true);
    for (int i = 0; i < 8; ++i) swf::Player gone(parse(file));
    // A player that stays hears its sound, decoded by the worker, from the first frame.
    swf::Player player(parse(file));
    uint16_t id = 0;
    const swf::media::SoundDef* def = player.exportedSound(QStringLiteral("long"), &id);
    ASSERT_TRUE(def);
    EXPECT_TRUE(player.sounds().start(id, *def, {}));
    std::vector<int16_t> out(100 * 2);
    mixer.mix(out);
    EXPECT_EQ(out[0], 1200);
    EXPECT_EQ(out[199], 1200);
    player.sounds().stopAll();
}

TEST(MovieSound, StreamThatFallsBehindItsFramesIsCutBackToThem) {
    // Frames shown with no sound played between them (the picture ran ahead): the stream
    // keeps only the last few frames' worth, so sound and picture stay together.
    const auto source = swf::test::testSignal(kFrameSamples * 12);
    auto& mixer = swf::media::Mixer::instance();
    mixer.setOffline(true);
    swf::Player player(parse(streamMovie(source, 12)));
    for (int f = 1; f < 12; ++f) player.advance();
    std::vector<int16_t> out(kFrameSamples * 12 * 2);
    mixer.mix(out);
    // A few frames' worth are left (here four): the last blocks, then silence.
    EXPECT_LE(maxDifference(out, 0, slice(source, 8 * kFrameSamples, 12 * kFrameSamples)), 1);
    EXPECT_TRUE(silent(out, 4 * kFrameSamples, 12 * kFrameSamples));
}

// Takes whatever is offered, as a device with room would, and keeps it.
class RecordingSink final : public swf::media::AudioSinkPort {
public:
    explicit RecordingSink(std::vector<int16_t>& into) : into_(into) {}
    size_t framesWanted() override { return 441; }
    void write(std::span<const int16_t> frames) override { into_.insert(into_.end(), frames.begin(), frames.end()); }

private:
    std::vector<int16_t>& into_;
};

TEST(MovieSound, ASoundStartedGoesToTheSinkAtOnce) {
    std::vector<int16_t> written;
    auto& mixer = swf::media::Mixer::instance();
    mixer.setSink(std::make_unique<RecordingSink>(written));
    const int before = mixer.startLatency().count;
    {
        std::vector<int16_t> source(300 * 2, 1234);
        swf::Player player(parse(eventSoundMovie({}, 300, swf::test::pcmBytes(source), 1, 1)));
        // No event loop has run: the start itself wrote the first frames.
        ASSERT_GE(written.size(), 300u * 2);
        EXPECT_EQ(written[0], 1234);
        EXPECT_EQ(written[299 * 2 + 1], 1234);
        EXPECT_EQ(written[300 * 2], 0);
    }
    EXPECT_EQ(mixer.startLatency().count, before + 1);
    mixer.setSink(nullptr);
    mixer.setOffline(true);
}

TEST(MovieSound, HiddenPlayerIsSilent) {
    std::vector<int16_t> source(2000 * 2, 1000);
    auto& mixer = swf::media::Mixer::instance();
    mixer.setOffline(true);
    swf::Player player(parse(eventSoundMovie({}, 2000, swf::test::pcmBytes(source), 1, 2)));
    player.setActive(false);
    std::vector<int16_t> out(4000);
    mixer.mix(out);
    EXPECT_TRUE(silent(out, 0, 2000));
}

TEST(MovieSound, WavFileHoldsTheCapturedMix) {
    const auto source = swf::test::testSignal(500);
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("out.wav")).toStdString();
    ASSERT_TRUE(swf::media::writeWav(path, source));
    std::vector<int16_t> back;
    int rate = 0, channels = 0;
    ASSERT_TRUE(swf::media::readWav(path, back, rate, channels));
    EXPECT_EQ(rate, 44100);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(back, source);
}

// ---- Video -------------------------------------------------------------------------------------

QImage testPicture(int shift) {
    QImage image(64, 48, QImage::Format_RGB32);
    QPainter p(&image);
    p.fillRect(image.rect(), QColor(30, 60, 200));
    p.fillRect(QRect(8 + shift, 8, 24, 24), QColor(240, 200, 40));
    p.fillRect(QRect(40, 24 - shift / 2, 16, 16), QColor(20, 180, 60));
    return image;
}

TEST(MovieVideo, H263FramesShowAtThePlacementRatio) {
    const std::vector<QImage> pictures = {testPicture(0), testPicture(8), testPicture(16)};
    const auto frames = swf::test::encodeH263(pictures);
    if (frames.size() != pictures.size()) GTEST_SKIP() << "no H.263 encoder";
    MovieWriter w(QSizeF(64, 48), kFps);
    const uint16_t video = w.defineVideoStream(3, QSize(64, 48), 2);
    for (uint16_t f = 0; f < 3; ++f) {
        w.videoFrame(video, f, frames[f]);
        swf::writer::Placement at;
        at.ratio = f;
        if (f == 0) w.place(1, video, at);
        else w.modify(1, at);
        w.showFrame();
    }
    swf::Player player(parse(w.finish()));
    for (int f = 0; f < 3; ++f) {
        if (f > 0) player.advance();
        const auto figures = swf::test::compareImages(player.renderImage(QSize(64, 48)), pictures[size_t(f)], {});
        EXPECT_TRUE(figures.matches()) << "frame " << f << ": mean " << figures.meanDiff;
    }
    // Back to the first frame: decoding starts again from the key frame.
    player.gotoFrame(1);
    EXPECT_TRUE(swf::test::compareImages(player.renderImage(QSize(64, 48)), pictures[0], {}).matches());
}

TEST(MovieVideo, ColourTransformOfThePlacementApplies) {
    const auto frames = swf::test::encodeH263({testPicture(0)});
    if (frames.empty()) GTEST_SKIP() << "no H.263 encoder";
    MovieWriter w(QSizeF(64, 48), kFps);
    w.setBackgroundColor(Qt::white);
    const uint16_t video = w.defineVideoStream(1, QSize(64, 48), 2);
    w.videoFrame(video, 0, frames[0]);
    swf::writer::Placement faded;
    faded.colorTransform = swf::writer::ColorTransform::alpha(0.5);
    w.place(1, video, faded);
    w.showFrame();
    swf::Player player(parse(w.finish()));
    const QImage ours = player.renderImage(QSize(64, 48));
    // Half the picture over the white background.
    QImage expected(64, 48, QImage::Format_RGB32);
    expected.fill(Qt::white);
    QPainter painter(&expected);
    painter.setOpacity(0.5);
    painter.drawImage(0, 0, testPicture(0));
    painter.end();
    EXPECT_TRUE(swf::test::compareImages(ours, expected, {}).matches());
}

TEST(MovieVideo, BrokenFramesKeepTheLastPictureOrNone) {
    swf::media::VideoStreamDef video;
    video.width = 32;
    video.height = 32;
    for (uint8_t codec : {2, 3, 4, 5, 6}) {
        video.codec = codec;
        video.frames.clear();
        for (uint16_t f = 0; f < 4; ++f) {
            auto bytes = std::make_shared<std::vector<uint8_t>>(size_t(40 + f * 13));
            for (size_t i = 0; i < bytes->size(); ++i) (*bytes)[i] = uint8_t(i * 37 + f);
            video.frames[f] = bytes;
        }
        swf::media::VideoDecoder decoder(video);
        for (int f : {0, 3, 1, 2}) {
            const QImage& picture = decoder.frameAt(video, f);
            if (!picture.isNull()) {
                EXPECT_LE(picture.width(), 32);
            }
        }
    }
}

// The shared corpus' video pictures, under this project's criterion.
TEST(MovieVideo, CorpusVideoPicturesMatch) {
    const QString root = qEnvironmentVariable("TALVORIN_SWF_SUITE", QStringLiteral(TALVORIN_SWF_SUITE_DEFAULT));
    const QStringList folders = QDir(root).entryList({QStringLiteral("visual__video__*")}, QDir::Dirs);
    if (folders.isEmpty()) GTEST_SKIP() << "corpus not found";
    for (const QString& folder : folders) {
        const QString dir = root + QLatin1Char('/') + folder;
        QImage reference(dir + QStringLiteral("/output.expected.png"));
        auto movie = swf::loadMovieFile((dir + QStringLiteral("/test.swf")).toStdString());
        ASSERT_TRUE(movie && !reference.isNull());
        swf::Player player(movie);
        player.setQuality(swf::Quality::Low);
        const auto figures = swf::test::compareImages(player.renderImage(reference.size()), reference, {});
        std::printf("[figures] %s: mean diff %.2f/255, outliers %.3f%%\n", qPrintable(folder), figures.meanDiff,
                    figures.outlierShare * 100);
        if (folder.endsWith(QStringLiteral("vp6a"))) continue;  // known gap: see the media header
        EXPECT_TRUE(figures.matches()) << folder.toStdString();
    }
}

}  // namespace
