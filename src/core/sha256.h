#pragma once
// SHA-256 (FIPS 180-4): digests of stored values, printed by the store tool and checked by tests.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace core {

class Sha256 {
public:
    Sha256();
    void update(std::span<const std::uint8_t> data);
    std::array<std::uint8_t, 32> finish();  // the object is spent afterwards

private:
    void compress(const std::uint8_t* block);
    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> buffer_{};
    std::size_t buffered_ = 0;
    std::uint64_t totalBytes_ = 0;
};

// Lower-case hex digest of `data`.
std::string sha256Hex(std::span<const std::uint8_t> data);

}  // namespace core
