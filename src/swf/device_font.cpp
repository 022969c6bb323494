#include "swf/device_font.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace swf::device_font {
namespace {

constexpr double kUnitsPerEm = 2048;
constexpr double kAscent = 1.069, kDescent = 0.293;
// Bold faces run about this much wider.
constexpr double kBoldWidening = 1.07;

// Advances of the printable ASCII characters (space .. '~') in font units.
constexpr std::array<uint16_t, 95> kAsciiAdvances = {
    532,  547,  821,  1323, 1146, 1704, 1436, 450,  555,  555,  1108, 1146, 492,  659,  545,  694,   // ' '..'/'
    1146, 1146, 1146, 1146, 1146, 1146, 1146, 1146, 1146, 1146,                                      // digits
    545,  545,  1146, 1146, 1146, 879,  1799,                                                        // ':'..'@'
    1295, 1338, 1268, 1481, 1139, 1057, 1487, 1497, 545,  528,  1235, 1057, 1841, 1563, 1600, 1237,  // A..P
    1600, 1254, 1093, 1114, 1487, 1214, 1876, 1149, 1116, 1128,                                      // Q..Z
    643,  694,  643,  1092, 879,  1182,                                                              // '['..'`'
    1139, 1255, 975,  1255, 1149, 694,  1122, 1257, 518,  518,  1075, 518,  1905, 1257, 1237, 1255,  // a..p
    1255, 836,  977,  723,  1257, 1026, 1593, 1073, 1028, 977,                                       // q..z
    764,  1128, 764,  1146,                                                                          // '{'..'~'
};

bool isBreak(char16_t c) { return c == u'\n' || c == u'\r'; }

}  // namespace

double ascent(double size) { return std::round(std::max(0.0, size) * kAscent); }
double descent(double size) { return std::round(std::max(0.0, size) * kDescent); }

double advance(char16_t c, const Style& style) {
    double units;
    if (c >= 0x20 && c < 0x7F) units = kAsciiAdvances[c - 0x20];
    else if (c < 0x20) units = 0;
    else if (c >= 0x2E80) units = kUnitsPerEm;  // CJK and beyond: full width
    else units = 1146;
    double width = units * std::max(0.0, style.size) / kUnitsPerEm;
    if (style.bold) width *= kBoldWidening;
    return width + style.letterSpacing;
}

std::vector<Line> layout(std::u16string_view text, const Style& style, std::optional<double> wrapWidth) {
    std::vector<Line> lines;
    size_t pos = 0;
    while (true) {
        // One paragraph: up to the next newline.
        size_t stop = pos;
        while (stop < text.size() && !isBreak(text[stop])) ++stop;
        Line line{pos, pos, 0};
        size_t i = pos;
        while (i < stop) {
            if (!wrapWidth || text[i] == u' ') {
                line.width += advance(text[i], style);
                line.end = ++i;
                continue;
            }
            // A word: it goes on this line when it fits with the space after it, else on the
            // next one.
            size_t wordEnd = i;
            double wordWidth = 0;
            while (wordEnd < stop && text[wordEnd] != u' ') wordWidth += advance(text[wordEnd++], style);
            const double spaceAfter = wordEnd < stop ? advance(u' ', style) : 0;
            if (line.width + wordWidth + spaceAfter <= *wrapWidth) {
                line.width += wordWidth;
                line.end = i = wordEnd;
                continue;
            }
            if (line.end > line.begin) {
                lines.push_back(line);
                line = Line{i, i, 0};
                continue;
            }
            // Wider than the line itself: as many characters as fit, at least one.
            do {
                line.width += advance(text[i], style);
                line.end = ++i;
            } while (i < wordEnd && line.width + advance(text[i], style) <= *wrapWidth);
            if (i < wordEnd) {
                lines.push_back(line);
                line = Line{i, i, 0};
            }
        }
        lines.push_back(line);
        if (stop >= text.size()) break;
        // CR LF is one break.
        pos = stop + (text[stop] == u'\r' && stop + 1 < text.size() && text[stop + 1] == u'\n' ? 2 : 1);
    }
    return lines;
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
