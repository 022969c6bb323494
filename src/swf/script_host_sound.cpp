// The player's side of the script Sound object: exported sounds started in the movie's
// mixer group, and the volume and pan of each clip a Sound speaks for.
#include <QString>
#include <algorithm>
#include <cmath>

#include "swf/media/movie_sound.h"
#include "swf/player.h"
#include "swf/script_host.h"

namespace swf {

namespace {

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
    media::SoundInfo info;
    info.loops = uint16_t(std::clamp(loops, 1, 65535));
    if (offsetSeconds > 0)
        info.inPoint = uint32_t(std::min(offsetSeconds * media::kMixRate, double(UINT32_MAX)));
    const media::Mixer::VoiceId voice = player_.sounds().start(id, *sound, info);
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

}  // namespace swf
