// MP3 files: the ID3v2 tag in front, then MPEG audio layer III frames.
#include "swf/media/mp3_file.h"

#include <QString>
#include <array>

namespace swf::media {

namespace {

struct FrameHeader {
    int version = 0;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    int rate = 0;
    bool stereo = false;
    size_t size = 0;  // bytes, header included
    int samples = 0;  // per channel
};

std::optional<FrameHeader> frameHeaderAt(std::span<const uint8_t> bytes, size_t at) {
    if (at + 4 > bytes.size()) return std::nullopt;
    const uint32_t h = uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 | uint32_t(bytes[at + 2]) << 8 | bytes[at + 3];
    if ((h >> 21) != 0x7FF) return std::nullopt;
    const int version = int(h >> 19) & 3, layer = int(h >> 17) & 3;
    const int bitrateIndex = int(h >> 12) & 15, rateIndex = int(h >> 10) & 3;
    if (version == 1 || layer != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return std::nullopt;
    static constexpr std::array<int, 15> kMpeg1Kbps{0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static constexpr std::array<int, 15> kMpeg2Kbps{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    static constexpr std::array<int, 3> kMpeg1Rates{44100, 48000, 32000};
    FrameHeader f;
    f.version = version;
    f.rate = kMpeg1Rates[size_t(rateIndex)] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    f.stereo = ((h >> 6) & 3) != 3;
    const int bitsPerSecond = (version == 3 ? kMpeg1Kbps : kMpeg2Kbps)[size_t(bitrateIndex)] * 1000;
    const int padding = int(h >> 9) & 1;
    f.samples = version == 3 ? 1152 : 576;
    f.size = size_t((version == 3 ? 144 : 72) * bitsPerSecond / f.rate + padding);
    return f;
}

uint32_t synchsafe(std::span<const uint8_t> b) {
    return uint32_t(b[0] & 0x7F) << 21 | uint32_t(b[1] & 0x7F) << 14 | uint32_t(b[2] & 0x7F) << 7 | (b[3] & 0x7F);
}

uint32_t bigEndian(std::span<const uint8_t> b) {
    uint32_t v = 0;
    for (uint8_t c : b) v = v << 8 | c;
    return v;
}

// Undoes the tag's unsynchronisation: every 0xFF 0x00 pair stands for 0xFF.
std::vector<uint8_t> resynchronised(std::span<const uint8_t> b) {
    std::vector<uint8_t> out;
    out.reserve(b.size());
    for (size_t i = 0; i < b.size(); ++i) {
        out.push_back(b[i]);
        if (b[i] == 0xFF && i + 1 < b.size() && b[i + 1] == 0) ++i;
    }
    return out;
}

// One string of a text frame in the frame's encoding, up to its terminator. `used` is
// set to the bytes taken, terminator included.
std::string textOf(uint8_t encoding, std::span<const uint8_t> b, size_t* used = nullptr) {
    const bool wide = encoding == 1 || encoding == 2;
    size_t end = 0;
    if (wide) {
        while (end + 1 < b.size() && (b[end] || b[end + 1])) end += 2;
        if (end + 1 >= b.size()) end = b.size() & ~size_t(1);
    } else {
        while (end < b.size() && b[end]) ++end;
    }
    if (used) *used = std::min(b.size(), end + (wide ? 2 : 1));
    const auto* chars = reinterpret_cast<const char*>(b.data());
    if (encoding == 0) return QString::fromLatin1(chars, qsizetype(end)).toStdString();
    if (encoding == 3) return std::string(chars, end);
    bool littleEndian = false;
    size_t at = 0;
    if (encoding == 1 && end >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
        littleEndian = b[0] == 0xFF;
        at = 2;
    }
    std::u16string units;
    for (; at < end; at += 2)  // end is even and within b
        units.push_back(char16_t(littleEndian ? b[at] | b[at + 1] << 8 : b[at] << 8 | b[at + 1]));
    return QString::fromStdU16String(units).toStdString();
}

// ID3v2.2 names its frames with three letters; scripts see the later four-letter names.
std::string frameIdOf(std::string_view id) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 8> kOldIds{{
        {"TT2", "TIT2"}, {"TP1", "TPE1"}, {"TAL", "TALB"}, {"TYE", "TYER"},
        {"TRK", "TRCK"}, {"TCO", "TCON"}, {"COM", "COMM"}, {"TEN", "TENC"},
    }};
    for (const auto& [old, now] : kOldIds)
        if (id == old) return std::string(now);
    return std::string(id);
}

// The names ID3v1 gave the common frames, which scripts read as well.
std::string_view shortNameOf(std::string_view id) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 7> kNames{{
        {"COMM", "comment"}, {"TALB", "album"}, {"TCON", "genre"}, {"TIT2", "songname"},
        {"TPE1", "artist"}, {"TRCK", "track"}, {"TYER", "year"},
    }};
    for (const auto& [id3v2, name] : kNames)
        if (id == id3v2) return name;
    return {};
}

void readTagFrames(int major, std::span<const uint8_t> tag, Mp3File& out) {
    const size_t idLength = major == 2 ? 3 : 4, headerLength = major == 2 ? 6 : 10;
    size_t at = 0;
    while (at + headerLength <= tag.size() && tag[at] != 0) {
        const std::string_view rawId(reinterpret_cast<const char*>(&tag[at]), idLength);
        const std::span<const uint8_t> sizeBytes = tag.subspan(at + idLength, major == 2 ? 3 : 4);
        const size_t size = major == 4 ? synchsafe(sizeBytes) : bigEndian(sizeBytes);
        const uint8_t formatFlags = major == 2 ? 0 : tag[at + 9];
        at += headerLength;
        if (size > tag.size() - at) break;
        std::span<const uint8_t> body = tag.subspan(at, size);
        at += size;
        std::vector<uint8_t> plain;
        if (major == 4 && (formatFlags & 0x02)) {
            plain = resynchronised(body);
            body = plain;
        }
        // Compressed, encrypted or grouped frames carry more than text: left out.
        if (major >= 3 && (formatFlags & (major == 4 ? 0x4C : 0xE0))) continue;
        const std::string id = frameIdOf(rawId);
        if (body.empty()) continue;
        std::string text;
        if (id == "COMM") {
            if (body.size() < 4) continue;
            size_t used = 0;
            textOf(body[0], body.subspan(4), &used);  // the comment's short description
            text = textOf(body[0], body.subspan(4 + used));
        } else if (id[0] == 'T' && id != "TXXX") {
            text = textOf(body[0], body.subspan(1));
        } else {
            continue;
        }
        out.id3.emplace_back(id, text);
        if (std::string_view name = shortNameOf(id); !name.empty()) out.id3.emplace_back(std::string(name), text);
    }
}

// Skips the ID3v2 tag at the start, reading its text frames. Returns where the audio starts.
size_t readId3v2(std::span<const uint8_t> bytes, Mp3File& out) {
    if (bytes.size() < 10 || bytes[0] != 'I' || bytes[1] != 'D' || bytes[2] != '3') return 0;
    const int major = bytes[3];
    const uint8_t flags = bytes[5];
    size_t end = 10 + size_t(synchsafe(bytes.subspan(6, 4)));
    if (major == 4 && (flags & 0x10)) end += 10;  // footer
    end = std::min(end, bytes.size());
    out.hasId3 = true;
    if (major < 2 || major > 4) return end;
    std::span<const uint8_t> tag = bytes.subspan(10, std::min(end, bytes.size()) - 10);
    std::vector<uint8_t> plain;
    if (major < 4 && (flags & 0x80)) {
        plain = resynchronised(tag);
        tag = plain;
    }
    if (major >= 3 && (flags & 0x40) && tag.size() >= 4) {  // extended header
        const size_t extended = major == 4 ? synchsafe(tag.first(4)) : bigEndian(tag.first(4)) + 4;
        tag = tag.subspan(std::min(extended, tag.size()));
    }
    readTagFrames(major, tag, out);
    return end;
}

}  // namespace

std::optional<Mp3File> readMp3File(std::span<const uint8_t> bytes) {
    Mp3File out;
    size_t at = readId3v2(bytes, out);
    // The first frame: a header whose frame is followed by another, or ends the file.
    std::optional<FrameHeader> first;
    for (; at + 4 <= bytes.size(); ++at) {
        first = frameHeaderAt(bytes, at);
        if (!first) continue;
        const size_t next = at + first->size;
        if (next == bytes.size()) break;
        if (auto second = frameHeaderAt(bytes, next); second && second->version == first->version && second->rate == first->rate)
            break;
        first.reset();
    }
    if (!first) return std::nullopt;
    const size_t start = at;
    uint64_t samples = 0;
    while (true) {
        std::optional<FrameHeader> f = frameHeaderAt(bytes, at);
        if (!f || f->version != first->version || f->rate != first->rate || f->size > bytes.size() - at) break;
        samples += uint64_t(f->samples);
        at += f->size;
    }
    if (samples == 0) return std::nullopt;
    out.sound.format.codec = SoundCodec::Mp3;
    out.sound.format.rate = first->rate;
    out.sound.format.sixteenBit = true;
    out.sound.format.stereo = first->stereo;
    out.sound.sampleCount = uint32_t(std::min<uint64_t>(samples, UINT32_MAX));
    out.sound.data.assign(bytes.begin() + ptrdiff_t(start), bytes.begin() + ptrdiff_t(at));
    return out;
}

}  // namespace swf::media
