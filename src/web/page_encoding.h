#pragma once
// How a page's bytes are to be decoded: the charset the page declares for itself, or,
// when it declares none, UTF-8 for well-formed UTF-8 and GB18030 for anything else (the
// book's pages were written on Simplified Chinese systems).
#include <optional>
#include <string>
#include <string_view>

namespace web {

// True when `bytes` is well-formed UTF-8 (no overlong forms, surrogates or code points
// beyond U+10FFFF, no truncated sequence).
bool isWellFormedUtf8(std::string_view bytes);

// The charset a page declares: a byte-order mark, or a <meta charset> or
// <meta http-equiv="Content-Type" content="...; charset=..."> before the body. Returned as
// a lower-case label; UTF-16 labels in a meta element mean UTF-8, as browsers read them.
std::optional<std::string> declaredCharset(std::string_view page);

// The charset to decode a page with: the declared one, else by the rule above.
std::string pageCharset(std::string_view page);

}  // namespace web
