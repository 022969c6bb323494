// The sound of one player.
#include "swf/media/movie_sound.h"

#include <QThreadPool>
#include <algorithm>

namespace swf::media {

struct MovieSound::Stream {
    explicit Stream(const StreamHead& h) : head(h), decoder(h) {}
    StreamHead head;
    StreamDecoder decoder;
    Mixer::VoiceId voice = 0;
    int lastFrame = -1;
};

MovieSound::MovieSound() : group_(Mixer::instance().addGroup()) {}

MovieSound::~MovieSound() {
    closing_->store(true);  // decodes not begun yet are skipped
    Mixer::instance().removeGroup(group_);
}

namespace {
// One worker for all players: decoding is short and the machine's cores are for drawing.
QThreadPool& decodePool() {
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;  // lives for the process: workers may run past any player
        p->setMaxThreadCount(1);
        p->setExpiryTimeout(2000);
        return p;
    }();
    return *pool;
}
}  // namespace

void MovieSound::prefetch(int id, const SoundDef& sound, std::shared_ptr<const void> owner) {
    if (decoded_.count(id) || decoding_.count(id)) return;
    const int rate = sound.format.rate > 0 ? sound.format.rate : kMixRate;
    const size_t frames = size_t(std::min<uint64_t>(uint64_t(sound.sampleCount) * kMixRate / uint64_t(rate) + 1, kMaxSoundFrames));
    const size_t bytes = frames * 2 * sizeof(int16_t);
    if (decodedBytes_ + bytes > kMaxDecodedSoundBytes) return;  // decoded at its start instead
    decodedBytes_ += bytes;
    auto promise = std::make_shared<std::promise<std::shared_ptr<const PcmFrames>>>();
    decoding_.emplace(id, promise->get_future().share());
    decodePool().start([promise, definition = &sound, owner = std::move(owner), closing = closing_] {
        if (closing->load()) {
            promise->set_value(std::make_shared<const PcmFrames>());
            return;
        }
        promise->set_value(std::make_shared<const PcmFrames>(decodeSound(*definition)));
    });
}

void MovieSound::setAudible(bool audible) { Mixer::instance().setGroupAudible(group_, audible); }

std::shared_ptr<const PcmFrames> MovieSound::decoded(int id, const SoundDef& sound) {
    auto it = decoded_.find(id);
    if (it != decoded_.end()) return it->second;
    if (auto pending = decoding_.find(id); pending != decoding_.end()) {
        // Started before the worker got to it: wait for the worker rather than decode twice.
        auto frames = pending->second.get();
        decoding_.erase(pending);
        decoded_.emplace(id, frames);
        return frames;
    }
    auto frames = std::make_shared<const PcmFrames>(decodeSound(sound));
    const size_t bytes = frames->size() * sizeof(int16_t);
    if (decodedBytes_ + bytes <= kMaxDecodedSoundBytes) {
        decodedBytes_ += bytes;
        decoded_.emplace(id, frames);
    }
    return frames;
}

Mixer::VoiceId MovieSound::start(int id, const SoundDef& sound, const SoundInfo& info,
                                 std::function<void()> onFinished) {
    Mixer& mixer = Mixer::instance();
    if (info.syncStop) {
        mixer.stopSound(group_, id);
        return 0;
    }
    if (info.noMultiple && mixer.isPlaying(group_, id)) return 0;
    return mixer.startSound(group_, id, decoded(id, sound), info, std::move(onFinished));
}

void MovieSound::stop(int id) { Mixer::instance().stopSound(group_, id); }

void MovieSound::stopAll() {
    Mixer::instance().stopGroup(group_);
    streams_.clear();
}

bool MovieSound::isPlaying(int id) const { return Mixer::instance().isPlaying(group_, id); }

double MovieSound::durationMs(int id, const SoundDef& sound) {
    return double(decoded(id, sound)->size() / 2) * 1000.0 / kMixRate;
}

void MovieSound::stopVoice(Mixer::VoiceId voice) { Mixer::instance().stopVoice(voice); }

bool MovieSound::isVoicePlaying(Mixer::VoiceId voice) const { return Mixer::instance().isVoicePlaying(voice); }

double MovieSound::positionMs(Mixer::VoiceId voice) const {
    return double(Mixer::instance().voicePosition(voice)) * 1000.0 / kMixRate;
}

void MovieSound::setVoiceTransform(Mixer::VoiceId voice, const SoundTransform& transform) {
    Mixer::instance().setVoiceTransform(voice, transform);
}

void MovieSound::setTransform(const SoundTransform& transform) { Mixer::instance().setGroupTransform(group_, transform); }

void MovieSound::streamFrame(const void* timeline, const StreamHead& head, int frame,
                             std::span<const uint8_t> block) {
    Mixer& mixer = Mixer::instance();
    auto& stream = streams_[timeline];
    const bool inStep = stream && stream->lastFrame + 1 == frame && mixer.isVoicePlaying(stream->voice);
    if (!inStep) {
        // A jump (or the first frame): the stream starts again from this frame's block.
        if (stream) mixer.stopVoice(stream->voice);
        if (block.empty()) {
            streams_.erase(timeline);
            return;
        }
        stream = std::make_unique<Stream>(head);
        stream->voice = mixer.openStream(group_);
    }
    stream->lastFrame = frame;
    if (block.empty()) return;
    PcmFrames pcm;
    stream->decoder.decodeBlock(block, pcm);
    // The sound follows the frames: when the timeline has been shown faster than the sound
    // plays, what is more than a few frames behind is dropped so picture and sound agree.
    const size_t blockFrames = std::max<size_t>(pcm.size() / 2, kMixRate / 60);
    const size_t backlog = mixer.streamBacklog(stream->voice);
    if (backlog > blockFrames * 3) mixer.dropStreamFrames(stream->voice, backlog - blockFrames * 2);
    mixer.feedStream(stream->voice, pcm);
}

void MovieSound::streamStop(const void* timeline) {
    auto it = streams_.find(timeline);
    if (it == streams_.end()) return;
    Mixer::instance().stopVoice(it->second->voice);
    streams_.erase(it);
}

}  // namespace swf::media
