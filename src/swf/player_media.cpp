// The player's sound and video: event and stream sounds of each frame, button sounds on
// state changes, and video characters drawn at the frame their placement's ratio names.
#include <QPainter>
#include <algorithm>

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
            uint16_t id = start->soundId;
            // StartSound2 names its sound by the class it is exported as.
            if (!start->className.empty()) {
                auto it = movie_->exports.find(QString::fromStdString(start->className));
                id = it == movie_->exports.end() ? 0 : it->second;
            }
            const Character* c = id ? movie_->character(id) : nullptr;
            if (auto* sound = c ? std::get_if<media::SoundDef>(c) : nullptr) sound_->start(id, *sound, start->info);
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

void Player::prefetchSounds() {
    // The decoded sound of a character is kept per player: the ones this movie can start are
    // decoded on a worker now, so that a click's sound is ready when the click comes.
    for (const auto& [id, character] : movie_->dictionary)
        if (auto* sound = std::get_if<media::SoundDef>(&character)) sound_->prefetch(id, *sound, movie_);
}

const media::SoundDef* Player::exportedSound(const QString& name, uint16_t* id) const {
    auto it = movie_->exports.find(name);
    if (it == movie_->exports.end()) return nullptr;
    const Character* c = movie_->character(it->second);
    auto* sound = c ? std::get_if<media::SoundDef>(c) : nullptr;
    if (sound && id) *id = it->second;
    return sound;
}

void Player::drawVideo(QPainter& p, const Instance& inst, const media::VideoStreamDef& video, const QTransform& t,
                       const ColorTransform& cx) const {
    if (!inst.video) inst.video = std::make_unique<media::VideoDecoder>(video);
    const QImage& decoded = inst.video->frameAt(video, inst.ratio);
    if (decoded.isNull()) return;
    QImage tinted;
    if (!cx.isIdentity() && !cx.onlyAlphaMultiplier()) {
        // A tint is rare on video: done per pixel on a copy of the frame.
        tinted = decoded.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < tinted.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(tinted.scanLine(y));
            for (int x = 0; x < tinted.width(); ++x) line[x] = cx.apply(QColor::fromRgba(line[x])).rgba();
        }
    }
    const QImage& picture = tinted.isNull() ? decoded : tinted;
    p.save();
    p.setTransform(t);
    p.setRenderHint(QPainter::SmoothPixmapTransform, video.smoothing && quality_ != Quality::Low);
    if (cx.onlyAlphaMultiplier()) p.setOpacity(p.opacity() * std::clamp(double(cx.mul[3]), 0.0, 1.0));
    const QRectF area(0, 0, (video.width ? video.width : picture.width()) * 20.0,
                      (video.height ? video.height : picture.height()) * 20.0);
    p.drawImage(area, picture);
    p.restore();
}

}  // namespace swf
