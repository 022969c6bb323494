// Display effects on movies made for the purpose: PlaceObject3 filter lists, blend
// modes, bitmap caching and opaque backgrounds, read back and drawn.
#include <gtest/gtest.h>

#include <QPainter>
#include <cmath>

#include "handmade_swf.h"
#include "image_compare.h"
#include "swf/swf.h"
#include "swf/writer/swf_writer.h"

namespace {

using swf::writer::MovieWriter;
using swf::writer::Placement;

std::shared_ptr<const swf::Movie> parse(const QByteArray& bytes) {
    return swf::parseMovie(std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())));
}

QPainterPath rectPath(double x, double y, double w, double h) {
    QPainterPath p;
    p.addRect(x, y, w, h);
    return p;
}

const swf::PlaceCommand& firstPlace(const swf::Movie& movie) {
    for (const auto& command : movie.root.frames.at(0).commands)
        if (auto* place = std::get_if<swf::PlaceCommand>(&command)) return *place;
    throw std::runtime_error("no place command");
}

// Every filter kind with fields away from their defaults, for round trips.
std::vector<swf::Filter> everyFilterKind() {
    swf::DropShadowFilter shadow;
    shadow.color = QColor(10, 20, 30, 128);
    shadow.blurX = 7.5f;
    shadow.blurY = 2.25f;
    shadow.angle = 1.5f;
    shadow.distance = -3;
    shadow.strength = 2.5f;
    shadow.inner = true;
    shadow.hideObject = true;
    shadow.passes = 3;
    swf::BlurFilter blur{12, 0.5f, 15};
    swf::GlowFilter glow;
    glow.color = QColor(0, 255, 0, 200);
    glow.knockout = true;
    glow.passes = 2;
    swf::BevelFilter bevel;
    bevel.highlightColor = QColor(250, 240, 230);
    bevel.shadowColor = QColor(5, 6, 7, 99);
    bevel.onTop = true;
    bevel.passes = 15;
    swf::GradientGlowFilter gradientGlow;
    gradientGlow.stops = {{0, QColor(255, 0, 0, 0)}, {128, QColor(0, 0, 255)}, {255, QColor(9, 9, 9)}};
    gradientGlow.distance = 0;
    swf::ConvolutionFilter convolution;
    convolution.matrixX = 3;
    convolution.matrixY = 2;
    convolution.matrix = {0, 1, 0, -1, 4.5f, 0.25f};
    convolution.divisor = 2;
    convolution.bias = -8;
    convolution.defaultColor = QColor(1, 2, 3, 4);
    convolution.clamp = false;
    swf::ColorMatrixFilter matrix;
    for (size_t i = 0; i < matrix.matrix.size(); ++i) matrix.matrix[i] = float(i) * 0.5f - 3;
    swf::GradientBevelFilter gradientBevel;
    gradientBevel.stops = {{0, QColor(255, 255, 255)}, {255, QColor(0, 0, 0)}};
    gradientBevel.inner = false;
    return {shadow, blur, glow, bevel, gradientGlow, convolution, matrix, gradientBevel};
}

TEST(EffectsData, PlaceObject3CarriesEveryFilterKindAndTheOtherEffects) {
    MovieWriter w(QSizeF(50, 50), 24);
    const uint16_t square = w.defineShape(rectPath(0, 0, 10, 10), swf::writer::FillStyle::solid(Qt::red));
    Placement p;
    p.filters = everyFilterKind();
    p.blendMode = swf::BlendMode::Hardlight;
    p.cacheAsBitmap = true;
    p.opaqueBackground = QColor(1, 2, 3);
    p.name = QStringLiteral("named");
    w.place(1, square, p);
    w.showFrame();
    auto movie = parse(w.finish());
    const swf::PlaceCommand& place = firstPlace(*movie);
    ASSERT_TRUE(place.filters);
    // The variants compare field by field except QColor/float equality, which is exact here
    // because every value is representable in its stored fixed-point form.
    const auto expected = everyFilterKind();
    ASSERT_EQ(place.filters->size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ((*place.filters)[i].index(), expected[i].index()) << i;
    const auto& shadow = std::get<swf::DropShadowFilter>((*place.filters)[0]);
    EXPECT_EQ(shadow.color, QColor(10, 20, 30, 128));
    EXPECT_FLOAT_EQ(shadow.blurX, 7.5f);
    EXPECT_FLOAT_EQ(shadow.blurY, 2.25f);
    EXPECT_NEAR(shadow.angle, 1.5f, 1e-4);
    EXPECT_FLOAT_EQ(shadow.distance, -3);
    EXPECT_FLOAT_EQ(shadow.strength, 2.5f);
    EXPECT_TRUE(shadow.inner && shadow.hideObject && !shadow.knockout);
    EXPECT_EQ(shadow.passes, 3);
    const auto& blur = std::get<swf::BlurFilter>((*place.filters)[1]);
    EXPECT_FLOAT_EQ(blur.blurX, 12);
    EXPECT_FLOAT_EQ(blur.blurY, 0.5f);
    EXPECT_EQ(blur.passes, 15);
    const auto& glow = std::get<swf::GlowFilter>((*place.filters)[2]);
    EXPECT_EQ(glow.color, QColor(0, 255, 0, 200));
    EXPECT_TRUE(glow.knockout && !glow.inner && !glow.hideObject);
    EXPECT_EQ(glow.passes, 2);
    const auto& bevel = std::get<swf::BevelFilter>((*place.filters)[3]);
    EXPECT_EQ(bevel.highlightColor, QColor(250, 240, 230));
    EXPECT_EQ(bevel.shadowColor, QColor(5, 6, 7, 99));
    EXPECT_TRUE(bevel.onTop && bevel.inner);
    EXPECT_EQ(bevel.passes, 15);
    const auto& gradientGlow = std::get<swf::GradientGlowFilter>((*place.filters)[4]);
    EXPECT_EQ(gradientGlow.stops, (std::get<swf::GradientGlowFilter>(expected[4]).stops));
    EXPECT_FLOAT_EQ(gradientGlow.distance, 0);
    const auto& convolution = std::get<swf::ConvolutionFilter>((*place.filters)[5]);
    EXPECT_EQ(convolution.matrixX, 3);
    EXPECT_EQ(convolution.matrixY, 2);
    EXPECT_EQ(convolution.matrix, (std::vector<float>{0, 1, 0, -1, 4.5f, 0.25f}));
    EXPECT_FLOAT_EQ(convolution.divisor, 2);
    EXPECT_FLOAT_EQ(convolution.bias, -8);
    EXPECT_EQ(convolution.defaultColor, QColor(1, 2, 3, 4));
    EXPECT_TRUE(!convolution.clamp && convolution.preserveAlpha);
    EXPECT_EQ(std::get<swf::ColorMatrixFilter>((*place.filters)[6]).matrix,
              std::get<swf::ColorMatrixFilter>(expected[6]).matrix);
    const auto& gradientBevel = std::get<swf::GradientBevelFilter>((*place.filters)[7]);
    EXPECT_EQ(gradientBevel.stops.size(), 2u);
    EXPECT_FALSE(gradientBevel.inner);

    EXPECT_EQ(place.blendMode, swf::BlendMode::Hardlight);
    EXPECT_EQ(place.cacheAsBitmap, true);
    EXPECT_EQ(place.opaqueBackground, QColor(1, 2, 3));
    EXPECT_EQ(place.name, QStringLiteral("named"));  // the fields before the effects still line up
}

TEST(EffectsData, ButtonRecordsCarryFiltersAndBlendModes) {
    MovieWriter w(QSizeF(50, 50), 24);
    const uint16_t square = w.defineShape(rectPath(0, 0, 10, 10), swf::writer::FillStyle::solid(Qt::red));
    swf::writer::ButtonRecord up;
    up.states = swf::writer::ButtonRecord::Up | swf::writer::ButtonRecord::HitTest;
    up.characterId = square;
    swf::writer::ButtonRecord over = up;
    over.states = swf::writer::ButtonRecord::Over;
    over.filters = {swf::GlowFilter{}};
    over.blendMode = swf::BlendMode::Screen;
    const uint16_t button = w.defineButton2({up, over});
    w.place(1, button);
    w.showFrame();
    auto movie = parse(w.finish());
    const auto& def = std::get<swf::ButtonDef>(*movie->character(button));
    ASSERT_EQ(def.records.size(), 2u);
    EXPECT_TRUE(def.records[0].filters.empty());
    EXPECT_EQ(def.records[0].blendMode, swf::BlendMode::Normal);
    ASSERT_EQ(def.records[1].filters.size(), 1u);
    EXPECT_TRUE(std::holds_alternative<swf::GlowFilter>(def.records[1].filters[0]));
    EXPECT_EQ(def.records[1].blendMode, swf::BlendMode::Screen);
}

TEST(EffectsData, BrokenFilterListsFailCleanly) {
    using namespace swf::test;
    // A PlaceObject3 with the filter flag: an unknown filter kind, then a convolution whose
    // matrix runs past the tag, then a count with nothing after it.
    for (const QByteArray& filterBytes : {QByteArray("\x01\x09", 2), QByteArray("\x01\x05\xff\xff", 4) + QByteArray(8, 0),
                                          QByteArray("\x05", 1)}) {
        QByteArray place;
        place += char(0x02);  // has character
        place += char(0x01);  // has filter list
        place += u16(1) + u16(1) + filterBytes;
        const QByteArray file = movie(tag(70, place), 20, 20);
        EXPECT_THROW(parse(file), swf::MalformedMovie);
    }
    // Blend mode bytes past the last mode draw as normal.
    EXPECT_EQ(swf::blendModeFromByte(0), swf::BlendMode::Normal);
    EXPECT_EQ(swf::blendModeFromByte(14), swf::BlendMode::Hardlight);
    EXPECT_EQ(swf::blendModeFromByte(200), swf::BlendMode::Normal);
}

}  // namespace
