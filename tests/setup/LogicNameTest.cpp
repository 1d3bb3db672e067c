// Logical names: the dialog's checks, renames and the last name of a device; code page lists.
#include "setup/core/Codepage.h"
#include "setup/core/LogicName.h"

#include "setup/core/TextUtil.h"
#include "tests/setup/SetupTestSupport.h"

namespace QVO::Setup {
namespace {

using LogicNameTest = Test::SetupStoreTest;
const std::wstring kPrinters = ClassKey(DeviceClass::Printer);

// An application opens the name as it types it, without blanks: the stored name must match.
TEST_F(LogicNameTest, TypedNameIsStoredWithoutItsBlanks) {
    const LogicNameResult r = SaveLogicName(DeviceClass::Printer, L"RX4270_01", EditMode::Add, L"", L"  POS 2 \t");
    ASSERT_TRUE(r.ok()) << ToUtf8(r.refusedKey) << r.status.message;
    EXPECT_EQ(RegValueNames(kPrinters), (std::vector<std::wstring>{L"POS 2"}));
    EXPECT_EQ(RegReadText(kPrinters, L"POS 2"), L"RX4270_01");
}

TEST_F(LogicNameTest, EmptyAndExistingNamesAreRefused) {
    ASSERT_TRUE(SaveLogicName(DeviceClass::Printer, L"RX4270_01", EditMode::Add, L"", L"POS1").ok());
    EXPECT_EQ(SaveLogicName(DeviceClass::Printer, L"RX4270_01", EditMode::Add, L"", L"   ").refusedKey,
              L"FormALN_NullLogicName");
    EXPECT_EQ(SaveLogicName(DeviceClass::Printer, L"RX4270_01", EditMode::Add, L"", L" pos1 ").refusedKey,
              L"FormALN_LogicNameExist");
    // Renaming a name to itself is refused too.
    EXPECT_EQ(SaveLogicName(DeviceClass::Printer, L"RX4270_01", EditMode::Modify, L"POS1", L"POS1").refusedKey,
              L"FormALN_LogicNameExist");
    EXPECT_FALSE(HasValue(kPrinters, L""));
}

TEST_F(LogicNameTest, ModifyReplacesTheOldName) {
    ASSERT_TRUE(SaveLogicName(DeviceClass::CashDrawer, L"D1", EditMode::Add, L"", L"TILL").ok());
    ASSERT_TRUE(SaveLogicName(DeviceClass::CashDrawer, L"D1", EditMode::Modify, L"TILL", L"TILL2").ok());
    EXPECT_EQ(RegValueNames(ClassKey(DeviceClass::CashDrawer)), (std::vector<std::wstring>{L"TILL2"}));
}

TEST_F(LogicNameTest, TheLastLogicalNameOfADeviceStays) {
    ASSERT_TRUE(SaveLogicName(DeviceClass::Printer, L"RX4270_01", EditMode::Add, L"", L"POS1").ok());
    EXPECT_EQ(DeleteLogicName(DeviceClass::Printer, L"POS1").refusedKey, L"FormD_LastLogicName1");
    ASSERT_TRUE(SaveLogicName(DeviceClass::Printer, L"RX4270_01", EditMode::Add, L"", L"POS2").ok());
    ASSERT_TRUE(DeleteLogicName(DeviceClass::Printer, L"POS1").ok());
    EXPECT_EQ(RegValueNames(kPrinters), (std::vector<std::wstring>{L"POS2"}));
    EXPECT_FALSE(DeleteLogicName(DeviceClass::Printer, L"NOSUCH").ok());
}

TEST(CodepageChoicesTest, ListsMatchByPositionAndUnknownIdsSelectTheFirst) {
    const LanguageTexts texts(IniFile::Parse("[LanguageCollect]\nList=1033\nDefaultLanguageID=1033\n"
                                             "CodepageIDList=437,850,858\n[1033]\n"
                                             "FormSetCodepage_cmbCodepage_Items=USA,Multilingual\n"),
                              1033);
    const CodepageChoices choices = CodepageChoices::FromTexts(texts);
    EXPECT_EQ(choices.items, (std::vector<std::wstring>{L"USA", L"Multilingual"}));
    EXPECT_EQ(choices.ids, (std::vector<std::wstring>{L"437", L"850"}));  // 858 has no text
    EXPECT_EQ(choices.IndexOf(L"850"), 1u);
    EXPECT_EQ(choices.IndexOf(L" 850"), 1u);  // the service object reads it as 850 too
    EXPECT_EQ(choices.IndexOf(L"866"), 0u);
    EXPECT_EQ(choices.IndexOf(L"858"), 0u);
}

}  // namespace
}  // namespace QVO::Setup
