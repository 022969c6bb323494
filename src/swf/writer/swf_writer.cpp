#include "swf/writer/swf_writer.h"

#include <QBuffer>
#include <QFile>
#include <QFontMetricsF>
#include <QImageWriter>
#include <QLineF>

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <stdexcept>

namespace swf::writer {

namespace {

enum TagCode : uint16_t {
    kEnd = 0,
    kShowFrame = 1,
    kDefineShape = 2,
    kSetBackgroundColor = 9,
    kDefineText = 11,
    kDoAction = 12,
    kDoInitAction = 59,
    kDefineBitsLossless = 20,
    kDefineBitsJpeg2 = 21,
    kDefineShape2 = 22,
    kPlaceObject2 = 26,
    kRemoveObject2 = 28,
    kDefineShape3 = 32,
    kDefineText2 = 33,
    kDefineButton2 = 34,
    kDefineBitsLossless2 = 36,
    kDefineSprite = 39,
    kFrameLabel = 43,
    kDefineMorphShape = 46,
    kDefineFont2 = 48,
    kFileAttributes = 69,
    kPlaceObject3 = 70,
    kDefineShape4 = 83,
    kDefineMorphShape2 = 84,
};

constexpr double kTwipsPerPixel = 20.0;
constexpr double kCurveTolerancePixels = 0.05;  // one twip
constexpr int kMaxEdgeBits = 17;                // NumBits is 4 bits plus 2
constexpr int kFontEmUnits = 1024;

// Writes bit fields most significant bit first, as every SWF bit structure is laid out.
class BitWriter {
public:
    void ub(uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            current_ = static_cast<uint8_t>((current_ << 1) | ((value >> i) & 1u));
            if (++used_ == 8) flushByte();
        }
    }
    void sb(int32_t value, int bits) { ub(static_cast<uint32_t>(value), bits); }
    void align() {
        if (used_ > 0) {
            current_ = static_cast<uint8_t>(current_ << (8 - used_));
            flushByte();
        }
    }
    void u8(uint32_t value) {
        align();
        bytes_.append(static_cast<char>(value & 0xFF));
    }
    void u16(uint32_t value) {
        u8(value);
        u8(value >> 8);
    }
    void u32(uint32_t value) {
        u16(value & 0xFFFF);
        u16(value >> 16);
    }
    void bytes(const QByteArray& data) {
        align();
        bytes_.append(data);
    }
    void string(const QString& text) {
        bytes(text.toUtf8());
        u8(0);
    }
    int size() const { return bytes_.size(); }
    QByteArray take() {
        align();
        return std::move(bytes_);
    }

private:
    void flushByte() {
        bytes_.append(static_cast<char>(current_));
        current_ = 0;
        used_ = 0;
    }
    QByteArray bytes_;
    uint8_t current_ = 0;
    int used_ = 0;
};

int unsignedBits(uint32_t value) { return static_cast<int>(std::bit_width(value)); }

int signedBits(int64_t value) {
    const uint64_t magnitude = value < 0 ? ~static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    return static_cast<int>(std::bit_width(magnitude)) + 1;
}

int32_t toTwips(double pixels) { return static_cast<int32_t>(std::lround(pixels * kTwipsPerPixel)); }
int32_t toFixed16(double value) { return static_cast<int32_t>(std::lround(value * 65536.0)); }
int16_t toFixed8(double value) {
    return static_cast<int16_t>(std::clamp<long>(std::lround(value * 256.0), -32768, 32767));
}

void writeRect(BitWriter& out, const QRect& twips) {
    const int32_t values[4] = {twips.left(), twips.left() + twips.width(), twips.top(),
                               twips.top() + twips.height()};
    int bits = 1;
    for (int32_t v : values) bits = std::max(bits, signedBits(v));
    out.align();
    out.ub(static_cast<uint32_t>(bits), 5);
    for (int32_t v : values) out.sb(v, bits);
    out.align();
}

QRect twipsRect(const QRectF& pixels) {
    const int32_t left = toTwips(pixels.left()), top = toTwips(pixels.top());
    return QRect(left, top, toTwips(pixels.right()) - left, toTwips(pixels.bottom()) - top);
}

// The raw MATRIX: a b c d as in QTransform (m11 m12 m21 m22), translation in twips.
struct RawMatrix {
    double a = 1, b = 0, c = 0, d = 1;
    int32_t tx = 0, ty = 0;
};

RawMatrix rawFromPixels(const QTransform& t) {
    return {t.m11(), t.m12(), t.m21(), t.m22(), toTwips(t.dx()), toTwips(t.dy())};
}

void writeMatrix(BitWriter& out, const RawMatrix& m) {
    out.align();
    const int32_t scaleX = toFixed16(m.a), scaleY = toFixed16(m.d);
    const int32_t skew0 = toFixed16(m.b), skew1 = toFixed16(m.c);
    const bool hasScale = scaleX != 65536 || scaleY != 65536;
    out.ub(hasScale ? 1 : 0, 1);
    if (hasScale) {
        const int bits = std::max(signedBits(scaleX), signedBits(scaleY));
        out.ub(static_cast<uint32_t>(bits), 5);
        out.sb(scaleX, bits);
        out.sb(scaleY, bits);
    }
    const bool hasRotate = skew0 != 0 || skew1 != 0;
    out.ub(hasRotate ? 1 : 0, 1);
    if (hasRotate) {
        const int bits = std::max(signedBits(skew0), signedBits(skew1));
        out.ub(static_cast<uint32_t>(bits), 5);
        out.sb(skew0, bits);
        out.sb(skew1, bits);
    }
    const int translateBits = (m.tx == 0 && m.ty == 0) ? 0 : std::max(signedBits(m.tx), signedBits(m.ty));
    out.ub(static_cast<uint32_t>(translateBits), 5);
    if (translateBits > 0) {
        out.sb(m.tx, translateBits);
        out.sb(m.ty, translateBits);
    }
    out.align();
}

void writeColorTransform(BitWriter& out, const std::optional<ColorTransform>& transform) {
    out.align();
    const ColorTransform ct = transform.value_or(ColorTransform{});
    const int16_t mult[4] = {toFixed8(ct.redMult), toFixed8(ct.greenMult), toFixed8(ct.blueMult),
                             toFixed8(ct.alphaMult)};
    const int16_t add[4] = {static_cast<int16_t>(ct.redAdd), static_cast<int16_t>(ct.greenAdd),
                            static_cast<int16_t>(ct.blueAdd), static_cast<int16_t>(ct.alphaAdd)};
    const bool hasMult = std::any_of(std::begin(mult), std::end(mult), [](int16_t v) { return v != 256; });
    const bool hasAdd = std::any_of(std::begin(add), std::end(add), [](int16_t v) { return v != 0; });
    int bits = 1;
    if (hasMult)
        for (int16_t v : mult) bits = std::max(bits, signedBits(v));
    if (hasAdd)
        for (int16_t v : add) bits = std::max(bits, signedBits(v));
    out.ub(hasAdd ? 1 : 0, 1);
    out.ub(hasMult ? 1 : 0, 1);
    out.ub(static_cast<uint32_t>(hasAdd || hasMult ? bits : 0), 4);
    if (hasMult)
        for (int16_t v : mult) out.sb(v, bits);
    if (hasAdd)
        for (int16_t v : add) out.sb(v, bits);
    out.align();
}

void writeColor(BitWriter& out, const QColor& color, bool withAlpha) {
    out.u8(static_cast<uint32_t>(color.red()));
    out.u8(static_cast<uint32_t>(color.green()));
    out.u8(static_cast<uint32_t>(color.blue()));
    if (withAlpha) out.u8(static_cast<uint32_t>(color.alpha()));
}

QByteArray actionBytes(const std::vector<uint8_t>& code) {
    return QByteArray(reinterpret_cast<const char*>(code.data()), static_cast<qsizetype>(code.size()));
}

QByteArray zlibCompress(const QByteArray& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    QByteArray out(static_cast<qsizetype>(size), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(data.constData()), static_cast<uLong>(data.size()),
                  Z_BEST_COMPRESSION) != Z_OK)
        throw std::runtime_error("zlib compression failed");
    out.resize(static_cast<qsizetype>(size));
    return out;
}

// ---- Paths as SWF edges ----

struct Segment {
    bool curve = false;
    QPointF control;
    QPointF end;
};

struct Subpath {
    QPointF start;
    std::vector<Segment> segments;
};

QPointF lerp(QPointF a, QPointF b, double t) { return a + (b - a) * t; }

void splitCubic(const QPointF p[4], QPointF left[4], QPointF right[4]) {
    const QPointF ab = lerp(p[0], p[1], 0.5), bc = lerp(p[1], p[2], 0.5), cd = lerp(p[2], p[3], 0.5);
    const QPointF abc = lerp(ab, bc, 0.5), bcd = lerp(bc, cd, 0.5), mid = lerp(abc, bcd, 0.5);
    left[0] = p[0], left[1] = ab, left[2] = abc, left[3] = mid;
    right[0] = mid, right[1] = bcd, right[2] = cd, right[3] = p[3];
}

void cubicPieces(const QPointF p[4], double tolerance, int depthLeft,
                 std::vector<std::pair<QPointF, QPointF>>& out) {
    // Distance bound between a cubic and the quadratic with the averaged control point.
    const QPointF d = p[3] - 3 * p[2] + 3 * p[1] - p[0];
    const double error = std::hypot(d.x(), d.y()) * std::sqrt(3.0) / 36.0;
    if (error <= tolerance || depthLeft == 0) {
        out.emplace_back((3 * (p[1] + p[2]) - p[0] - p[3]) / 4, p[3]);
        return;
    }
    QPointF left[4], right[4];
    splitCubic(p, left, right);
    cubicPieces(left, tolerance, depthLeft - 1, out);
    cubicPieces(right, tolerance, depthLeft - 1, out);
}

// Cubic curves become `fixedPieces` quadratics each when set (morph shapes need equal
// edge counts at both ends), otherwise as many as the tolerance needs.
std::vector<Subpath> toSubpaths(const QPainterPath& path, bool closeOpen, int fixedPieces = 0) {
    std::vector<Subpath> result;
    QPointF pen;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        const QPointF point(e.x, e.y);
        switch (e.type) {
        case QPainterPath::MoveToElement:
            result.push_back({point, {}});
            break;
        case QPainterPath::LineToElement:
            if (result.empty()) result.push_back({pen, {}});
            result.back().segments.push_back({false, {}, point});
            break;
        case QPainterPath::CurveToElement: {
            if (result.empty()) result.push_back({pen, {}});
            if (i + 2 >= path.elementCount()) break;
            const QPainterPath::Element c2 = path.elementAt(i + 1), end = path.elementAt(i + 2);
            const QPointF cubic[4] = {pen, point, QPointF(c2.x, c2.y), QPointF(end.x, end.y)};
            std::vector<std::pair<QPointF, QPointF>> pieces;
            if (fixedPieces > 0) {
                // Evenly split, each piece approximated by one quadratic.
                QPointF rest[4] = {cubic[0], cubic[1], cubic[2], cubic[3]};
                for (int k = fixedPieces; k > 1; --k) {
                    const double t = 1.0 / k;
                    const QPointF ab = lerp(rest[0], rest[1], t), bc = lerp(rest[1], rest[2], t),
                                  cd = lerp(rest[2], rest[3], t);
                    const QPointF abc = lerp(ab, bc, t), bcd = lerp(bc, cd, t), m = lerp(abc, bcd, t);
                    const QPointF piece[4] = {rest[0], ab, abc, m};
                    cubicPieces(piece, 1e18, 0, pieces);
                    rest[0] = m, rest[1] = bcd, rest[2] = cd;
                }
                cubicPieces(rest, 1e18, 0, pieces);
            } else {
                cubicPieces(cubic, kCurveTolerancePixels, 8, pieces);
            }
            for (const auto& [control, to] : pieces) result.back().segments.push_back({true, control, to});
            i += 2;
            pen = QPointF(end.x, end.y);
            continue;
        }
        case QPainterPath::CurveToDataElement:
            break;
        }
        pen = point;
    }
    if (closeOpen) {
        for (Subpath& sub : result) {
            const QPointF last = sub.segments.empty() ? sub.start : sub.segments.back().end;
            if (!sub.segments.empty() && QLineF(last, sub.start).length() > 1e-9)
                sub.segments.push_back({false, {}, sub.start});
        }
    }
    return result;
}

struct StyleChange {
    std::optional<uint32_t> fill0, fill1, line;
};

// Emits shape records with rounding that never drifts: every edge ends on the rounded
// position of its own end point.
class EdgeEncoder {
public:
    EdgeEncoder(BitWriter& out, int fillBits, int lineBits, double unitsPerPixel)
        : out_(out), fillBits_(fillBits), lineBits_(lineBits), scale_(unitsPerPixel) {}

    void styleChange(std::optional<QPointF> moveTo, const StyleChange& styles) {
        out_.ub(0, 1);
        out_.ub(0, 1);  // no new styles
        out_.ub(styles.line ? 1 : 0, 1);
        out_.ub(styles.fill1 ? 1 : 0, 1);
        out_.ub(styles.fill0 ? 1 : 0, 1);
        out_.ub(moveTo ? 1 : 0, 1);
        if (moveTo) {
            const QPoint target = toUnits(*moveTo);
            const int bits = std::max(signedBits(target.x()), signedBits(target.y()));
            out_.ub(static_cast<uint32_t>(bits), 5);
            out_.sb(target.x(), bits);
            out_.sb(target.y(), bits);
            pen_ = target;
        }
        if (styles.fill0) out_.ub(*styles.fill0, fillBits_);
        if (styles.fill1) out_.ub(*styles.fill1, fillBits_);
        if (styles.line) out_.ub(*styles.line, lineBits_);
    }

    void segment(const Segment& s, bool keepEmpty) {
        const QPoint end = toUnits(s.end);
        if (!s.curve) {
            straight(end - pen_, keepEmpty);
            pen_ = end;
            return;
        }
        const QPoint control = toUnits(s.control);
        curved(control - pen_, end - control, keepEmpty);
        pen_ = end;
    }

    void end() {
        out_.ub(0, 6);
        out_.align();
    }

private:
    QPoint toUnits(QPointF p) const {
        return QPoint(static_cast<int>(std::lround(p.x() * scale_)), static_cast<int>(std::lround(p.y() * scale_)));
    }

    void straight(QPoint delta, bool keepEmpty) {
        if (delta.isNull() && !keepEmpty) return;
        int bits = std::max({2, signedBits(delta.x()), signedBits(delta.y())});
        if (bits > kMaxEdgeBits) {  // too long for one edge: two halves
            const QPoint half(delta.x() / 2, delta.y() / 2);
            straight(half, keepEmpty);
            straight(delta - half, keepEmpty);
            return;
        }
        out_.ub(1, 1);
        out_.ub(1, 1);
        const bool general = delta.x() != 0 && delta.y() != 0;
        if (!general) bits = std::max(2, signedBits(delta.x() != 0 ? delta.x() : delta.y()));
        out_.ub(static_cast<uint32_t>(bits - 2), 4);
        out_.ub(general ? 1 : 0, 1);
        if (general) {
            out_.sb(delta.x(), bits);
            out_.sb(delta.y(), bits);
        } else {
            const bool vertical = delta.x() == 0;
            out_.ub(vertical ? 1 : 0, 1);
            out_.sb(vertical ? delta.y() : delta.x(), bits);
        }
    }

    void curved(QPoint toControl, QPoint toAnchor, bool keepEmpty) {
        if (toControl.isNull() && toAnchor.isNull() && !keepEmpty) return;
        const int bits = std::max({2, signedBits(toControl.x()), signedBits(toControl.y()),
                                   signedBits(toAnchor.x()), signedBits(toAnchor.y())});
        if (bits > kMaxEdgeBits) {
            // Split the quadratic in two at its middle (integer units, close enough).
            const QPoint c1(toControl.x() / 2, toControl.y() / 2);
            const QPoint control = toControl, anchor = toControl + toAnchor;
            const QPoint c2 = control + QPoint(toAnchor.x() / 2, toAnchor.y() / 2);
            const QPoint mid((c1.x() + c2.x()) / 2, (c1.y() + c2.y()) / 2);
            curved(c1, mid - c1, keepEmpty);
            curved(c2 - mid, anchor - c2, keepEmpty);
            return;
        }
        out_.ub(1, 1);
        out_.ub(0, 1);
        out_.ub(static_cast<uint32_t>(bits - 2), 4);
        out_.sb(toControl.x(), bits);
        out_.sb(toControl.y(), bits);
        out_.sb(toAnchor.x(), bits);
        out_.sb(toAnchor.y(), bits);
    }

    BitWriter& out_;
    int fillBits_, lineBits_;
    double scale_;
    QPoint pen_;
};

bool colorNeedsAlpha(const QColor& c) { return c.alpha() != 255; }

int fillVersionNeeded(const FillStyle& fill) {
    int version = 1;
    auto anyAlpha = [&] {
        return std::any_of(fill.stops.begin(), fill.stops.end(),
                           [](const QGradientStop& s) { return colorNeedsAlpha(s.second); });
    };
    switch (fill.kind) {
    case FillStyle::Kind::Solid:
        if (colorNeedsAlpha(fill.color)) version = 3;
        break;
    case FillStyle::Kind::Linear:
    case FillStyle::Kind::Radial:
    case FillStyle::Kind::FocalRadial:
        if (anyAlpha()) version = 3;
        if (fill.kind == FillStyle::Kind::FocalRadial || fill.spread != FillStyle::Spread::Pad || fill.linearRgb ||
            fill.stops.size() > 8)
            version = 4;
        break;
    case FillStyle::Kind::Bitmap:
        break;
    }
    return version;
}

int lineVersionNeeded(const LineStyle& line) {
    if (line.cap != LineStyle::Cap::Round || line.join != LineStyle::Join::Round) return 4;
    return colorNeedsAlpha(line.color) ? 3 : 1;
}

void writeGradient(BitWriter& out, const FillStyle& fill, int shapeVersion) {
    const int maxStops = shapeVersion >= 4 ? 15 : 8;
    QGradientStops stops = fill.stops;
    if (stops.isEmpty()) stops = {{0.0, fill.color}, {1.0, fill.color}};
    if (stops.size() > maxStops) stops.resize(maxStops);
    out.ub(static_cast<uint32_t>(fill.spread), 2);
    out.ub(fill.linearRgb ? 1 : 0, 2);
    out.ub(static_cast<uint32_t>(stops.size()), 4);
    for (const QGradientStop& stop : stops) {
        out.u8(static_cast<uint32_t>(std::clamp<long>(std::lround(stop.first * 255), 0, 255)));
        writeColor(out, stop.second, shapeVersion >= 3);
    }
    if (fill.kind == FillStyle::Kind::FocalRadial) out.u16(static_cast<uint16_t>(toFixed8(fill.focus)));
}

// The gradient square runs from -16384 to 16384 units; map it onto the shape in twips.
RawMatrix gradientMatrix(const FillStyle& fill) {
    RawMatrix m;
    if (fill.kind == FillStyle::Kind::Linear) {
        const QPointF delta = (fill.to - fill.from) * kTwipsPerPixel;
        const double length = std::hypot(delta.x(), delta.y());
        const double scale = std::max(length, 1.0) / 32768.0;
        const double angle = std::atan2(delta.y(), delta.x());
        m.a = std::cos(angle) * scale;
        m.b = std::sin(angle) * scale;
        m.c = -std::sin(angle) * scale;
        m.d = std::cos(angle) * scale;
        const QPointF mid = (fill.from + fill.to) / 2;
        m.tx = toTwips(mid.x());
        m.ty = toTwips(mid.y());
    } else {
        const double scale = std::max(fill.radius, 0.05) * kTwipsPerPixel / 16384.0;
        m.a = m.d = scale;
        m.tx = toTwips(fill.center.x());
        m.ty = toTwips(fill.center.y());
    }
    return m;
}

void writeFillStyle(BitWriter& out, const FillStyle& fill, int shapeVersion) {
    switch (fill.kind) {
    case FillStyle::Kind::Solid:
        out.u8(0x00);
        writeColor(out, fill.color, shapeVersion >= 3);
        return;
    case FillStyle::Kind::Linear:
    case FillStyle::Kind::Radial:
    case FillStyle::Kind::FocalRadial:
        out.u8(fill.kind == FillStyle::Kind::Linear ? 0x10 : fill.kind == FillStyle::Kind::Radial ? 0x12 : 0x13);
        writeMatrix(out, gradientMatrix(fill));
        writeGradient(out, fill, shapeVersion);
        return;
    case FillStyle::Kind::Bitmap: {
        uint8_t type = fill.bitmapRepeat ? 0x40 : 0x41;
        if (!fill.bitmapSmoothed) type += 2;
        out.u8(type);
        out.u16(fill.bitmapId);
        const QTransform& t = fill.bitmapTransform;
        // One bitmap pixel is one twip before the matrix: scale by 20 to reach pixels.
        writeMatrix(out, {t.m11() * kTwipsPerPixel, t.m12() * kTwipsPerPixel, t.m21() * kTwipsPerPixel,
                          t.m22() * kTwipsPerPixel, toTwips(t.dx()), toTwips(t.dy())});
        return;
    }
    }
}

void writeLineStyle(BitWriter& out, const LineStyle& line, int shapeVersion) {
    const uint32_t width = static_cast<uint32_t>(std::clamp<long>(toTwips(line.width), 0, 65535));
    out.u16(width);
    if (shapeVersion < 4) {
        writeColor(out, line.color, shapeVersion >= 3);
        return;
    }
    out.ub(static_cast<uint32_t>(line.cap), 2);
    out.ub(static_cast<uint32_t>(line.join), 2);
    out.ub(0, 1);  // no fill: a colour
    out.ub(0, 1);
    out.ub(0, 1);
    out.ub(0, 1);
    out.ub(0, 5);
    out.ub(0, 1);
    out.ub(static_cast<uint32_t>(line.cap), 2);
    if (line.join == LineStyle::Join::Miter) out.u16(static_cast<uint16_t>(toFixed8(line.miterLimit)));
    writeColor(out, line.color, true);
}

void writeStyleCount(BitWriter& out, size_t count, int shapeVersion) {
    if (count >= 255 && shapeVersion >= 2) {
        out.u8(0xFF);
        out.u16(static_cast<uint32_t>(count));
    } else {
        out.u8(static_cast<uint32_t>(count));
    }
}

QRectF pathBounds(const std::vector<ShapeLayer>& layers, bool withStrokes) {
    QRectF bounds;
    for (const ShapeLayer& layer : layers) {
        QRectF r = layer.path.controlPointRect();
        if (withStrokes && layer.line) {
            const double half = layer.line->width / 2;
            r.adjust(-half, -half, half, half);
        }
        bounds = bounds.isNull() ? r : bounds.united(r);
    }
    return bounds;
}

}  // namespace

// ---- Styles and transforms ----

FillStyle FillStyle::solid(const QColor& color) {
    FillStyle f;
    f.color = color;
    return f;
}

FillStyle FillStyle::linear(QPointF from, QPointF to, const QGradientStops& stops) {
    FillStyle f;
    f.kind = Kind::Linear;
    f.from = from;
    f.to = to;
    f.stops = stops;
    return f;
}

FillStyle FillStyle::radial(QPointF center, double radius, const QGradientStops& stops) {
    FillStyle f;
    f.kind = Kind::Radial;
    f.center = center;
    f.radius = radius;
    f.stops = stops;
    return f;
}

FillStyle FillStyle::focalRadial(QPointF center, double radius, double focus, const QGradientStops& stops) {
    FillStyle f = radial(center, radius, stops);
    f.kind = Kind::FocalRadial;
    f.focus = std::clamp(focus, -1.0, 1.0);
    return f;
}

FillStyle FillStyle::bitmap(uint16_t bitmapId, const QTransform& pixelsToShape, bool repeat, bool smoothed) {
    FillStyle f;
    f.kind = Kind::Bitmap;
    f.bitmapId = bitmapId;
    f.bitmapTransform = pixelsToShape;
    f.bitmapRepeat = repeat;
    f.bitmapSmoothed = smoothed;
    return f;
}

ColorTransform ColorTransform::alpha(double alphaMult) {
    ColorTransform ct;
    ct.alphaMult = alphaMult;
    return ct;
}

ColorTransform ColorTransform::tint(const QColor& add, double mult) {
    ColorTransform ct;
    ct.redMult = ct.greenMult = ct.blueMult = mult;
    ct.redAdd = add.red();
    ct.greenAdd = add.green();
    ct.blueAdd = add.blue();
    return ct;
}

Placement Placement::at(const QTransform& transform) {
    Placement p;
    p.transform = transform;
    return p;
}

Placement Placement::tinted(const ColorTransform& colorTransform) {
    Placement p;
    p.colorTransform = colorTransform;
    return p;
}

std::vector<std::pair<QPointF, QPointF>> cubicToQuadratics(QPointF p0, QPointF c1, QPointF c2, QPointF p3,
                                                           double tolerance) {
    std::vector<std::pair<QPointF, QPointF>> out;
    const QPointF cubic[4] = {p0, c1, c2, p3};
    cubicPieces(cubic, tolerance, 8, out);
    return out;
}

// ---- Timeline ----

void Timeline::appendTag(uint16_t code, const QByteArray& body, bool forceLong) {
    BitWriter out;
    if (body.size() < 0x3F && !forceLong) {
        out.u16(static_cast<uint32_t>(code << 6) | static_cast<uint32_t>(body.size()));
    } else {
        out.u16(static_cast<uint32_t>(code << 6) | 0x3F);
        out.u32(static_cast<uint32_t>(body.size()));
    }
    out.bytes(body);
    tags_.append(out.take());
}

namespace {
void fixed16(BitWriter& out, double v) { out.u32(static_cast<uint32_t>(static_cast<int32_t>(std::lround(v * 65536.0)))); }
void fixed8(BitWriter& out, double v) { out.u16(static_cast<uint32_t>(static_cast<int16_t>(std::lround(v * 256.0)))); }
void float32(BitWriter& out, float v) {
    uint32_t bits;
    static_assert(sizeof bits == sizeof v);
    std::memcpy(&bits, &v, sizeof bits);
    out.u32(bits);
}
void rgba(BitWriter& out, const QColor& c) {
    out.u8(static_cast<uint32_t>(c.red()));
    out.u8(static_cast<uint32_t>(c.green()));
    out.u8(static_cast<uint32_t>(c.blue()));
    out.u8(static_cast<uint32_t>(c.alpha()));
}
uint32_t passesField(int passes, int bits) { return static_cast<uint32_t>(std::clamp(passes, 0, (1 << bits) - 1)); }

// Blur, angle, distance, strength and flags, shared by the shadow-like filters.
template <typename F>
void writeShadowTail(BitWriter& out, const F& f) {
    fixed16(out, f.blurX);
    fixed16(out, f.blurY);
    if constexpr (requires { f.angle; }) {
        fixed16(out, f.angle);
        fixed16(out, f.distance);
    }
    fixed8(out, f.strength);
    out.ub(f.inner ? 1 : 0, 1);
    out.ub(f.knockout ? 1 : 0, 1);
    out.ub(f.hideObject ? 0 : 1, 1);
    if constexpr (requires { f.onTop; }) {
        out.ub(f.onTop ? 1 : 0, 1);
        out.ub(passesField(f.passes, 4), 4);
    } else {
        out.ub(passesField(f.passes, 5), 5);
    }
    out.align();
}

template <typename F>
void writeFilterGradient(BitWriter& out, const F& f) {
    const size_t count = std::min<size_t>(f.stops.size(), 255);
    out.u8(static_cast<uint32_t>(count));
    for (size_t i = 0; i < count; ++i) rgba(out, f.stops[i].color);
    for (size_t i = 0; i < count; ++i) out.u8(f.stops[i].ratio);
}

void writeFilters(BitWriter& out, const std::vector<swf::Filter>& filters) {
    const size_t count = std::min<size_t>(filters.size(), 255);
    out.u8(static_cast<uint32_t>(count));
    for (size_t i = 0; i < count; ++i) {
        out.u8(static_cast<uint32_t>(filters[i].index()));
        std::visit(
            [&](const auto& f) {
                using T = std::decay_t<decltype(f)>;
                if constexpr (std::is_same_v<T, swf::DropShadowFilter> || std::is_same_v<T, swf::GlowFilter>) {
                    rgba(out, f.color);
                    writeShadowTail(out, f);
                } else if constexpr (std::is_same_v<T, swf::BlurFilter>) {
                    fixed16(out, f.blurX);
                    fixed16(out, f.blurY);
                    out.ub(passesField(f.passes, 5), 5);
                    out.ub(0, 3);
                    out.align();
                } else if constexpr (std::is_same_v<T, swf::BevelFilter>) {
                    rgba(out, f.highlightColor);  // highlight is stored first
                    rgba(out, f.shadowColor);
                    writeShadowTail(out, f);
                } else if constexpr (std::is_same_v<T, swf::GradientGlowFilter> ||
                                     std::is_same_v<T, swf::GradientBevelFilter>) {
                    writeFilterGradient(out, f);
                    writeShadowTail(out, f);
                } else if constexpr (std::is_same_v<T, swf::ConvolutionFilter>) {
                    out.u8(static_cast<uint32_t>(std::clamp(f.matrixX, 0, 255)));
                    out.u8(static_cast<uint32_t>(std::clamp(f.matrixY, 0, 255)));
                    float32(out, f.divisor);
                    float32(out, f.bias);
                    const size_t cells = size_t(std::clamp(f.matrixX, 0, 255)) * size_t(std::clamp(f.matrixY, 0, 255));
                    for (size_t c = 0; c < cells; ++c) float32(out, c < f.matrix.size() ? f.matrix[c] : 0.0f);
                    rgba(out, f.defaultColor);
                    out.u8((f.clamp ? 2u : 0u) | (f.preserveAlpha ? 1u : 0u));
                } else if constexpr (std::is_same_v<T, swf::ColorMatrixFilter>) {
                    for (float v : f.matrix) float32(out, v);
                }
            },
            filters[i]);
    }
}
}  // namespace

void Timeline::placeObject(uint16_t depth, std::optional<uint16_t> characterId, bool move,
                           const Placement& placement) {
    BitWriter out;
    uint8_t flags = 0;
    if (!placement.clipActions.empty()) flags |= 0x80;
    if (placement.clipDepth) flags |= 0x40;
    if (!placement.name.isEmpty()) flags |= 0x20;
    if (placement.ratio) flags |= 0x10;
    if (placement.colorTransform) flags |= 0x08;
    if (placement.transform) flags |= 0x04;
    if (characterId) flags |= 0x02;
    if (move) flags |= 0x01;
    uint8_t flags2 = 0;
    if (placement.filters) flags2 |= 0x01;
    if (placement.blendMode) flags2 |= 0x02;
    if (placement.cacheAsBitmap) flags2 |= 0x04;
    if (placement.opaqueBackground) flags2 |= 0x40;
    const bool version3 = flags2 != 0;
    out.u8(flags);
    if (version3) out.u8(flags2);
    out.u16(depth);
    if (characterId) out.u16(*characterId);
    if (placement.transform) writeMatrix(out, rawFromPixels(*placement.transform));
    if (placement.colorTransform) writeColorTransform(out, placement.colorTransform);
    if (placement.ratio) out.u16(*placement.ratio);
    if (!placement.name.isEmpty()) out.string(placement.name);
    if (placement.clipDepth) out.u16(*placement.clipDepth);
    if (placement.filters) writeFilters(out, *placement.filters);
    if (placement.blendMode) out.u8(static_cast<uint32_t>(*placement.blendMode));
    if (placement.cacheAsBitmap) out.u8(*placement.cacheAsBitmap ? 1 : 0);
    if (placement.opaqueBackground) rgba(out, *placement.opaqueBackground);
    if (!placement.clipActions.empty()) {
        uint32_t all = 0;
        for (const ClipEventActions& c : placement.clipActions) all |= c.events;
        out.u16(0);
        out.u32(all);
        for (const ClipEventActions& c : placement.clipActions) {
            const std::vector<uint8_t> code = c.actions.block();
            const bool keyPress = c.events & clip_event::kKeyPress;
            out.u32(c.events);
            out.u32(static_cast<uint32_t>(code.size() + (keyPress ? 1 : 0)));
            if (keyPress) out.u8(c.keyCode);
            out.bytes(actionBytes(code));
        }
        out.u32(0);
    }
    appendTag(version3 ? kPlaceObject3 : kPlaceObject2, out.take());
}

void Timeline::place(uint16_t depth, uint16_t characterId, const Placement& placement) {
    Placement p = placement;
    if (!p.transform) p.transform = QTransform();  // always state where it stands
    placeObject(depth, characterId, false, p);
}

void Timeline::modify(uint16_t depth, const Placement& placement) { placeObject(depth, std::nullopt, true, placement); }

void Timeline::replace(uint16_t depth, uint16_t characterId, const Placement& placement) {
    placeObject(depth, characterId, true, placement);
}

void Timeline::remove(uint16_t depth) {
    BitWriter out;
    out.u16(depth);
    appendTag(kRemoveObject2, out.take());
}

void Timeline::frameLabel(const QString& label) {
    BitWriter out;
    out.string(label);
    appendTag(kFrameLabel, out.take());
}

namespace {
void appendActionEnd(BitWriter& out) { out.u8(0); }
void actionGotoFrame(BitWriter& out, uint16_t frame) {
    out.u8(0x81);
    out.u16(2);
    out.u16(frame);
}
void actionGotoLabel(BitWriter& out, const QString& label) {
    const QByteArray bytes = label.toUtf8();
    out.u8(0x8C);
    out.u16(static_cast<uint32_t>(bytes.size() + 1));
    out.bytes(bytes);
    out.u8(0);
}
}  // namespace

void Timeline::stop() {
    BitWriter out;
    out.u8(0x07);
    appendActionEnd(out);
    appendTag(kDoAction, out.take());
}

void Timeline::play() {
    BitWriter out;
    out.u8(0x06);
    appendActionEnd(out);
    appendTag(kDoAction, out.take());
}

void Timeline::gotoFrame(uint16_t frameIndexFromZero, bool andPlay) {
    BitWriter out;
    actionGotoFrame(out, frameIndexFromZero);
    if (andPlay) out.u8(0x06);
    appendActionEnd(out);
    appendTag(kDoAction, out.take());
}

void Timeline::gotoLabel(const QString& label, bool andPlay) {
    BitWriter out;
    actionGotoLabel(out, label);
    if (andPlay) out.u8(0x06);
    appendActionEnd(out);
    appendTag(kDoAction, out.take());
}

void Timeline::doAction(const Actions& actions) { appendTag(kDoAction, actionBytes(actions.block())); }

void Timeline::showFrame() {
    appendTag(kShowFrame, {});
    ++frames_;
}

QByteArray Timeline::controlTags() const { return tags_ + QByteArray(2, '\0'); }

// ---- MovieWriter ----

struct MovieWriter::FontData {
    uint16_t id = 0;
    QString characters;            // glyph i draws characters[i]
    std::vector<int> advances;     // em units
    int ascent = 0, descent = 0;
};

MovieWriter::MovieWriter(QSizeF stagePixels, double frameRate, uint8_t version)
    : stage_(stagePixels), frameRate_(frameRate), version_(version) {}

MovieWriter::~MovieWriter() = default;

void MovieWriter::setBackgroundColor(const QColor& color) {
    BitWriter out;
    writeColor(out, color, false);
    appendTag(kSetBackgroundColor, out.take());
}

uint16_t MovieWriter::defineShape(const QPainterPath& path, const std::optional<FillStyle>& fill,
                                  const std::optional<LineStyle>& line) {
    return defineShape(std::vector<ShapeLayer>{{path, fill, line}});
}

uint16_t MovieWriter::defineShape(const std::vector<ShapeLayer>& layers) {
    int version = 1;
    size_t fillCount = 0, lineCount = 0;
    for (const ShapeLayer& layer : layers) {
        if (layer.fill) version = std::max(version, fillVersionNeeded(*layer.fill)), ++fillCount;
        if (layer.line) version = std::max(version, lineVersionNeeded(*layer.line)), ++lineCount;
    }
    if (fillCount >= 255 || lineCount >= 255) version = std::max(version, 2);

    const uint16_t id = nextId();
    BitWriter out;
    out.u16(id);
    writeRect(out, twipsRect(pathBounds(layers, true)));
    if (version == 4) {
        writeRect(out, twipsRect(pathBounds(layers, false)));
        out.ub(0, 5);
        out.ub(0, 1);  // odd-even fill rule
        out.ub(0, 1);
        out.ub(lineCount > 0 ? 1 : 0, 1);
    }
    writeStyleCount(out, fillCount, version);
    for (const ShapeLayer& layer : layers)
        if (layer.fill) writeFillStyle(out, *layer.fill, version);
    writeStyleCount(out, lineCount, version);
    for (const ShapeLayer& layer : layers)
        if (layer.line) writeLineStyle(out, *layer.line, version);

    const int fillBits = unsignedBits(static_cast<uint32_t>(fillCount));
    const int lineBits = unsignedBits(static_cast<uint32_t>(lineCount));
    out.ub(static_cast<uint32_t>(fillBits), 4);
    out.ub(static_cast<uint32_t>(lineBits), 4);
    EdgeEncoder edges(out, fillBits, lineBits, kTwipsPerPixel);
    uint32_t fillIndex = 0, lineIndex = 0;
    for (const ShapeLayer& layer : layers) {
        const uint32_t fill = layer.fill ? ++fillIndex : 0;
        const uint32_t lineStyle = layer.line ? ++lineIndex : 0;
        bool first = true;
        for (const Subpath& sub : toSubpaths(layer.path, layer.fill.has_value())) {
            StyleChange styles;
            if (first) {
                // Every layer states its styles so that none leaks from the one before.
                if (fillBits > 0) styles.fill0 = fill;
                if (lineBits > 0) styles.line = lineStyle;
                first = false;
            }
            edges.styleChange(sub.start, styles);
            for (const Segment& s : sub.segments) edges.segment(s, false);
        }
    }
    edges.end();
    static constexpr uint16_t codes[5] = {0, kDefineShape, kDefineShape2, kDefineShape3, kDefineShape4};
    appendTag(codes[version], out.take());
    return id;
}

uint16_t MovieWriter::defineMorphShape(const QPainterPath& start, const QPainterPath& end, const QColor& startColor,
                                       const QColor& endColor, bool version2) {
    std::vector<Subpath> from = toSubpaths(start, false, 4), to = toSubpaths(end, false, 4);
    if (from.size() != to.size())
        throw std::invalid_argument("morph shape: start and end have different numbers of subpaths");
    for (size_t i = 0; i < from.size(); ++i)
        if (from[i].segments.size() != to[i].segments.size())
            throw std::invalid_argument("morph shape: start and end differ in their edges");
    // Close both ends of every subpath alike so that the edge counts stay equal.
    for (size_t i = 0; i < from.size(); ++i) {
        auto lastOf = [](const Subpath& s) { return s.segments.empty() ? s.start : s.segments.back().end; };
        if (lastOf(from[i]) != from[i].start || lastOf(to[i]) != to[i].start) {
            from[i].segments.push_back({false, {}, from[i].start});
            to[i].segments.push_back({false, {}, to[i].start});
        }
    }

    const uint16_t id = nextId();
    BitWriter out;
    out.u16(id);
    const QRect startBounds = twipsRect(start.controlPointRect()), endBounds = twipsRect(end.controlPointRect());
    writeRect(out, startBounds);
    writeRect(out, endBounds);
    if (version2) {
        writeRect(out, startBounds);
        writeRect(out, endBounds);
        out.ub(0, 6);
        out.ub(0, 1);
        out.ub(0, 1);
    }
    BitWriter styles;
    styles.u8(1);
    styles.u8(0x00);
    writeColor(styles, startColor, true);
    writeColor(styles, endColor, true);
    styles.u8(0);  // no line styles

    BitWriter startEdges;
    startEdges.ub(1, 4);
    startEdges.ub(0, 4);
    {
        EdgeEncoder edges(startEdges, 1, 0, kTwipsPerPixel);
        bool first = true;
        for (const Subpath& sub : from) {
            StyleChange sc;
            if (first) sc.fill0 = 1, first = false;
            edges.styleChange(sub.start, sc);
            for (const Segment& s : sub.segments) edges.segment(s, true);
        }
        edges.end();
    }
    BitWriter endEdges;
    endEdges.ub(0, 4);
    endEdges.ub(0, 4);
    {
        EdgeEncoder edges(endEdges, 0, 0, kTwipsPerPixel);
        for (const Subpath& sub : to) {
            edges.styleChange(sub.start, {});
            for (const Segment& s : sub.segments) edges.segment(s, true);
        }
        edges.end();
    }
    const QByteArray styleBytes = styles.take(), startBytes = startEdges.take();
    out.u32(static_cast<uint32_t>(styleBytes.size() + startBytes.size()));
    out.bytes(styleBytes);
    out.bytes(startBytes);
    out.bytes(endEdges.take());
    appendTag(version2 ? kDefineMorphShape2 : kDefineMorphShape, out.take());
    return id;
}

uint16_t MovieWriter::defineSprite(const Timeline& timeline) {
    const uint16_t id = nextId();
    BitWriter out;
    out.u16(id);
    out.u16(timeline.frameCount());
    out.bytes(timeline.controlTags());
    appendTag(kDefineSprite, out.take());
    return id;
}

void MovieWriter::doInitAction(uint16_t spriteId, const Actions& actions) {
    BitWriter out;
    out.u16(spriteId);
    out.bytes(actionBytes(actions.block()));
    appendTag(kDoInitAction, out.take());
}

uint16_t MovieWriter::defineButton2(const std::vector<ButtonRecord>& records, const std::vector<ButtonAction>& actions,
                                    bool trackAsMenu) {
    const uint16_t id = nextId();
    BitWriter characters;
    for (const ButtonRecord& r : records) {
        // 0 and 1 both mean normal; `{}` in an aggregate gives 0.
        const bool blended = static_cast<uint8_t>(r.blendMode) > static_cast<uint8_t>(swf::BlendMode::Normal);
        characters.u8((r.states & 0x0F) | (r.filters.empty() ? 0 : 0x10) | (blended ? 0x20 : 0));
        characters.u16(r.characterId);
        characters.u16(r.depth);
        writeMatrix(characters, rawFromPixels(r.transform));
        writeColorTransform(characters, r.colorTransform);
        if (!r.filters.empty()) writeFilters(characters, r.filters);
        if (blended) characters.u8(static_cast<uint32_t>(r.blendMode));
    }
    characters.u8(0);
    const QByteArray characterBytes = characters.take();

    BitWriter out;
    out.u16(id);
    out.u8(trackAsMenu ? 1 : 0);
    // The offset counts from the offset field itself to the first condition action.
    out.u16(actions.empty() ? 0 : static_cast<uint32_t>(2 + characterBytes.size()));
    out.bytes(characterBytes);
    for (size_t i = 0; i < actions.size(); ++i) {
        const ButtonAction& a = actions[i];
        BitWriter body;
        body.u8(a.conditions & 0xFF);
        body.u8(a.conditions >> 8);
        switch (a.kind) {
        case ButtonAction::Stop: body.u8(0x07); break;
        case ButtonAction::Play: body.u8(0x06); break;
        case ButtonAction::GotoFrame: actionGotoFrame(body, a.frame); break;
        case ButtonAction::GotoLabel: actionGotoLabel(body, a.label); break;
        case ButtonAction::Script: body.bytes(actionBytes(a.script.bytes())); break;
        }
        body.u8(0);
        const QByteArray bytes = body.take();
        out.u16(i + 1 == actions.size() ? 0 : static_cast<uint32_t>(bytes.size() + 2));
        out.bytes(bytes);
    }
    appendTag(kDefineButton2, out.take());
    return id;
}

namespace {
QByteArray losslessBody(uint16_t id, const QImage& source, bool withAlpha) {
    const QImage image = source.convertToFormat(withAlpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    QByteArray pixels;
    pixels.reserve(image.width() * image.height() * 4);
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            pixels.append(static_cast<char>(withAlpha ? qAlpha(p) : 0xFF));
            pixels.append(static_cast<char>(qRed(p)));
            pixels.append(static_cast<char>(qGreen(p)));
            pixels.append(static_cast<char>(qBlue(p)));
        }
    }
    BitWriter out;
    out.u16(id);
    out.u8(5);  // 32 bits per pixel
    out.u16(static_cast<uint32_t>(image.width()));
    out.u16(static_cast<uint32_t>(image.height()));
    out.bytes(zlibCompress(pixels));
    return out.take();
}
}  // namespace

uint16_t MovieWriter::defineBitsLossless(const QImage& image) {
    const uint16_t id = nextId();
    appendTag(kDefineBitsLossless, losslessBody(id, image, false), true);
    return id;
}

uint16_t MovieWriter::defineBitsLossless2(const QImage& image) {
    const uint16_t id = nextId();
    appendTag(kDefineBitsLossless2, losslessBody(id, image, true), true);
    return id;
}

uint16_t MovieWriter::defineBitsJpeg2(const QImage& image, int quality) {
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    if (!writer.write(image.convertToFormat(QImage::Format_RGB32)))
        throw std::runtime_error("JPEG encoding failed: " + writer.errorString().toStdString());
    const uint16_t id = nextId();
    BitWriter out;
    out.u16(id);
    out.bytes(jpeg);
    appendTag(kDefineBitsJpeg2, out.take(), true);
    return id;
}

uint16_t MovieWriter::defineBitmapShape(uint16_t bitmapId, QSize size, bool smoothed) {
    QPainterPath rect;
    rect.addRect(QRectF(QPointF(0, 0), QSizeF(size)));
    return defineShape(rect, FillStyle::bitmap(bitmapId, {}, false, smoothed));
}

uint16_t MovieWriter::defineFont2(const QFont& sourceFont, const QString& characters) {
    QFont font = sourceFont;
    font.setPixelSize(kFontEmUnits);  // outlines straight in em units
    const QFontMetricsF metrics(font);
    FontData data;
    data.id = nextId();
    for (QChar ch : characters)
        if (!data.characters.contains(ch)) data.characters.append(ch);
    data.ascent = static_cast<int>(std::lround(metrics.ascent()));
    data.descent = static_cast<int>(std::lround(metrics.descent()));

    std::vector<QByteArray> glyphs;
    std::vector<QRect> bounds;
    for (QChar ch : data.characters) {
        QPainterPath outline;
        outline.addText(0, 0, font, QString(ch));
        BitWriter shape;
        shape.ub(1, 4);
        shape.ub(0, 4);
        EdgeEncoder edges(shape, 1, 0, 1.0);
        bool first = true;
        for (const Subpath& sub : toSubpaths(outline, true)) {
            StyleChange sc;
            if (first) sc.fill0 = 1, first = false;
            edges.styleChange(sub.start, sc);
            for (const Segment& s : sub.segments) edges.segment(s, false);
        }
        edges.end();
        glyphs.push_back(shape.take());
        bounds.push_back(outline.controlPointRect().toAlignedRect());
        data.advances.push_back(static_cast<int>(std::lround(metrics.horizontalAdvance(ch))));
    }

    const size_t count = glyphs.size();
    size_t glyphBytes = 0;
    for (const QByteArray& g : glyphs) glyphBytes += static_cast<size_t>(g.size());
    const bool wideOffsets = 2 * (count + 1) + glyphBytes > 0xFFFF;
    const size_t offsetSize = wideOffsets ? 4 : 2;

    BitWriter out;
    out.u16(data.id);
    uint8_t flags = 0x80 | 0x04;  // layout, wide codes
    if (wideOffsets) flags |= 0x08;
    if (sourceFont.italic()) flags |= 0x02;
    if (sourceFont.bold()) flags |= 0x01;
    out.u8(flags);
    out.u8(1);  // Latin
    const QByteArray name = sourceFont.family().toUtf8().left(255);
    out.u8(static_cast<uint32_t>(name.size()));
    out.bytes(name);
    out.u16(static_cast<uint32_t>(count));
    size_t offset = offsetSize * (count + 1);
    auto writeOffset = [&](size_t value) {
        if (wideOffsets)
            out.u32(static_cast<uint32_t>(value));
        else
            out.u16(static_cast<uint32_t>(value));
    };
    for (const QByteArray& g : glyphs) {
        writeOffset(offset);
        offset += static_cast<size_t>(g.size());
    }
    writeOffset(offset);  // the code table follows the glyphs
    for (const QByteArray& g : glyphs) out.bytes(g);
    for (QChar ch : data.characters) out.u16(ch.unicode());
    out.u16(static_cast<uint32_t>(data.ascent));
    out.u16(static_cast<uint32_t>(data.descent));
    out.u16(static_cast<uint32_t>(static_cast<uint16_t>(std::lround(metrics.leading()))));
    for (int advance : data.advances) out.u16(static_cast<uint32_t>(static_cast<uint16_t>(advance)));
    for (const QRect& r : bounds) writeRect(out, r);
    out.u16(0);  // no kerning pairs
    appendTag(kDefineFont2, out.take());
    fonts_.push_back(std::move(data));
    return fonts_.back().id;
}

uint16_t MovieWriter::defineText(uint16_t fontId, const QString& text, double pixelHeight, const QColor& color,
                                 QPointF origin) {
    const auto font = std::find_if(fonts_.begin(), fonts_.end(), [&](const FontData& f) { return f.id == fontId; });
    if (font == fonts_.end()) throw std::invalid_argument("defineText: unknown font");
    const int32_t heightTwips = toTwips(pixelHeight);
    std::vector<std::pair<uint32_t, int32_t>> entries;  // glyph index, advance in twips
    int64_t width = 0;
    for (QChar ch : text) {
        const qsizetype index = font->characters.indexOf(ch);
        if (index < 0) continue;  // not in the font: left out
        const int32_t advance = static_cast<int32_t>(
            std::lround(static_cast<double>(font->advances[static_cast<size_t>(index)]) * heightTwips / kFontEmUnits));
        entries.emplace_back(static_cast<uint32_t>(index), advance);
        width += advance;
    }
    int glyphBits = 1, advanceBits = 1;
    for (const auto& [index, advance] : entries) {
        glyphBits = std::max(glyphBits, unsignedBits(index));
        advanceBits = std::max(advanceBits, signedBits(advance));
    }

    const bool alpha = colorNeedsAlpha(color);
    const uint16_t id = nextId();
    BitWriter out;
    out.u16(id);
    const int32_t x = toTwips(origin.x()), y = toTwips(origin.y());
    const int32_t ascent = static_cast<int32_t>(static_cast<int64_t>(font->ascent) * heightTwips / kFontEmUnits);
    const int32_t descent = static_cast<int32_t>(static_cast<int64_t>(font->descent) * heightTwips / kFontEmUnits);
    writeRect(out, QRect(x, y - ascent, static_cast<int>(std::max<int64_t>(width, 1)), ascent + descent));
    writeMatrix(out, {});
    out.u8(static_cast<uint32_t>(glyphBits));
    out.u8(static_cast<uint32_t>(advanceBits));
    int64_t pen = x;
    for (size_t start = 0; start < entries.size() || start == 0; start += 255) {
        const size_t count = std::min<size_t>(255, entries.size() - start);
        const bool firstRecord = start == 0;
        out.ub(1, 1);
        out.ub(0, 3);
        out.ub(firstRecord ? 1 : 0, 1);  // font
        out.ub(firstRecord ? 1 : 0, 1);  // colour
        out.ub(firstRecord ? 1 : 0, 1);  // y offset
        out.ub(1, 1);                    // x offset
        if (firstRecord) {
            out.u16(fontId);
            writeColor(out, color, alpha);
        }
        out.u16(static_cast<uint32_t>(static_cast<uint16_t>(pen)));
        if (firstRecord) out.u16(static_cast<uint32_t>(static_cast<uint16_t>(y)));
        if (firstRecord) out.u16(static_cast<uint32_t>(heightTwips));
        out.u8(static_cast<uint32_t>(count));
        for (size_t i = start; i < start + count; ++i) {
            out.ub(entries[i].first, glyphBits);
            out.sb(entries[i].second, advanceBits);
            pen += entries[i].second;
        }
        out.align();
        if (entries.empty()) break;
    }
    out.u8(0);
    appendTag(alpha ? kDefineText2 : kDefineText, out.take());
    return id;
}

uint16_t MovieWriter::defineTextShape(const QString& text, const QFont& font, QPointF origin, const FillStyle& fill) {
    QPainterPath path;
    path.addText(origin, font, text);
    return defineShape(path, fill);
}

QByteArray MovieWriter::finish() const {
    BitWriter body;
    writeRect(body, QRect(0, 0, toTwips(stage_.width()), toTwips(stage_.height())));
    body.u16(static_cast<uint32_t>(std::clamp<long>(std::lround(frameRate_ * 256), 1, 0xFFFF)));
    body.u16(frames_);
    if (version_ >= 8) {
        body.u16(static_cast<uint32_t>(kFileAttributes << 6) | 4);
        body.u32(0);
    }
    body.bytes(tags_);
    body.u16(0);  // End
    const QByteArray bodyBytes = body.take();

    BitWriter header;
    header.bytes(compressed_ ? "CWS" : "FWS");
    header.u8(version_);
    header.u32(static_cast<uint32_t>(8 + bodyBytes.size()));
    QByteArray file = header.take();
    file.append(compressed_ ? zlibCompress(bodyBytes) : bodyBytes);
    return file;
}

bool MovieWriter::save(const QString& path) const {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    const QByteArray bytes = finish();
    return file.write(bytes) == bytes.size() && file.flush();
}

}  // namespace swf::writer
