#include "swf/picture_cache.h"

#include <algorithm>

namespace swf {

namespace {
// Keys remembered as drawn once; past this many they are forgotten together (a movie that
// never repeats would otherwise grow the set for ever).
constexpr size_t kMaxDrawnOnce = 512;
// A picture not shown for twice as many pictures as are kept (plus a little) belongs to no
// loop the movie still plays: a loop shows each of its pictures once a round.
constexpr uint64_t kStaleSlack = 32;
constexpr uint64_t kSweepEvery = 64;
}  // namespace

QImage PictureCache::find(const QByteArray& key) {
    auto it = pictures_.find(key);
    if (it == pictures_.end()) return {};
    it->lastShown = ++clock_;
    QImage picture = it->picture;  // before the sweep, which may move the entries
    if (clock_ - lastSweep_ >= kSweepEvery) dropStale();
    return picture;
}

void PictureCache::offer(const QByteArray& key, const QImage& picture) {
    if (pictures_.contains(key)) return;
    const size_t hash = qHash(key);
    if (drawnOnce_.erase(hash) == 0) {
        if (drawnOnce_.size() >= kMaxDrawnOnce) drawnOnce_.clear();
        drawnOnce_.insert(hash);
        return;
    }
    const qint64 size = picture.sizeInBytes();
    if (size > budgetBytes_) return;
    dropStale();
    while (bytes_ + size > budgetBytes_ && !pictures_.isEmpty()) evictOldest();
    pictures_.insert(key, Entry{picture, clock_});
    bytes_ += size;
}

void PictureCache::clear() {
    pictures_.clear();
    drawnOnce_.clear();
    bytes_ = 0;
}

void PictureCache::dropStale() {
    lastSweep_ = clock_;
    const uint64_t maxAge = 2 * uint64_t(pictures_.size()) + kStaleSlack;
    for (auto it = pictures_.begin(); it != pictures_.end();) {
        if (clock_ - it->lastShown > maxAge) {
            bytes_ -= it->picture.sizeInBytes();
            it = pictures_.erase(it);
        } else {
            ++it;
        }
    }
}

void PictureCache::evictOldest() {
    auto oldest = std::min_element(pictures_.begin(), pictures_.end(),
                                   [](const Entry& a, const Entry& b) { return a.lastShown < b.lastShown; });
    bytes_ -= oldest->picture.sizeInBytes();
    pictures_.erase(oldest);
}

}  // namespace swf
