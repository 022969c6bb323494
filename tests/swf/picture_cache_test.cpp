// The Flash control's kept pictures: what comes back is kept, what does not is let go.
#include <gtest/gtest.h>

#include "swf/picture_cache.h"

namespace {

QImage picture(int width, QColor colour = Qt::red) {
    QImage image(width, 10, QImage::Format_ARGB32_Premultiplied);
    image.fill(colour);
    return image;
}

QByteArray key(int n) { return QByteArray::number(n); }

// A movie looping over `frames` pictures for `rounds` rounds: each frame is looked up and,
// when missing, drawn and offered. Returns how many were drawn.
int play(swf::PictureCache& cache, int frames, int rounds, int first = 0) {
    int drawn = 0;
    for (int round = 0; round < rounds; ++round)
        for (int f = first; f < first + frames; ++f) {
            if (!cache.find(key(f)).isNull()) continue;
            ++drawn;
            cache.shown();
            cache.offer(key(f), picture(10));
        }
    return drawn;
}

TEST(PictureCache, AFrameIsKeptTheSecondTimeItIsDrawnAndServedFromThen) {
    swf::PictureCache cache(1 << 20);
    const QImage red = picture(10, Qt::red);
    cache.offer(key(1), red);
    EXPECT_TRUE(cache.find(key(1)).isNull());  // once is no pattern
    EXPECT_EQ(cache.bytes(), 0);
    cache.offer(key(1), red);
    const QImage kept = cache.find(key(1));
    ASSERT_FALSE(kept.isNull());
    EXPECT_EQ(kept.pixelColor(0, 0), QColor(Qt::red));
    EXPECT_GE(cache.bytes(), red.sizeInBytes());

    // A loop of 24 frames is drawn twice, then only shown.
    swf::PictureCache loop(1 << 20);
    EXPECT_EQ(play(loop, 24, 10), 48);
    EXPECT_EQ(loop.size(), 24);
}

TEST(PictureCache, OneOffFramesCostNothingAndALeftLoopIsLetGo) {
    swf::PictureCache cache(1 << 20);
    play(cache, 24, 3);
    ASSERT_EQ(cache.size(), 24);
    // A hover animation: 200 frames never seen again are never kept.
    play(cache, 200, 1, 1000);
    // Then another loop (the movie went elsewhere): the old frames go once they are stale.
    play(cache, 24, 6, 500);
    EXPECT_EQ(cache.size(), 24);
    EXPECT_FALSE(cache.find(key(500)).isNull());
    EXPECT_TRUE(cache.find(key(0)).isNull());
}

TEST(PictureCache, StaysWithinItsBudgetDroppingTheLeastRecentlyShown) {
    auto colour = [](int n) { return QColor(10 * n, 0, 0); };
    swf::PictureCache probe(1 << 20);
    probe.offer(key(0), picture(10));
    probe.offer(key(0), picture(10));
    const qint64 one = probe.bytes();
    swf::PictureCache cache(4 * one);
    for (int n = 0; n < 4; ++n) {
        cache.offer(key(n), picture(10, colour(n)));
        cache.offer(key(n), picture(10, colour(n)));
    }
    ASSERT_EQ(cache.size(), 4);
    for (int n : {1, 2, 3, 0}) ASSERT_FALSE(cache.find(key(n)).isNull());  // 1 was shown longest ago
    cache.offer(key(4), picture(10, colour(4)));
    cache.offer(key(4), picture(10, colour(4)));
    EXPECT_EQ(cache.size(), 4);
    EXPECT_LE(cache.bytes(), 4 * one);
    EXPECT_TRUE(cache.find(key(1)).isNull());
    EXPECT_FALSE(cache.find(key(0)).isNull());
    EXPECT_EQ(cache.find(key(4)).pixelColor(0, 0), colour(4));

    // A picture larger than the whole budget is never kept; clearing forgets everything.
    cache.offer(key(9), picture(100));
    cache.offer(key(9), picture(100));
    EXPECT_TRUE(cache.find(key(9)).isNull());
    cache.clear();
    EXPECT_EQ(cache.size(), 0);
    EXPECT_EQ(cache.bytes(), 0);
    cache.offer(key(0), picture(10));
    EXPECT_TRUE(cache.find(key(0)).isNull());  // drawn once again after the clear
}

TEST(PictureCache, FramesOfALoopShareTheTilesTheyHaveInCommon) {
    // A 64 x 40 button whose highlight moves across: each frame differs in one 16-pixel column.
    auto frame = [](int n) {
        QImage image(64, 40, QImage::Format_ARGB32_Premultiplied);
        image.fill(QColor(20, 30, 90));
        for (int y = 0; y < 40; ++y)
            for (int x = 16 * n; x < 16 * n + 16; ++x) image.setPixel(x, y, qRgb(250, 240, 200 - y));
        image.setDevicePixelRatio(2);
        return image;
    };
    swf::PictureCache cache(1 << 20);
    for (int round = 0; round < 2; ++round)
        for (int n = 0; n < 4; ++n) cache.offer(key(n), frame(n));
    ASSERT_EQ(cache.size(), 4);
    // Four whole pictures would be 4 x 10240 bytes; shared, the plain tiles are kept once.
    EXPECT_LT(cache.bytes(), 2 * frame(0).sizeInBytes());
    for (int n = 0; n < 4; ++n) {
        const QImage kept = cache.find(key(n));
        EXPECT_EQ(kept, frame(n)) << n;
        EXPECT_EQ(kept.devicePixelRatio(), 2);
    }
    // Tiles go with the last picture that uses them.
    cache.clear();
    EXPECT_EQ(cache.bytes(), 0);
}

}  // namespace
