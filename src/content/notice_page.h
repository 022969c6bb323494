#pragma once
// Small pages of the reader's own, shown instead of a page that cannot be had.
#include <string>
#include <string_view>

namespace content {

// Written into a page file when the stored chapter cannot be read (no current record, or a
// null value): "this chapter could not be read", in Simplified Chinese.
std::string_view unreadableChapterPage();

// Shown instead of a stored chapter whose page file could not be written whole, with the
// reason: the disk is full, the folder cannot be written, or the system's own words for
// `error` (an errno).
std::string unwrittenChapterPage(int error);

}  // namespace content
