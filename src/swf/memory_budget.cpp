#include "swf/memory_budget.h"

#include <string>

#include "swf/byte_reader.h"

namespace swf {
namespace {

std::atomic<std::size_t> inUse{0};

}  // namespace

MemoryCharge::~MemoryCharge() { inUse -= bytes_; }

void MemoryCharge::charge(std::size_t bytes) {
    if (bytes > kMovieMemoryBudget - bytes_)
        throw MalformedMovie("decoded content over the movie's budget of " +
                             std::to_string(kMovieMemoryBudget >> 20) + " MB");
    std::size_t before = inUse.load();
    do {
        if (bytes > kAllMoviesMemoryBudget - std::min(before, kAllMoviesMemoryBudget))
            throw MalformedMovie("decoded content over the budget of " + std::to_string(kAllMoviesMemoryBudget >> 20) +
                                 " MB for all movies");
    } while (!inUse.compare_exchange_weak(before, before + bytes));
    bytes_ += bytes;
}

std::size_t moviesMemoryInUse() { return inUse.load(); }

}  // namespace swf
