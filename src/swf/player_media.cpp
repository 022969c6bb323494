// The player's sound and video: event and stream sounds of each frame, button sounds on
// state changes, and video characters drawn at the frame their placement's ratio names.
#include <QPainter>

#include "swf/instance.h"
#include "swf/media/movie_sound.h"
#include "swf/player.h"

namespace swf {

void Player::frameSounds(const std::shared_ptr<TimelineState>& tl, int frame) {
    const auto& frames = tl->timeline->frames;
    if (frame < 0 || frame >= int(frames.size())) return;
    std::span<const uint8_t> block;
    for (const FrameCommand& command : frames[size_t(frame)].commands) {
        if (auto* start = std::get_if<media::StartSoundCommand>(&command)) {
            const Character* c = movie_->character(start->soundId);
            if (auto* sound = c ? std::get_if<media::SoundDef>(c) : nullptr)
                sound_->start(start->soundId, *sound, start->info);
        } else if (auto* stream = std::get_if<media::StreamBlockCommand>(&command)) {
            if (stream->data) block = *stream->data;
        }
    }
    if (tl->timeline->streamHead) sound_->streamFrame(tl.get(), *tl->timeline->streamHead, frame, block);
}

void Player::buttonSound(const Instance& button, int oldState, int newState) {
    const auto* def = button.character ? std::get_if<ButtonDef>(button.character) : nullptr;
    if (!def || oldState == newState) return;
    // States: 0 up, 1 over, 2 down.
    int slot = -1;
    if (oldState == 1 && newState == 0) slot = media::kOverToUp;
    else if (oldState == 0 && newState == 1) slot = media::kUpToOver;
    else if (oldState == 1 && newState == 2) slot = media::kOverToDown;
    else if (oldState == 2 && newState == 1) slot = media::kDownToOver;
    if (slot < 0 || !def->sounds[size_t(slot)]) return;
    const media::StartSoundCommand& start = *def->sounds[size_t(slot)];
    const Character* c = movie_->character(start.soundId);
    if (auto* sound = c ? std::get_if<media::SoundDef>(c) : nullptr) sound_->start(start.soundId, *sound, start.info);
}

const media::SoundDef* Player::exportedSound(const QString& name, uint16_t* id) const {
    auto it = movie_->exports.find(name);
    if (it == movie_->exports.end()) return nullptr;
    const Character* c = movie_->character(it->second);
    auto* sound = c ? std::get_if<media::SoundDef>(c) : nullptr;
    if (sound && id) *id = it->second;
    return sound;
}

void Player::drawVideo(QPainter& p, const Instance& inst, const media::VideoStreamDef& video,
                       const QTransform& t) const {
    if (!inst.video) inst.video = std::make_unique<media::VideoDecoder>(video);
    const QImage& picture = inst.video->frameAt(video, inst.ratio);
    if (picture.isNull()) return;
    p.save();
    p.setTransform(t);
    p.setRenderHint(QPainter::SmoothPixmapTransform, video.smoothing && quality_ != Quality::Low);
    const QRectF area(0, 0, (video.width ? video.width : picture.width()) * 20.0,
                      (video.height ? video.height : picture.height()) * 20.0);
    p.drawImage(area, picture);
    p.restore();
}

}  // namespace swf
