#include "atomic_file.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace chapterstore {
namespace {

[[noreturn]] void failWith(const std::string& what, const std::filesystem::path& path, int error)
{
    throw FileError(what + " " + path.string() + ": " + std::strerror(error));
}

}  // namespace

AtomicFile::AtomicFile(std::filesystem::path target) : target_(std::move(target))
{
    const auto folder = target_.has_parent_path() ? target_.parent_path() : std::filesystem::path(".");
    std::string pattern = (folder / ("." + target_.filename().string() + ".tmp-XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) failWith("cannot create a file in", folder, errno);
    temporary_ = name.data();
    // mkostemp makes the file private; give it the permissions a newly created file gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
}

AtomicFile::~AtomicFile()
{
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(temporary_.c_str());
}

void AtomicFile::write(std::span<const std::uint8_t> bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            failWith("cannot write", target_, errno);
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
}

void AtomicFile::commit()
{
    if (::fsync(fd_) != 0) failWith("cannot write", target_, errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) failWith("cannot write", target_, errno);
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) failWith("cannot create", target_, errno);
    committed_ = true;
}

}  // namespace chapterstore
