#pragma once
// Reading files that the book names (the store, movies, pages, the help program): only
// regular files, after following links, and never more than a bound. A FIFO, device,
// socket or folder is refused at once, the same as a missing file, so that nothing the
// book points at can block the reader or feed it without end.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace core {

enum class FileRefusal {
    Missing,     // not there, or not readable
    NotRegular,  // a FIFO, device, socket or folder
    TooLarge,    // above the caller's bound
};

// True when `file` (links followed) is a regular file.
bool isRegularFile(const std::filesystem::path& file);

// Opens `file` for reading when it is a regular file, without blocking on whatever else
// it might be; the descriptor is blocking again on return. -1 and `refusal` otherwise.
// `size` receives the file's size.
int openRegularFile(const std::filesystem::path& file, std::uint64_t& size, FileRefusal& refusal);

// The whole content of a regular file of at most `maxBytes`; nullopt and `refusal` otherwise.
std::optional<std::string> readRegularFile(const std::filesystem::path& file, std::uint64_t maxBytes,
                                           FileRefusal* refusal = nullptr);

}  // namespace core
