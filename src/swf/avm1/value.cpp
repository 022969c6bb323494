// Number and string conversions of script values.
#include "swf/avm1/value.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace swf::avm1 {

std::string numberToString(double v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
    if (v == 0) return "0";
    if (std::fabs(v) < 1e15 && v == std::floor(v)) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.0f", v);
        return buf;
    }
    // 15 significant digits; split into digits and a decimal exponent.
    char buf[40];
    // Digits that would round up past the largest number are cut instead: one more digit
    // is written and dropped.
    bool cut = std::fabs(v) > 1.797693134862315e308;
    std::snprintf(buf, sizeof buf, cut ? "%.15e" : "%.14e", v);
    std::string text(buf);
    if (cut) text.erase(text.find('e') - 1, 1);
    bool negative = text[0] == '-';
    if (negative) text.erase(0, 1);
    size_t e = text.find('e');
    int exponent = std::atoi(text.c_str() + e + 1);
    std::string digits = text.substr(0, 1) + text.substr(2, e - 2);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    std::string out = negative ? "-" : "";
    if (exponent < -5 || exponent >= 15) {
        out += digits[0];
        if (digits.size() > 1) out += "." + digits.substr(1);
        out += exponent < 0 ? "e-" : "e+";
        out += std::to_string(std::abs(exponent));
    } else if (exponent < 0) {
        out += "0." + std::string(size_t(-exponent - 1), '0') + digits;
    } else {
        size_t intDigits = size_t(exponent) + 1;
        if (digits.size() <= intDigits) {
            out += digits + std::string(intDigits - digits.size(), '0');
        } else {
            out += digits.substr(0, intDigits) + "." + digits.substr(intDigits);
        }
    }
    return out;
}

std::string numberToRadix(double v, int radix) {
    if (radix == 10 || radix < 2 || radix > 36) return numberToString(v);
    if (std::isnan(v)) {
        // NaN becomes the most negative integer, whose digits the player works out with
        // negative remainders: characters below '0' show up.
        int32_t i = std::numeric_limits<int32_t>::min();
        std::string out;
        while (i != 0) {
            out.insert(out.begin(), char('0' + i % radix));
            i /= radix;
        }
        return "-" + out;
    }
    if (!std::isfinite(v)) return numberToString(v);
    // The player converts through a 32-bit integer for other radixes.
    int32_t i = toInt32(v);
    bool negative = i < 0;
    uint32_t u = negative ? uint32_t(-int64_t(i)) : uint32_t(i);
    std::string out;
    do {
        out.insert(out.begin(), "0123456789abcdefghijklmnopqrstuvwxyz"[u % unsigned(radix)]);
        u /= unsigned(radix);
    } while (u);
    if (negative) out.insert(out.begin(), '-');
    return out;
}

static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

double stringToNumber(std::string_view s, int version) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    size_t i = 0;
    while (i < s.size() && isSpace(s[i])) ++i;
    bool leadingSpace = i > 0;
    std::string_view t = s.substr(i);
    if (t.empty()) return version >= 5 ? nan : 0;
    // Hexadecimal (0x) and octal (leading 0) forms from SWF 6 on, read as 32-bit integers.
    if (version >= 6) {
        size_t p = 0;
        bool neg = false;
        if (t[0] == '-' || t[0] == '+') {
            neg = t[0] == '-';
            p = 1;
        }
        auto wrap = [&](uint32_t v) { return double(int32_t(neg ? uint32_t(0) - v : v)); };
        if (t.size() > p + 2 && t[p] == '0' && (t[p + 1] == 'x' || t[p + 1] == 'X')) {
            size_t digits = p + 2;
            // A sign may also follow the 0x.
            if (p == 0 && (t[digits] == '-' || t[digits] == '+')) {
                neg = t[digits] == '-';
                ++digits;
                if (digits == t.size()) return nan;
            }
            uint32_t v = 0;
            for (size_t k = digits; k < t.size(); ++k) {
                char c = t[k];
                int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
                if (d < 0) return nan;
                v = v * 16 + uint32_t(d);
            }
            return wrap(v);
        }
        if (!leadingSpace && t.size() > p + 1 && t[p] == '0') {
            bool octal = true;
            for (size_t k = p + 1; k < t.size(); ++k)
                if (t[k] < '0' || t[k] > '7') octal = false;
            if (octal) {
                uint32_t v = 0;
                for (size_t k = p + 1; k < t.size(); ++k) v = v * 8 + uint32_t(t[k] - '0');
                return wrap(v);
            }
        }
    }
    size_t p = 0;
    if (p < t.size() && (t[p] == '-' || t[p] == '+')) ++p;
    size_t digitsStart = p;
    while (p < t.size() && t[p] >= '0' && t[p] <= '9') ++p;
    bool any = p > digitsStart;
    if (p < t.size() && t[p] == '.') {
        ++p;
        size_t f = p;
        while (p < t.size() && t[p] >= '0' && t[p] <= '9') ++p;
        any = any || p > f;
    }
    if (!any) return version >= 5 ? nan : 0;
    if (p < t.size() && (t[p] == 'e' || t[p] == 'E')) {
        size_t q = p + 1;
        if (q < t.size() && (t[q] == '-' || t[q] == '+')) ++q;
        size_t ds = q;
        while (q < t.size() && t[q] >= '0' && t[q] <= '9') ++q;
        if (q > ds) p = q;
    }
    // Anything after the number, even white space, makes it not a number (SWF 5 on).
    if (p != t.size() && version >= 5) return nan;
    return std::strtod(std::string(t.substr(0, p)).c_str(), nullptr);
}

int clampToInt(double v) {
    constexpr double kLimit = 2147483648.0 - 1048576.0;  // depths up to 2130690045 stay exact
    if (std::isnan(v)) return 0;
    return int(std::clamp(std::trunc(v), -kLimit, kLimit));
}

int32_t toInt32(double v) {
    if (!std::isfinite(v)) return 0;
    if (v >= -2147483648.0 && v <= 2147483647.0) return int32_t(v);
    double m = std::fmod(std::trunc(v), 4294967296.0);
    if (m < 0) m += 4294967296.0;
    return int32_t(uint32_t(m));
}

uint32_t toUint32(double v) { return uint32_t(toInt32(v)); }

bool isAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

std::u16string toUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        unsigned char c = s[i];
        uint32_t cp;
        size_t n;
        if (c < 0x80) { cp = c; n = 1; }
        else if ((c >> 5) == 6 && i + 1 < s.size()) { cp = (c & 0x1F) << 6 | (s[i + 1] & 0x3F); n = 2; }
        else if ((c >> 4) == 14 && i + 2 < s.size()) { cp = (c & 0x0F) << 12 | (s[i + 1] & 0x3F) << 6 | (s[i + 2] & 0x3F); n = 3; }
        else if ((c >> 3) == 30 && i + 3 < s.size()) {
            cp = (c & 0x07) << 18 | (s[i + 1] & 0x3F) << 12 | (s[i + 2] & 0x3F) << 6 | (s[i + 3] & 0x3F);
            n = 4;
        } else { cp = c; n = 1; }
        i += n;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(char16_t(0xD800 + (cp >> 10)));
            out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(char16_t(cp));
        }
    }
    return out;
}

std::string toUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t cp = s[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        if (cp < 0x80) out += char(cp);
        else if (cp < 0x800) { out += char(0xC0 | cp >> 6); out += char(0x80 | (cp & 0x3F)); }
        else if (cp < 0x10000) {
            out += char(0xE0 | cp >> 12); out += char(0x80 | ((cp >> 6) & 0x3F)); out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xF0 | cp >> 18); out += char(0x80 | ((cp >> 12) & 0x3F));
            out += char(0x80 | ((cp >> 6) & 0x3F)); out += char(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

}  // namespace swf::avm1
