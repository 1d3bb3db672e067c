// Text in several scripts, the way an application prints it: POSPrinter control object, COM
// runtime, libQUVOSO.so, TCP port, a virtual printer with two-byte characters. What reaches
// the paper is read from the printer's log ("printed": the characters each text run printed as).
#include <stdlib.h>
#include <unistd.h>

#include "constants/OposConstants.h"
#include "constants/OposPtrConstants.h"
#include "tests/so/com/SoTestSupport.h"
#include "tests/support/PrintedLog.h"

namespace QVO::Test {
namespace {

using namespace QVO::Opos;

// The process's system ANSI code page is Windows Cyrillic (read once, so set before anything
// reads it): CharacterSet 999 must print Cyrillic although no printer table is 1251.
const bool kAnsiCyrillic = (setenv("QUVO_ANSI_CODEPAGE", "1251", 1), true);

struct ScriptCase {
    int32_t characterSet;
    const wchar_t* text;
};

class TextScriptsTest : public ServiceObjectTest {
protected:
    void SetUp() override {
        ServiceObjectTest::SetUp();
        ASSERT_TRUE(kAnsiCyrillic);
        Sim::PrinterIdentity id;
        id.multiByte = true;
        kanjiPrinter_ = std::make_unique<Sim::VirtualPrinter>(id, Sim::VirtualPrinter::Rendering::Off);
        log_ = ::testing::TempDir() + "scripts_" + std::to_string(::getpid()) + ".jsonl";
        ASSERT_TRUE(kanjiPrinter_->OpenLog(log_));
        kanjiServer_ = std::make_unique<Sim::TcpServer>(*kanjiPrinter_, 0);
        std::string error;
        ASSERT_TRUE(kanjiServer_->Start(&error)) << error;
        PrinterEntry entry;
        entry.portSettings = L"127.0.0.1," + std::to_wstring(kanjiServer_->Port());
        WritePrinterEntry(PrinterName(), entry);
    }
    void TearDown() override {
        kanjiServer_.reset();
        std::remove(log_.c_str());
        ServiceObjectTest::TearDown();
    }

    // Prints each case on its own line and checks that exactly its text reached the paper. A
    // line may arrive in several runs (one per code table), so the printed text is read until
    // it holds as many bytes as the line should.
    void PrintAndCheck(Opos::CPosPrinterControl& printer, const std::vector<ScriptCase>& cases) {
        for (const auto& c : cases) {
            const std::string expected = Platform::Text::WideToUtf8(c.text);
            ASSERT_EQ(printer.SetCharacterSet(c.characterSet), OPOS_SUCCESS) << c.characterSet;
            ASSERT_EQ(printer.PrintNormal(PTR_S_RECEIPT, std::wstring(c.text) + L"\n"), OPOS_SUCCESS) << expected;
            const auto whole = [&] { return PrintedText(log_).size() >= used_ + expected.size(); };
            EXPECT_TRUE(WaitUntil(whole)) << expected;
            const std::string printed = PrintedText(log_);
            const std::string line = printed.size() > used_ ? printed.substr(used_, expected.size()) : std::string();
            used_ += expected.size();
            EXPECT_EQ(line, expected) << "character set " << c.characterSet;
        }
    }

    std::unique_ptr<Sim::VirtualPrinter> kanjiPrinter_;
    std::unique_ptr<Sim::TcpServer> kanjiServer_;
    std::string log_;
    size_t used_ = 0;  // bytes of printed text the cases so far account for
};

// Each script through a code page that carries it. Failure examples: a page converted with
// another's table (850 text printed from the 850 row's Kanji table), Kanji split into halves.
TEST_F(TextScriptsTest, EachScriptThroughItsCodePage) {
    CPosPrinterControl printer;
    ASSERT_TRUE(Ready(printer, PrinterName()));
    PrintAndCheck(printer, {
                               {1252, L"Gr\u00fc\u00dfe, se\u00f1or! \u00c7a co\u00fbte 5 \u20ac"},
                               {850, L"D\u00e9j\u00e0 vu \u00e0 S\u00e3o Paulo"},
                               {437, L"Stra\u00dfe \u00e9t\u00e9 \u00b1 \u00bd"},
                               {852, L"Za\u017c\u00f3\u0142\u0107 g\u0119\u015bl\u0105 \u010de\u0161tina"},
                               {866, L"\u0421\u044a\u0435\u0448\u044c \u0436\u0435 \u0435\u0449\u0451"},
                               {862, L"\u05e9\u05dc\u05d5\u05dd \u05e2\u05d5\u05dc\u05dd"},
                               {1255, L"\u05ea\u05d5\u05d3\u05d4 \u05e8\u05d1\u05d4"},
                               {1256, L"\u0645\u0631\u062d\u0628\u0627 \u0628\u0627\u0644\u0639\u0627\u0644\u0645"},
                               {932, L"\u65e5\u672c\u8a9e\u306e\u30c6\u30ad\u30b9\u30c8\u3001\u30ab\u30bf\u30ab\u30ca"},
                               {932, L"\u0391\u0392\u0393\u0394 \u03b1\u03b2\u03b3\u03b4 \u03a3\u03a9"},
                           });
    EXPECT_EQ(printer.Close(), OPOS_SUCCESS);
}

// Character set 997 prints every one of them, on one line too, switching tables between runs;
// 999 prints the ANSI page's characters. Failure examples: nothing printed, everything '?'.
TEST_F(TextScriptsTest, UnicodeAndAnsiCharacterSets) {
    CPosPrinterControl printer;
    ASSERT_TRUE(Ready(printer, PrinterName()));
    ASSERT_EQ(printer.SetAsyncMode(true), OPOS_SUCCESS);
    PrintAndCheck(printer, {
                               {997, L"Gr\u00fc\u00dfe \u20ac Za\u017c\u00f3\u0142\u0107"},
                               {997, L"\u0421\u044a\u0435\u0448\u044c \u0391\u0392\u0393 \u03b1\u03b2\u03b3"},
                               {997, L"\u05e9\u05dc\u05d5\u05dd \u0645\u0631\u062d\u0628\u0627"},
                               {997, L"\u65e5\u672c\u8a9e \u00e9 \u0416 \u05d0 \u0628 \u0142 \u20ac \u03a9 a\\b"},
                               {999, L"\u0414\u043e\u0431\u0440\u043e \u043f\u043e\u0436\u0430\u043b\u043e"},
                               {437, L"back to 437: \u00e9"},
                           });
    EXPECT_EQ(printer.Close(), OPOS_SUCCESS);
}

}  // namespace
}  // namespace QVO::Test
