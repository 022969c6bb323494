#pragma once
// What a movie's decoded content (bitmaps, shapes, glyphs, text) may take in memory: a
// budget per movie and one for every movie of the process together. A movie past either
// is refused like a broken one (MalformedMovie), never the program.
#include <atomic>
#include <cstddef>

namespace swf {

inline constexpr std::size_t kMovieMemoryBudget = std::size_t(256) << 20;
inline constexpr std::size_t kAllMoviesMemoryBudget = std::size_t(512) << 20;

// The memory one movie has been charged, given back when the movie goes.
class MemoryCharge {
public:
    MemoryCharge() = default;
    ~MemoryCharge();
    MemoryCharge(const MemoryCharge&) = delete;
    MemoryCharge& operator=(const MemoryCharge&) = delete;

    // Adds `bytes`; throws MalformedMovie (and adds nothing) when either budget would be passed.
    void charge(std::size_t bytes);
    std::size_t bytes() const { return bytes_; }

private:
    std::size_t bytes_ = 0;
};

// What every living movie has been charged together.
std::size_t moviesMemoryInUse();

}  // namespace swf
