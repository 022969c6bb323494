#include "web/install_scheme.h"

#include "core/page_files.h"

#include <sys/stat.h>

#include <QDir>
#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

class InstallSchemeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temp.isValid());
        base = fs::path(temp.path().toStdString());
        app = base / "book";
        fs::create_directories(app / "res" / "Chapter");
        fs::create_directories(base / "outside");
        std::ofstream(app / "res" / "1p.html") << "<p>cover</p>";
        std::ofstream(app / "res" / "Chapter" / "01.html") << "<p>one</p>";
        std::ofstream(app / "res" / "Chapter" / "第一 章.html") << "<p>named</p>";
        std::ofstream(base / "outside" / "secret.html") << "secret";
    }

    QString installPath(const char* relative) const { return QString::fromStdString(app.string()) + relative; }
    std::optional<fs::path> fileFor(const QString& path) const
    {
        return web::fileForUrl(web::urlForInstallPath(path, app.string()), app.string());
    }

    QTemporaryDir temp;
    fs::path base;
    fs::path app;
};

TEST_F(InstallSchemeTest, InstallationPathsBecomeUrlsUnderTheApplicationFolder)
{
    EXPECT_EQ(web::urlForInstallPath(installPath("\\res\\1p.html"), app.string()),
              QUrl("talvorin://app/res/1p.html"));
    EXPECT_EQ(web::urlForInstallPath(installPath("\\res\\Chapter\\faj.trm"), app.string()),
              QUrl("talvorin://app/res/Chapter/faj.trm"));
    // A doubled separator, as an application folder at the root produces, changes nothing.
    EXPECT_EQ(web::urlForInstallPath("/\\res\\1p.html", "/"), QUrl("talvorin://app/res/1p.html"));
    // Relative references resolve against the page's own folder.
    EXPECT_EQ(QUrl("talvorin://app/res/Chapter/01.html").resolved(QUrl("../../pic/x.png")),
              QUrl("talvorin://app/pic/x.png"));
}

TEST_F(InstallSchemeTest, PathsOutsideTheApplicationFolderBecomeTheNotFoundPage)
{
    for (const QString& path : {installPath("\\..\\outside\\secret.html"), installPath("x\\res\\1p.html"),
                                QString::fromStdString((base / "outside" / "secret.html").string()),
                                QStringLiteral("res\\1p.html"), QStringLiteral("C:\\book\\res\\1p.html"),
                                QString()}) {
        const QUrl url = web::urlForInstallPath(path, app.string());
        EXPECT_EQ(url.host(), "not-found") << path.toStdString();
        EXPECT_EQ(web::fileForUrl(url, app.string()), std::nullopt) << path.toStdString();
    }
}

TEST_F(InstallSchemeTest, UrlsMapBackToFilesWithoutRegardToCase)
{
    EXPECT_EQ(fileFor(installPath("\\RES\\chapter\\01.HTML")), app / "res" / "Chapter" / "01.html");
    EXPECT_EQ(fileFor(installPath("\\res\\1p.html")), app / "res" / "1p.html");
    // Names that URLs must escape come back unchanged.
    EXPECT_EQ(fileFor(installPath("\\res\\Chapter\\第一 章.html")), app / "res" / "Chapter" / "第一 章.html");
    EXPECT_EQ(fileFor(installPath("\\res\\missing.html")), std::nullopt);
    EXPECT_EQ(fileFor(installPath("\\res")), std::nullopt);  // a folder is no file
    EXPECT_EQ(fileFor(installPath("")), std::nullopt);
}

TEST_F(InstallSchemeTest, ReferencesThatLeaveTheFolderFindNothing)
{
    const std::string folder = app.string();
    // An escaped "../" survives URL normalisation and climbs once decoded.
    EXPECT_EQ(web::fileForUrl(QUrl("talvorin://app/res/..%2F..%2Foutside%2Fsecret.html"), folder), std::nullopt);
    EXPECT_EQ(web::fileForUrl(QUrl("talvorin://app/res/..%5C..%5Coutside%5Csecret.html"), folder), std::nullopt);
    EXPECT_EQ(web::fileForUrl(QUrl("talvorin://app/res/%2E%2E/%2e%2e/outside/secret.html"), folder), std::nullopt);
    EXPECT_EQ(web::fileForUrl(QUrl("talvorin://app/res/..%2f..%2foutside/secret.html"), folder), std::nullopt);
    // An absolute path in a page stays inside the installation.
    EXPECT_EQ(web::fileForUrl(QUrl("talvorin://app" + QString::fromStdString((base / "outside").string()) +
                                   "/secret.html"),
                              folder),
              std::nullopt);
    // Other hosts of the scheme and other schemes.
    EXPECT_EQ(web::fileForUrl(QUrl("talvorin://other/res/1p.html"), folder), std::nullopt);
    EXPECT_EQ(web::fileForUrl(QUrl::fromLocalFile(QString::fromStdString((app / "res" / "1p.html").string())), folder),
              std::nullopt);
    EXPECT_EQ(web::fileForUrl(QUrl("talvorin://app/res/1p.html%00.png"), folder), std::nullopt);
}

TEST_F(InstallSchemeTest, LinksLaidByTheInstallerAreFollowed)
{
    // A packaged installation whose folders live elsewhere: the links are part of it.
    fs::create_directories(base / "packaged" / "pic");
    std::ofstream(base / "packaged" / "pic" / "up.swf") << "movie";
    fs::create_directory_symlink(base / "packaged" / "pic", app / "pic");
    fs::create_directory_symlink(base / "outside", app / "res" / "link");
    EXPECT_EQ(fileFor(installPath("\\PIC\\up.swf")), app / "pic" / "up.swf");
    EXPECT_EQ(fileFor(installPath("\\res\\link\\secret.html")), app / "res" / "link" / "secret.html");
    // What a page asks for still cannot climb out through them.
    EXPECT_EQ(web::fileForUrl(QUrl("talvorin://app/pic/..%2F..%2Foutside%2Fsecret.html"), app.string()), std::nullopt);
}

TEST_F(InstallSchemeTest, OnlyRegularFilesAreServed)
{
    ASSERT_EQ(::mkfifo((app / "res" / "fifo.html").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", app / "res" / "zero.html");
    EXPECT_EQ(fileFor(installPath("\\res\\fifo.html")), std::nullopt);
    EXPECT_EQ(fileFor(installPath("\\res\\zero.html")), std::nullopt);
    EXPECT_EQ(fileFor(installPath("\\res\\Chapter")), std::nullopt);
}

TEST_F(InstallSchemeTest, TheOverlayOfAReadOnlyInstallationComesFirst)
{
    const QByteArray cache = QByteArray::fromStdString((base / "cache").string());
    qputenv("XDG_CACHE_HOME", cache);
    const auto overlay = core::overlayFolder(app.string());
    EXPECT_TRUE(overlay.string().starts_with(cache.toStdString() + "/talvorin/book-"));
    EXPECT_NE(overlay, core::overlayFolder((base / "other" / "book").string()));
    EXPECT_EQ(fileFor(installPath("\\res\\Chapter\\faj.trm")), std::nullopt);
    fs::create_directories(overlay / "res" / "Chapter");
    std::ofstream(overlay / "res" / "Chapter" / "faj.trm") << "<p>six</p>";
    EXPECT_EQ(fileFor(installPath("\\res\\Chapter\\faj.trm")), overlay / "res" / "Chapter" / "faj.trm");
    EXPECT_EQ(fileFor(installPath("\\res\\1p.html")), app / "res" / "1p.html");
    qunsetenv("XDG_CACHE_HOME");
}

TEST(ContentType, OnlyPagesAndNamesWithoutAKnownExtensionAreHtml)
{
    const QByteArray gb = "<p>\xD6\xD0\xCE\xC4</p>";
    const QByteArray utf8 = "<p>\xE4\xB8\xAD\xE6\x96\x87</p>";
    // The page files of stored chapters and the book's pages.
    EXPECT_EQ(web::contentTypeFor("faj.trm", gb), "text/html; charset=gb18030");
    EXPECT_EQ(web::contentTypeFor("temp.html", utf8), "text/html; charset=utf-8");
    EXPECT_EQ(web::contentTypeFor("frame.HTM", utf8), "text/html; charset=utf-8");
    EXPECT_EQ(web::contentTypeFor("noextension", ""), "text/html; charset=utf-8");
    // Whatever a page links to or opens in a frame keeps the type of its extension.
    EXPECT_EQ(web::contentTypeFor("x.PNG", "\x89PNG"), "image/png");
    EXPECT_EQ(web::contentTypeFor("book.css", "body{}"), "text/css");
    EXPECT_EQ(web::contentTypeFor("manual.pdf", "%PDF-1.4"), "application/pdf");
    EXPECT_EQ(web::contentTypeFor("notes.txt", "<b>plain</b>"), "text/plain");
}

TEST(PageRequests, OnlyOurSchemeTheWebAndAPagesOwnDataAreReachable)
{
    for (const char* url : {"talvorin://app/res/1p.html", "http://example.org/x.png", "https://example.org/",
                            "data:text/plain,x", "about:blank", "blob:talvorin://app/1234"})
        EXPECT_TRUE(web::pageMayRequest(QUrl(url))) << url;
    for (const char* url : {"file:///etc/passwd", "FILE:///etc/passwd", "filesystem:talvorin://app/temporary/x",
                            "view-source:talvorin://app/res/1p.html", "ftp://example.org/x", "qrc:/x.png",
                            "chrome://version", "devtools://devtools/x"})
        EXPECT_FALSE(web::pageMayRequest(QUrl(url))) << url;
}

TEST(NotFoundPage, EscapesWhatItNames)
{
    const QByteArray page = web::notFoundPage("/res/<script>x</script>.html");
    EXPECT_TRUE(page.contains("&lt;script&gt;"));
    EXPECT_FALSE(page.contains("<script>"));
}

}  // namespace
