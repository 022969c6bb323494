#pragma once
// PictureCache: the frames a Flash control has drawn, by the player's picture key, so that a
// looping movie draws each of its frames once and then only shows them.
//
// Only pictures that come back are worth their memory: a picture is kept the second time
// it is drawn, never the first, so the one-off frames of a hover animation or of a movie
// that never repeats cost nothing. Pictures not shown for a while (those of a loop the
// movie has left) are let go, and the total stays under a byte budget, the least recently
// shown going first.
//
// The frames of a loop differ in a small part (a highlight sweeping over a button, a pulsing
// glow): pictures are kept as 16 x 16 tiles, and a tile that several pictures share is kept
// once.
#include <QByteArray>
#include <QHash>
#include <QImage>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace swf {

class PictureCache {
public:
    explicit PictureCache(qint64 budgetBytes) : budgetBytes_(budgetBytes) {}
    ~PictureCache();
    PictureCache(const PictureCache&) = delete;
    PictureCache& operator=(const PictureCache&) = delete;

    // The picture kept for `key`, or a null image; a hit counts as the picture shown.
    QImage find(const QByteArray& key);
    // A picture just drawn for `key`: kept when it was drawn before and fits the budget.
    void offer(const QByteArray& key, const QImage& picture);
    // Marks a picture shown that did not come from the cache (ages the others).
    void shown() { ++clock_; }
    void clear();

    // Memory held by the kept tiles (each shared tile counted once).
    qint64 bytes() const { return bytes_; }
    int size() const { return int(pictures_.size()); }

private:
    struct Tile {
        std::vector<uint32_t> pixels;  // width x height, row after row
        int width = 0, height = 0;
        size_t hash = 0;
        int users = 0;
    };
    struct Entry {
        QSize size;
        QImage::Format format = QImage::Format_Invalid;
        qreal ratio = 1;
        std::vector<Tile*> tiles;  // row after row of tiles
        uint64_t lastShown = 0;
    };
    Tile* shareTile(std::vector<uint32_t>&& pixels, int width, int height);
    void release(Entry& entry);
    void dropStale();
    void evictOldest();

    qint64 budgetBytes_;
    qint64 bytes_ = 0;
    uint64_t clock_ = 0;  // pictures shown so far
    uint64_t lastSweep_ = 0;
    QHash<QByteArray, Entry> pictures_;
    std::unordered_map<size_t, std::vector<std::unique_ptr<Tile>>> tiles_;  // by content hash
    std::unordered_set<size_t> drawnOnce_;  // hashes of keys drawn once and not kept
};

}  // namespace swf
