#pragma once
// An estimate of the memory a decoded character holds, for the movie budgets.
#include <cstddef>

#include "swf/movie.h"

namespace swf {

std::size_t decodedSize(const Character& character);

}  // namespace swf
