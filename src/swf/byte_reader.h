#pragma once
// Bounds-checked reading of SWF data: little-endian integers, bit fields, fixed-point
// numbers and strings. Every read checks what remains and throws MalformedMovie, so a
// length or count from a file can never take a read past the end of its tag.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "core/error.h"

namespace swf {

// Error number of a movie that cannot be read.
inline constexpr long kMalformedMovie = 1601;

class MalformedMovie : public core::RuntimeError {
public:
    explicit MalformedMovie(const std::string& what) : core::RuntimeError(kMalformedMovie, what) {}
};

class ByteReader {
public:
    explicit ByteReader(std::span<const uint8_t> data) : data_(data) {}

    size_t position() const { return pos_; }
    size_t remaining() const { return data_.size() - pos_; }
    bool atEnd() const { return pos_ >= data_.size(); }
    std::span<const uint8_t> data() const { return data_; }

    uint8_t u8() {
        align();
        need(1);
        return data_[pos_++];
    }
    uint16_t u16() {
        align();
        need(2);
        uint16_t v = uint16_t(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return v;
    }
    int16_t s16() { return int16_t(u16()); }
    uint32_t u32() {
        align();
        need(4);
        uint32_t v = uint32_t(data_[pos_]) | uint32_t(data_[pos_ + 1]) << 8 |
                     uint32_t(data_[pos_ + 2]) << 16 | uint32_t(data_[pos_ + 3]) << 24;
        pos_ += 4;
        return v;
    }
    // 8.8 fixed point.
    double fixed8() { return s16() / 256.0; }
    float f32() {
        uint32_t bits = u32();
        float f;
        static_assert(sizeof f == sizeof bits);
        __builtin_memcpy(&f, &bits, sizeof f);
        return f;
    }
    double f64() {
        // Action doubles are stored as two little-endian 32-bit halves, high half first.
        uint64_t hi = u32();
        uint64_t lo = u32();
        uint64_t bits = hi << 32 | lo;
        double d;
        __builtin_memcpy(&d, &bits, sizeof d);
        return d;
    }

    std::span<const uint8_t> bytes(size_t count) {
        align();
        need(count);
        auto out = data_.subspan(pos_, count);
        pos_ += count;
        return out;
    }
    std::span<const uint8_t> rest() { return bytes(remaining()); }
    void skip(size_t count) { bytes(count); }

    // A NUL-terminated string; the terminator is consumed. A missing terminator is malformed.
    std::string cstring() {
        align();
        size_t end = pos_;
        while (end < data_.size() && data_[end] != 0) ++end;
        if (end >= data_.size()) throw MalformedMovie("unterminated string");
        std::string s(reinterpret_cast<const char*>(data_.data() + pos_), end - pos_);
        pos_ = end + 1;
        return s;
    }

    // Bit fields are read from the most significant bit of each byte. Any byte-wise read
    // first drops the rest of a partly read byte.
    uint32_t ub(unsigned count) {
        if (count > 32) throw MalformedMovie("bit field too wide");
        uint32_t v = 0;
        for (unsigned i = 0; i < count; ++i) {
            if (bitsLeft_ == 0) {
                need(1);
                bitBuffer_ = data_[pos_++];
                bitsLeft_ = 8;
            }
            --bitsLeft_;
            v = (v << 1) | ((bitBuffer_ >> bitsLeft_) & 1u);
        }
        return v;
    }
    int32_t sb(unsigned count) {
        if (count == 0) return 0;
        uint32_t v = ub(count);
        if (count < 32 && (v & (1u << (count - 1)))) v |= ~0u << count;
        return int32_t(v);
    }
    // 16.16 fixed point in `count` bits.
    double fb(unsigned count) { return sb(count) / 65536.0; }
    bool flag() { return ub(1) != 0; }
    void align() { bitsLeft_ = 0; }

private:
    void need(size_t count) const {
        if (count > data_.size() - pos_) throw MalformedMovie("read past the end of the data");
    }

    std::span<const uint8_t> data_;
    size_t pos_ = 0;
    uint8_t bitBuffer_ = 0;
    unsigned bitsLeft_ = 0;
};

}  // namespace swf
