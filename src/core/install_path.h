#pragma once
// Installation paths: the application folder followed by a relative path that begins
// with a backslash ("<folder>\res\1p.html"), formed by plain concatenation as the
// book's code always has. This is the one place that turns such a path into a file.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace core {

// The folder of the running executable, without a trailing separator except at the
// root. Read afresh on every call (a test may override it, see below).
std::string applicationFolder();

// Tests run the reader against a folder of their own.
void overrideApplicationFolder(std::optional<std::string> folder);

// Turns an installation path into a native path: backslashes become separators and each
// component is matched against the directory entries without regard to case. A component
// that does not exist (a file about to be written) keeps its spelling; so does every
// component after it. Of entries that differ only in case the smallest name is taken, for
// every spelling alike. Empty components (a doubled separator) are dropped.
std::filesystem::path resolveInstallPath(std::string_view installPath);

// True when a path asked for relative to the application folder (by a page, say) cannot
// leave it by its text: no ".." component between any kind of separator, no NUL. Links
// inside the installation are the installer's and are followed; nothing a page or a store
// holds can make one.
bool staysInsideFolder(std::string_view relativePath);

// True when `file`, after resolving symbolic links and "..", lies inside `folder`.
bool isInsideFolder(const std::filesystem::path& file, const std::filesystem::path& folder);

}  // namespace core
