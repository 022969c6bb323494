#pragma once
// MP3 files as Sound.loadSound reads them: the frames become an event sound the decoder
// and mixer already play, and the ID3v2 tag in front gives the text frames scripts see as
// `id3`. Every length in the file is checked against what is there.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "swf/media/media_tags.h"

namespace swf::media {

struct Mp3File {
    SoundDef sound;  // MPEG audio layer III frames, their count of samples and format
    bool hasId3 = false;
    // Text frames of the ID3v2 tag in file order: the frame id ("TIT2", "TPE1", "COMM" ...)
    // and its text as UTF-8.
    std::vector<std::pair<std::string, std::string>> id3;
};

// Reads an MP3 file. nullopt when no MPEG layer III frame follows the optional ID3v2 tag.
// The frames run from the first one found to the last whole one before anything else
// (an ID3v1 tag, a cut, garbage).
std::optional<Mp3File> readMp3File(std::span<const uint8_t> bytes);

}  // namespace swf::media
