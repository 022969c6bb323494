#pragma once
// Script values: undefined, null, booleans, numbers, strings and object references, and the
// conversions between them as the original player does them for each SWF version.
#include <bit>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace swf::avm1 {

struct Object;

// An immutable, reference-counted UTF-8 string. Scripts copy strings around constantly, so a
// copy is one counter increment.
class Str {
public:
    Str() = default;
    Str(std::string text) : d_(new Data{1, std::move(text)}) {}
    Str(std::string_view text) : Str(std::string(text)) {}
    Str(const char* text) : Str(std::string(text)) {}
    Str(const Str& o) : d_(o.d_) { if (d_) ++d_->refs; }
    Str(Str&& o) noexcept : d_(std::exchange(o.d_, nullptr)) {}
    Str& operator=(Str o) noexcept { std::swap(d_, o.d_); return *this; }
    ~Str() { if (d_ && --d_->refs == 0) delete d_; }

    const std::string& str() const { return d_ ? d_->text : empty(); }
    std::string_view view() const { return str(); }
    size_t size() const { return d_ ? d_->text.size() : 0; }
    bool empty_() const { return size() == 0; }
    bool operator==(const Str& o) const { return d_ == o.d_ || str() == o.str(); }

private:
    struct Data {
        uint32_t refs;
        std::string text;
    };
    static const std::string& empty() { static const std::string e; return e; }
    Data* d_ = nullptr;
};

enum class Type : uint8_t { Undefined, Null, Boolean, Number, String, Object };

struct Value {
    Type type = Type::Undefined;
    union {
        bool b;
        double n;
        Object* o;
    };
    Str s;

    Value() : n(0) {}
    Value(double v) : type(Type::Number), n(v) {}
    Value(int v) : type(Type::Number), n(v) {}
    Value(bool v) : type(Type::Boolean), b(v) {}
    Value(Str v) : type(Type::String), n(0), s(std::move(v)) {}
    Value(std::string v) : type(Type::String), n(0), s(std::move(v)) {}
    Value(const char* v) : type(Type::String), n(0), s(v) {}
    Value(Object* v) : type(v ? Type::Object : Type::Null), o(v) {}
    static Value null() { Value v; v.type = Type::Null; return v; }
    // An array slot that holds nothing (never set, or deleted): it reads as undefined but is
    // not enumerated. It stays inside arrays; whatever reads it gets a plain undefined.
    static Value hole() { Value v; v.n = std::bit_cast<double>(kHoleBits); return v; }
    bool isHole() const { return type == Type::Undefined && std::bit_cast<uint64_t>(n) == kHoleBits; }
    static constexpr uint64_t kHoleBits = 0x7FF8'0000'DEAD'0001ull;

    bool isUndefined() const { return type == Type::Undefined; }
    bool isNull() const { return type == Type::Null; }
    bool isNullish() const { return type == Type::Undefined || type == Type::Null; }
    bool isNumber() const { return type == Type::Number; }
    bool isString() const { return type == Type::String; }
    bool isObject() const { return type == Type::Object; }
    Object* object() const { return type == Type::Object ? o : nullptr; }
};

// Number to text as the player prints it: up to 15 significant digits, exponent form
// below 1e-5 and from 1e15 on.
std::string numberToString(double v);
// Number to text in a radix 2..36 (Number.prototype.toString(radix)).
std::string numberToRadix(double v, int radix);
// Text to number for ToNumber (version decides empty strings and hex prefixes).
double stringToNumber(std::string_view s, int version);
// ECMA ToInt32 / ToUint32.
int32_t toInt32(double v);
uint32_t toUint32(double v);
// A number used as a frame, depth, index or count: truncated towards zero, NaN as 0, and
// held 2^20 inside the int range so that the arithmetic done with it afterwards cannot overflow.
int clampToInt(double v);

// UTF-8 helpers for string methods, which count UTF-16 code units in SWF 6 and later.
std::u16string toUtf16(std::string_view s);
std::string toUtf8(std::u16string_view s);
bool isAscii(std::string_view s);

}  // namespace swf::avm1
