#pragma once
// Writing a stored chapter out to a page file.
#include <string_view>

namespace jet { class Recordset; }

namespace content {

// Writes the m1 bytes of the record on which `rsxs` stands to the page file at
// `pagePath` (an installation path), replacing the file completely and at once (a
// temporary file renamed over it), and remembers them for the page view (core/page_files.h).
// Where the installation cannot be written the file goes to the per-user overlay. A page
// that cannot be written whole (a full disk, a folder that cannot be written) leaves no
// file behind, and the page view shows a notice with the reason instead. Never fails to
// its caller: every failing step is abandoned and the next one runs.
void ExtractChapter(jet::Recordset& rsxs, std::string_view pagePath) noexcept;

}  // namespace content
