// The demo book's installation folder as the default build lays it out.
#include "swf_check.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

const QDir kDemo(QStringLiteral(TALVORIN_DEMO_DIR));

const char* const kColours[16] = {"#C0392B", "#D35400", "#F39C12", "#27AE60", "#16A085", "#2980B9",
                                  "#8E44AD", "#2C3E50", "#E74C3C", "#E67E22", "#F1C40F", "#2ECC71",
                                  "#1ABC9C", "#3498DB", "#9B59B6", "#7F8C8D"};

// Each movie and the size of its control on the reader window, in pixels.
const std::map<QString, QSize> kMovies = {
    {"help", {52, 52}},   {"exit", {52, 52}},  {"corvanta", {48, 52}}, {"5", {313, 52}},
    {"index", {81, 52}},  {"up", {52, 52}},    {"down", {64, 52}},     {"21", {190, 30}},
    {"22", {190, 30}},    {"23", {190, 30}},   {"24", {190, 30}},      {"25", {190, 30}},
    {"26", {190, 30}},    {"27", {190, 30}},   {"28", {190, 30}},      {"29", {190, 30}},
    {"30", {190, 30}},    {"31", {190, 30}},   {"32", {190, 30}},      {"33", {190, 30}},
    {"01", {190, 30}},    {"02", {190, 30}},
};

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A page: UTF-8, declared so, and its band of the page's colour first in the body, with
// no margin above it.
void expectPage(const QByteArray& bytes, int index, const QString& what) {
    SCOPED_TRACE(what.toStdString());
    ASSERT_FALSE(bytes.isEmpty());
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(bytes);
    EXPECT_FALSE(utf8.hasError());
    EXPECT_TRUE(text.contains(QLatin1String("<meta charset=\"utf-8\">")));
    static const QRegularExpression firstInBody(
        QStringLiteral("<body([^>]*)>\\s*<div[^>]*style=\"background:(#[0-9A-Fa-f]{6});height:(\\d+)px;margin:0;width:100%\""));
    const QRegularExpressionMatch m = firstInBody.match(text);
    ASSERT_TRUE(m.hasMatch()) << "the band is not the body's first element";
    EXPECT_TRUE(m.captured(1).contains(QLatin1String("margin:0")));
    EXPECT_EQ(m.captured(2).toUpper(), QString::fromLatin1(kColours[index]));
    EXPECT_GE(m.captured(3).toInt(), 24);
    EXPECT_TRUE(text.contains(QLatin1String("</html>")));
}

// Every picture a page refers to exists, resolved against the folder it is shown from.
void expectPicturesResolve(const QByteArray& bytes, const QDir& shownFrom) {
    static const QRegularExpression source(QStringLiteral("src=\"([^\"]+)\""));
    for (const QRegularExpressionMatch& m : source.globalMatch(QString::fromUtf8(bytes))) {
        const QString target = QDir::cleanPath(shownFrom.filePath(m.captured(1)));
        EXPECT_TRUE(QFileInfo::exists(target)) << target.toStdString();
        EXPECT_TRUE(target.startsWith(kDemo.absolutePath())) << "leaves the installation folder";
    }
}

}  // namespace

TEST(DemoFolder, HoldsEveryFileOfTheLayout) {
    for (const auto& [name, size] : kMovies)
        EXPECT_TRUE(QFileInfo(kDemo.filePath(QStringLiteral("pic/%1.swf").arg(name))).isFile()) << name.toStdString();
    const QFileInfo help(kDemo.filePath(QStringLiteral("pic/help.exe")));
    EXPECT_TRUE(help.isFile() && help.isExecutable());
    EXPECT_TRUE(readAll(help.filePath()).startsWith("\x7f" "ELF"));
    for (const char* page : {"res/1p.html", "res/2p.html", "res/3p.html", "res/Chapter/01.html", "res/Chapter/02.html",
                             "res/Chapter/03.html", "res/Chapter/04.html", "res/Chapter/05.html"})
        EXPECT_TRUE(QFileInfo(kDemo.filePath(QLatin1String(page))).isFile()) << page;
#ifdef CHAPTERSTORE_PATH
    EXPECT_TRUE(QFileInfo(kDemo.filePath(QStringLiteral("res/Chapter/qvd.dll"))).isFile());
#endif
    // The folder holds the book, not its build inputs.
    EXPECT_FALSE(QFileInfo::exists(kDemo.filePath(QStringLiteral("stored"))));
}

TEST(DemoFolder, MoviesAreAnimatedButtonsOfTheirControlsSize) {
    for (const auto& [name, size] : kMovies) {
        SCOPED_TRACE(name.toStdString());
        const swfcheck::Movie movie =
            swfcheck::parseMovie(readAll(kDemo.filePath(QStringLiteral("pic/%1.swf").arg(name))));
        // The stage has the control's shape, so ShowAll fills the control exactly.
        EXPECT_EQ(movie.stageTwips, QRect(0, 0, size.width() * 20, size.height() * 20));
        EXPECT_GE(movie.frameRate, 12);
        EXPECT_LE(movie.frameRate, 24);
        EXPECT_GE(movie.frameCount, 12);
        EXPECT_LE(movie.frameCount, 24);
        EXPECT_EQ(movie.showFrames(), movie.frameCount);
        EXPECT_EQ(movie.tagsWithCode(9).size(), 1u);  // background colour
        std::set<uint16_t> defined;
        for (uint16_t code : {2, 22, 32, 83})
            for (const swfcheck::Tag* tag : movie.tagsWithCode(code)) {
                const swfcheck::Shape shape = swfcheck::decodeShape(*tag);
                if (!shape.fills.empty()) {
                    EXPECT_TRUE(shape.edges.subpathsClosed);
                }
                defined.insert(shape.id);
            }
        // The buttons' faces are buttons that glow on hover; the lantern and the banner are
        // decoration.
        const bool decorative = name == QStringLiteral("corvanta") || name == QStringLiteral("5");
        EXPECT_EQ(movie.tagsWithCode(34).size(), decorative ? 0u : 1u);
        for (uint16_t code : {34, 39})  // buttons, and the clips the menu labels' buttons sit in
            for (const swfcheck::Tag* tag : movie.tagsWithCode(code))
                defined.insert(uint16_t(uint8_t(tag->body[0]) | uint8_t(tag->body[1]) << 8));
        int changes = 0;
        for (const swfcheck::Tag* tag : movie.tagsWithCode(26)) {
            const swfcheck::PlaceObject place = swfcheck::decodePlaceObject2(*tag);
            if (place.characterId) {
                EXPECT_TRUE(defined.count(*place.characterId));
            }
            changes += (place.flags & 0x01) ? 1 : 0;
        }
        EXPECT_GE(changes, movie.frameCount - 1) << "something changes on every frame";
    }
}

TEST(DemoFolder, FilePagesBeginWithTheirBand) {
    const std::pair<int, const char*> pages[] = {{0, "res/1p.html"},         {1, "res/2p.html"},
                                                 {2, "res/3p.html"},         {3, "res/Chapter/01.html"},
                                                 {4, "res/Chapter/02.html"}, {5, "res/Chapter/03.html"},
                                                 {6, "res/Chapter/04.html"}, {7, "res/Chapter/05.html"}};
    for (const auto& [index, path] : pages) {
        const QString file = kDemo.filePath(QLatin1String(path));
        const QByteArray bytes = readAll(file);
        expectPage(bytes, index, file);
        expectPicturesResolve(bytes, QFileInfo(file).dir());
    }
}

TEST(DemoFolder, StoreHoldsChaptersSixToThirteenInOrder) {
#ifndef CHAPTERSTORE_PATH
    GTEST_SKIP() << "chapterstore is not built";
#else
    const QString store = kDemo.filePath(QStringLiteral("res/Chapter/qvd.dll"));
    QProcess list;
    list.start(QStringLiteral(CHAPTERSTORE_PATH), {QStringLiteral("list"), store, QStringLiteral("--password"),
                                                   QStringLiteral("38pondwick71")});
    ASSERT_TRUE(list.waitForFinished(60000));
    ASSERT_EQ(list.exitCode(), 0) << list.readAllStandardError().toStdString();
    const QStringList lines = QString::fromUtf8(list.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), 8);

    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    QProcess extract;
    extract.start(QStringLiteral(CHAPTERSTORE_PATH),
                  {QStringLiteral("extract"), store, QStringLiteral("--password"), QStringLiteral("38pondwick71"),
                   QStringLiteral("--out"), out.path()});
    ASSERT_TRUE(extract.waitForFinished(60000));
    ASSERT_EQ(extract.exitCode(), 0) << extract.readAllStandardError().toStdString();
    for (int record = 1; record <= 8; ++record) {
        const QByteArray bytes = readAll(QDir(out.path()).filePath(QStringLiteral("%1.bin").arg(record, 4, 10, QLatin1Char('0'))));
        const int page = 7 + record;
        expectPage(bytes, page, QStringLiteral("record %1").arg(record));
        EXPECT_TRUE(bytes.contains(QStringLiteral("Chapter %1 ").arg(5 + record).toUtf8())) << "record " << record;
        // Shown from res/Chapter/faj.trm: its references resolve there.
        expectPicturesResolve(bytes, QDir(kDemo.filePath(QStringLiteral("res/Chapter"))));
    }
#endif
}

TEST(DemoFolder, HelpProgramOpensAWindowAndKeepsRunning) {
    QProcess help;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    help.setProcessEnvironment(env);
    help.start(kDemo.filePath(QStringLiteral("pic/help.exe")), {});
    ASSERT_TRUE(help.waitForStarted(10000));
    EXPECT_FALSE(help.waitForFinished(1500)) << "the help program ended by itself";
    help.kill();
    help.waitForFinished(5000);
}

TEST(DemoFolder, DesktopEntryNamesTheProgramAndItsIcon) {
    const QString entry = QString::fromUtf8(readAll(kDemo.filePath(QStringLiteral("talvorin.desktop"))));
    ASSERT_TRUE(entry.startsWith(QLatin1String("[Desktop Entry]")));
    static const QRegularExpression icon(QStringLiteral("^Icon=(.+)$"), QRegularExpression::MultilineOption);
    const QRegularExpressionMatch m = icon.match(entry);
    ASSERT_TRUE(m.hasMatch());
    EXPECT_TRUE(QFileInfo(m.captured(1)).isFile());
    EXPECT_TRUE(entry.contains(QStringLiteral("Exec=") + kDemo.filePath(QStringLiteral("talvorin"))));
}
