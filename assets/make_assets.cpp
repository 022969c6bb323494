// make_assets: draws the reader's background picture and its icon.
//   make_assets OUTPUT_FOLDER
// writes background.jpg (progressive JPEG, 1000 x 768), talvorin.ico (96, 72, 64, 48,
// 32 and 16 pixels, each in 24-bit and in 8-bit colour) and talvorin.png (96 pixels,
// for desktop entries). Deterministic: the same build draws the same files.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <vector>

namespace {

constexpr int kWidth = 1000;
constexpr int kHeight = 768;
constexpr int kBandBottom = 70;   // the buttons stand in y 11 to 63
constexpr int kPageTop = 72;      // the page view: y 72 to 697
constexpr int kPageBottom = 697;
constexpr qint64 kTargetJpegBytes = 46 * 1024;

const QColor kNavy(0x1F, 0x2D, 0x3A);       // the buttons' own background colour
const QColor kNavyLight(0x2A, 0x3E, 0x50);
const QColor kBandTopColour(0x22, 0x33, 0x42);    // the band passes kNavy where the buttons stand
const QColor kBandBottomColour(0x1C, 0x28, 0x33);
const QColor kGold(0xF2, 0xC9, 0x6B);
const QColor kParchment(0xE9, 0xE1, 0xCF);

// A soft grain so the picture does not look flat (and gives the JPEG some substance).
void addGrain(QImage& image, QRect area, int strength, uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> noise(-strength, strength);
    for (int y = area.top(); y <= area.bottom(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = area.left(); x <= area.right(); ++x) {
            const int n = noise(random);
            const QRgb p = line[x];
            line[x] = qRgb(std::clamp(qRed(p) + n, 0, 255), std::clamp(qGreen(p) + n, 0, 255),
                           std::clamp(qBlue(p) + n, 0, 255));
        }
    }
}

QImage drawBackground() {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // The button band: deep blue with faint waves, close to the buttons' own colour so
    // that their opaque windows sit quietly on it.
    QLinearGradient band(0, 0, 0, kBandBottom);
    band.setColorAt(0, kBandTopColour);
    band.setColorAt(1, kBandBottomColour);
    p.fillRect(QRect(0, 0, kWidth, kBandBottom), band);
    p.setPen(QPen(QColor(255, 255, 255, 14), 1.2));
    for (int wave = 0; wave < 6; ++wave) {
        QPainterPath path;
        const double y0 = 8 + wave * 10;
        path.moveTo(0, y0);
        for (int x = 0; x <= kWidth; x += 20)
            path.lineTo(x, y0 + 2.5 * std::sin((x + wave * 37) / 55.0));
        p.drawPath(path);
    }
    // A gold rule between the band and the page.
    p.fillRect(QRect(0, kBandBottom, kWidth, 2), kGold);

    // The page area (the page view covers it; a calm paper tone in case it shows).
    QLinearGradient page(0, kPageTop, 0, kPageBottom);
    page.setColorAt(0, QColor(0xF4, 0xEE, 0xE0));
    page.setColorAt(1, QColor(0xE6, 0xDC, 0xC6));
    p.fillRect(QRect(0, kPageTop, kWidth, kPageBottom - kPageTop), page);

    // The foot: parchment with a gold rule and a row of small lamp posts on the left.
    p.fillRect(QRect(0, kPageBottom, kWidth, kHeight - kPageBottom), kParchment);
    p.fillRect(QRect(0, kPageBottom, kWidth, 2), QColor(0xB8, 0x9B, 0x5E));
    QLinearGradient water(0, kHeight - 22, 0, kHeight);
    water.setColorAt(0, QColor(0xC9, 0xD3, 0xD6));
    water.setColorAt(1, QColor(0xAE, 0xBC, 0xC2));
    p.fillRect(QRect(0, kHeight - 22, kWidth, 22), water);
    for (int i = 0; i < 9; ++i) {
        const double x = 40 + i * 90;
        QRadialGradient glow(QPointF(x, kPageBottom + 22), 22);
        glow.setColorAt(0, QColor(0xFF, 0xE2, 0x9A, 170));
        glow.setColorAt(1, QColor(0xFF, 0xE2, 0x9A, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawEllipse(QPointF(x, kPageBottom + 22), 22, 22);
        p.setBrush(QColor(0x4A, 0x44, 0x3A));
        p.drawRect(QRectF(x - 1.5, kPageBottom + 26, 3, kHeight - 22 - kPageBottom - 26));
        p.setBrush(QColor(0xFF, 0xD9, 0x80));
        p.drawRect(QRectF(x - 4, kPageBottom + 17, 8, 9));
        // Its reflection.
        p.setBrush(QColor(0xFF, 0xE2, 0x9A, 90));
        p.drawRect(QRectF(x - 5, kHeight - 16, 10, 2));
        p.drawRect(QRectF(x - 3, kHeight - 10, 6, 2));
    }
    p.end();
    addGrain(image, QRect(0, 0, kWidth, kBandBottom), 3, 7);
    addGrain(image, QRect(0, kPageTop, kWidth, kPageBottom - kPageTop), 4, 11);
    addGrain(image, QRect(0, kPageBottom + 2, kWidth, kHeight - kPageBottom - 2), 3, 13);
    return image;
}

QByteArray encodeJpeg(const QImage& image, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(true);
    writer.setOptimizedWrite(true);
    if (!writer.write(image)) return {};
    return bytes;
}

// The highest quality whose file stays within the size aimed at.
QByteArray encodeBackground(const QImage& image) {
    QByteArray best = encodeJpeg(image, 5);
    for (int quality = 6; quality <= 95; ++quality) {
        QByteArray candidate = encodeJpeg(image, quality);
        if (candidate.size() > kTargetJpegBytes) break;
        best = std::move(candidate);
    }
    return best;
}

// The icon: a lantern glowing on a deep blue rounded square.
QImage drawIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 96.0, size / 96.0);
    QLinearGradient back(0, 0, 0, 96);
    back.setColorAt(0, kNavyLight);
    back.setColorAt(1, kNavy);
    p.setPen(QPen(kGold, 3));
    p.setBrush(back);
    p.drawRoundedRect(QRectF(3, 3, 90, 90), 18, 18);
    QRadialGradient glow(QPointF(48, 50), 34);
    glow.setColorAt(0, QColor(0xFF, 0xE2, 0x9A, 200));
    glow.setColorAt(1, QColor(0xFF, 0xE2, 0x9A, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(QPointF(48, 50), 34, 34);
    // Roof, glass and base of the lantern.
    p.setBrush(kGold);
    QPainterPath roof;
    roof.moveTo(30, 34);
    roof.lineTo(48, 18);
    roof.lineTo(66, 34);
    roof.closeSubpath();
    p.drawPath(roof);
    p.setBrush(QColor(0xFF, 0xD9, 0x80));
    p.setPen(QPen(QColor(0x14, 0x1E, 0x27), 4));
    p.drawRect(QRectF(35, 36, 26, 32));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xFF, 0xFF, 0xE8));
    p.drawEllipse(QPointF(48, 54), 5, 8);
    p.setBrush(kGold);
    p.drawRect(QRectF(30, 70, 36, 6));
    p.end();
    return image;
}

void put16(QByteArray& out, uint32_t v) {
    out.append(static_cast<char>(v & 0xFF));
    out.append(static_cast<char>((v >> 8) & 0xFF));
}
void put32(QByteArray& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// The AND mask: 1 where the icon is transparent; rows bottom-up, padded to 4 bytes.
QByteArray andMask(const QImage& icon) {
    const int stride = ((icon.width() + 31) / 32) * 4;
    QByteArray mask;
    for (int y = icon.height() - 1; y >= 0; --y) {
        QByteArray row(stride, '\0');
        for (int x = 0; x < icon.width(); ++x)
            if (qAlpha(icon.pixel(x, y)) < 128) row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
        mask.append(row);
    }
    return mask;
}

// Opaque colour of a pixel: partly transparent edges are blended onto the navy so that
// they do not fringe on dark or light desktops alike.
QRgb flatten(QRgb p) {
    const int a = qAlpha(p);
    auto mix = [&](int c, int bg) { return (c * a + bg * (255 - a)) / 255; };
    if (a < 128) return qRgb(0, 0, 0);
    return qRgb(mix(qRed(p), kNavy.red()), mix(qGreen(p), kNavy.green()), mix(qBlue(p), kNavy.blue()));
}

QByteArray bitmapHeader(int size, int bitCount, uint32_t imageBytes) {
    QByteArray out;
    put32(out, 40);
    put32(out, static_cast<uint32_t>(size));
    put32(out, static_cast<uint32_t>(size * 2));  // colour rows and mask rows
    put16(out, 1);
    put16(out, static_cast<uint32_t>(bitCount));
    put32(out, 0);
    put32(out, imageBytes);
    put32(out, 0);
    put32(out, 0);
    put32(out, bitCount == 8 ? 256 : 0);
    put32(out, 0);
    return out;
}

QByteArray iconImage24(const QImage& icon) {
    const int size = icon.width();
    const int stride = ((size * 3 + 3) / 4) * 4;
    QByteArray pixels;
    for (int y = size - 1; y >= 0; --y) {
        QByteArray row(stride, '\0');
        for (int x = 0; x < size; ++x) {
            const QRgb c = flatten(icon.pixel(x, y));
            row[x * 3] = static_cast<char>(qBlue(c));
            row[x * 3 + 1] = static_cast<char>(qGreen(c));
            row[x * 3 + 2] = static_cast<char>(qRed(c));
        }
        pixels.append(row);
    }
    const QByteArray mask = andMask(icon);
    return bitmapHeader(size, 24, static_cast<uint32_t>(pixels.size() + mask.size())) + pixels + mask;
}

// 8-bit: a palette of the image's most frequent colours (at 5 bits a channel), every
// pixel mapped to its nearest entry.
QByteArray iconImage8(const QImage& icon) {
    const int size = icon.width();
    std::map<uint32_t, int> counts;
    auto key = [](QRgb c) { return static_cast<uint32_t>(((qRed(c) >> 3) << 10) | ((qGreen(c) >> 3) << 5) | (qBlue(c) >> 3)); };
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) ++counts[key(flatten(icon.pixel(x, y)))];
    std::vector<std::pair<int, uint32_t>> ranked;
    for (const auto& [k, n] : counts) ranked.emplace_back(-n, k);
    std::sort(ranked.begin(), ranked.end());
    std::vector<QRgb> palette;
    for (size_t i = 0; i < ranked.size() && palette.size() < 256; ++i) {
        const uint32_t k = ranked[i].second;
        palette.push_back(qRgb(static_cast<int>((k >> 10) & 31) * 255 / 31, static_cast<int>((k >> 5) & 31) * 255 / 31,
                               static_cast<int>(k & 31) * 255 / 31));
    }
    palette.resize(256, qRgb(0, 0, 0));
    auto nearest = [&](QRgb c) {
        int best = 0;
        long bestDistance = -1;
        for (int i = 0; i < 256; ++i) {
            const long dr = qRed(c) - qRed(palette[static_cast<size_t>(i)]);
            const long dg = qGreen(c) - qGreen(palette[static_cast<size_t>(i)]);
            const long db = qBlue(c) - qBlue(palette[static_cast<size_t>(i)]);
            const long d = dr * dr + dg * dg + db * db;
            if (bestDistance < 0 || d < bestDistance) best = i, bestDistance = d;
        }
        return best;
    };
    QByteArray table;
    for (QRgb c : palette) {
        table.append(static_cast<char>(qBlue(c)));
        table.append(static_cast<char>(qGreen(c)));
        table.append(static_cast<char>(qRed(c)));
        table.append('\0');
    }
    const int stride = ((size + 3) / 4) * 4;
    QByteArray pixels;
    for (int y = size - 1; y >= 0; --y) {
        QByteArray row(stride, '\0');
        for (int x = 0; x < size; ++x) row[x] = static_cast<char>(nearest(flatten(icon.pixel(x, y))));
        pixels.append(row);
    }
    const QByteArray mask = andMask(icon);
    return bitmapHeader(size, 8, static_cast<uint32_t>(pixels.size() + mask.size())) + table + pixels + mask;
}

QByteArray buildIco() {
    const int sizes[] = {96, 72, 64, 48, 32, 16};
    std::vector<std::pair<int, QByteArray>> images;  // size, image data
    std::vector<int> bitCounts;
    for (int size : sizes) {
        const QImage icon = drawIcon(size);
        images.emplace_back(size, iconImage24(icon));
        bitCounts.push_back(24);
        images.emplace_back(size, iconImage8(icon));
        bitCounts.push_back(8);
    }
    QByteArray out;
    put16(out, 0);
    put16(out, 1);  // icon
    put16(out, static_cast<uint32_t>(images.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        const auto& [size, data] = images[i];
        out.append(static_cast<char>(size));
        out.append(static_cast<char>(size));
        out.append('\0');  // colour count: 0 for 256 colours and above
        out.append('\0');
        put16(out, 1);
        put16(out, static_cast<uint32_t>(bitCounts[i]));
        put32(out, static_cast<uint32_t>(data.size()));
        put32(out, offset);
        offset += static_cast<uint32_t>(data.size());
    }
    for (const auto& image : images) out.append(image.second);
    return out;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_assets OUTPUT_FOLDER\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const QByteArray jpeg = encodeBackground(drawBackground());
    const QByteArray ico = buildIco();
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        drawIcon(96).save(&buffer, "PNG");
    }
    if (jpeg.isEmpty() || !writeFile(out.filePath(QStringLiteral("background.jpg")), jpeg) ||
        !writeFile(out.filePath(QStringLiteral("talvorin.ico")), ico) ||
        !writeFile(out.filePath(QStringLiteral("talvorin.png")), png)) {
        std::fprintf(stderr, "make_assets: cannot write into %s\n", argv[1]);
        return 1;
    }
    std::printf("background.jpg %lld bytes, talvorin.ico %lld bytes, talvorin.png %lld bytes\n",
                static_cast<long long>(jpeg.size()), static_cast<long long>(ico.size()),
                static_cast<long long>(png.size()));
    return 0;
}
