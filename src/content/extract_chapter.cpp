#include "content/extract_chapter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <span>
#include <system_error>

#include "content/notice_page.h"
#include "core/install_path.h"
#include "jet/ado.h"

namespace content {
namespace {

// Writes all of `bytes` with one write request (repeated only if the kernel takes less).
void writeWhole(int fd, std::span<const std::uint8_t> bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
}

}  // namespace

void ExtractChapter(jet::Recordset& rsxs, std::string_view pagePath) noexcept
{
    // Every failing step is abandoned and the next one runs; nothing reaches the caller.
    std::filesystem::path file;
    try {
        file = core::resolveInstallPath(pagePath);
    } catch (...) {
        return;  // no path, nothing to write
    }

    std::error_code ignored;
    std::filesystem::remove(file, ignored);

    jet::Bytes page;
    try {
        page = rsxs.Fields("m1").Value();
    } catch (...) {
        // The record cannot be read (past the last record, or a null value): the page file
        // says so instead of showing an empty page.
        try {
            const std::string_view notice = unreadableChapterPage();
            page.assign(notice.begin(), notice.end());
        } catch (...) {
            page.clear();
        }
    }

    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;  // a missing or read-only folder: nothing written, nothing reported
    writeWhole(fd, page);
    ::close(fd);
}

}  // namespace content
