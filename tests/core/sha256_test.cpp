// The digest `chapterstore list` prints, against the published test vectors.
#include <gtest/gtest.h>

#include <string_view>

#include "core/sha256.h"

namespace {

std::string hexOf(std::string_view text)
{
    return core::sha256Hex(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

TEST(Sha256, PublishedVectors)
{
    EXPECT_EQ(hexOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hexOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the length no longer fits the first padded block.
    EXPECT_EQ(hexOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(hexOf(std::string(1'000'000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, PiecewiseUpdatesGiveTheSameDigest)
{
    std::string text;
    for (int i = 0; i < 1000; ++i) text += static_cast<char>(i * 31);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    for (std::size_t piece : {1, 3, 63, 64, 65, 200}) {
        core::Sha256 hash;
        for (std::size_t at = 0; at < text.size(); at += piece)
            hash.update(std::span(bytes + at, std::min(piece, text.size() - at)));
        core::Sha256 whole;
        whole.update(std::span(bytes, text.size()));
        EXPECT_EQ(hash.finish(), whole.finish()) << "pieces of " << piece;
    }
}

}  // namespace
