// The virtual printer's barcodes as a printer takes them: the digit counts of the EAN/UPC
// commands, UPC-E from UPC-A digits, and GS1 data (FNC1, AIs in parentheses) for GS1-128
// and DataBar Expanded; read back from the paper with zbarimg.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "sim/VirtualPrinter.h"
#include "tests/sim/SimTestUtil.h"

namespace QVO::Sim {
namespace {

std::string Shell(const std::string& command) {
    std::string out;
    std::FILE* p = ::popen(command.c_str(), "r");
    if (p == nullptr) return out;
    char buffer[256];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    ::pclose(p);
    return out;
}

// GS w 2, GS h 80, then GS k m n data, and a few feeds so the symbol is clear of the edge.
Bytes Symbol(int m, const std::string& data) {
    return Cat({B({0x1D, 'w', 2, 0x1D, 'h', 80, 0x1D, 'k', m, int(data.size())}), S(data), B({0x0A, 0x0A, 0x0A})});
}

struct Printed {
    bool refused = false;
    std::string scanned;
};

Printed Print(int m, const std::string& data, const std::string& name) {
    VirtualPrinter p(PrinterIdentity::ForModel("QP-T80A"));
    p.Receive(Symbol(m, data));
    Printed out;
    const auto trace = p.Trace();
    out.refused = std::any_of(trace.begin(), trace.end(),
                              [](const std::string& t) { return t.rfind("note barcode_not_printed", 0) == 0; });
    const std::string path = ::testing::TempDir() + "/sim_barcode_" + name + ".png";
    if (p.WritePng(path)) out.scanned = Shell("zbarimg --raw -q '" + path + "' 2>/dev/null");
    return out;
}

// A printer refuses EAN/UPC data of the wrong length instead of padding it with zeros.
TEST(SimBarcode, EanAndUpcTakeOnlyTheirDigitCounts) {
    EXPECT_TRUE(Print(67, "1234567", "ean13_7").refused) << "EAN-13 takes 12 or 13 digits";
    EXPECT_TRUE(Print(68, "123456789012", "ean8_12").refused) << "EAN-8 takes 7 or 8 digits";
    EXPECT_TRUE(Print(65, "123456", "upca_6").refused) << "UPC-A takes 11 or 12 digits";
    EXPECT_TRUE(Print(66, "12345", "upce_5").refused);
    EXPECT_TRUE(Print(66, "03600029145", "upce_nozero").refused) << "no zero-suppressed form";
    EXPECT_FALSE(Print(67, "490123456789", "ean13_12").refused);
    EXPECT_FALSE(Print(68, "9638507", "ean8_7").refused);
}

TEST(SimBarcode, ScansBackAsPrinted) {
    if (Shell("command -v zbarimg").empty()) GTEST_SKIP() << "zbarimg (zbar-tools) is not installed";
    // UPC-E from the eleven and twelve UPC-A digits (zbar reports the expanded EAN-13 form).
    EXPECT_EQ(Print(66, "04210000526", "upce_11").scanned, "0042100005264\n");
    EXPECT_EQ(Print(66, "042100005264", "upce_12").scanned, "0042100005264\n");
    // GS1: the AIs' parentheses are not encoded; FNC1 marks the symbol as GS1.
    EXPECT_EQ(Print(74, "(01)09501101530003(17)140704", "gs1_128").scanned, "010950110153000317140704\n");
    EXPECT_EQ(Print(78, "(01)09501101530003(17)140704", "databar_exp").scanned, "010950110153000317140704\n");
}

}  // namespace
}  // namespace QVO::Sim
