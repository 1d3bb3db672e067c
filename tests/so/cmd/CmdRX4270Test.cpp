// The variant builder through the interface: packets, dropped commands, its own commands.
#include <gtest/gtest.h>

#include <vector>

#include "CmdCases.h"
#include "CmdSharedCases.h"
#include "so/cmd/CmdHelper_RX4270.h"
#include "constants/OposPtrConstants.h"

namespace QVO::Printer {
namespace {

using namespace TestTrace;
using namespace QVO::Opos;

class CmdRX4270Test : public ::testing::Test {
protected:
    void TearDown() override { CCmdHelperBase::SetCutterDistance(0); }
    CmdHelper_RX4270 variant;
    ICmdHelper& helper = variant;
};

TEST_F(CmdRX4270Test, InheritedFormattingIsByteIdentical) { RunCases(helper, SharedFormattingCases()); }
TEST_F(CmdRX4270Test, InheritedFeedsAreByteIdentical) { RunCases(helper, SharedFeedCases()); }
TEST_F(CmdRX4270Test, InheritedGraphicsAreByteIdentical) { RunCases(helper, SharedGraphicsCases()); }
TEST_F(CmdRX4270Test, InheritedSymbolsAreByteIdentical) { RunCases(helper, SharedSymbolCases()); }

TEST_F(CmdRX4270Test, MissingCommandsAppendNothing) {
    const std::vector<OpCase> cases = {
        {"FF", Do([](ICmdHelper& h, PrinterBuffer& b) { h.FormFeed(b); }), true, ""},
        {"end page", Do([](ICmdHelper& h, PrinterBuffer& b) { h.EndPage(b); }), true, ""},
        {"DLE ENQ", [](ICmdHelper& h, PrinterBuffer& b) { return h.RealTimeRequest(b, 1); }, false, ""},
        {"DLE DC4", Do([](ICmdHelper& h, PrinterBuffer& b) { h.RealTimePulse(b, 1, 2); }), true, ""},
        {"DLE DC4 short", Do([](ICmdHelper& h, PrinterBuffer& b) { h.RealTimeShortCommand(b); }), true, ""},
        {"clear buffers", Do([](ICmdHelper& h, PrinterBuffer& b) { h.ClearPrinterBuffers(b); }), true, ""},
        {"ESC SP", Do([](ICmdHelper& h, PrinterBuffer& b) { h.CharacterSpacing(b, 3); }), true, ""},
        {"bit image", [](ICmdHelper& h, PrinterBuffer& b) { return h.SelectBitImageMode(b, 0, 1, Filled(1)); }, false,
         ""},
        {"font", [](ICmdHelper& h, PrinterBuffer& b) { return h.SelectCharacterFont(b, 0); }, false, ""},
        {"ESC R", Do([](ICmdHelper& h, PrinterBuffer& b) { h.SelectInternationalSet(b, 8); }), true, ""},
        {"ESC S", Do([](ICmdHelper& h, PrinterBuffer& b) { h.SelectStandardMode(b); }), true, ""},
        {"ESC T", [](ICmdHelper& h, PrinterBuffer& b) { return h.SelectPageDirection(b, 1); }, false, ""},
        {"ESC V", Do([](ICmdHelper& h, PrinterBuffer& b) { h.SetRotate90(b, true); }), true, ""},
        {"ESC W", Do([](ICmdHelper& h, PrinterBuffer& b) { h.SetPageArea(b, 0, 0, 576, 936); }), true, ""},
        {"GS $", Do([](ICmdHelper& h, PrinterBuffer& b) { h.SetAbsoluteVerticalPosition(b, 10); }), true, ""},
        {"sensors", Do([](ICmdHelper& h, PrinterBuffer& b) {
             h.SelectPaperOutSensors(b, 0);
             h.SelectStopSensors(b, 0);
             h.EnablePanelButtons(b, true);
         }),
         true, ""},
        {"drawer pulse", [](ICmdHelper& h, PrinterBuffer& b) { return h.GeneratePulse(b, 0, 25, 250); }, false, ""},
        {"code table", [](ICmdHelper& h, PrinterBuffer& b) { return h.SelectCodeTable(b, 0); }, false, ""},
        {"test print", [](ICmdHelper& h, PrinterBuffer& b) { return h.ExecuteTestPrint(b, 2, 3); }, false, ""},
        {"full cut", Do([](ICmdHelper& h, PrinterBuffer& b) { h.FeedAndFullCut(b); }), true, ""},
        {"partial cut", Do([](ICmdHelper& h, PrinterBuffer& b) { h.FeedAndPartialCut(b); }), true, ""},
        {"GS V A", Do([](ICmdHelper& h, PrinterBuffer& b) { h.FeedToCutPosition(b, 3); }), true, ""},
        {"GS \\", Do([](ICmdHelper& h, PrinterBuffer& b) { h.SetRelativeVerticalPosition(b, 3); }), true, ""},
        {"GS a", Do([](ICmdHelper& h, PrinterBuffer& b) { h.EnableAutoStatusBack(b, 0xFF); }), true, ""},
        {"reset counter", [](ICmdHelper& h, PrinterBuffer& b) { return h.ResetMaintenanceCounter(b, 20); }, false, ""},
        {"request counter", [](ICmdHelper& h, PrinterBuffer& b) { return h.RequestMaintenanceCounter(b, 20); }, false,
         ""},
    };
    RunCases(helper, cases);
    std::array<uint8_t, 3> record = {0xAB, 0xAB, 0xAB};
    helper.DrawerStatusCommand(record);
    EXPECT_EQ(record, (std::array<uint8_t, 3>{0xAB, 0xAB, 0xAB}));
    EXPECT_EQ(helper.InternationalSetForCodePage(932), 0);
    EXPECT_EQ(helper.PageDirectionForRotation(PTR_RP_RIGHT90), 0);
}

TEST_F(CmdRX4270Test, SettingsKeepTheirChecksButSendNothing) {
    const std::vector<OpCase> cases = {
        {"setup in/out", Do([](ICmdHelper& h, PrinterBuffer& b) {
             h.EnterUserSetupMode(b);
             h.LeaveUserSetupMode(b);
             h.WriteCustomSettings(b, 1, 1, 1, true, true);
         }),
         true, ""},
        {"speed ok", [](ICmdHelper& h, PrinterBuffer& b) { return h.WritePrintSpeed(b, 9); }, true, ""},
        {"speed refused", [](ICmdHelper& h, PrinterBuffer& b) { return h.WritePrintSpeed(b, 10); }, false, ""},
        {"divisions ok", [](ICmdHelper& h, PrinterBuffer& b) { return h.WriteHeadDivision(b, 128); }, true, ""},
        {"divisions refused", [](ICmdHelper& h, PrinterBuffer& b) { return h.WriteHeadDivision(b, 3); }, false, ""},
        {"baud ok", [](ICmdHelper& h, PrinterBuffer& b) { return h.WriteSerialBaudRate(b, "9600"); }, true, ""},
        {"baud refused", [](ICmdHelper& h, PrinterBuffer& b) { return h.WriteSerialBaudRate(b, "96"); }, false, ""},
        {"reads and writes", Do([](ICmdHelper& h, PrinterBuffer& b) {
             h.ReadPrintDensity(b);
             h.ReadPrintSpeed(b);
             h.ReadHeadDivision(b);
             h.WriteCustomValue116(b, true);
             h.ReadCustomValue116(b);
             h.WriteCustomValue118(b, true);
             h.ReadCustomValue118(b);
             h.ReadCustomValue(b, 5);
             h.ReadSerialBaudRate(b);
             h.WriteSerialParity(b, 1);
             h.ReadSerialParity(b);
             h.WriteSerialHandshake(b, 1);
             h.ReadSerialHandshake(b);
             h.WriteSerialDataBits(b, 8);
             h.ReadSerialDataBits(b);
         }),
         true, ""},
        {"density 9", [](ICmdHelper& h, PrinterBuffer& b) { return h.WritePrintDensity(b, 9); }, true, "1D 45 09"},
        {"density 0", [](ICmdHelper& h, PrinterBuffer& b) { return h.WritePrintDensity(b, 0); }, true, "1D 45 00"},
        {"density 10 refused", [](ICmdHelper& h, PrinterBuffer& b) { return h.WritePrintDensity(b, 10); }, false, ""},
    };
    RunCases(helper, cases);
}

TEST_F(CmdRX4270Test, OwnCommands) {
    const std::vector<OpCase> cases = {
        {"HRI font 49", [](ICmdHelper& h, PrinterBuffer& b) { return h.SelectHriFont(b, 49); }, true, "1D 66 31"},
        {"HRI font 1", [](ICmdHelper& h, PrinterBuffer& b) { return h.SelectHriFont(b, 1); }, true, "1D 66 01"},
        {"HRI font 2 refused", [](ICmdHelper& h, PrinterBuffer& b) { return h.SelectHriFont(b, 2); }, false, ""},
        {"FS p normal", Do([](ICmdHelper& h, PrinterBuffer& b) { h.PrintNvGraphics(b, 1, 'X', 0, 0); }), true,
         "1C 70 01 00"},
        {"FS p double width", Do([](ICmdHelper& h, PrinterBuffer& b) { h.PrintNvGraphics(b, 2, 0, 1, 0); }), true,
         "1C 70 02 01"},
        {"FS p double height", Do([](ICmdHelper& h, PrinterBuffer& b) { h.PrintNvGraphics(b, 2, 0, 0, 1); }), true,
         "1C 70 02 02"},
        {"FS p both", Do([](ICmdHelper& h, PrinterBuffer& b) { h.PrintNvGraphics(b, 3, 0, 5, 7); }), true,
         "1C 70 03 03"},
        {"FS q padded", Do([](ICmdHelper& h, PrinterBuffer& b) {
             const uint8_t data[] = {0x81};
             h.DefineNvGraphics(b, 'A', 'B', false, 9, 2, data);
         }),
         true, "1C 71 01 09 00 02 00 81 00 00 00"},
        {"FS q two colours", Do([](ICmdHelper& h, PrinterBuffer& b) {
             const uint8_t data[] = {0x11, 0x22};
             h.DefineNvGraphics(b, 0, 0, true, 8, 1, data);
         }),
         true, "1C 71 01 08 00 01 00 11 22"},
        {"segments",
         [](ICmdHelper& h, PrinterBuffer& b) {
             const LineSegment segments[] = {{10, 200}, {300, 400}};
             return h.DrawLineSegments(b, segments, 2);
         },
         true, "1D 27 02 0A 00 C8 00 2C 01 90 01"},
        {"eight segments",
         [](ICmdHelper& h, PrinterBuffer& b) {
             const std::vector<LineSegment> segments(8, LineSegment{1, 2});
             return h.DrawLineSegments(b, segments, 8);
         },
         true,
         "1D 27 08 01 00 02 00 01 00 02 00 01 00 02 00 01 00 02 00 01 00 02 00 01 00 02 00 01 00 02 00 01 00 02 00"},
        {"nine segments refused",
         [](ICmdHelper& h, PrinterBuffer& b) {
             const std::vector<LineSegment> segments(9);
             return h.DrawLineSegments(b, segments, 9);
         },
         false, ""},
        {"count beyond the list refused",
         [](ICmdHelper& h, PrinterBuffer& b) {
             const LineSegment segments[] = {{1, 2}};
             return h.DrawLineSegments(b, segments, 2);
         },
         false, ""},
        {"curved text", [](ICmdHelper& h, PrinterBuffer& b) { return h.PrintCurvedText(b, 1, 100, Text("AB"), 2); },
         true, "1D 22 01 64 00 41 42 00"},
        {"curved text mode 0, length shorter than text",
         [](ICmdHelper& h, PrinterBuffer& b) { return h.PrintCurvedText(b, 0, 0x0203, Text("ABC"), 1); }, true,
         "1D 22 00 03 02 41 00"},
        {"curved text mode 2 refused",
         [](ICmdHelper& h, PrinterBuffer& b) { return h.PrintCurvedText(b, 2, 0, Text("A"), 1); }, false, ""},
        {"curved text length beyond text",
         [](ICmdHelper& h, PrinterBuffer& b) { return h.PrintCurvedText(b, 0, 0, Text("A"), 2); }, false, ""},
        {"curved text with NUL",
         [](ICmdHelper& h, PrinterBuffer& b) {
             const uint8_t text[] = {'A', 0, 'B'};
             return h.PrintCurvedText(b, 0, 0, text, 3);
         },
         false, ""},
    };
    RunCases(helper, cases);
}

// FS q carries the raster size in 16-bit fields; a size that does not fit would announce
// other data than follows, so such a raster is not sent.
TEST_F(CmdRX4270Test, RasterSizesBeyondTheirSixteenBitFieldsSendNothing) {
    const std::vector<OpCase> cases = {
        {"FS q 65536 wide",
         Do([](ICmdHelper& h, PrinterBuffer& b) { h.DefineNvGraphics(b, 1, 0, false, 65536, 1, {}); }), true, ""},
        {"FS q negative height",
         Do([](ICmdHelper& h, PrinterBuffer& b) { h.DefineNvGraphics(b, 1, 0, true, 8, -2, {}); }), true, ""},
        {"FS q widest int",
         Do([](ICmdHelper& h, PrinterBuffer& b) { h.DefineNvGraphics(b, 1, 0, false, 0x7FFFFFFF, 1, {}); }), true, ""},
        {"FS q 65535 high, no width",
         Do([](ICmdHelper& h, PrinterBuffer& b) { h.DefineNvGraphics(b, 1, 0, false, 0, 65535, {}); }), true,
         "1C 71 01 00 00 FF FF"},
    };
    RunCases(helper, cases);
}

TEST_F(CmdRX4270Test, TabTerminatorGoesIntoTheCommandOnly) {
    std::vector<uint8_t> stops = {0x04, 0x08};
    PrinterBuffer buffer;
    helper.SetTabs(buffer, stops);
    EXPECT_TRUE(BytesAre(buffer, "1B 44 04 08 00"));
    EXPECT_EQ(stops, (std::vector<uint8_t>{0x04, 0x08}));
    std::vector<uint8_t> none;
    PrinterBuffer defaults;
    helper.SetTabs(defaults, none);
    EXPECT_EQ(defaults.Size(), 34u);
}

TEST_F(CmdRX4270Test, CodePageOnlySwitchesKanjiMode) {
    PrinterBuffer single, kanji;
    helper.SelectCodePage(single, 437);
    helper.SelectCodePage(kanji, 932);
    EXPECT_TRUE(BytesAre(single, "1C 2E"));
    EXPECT_TRUE(BytesAre(kanji, "1C 26"));
}

TEST_F(CmdRX4270Test, CutsSendNothingWhateverTheDistance) {
    CCmdHelperBase::SetCutterDistance(3450);
    PrinterBuffer buffer;
    helper.FeedAndFullCut(buffer);
    helper.FeedAndPartialCut(buffer);
    EXPECT_TRUE(buffer.IsEmpty());
}

TEST_F(CmdRX4270Test, BarcodeLeavesOutJustification) {
    PrinterBuffer buffer;
    ASSERT_TRUE(helper.AppendBarcode(buffer, PTR_BCS_Code39, 0, 9, 1, PTR_BC_TEXT_BELOW, 48, Text("12")));
    EXPECT_TRUE(BytesAre(buffer, "1D 77 02 1D 68 A2 1D 48 02 1D 66 30 1D 6B 45 02 31 32"));
    PrinterBuffer refused;
    EXPECT_FALSE(helper.AppendBarcode(refused, PTR_BCS_Code39, 0, 2, 1, PTR_BC_TEXT_BELOW, 0, {}));
    EXPECT_TRUE(refused.IsEmpty());
}

std::vector<uint8_t> Packet(std::span<const uint8_t> chunk) {
    std::vector<uint8_t> packet = {0xAA, static_cast<uint8_t>(chunk.size())};
    uint8_t check = 0;
    for (const uint8_t b : chunk) {
        packet.push_back(b);
        check ^= b;
    }
    packet.push_back(check);
    packet.push_back(0xBB);
    return packet;
}

TEST_F(CmdRX4270Test, FramingCutsIntoPacketsOfAtMost46) {
    PrinterBuffer init;
    init.Append(FromHex("1B 40"));
    PrinterBuffer framed;
    helper.FrameForPort(framed, init);
    EXPECT_TRUE(BytesAre(framed, "AA 02 1B 40 5B BB"));

    struct SizeCase {
        size_t sourceSize;
        std::vector<size_t> chunks;
    };
    const SizeCase cases[] = {{0, {}}, {1, {1}}, {46, {46}}, {47, {46, 1}}, {92, {46, 46}}, {100, {46, 46, 8}}};
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(c.sourceSize);
        PrinterBuffer source;
        for (size_t i = 0; i < c.sourceSize; ++i) source.Append(static_cast<uint8_t>(i * 7 + 3));
        PrinterBuffer target;
        target.Append(uint8_t{0x42});  // framing appends after what is there
        helper.FrameForPort(target, source);
        std::vector<uint8_t> expected = {0x42};
        size_t offset = 0;
        for (const size_t size : c.chunks) {
            const auto packet = Packet(source.Bytes().subspan(offset, size));
            expected.insert(expected.end(), packet.begin(), packet.end());
            offset += size;
        }
        EXPECT_TRUE(BytesAre(target, Hex(expected)));
    }
}

TEST_F(CmdRX4270Test, FramingABufferIntoItselfUsesTheOriginalBytes) {
    PrinterBuffer buffer;
    buffer.Append(FromHex("1B 40"));
    helper.FrameForPort(buffer, buffer);
    EXPECT_TRUE(BytesAre(buffer, "1B 40 AA 02 1B 40 5B BB"));
}

TEST_F(CmdRX4270Test, RealTimeStatusIsItsOwnPacketForEveryN) {
    PrinterBuffer two;
    helper.RequestRealTimeStatus(two, 2);
    EXPECT_TRUE(BytesAre(two, "AA 03 10 04 02 16 BB"));
    const uint8_t knownChecks[] = {0x15, 0x16, 0x17, 0x10};
    for (int32_t n = 1; n <= 4; ++n) {
        PrinterBuffer buffer;
        helper.RequestRealTimeStatus(buffer, n);
        ASSERT_EQ(buffer.Size(), 7u);
        EXPECT_EQ(buffer[5], knownChecks[n - 1]) << n;
    }
    // Outside 1..4 the check byte belongs to the n being sent, not to an earlier request.
    for (const int32_t n : {0, 5, 7, 0x14, 255}) {
        PrinterBuffer earlier, buffer;
        helper.RequestRealTimeStatus(earlier, 1);
        helper.RequestRealTimeStatus(buffer, n);
        ASSERT_EQ(buffer.Size(), 7u);
        EXPECT_EQ(buffer[4], static_cast<uint8_t>(n));
        EXPECT_EQ(buffer[5], static_cast<uint8_t>(0x10 ^ 0x04 ^ n)) << n;
    }
}

}  // namespace
}  // namespace QVO::Printer
