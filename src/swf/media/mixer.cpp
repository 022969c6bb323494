// The process-wide mixer.
#include "swf/media/mixer.h"

#include <QFile>
#include <algorithm>
#include <cmath>

namespace swf::media {

std::unique_ptr<AudioSinkPort> openDeviceSink();  // device_sink.cpp

namespace {
constexpr int kPumpMs = 10;
// Pumps with nothing left to play before the pump sleeps.
constexpr int kQuietPumpsBeforeSleep = 20;
}  // namespace

Mixer& Mixer::instance() {
    static Mixer mixer;
    return mixer;
}

Mixer::Mixer() {
    pumpTimer_.setTimerType(Qt::PreciseTimer);
    pumpTimer_.setInterval(kPumpMs);
    connect(&pumpTimer_, &QTimer::timeout, this, &Mixer::pump);
}

Mixer::~Mixer() = default;

Mixer::Group Mixer::addGroup() {
    Group g = nextGroup_++;
    groups_[g] = GroupState{};
    return g;
}

void Mixer::removeGroup(Group group) {
    stopGroup(group);
    groups_.erase(group);
}

void Mixer::setGroupAudible(Group group, bool audible) {
    auto it = groups_.find(group);
    if (it != groups_.end()) it->second.audible = audible;
}

void Mixer::setGroupTransform(Group group, const SoundTransform& transform) {
    auto it = groups_.find(group);
    if (it != groups_.end()) it->second.transform = transform;
}

Mixer::Voice* Mixer::find(VoiceId id) {
    for (auto& v : voices_)
        if (v->id == id && !v->finished) return v.get();
    return nullptr;
}

const Mixer::Voice* Mixer::find(VoiceId id) const {
    for (const auto& v : voices_)
        if (v->id == id && !v->finished) return v.get();
    return nullptr;
}

Mixer::VoiceId Mixer::startSound(Group group, int key, std::shared_ptr<const PcmFrames> frames,
                                 const SoundInfo& info, std::function<void()> onFinished) {
    if (!frames || !groups_.count(group) || voices_.size() >= kMaxVoices) return 0;
    ensureOutput();
    // No device: nothing would ever play it out, and a voice kept would never end.
    if (!sink_ && !offline_) return 0;
    auto voice = std::make_unique<Voice>();
    voice->id = nextVoice_++;
    voice->group = group;
    voice->key = key;
    const size_t length = frames->size() / 2;
    voice->begin = std::min<size_t>(info.inPoint.value_or(0), length);
    voice->end = std::clamp<size_t>(info.outPoint.value_or(length), voice->begin, length);
    voice->position = voice->begin;
    voice->loopsLeft = std::max<int>(1, info.loops);
    voice->envelope = info.envelope;
    voice->frames = std::move(frames);
    voice->onFinished = std::move(onFinished);
    voice->requested = std::chrono::steady_clock::now();
    VoiceId id = voice->id;
    voices_.push_back(std::move(voice));
    ensureOutput();
    if (sink_) {
        pump();  // the first frames go out now, not at the next tick
        if (!pumpTimer_.isActive()) pumpTimer_.start();
    }
    return id;
}

void Mixer::stopVoice(VoiceId id) {
    if (Voice* v = find(id)) v->finished = true, v->onFinished = {};
}

void Mixer::stopSound(Group group, int key) {
    for (auto& v : voices_)
        if (v->group == group && v->key == key && !v->stream) v->finished = true, v->onFinished = {};
}

void Mixer::stopGroup(Group group) {
    for (auto& v : voices_)
        if (v->group == group) v->finished = true, v->onFinished = {};
    std::erase_if(voices_, [](const auto& v) { return v->finished; });
}

bool Mixer::isPlaying(Group group, int key) const {
    return std::any_of(voices_.begin(), voices_.end(), [&](const auto& v) {
        return v->group == group && v->key == key && !v->stream && !v->finished;
    });
}

bool Mixer::isVoicePlaying(VoiceId voice) const { return find(voice) != nullptr; }

size_t Mixer::voicePosition(VoiceId id) const {
    const Voice* v = find(id);
    return v && !v->stream ? v->position - v->begin : 0;
}

void Mixer::setVoiceTransform(VoiceId id, const SoundTransform& transform) {
    if (Voice* v = find(id)) v->transform = transform;
}

Mixer::VoiceId Mixer::openStream(Group group) {
    if (!groups_.count(group) || voices_.size() >= kMaxVoices) return 0;
    auto voice = std::make_unique<Voice>();
    voice->id = nextVoice_++;
    voice->group = group;
    voice->stream = true;
    voice->requested = std::chrono::steady_clock::now();
    VoiceId id = voice->id;
    voices_.push_back(std::move(voice));
    return id;
}

void Mixer::feedStream(VoiceId id, std::span<const int16_t> frames) {
    Voice* v = find(id);
    if (!v || !v->stream || frames.empty()) return;
    v->queued.insert(v->queued.end(), frames.begin(), frames.end());
    ensureOutput();
    if (sink_ && !pumpTimer_.isActive()) {
        pump();
        pumpTimer_.start();
    }
}

size_t Mixer::streamBacklog(VoiceId id) const {
    const Voice* v = find(id);
    return v ? v->queued.size() / 2 : 0;
}

void Mixer::dropStreamFrames(VoiceId id, size_t frames) {
    Voice* v = find(id);
    if (!v) return;
    const size_t n = std::min(v->queued.size(), frames * 2);
    v->queued.erase(v->queued.begin(), v->queued.begin() + std::ptrdiff_t(n));
}

namespace {

// The envelope's level (0..1) for each side at `position`, straight lines between points.
void envelopeAt(const std::vector<EnvelopePoint>& envelope, size_t position, double& left, double& right) {
    if (envelope.empty()) {
        left = right = 1;
        return;
    }
    if (position <= envelope.front().position) {
        left = envelope.front().left / 32768.0;
        right = envelope.front().right / 32768.0;
        return;
    }
    for (size_t i = 1; i < envelope.size(); ++i) {
        const EnvelopePoint& a = envelope[i - 1];
        const EnvelopePoint& b = envelope[i];
        if (position < b.position) {
            const double t = b.position > a.position ? double(position - a.position) / (b.position - a.position) : 1;
            left = (a.left + (b.left - a.left) * t) / 32768.0;
            right = (a.right + (b.right - a.right) * t) / 32768.0;
            return;
        }
    }
    left = envelope.back().left / 32768.0;
    right = envelope.back().right / 32768.0;
}

}  // namespace

void Mixer::mixVoice(Voice& v, const GroupState& group, std::span<int32_t> sum) {
    const size_t count = sum.size() / 2;
    const SoundTransform& t = v.transform;
    const SoundTransform& g = group.transform;
    const bool identity = v.envelope.empty() && t.volume == 1 && g.volume == 1 && t.leftToLeft == 1 &&
                          t.rightToRight == 1 && t.leftToRight == 0 && t.rightToLeft == 0 && g.leftToLeft == 1 &&
                          g.rightToRight == 1 && g.leftToRight == 0 && g.rightToLeft == 0;
    for (size_t i = 0; i < count; ++i) {
        int32_t left = 0, right = 0;
        if (v.stream) {
            if (v.queued.empty()) break;  // an underrun plays silence; the stream stays
            left = v.queued[0];
            right = v.queued[1];
            v.queued.pop_front();
            v.queued.pop_front();
        } else {
            if (v.position >= v.end) {
                if (--v.loopsLeft <= 0) {
                    v.finished = true;
                    break;
                }
                v.position = v.begin;
                if (v.position >= v.end) {
                    v.finished = true;
                    break;
                }
            }
            left = (*v.frames)[v.position * 2];
            right = (*v.frames)[v.position * 2 + 1];
            ++v.position;
        }
        if (!v.firstFrameOut) v.firstFrameOut = true;
        if (group.audible) {
            if (identity) {
                sum[i * 2] += left;
                sum[i * 2 + 1] += right;
            } else {
                double envLeft = 1, envRight = 1;
                envelopeAt(v.envelope, v.played, envLeft, envRight);
                const double l = left * envLeft, r = right * envRight;
                double outL = (l * t.leftToLeft + r * t.rightToLeft) * t.volume;
                double outR = (l * t.leftToRight + r * t.rightToRight) * t.volume;
                const double gl = (outL * g.leftToLeft + outR * g.rightToLeft) * g.volume;
                const double gr = (outL * g.leftToRight + outR * g.rightToRight) * g.volume;
                sum[i * 2] += int32_t(std::lrint(gl));
                sum[i * 2 + 1] += int32_t(std::lrint(gr));
            }
        }
        ++v.played;
    }
    // An event sound that just played its last frame ends now rather than a mix later.
    if (!v.stream && !v.finished && v.position >= v.end && v.loopsLeft <= 1) v.finished = true;
}

void Mixer::mix(std::span<int16_t> out) {
    sum_.assign(out.size(), 0);
    for (auto& v : voices_) {
        if (v->finished) continue;
        auto g = groups_.find(v->group);
        if (g == groups_.end()) {
            v->finished = true;
            continue;
        }
        mixVoice(*v, g->second, sum_);
    }
    for (size_t i = 0; i < out.size(); ++i) out[i] = int16_t(std::clamp<int32_t>(sum_[i], -32768, 32767));
    std::vector<std::function<void()>> finished;
    std::erase_if(voices_, [&](const auto& v) {
        if (!v->finished) return false;
        if (v->onFinished) finished.push_back(std::move(v->onFinished));
        return true;
    });
    for (auto& callback : finished) callback();
}

void Mixer::setOffline(bool offline) {
    offline_ = offline;
    if (offline) {
        pumpTimer_.stop();
        sink_.reset();
    }
}

void Mixer::setSink(std::unique_ptr<AudioSinkPort> sink) {
    sink_ = std::move(sink);
    deviceTried_ = sink_ != nullptr;
    if (!sink_) pumpTimer_.stop();
}

void Mixer::ensureOutput() {
    if (offline_ || sink_ || deviceTried_) return;
    deviceTried_ = true;  // one try per process: no device now means no sound, quietly
    sink_ = openDeviceSink();
}

void Mixer::pump() {
    if (!sink_) {
        pumpTimer_.stop();
        return;
    }
    if (!sink_->healthy()) {
        sink_.reset();
        pumpTimer_.stop();
        return;
    }
    const size_t wanted = sink_->framesWanted();
    if (wanted > 0) {
        scratch_.resize(wanted * 2);
        // The sounds whose first frame has not gone out yet, to time this write for them.
        std::vector<std::pair<VoiceId, std::chrono::steady_clock::time_point>> waiting;
        for (auto& v : voices_)
            if (!v->firstFrameOut && !v->stream) waiting.emplace_back(v->id, v->requested);
        mix(scratch_);
        sink_->write(scratch_);
        const auto now = std::chrono::steady_clock::now();
        for (const auto& [id, requested] : waiting) {
            const Voice* v = find(id);
            // Gone already (a sound shorter than the write) or started playing: it went out.
            if (!v || v->firstFrameOut) {
                const double ms = std::chrono::duration<double, std::milli>(now - requested).count();
                latency_.count++;
                latency_.lastMs = ms;
                latency_.worstMs = std::max(latency_.worstMs, ms);
            }
        }
    }
    // A stream with nothing queued is waiting for its timeline; feeding it wakes the pump.
    const bool busy = std::any_of(voices_.begin(), voices_.end(),
                                  [](const auto& v) { return !v->stream || !v->queued.empty(); });
    if (!busy) {
        if (++quietPumps_ > kQuietPumpsBeforeSleep) pumpTimer_.stop();
    } else {
        quietPumps_ = 0;
    }
}

// ---- Capture and WAV files ------------------------------------------------------------------

AudioCapture::AudioCapture(double frameRate) : framesPerTick_(kMixRate / std::clamp(frameRate, 0.01, 1000.0)) {}

void AudioCapture::captureFrame() {
    due_ += framesPerTick_;
    const size_t have = captured_.size() / 2;
    const size_t target = size_t(std::floor(due_ + 1e-9));
    if (target <= have) return;
    const size_t n = target - have;
    captured_.resize(target * 2);
    Mixer::instance().mix(std::span(captured_).subspan(have * 2, n * 2));
}

bool AudioCapture::save(const std::string& path) const { return writeWav(path, captured_); }

namespace {
void put32(QByteArray& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.append(char((v >> (8 * i)) & 0xFF));
}
void put16(QByteArray& b, uint16_t v) {
    b.append(char(v & 0xFF));
    b.append(char(v >> 8));
}
uint32_t get32(const QByteArray& b, qsizetype at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | uint8_t(b[at + i]);
    return v;
}
uint16_t get16(const QByteArray& b, qsizetype at) { return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8); }
}  // namespace

bool writeWav(const std::string& path, std::span<const int16_t> frames) {
    const uint32_t dataBytes = uint32_t(frames.size() * 2);
    QByteArray out;
    out.append("RIFF");
    put32(out, 36 + dataBytes);
    out.append("WAVEfmt ");
    put32(out, 16);
    put16(out, 1);  // PCM
    put16(out, 2);
    put32(out, kMixRate);
    put32(out, kMixRate * 4);
    put16(out, 4);
    put16(out, 16);
    out.append("data");
    put32(out, dataBytes);
    for (int16_t s : frames) put16(out, uint16_t(s));
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size();
}

bool readWav(const std::string& path, std::vector<int16_t>& frames, int& rate, int& channels) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray b = file.readAll();
    if (b.size() < 12 || !b.startsWith("RIFF") || b.mid(8, 4) != "WAVE") return false;
    qsizetype at = 12;
    bool haveFormat = false;
    while (at + 8 <= b.size()) {
        const QByteArray id = b.mid(at, 4);
        const qsizetype size = qsizetype(get32(b, at + 4));
        const qsizetype body = at + 8;
        if (size > b.size() - body) return false;
        if (id == "fmt " && size >= 16) {
            if (get16(b, body) != 1 || get16(b, body + 14) != 16) return false;
            channels = get16(b, body + 2);
            rate = int(get32(b, body + 4));
            haveFormat = true;
        } else if (id == "data" && haveFormat) {
            frames.resize(size_t(size / 2));
            for (size_t i = 0; i < frames.size(); ++i) frames[i] = int16_t(get16(b, body + qsizetype(i) * 2));
            return true;
        }
        at = body + size + (size & 1);
    }
    return false;
}

}  // namespace swf::media
