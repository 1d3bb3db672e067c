// The standard builder through the interface: bytes, boundaries and refusals of each operation.
#include <gtest/gtest.h>

#include <vector>

#include "CmdCases.h"
#include "CmdSharedCases.h"
#include "so/cmd/CCmdHelperBase.h"
#include "constants/OposPtrConstants.h"

namespace QVO::Printer {
namespace {

using namespace TestTrace;
using namespace QVO::Opos;

// Restores the process-wide cutter distance after each test so tests stay independent.
class CmdBaseTest : public ::testing::Test {
protected:
    void TearDown() override { CCmdHelperBase::SetCutterDistance(0); }
    CCmdHelperBase base;
    ICmdHelper& helper = base;
};

TEST_F(CmdBaseTest, SharedFormattingCommands) { RunCases(helper, SharedFormattingCases()); }
TEST_F(CmdBaseTest, FeedsSplitIntoOneByteSteps) { RunCases(helper, SharedFeedCases()); }
TEST_F(CmdBaseTest, SharedGraphicsCommands) { RunCases(helper, SharedGraphicsCases()); }
TEST_F(CmdBaseTest, SharedSymbolCommands) { RunCases(helper, SharedSymbolCases()); }

TEST_F(CmdBaseTest, CommandsTheVariantDropsOrChanges) {
    const std::vector<OpCase> cases = {
        {"FF", Do([](ICmdHelper& h, PrinterBuffer& b) { h.FormFeed(b); }), true, "0C"},
        {"end page", Do([](ICmdHelper& h, PrinterBuffer& b) { h.EndPage(b); }), true, "0C"},
        {"DLE EOT 4", Do([](ICmdHelper& h, PrinterBuffer& b) { h.RequestRealTimeStatus(b, 4); }), true, "10 04 04"},
        {"DLE ENQ 2", [](ICmdHelper& h, PrinterBuffer& b) { return h.RealTimeRequest(b, 2); }, true, "10 05 02"},
        {"DLE ENQ 3 refused", [](ICmdHelper& h, PrinterBuffer& b) { return h.RealTimeRequest(b, 3); }, false, ""},
        {"DLE DC4", Do([](ICmdHelper& h, PrinterBuffer& b) { h.RealTimePulse(b, 1, 2); }), true, "10 14"},
        {"DLE DC4 short", Do([](ICmdHelper& h, PrinterBuffer& b) { h.RealTimeShortCommand(b); }), true, "10 14 01 08"},
        {"clear buffers", Do([](ICmdHelper& h, PrinterBuffer& b) { h.ClearPrinterBuffers(b); }), true,
         "10 14 08 01 03 14 01 06 02 08"},
        {"ESC SP carries its value", Do([](ICmdHelper& h, PrinterBuffer& b) { h.CharacterSpacing(b, 5); }), true, "1B 20 05"},
        {"bit image m0", [](ICmdHelper& h, PrinterBuffer& b) { return h.SelectBitImageMode(b, 0, 2, Filled(2, 0xAA)); }, true,
         "1B 2A 00 02 00 AA AA"},
        {"bit image m33", [](ICmdHelper& h, PrinterBuffer& b) { return h.SelectBitImageMode(b, 33, 1, Filled(3, 0x55)); }, true,
         "1B 2A 21 01 00 55 55 55"},
        {"bit image m2", [](ICmdHelper& h, PrinterBuffer& b) { return h.SelectBitImageMode(b, 2, 1, Filled(1)); }, false, ""},
        {"bit image n0", [](ICmdHelper& h, PrinterBuffer& b) { return h.SelectBitImageMode(b, 0, 0, {}); }, false, ""},
        {"bit image n2048", [](ICmdHelper& h, PrinterBuffer& b) { return h.SelectBitImageMode(b, 0, 2048, Filled(2048)); }, false, ""},
        {"bit image m32 short", [](ICmdHelper& h, PrinterBuffer& b) { return h.SelectBitImageMode(b, 32, 2, Filled(2)); }, false, ""},
        {"font 49", [](ICmdHelper& h, PrinterBuffer& b) { return h.SelectCharacterFont(b, 49); }, true, "1B 4D 31"},
        {"font 2 refused", [](ICmdHelper& h, PrinterBuffer& b) { return h.SelectCharacterFont(b, 2); }, false, ""},
        {"ESC R 8", Do([](ICmdHelper& h, PrinterBuffer& b) { h.SelectInternationalSet(b, 8); }), true, "1B 52 08"},
        {"ESC S", Do([](ICmdHelper& h, PrinterBuffer& b) { h.SelectStandardMode(b); }), true, "1B 53"},
        {"direction 3", [](ICmdHelper& h, PrinterBuffer& b) { return h.SelectPageDirection(b, 3); }, true, "1B 54 03"},
        {"direction 51", [](ICmdHelper& h, PrinterBuffer& b) { return h.SelectPageDirection(b, 51); }, true, "1B 54 33"},
        {"direction 4", [](ICmdHelper& h, PrinterBuffer& b) { return h.SelectPageDirection(b, 4); }, false, ""},
        {"direction 52", [](ICmdHelper& h, PrinterBuffer& b) { return h.SelectPageDirection(b, 52); }, false, ""},
        {"rotate 90", Do([](ICmdHelper& h, PrinterBuffer& b) { h.SetRotate90(b, true); }), true, "1B 56 01"},
        {"page area", Do([](ICmdHelper& h, PrinterBuffer& b) { h.SetPageArea(b, 1, 2, 576, 936); }), true,
         "1B 57 01 00 02 00 40 02 A8 03"},
        {"paper out sensors", Do([](ICmdHelper& h, PrinterBuffer& b) { h.SelectPaperOutSensors(b, 0); }), true, "1B 63 33 00"},
        {"stop sensors", Do([](ICmdHelper& h, PrinterBuffer& b) { h.SelectStopSensors(b, 3); }), true, "1B 63 34 03"},
        {"panel buttons on", Do([](ICmdHelper& h, PrinterBuffer& b) { h.EnablePanelButtons(b, true); }), true, "1B 63 35 00"},
        {"panel buttons off", Do([](ICmdHelper& h, PrinterBuffer& b) { h.EnablePanelButtons(b, false); }), true, "1B 63 35 01"},
        {"pulse pin 2", [](ICmdHelper& h, PrinterBuffer& b) { return h.GeneratePulse(b, 0, 25, 250); }, true, "1B 70 00 19 FA"},
        {"pulse m 49", [](ICmdHelper& h, PrinterBuffer& b) { return h.GeneratePulse(b, 49, 1, 2); }, true, "1B 70 31 01 02"},
        {"pulse m 2 refused", [](ICmdHelper& h, PrinterBuffer& b) { return h.GeneratePulse(b, 2, 1, 2); }, false, ""},
        {"table 21", [](ICmdHelper& h, PrinterBuffer& b) { return h.SelectCodeTable(b, 21); }, true, "1B 74 15"},
        {"table 22", [](ICmdHelper& h, PrinterBuffer& b) { return h.SelectCodeTable(b, 22); }, false, ""},
        {"table 26", [](ICmdHelper& h, PrinterBuffer& b) { return h.SelectCodeTable(b, 26); }, true, "1B 74 1A"},
        {"table 29", [](ICmdHelper& h, PrinterBuffer& b) { return h.SelectCodeTable(b, 29); }, false, ""},
        {"table 53", [](ICmdHelper& h, PrinterBuffer& b) { return h.SelectCodeTable(b, 53); }, true, "1B 74 35"},
        {"table 54", [](ICmdHelper& h, PrinterBuffer& b) { return h.SelectCodeTable(b, 54); }, false, ""},
        {"table 255", [](ICmdHelper& h, PrinterBuffer& b) { return h.SelectCodeTable(b, 255); }, true, "1B 74 FF"},
        {"GS $", Do([](ICmdHelper& h, PrinterBuffer& b) { h.SetAbsoluteVerticalPosition(b, 0x1234); }), true, "1D 24 34 12"},
        {"test print", [](ICmdHelper& h, PrinterBuffer& b) { return h.ExecuteTestPrint(b, 2, 3); }, true, "1D 28 41 02 00 02 03"},
        {"test print 48/51", [](ICmdHelper& h, PrinterBuffer& b) { return h.ExecuteTestPrint(b, 48, 51); }, true,
         "1D 28 41 02 00 30 33"},
        {"test print n 3", [](ICmdHelper& h, PrinterBuffer& b) { return h.ExecuteTestPrint(b, 3, 1); }, false, ""},
        {"test print m 0", [](ICmdHelper& h, PrinterBuffer& b) { return h.ExecuteTestPrint(b, 0, 0); }, false, ""},
        {"NV print", Do([](ICmdHelper& h, PrinterBuffer& b) { h.PrintNvGraphics(b, 'A', 'B', 1, 2); }), true,
         "1D 38 4C 06 00 00 00 30 45 41 42 01 02"},
        {"NV define padded", Do([](ICmdHelper& h, PrinterBuffer& b) {
             const uint8_t data[] = {0xFF};
             h.DefineNvGraphics(b, 'A', 'B', false, 9, 2, data);
         }),
         true, "1D 38 4C 0F 00 00 00 30 43 30 41 42 01 09 00 02 00 31 FF 00 00 00"},
        {"NV define two colours", Do([](ICmdHelper& h, PrinterBuffer& b) {
             const uint8_t data[] = {0xAA, 0xBB};
             h.DefineNvGraphics(b, 'A', 'B', true, 8, 1, data);
         }),
         true, "1D 38 4C 0E 00 00 00 30 43 30 41 42 02 08 00 01 00 31 AA 32 BB"},
        {"GS V A 3", Do([](ICmdHelper& h, PrinterBuffer& b) { h.FeedToCutPosition(b, 3); }), true, "1D 56 41 03"},
        {"GS \\", Do([](ICmdHelper& h, PrinterBuffer& b) { h.SetRelativeVerticalPosition(b, 300); }), true, "1D 5C 2C 01"},
        {"GS a", Do([](ICmdHelper& h, PrinterBuffer& b) { h.EnableAutoStatusBack(b, 0xFF); }), true, "1D 61 FF"},
        {"HRI font 1", [](ICmdHelper& h, PrinterBuffer& b) { return h.SelectHriFont(b, 1); }, true, "1D 66 01"},
        {"HRI font 2 refused", [](ICmdHelper& h, PrinterBuffer& b) { return h.SelectHriFont(b, 2); }, false, ""},
        {"HRI font 48 refused", [](ICmdHelper& h, PrinterBuffer& b) { return h.SelectHriFont(b, 48); }, false, ""},
        {"reset counter 20", [](ICmdHelper& h, PrinterBuffer& b) { return h.ResetMaintenanceCounter(b, 20); }, true,
         "1D 67 30 00 14 00"},
        {"reset counter 148 refused", [](ICmdHelper& h, PrinterBuffer& b) { return h.ResetMaintenanceCounter(b, 148); }, false, ""},
        {"request counter 198", [](ICmdHelper& h, PrinterBuffer& b) { return h.RequestMaintenanceCounter(b, 198); }, true,
         "1D 67 32 00 C6 00"},
        {"request counter 22 refused", [](ICmdHelper& h, PrinterBuffer& b) { return h.RequestMaintenanceCounter(b, 22); }, false, ""},
        {"no drawing", [](ICmdHelper& h, PrinterBuffer& b) {
             const LineSegment segments[] = {{10, 200}};
             return h.DrawLineSegments(b, segments, 1);
         },
         false, ""},
        {"no curved text", [](ICmdHelper& h, PrinterBuffer& b) { return h.PrintCurvedText(b, 1, 100, Text("AB"), 2); }, false, ""},
        {"frame is the source itself", Do([](ICmdHelper& h, PrinterBuffer& b) {
             PrinterBuffer source;
             source.Append(FromHex("1B 40 0A"));
             h.FrameForPort(b, source);
         }),
         true, "1B 40 0A"},
    };
    RunCases(helper, cases);
}

TEST_F(CmdBaseTest, SettingsBlocksCarryTheirLengths) {
    const std::vector<OpCase> cases = {
        {"setup in", Do([](ICmdHelper& h, PrinterBuffer& b) { h.EnterUserSetupMode(b); }), true,
         "1D 28 45 03 00 01 49 4E"},
        {"setup out", Do([](ICmdHelper& h, PrinterBuffer& b) { h.LeaveUserSetupMode(b); }), true,
         "1D 28 45 04 00 02 4F 55 54"},
        {"all settings", Do([](ICmdHelper& h, PrinterBuffer& b) { h.WriteCustomSettings(b, -6, 9, 128, true, false); }),
         true, "1D 28 45 10 00 05 05 FA FF 06 09 00 61 80 00 74 01 01 76 46 00"},
        {"density 100 and invalid others left out",
         Do([](ICmdHelper& h, PrinterBuffer& b) { h.WriteCustomSettings(b, 100, 0, 3, false, true); }), true,
         "1D 28 45 0A 00 05 05 64 00 74 01 00 76 55 00"},
        {"density 7 left out",
         Do([](ICmdHelper& h, PrinterBuffer& b) { h.WriteCustomSettings(b, 7, 10, 0, false, false); }), true,
         "1D 28 45 07 00 05 74 01 00 76 46 00"},
        {"density 6", [](ICmdHelper& h, PrinterBuffer& b) { return h.WritePrintDensity(b, 6); }, true,
         "1D 28 45 04 00 05 05 06 00"},
        {"density -6", [](ICmdHelper& h, PrinterBuffer& b) { return h.WritePrintDensity(b, -6); }, true,
         "1D 28 45 04 00 05 05 FA FF"},
        {"density 7 refused", [](ICmdHelper& h, PrinterBuffer& b) { return h.WritePrintDensity(b, 7); }, false, ""},
        {"density read", Do([](ICmdHelper& h, PrinterBuffer& b) { h.ReadPrintDensity(b); }), true,
         "1D 28 45 02 00 06 05"},
        {"speed 9", [](ICmdHelper& h, PrinterBuffer& b) { return h.WritePrintSpeed(b, 9); }, true,
         "1D 28 45 04 00 05 06 09 00"},
        {"speed 0 refused", [](ICmdHelper& h, PrinterBuffer& b) { return h.WritePrintSpeed(b, 0); }, false, ""},
        {"speed read", Do([](ICmdHelper& h, PrinterBuffer& b) { h.ReadPrintSpeed(b); }), true, "1D 28 45 02 00 06 06"},
        {"divisions 4", [](ICmdHelper& h, PrinterBuffer& b) { return h.WriteHeadDivision(b, 4); }, true,
         "1D 28 45 04 00 05 61 04 00"},
        {"divisions 3 refused", [](ICmdHelper& h, PrinterBuffer& b) { return h.WriteHeadDivision(b, 3); }, false, ""},
        {"divisions read", Do([](ICmdHelper& h, PrinterBuffer& b) { h.ReadHeadDivision(b); }), true,
         "1D 28 45 02 00 06 61"},
        {"116 set", Do([](ICmdHelper& h, PrinterBuffer& b) { h.WriteCustomValue116(b, true); }), true,
         "1D 28 45 04 00 05 74 01 01"},
        {"116 clear", Do([](ICmdHelper& h, PrinterBuffer& b) { h.WriteCustomValue116(b, false); }), true,
         "1D 28 45 04 00 05 74 01 00"},
        {"116 read", Do([](ICmdHelper& h, PrinterBuffer& b) { h.ReadCustomValue116(b); }), true,
         "1D 28 45 02 00 06 74"},
        {"118 set", Do([](ICmdHelper& h, PrinterBuffer& b) { h.WriteCustomValue118(b, true); }), true,
         "1D 28 45 04 00 05 76 55 00"},
        {"118 clear", Do([](ICmdHelper& h, PrinterBuffer& b) { h.WriteCustomValue118(b, false); }), true,
         "1D 28 45 04 00 05 76 46 00"},
        {"118 read", Do([](ICmdHelper& h, PrinterBuffer& b) { h.ReadCustomValue118(b); }), true,
         "1D 28 45 02 00 06 76"},
        {"read any", Do([](ICmdHelper& h, PrinterBuffer& b) { h.ReadCustomValue(b, 0x20); }), true,
         "1D 28 45 02 00 06 20"},
        {"baud 9600", [](ICmdHelper& h, PrinterBuffer& b) { return h.WriteSerialBaudRate(b, "9600"); }, true,
         "1D 28 45 06 00 0B 01 39 36 30 30"},
        {"baud 300", [](ICmdHelper& h, PrinterBuffer& b) { return h.WriteSerialBaudRate(b, "300"); }, true,
         "1D 28 45 05 00 0B 01 33 30 30"},
        {"baud too short", [](ICmdHelper& h, PrinterBuffer& b) { return h.WriteSerialBaudRate(b, "96"); }, false, ""},
        {"baud missing", [](ICmdHelper& h, PrinterBuffer& b) { return h.WriteSerialBaudRate(b, nullptr); }, false, ""},
        {"baud read", Do([](ICmdHelper& h, PrinterBuffer& b) { h.ReadSerialBaudRate(b); }), true,
         "1D 28 45 02 00 0C 01"},
        {"parity", Do([](ICmdHelper& h, PrinterBuffer& b) { h.WriteSerialParity(b, 1); }), true,
         "1D 28 45 03 00 0B 02 01"},
        {"parity read", Do([](ICmdHelper& h, PrinterBuffer& b) { h.ReadSerialParity(b); }), true,
         "1D 28 45 02 00 0C 02"},
        {"handshake", Do([](ICmdHelper& h, PrinterBuffer& b) { h.WriteSerialHandshake(b, 0); }), true,
         "1D 28 45 03 00 0B 03 00"},
        {"handshake read", Do([](ICmdHelper& h, PrinterBuffer& b) { h.ReadSerialHandshake(b); }), true,
         "1D 28 45 02 00 0C 03"},
        {"data bits", Do([](ICmdHelper& h, PrinterBuffer& b) { h.WriteSerialDataBits(b, 8); }), true,
         "1D 28 45 03 00 0B 04 08"},
        {"data bits read", Do([](ICmdHelper& h, PrinterBuffer& b) { h.ReadSerialDataBits(b); }), true,
         "1D 28 45 02 00 0C 04"},
    };
    RunCases(helper, cases);
}

TEST_F(CmdBaseTest, BitImageAcceptsTheLargestWidth) {
    PrinterBuffer buffer;
    ASSERT_TRUE(helper.SelectBitImageMode(buffer, 1, 2047, Filled(2047, 0x81)));
    ASSERT_EQ(buffer.Size(), 5u + 2047u);
    EXPECT_EQ(buffer[3], 0xFF);
    EXPECT_EQ(buffer[4], 0x07);
    EXPECT_EQ(buffer[2051], 0x81);
}

TEST_F(CmdBaseTest, SymbolStoresAcceptUpTo255BytesWithASixteenBitLength) {
    // 255 data bytes make a body of 258 (cn, fn, m and the data): the high length byte is used.
    PrinterBuffer qr(32, 32);
    ASSERT_TRUE(helper.StoreQrData(qr, Filled(255, 'x')));
    ASSERT_EQ(qr.Size(), 8u + 255u);
    PrinterBuffer header;
    header.Append(qr.Data(), 8);
    EXPECT_TRUE(BytesAre(header, "1D 28 6B 02 01 31 50 30"));
    PrinterBuffer pdf(32, 32);
    ASSERT_TRUE(helper.StorePdf417Data(pdf, Filled(255, 'y')));
    EXPECT_EQ(pdf[4], 0x01);
    EXPECT_EQ(pdf[5], 0x30);
}

// Raster sizes travel as 16-bit fields while the data that follows is sized from the full
// value: a size outside 0..65535 would announce less (or more) data than is sent, and the
// printer would run the rest of the image as commands. Such a raster is not sent at all.
TEST_F(CmdBaseTest, RasterSizesBeyondTheirSixteenBitFieldsSendNothing) {
    const std::vector<OpCase> cases = {
        {"NV define 65536 wide",
         Do([](ICmdHelper& h, PrinterBuffer& b) { h.DefineNvGraphics(b, 'A', 'B', false, 65536, 1, {}); }), true, ""},
        {"NV define 70000 high",
         Do([](ICmdHelper& h, PrinterBuffer& b) { h.DefineNvGraphics(b, 'A', 'B', true, 8, 70000, {}); }), true, ""},
        {"NV define negative width",
         Do([](ICmdHelper& h, PrinterBuffer& b) { h.DefineNvGraphics(b, 'A', 'B', false, -8, 1, {}); }), true, ""},
        {"NV define widest int",
         Do([](ICmdHelper& h, PrinterBuffer& b) { h.DefineNvGraphics(b, 'A', 'B', false, 0x7FFFFFFF, 1, {}); }), true,
         ""},
        {"wrapped raster 65536 wide",
         Do([](ICmdHelper& h, PrinterBuffer& b) { h.StoreWrappedGraphics(b, 65536, 1, {}); }), true, ""},
        {"wrapped raster negative height",
         Do([](ICmdHelper& h, PrinterBuffer& b) { h.StoreWrappedGraphics(b, 8, -1, {}); }), true, ""},
        {"wrapped raster widest int",
         Do([](ICmdHelper& h, PrinterBuffer& b) { h.StoreWrappedGraphics(b, 0x7FFFFFFF, 1, {}); }), true, ""},
        // The largest sizes that fit are still sent, with the length field matching the data.
        {"NV define 0 x 65535",
         Do([](ICmdHelper& h, PrinterBuffer& b) { h.DefineNvGraphics(b, 'A', 'B', false, 0, 65535, {}); }), true,
         "1D 38 4C 0B 00 00 00 30 43 30 41 42 01 00 00 FF FF 31"},
    };
    RunCases(helper, cases);
}

// The tone offset comes from the caller; a large one must not overflow the tenths sum.
TEST_F(CmdBaseTest, BuzzerPatternOffsetDoesNotOverflow) {
    int32_t time = 500;
    PrinterBuffer buffer;
    helper.SoundBuzzerPattern(buffer, time, 1280, 0x7FFFFFFF, 1);
    // (2147483647 + 500) / 100 = 21474841 = 0x147AE19, cut to its low byte.
    EXPECT_TRUE(BytesAre(buffer, "1B 28 41 04 00 30 35 19 01"));
}

TEST_F(CmdBaseTest, TabListGetsItsTerminatorInTheCallersList) {
    std::vector<uint8_t> stops = {0x04, 0x08};
    PrinterBuffer buffer;
    helper.SetTabs(buffer, stops);
    EXPECT_TRUE(BytesAre(buffer, "1B 44 04 08 00"));
    EXPECT_EQ(stops, (std::vector<uint8_t>{0x04, 0x08, 0x00}));

    std::vector<uint8_t> terminated = {0x10, 0x00};
    PrinterBuffer second;
    helper.SetTabs(second, terminated);
    EXPECT_TRUE(BytesAre(second, "1B 44 10 00"));
    EXPECT_EQ(terminated.size(), 2u);

    std::vector<uint8_t> none;
    PrinterBuffer defaults, expected;
    helper.SetTabs(defaults, none);
    helper.SetDefaultTabs(expected);
    EXPECT_TRUE(BytesAre(defaults, Hex(expected.Bytes())));
    EXPECT_EQ(defaults.Size(), 2u + 31u + 1u);
}

TEST_F(CmdBaseTest, CutsFeedTheCutterDistanceFirst) {
    struct CutCase {
        int32_t distance;
        bool full;
        const char* expected;
    };
    const CutCase cases[] = {
        {3450, true, "1B 4A FF 1B 4A 11 1D 56 00"},  // 34 mm = 272 dots
        {3450, false, "1B 4A FF 1B 4A 11 1D 56 01"},
        {0, true, "1B 4A 00 1D 56 00"},
        {3699, false, "1B 4A FF 1B 4A 21 1D 56 01"},  // whole millimetres: 36 mm = 288 dots
        {800, true, "1B 4A 40 1D 56 00"},
    };
    for (const CutCase& c : cases) {
        SCOPED_TRACE(c.distance);
        CCmdHelperBase::SetCutterDistance(c.distance);
        PrinterBuffer buffer;
        c.full ? helper.FeedAndFullCut(buffer) : helper.FeedAndPartialCut(buffer);
        EXPECT_TRUE(BytesAre(buffer, c.expected));
    }
}

TEST_F(CmdBaseTest, CodePageSelectsKanjiModeTableAndInternationalSet) {
    struct PageCase {
        int32_t codePage;
        const char* expected;
    };
    const PageCase cases[] = {
        {242, "1C 2E 1B 74 FF 1B 52 00"},  {255, "1C 2E 1B 74 FF 1B 52 00"},  {437, "1C 2E 1B 74 00 1B 52 00"},
        {720, "1C 2E 1B 74 20 1B 52 00"},  {851, "1C 2E 1B 74 0B 1B 52 00"},  {852, "1C 2E 1B 74 12 1B 52 00"},
        {853, "1C 2E 1B 74 12 1B 52 00"},  {857, "1C 2E 1B 74 12 1B 52 00"},  {858, "1C 2E 1B 74 13 1B 52 00"},
        {860, "1C 2E 1B 74 03 1B 52 00"},  {862, "1C 2E 1B 74 24 1B 52 00"},  {863, "1C 2E 1B 74 04 1B 52 00"},
        {864, "1C 2E 1B 74 25 1B 52 00"},  {865, "1C 2E 1B 74 05 1B 52 00"},  {866, "1C 2E 1B 74 11 1B 52 00"},
        {874, "1C 2E 1B 74 15 1B 52 00"},  {932, "1C 26 1B 74 01 1B 52 08"},  {936, "1C 26 1B 74 02 1B 52 0F"},
        {950, "1C 26 1B 74 02 1B 52 0F"},  {997, "1C 26 1B 74 00 1B 52 00"},  {998, "1C 2E 1B 74 00 1B 52 00"},
        {999, "1C 2E 1B 74 10 1B 52 00"},  {1250, "1C 2E 1B 74 10 1B 52 00"}, {1252, "1C 2E 1B 74 10 1B 52 00"},
        {1255, "1C 2E 1B 74 31 1B 52 00"}, {1256, "1C 2E 1B 74 32 1B 52 00"}, {850, "1C 26 1B 74 02 1B 52 00"},
        {949, "1C 26 1B 74 02 1B 52 00"},  {0, "1C 26 1B 74 02 1B 52 00"},
    };
    for (const PageCase& c : cases) {
        SCOPED_TRACE(c.codePage);
        PrinterBuffer buffer;
        helper.SelectCodePage(buffer, c.codePage);
        EXPECT_TRUE(BytesAre(buffer, c.expected));
    }
}

TEST_F(CmdBaseTest, MappersTranslateOposValues) {
    struct MapCase {
        const char* name;
        uint8_t (ICmdHelper::*mapper)(int32_t);
        int32_t input;
        uint8_t expected;
    };
    const MapCase cases[] = {
        {"intl 850", &ICmdHelper::InternationalSetForCodePage, 850, 15},
        {"intl 936", &ICmdHelper::InternationalSetForCodePage, 936, 15},
        {"intl 950", &ICmdHelper::InternationalSetForCodePage, 950, 15},
        {"intl 932", &ICmdHelper::InternationalSetForCodePage, 932, 8},
        {"intl 437", &ICmdHelper::InternationalSetForCodePage, 437, 0},
        {"right 90", &ICmdHelper::PageDirectionForRotation, PTR_RP_RIGHT90, 0x33},
        {"left 90", &ICmdHelper::PageDirectionForRotation, PTR_RP_LEFT90, 0x31},
        {"180", &ICmdHelper::PageDirectionForRotation, PTR_RP_ROTATE180, 0x32},
        {"normal", &ICmdHelper::PageDirectionForRotation, PTR_RP_NORMAL, 0x30},
        {"bitmap right", &ICmdHelper::JustificationForBitmapAlignment, PTR_BM_RIGHT, 2},
        {"bitmap centre", &ICmdHelper::JustificationForBitmapAlignment, PTR_BM_CENTER, 1},
        {"bitmap left", &ICmdHelper::JustificationForBitmapAlignment, PTR_BM_LEFT, 0},
        {"bitmap dots", &ICmdHelper::JustificationForBitmapAlignment, 100, 0},
        {"align right", &ICmdHelper::JustificationForAlignment, PTR_BC_RIGHT, 2},
        {"align centre", &ICmdHelper::JustificationForAlignment, PTR_BC_CENTER, 1},
        {"HRI below", &ICmdHelper::HriPositionForTextPosition, PTR_BC_TEXT_BELOW, 2},
        {"HRI above", &ICmdHelper::HriPositionForTextPosition, PTR_BC_TEXT_ABOVE, 1},
        {"HRI none", &ICmdHelper::HriPositionForTextPosition, PTR_BC_TEXT_NONE, 0},
        {"HRI other", &ICmdHelper::HriPositionForTextPosition, 7, 0},
        {"HRI all below", &ICmdHelper::HriPositionForTextPositionAll, PTR_BC_TEXT_BELOW, 2},
        {"HRI all above", &ICmdHelper::HriPositionForTextPositionAll, PTR_BC_TEXT_ABOVE, 1},
        {"HRI all none", &ICmdHelper::HriPositionForTextPositionAll, PTR_BC_TEXT_NONE, 0},
        {"HRI all other", &ICmdHelper::HriPositionForTextPositionAll, -14, 3},
        {"UPC-A", &ICmdHelper::BarcodeSystemForSymbology, PTR_BCS_UPCA, 0x41},
        {"UPC-E", &ICmdHelper::BarcodeSystemForSymbology, PTR_BCS_UPCE, 0x42},
        {"EAN-8", &ICmdHelper::BarcodeSystemForSymbology, PTR_BCS_JAN8, 0x44},
        {"EAN-13", &ICmdHelper::BarcodeSystemForSymbology, PTR_BCS_JAN13, 0x43},
        {"ITF", &ICmdHelper::BarcodeSystemForSymbology, PTR_BCS_ITF, 0x46},
        {"Codabar", &ICmdHelper::BarcodeSystemForSymbology, PTR_BCS_Codabar, 0x47},
        {"Code 39", &ICmdHelper::BarcodeSystemForSymbology, PTR_BCS_Code39, 0x45},
        {"Code 93", &ICmdHelper::BarcodeSystemForSymbology, PTR_BCS_Code93, 0x48},
        {"Code 128", &ICmdHelper::BarcodeSystemForSymbology, PTR_BCS_Code128, 0x49},
        {"Code 128 parsed", &ICmdHelper::BarcodeSystemForSymbology, PTR_BCS_Code128_Parsed, 0x49},
        {"EAN-128", &ICmdHelper::BarcodeSystemForSymbology, PTR_BCS_EAN128, 0x4A},
        {"DataBar", &ICmdHelper::BarcodeSystemForSymbology, PTR_BCS_RSS14, 0x4B},
        {"DataBar expanded", &ICmdHelper::BarcodeSystemForSymbology, PTR_BCS_RSS_EXPANDED, 0x4E},
        {"TF unknown", &ICmdHelper::BarcodeSystemForSymbology, PTR_BCS_TF, 0},
        {"QR not a GS k", &ICmdHelper::BarcodeSystemForSymbology, PTR_BCS_QRCODE, 0},
    };
    for (const MapCase& c : cases) EXPECT_EQ((helper.*c.mapper)(c.input), c.expected) << c.name;
    EXPECT_EQ(helper.NoOperationResult(), 0);
}

TEST_F(CmdBaseTest, BarcodeSequenceSetsUpThenPrints) {
    PrinterBuffer buffer;
    ASSERT_TRUE(helper.AppendBarcode(buffer, PTR_BCS_Code39, 0, 9, 1, PTR_BC_TEXT_BELOW, 0, Text("12")));
    EXPECT_TRUE(BytesAre(buffer, "1D 77 02 1D 68 A2 1D 48 02 1D 66 00 1B 61 01 1D 6B 45 02 31 32"));

    // Refused data leaves no half-built setup behind; a refused justification is simply skipped.
    PrinterBuffer refused;
    EXPECT_FALSE(helper.AppendBarcode(refused, PTR_BCS_Code39, 50, 3, 1, PTR_BC_TEXT_NONE, 0, {}));
    EXPECT_FALSE(helper.AppendBarcode(refused, PTR_BCS_Code39, 50, 3, 1, PTR_BC_TEXT_NONE, 0, Filled(256)));
    EXPECT_TRUE(refused.IsEmpty());
    PrinterBuffer noJustify;
    ASSERT_TRUE(helper.AppendBarcode(noJustify, PTR_BCS_UPCA, 80, 3, 0xFF, PTR_BC_TEXT_ABOVE, 1, Text("01234567890")));
    EXPECT_TRUE(
        BytesAre(noJustify, "1D 77 03 1D 68 50 1D 48 01 1D 66 01 1D 6B 41 0B 30 31 32 33 34 35 36 37 38 39 30"));
}

TEST_F(CmdBaseTest, BuzzerPatternFallsBackToOneSecond) {
    struct BuzzCase {
        int32_t time;
        int32_t kind;
        int32_t offset;
        int32_t usedTime;
        const char* expected;
    };
    const BuzzCase cases[] = {
        {200, 4100, 0, 200, "1B 28 41 04 00 30 31 02 03"},
        {500, 4100, 100, 500, "1B 28 41 04 00 30 32 06 03"},
        {1000, 1280, 0, 1000, "1B 28 41 04 00 30 36 0A 03"},
        {300, 1280, 0, 1000, "1B 28 41 04 00 30 36 0A 03"},
    };
    for (const BuzzCase& c : cases) {
        SCOPED_TRACE(c.time);
        int32_t time = c.time;
        PrinterBuffer buffer;
        helper.SoundBuzzerPattern(buffer, time, c.kind, c.offset, 3);
        EXPECT_EQ(time, c.usedTime);
        EXPECT_TRUE(BytesAre(buffer, c.expected));
    }
}

TEST_F(CmdBaseTest, CopiedBuilderWorksIndependently) {
    CCmdHelperBase copy(base);
    PrinterBuffer a, b;
    copy.SetDefaultTabs(a);
    base.SetDefaultTabs(b);
    EXPECT_TRUE(BytesAre(a, Hex(b.Bytes())));
}

}  // namespace
}  // namespace QVO::Printer
