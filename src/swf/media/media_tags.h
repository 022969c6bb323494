#pragma once
// Sound and video as a movie stores them: the definitions, the start commands of event
// sounds, the stream blocks of a timeline and the frames of a video character. Plain
// data, filled by the tag parsers in media_parse.cpp and read by the decoders.
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace swf::media {

// The sound formats of the file, by their stored code.
enum class SoundCodec : uint8_t {
    PcmNativeEndian = 0,  // written by little-endian machines in practice
    Adpcm = 1,
    Mp3 = 2,
    PcmLittleEndian = 3,
    Nellymoser16k = 4,
    Nellymoser8k = 5,
    Nellymoser = 6,
    Speex = 11,
};

struct SoundFormat {
    SoundCodec codec = SoundCodec::PcmLittleEndian;
    int rate = 44100;  // samples per second of the stored data
    bool sixteenBit = true;
    bool stereo = false;
    // Reads the format byte shared by DefineSound and SoundStreamHead.
    static SoundFormat fromBits(unsigned codec, unsigned rateCode, bool sixteenBit, bool stereo);
};

struct SoundDef {
    SoundFormat format;
    uint32_t sampleCount = 0;  // per channel, at the stored rate
    int seekSamples = 0;       // MP3: samples to drop at the start (encoder delay)
    std::vector<uint8_t> data; // MP3: the frames only
};

// Positions are in samples at 44,100 per second, whatever the sound's own rate.
struct EnvelopePoint {
    uint32_t position = 0;
    uint16_t left = 32768, right = 32768;  // 32768 is full level
};

// SOUNDINFO of StartSound, StartSound2 and DefineButtonSound.
struct SoundInfo {
    bool syncStop = false;    // stop every instance of the sound
    bool noMultiple = false;  // do not start when it is already playing
    std::optional<uint32_t> inPoint, outPoint;
    uint16_t loops = 1;
    std::vector<EnvelopePoint> envelope;
};

struct StartSoundCommand {
    uint16_t soundId = 0;
    std::string className;  // StartSound2: the sound by its exported class name
    SoundInfo info;
};

// SoundStreamHead(2): the format of the stream blocks of one timeline.
struct StreamHead {
    SoundFormat format;
    uint16_t samplesPerBlock = 0;
    int latencySeek = 0;  // MP3 only
};

// One SoundStreamBlock: the sound for one frame of its timeline.
struct StreamBlockCommand {
    std::shared_ptr<const std::vector<uint8_t>> data;  // MP3: SampleCount, SeekSamples and frames
};

// The four transitions of DefineButtonSound, in stored order.
enum ButtonSoundSlot { kOverToUp = 0, kUpToOver = 1, kOverToDown = 2, kDownToOver = 3 };
using ButtonSounds = std::array<std::optional<StartSoundCommand>, 4>;

enum class VideoCodec : uint8_t { SorensonH263 = 2, ScreenVideo = 3, Vp6 = 4, Vp6Alpha = 5, ScreenVideo2 = 6 };

struct VideoStreamDef {
    uint16_t frameCount = 0;
    uint16_t width = 0, height = 0;
    uint8_t deblocking = 0;  // 0 as the stream says, 1 off, 2..7 on at rising strength
    bool smoothing = false;
    uint8_t codec = 0;
    std::map<uint16_t, std::shared_ptr<const std::vector<uint8_t>>> frames;  // by frame number
};

}  // namespace swf::media
