#include "core/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace core {

bool isRegularFile(const std::filesystem::path& file)
{
    struct stat info {};
    return ::stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

int openRegularFile(const std::filesystem::path& file, std::uint64_t& size, FileRefusal& refusal)
{
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) {
        refusal = FileRefusal::Missing;
        return -1;
    }
    if (!S_ISREG(info.st_mode)) {
        refusal = FileRefusal::NotRegular;  // never opened: opening a device may act on it
        return -1;
    }
    // Non-blocking, so that a file swapped for a FIFO after the check cannot hold us.
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        refusal = FileRefusal::Missing;
        return -1;
    }
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        refusal = FileRefusal::NotRegular;
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    size = static_cast<std::uint64_t>(info.st_size);
    return fd;
}

std::optional<std::string> readRegularFile(const std::filesystem::path& file, std::uint64_t maxBytes,
                                           FileRefusal* refusal)
{
    FileRefusal why = FileRefusal::Missing;
    std::uint64_t size = 0;
    const int fd = openRegularFile(file, size, why);
    if (fd < 0) {
        if (refusal)
            *refusal = why;
        return std::nullopt;
    }
    if (size > maxBytes) {
        ::close(fd);
        if (refusal)
            *refusal = FileRefusal::TooLarge;
        return std::nullopt;
    }
    std::string bytes;
    bytes.resize(static_cast<std::size_t>(size));
    std::size_t done = 0;
    bool failed = false;
    // The size may change under us (a file being rewritten): read what is there, one byte
    // past the bound at most, to tell a file that grew too large.
    const std::uint64_t limit = maxBytes + 1;
    for (;;) {
        if (done == bytes.size()) {
            if (bytes.size() >= limit)
                break;
            bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(limit, bytes.size() + 65536)));
        }
        const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            failed = true;
            break;
        }
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    ::close(fd);
    if (failed) {
        if (refusal)
            *refusal = FileRefusal::Missing;
        return std::nullopt;
    }
    if (done > maxBytes) {
        if (refusal)
            *refusal = FileRefusal::TooLarge;
        return std::nullopt;
    }
    bytes.resize(done);
    return bytes;
}

}  // namespace core
