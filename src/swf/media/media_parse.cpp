// Readers of the sound and video tags.
#include "swf/media/media_parse.h"

namespace swf::media {

SoundFormat SoundFormat::fromBits(unsigned codec, unsigned rateCode, bool sixteenBit, bool stereo) {
    static constexpr int kRates[4] = {5512, 11025, 22050, 44100};
    SoundFormat f;
    f.codec = SoundCodec(codec);
    f.rate = kRates[rateCode & 3];
    f.sixteenBit = sixteenBit;
    f.stereo = stereo;
    // Nellymoser at fixed rates says so in its codec number, whatever the rate bits say.
    if (f.codec == SoundCodec::Nellymoser8k) f.rate = 8000, f.stereo = false;
    if (f.codec == SoundCodec::Nellymoser16k) f.rate = 16000, f.stereo = false;
    return f;
}

namespace {

SoundFormat readFormatByte(ByteReader& r) {
    unsigned codec = r.ub(4), rate = r.ub(2);
    bool sixteen = r.flag(), stereo = r.flag();
    return SoundFormat::fromBits(codec, rate, sixteen, stereo);
}

}  // namespace

SoundDef parseDefineSound(ByteReader& body, uint16_t& id) {
    id = body.u16();
    SoundDef sound;
    sound.format = readFormatByte(body);
    sound.sampleCount = body.u32();
    if (sound.format.codec == SoundCodec::Mp3) sound.seekSamples = body.s16();
    auto rest = body.rest();
    sound.data.assign(rest.begin(), rest.end());
    return sound;
}

SoundInfo parseSoundInfo(ByteReader& body) {
    SoundInfo info;
    body.ub(2);  // reserved
    info.syncStop = body.flag();
    info.noMultiple = body.flag();
    bool hasEnvelope = body.flag(), hasLoops = body.flag(), hasOut = body.flag(), hasIn = body.flag();
    if (hasIn) info.inPoint = body.u32();
    if (hasOut) info.outPoint = body.u32();
    if (hasLoops) info.loops = body.u16();
    if (hasEnvelope) {
        uint32_t points = body.u8();
        for (uint32_t i = 0; i < points; ++i) {
            EnvelopePoint p;
            p.position = body.u32();
            p.left = body.u16();
            p.right = body.u16();
            if (i < kMaxEnvelopePoints) info.envelope.push_back(p);
        }
    }
    return info;
}

StartSoundCommand parseStartSound(ByteReader& body, bool byClassName) {
    StartSoundCommand start;
    if (byClassName) start.className = body.cstring();
    else start.soundId = body.u16();
    start.info = parseSoundInfo(body);
    return start;
}

ButtonSounds parseButtonSound(ByteReader& body, uint16_t& buttonId) {
    buttonId = body.u16();
    ButtonSounds sounds;
    for (auto& slot : sounds) {
        if (body.remaining() < 2) break;
        uint16_t soundId = body.u16();
        if (soundId == 0) continue;
        StartSoundCommand start;
        start.soundId = soundId;
        start.info = parseSoundInfo(body);
        slot = std::move(start);
    }
    return sounds;
}

StreamHead parseStreamHead(ByteReader& body) {
    body.u8();  // the playback format: the stream format below decides
    StreamHead head;
    head.format = readFormatByte(body);
    head.samplesPerBlock = body.u16();
    if (head.format.codec == SoundCodec::Mp3 && body.remaining() >= 2) head.latencySeek = body.s16();
    return head;
}

VideoStreamDef parseDefineVideoStream(ByteReader& body, uint16_t& id) {
    id = body.u16();
    VideoStreamDef video;
    video.frameCount = body.u16();
    video.width = body.u16();
    video.height = body.u16();
    body.ub(4);  // reserved
    video.deblocking = uint8_t(body.ub(3));
    video.smoothing = body.flag();
    video.codec = body.u8();
    if (video.width > kMaxVideoSide || video.height > kMaxVideoSide) throw MalformedMovie("video too large");
    return video;
}

void parseVideoFrame(ByteReader& body, uint16_t& streamId, uint16_t& frame, std::vector<uint8_t>& data) {
    streamId = body.u16();
    frame = body.u16();
    auto rest = body.rest();
    data.assign(rest.begin(), rest.end());
}

}  // namespace swf::media
