#include "web/page_encoding.h"

#include <gtest/gtest.h>

namespace {

using web::declaredCharset;
using web::isWellFormedUtf8;
using web::pageCharset;

TEST(WellFormedUtf8, AcceptsAsciiAndEveryLengthOfSequence)
{
    EXPECT_TRUE(isWellFormedUtf8(""));
    EXPECT_TRUE(isWellFormedUtf8("<p>plain</p>"));
    EXPECT_TRUE(isWellFormedUtf8("\xC3\xA9"));          // é
    EXPECT_TRUE(isWellFormedUtf8("\xE4\xB8\xAD\xE6\x96\x87"));  // 中文
    EXPECT_TRUE(isWellFormedUtf8("\xF0\x9F\x93\x96"));  // U+1F4D6
}

TEST(WellFormedUtf8, RejectsWhatADecoderMustNotAccept)
{
    EXPECT_FALSE(isWellFormedUtf8("\xD6\xD0\xCE\xC4"));  // 中文 in GB18030
    EXPECT_FALSE(isWellFormedUtf8("\xC0\x80"));          // overlong NUL
    EXPECT_FALSE(isWellFormedUtf8("\xE0\x80\xAF"));      // overlong '/'
    EXPECT_FALSE(isWellFormedUtf8("\xED\xA0\x80"));      // a surrogate
    EXPECT_FALSE(isWellFormedUtf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
    EXPECT_FALSE(isWellFormedUtf8("ab\xE4\xB8"));        // cut short at the end
    EXPECT_FALSE(isWellFormedUtf8("\x80"));              // a lone continuation byte
    EXPECT_FALSE(isWellFormedUtf8("\xF8\x88\x80\x80\x80"));
}

TEST(DeclaredCharset, ReadsMetaElementsInTheirUsualSpellings)
{
    EXPECT_EQ(declaredCharset("<html><head><meta charset=\"GBK\"></head>"), "gbk");
    EXPECT_EQ(declaredCharset("<META CHARSET=utf-8>"), "utf-8");
    EXPECT_EQ(declaredCharset("<meta charset='big5'/>"), "big5");
    EXPECT_EQ(declaredCharset("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"), "gb2312");
    EXPECT_EQ(declaredCharset("<meta content='text/html;charset=Shift_JIS' http-equiv='content-type'>"), "shift_jis");
    EXPECT_EQ(declaredCharset("<meta name=\"x\" content=\"charset=koi8-r\"><meta charset=\"euc-kr\">"), "euc-kr");
}

TEST(DeclaredCharset, IgnoresWhatIsNoDeclaration)
{
    EXPECT_EQ(declaredCharset("<html><body>no meta</body></html>"), std::nullopt);
    EXPECT_EQ(declaredCharset("<!-- <meta charset=\"big5\"> --><p>x</p>"), std::nullopt);
    EXPECT_EQ(declaredCharset("<body><meta charset=\"big5\"></body>"), std::nullopt);
    EXPECT_EQ(declaredCharset("<head></head><meta charset=\"big5\">"), std::nullopt);
    EXPECT_EQ(declaredCharset("<div title=\"<meta charset=big5>\">"), std::nullopt);
    EXPECT_EQ(declaredCharset("<meta charset=\"a;b\">"), std::nullopt);
    EXPECT_EQ(declaredCharset("<meta charset="), std::nullopt);
    EXPECT_EQ(declaredCharset("<metadata charset=big5>"), std::nullopt);
}

TEST(DeclaredCharset, ByteOrderMarksWinAndUtf16MetaMeansUtf8)
{
    EXPECT_EQ(declaredCharset("\xEF\xBB\xBF<meta charset=gbk>"), "utf-8");
    EXPECT_EQ(declaredCharset("\xFF\xFE<\0h\0"), "utf-16le");
    EXPECT_EQ(declaredCharset("<meta charset=\"UTF-16LE\">"), "utf-8");
}

TEST(PageCharset, FallsBackToUtf8OrGb18030ByTheBytes)
{
    EXPECT_EQ(pageCharset("<p>\xE4\xB8\xAD\xE6\x96\x87</p>"), "utf-8");
    EXPECT_EQ(pageCharset("<p>ascii only</p>"), "utf-8");
    EXPECT_EQ(pageCharset("<p>\xD6\xD0\xCE\xC4</p>"), "gb18030");
    EXPECT_EQ(pageCharset("<meta charset=windows-1252><p>\xC3\xA9</p>"), "windows-1252");
}

}  // namespace
