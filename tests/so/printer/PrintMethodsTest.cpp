// The print methods' buffers and argument rules at the engine: transactions collect, the
// maker's drawing commands come out as pairs, the property table's rules.
#include <gtest/gtest.h>

#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "so/printer/CRX4270SMB.h"
#include "tests/so/printer/FormatTestSupport.h"

namespace QVO::Printer::Test {
namespace {

using namespace Opos;

// The maker's model, which carries the line and curved-text commands, opened without a port.
// Asynchronous, so that the paper check (no status read yet: "empty") does not refuse.
class DrawingEngine : public CRX4270SMB {
public:
    DrawingEngine() : CRX4270SMB(L"RX4270SMB") {
        SetProperty_Open();
        CPrinterFormatTestAccess::MarkOpened(*this);
        SetAsyncMode(1);
    }
    std::string Collected() const { return CPrinterFormatTestAccess::TransactionBytes(*this); }
    // The bytes a call appends inside a transaction (nothing is sent while one is open).
    template <typename Call>
    std::string AppendedBy(Call call) {
        const size_t before = Collected().size();
        call();
        return Collected().substr(before);
    }
};

TEST(PrintMethodsTest, LineListBecomesWholePairs) {
    DrawingEngine engine;
    int32_t rc = -1;
    ASSERT_EQ((engine.TransactionPrint(PTR_S_RECEIPT, PTR_TP_TRANSACTION, &rc), rc), OPOS_SUCCESS);
    const std::string two = engine.AppendedBy([&] { engine.PrintLine(PTR_S_RECEIPT, L"10,200,300,400", &rc); });
    EXPECT_EQ(rc, OPOS_SUCCESS);
    EXPECT_EQ(two, std::string("\x1d\x27\x02\x0a\x00\xc8\x00\x2c\x01\x90\x01", 11));
    // The odd last value has no end and is left out.
    const std::string one = engine.AppendedBy([&] { engine.PrintLine(PTR_S_RECEIPT, L"10,200,300", &rc); });
    EXPECT_EQ(one, std::string("\x1d\x27\x01\x0a\x00\xc8\x00", 7));
    // Too short to hold a segment: refused, nothing appended.
    const std::string none = engine.AppendedBy([&] { engine.PrintLine(PTR_S_RECEIPT, L"10", &rc); });
    EXPECT_EQ(rc, OPOS_E_ILLEGAL);
    EXPECT_TRUE(none.empty());
}

TEST(PrintMethodsTest, CurvedTextCarriesItsNumberAndPosition) {
    DrawingEngine engine;
    int32_t rc = -1;
    engine.TransactionPrint(PTR_S_RECEIPT, PTR_TP_TRANSACTION, &rc);
    const std::string curve = engine.AppendedBy([&] { engine.PrintCurveText(PTR_S_RECEIPT, 1, 100, L"AB", &rc); });
    EXPECT_EQ(rc, OPOS_SUCCESS);
    EXPECT_EQ(curve, std::string("\x1d\x22\x01\x64\x00\x41\x42\x00", 8));
    engine.PrintCurveText(PTR_S_RECEIPT, 1, 100, L"", &rc);
    EXPECT_EQ(rc, OPOS_E_ILLEGAL);
}

// The compatible model has no line command: the capability check refuses before any byte.
TEST(PrintMethodsTest, DrawingNeedsTheMakersModel) {
    FormatEngine engine(L"TM-T88IV");
    engine.SetAsyncMode(1);
    int32_t rc = -1;
    engine.TransactionPrint(PTR_S_RECEIPT, PTR_TP_TRANSACTION, &rc);
    engine.PrintLine(PTR_S_RECEIPT, L"10,200", &rc);
    EXPECT_EQ(rc, OPOS_E_ILLEGAL);
}

TEST(PrintMethodsTest, TransactionStartsWithTheStandardSetupAndCollectsText) {
    FormatEngine engine(L"TM-T88IV");
    engine.SetAsyncMode(1);
    int32_t rc = -1;
    engine.TransactionPrint(PTR_S_RECEIPT, PTR_TP_TRANSACTION, &rc);
    engine.PrintNormal(PTR_S_RECEIPT, L"Inside\n", &rc);
    EXPECT_EQ(rc, OPOS_SUCCESS);
    const std::string trace = Trace([&] {
        PrinterBuffer b;
        const std::string bytes = CPrinterFormatTestAccess::TransactionBytes(engine);
        b.Append(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        return b;
    }());
    // The standard setup opens the transaction; each text is preceded by a formatting reset.
    EXPECT_EQ(trace.rfind("ESC = 1 | ESC a 0", 0), 0u) << trace;
    EXPECT_NE(trace.find("ESC a 0 | GS L 0 | ESC ! 0 | text \"Inside\""), std::string::npos) << trace;
    // A station other than the receipt is not supported.
    engine.TransactionPrint(PTR_S_JOURNAL, PTR_TP_TRANSACTION, &rc);
    EXPECT_EQ(rc, OPOS_E_EXTENDED);
    EXPECT_EQ(engine.ResultCodeExtended(), 300);
}

TEST(PrintMethodsTest, ValidateDataAnswersWithoutPrinting) {
    FormatEngine engine(L"TM-T88IV");
    int32_t rc = -1;
    engine.ValidateData(PTR_S_RECEIPT, L"\x1b|bCBold\x1b|N", &rc);
    EXPECT_EQ(rc, OPOS_SUCCESS);
    engine.ValidateData(PTR_S_RECEIPT, L"\x1b|3uC", &rc);
    EXPECT_EQ(rc, OPOS_E_ILLEGAL);
    engine.ValidateData(PTR_S_SLIP, L"x", &rc);
    EXPECT_EQ(rc, OPOS_E_EXTENDED);
}

TEST(PropertyTableTest, CharacterSetMustBeListed) {
    FormatEngine engine(L"TM-T88IV");
    EXPECT_EQ(engine.SetNumber(PIDXPtr_CharacterSet, 1252), OPOS_SUCCESS);
    EXPECT_EQ(engine.Number(PIDXPtr_CharacterSet), 1252);
    EXPECT_EQ(engine.SetNumber(PIDXPtr_CharacterSet, 1251), OPOS_E_ILLEGAL);
    EXPECT_EQ(engine.Number(PIDXPtr_CharacterSet), 1252);
    std::wstring list;
    engine.GetPropertyString(PIDXPtr_CharacterSetList, &list);
    EXPECT_NE(list.find(L",1252,"), std::wstring::npos);
}

TEST(PropertyTableTest, CapabilitiesAndStationsOfAReceiptOnlyPrinter) {
    FormatEngine engine(L"TM-T88IV");
    EXPECT_EQ(engine.Number(PIDXPtr_CapTransaction), 1);
    EXPECT_EQ(engine.Number(PIDXPtr_CapRecBarCode), 1);
    EXPECT_EQ(engine.Number(PIDXPtr_CapCharacterSet), PTR_CCS_ASCII);
    EXPECT_EQ(engine.Number(PIDXPtr_CapRecItalic), 0);
    EXPECT_EQ(engine.Number(PIDXPtr_CapJrnPresent), 0);
    EXPECT_EQ(engine.SetNumber(PIDXPtr_CapRecBold, 0), OPOS_E_ILLEGAL);
    // The journal: reads 0 and says the station is not supported.
    EXPECT_EQ(engine.Number(PIDXPtr_JrnLineChars), 0);
    EXPECT_EQ(engine.ResultCodeExtended(), 300);
    EXPECT_EQ(engine.SetNumber(PIDXPtr_JrnLineChars, 42), OPOS_E_EXTENDED);
    EXPECT_EQ(engine.SetNumber(PIDXPtr_JrnEmpty, 1), OPOS_E_ILLEGAL);
    EXPECT_EQ(engine.Number(PIDXPtr_JrnCartridgeState), PTR_CART_UNKNOWN);
    EXPECT_EQ(engine.SetNumber(PIDXPtr_RecCurrentCartridge, 2), OPOS_SUCCESS);
    EXPECT_EQ(engine.Number(PIDXPtr_RecCurrentCartridge), 2);
    EXPECT_EQ(engine.SetNumber(PIDXPtr_RecLineWidth, 100), OPOS_E_ILLEGAL);
}

TEST(PropertyTableTest, ClosedEngineRefusesWrites) {
    CTM_T88IV engine(L"TM-T88IV");
    int32_t rc = -1;
    engine.SetPropertyNumber(PIDXPtr_MapMode, 2, &rc);
    EXPECT_EQ(rc, OPOS_E_CLOSED);
}

}  // namespace
}  // namespace QVO::Printer::Test
