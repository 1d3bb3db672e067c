// Transactions and the property rules end to end: control object, COM runtime,
// libQUVOSO.so, TCP port, virtual printer.
#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "tests/so/com/SoTestSupport.h"

namespace QVO::Test {
namespace {

using namespace QVO::Opos;

class TransactionTest : public ServiceObjectTest {
protected:
    // Where in the printer's trace an entry first shows; npos when it never does.
    size_t PositionOf(const std::string& entry) const {
        const auto trace = printer_.Trace();
        const auto at = std::find(trace.begin(), trace.end(), entry);
        return at == trace.end() ? std::string::npos : size_t(at - trace.begin());
    }
};

// Nothing of a transaction reaches the printer before its end; immediate text overtakes it.
TEST_F(TransactionTest, CollectsUntilTheEndAndSendsOnce) {
    CPosPrinterControl printer;
    ASSERT_TRUE(Ready(printer, PrinterName()));
    ASSERT_EQ(printer.TransactionPrint(PTR_S_RECEIPT, PTR_TP_TRANSACTION), OPOS_SUCCESS);
    ASSERT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"First line\n"), OPOS_SUCCESS);
    ASSERT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"Second line\n"), OPOS_SUCCESS);
    ASSERT_EQ(printer.CutPaper(100), OPOS_SUCCESS);
    ASSERT_EQ(printer.PrintImmediate(PTR_S_RECEIPT, L"Overtaking\n"), OPOS_SUCCESS);
    ASSERT_TRUE(PrinterShows("text \"Overtaking\""));
    EXPECT_EQ(TraceCount("text \"First line\""), 0u);
    ASSERT_EQ(printer.TransactionPrint(PTR_S_RECEIPT, PTR_TP_NORMAL), OPOS_SUCCESS);
    ASSERT_TRUE(PrinterShows("text \"Second line\""));
    EXPECT_LT(PositionOf("text \"Overtaking\""), PositionOf("text \"First line\""));
    EXPECT_LT(PositionOf("text \"First line\""), PositionOf("text \"Second line\""));
    EXPECT_TRUE(PrinterShows("GS V 0"));
}

// Ending with any other control drops what was collected; an end without a begin does nothing.
TEST_F(TransactionTest, OtherEndingsDropTheTransaction) {
    CPosPrinterControl printer;
    ASSERT_TRUE(Ready(printer, PrinterName()));
    EXPECT_EQ(printer.TransactionPrint(PTR_S_RECEIPT, PTR_TP_NORMAL), OPOS_SUCCESS);
    ASSERT_EQ(printer.TransactionPrint(PTR_S_RECEIPT, PTR_TP_TRANSACTION), OPOS_SUCCESS);
    ASSERT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"Dropped\n"), OPOS_SUCCESS);
    EXPECT_EQ(printer.TransactionPrint(PTR_S_RECEIPT, 13), OPOS_SUCCESS);
    ASSERT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"After\n"), OPOS_SUCCESS);
    ASSERT_TRUE(PrinterShows("text \"After\""));
    EXPECT_EQ(TraceCount("text \"Dropped\""), 0u);
    // ClearOutput drops a transaction's collected text too.
    ASSERT_EQ(printer.TransactionPrint(PTR_S_RECEIPT, PTR_TP_TRANSACTION), OPOS_SUCCESS);
    ASSERT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"Cleared\n"), OPOS_SUCCESS);
    ASSERT_EQ(printer.ClearOutput(), OPOS_SUCCESS);
    ASSERT_EQ(printer.PrintNormal(PTR_S_RECEIPT, L"Kept\n"), OPOS_SUCCESS);
    ASSERT_EQ(printer.TransactionPrint(PTR_S_RECEIPT, PTR_TP_NORMAL), OPOS_SUCCESS);
    ASSERT_TRUE(PrinterShows("text \"Kept\""));
    EXPECT_EQ(TraceCount("text \"Cleared\""), 0u);
}

// The rules an application meets through the properties.
TEST_F(TransactionTest, PropertyRulesReachTheApplication) {
    CPosPrinterControl printer;
    ASSERT_TRUE(Ready(printer, PrinterName()));
    EXPECT_EQ(printer.SetCharacterSet(1251), OPOS_E_ILLEGAL);
    EXPECT_EQ(printer.GetCharacterSet(), 437);
    EXPECT_EQ(printer.SetCharacterSet(1252), OPOS_SUCCESS);
    EXPECT_EQ(printer.GetCharacterSet(), 1252);
    EXPECT_TRUE(printer.GetCapTransaction());
    EXPECT_EQ(printer.GetRecLineCharsList(), L"48,64");
    EXPECT_EQ(printer.SetPropertyNumber(PIDXPtr_CapRecBold, 0), OPOS_E_ILLEGAL);
    EXPECT_EQ(printer.SetPropertyNumber(PIDXPtr_JrnLineChars, 40), OPOS_E_EXTENDED);
    EXPECT_EQ(printer.GetResultCodeExtended(), 300);
}

}  // namespace
}  // namespace QVO::Test
