// Character sets without one printer table: 997 (Unicode) in runs of the model's code tables,
// 999 through the system ANSI code page, and sets no platform page converts. The bytes go
// through a virtual printer that prints two-byte characters; its log says what was printed.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "platform/text/TextConv.h"
#include "sim/VirtualPrinter.h"
#include "tests/so/printer/FormatTestSupport.h"
#include "tests/support/PrintedLog.h"

namespace QVO::Printer::Test {
namespace {

// This program's system ANSI code page is Windows Cyrillic, which no printer table carries;
// set before anything reads it (the setting is read once per process).
const bool kAnsiCyrillic = (setenv("QUVO_ANSI_CODEPAGE", "1251", 1), true);

class TextEngine : public FormatEngine {
public:
    using CPrinterBase::MutableParameters;
    using CPrinterBase::SetCharacterSet;
    using FormatEngine::FormatEngine;

    // What one PrintNormal call sends: the code page the output starts in, then the text.
    PrinterBuffer Output(const std::wstring& text) {
        PrinterBuffer in, out;
        int32_t codePage = 0;
        DataBinaryConversion(in, text, &codePage);
        CmdHelper()->SelectCodePage(out, codePage);
        FormatStringToOutBuffer(out, in.Bytes(), false);
        return out;
    }
};

std::string Utf8(const std::wstring& text) { return Platform::Text::WideToUtf8(text); }

// The text `bytes` print as on a printer with two-byte characters.
std::string Printed(const PrinterBuffer& bytes) {
    Sim::PrinterIdentity id;
    id.multiByte = true;
    Sim::VirtualPrinter printer(id, Sim::VirtualPrinter::Rendering::Off);
    const std::string log = ::testing::TempDir() + "runs_" + std::to_string(::getpid()) + ".jsonl";
    EXPECT_TRUE(printer.OpenLog(log));
    printer.Receive(bytes.Data(), bytes.Size());
    printer.EndOfStream();
    std::string text = QVO::Test::PrintedText(log);
    std::remove(log.c_str());
    return text;
}

size_t Count(const std::string& haystack, const std::string& needle) {
    size_t n = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
    return n;
}

class UnicodeRunsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kAnsiCyrillic);
        engine_.SetCharacterSet(997);
    }
    TextEngine engine_{L"QP-T80A"};
};

// Each script prints as written, through the table that carries it. Failure examples: text
// converted in one code page (all '?'), a switch missing, two-byte characters split.
TEST_F(UnicodeRunsTest, EveryScriptPrintsAsWritten) {
    const wchar_t* texts[] = {
        L"Gr\u00fc\u00dfe, se\u00f1or! \u00c7a co\u00fbte 5 \u20ac",                        // Latin-1 and the euro
        L"Za\u017c\u00f3\u0142\u0107 g\u0119\u015bl\u0105 ja\u017a\u0144",                  // Polish
        L"\u0421\u044a\u0435\u0448\u044c \u0436\u0435 \u0435\u0449\u0451",                  // Russian
        L"\u0391\u0392\u0393\u0394 \u03b1\u03b2\u03b3\u03b4 \u03a3\u03a9",                  // Greek
        L"\u05e9\u05dc\u05d5\u05dd \u05e2\u05d5\u05dc\u05dd",                               // Hebrew
        L"\u0645\u0631\u062d\u0628\u0627 \u0628\u0627\u0644\u0639\u0627\u0644\u0645",       // Arabic
        L"\u65e5\u672c\u8a9e\u306e\u30c6\u30ad\u30b9\u30c8\u3001\u30ab\u30bf\u30ab\u30ca",  // Japanese
        L"\u0e2a\u0e27\u0e31\u0e2a\u0e14\u0e35",                                            // Thai
        L"a\\b | \u00e9 \u65e5 \u0416 \u05d0 \u0628 \u0142 \u20ac z",                       // all at once
    };
    for (const wchar_t* text : texts) EXPECT_EQ(Printed(engine_.Output(text)), Utf8(text)) << Utf8(text);
}

// A table is selected per run, not per character, and the call ends in the set's own
// selection (FS & ESC t 0 ESC R 0), which the next output counts on. Plain ASCII needs none.
TEST_F(UnicodeRunsTest, SwitchesOncePerRunAndSwitchesBack) {
    const std::string cyrillic = Trace(engine_.Output(L"\u041f\u0440\u0438\u0432\u0435\u0442 \u043c\u0438\u0440"));
    EXPECT_EQ(Count(cyrillic, "ESC t 17"), 1u) << cyrillic;
    const std::string run = "ESC t 17 | ESC R 0 | text \"\x8f\xe0\xa8\xa2\xa5\xe2 \xac\xa8\xe0\"";
    EXPECT_TRUE(cyrillic.ends_with(run + " | FS & | ESC t 0 | ESC R 0")) << cyrillic;
    const std::string ascii = Trace(engine_.Output(L"Total 9.99\n"));
    EXPECT_EQ(ascii, "FS & | ESC t 0 | ESC R 0 | text \"Total 9.99\" | LF");
}

// Widths count characters, never the switch commands nor UTF-8 bytes: a right-aligned run
// ends at the right edge. Failure example: ESC $ placed 8 or 10 bytes' width too far left.
TEST_F(UnicodeRunsTest, AlignmentCountsCharacterCells) {
    // 576-dot line, font A 12 dots: five Cyrillic letters are 60 dots, two Kanji 48.
    EXPECT_NE(Trace(engine_.Output(L"ab\x1b|rA\u0418\u0442\u043e\u0433\u043e\n")).find("ESC $ 516"), std::string::npos);
    EXPECT_NE(Trace(engine_.Output(L"ab\x1b|rA\u65e5\u672c\n")).find("ESC $ 528"), std::string::npos);
}

// '?' only for what no table of the model has. Failure examples: the whole text lost, a
// character the model lacks printed from a table it does not have.
TEST_F(UnicodeRunsTest, QuestionMarkOnlyWhereNoTableHasIt) {
    EXPECT_EQ(Printed(engine_.Output(L"a\U0001F600b \u03ad")), "a?b ?");
    // A model whose font names only 437 and 852: Polish prints, Russian cannot.
    engine_.MutableParameters().fonts[0].codePages = L"437,852";
    EXPECT_EQ(Printed(engine_.Output(L"\u0142\u00f3d\u017a \u0416")), Utf8(L"\u0142\u00f3d\u017a ?"));
    EXPECT_EQ(Trace(engine_.Output(L"\u0416")).find("ESC t 17"), std::string::npos);
}

// 999 is the system ANSI code page (1251 here): its characters print (no printer table is
// 1251, so through runs), others are '?' as in that page. 255 and a registry code page no
// table carries print too, instead of nothing.
TEST_F(UnicodeRunsTest, AnsiAndUnconvertibleSets) {
    engine_.SetCharacterSet(999);
    EXPECT_EQ(Printed(engine_.Output(L"\u0414\u0430 \u00e9 \u20ac")), Utf8(L"\u0414\u0430 ? \u20ac"));
    engine_.SetCharacterSet(255);
    EXPECT_EQ(Printed(engine_.Output(L"abc \u0416")), Utf8(L"abc \u0416"));
    engine_.SetCharacterSet(1251);
    EXPECT_EQ(Printed(engine_.Output(L"\u0416\u0443\u043a")), Utf8(L"\u0416\u0443\u043a"));
    // A set with its own table keeps its plain conversion: no switches.
    engine_.SetCharacterSet(866);
    EXPECT_EQ(Trace(engine_.Output(L"\u0416")), "FS . | ESC t 17 | ESC R 0 | text \"\x86\"");
}

}  // namespace
}  // namespace QVO::Printer::Test
