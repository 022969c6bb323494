#pragma once
// MovieFolder: the files a movie may read besides itself, for the scripts that load a sound
// or a picture by a relative address. Only regular files inside the movie's own folder are
// reached: no scheme, no absolute path, no way out by ".." or by a link that points
// elsewhere. Nothing is ever fetched from the network.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace swf {

class MovieFolder {
public:
    MovieFolder() = default;  // no folder: every read is refused
    explicit MovieFolder(const std::filesystem::path& folder);

    // The file a relative address ("sound.mp3", "media/a%20b.png?v=2") names inside the
    // folder; nullopt when it names nothing there.
    std::optional<std::filesystem::path> resolve(std::string_view url) const;
    // Its bytes; nullopt when refused, unreadable or larger than maxBytes.
    std::optional<std::vector<uint8_t>> read(std::string_view url, uintmax_t maxBytes) const;

private:
    std::filesystem::path folder_;  // canonical; empty when there is none
};

}  // namespace swf
