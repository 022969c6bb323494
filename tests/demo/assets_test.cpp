// The background picture and the icon compiled into the program.
#include "assets/assets.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>

#include <gtest/gtest.h>

#include <set>

namespace {

QByteArray resource(const char* path) {
    QFile file(QString::fromLatin1(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

uint32_t le16(const QByteArray& b, qsizetype at) {
    return static_cast<uint8_t>(b[at]) | (static_cast<uint8_t>(b[at + 1]) << 8);
}
uint32_t le32(const QByteArray& b, qsizetype at) { return le16(b, at) | (le16(b, at + 2) << 16); }

class Assets : public ::testing::Test {
protected:
    static void SetUpTestSuite() { assets::initAssets(); }
};

}  // namespace

TEST_F(Assets, BackgroundIsAProgressiveJpegOfTheWindowPicturesSize) {
    const QByteArray jpeg = resource(":/talvorin/background.jpg");
    ASSERT_FALSE(jpeg.isEmpty());
    // Walk the markers up to the frame header: it must be SOF2 (progressive).
    qsizetype at = 2;
    ASSERT_TRUE(jpeg.startsWith("\xFF\xD8"));
    uint8_t frameMarker = 0;
    while (at + 4 <= jpeg.size()) {
        ASSERT_EQ(static_cast<uint8_t>(jpeg[at]), 0xFF);
        const uint8_t marker = static_cast<uint8_t>(jpeg[at + 1]);
        const uint32_t length = (static_cast<uint8_t>(jpeg[at + 2]) << 8) | static_cast<uint8_t>(jpeg[at + 3]);
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            frameMarker = marker;
            const uint32_t height = (static_cast<uint8_t>(jpeg[at + 5]) << 8) | static_cast<uint8_t>(jpeg[at + 6]);
            const uint32_t width = (static_cast<uint8_t>(jpeg[at + 7]) << 8) | static_cast<uint8_t>(jpeg[at + 8]);
            EXPECT_EQ(width, 1000u);
            EXPECT_EQ(height, 768u);
            break;
        }
        at += 2 + length;
    }
    EXPECT_EQ(frameMarker, 0xC2);
    EXPECT_GT(jpeg.size(), 30 * 1024);
    EXPECT_LT(jpeg.size(), 60 * 1024);
    const QImage image = QImage::fromData(jpeg, "JPEG");
    ASSERT_EQ(image.size(), QSize(1000, 768));
    // A dark band for the buttons above a light page area.
    EXPECT_LT(image.pixelColor(500, 35).lightness(), 80);
    EXPECT_GT(image.pixelColor(500, 400).lightness(), 180);
}

TEST_F(Assets, IconHoldsTwelveImagesInTwoDepthsAtSixSizes) {
    const QByteArray ico = resource(":/talvorin/talvorin.ico");
    ASSERT_GE(ico.size(), 6);
    EXPECT_EQ(le16(ico, 0), 0u);
    EXPECT_EQ(le16(ico, 2), 1u);
    const uint32_t count = le16(ico, 4);
    ASSERT_EQ(count, 12u);
    std::set<std::pair<uint32_t, uint32_t>> found;
    for (uint32_t i = 0; i < count; ++i) {
        const qsizetype entry = 6 + 16 * i;
        ASSERT_LE(entry + 16, ico.size());
        const uint32_t size = static_cast<uint8_t>(ico[entry]);
        EXPECT_EQ(static_cast<uint8_t>(ico[entry + 1]), size);
        const uint32_t bits = le16(ico, entry + 6);
        const uint32_t bytes = le32(ico, entry + 8), offset = le32(ico, entry + 12);
        ASSERT_LE(static_cast<qsizetype>(offset) + bytes, ico.size());
        // The bitmap header agrees with the directory, and the data is exactly what
        // header, palette, colour rows and mask rows take.
        EXPECT_EQ(le32(ico, offset), 40u);
        EXPECT_EQ(le32(ico, offset + 4), size);
        EXPECT_EQ(le32(ico, offset + 8), 2 * size);
        EXPECT_EQ(le16(ico, offset + 14), bits);
        const uint32_t palette = bits == 8 ? 1024 : 0;
        const uint32_t colourRow = ((size * bits + 31) / 32) * 4, maskRow = ((size + 31) / 32) * 4;
        EXPECT_EQ(bytes, 40 + palette + size * (colourRow + maskRow));
        found.emplace(size, bits);
    }
    std::set<std::pair<uint32_t, uint32_t>> expected;
    for (uint32_t size : {96u, 72u, 64u, 48u, 32u, 16u})
        for (uint32_t bits : {24u, 8u}) expected.emplace(size, bits);
    EXPECT_EQ(found, expected);

    QBuffer buffer;
    buffer.setData(ico);
    QImageReader reader(&buffer, "ico");
    EXPECT_EQ(reader.imageCount(), 12);
    const QImage first = reader.read();
    EXPECT_EQ(first.size(), QSize(96, 96));
}
