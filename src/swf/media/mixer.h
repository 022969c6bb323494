#pragma once
// Mixer: the one mixer of the process. Every player's sounds (event sounds, button sounds,
// stream sounds) are voices here, summed into 44,100 Hz stereo 16-bit and written to one
// output. The output is the sound device through Qt Multimedia when there is one; with no
// device it plays nothing and says nothing. Offline, the caller pulls the mix itself (the
// headless tools write it to a WAV file).
#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <vector>

#include "swf/media/audio_decode.h"
#include "swf/media/media_tags.h"

namespace swf::media {

// Where the mix goes: the sound device, or a stand-in for measuring.
class AudioSinkPort {
public:
    virtual ~AudioSinkPort() = default;
    // Frames that can be written now without going past the output's latency target.
    virtual size_t framesWanted() = 0;
    virtual void write(std::span<const int16_t> frames) = 0;
    // False once the output failed; the mixer then drops it.
    virtual bool healthy() const { return true; }
};

// A volume transform: how much of each source side goes to each output side (1 = all).
struct SoundTransform {
    double leftToLeft = 1, rightToLeft = 0, leftToRight = 0, rightToRight = 1;
    double volume = 1;
};

// Voices playing at once in the process; a sound started past this is not played.
inline constexpr size_t kMaxVoices = 96;

class Mixer : public QObject {
    Q_OBJECT
public:
    static Mixer& instance();

    using Group = uint64_t;  // the voices of one player
    using VoiceId = uint64_t;

    Group addGroup();
    void removeGroup(Group group);  // stops its voices
    void setGroupAudible(Group group, bool audible);
    void setGroupTransform(Group group, const SoundTransform& transform);

    // An event sound from its decoded frames. `key` tells sounds apart within the group
    // (the character id); `onFinished` runs after the mix in which the sound ended.
    // Returns 0 (nothing started) past kMaxVoices.
    VoiceId startSound(Group group, int key, std::shared_ptr<const PcmFrames> frames, const SoundInfo& info,
                       std::function<void()> onFinished = {});
    void stopVoice(VoiceId voice);
    void stopSound(Group group, int key);  // every voice of that sound
    void stopGroup(Group group);
    bool isPlaying(Group group, int key) const;
    bool isVoicePlaying(VoiceId voice) const;
    // Frames of the sound played by the voice (within the current loop), 0 when gone.
    size_t voicePosition(VoiceId voice) const;
    void setVoiceTransform(VoiceId voice, const SoundTransform& transform);

    // A stream: frames appended as the timeline reaches them, played as they come.
    VoiceId openStream(Group group);
    void feedStream(VoiceId stream, std::span<const int16_t> frames);
    size_t streamBacklog(VoiceId stream) const;  // frames queued and not yet played
    void dropStreamFrames(VoiceId stream, size_t frames);  // from the oldest

    // Offline: no device is opened and nothing is pumped; the caller pulls with mix().
    void setOffline(bool offline);
    bool offline() const { return offline_; }
    // Sums every voice into `out` (interleaved stereo) and moves them on.
    void mix(std::span<int16_t> out);

    // Replaces the output (the benchmark's measuring sink); null goes back to the device.
    void setSink(std::unique_ptr<AudioSinkPort> sink);
    bool hasOutput() const { return sink_ != nullptr; }

    // From a sound's start to the write that carried its first frame into the sink.
    struct Latency {
        int count = 0;
        double lastMs = 0, worstMs = 0;
    };
    Latency startLatency() const { return latency_; }
    size_t voiceCount() const { return voices_.size(); }

private:
    Mixer();
    ~Mixer() override;

    struct Voice {
        VoiceId id = 0;
        Group group = 0;
        int key = 0;
        bool stream = false;
        std::shared_ptr<const PcmFrames> frames;  // event sounds
        std::deque<int16_t> queued;                // streams
        size_t begin = 0, end = 0, position = 0;   // event sounds: the played range and where
        int loopsLeft = 1;
        size_t played = 0;  // since the start, over all loops: the envelope's clock
        std::vector<EnvelopePoint> envelope;
        SoundTransform transform;
        std::function<void()> onFinished;
        std::chrono::steady_clock::time_point requested;
        bool firstFrameOut = false;
        bool finished = false;
    };
    struct GroupState {
        bool audible = true;
        SoundTransform transform;
    };

    void mixVoice(Voice& voice, const GroupState& group, std::span<int32_t> sum);
    void ensureOutput();
    void pump();
    Voice* find(VoiceId id);
    const Voice* find(VoiceId id) const;

    std::vector<std::unique_ptr<Voice>> voices_;
    std::map<Group, GroupState> groups_;
    Group nextGroup_ = 1;
    VoiceId nextVoice_ = 1;
    bool offline_ = false;
    bool deviceTried_ = false;
    std::unique_ptr<AudioSinkPort> sink_;
    QTimer pumpTimer_;
    int quietPumps_ = 0;
    std::vector<int16_t> scratch_;
    std::vector<int32_t> sum_;
    Latency latency_;
};

// Collects the mix frame by frame for a WAV file, as the headless tools run a movie.
class AudioCapture {
public:
    explicit AudioCapture(double frameRate);
    // Mixes one frame's worth of sound.
    void captureFrame();
    const std::vector<int16_t>& frames() const { return captured_; }
    bool save(const std::string& path) const;

private:
    double framesPerTick_;
    double due_ = 0;
    std::vector<int16_t> captured_;
};

// A WAV file of 44,100 Hz stereo 16-bit frames.
bool writeWav(const std::string& path, std::span<const int16_t> frames);
// Reads a 16-bit PCM WAV file back; false when it is not one.
bool readWav(const std::string& path, std::vector<int16_t>& frames, int& rate, int& channels);

}  // namespace swf::media
