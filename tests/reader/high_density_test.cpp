// The reader on a high-density screen (this program sets QT_SCALE_FACTOR=2 for itself): the movies are
// drawn at the screen's own resolution, as sharp as the frame tool draws them at twice the size,
// the background picture is scaled smoothly and every control keeps its place in proportion.
#include <gtest/gtest.h>

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <utility>

#include "../swf/image_compare.h"
#include "assets/assets.h"
#include "reader/layout.h"
#include "reader_fixture.h"

namespace {

QImage swfframe(const QString& movie, QSize size, const QTemporaryDir& dir)
{
    const QString out = dir.filePath(QStringLiteral("frame-%1x%2.png").arg(size.width()).arg(size.height()));
    QProcess tool;
    tool.start(QStringLiteral(TALVORIN_SWFFRAME),
               {movie, "-f", "1", "-s", QStringLiteral("%1x%2").arg(size.width()).arg(size.height()), "-o", out});
    EXPECT_TRUE(tool.waitForFinished(30000));
    EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    return QImage(out);
}

TEST(HighDensity, AControlIsAsSharpAsTheFrameToolAtTwiceTheSize)
{
    ASSERT_EQ(qApp->devicePixelRatio(), 2.0);
    const QString movie = QStringLiteral(TALVORIN_DEMO_DIR "/pic/down.swf");
    QWidget window;
    window.resize(200, 100);
    auto* control = new swf::ShockwaveFlash(&window);
    control->setGeometry(reader::twipsToPixels(13660, 160, 960, 780));  // the down arrow: 64 x 52
    control->setMovie(movie);
    ASSERT_NE(control->player(), nullptr) << "the demo book's movie did not load";
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    control->finishDrawing();  // frames are drawn on the render thread; this one here and now
    const QImage grabbed = control->grab().toImage();  // before the first tick: frame 1
    ASSERT_EQ(grabbed.size(), QSize(128, 104));

    QTemporaryDir dir;
    const QImage twice = swfframe(movie, QSize(128, 104), dir);
    const QImage once = swfframe(movie, QSize(64, 52), dir).scaled(128, 104);
    ASSERT_FALSE(twice.isNull());
    const auto sharp = swf::test::compareImages(grabbed, twice);
    EXPECT_TRUE(sharp.matches()) << "mean " << sharp.meanDiff << ", outliers " << sharp.outlierShare;
    // A picture drawn at the logical size and blown up is further from it.
    const auto blown = swf::test::compareImages(once, twice);
    EXPECT_LT(sharp.meanDiff, blown.meanDiff);
}

// The share of 2 x 2 pixel blocks that are not of one colour: 0 for a picture doubled in blocks.
double mixedBlocks(const QImage& image, QRect area)
{
    int mixed = 0, blocks = 0;
    for (int y = area.top(); y + 1 <= area.bottom(); y += 2)
        for (int x = area.left(); x + 1 <= area.right(); x += 2) {
            const QRgb p = image.pixel(x, y);
            mixed += image.pixel(x + 1, y) != p || image.pixel(x, y + 1) != p || image.pixel(x + 1, y + 1) != p;
            ++blocks;
        }
    return blocks ? double(mixed) / blocks : 0;
}

TEST(HighDensity, TheWindowScalesInProportionAndTheBackgroundSmoothly)
{
    assets::initAssets();  // the program's own picture, as its main() makes it available
    test::ReaderUnderTest reader;
    auto* form = reader.form;
    // Every control where the design puts it, in logical pixels, so twice as far in device pixels.
    EXPECT_EQ(reader.flash(12)->geometry(), QRect(911, 11, 64, 52));
    EXPECT_EQ(form->WebBrowser1->geometry(), QRect(0, 72, 1000, 625));
    EXPECT_EQ(form->Label1->geometry(), QRect(872, 696, 113, 17));
    const QImage window = form->grab().toImage();
    EXPECT_EQ(window.size(), form->size() * 2);
    // The strip of picture below the page view, left of the label (device pixels).
    const QRect strip(2 * 10, 2 * 700, 2 * 840, 2 * 40);
    EXPECT_GT(mixedBlocks(window, strip), 0.25);
    EXPECT_TRUE(reader.errors.empty());
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Everything here runs on a screen of device pixel ratio 2.
    qputenv("QT_SCALE_FACTOR", "2");
    for (const auto& [name, value] : {std::pair{"QT_QPA_PLATFORM", "offscreen"}, {"QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu"},
                                      {"QT_QUICK_BACKEND", "software"}, {"QTWEBENGINE_DISABLE_SANDBOX", "1"}})
        if (!qEnvironmentVariableIsSet(name))
            qputenv(name, value);
    web::registerSchemes();
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
