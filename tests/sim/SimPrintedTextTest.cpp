// The command log's "printed" field: text runs through the code table, the international
// character set and Kanji mode, as the characters the paper shows.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "sim/VirtualPrinter.h"
#include "tests/sim/SimTestUtil.h"
#include "tests/support/PrintedLog.h"

namespace QVO::Sim {
namespace {

// A printer of the given kind fed `bytes`; the printed runs of its log.
std::vector<std::string> PrintedRunsOf(const Bytes& bytes, bool multiByte) {
    PrinterIdentity id;
    id.multiByte = multiByte;
    VirtualPrinter printer(id, VirtualPrinter::Rendering::Off);
    const std::string log = ::testing::TempDir() + "printed_" + std::to_string(::getpid()) + ".jsonl";
    EXPECT_TRUE(printer.OpenLog(log));
    printer.Receive(bytes);
    printer.EndOfStream();
    auto runs = Test::PrintedRuns(log);
    std::remove(log.c_str());
    return runs;
}

std::string PrintedOf(const Bytes& bytes, bool multiByte = true) {
    std::string all;
    for (const auto& run : PrintedRunsOf(bytes, multiByte)) all += run;
    return all;
}

// Failure examples: every table read as 437, the national set ignored, Kanji bytes printed
// as two single-byte characters.
TEST(SimPrintedText, FollowsTableNationalSetAndKanji) {
    const Bytes esc1252 = B({0x1B, 0x74, 16}), esc866 = B({0x1B, 0x74, 17});
    EXPECT_EQ(PrintedOf(Cat({esc1252, B({0x80, 0xE9, 'x'})})), "\u20ac\u00e9x");
    EXPECT_EQ(PrintedOf(Cat({esc866, B({0x8F, 0xE0, 0xA8})})), "\u041f\u0440\u0438");
    EXPECT_EQ(PrintedOf(B({0x82, '#'})), "\u00e9#");  // table 0 after power-on
    // Windows Hebrew: its converter holds letters back for combining marks.
    EXPECT_EQ(PrintedOf(B({0x1B, 0x74, 49, 0xF9, 0xEC, 0xE5, 0xED})), "\u05e9\u05dc\u05d5\u05dd");
    EXPECT_EQ(PrintedOf(Cat({B({0x1B, 0x52, 8}), S("a\\b")})), "a\u00a5b");
    EXPECT_EQ(PrintedOf(Cat({B({0x1B, 0x52, 3}), S("#1")})), "\u00a31");
    const Bytes nihon = B({0x93, 0xFA, 0x96, 0x7B});  // Shift_JIS
    EXPECT_EQ(PrintedOf(Cat({B({0x1C, 0x26, 0x1B, 0x52, 8}), nihon})), "\u65e5\u672c");
    // Kanji mode off, or a printer without two-byte characters: four table-0 characters.
    EXPECT_EQ(PrintedOf(nihon), "\u00f4\u00b7\u00fb{");
    EXPECT_EQ(PrintedOf(Cat({B({0x1C, 0x26}), nihon}), false), "\u00f4\u00b7\u00fb{");
}

// A run cut at the decoder's longest run can end on a lead byte: its character appears in the
// next run, whole. Failure example: the lead byte printed alone and the trail as a character.
TEST(SimPrintedText, TwoByteCharacterAcrossRuns) {
    Bytes bytes = B({0x1C, 0x26, 0x1B, 0x52, 8});
    bytes.insert(bytes.end(), 4095, 'a');
    bytes.push_back(0x93);
    bytes.push_back(0xFA);
    const auto runs = PrintedRunsOf(bytes, true);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0], std::string(4095, 'a'));
    EXPECT_EQ(runs[1], "\u65e5");
}

// Quotes and backslashes are escaped, so the JSON line stays readable and exact.
TEST(SimPrintedText, EscapesForJson) {
    EXPECT_EQ(PrintedOf(S("say \"hi\" \\o/")), "say \"hi\" \\o/");
    EXPECT_EQ(JsonEscape("a\"b"), "a\\\"b");
}

}  // namespace
}  // namespace QVO::Sim
