#pragma once
// The URL scheme that serves the book's installation to the page view. An installation
// path "<app folder>\res\Chapter\01.html" becomes "talvorin://app/res/Chapter/01.html", so
// that a page's relative references ("../pic/x.png", "2p.html") resolve against its own
// folder. The handler maps such URLs back to files without regard to case and reads only
// inside the application folder (as the installer laid it out, links included): page files
// this process wrote come from memory, then the per-user overlay, then the installation.
// Everything else gets a short not-found page.
#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlSchemeHandler>
#include <cstdint>
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

// Largest file served.
inline constexpr std::uint64_t kMaxServedFileBytes = 256u << 20;

// The installation file a URL of the scheme names, whether or not it exists; nullopt when
// its path, decoded, would leave the application folder ("..", NUL) or the URL is not ours.
std::optional<std::filesystem::path> installFileForUrl(const QUrl& url, const std::string& appFolder);

// The file a URL of the scheme names, when it is a regular file (links followed): the
// per-user overlay's copy first, then the installation's; nullopt otherwise.
std::optional<std::filesystem::path> fileForUrl(const QUrl& url, const std::string& appFolder);

// The content type a file is served with, by its extension; a file whose extension names
// no type (such as "faj.trm") is a page: HTML, with the charset it is to be decoded with.
QByteArray contentTypeFor(const std::filesystem::path& file, const QByteArray& bytes);

// False for a URL of a scheme that pages may not reach (file:, filesystem:, view-source:
// and every other scheme that is neither ours, the web's, nor a page's own data).
bool pageMayRequest(const QUrl& url);

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

// Tells the handler which requests load a frame's document (a missing one gets the
// not-found page, a missing picture fails), and refuses every request of a scheme that
// reads local data (file:, filesystem:, view-source: ...): pages reach the installation
// only through our scheme.
class FrameRequestMarker : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override;
};

}  // namespace web
