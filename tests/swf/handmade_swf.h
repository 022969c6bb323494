#pragma once
// Builds small SWF files byte by byte, for tags the writer does not produce (DefineFont,
// DefineBitsJPEG4) and for deliberately broken files.
#include <QByteArray>
#include <QRect>
#include <cstdint>
#include <zlib.h>

namespace swf::test {

class Bits {
public:
    void ub(uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            current_ = uint8_t(current_ << 1 | ((value >> i) & 1));
            if (++used_ == 8) flush();
        }
    }
    void sb(int32_t value, int count) { ub(uint32_t(value), count); }
    QByteArray bytes() {
        if (used_) {
            current_ = uint8_t(current_ << (8 - used_));
            flush();
        }
        return out_;
    }

private:
    void flush() {
        out_.append(char(current_));
        current_ = 0;
        used_ = 0;
    }
    QByteArray out_;
    uint8_t current_ = 0;
    int used_ = 0;
};

inline QByteArray u16(int v) {
    QByteArray out;
    out.append(char(v & 0xFF));
    out.append(char((v >> 8) & 0xFF));
    return out;
}
inline QByteArray u32(uint32_t v) {
    QByteArray out;
    for (int i = 0; i < 4; ++i) out.append(char((v >> (8 * i)) & 0xFF));
    return out;
}

// RECT in twips with 16-bit fields.
inline QByteArray rect(int xmin, int xmax, int ymin, int ymax) {
    Bits b;
    b.ub(16, 5);
    for (int v : {xmin, xmax, ymin, ymax}) b.sb(v, 16);
    return b.bytes();
}

// MATRIX with translation only (twips).
inline QByteArray translate(int tx, int ty) {
    Bits b;
    b.ub(0, 1);
    b.ub(0, 1);
    b.ub(16, 5);
    b.sb(tx, 16);
    b.sb(ty, 16);
    return b.bytes();
}

inline QByteArray tag(int code, const QByteArray& body) {
    QByteArray out = u16(code << 6 | 0x3F);
    out += u32(uint32_t(body.size()));
    out += body;
    return out;
}

// A complete uncompressed file around `tags` (End tag added).
inline QByteArray movie(const QByteArray& tags, int widthPx, int heightPx, int version = 10, int frames = 1) {
    QByteArray body = rect(0, widthPx * 20, 0, heightPx * 20);
    body += u16(24 << 8);  // 24 fps
    body += u16(frames);
    body += tags;
    body += u16(0);
    QByteArray out("FWS");
    out += char(version);
    out += u32(uint32_t(body.size() + 8));
    out += body;
    return out;
}

inline QByteArray zlib(const QByteArray& raw) {
    uLongf size = compressBound(uLong(raw.size()));
    QByteArray out(qsizetype(size), 0);
    compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(raw.constData()),
             uLong(raw.size()));
    out.resize(qsizetype(size));
    return out;
}

// Shape records of a closed rectangle path in twips, drawn with fill1 = `fill` (fill bits
// 1 or 2) and no line; ends with the end record.
inline void rectRecords(Bits& b, int x0, int y0, int x1, int y1, int fillBits, int lineBits, int fill) {
    b.ub(fillBits, 4);
    b.ub(lineBits, 4);
    // style change: move to and fill1
    b.ub(0, 1);
    b.ub(0x04 | 0x01, 5);
    b.ub(16, 5);
    b.sb(x0, 16);
    b.sb(y0, 16);
    b.ub(uint32_t(fill), fillBits);
    auto line = [&](int dx, int dy) {
        b.ub(1, 1);  // edge
        b.ub(1, 1);  // straight
        b.ub(14, 4);  // 16 bits
        if (dx != 0 && dy != 0) {
            b.ub(1, 1);
            b.sb(dx, 16);
            b.sb(dy, 16);
        } else {
            b.ub(0, 1);
            b.ub(dy != 0 ? 1 : 0, 1);
            b.sb(dy != 0 ? dy : dx, 16);
        }
    };
    line(x1 - x0, 0);
    line(0, y1 - y0);
    line(x0 - x1, 0);
    line(0, y0 - y1);
    b.ub(0, 6);  // end record
}

// DefineShape (1) of a rectangle with one fill style given as raw FILLSTYLE bytes.
inline QByteArray shapeTag(int id, int x0, int y0, int x1, int y1, const QByteArray& fillStyle) {
    QByteArray body = u16(id) + rect(x0, x1, y0, y1);
    body += char(1);
    body += fillStyle;
    body += char(0);  // no line styles
    Bits b;
    rectRecords(b, x0, y0, x1, y1, 1, 0, 1);
    body += b.bytes();
    return tag(2, body);
}

inline QByteArray place2(int depth, int id, const QByteArray& matrix = translate(0, 0)) {
    return tag(26, QByteArray(1, char(0x02 | 0x04)) + u16(depth) + u16(id) + matrix);
}

inline QByteArray showFrame() { return tag(1, {}); }

}  // namespace swf::test
