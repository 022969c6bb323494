#include "peer_runner.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace bench {
namespace {

// Collects the page's console lines: "T <run> <ms> <line>" for traces, "L <run> <ms>" when
// the movie has loaded, "E <run> <text>" for errors the page reports. Lines of an earlier
// run can still arrive while the next page loads; the run number tells them apart.
class ConsolePage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;
    PeerRun* run = nullptr;
    QString runTag;  // "<run> "
    QString lastLine;
    std::function<void()> finished;

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message, int, const QString&) override {
        if (!run || message.size() < 2 || !QStringView(message).mid(2).startsWith(runTag)) return;
        const QString rest = message.mid(2 + runTag.size());
        if (message.startsWith(QLatin1String("T "))) {
            const qsizetype space = rest.indexOf(QLatin1Char(' '));
            if (space < 0) return;
            PeerTrace trace{rest.left(space).toDouble(), rest.mid(space + 1)};
            run->started = true;
            const bool last = trace.text == lastLine;
            run->traces.push_back(std::move(trace));
            if (last && finished) finished();
        } else if (message.startsWith(QLatin1String("L "))) {
            run->loadedMs = rest.toDouble();
        } else if (message.startsWith(QLatin1String("E "))) {
            run->error = rest;
            if (finished) finished();
        }
    }
};

QByteArray pageFor(std::optional<double> frameRate, int runNumber) {
    const QByteArray rate = frameRate ? QByteArray::number(*frameRate) : QByteArray("null");
    const QByteArray run = QByteArray::number(runNumber);
    return QByteArray(R"(<!doctype html><html><head><meta charset="utf-8">
<style>html,body{margin:0;background:#fff}</style></head><body><div id="stage"></div>
<script>
window.RufflePlayer = window.RufflePlayer || {};
window.RufflePlayer.config = {publicPath: "/peer/", polyfills: false, autoplay: "on",
  unmuteOverlay: "hidden", splashScreen: false, letterbox: "off", logLevel: "error",
  contextMenu: "off", warnOnUnsupportedContent: false, frameRate: )") + rate + R"(};
const runTag = ")" + run + R"( ";
</script>
<script src="/peer/ruffle.js"></script>
<script>
window.addEventListener("load", () => {
  try {
    const player = window.RufflePlayer.newest().createPlayer();
    player.style.width = "550px"; player.style.height = "400px";
    document.getElementById("stage").appendChild(player);
    const api = player.ruffle ? player.ruffle() : player;
    const observe = line => console.log("T " + runTag + performance.now() + " " + line);
    // The observer can only be set once the player instance exists, which is before
    // the movie's first frame runs.
    const attach = () => { try { api.traceObserver = observe; } catch (e) {} };
    player.addEventListener("loadedmetadata", () => { attach(); console.log("L " + runTag + performance.now()); });
    api.load({url: "/movie.swf?run=" + runTag.trim()}).then(attach).catch(e => console.log("E " + runTag + e));
  } catch (e) { console.log("E " + runTag + e); }
});
</script></body></html>)";
}

QByteArray contentType(const QString& path) {
    if (path.endsWith(QLatin1String(".js"))) return "text/javascript";
    if (path.endsWith(QLatin1String(".wasm"))) return "application/wasm";
    if (path.endsWith(QLatin1String(".swf"))) return "application/x-shockwave-flash";
    if (path.endsWith(QLatin1String(".map"))) return "application/json";
    return "text/html; charset=utf-8";
}

}  // namespace

PeerRunner::PeerRunner(QString packageDir) : packageDir_(std::move(packageDir)) {
    if (!QFileInfo(packageDir_ + QStringLiteral("/ruffle.js")).isFile()) {
        why_ = QStringLiteral("the peer's web build is not installed (npm ci --prefix bench/avm1/peer)");
        return;
    }
    server_ = std::make_unique<QTcpServer>();
    if (!server_->listen(QHostAddress::LocalHost, 0)) {
        why_ = QStringLiteral("cannot listen on 127.0.0.1: ") + server_->errorString();
        return;
    }
    QObject::connect(server_.get(), &QTcpServer::newConnection, server_.get(), [this] { serve(); });
    view_ = std::make_unique<QWebEngineView>();
    view_->setPage(new ConsolePage(view_.get()));
    view_->resize(560, 410);
    view_->show();
    available_ = true;
}

PeerRunner::~PeerRunner() = default;

void PeerRunner::serve() {
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            // The request may arrive in pieces: keep them until the head is whole.
            const QByteArray request = socket->property("request").toByteArray() + socket->readAll();
            if (!request.contains("\r\n\r\n") && request.size() < 65536) {
                socket->setProperty("request", request);
                return;
            }
            const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
            QString path = words.size() >= 2 ? QString::fromUtf8(words[1]) : QString();
            path = path.section(QLatin1Char('?'), 0, 0);
            QByteArray body;
            int status = 200;
            if (path == QLatin1String("/")) {
                body = page_;
            } else if (path == QLatin1String("/movie.swf")) {
                body = movie_;
            } else if (path.startsWith(QLatin1String("/peer/")) && !path.contains(QLatin1String(".."))) {
                QFile file(packageDir_ + QLatin1Char('/') + path.mid(6));
                if (file.open(QIODevice::ReadOnly)) body = file.readAll();
                else status = 404;
            } else {
                status = 404;
            }
            QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + (status == 200 ? " OK" : " Not Found") +
                              "\r\nContent-Type: " + contentType(path) +
                              "\r\nContent-Length: " + QByteArray::number(body.size()) +
                              // The player's own files may be cached; the page and the movie change per run.
                              (path.startsWith(QLatin1String("/peer/")) ? "\r\nCache-Control: max-age=3600"
                                                                        : "\r\nCache-Control: no-store") +
                              "\r\nConnection: close\r\n\r\n";
            socket->write(head + body);
            socket->disconnectFromHost();
        });
    }
}

PeerRun PeerRunner::run(const QByteArray& movie, const QString& lastLine, int timeoutMs,
                        std::optional<double> frameRate) {
    PeerRun result;
    if (!available_) {
        result.error = why_;
        return result;
    }
    movie_ = movie;
    ++runNumber_;
    page_ = pageFor(frameRate, runNumber_);
    auto* page = static_cast<ConsolePage*>(view_->page());
    page->runTag = QString::number(runNumber_) + QLatin1Char(' ');
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    page->run = &result;
    page->lastLine = lastLine;
    page->finished = [&loop] { QTimer::singleShot(0, &loop, &QEventLoop::quit); };
    view_->load(QUrl(QStringLiteral("http://127.0.0.1:%1/?run=%2").arg(server_->serverPort()).arg(runNumber_)));
    timeout.start(timeoutMs);
    loop.exec();
    page->run = nullptr;
    page->finished = nullptr;
    view_->load(QUrl(QStringLiteral("about:blank")));
    if (!result.started && result.error.isEmpty()) result.error = QStringLiteral("no trace within the time allowed");
    return result;
}

}  // namespace bench
