#pragma once
// A small, independent reader of SWF files for the tests: the header, the tag stream,
// and the structures the writer produces, decoded bit by bit with bounds checks. Any
// malformation throws std::runtime_error, so a test that decodes a file checks it too.
#include <QByteArray>
#include <QColor>
#include <QPainterPath>
#include <QRect>
#include <QString>
#include <QTransform>

#include <cstdint>
#include <optional>
#include <vector>

namespace swfcheck {

class BitReader {
public:
    explicit BitReader(const QByteArray& data, qsizetype offset = 0, qsizetype end = -1);
    uint32_t ub(int bits);
    int32_t sb(int bits);
    void align() {
        if (bit_ != 0) bit_ = 0, ++pos_;
    }
    uint8_t u8();
    uint16_t u16();
    uint32_t u32();
    QByteArray bytes(qsizetype count);
    QString string();  // zero-terminated
    qsizetype position() const { return pos_; }
    qsizetype remaining() const { return end_ - pos_; }
    QRect rect();      // twips, as stored (left, top, width, height)

private:
    const QByteArray& data_;
    qsizetype pos_;
    qsizetype end_;
    int bit_ = 0;
};

struct Tag {
    uint16_t code = 0;
    bool longHeader = false;
    QByteArray body;
};

struct Movie {
    QByteArray signature;  // "FWS" or "CWS"
    uint8_t version = 0;
    uint32_t fileLength = 0;
    QRect stageTwips;
    double frameRate = 0;
    uint16_t frameCount = 0;
    std::vector<Tag> tags;  // up to and including End

    std::vector<const Tag*> tagsWithCode(uint16_t code) const;
    int showFrames() const;
};

QByteArray inflate(const QByteArray& compressed);
Movie parseMovie(const QByteArray& file);
// The tags from `offset` up to the End tag, which must close `data` exactly.
std::vector<Tag> parseTags(const QByteArray& data, qsizetype offset);

struct Matrix {
    double a = 1, b = 0, c = 0, d = 1;
    int32_t tx = 0, ty = 0;
    QTransform pixels() const { return QTransform(a, b, c, d, tx / 20.0, ty / 20.0); }
};
Matrix readMatrix(BitReader& in);

struct ColorTransform {
    bool hasMult = false, hasAdd = false;
    int mult[4] = {256, 256, 256, 256};
    int add[4] = {0, 0, 0, 0};
};
ColorTransform readColorTransform(BitReader& in, bool withAlpha);

struct FillInfo {
    uint8_t type = 0;
    QColor color;
    Matrix matrix;
    std::vector<std::pair<uint8_t, QColor>> stops;
    uint8_t spread = 0;
    uint16_t bitmapId = 0;
};

struct ShapeEdges {
    QPainterPath path;  // pixels; every edge, a new subpath at every move
    int straightEdges = 0;
    int curvedEdges = 0;
    int moves = 0;
    std::vector<uint32_t> fill0Used;
    std::vector<uint32_t> lineUsed;
    bool subpathsClosed = true;  // every subpath ends where it began
};
// Shape records up to the end record; `unitsPerPixel` is 20 for shapes (twips).
ShapeEdges readShapeRecords(BitReader& in, int fillBits, int lineBits, double unitsPerPixel = 20);

struct Shape {
    int version = 0;  // 1 to 4
    uint16_t id = 0;
    QRect boundsTwips;
    std::vector<FillInfo> fills;
    std::vector<std::pair<uint16_t, QColor>> lines;  // width in twips, colour
    ShapeEdges edges;
};
Shape decodeShape(const Tag& tag);

struct PlaceObject {
    uint8_t flags = 0;
    uint16_t depth = 0;
    std::optional<uint16_t> characterId;
    std::optional<Matrix> matrix;
    std::optional<ColorTransform> colorTransform;
    std::optional<uint16_t> ratio;
    QString name;
    std::optional<uint16_t> clipDepth;
};
PlaceObject decodePlaceObject2(const Tag& tag);

struct Action {
    uint8_t code = 0;
    QByteArray payload;
};
// Action records up to the end flag.
std::vector<Action> readActions(BitReader& in);

}  // namespace swfcheck
