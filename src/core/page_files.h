#pragma once
// The page files the reader writes into its installation ("res\Chapter\faj.trm" and
// "temp.html"), and where they go when the installation cannot be written.
//
// - A page file is replaced whole: written to a temporary file beside it and renamed over
//   it, so that a second reader on the same installation never sees half of a page.
// - This process remembers the bytes it last wrote to each page file, and the page view
//   shows those, whatever another reader has written to the file since.
// - Where the application folder cannot be written (an installation owned by root), the
//   page files go to a per-user overlay, $XDG_CACHE_HOME/talvorin/<installation>/, under
//   the same relative names; installation paths look there first.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace core {

// The per-user overlay of the application folder `appFolder`: a folder under
// $XDG_CACHE_HOME/talvorin (~/.cache/talvorin when unset) named after the installation
// folder, the same for every run and distinct for distinct installations.
std::filesystem::path overlayFolder(const std::string& appFolder);

// `installFile` (a native path inside `appFolder`) in the overlay; nullopt when it does not
// lie inside the application folder by its text.
std::optional<std::filesystem::path> overlayFileFor(const std::filesystem::path& installFile,
                                                    const std::string& appFolder);

// Replaces `file` with `bytes` through a temporary file and a rename. Returns 0, or the
// errno of the step that failed; a failed write leaves neither a temporary file nor a
// partial `file` behind (the previous `file`, if any, is untouched).
int replaceFileWhole(const std::filesystem::path& file, std::string_view bytes);

// The bytes this process last handed out for page file `file` (native installation
// path), kept until replaced.
void rememberPage(const std::filesystem::path& file, std::string bytes);
std::optional<std::string> rememberedPage(const std::filesystem::path& file);
// For tests: forget every page.
void forgetPages();

}  // namespace core
