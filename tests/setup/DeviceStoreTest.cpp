// The registry routines: device names, logical names, ownership and deletion.
#include "setup/core/DeviceStore.h"

#include "tests/setup/SetupTestSupport.h"

namespace QVO::Setup {
namespace {

using Test::SetupStoreTest;
using DeviceStoreTest = SetupStoreTest;

const std::wstring kPrinters = ClassKey(DeviceClass::Printer);

TEST_F(DeviceStoreTest, NextDeviceNameTakesTheHighestNumberedSuffix) {
    EXPECT_EQ(NextDeviceName(DeviceClass::Printer, L"RX4270"), L"RX4270_01");
    for (const wchar_t* name : {L"RX4270_01", L"RX4270_03", L"RX4270_x"})
        ASSERT_TRUE(RegWriteText(EntryKey(DeviceClass::Printer, name), L"DriverName", name).ok());
    EXPECT_EQ(NextDeviceName(DeviceClass::Printer, L"RX4270"), L"RX4270_04");
    ASSERT_TRUE(RegWriteText(EntryKey(DeviceClass::Printer, L"rx4270_09"), L"DriverName", L"x").ok());
    // Key names compare case-insensitively: rx4270_09 takes the name RX4270_09 too.
    EXPECT_EQ(NextDeviceName(DeviceClass::Printer, L"RX4270"), L"RX4270_10");
    // The drawer class counts on its own.
    EXPECT_EQ(NextDeviceName(DeviceClass::CashDrawer, L"RX4270_01"), L"RX4270_01_01");
}

TEST_F(DeviceStoreTest, LogicalNamesAreClassValuesLeadingToAnEntry) {
    ASSERT_TRUE(RegWriteText(kPrinters, L"POS1", L"RX4270_01").ok());
    ASSERT_TRUE(RegWriteText(kPrinters, L"POS2", L"rx4270_01").ok());
    ASSERT_TRUE(RegWriteText(kPrinters, L"OTHER", L"TM_01").ok());
    EXPECT_FALSE(IsLogicNameFree(L"pos1", DeviceClass::Printer));
    EXPECT_TRUE(IsLogicNameFree(L"POS1", DeviceClass::CashDrawer));
    EXPECT_EQ(FindLogicName(L"RX4270_01", DeviceClass::Printer), L"POS1");
    EXPECT_EQ(LogicNamesOf(L"RX4270_01", DeviceClass::Printer), (std::vector<std::wstring>{L"POS1", L"POS2"}));
    EXPECT_EQ(FindLogicName(L"NONE", DeviceClass::Printer), L"");
}

// Deleting a device takes its logical names with it, so none is left leading nowhere.
TEST_F(DeviceStoreTest, DeleteDeviceRemovesEntryAndItsLogicalNames) {
    ASSERT_TRUE(RegWriteText(EntryKey(DeviceClass::Printer, L"RX4270_01"), L"DriverName", L"RX4270_01").ok());
    ASSERT_TRUE(RegWriteText(kPrinters, L"POS1", L"RX4270_01").ok());
    ASSERT_TRUE(RegWriteText(kPrinters, L"POS2", L"RX4270_01").ok());
    ASSERT_TRUE(RegWriteText(kPrinters, L"OTHER", L"TM_01").ok());
    ASSERT_TRUE(DeleteDevice(DeviceClass::Printer, L"RX4270_01").ok());
    EXPECT_FALSE(DeviceExists(DeviceClass::Printer, L"RX4270_01"));
    EXPECT_EQ(RegValueNames(kPrinters), (std::vector<std::wstring>{L"OTHER"}));
}

TEST_F(DeviceStoreTest, OwnershipIsASubstringOfDllFileName) {
    ASSERT_TRUE(RegWriteText(EntryKey(DeviceClass::Printer, L"A"), L"", L"QUVOOposPrinterU1.13").ok());
    ASSERT_TRUE(RegWriteText(EntryKey(DeviceClass::Printer, L"B"), L"", L"OtherVendor.Printer").ok());
    ASSERT_TRUE(RegWriteText(EntryKey(DeviceClass::Printer, L"C"), L"DriverName", L"C").ok());
    EXPECT_TRUE(IsOwnEntry(DeviceClass::Printer, L"A", L"QUVOOposPrinterU1.13,QUVOOposPrinterU1"));
    EXPECT_FALSE(IsOwnEntry(DeviceClass::Printer, L"B", L"QUVOOposPrinterU1.13"));
    EXPECT_FALSE(IsOwnEntry(DeviceClass::Printer, L"C", L"QUVOOposPrinterU1.13"));  // no default value
    EXPECT_FALSE(IsOwnEntry(DeviceClass::Printer, L"A", L""));
}

// An empty name would write into the class key itself, a backslash would nest keys, and an
// existing name would overwrite another entry.
TEST_F(DeviceStoreTest, DeviceNamesThatWouldDamageTheStoreAreRefused) {
    ASSERT_TRUE(RegWriteText(EntryKey(DeviceClass::Printer, L"RX4270_01"), L"DriverName", L"RX4270_01").ok());
    auto check = [](const std::wstring& name, const std::wstring& own) {
        return CheckDeviceName(DeviceClass::Printer, name, own, L"empty", L"bad", L"exists");
    };
    EXPECT_EQ(check(L"", L""), L"empty");
    EXPECT_EQ(check(L"  ", L""), L"empty");
    EXPECT_EQ(check(L"A\\B", L""), L"bad");
    EXPECT_EQ(check(std::wstring(256, L'x'), L""), L"bad");
    EXPECT_EQ(check(L"rx4270_01", L""), L"exists");
    EXPECT_EQ(check(L"rx4270_01", L"RX4270_01"), L"");  // its own name, in another case
    EXPECT_EQ(check(L"RX4270_02", L"RX4270_01"), L"");
}

TEST_F(DeviceStoreTest, EnsureClassKeysCreatesBothClasses) {
    ASSERT_TRUE(EnsureClassKeys().ok());
    EXPECT_EQ(RegKeyNames(kBaseKey), (std::vector<std::wstring>{L"CashDrawer", L"POSPrinter"}));
    EXPECT_TRUE(RegRemoveKey(kPrinters, L"missing").ok());
    EXPECT_TRUE(RegRemoveValue(kPrinters, L"missing").ok());
}

}  // namespace
}  // namespace QVO::Setup
