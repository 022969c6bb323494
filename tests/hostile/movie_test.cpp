// Hostile movies: files that are no files, files too large, movies whose decoded content
// would take all memory, and heavy morph shapes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <vector>
#include <zlib.h>

#include "swf/flash_control.h"
#include "swf/decoded_size.h"
#include "swf/memory_budget.h"
#include "swf/swf.h"
#include "swf/writer/swf_writer.h"

namespace fs = std::filesystem;

namespace {

std::span<const uint8_t> bytesOf(const QByteArray& bytes) {
    return {reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())};
}

// A small file whose blank bitmaps decode to `count` x 64 MB: DefineBitsLossless2 tags of
// 4096x4096 zero pixels, added before the End tag of an empty movie.
QByteArray blankBitmapsMovie(int count) {
    static const QByteArray pixels = [] {
        const std::vector<uint8_t> zeros(std::size_t(4096) * 4096 * 4, 0);
        uLongf size = compressBound(uLong(zeros.size()));
        QByteArray packed(qsizetype(size), 0);
        compress2(reinterpret_cast<Bytef*>(packed.data()), &size, zeros.data(), uLong(zeros.size()), 1);
        packed.resize(qsizetype(size));
        return packed;
    }();
    swf::writer::MovieWriter writer(QSizeF(100, 100), 12);
    writer.showFrame();
    QByteArray movie = writer.finish();
    EXPECT_TRUE(movie.startsWith("FWS"));
    QByteArray tags;
    for (int i = 0; i < count; ++i) {
        QByteArray body;
        const auto u16 = [&body](int v) { body.append(char(v & 0xFF)).append(char(v >> 8 & 0xFF)); };
        u16(100 + i);
        body.append(char(5));  // 32-bit pixels
        u16(4096);
        u16(4096);
        body.append(pixels);
        const auto u32 = [&tags](uint32_t v) {
            for (int b = 0; b < 4; ++b) tags.append(char(v >> (8 * b) & 0xFF));
        };
        const uint16_t head = uint16_t(36 << 6 | 0x3F);  // DefineBitsLossless2, long length
        tags.append(char(head & 0xFF)).append(char(head >> 8));
        u32(uint32_t(body.size()));
        tags.append(body);
    }
    movie.insert(movie.size() - 2, tags);
    const uint32_t length = uint32_t(movie.size());
    for (int b = 0; b < 4; ++b) movie[4 + b] = char(length >> (8 * b) & 0xFF);
    return movie;
}

class HostileMovies : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(temp.isValid()); }
    fs::path path(const char* name) const { return fs::path(temp.path().toStdString()) / name; }
    QTemporaryDir temp;
};

TEST_F(HostileMovies, WhatIsNoRegularFileOrTooLargeIsRefusedUnread) {
    ASSERT_EQ(::mkfifo(path("fifo.swf").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", path("zero.swf"));
    fs::create_directory(path("folder.swf"));
    {
        // Sparse: 64 MB and one byte, never read.
        std::ofstream(path("huge.swf")) << "FWS";
        fs::resize_file(path("huge.swf"), swf::kMaxMovieFileBytes + 1);
    }
    for (const char* name : {"fifo.swf", "zero.swf", "folder.swf", "huge.swf"}) {
        SCOPED_TRACE(name);
        EXPECT_THROW(swf::loadMovieFile(path(name)), swf::MalformedMovie);
        // The control stays blank and the program goes on.
        swf::ShockwaveFlash control;
        control.setMovie(QString::fromStdString(path(name).string()));
        EXPECT_EQ(control.player(), nullptr);
    }
    EXPECT_EQ(swf::loadMovieFile(path("missing.swf")), nullptr);
}

TEST_F(HostileMovies, DecodedContentPastItsBudgetRefusesTheMovieNotTheProgram) {
    const std::size_t before = swf::moviesMemoryInUse();
    // Six blank 4096x4096 bitmaps: 384 MB decoded from a file of a few hundred KB.
    const QByteArray greedy = blankBitmapsMovie(6);
    EXPECT_LT(greedy.size(), 2 << 20);
    try {
        swf::parseMovie(bytesOf(greedy));
        FAIL() << "a movie over its budget was loaded";
    } catch (const swf::MalformedMovie& error) {
        EXPECT_NE(std::string(error.what()).find("budget"), std::string::npos) << error.what();
    }
    EXPECT_EQ(swf::moviesMemoryInUse(), before) << "a refused movie gives its memory back";

    // Three movies of 192 MB each: two fit the budget of all movies, the third does not,
    // and it fits again once one of the others is gone.
    const QByteArray large = blankBitmapsMovie(3);
    auto first = swf::parseMovie(bytesOf(large));
    auto second = swf::parseMovie(bytesOf(large));
    EXPECT_GE(swf::moviesMemoryInUse(), before + (std::size_t(384) << 20));
    EXPECT_THROW(swf::parseMovie(bytesOf(large)), swf::MalformedMovie);
    first.reset();
    EXPECT_NO_THROW(first = swf::parseMovie(bytesOf(large)));
}

QByteArray morphMovie(int edges) {
    QPainterPath start, end;
    start.moveTo(0, 0);
    end.moveTo(0, 0);
    for (int i = 0; i < edges - 1; ++i) {
        start.lineTo((i % 200) * 2, (i / 200) * 2 + (i % 2));
        end.lineTo((i % 200) * 2 + (i % 3), (i / 200) * 2 + 3 * (i % 2));
    }
    start.closeSubpath();
    end.closeSubpath();
    swf::writer::MovieWriter writer(QSizeF(400, 400), 24);
    const uint16_t id = writer.defineMorphShape(start, end, Qt::red, Qt::blue);
    swf::writer::Placement placement;
    placement.ratio = 0;
    writer.place(1, id, placement);
    writer.showFrame();
    return writer.finish();
}

// A morph shape too heavy to draw while a click waits is refused like a broken movie.
TEST_F(HostileMovies, AMorphTooHeavyToDrawInTimeIsRefused) {
    EXPECT_NO_THROW(swf::parseMovie(bytesOf(morphMovie(2000))));
    const QByteArray heavy = morphMovie(int(swf::kMaxEdgesPerShape) + 10);
    try {
        swf::parseMovie(bytesOf(heavy));
        FAIL() << "a morph of " << swf::kMaxEdgesPerShape + 10 << " edges was loaded";
    } catch (const swf::MalformedMovie& error) {
        EXPECT_NE(std::string(error.what()).find("edges"), std::string::npos) << error.what();
    }
}

// Two instances of one morph at two ratios, or a morph that loops, build each ratio's shape
// once: a shape handed out stays as it was while other ratios are asked for.
TEST_F(HostileMovies, MorphShapesAreKeptPerRatio) {
    const auto movie = swf::parseMovie(bytesOf(morphMovie(500)));
    const swf::MorphShapeDef* morph = nullptr;
    for (const auto& [id, character] : movie->dictionary)
        if (const auto* found = std::get_if<swf::MorphShapeDef>(&character)) morph = found;
    ASSERT_NE(morph, nullptr);
    const swf::ShapeDef& atStart = morph->at(0);
    const QRectF startBounds = atStart.bounds;
    const swf::ShapeDef& atEnd = morph->at(65535);
    EXPECT_NE(atEnd.bounds, startBounds);
    EXPECT_EQ(&morph->at(0), &atStart);
    EXPECT_EQ(atStart.bounds, startBounds);
    // Many ratios: still bounded, still right.
    for (int ratio = 0; ratio <= 65535; ratio += 256) EXPECT_FALSE(morph->at(ratio).layers.empty());
    EXPECT_EQ(morph->at(0).bounds, startBounds);
}

}  // namespace
