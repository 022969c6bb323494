// The sound device through Qt Multimedia's QAudioSink, written in push mode by the
// mixer's pump with a small lead, so a new sound is heard soon after it starts.
#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>
#include <algorithm>

#include "swf/media/mixer.h"

namespace swf::media {

namespace {

constexpr int kBytesPerFrame = 4;
// How far ahead of the device the mix is written: short enough for a click to be heard
// at once, long enough to ride over a busy moment of the interface thread.
constexpr int kLeadFrames = kMixRate * 40 / 1000;

class DeviceSink final : public AudioSinkPort {
public:
    explicit DeviceSink(const QAudioDevice& device) {
        QAudioFormat format;
        format.setSampleRate(kMixRate);
        format.setChannelCount(2);
        format.setSampleFormat(QAudioFormat::Int16);
        if (!device.isFormatSupported(format)) return;
        sink_ = std::make_unique<QAudioSink>(device, format);
        sink_->setBufferSize(kLeadFrames * 2 * kBytesPerFrame);
        io_ = sink_->start();
        if (!io_ || sink_->error() != QAudio::NoError) {
            sink_.reset();
            io_ = nullptr;
        }
    }

    bool opened() const { return sink_ != nullptr; }

    size_t framesWanted() override {
        if (!sink_) return 0;
        const qsizetype queued = sink_->bufferSize() - sink_->bytesFree();
        const qsizetype room = std::min<qsizetype>(sink_->bytesFree(), kLeadFrames * kBytesPerFrame - queued);
        return room > 0 ? size_t(room / kBytesPerFrame) : 0;
    }

    void write(std::span<const int16_t> frames) override {
        if (io_) io_->write(reinterpret_cast<const char*>(frames.data()), qint64(frames.size_bytes()));
    }

    bool healthy() const override {
        return sink_ && (sink_->error() == QAudio::NoError || sink_->error() == QAudio::UnderrunError);
    }

private:
    std::unique_ptr<QAudioSink> sink_;
    QIODevice* io_ = nullptr;  // owned by the sink
};

// Qt Multimedia warns when it finds no sound server; a machine without sound is normal here,
// so its messages are held back while the device is looked for and opened.
void quietMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

}  // namespace

std::unique_ptr<AudioSinkPort> openDeviceSink() {
    const QtMessageHandler previous = qInstallMessageHandler(quietMessage);
    std::unique_ptr<DeviceSink> sink;
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (!device.isNull()) sink = std::make_unique<DeviceSink>(device);
    qInstallMessageHandler(previous);
    if (!sink || !sink->opened()) return nullptr;
    return sink;
}

}  // namespace swf::media
