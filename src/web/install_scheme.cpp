#include "web/install_scheme.h"

#include "core/install_path.h"
#include "core/page_files.h"
#include "core/regular_file.h"
#include "web/page_encoding.h"

#include <QBuffer>
#include <QMap>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestJob>
#include <algorithm>
#include <array>
#include <utility>

namespace web {
namespace {

// Set on every request of the scheme by FrameRequestMarker, so a page cannot forge it.
constexpr char kFrameHeader[] = "X-Talvorin-Frame";

QUrl notFoundUrl(const QString& what)
{
    QUrl url;
    url.setScheme(kInstallScheme);
    url.setHost(kNotFoundHost);
    url.setPath(QLatin1Char('/') + what, QUrl::DecodedMode);
    return url;
}

std::string withSlashes(QString path)
{
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return path.toStdString();
}

QByteArray typeByExtension(const std::filesystem::path& file)
{
    static constexpr std::array<std::pair<const char*, const char*>, 44> types{{
        {"html", "text/html"},
        {"htm", "text/html"},
        {"css", "text/css"},
        {"js", "text/javascript"},
        {"png", "image/png"},
        {"jpg", "image/jpeg"},
        {"jpeg", "image/jpeg"},
        {"gif", "image/gif"},
        {"bmp", "image/bmp"},
        {"ico", "image/x-icon"},
        {"svg", "image/svg+xml"},
        {"webp", "image/webp"},
        {"txt", "text/plain"},
        {"xml", "text/xml"},
        {"json", "application/json"},
        {"swf", "application/x-shockwave-flash"},
        {"mp3", "audio/mpeg"},
        {"wav", "audio/wav"},
        {"ogg", "audio/ogg"},
        {"mp4", "video/mp4"},
        {"woff", "font/woff"},
        {"woff2", "font/woff2"},
        {"ttf", "font/ttf"},
        {"pdf", "application/pdf"},
        {"bin", "application/octet-stream"},
        {"exe", "application/octet-stream"},
        {"dll", "application/octet-stream"},
        {"zip", "application/zip"},
        {"rar", "application/vnd.rar"},
        {"7z", "application/x-7z-compressed"},
        {"doc", "application/msword"},
        {"xls", "application/vnd.ms-excel"},
        {"ppt", "application/vnd.ms-powerpoint"},
        {"rtf", "application/rtf"},
        {"csv", "text/csv"},
        {"chm", "application/vnd.ms-htmlhelp"},
        {"mid", "audio/midi"},
        {"wma", "audio/x-ms-wma"},
        {"avi", "video/x-msvideo"},
        {"wmv", "video/x-ms-wmv"},
        {"flv", "video/x-flv"},
        {"mpg", "video/mpeg"},
        {"tif", "image/tiff"},
        {"tiff", "image/tiff"},
    }};
    const QString extension = QString::fromStdString(file.extension().string()).mid(1).toLower();
    for (const auto& [ext, type] : types)
        if (extension == QLatin1String(ext))
            return type;
    return {};
}

}  // namespace

QUrl urlForInstallPath(const QString& installPath, const std::string& appFolder)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(appFolder).lexically_normal();
    const fs::path target = fs::path(withSlashes(installPath)).lexically_normal();
    if (!folder.is_absolute() || !target.is_absolute())
        return notFoundUrl(installPath);
    const fs::path relative = target.lexically_relative(folder);
    if (relative.empty() || *relative.begin() == "..")
        return notFoundUrl(installPath);

    QUrl url;
    url.setScheme(kInstallScheme);
    url.setHost(kInstallHost);
    const QString path = relative == "." ? QString() : QString::fromStdString(relative.generic_string());
    url.setPath(QLatin1Char('/') + path, QUrl::DecodedMode);
    return url;
}

std::optional<std::filesystem::path> installFileForUrl(const QUrl& url, const std::string& appFolder)
{
    if (url.scheme() != QLatin1String(kInstallScheme) || url.host() != QLatin1String(kInstallHost))
        return std::nullopt;
    // A decoded path may hold "..", backslashes or NULs that the URL had escaped; it is
    // judged as decoded, whatever it spells. Links of the installation are followed.
    const std::string path = url.path(QUrl::FullyDecoded).toStdString();
    if (!core::staysInsideFolder(path))
        return std::nullopt;
    return core::resolveInstallPath(appFolder + '/' + withSlashes(QString::fromStdString(path)));
}

std::optional<std::filesystem::path> fileForUrl(const QUrl& url, const std::string& appFolder)
{
    const auto installFile = installFileForUrl(url, appFolder);
    if (!installFile)
        return std::nullopt;
    // The per-user overlay holds what could not be written into the installation.
    if (const auto overlay = core::overlayFileFor(*installFile, appFolder); overlay && core::isRegularFile(*overlay))
        return overlay;
    if (core::isRegularFile(*installFile))
        return installFile;
    return std::nullopt;
}

QByteArray contentTypeFor(const std::filesystem::path& file, const QByteArray& bytes)
{
    // Files whose extension names no type (the page file "faj.trm", a name without one)
    // are pages.
    QByteArray type = typeByExtension(file);
    if (type.isEmpty())
        type = "text/html";
    if (type == "text/html")
        type += "; charset=" + QByteArray::fromStdString(pageCharset(std::string_view(bytes.data(), bytes.size())));
    return type;
}

QByteArray notFoundPage(const QString& what)
{
    return QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Not found</title></head>"
                          "<body style=\"font-family: sans-serif; margin: 2em\"><h2>Page not found</h2>"
                          "<p>%1</p></body></html>\n")
        .arg(what.toHtmlEscaped())
        .toUtf8();
}

void InstallSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job)
{
    const QUrl url = job->requestUrl();
    const bool isPage = job->requestHeaders().value(kFrameHeader) == "1";
    const std::string appFolder = core::applicationFolder();

    std::optional<std::filesystem::path> file = installFileForUrl(url, appFolder);
    std::optional<std::string> bytes;
    if (file) {
        // A page file shows what this process last wrote to it, whoever wrote it since.
        bytes = core::rememberedPage(*file);
        if (!bytes) {
            file = fileForUrl(url, appFolder);
            if (file)
                bytes = core::readRegularFile(*file, kMaxServedFileBytes);
        }
    }
    if (!bytes) {
        if (!isPage) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        auto* buffer = new QBuffer(job);
        buffer->setData(notFoundPage(url.path(QUrl::FullyDecoded)));
        job->reply("text/html; charset=utf-8", buffer);
        return;
    }
    auto* buffer = new QBuffer(job);
    QByteArray data = QByteArray::fromStdString(*bytes);
    bytes.reset();
    const QByteArray type = contentTypeFor(*file, data);
    buffer->setData(std::move(data));
    job->reply(type, buffer);
}

bool pageMayRequest(const QUrl& url)
{
    // What the original control reached from a page: the book, the web, and what a page
    // makes of itself. Everything that would read this machine's own files is left out.
    static const std::array<QLatin1String, 8> allowed{
        QLatin1String(kInstallScheme), QLatin1String("http"), QLatin1String("https"), QLatin1String("ws"),
        QLatin1String("wss"),          QLatin1String("data"), QLatin1String("blob"),  QLatin1String("about")};
    const QString scheme = url.scheme().toLower();
    return std::find(allowed.begin(), allowed.end(), scheme) != allowed.end();
}

void FrameRequestMarker::interceptRequest(QWebEngineUrlRequestInfo& info)
{
    if (!pageMayRequest(info.requestUrl())) {
        info.block(true);
        return;
    }
    if (info.requestUrl().scheme() != QLatin1String(kInstallScheme))
        return;
    const auto type = info.resourceType();
    const bool frame = type == QWebEngineUrlRequestInfo::ResourceTypeMainFrame ||
                       type == QWebEngineUrlRequestInfo::ResourceTypeSubFrame;
    info.setHttpHeader(kFrameHeader, frame ? "1" : "0");
}

}  // namespace web
