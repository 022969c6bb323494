// swfframe MOVIE -f N -s WxH -o OUT.png
// Renders frame N of a movie (counting from 1, after N frames have run), fitted into
// W x H with the whole stage shown, aspect kept and centred, to a PNG.
// --audio-out OUT.wav writes the movie's mixed sound over those N frames (44,100 Hz
// stereo 16-bit), the mix a sound device would get.
#include <QGuiApplication>
#include <QImage>
#include <cstdio>
#include <cstring>
#include <string>

#include "swf/media/mixer.h"
#include "swf/swf.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: swfframe MOVIE [-f N] [-s WxH] [-q low|medium|high] [--audio-out OUT.wav] -o OUT.png\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    std::string movieFile, output, audioOutput;
    int frame = 1;
    int width = 0, height = 0;
    swf::Quality quality = swf::Quality::High;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (arg == "-f") {
            const char* v = value();
            if (!v) return usage();
            frame = std::atoi(v);
        } else if (arg == "-s") {
            const char* v = value();
            if (!v || std::sscanf(v, "%dx%d", &width, &height) != 2) return usage();
        } else if (arg == "-o") {
            const char* v = value();
            if (!v) return usage();
            output = v;
        } else if (arg == "--audio-out") {
            const char* v = value();
            if (!v) return usage();
            audioOutput = v;
        } else if (arg == "-q") {
            const char* v = value();
            if (!v) return usage();
            quality = !std::strcmp(v, "low") ? swf::Quality::Low : !std::strcmp(v, "medium") ? swf::Quality::Medium : swf::Quality::High;
        } else if (movieFile.empty()) {
            movieFile = arg;
        } else {
            return usage();
        }
    }
    if (movieFile.empty() || output.empty() || frame < 1) return usage();
    try {
        auto movie = swf::loadMovieFile(movieFile);
        if (!movie) {
            std::fprintf(stderr, "swfframe: cannot read %s\n", movieFile.c_str());
            return 1;
        }
        QSize size = width > 0 && height > 0 ? QSize(width, height) : movie->stageSizePixels();
        auto& mixer = swf::media::Mixer::instance();
        mixer.setOffline(true);
        swf::Player player(movie);
        player.setQuality(quality);
        swf::media::AudioCapture capture(movie->frameRate);
        capture.captureFrame();
        for (int i = 1; i < frame; ++i) {
            player.advance();
            capture.captureFrame();
        }
        if (!audioOutput.empty() && !capture.save(audioOutput)) {
            std::fprintf(stderr, "swfframe: cannot write %s\n", audioOutput.c_str());
            return 1;
        }
        if (!player.renderImage(size).save(QString::fromStdString(output), "PNG")) {
            std::fprintf(stderr, "swfframe: cannot write %s\n", output.c_str());
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "swfframe: %s: %s\n", movieFile.c_str(), e.what());
        return 1;
    }
    return 0;
}
