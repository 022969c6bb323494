// The player's side of flash.display.BitmapData (pixels kept premultiplied, as they are
// drawn), MovieClip.attachBitmap, and pictures loaded into clips by MovieClipLoader.
#include <QImage>
#include <algorithm>

#include "swf/instance.h"
#include "swf/player.h"
#include "swf/script_host.h"

namespace swf {

namespace {

// All the bitmaps of one movie's scripts together, and a loaded picture's file.
constexpr size_t kMaxBitmapBytes = 256u << 20;
constexpr uintmax_t kMaxPictureFileBytes = 16u << 20;
constexpr int kMaxPictureSide = 8191;

size_t bytesOf(const QImage& image) { return size_t(image.sizeInBytes()); }

}  // namespace

avm1::BitmapHandle ScriptHost::createBitmap(int width, int height, bool transparent, uint32_t argb) {
    if (width < 1 || height < 1 || width > avm1::kMaxBitmapSide || height > avm1::kMaxBitmapSide) return 0;
    if (bitmapBytes_ + size_t(width) * size_t(height) * 4 > kMaxBitmapBytes) return 0;
    auto image = std::make_shared<QImage>(width, height, QImage::Format_ARGB32_Premultiplied);
    if (image->isNull()) return 0;
    image->fill(qPremultiply(transparent ? argb : argb | 0xFF000000u));
    bitmapBytes_ += bytesOf(*image);
    const avm1::BitmapHandle handle = nextBitmap_++;
    bitmaps_[handle] = std::move(image);
    return handle;
}

void ScriptHost::releaseBitmap(avm1::BitmapHandle bitmap) {
    auto it = bitmaps_.find(bitmap);
    if (it == bitmaps_.end()) return;
    // A bitmap still shown keeps its pixels for the instances that show it.
    bitmapBytes_ -= std::min(bitmapBytes_, bytesOf(*it->second));
    bitmaps_.erase(it);
}

uint32_t ScriptHost::bitmapPixel(avm1::BitmapHandle bitmap, int x, int y) {
    auto it = bitmaps_.find(bitmap);
    if (it == bitmaps_.end() || !it->second->valid(x, y)) return 0;
    return qUnpremultiply(it->second->pixel(x, y));
}

void ScriptHost::setBitmapPixels(avm1::BitmapHandle bitmap, int x, int y, int width, int height, uint32_t argb) {
    auto it = bitmaps_.find(bitmap);
    if (it == bitmaps_.end()) return;
    QImage& image = *it->second;
    const QRect area = QRect(x, y, width, height).intersected(image.rect());
    if (area.isEmpty()) return;
    const QRgb value = qPremultiply(argb);
    for (int row = area.top(); row <= area.bottom(); ++row) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(row));
        std::fill(line + area.left(), line + area.right() + 1, value);
    }
    player_.dirty_ = true;
}

avm1::BitmapHandle ScriptHost::cloneBitmap(avm1::BitmapHandle bitmap) {
    auto it = bitmaps_.find(bitmap);
    if (it == bitmaps_.end() || bitmapBytes_ + bytesOf(*it->second) > kMaxBitmapBytes) return 0;
    auto copy = std::make_shared<QImage>(it->second->copy());
    if (copy->isNull()) return 0;
    bitmapBytes_ += bytesOf(*copy);
    const avm1::BitmapHandle handle = nextBitmap_++;
    bitmaps_[handle] = std::move(copy);
    return handle;
}

void ScriptHost::attachBitmap(avm1::DisplayId clip, avm1::BitmapHandle bitmap, int depth, bool smoothing) {
    auto it = bitmaps_.find(bitmap);
    std::map<int, std::unique_ptr<Instance>>* list = nullptr;
    int nesting = 1;
    if (clip == kRootSerial) {
        list = &player_.root_->list;
    } else if (Instance* parent = player_.instanceById(clip); parent && parent->sprite) {
        list = &parent->sprite->list;
        nesting = parent->nesting + 1;
    }
    if (it == bitmaps_.end() || !list || depth < -16384 || depth > 2130690045) return;
    auto inst = player_.createInstance(0, nesting);
    inst->ownCharacter = std::make_unique<Character>(BitmapDef{*it->second});
    inst->character = inst->ownCharacter.get();
    inst->liveBitmap = it->second;
    inst->smoothBitmap = smoothing;
    inst->parentSerial = clip;
    inst->dynamic = true;
    const int key = depth + kScriptDepthOffset;
    if (auto old = list->find(key); old != list->end()) {
        player_.removing(*old->second);
        list->erase(old);
    }
    Instance* placed = inst.get();
    (*list)[key] = std::move(inst);
    player_.dirty_ = true;
    player_.placedByTimeline(*placed, true);
}

std::optional<double> ScriptHost::loadClipFile(avm1::DisplayId clip, std::string_view url) {
    Instance* target = player_.instanceById(clip);
    // Pictures only, into a clip below the root (a movie replacing a level is not loaded).
    if (!target || !target->sprite) return std::nullopt;
    const std::optional<std::vector<uint8_t>> bytes = player_.movieFolder().read(url, kMaxPictureFileBytes);
    if (!bytes) return std::nullopt;
    QImage picture;
    if (!picture.loadFromData(bytes->data(), int(bytes->size())) || picture.width() > kMaxPictureSide ||
        picture.height() > kMaxPictureSide)
        return std::nullopt;
    picture = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    // What the clip showed goes; it keeps its place, name and transform and shows the picture.
    TimelineState& timeline = *target->sprite;
    for (auto& [key, child] : timeline.list) player_.removing(*child);
    timeline.list.clear();
    timeline.playing = false;
    target->drawing.reset();
    target->showsLoadedPicture = true;
    auto inst = player_.createInstance(0, target->nesting + 1);
    inst->ownCharacter = std::make_unique<Character>(BitmapDef{std::move(picture)});
    inst->character = inst->ownCharacter.get();
    inst->parentSerial = clip;
    inst->dynamic = true;
    Instance* placed = inst.get();
    timeline.list[0] = std::move(inst);
    player_.dirty_ = true;
    player_.placedByTimeline(*placed, true);
    return double(bytes->size());
}

void ScriptHost::unloadClip(avm1::DisplayId clip) {
    Instance* target = player_.instanceById(clip);
    if (!target || !target->sprite) return;
    for (auto& [key, child] : target->sprite->list) player_.removing(*child);
    target->sprite->list.clear();
    target->drawing.reset();
    player_.dirty_ = true;
}

}  // namespace swf
