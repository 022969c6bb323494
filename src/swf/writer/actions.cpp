// The action assembler.
#include "swf/writer/actions.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace swf::writer {

namespace {

void putU16(std::vector<uint8_t>& out, size_t value) {
    if (value > 0xFFFF) throw std::length_error("action record longer than 65535 bytes");
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

void putString(std::vector<uint8_t>& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

}  // namespace

Actions& Actions::op(uint8_t code) {
    code_.push_back(code);
    return *this;
}

Actions& Actions::record(uint8_t code, std::span<const uint8_t> body) {
    code_.push_back(code);
    putU16(code_, body.size());
    code_.insert(code_.end(), body.begin(), body.end());
    return *this;
}

Actions& Actions::constantPool(const std::vector<std::string>& strings) {
    std::vector<uint8_t> body;
    putU16(body, strings.size());
    for (const std::string& s : strings) putString(body, s);
    pool_ = strings;
    return record(0x88, body);
}

Actions& Actions::str(std::string_view text) {
    auto it = std::find(pool_.begin(), pool_.end(), text);
    if (it != pool_.end()) {
        const size_t index = size_t(it - pool_.begin());
        if (index < 256) return record(0x96, {8, uint8_t(index)});
        return record(0x96, {9, uint8_t(index), uint8_t(index >> 8)});
    }
    std::vector<uint8_t> body{0};
    putString(body, text);
    return record(0x96, body);
}

Actions& Actions::num(double value) {
    if (std::trunc(value) == value && value >= -2147483648.0 && value <= 2147483647.0 &&
        !(value == 0 && std::signbit(value))) {
        const auto v = uint32_t(int32_t(value));
        return record(0x96, {7, uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
    }
    // Doubles are stored as two little-endian 32-bit halves, the high half first.
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    std::vector<uint8_t> body{6};
    for (uint32_t half : {uint32_t(bits >> 32), uint32_t(bits)})
        for (int i = 0; i < 4; ++i) body.push_back(uint8_t(half >> (8 * i)));
    return record(0x96, body);
}

Actions& Actions::gotoLabel(std::string_view label) {
    std::vector<uint8_t> body;
    putString(body, label);
    return record(0x8C, body);
}

Actions::Label Actions::label() {
    labels_.push_back(kUnbound);
    return Label{labels_.size() - 1};
}

Actions& Actions::bind(Label at) {
    if (at.index >= labels_.size() || labels_[at.index] != kUnbound) throw std::logic_error("label bound twice");
    labels_[at.index] = code_.size();
    std::erase_if(pending_, [&](const std::pair<size_t, size_t>& use) {
        if (use.second != at.index) return false;
        patch(use.first, code_.size());
        return true;
    });
    return *this;
}

Actions& Actions::branch(uint8_t code, Label to) {
    if (to.index >= labels_.size()) throw std::logic_error("label from another block");
    record(code, {0, 0});
    const size_t field = code_.size() - 2;
    if (labels_[to.index] != kUnbound) patch(field, labels_[to.index]);
    else pending_.emplace_back(field, to.index);
    return *this;
}

void Actions::patch(size_t at, size_t target) {
    // Offsets count from the end of the branch record, which ends with the field.
    const auto offset = std::ptrdiff_t(target) - std::ptrdiff_t(at + 2);
    if (offset < -32768 || offset > 32767) throw std::length_error("branch further than 32 KB");
    const auto raw = uint16_t(int16_t(offset));
    code_[at] = uint8_t(raw);
    code_[at + 1] = uint8_t(raw >> 8);
}

Actions& Actions::append(const Actions& code) {
    if (!code.pending_.empty()) throw std::logic_error("code with a label never bound");
    code_.insert(code_.end(), code.code_.begin(), code.code_.end());
    return *this;
}

Actions& Actions::function2(std::string_view name, const std::vector<std::pair<uint8_t, std::string>>& params,
                            uint8_t registers, uint16_t flags, const Actions& body) {
    std::vector<uint8_t> head;
    putString(head, name);
    putU16(head, params.size());
    head.push_back(registers);
    head.push_back(uint8_t(flags));
    head.push_back(uint8_t(flags >> 8));
    for (const auto& [r, n] : params) {
        head.push_back(r);
        putString(head, n);
    }
    putU16(head, body.size());
    record(0x8E, head);
    append(body);
    return *this;
}

Actions& Actions::function1(std::string_view name, const std::vector<std::string>& params, const Actions& body) {
    std::vector<uint8_t> head;
    putString(head, name);
    putU16(head, params.size());
    for (const std::string& n : params) putString(head, n);
    putU16(head, body.size());
    record(0x9B, head);
    append(body);
    return *this;
}

Actions& Actions::tryCatch(const Actions& tryBlock, std::string_view variable, const Actions& catchBlock,
                           const Actions* finallyBlock) {
    std::vector<uint8_t> head{uint8_t(1 | (finallyBlock ? 2 : 0))};
    putU16(head, tryBlock.size());
    putU16(head, catchBlock.size());
    putU16(head, finallyBlock ? finallyBlock->size() : 0);
    putString(head, variable);
    record(0x8F, head);
    append(tryBlock);
    append(catchBlock);
    if (finallyBlock) append(*finallyBlock);
    return *this;
}

Actions& Actions::with(const Actions& block) {
    std::vector<uint8_t> head;
    putU16(head, block.size());
    record(0x94, head);
    append(block);
    return *this;
}

std::vector<uint8_t> Actions::block() const {
    if (!pending_.empty()) throw std::logic_error("label never bound");
    std::vector<uint8_t> out = code_;
    out.push_back(0);
    return out;
}

}  // namespace swf::writer
