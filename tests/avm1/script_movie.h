#pragma once
// Reads just enough of a SWF file to run its root timeline's scripts without the player:
// the version, frame rate and each frame's DoAction/DoInitAction bytes.
#include <zlib.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace avm1test {

struct ScriptMovie {
    int version = 0;
    double frameRate = 12;
    std::vector<std::vector<std::vector<uint8_t>>> frames;  // per frame, its action blocks in order
};

inline std::optional<ScriptMovie> readScriptMovie(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), {});
    if (file.size() < 8) return std::nullopt;
    ScriptMovie m;
    m.version = file[3];
    uint32_t length = file[4] | file[5] << 8 | file[6] << 16 | uint32_t(file[7]) << 24;
    std::vector<uint8_t> body;
    if (file[0] == 'F') {
        body.assign(file.begin() + 8, file.end());
    } else if (file[0] == 'C') {
        body.resize(std::min<uint32_t>(length, 64u << 20));
        uLongf size = body.size();
        if (uncompress(body.data(), &size, file.data() + 8, uLong(file.size() - 8)) != Z_OK && size == 0) return std::nullopt;
        body.resize(size);
    } else {
        return std::nullopt;
    }
    if (body.empty()) return std::nullopt;
    size_t bits = body[0] >> 3;
    size_t pos = (5 + bits * 4 + 7) / 8;
    if (pos + 4 > body.size()) return std::nullopt;
    m.frameRate = body[pos + 1] + body[pos] / 256.0;
    pos += 4;
    m.frames.emplace_back();
    size_t initBlocks = 0;  // DoInitAction blocks run before the frame's DoAction, in file order
    while (pos + 2 <= body.size()) {
        uint16_t header = uint16_t(body[pos] | body[pos + 1] << 8);
        pos += 2;
        size_t code = header >> 6, len = header & 0x3F;
        if (len == 0x3F) {
            if (pos + 4 > body.size()) break;
            len = body[pos] | body[pos + 1] << 8 | body[pos + 2] << 16 | size_t(body[pos + 3]) << 24;
            pos += 4;
        }
        if (len > body.size() - pos) break;
        if (code == 0) break;
        if (code == 1) {
            m.frames.emplace_back();
            initBlocks = 0;
        }
        if (code == 12) m.frames.back().emplace_back(body.begin() + long(pos), body.begin() + long(pos + len));
        if (code == 59 && len >= 2)
            m.frames.back().insert(m.frames.back().begin() + long(initBlocks++),
                                   std::vector<uint8_t>(body.begin() + long(pos + 2), body.begin() + long(pos + len)));
        pos += len;
    }
    if (m.frames.size() > 1 && m.frames.back().empty()) m.frames.pop_back();
    return m;
}

}  // namespace avm1test
