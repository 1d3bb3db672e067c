// Opening the service object: every way an open fails, with its result and OpenResult.
#include "constants/OposConstants.h"
#include "tests/so/com/SoTestSupport.h"

namespace QVO::Test {
namespace {

using namespace QVO::Opos;
using Platform::Com::Variant;

class OpenServiceTest : public ServiceObjectTest {
protected:
    void SetValue(const std::wstring& entryKey, const std::wstring& name, const Reg::Value& value) {
        Reg::Key key;
        ASSERT_TRUE(Reg::Key::Open(Reg::Hive::LocalMachine, entryKey, key));
        ASSERT_TRUE(key.SetValue(name, value));
    }
    void DeleteValue(const std::wstring& entryKey, const std::wstring& name) {
        Reg::Key key;
        ASSERT_TRUE(Reg::Key::Open(Reg::Hive::LocalMachine, entryKey, key));
        ASSERT_TRUE(key.DeleteValue(name));
    }
    std::wstring PrinterKey() const { return kPrinterClassKey + L"\\" + PrinterName(); }

    // Opens the test's printer entry directly; the result and OpenResult.
    std::pair<int32_t, int32_t> OpenPrinter() {
        DirectSo so;
        EXPECT_TRUE(so);
        const int32_t rc = so.Open(L"POSPrinter", PrinterName());
        return {rc, so.OpenResult()};
    }
};

TEST_F(OpenServiceTest, EmptyNameAndSecondOpen) {
    DirectSo so;
    ASSERT_TRUE(so);
    EXPECT_EQ(so.Open(L"POSPrinter", L""), OPOS_E_ILLEGAL);
    EXPECT_EQ(so.OpenResult(), OPOS_ORS_NOTSUPPORTED);
    ASSERT_EQ(so.Open(L"POSPrinter", PrinterName()), OPOS_SUCCESS);
    EXPECT_EQ(so.Open(L"POSPrinter", L"NoSuchPrinter"), OPOS_SUCCESS) << "a second open changes nothing";
    EXPECT_EQ(so.OpenResult(), OPOS_SUCCESS);
    EXPECT_EQ(so.Call(L"CloseService"), OPOS_SUCCESS);
}

TEST_F(OpenServiceTest, PrinterEntryProblemsAreConfigurationErrors) {
    DirectSo missing;
    EXPECT_EQ(missing.Open(L"POSPrinter", L"NoSuchPrinter"), OPOS_E_ILLEGAL);
    EXPECT_EQ(missing.OpenResult(), OPOS_ORS_CONFIG);

    // Never used, but every value must be there.
    DeleteValue(PrinterKey(), L"Notes");
    EXPECT_EQ(OpenPrinter(), std::make_pair(OPOS_E_ILLEGAL, OPOS_ORS_CONFIG));
    SetValue(PrinterKey(), L"Notes", Reg::Value::String(L""));

    SetValue(PrinterKey(), L"CodepageID", Reg::Value::ExpandString(L"437"));
    EXPECT_EQ(OpenPrinter(), std::make_pair(OPOS_E_ILLEGAL, OPOS_ORS_CONFIG)) << "REG_EXPAND_SZ is not read";
    SetValue(PrinterKey(), L"CodepageID", Reg::Value::String(L"437"));

    SetValue(PrinterKey(), L"PortType", Reg::Value::String(L"IRDA"));
    EXPECT_EQ(OpenPrinter(), std::make_pair(OPOS_E_ILLEGAL, OPOS_ORS_CONFIG));
    SetValue(PrinterKey(), L"PortType", Reg::Value::String(L"TCP/IP"));

    EXPECT_EQ(OpenPrinter(), std::make_pair(OPOS_SUCCESS, OPOS_SUCCESS)) << "the entry is whole again";
}

TEST_F(OpenServiceTest, ValueLongerThanItsSlotIsRefusedNotCut) {
    // A 256-character description would have been cut to 255 and opened; it is refused.
    SetValue(PrinterKey(), L"DeviceDescription", Reg::Value::String(std::wstring(256, L'x')));
    EXPECT_EQ(OpenPrinter(), std::make_pair(OPOS_E_ILLEGAL, OPOS_ORS_CONFIG));
    SetValue(PrinterKey(), L"DeviceDescription", Reg::Value::String(std::wstring(255, L'x')));
    EXPECT_EQ(OpenPrinter(), std::make_pair(OPOS_SUCCESS, OPOS_SUCCESS));
}

TEST_F(OpenServiceTest, ModelNamesSelectTheEngineClass) {
    SetValue(PrinterKey(), L"DriverModel", Reg::Value::String(L"QP-T80A_07"));
    EXPECT_EQ(OpenPrinter(), std::make_pair(OPOS_SUCCESS, OPOS_SUCCESS)) << "a suffix after '_' is ignored";
    SetValue(PrinterKey(), L"DriverModel", Reg::Value::String(L"qp-t80a"));
    EXPECT_EQ(OpenPrinter(), std::make_pair(OPOS_E_ILLEGAL, OPOS_ORS_NOTSUPPORTED)) << "names are case-sensitive";
    SetValue(PrinterKey(), L"DriverModel", Reg::Value::String(L"NoSuchModel"));
    EXPECT_EQ(OpenPrinter(), std::make_pair(OPOS_E_ILLEGAL, OPOS_ORS_NOTSUPPORTED));
}

TEST_F(OpenServiceTest, UnreachablePortFailsWithTheEnginesCode) {
    server_.reset();  // nothing listens on the entry's port any more
    EXPECT_EQ(OpenPrinter(), std::make_pair(OPOS_E_ILLEGAL, OPOS_ORS_NOPORT));
}

TEST_F(OpenServiceTest, CashDrawerEntries) {
    DirectSo missing;
    EXPECT_EQ(missing.Open(L"CashDrawer", L"NoSuchDrawer"), OPOS_E_ILLEGAL);
    EXPECT_EQ(missing.OpenResult(), OPOS_ORS_CONFIG);

    WriteDrawerEntry(L"OrphanDrawer", DrawerEntry{L"NoSuchPrinter"});
    DirectSo orphan;
    EXPECT_EQ(orphan.Open(L"CashDrawer", L"OrphanDrawer"), OPOS_E_NOSERVICE);
    EXPECT_EQ(orphan.OpenResult(), OPOS_ORS_CONFIG);

    WriteDrawerEntry(L"Drawer" + PrinterName(), DrawerEntry{PrinterName()});
    DeleteValue(kDrawerClassKey + L"\\Drawer" + PrinterName(), L"SignalOnTime");
    DirectSo incomplete;
    EXPECT_EQ(incomplete.Open(L"CashDrawer", L"Drawer" + PrinterName()), OPOS_E_NOSERVICE);
    EXPECT_EQ(incomplete.OpenResult(), OPOS_ORS_CONFIG);
}

TEST_F(OpenServiceTest, MethodsOutsideTheProductAreIllegalInEveryState) {
    DirectSo so;
    ASSERT_TRUE(so);
    const std::vector<std::pair<const wchar_t*, std::vector<Variant>>> calls = {
        {L"PrintTwoNormal", {Variant(LONG(2)), Variant(L"a"), Variant(L"b")}},
        {L"ValidateData", {Variant(LONG(2)), Variant(L"a")}},
        {L"ResetStatistics", {Variant(L"")}},
        {L"UpdateFirmware", {Variant(L"f")}},
        {L"BeginInsertion", {Variant(LONG(0))}},
    };
    for (const auto& [name, args] : calls) EXPECT_EQ(so.Call(name, args), OPOS_E_ILLEGAL) << name << " before open";
    EXPECT_EQ(so.Call(L"GetPropertyString", {Variant(LONG(PIDX_DeviceName))}), INT32_MIN)
        << "a text result does not read as a number";
    ASSERT_EQ(so.Open(L"POSPrinter", PrinterName()), OPOS_SUCCESS);
    for (const auto& [name, args] : calls) EXPECT_EQ(so.Call(name, args), OPOS_E_ILLEGAL) << name << " when open";
    EXPECT_EQ(so.Call(L"CloseService"), OPOS_SUCCESS);
}

}  // namespace
}  // namespace QVO::Test
