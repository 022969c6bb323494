#include "core/page_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>
#include <span>

#include "core/sha256.h"

namespace core {
namespace {

std::mutex pagesMutex;
std::map<std::string, std::string> pages;  // by pageKey()

// Page paths are matched without regard to case, as installation paths are.
std::string pageKey(const std::filesystem::path& file)
{
    std::string key = file.lexically_normal().generic_string();
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return key;
}

std::filesystem::path cacheHome()
{
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && xdg[0] == '/')
        return xdg;
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return std::filesystem::path(home) / ".cache";
    return std::filesystem::temp_directory_path() / ("talvorin-" + std::to_string(::getuid()));
}

int writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (written == 0)
            return ENOSPC;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

}  // namespace

std::filesystem::path overlayFolder(const std::string& appFolder)
{
    const std::string folder = std::filesystem::path(appFolder).lexically_normal().generic_string();
    // Readable (the folder's own name) and unique (a digest of its whole path).
    std::string name = std::filesystem::path(folder).filename().string();
    if (name.empty())
        name = "root";
    std::replace_if(name.begin(), name.end(), [](char c) { return c == '.' || c == ' '; }, '_');
    const auto digest = sha256Hex(std::span(reinterpret_cast<const std::uint8_t*>(folder.data()), folder.size()));
    return cacheHome() / "talvorin" / (name + "-" + digest.substr(0, 16));
}

std::optional<std::filesystem::path> overlayFileFor(const std::filesystem::path& installFile,
                                                    const std::string& appFolder)
{
    const auto relative =
        installFile.lexically_normal().lexically_relative(std::filesystem::path(appFolder).lexically_normal());
    if (relative.empty() || relative == "." || *relative.begin() == "..")
        return std::nullopt;
    return overlayFolder(appFolder) / relative;
}

int replaceFileWhole(const std::filesystem::path& file, std::string_view bytes)
{
    static std::atomic<unsigned> serial{0};
    const std::filesystem::path temporary =
        file.parent_path() / ("." + file.filename().string() + "." + std::to_string(::getpid()) + "." +
                              std::to_string(serial++) + ".tmp");
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return errno;
    int error = writeAll(fd, bytes);
    if (::close(fd) != 0 && error == 0)
        error = errno;  // some file systems report a full disk only here
    if (error == 0 && ::rename(temporary.c_str(), file.c_str()) != 0)
        error = errno;
    if (error != 0)
        ::unlink(temporary.c_str());
    return error;
}

void rememberPage(const std::filesystem::path& file, std::string bytes)
{
    std::lock_guard lock(pagesMutex);
    pages[pageKey(file)] = std::move(bytes);
}

std::optional<std::string> rememberedPage(const std::filesystem::path& file)
{
    std::lock_guard lock(pagesMutex);
    const auto found = pages.find(pageKey(file));
    if (found == pages.end())
        return std::nullopt;
    return found->second;
}

void forgetPages()
{
    std::lock_guard lock(pagesMutex);
    pages.clear();
}

}  // namespace core
