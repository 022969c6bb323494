// The player's side of the script Sound object: exported sounds started in the movie's
// mixer group, and the volume and pan of each clip a Sound speaks for.
#include <QString>
#include <algorithm>
#include <climits>
#include <cmath>
#include <filesystem>

#include "swf/media/mp3_file.h"

#include "swf/media/movie_sound.h"
#include "swf/player.h"
#include "swf/script_host.h"

namespace swf {

namespace {

// What scripts may load: one file's size, the files a movie keeps and their bytes together.
constexpr uintmax_t kMaxSoundFileBytes = 32u << 20;
constexpr size_t kMaxLoadedSounds = 256;
constexpr size_t kMaxLoadedSoundBytes = 128u << 20;

// Script percentages to the mixer's factors. Scripts may store anything; the mixer gets a
// volume of 0..100% and channel factors of -100..100%.
media::SoundTransform mixerTransform(const avm1::SoundTransformValues& v) {
    auto factor = [](int percent, int low) { return std::clamp(percent, low, 100) / 100.0; };
    media::SoundTransform t;
    t.volume = factor(v.volume, 0);
    t.leftToLeft = factor(v.leftToLeft, -100);
    t.leftToRight = factor(v.leftToRight, -100);
    t.rightToLeft = factor(v.rightToLeft, -100);
    t.rightToRight = factor(v.rightToRight, -100);
    return t;
}

}  // namespace

avm1::SoundTransformValues ScriptHost::soundTransform(avm1::DisplayId target) {
    auto it = soundTransforms_.find(target);
    return it == soundTransforms_.end() ? avm1::SoundTransformValues{} : it->second;
}

void ScriptHost::setSoundTransform(avm1::DisplayId target, const avm1::SoundTransformValues& values) {
    soundTransforms_[target] = values;
    const media::SoundTransform mixed = mixerTransform(values);
    if (target == avm1::kNoDisplay) {
        player_.sounds().setTransform(mixed);
        return;
    }
    std::erase_if(scriptVoices_, [&](const auto& entry) { return !player_.sounds().isVoicePlaying(entry.first); });
    for (const auto& [handle, voice] : scriptVoices_)
        if (voice.target == target) player_.sounds().setVoiceTransform(handle, mixed);
}

std::optional<double> ScriptHost::soundDuration(avm1::DisplayId, std::string_view linkage) {
    const media::SoundDef* sound = player_.exportedSound(QString::fromUtf8(linkage.data(), qsizetype(linkage.size())));
    if (!sound) return std::nullopt;
    const int rate = sound->format.rate > 0 ? sound->format.rate : 44100;
    return double(sound->sampleCount) * 1000.0 / rate;
}

avm1::SoundHandle ScriptHost::startSound(avm1::DisplayId target, std::string_view linkage, double offsetSeconds,
                                         int loops) {
    uint16_t id = 0;
    const media::SoundDef* sound =
        player_.exportedSound(QString::fromUtf8(linkage.data(), qsizetype(linkage.size())), &id);
    if (!sound) return 0;
    return startScriptVoice(target, id, *sound, offsetSeconds, loops);
}

avm1::SoundHandle ScriptHost::startScriptVoice(avm1::DisplayId target, int id, const media::SoundDef& sound,
                                               double offsetSeconds, int loops) {
    media::SoundInfo info;
    info.loops = uint16_t(std::clamp(loops, 1, 65535));
    if (offsetSeconds > 0)
        info.inPoint = uint32_t(std::min(offsetSeconds * media::kMixRate, double(UINT32_MAX)));
    const media::Mixer::VoiceId voice = player_.sounds().start(id, sound, info);
    if (!voice) return 0;
    std::erase_if(scriptVoices_, [&](const auto& entry) { return !player_.sounds().isVoicePlaying(entry.first); });
    scriptVoices_[voice] = {target, id};
    if (target != avm1::kNoDisplay) {
        auto it = soundTransforms_.find(target);
        if (it != soundTransforms_.end()) player_.sounds().setVoiceTransform(voice, mixerTransform(it->second));
    }
    return voice;
}

void ScriptHost::stopSounds(avm1::DisplayId target, std::string_view linkage) {
    uint16_t only = 0;
    if (!linkage.empty() &&
        !player_.exportedSound(QString::fromUtf8(linkage.data(), qsizetype(linkage.size())), &only))
        return;
    if (target == avm1::kNoDisplay) {
        // The whole movie's Sound: every event sound, or every voice of that one sound.
        if (only) player_.sounds().stop(only);
        else player_.sounds().stopAll();
        return;
    }
    for (const auto& [handle, voice] : scriptVoices_)
        if (voice.target == target && (!only || voice.soundId == only)) player_.sounds().stopVoice(handle);
}

bool ScriptHost::soundPlaying(avm1::SoundHandle handle) { return handle && player_.sounds().isVoicePlaying(handle); }

double ScriptHost::soundPosition(avm1::SoundHandle handle) { return player_.sounds().positionMs(handle); }

std::optional<avm1::LoadedSound> ScriptHost::loadSoundFile(std::string_view url) {
    const std::optional<std::filesystem::path> file = player_.movieFolder().resolve(url);
    if (!file) return std::nullopt;
    for (const auto& [id, loaded] : loadedSounds_)
        if (loaded.path == file->string()) return loaded.info;
    if (loadedSounds_.size() >= kMaxLoadedSounds) return std::nullopt;
    const std::optional<std::vector<uint8_t>> bytes = player_.movieFolder().read(url, kMaxSoundFileBytes);
    if (!bytes || loadedSoundBytes_ + bytes->size() > kMaxLoadedSoundBytes) return std::nullopt;
    std::optional<media::Mp3File> mp3 = media::readMp3File(*bytes);
    if (!mp3) return std::nullopt;
    const int id = kFirstLoadedSound + int(loadedSounds_.size());
    avm1::LoadedSound info;
    info.id = uint64_t(id);
    info.durationMs = double(mp3->sound.sampleCount) * 1000.0 / mp3->sound.format.rate;
    info.bytes = double(bytes->size());
    info.hasId3 = mp3->hasId3;
    info.id3 = std::move(mp3->id3);
    loadedSoundBytes_ += bytes->size();
    loadedSounds_[id] = {file->string(), std::make_shared<const media::SoundDef>(std::move(mp3->sound)), info};
    return info;
}

avm1::SoundHandle ScriptHost::startLoadedSound(avm1::DisplayId target, uint64_t sound, double offsetSeconds, int loops) {
    auto it = sound <= uint64_t(INT_MAX) ? loadedSounds_.find(int(sound)) : loadedSounds_.end();
    if (it == loadedSounds_.end()) return 0;
    return startScriptVoice(target, it->first, *it->second.sound, offsetSeconds, loops);
}

void ScriptHost::stopSound(avm1::SoundHandle handle) {
    if (handle) player_.sounds().stopVoice(handle);
}

}  // namespace swf
