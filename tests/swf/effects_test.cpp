// Display effects on movies made for the purpose: PlaceObject3 filter lists, blend
// modes, bitmap caching and opaque backgrounds, read back and drawn.
#include <gtest/gtest.h>

#include <QPainter>
#include <cmath>

#include "handmade_swf.h"
#include "image_compare.h"
#include "swf/effects_internal.h"
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

// ---- Drawing ------------------------------------------------------------------------------

QImage frameOf(const QByteArray& file) {
    auto movie = parse(file);
    swf::Player player(movie);
    return player.renderImage(movie->stageSizePixels());
}

QColor at(const QImage& image, int x, int y) { return image.pixelColor(x, y); }

bool near(const QColor& a, const QColor& b, int tolerance = 6) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

// A 100x100 white stage with a 40x40 square at (30, 30) placed with `placement`.
QImage squareWith(const Placement& placement, const QColor& color = Qt::red, const QColor& stage = Qt::white) {
    MovieWriter w(QSizeF(100, 100), 24);
    w.setBackgroundColor(stage);
    const uint16_t square = w.defineShape(rectPath(0, 0, 40, 40), swf::writer::FillStyle::solid(color));
    Placement p = placement;
    p.transform = QTransform::fromTranslate(30, 30);
    w.place(1, square, p);
    w.showFrame();
    return frameOf(w.finish());
}

Placement withFilter(const swf::Filter& filter) {
    Placement p;
    p.filters = std::vector<swf::Filter>{filter};
    return p;
}

TEST(Filters, GlowSurroundsTheObjectAndKnockoutLeavesOnlyTheGlow) {
    swf::GlowFilter glow;
    glow.color = QColor(0, 0, 255);
    glow.blurX = glow.blurY = 10;
    glow.strength = 2;
    const QImage plain = squareWith(withFilter(glow));
    EXPECT_TRUE(near(at(plain, 50, 50), Qt::red));
    EXPECT_GT(at(plain, 27, 50).blue(), 200);  // just outside: blue glow
    EXPECT_LT(at(plain, 27, 50).red(), 160);
    EXPECT_TRUE(near(at(plain, 5, 5), Qt::white));  // far away: untouched

    glow.knockout = true;
    const QImage knocked = squareWith(withFilter(glow));
    EXPECT_TRUE(near(at(knocked, 50, 50), Qt::white));  // the object is cut out
    EXPECT_GT(at(knocked, 27, 50).blue(), 200);

    glow.knockout = false;
    glow.inner = true;
    const QImage inner = squareWith(withFilter(glow));
    EXPECT_TRUE(near(at(inner, 27, 50), Qt::white));  // nothing outside
    EXPECT_GT(at(inner, 31, 50).blue(), 150);         // blue just inside the edge
    EXPECT_TRUE(near(at(inner, 50, 50), Qt::red));     // the middle stays red
}

TEST(Filters, DropShadowFallsAlongItsAngleAndCanHideTheObject) {
    swf::DropShadowFilter shadow;
    shadow.blurX = shadow.blurY = 2;
    shadow.distance = 8;
    shadow.angle = 0;  // to the right
    const QImage image = squareWith(withFilter(shadow));
    EXPECT_TRUE(near(at(image, 74, 50), Qt::black, 40));  // right of the square: shadow
    EXPECT_TRUE(near(at(image, 26, 50), Qt::white));      // left of it: nothing
    EXPECT_TRUE(near(at(image, 50, 50), Qt::red));

    shadow.hideObject = true;
    const QImage hidden = squareWith(withFilter(shadow));
    EXPECT_TRUE(near(at(hidden, 50, 50), Qt::black, 40));  // the shadow shows through where the object was
    EXPECT_TRUE(near(at(hidden, 33, 50), Qt::white, 40));  // the object's left edge: neither

    // Strength scales the shadow's alpha: a faint shadow at strength 0.25.
    shadow.hideObject = false;
    shadow.strength = 0.25f;
    const QImage faint = squareWith(withFilter(shadow));
    EXPECT_GT(at(faint, 74, 50).red(), 150);
    EXPECT_LT(at(faint, 74, 50).red(), 230);
}

TEST(Filters, BlurSoftensEdgesAndMorePassesSpreadFurther) {
    const QImage sharp = squareWith({});
    EXPECT_TRUE(near(at(sharp, 29, 50), Qt::white));
    const QImage once = squareWith(withFilter(swf::BlurFilter{8, 8, 1}));
    const QImage thrice = squareWith(withFilter(swf::BlurFilter{8, 8, 3}));
    // At the edge about half of the colour remains.
    EXPECT_NEAR(at(once, 30, 50).green(), 128, 40);
    EXPECT_TRUE(near(at(once, 50, 50), Qt::red));
    // Outside the single box's reach nothing, but three passes reach further.
    EXPECT_TRUE(near(at(once, 24, 50), Qt::white));
    EXPECT_LT(at(thrice, 24, 50).green(), 250);
}

TEST(Filters, ColorMatrixAndConvolutionChangeThePixels) {
    swf::ColorMatrixFilter swap;  // red and blue trade places
    swap.matrix = {0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0};
    EXPECT_TRUE(near(at(squareWith(withFilter(swap)), 50, 50), Qt::blue));

    swf::ConvolutionFilter darken;  // one centre tap of 0.5 halves every colour
    darken.matrixX = darken.matrixY = 1;
    darken.matrix = {1};
    darken.divisor = 2;
    EXPECT_TRUE(near(at(squareWith(withFilter(darken)), 50, 50), QColor(128, 0, 0)));

    // A matrix larger than the limit is left out rather than run.
    swf::ConvolutionFilter huge;
    huge.matrixX = huge.matrixY = swf::kMaxConvolutionSide + 1;
    huge.matrix.assign(size_t(huge.matrixX * huge.matrixY), 1.0f);
    EXPECT_TRUE(near(at(squareWith(withFilter(huge)), 50, 50), Qt::red));
}

TEST(Filters, HugeRadiiAndLongChainsStayBounded) {
    // Values no file can hold but script may set: clamped to a 255 radius and 15 passes,
    // and the chain to its first kMaxFiltersPerObject filters.
    swf::BlurFilter blur{1e9f, 1e9f, 1000};
    const std::vector<swf::Filter> chain(200, blur);
    const QMargins margins = swf::detail::filterMargins(chain, 1, 1);
    EXPECT_LE(margins.left(), (128 * swf::kMaxBlurPasses + 2) * swf::kMaxFiltersPerObject);
    QImage layer(64, 64, QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    QPainter(&layer).fillRect(24, 24, 16, 16, Qt::red);
    double workLeft = swf::detail::kFilterWorkPerFrame;
    swf::detail::applyFilters(layer, chain, 1, 1, workLeft);  // finishes, spreading the square thin
    EXPECT_GE(workLeft, 0);
    EXPECT_LT(qAlpha(layer.pixel(32, 32)), 40);
}

// ---- Blend modes ---------------------------------------------------------------------------

QColor blendedOver(swf::BlendMode mode, const QColor& top, const QColor& below) {
    Placement p;
    p.blendMode = mode;
    return at(squareWith(p, top, below), 50, 50);
}

TEST(BlendModes, EachModeComputesItsColour) {
    const QColor top(200, 100, 50), below(100, 150, 200);
    using swf::BlendMode;
    EXPECT_TRUE(near(blendedOver(BlendMode::Normal, top, below), top));
    EXPECT_TRUE(near(blendedOver(BlendMode::Layer, top, below), top));
    EXPECT_TRUE(near(blendedOver(BlendMode::Multiply, top, below), QColor(78, 59, 39)));
    EXPECT_TRUE(near(blendedOver(BlendMode::Screen, top, below), QColor(222, 191, 211)));
    EXPECT_TRUE(near(blendedOver(BlendMode::Lighten, top, below), QColor(200, 150, 200)));
    EXPECT_TRUE(near(blendedOver(BlendMode::Darken, top, below), QColor(100, 100, 50)));
    EXPECT_TRUE(near(blendedOver(BlendMode::Difference, top, below), QColor(100, 50, 150)));
    EXPECT_TRUE(near(blendedOver(BlendMode::Add, top, below), QColor(255, 250, 250)));
    EXPECT_TRUE(near(blendedOver(BlendMode::Subtract, top, below), QColor(0, 50, 150)));
    EXPECT_TRUE(near(blendedOver(BlendMode::Invert, top, below), QColor(155, 105, 55)));
    EXPECT_TRUE(near(blendedOver(BlendMode::Hardlight, top, below), QColor(188, 118, 78)));
    EXPECT_TRUE(near(blendedOver(BlendMode::Overlay, top, below), QColor(157, 127, 166)));
    // Alpha and erase without a layer below them leave the stage alone.
    EXPECT_TRUE(near(blendedOver(BlendMode::Alpha, top, below), below));
    EXPECT_TRUE(near(blendedOver(BlendMode::Erase, top, below), below));
}

TEST(BlendModes, LayerGroupsChildrenBeforeTheirAlphaAndEraseCutsTheGroup) {
    // Two overlapping squares in a sprite at half alpha: with the layer mode the overlap
    // looks like the rest; without it the overlap is darker.
    auto picture = [](std::optional<swf::BlendMode> groupMode, std::optional<swf::BlendMode> childMode) {
        MovieWriter w(QSizeF(100, 100), 24);
        w.setBackgroundColor(Qt::white);
        const uint16_t square = w.defineShape(rectPath(0, 0, 40, 40), swf::writer::FillStyle::solid(Qt::blue));
        const uint16_t hole = w.defineShape(rectPath(0, 0, 10, 10), swf::writer::FillStyle::solid(Qt::black));
        swf::writer::Timeline sprite;
        sprite.place(1, square, Placement::at(QTransform::fromTranslate(10, 10)));
        sprite.place(2, square, Placement::at(QTransform::fromTranslate(30, 30)));
        Placement cut = Placement::at(QTransform::fromTranslate(45, 45));
        cut.blendMode = childMode;
        sprite.place(3, hole, cut);
        sprite.showFrame();
        const uint16_t spriteId = w.defineSprite(sprite);
        Placement p = Placement::tinted(swf::writer::ColorTransform::alpha(0.5));
        p.blendMode = groupMode;
        w.place(1, spriteId, p);
        w.showFrame();
        return frameOf(w.finish());
    };
    const QImage grouped = picture(swf::BlendMode::Layer, std::nullopt);
    EXPECT_TRUE(near(at(grouped, 40, 40), at(grouped, 20, 20), 3));
    const QImage separate = picture(std::nullopt, std::nullopt);
    EXPECT_LT(at(separate, 40, 40).red(), at(separate, 20, 20).red() - 30);

    const QImage erased = picture(swf::BlendMode::Layer, swf::BlendMode::Erase);
    EXPECT_TRUE(near(at(erased, 50, 50), Qt::white));  // the hole shows the stage
    EXPECT_TRUE(near(at(erased, 40, 40), at(erased, 20, 20), 3));
}

// ---- Caching, backgrounds, picture keys ----------------------------------------------------

TEST(BitmapCaching, CachedObjectsSnapToWholePixelsAndOpaqueBackgroundsFillTheirBounds) {
    auto edge = [](bool cached) {
        MovieWriter w(QSizeF(100, 100), 24);
        w.setBackgroundColor(Qt::white);
        const uint16_t square = w.defineShape(rectPath(0, 0, 40, 40), swf::writer::FillStyle::solid(Qt::black));
        Placement p = Placement::at(QTransform::fromTranslate(30.5, 30));
        if (cached) p.cacheAsBitmap = true;
        w.place(1, square, p);
        w.showFrame();
        return at(frameOf(w.finish()), 30, 50).red();
    };
    EXPECT_GT(edge(false), 60);  // half covered: grey
    EXPECT_LT(edge(false), 200);
    const int snapped = edge(true);
    EXPECT_TRUE(snapped < 10 || snapped > 245) << snapped;

    // An outlined square with an opaque background: the inside takes the colour.
    MovieWriter w(QSizeF(100, 100), 24);
    w.setBackgroundColor(Qt::white);
    swf::writer::LineStyle line;
    line.width = 2;
    const uint16_t frame = w.defineShape(rectPath(0, 0, 40, 40), std::nullopt, line);
    Placement p = Placement::at(QTransform::fromTranslate(30, 30));
    p.opaqueBackground = QColor(0, 200, 0);
    w.place(1, frame, p);
    w.showFrame();
    const QImage image = frameOf(w.finish());
    EXPECT_TRUE(near(at(image, 50, 50), QColor(0, 200, 0)));
    EXPECT_TRUE(near(at(image, 10, 10), Qt::white));
}

TEST(Buttons, AGlowOnTheOverStateChangesThePictureOnHover) {
    MovieWriter w(QSizeF(100, 100), 24);
    w.setBackgroundColor(Qt::white);
    const uint16_t square = w.defineShape(rectPath(0, 0, 40, 40), swf::writer::FillStyle::solid(Qt::red));
    swf::writer::ButtonRecord up;
    up.states = swf::writer::ButtonRecord::Up | swf::writer::ButtonRecord::HitTest;
    up.characterId = square;
    up.transform = QTransform::fromTranslate(30, 30);
    swf::writer::ButtonRecord over = up;
    over.states = swf::writer::ButtonRecord::Over;
    swf::GlowFilter glow;
    glow.color = QColor(0, 0, 255);
    glow.blurX = glow.blurY = 8;
    over.filters = {glow};
    w.place(1, w.defineButton2({up, over}));
    w.showFrame();
    auto movie = parse(w.finish());
    swf::Player player(movie);
    const QByteArray idleKey = player.pictureKey();
    EXPECT_TRUE(near(at(player.renderImage({100, 100}), 27, 50), Qt::white));
    player.mouseMove(QPointF(50, 50));
    EXPECT_NE(player.pictureKey(), idleKey);
    EXPECT_GT(at(player.renderImage({100, 100}), 27, 50).blue(), 150);
    EXPECT_LT(at(player.renderImage({100, 100}), 27, 50).red(), 200);
}

}  // namespace
