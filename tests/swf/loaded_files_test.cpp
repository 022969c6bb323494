// What a movie's scripts may load: files inside its own folder only, and MP3 files read
// into a sound (frames counted, ID3v2 text frames read, broken lengths survived).
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "swf/media/mp3_file.h"
#include "swf/movie_folder.h"

namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& path, std::string_view text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

TEST(MovieFolder, ReadsOnlyRegularFilesInsideTheMoviesFolder) {
    QTemporaryDir temp;
    const fs::path root = temp.path().toStdString();
    writeFile(root / "movie" / "sound.mp3", "inside");
    writeFile(root / "movie" / "sub dir" / "a.txt", "deeper");
    writeFile(root / "secret.txt", "outside");
    fs::create_directory_symlink(root, root / "movie" / "up");
    fs::create_symlink(root / "secret.txt", root / "movie" / "link.txt");
    const swf::MovieFolder folder(root / "movie");

    auto text = [&](std::string_view url) {
        auto bytes = folder.read(url, 1000);
        return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("<refused>");
    };
    EXPECT_EQ(text("sound.mp3"), "inside");
    EXPECT_EQ(text("./sound.mp3?cache=1#x"), "inside");
    EXPECT_EQ(text("sub%20dir/a.txt"), "deeper");
    for (std::string_view url : {"../secret.txt", "sub dir/../../secret.txt", "%2E%2E/secret.txt", "up/secret.txt",
                                 "link.txt", "/etc/passwd", "file:///etc/passwd", "http://example.com/sound.mp3",
                                 "C:\\sound.mp3", "sub dir", "", "missing.mp3", "bad%2"})
        EXPECT_EQ(text(url), "<refused>") << url;
    EXPECT_FALSE(folder.read("sound.mp3", 3));  // past the size allowed
    EXPECT_FALSE(swf::MovieFolder().read("sound.mp3", 1000));  // no folder, nothing at all
}

// A silent MPEG-1 layer III frame header: 128 kbit/s, 44.1 kHz, joint stereo (417 bytes).
std::vector<uint8_t> mp3Frames(int count, uint8_t rateBits = 0x90) {
    std::vector<uint8_t> out;
    for (int i = 0; i < count; ++i) {
        std::vector<uint8_t> frame(417, 0);
        frame[0] = 0xFF, frame[1] = 0xFB, frame[2] = rateBits, frame[3] = 0x44;
        out.insert(out.end(), frame.begin(), frame.end());
    }
    return out;
}

std::vector<uint8_t> id3v23(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& frames) {
    std::vector<uint8_t> body;
    for (const auto& [id, content] : frames) {
        body.insert(body.end(), id.begin(), id.end());
        const uint32_t n = uint32_t(content.size());
        body.insert(body.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n), 0, 0});
        body.insert(body.end(), content.begin(), content.end());
    }
    body.resize(body.size() + 20, 0);  // padding
    const uint32_t n = uint32_t(body.size());
    std::vector<uint8_t> tag{'I', 'D', '3', 3, 0, 0, uint8_t(n >> 21 & 0x7F), uint8_t(n >> 14 & 0x7F),
                             uint8_t(n >> 7 & 0x7F), uint8_t(n & 0x7F)};
    tag.insert(tag.end(), body.begin(), body.end());
    return tag;
}

TEST(Mp3File, CountsTheFramesAfterTheTagAndReadsItsText) {
    std::vector<uint8_t> file = id3v23({
        {"TIT2", {0, 'S', 'o', 'n', 'g'}},
        {"TPE1", {1, 0xFF, 0xFE, 'A', 0, 0xE9, 0}},           // UTF-16 with its byte order mark
        {"COMM", {0, 'e', 'n', 'g', 'd', 0, 'N', 'i', 'c', 'e'}},  // description, then the text
        {"APIC", {0, 1, 2, 3}},                                // not text: left out
    });
    const size_t audioStart = file.size();
    const std::vector<uint8_t> frames = mp3Frames(10);
    file.insert(file.end(), frames.begin(), frames.end());
    file.insert(file.end(), {'T', 'A', 'G', 'x', 'y'});  // a trailing ID3v1 tag, cut short

    const auto mp3 = swf::media::readMp3File(file);
    ASSERT_TRUE(mp3);
    EXPECT_EQ(mp3->sound.format.codec, swf::media::SoundCodec::Mp3);
    EXPECT_EQ(mp3->sound.format.rate, 44100);
    EXPECT_TRUE(mp3->sound.format.stereo);
    EXPECT_EQ(mp3->sound.sampleCount, 10u * 1152u);
    EXPECT_EQ(mp3->sound.data.size(), file.size() - audioStart - 5);
    EXPECT_TRUE(mp3->hasId3);
    const std::vector<std::pair<std::string, std::string>> expected{
        {"TIT2", "Song"}, {"songname", "Song"}, {"TPE1", "A\xC3\xA9"}, {"artist", "A\xC3\xA9"},
        {"COMM", "Nice"}, {"comment", "Nice"}};
    EXPECT_EQ(mp3->id3, expected);
}

TEST(Mp3File, SurvivesLyingLengthsAndRefusesWhatIsNoMp3) {
    // A tag that claims more than the file holds, frames that claim more than is left.
    std::vector<uint8_t> file = id3v23({{"TIT2", {0, 'x'}}});
    file[6] = 0x7F;  // tag size far past the end
    EXPECT_FALSE(swf::media::readMp3File(file));
    std::vector<uint8_t> lying = id3v23({{"TIT2", {0, 'x'}}});
    lying[10 + 7] = 0xFF;  // the frame's size past the tag
    std::vector<uint8_t> frames = mp3Frames(3);
    lying.insert(lying.end(), frames.begin(), frames.end());
    lying.resize(lying.size() - 100);  // the last frame cut short
    const auto mp3 = swf::media::readMp3File(lying);
    ASSERT_TRUE(mp3);
    EXPECT_EQ(mp3->sound.sampleCount, 2u * 1152u);
    EXPECT_TRUE(mp3->id3.empty());

    EXPECT_FALSE(swf::media::readMp3File(std::vector<uint8_t>(5000, 0x42)));
    EXPECT_FALSE(swf::media::readMp3File(std::vector<uint8_t>{}));
    EXPECT_FALSE(swf::media::readMp3File(mp3Frames(4, 0x9C)));  // reserved sample rate
}

}  // namespace
