// Module-width fitting: widest module whose symbol fits the requested width, per symbology.
#include <gtest/gtest.h>

#include "CmdCases.h"
#include "so/cmd/CCmdHelperBase.h"
#include "so/cmd/CmdHelper_RX4270.h"
#include "constants/OposPtrConstants.h"

namespace QVO::Printer {
namespace {

using namespace QVO::Opos;
using TestTrace::Text;

struct FitCase {
    const char* name;
    int32_t symbology;
    const char* data;
    int32_t requested;
    int32_t module;
    int32_t width;
};

const FitCase kFitCases[] = {
    {"Code 39 600 dots: W(4) = 620 too wide", PTR_BCS_Code39, "0123456789", 600, 3, 465},
    {"Code 39 module given", PTR_BCS_Code39, "0123456789", 3, 3, 465},
    {"Code 39 narrower than W(2)", PTR_BCS_Code39, "0123456789", 200, 2, 200},
    {"Code 39 everything fits", PTR_BCS_Code39, "0123456789", 10000, 6, 930},
    {"UPC-A", PTR_BCS_UPCA, "01234567890", 400, 4, 380},
    {"UPC-E exact fit", PTR_BCS_UPCE, "0123456", 106, 2, 106},
    {"EAN-8", PTR_BCS_JAN8, "1234567", 300, 4, 268},
    {"EAN-13 below 7 is a module", PTR_BCS_JAN13, "123456789012", 6, 6, 570},
    {"ITF all fit", PTR_BCS_ITF, "1234", 300, 6, 243},
    {"ITF module 3", PTR_BCS_ITF, "1234", 3, 3, 126},
    {"ITF module 1 has no wide element", PTR_BCS_ITF, "1234", 1, 1, 1},
    {"ITF between 4 and 5", PTR_BCS_ITF, "1234", 200, 4, 162},
    {"Codabar letters are wider", PTR_BCS_Codabar, "A12B", 200, 3, 189},
    {"Codabar one byte has no gap", PTR_BCS_Codabar, "1", 50, 2, 42},
    {"Code 93", PTR_BCS_Code93, "ABCDE", 300, 3, 252},
    {"Code 128", PTR_BCS_Code128, "ABCDE", 500, 5, 450},
    {"Code 128 parsed", PTR_BCS_Code128_Parsed, "ABCDE", 500, 5, 450},
    {"other symbology by dots", PTR_BCS_EAN128, "ABCDE", 500, 2, 500},
    {"other symbology by module", PTR_BCS_EAN128, "ABCDE", 4, 4, 4},
};

void CheckFits(ICmdHelper& helper) {
    for (const FitCase& c : kFitCases) {
        SCOPED_TRACE(c.name);
        int32_t width = -1;
        EXPECT_EQ(helper.FitBarcodeModuleWidth(c.symbology, c.requested, Text(c.data), &width), c.module);
        EXPECT_EQ(width, c.width);
        EXPECT_EQ(helper.FitBarcodeModuleWidth(c.symbology, c.requested, Text(c.data), nullptr), c.module);
    }
}

TEST(CmdBarcodeFitTest, BaseBuilder) {
    CCmdHelperBase builder;
    CheckFits(builder);
}

TEST(CmdBarcodeFitTest, VariantBuilderInheritsTheRule) {
    CmdHelper_RX4270 builder;
    CheckFits(builder);
}

}  // namespace
}  // namespace QVO::Printer
