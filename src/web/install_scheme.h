#pragma once
// The URL scheme that serves the book's installation to the page view. An installation
// path "<app folder>\res\Chapter\01.html" becomes "talvorin://app/res/Chapter/01.html", so
// that a page's relative references ("../pic/x.png", "2p.html") resolve against its own
// folder. The handler maps such URLs back to files without regard to case and reads only
// inside the application folder; everything else gets a short not-found page.
#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlSchemeHandler>
#include <filesystem>
#include <optional>
#include <string>

namespace web {

inline constexpr char kInstallScheme[] = "talvorin";
// The host under which the application folder appears.
inline constexpr char kInstallHost[] = "app";
// The host whose every URL is the not-found page (a path outside the application folder).
inline constexpr char kNotFoundHost[] = "not-found";

// The URL for an installation path, or the not-found URL when the path does not lie in
// `appFolder` (judged on its text: ".." are applied, links are not followed here).
QUrl urlForInstallPath(const QString& installPath, const std::string& appFolder);

// The file a URL of the scheme names, when it is a regular file inside `appFolder` (after
// following links and ".."); nullopt otherwise.
std::optional<std::filesystem::path> fileForUrl(const QUrl& url, const std::string& appFolder);

// The content type a file is served with: a page (the document of a frame) is always HTML
// with the charset it is to be decoded with; other files by their extension.
QByteArray contentTypeFor(const std::filesystem::path& file, const QByteArray& bytes, bool isPage);

// The short page shown for a page that is not there.
QByteArray notFoundPage(const QString& what);

// Serves the scheme. Lives on the user-interface thread; reads the application folder
// afresh for every request.
class InstallSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
    void requestStarted(QWebEngineUrlRequestJob* job) override;
};

// Tells the handler which requests load a frame's document: those are pages, served as
// HTML whatever their names, while pictures and style sheets keep their own types.
class FrameRequestMarker : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override;
};

}  // namespace web
