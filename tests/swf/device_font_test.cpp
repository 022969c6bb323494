// Line breaking and measuring with the device font.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "swf/device_font.h"

using namespace swf::device_font;

namespace {

std::u16string textOf(std::u16string_view text, const Line& line) {
    return std::u16string(text.substr(line.begin, line.end - line.begin));
}

TEST(DeviceFont, WidthsScaleWithSizeAndLetterSpacingAndBoldWidens) {
    // Outlines keep fractions of a pixel; device text snaps each advance to whole pixels.
    Style small{10, false, 0, false}, large{20, false, 0, false}, spaced{10, false, 2, false}, bold{10, true, 0, false};
    EXPECT_DOUBLE_EQ(advance(u'a', large), 2 * advance(u'a', small));
    Style device{10, false, 0, true};
    EXPECT_EQ(advance(u'a', device), std::round(advance(u'a', small)));
    EXPECT_DOUBLE_EQ(advance(u'a', spaced), advance(u'a', small) + 2);
    EXPECT_GT(advance(u'a', bold), advance(u'a', small));
    EXPECT_GT(advance(u'm', small), advance(u'i', small));
    EXPECT_EQ(advance(u'\t', small) + advance(u'\x01', small), 0);
    EXPECT_EQ(ascent(12), 13);
    EXPECT_EQ(descent(12), 4);
    EXPECT_EQ(ascent(-5), 0);
    EXPECT_DOUBLE_EQ(ascent(10, false), 10.69);
}

TEST(DeviceFont, LinesBreakAtSpacesAndKeepTheirTrailingSpace) {
    const std::u16string text = u"aaaa bbbb cccc";
    Style style{10, false, 0};
    const double word = 4 * advance(u'a', style), space = advance(u' ', style);
    // Room for two words and the space between them, not for the space after the second.
    const auto lines = layout(text, style, 2 * word + space + space / 2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(textOf(text, lines[0]), u"aaaa ");
    EXPECT_EQ(textOf(text, lines[1]), u"bbbb cccc");
    EXPECT_DOUBLE_EQ(lines[0].width, word + space);
    // Without a width only newlines break, CR LF counting once.
    const std::u16string paragraphs = u"one\r\ntwo\nthree";
    const auto unwrapped = layout(paragraphs, style, std::nullopt);
    ASSERT_EQ(unwrapped.size(), 3u);
    EXPECT_EQ(textOf(paragraphs, unwrapped[1]), u"two");
}

TEST(DeviceFont, AWordWiderThanTheLineBreaksBetweenCharacters) {
    const std::u16string text = u"abcdefghij kl";
    Style style{10, false, 0};
    const auto lines = layout(text, style, 3 * advance(u'e', style));
    ASSERT_GE(lines.size(), 4u);
    for (const Line& line : lines) EXPECT_GT(line.end, line.begin);
    EXPECT_EQ(lines.back().end, text.size());
    // Even a width below one character places one character per line, never none.
    EXPECT_EQ(layout(u"abc", style, 0.5).size(), 3u);
}

TEST(DeviceFont, MeasureCountsLinesAndRoundsTheWidestOne) {
    Style style{12, false, 0};
    const Extent empty = measure(u"", style, std::nullopt);
    EXPECT_EQ(empty.lines, 0);
    EXPECT_EQ(empty.height, 0);
    const Extent two = measure(u"short\na longer line", style, std::nullopt);
    EXPECT_EQ(two.lines, 2);
    EXPECT_EQ(two.height, 2 * (ascent(12) + descent(12)));
    const auto lines = layout(u"short\na longer line", style, std::nullopt);
    EXPECT_EQ(two.width, std::round(lines[1].width));
}

}  // namespace
