// Any bytes as a page: the sniffer must answer with a charset, never read past the page.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "web/page_encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    const bool utf8 = web::isWellFormedUtf8(page);
    const auto declared = web::declaredCharset(page);
    const std::string charset = web::pageCharset(page);
    if (charset.empty())
        std::abort();
    if (declared && charset != *declared)
        std::abort();  // a declaration always wins
    if (!declared && charset != (utf8 ? "utf-8" : "gb18030"))
        std::abort();
    return 0;
}
