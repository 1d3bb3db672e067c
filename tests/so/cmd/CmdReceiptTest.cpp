// A whole receipt built the way the engine builds one, compared as a command trace.
#include <gtest/gtest.h>

#include <string>

#include "CmdCases.h"
#include "CmdTrace.h"
#include "so/cmd/CCmdHelperBase.h"
#include "so/cmd/CmdHelper_RX4270.h"
#include "constants/OposPtrConstants.h"

namespace QVO::Printer {
namespace {

using namespace TestTrace;
using namespace QVO::Opos;

void BuildReceipt(ICmdHelper& helper, PrinterBuffer& out) {
    helper.InitializePrinter(out);
    helper.SelectCodePage(out, 437);
    helper.SetJustification(out, 1);
    out.Append(Text("Total"));
    out.Append(uint8_t{0x0A});
    helper.SelectPrintModes(out, false, true, false, false, false);
    helper.AppendBarcode(out, PTR_BCS_Code128, 60, 2, 1, PTR_BC_TEXT_NONE, 0, Text("42"));
    helper.FeedAndPartialCut(out);
}

TEST(CmdReceiptTest, BaseReceiptTrace) {
    CCmdHelperBase::SetCutterDistance(0);
    CCmdHelperBase builder;
    PrinterBuffer out(256, 32);
    BuildReceipt(builder, out);
    EXPECT_EQ(Trace(out.Bytes()),
              "ESC @ | FS . | ESC t 0 | ESC R 0 | ESC a 1 | \"Total\" | LF | ESC ! 8 | GS w 2 | GS h 60 | GS H 0 | "
              "GS f 0 | ESC a 1 | GS k 73 2 {34 32} | ESC J 0 | GS V 1");
}

TEST(CmdReceiptTest, VariantReceiptTraceInsidePackets) {
    CmdHelper_RX4270 builder;
    PrinterBuffer out(256, 32);
    BuildReceipt(builder, out);
    EXPECT_EQ(Trace(out.Bytes()),
              "ESC @ | FS . | ESC a 1 | \"Total\" | LF | ESC ! 8 | GS w 2 | GS h 60 | GS H 0 | GS f 0 | "
              "GS k 73 2 {34 32}");
    PrinterBuffer framed;
    builder.FrameForPort(framed, out);
    ASSERT_EQ(framed.Size(), out.Size() + 4);  // one packet: AA, length, check, BB
    EXPECT_EQ(framed[1], out.Size());
}

TEST(CmdReceiptTest, TraceShowsFramedBlocksAndTruncation) {
    PrinterBuffer out;
    CCmdHelperBase builder;
    builder.PrintQr(out);
    out.Append(TestTrace::FromHex("1B 57 01"));
    EXPECT_EQ(Trace(out.Bytes()), "GS (k [3] {31 51 30} | ESC W <truncated 1B 57 01>");
}

}  // namespace
}  // namespace QVO::Printer
