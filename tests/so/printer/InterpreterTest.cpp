// The escape-sequence interpreter and the text conversion in front of it: the command trace of
// each sequence, the answers of validate-only mode, and the BinaryConversion and code-page cases.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "tests/so/printer/FormatTestSupport.h"

namespace QVO::Printer::Test {
namespace {

using namespace QVO::Opos;

struct SequenceCase {
    const char* text;
    const char* trace;
    int32_t rc;
};

// A 576-dot head with fonts A 12 x 24 and B 9 x 17, cutter 23 mm.
class InterpreterTest : public ::testing::Test {
protected:
    FormatEngine engine_{L"QP-T80A"};
    PrinterBuffer out_;
};

// Normal mode: what each sequence sends, including the resets at the end of the call.
// Failure examples: the reset after bold missing, a centring left on, size bytes swapped.
TEST_F(InterpreterTest, SequencesGiveTheirCommands) {
    const SequenceCase cases[] = {
        {"abc\n", "text \"abc\" | LF", 0},
        {"\x1b|bCabc\n", "ESC E 1 | text \"abc\" | LF | ESC ! 0", 0},
        {"\x1b|!bCa", "ESC E 0 | text \"a\"", 0},
        {"\x1b|cAabc\n", "ESC a 1 | text \"abc\" | LF | ESC a 0", 0},
        {"\x1b|lAabc", "text \"abc\"", 0},
        {"Total\x1b|rA9.99\n", "text \"Total\" | ESC $ 528 | text \"9.99\" | LF", 0},
        {"\x1b|2Cx", "GS ! 16 | text \"x\" | GS ! 0", 0},
        {"\x1b|3Cx", "GS ! 1 | text \"x\" | GS ! 0", 0},
        {"\x1b|4Cx", "GS ! 17 | text \"x\" | GS ! 0", 0},
        {"\x1b|3hCx", "GS ! 32 | text \"x\" | GS ! 0", 0},
        {"\x1b|2vC\x1b|!vCx", "GS ! 1 | GS ! 0 | text \"x\" | GS ! 0", 0},
        {"\x1b|9hCx", "GS ! 112 | text \"x\" | GS ! 0", OPOS_E_ILLEGAL},
        {"\x1b|uCx", "ESC - 1 | text \"x\" | ESC ! 0", 0},
        {"\x1b|2uCx\x1b|!uC", "ESC - 2 | text \"x\" | ESC - 0 | ESC ! 0", 0},
        {"\x1b|3uCx", "ESC - 1 | text \"x\" | ESC ! 0", OPOS_E_ILLEGAL},
        {"\x1b|iCx", "text \"x\"", 0},
        {"\x1b|rvCx", "GS B 1 | text \"x\" | GS B 0", 0},
        {"\x1b|3lF", "ESC d 3", 0},
        {"\x1b|10uF", "ESC J 20", 0},
        {"\x1b|99999999999.5lF", "ESC d 255", 0},
        {"\x1b|2fTa", "ESC ! 1 | text \"a\"", 0},
        {"\x1b|bCa\x1b|Nb", "ESC E 1 | text \"a\" | ESC ! 0 | ESC a 0 | text \"b\"", 0},
        {"\x1b|cA\x1b|bCTotal\x1b|N\n", "ESC a 1 | ESC E 1 | text \"Total\" | ESC ! 0 | ESC a 0 | LF | ESC a 0", 0},
        {"\x1b|100P", "ESC J 255 | ESC J 17 | GS V 0", 0},
        {"\x1b|P", "ESC J 255 | ESC J 17 | GS V 1", 0},
        {"\x1b|50fP", "ESC J 255 | ESC J 113 | ESC J 255 | ESC J 17 | GS V 1", 0},
        {"a\tb", "text \"ab\"", 0},
        {"a\x0c"
         "b",
         "text \"ab\"", OPOS_E_FAILURE},
        {"\x1b|tL\x1b|bLa", "text \"a\"", 0},
        {"\x1b|3Eabcz", "text \"z\"", 0},
    };
    for (const auto& c : cases) {
        out_.Clear();
        EXPECT_EQ(engine_.Format(c.text, out_), c.rc) << c.text;
        EXPECT_EQ(Trace(out_), c.trace) << c.text;
    }
}

// Sequences the interpreter cannot run reach the paper as the text they were, and the call
// reports 111 unless a valid sequence follows. Failure example: the bytes swallowed.
TEST_F(InterpreterTest, RefusedSequencesArePrintedAsText) {
    const struct {
        const char* text;
        std::string bytes;
        int32_t rc;
    } cases[] = {
        {"\x1b|xZ", "\x1b|xZ", OPOS_E_FAILURE},
        {"\x1b|xZ\x1b|N",
         std::string("\x1b|xZ\x1b!\x00\x1b"
                     "a\x00",
                     10),
         0},
        {"\x1b|101P", "\x1b|101P", OPOS_E_FAILURE},
        {"\x1b|*5P", "\x1b|*5P", OPOS_E_FAILURE},
        {"\x1b|5x9", "\x1b|5x9", OPOS_E_FAILURE},
        {"\x1b|1B", "\x1b|1B", OPOS_E_FAILURE},
        {"\x1b|qA", "\x1b|qA", OPOS_E_FAILURE},
        {"\x1b|3fT", "\x1b|3fT", OPOS_E_FAILURE},
        {"\x1b|xF", "\x1b|xF", OPOS_E_FAILURE},
        {"\x1b|9Eab", "\x1b|9Eab", OPOS_E_FAILURE},
        {"\x1b|5Rs1h2e", "\x1b|5Rs1h2e", OPOS_E_FAILURE},
        {"\x1b|", "\x1b|", OPOS_E_FAILURE},
    };
    for (const auto& c : cases) {
        out_.Clear();
        EXPECT_EQ(engine_.Format(c.text, out_), c.rc) << c.text;
        EXPECT_EQ(Bytes(out_), c.bytes) << c.text;
    }
}

// A well-formed barcode request that the engine cannot carry out leaves nothing and says so.
TEST_F(InterpreterTest, BarcodeRequestNotCarriedOutIsReported) {
    const std::string data = "s105h50w2a-2t-13d012345678905e";
    const std::string text = "\x1b|" + std::to_string(data.size()) + "R" + data + "x";
    EXPECT_EQ(engine_.Format(text, out_), OPOS_E_ILLEGAL);
    EXPECT_EQ(Trace(out_), "text \"x\"");
    out_.Clear();
    EXPECT_EQ(engine_.Format(text, out_, true), OPOS_E_ILLEGAL);
}

// With the printer in Kanji mode the print modes are reset with FS !.
TEST_F(InterpreterTest, KanjiModeResetsThroughKanjiPrintModes) {
    CPrinterFormatTestAccess::SetKanjiMode(engine_, true);
    engine_.Format("\x1b|bCabc\n", out_);
    EXPECT_EQ(Trace(out_), "ESC E 1 | text \"abc\" | LF | FS ! 0");
}

// Validate-only mode stops at the first problem. Failure example: a later valid sequence
// hiding an earlier unknown one.
TEST_F(InterpreterTest, ValidateOnlyAnswersTheFirstProblem) {
    const struct {
        const char* text;
        int32_t rc;
    } cases[] = {
        {"\x1b|bCabc\n", 0},
        {"\x1b|cA\x1b|2C\x1b|50Px\n", 0},
        {"\x1b|3uC", OPOS_E_ILLEGAL},
        {"\x1b|9vC", OPOS_E_ILLEGAL},
        {"\x1b|P", OPOS_E_ILLEGAL},
        {"\x1b|101P", OPOS_E_ILLEGAL},
        {"\x1b|xZ\x1b|N", OPOS_E_FAILURE},
        {"\x1b|3uC\x1b|xZ", OPOS_E_ILLEGAL},
        {"\x1b|1B", OPOS_E_FAILURE},
        {"a\x0c"
         "b\nc",
         OPOS_E_FAILURE},
    };
    for (const auto& c : cases) {
        out_.Clear();
        EXPECT_EQ(engine_.Format(c.text, out_, true), c.rc) << c.text;
    }
}

// BinaryConversion: nibbles (low four bits of each character), decimal triples (ESC counts as
// 0), incomplete groups at the end ignored.
TEST_F(InterpreterTest, BinaryConversionDecodes) {
    const struct {
        int32_t mode;
        const wchar_t* text;
        std::string bytes;
    } cases[] = {
        {0, L"ab", "ab"},
        {1, L"1;40", "\x1b@"},
        {1, L"1;4", "\x1b"},
        {1, L"00FF", std::string("\x00\x76", 2)},
        {2, L"027064", "\x1b@"},
        {2, L"02706", "\x1b"},
        {2,
         L"\x1b"
         L"27255",
         "\x1b\xff"},
        {2, L"256", std::string("\x00", 1)},
        {2, L"1x2", "\x01"},
        {7, L"1;40", ""},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(engine_.SetNumber(PIDX_BinaryConversion, c.mode), 0);
        PrinterBuffer target;
        engine_.DataBinaryConversion(target, c.text, nullptr);
        EXPECT_EQ(Bytes(target), c.bytes) << c.mode;
    }
}

// Text goes out in the code page the printer's table for the character set holds.
TEST_F(InterpreterTest, CodePagesAndTheirSubstitutes) {
    const struct {
        int32_t characterSet;
        int32_t codePage;
        std::string eAcute;
    } cases[] = {
        {437, 437, "\x82"}, {850, 1252, "\xe9"}, {858, 1252, "\xe9"}, {1252, 1252, "\xe9"},
        {998, 437, "\x82"}, {999, 1252, "\xe9"}, {720, 1256, "\xe9"},
    };
    for (const auto& c : cases) {
        // 720 is not in the list an application may set; a model or entry may still choose it.
        engine_.SetCharacterSet(c.characterSet);
        int32_t codePage = -1;
        uint8_t bytes[4] = {};
        EXPECT_EQ(engine_.BStr2Char(L"\u00e9", bytes, sizeof bytes, &codePage), 1) << c.characterSet;
        EXPECT_EQ(codePage, c.codePage);
        EXPECT_EQ(std::string(1, static_cast<char>(bytes[0])), c.eAcute) << c.characterSet;
    }
    // Under BinaryConversion the ANSI code page is used and none is reported.
    engine_.SetNumber(PIDX_BinaryConversion, 1);
    int32_t codePage = -1;
    engine_.BStr2Char(L"ab", nullptr, 0, &codePage);
    EXPECT_EQ(codePage, 0);
    // Only the listed sets are accepted.
    EXPECT_EQ(engine_.SetNumber(PIDXPtr_CharacterSet, 1251), OPOS_E_ILLEGAL);
}

}  // namespace
}  // namespace QVO::Printer::Test
