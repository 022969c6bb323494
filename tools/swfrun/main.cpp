// swfrun MOVIE --frames N [--tick-ms T] [--input EVENTS.json] [--size WxH] [--viewport WxH] [--quality Q]
//        [--snapshot K:OUT.png]... [--log-web-requests]
// Runs a movie without a window: N frames, timers moving on by the frame interval (or T
// milliseconds a frame), the input script's events replayed between frames (positions in
// the viewport's pixels, the stage fitted into it). Every trace() line goes to stdout, with
// the web addresses scripts ask to open when --log-web-requests is given; the stage after
// frame K is written to OUT.png; --audio-out writes the mixed sound over the frames run to a
// WAV file (44,100 Hz stereo 16-bit).
#include <QFile>
#include <QGuiApplication>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "headless_run.h"
#include "swf/media/mixer.h"
#include "swf/swf.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: swfrun MOVIE --frames N [--tick-ms T] [--input EVENTS.json] [--size WxH] [--viewport WxH] "
                 "[--quality low|medium|high] [--snapshot K:OUT.png]... [--audio-out OUT.wav] [--log-web-requests]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    std::string movieFile, inputFile, audioFile;
    swfrun::RunOptions options;
    std::map<int, QString> snapshots;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto takes = [&] {
            ++i;
            return value != nullptr;
        };
        if (arg == "--frames") {
            if (!takes()) return usage();
            options.frames = std::atoi(value);
        } else if (arg == "--tick-ms") {
            if (!takes()) return usage();
            options.tickMs = std::atof(value);
        } else if (arg == "--input") {
            if (!takes()) return usage();
            inputFile = value;
        } else if (arg == "--size") {
            int w = 0, h = 0;
            if (!takes() || std::sscanf(value, "%dx%d", &w, &h) != 2 || w <= 0 || h <= 0 || w > 16384 || h > 16384)
                return usage();
            options.size = QSize(w, h);
        } else if (arg == "--viewport") {
            int w = 0, h = 0;
            if (!takes() || std::sscanf(value, "%dx%d", &w, &h) != 2 || w <= 0 || h <= 0 || w > 16384 || h > 16384)
                return usage();
            options.viewport = QSize(w, h);
        } else if (arg == "--log-web-requests") {
            options.logWebRequests = true;
        } else if (arg == "--quality") {
            if (!takes()) return usage();
            const std::string q = value;
            if (q == "low") options.quality = swf::Quality::Low;
            else if (q == "medium") options.quality = swf::Quality::Medium;
            else if (q == "high") options.quality = swf::Quality::High;
            else return usage();
        } else if (arg == "--audio-out") {
            if (!takes()) return usage();
            audioFile = value;
        } else if (arg == "--snapshot") {
            if (!takes()) return usage();
            const char* colon = std::strchr(value, ':');
            int frame = colon ? std::atoi(value) : 0;
            if (!colon || frame < 1 || !colon[1]) return usage();
            snapshots[frame] = QString::fromLocal8Bit(colon + 1);
            options.snapshotFrames.push_back(frame);
        } else if (movieFile.empty() && !arg.starts_with("--")) {
            movieFile = arg;
        } else {
            return usage();
        }
    }
    if (movieFile.empty() || options.frames < 1) return usage();

    if (!inputFile.empty()) {
        QFile file(QString::fromLocal8Bit(inputFile.c_str()));
        QString error;
        if (!file.open(QIODevice::ReadOnly) || !swfrun::parseInputEvents(file.readAll(), options.input, error)) {
            std::fprintf(stderr, "swfrun: %s: %s\n", inputFile.c_str(),
                         error.isEmpty() ? "cannot read" : error.toLocal8Bit().constData());
            return 1;
        }
    }

    int status = 0;
    try {
        auto movie = swf::loadMovieFile(movieFile);
        // Files next to the movie (a sound or picture its scripts load) are within reach.
        options.movieFolder = std::filesystem::absolute(movieFile).parent_path();
        if (!movie) {
            std::fprintf(stderr, "swfrun: cannot read %s\n", movieFile.c_str());
            return 1;
        }
        swfrun::RunCallbacks callbacks;
        callbacks.trace = [](const QString& line) {
            const QByteArray bytes = line.toUtf8();
            std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
            std::fputc('\n', stdout);
        };
        callbacks.snapshot = [&](int frame, const QImage& image) {
            const QString& out = snapshots[frame];
            if (!image.save(out, "PNG")) {
                std::fprintf(stderr, "swfrun: cannot write %s\n", out.toLocal8Bit().constData());
                status = 1;
            }
        };
        if (!audioFile.empty())
            callbacks.audio = [&](const std::vector<int16_t>& frames) {
                if (!swf::media::writeWav(audioFile, frames)) {
                    std::fprintf(stderr, "swfrun: cannot write %s\n", audioFile.c_str());
                    status = 1;
                }
            };
        swfrun::runMovie(movie, options, callbacks);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "swfrun: %s: %s\n", movieFile.c_str(), e.what());
        return 1;
    }
    std::fflush(stdout);
    return status;
}
