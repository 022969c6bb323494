#include "swf_check.h"

#include <zlib.h>

#include <stdexcept>
#include <string>

namespace swfcheck {

namespace {
[[noreturn]] void fail(const std::string& what) { throw std::runtime_error(what); }
}  // namespace

BitReader::BitReader(const QByteArray& data, qsizetype offset, qsizetype end)
    : data_(data), pos_(offset), end_(end < 0 ? data.size() : end) {
    if (offset < 0 || offset > end_ || end_ > data.size()) fail("reader range outside the data");
}

uint32_t BitReader::ub(int bits) {
    if (bits < 0 || bits > 32) fail("bit field wider than 32 bits");
    uint32_t value = 0;
    for (int i = 0; i < bits; ++i) {
        if (pos_ >= end_) fail("bit field runs past the end");
        const uint8_t byte = static_cast<uint8_t>(data_[pos_]);
        value = (value << 1) | ((byte >> (7 - bit_)) & 1u);
        if (++bit_ == 8) bit_ = 0, ++pos_;
    }
    return value;
}

int32_t BitReader::sb(int bits) {
    if (bits == 0) return 0;
    const uint32_t raw = ub(bits);
    if (bits < 32 && (raw & (1u << (bits - 1)))) return static_cast<int32_t>(raw | (~0u << bits));
    return static_cast<int32_t>(raw);
}

uint8_t BitReader::u8() {
    align();
    if (pos_ >= end_) fail("byte past the end");
    return static_cast<uint8_t>(data_[pos_++]);
}

uint16_t BitReader::u16() {
    const uint16_t lo = u8();
    return static_cast<uint16_t>(lo | (u8() << 8));
}

uint32_t BitReader::u32() {
    const uint32_t lo = u16();
    return lo | (static_cast<uint32_t>(u16()) << 16);
}

QByteArray BitReader::bytes(qsizetype count) {
    align();
    if (count < 0 || count > end_ - pos_) fail("byte run past the end");
    QByteArray out = data_.mid(pos_, count);
    pos_ += count;
    return out;
}

QString BitReader::string() {
    align();
    const qsizetype zero = data_.indexOf('\0', pos_);
    if (zero < 0 || zero >= end_) fail("string without its terminator");
    const QString s = QString::fromUtf8(data_.mid(pos_, zero - pos_));
    pos_ = zero + 1;
    return s;
}

QRect BitReader::rect() {
    align();
    const int bits = static_cast<int>(ub(5));
    const int32_t xMin = sb(bits), xMax = sb(bits), yMin = sb(bits), yMax = sb(bits);
    align();
    return QRect(xMin, yMin, xMax - xMin, yMax - yMin);
}

std::vector<const Tag*> Movie::tagsWithCode(uint16_t code) const {
    std::vector<const Tag*> out;
    for (const Tag& t : tags)
        if (t.code == code) out.push_back(&t);
    return out;
}

int Movie::showFrames() const { return static_cast<int>(tagsWithCode(1).size()); }

QByteArray inflate(const QByteArray& compressed) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) fail("zlib init");
    QByteArray out;
    char buffer[16384];
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.constData()));
    stream.avail_in = static_cast<uInt>(compressed.size());
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        status = ::inflate(&stream, Z_NO_FLUSH);
        out.append(buffer, static_cast<qsizetype>(sizeof buffer - stream.avail_out));
        if (out.size() > (64 << 20)) break;
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END) fail("zlib stream is not complete");
    return out;
}

std::vector<Tag> parseTags(const QByteArray& data, qsizetype offset) {
    std::vector<Tag> tags;
    BitReader in(data, offset);
    for (;;) {
        const uint16_t header = in.u16();
        Tag tag;
        tag.code = header >> 6;
        uint32_t length = header & 0x3F;
        if (length == 0x3F) {
            length = in.u32();
            tag.longHeader = true;
        }
        tag.body = in.bytes(static_cast<qsizetype>(length));
        tags.push_back(tag);
        if (tag.code == 0) break;
    }
    if (in.remaining() != 0) fail("bytes after the End tag");
    return tags;
}

Movie parseMovie(const QByteArray& file) {
    if (file.size() < 8) fail("shorter than a header");
    Movie movie;
    movie.signature = file.left(3);
    movie.version = static_cast<uint8_t>(file[3]);
    BitReader header(file, 4, 8);
    movie.fileLength = header.u32();
    QByteArray body;
    if (movie.signature == "FWS")
        body = file;
    else if (movie.signature == "CWS")
        body = file.left(8) + inflate(file.mid(8));
    else
        fail("unknown signature");
    if (static_cast<uint32_t>(body.size()) != movie.fileLength) fail("file length in the header is wrong");
    BitReader in(body, 8);
    movie.stageTwips = in.rect();
    movie.frameRate = in.u16() / 256.0;
    movie.frameCount = in.u16();
    movie.tags = parseTags(body, in.position());
    return movie;
}

Matrix readMatrix(BitReader& in) {
    in.align();
    Matrix m;
    if (in.ub(1)) {
        const int bits = static_cast<int>(in.ub(5));
        m.a = in.sb(bits) / 65536.0;
        m.d = in.sb(bits) / 65536.0;
    }
    if (in.ub(1)) {
        const int bits = static_cast<int>(in.ub(5));
        m.b = in.sb(bits) / 65536.0;
        m.c = in.sb(bits) / 65536.0;
    }
    const int bits = static_cast<int>(in.ub(5));
    m.tx = in.sb(bits);
    m.ty = in.sb(bits);
    in.align();
    return m;
}

ColorTransform readColorTransform(BitReader& in, bool withAlpha) {
    in.align();
    ColorTransform ct;
    ct.hasAdd = in.ub(1);
    ct.hasMult = in.ub(1);
    const int bits = static_cast<int>(in.ub(4));
    const int channels = withAlpha ? 4 : 3;
    if (ct.hasMult)
        for (int i = 0; i < channels; ++i) ct.mult[i] = in.sb(bits);
    if (ct.hasAdd)
        for (int i = 0; i < channels; ++i) ct.add[i] = in.sb(bits);
    in.align();
    return ct;
}

namespace {

QColor readColor(BitReader& in, bool alpha) {
    const int r = in.u8(), g = in.u8(), b = in.u8();
    return QColor(r, g, b, alpha ? in.u8() : 255);
}

uint32_t readCount(BitReader& in, int version) {
    uint32_t count = in.u8();
    if (count == 0xFF && version >= 2) count = in.u16();
    return count;
}

FillInfo readFill(BitReader& in, int version) {
    FillInfo f;
    f.type = in.u8();
    if (f.type == 0x00) {
        f.color = readColor(in, version >= 3);
    } else if (f.type == 0x10 || f.type == 0x12 || f.type == 0x13) {
        f.matrix = readMatrix(in);
        f.spread = static_cast<uint8_t>(in.ub(2));
        in.ub(2);
        const uint32_t count = in.ub(4);
        if (count == 0) fail("gradient without stops");
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t ratio = in.u8();
            f.stops.emplace_back(ratio, readColor(in, version >= 3));
        }
        if (f.type == 0x13) in.u16();
    } else if (f.type >= 0x40 && f.type <= 0x43) {
        f.bitmapId = in.u16();
        f.matrix = readMatrix(in);
    } else {
        fail("unknown fill style type " + std::to_string(f.type));
    }
    return f;
}

}  // namespace

ShapeEdges readShapeRecords(BitReader& in, int fillBits, int lineBits, double unitsPerPixel) {
    ShapeEdges edges;
    QPoint pen, subpathStart;
    bool open = false;
    auto closeCheck = [&] {
        if (open && pen != subpathStart) edges.subpathsClosed = false;
    };
    auto toPixels = [&](QPoint p) { return QPointF(p.x() / unitsPerPixel, p.y() / unitsPerPixel); };
    for (;;) {
        if (in.ub(1) == 0) {
            const uint32_t flags = in.ub(5);
            if (flags == 0) break;
            if (flags & 0x10) fail("new style arrays are not expected");
            if (flags & 0x01) {
                const int bits = static_cast<int>(in.ub(5));
                const int x = in.sb(bits), y = in.sb(bits);
                closeCheck();
                pen = subpathStart = QPoint(x, y);
                edges.path.moveTo(toPixels(pen));
                open = true;
                ++edges.moves;
            }
            if (flags & 0x02) edges.fill0Used.push_back(in.ub(fillBits));
            if (flags & 0x04) in.ub(fillBits);
            if (flags & 0x08) edges.lineUsed.push_back(in.ub(lineBits));
        } else if (in.ub(1) == 1) {
            const int bits = static_cast<int>(in.ub(4)) + 2;
            QPoint delta;
            if (in.ub(1)) {
                delta.setX(in.sb(bits));
                delta.setY(in.sb(bits));
            } else if (in.ub(1)) {
                delta.setY(in.sb(bits));
            } else {
                delta.setX(in.sb(bits));
            }
            pen += delta;
            edges.path.lineTo(toPixels(pen));
            ++edges.straightEdges;
        } else {
            const int bits = static_cast<int>(in.ub(4)) + 2;
            const int controlX = in.sb(bits), controlY = in.sb(bits);  // in this order
            const int anchorX = in.sb(bits), anchorY = in.sb(bits);
            const QPoint control = pen + QPoint(controlX, controlY);
            pen = control + QPoint(anchorX, anchorY);
            edges.path.quadTo(toPixels(control), toPixels(pen));
            ++edges.curvedEdges;
        }
    }
    closeCheck();
    in.align();
    return edges;
}

Shape decodeShape(const Tag& tag) {
    Shape shape;
    switch (tag.code) {
    case 2: shape.version = 1; break;
    case 22: shape.version = 2; break;
    case 32: shape.version = 3; break;
    case 83: shape.version = 4; break;
    default: fail("not a shape tag");
    }
    BitReader in(tag.body);
    shape.id = in.u16();
    shape.boundsTwips = in.rect();
    if (shape.version == 4) {
        in.rect();
        in.u8();
    }
    const uint32_t fills = readCount(in, shape.version);
    for (uint32_t i = 0; i < fills; ++i) shape.fills.push_back(readFill(in, shape.version));
    const uint32_t lines = readCount(in, shape.version);
    for (uint32_t i = 0; i < lines; ++i) {
        const uint16_t width = in.u16();
        if (shape.version == 4) {
            in.ub(2);
            const uint32_t join = in.ub(2);
            const bool hasFill = in.ub(1);
            in.ub(3);
            in.ub(5);
            in.ub(1);
            in.ub(2);
            if (join == 2) in.u16();
            if (hasFill) {
                readFill(in, shape.version);
                shape.lines.emplace_back(width, QColor());
            } else {
                shape.lines.emplace_back(width, readColor(in, true));
            }
        } else {
            shape.lines.emplace_back(width, readColor(in, shape.version >= 3));
        }
    }
    in.align();
    const int fillBits = static_cast<int>(in.ub(4));
    const int lineBits = static_cast<int>(in.ub(4));
    shape.edges = readShapeRecords(in, fillBits, lineBits);
    if (in.remaining() != 0) fail("bytes after the shape records");
    for (uint32_t f : shape.edges.fill0Used)
        if (f > shape.fills.size()) fail("fill style index out of range");
    for (uint32_t l : shape.edges.lineUsed)
        if (l > shape.lines.size()) fail("line style index out of range");
    return shape;
}

PlaceObject decodePlaceObject2(const Tag& tag) {
    if (tag.code != 26) fail("not PlaceObject2");
    BitReader in(tag.body);
    PlaceObject p;
    p.flags = in.u8();
    if (p.flags & 0x80) fail("clip actions are not expected");
    p.depth = in.u16();
    if (p.flags & 0x02) p.characterId = in.u16();
    if (p.flags & 0x04) p.matrix = readMatrix(in);
    if (p.flags & 0x08) p.colorTransform = readColorTransform(in, true);
    if (p.flags & 0x10) p.ratio = in.u16();
    if (p.flags & 0x20) p.name = in.string();
    if (p.flags & 0x40) p.clipDepth = in.u16();
    if (in.remaining() != 0) fail("bytes after PlaceObject2");
    return p;
}

std::vector<Action> readActions(BitReader& in) {
    std::vector<Action> actions;
    for (;;) {
        Action a;
        a.code = in.u8();
        if (a.code == 0) break;
        if (a.code >= 0x80) a.payload = in.bytes(in.u16());
        actions.push_back(a);
    }
    return actions;
}

}  // namespace swfcheck
