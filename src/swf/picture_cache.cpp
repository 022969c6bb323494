#include "swf/picture_cache.h"

#include <algorithm>
#include <cstring>

namespace swf {

namespace {
// Keys remembered as drawn once; past this many they are forgotten together (a movie that
// never repeats would otherwise grow the set for ever).
constexpr size_t kMaxDrawnOnce = 512;
// A picture not shown for twice as many pictures as are kept (plus a little) belongs to no
// loop the movie still plays: a loop shows each of its pictures once a round.
constexpr uint64_t kStaleSlack = 32;
constexpr uint64_t kSweepEvery = 64;
constexpr int kTile = 16;
// What a tile costs beyond its pixels: its record and its place in the lookup.
constexpr qint64 kTileOverhead = 96;

qint64 tileBytes(int width, int height) { return qint64(width) * height * 4 + kTileOverhead; }
}  // namespace

PictureCache::~PictureCache() = default;

QImage PictureCache::find(const QByteArray& key) {
    auto it = pictures_.find(key);
    if (it == pictures_.end()) return {};
    it->lastShown = ++clock_;
    QImage picture(it->size, it->format);
    picture.setDevicePixelRatio(it->ratio);
    const int columns = (it->size.width() + kTile - 1) / kTile;
    for (size_t i = 0; i < it->tiles.size(); ++i) {
        const Tile& tile = *it->tiles[i];
        const int x = int(i % size_t(columns)) * kTile, y = int(i / size_t(columns)) * kTile;
        for (int row = 0; row < tile.height; ++row)
            std::memcpy(reinterpret_cast<uint32_t*>(picture.scanLine(y + row)) + x, &tile.pixels[size_t(row) * tile.width],
                        size_t(tile.width) * 4);
    }
    if (clock_ - lastSweep_ >= kSweepEvery) dropStale();
    return picture;
}

void PictureCache::offer(const QByteArray& key, const QImage& picture) {
    if (pictures_.contains(key) || picture.isNull() || picture.depth() != 32) return;
    const size_t hash = qHash(key);
    if (drawnOnce_.erase(hash) == 0) {
        if (drawnOnce_.size() >= kMaxDrawnOnce) drawnOnce_.clear();
        drawnOnce_.insert(hash);
        return;
    }
    if (picture.sizeInBytes() > budgetBytes_) return;
    dropStale();
    Entry entry{picture.size(), picture.format(), picture.devicePixelRatio(), {}, clock_};
    for (int y = 0; y < picture.height(); y += kTile)
        for (int x = 0; x < picture.width(); x += kTile) {
            const int width = std::min(kTile, picture.width() - x), height = std::min(kTile, picture.height() - y);
            std::vector<uint32_t> pixels(size_t(width) * height);
            for (int row = 0; row < height; ++row)
                std::memcpy(&pixels[size_t(row) * width], reinterpret_cast<const uint32_t*>(picture.constScanLine(y + row)) + x,
                            size_t(width) * 4);
            entry.tiles.push_back(shareTile(std::move(pixels), width, height));
        }
    pictures_.insert(key, std::move(entry));
    // The new picture is the most recent: the others make room for it.
    while (bytes_ > budgetBytes_ && pictures_.size() > 1) evictOldest();
}

PictureCache::Tile* PictureCache::shareTile(std::vector<uint32_t>&& pixels, int width, int height) {
    const size_t hash = qHashBits(pixels.data(), pixels.size() * 4, size_t(width) * 31 + size_t(height));
    auto& bucket = tiles_[hash];
    for (auto& tile : bucket)
        if (tile->width == width && tile->height == height && tile->pixels == pixels) {
            ++tile->users;
            return tile.get();
        }
    auto tile = std::make_unique<Tile>(Tile{std::move(pixels), width, height, hash, 1});
    bytes_ += tileBytes(width, height);
    bucket.push_back(std::move(tile));
    return bucket.back().get();
}

void PictureCache::release(Entry& entry) {
    for (Tile* tile : entry.tiles) {
        if (--tile->users > 0) continue;
        bytes_ -= tileBytes(tile->width, tile->height);
        auto bucket = tiles_.find(tile->hash);
        auto& list = bucket->second;
        list.erase(std::find_if(list.begin(), list.end(), [tile](const auto& t) { return t.get() == tile; }));
        if (list.empty()) tiles_.erase(bucket);
    }
    entry.tiles.clear();
}

void PictureCache::clear() {
    pictures_.clear();
    tiles_.clear();
    drawnOnce_.clear();
    bytes_ = 0;
}

void PictureCache::dropStale() {
    lastSweep_ = clock_;
    const uint64_t maxAge = 2 * uint64_t(pictures_.size()) + kStaleSlack;
    for (auto it = pictures_.begin(); it != pictures_.end();) {
        if (clock_ - it->lastShown > maxAge) {
            release(*it);
            it = pictures_.erase(it);
        } else {
            ++it;
        }
    }
}

void PictureCache::evictOldest() {
    auto oldest = std::min_element(pictures_.begin(), pictures_.end(),
                                   [](const Entry& a, const Entry& b) { return a.lastShown < b.lastShown; });
    release(*oldest);
    pictures_.erase(oldest);
}

}  // namespace swf
