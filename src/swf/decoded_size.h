#pragma once
// What a decoded character costs: an estimate of the memory it holds (for the movie
// budgets) and the edges that drawing it once takes.
#include <cstddef>

#include "swf/movie.h"

namespace swf {

// Most edges one shape, or one outline of a morph shape, may have: drawing more at once
// would hold the window for longer than a click may wait (about 100 ms on a slow machine).
inline constexpr std::size_t kMaxEdgesPerShape = 65'536;

std::size_t decodedSize(const Character& character);
std::size_t edgesToDraw(const Character& character);

// Charges a new dictionary entry to the movie's memory and checks that it can be drawn in
// time; throws MalformedMovie when either is past its bound.
void admitCharacter(const Movie& movie, const Character& character);

}  // namespace swf
