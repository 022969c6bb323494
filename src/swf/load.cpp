#include <QFile>

#include "swf/swf.h"

namespace swf {

std::shared_ptr<const Movie> loadMovieFile(const std::filesystem::path& file) {
    QFile f(QString::fromStdString(file.string()));
    if (!f.open(QIODevice::ReadOnly)) return nullptr;
    if (f.size() > qint64(kMaxMovieFileBytes)) throw MalformedMovie("file too large");
    QByteArray bytes = f.readAll();
    return parseMovie(std::span(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())));
}

}  // namespace swf
