// Status replies: validity checks and decoded flags of each parser, and the comparisons.
#include <gtest/gtest.h>

#include <array>

#include "so/cmd/CCmdHelperBase.h"
#include "so/cmd/CmdHelper_RX4270.h"
#include "constants/OposPtrConstants.h"

namespace QVO::Printer {
namespace {

using namespace QVO::Opos;

// Sentinel so a parser that writes a field it should not touch is caught.
constexpr int32_t kUntouched = 0x5A5A;

tagPrinterStatus Sentinel() { return {kUntouched, kUntouched, kUntouched, kUntouched, kUntouched, kUntouched}; }

struct AsbCase {
    const char* name;
    std::array<uint8_t, 4> block;
    bool valid;
    tagPrinterStatus expected;  // drawerOpen is never set by a parser
};

TEST(CmdStatusTest, AutoStatusBlockIsCheckedAndDecoded) {
    const AsbCase cases[] = {
        {"drawer only", {0x14, 0, 0, 0}, true, {0x04, kUntouched, 0, 0, 0, 0}},
        {"all zero is not a block", {0x00, 0, 0, 0}, false, {}},
        {"offline and cover", {0x38, 0, 0, 0}, true, {0, kUntouched, 0x08, 0x20, 0, 0}},
        {"near end needs both bits", {0x10, 0, 0x01, 0}, true, {0, kUntouched, 0, 0, 0, 0}},
        {"near end pair", {0x10, 0, 0x03, 0}, true, {0, kUntouched, 0, 0, 0x03, 0}},
        {"paper end needs both bits", {0x10, 0, 0x04, 0}, true, {0, kUntouched, 0, 0, 0, 0}},
        {"paper end and near end", {0x10, 0, 0x0F, 0}, true, {0, kUntouched, 0, 0, 0x03, 0x0C}},
        {"byte 0 bit 0 set", {0x11, 0, 0, 0}, false, {}},
        {"byte 0 bit 7 set", {0x90, 0, 0, 0}, false, {}},
        {"byte 1 bit 4 set", {0x10, 0x10, 0, 0}, false, {}},
        {"byte 2 bit 7 set", {0x10, 0, 0x80, 0}, false, {}},
        {"byte 3 bit 4 set", {0x10, 0, 0, 0x10}, false, {}},
        {"other bytes' free bits", {0x10, 0x6F, 0x60, 0x6F}, true, {0, kUntouched, 0, 0, 0, 0}},
    };
    CCmdHelperBase builder;
    ICmdHelper& helper = builder;
    for (const AsbCase& c : cases) {
        SCOPED_TRACE(c.name);
        tagPrinterStatus record = Sentinel();
        EXPECT_EQ(helper.ParseAutoStatus(c.block, &record), c.valid);
        const tagPrinterStatus want = c.valid ? c.expected : Sentinel();
        EXPECT_EQ(record.drawerSignal, want.drawerSignal);
        EXPECT_EQ(record.drawerOpen, kUntouched);
        EXPECT_EQ(record.offline, want.offline);
        EXPECT_EQ(record.coverOpen, want.coverOpen);
        EXPECT_EQ(record.paperNearEnd, want.paperNearEnd);
        EXPECT_EQ(record.paperEnd, want.paperEnd);
        EXPECT_EQ(helper.ParseAutoStatus(c.block, nullptr), c.valid);
    }
}

TEST(CmdStatusTest, ReplyBytesAreCheckedAndOnlyTheirFieldsWritten) {
    CCmdHelperBase builder;
    ICmdHelper& helper = builder;

    tagPrinterStatus record = Sentinel();
    EXPECT_FALSE(helper.ParsePrinterStatusByte(0x10, &record));  // 0x02 missing
    EXPECT_FALSE(helper.ParsePrinterStatusByte(0x02, &record));  // 0x10 missing
    EXPECT_EQ(record.offline, kUntouched);
    EXPECT_TRUE(helper.ParsePrinterStatusByte(0x1E, &record));
    EXPECT_EQ(record.offline, 0x08);
    EXPECT_EQ(record.drawerSignal, 0x04);
    EXPECT_EQ(record.coverOpen, kUntouched);
    EXPECT_TRUE(helper.ParsePrinterStatusByte(0x12, nullptr));

    record = Sentinel();
    EXPECT_TRUE(helper.ParseOfflineStatusByte(0x16, &record));
    EXPECT_EQ(record.coverOpen, 0x04);
    EXPECT_EQ(record.offline, kUntouched);
    EXPECT_FALSE(helper.ParseOfflineStatusByte(0x04, &record));

    record = Sentinel();
    EXPECT_TRUE(helper.ParsePaperStatusByte(0x7E, &record));
    EXPECT_EQ(record.paperNearEnd, 0x0C);
    EXPECT_EQ(record.paperEnd, 0x60);
    EXPECT_EQ(record.coverOpen, kUntouched);
    EXPECT_TRUE(helper.ParsePaperStatusByte(0x12, &record));
    EXPECT_EQ(record.paperNearEnd, 0);
    EXPECT_EQ(record.paperEnd, 0);
    EXPECT_FALSE(helper.ParsePaperStatusByte(0x6C, &record));

    // Transmit-status answers are taken as they come.
    record = Sentinel();
    EXPECT_TRUE(helper.ParsePaperSensorByte(0x0F, &record));
    EXPECT_EQ(record.paperNearEnd, 0x03);
    EXPECT_EQ(record.paperEnd, 0x0C);
    EXPECT_TRUE(helper.ParsePaperSensorByte(0x00, &record));
    EXPECT_EQ(record.paperNearEnd, 0);
    EXPECT_EQ(record.offline, kUntouched);

    int32_t drawer = kUntouched;
    EXPECT_TRUE(helper.ParseDrawerByte(0xFF, &drawer));
    EXPECT_EQ(drawer, 1);
    EXPECT_TRUE(helper.ParseDrawerByte(0xFE, &drawer));
    EXPECT_EQ(drawer, 0);
    EXPECT_TRUE(helper.ParseDrawerByte(0x01, nullptr));
}

TEST(CmdStatusTest, DrawerStatusRecordIsBuiltWithoutAppending) {
    CCmdHelperBase builder;
    std::array<uint8_t, 3> record{};
    static_cast<ICmdHelper&>(builder).DrawerStatusCommand(record);
    EXPECT_EQ(record, (std::array<uint8_t, 3>{0x1D, 0x72, 0x02}));
}

// Applies a new block to a stored copy until nothing changes, collecting the values reported.
std::vector<int32_t> Drain(ICmdHelper& helper, std::array<uint8_t, 4> fresh, std::array<uint8_t, 4>& stored) {
    std::vector<int32_t> reported;
    for (int guard = 0; guard < 10; ++guard) {
        const int32_t value = helper.CompareAutoStatus(fresh, stored);
        if (value == 0) break;
        reported.push_back(value);
    }
    return reported;
}

TEST(CmdStatusTest, AutoStatusComparisonReportsOneChangePerCall) {
    CCmdHelperBase builder;
    ICmdHelper& helper = builder;
    std::array<uint8_t, 4> stored = {0x10, 0, 0, 0};
    EXPECT_EQ(Drain(helper, {0x10, 0, 0, 0}, stored), std::vector<int32_t>{});
    EXPECT_EQ(Drain(helper, {0x30, 0x08, 0x03, 0}, stored),
              (std::vector<int32_t>{PTR_SUE_COVER_OPEN, 21, PTR_SUE_REC_NEAREMPTY}));
    EXPECT_EQ(stored, (std::array<uint8_t, 4>{0x30, 0x08, 0x03, 0}));
    EXPECT_EQ(Drain(helper, {0x10, 0, 0x0F, 0}, stored),
              (std::vector<int32_t>{PTR_SUE_COVER_OK, 20, PTR_SUE_REC_EMPTY}));
    // Refilled roll: paper end clears first, then near end; the value is the state after each.
    EXPECT_EQ(Drain(helper, {0x10, 0, 0, 0}, stored),
              (std::vector<int32_t>{PTR_SUE_REC_NEAREMPTY, PTR_SUE_REC_PAPEROK}));
    // A single bit of a pair is not a state change.
    EXPECT_EQ(Drain(helper, {0x10, 0, 0x05, 0}, stored), std::vector<int32_t>{});
}

TEST(CmdStatusTest, VariantComparesItsOwnStatusBytes) {
    CmdHelper_RX4270 builder;
    ICmdHelper& helper = builder;
    std::array<uint8_t, 4> stored = {0, 0, 0, 0};
    // Bytes 0 and 2 are not looked at; byte 1 carries the cover, byte 3 the paper.
    EXPECT_EQ(Drain(helper, {0x20, 0, 0x0F, 0}, stored), std::vector<int32_t>{});
    EXPECT_EQ(Drain(helper, {0, 0x28, 0, 0x0C}, stored), (std::vector<int32_t>{PTR_SUE_COVER_OPEN, PTR_SUE_REC_EMPTY}));
}

TEST(CmdStatusTest, StatusByteComparisonByKind) {
    CCmdHelperBase builder;
    ICmdHelper& helper = builder;
    uint8_t cover = 0x12;
    EXPECT_EQ(helper.CompareStatusByte(0x12, cover, kStatusByteOfflineCause), 0);
    EXPECT_EQ(helper.CompareStatusByte(0x16, cover, kStatusByteOfflineCause), PTR_SUE_REC_COVER_OPEN);
    EXPECT_EQ(cover, 0x16);
    EXPECT_EQ(helper.CompareStatusByte(0x12, cover, kStatusByteOfflineCause), PTR_SUE_REC_COVER_OK);

    uint8_t paper = 0x12;
    EXPECT_EQ(helper.CompareStatusByte(0x1E, paper, kStatusByteRollPaper), PTR_SUE_REC_NEAREMPTY);
    EXPECT_EQ(helper.CompareStatusByte(0x7E, paper, kStatusByteRollPaper), PTR_SUE_REC_EMPTY);
    EXPECT_EQ(helper.CompareStatusByte(0x7E, paper, kStatusByteRollPaper), 0);
    EXPECT_EQ(helper.CompareStatusByte(0x12, paper, kStatusByteRollPaper),
              PTR_SUE_REC_NEAREMPTY);  // paper end cleared first
    EXPECT_EQ(helper.CompareStatusByte(0x12, paper, kStatusByteRollPaper), PTR_SUE_REC_PAPEROK);
    EXPECT_EQ(paper, 0x12);
    uint8_t other = 0;
    EXPECT_EQ(helper.CompareStatusByte(0xFF, other, 3), 0);
    EXPECT_EQ(other, 0);
}

TEST(CmdStatusTest, DrawerBitHelpers) {
    CCmdHelperBase base;
    CmdHelper_RX4270 variant;
    ICmdHelper& b = base;
    ICmdHelper& v = variant;
    EXPECT_FALSE(b.DrawerBitChanged(0x04, 0x04, false));
    EXPECT_TRUE(b.DrawerBitChanged(0x04, 0x00, false));
    EXPECT_TRUE(b.DrawerBitChanged(0x04, 0x00, true));
    EXPECT_TRUE(b.DrawerBitChanged(0x00, 0x04, false));
    EXPECT_FALSE(b.DrawerBitChanged(0x00, 0x04, true));
    EXPECT_TRUE(b.TestDrawerBit(0x04, true));
    EXPECT_FALSE(b.TestDrawerBit(0x00, true));
    EXPECT_TRUE(b.TestDrawerBit(0x00, false));
    EXPECT_FALSE(b.TestDrawerBit(0x04, false));
    EXPECT_FALSE(v.DrawerBitChanged(0x04, 0x00, false));
    EXPECT_FALSE(v.TestDrawerBit(0x04, true));
    EXPECT_FALSE(v.TestDrawerBit(0x00, false));
}

}  // namespace
}  // namespace QVO::Printer
