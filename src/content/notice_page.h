#pragma once
// Small pages of the reader's own, shown instead of a page that cannot be had.
#include <string_view>

namespace content {

// Written into a page file when the stored chapter cannot be read (no current record, or a
// null value): "this chapter could not be read", in Simplified Chinese.
std::string_view unreadableChapterPage();

}  // namespace content
