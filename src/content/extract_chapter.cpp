#include "content/extract_chapter.h"

#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>

#include "content/notice_page.h"
#include "core/install_path.h"
#include "core/page_files.h"
#include "jet/ado.h"

namespace content {
namespace {

bool folderCannotBeWritten(int error) { return error == EACCES || error == EPERM || error == EROFS; }

// The page file in the per-user overlay, written whole; 0 or the errno of the failure.
int writeToOverlay(const std::filesystem::path& file, std::string_view page)
{
    const auto overlay = core::overlayFileFor(file, core::applicationFolder());
    if (!overlay)
        return EACCES;
    std::error_code ec;
    std::filesystem::create_directories(overlay->parent_path(), ec);
    if (ec)
        return ec.value();
    return core::replaceFileWhole(*overlay, page);
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

    std::string page;
    try {
        const jet::Bytes value = rsxs.Fields("m1").Value();
        page.assign(value.begin(), value.end());
    } catch (...) {
        // The record cannot be read (past the last record, or a null value): the page file
        // says so instead of showing an empty page.
        try {
            page = unreadableChapterPage();
        } catch (...) {
            page.clear();
        }
    }

    try {
        // Written whole or not at all, so that a second reader on this installation never
        // shows half a page; the page view shows these bytes whatever that reader writes.
        int error = core::replaceFileWhole(file, page);
        if (error == 0) {
            if (const auto overlay = core::overlayFileFor(file, core::applicationFolder())) {
                std::error_code ignored;
                std::filesystem::remove(*overlay, ignored);  // the installation's copy is the one now
            }
        } else if (folderCannotBeWritten(error)) {
            // An installation that belongs to someone else: the page goes to this user's overlay.
            error = writeToOverlay(file, page);
        }
        if (error != 0) {
            // Nothing half-written stays: the old page goes (as it would have before the
            // write), and the reader is told why this chapter is not shown.
            std::error_code ignored;
            std::filesystem::remove(file, ignored);
            page = unwrittenChapterPage(error);
        }
        core::rememberPage(file, std::move(page));
    } catch (...) {
        // out of memory: the page view reads the file, if any
    }
}

}  // namespace content
