// The writer's sound and video tags: DefineSound, StartSound(2), DefineButtonSound,
// SoundStreamHead2, SoundStreamBlock, DefineVideoStream and VideoFrame; and ExportAssets.
#include "swf/writer/swf_writer.h"

#include <algorithm>

namespace swf::writer {

namespace {

enum SoundTag : uint16_t {
    kDefineSound = 14,
    kStartSound = 15,
    kDefineButtonSound = 17,
    kSoundStreamBlock = 19,
    kSoundStreamHead2 = 45,
    kStartSound2 = 89,
    kExportAssets = 56,
    kDefineVideoStream = 60,
    kVideoFrame = 61,
};

void put16(QByteArray& out, uint32_t v) {
    out.append(char(v & 0xFF));
    out.append(char((v >> 8) & 0xFF));
}
void put32(QByteArray& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

uint8_t formatByte(const SoundFormat& f) {
    const int rateCode = f.rate <= 5512 ? 0 : f.rate <= 11025 ? 1 : f.rate <= 22050 ? 2 : 3;
    return uint8_t((uint8_t(f.codec) & 0x0F) << 4 | rateCode << 2 | (f.sixteenBit ? 2 : 0) | (f.stereo ? 1 : 0));
}

void appendSoundInfo(QByteArray& out, const SoundStart& s) {
    uint8_t flags = 0;
    if (s.syncStop) flags |= 0x20;
    if (s.noMultiple) flags |= 0x10;
    if (!s.envelope.empty()) flags |= 0x08;
    if (s.loops) flags |= 0x04;
    if (s.outPoint) flags |= 0x02;
    if (s.inPoint) flags |= 0x01;
    out.append(char(flags));
    if (s.inPoint) put32(out, *s.inPoint);
    if (s.outPoint) put32(out, *s.outPoint);
    if (s.loops) put16(out, *s.loops);
    if (!s.envelope.empty()) {
        out.append(char(std::min<size_t>(s.envelope.size(), 255)));
        for (size_t i = 0; i < s.envelope.size() && i < 255; ++i) {
            put32(out, s.envelope[i].position);
            put16(out, s.envelope[i].left);
            put16(out, s.envelope[i].right);
        }
    }
}

}  // namespace

void Timeline::startSound(uint16_t soundId, const SoundStart& start) {
    QByteArray body;
    put16(body, soundId);
    appendSoundInfo(body, start);
    appendTag(kStartSound, body);
}

void Timeline::startSound2(const QString& className, const SoundStart& start) {
    QByteArray body = className.toUtf8();
    body.append('\0');
    appendSoundInfo(body, start);
    appendTag(kStartSound2, body);
}

void Timeline::soundStreamHead(const SoundFormat& format, uint16_t samplesPerBlock, int16_t latencySeek) {
    QByteArray body;
    body.append(char(formatByte(format)));
    body.append(char(formatByte(format)));
    put16(body, samplesPerBlock);
    if (format.codec == SoundFormat::Mp3) put16(body, uint16_t(latencySeek));
    appendTag(kSoundStreamHead2, body);
}

void Timeline::soundStreamBlock(const QByteArray& data) { appendTag(kSoundStreamBlock, data, true); }

void Timeline::videoFrame(uint16_t streamId, uint16_t frame, const QByteArray& data) {
    QByteArray body;
    put16(body, streamId);
    put16(body, frame);
    body.append(data);
    appendTag(kVideoFrame, body, true);
}

uint16_t MovieWriter::defineVideoStream(uint16_t frameCount, QSize size, uint8_t codec, uint8_t deblocking,
                                        bool smoothing) {
    const uint16_t id = nextId();
    QByteArray body;
    put16(body, id);
    put16(body, frameCount);
    put16(body, uint32_t(size.width()));
    put16(body, uint32_t(size.height()));
    body.append(char((deblocking & 7) << 1 | (smoothing ? 1 : 0)));
    body.append(char(codec));
    appendTag(kDefineVideoStream, body);
    return id;
}

uint16_t MovieWriter::defineSound(const SoundFormat& format, uint32_t sampleCount, const QByteArray& data,
                                  int16_t seekSamples) {
    const uint16_t id = nextId();
    QByteArray body;
    put16(body, id);
    body.append(char(formatByte(format)));
    put32(body, sampleCount);
    if (format.codec == SoundFormat::Mp3) put16(body, uint16_t(seekSamples));
    body.append(data);
    appendTag(kDefineSound, body, true);
    return id;
}

void MovieWriter::exportAsset(uint16_t id, const QString& name) {
    QByteArray body;
    put16(body, 1);
    put16(body, id);
    body.append(name.toUtf8());
    body.append('\0');
    appendTag(kExportAssets, body);
}

void MovieWriter::defineButtonSound(uint16_t buttonId, const ButtonSound& overToUp, const ButtonSound& upToOver,
                                    const ButtonSound& overToDown, const ButtonSound& downToOver) {
    QByteArray body;
    put16(body, buttonId);
    for (const ButtonSound* s : {&overToUp, &upToOver, &overToDown, &downToOver}) {
        put16(body, s->soundId);
        if (s->soundId) appendSoundInfo(body, s->start);
    }
    appendTag(kDefineButtonSound, body);
}

}  // namespace swf::writer
