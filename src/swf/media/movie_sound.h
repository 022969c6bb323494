#pragma once
// MovieSound: the sound of one player. It decodes each sound once, starts and stops them
// in the process mixer as the timelines and buttons ask, and keeps every timeline's stream
// sound in step with the frames that timeline shows.
#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <span>

#include "swf/media/mixer.h"

namespace swf::media {

// Sounds are named by their character id; ids from 65536 up are free for sounds that do
// not come from the movie's own tags (files a script loaded).
class MovieSound {
public:
    MovieSound();
    ~MovieSound();
    MovieSound(const MovieSound&) = delete;
    MovieSound& operator=(const MovieSound&) = delete;

    // Decodes the sound on a worker now, so that its first start does not wait for it on the
    // caller's thread. `owner` keeps the definition alive until the worker is done with it.
    void prefetch(int id, const SoundDef& sound, std::shared_ptr<const void> owner);

    // A hidden control is silent.
    void setAudible(bool audible);

    // StartSound and button sounds: the sound `id` with its start info. Returns the voice,
    // 0 when nothing started (no-multiple and already playing, a stop, or no sound).
    Mixer::VoiceId start(int id, const SoundDef& sound, const SoundInfo& info,
                         std::function<void()> onFinished = {});
    void stop(int id);
    void stopAll();
    bool isPlaying(int id) const;
    // Length of a sound in milliseconds, decoded (and kept) on first ask.
    double durationMs(int id, const SoundDef& sound);

    // For the script Sound object: one started sound (the voice start() gave), and the
    // volume and pan of everything this movie plays.
    void stopVoice(Mixer::VoiceId voice);
    bool isVoicePlaying(Mixer::VoiceId voice) const;
    double positionMs(Mixer::VoiceId voice) const;  // within the current loop
    void setVoiceTransform(Mixer::VoiceId voice, const SoundTransform& transform);
    void setTransform(const SoundTransform& transform);

    // A timeline with a stream head reached `frame`; `block` is that frame's stream data
    // (empty when the frame has none). `timeline` only tells timelines apart.
    void streamFrame(const void* timeline, const StreamHead& head, int frame, std::span<const uint8_t> block);
    // The timeline is gone or stopped: its stream ends.
    void streamStop(const void* timeline);

private:
    std::shared_ptr<const PcmFrames> decoded(int id, const SoundDef& sound);

    struct Stream;
    Mixer::Group group_;
    std::map<int, std::shared_ptr<const PcmFrames>> decoded_;
    std::map<int, std::shared_future<std::shared_ptr<const PcmFrames>>> decoding_;
    std::shared_ptr<std::atomic<bool>> closing_ = std::make_shared<std::atomic<bool>>(false);
    size_t decodedBytes_ = 0;
    std::map<const void*, std::unique_ptr<Stream>> streams_;
};

// Decoded sound kept per player; past it, sounds are decoded again each time they start.
inline constexpr size_t kMaxDecodedSoundBytes = 128u << 20;

}  // namespace swf::media
