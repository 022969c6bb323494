#pragma once
// Writing a file so that its path never holds a half-written one: the bytes go to a
// temporary file in the same folder, which is synced and renamed over the path only when
// everything was written. Anything that fails leaves the path as it was and removes the
// temporary file.
#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>

namespace chapterstore {

// A failed file operation; the text names the file and the reason.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class AtomicFile {
public:
    // Creates the temporary file next to `target`; throws FileError when it cannot.
    explicit AtomicFile(std::filesystem::path target);
    ~AtomicFile();  // removes the temporary file unless commit() succeeded
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void write(std::span<const std::uint8_t> bytes);
    // Syncs, closes and renames the file into place.
    void commit();

private:
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    int fd_ = -1;
    bool committed_ = false;
};

}  // namespace chapterstore
