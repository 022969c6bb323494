// Bitmap characters: JPEG (with shared tables and separate alpha), PNG and GIF inside
// DefineBitsJPEG2+, and the zlib-compressed lossless formats.
#include <QBuffer>
#include <QImageReader>
#include <algorithm>

#include "swf/parse_internal.h"

namespace swf::detail {
namespace {

// Flash files often carry an extra end-of-image/start-of-image pair (FF D9 FF D8) at the
// start of the data or between the tables and the image; a decoder stops at the first EOI.
// Markers cannot occur inside entropy-coded data (FF is stuffed there), so removing every
// such pair is safe.
QByteArray cleanJpeg(std::span<const uint8_t> tables, std::span<const uint8_t> data) {
    QByteArray joined;
    joined.reserve(qsizetype(tables.size() + data.size()));
    joined.append(reinterpret_cast<const char*>(tables.data()), qsizetype(tables.size()));
    joined.append(reinterpret_cast<const char*>(data.data()), qsizetype(data.size()));
    QByteArray out;
    out.reserve(joined.size());
    for (qsizetype i = 0; i < joined.size(); ++i) {
        if (i + 3 < joined.size() && uint8_t(joined[i]) == 0xFF && uint8_t(joined[i + 1]) == 0xD9 &&
            uint8_t(joined[i + 2]) == 0xFF && uint8_t(joined[i + 3]) == 0xD8) {
            i += 3;
            continue;
        }
        out.append(joined[i]);
    }
    return out;
}

QImage decodeImage(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    QSize size = reader.size();
    if (!size.isValid() || size.isEmpty() || qint64(size.width()) * size.height() > kMaxBitmapPixels) return {};
    QImage image;
    if (!reader.read(&image)) return {};
    return image;
}

}  // namespace

BitmapDef decodeJpeg(std::span<const uint8_t> jpegTables, std::span<const uint8_t> data,
                     std::span<const uint8_t> zlibAlpha) {
    BitmapDef bitmap;
    // An undecodable picture leaves an empty bitmap: the fills that use it draw nothing.
    QImage image = decodeImage(cleanJpeg(jpegTables, data));
    if (image.isNull()) return bitmap;
    if (!zlibAlpha.empty()) {
        size_t pixels = size_t(image.width()) * image.height();
        std::vector<uint8_t> alpha = inflateBounded(zlibAlpha, pixels);
        if (alpha.size() == pixels) {
            image = image.convertToFormat(QImage::Format_ARGB32);
            size_t i = 0;
            for (int y = 0; y < image.height(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
                for (int x = 0; x < image.width(); ++x, ++i) {
                    // The colour channels are stored already multiplied by alpha.
                    int a = alpha[i];
                    QRgb p = line[x];
                    line[x] = qRgba(std::min(qRed(p), a), std::min(qGreen(p), a), std::min(qBlue(p), a), a);
                }
            }
            image.reinterpretAsFormat(QImage::Format_ARGB32_Premultiplied);
        }
    }
    bitmap.image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return bitmap;
}

BitmapDef decodeLossless(ByteReader& r, bool withAlpha) {
    uint8_t format = r.u8();
    int width = r.u16(), height = r.u16();
    BitmapDef bitmap;
    if (width == 0 || height == 0) return bitmap;
    if (int64_t(width) * height > kMaxBitmapPixels) throw MalformedMovie("bitmap too large");
    int tableSize = format == 3 ? r.u8() + 1 : 0;
    size_t stride = 0, tableBytes = 0;
    switch (format) {
        case 3:
            stride = (size_t(width) + 3) & ~size_t(3);
            tableBytes = size_t(tableSize) * (withAlpha ? 4 : 3);
            break;
        case 4: stride = (size_t(width) * 2 + 3) & ~size_t(3); break;
        case 5: stride = size_t(width) * 4; break;
        default: throw MalformedMovie("unknown lossless format");
    }
    size_t needed = tableBytes + stride * height;
    std::vector<uint8_t> pixels = inflateBounded(r.rest(), needed);
    pixels.resize(needed, 0);  // a short stream leaves the rest transparent or black

    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) throw MalformedMovie("bitmap allocation failed");
    auto premultiplied = [](int a, int r, int g, int b) {
        // Stored colours are premultiplied already; clamp so a bad file cannot exceed alpha.
        return qRgba(std::min(r, a), std::min(g, a), std::min(b, a), a);
    };
    std::vector<QRgb> table(static_cast<size_t>(tableSize));
    for (int i = 0; i < tableSize; ++i) {
        const uint8_t* p = pixels.data() + size_t(i) * (withAlpha ? 4 : 3);
        table[size_t(i)] = withAlpha ? premultiplied(p[3], p[0], p[1], p[2]) : qRgb(p[0], p[1], p[2]);
    }
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = pixels.data() + tableBytes + stride * size_t(y);
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            if (format == 3) {
                size_t index = row[x];
                out[x] = index < table.size() ? table[index] : qRgba(0, 0, 0, 0);
            } else if (format == 4) {
                unsigned v = unsigned(row[2 * x]) << 8 | row[2 * x + 1];
                int r5 = (v >> 10) & 31, g5 = (v >> 5) & 31, b5 = v & 31;
                out[x] = qRgb(r5 * 255 / 31, g5 * 255 / 31, b5 * 255 / 31);
            } else {
                const uint8_t* p = row + 4 * size_t(x);
                out[x] = withAlpha ? premultiplied(p[0], p[1], p[2], p[3]) : qRgb(p[1], p[2], p[3]);
            }
        }
    }
    bitmap.image = std::move(image);
    return bitmap;
}

}  // namespace swf::detail
