#include "movies.h"

#include "swf/writer/swf_writer.h"

#include <QDir>
#include <QFont>
#include <QFontMetricsF>
#include <QPainterPath>
#include <QTransform>

#include <cmath>
#include <functional>
#include <numbers>
#include <stdexcept>

namespace demobook {

using swf::writer::Actions;
using swf::writer::ButtonAction;
using swf::writer::ButtonRecord;
using swf::writer::SoundFormat;
using swf::writer::ColorTransform;
using swf::writer::FillStyle;
using swf::writer::LineStyle;
using swf::writer::MovieWriter;
using swf::writer::Placement;

namespace {

// The colours of the background picture's top band and of the book's lamps.
const QColor kBand(0x1F, 0x2D, 0x3A);
const QColor kBodyTop(0x35, 0x55, 0x70);
const QColor kBodyBottom(0x1B, 0x2B, 0x3A);
const QColor kGold(0xF2, 0xC9, 0x6B);
const QColor kCream(0xFF, 0xF4, 0xD6);

constexpr int kPulseFrames = 16;
constexpr double kPulseRate = 12;
constexpr int kSweepFrames = 24;
constexpr double kSweepRate = 16;

QFont labelFont(double pixelSize, bool bold = true, bool serif = false) {
    QFont font(serif ? QStringLiteral("DejaVu Serif") : QStringLiteral("DejaVu Sans"));
    font.setPixelSize(static_cast<int>(std::lround(pixelSize)));
    font.setBold(bold);
    return font;
}

// A text outline centred on `center` (vertically on the cap height).
QPainterPath centredText(const QString& text, const QFont& font, QPointF center) {
    const QFontMetricsF metrics(font);
    QPainterPath path;
    path.addText(0, 0, font, text);
    const QRectF box = path.boundingRect();
    path.translate(center.x() - box.center().x(), center.y() - box.center().y());
    return path;
}

QPainterPath roundedBody(QSizeF stage, double inset, double radius) {
    QPainterPath body;
    body.addRoundedRect(QRectF(QPointF(inset, inset), stage - QSizeF(2 * inset, 2 * inset)), radius, radius);
    return body;
}

FillStyle bodyFill(QSizeF stage) {
    return FillStyle::linear(QPointF(0, 0), QPointF(0, stage.height()), {{0.0, kBodyTop}, {1.0, kBodyBottom}});
}

double pulse(int frame, int frames) {
    return 0.5 - 0.5 * std::cos(2 * std::numbers::pi * frame / frames);
}

// A short tap, 40 ms of a falling tone, as 22,050 Hz mono 16-bit samples.
uint16_t defineClickSound(MovieWriter& movie) {
    constexpr int kRate = 22050, kSamples = kRate / 25;
    QByteArray samples;
    for (int i = 0; i < kSamples; ++i) {
        const double fade = 1.0 - double(i) / kSamples;
        const double pitch = 1800.0 - 1000.0 * i / kSamples;
        const auto v = static_cast<int16_t>(11000.0 * fade * fade * std::sin(2 * std::numbers::pi * pitch * i / kRate));
        samples.append(static_cast<char>(static_cast<uint16_t>(v) & 0xFF));
        samples.append(static_cast<char>(static_cast<uint16_t>(v) >> 8));
    }
    SoundFormat format;
    format.rate = kRate;
    format.stereo = false;
    return movie.defineSound(format, kSamples, samples);
}

// The face or label as a button: plain when idle, with a soft gold glow while the pointer
// is over it or presses it and a click when pressed; the hit area is the whole body.
uint16_t defineGlowingFace(MovieWriter& movie, uint16_t face, uint16_t body, bool glowOnHover) {
    if (!glowOnHover) return face;
    swf::GlowFilter glow;
    glow.color = QColor(0xFF, 0xD8, 0x80, 230);
    glow.blurX = glow.blurY = 6;
    glow.strength = 1.6f;
    glow.passes = 2;
    ButtonRecord idle;
    idle.states = ButtonRecord::Up;
    idle.characterId = face;
    ButtonRecord lit = idle;
    lit.states = ButtonRecord::Over | ButtonRecord::Down;
    lit.filters = {glow};
    ButtonRecord hit;
    hit.states = ButtonRecord::HitTest;
    hit.characterId = body;
    const uint16_t button = movie.defineButton2({idle, lit, hit});
    movie.defineButtonSound(button, {}, {}, {defineClickSound(movie), {}}, {});
    return button;
}

// The label's hover animation, run by the clip that holds the label's button: on rollOver
// it eases itself up to 108% over a few frames, on rollOut back to 100%; the onEnterFrame
// that does it deletes itself once there, so an idle button runs no script at all.
//   onEnterFrame = function() {            // r1: this (the clip), r2: the scale
//       var s = _xscale; s += (hoverTo - s) * 0.45;
//       if (Math.abs(hoverTo - s) < 0.5) { s = hoverTo; delete this.onEnterFrame; }
//       _xscale = _yscale = s;
//   }
Actions hoverEase(double scale) {
    Actions ease;
    ease.reg(1).str("_xscale").getMember().storeRegister(2).pop();
    ease.reg(2).reg(1).str("hoverTo").getMember().reg(2).subtract().num(0.45).multiply().add2().storeRegister(2).pop();
    const Actions::Label apply = ease.label();
    ease.reg(1).str("hoverTo").getMember().reg(2).subtract().num(1).str("Math").getVariable().str("abs").callMethod();
    ease.num(0.5).less2().logicalNot().ifTrue(apply);
    ease.reg(1).str("hoverTo").getMember().storeRegister(2).pop();
    ease.reg(1).str("onEnterFrame").deleteMember().pop();
    ease.bind(apply);
    ease.reg(1).str("_xscale").reg(2).setMember();
    ease.reg(1).str("_yscale").reg(2).setMember();
    Actions start;
    start.str("hoverTo").num(scale).setVariable();
    start.str("onEnterFrame");
    start.function2("", {}, 3,
                    swf::writer::function_flag::kPreloadThis | swf::writer::function_flag::kSuppressArguments |
                        swf::writer::function_flag::kSuppressSuper,
                    ease);
    start.setVariable();
    return start;
}

// A round or square button on the top band: body, a glow that pulses behind the face,
// and the face (an icon outline in cream).
void writePulsingButton(const QString& path, QSizeF stage, const QPainterPath& face, bool glowOnHover,
                        const std::optional<LineStyle>& faceStroke = std::nullopt) {
    MovieWriter movie(stage, kPulseRate);
    movie.setBackgroundColor(kBand);
    const double radius = std::min(stage.width(), stage.height()) / 2 - 3;
    const QPointF center(stage.width() / 2, stage.height() / 2);
    const uint16_t body = movie.defineShape(roundedBody(stage, 2, radius * 0.45), bodyFill(stage),
                                            LineStyle{1.5, kGold});
    QPainterPath glowArea;
    glowArea.addEllipse(center, radius * 0.9, radius * 0.9);
    QColor glowEdge = kGold;
    glowEdge.setAlpha(0);
    const uint16_t glow = movie.defineShape(
        glowArea, FillStyle::radial(center, radius * 0.9, {{0.0, QColor(0xFF, 0xE2, 0x9A, 200)}, {1.0, glowEdge}}));
    const uint16_t faceShape = faceStroke ? movie.defineShape(face, std::nullopt, faceStroke)
                                          : movie.defineShape(face, FillStyle::solid(kCream));
    movie.place(1, body);
    movie.place(2, glow, Placement::tinted(ColorTransform::alpha(0.2)));
    movie.place(3, defineGlowingFace(movie, faceShape, body, glowOnHover));
    movie.showFrame();
    for (int frame = 1; frame < kPulseFrames; ++frame) {
        movie.modify(2, Placement::tinted(ColorTransform::alpha(0.2 + 0.7 * pulse(frame, kPulseFrames))));
        movie.showFrame();
    }
    if (!movie.save(path)) throw std::runtime_error("cannot write " + path.toStdString());
}

// The menu label as a button centred on its origin (so that scaling grows it in place),
// glowing and clicking like the others, in a clip that eases larger while the pointer is
// over it.
uint16_t defineHoveringLabel(MovieWriter& movie, const QPainterPath& label, uint16_t body, QPointF center) {
    const uint16_t face = movie.defineShape(label.translated(-center), FillStyle::solid(kCream));
    swf::GlowFilter glow;
    glow.color = QColor(0xFF, 0xD8, 0x80, 230);
    glow.blurX = glow.blurY = 6;
    glow.strength = 1.6f;
    glow.passes = 2;
    ButtonRecord idle;
    idle.states = ButtonRecord::Up;
    idle.characterId = face;
    ButtonRecord lit = idle;
    lit.states = ButtonRecord::Over | ButtonRecord::Down;
    lit.filters = {glow};
    ButtonRecord hit;
    hit.states = ButtonRecord::HitTest;
    hit.characterId = body;
    hit.transform = QTransform::fromTranslate(-center.x(), -center.y());
    ButtonAction grow, shrink;
    grow.kind = shrink.kind = ButtonAction::Script;
    grow.conditions = 0x0001;    // IdleToOverUp: rollOver
    shrink.conditions = 0x0002;  // OverUpToIdle: rollOut
    grow.script = hoverEase(108);
    shrink.script = hoverEase(100);
    const uint16_t button = movie.defineButton2({idle, lit, hit}, {grow, shrink});
    movie.defineButtonSound(button, {}, {}, {defineClickSound(movie), {}}, {});
    swf::writer::Timeline holder;
    holder.place(1, button);
    holder.showFrame();
    return movie.defineSprite(holder);
}

// A wide button: body, a soft highlight sweeping from left to right, and a label.
void writeSweepingButton(const QString& path, QSizeF stage, const QPainterPath& label, bool glowOnHover) {
    MovieWriter movie(stage, kSweepRate);
    movie.setBackgroundColor(kBand);
    const uint16_t body = movie.defineShape(roundedBody(stage, 1, 5), bodyFill(stage), LineStyle{1, kGold});
    const double bandWidth = stage.height() * 1.6;
    QPainterPath band;
    band.addRect(QRectF(-bandWidth / 2, 3, bandWidth, stage.height() - 6));
    QColor clear(255, 240, 200, 0);
    const uint16_t highlight = movie.defineShape(
        band, FillStyle::linear(QPointF(-bandWidth / 2, 0), QPointF(bandWidth / 2, 0),
                                {{0.0, clear}, {0.5, QColor(255, 240, 200, 90)}, {1.0, clear}}));
    const QPointF center(stage.width() / 2, stage.height() / 2);
    const uint16_t text = glowOnHover ? defineHoveringLabel(movie, label, body, center)
                                      : movie.defineShape(label, FillStyle::solid(kCream));
    Placement textPlacement;
    if (glowOnHover) {
        textPlacement.transform = QTransform::fromTranslate(center.x(), center.y());
        textPlacement.name = QStringLiteral("label");
    }
    movie.place(1, body);
    const double travel = stage.width() + bandWidth;
    for (int frame = 0; frame < kSweepFrames; ++frame) {
        const double x = -bandWidth / 2 + travel * frame / (kSweepFrames - 1);
        if (frame == 0) {
            movie.place(2, highlight, Placement::at(QTransform::fromTranslate(x, 0)));
            movie.place(3, text, textPlacement);
        } else {
            movie.modify(2, Placement::at(QTransform::fromTranslate(x, 0)));
        }
        movie.showFrame();
    }
    if (!movie.save(path)) throw std::runtime_error("cannot write " + path.toStdString());
}

QPainterPath arrow(QSizeF stage, bool up) {
    const double cx = stage.width() / 2, cy = stage.height() / 2;
    const double head = stage.height() * 0.22, shaftHalf = stage.height() * 0.07;
    const double length = stage.height() * 0.26;
    // Drawn pointing down, then mirrored for the up arrow.
    QPainterPath path;
    path.moveTo(cx - shaftHalf, cy - length);
    path.lineTo(cx + shaftHalf, cy - length);
    path.lineTo(cx + shaftHalf, cy + length - head);
    path.lineTo(cx + head, cy + length - head);
    path.lineTo(cx, cy + length + 2);
    path.lineTo(cx - head, cy + length - head);
    path.lineTo(cx - shaftHalf, cy + length - head);
    path.closeSubpath();
    if (up) path = QTransform(1, 0, 0, -1, 0, 2 * cy).map(path);
    return path;
}

QPainterPath powerSymbol(QSizeF stage) {
    const QPointF c(stage.width() / 2, stage.height() / 2 + 1);
    const double r = stage.height() * 0.2;
    QPainterPath path;
    const QRectF circle(c.x() - r, c.y() - r, 2 * r, 2 * r);
    path.arcMoveTo(circle, 120);  // open at the top
    path.arcTo(circle, 120, 300);
    path.moveTo(c.x(), c.y() - r - 3);
    path.lineTo(c.x(), c.y() - 2);
    return path;
}

QPainterPath contentsFace(QSizeF stage) {
    QPainterPath face;
    const double left = stage.width() / 2 - 14, top = 10;
    for (int row = 0; row < 3; ++row) {
        face.addEllipse(QPointF(left + 2, top + 4 + row * 7), 2, 2);
        face.addRect(QRectF(left + 7, top + 3 + row * 7, 21, 2.4));
    }
    face.addPath(centredText(QStringLiteral("Contents"), labelFont(11), QPointF(stage.width() / 2, 40)));
    return face;
}

// The decorative lantern: a frame and a flame that flickers.
void writeLantern(const QString& path, QSizeF stage) {
    MovieWriter movie(stage, kPulseRate);
    movie.setBackgroundColor(kBand);
    const double cx = stage.width() / 2;
    QPainterPath frame;
    frame.addRect(QRectF(cx - 10, 14, 20, 26));
    frame.moveTo(cx - 13, 14);
    frame.lineTo(cx + 13, 14);
    frame.moveTo(cx - 5, 14);
    frame.lineTo(cx, 7);
    frame.lineTo(cx + 5, 14);
    frame.moveTo(cx - 13, 40);
    frame.lineTo(cx + 13, 40);
    const uint16_t glass = movie.defineShape(
        [&] {
            QPainterPath p;
            p.addRect(QRectF(cx - 9, 15, 18, 24));
            return p;
        }(),
        FillStyle::radial(QPointF(cx, 28), 14, {{0.0, QColor(0xFF, 0xD9, 0x80)}, {1.0, QColor(0x5A, 0x46, 0x2A)}}));
    const uint16_t outline = movie.defineShape(frame, std::nullopt, LineStyle{2, kGold});
    QPainterPath flame;
    flame.moveTo(0, -9);
    flame.cubicTo(5, -3, 5, 3, 0, 4);
    flame.cubicTo(-5, 3, -5, -3, 0, -9);
    const uint16_t fire = movie.defineShape(flame, FillStyle::radial(QPointF(0, 0), 8,
                                                                     {{0.0, QColor(0xFF, 0xFF, 0xE8)},
                                                                      {0.6, QColor(0xFF, 0xC0, 0x40)},
                                                                      {1.0, QColor(0xE0, 0x70, 0x20)}}));
    movie.place(1, glass);
    movie.place(3, outline);
    for (int frame = 0; frame < kPulseFrames; ++frame) {
        const double flicker = 0.85 + 0.2 * pulse(frame * 3 % kPulseFrames, kPulseFrames);
        QTransform t;
        t.translate(cx, 30);
        t.scale(0.9 + 0.1 * flicker, flicker);
        if (frame == 0)
            movie.place(2, fire, Placement::at(t));
        else
            movie.modify(2, Placement::at(t));
        movie.showFrame();
    }
    if (!movie.save(path)) throw std::runtime_error("cannot write " + path.toStdString());
}

// The decorative title banner: the book's title with a spark travelling beneath it.
void writeBanner(const QString& path, QSizeF stage) {
    MovieWriter movie(stage, kSweepRate);
    movie.setBackgroundColor(kBand);
    QFont serif = labelFont(19, true, true);
    const uint16_t title = movie.defineShape(
        centredText(QStringLiteral("The Lamplighter of Wrenfield"), serif, QPointF(stage.width() / 2, 22)),
        FillStyle::linear(QPointF(0, 12), QPointF(0, 32), {{0.0, kCream}, {1.0, kGold}}));
    QPainterPath rule;
    rule.addRect(QRectF(30, 38, stage.width() - 60, 1.2));
    const uint16_t line = movie.defineShape(rule, FillStyle::solid(QColor(0xF2, 0xC9, 0x6B, 140)));
    QPainterPath sparkShape;
    sparkShape.addEllipse(QPointF(0, 0), 7, 3);
    QColor clear = kGold;
    clear.setAlpha(0);
    const uint16_t spark = movie.defineShape(
        sparkShape, FillStyle::radial(QPointF(0, 0), 7, {{0.0, QColor(0xFF, 0xFA, 0xE0)}, {1.0, clear}}));
    movie.place(1, line);
    movie.place(2, title);
    for (int frame = 0; frame < kSweepFrames; ++frame) {
        const double x = 30 + (stage.width() - 60) * frame / (kSweepFrames - 1);
        if (frame == 0)
            movie.place(3, spark, Placement::at(QTransform::fromTranslate(x, 38.6)));
        else
            movie.modify(3, Placement::at(QTransform::fromTranslate(x, 38.6)));
        movie.showFrame();
    }
    if (!movie.save(path)) throw std::runtime_error("cannot write " + path.toStdString());
}

}  // namespace

const QStringList& chapterTitles() {
    static const QStringList titles = {
        QStringLiteral("The Last Lamp"),      QStringLiteral("A Letter by Barge"),
        QStringLiteral("Mill Street"),        QStringLiteral("The Clock Tower"),
        QStringLiteral("Fog on the Canal"),   QStringLiteral("The Keeper's Book"),
        QStringLiteral("Lantern Oil"),        QStringLiteral("The Night Market"),
        QStringLiteral("A Broken Wick"),      QStringLiteral("The Long Winter"),
        QStringLiteral("Thaw"),               QStringLiteral("The New Light"),
        QStringLiteral("Home Before Dark"),
    };
    return titles;
}

QStringList writeMovies(const QString& picFolder, bool glowOnHover) {
    QDir folder(picFolder);
    if (!folder.exists() && !QDir().mkpath(picFolder))
        throw std::runtime_error("cannot create " + picFolder.toStdString());
    QStringList written;
    auto out = [&](const QString& name) {
        written << folder.filePath(name);
        return folder.filePath(name);
    };
    // Stage sizes are the controls' sizes on the reader window, in pixels.
    const QSizeF square(52, 52);
    writePulsingButton(out(QStringLiteral("help.swf")), square,
                       centredText(QStringLiteral("?"), labelFont(30), QPointF(26, 26)), glowOnHover);
    writePulsingButton(out(QStringLiteral("exit.swf")), square, powerSymbol(square), glowOnHover,
                       LineStyle{3.2, kCream, LineStyle::Cap::Round, LineStyle::Join::Round});
    writeLantern(out(QStringLiteral("corvanta.swf")), QSizeF(48, 52));
    writeBanner(out(QStringLiteral("5.swf")), QSizeF(313, 52));
    writePulsingButton(out(QStringLiteral("index.swf")), QSizeF(81, 52), contentsFace(QSizeF(81, 52)), glowOnHover);
    writePulsingButton(out(QStringLiteral("up.swf")), square, arrow(square, true), glowOnHover);
    writePulsingButton(out(QStringLiteral("down.swf")), QSizeF(64, 52), arrow(QSizeF(64, 52), false), glowOnHover);

    const QSizeF menu(190, 30);
    const QFont menuFont = labelFont(12.5);
    const QStringList& titles = chapterTitles();
    for (int chapter = 1; chapter <= titles.size(); ++chapter) {
        const QString label = QStringLiteral("%1  %2").arg(chapter).arg(titles[chapter - 1]);
        writeSweepingButton(out(QStringLiteral("%1.swf").arg(20 + chapter)), menu,
                            centredText(label, menuFont, QPointF(95, 15)), glowOnHover);
    }
    writeSweepingButton(out(QStringLiteral("01.swf")), menu,
                        centredText(QStringLiteral("Cover"), menuFont, QPointF(95, 15)), glowOnHover);
    writeSweepingButton(out(QStringLiteral("02.swf")), menu,
                        centredText(QStringLiteral("Front Matter"), menuFont, QPointF(95, 15)), glowOnHover);
    return written;
}

}  // namespace demobook
