#pragma once
// Actions: a small assembler for ActionScript 1/2 bytecode, as DoAction, DoInitAction,
// button conditions and clip events carry it. Pushes of strings (through the constant pool
// when one is set), numbers, booleans and registers; the common stack actions by name;
// jumps and branches to labels; DefineFunction/DefineFunction2, Try and With with their
// bodies. Record lengths and branch offsets are filled in as the code is written; a record
// or a body too long for its 16-bit length throws std::length_error.
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace swf::writer {

class Actions {
public:
    // A position in the code, bound once; jumps to it may come before or after the binding.
    struct Label {
        size_t index = 0;
    };

    // Any action: a single byte, or a record with its body.
    Actions& op(uint8_t code);
    Actions& record(uint8_t code, std::span<const uint8_t> body);
    Actions& record(uint8_t code, std::initializer_list<uint8_t> body) {
        return record(code, std::span<const uint8_t>(body.begin(), body.size()));
    }

    // ConstantPool: later pushes of these strings push their index instead.
    Actions& constantPool(const std::vector<std::string>& strings);
    // A function body written apart uses the pool of the code that defines it.
    Actions& usePoolOf(const Actions& outer) {
        pool_ = outer.pool_;
        return *this;
    }

    // Push, one value per record.
    Actions& str(std::string_view text);
    Actions& num(double value);  // whole numbers in the int range go as integers
    Actions& undef() { return record(0x96, {3}); }
    Actions& null() { return record(0x96, {2}); }
    Actions& reg(uint8_t r) { return record(0x96, {4, r}); }
    Actions& boolean(bool v) { return record(0x96, {5, uint8_t(v)}); }
    Actions& storeRegister(uint8_t r) { return record(0x87, {r}); }

    // The stack actions scripts use most.
    Actions& add2() { return op(0x47); }
    Actions& subtract() { return op(0x0B); }
    Actions& multiply() { return op(0x0C); }
    Actions& divide() { return op(0x0D); }
    Actions& modulo() { return op(0x3F); }
    Actions& less2() { return op(0x48); }
    Actions& greater() { return op(0x67); }
    Actions& equals2() { return op(0x49); }
    Actions& strictEquals() { return op(0x66); }
    Actions& logicalNot() { return op(0x12); }
    Actions& increment() { return op(0x50); }
    Actions& decrement() { return op(0x51); }
    Actions& dup() { return op(0x4C); }
    Actions& pop() { return op(0x17); }
    Actions& trace() { return op(0x26); }
    Actions& getVariable() { return op(0x1C); }
    Actions& setVariable() { return op(0x1D); }
    Actions& defineLocal() { return op(0x3C); }
    Actions& getMember() { return op(0x4E); }
    Actions& setMember() { return op(0x4F); }
    Actions& deleteMember() { return op(0x3A); }
    Actions& callFunction() { return op(0x3D); }
    Actions& callMethod() { return op(0x52); }
    Actions& newObject() { return op(0x40); }
    Actions& newMethod() { return op(0x53); }
    Actions& initObject() { return op(0x43); }
    Actions& initArray() { return op(0x42); }
    Actions& typeOf() { return op(0x44); }
    Actions& ret() { return op(0x3E); }
    Actions& stop() { return op(0x07); }
    Actions& play() { return op(0x06); }
    Actions& gotoFrame(uint16_t frameFromZero) { return record(0x81, {uint8_t(frameFromZero), uint8_t(frameFromZero >> 8)}); }
    Actions& gotoLabel(std::string_view label);

    // Branches. The label form works forwards and backwards; the offset form is raw (bytes
    // from the end of the branch record), for code that means to jump somewhere odd.
    Label label();
    Actions& bind(Label at);
    Actions& jump(Label to) { return branch(0x99, to); }
    Actions& ifTrue(Label to) { return branch(0x9D, to); }
    Actions& jump(int16_t offset) { return record(0x99, {uint8_t(offset), uint8_t(uint16_t(offset) >> 8)}); }
    Actions& ifTrue(int16_t offset) { return record(0x9D, {uint8_t(offset), uint8_t(uint16_t(offset) >> 8)}); }

    // DefineFunction2: parameters in registers (0: by name), `registers` allocated, the
    // preload/suppress flags as stored. DefineFunction: named parameters.
    Actions& function2(std::string_view name, const std::vector<std::pair<uint8_t, std::string>>& params,
                       uint8_t registers, uint16_t flags, const Actions& body);
    Actions& function1(std::string_view name, const std::vector<std::string>& params, const Actions& body);
    // Try with the caught value in a named variable, and an optional finally block.
    Actions& tryCatch(const Actions& tryBlock, std::string_view variable, const Actions& catchBlock,
                      const Actions* finallyBlock = nullptr);
    Actions& with(const Actions& block);

    // Another block's code, inline (its labels must all be bound).
    Actions& append(const Actions& code);

    size_t size() const { return code_.size(); }
    // The code as written; every label used must have been bound.
    const std::vector<uint8_t>& bytes() const { return code_; }
    // The code with the End action a DoAction or clip event block ends with.
    std::vector<uint8_t> block() const;

private:
    Actions& branch(uint8_t code, Label to);
    void patch(size_t at, size_t target);

    std::vector<uint8_t> code_;
    std::vector<std::string> pool_;
    static constexpr size_t kUnbound = SIZE_MAX;
    std::vector<size_t> labels_;                       // label -> bound offset
    std::vector<std::pair<size_t, size_t>> pending_;  // (offset field position, label)
};

// Function flags of DefineFunction2, as stored.
namespace function_flag {
inline constexpr uint16_t kPreloadThis = 0x01, kSuppressThis = 0x02, kPreloadArguments = 0x04,
                          kSuppressArguments = 0x08, kPreloadSuper = 0x10, kSuppressSuper = 0x20,
                          kPreloadRoot = 0x40, kPreloadParent = 0x80, kPreloadGlobal = 0x100;
}

}  // namespace swf::writer
