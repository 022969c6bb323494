#pragma once
// Sound decoding with libavcodec (MP3, the SWF flavour of ADPCM, Nellymoser and plain
// PCM all go through it, so one code path handles every format) and libswresample for
// rates other than the mixer's. Everything comes out as the mixer's format.
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "swf/media/media_tags.h"

namespace swf::media {

// The mixer's format: interleaved stereo, signed 16-bit, 44,100 frames per second.
inline constexpr int kMixRate = 44100;
using PcmFrames = std::vector<int16_t>;  // left, right, left, right, ...

// Keeps libavcodec from printing about broken data, which is ordinary input here.
void quietDecoderLogs();

// Longest sound decoded: a longer one is cut here.
inline constexpr size_t kMaxSoundFrames = size_t(kMixRate) * 60 * 5;

// Decodes one event sound. Data that stops decoding (a corrupt MP3 frame, say) ends
// the sound there; data that decodes to nothing gives an empty sound.
PcmFrames decodeSound(const SoundDef& sound, size_t maxFrames = kMaxSoundFrames);

// Decodes the blocks of one sound stream in order, keeping the decoder's state between
// them (MP3 frames lean on the ones before).
class StreamDecoder {
public:
    explicit StreamDecoder(const StreamHead& head);
    ~StreamDecoder();
    StreamDecoder(const StreamDecoder&) = delete;
    StreamDecoder& operator=(const StreamDecoder&) = delete;

    // Appends the decoded block to `out`.
    void decodeBlock(std::span<const uint8_t> block, PcmFrames& out);
    // Forgets what came before, for a jump in the timeline.
    void reset();

private:
    struct State;
    StreamHead head_;
    std::unique_ptr<State> state_;
};

}  // namespace swf::media
