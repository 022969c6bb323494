// icon_sizes ICON.ico OUTPUT_FOLDER NAME
// Writes each size of the program's icon as OUTPUT_FOLDER/<n>x<n>/apps/NAME.png, the layout of
// the freedesktop hicolor theme. Where the icon holds a size in several colour depths, the
// deepest is taken. Deterministic: the same icon gives the same files.
#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>

#include <cstdint>
#include <cstdio>
#include <map>
#include <span>

namespace {

struct IconEntry {
    int index;
    int size;
    int bitCount;
};

std::uint16_t le16(std::span<const char> bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[at]) |
                                      static_cast<std::uint8_t>(bytes[at + 1]) << 8);
}

// The icon directory: for each square size, the entry with the most bits per pixel.
std::map<int, IconEntry> deepestPerSize(std::span<const char> ico)
{
    std::map<int, IconEntry> best;
    if (ico.size() < 6 || le16(ico, 2) != 1)
        return best;
    const int count = le16(ico, 4);
    for (int i = 0; i < count; ++i) {
        const std::size_t at = 6 + static_cast<std::size_t>(i) * 16;
        if (at + 16 > ico.size())
            break;
        const int width = static_cast<std::uint8_t>(ico[at]) ? static_cast<std::uint8_t>(ico[at]) : 256;
        const int height = static_cast<std::uint8_t>(ico[at + 1]) ? static_cast<std::uint8_t>(ico[at + 1]) : 256;
        const int bitCount = le16(ico, at + 6);
        if (width != height)
            continue;
        auto found = best.find(width);
        if (found == best.end() || found->second.bitCount < bitCount)
            best[width] = {i, width, bitCount};
    }
    return best;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: icon_sizes ICON.ico OUTPUT_FOLDER NAME\n");
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "icon_sizes: cannot read %s\n", argv[1]);
        return 1;
    }
    const QByteArray ico = file.readAll();
    const auto entries = deepestPerSize(std::span<const char>(ico.constData(), static_cast<std::size_t>(ico.size())));
    if (entries.empty()) {
        std::fprintf(stderr, "icon_sizes: %s holds no square icon\n", argv[1]);
        return 1;
    }
    const QDir output(QString::fromLocal8Bit(argv[2]));
    const QString name = QString::fromLocal8Bit(argv[3]);
    for (const auto& [size, entry] : entries) {
        QBuffer buffer;
        buffer.setData(ico);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "ico");
        QImage image;
        if (reader.jumpToImage(entry.index))
            image = reader.read();
        if (image.isNull() || image.width() != size || image.height() != size) {
            std::fprintf(stderr, "icon_sizes: image %d of %s cannot be read\n", entry.index, argv[1]);
            return 1;
        }
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        const QString target = output.filePath(folder + "/" + name + ".png");
        if (!output.mkpath(folder) || !image.convertToFormat(QImage::Format_ARGB32).save(target, "PNG")) {
            std::fprintf(stderr, "icon_sizes: cannot write %s\n", qPrintable(target));
            return 1;
        }
    }
    return 0;
}
