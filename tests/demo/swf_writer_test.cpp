// The SWF writer's files, read back bit by bit with an independent reader.
#include "swf/writer/swf_writer.h"
#include "swf_check.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace swf::writer;
namespace check = swfcheck;

namespace {

enum : uint16_t {
    kShowFrame = 1,
    kDefineShape = 2,
    kSetBackgroundColor = 9,
    kDefineText = 11,
    kDoAction = 12,
    kDefineBitsLossless = 20,
    kDefineBitsJpeg2 = 21,
    kPlaceObject2 = 26,
    kRemoveObject2 = 28,
    kDefineShape3 = 32,
    kDefineButton2 = 34,
    kDefineBitsLossless2 = 36,
    kDefineSprite = 39,
    kFrameLabel = 43,
    kDefineMorphShape = 46,
    kDefineFont2 = 48,
    kFileAttributes = 69,
    kDefineShape4 = 83,
    kDefineMorphShape2 = 84,
};

const check::Tag& onlyTag(const check::Movie& movie, uint16_t code) {
    const auto tags = movie.tagsWithCode(code);
    EXPECT_EQ(tags.size(), 1u) << "tag " << code;
    if (tags.empty()) throw std::runtime_error("tag missing");
    return *tags.front();
}

// Share of pixels that differ between two paths filled odd-even, without antialiasing.
double coverageDifference(QPainterPath a, QPainterPath b, QRectF area) {
    const QSize size(400, 400);
    auto draw = [&](QPainterPath path) {
        QImage image(size, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        p.scale(size.width() / area.width(), size.height() / area.height());
        p.translate(-area.topLeft());
        path.setFillRule(Qt::OddEvenFill);
        p.fillPath(path, Qt::black);
        return image;
    };
    const QImage ia = draw(a), ib = draw(b);
    int differing = 0;
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) differing += ia.pixel(x, y) != ib.pixel(x, y);
    return static_cast<double>(differing) / (size.width() * size.height());
}

}  // namespace

TEST(SwfWriter, HeaderStageFrameRateAndTagStream) {
    MovieWriter movie(QSizeF(190, 30), 16);
    movie.setBackgroundColor(QColor(0x1F, 0x2D, 0x3A));
    QPainterPath box;
    box.addRect(0, 0, 190, 30);
    movie.place(1, movie.defineShape(box, FillStyle::solid(Qt::red)));
    for (int i = 0; i < 3; ++i) movie.showFrame();
    const QByteArray bytes = movie.finish();

    const check::Movie parsed = check::parseMovie(bytes);
    EXPECT_EQ(parsed.signature, "FWS");
    EXPECT_EQ(parsed.version, 10);
    EXPECT_EQ(parsed.fileLength, static_cast<uint32_t>(bytes.size()));
    EXPECT_EQ(parsed.stageTwips, QRect(0, 0, 3800, 600));
    EXPECT_DOUBLE_EQ(parsed.frameRate, 16.0);
    EXPECT_EQ(parsed.frameCount, 3);
    EXPECT_EQ(parsed.showFrames(), 3);
    ASSERT_GE(parsed.tags.size(), 3u);
    EXPECT_EQ(parsed.tags.front().code, kFileAttributes);  // must come first from version 8 on
    EXPECT_EQ(parsed.tags.back().code, 0);
    const QByteArray background = onlyTag(parsed, kSetBackgroundColor).body;
    EXPECT_EQ(background, QByteArray::fromHex("1f2d3a"));

    // The compressed form holds the same tags; an old version has no FileAttributes.
    movie.setCompressed(true);
    const check::Movie compressed = check::parseMovie(movie.finish());
    EXPECT_EQ(compressed.signature, "CWS");
    ASSERT_EQ(compressed.tags.size(), parsed.tags.size());
    for (size_t i = 0; i < parsed.tags.size(); ++i) EXPECT_EQ(compressed.tags[i].body, parsed.tags[i].body);

    MovieWriter old(QSizeF(10, 10), 12.5, 6);
    old.showFrame();
    const check::Movie oldParsed = check::parseMovie(old.finish());
    EXPECT_TRUE(oldParsed.tagsWithCode(kFileAttributes).empty());
    EXPECT_DOUBLE_EQ(oldParsed.frameRate, 12.5);
}

TEST(SwfWriter, TagHeadersAreLongFromSixtyThreeBytes) {
    MovieWriter movie(QSizeF(10, 10), 12);
    movie.frameLabel(QString(61, QLatin1Char('a')));  // 62 bytes with the terminator
    movie.frameLabel(QString(62, QLatin1Char('b')));  // 63 bytes
    movie.showFrame();
    const check::Movie parsed = check::parseMovie(movie.finish());
    const auto labels = parsed.tagsWithCode(kFrameLabel);
    ASSERT_EQ(labels.size(), 2u);
    EXPECT_FALSE(labels[0]->longHeader);
    EXPECT_EQ(labels[0]->body.size(), 62);
    EXPECT_TRUE(labels[1]->longHeader);
    EXPECT_EQ(labels[1]->body.size(), 63);
}

TEST(SwfWriter, ShapesReadBackToTheirPaths) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(40);
    font.setBold(true);
    QPainterPath text;
    text.addText(4, 44, font, QStringLiteral("Ag?8"));
    QPainterPath ring;
    ring.addEllipse(QPointF(60, 60), 50, 40);
    ring.addEllipse(QPointF(60, 60), 20, 15);  // a hole, by the odd-even rule
    QPainterPath star;
    for (int i = 0; i < 10; ++i) {
        const double r = i % 2 ? 12 : 40, angle = i * M_PI / 5;
        const QPointF p(-30 + r * std::cos(angle), -20 + r * std::sin(angle));  // negative coordinates
        i == 0 ? star.moveTo(p) : star.lineTo(p);
    }
    QPainterPath open;  // an open outline: the writer closes it for the fill
    open.moveTo(5, 5);
    open.cubicTo(80, -20, 120, 100, 20, 90);

    for (const QPainterPath& source : {text, ring, star, open}) {
        MovieWriter movie(QSizeF(200, 200), 12);
        movie.defineShape(source, FillStyle::solid(Qt::blue));
        const check::Movie parsed = check::parseMovie(movie.finish());
        const check::Shape shape = check::decodeShape(onlyTag(parsed, kDefineShape));
        EXPECT_TRUE(shape.edges.subpathsClosed);
        ASSERT_EQ(shape.fills.size(), 1u);
        EXPECT_EQ(shape.fills[0].color, QColor(Qt::blue));
        const QRectF area = source.boundingRect().adjusted(-5, -5, 5, 5);
        EXPECT_LT(coverageDifference(source, shape.edges.path, area), 0.01) << "bounds " << area.width();
        // The bounds hold every point of the outline.
        const QRectF bounds(shape.boundsTwips.x() / 20.0, shape.boundsTwips.y() / 20.0,
                            shape.boundsTwips.width() / 20.0, shape.boundsTwips.height() / 20.0);
        EXPECT_TRUE(bounds.adjusted(-0.1, -0.1, 0.1, 0.1).contains(shape.edges.path.boundingRect()));
    }
}

TEST(SwfWriter, CubicsBecomeQuadraticsWithinTolerance) {
    std::mt19937 random(3);
    std::uniform_real_distribution<double> coordinate(-300, 300);
    for (int trial = 0; trial < 50; ++trial) {
        QPointF p[4];
        for (QPointF& point : p) point = QPointF(coordinate(random), coordinate(random));
        const double tolerance = 0.05;
        const auto pieces = cubicToQuadratics(p[0], p[1], p[2], p[3], tolerance);
        ASSERT_FALSE(pieces.empty());
        EXPECT_EQ(pieces.back().second, p[3]);
        auto cubicAt = [&](double t) {
            const double u = 1 - t;
            return u * u * u * p[0] + 3 * u * u * t * p[1] + 3 * u * t * t * p[2] + t * t * t * p[3];
        };
        std::vector<QPointF> curve;
        for (int i = 0; i <= 4000; ++i) curve.push_back(cubicAt(i / 4000.0));
        QPointF start = p[0];
        double worst = 0;
        for (const auto& [control, end] : pieces) {
            for (int i = 0; i <= 10; ++i) {
                const double t = i / 10.0, u = 1 - t;
                const QPointF q = u * u * start + 2 * u * t * control + t * t * end;
                double nearest = 1e9;
                for (const QPointF& c : curve) nearest = std::min(nearest, std::hypot(q.x() - c.x(), q.y() - c.y()));
                worst = std::max(worst, nearest);
            }
            start = end;
        }
        EXPECT_LT(worst, tolerance + 0.5) << "trial " << trial;  // plus the sampling step of the curve
    }
}

TEST(SwfWriter, EdgesTooLongForOneRecordAreSplitAndStillMeet) {
    QPainterPath sliver;  // 4000 pixels = 80000 twips, beyond the 17-bit edge deltas
    sliver.moveTo(0, 0);
    sliver.lineTo(4000, 10);
    sliver.quadTo(2000, 3000, 0, 20);
    sliver.closeSubpath();
    MovieWriter movie(QSizeF(100, 100), 12);
    movie.defineShape(sliver, FillStyle::solid(Qt::black));
    const check::Shape shape = check::decodeShape(onlyTag(check::parseMovie(movie.finish()), kDefineShape));
    EXPECT_GT(shape.edges.straightEdges, 2);
    EXPECT_TRUE(shape.edges.subpathsClosed);
    const QRectF bounds = shape.edges.path.boundingRect();
    EXPECT_NEAR(bounds.right(), 4000, 0.1);
    EXPECT_NEAR(bounds.bottom(), sliver.boundingRect().bottom(), 1.0);
}

TEST(SwfWriter, ShapeVersionFollowsWhatTheStylesNeed) {
    QPainterPath box;
    box.addRect(10, 20, 100, 50);
    const QGradientStops stops = {{0.0, Qt::black}, {0.5, Qt::gray}, {1.0, Qt::white}};
    struct Case {
        std::optional<FillStyle> fill;
        std::optional<LineStyle> line;
        uint16_t code;
        uint8_t fillType;
    };
    const std::vector<Case> cases = {
        {FillStyle::solid(Qt::red), std::nullopt, kDefineShape, 0x00},
        {FillStyle::solid(QColor(255, 0, 0, 128)), std::nullopt, kDefineShape3, 0x00},
        {FillStyle::linear({10, 20}, {110, 20}, stops), LineStyle{2, Qt::black}, kDefineShape, 0x10},
        {FillStyle::radial({60, 45}, 30, stops), std::nullopt, kDefineShape, 0x12},
        {FillStyle::focalRadial({60, 45}, 30, 0.5, stops), std::nullopt, kDefineShape4, 0x13},
        {FillStyle::solid(Qt::red), LineStyle{2, Qt::black, LineStyle::Cap::Square, LineStyle::Join::Miter, 2},
         kDefineShape4, 0x00},
        {std::nullopt, LineStyle{1, QColor(0, 0, 0, 100)}, kDefineShape3, 0},
    };
    for (const Case& c : cases) {
        MovieWriter movie(QSizeF(200, 200), 12);
        movie.defineShape(box, c.fill, c.line);
        const check::Movie parsed = check::parseMovie(movie.finish());
        const check::Shape shape = check::decodeShape(onlyTag(parsed, c.code));
        ASSERT_EQ(shape.fills.size(), c.fill ? 1u : 0u);
        ASSERT_EQ(shape.lines.size(), c.line ? 1u : 0u);
        if (c.fill) {
            EXPECT_EQ(shape.fills[0].type, c.fillType);
            if (c.fillType != 0) {
                ASSERT_EQ(shape.fills[0].stops.size(), 3u);
                EXPECT_EQ(shape.fills[0].stops[1].first, 128);
                EXPECT_EQ(shape.fills[0].stops[2].second, QColor(Qt::white));
            }
        }
        if (c.line) {
            EXPECT_EQ(shape.lines[0].first, static_cast<uint16_t>(c.line->width * 20));
        }
        EXPECT_EQ(shape.edges.straightEdges, 4);
    }
}

TEST(SwfWriter, GradientMatricesMapTheGradientSquareOntoTheShape) {
    QPainterPath box;
    box.addRect(0, 0, 200, 100);
    const QGradientStops stops = {{0.0, Qt::black}, {1.0, Qt::white}};
    MovieWriter movie(QSizeF(200, 100), 12);
    movie.defineShape(box, FillStyle::linear({10, 20}, {110, 60}, stops));
    movie.defineShape(box, FillStyle::radial({50, 40}, 30, stops));
    const auto shapes = check::parseMovie(movie.finish()).tagsWithCode(kDefineShape);
    ASSERT_EQ(shapes.size(), 2u);
    // The gradient square runs from -16384 to 16384; the matrix takes it to twips.
    const check::Matrix linear = check::decodeShape(*shapes[0]).fills[0].matrix;
    auto mapLinear = [&](double g) {
        return QPointF((linear.a * g + linear.tx) / 20, (linear.b * g + linear.ty) / 20);
    };
    EXPECT_NEAR(mapLinear(-16384).x(), 10, 0.1);
    EXPECT_NEAR(mapLinear(-16384).y(), 20, 0.1);
    EXPECT_NEAR(mapLinear(16384).x(), 110, 0.1);
    EXPECT_NEAR(mapLinear(16384).y(), 60, 0.1);
    const check::Matrix radial = check::decodeShape(*shapes[1]).fills[0].matrix;
    EXPECT_NEAR((radial.a * 16384 + radial.tx) / 20, 80, 0.1);
    EXPECT_NEAR((radial.d * 16384 + radial.ty) / 20, 70, 0.1);
    EXPECT_EQ(radial.tx, 1000);
    EXPECT_EQ(radial.ty, 800);
}

TEST(SwfWriter, PlaceModifyAndRemoveCarryMatrixAndColourTransform) {
    MovieWriter movie(QSizeF(100, 100), 12);
    QPainterPath box;
    box.addRect(0, 0, 10, 10);
    const uint16_t id = movie.defineShape(box, FillStyle::solid(Qt::green));
    QTransform t;
    t.translate(12.5, 7);
    t.rotate(30);
    t.scale(2, 0.5);
    Placement placement = Placement::at(t);
    placement.colorTransform = ColorTransform::alpha(0.5);
    placement.name = QStringLiteral("glow");
    movie.place(3, id, placement);
    movie.showFrame();
    ColorTransform tint = ColorTransform::tint(QColor(40, 0, 200), 0.25);
    movie.modify(3, Placement::tinted(tint));
    movie.showFrame();
    movie.remove(3);
    movie.showFrame();

    const check::Movie parsed = check::parseMovie(movie.finish());
    const auto places = parsed.tagsWithCode(kPlaceObject2);
    ASSERT_EQ(places.size(), 2u);
    const check::PlaceObject first = check::decodePlaceObject2(*places[0]);
    EXPECT_EQ(first.depth, 3);
    EXPECT_EQ(first.characterId, id);
    EXPECT_FALSE(first.flags & 0x01);
    ASSERT_TRUE(first.matrix);
    const QTransform back = first.matrix->pixels();
    EXPECT_NEAR(back.m11(), t.m11(), 1e-4);
    EXPECT_NEAR(back.m12(), t.m12(), 1e-4);
    EXPECT_NEAR(back.m21(), t.m21(), 1e-4);
    EXPECT_NEAR(back.m22(), t.m22(), 1e-4);
    EXPECT_EQ(first.matrix->tx, 250);
    EXPECT_EQ(first.matrix->ty, 140);
    ASSERT_TRUE(first.colorTransform);
    EXPECT_TRUE(first.colorTransform->hasMult);
    EXPECT_FALSE(first.colorTransform->hasAdd);
    EXPECT_EQ(first.colorTransform->mult[3], 128);
    EXPECT_EQ(first.colorTransform->mult[0], 256);
    EXPECT_EQ(first.name, QStringLiteral("glow"));

    const check::PlaceObject second = check::decodePlaceObject2(*places[1]);
    EXPECT_TRUE(second.flags & 0x01);  // modifies what stands at the depth
    EXPECT_FALSE(second.characterId);
    EXPECT_FALSE(second.matrix);
    ASSERT_TRUE(second.colorTransform);
    EXPECT_EQ(second.colorTransform->mult[0], 64);
    EXPECT_EQ(second.colorTransform->add[0], 40);
    EXPECT_EQ(second.colorTransform->add[2], 200);

    EXPECT_EQ(onlyTag(parsed, kRemoveObject2).body, QByteArray::fromHex("0300"));
}

TEST(SwfWriter, FrameLabelsAndFrameActions) {
    MovieWriter movie(QSizeF(10, 10), 12);
    movie.frameLabel(QStringLiteral("start"));
    movie.stop();
    movie.play();
    movie.gotoFrame(5, true);
    movie.gotoLabel(QStringLiteral("loop"));
    movie.showFrame();
    const check::Movie parsed = check::parseMovie(movie.finish());
    EXPECT_EQ(onlyTag(parsed, kFrameLabel).body, QByteArray("start", 6));
    const auto blocks = parsed.tagsWithCode(kDoAction);
    ASSERT_EQ(blocks.size(), 4u);
    std::vector<std::vector<check::Action>> actions;
    for (const check::Tag* block : blocks) {
        check::BitReader in(block->body);
        actions.push_back(check::readActions(in));
        EXPECT_EQ(in.remaining(), 0);
    }
    ASSERT_EQ(actions[0].size(), 1u);
    EXPECT_EQ(actions[0][0].code, 0x07);
    EXPECT_EQ(actions[1][0].code, 0x06);
    ASSERT_EQ(actions[2].size(), 2u);
    EXPECT_EQ(actions[2][0].code, 0x81);
    EXPECT_EQ(actions[2][0].payload, QByteArray::fromHex("0500"));
    EXPECT_EQ(actions[2][1].code, 0x06);
    EXPECT_EQ(actions[3][0].code, 0x8C);
    EXPECT_EQ(actions[3][0].payload, QByteArray("loop", 5));
}

TEST(SwfWriter, SpritesAndButtonsNestTheirRecords) {
    MovieWriter movie(QSizeF(50, 50), 12);
    QPainterPath box;
    box.addRect(0, 0, 20, 20);
    const uint16_t red = movie.defineShape(box, FillStyle::solid(Qt::red));
    const uint16_t blue = movie.defineShape(box, FillStyle::solid(Qt::blue));
    Timeline spin;
    spin.place(1, red);
    spin.showFrame();
    spin.modify(1, Placement::at(QTransform().rotate(45)));
    spin.showFrame();
    const uint16_t sprite = movie.defineSprite(spin);
    ButtonRecord up{ButtonRecord::Up | ButtonRecord::Over, red, 1, {}, std::nullopt, {}, {}};
    ButtonRecord down{ButtonRecord::Down | ButtonRecord::HitTest, blue, 2, QTransform::fromTranslate(5, 5),
                      ColorTransform::alpha(0.5), {}, {}};
    ButtonAction toLabel;
    toLabel.kind = ButtonAction::GotoLabel;
    toLabel.label = QStringLiteral("pressed");
    ButtonAction stop;
    stop.kind = ButtonAction::Stop;
    stop.conditions = 0x0001;  // IdleToOverUp
    const uint16_t button = movie.defineButton2({up, down}, {toLabel, stop});
    movie.place(1, sprite);
    movie.place(2, button);
    movie.showFrame();

    const check::Movie parsed = check::parseMovie(movie.finish());
    const check::Tag& spriteTag = onlyTag(parsed, kDefineSprite);
    check::BitReader header(spriteTag.body);
    EXPECT_EQ(header.u16(), sprite);
    EXPECT_EQ(header.u16(), 2);  // frames
    const auto inner = check::parseTags(spriteTag.body, 4);
    ASSERT_EQ(inner.size(), 5u);
    EXPECT_EQ(inner[0].code, kPlaceObject2);
    EXPECT_EQ(inner[1].code, kShowFrame);
    EXPECT_EQ(inner[4].code, 0);

    const check::Tag& buttonTag = onlyTag(parsed, kDefineButton2);
    check::BitReader in(buttonTag.body);
    EXPECT_EQ(in.u16(), button);
    EXPECT_EQ(in.u8(), 0);
    const qsizetype offsetField = in.position();
    const uint16_t actionOffset = in.u16();
    std::vector<uint8_t> states;
    for (;;) {
        const uint8_t flags = in.u8();
        if (flags == 0) break;
        states.push_back(flags);
        in.u16();
        in.u16();
        check::readMatrix(in);
        check::readColorTransform(in, true);
    }
    EXPECT_EQ(states, (std::vector<uint8_t>{0x03, 0x0C}));
    EXPECT_EQ(offsetField + actionOffset, in.position());
    const uint16_t firstSize = in.u16();
    const qsizetype firstStart = in.position() - 2;
    EXPECT_EQ(in.u8(), 0x08);  // OverDownToOverUp
    EXPECT_EQ(in.u8(), 0x00);
    const auto firstActions = check::readActions(in);
    ASSERT_EQ(firstActions.size(), 1u);
    EXPECT_EQ(firstActions[0].code, 0x8C);
    EXPECT_EQ(firstStart + firstSize, in.position());
    EXPECT_EQ(in.u16(), 0);  // the last one
    EXPECT_EQ(in.u8(), 0x01);
    in.u8();
    EXPECT_EQ(check::readActions(in).size(), 1u);
    EXPECT_EQ(in.remaining(), 0);
}

TEST(SwfWriter, BitmapsKeepTheirPixels) {
    QImage image(3, 2, QImage::Format_ARGB32);
    image.fill(QColor(10, 20, 30));
    image.setPixelColor(1, 0, QColor(200, 100, 50, 128));
    MovieWriter movie(QSizeF(10, 10), 12);
    const uint16_t lossless = movie.defineBitsLossless(image);
    const uint16_t withAlpha = movie.defineBitsLossless2(image);
    QImage photo(40, 30, QImage::Format_RGB32);
    photo.fill(QColor(0, 128, 255));
    const uint16_t jpeg = movie.defineBitsJpeg2(photo);
    movie.defineBitmapShape(withAlpha, image.size());
    const check::Movie parsed = check::parseMovie(movie.finish());

    auto pixelsOf = [&](uint16_t code, uint16_t id) {
        const check::Tag& tag = onlyTag(parsed, code);
        EXPECT_TRUE(tag.longHeader);
        check::BitReader in(tag.body);
        EXPECT_EQ(in.u16(), id);
        EXPECT_EQ(in.u8(), 5);
        EXPECT_EQ(in.u16(), 3);
        EXPECT_EQ(in.u16(), 2);
        return check::inflate(in.bytes(in.remaining()));
    };
    const QByteArray opaque = pixelsOf(kDefineBitsLossless, lossless);
    ASSERT_EQ(opaque.size(), 24);
    EXPECT_EQ(opaque.left(4), QByteArray::fromHex("ff0a141e"));
    const QByteArray argb = pixelsOf(kDefineBitsLossless2, withAlpha);
    ASSERT_EQ(argb.size(), 24);
    // Premultiplied: 200 * 128 / 255 is 100 (give or take rounding).
    EXPECT_EQ(static_cast<uint8_t>(argb[4]), 128);
    EXPECT_NEAR(static_cast<uint8_t>(argb[5]), 100, 1);

    const check::Tag& jpegTag = onlyTag(parsed, kDefineBitsJpeg2);
    check::BitReader in(jpegTag.body);
    EXPECT_EQ(in.u16(), jpeg);
    const QByteArray data = in.bytes(in.remaining());
    EXPECT_TRUE(data.startsWith(QByteArray::fromHex("ffd8")));
    const QImage decoded = QImage::fromData(data, "JPEG");
    EXPECT_EQ(decoded.size(), photo.size());
    EXPECT_NEAR(decoded.pixelColor(20, 15).blue(), 255, 8);

    const check::Shape shape = check::decodeShape(onlyTag(parsed, kDefineShape));
    ASSERT_EQ(shape.fills.size(), 1u);
    EXPECT_EQ(shape.fills[0].type, 0x41);  // clipped, smoothed
    EXPECT_EQ(shape.fills[0].bitmapId, withAlpha);
    EXPECT_DOUBLE_EQ(shape.fills[0].matrix.a, 20.0);  // one bitmap pixel to one stage pixel
}

TEST(SwfWriter, FontGlyphsAndTextRecords) {
    QFont font(QStringLiteral("DejaVu Sans"));
    MovieWriter movie(QSizeF(200, 50), 12);
    const uint16_t fontId = movie.defineFont2(font, QStringLiteral("Hello"));
    const uint16_t textId = movie.defineText(fontId, QStringLiteral("Hello!"), 20, Qt::black, QPointF(5, 30));
    movie.place(1, textId);
    movie.showFrame();
    const check::Movie parsed = check::parseMovie(movie.finish());

    const check::Tag& fontTag = onlyTag(parsed, kDefineFont2);
    check::BitReader in(fontTag.body);
    EXPECT_EQ(in.u16(), fontId);
    const uint8_t flags = in.u8();
    EXPECT_TRUE(flags & 0x80);  // layout
    EXPECT_TRUE(flags & 0x04);  // wide codes
    in.u8();
    in.bytes(in.u8());  // name
    const uint16_t glyphs = in.u16();
    ASSERT_EQ(glyphs, 4);  // H e l o
    const qsizetype tableStart = in.position();
    std::vector<uint16_t> offsets;
    for (int i = 0; i <= glyphs; ++i) offsets.push_back(in.u16());
    int holes = 0;
    for (int i = 0; i < glyphs; ++i) {
        check::BitReader glyph(fontTag.body, tableStart + offsets[i], tableStart + offsets[i + 1]);
        EXPECT_EQ(glyph.ub(4), 1u);
        EXPECT_EQ(glyph.ub(4), 0u);
        const check::ShapeEdges edges = check::readShapeRecords(glyph, 1, 0, 1.0);
        EXPECT_TRUE(edges.subpathsClosed);
        EXPECT_EQ(glyph.remaining(), 0);
        // Em square of 1024: a capital stands about 730 units tall.
        if (i == 0) {
            EXPECT_NEAR(edges.path.boundingRect().height(), 730, 40);
        }
        holes += edges.moves - 1;
    }
    EXPECT_EQ(holes, 2);  // e and o each have one inner contour
    check::BitReader codes(fontTag.body, tableStart + offsets[glyphs]);
    QString characters;
    for (int i = 0; i < glyphs; ++i) characters.append(QChar(codes.u16()));
    EXPECT_EQ(characters, QStringLiteral("Helo"));
    EXPECT_GT(codes.u16(), 700);  // ascent

    const check::Tag& textTag = onlyTag(parsed, kDefineText);
    check::BitReader text(textTag.body);
    EXPECT_EQ(text.u16(), textId);
    text.rect();
    check::readMatrix(text);
    const int glyphBits = text.u8(), advanceBits = text.u8();
    EXPECT_EQ(text.ub(1), 1u);
    text.ub(3);
    EXPECT_EQ(text.ub(4), 0xFu);  // font, colour, y and x offsets
    EXPECT_EQ(text.u16(), fontId);
    text.bytes(3);
    EXPECT_EQ(text.u16(), 100);  // x offset in twips
    EXPECT_EQ(text.u16(), 600);
    EXPECT_EQ(text.u16(), 400);  // height
    const int count = text.u8();
    ASSERT_EQ(count, 5);  // "!" is not in the font and is left out
    std::vector<uint32_t> indices;
    for (int i = 0; i < count; ++i) {
        indices.push_back(text.ub(glyphBits));
        EXPECT_GT(text.sb(advanceBits), 0);
    }
    EXPECT_EQ(indices, (std::vector<uint32_t>{0, 1, 2, 2, 3}));
    text.align();
    EXPECT_EQ(text.u8(), 0);
    EXPECT_EQ(text.remaining(), 0);
}

TEST(SwfWriter, MorphShapesPairEveryEdge) {
    QPainterPath start, end;
    start.addEllipse(QPointF(20, 20), 10, 10);
    end.addEllipse(QPointF(60, 30), 25, 8);
    for (bool version2 : {false, true}) {
        MovieWriter movie(QSizeF(100, 60), 12);
        const uint16_t id = movie.defineMorphShape(start, end, Qt::red, QColor(0, 0, 255, 128), version2);
        movie.place(1, id, [] {
            Placement p;
            p.ratio = 32768;
            return p;
        }());
        movie.showFrame();
        const check::Movie parsed = check::parseMovie(movie.finish());
        const check::Tag& tag = onlyTag(parsed, version2 ? kDefineMorphShape2 : kDefineMorphShape);
        check::BitReader in(tag.body);
        EXPECT_EQ(in.u16(), id);
        in.rect();
        in.rect();
        if (version2) {
            in.rect();
            in.rect();
            in.u8();
        }
        const uint32_t offset = in.u32();
        const qsizetype endEdgesAt = in.position() + static_cast<qsizetype>(offset);
        EXPECT_EQ(in.u8(), 1);
        EXPECT_EQ(in.u8(), 0x00);
        auto rgba = [&in] {
            const int r = in.u8(), g = in.u8(), b = in.u8(), a = in.u8();  // in this order
            return QColor(r, g, b, a);
        };
        EXPECT_EQ(rgba(), QColor(Qt::red));
        EXPECT_EQ(rgba(), QColor(0, 0, 255, 128));
        EXPECT_EQ(in.u8(), 0);
        const int fillBits = static_cast<int>(in.ub(4)), lineBits = static_cast<int>(in.ub(4));
        const check::ShapeEdges from = check::readShapeRecords(in, fillBits, lineBits);
        EXPECT_EQ(in.position(), endEdgesAt);
        in.u8();
        const check::ShapeEdges to = check::readShapeRecords(in, 0, 0);
        EXPECT_EQ(in.remaining(), 0);
        EXPECT_EQ(from.straightEdges + from.curvedEdges, to.straightEdges + to.curvedEdges);
        EXPECT_NEAR(to.path.boundingRect().center().x(), 60, 0.5);
        EXPECT_EQ(check::decodePlaceObject2(onlyTag(parsed, kPlaceObject2)).ratio, 32768);
    }
    QPainterPath mismatched;
    mismatched.addRect(0, 0, 5, 5);
    MovieWriter movie(QSizeF(10, 10), 12);
    EXPECT_THROW(movie.defineMorphShape(start, mismatched, Qt::red, Qt::blue), std::invalid_argument);
}

// The player's frame tool draws what the writer wrote (when the tool is part of the build).
TEST(SwfWriter, PlayerDrawsTheWrittenMovie) {
#ifndef SWFFRAME_PATH
    GTEST_SKIP() << "swfframe is not built";
#else
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    MovieWriter movie(QSizeF(100, 50), 12);
    movie.setBackgroundColor(QColor(0, 0, 255));
    QPainterPath left;
    left.addRect(0, 0, 50, 50);
    const uint16_t red = movie.defineShape(left, FillStyle::solid(Qt::red));
    movie.place(1, red);
    movie.showFrame();
    movie.modify(1, Placement::at(QTransform::fromTranslate(50, 0)));
    movie.showFrame();
    movie.stop();
    movie.showFrame();
    const QString file = dir.filePath(QStringLiteral("m.swf")), png = dir.filePath(QStringLiteral("m.png"));
    ASSERT_TRUE(movie.save(file));
    auto render = [&](int frame) {
        QProcess tool;
        tool.start(QStringLiteral(SWFFRAME_PATH), {file, QStringLiteral("-f"), QString::number(frame),
                                                   QStringLiteral("-s"), QStringLiteral("100x50"),
                                                   QStringLiteral("-o"), png});
        EXPECT_TRUE(tool.waitForFinished(60000));
        EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
        return QImage(png);
    };
    const QImage first = render(1);
    ASSERT_EQ(first.size(), QSize(100, 50));
    EXPECT_EQ(first.pixelColor(25, 25), QColor(Qt::red));
    EXPECT_EQ(first.pixelColor(75, 25), QColor(0, 0, 255));
    const QImage second = render(2);
    EXPECT_EQ(second.pixelColor(25, 25), QColor(0, 0, 255));
    EXPECT_EQ(second.pixelColor(75, 25), QColor(Qt::red));
#endif
}

// Text, bitmaps, a morph halfway and a DefineShape4 gradient, as the player draws them.
TEST(SwfWriter, PlayerDrawsTextBitmapsAndMorphs) {
#ifndef SWFFRAME_PATH
    GTEST_SKIP() << "swfframe is not built";
#else
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    MovieWriter movie(QSizeF(200, 120), 12);
    movie.setBackgroundColor(QColor(230, 230, 230));
    const uint16_t font = movie.defineFont2(QFont(QStringLiteral("DejaVu Sans")), QStringLiteral("Helo Wrd"));
    const uint16_t text = movie.defineText(font, QStringLiteral("Hello World"), 24, QColor(20, 20, 120), {10, 30});
    QImage pixels(20, 20, QImage::Format_ARGB32);
    pixels.fill(QColor(0, 160, 0));
    const uint16_t lossless = movie.defineBitmapShape(movie.defineBitsLossless2(pixels), pixels.size());
    QImage photo(20, 20, QImage::Format_RGB32);
    photo.fill(QColor(0, 0, 200));
    const uint16_t jpeg = movie.defineBitmapShape(movie.defineBitsJpeg2(photo), photo.size());
    QPainterPath square, wide;
    square.addRect(0, 0, 20, 20);
    wide.addRect(0, 0, 40, 10);
    const uint16_t morph = movie.defineMorphShape(square, wide, Qt::red, Qt::blue, true);
    QPainterPath disc;
    disc.addEllipse(QPointF(0, 0), 15, 15);
    const uint16_t ball = movie.defineShape(
        disc, FillStyle::radial({0, 0}, 15, {{0.0, Qt::white}, {1.0, Qt::black}}),
        LineStyle{2, Qt::red, LineStyle::Cap::Square, LineStyle::Join::Miter, 3});
    movie.place(1, text);
    movie.place(2, lossless, Placement::at(QTransform::fromTranslate(10, 50)));
    movie.place(3, jpeg, Placement::at(QTransform::fromTranslate(40, 50)));
    Placement halfway = Placement::at(QTransform::fromTranslate(70, 50));
    halfway.ratio = 32768;
    movie.place(4, morph, halfway);
    movie.place(5, ball, Placement::at(QTransform::fromTranslate(150, 70)));
    movie.showFrame();
    const QString file = dir.filePath(QStringLiteral("m.swf")), png = dir.filePath(QStringLiteral("m.png"));
    ASSERT_TRUE(movie.save(file));
    QProcess tool;
    tool.start(QStringLiteral(SWFFRAME_PATH), {file, QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-s"),
                                               QStringLiteral("200x120"), QStringLiteral("-o"), png});
    ASSERT_TRUE(tool.waitForFinished(60000));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    const QImage frame(png);
    ASSERT_EQ(frame.size(), QSize(200, 120));
    auto near = [](QColor a, QColor b, int tolerance) {
        return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
               std::abs(a.blue() - b.blue()) <= tolerance;
    };
    EXPECT_TRUE(near(frame.pixelColor(25, 55), QColor(0, 160, 0), 4));
    EXPECT_TRUE(near(frame.pixelColor(50, 60), QColor(0, 0, 200), 12));
    EXPECT_TRUE(near(frame.pixelColor(85, 57), QColor(128, 0, 128), 8));  // halfway: 30 x 15, purple
    EXPECT_TRUE(near(frame.pixelColor(70 + 32, 57), QColor(230, 230, 230), 4));
    EXPECT_GT(frame.pixelColor(150, 70).lightness(), 220);
    EXPECT_TRUE(near(frame.pixelColor(165, 70), QColor(255, 0, 0), 40));
    int ink = 0;  // the text's glyphs along its line
    for (int y = 12; y <= 30; ++y)
        for (int x = 10; x <= 150; ++x) ink += near(frame.pixelColor(x, y), QColor(20, 20, 120), 30);
    EXPECT_GT(ink, 300);
    EXPECT_TRUE(near(frame.pixelColor(5, 100), QColor(230, 230, 230), 2));
#endif
}
