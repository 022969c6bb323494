#include "swf/device_font.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace swf::device_font {
namespace {

constexpr double kUnitsPerEm = 1024;
constexpr double kAscent = 1.069, kDescent = 0.293;
// Bold faces run about this much wider.
constexpr double kBoldWidening = 1.07;
// Characters the table has no entry for take a digit's width; ideographs a full em.
constexpr double kOtherAdvance = 586;

// Advances of the printable ASCII characters (space .. '~') in font units.
constexpr std::array<uint16_t, 95> kAsciiAdvances = {
    266, 275, 418, 662, 586, 851, 750, 230, 307, 307, 564, 586, 274, 330, 274, 381,  // ' '..'/'
    586, 586, 586, 586, 586, 586, 586, 586, 586, 586, 274, 274, 586, 586, 586, 444,  // '0'..'?'
    921, 654, 666, 647, 748, 569, 531, 745, 759, 347, 280, 634, 537, 929, 778, 800,  // '@'..'O'
    620, 800, 637, 562, 569, 749, 614, 952, 600, 580, 586, 337, 381, 337, 586, 455,  // 'P'..'_'
    288, 574, 630, 492, 630, 578, 352, 630, 633, 264, 264, 547, 264, 957, 633, 620,  // '`'..'o'
    630, 630, 423, 491, 370, 633, 520, 805, 542, 522, 481, 389, 564, 389, 586,       // 'p'..'~'
};

bool isBreak(char16_t c) { return c == u'\n' || c == u'\r'; }

}  // namespace

double ascent(double size, bool wholePixels) {
    const double v = std::max(0.0, size) * kAscent;
    return wholePixels ? std::round(v) : v;
}

double descent(double size, bool wholePixels) {
    const double v = std::max(0.0, size) * kDescent;
    return wholePixels ? std::round(v) : v;
}

double advance(char16_t c, const Style& style) {
    double units;
    if (c >= 0x20 && c < 0x7F) units = kAsciiAdvances[c - 0x20];
    else if (c < 0x20) units = 0;
    else if (c >= 0x2E80) units = kUnitsPerEm;
    else units = kOtherAdvance;
    double width = units * std::max(0.0, style.size) / kUnitsPerEm;
    if (style.bold) width *= kBoldWidening;
    if (style.wholePixels) width = std::round(width);
    return width + style.letterSpacing;
}

std::vector<Line> layout(std::u16string_view text, const AdvanceFn& advanceOf, std::optional<double> wrapWidth,
                         double firstIndent) {
    std::vector<Line> lines;
    size_t pos = 0;
    while (true) {
        // One paragraph: up to the next newline.
        size_t stop = pos;
        while (stop < text.size() && !isBreak(text[stop])) ++stop;
        Line line{pos, pos, 0};
        double limit = wrapWidth ? *wrapWidth - firstIndent : 0;
        size_t i = pos;
        while (i < stop) {
            if (!wrapWidth || text[i] == u' ') {
                line.width += advanceOf(text[i]);
                line.end = ++i;
                continue;
            }
            // A word: it goes on this line when it fits with the space after it, else on the
            // next one.
            size_t wordEnd = i;
            double wordWidth = 0;
            while (wordEnd < stop && text[wordEnd] != u' ') wordWidth += advanceOf(text[wordEnd++]);
            const double spaceAfter = wordEnd < stop ? advanceOf(u' ') : 0;
            if (line.width + wordWidth + spaceAfter <= limit) {
                line.width += wordWidth;
                line.end = i = wordEnd;
                continue;
            }
            if (line.end > line.begin) {
                lines.push_back(line);
                line = Line{i, i, 0};
                limit = *wrapWidth;
                continue;
            }
            // Wider than the line itself: as many characters as fit, at least one.
            do {
                line.width += advanceOf(text[i]);
                line.end = ++i;
            } while (i < wordEnd && line.width + advanceOf(text[i]) <= limit);
            if (i < wordEnd) {
                lines.push_back(line);
                line = Line{i, i, 0};
                limit = *wrapWidth;
            }
        }
        lines.push_back(line);
        if (stop >= text.size()) break;
        // CR LF is one break.
        pos = stop + (text[stop] == u'\r' && stop + 1 < text.size() && text[stop + 1] == u'\n' ? 2 : 1);
    }
    return lines;
}

std::vector<Line> layout(std::u16string_view text, const Style& style, std::optional<double> wrapWidth) {
    return layout(text, [&style](char16_t c) { return advance(c, style); }, wrapWidth);
}

Extent measure(std::u16string_view text, const Style& style, std::optional<double> wrapWidth) {
    Extent e;
    if (text.empty()) return e;
    const std::vector<Line> lines = layout(text, style, wrapWidth);
    double widest = 0;
    for (const Line& line : lines) widest = std::max(widest, line.width);
    e.lines = int(lines.size());
    e.width = std::round(widest);
    e.height = e.lines * (ascent(style.size) + descent(style.size));
    return e;
}

}  // namespace swf::device_font
