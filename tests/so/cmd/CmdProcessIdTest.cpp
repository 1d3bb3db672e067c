// The process-ID request appended to an output: its bytes, the order of the four ID bytes,
// and the values a printer would not answer (nothing appended, so nobody waits for them).
#include <gtest/gtest.h>

#include <vector>

#include "CmdCases.h"
#include "so/cmd/CCmdHelperBase.h"
#include "so/cmd/CmdHelper_RX4270.h"

namespace QVO::Printer {
namespace {

using namespace TestTrace;

// Catches a request with the ID bytes reversed or shifted (the answer would never match the
// output it belongs to) and a request sent for an ID the printer refuses.
TEST(CmdProcessIdTest, RequestCarriesTheFourIdBytesMostSignificantFirst) {
    CCmdHelperBase base;
    const std::vector<OpCase> cases = {
        {"FFFF", Do([](ICmdHelper& h, PrinterBuffer& b) { h.PrepareSend(b, 0x46464646); }), true,
         "1D 28 48 06 00 30 30 46 46 46 46"},
        {"order", Do([](ICmdHelper& h, PrinterBuffer& b) { h.PrepareSend(b, 0x21324354); }), true,
         "1D 28 48 06 00 30 30 21 32 43 54"},
        {"lowest and highest", Do([](ICmdHelper& h, PrinterBuffer& b) { h.PrepareSend(b, 0x207E207E); }), true,
         "1D 28 48 06 00 30 30 20 7E 20 7E"},
        {"control byte refused", Do([](ICmdHelper& h, PrinterBuffer& b) { h.PrepareSend(b, 0x2020201F); }), true, ""},
        {"DEL refused", Do([](ICmdHelper& h, PrinterBuffer& b) { h.PrepareSend(b, 0x7F202020); }), true, ""},
        {"high byte refused", Do([](ICmdHelper& h, PrinterBuffer& b) { h.PrepareSend(b, -1); }), true, ""},
    };
    RunCases(base, cases);
}

// The maker's printer never answers the request: a request appended for it would only be
// waited for in vain.
TEST(CmdProcessIdTest, MakersPrinterGetsNoRequest) {
    CmdHelper_RX4270 maker;
    const std::vector<OpCase> cases = {
        {"FFFF", Do([](ICmdHelper& h, PrinterBuffer& b) { h.PrepareSend(b, 0x46464646); }), true, ""}};
    RunCases(maker, cases);
}

}  // namespace
}  // namespace QVO::Printer
