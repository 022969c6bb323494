#pragma once
// The SWF movie player, usable without the reader:
//   loadMovieFile / parseMovie  - read a movie (movie.h), throwing MalformedMovie
//   Player                      - play and draw it (player.h)
//   FrameClock                  - the one clock every player advances on (frame_clock.h)
//   MovieFolder                 - the files next to a movie its scripts may load (movie_folder.h)
//   ShockwaveFlash              - the control that hosts a player (flash_control.h)
#include <filesystem>
#include <memory>

#include "swf/byte_reader.h"
#include "swf/movie.h"
#include "swf/player.h"

namespace swf {

// Largest movie file read.
inline constexpr uintmax_t kMaxMovieFileBytes = 64u << 20;

// Reads and parses a movie file. Returns null when the file is missing or unreadable;
// throws MalformedMovie when it is read but broken, and likewise for a FIFO, device or
// folder, or a file above kMaxMovieFileBytes, which are never read.
std::shared_ptr<const Movie> loadMovieFile(const std::filesystem::path& file);

}  // namespace swf
