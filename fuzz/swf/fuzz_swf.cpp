// libFuzzer target: parse a movie, play its first frames with mouse input and draw them
// into a small picture (running its scripts), mixing the sound of each frame (which decodes its sounds and
// video), and read them as an MP3 file too. Only MalformedMovie may come out of a broken file.
#include <QGuiApplication>
#include <QImage>
#include <cstdint>
#include <cstdlib>

#include "swf/media/audio_decode.h"
#include "swf/media/mixer.h"
#include "swf/media/mp3_file.h"
#include "swf/swf.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    swf::media::Mixer::instance().setOffline(true);
    // A script that loops for ever is stopped well inside the fuzzer's per-input timeout.
    swf::Player::setScriptTimeBudget(0.5);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The same bytes as a sound file a script loads: read, and its first second decoded.
    if (auto mp3 = swf::media::readMp3File(std::span(data, size))) (void)swf::media::decodeSound(mp3->sound, 44100);
    std::shared_ptr<const swf::Movie> movie;
    try {
        movie = swf::parseMovie(std::span(data, size));
    } catch (const swf::MalformedMovie&) {
        return 0;
    }
    swf::Player player(movie);
    player.setViewSize(QSize(48, 36));
    QImage image(48, 36, QImage::Format_ARGB32_Premultiplied);
    std::vector<int16_t> sound(2 * 2048);
    for (int frame = 0; frame < 4; ++frame) {
        if (frame == 2) {
            player.mouseMove(QPointF(24, 18));
            player.mousePress(QPointF(24, 18));
            player.mouseRelease(QPointF(24, 18));
        }
        QPainter painter(&image);
        player.render(painter);
        painter.end();
        swf::media::Mixer::instance().mix(sound);
        player.advance();
    }
    return 0;
}
