#pragma once
// Writing a stored chapter out to a page file.
#include <string_view>

namespace jet { class Recordset; }

namespace content {

// Writes the m1 bytes of the record on which `rsxs` stands to the page file at
// `pagePath` (an installation path), replacing the file completely. Never fails to its
// caller: every failing step is abandoned and the next one runs.
void ExtractChapter(jet::Recordset& rsxs, std::string_view pagePath) noexcept;

}  // namespace content
