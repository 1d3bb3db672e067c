// How long the engine takes to turn a 40-line receipt, as an application passes it to
// PrintNormal (wide text with OPOS escape sequences: styles, alignment, right-aligned prices),
// into the finished byte stream: conversion, the standard setup, the interpreter and the
// pending settings in front. Goal: under 50 us per receipt in the release build.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "so/printer/CTM_T88IV.h"

namespace {

using namespace QVO::Printer;

constexpr int32_t kStandardSetup = 3;
constexpr int kItems = 34;

// The engine's own PrintNormal steps up to the port, without one.
class ReceiptEngine : public CTM_T88IV {
public:
    explicit ReceiptEngine(int32_t characterSet) : CTM_T88IV(L"QP-T80A") {
        SetProperty_Open();
        SetCharacterSet(characterSet);
    }
    const PrinterBuffer& Format(const std::wstring& text) {
        input_.Clear();
        output_.Clear();
        int32_t codePage = 0;
        DataBinaryConversion(input_, text, &codePage);
        InitOutBufferWithPMControl(output_, kStandardSetup);
        if (codePage != 0 && codePage != CharacterSet()) CmdHelper()->SelectCodePage(output_, codePage);
        FormatStringToOutBuffer(output_, input_.Bytes(), false);
        set_printerSettings(output_);
        return output_;
    }

private:
    PrinterBuffer input_{4096};
    PrinterBuffer output_{8192};
};

// 40 lines: a centred double-size header, 34 items with right-aligned prices (some bold,
// underlined or reversed), a rule, the total in double size, a thank-you line, feed and cut.
std::wstring Receipt(const wchar_t* itemWord) {
    std::wstring text = L"\x1b|cA\x1b|bC\x1b|4CQUVO MARKET\x1b|N\n\x1b|cAMain Street 1, Springfield\n";
    wchar_t line[128];
    for (int i = 0; i < kItems; ++i) {
        const wchar_t* style = i % 5 == 0 ? L"\x1b|bC" : i % 7 == 0 ? L"\x1b|uC" : i % 11 == 0 ? L"\x1b|rvC" : L"";
        std::swprintf(line, 128, L"%ls%ls %02d x%d\x1b|rA%5d.%02d\x1b|N\n", style, itemWord, i, 1 + i % 3, i * 3 + 1,
                      (i * 37) % 100);
        text += line;
    }
    text += L"------------------------------------------------\n";
    text += L"\x1b|bC\x1b|2CTOTAL\x1b|rA1234.56\x1b|N\n";
    text += L"\x1b|cAThank you for shopping with us!\n\x1b|3lF\x1b|fP";
    return text;
}

void BM_FormatReceipt(benchmark::State& state, int32_t characterSet, const wchar_t* itemWord) {
    ReceiptEngine engine(characterSet);
    const std::wstring text = Receipt(itemWord);
    size_t bytes = 0;
    for (auto _ : state) {
        const PrinterBuffer& out = engine.Format(text);
        bytes = out.Size();
        benchmark::DoNotOptimize(out.Data());
    }
    state.counters["bytes"] = static_cast<double>(bytes);
    state.SetItemsProcessed(state.iterations());
}

// Code page 1252 (a table of the printer), and character set 997 with items in three scripts.
BENCHMARK_CAPTURE(BM_FormatReceipt, cp1252, 1252, L"Caf\u00e9 cr\u00e8me")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_FormatReceipt, unicode997, 997, L"\u0421\u044b\u0440 \u65e5\u672c \u05d7\u05dc\u05d1")
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
