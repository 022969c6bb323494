// The files next to a movie.
#include "swf/movie_folder.h"

#include <fstream>
#include <string>
#include <system_error>

namespace swf {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The path part of a relative address, %XX undone; nullopt when it is not one.
std::optional<std::string> relativePath(std::string_view url) {
    url = url.substr(0, url.find_first_of("?#"));
    std::string path;
    for (size_t i = 0; i < url.size(); ++i) {
        char c = url[i];
        if (c == '%') {
            if (i + 2 >= url.size()) return std::nullopt;
            const int high = hexValue(url[i + 1]), low = hexValue(url[i + 2]);
            if (high < 0 || low < 0) return std::nullopt;
            c = char(high * 16 + low);
            i += 2;
        }
        // A scheme or drive (":"), another separator, or a byte no file name here has.
        if (c == ':' || c == '\\' || c == '\0') return std::nullopt;
        path.push_back(c);
    }
    if (path.empty() || path.front() == '/') return std::nullopt;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (path.compare(start, end - start, "..") == 0) return std::nullopt;
        start = end + 1;
    }
    return path;
}

bool isInside(const std::filesystem::path& file, const std::filesystem::path& folder) {
    auto f = file.begin();
    for (auto d = folder.begin(); d != folder.end(); ++d, ++f) {
        if (f == file.end() || *f != *d) return false;
    }
    return f != file.end();
}

}  // namespace

MovieFolder::MovieFolder(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::path canonical = std::filesystem::canonical(folder, error);
    if (!error && std::filesystem::is_directory(canonical, error)) folder_ = std::move(canonical);
}

std::optional<std::filesystem::path> MovieFolder::resolve(std::string_view url) const {
    if (folder_.empty()) return std::nullopt;
    std::optional<std::string> path = relativePath(url);
    if (!path) return std::nullopt;
    std::error_code error;
    // Links are followed first, then the file must still be inside.
    std::filesystem::path file = std::filesystem::canonical(folder_ / std::filesystem::path(*path), error);
    if (error || !isInside(file, folder_) || !std::filesystem::is_regular_file(file, error)) return std::nullopt;
    return file;
}

std::optional<std::vector<uint8_t>> MovieFolder::read(std::string_view url, uintmax_t maxBytes) const {
    std::optional<std::filesystem::path> file = resolve(url);
    if (!file) return std::nullopt;
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(*file, error);
    if (error || size > maxBytes) return std::nullopt;
    std::ifstream in(*file, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    if (in.gcount() != std::streamsize(bytes.size())) return std::nullopt;
    return bytes;
}

}  // namespace swf
