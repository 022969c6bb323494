#include "pages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <array>
#include <stdexcept>

namespace demobook {

namespace {

constexpr std::array<const char*, 16> kColours = {
    "#C0392B", "#D35400", "#F39C12", "#27AE60", "#16A085", "#2980B9", "#8E44AD", "#2C3E50",
    "#E74C3C", "#E67E22", "#F1C40F", "#2ECC71", "#1ABC9C", "#3498DB", "#9B59B6", "#7F8C8D",
};

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) throw std::runtime_error("cannot read " + path.toStdString());
    return file.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

QString escapeHtml(const QString& text) { return text.toHtmlEscaped(); }

}  // namespace

QString pageColour(int index) {
    if (index < 0 || index >= static_cast<int>(kColours.size())) return {};
    return QString::fromLatin1(kColours[static_cast<size_t>(index)]);
}

QString pageOutputPath(int index) {
    if (index == 0) return QStringLiteral("res/1p.html");
    if (index == 1) return QStringLiteral("res/2p.html");
    if (index == 2) return QStringLiteral("res/3p.html");
    if (index >= 3 && index <= 7) return QStringLiteral("res/Chapter/%1.html").arg(index - 2, 2, 10, QLatin1Char('0'));
    if (index >= 8 && index <= 15) return QStringLiteral("%1.html").arg(index - 2, 2, 10, QLatin1Char('0'));
    return {};
}

QStringList writePages(const QString& bookFolder, const QString& installFolder, const QString& storedFolder) {
    const QDir book(bookFolder);
    const QString css = QString::fromUtf8(readFile(book.filePath(QStringLiteral("book.css"))));
    QStringList written;
    for (int index = 0; index < 16; ++index) {
        // A page source: a first line "title: ..." and then the body's HTML.
        const QString source =
            QString::fromUtf8(readFile(book.filePath(QStringLiteral("pages/%1.html").arg(index, 2, 10, QLatin1Char('0')))));
        const qsizetype lineEnd = source.indexOf(QLatin1Char('\n'));
        QString title = source.left(lineEnd).trimmed();
        if (!title.startsWith(QLatin1String("title:")))
            throw std::runtime_error("page " + std::to_string(index) + ": the first line must be \"title: ...\"");
        title = title.mid(6).trimmed();
        const QString body = source.mid(lineEnd + 1);
        // The band comes first in the body, with no margin above it, so that a screenshot
        // of the top of the view tells which page is shown.
        const QString html =
            QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>%1</title>\n"
                           "<style>\n%2</style>\n</head>\n<body style=\"margin:0\">"
                           "<div class=\"band\" style=\"background:%3;height:28px;margin:0;width:100%\"></div>\n"
                           "<div class=\"page\">\n%4</div>\n</body>\n</html>\n")
                .arg(escapeHtml(title), css, pageColour(index), body);
        const QString target = (index <= 7 ? QDir(installFolder) : QDir(storedFolder)).filePath(pageOutputPath(index));
        writeFile(target, html.toUtf8());
        written << target;
    }
    const QDir pictures(book.filePath(QStringLiteral("pictures")));
    for (const QFileInfo& picture : pictures.entryInfoList(QDir::Files, QDir::Name)) {
        const QString target = QDir(installFolder).filePath(QStringLiteral("res/pictures/") + picture.fileName());
        writeFile(target, readFile(picture.filePath()));
        written << target;
    }
    return written;
}

}  // namespace demobook
