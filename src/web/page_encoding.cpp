#include "web/page_encoding.h"

#include <algorithm>
#include <cctype>

namespace web {
namespace {

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool startsWithIgnoringCase(std::string_view text, size_t at, std::string_view prefix)
{
    if (at > text.size() || text.size() - at < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (lower(text[at + i]) != prefix[i])
            return false;
    return true;
}

// A tag name ends at white space, '/', '>' or the end of the text.
bool tagNameEndsAt(std::string_view text, size_t at)
{
    return at >= text.size() || isSpace(text[at]) || text[at] == '/' || text[at] == '>';
}

struct Attribute {
    std::string name;
    std::string value;
};

// Reads one attribute at `pos` inside a tag; nullopt at the tag's end ('>' or end of text).
std::optional<Attribute> readAttribute(std::string_view text, size_t& pos)
{
    while (pos < text.size() && (isSpace(text[pos]) || text[pos] == '/'))
        ++pos;
    if (pos >= text.size() || text[pos] == '>')
        return std::nullopt;
    Attribute attr;
    while (pos < text.size() && !isSpace(text[pos]) && text[pos] != '=' && text[pos] != '>' &&
           !(text[pos] == '/' && !attr.name.empty()))
        attr.name += lower(text[pos++]);
    while (pos < text.size() && isSpace(text[pos]))
        ++pos;
    if (pos >= text.size() || text[pos] != '=')
        return attr;
    ++pos;
    while (pos < text.size() && isSpace(text[pos]))
        ++pos;
    if (pos < text.size() && (text[pos] == '"' || text[pos] == '\'')) {
        const char quote = text[pos++];
        const size_t end = text.find(quote, pos);
        const size_t stop = end == std::string_view::npos ? text.size() : end;
        attr.value.assign(text.substr(pos, stop - pos));
        pos = stop == text.size() ? stop : stop + 1;
    } else {
        while (pos < text.size() && !isSpace(text[pos]) && text[pos] != '>')
            attr.value += text[pos++];
    }
    return attr;
}

// The charset named inside a Content-Type value ("text/html; charset=gb2312").
std::string charsetOfContentType(std::string_view content)
{
    for (size_t at = 0; at < content.size(); ++at) {
        if (!startsWithIgnoringCase(content, at, "charset"))
            continue;
        size_t pos = at + 7;
        while (pos < content.size() && isSpace(content[pos]))
            ++pos;
        if (pos >= content.size() || content[pos] != '=')
            continue;
        ++pos;
        while (pos < content.size() && isSpace(content[pos]))
            ++pos;
        if (pos < content.size() && (content[pos] == '"' || content[pos] == '\''))
            ++pos;
        const size_t start = pos;
        while (pos < content.size() && !isSpace(content[pos]) && content[pos] != ';' && content[pos] != '"' &&
               content[pos] != '\'')
            ++pos;
        return std::string(content.substr(start, pos - start));
    }
    return {};
}

// A label fit to pass on in a content type, lower case; nullopt for anything else.
std::optional<std::string> normalisedLabel(std::string_view raw)
{
    while (!raw.empty() && isSpace(raw.front()))
        raw.remove_prefix(1);
    while (!raw.empty() && isSpace(raw.back()))
        raw.remove_suffix(1);
    if (raw.empty() || raw.size() > 40)
        return std::nullopt;
    std::string label;
    for (char c : raw) {
        const char l = lower(c);
        if (!(std::isalnum(static_cast<unsigned char>(l)) || l == '-' || l == '_' || l == '.' || l == ':'))
            return std::nullopt;
        label += l;
    }
    if (label.starts_with("utf-16"))
        return "utf-8";  // a page that could be read to its meta element is not UTF-16
    if (label == "x-user-defined")
        return "windows-1252";
    return label;
}

std::optional<std::string> metaCharset(std::string_view text, size_t& pos)
{
    std::string charset;
    std::string httpEquiv;
    std::string content;
    while (auto attr = readAttribute(text, pos)) {
        if (attr->name == "charset" && charset.empty())
            charset = attr->value;
        else if (attr->name == "http-equiv")
            httpEquiv = attr->value;
        else if (attr->name == "content")
            content = attr->value;
    }
    if (!charset.empty())
        return normalisedLabel(charset);
    std::transform(httpEquiv.begin(), httpEquiv.end(), httpEquiv.begin(), lower);
    if (httpEquiv == "content-type")
        return normalisedLabel(charsetOfContentType(content));
    return std::nullopt;
}

}  // namespace

bool isWellFormedUtf8(std::string_view bytes)
{
    size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        size_t length;
        char32_t min;
        char32_t code;
        if ((lead & 0xE0) == 0xC0) {
            length = 2, min = 0x80, code = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, min = 0x800, code = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, min = 0x10000, code = lead & 0x07;
        } else {
            return false;
        }
        if (bytes.size() - i < length)
            return false;
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

std::optional<std::string> declaredCharset(std::string_view page)
{
    if (page.starts_with("\xEF\xBB\xBF"))
        return "utf-8";
    if (page.starts_with("\xFE\xFF"))
        return "utf-16be";
    if (page.starts_with("\xFF\xFE"))
        return "utf-16le";

    size_t pos = 0;
    while ((pos = page.find('<', pos)) != std::string_view::npos) {
        if (page.substr(pos).starts_with("<!--")) {
            const size_t end = page.find("-->", pos + 4);
            if (end == std::string_view::npos)
                return std::nullopt;
            pos = end + 3;
        } else if (startsWithIgnoringCase(page, pos, "<meta") && tagNameEndsAt(page, pos + 5)) {
            pos += 5;
            if (auto charset = metaCharset(page, pos))
                return charset;
        } else if ((startsWithIgnoringCase(page, pos, "<body") && tagNameEndsAt(page, pos + 5)) ||
                   (startsWithIgnoringCase(page, pos, "</head") && tagNameEndsAt(page, pos + 6))) {
            return std::nullopt;  // declarations count only in the head
        } else if (pos + 1 < page.size() && std::isalpha(static_cast<unsigned char>(page[pos + 1]))) {
            pos += 1;
            while (readAttribute(page, pos)) {
            }
        } else {
            const size_t end = page.find('>', pos + 1);
            if (end == std::string_view::npos)
                return std::nullopt;
            pos = end + 1;
        }
    }
    return std::nullopt;
}

std::string pageCharset(std::string_view page)
{
    if (auto declared = declaredCharset(page))
        return *declared;
    return isWellFormedUtf8(page) ? "utf-8" : "gb18030";
}

}  // namespace web
