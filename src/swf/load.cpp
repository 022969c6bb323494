#include "core/regular_file.h"
#include "swf/swf.h"

namespace swf {

std::shared_ptr<const Movie> loadMovieFile(const std::filesystem::path& file) {
    // Only a regular file, and only up to the bound: a FIFO or device never holds the reader.
    core::FileRefusal refusal = core::FileRefusal::Missing;
    const auto bytes = core::readRegularFile(file, kMaxMovieFileBytes, &refusal);
    if (!bytes) {
        if (refusal == core::FileRefusal::TooLarge) throw MalformedMovie("file too large");
        if (refusal == core::FileRefusal::NotRegular) throw MalformedMovie("not a regular file");
        return nullptr;
    }
    return parseMovie(std::span(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size()));
}

}  // namespace swf
