#pragma once
// Metrics of the device font that fields without embedded outlines are measured with, and
// the line breaking the player does with any font. Scripts see these numbers (textWidth,
// getTextExtent, auto-sized fields), so they are fixed here rather than taken from whatever
// fonts the system has: a sans-serif face with 1.069 em ascent and 0.293 em descent whose
// advances are snapped to whole pixels, as device text is.
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace swf::device_font {

struct Style {
    double size = 12;           // pixels per em
    bool bold = false;
    double letterSpacing = 0;   // pixels added after each character
    bool wholePixels = true;    // device text; embedded outlines keep fractions
};

// Pixels; whole ones for device text.
double ascent(double size, bool wholePixels = true);
double descent(double size, bool wholePixels = true);
double advance(char16_t c, const Style& style);

struct Line {
    size_t begin = 0, end = 0;  // code units of the text, the break (space or newline) excluded
    double width = 0;           // pixels, trailing spaces included
};

using AdvanceFn = std::function<double(char16_t)>;

// Breaks the text into lines at newlines and, when a width is given, at spaces; a word wider
// than the whole width is broken between characters. A word fits when the space after it
// does too. The first line of each paragraph is `firstIndent` narrower.
std::vector<Line> layout(std::u16string_view text, const AdvanceFn& advanceOf, std::optional<double> wrapWidth,
                         double firstIndent = 0);
std::vector<Line> layout(std::u16string_view text, const Style& style, std::optional<double> wrapWidth);

struct Extent {
    double width = 0, height = 0;  // pixels, whole: the widest line, the lines' total height
    int lines = 0;
};
Extent measure(std::u16string_view text, const Style& style, std::optional<double> wrapWidth);

}  // namespace swf::device_font
