// Display effects set from script: the flash.filters classes as scripts see them, clip
// filter lists copied each way, the settings reaching the picture (filters, scroll
// rectangles, opaque backgrounds, setMask), and the conversion that guards the renderer
// from what scripts store. Action bytes are assembled here by hand.
#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

#include "handmade_swf.h"
#include "swf/script_filters.h"
#include "swf/swf.h"

namespace {

using namespace swf::test;

// Enough actions to build objects, call methods and read and write dotted paths.
class Script {
public:
    Script& str(std::string_view s) { return record(0x96, QByteArray(1, '\0') + QByteArray(s.data(), qsizetype(s.size())) + '\0'); }
    Script& num(double v) {
        uint64_t bits;
        std::memcpy(&bits, &v, 8);
        return record(0x96, QByteArray(1, '\x06') + u32(uint32_t(bits >> 32)) + u32(uint32_t(bits)));
    }
    Script& null() { return record(0x96, QByteArray(1, '\x02')); }
    Script& op(uint8_t code) {
        bytes_ += char(code);
        return *this;
    }
    // Pushes the value at a dotted path ("clip.filters.0.blurX").
    Script& get(std::string_view path) {
        size_t dot = path.find('.');
        str(path.substr(0, dot)).op(0x1C);
        while (dot != std::string_view::npos) {
            const size_t next = path.find('.', dot + 1);
            str(path.substr(dot + 1, next == std::string_view::npos ? next : next - dot - 1)).op(0x4E);
            dot = next;
        }
        return *this;
    }
    Script& trace(std::string_view path) { return get(path).op(0x26); }
    // Starts an assignment to a dotted path: push the value next, then end with set().
    Script& to(std::string_view path) {
        const size_t dot = path.rfind('.');
        if (dot == std::string_view::npos) return str(path);
        assigningMember_ = true;
        return get(path.substr(0, dot)).str(path.substr(dot + 1));
    }
    Script& set() {
        op(assigningMember_ ? 0x4F : 0x1D);
        assigningMember_ = false;
        return *this;
    }
    // new Class(args) with the arguments already pushed last to first.
    Script& construct(std::string_view dottedClass, int argCount) {
        num(argCount);
        const size_t dot = dottedClass.rfind('.');
        return get(dottedClass.substr(0, dot)).str(dottedClass.substr(dot + 1)).op(0x53);
    }
    // An array of the values pushed last to first.
    Script& array(int count) { return num(count).op(0x42); }
    Script& call(std::string_view object, std::string_view method, int argCount) {
        return num(argCount).get(object).str(method).op(0x52);
    }
    QByteArray end() const { return bytes_ + '\0'; }

private:
    Script& record(uint8_t code, const QByteArray& body) {
        bytes_ += char(code);
        bytes_ += u16(int(body.size()));
        bytes_ += body;
        return *this;
    }
    QByteArray bytes_;
    bool assigningMember_ = false;
};

QByteArray cstr(const char* s) { return QByteArray(s) + '\0'; }

QByteArray solid(QRgb c) { return QByteArray(1, '\0') + char(qRed(c)) + char(qGreen(c)) + char(qBlue(c)); }

// A sprite `spriteId` holding one rectangle (pixels), placed under `name`.
QByteArray namedBox(int shapeId, int spriteId, int depth, const char* name, QRect box, QRgb color, QPoint at) {
    QByteArray tags = shapeTag(shapeId, box.left() * 20, box.top() * 20, (box.right() + 1) * 20,
                               (box.bottom() + 1) * 20, solid(color));
    tags += tag(39, u16(spriteId) + u16(1) + place2(1, shapeId) + showFrame() + u16(0));
    tags += tag(26, QByteArray(1, char(0x02 | 0x04 | 0x20)) + u16(depth) + u16(spriteId) +
                        translate(at.x() * 20, at.y() * 20) + cstr(name));
    return tags;
}

struct Outcome {
    QStringList traces;
    QImage picture;
};

// A 100 x 100 movie with a red 40 x 40 box "clip" at (20, 20), then the script.
Outcome run(const Script& script, const QByteArray& extraTags = {}) {
    QByteArray tags = namedBox(1, 2, 1, "clip", QRect(0, 0, 40, 40), qRgb(255, 0, 0), QPoint(20, 20));
    tags += extraTags + tag(12, script.end()) + showFrame();
    const QByteArray bytes = movie(tags, 100, 100, 8);
    auto parsed = swf::parseMovie(std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())));
    Outcome out;
    swf::Player player(parsed, nullptr, swf::Player::Start::Later);
    player.setTraceHandler([&](const QString& line) { out.traces << line; });
    player.advance();
    out.picture = player.renderImage(QSize(100, 100));
    return out;
}

TEST(ScriptFilters, ConstructorsAndSettersClampAsThePlayerDoes) {
    Script s;
    s.to("b").num(100).num(-1).num(300).construct("flash.filters.BlurFilter", 3).set();
    s.trace("b.blurX").trace("b.blurY").trace("b.quality");
    s.to("b.quality").num(2.5).set().trace("b.quality");
    s.to("g").construct("flash.filters.GlowFilter", 0).set();
    s.trace("g.color").trace("g.blurX").trace("g.strength");
    s.to("g.alpha").num(0.5).set().trace("g.alpha");
    s.to("g.color").num(-0x12345678).set().trace("g.color");
    s.to("g.strength").num(1000).set().trace("g.strength");
    s.to("v").construct("flash.filters.BevelFilter", 0).set();
    s.trace("v.type").trace("v.angle");
    s.to("v.type").str("INNER").set().trace("v.type");
    s.to("v.angle").num(361).set().trace("v.angle");
    s.to("c").num(-1).construct("flash.filters.ColorMatrixFilter", 1).set();
    s.trace("c.matrix.length").trace("c.matrix.0");
    const Outcome r = run(s);
    EXPECT_EQ(r.traces, (QStringList{"255", "0", "15", "2", "16711680", "6", "2", "0.498039215686275", "13347208",
                                     "255", "inner", "44.9999999772279", "full", "1", "20", "NaN"}));
}

TEST(ScriptFilters, ConvolutionMatrixFollowsItsSizeAndGradientArraysShareOneCount) {
    Script s;
    s.to("f").construct("flash.filters.ConvolutionFilter", 0).set();
    s.to("f.matrix").num(3).num(2).num(1).array(3).set().trace("f.matrix");
    s.to("f.matrixX").num(2).set().to("f.matrixY").num(2.5).set().trace("f.matrix");
    s.to("f.matrixX").num(100).set().trace("f.matrixX");
    s.to("g").construct("flash.filters.GradientGlowFilter", 0).set();
    s.to("g.colors").num(0x0000FF).num(0x00FF00).num(0xFF0000).array(3).set();
    s.to("g.alphas").num(0.5).num(2).array(2).set().trace("g.alphas");
    s.to("g.ratios").num(300).array(1).set().trace("g.colors").trace("g.ratios");
    // Growing the count again brings the earlier entries back.
    s.to("g.colors").num(1).num(2).num(3).array(3).set().trace("g.alphas");
    const Outcome r = run(s);
    EXPECT_EQ(r.traces, (QStringList{"1,2,3", "1,2,3,0", "15", "1,0.501960784313725,1", "16711680", "255",
                                     "1,0.501960784313725,1"}));
}

TEST(ScriptFilters, ClipFilterListsAreCopiesEachWay) {
    Script s;
    s.trace("clip.filters.length");
    s.to("f").num(3).num(8).num(8).construct("flash.filters.BlurFilter", 3).set();
    s.to("clip.filters").str("not a filter").get("f").array(2).set();
    s.trace("clip.filters.length");
    s.to("f.blurX").num(2).set().trace("clip.filters.0.blurX");
    s.to("clip.filters.0.blurX").num(1).set().trace("clip.filters.0.blurX");
    // A fresh array of fresh objects each time it is read.
    s.get("clip.filters").get("clip.filters").op(0x49).op(0x26);  // Equals2
    s.get("clip.filters.0").get("clip.filters.0").op(0x49).op(0x26);
    // Clones are independent objects of the same class.
    s.to("k").call("f", "clone", 0).set();
    s.to("k.blurY").num(5).set().trace("f.blurY");
    s.get("k").get("flash.filters.BlurFilter").op(0x54).op(0x26);  // InstanceOf
    s.get("k").get("flash.filters.BitmapFilter").op(0x54).op(0x26);
    const Outcome r = run(s);
    EXPECT_EQ(r.traces, (QStringList{"0", "1", "8", "8", "false", "false", "8", "true", "true"}));
}

TEST(ScriptFilters, SettingsReadBackAsScriptsExpect) {
    Script s;
    for (const char* k : {"clip.blendMode", "clip.cacheAsBitmap", "clip.opaqueBackground", "clip.scrollRect"})
        s.trace(k);
    s.to("clip.blendMode").str("multiply").set().trace("clip.blendMode");
    s.to("clip.blendMode").num(8).set().trace("clip.blendMode");
    s.to("clip.blendMode").str("nonsense").set().trace("clip.blendMode");
    s.to("clip.cacheAsBitmap").num(1).set().trace("clip.cacheAsBitmap");
    s.to("clip.opaqueBackground").num(0x123456).set().trace("clip.opaqueBackground");
    s.to("clip.scrollRect").num(4).num(3).num(2).num(1).construct("flash.geom.Rectangle", 4).set();
    s.trace("clip.scrollRect");
    s.to("clip.scrollRect").null().set().trace("clip.scrollRect");
    s.to("clip.opaqueBackground").null().set().trace("clip.opaqueBackground");
    const Outcome r = run(s);
    EXPECT_EQ(r.traces, (QStringList{"normal", "false", "undefined", "undefined", "multiply", "add", "add", "true",
                                     "1193046", "(x=1, y=2, w=3, h=4)", "undefined", "undefined"}));
}

int redCount(const QImage& picture) {
    int n = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) n += picture.pixel(x, y) == qRgb(255, 0, 0);
    return n;
}

TEST(ScriptEffects, FiltersScrollRectanglesBackgroundsAndMasksAreDrawn) {
    {
        const Outcome plain = run(Script());
        EXPECT_EQ(redCount(plain.picture), 40 * 40);
        EXPECT_EQ(plain.picture.pixel(18, 40), qRgb(255, 255, 255));
    }
    {
        Script s;
        s.to("clip.filters").num(1).num(6).num(6).construct("flash.filters.BlurFilter", 3).array(1).set();
        const Outcome blurred = run(s);
        // Blurred edges: some red spreads outside the box, and the box's edge is no longer pure.
        EXPECT_NE(blurred.picture.pixel(18, 40), qRgb(255, 255, 255));
        EXPECT_LT(redCount(blurred.picture), 40 * 40);
    }
    {
        Script s;
        s.to("clip.scrollRect").num(10).num(10).num(10).num(10).construct("flash.geom.Rectangle", 4).set();
        const Outcome scrolled = run(s);
        // Only a 10 x 10 window of the box shows, moved to the clip's origin.
        EXPECT_EQ(redCount(scrolled.picture), 100);
        EXPECT_EQ(scrolled.picture.pixel(25, 25), qRgb(255, 0, 0));
        EXPECT_EQ(scrolled.picture.pixel(35, 35), qRgb(255, 255, 255));
    }
    {
        Script s;
        s.to("clip.scrollRect").num(60).num(60).num(-10).num(-10).construct("flash.geom.Rectangle", 4).set();
        s.to("clip.opaqueBackground").num(0x00FF00).set();
        const Outcome backed = run(s);
        // The window reaches past the box: the background fills what the box leaves.
        EXPECT_EQ(backed.picture.pixel(22, 22), qRgb(0, 255, 0));
        EXPECT_EQ(backed.picture.pixel(40, 40), qRgb(255, 0, 0));
    }
    {
        // A 10 x 10 mask at (55, 55) over a corner of the box from (20, 20) to (60, 60).
        const QByteArray maskTags = namedBox(3, 4, 2, "m", QRect(0, 0, 10, 10), qRgb(0, 0, 255), QPoint(55, 55));
        Script s;
        s.get("m").num(1).get("clip").str("setMask").op(0x52).op(0x17);
        const Outcome masked = run(s, maskTags);
        EXPECT_EQ(redCount(masked.picture), 25);
        EXPECT_EQ(masked.picture.pixel(57, 57), qRgb(255, 0, 0));
        EXPECT_EQ(masked.picture.pixel(30, 30), qRgb(255, 255, 255));
        // A mask in use is not drawn; setMask(null) gives both back.
        EXPECT_EQ(masked.picture.pixel(62, 62), qRgb(255, 255, 255));
        Script unmask = s;
        unmask.null().num(1).get("clip").str("setMask").op(0x52).op(0x17);
        const Outcome whole = run(unmask, maskTags);
        EXPECT_EQ(whole.picture.pixel(30, 30), qRgb(255, 0, 0));
        EXPECT_EQ(whole.picture.pixel(62, 62), qRgb(0, 0, 255));
    }
}

using Kind = swf::avm1::FilterValues::Kind;
using Type = swf::avm1::FilterValues::Type;

TEST(ScriptFilterConversion, WhatScriptsStoreReachesTheRendererBounded) {
    swf::avm1::FilterValues v;
    v.kind = Kind::Blur;
    v.blurX = 1e9;
    v.blurY = std::nan("");
    v.quality = 1000;
    const auto blur = std::get<swf::BlurFilter>(swf::filterFromScript(v));
    EXPECT_EQ(blur.blurX, swf::kMaxBlurRadius);
    EXPECT_EQ(blur.blurY, 0);
    EXPECT_EQ(blur.passes, swf::kMaxBlurPasses);

    v = {};
    v.kind = Kind::Convolution;
    v.matrixX = 100;
    v.matrixY = -3;
    v.matrix = {1, 2, 3};
    auto conv = std::get<swf::ConvolutionFilter>(swf::filterFromScript(v));
    EXPECT_EQ(conv.matrixX, swf::kMaxConvolutionSide);
    EXPECT_EQ(conv.matrixY, 0);
    EXPECT_TRUE(conv.matrix.empty());  // exactly matrixX * matrixY weights
    v.matrixY = 2;
    v.matrix = {1, std::nan(""), 3};
    v.divisor = std::numeric_limits<double>::infinity();
    conv = std::get<swf::ConvolutionFilter>(swf::filterFromScript(v));
    ASSERT_EQ(conv.matrix.size(), size_t(swf::kMaxConvolutionSide * 2));
    EXPECT_EQ(conv.matrix[1], 0);
    EXPECT_EQ(conv.matrix[2], 3);
    EXPECT_EQ(conv.divisor, 1);

    v = {};
    v.kind = Kind::ColorMatrix;
    v.matrix = {std::nan(""), 2};
    const auto matrix = std::get<swf::ColorMatrixFilter>(swf::filterFromScript(v));
    EXPECT_EQ(matrix.matrix[0], 0);
    EXPECT_EQ(matrix.matrix[1], 2);
    EXPECT_EQ(matrix.matrix[19], 0);

    v = {};
    v.kind = Kind::GradientGlow;
    v.colors = {0xFF0000, 0x00FF00, 0x0000FF};
    v.alphas = {1, 0.5};  // the shortest array decides
    v.ratios = {0, 300, 255};
    const auto glow = std::get<swf::GradientGlowFilter>(swf::filterFromScript(v));
    ASSERT_EQ(glow.stops.size(), 2u);
    EXPECT_EQ(glow.stops[1].ratio, 255);
    EXPECT_EQ(glow.stops[1].color, QColor(0, 255, 0, 128));
}

TEST(ScriptFilterConversion, EveryKindRoundTripsThroughScriptValues) {
    swf::BevelFilter bevel;
    bevel.shadowColor = QColor(1, 2, 3, 51);
    bevel.highlightColor = QColor(200, 100, 50);
    bevel.angle = 0.5;
    bevel.distance = 7.25;
    bevel.strength = 1.5f;
    bevel.passes = 3;
    bevel.inner = false;
    bevel.onTop = true;
    bevel.knockout = true;
    swf::DropShadowFilter shadow;
    shadow.color = QColor(9, 8, 7, 102);
    shadow.inner = true;
    shadow.hideObject = true;
    swf::GradientBevelFilter gradient;
    gradient.stops = {{0, QColor(255, 0, 0)}, {128, QColor(0, 0, 255, 0)}};
    gradient.inner = false;
    swf::ConvolutionFilter conv;
    conv.matrixX = 2;
    conv.matrixY = 1;
    conv.matrix = {0.5f, -1};
    conv.divisor = 3;
    conv.bias = -2;
    conv.defaultColor = QColor(4, 5, 6, 255);
    conv.clamp = false;
    swf::ColorMatrixFilter colors;
    colors.matrix[3] = 0.25f;
    for (const swf::Filter& original :
         std::vector<swf::Filter>{bevel, shadow, gradient, conv, colors, swf::BlurFilter{}, swf::GlowFilter{}}) {
        const swf::avm1::FilterValues v = swf::scriptFilterFrom(original);
        const swf::Filter back = swf::filterFromScript(v);
        ASSERT_EQ(back.index(), original.index());
        std::visit(
            [&](const auto& f) {
                using T = std::decay_t<decltype(f)>;
                const T& g = std::get<T>(back);
                if constexpr (requires { f.angle; }) {
                    EXPECT_NEAR(g.angle, f.angle, 1e-12);
                    EXPECT_EQ(g.distance, f.distance);
                }
                if constexpr (requires { f.knockout; }) {
                    EXPECT_EQ(g.knockout, f.knockout);
                }
                if constexpr (requires { f.onTop; }) {
                    EXPECT_EQ(g.onTop, f.onTop);
                }
                if constexpr (requires { f.inner; }) {
                    EXPECT_EQ(g.inner, f.inner);
                }
                if constexpr (std::is_same_v<T, swf::BevelFilter>) {
                    EXPECT_EQ(g.shadowColor, f.shadowColor);
                    EXPECT_EQ(g.highlightColor, f.highlightColor);
                    EXPECT_EQ(g.passes, f.passes);
                    EXPECT_EQ(g.strength, f.strength);
                } else if constexpr (std::is_same_v<T, swf::DropShadowFilter>) {
                    EXPECT_EQ(g.color, f.color);
                    EXPECT_EQ(g.hideObject, f.hideObject);
                } else if constexpr (std::is_same_v<T, swf::GradientBevelFilter>) {
                    EXPECT_EQ(g.stops, f.stops);
                } else if constexpr (std::is_same_v<T, swf::ConvolutionFilter>) {
                    EXPECT_EQ(g.matrix, f.matrix);
                    EXPECT_EQ(g.divisor, f.divisor);
                    EXPECT_EQ(g.bias, f.bias);
                    EXPECT_EQ(g.defaultColor, f.defaultColor);
                    EXPECT_EQ(g.clamp, f.clamp);
                } else if constexpr (std::is_same_v<T, swf::ColorMatrixFilter>) {
                    EXPECT_EQ(g.matrix, f.matrix);
                }
            },
            original);
    }
    // Script types for bevels: inner alone, outer alone, or full (both, over the object).
    EXPECT_EQ(swf::scriptFilterFrom(bevel).type, Type::Full);
    EXPECT_EQ(swf::scriptFilterFrom(gradient).type, Type::Outer);
    EXPECT_EQ(swf::scriptFilterFrom(swf::BevelFilter{}).type, Type::Inner);
    EXPECT_NEAR(swf::scriptFilterFrom(bevel).angle, 0.5 * 180 / M_PI, 1e-9);
}

}  // namespace
