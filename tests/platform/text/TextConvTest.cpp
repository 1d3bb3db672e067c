// Text conversion: the printer code pages, UTF-8 and the ANSI code page, and what happens to
// characters a code page cannot hold.
#include "platform/text/TextConv.h"

#include <gtest/gtest.h>

namespace {

using namespace QVO::Platform::Text;

// Catches a wrong code page table: the same character lands on different bytes in the code
// pages a receipt printer uses.
TEST(TextConvTest, PrinterCodePagesPutCharactersOnTheirOwnBytes) {
    const struct {
        int codePage;
        std::wstring text;
        std::string bytes;
    } cases[] = {
        {437, L"\u00e9\u00a3\u2591", "\x82\x9c\xb0"},  // é £ ░
        {850, L"\u00e9\u00f8", "\x82\x9b"},
        {858, L"\u20ac", "\xd5"},  // the euro sign is 858's change to 850
        {866, L"\u0416", "\x86"},  // Cyrillic Zhe
        {1252, L"\u20ac\u00e9", "\x80\xe9"},
        {932, L"\u3042", "\x82\xa0"},  // Hiragana A in Shift_JIS
        {kCodePageUtf8, L"\u00e9", "\xc3\xa9"},
        {28591, L"\u00e9", "\xe9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.codePage);
        bool lossy = true;
        EXPECT_EQ(WideToCodePage(c.text, c.codePage, &lossy), c.bytes);
        EXPECT_FALSE(lossy);
        EXPECT_EQ(CodePageToWide(c.bytes, c.codePage), c.text);
    }
}

// One character the code page lacks must not lose the rest of the line.
TEST(TextConvTest, MissingCharactersBecomeQuestionMarksAndTheRestSurvives) {
    bool lossy = false;
    EXPECT_EQ(WideToCodePage(L"a\u20acb\u4e2dc", 437, &lossy), "a?b?c");
    EXPECT_TRUE(lossy);
    EXPECT_EQ(Utf8ToWide("ok\xff"
                         "done"),
              L"ok?done");
    EXPECT_EQ(WideToUtf8(L""), "");
}

TEST(TextConvTest, UnknownCodePagesAreReportedNotGuessed) {
    EXPECT_EQ(CharsetOfCodePage(-5), "");
    EXPECT_EQ(CharsetOfCodePage(12345), "");
    EXPECT_EQ(CharsetOfCodePage(437), "CP437");
    EXPECT_EQ(CharsetOfCodePage(kCodePageUtf8), "UTF-8");
    bool lossy = false;
    EXPECT_EQ(WideToCodePage(L"abc", 12345, &lossy), "");
    EXPECT_TRUE(lossy);
}

TEST(TextConvTest, AnsiIsWindows1252ByDefault) {
    if (getenv("QUVO_ANSI_CODEPAGE")) GTEST_SKIP() << "QUVO_ANSI_CODEPAGE is set for this run";
    EXPECT_EQ(SystemAnsiCodePage(), 1252);
    EXPECT_EQ(WideToAnsi(L"\u20ac"), "\x80");
    EXPECT_EQ(AnsiToWide("\x80"), L"\u20ac");
}

}  // namespace
