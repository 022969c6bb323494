#include "web/install_scheme.h"

#include "core/install_path.h"
#include "web/page_encoding.h"

#include <QBuffer>
#include <QFile>
#include <QMap>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestJob>
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
    static constexpr std::array<std::pair<const char*, const char*>, 24> types{{
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
    }};
    const QString extension = QString::fromStdString(file.extension().string()).mid(1).toLower();
    for (const auto& [ext, type] : types)
        if (extension == QLatin1String(ext))
            return type;
    return "application/octet-stream";
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

std::optional<std::filesystem::path> fileForUrl(const QUrl& url, const std::string& appFolder)
{
    if (url.scheme() != QLatin1String(kInstallScheme) || url.host() != QLatin1String(kInstallHost))
        return std::nullopt;
    // A decoded path may hold "..", backslashes or NULs that the URL had escaped; the
    // confinement check below sees the result, whatever it spells.
    const QString path = url.path(QUrl::FullyDecoded);
    if (path.contains(QChar(0)))
        return std::nullopt;
    const auto file = core::resolveInstallPath(appFolder + '/' + withSlashes(path));
    std::error_code ec;
    if (!core::isInsideFolder(file, appFolder) || !std::filesystem::is_regular_file(file, ec))
        return std::nullopt;
    return file;
}

QByteArray contentTypeFor(const std::filesystem::path& file, const QByteArray& bytes, bool isPage)
{
    QByteArray type = isPage ? QByteArray("text/html") : typeByExtension(file);
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

    QByteArray bytes;
    std::optional<std::filesystem::path> file = fileForUrl(url, appFolder);
    if (file) {
        QFile input(QString::fromStdString(file->string()));
        if (input.open(QIODevice::ReadOnly))
            bytes = input.readAll();
        if (input.error() != QFileDevice::NoError)
            file.reset();
    }
    if (!file) {
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
    const QByteArray type = contentTypeFor(*file, bytes, isPage);
    buffer->setData(std::move(bytes));
    job->reply(type, buffer);
}

void FrameRequestMarker::interceptRequest(QWebEngineUrlRequestInfo& info)
{
    if (info.requestUrl().scheme() != QLatin1String(kInstallScheme))
        return;
    const auto type = info.resourceType();
    const bool frame = type == QWebEngineUrlRequestInfo::ResourceTypeMainFrame ||
                       type == QWebEngineUrlRequestInfo::ResourceTypeSubFrame;
    info.setHttpHeader(kFrameHeader, frame ? "1" : "0");
}

}  // namespace web
