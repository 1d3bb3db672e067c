// How long building a typical receipt's commands takes with each builder, framing included.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "so/cmd/CCmdHelperBase.h"
#include "so/cmd/CmdHelper_RX4270.h"
#include "constants/OposPtrConstants.h"

namespace {

using namespace QVO::Printer;

std::span<const uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// About 300 builder operations: setup, 40 item lines with styles, totals, a barcode, a QR
// Code, feed and cut.
void BuildReceipt(ICmdHelper& helper, PrinterBuffer& out) {
    helper.InitializePrinter(out);
    helper.SelectCodePage(out, 1252);
    helper.SetLineSpacing(out, 30);
    helper.ResetCharacterFormat(out);
    helper.SetJustification(out, 1);
    helper.SelectPrintModes(out, false, true, true, true, false);
    out.Append(Bytes("QUVO MARKET\n"));
    helper.SelectPrintModes(out, false, false, false, false, false);
    helper.SetJustification(out, 0);
    char line[64];
    for (int item = 0; item < 40; ++item) {
        std::snprintf(line, sizeof line, "Item %02d                      %4d.%02d\n", item, item * 3, item % 100);
        helper.SetEmphasized(out, item % 5 == 0);
        helper.SetUnderline(out, item % 7 == 0 ? 1 : 0);
        helper.SetCharacterScale(out, 1, 1 + item % 2);
        helper.SetAbsolutePosition(out, 0);
        out.Append(Bytes(line));
        helper.PrintAndFeedDots(out, 4);
    }
    helper.SetCharacterSize(out, 2, 2);
    out.Append(Bytes("TOTAL           1234.56\n"));
    helper.SetCharacterSize(out, 1, 1);
    const std::string code = "4006381333931";
    helper.AppendBarcode(out, QVO::Opos::PTR_BCS_JAN13, 80, 3, 1, QVO::Opos::PTR_BC_TEXT_BELOW, 0, Bytes(code));
    const std::string url = "https://example.invalid/receipt/000123456789";
    helper.SelectQrModel(out, 0x32);
    helper.SetQrModuleSize(out, 6);
    helper.SetQrErrorLevel(out, 0x31);
    helper.StoreQrData(out, Bytes(url));
    helper.PrintQr(out);
    helper.FeedDots(out, 600);
    helper.FeedAndPartialCut(out);
}

template <typename Builder>
void BM_Receipt(benchmark::State& state) {
    CCmdHelperBase::SetCutterDistance(3450);
    Builder builder;
    PrinterBuffer out(4096, 32);
    PrinterBuffer framed(4096, 32);
    for (auto _ : state) {
        out.Clear();
        framed.Clear();
        BuildReceipt(builder, out);
        builder.FrameForPort(framed, out);
        benchmark::DoNotOptimize(framed.Data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(out.Size()));
}

// The engine's buffers start small (growth step 32), so growth is part of the real cost.
void BM_ReceiptFromSmallBuffer(benchmark::State& state) {
    CCmdHelperBase builder;
    for (auto _ : state) {
        PrinterBuffer out(32, 32);
        BuildReceipt(builder, out);
        benchmark::DoNotOptimize(out.Data());
    }
}

BENCHMARK(BM_Receipt<CCmdHelperBase>);
BENCHMARK(BM_Receipt<CmdHelper_RX4270>);
BENCHMARK(BM_ReceiptFromSmallBuffer);

}  // namespace

BENCHMARK_MAIN();
