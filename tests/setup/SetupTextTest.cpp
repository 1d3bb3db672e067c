// The text routines, the ini reader, the choice of language and the shipped data files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "setup/core/IniFile.h"
#include "setup/core/Language.h"
#include "setup/core/SetupData.h"
#include "setup/core/TextUtil.h"

namespace QVO::Setup {
namespace {

TEST(SetupText, SplitCountAndTrim) {
    EXPECT_EQ(SplitText(L"RX4270,RX3380B", L","), (std::vector<std::wstring>{L"RX4270", L"RX3380B"}));
    EXPECT_EQ(SplitText(L"a,,b", L","), (std::vector<std::wstring>{L"a", L"", L"b"}));
    EXPECT_TRUE(SplitText(L"", L",").empty());
    // The first character never counts: an address may not begin with its first dot.
    EXPECT_EQ(CountOccurrences(L"10.0.0.1", L"."), 3u);
    EXPECT_EQ(CountOccurrences(L".0.0.1", L"."), 2u);
    EXPECT_EQ(NthOccurrence(L"a_b_c", L"_", 2), 3u);
    EXPECT_EQ(Trim(L" \tPOS 1 \r\n"), L"POS 1");
    unsigned long long v = 0;
    EXPECT_TRUE(ParseDecimal(L"255", 255, v));
    EXPECT_FALSE(ParseDecimal(L"256", 255, v));
    EXPECT_FALSE(ParseDecimal(L"-1", 255, v));
    EXPECT_FALSE(ParseDecimal(L"", 255, v));
    EXPECT_FALSE(ParseDecimal(L"99999999999999999999999", ~0ULL, v));
}

TEST(SetupIni, SectionsKeysAndMissingFile) {
    const IniFile ini = IniFile::Parse(
        "\xEF\xBB\xBF; comment\r\n[OPOSInfo]\r\nPrinterList = RX4270,RX3380B \r\nDllFileName=\"A.B\"\r\n"
        "[Other]\nPrinterList=x\n[opOSinfo]\nprinterlist=late\n");
    EXPECT_EQ(ini.Read(L"oposinfo", L"PRINTERLIST"), L"RX4270,RX3380B");
    EXPECT_EQ(ini.Read(L"OPOSInfo", L"DllFileName"), L"A.B");
    EXPECT_EQ(ini.Read(L"OPOSInfo", L"Missing"), L"");
    EXPECT_EQ(ini.Read(L"Other", L"PrinterList"), L"x");
    const IniFile missing = IniFile::Load("/nonexistent/quvo/Language.ini");
    EXPECT_FALSE(missing.Loaded());
    EXPECT_EQ(missing.Read(L"LanguageCollect", L"List"), L"");
}

TEST(SetupLanguage, LocaleToLanguageIdAndSection) {
    EXPECT_EQ(LanguageIdFromLocale("en_US.UTF-8"), 1033u);
    EXPECT_EQ(LanguageIdFromLocale("zh_CN.UTF-8"), 2052u);
    EXPECT_EQ(LanguageIdFromLocale("ja_JP.eucJP"), 1041u);
    EXPECT_EQ(LanguageIdFromLocale("de_DE@euro"), 1031u);
    EXPECT_EQ(LanguageIdFromLocale("de_LU.UTF-8"), 1031u);  // the language's main ID
    EXPECT_EQ(LanguageIdFromLocale("C.UTF-8"), 1033u);
    EXPECT_EQ(LanguageIdFromLocale(""), 1033u);
    EXPECT_EQ(LanguageIdFromLocale("xx_YY"), 0u);
    // An ID the file does not list takes the default section; part of an ID is not an ID.
    EXPECT_EQ(SelectLanguage(L"1033,2052,1031", L"1033", 2052), L"2052");
    EXPECT_EQ(SelectLanguage(L"1033,2052,1031", L"1033", 1041), L"1033");
    EXPECT_EQ(SelectLanguage(L"1033,2052", L"2052", 33), L"2052");
}

// Every caption and message the forms show exists in every language the file lists, and the
// code page lists match by position.
TEST(SetupData, LanguageFileHasEveryKeyInEveryLanguage) {
    const IniFile ini = IniFile::Load(std::string(QUVO_SETUP_DATA_SOURCE) + "/Language.ini");
    ASSERT_TRUE(ini.Loaded());
    const std::vector<std::wstring> languages = SplitText(ini.Read(L"LanguageCollect", L"List"), L",");
    ASSERT_GE(languages.size(), 3u);
    const LanguageTexts english(ini, 1033);
    ASSERT_EQ(english.Section(), L"1033");
    const std::vector<std::wstring> keys = {
        L"_MSG_Title", L"FormD_frmDevice", L"FormD_lblDeviceList", L"FormD_lblDeviceInf", L"FormD_btnQuit",
        L"FormD_btnSetCodepage", L"FormD_btnSelfTest1", L"FormD_btnSelfTest2", L"FormD_AddPrinter",
        L"FormD_ModifyPrinter", L"FormD_DeletePrinter", L"FormD_AddLogicName", L"FormD_AddCashDrawer",
        L"FormD_ModifyCashDrawer", L"FormD_DeleteCashDrawer", L"FormD_ModifyLogicName", L"FormD_DeleteLogicName",
        L"FormD_LastLogicName1", L"FormD_LastLogicName2", L"FormD_MSG_Quit", L"FormD_MSG_DeleteNode",
        L"FormD_TIP_Unsupport", L"FormAP_AddPrinter", L"FormAP_AddModifyPrinter", L"FormAP_lblPrinterDriver",
        L"FormAP_lblPrinterName", L"FormAP_grbPortInf", L"FormAP_lblPortType", L"FormAP_lblNotes",
        L"FormAP_lblLogicName", L"FormAP_btnOK", L"FormAP_btnCancel", L"FormAP_lblLPTPort", L"FormAP_lblCOMPort",
        L"FormAP_lblBaudRate", L"FormAP_lblIPAddress", L"FormAP_lblUSBPort", L"FormAP_LogicNameErr", L"FormAP_IPErr",
        L"FormACD_CashDrawer_Add", L"FormACD_CashDrawer_Modify", L"FormACD_lblPrinterName",
        L"FormACD_lblCashDrawerName", L"FormACD_optConnectCashDrawer", L"FormACD_CashDrawerNO0",
        L"FormACD_CashDrawerNO1", L"FormACD_optPulseInterval", L"FormACD_PulseItem0", L"FormACD_PulseItem1",
        L"FormACD_optStatus", L"FormACD_StatusItem0", L"FormACD_StatusItem1", L"FormACD_optVoltage",
        L"FormACD_VoltageItem0", L"FormACD_VoltageItem1", L"FormACD_lblWaitTimeOut", L"FormACD_lblLogicName",
        L"FormACD_btnOK", L"FormACD_btnCancel", L"FormACD_LogicNameExist", L"FormALN_PrinterLogicName_Add",
        L"FormALN_PrinterLogicName_Modify", L"FormALN_lblLogicName", L"FormALN_btnOK", L"FormALN_btnCancel",
        L"FormALN_NullLogicName", L"FormALN_LogicNameExist", L"FormSetCodepage_Caption", L"FormSetCodepage_lblCodepage",
        L"FormSetCodepage_btnOK", L"FormSetCodepage_btnCancel", L"FormSetCodepage_cmbCodepage_Items",
        // Messages of the name, port and drawer checks.
        L"FormAP_NullLogicName", L"FormAP_NullPrinterName", L"FormAP_PrinterNameErr", L"FormAP_PrinterNameExist",
        L"FormAP_ModelErr", L"FormAP_PortErr", L"FormAP_BaudRateErr", L"FormACD_NullLogicName",
        L"FormACD_NullCashDrawerName", L"FormACD_CashDrawerNameErr", L"FormACD_CashDrawerNameExist",
        L"FormACD_PrinterErr", L"FormACD_CashDrawer2Err", L"FormACD_PulseErr", L"FormACD_WaitTimeOutErr"};
    const size_t ids = SplitText(ini.Read(L"LanguageCollect", L"CodepageIDList"), L",").size();
    for (const std::wstring& language : languages) {
        for (const std::wstring& key : keys)
            EXPECT_FALSE(ini.Read(language, key).empty()) << ToUtf8(language) << " lacks " << ToUtf8(key);
        EXPECT_EQ(SplitText(ini.Read(language, L"FormSetCodepage_cmbCodepage_Items"), L",").size(), ids)
            << ToUtf8(language);
    }
}

TEST(SetupData, OposInfoOffersEveryEngineModel) {
    const SetupContext context = SetupContext::Load(QUVO_SETUP_DATA_SOURCE, 2052);
    EXPECT_EQ(context.info.dllFileName, L"QUVOOposPrinterU1.13");
    EXPECT_GE(context.info.printerList.size(), 40u);
    EXPECT_EQ(context.texts.Section(), L"2052");
    EXPECT_EQ(context.texts.Text(L"FormAP_btnOK"), L"确定(&O)");
}

}  // namespace
}  // namespace QVO::Setup
