// The browser in a real Qt WebEngine, offscreen: what a page shows is read back with
// JavaScript once it has loaded.
#include "core/install_path.h"
#include "core/page_files.h"
#include "web/web_browser.h"

#include <QApplication>
#include <QBuffer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QDialog>
#include <QEventLoop>
#include <QImage>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <filesystem>
#include <fstream>
#include <vector>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

constexpr int kTimeoutMs = 30000;

void writeFile(const fs::path& file, std::string_view bytes)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
}

void writePicture(const fs::path& file, int width, int height)
{
    fs::create_directories(file.parent_path());
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    ASSERT_TRUE(picture.save(QString::fromStdString(file.string()), "PNG"));
}

void spinEventLoop(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

class WebBrowserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(temp.isValid());
        base = fs::path(temp.path().toStdString());
        app = base / "book";
        fs::create_directories(app / "res" / "Chapter");
        core::overrideApplicationFolder(app.string());
        browser.resize(640, 480);
        browser.setSilent(true);
    }
    void TearDown() override { core::overrideApplicationFolder(std::nullopt); }

    QString installPath(std::string_view relative) const
    {
        return QString::fromStdString(app.string() + std::string(relative));
    }

    // Navigates and waits for the load to finish; false on a time-out.
    bool navigate(const QString& path)
    {
        QEventLoop loop;
        bool finished = false;
        const auto connection = QObject::connect(&browser, &web::WebBrowser::loadFinished, &loop, [&] {
            finished = true;
            loop.quit();
        });
        QTimer::singleShot(kTimeoutMs, &loop, &QEventLoop::quit);
        browser.Navigate(path);
        if (!finished)
            loop.exec();
        QObject::disconnect(connection);
        return finished;
    }

    QVariant evaluate(const QString& script)
    {
        QEventLoop loop;
        QVariant result;
        bool done = false;
        QTimer::singleShot(kTimeoutMs, &loop, &QEventLoop::quit);
        page()->runJavaScript(script, [&](const QVariant& value) {
            result = value;
            done = true;
            loop.quit();
        });
        if (!done)
            loop.exec();
        return result;
    }

    QString text() { return evaluate("document.body ? document.body.innerText.trim() : ''").toString(); }

    QWebEnginePage* page() { return browser.findChild<QWebEngineView*>()->page(); }

    QTemporaryDir temp;
    fs::path base;
    fs::path app;
    web::WebBrowser browser;
};

TEST_F(WebBrowserTest, ShowsPagesFoundWithoutRegardToCase)
{
    writeFile(app / "res" / "Chapter" / "01.html", "<p>Chapter one</p>");
    ASSERT_TRUE(navigate(installPath("\\RES\\chapter\\01.HTML")));
    EXPECT_EQ(text(), "Chapter one");
    EXPECT_EQ(browser.currentUrl().scheme(), "talvorin");
}

TEST_F(WebBrowserTest, ShowsAPageFileAsHtmlWhateverItsNameAndNewContentAfterARewrite)
{
    const fs::path file = app / "res" / "Chapter" / "faj.trm";
    writeFile(file, "<body style='margin:0'><div id=band style='height:24px;background:#16A085'></div>"
                    "<p>Chapter six</p></body>");
    const QString path = installPath("\\res\\Chapter\\faj.trm");
    ASSERT_TRUE(navigate(path));
    EXPECT_EQ(text(), "Chapter six");
    EXPECT_EQ(evaluate("getComputedStyle(document.getElementById('band')).backgroundColor").toString(),
              "rgb(22, 160, 133)");

    // The same path again, while it is still shown, with the file rewritten each time.
    writeFile(file, "<p>Chapter seven</p>");
    ASSERT_TRUE(navigate(path));
    EXPECT_EQ(text(), "Chapter seven");
    writeFile(file, "<p>Chapter eight</p>");
    ASSERT_TRUE(navigate(path));
    EXPECT_EQ(text(), "Chapter eight");
}

TEST_F(WebBrowserTest, MissingAndOutsidePagesShowTheNotFoundPage)
{
    writeFile(base / "outside" / "secret.html", "<p>secret</p>");
    const QString outside = QString::fromStdString((base / "outside" / "secret.html").string());
    for (const QString& path : {installPath("\\res\\nothing.html"), installPath("\\res\\..\\..\\outside\\secret.html"),
                                outside}) {
        ASSERT_TRUE(navigate(path)) << path.toStdString();
        EXPECT_TRUE(text().startsWith("Page not found")) << path.toStdString() << ": " << text().toStdString();
    }
    EXPECT_TRUE(QApplication::topLevelWidgets().size() == 1);  // no dialog beside the browser

    // A link that the installer laid (the book's pages kept elsewhere) is followed.
    writeFile(base / "packaged" / "7p.html", "<p>Chapter five</p>");
    fs::create_directory_symlink(base / "packaged", app / "res" / "linked");
    ASSERT_TRUE(navigate(installPath("\\res\\linked\\7p.html")));
    EXPECT_EQ(text(), "Chapter five");
}

// What a hostile page tries, in every way a page can ask for a file: none of it reaches
// anything outside the installation.
TEST_F(WebBrowserTest, PagesReachNothingOutsideTheInstallation)
{
    const fs::path outside = base / "outside";
    writeFile(outside / "secret.txt", "SECRET");
    writeFile(outside / "secret.html", "<p>SECRET</p><script>parent.postMessage('SECRET', '*')</script>");
    writePicture(outside / "secret.png", 9, 9);
    writeFile(app / "res" / "inside.txt", "INSIDE");
    const std::string file = "file://" + outside.string();
    // Requests of our scheme that climb out once decoded: "..", "%2e%2e", "%2f", "%5c", "%00".
    const std::vector<std::string> prefixes{
        file,
        "talvorin://app/../outside",
        "talvorin://app/res/%2e%2e/%2e%2e/outside",
        "talvorin://app/res/..%2f..%2foutside",
        "talvorin://app/res/..%5c..%5coutside",
        "talvorin://app/res/..%2F..%2F..%2F..%2F..%2F..%2F..%2F..%2F" + outside.relative_path().string(),
        "talvorin://app/res/inside.txt%00/../../outside",
        "filesystem:talvorin://app/temporary/../../outside",
    };
    std::string list;
    for (const auto& prefix : prefixes)
        list += "'" + prefix + "',";
    writeFile(app / "res" / "probe.html", R"(<body><p id=out>running</p><script>
const prefixes = [)" + list + R"(];
const leaks = [];
const wait = ms => new Promise(r => setTimeout(r, ms));
addEventListener('message', e => { if (String(e.data).includes('SECRET')) leaks.push('frame ran: ' + e.data); });
function xhr(url) {
  return new Promise(resolve => {
    try {
      const x = new XMLHttpRequest();
      x.open('GET', url);
      x.onload = () => resolve(x.responseText);
      x.onerror = () => resolve('');
      x.send();
    } catch (e) { resolve(''); }
  });
}
function image(url) {
  return new Promise(resolve => {
    const i = new Image();
    i.onload = () => resolve(i.naturalWidth);
    i.onerror = () => resolve(0);
    i.src = url;
  });
}
async function probe() {
  const control = await xhr('inside.txt');
  for (const p of prefixes) {
    if ((await xhr(p + '/secret.txt')).includes('SECRET')) leaks.push('xhr ' + p);
    try {
      const r = await fetch(p + '/secret.txt');
      if ((await r.text()).includes('SECRET')) leaks.push('fetch ' + p);
    } catch (e) {}
    if (await image(p + '/secret.png') > 0) leaks.push('image ' + p);
    const frame = document.createElement('iframe');
    frame.src = p + '/secret.html';
    document.body.appendChild(frame);
  }
  await wait(1500);
  document.getElementById('out').textContent = 'done ' + control + ' ' + leaks.join('; ');
}
probe();
</script></body>)");
    ASSERT_TRUE(navigate(installPath("\\res\\probe.html")));
    QString result;
    for (int i = 0; i < 300 && !(result = text()).startsWith("done"); ++i)
        spinEventLoop(20);
    // The page could read its own folder, and nothing of the others.
    EXPECT_EQ(result.toStdString(), "done INSIDE");

    // Links: the page is left only for somewhere a page may go.
    for (const auto& prefix : prefixes) {
        ASSERT_TRUE(navigate(installPath("\\res\\probe.html")));
        evaluate(QString::fromStdString("document.body.innerHTML = \"<a id=l href='" + prefix +
                                        "/secret.html'>go</a>\"; document.getElementById('l').click();"));
        spinEventLoop(300);
        EXPECT_FALSE(text().contains("SECRET")) << prefix;
    }
    browser.Navigate(QString::fromStdString(file + "/secret.html"));
    spinEventLoop(300);
    EXPECT_FALSE(text().contains("SECRET"));
}

// Pages of the book load their http pictures, styles and scripts, as the original
// control did: our scheme is local but not a secure origin, so nothing is mixed content.
TEST_F(WebBrowserTest, BookPagesLoadHttpPicturesStylesAndScripts)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    QBuffer pngBytes;
    pngBytes.open(QIODevice::WriteOnly);
    QImage picture(13, 3, QImage::Format_RGB32);
    picture.fill(Qt::red);
    picture.save(&pngBytes, "PNG");
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&] {
        while (QTcpSocket* socket = server.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, png = pngBytes.data()] {
                const QByteArray request = socket->readAll();
                QByteArray type = "image/png", body = png;
                if (request.contains(".css")) {
                    type = "text/css";
                    body = "body { background-color: rgb(4, 5, 6); }";
                } else if (request.contains(".js")) {
                    type = "text/javascript";
                    body = "window.fromTheWeb = 42;";
                }
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: " + type + "\r\nContent-Length: " +
                              QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
                socket->disconnectFromHost();
            });
        }
    });
    const std::string web = "http://127.0.0.1:" + std::to_string(server.serverPort());
    writeFile(app / "res" / "old.html", "<link rel=stylesheet href='" + web + "/s.css'><script src='" + web +
                                            "/s.js'></script><img id=p src='" + web + "/p.png'>");
    ASSERT_TRUE(navigate(installPath("\\res\\old.html")));
    EXPECT_EQ(evaluate("document.getElementById('p').naturalWidth").toInt(), 13);
    EXPECT_EQ(evaluate("getComputedStyle(document.body).backgroundColor").toString().toStdString(), "rgb(4, 5, 6)");
    EXPECT_EQ(evaluate("window.fromTheWeb").toInt(), 42);
}

// A second reader on the installation rewrote the page file since this one wrote it: the
// page view still shows what this reader wrote, and once it is forgotten, the file.
TEST_F(WebBrowserTest, APageFileShowsWhatThisReaderLastWroteToIt)
{
    const fs::path file = app / "res" / "Chapter" / "faj.trm";
    writeFile(file, "<p>Chapter nine, by the other reader</p>");
    core::rememberPage(core::resolveInstallPath(installPath("\\res\\Chapter\\faj.trm").toStdString()),
                       "<p>Chapter six</p>");
    ASSERT_TRUE(navigate(installPath("\\res\\Chapter\\faj.trm")));
    EXPECT_EQ(text(), "Chapter six");
    core::forgetPages();
    ASSERT_TRUE(navigate(installPath("\\res\\Chapter\\faj.trm")));
    EXPECT_EQ(text(), "Chapter nine, by the other reader");
}

// Only pages are HTML: a picture or text file that a page opens in a frame keeps its type.
TEST_F(WebBrowserTest, FilesLinkedFromAPageKeepTheirOwnType)
{
    writePicture(app / "res" / "Chapter" / "figure.png", 11, 7);
    writeFile(app / "res" / "Chapter" / "notes.txt", "<b>plain</b>");
    writeFile(app / "res" / "Chapter" / "faj.trm", "<p>stored <b>chapter</b></p>");
    ASSERT_TRUE(navigate(installPath("\\res\\Chapter\\figure.png")));
    EXPECT_EQ(evaluate("document.images.length ? document.images[0].naturalWidth : -1").toInt(), 11);
    ASSERT_TRUE(navigate(installPath("\\res\\Chapter\\notes.txt")));
    EXPECT_EQ(text(), "<b>plain</b>");
    EXPECT_EQ(evaluate("document.contentType").toString(), "text/plain");
    ASSERT_TRUE(navigate(installPath("\\res\\Chapter\\faj.trm")));
    EXPECT_EQ(text(), "stored chapter");
}

TEST_F(WebBrowserTest, RelativeReferencesResolveAgainstThePagesFolderAndStayInside)
{
    writePicture(app / "pic" / "Figure.png", 7, 5);
    writePicture(base / "outside" / "secret.png", 9, 9);
    writeFile(app / "res" / "CSS" / "book.css", "body { background-color: rgb(1, 2, 3); }");
    writeFile(app / "res" / "Chapter" / "02.html",
              "<link rel=stylesheet href='../css/book.css'>"
              "<img id=inside src='../../PIC/figure.png'>"
              "<img id=escaped src='../..%2F..%2Foutside%2Fsecret.png'>"
              "<img id=absolute src='" +
                  (base / "outside" / "secret.png").string() + "'>" + "<a href='../3P.HTML'>next</a>");
    writeFile(app / "res" / "3p.html", "<p>Contents</p>");
    ASSERT_TRUE(navigate(installPath("\\res\\Chapter\\02.html")));
    // The load ends after the pictures have loaded or failed.
    EXPECT_EQ(evaluate("getComputedStyle(document.body).backgroundColor").toString(), "rgb(1, 2, 3)");
    EXPECT_EQ(evaluate("document.getElementById('inside').naturalWidth").toInt(), 7);
    EXPECT_EQ(evaluate("document.getElementById('escaped').naturalWidth").toInt(), 0);
    EXPECT_EQ(evaluate("document.getElementById('absolute').naturalWidth").toInt(), 0);

    // A link to another page.
    QEventLoop loop;
    QObject::connect(&browser, &web::WebBrowser::loadFinished, &loop, &QEventLoop::quit);
    QTimer::singleShot(kTimeoutMs, &loop, &QEventLoop::quit);
    evaluate("document.querySelector('a').click()");
    loop.exec();
    EXPECT_EQ(text(), "Contents");
}

TEST_F(WebBrowserTest, PagesWithoutACharsetAreReadAsUtf8OrGb18030)
{
    writeFile(app / "res" / "gb.html", "<p>\xD6\xD0\xCE\xC4</p>");
    ASSERT_TRUE(navigate(installPath("\\res\\gb.html")));
    EXPECT_EQ(text(), QStringLiteral(u"中文"));
    EXPECT_EQ(evaluate("document.characterSet").toString(), "GB18030");

    writeFile(app / "res" / "utf8.html", "<p>\xE4\xB8\xAD\xE6\x96\x87</p>");
    ASSERT_TRUE(navigate(installPath("\\res\\utf8.html")));
    EXPECT_EQ(text(), QStringLiteral(u"中文"));
    EXPECT_EQ(evaluate("document.characterSet").toString(), "UTF-8");

    // A declared charset is respected even where the bytes would pass as UTF-8.
    writeFile(app / "res" / "latin.html", "<meta charset=windows-1252><p>\xC3\xA9</p>");
    ASSERT_TRUE(navigate(installPath("\\res\\latin.html")));
    EXPECT_EQ(text(), QStringLiteral(u"Ã©"));
}

TEST_F(WebBrowserTest, SilentPagesAskNothingAndGoOn)
{
    writeFile(app / "res" / "ask.html",
              "<p id=out>waiting</p><script>"
              "alert('hello');"
              "const answers = [confirm('sure?'), prompt('name?', 'someone')];"
              "document.getElementById('out').textContent = 'after ' + answers.join(',');"
              "</script>");
    ASSERT_TRUE(navigate(installPath("\\res\\ask.html")));
    EXPECT_EQ(text(), "after false,");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(WebBrowserTest, SilentPagesCannotHoldTheReaderWithABeforeUnloadQuestion)
{
    writeFile(app / "res" / "stay.html", "<body style='height:400px'><p>stay</p><script>"
                                         "onbeforeunload = e => { e.preventDefault(); e.returnValue = 'stay'; };"
                                         "</script></body>");
    writeFile(app / "res" / "next.html", "<p>next</p>");
    QWidget window;
    browser.setParent(&window);
    window.resize(640, 480);
    window.show();
    ASSERT_TRUE(navigate(installPath("\\res\\stay.html")));
    // The question is only asked once the user has touched the page.
    QWidget* target = browser.findChild<QWebEngineView*>()->focusProxy();
    ASSERT_NE(target, nullptr);
    const QPointF point(50, 50);
    for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent click(type, point, target->mapToGlobal(point), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(target, &click);
    }
    spinEventLoop(200);
    ASSERT_TRUE(evaluate("navigator.userActivation.hasBeenActive").toBool());
    ASSERT_TRUE(navigate(installPath("\\res\\next.html")));
    EXPECT_EQ(text(), "next");
    browser.setParent(nullptr);
}

TEST_F(WebBrowserTest, WithoutSilenceAnAlertIsShown)
{
    browser.setSilent(false);
    writeFile(app / "res" / "alert.html", "<p id=out>before</p><script>alert('hello');"
                                          "document.getElementById('out').textContent = 'after';</script>");
    bool dialogSeen = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            dialogSeen = true;
            dialog->reject();
        }
    });
    closer.start(50);
    ASSERT_TRUE(navigate(installPath("\\res\\alert.html")));
    EXPECT_TRUE(dialogSeen);
    EXPECT_EQ(text(), "after");
}

TEST_F(WebBrowserTest, SilentPagesStartNoDownload)
{
    writeFile(app / "res" / "data.bin", "bytes");
    writeFile(app / "res" / "get.html", "<a download href='data.bin'>get</a>");
    QList<QWebEngineDownloadRequest*> downloads;
    QObject::connect(page()->profile(), &QWebEngineProfile::downloadRequested, &browser,
                     [&](QWebEngineDownloadRequest* download) { downloads.append(download); });
    ASSERT_TRUE(navigate(installPath("\\res\\get.html")));
    evaluate("document.querySelector('a').click()");
    for (int i = 0; i < 100 && downloads.isEmpty(); ++i)
        spinEventLoop(20);
    ASSERT_EQ(downloads.size(), 1);
    EXPECT_EQ(downloads.front()->state(), QWebEngineDownloadRequest::DownloadCancelled);
}

TEST_F(WebBrowserTest, TheViewFillsTheWidgetAndTakesItsFocus)
{
    QWidget window;
    window.resize(800, 600);
    browser.setParent(&window);
    browser.setGeometry(10, 20, 300, 200);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(navigate(installPath("\\res\\missing.html")));
    browser.setFocus();
    QApplication::processEvents();
    const auto* view = browser.findChild<QWebEngineView*>();
    EXPECT_EQ(view->geometry(), QRect(0, 0, 300, 200));
    // The page itself receives the keys, not just the frame around it.
    const QWidget* focused = QApplication::focusWidget();
    EXPECT_TRUE(focused == view || view->isAncestorOf(focused));
    EXPECT_TRUE(browser.hasFocus());
    browser.setGeometry(0, 0, 500, 400);
    QApplication::processEvents();
    EXPECT_EQ(view->geometry(), QRect(0, 0, 500, 400));
    browser.setParent(nullptr);
}

TEST_F(WebBrowserTest, WebAddressesGoToTheNetworkUnchanged)
{
    browser.Navigate("https://example.org/path?q=1");
    EXPECT_EQ(browser.currentUrl(), QUrl("https://example.org/path?q=1"));
    browser.Navigate("ftp://example.org/file");
    EXPECT_EQ(browser.currentUrl().host(), "not-found");
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    web::registerSchemes();
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
