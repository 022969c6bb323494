// The demo book's menu buttons ease their label larger while the pointer is over them and
// back when it leaves, by a script that removes itself once it arrives.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "movies.h"
#include "swf/swf.h"

namespace {

// Width of the label's lettering: the span of the cream pixels.
int labelWidth(swf::Player& player) {
    const QImage image = player.renderImage(player.viewSize()).convertToFormat(QImage::Format_RGB32);
    int left = image.width(), right = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            if (qRed(c) > 235 && qGreen(c) > 220 && qBlue(c) > 185) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    return right - left;
}

TEST(DemoHover, MenuLabelGrowsWhileHoveredAndShrinksBack) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    demobook::writeMovies(folder.path(), true);
    QFile file(folder.filePath(QStringLiteral("21.swf")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    swf::Player player(swf::parseMovie(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), size_t(bytes.size()))));
    player.setViewSize(QSize(190, 30));
    player.advance();
    const int idle = labelWidth(player);
    ASSERT_GT(idle, 60);

    player.mouseMove(QPointF(95, 15));
    player.advance();
    const int firstStep = labelWidth(player);
    for (int f = 0; f < 9; ++f) player.advance();
    const int grown = labelWidth(player);
    EXPECT_GT(firstStep, idle);
    EXPECT_GT(grown, firstStep);
    EXPECT_NEAR(grown, idle * 1.08, 3);
    for (int f = 0; f < 3; ++f) player.advance();
    EXPECT_EQ(labelWidth(player), grown);  // arrived: it stays

    player.mouseLeave();
    for (int f = 0; f < 10; ++f) player.advance();
    EXPECT_NEAR(labelWidth(player), idle, 1);
}

}  // namespace
