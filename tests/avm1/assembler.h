#pragma once
// Builds action bytes by hand for engine tests: pushes, plain actions, jumps and function
// definitions, with the record lengths filled in.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace avm1test {

class Asm {
public:
    std::vector<uint8_t> bytes;

    Asm& op(uint8_t code) {
        bytes.push_back(code);
        return *this;
    }
    Asm& record(uint8_t code, const std::vector<uint8_t>& body) {
        bytes.push_back(code);
        bytes.push_back(uint8_t(body.size()));
        bytes.push_back(uint8_t(body.size() >> 8));
        bytes.insert(bytes.end(), body.begin(), body.end());
        return *this;
    }
    Asm& str(const std::string& s) {
        std::vector<uint8_t> b{0};
        b.insert(b.end(), s.begin(), s.end());
        b.push_back(0);
        return record(0x96, b);
    }
    Asm& num(double v) {
        uint64_t bits;
        std::memcpy(&bits, &v, 8);
        std::vector<uint8_t> b{6};
        uint32_t hi = uint32_t(bits >> 32), lo = uint32_t(bits);
        for (uint32_t part : {hi, lo})
            for (int i = 0; i < 4; ++i) b.push_back(uint8_t(part >> (8 * i)));
        return record(0x96, b);
    }
    Asm& undef() { return record(0x96, {3}); }
    Asm& null() { return record(0x96, {2}); }
    Asm& reg(uint8_t r) { return record(0x96, {4, r}); }
    Asm& boolean(bool v) { return record(0x96, {5, uint8_t(v)}); }
    Asm& jump(int16_t offset) { return record(0x99, {uint8_t(offset), uint8_t(uint16_t(offset) >> 8)}); }
    Asm& ifTrue(int16_t offset) { return record(0x9D, {uint8_t(offset), uint8_t(uint16_t(offset) >> 8)}); }
    Asm& storeRegister(uint8_t r) { return record(0x87, {r}); }

    // Common actions by name.
    Asm& add2() { return op(0x47); }
    Asm& trace() { return op(0x26); }
    Asm& getVariable() { return op(0x1C); }
    Asm& setVariable() { return op(0x1D); }
    Asm& getMember() { return op(0x4E); }
    Asm& setMember() { return op(0x4F); }
    Asm& callFunction() { return op(0x3D); }
    Asm& callMethod() { return op(0x52); }
    Asm& newObject() { return op(0x40); }
    Asm& newMethod() { return op(0x53); }
    Asm& ret() { return op(0x3E); }
    Asm& pop() { return op(0x17); }

    // DefineFunction2 with parameters in the given registers (0: by name).
    Asm& function2(const std::string& name, const std::vector<std::pair<uint8_t, std::string>>& params,
                   uint8_t registers, uint16_t flags, const Asm& body) {
        std::vector<uint8_t> b(name.begin(), name.end());
        b.push_back(0);
        b.push_back(uint8_t(params.size()));
        b.push_back(0);
        b.push_back(registers);
        b.push_back(uint8_t(flags));
        b.push_back(uint8_t(flags >> 8));
        for (auto& [r, n] : params) {
            b.push_back(r);
            b.insert(b.end(), n.begin(), n.end());
            b.push_back(0);
        }
        b.push_back(uint8_t(body.bytes.size()));
        b.push_back(uint8_t(body.bytes.size() >> 8));
        record(0x8E, b);
        bytes.insert(bytes.end(), body.bytes.begin(), body.bytes.end());
        return *this;
    }
    // DefineFunction (version 1) with named parameters.
    Asm& function1(const std::string& name, const std::vector<std::string>& params, const Asm& body) {
        std::vector<uint8_t> b(name.begin(), name.end());
        b.push_back(0);
        b.push_back(uint8_t(params.size()));
        b.push_back(0);
        for (auto& n : params) {
            b.insert(b.end(), n.begin(), n.end());
            b.push_back(0);
        }
        b.push_back(uint8_t(body.bytes.size()));
        b.push_back(uint8_t(body.bytes.size() >> 8));
        record(0x9B, b);
        bytes.insert(bytes.end(), body.bytes.begin(), body.bytes.end());
        return *this;
    }
    // Try with catch into a named variable and an optional finally block.
    Asm& tryCatch(const Asm& tryBlock, const std::string& var, const Asm& catchBlock, const Asm* finallyBlock = nullptr) {
        uint8_t flags = uint8_t(1 | (finallyBlock ? 2 : 0));
        auto size = [](size_t n) { return std::vector<uint8_t>{uint8_t(n), uint8_t(n >> 8)}; };
        std::vector<uint8_t> b{flags};
        for (size_t n : {tryBlock.bytes.size(), catchBlock.bytes.size(), finallyBlock ? finallyBlock->bytes.size() : 0}) {
            auto s = size(n);
            b.insert(b.end(), s.begin(), s.end());
        }
        b.insert(b.end(), var.begin(), var.end());
        b.push_back(0);
        record(0x8F, b);
        bytes.insert(bytes.end(), tryBlock.bytes.begin(), tryBlock.bytes.end());
        bytes.insert(bytes.end(), catchBlock.bytes.begin(), catchBlock.bytes.end());
        if (finallyBlock) bytes.insert(bytes.end(), finallyBlock->bytes.begin(), finallyBlock->bytes.end());
        return *this;
    }
    Asm& with(const Asm& block) {
        record(0x94, {uint8_t(block.bytes.size()), uint8_t(block.bytes.size() >> 8)});
        bytes.insert(bytes.end(), block.bytes.begin(), block.bytes.end());
        return *this;
    }
    size_t size() const { return bytes.size(); }
};

}  // namespace avm1test
