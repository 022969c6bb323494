#pragma once
// What a decoded character costs: an estimate of the memory it holds (for the movie
// budgets) and the edges that drawing it once takes.
#include <cstddef>

#include "swf/movie.h"

namespace swf {

// Most edges one shape, or one outline of a morph shape, may have: far more would hold the
// window for seconds at each frame. Not lower: the reference suite's heavy tessellation
// movie has a shape of more than 32,768 edges. (Measured on a busy two-core machine, a
// morph of 16,000 edges drawn at 400x400 took about 100 ms, one of 60,000 about 600 ms.)
inline constexpr std::size_t kMaxEdgesPerShape = 65'536;

std::size_t decodedSize(const Character& character);
std::size_t edgesToDraw(const Character& character);

// Charges a new dictionary entry to the movie's memory and checks that it can be drawn in
// time; throws MalformedMovie when either is past its bound.
void admitCharacter(const Movie& movie, const Character& character);

}  // namespace swf
