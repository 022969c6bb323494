// The player on movies made for the purpose: by the SWF writer, or by hand for the tags
// the writer does not make. Each picture is checked against the same drawing done
// directly with QPainter, with the comparison of the reference corpus.
#include <gtest/gtest.h>
#include <lzma.h>

#include <QApplication>
#include <QBuffer>
#include <functional>
#include <QPainter>

#include "handmade_swf.h"
#include "image_compare.h"
#include "swf/swf.h"
#include "swf/writer/swf_writer.h"

namespace {

using namespace swf::test;
using swf::writer::MovieWriter;

std::shared_ptr<const swf::Movie> parse(const QByteArray& bytes) {
    return swf::parseMovie(std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())));
}

QImage frameOf(const QByteArray& file, int frames = 1, QSize size = {}) {
    auto movie = parse(file);
    swf::Player player(movie);
    for (int i = 1; i < frames; ++i) player.advance();
    return player.renderImage(size.isValid() ? size : movie->stageSizePixels());
}

QImage canvas(QSize size, const QColor& background) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(background);
    return image;
}

void expectMatches(const QImage& ours, const QImage& expected, const char* what) {
    Figures f = compareImages(ours, expected);
    if (const char* dump = std::getenv("SWF_DUMP_DIR")) {
        ours.save(QString::fromUtf8(dump) + QLatin1Char('/') + QString::fromUtf8(what) + QStringLiteral("-ours.png"));
        expected.save(QString::fromUtf8(dump) + QLatin1Char('/') + QString::fromUtf8(what) + QStringLiteral("-expected.png"));
    }
    EXPECT_TRUE(f.matches()) << what << ": mean diff " << f.meanDiff << "/255, outliers " << f.outlierShare * 100 << "%";
}

QColor pixel(const QImage& image, int x, int y) { return image.pixelColor(x, y); }

bool near(const QColor& a, const QColor& b, int tolerance = 8) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

QPainterPath rectPath(double x, double y, double w, double h) {
    QPainterPath p;
    p.addRect(x, y, w, h);
    return p;
}

// A picture of ramps in every channel, so that a misplaced, flipped or mis-decoded bitmap
// shows; smooth enough that JPEG keeps it close.
QImage testPicture(bool withAlpha) {
    QImage image(64, 48, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixelColor(x, y, QColor(x * 4, y * 5, 250 - 2 * x - 2 * y, withAlpha ? 60 + x * 3 : 255));
    return image;
}

// ---- Shapes, bitmaps, text and morphs as drawn -----------------------------------------------

TEST(WriterMovies, ShapesRenderAsDrawn) {
    MovieWriter w(QSizeF(200, 150), 24);
    w.setBackgroundColor(QColor(20, 40, 200));
    QPainterPath star;
    star.moveTo(100, 10);
    star.lineTo(130, 120);
    star.lineTo(40, 50);
    star.lineTo(160, 50);
    star.lineTo(70, 120);
    star.closeSubpath();
    QPainterPath ellipse;
    ellipse.addEllipse(QRectF(10, 80, 60, 50));
    QGradientStops stops{{0, QColor(255, 255, 0)}, {1, QColor(200, 0, 0)}};
    auto fill = swf::writer::FillStyle::linear(QPointF(10, 0), QPointF(70, 0), stops);
    swf::writer::LineStyle line;
    line.width = 4;
    line.color = Qt::white;
    w.place(1, w.defineShape(star, swf::writer::FillStyle::solid(QColor(250, 120, 0))));
    w.place(2, w.defineShape(ellipse, fill, line));
    w.showFrame();

    QImage expected = canvas(QSize(200, 150), QColor(20, 40, 200));
    {
        QPainter p(&expected);
        p.setRenderHint(QPainter::Antialiasing);
        star.setFillRule(Qt::OddEvenFill);
        p.fillPath(star, QColor(250, 120, 0));
        QLinearGradient g(10, 0, 70, 0);
        g.setStops(stops);
        p.fillPath(ellipse, g);
        p.strokePath(ellipse, QPen(Qt::white, 4));
    }
    expectMatches(frameOf(w.finish()), expected, "shapes");
}

TEST(WriterMovies, BitmapsOnStage) {
    struct Case {
        const char* name;
        bool alpha;
        std::function<uint16_t(MovieWriter&, const QImage&)> define;
    };
    const Case cases[] = {
        {"DefineBitsLossless", false, [](MovieWriter& w, const QImage& i) { return w.defineBitsLossless(i); }},
        {"DefineBitsLossless2", true, [](MovieWriter& w, const QImage& i) { return w.defineBitsLossless2(i); }},
        {"DefineBitsJPEG2", false, [](MovieWriter& w, const QImage& i) { return w.defineBitsJpeg2(i, 95); }},
    };
    for (const Case& c : cases) {
        QImage picture = testPicture(c.alpha);
        MovieWriter w(QSizeF(100, 80), 24);
        w.setBackgroundColor(QColor(0, 128, 0));
        uint16_t bitmap = c.define(w, picture);
        w.place(1, w.defineBitmapShape(bitmap, picture.size(), false),
                swf::writer::Placement::at(QTransform::fromTranslate(10, 20)));
        w.showFrame();
        QImage expected = canvas(QSize(100, 80), QColor(0, 128, 0));
        QPainter(&expected).drawImage(10, 20, picture);
        expectMatches(frameOf(w.finish()), expected, c.name);
    }
}

// A clipped bitmap fill on a shape larger than the picture: outside the picture the fill
// carries on with the picture's edge pixels, smoothed or not, on every side and corner.
TEST(WriterMovies, ClippedBitmapFillExtendsItsEdges) {
    QImage picture(8, 6, QImage::Format_ARGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) picture.setPixelColor(x, y, QColor(20 + x * 30, 20 + y * 40, 90));
    for (bool smoothed : {false, true}) {
        MovieWriter w(QSizeF(100, 80), 24);
        w.setBackgroundColor(Qt::white);
        uint16_t bitmap = w.defineBitsLossless(picture);
        // The picture at five pixels to the pixel, from (30, 20) to (70, 50): the checked
        // pixels sit at the centres of picture pixels, where smoothing leaves them alone.
        QTransform pixelsToShape = QTransform::fromScale(5, 5) * QTransform::fromTranslate(30, 20);
        w.place(1, w.defineShape(rectPath(0, 0, 100, 80),
                                 swf::writer::FillStyle::bitmap(bitmap, pixelsToShape, false, smoothed)));
        w.showFrame();
        QImage frame = frameOf(w.finish());
        const std::string what = smoothed ? "smoothed" : "not smoothed";
        auto expectPixel = [&](int x, int y, int px, int py) {
            EXPECT_TRUE(near(pixel(frame, x, y), picture.pixelColor(px, py)))
                << what << " at " << x << "," << y << ": " << pixel(frame, x, y).name().toStdString()
                << " instead of " << picture.pixelColor(px, py).name().toStdString();
        };
        expectPixel(42, 32, 2, 2);   // inside the picture
        expectPixel(5, 32, 0, 2);    // left of it
        expectPixel(95, 42, 7, 4);   // right
        expectPixel(52, 3, 4, 0);    // above
        expectPixel(37, 78, 1, 5);   // below
        expectPixel(2, 2, 0, 0);     // the four corners
        expectPixel(98, 2, 7, 0);
        expectPixel(2, 78, 0, 5);
        expectPixel(98, 78, 7, 5);
    }
}

TEST(HandMadeMovies, DefineBitsJpeg4WithAlphaAndDefineFontText) {
    // DefineBitsJPEG4: a JPEG with a separate zlib alpha plane, drawn through a clipped
    // bitmap fill scaled 20 twips to the pixel.
    QImage picture = testPicture(false);
    QByteArray jpeg;
    {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, "JPG", 95);
    }
    QByteArray alpha;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) alpha.append(char(x < 32 ? 255 : 128));
    QByteArray tags = tag(9, QByteArray("\x00\x00\x00", 3));  // black background
    tags += tag(90, u16(1) + u32(uint32_t(jpeg.size())) + u16(0) + jpeg + zlib(alpha));
    Bits m;
    m.ub(1, 1);
    m.ub(23, 5);
    m.sb(20 << 16, 23);
    m.sb(20 << 16, 23);
    m.ub(0, 1);
    m.ub(16, 5);
    m.sb(200, 16);
    m.sb(200, 16);
    QByteArray bitmapFill = QByteArray(1, char(0x41)) + u16(1) + m.bytes();
    tags += shapeTag(2, 200, 200, 200 + 64 * 20, 200 + 48 * 20, bitmapFill);
    tags += place2(1, 2);

    // DefineFont with one square glyph (half an em wide) and DefineText that sets it twice.
    Bits glyph;
    rectRecords(glyph, 0, -512, 512, 0, 1, 0, 1);
    QByteArray font = u16(3) + u16(2) + glyph.bytes();
    tags += tag(10, font);
    QByteArray text = u16(4) + rect(0, 2000, 0, 2000) + translate(0, 0);
    text += char(1);   // glyph bits
    text += char(16);  // advance bits
    text += char(0x8F);
    text += u16(3);
    text += QByteArray("\xFF\xFF\x00", 3);  // yellow
    text += u16(1400) + u16(1400) + u16(400);
    text += char(2);
    Bits entries;
    entries.ub(0, 1);
    entries.sb(300, 16);
    entries.ub(0, 1);
    entries.sb(300, 16);
    text += entries.bytes();
    text += char(0);
    tags += tag(11, text);
    tags += place2(2, 4);
    tags += showFrame();

    QImage expected = canvas(QSize(120, 100), Qt::black);
    {
        QPainter p(&expected);
        QImage withAlpha = picture.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < withAlpha.height(); ++y)
            for (int x = 32; x < withAlpha.width(); ++x) {
                QColor c = withAlpha.pixelColor(x, y);
                c.setAlpha(128);
                withAlpha.setPixelColor(x, y, c);
            }
        p.drawImage(10, 10, withAlpha);
        p.fillRect(QRect(70, 60, 10, 10), Qt::yellow);
        p.fillRect(QRect(85, 60, 10, 10), Qt::yellow);
    }
    expectMatches(frameOf(movie(tags, 120, 100)), expected, "JPEG4 and DefineFont");
}

// DefineEditText without embedded outlines is drawn with a system font: its text shows
// in the field's colour, inside its bounds only. Fields with no font, with a device font
// (DefineFont2 without glyphs, by name) and with outlines asked for but not embedded.
TEST(HandMadeMovies, EditTextWithoutOutlinesUsesASystemFont) {
    auto deviceFont = [](int id, const QByteArray& name) {
        QByteArray body = u16(id);
        body += char(0);  // no layout, narrow offsets and codes
        body += char(1);  // language
        body += char(name.size());
        body += name;
        body += u16(0);  // no glyphs
        body += u16(0);  // code table offset
        return tag(48, body);
    };
    // Field from (20, 10) to (180, 50) pixels, text 20 pixels high in opaque red.
    auto editText = [](int id, int fontId, bool useOutlines, const QByteArray& text) {
        QByteArray body = u16(id) + rect(20 * 20, 180 * 20, 10 * 20, 50 * 20);
        body += char(0x80 | 0x08 | 0x04 | (fontId ? 0x01 : 0));  // text, read-only, colour, font
        body += char(useOutlines ? 0x01 : 0);
        if (fontId) body += u16(fontId) + u16(20 * 20);
        body += QByteArray("\xff\x00\x00\xff", 4);
        body += QByteArray("field", 6);  // variable name with its terminator
        body += text + char(0);
        return tag(37, body);
    };
    struct Case {
        const char* name;
        QByteArray definitions;
    };
    const Case cases[] = {
        {"no font", editText(2, 0, false, "WMWMWM Hello")},
        {"device font _sans", deviceFont(1, "_sans") + editText(2, 1, false, "WMWMWM Hello")},
        {"named font", deviceFont(1, "Arial") + editText(2, 1, false, "WMWMWM Hello")},
        {"outlines asked, none embedded", deviceFont(1, "_serif") + editText(2, 1, true, "WMWMWM Hello")},
    };
    for (const Case& c : cases) {
        QByteArray file = movie(tag(9, QByteArray("\xff\xff\xff", 3)) + c.definitions + place2(1, 2) + showFrame(), 200, 60);
        QImage frame = frameOf(file);
        ASSERT_FALSE(frame.isNull()) << c.name;
        int inkInside = 0, changedOutside = 0;
        for (int y = 0; y < frame.height(); ++y)
            for (int x = 0; x < frame.width(); ++x) {
                QColor col = pixel(frame, x, y);
                bool inside = x >= 20 && x < 180 && y >= 10 && y < 50;
                if (inside && near(col, QColor(255, 0, 0), 40)) ++inkInside;
                if (!inside && !near(col, Qt::white, 0)) ++changedOutside;
            }
        EXPECT_GT(inkInside, 80) << c.name << ": the text does not show";
        EXPECT_EQ(changedOutside, 0) << c.name << ": drawn outside the field";
    }
    // The device font names stand for three different families.
    auto deviceFontFrame = [&](const QByteArray& name) {
        return frameOf(movie(deviceFont(1, name) + editText(2, 1, false, "WMWMWM Hello") + place2(1, 2) + showFrame(), 200, 60));
    };
    const QImage sans = deviceFontFrame("_sans"), serif = deviceFontFrame("_serif"), mono = deviceFontFrame("_typewriter");
    EXPECT_NE(sans, serif);
    EXPECT_NE(sans, mono);
    EXPECT_NE(serif, mono);
}

TEST(WriterMovies, DefineFont2TextAndMorphShape2) {
    QFont font(QStringLiteral("DejaVu Sans"));
    MovieWriter w(QSizeF(240, 120), 24);
    w.setBackgroundColor(Qt::white);
    uint16_t fontId = w.defineFont2(font, QStringLiteral("HIL"));
    w.place(1, w.defineText(fontId, QStringLiteral("HILL"), 40, QColor(0, 0, 160), QPointF(10, 50)));
    // A morph from a small red square to a wide blue bar, placed at three ratios.
    uint16_t morph = w.defineMorphShape(rectPath(0, 0, 20, 20), rectPath(0, 0, 60, 30), Qt::red, Qt::blue, true);
    for (int i = 0; i < 3; ++i) {
        swf::writer::Placement at = swf::writer::Placement::at(QTransform::fromTranslate(10 + 75 * i, 70));
        at.ratio = uint16_t(i * 32767 + (i == 2 ? 1 : 0));
        w.place(uint16_t(2 + i), morph, at);
    }
    w.showFrame();

    QImage expected = canvas(QSize(240, 120), Qt::white);
    {
        QPainter p(&expected);
        p.setRenderHint(QPainter::Antialiasing);
        QFont sized = font;
        sized.setPixelSize(40);
        QPainterPath text;
        text.addText(QPointF(10, 50), sized, QStringLiteral("HILL"));
        p.fillPath(text, QColor(0, 0, 160));
        for (int i = 0; i < 3; ++i) {
            double t = i / 2.0;
            QColor c(int(std::lround(255 * (1 - t))), 0, int(std::lround(255 * t)));
            p.fillRect(QRectF(10 + 75 * i, 70, 20 + 40 * t, 20 + 10 * t), c);
        }
    }
    expectMatches(frameOf(w.finish()), expected, "DefineFont2 text and morph shapes");
}

// A circle masking two layers: both show only inside it, with an antialiased edge at high
// quality and a hard one at low quality; the layer above the clip depth is not masked.
TEST(WriterMovies, ClipDepthMasksCutWithAntialiasedEdges) {
    MovieWriter w(QSizeF(100, 80), 24);
    w.setBackgroundColor(Qt::white);
    QPainterPath circle;
    circle.addEllipse(QPointF(40, 40), 30, 30);
    swf::writer::Placement mask;
    mask.clipDepth = 3;
    w.place(1, w.defineShape(circle, swf::writer::FillStyle::solid(Qt::black)), mask);
    w.place(2, w.defineShape(rectPath(0, 0, 40, 80), swf::writer::FillStyle::solid(Qt::red)));
    w.place(3, w.defineShape(rectPath(40, 0, 60, 80), swf::writer::FillStyle::solid(Qt::blue)));
    w.place(4, w.defineShape(rectPath(80, 0, 20, 80), swf::writer::FillStyle::solid(Qt::green)));
    w.showFrame();
    const QByteArray file = w.finish();

    QImage expected = canvas(QSize(100, 80), Qt::white);
    {
        QPainter p(&expected);
        p.setRenderHint(QPainter::Antialiasing);
        p.setClipRect(0, 0, 40, 80);
        p.fillPath(circle, Qt::red);
        p.setClipRect(40, 0, 60, 80);
        p.fillPath(circle, Qt::blue);
        p.setClipping(false);
        p.fillRect(80, 0, 20, 80, Qt::green);
    }
    const QImage high = frameOf(file);
    expectMatches(high, expected, "masks");

    auto partlyCovered = [](const QImage& image) {
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < 80; ++x) {
                QColor c = image.pixelColor(x, y);
                if (!near(c, Qt::white) && !near(c, Qt::red) && !near(c, Qt::blue)) ++count;
            }
        return count;
    };
    EXPECT_GT(partlyCovered(high), 60) << "the mask's edge is not antialiased";
    auto movie = parse(file);
    swf::Player player(movie);
    player.setQuality(swf::Quality::Low);
    const QImage low = player.renderImage(QSize(100, 80));
    EXPECT_EQ(partlyCovered(low), 0);
    EXPECT_TRUE(near(low.pixelColor(40, 40), Qt::blue) && near(low.pixelColor(20, 40), Qt::red));
    EXPECT_TRUE(near(low.pixelColor(5, 5), Qt::white) && near(low.pixelColor(90, 5), Qt::green));
}

TEST(MovieFiles, CompressedBodiesMatchThePlainFile) {
    MovieWriter w(QSizeF(80, 60), 24);
    w.setBackgroundColor(Qt::gray);
    w.place(1, w.defineShape(rectPath(10, 10, 40, 30), swf::writer::FillStyle::solid(Qt::magenta)));
    w.showFrame();
    const QByteArray plain = w.finish();
    const QByteArray body = plain.mid(8);

    QByteArray cws = "CWS" + plain.mid(3, 5) + zlib(body);

    // ZWS: compressed length, the five LZMA property bytes, then the raw LZMA stream.
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 6);
    lzma_stream ls = LZMA_STREAM_INIT;
    ASSERT_EQ(lzma_alone_encoder(&ls, &options), LZMA_OK);
    QByteArray packed(body.size() + 1024, 0);
    ls.next_in = reinterpret_cast<const uint8_t*>(body.constData());
    ls.avail_in = size_t(body.size());
    ls.next_out = reinterpret_cast<uint8_t*>(packed.data());
    ls.avail_out = size_t(packed.size());
    ASSERT_EQ(lzma_code(&ls, LZMA_FINISH), LZMA_STREAM_END);
    packed.resize(qsizetype(ls.total_out));
    lzma_end(&ls);
    const QByteArray props = packed.left(5), stream = packed.mid(13);  // drop the 8-byte length
    QByteArray zws = "ZWS" + plain.mid(3, 5) + u32(uint32_t(stream.size())) + props + stream;

    const QImage reference = frameOf(plain);
    EXPECT_EQ(frameOf(cws), reference);
    EXPECT_EQ(frameOf(zws), reference);
    EXPECT_EQ(pixel(reference, 30, 25), QColor(Qt::magenta));
}

// ---- Timelines and actions -------------------------------------------------------------------

// Three frames, each showing its own colour at depth 1; `frameSetup` adds actions.
QByteArray colourFrames(const std::function<void(MovieWriter&, int frame)>& frameSetup) {
    MovieWriter w(QSizeF(40, 40), 24);
    w.setBackgroundColor(Qt::black);
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue};
    uint16_t shapes[3];
    for (int i = 0; i < 3; ++i) shapes[i] = w.defineShape(rectPath(0, 0, 40, 40), swf::writer::FillStyle::solid(colours[i]));
    for (int i = 0; i < 3; ++i) {
        if (i == 0) w.place(1, shapes[0]);
        else w.replace(1, shapes[i]);
        frameSetup(w, i);
        w.showFrame();
    }
    return w.finish();
}

QColor centre(swf::Player& player) { return player.renderImage(QSize(40, 40)).pixelColor(20, 20); }

TEST(Timeline, LoopsStopsAndGoesToLabels) {
    {
        swf::Player player(parse(colourFrames([](MovieWriter&, int) {})));
        std::vector<int> seen;
        for (int i = 0; i < 5; ++i) {
            seen.push_back(player.currentFrame());
            player.advance();
        }
        EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 1, 2}));
        EXPECT_EQ(centre(player), QColor(Qt::blue));
        // The menu's Rewind, Forward and Back stop the movie where they leave it.
        player.rewind();
        EXPECT_EQ(player.currentFrame(), 1);
        EXPECT_FALSE(player.isPlaying());
        EXPECT_EQ(centre(player), QColor(Qt::red));
        player.forward();
        EXPECT_EQ(centre(player), QColor(Qt::green));
        player.back();
        EXPECT_EQ(player.currentFrame(), 1);
        player.gotoFrame(2);
        player.play();
        player.setLoop(false);
        player.advance();
        player.advance();
        EXPECT_EQ(player.currentFrame(), 3);
        EXPECT_FALSE(player.isPlaying());
    }
    {
        // stop() in frame 2 holds the movie there, and it leaves the frame clock.
        swf::Player player(parse(colourFrames([](MovieWriter& w, int frame) {
            if (frame == 1) w.stop();
        })));
        for (int i = 0; i < 5; ++i) player.advance();
        EXPECT_EQ(player.currentFrame(), 2);
        EXPECT_FALSE(player.isPlaying());
        EXPECT_FALSE(player.isScheduled());
        EXPECT_EQ(centre(player), QColor(Qt::green));
        player.play();
        player.advance();
        EXPECT_EQ(player.currentFrame(), 3);
    }
    {
        // Frame 1 jumps to the label of frame 3, which stops.
        swf::Player player(parse(colourFrames([](MovieWriter& w, int frame) {
            if (frame == 0) w.gotoLabel(QStringLiteral("Done"));
            if (frame == 2) {
                w.frameLabel(QStringLiteral("done"));
                w.stop();
            }
        })));
        EXPECT_EQ(player.currentFrame(), 3);
        EXPECT_EQ(centre(player), QColor(Qt::blue));
    }
}

TEST(Timeline, SpritesAdvanceWithTheRootAndOneFrameMoviesRest) {
    MovieWriter w(QSizeF(40, 40), 24);
    uint16_t red = w.defineShape(rectPath(0, 0, 40, 40), swf::writer::FillStyle::solid(Qt::red));
    uint16_t green = w.defineShape(rectPath(0, 0, 40, 40), swf::writer::FillStyle::solid(Qt::green));
    swf::writer::Timeline sprite;
    sprite.place(1, red);
    sprite.showFrame();
    sprite.replace(1, green);
    sprite.showFrame();
    w.place(1, w.defineSprite(sprite));
    w.showFrame();
    swf::Player player(parse(w.finish()));
    EXPECT_EQ(player.frameCount(), 1);
    EXPECT_TRUE(player.isScheduled());  // the sprite still plays
    EXPECT_EQ(centre(player), QColor(Qt::red));
    player.advance();
    EXPECT_EQ(centre(player), QColor(Qt::green));
    player.advance();
    EXPECT_EQ(centre(player), QColor(Qt::red));

    MovieWriter still(QSizeF(40, 40), 24);
    still.place(1, still.defineShape(rectPath(0, 0, 40, 40), swf::writer::FillStyle::solid(Qt::red)));
    still.showFrame();
    swf::Player resting(parse(still.finish()));
    EXPECT_FALSE(resting.isScheduled());
    for (int i = 0; i < 10; ++i) resting.advance();
    EXPECT_EQ(resting.changedFrames(), 0);
}

TEST(Buttons, StatesFollowTheMouseAndReleaseRunsTheAction) {
    MovieWriter w(QSizeF(100, 100), 24);
    w.setBackgroundColor(Qt::black);
    auto square = [&](const QColor& c) { return w.defineShape(rectPath(20, 20, 40, 40), swf::writer::FillStyle::solid(c)); };
    uint16_t up = square(Qt::red), over = square(Qt::green), down = square(Qt::blue), hit = square(Qt::white);
    uint16_t marker = w.defineShape(rectPath(80, 80, 10, 10), swf::writer::FillStyle::solid(Qt::yellow));
    using R = swf::writer::ButtonRecord;
    swf::writer::ButtonAction toFrame2;
    toFrame2.kind = swf::writer::ButtonAction::GotoFrame;
    toFrame2.frame = 1;
    uint16_t button = w.defineButton2({{R::Up, up, 1, {}, {}, {}, {}}, {R::Over, over, 2, {}, {}, {}, {}}, {R::Down, down, 3, {}, {}, {}, {}},
                                       {R::HitTest, hit, 4, {}, {}, {}, {}}},
                                      {toFrame2});
    w.place(1, button);
    w.stop();
    w.showFrame();
    w.place(2, marker);
    w.stop();
    w.showFrame();

    swf::Player player(parse(w.finish()));
    player.setViewSize(QSize(100, 100));
    auto at = [&](int x, int y) { return player.renderImage(QSize(100, 100)).pixelColor(x, y); };
    EXPECT_EQ(at(40, 40), QColor(Qt::red));
    player.mouseMove(QPointF(40, 40));
    EXPECT_TRUE(player.overButton());
    EXPECT_EQ(at(40, 40), QColor(Qt::green));
    player.mousePress(QPointF(40, 40));
    EXPECT_EQ(at(40, 40), QColor(Qt::blue));
    player.mouseRelease(QPointF(40, 40));
    EXPECT_EQ(at(40, 40), QColor(Qt::green));
    EXPECT_EQ(player.currentFrame(), 2);
    EXPECT_EQ(at(85, 85), QColor(Qt::yellow));
    player.mouseMove(QPointF(5, 5));
    EXPECT_EQ(at(40, 40), QColor(Qt::red));

    // Pressed, dragged off and released outside: back to up, and no action.
    player.rewind();
    player.mousePress(QPointF(40, 40));
    player.mouseMove(QPointF(90, 10));
    EXPECT_EQ(at(40, 40), QColor(Qt::green));
    player.mouseRelease(QPointF(90, 10));
    EXPECT_EQ(at(40, 40), QColor(Qt::red));
    EXPECT_EQ(player.currentFrame(), 1);
}

// A playing movie keeps looking for buttons under the pointer on every frame; once the pointer
// has left the movie, no frame may find it there again (the button would light up for good).
TEST(Buttons, AButtonStaysUpAfterThePointerLeavesAPlayingMovie) {
    MovieWriter w(QSizeF(100, 100), 24);
    w.setBackgroundColor(Qt::black);
    auto square = [&](const QColor& c) { return w.defineShape(rectPath(20, 20, 40, 40), swf::writer::FillStyle::solid(c)); };
    uint16_t up = square(Qt::red), over = square(Qt::green), hit = square(Qt::white);
    uint16_t dot = w.defineShape(rectPath(80, 80, 10, 10), swf::writer::FillStyle::solid(Qt::yellow));
    using R = swf::writer::ButtonRecord;
    uint16_t button = w.defineButton2({{R::Up, up, 1, {}, {}, {}, {}}, {R::Over | R::Down, over, 2, {}, {}, {}, {}},
                                       {R::HitTest, hit, 3, {}, {}, {}, {}}});
    w.place(1, button);
    w.showFrame();
    w.place(2, dot);
    w.showFrame();

    swf::Player player(parse(w.finish()));
    player.setViewSize(QSize(100, 100));
    const QByteArray upKey = player.pictureKey();
    player.mouseMove(QPointF(40, 40));
    player.advance();
    ASSERT_TRUE(player.overButton());
    player.mouseLeave();
    for (int i = 0; i < 3; ++i) {
        player.advance();
        EXPECT_FALSE(player.overButton());
        EXPECT_EQ(player.renderImage(QSize(100, 100)).pixelColor(40, 40), QColor(Qt::red));
    }
    // Back on the first frame the picture is the one from before the hover, so a control's
    // kept pictures serve it again.
    EXPECT_EQ(player.currentFrame(), 1);
    EXPECT_EQ(player.pictureKey(), upKey);
    // The pointer coming back finds the button again.
    player.mouseMove(QPointF(40, 40));
    EXPECT_TRUE(player.overButton());
}

// Pictures handed out are the caller's own: drawing the next frame leaves them as they were.
TEST(WriterMovies, RenderedPicturesStayAsDrawn) {
    MovieWriter w(QSizeF(40, 40), 24);
    w.setBackgroundColor(Qt::white);
    w.place(1, w.defineShape(rectPath(0, 0, 20, 40), swf::writer::FillStyle::solid(Qt::blue)));
    w.showFrame();
    w.remove(1);
    w.showFrame();
    swf::Player player(parse(w.finish()));
    const QImage first = player.renderImage(QSize(40, 40));
    player.advance();
    const QImage second = player.renderImage(QSize(40, 40));
    const QImage larger = player.renderImage(QSize(80, 80));
    EXPECT_EQ(first.pixelColor(10, 20), QColor(Qt::blue));
    EXPECT_EQ(second.pixelColor(10, 20), QColor(Qt::white));
    EXPECT_EQ(larger.size(), QSize(80, 80));
    EXPECT_FALSE(first.paintingActive());
}

// ---- Malformed files -------------------------------------------------------------------------

// Parses, plays a few frames and draws a small picture; only MalformedMovie may escape.
void survives(const QByteArray& bytes) {
    std::shared_ptr<const swf::Movie> movie;
    try {
        movie = parse(bytes);
    } catch (const swf::MalformedMovie&) {
        return;
    }
    swf::Player player(movie);
    player.setViewSize(QSize(32, 24));
    for (int i = 0; i < 3; ++i) player.advance();
    player.mouseMove(QPointF(10, 10));
    player.mousePress(QPointF(10, 10));
    player.mouseRelease(QPointF(10, 10));
    (void)player.renderImage(QSize(32, 24));
}

QByteArray richMovie(bool compressed) {
    MovieWriter w(QSizeF(60, 40), 24);
    w.setCompressed(compressed);
    w.setBackgroundColor(Qt::white);
    uint16_t shape = w.defineShape(rectPath(5, 5, 20, 20), swf::writer::FillStyle::radial(QPointF(15, 15), 10, {{0, Qt::red}, {1, Qt::blue}}));
    uint16_t bitmap = w.defineBitsLossless2(testPicture(true).scaled(8, 6));
    uint16_t bitmapShape = w.defineBitmapShape(bitmap, QSize(8, 6));
    uint16_t font = w.defineFont2(QFont(QStringLiteral("DejaVu Sans")), QStringLiteral("Ab"));
    uint16_t text = w.defineText(font, QStringLiteral("Ab"), 12, Qt::black, QPointF(2, 30));
    uint16_t morph = w.defineMorphShape(rectPath(0, 0, 5, 5), rectPath(0, 0, 9, 9), Qt::red, Qt::blue, true);
    swf::writer::Timeline sprite;
    sprite.place(1, shape);
    sprite.showFrame();
    sprite.remove(1);
    sprite.showFrame();
    uint16_t spriteId = w.defineSprite(sprite);
    using R = swf::writer::ButtonRecord;
    uint16_t button = w.defineButton2({{R::Up | R::HitTest, shape, 1, {}, {}, {}, {}}, {R::Over, bitmapShape, 1, {}, {}, {}, {}}}, {{}});
    w.place(1, spriteId);
    w.place(2, text);
    w.place(3, button);
    swf::writer::Placement masked;
    masked.clipDepth = 5;
    w.place(4, bitmapShape, masked);
    w.place(5, morph);
    w.frameLabel(QStringLiteral("a"));
    w.showFrame();
    w.gotoLabel(QStringLiteral("a"), true);
    w.showFrame();
    return w.finish();
}

TEST(Malformed, TruncatedAndCorruptedFilesFailCleanly) {
    for (bool compressed : {false, true}) {
        const QByteArray good = richMovie(compressed);
        ASSERT_NO_THROW(parse(good));
        for (qsizetype length = 0; length < good.size(); ++length) survives(good.left(length));
        uint32_t seed = 12345;
        auto random = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 8); };
        for (int round = 0; round < 1500; ++round) {
            QByteArray bad = good;
            int flips = 1 + int(random() % 4);
            for (int i = 0; i < flips; ++i) {
                qsizetype at = qsizetype(random() % uint32_t(bad.size()));
                bad[at] = char(bad[at] ^ (1 << (random() % 8)));
            }
            survives(bad);
        }
    }
}

TEST(Malformed, HugeDeclaredSizesAreRefused) {
    // A tag that claims more bytes than the file has.
    QByteArray longTag = movie(u16(2 << 6 | 0x3F) + u32(0xFFFFFFF0u), 10, 10);
    EXPECT_THROW(parse(longTag), swf::MalformedMovie);
    // A lossless bitmap of 65535 x 65535 pixels in a few bytes.
    EXPECT_THROW(parse(movie(tag(20, u16(1) + QByteArray(1, 5) + u16(65535) + u16(65535) + zlib("x")), 10, 10)),
                 swf::MalformedMovie);
    // A font that claims 65535 glyphs, and a shape with 65535 fill styles.
    EXPECT_THROW(parse(movie(tag(48, u16(1) + QByteArray(3, 0) + u16(65535) + u16(4)), 10, 10)), swf::MalformedMovie);
    EXPECT_THROW(parse(movie(tag(22, u16(1) + rect(0, 20, 0, 20) + QByteArray(1, char(0xFF)) + u16(65535)), 10, 10)),
                 swf::MalformedMovie);
    // A zlib bomb with a header that declares 4 GB: the body stops at the parser's cap.
    QByteArray zeros(8 << 20, 0);
    QByteArray bomb = QByteArray("CWS\x0a", 4) + u32(0xFFFFFFFFu) + zlib(rect(0, 200, 0, 200) + u16(0) + u16(1) + zeros);
    survives(bomb);
    // Not a movie at all.
    EXPECT_THROW(parse(QByteArray("GIF89a....")), swf::MalformedMovie);
}

TEST(Malformed, RecursiveAndDeeplyNestedSpritesStayBounded) {
    // Sprite 1 places itself twice, so each level would double without a limit.
    QByteArray self = u16(1) + u16(1) + place2(1, 1) + place2(2, 1) + showFrame() + u16(0);
    QByteArray recursive = movie(tag(39, self) + place2(1, 1) + showFrame(), 20, 20);
    survives(recursive);

    // A chain of 500 sprites, each holding the one before.
    QByteArray chain = shapeTag(1, 0, 0, 200, 200, QByteArray("\x00\xFF\x00\x00", 4));
    for (int id = 2; id <= 500; ++id) chain += tag(39, u16(id) + u16(1) + place2(1, id - 1) + showFrame() + u16(0));
    chain += place2(1, 500) + showFrame();
    survives(movie(chain, 20, 20));
    SUCCEED();
}

}  // namespace
