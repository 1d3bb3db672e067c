// The forms driven through their real widgets on the offscreen platform: the same cases as
// the rule tests and `quvo config`, seen from the dialogs.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <cstdlib>

#include "platform/ui/MessageBox.h"
#include "setup/app/DrawerDialog.h"
#include "setup/app/FormText.h"
#include "setup/app/LogicNameDialog.h"
#include "setup/app/MainWindow.h"
#include "setup/app/PrinterDialog.h"
#include "setup/core/TextUtil.h"
#include "tests/setup/SetupTestSupport.h"

namespace QVO::Setup::Forms {
namespace {

namespace UI = QVO::Platform::UI;

class FormsTest : public Test::SetupStoreTest {
protected:
    static void SetUpTestSuite() {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "forms_test";
        static char* argv[] = {name, nullptr};
        static QApplication app(argc, argv);
    }
    void SetUp() override {
        SetupStoreTest::SetUp();
        context_ = SetupContext::Load(QUVO_SETUP_DATA_SOURCE, 1033);
        context_.info = info_;
        UI::SetMessageBoxHandler([this](const std::wstring& text, const std::wstring&, UI::MessageBoxButtons) {
            shown_.push_back(text);
            return UI::IDOK;
        });
        window_ = std::make_unique<MainWindow>(context_);
    }
    void TearDown() override {
        window_.reset();
        UI::SetMessageBoxHandler({});
        SetupStoreTest::TearDown();
    }

    // Selects the first node whose text is `text`.
    void Select(const QString& text) {
        const auto found = window_->Tree()->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        ASSERT_FALSE(found.isEmpty()) << text.toStdString();
        window_->Tree()->setCurrentItem(found.first());
    }
    template <typename T>
    static T* Child(QWidget* parent, const char* name) {
        T* child = parent->findChild<T*>(name);
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    void AddPrinter(const QString& ip) {
        Select("POSPrinter");
        window_->AddOrModify(false, false);
        QDialog& dialog = window_->Printer();
        Child<QComboBox>(&dialog, "cmbPortType")->setCurrentIndex(static_cast<int>(PortKind::TcpIp));
        Child<QLineEdit>(&dialog, "txtIP")->setText(ip);
        Child<QPushButton>(&dialog, "btnOK")->click();
    }

    SetupContext context_;
    std::vector<std::wstring> shown_;
    std::unique_ptr<MainWindow> window_;
};

TEST_F(FormsTest, AddPrinterThroughTheDialogWritesTheEntry) {
    AddPrinter("10.0.1");
    EXPECT_EQ(shown_, (std::vector<std::wstring>{L"The IP address is not valid."}));
    EXPECT_FALSE(window_->Printer().Saved());
    Child<QLineEdit>(&window_->Printer(), "txtIP")->setText("127.0.0.1");
    Child<QPushButton>(&window_->Printer(), "btnOK")->click();
    ASSERT_TRUE(window_->Printer().Saved());
    EXPECT_EQ(Read(DeviceClass::Printer, L"RX4270_01", L"PortSettings"), L"127.0.0.1,9100");
    EXPECT_EQ(Read(DeviceClass::Printer, L"RX4270_01", L"CodepageID"), L"437");
    window_->RefreshTreeView();
    EXPECT_EQ(window_->Tree()->findItems("RX4270_01", Qt::MatchExactly | Qt::MatchRecursive).size(), 2);
}

TEST_F(FormsTest, ModifyThroughTheDialogKeepsTheCodepage) {
    AddPrinter("127.0.0.1");
    ASSERT_TRUE(SetCodepage(L"RX4270_01", L"866").ok());
    window_->RefreshTreeView();
    Select("RX4270_01");
    window_->AddOrModify(true, false);
    QDialog& dialog = window_->Printer();
    EXPECT_FALSE(Child<QComboBox>(&dialog, "cmbPrinterDriver")->isEnabled());
    EXPECT_FALSE(Child<QLineEdit>(&dialog, "txtLogicName")->isEnabled());
    EXPECT_EQ(Child<QLineEdit>(&dialog, "txtIP")->text(), "127.0.0.1");
    Child<QLineEdit>(&dialog, "txtNotes")->setText("moved");
    Child<QPushButton>(&dialog, "btnOK")->click();
    ASSERT_TRUE(window_->Printer().Saved());
    EXPECT_EQ(Read(DeviceClass::Printer, L"RX4270_01", L"CodepageID"), L"866");
    EXPECT_EQ(Read(DeviceClass::Printer, L"RX4270_01", L"Notes"), L"moved");
}

TEST_F(FormsTest, LogicNameDialogStoresTheTrimmedName) {
    AddPrinter("127.0.0.1");
    window_->RefreshTreeView();
    Select("RX4270_01");
    window_->AddLogicName(false);
    QDialog& dialog = window_->LogicName();
    Child<QLineEdit>(&dialog, "txtLogicName")->setText("  POS 2  ");
    Child<QPushButton>(&dialog, "btnOK")->click();
    EXPECT_TRUE(window_->LogicName().Saved());
    EXPECT_EQ(RegReadText(ClassKey(DeviceClass::Printer), L"POS 2"), L"RX4270_01");
    EXPECT_FALSE(HasValue(ClassKey(DeviceClass::Printer), L"  POS 2  "));
}

TEST_F(FormsTest, DrawerDialogRefusesPulseTimesTheServiceObjectCannotUse) {
    AddPrinter("127.0.0.1");
    window_->RefreshTreeView();
    Select("CashDrawer");
    window_->AddOrModify(false, false);
    QDialog& dialog = window_->Drawer();
    EXPECT_EQ(Child<QLineEdit>(&dialog, "txtCashDrawerName")->text(), "RX4270_01_01");
    EXPECT_EQ(Child<QLineEdit>(&dialog, "txtLogicName")->text(), "RX4270_01_01");
    Child<QLineEdit>(&dialog, "txtHigh")->setText("abc");
    Child<QPushButton>(&dialog, "btnOK")->click();
    EXPECT_EQ(shown_, (std::vector<std::wstring>{L"High and Low must be whole numbers from 0 to 255."}));
    EXPECT_FALSE(DeviceExists(DeviceClass::CashDrawer, L"RX4270_01_01"));
    Child<QLineEdit>(&dialog, "txtHigh")->setText("20");
    Child<QCheckBox>(&dialog, "chkCashDrawer1")->setChecked(false);
    Child<QCheckBox>(&dialog, "chkCashDrawer2")->setChecked(false);
    Child<QPushButton>(&dialog, "btnOK")->click();
    ASSERT_TRUE(window_->Drawer().Saved());
    EXPECT_EQ(Read(DeviceClass::CashDrawer, L"RX4270_01_01", L"DrawerPin"), L"2");
    EXPECT_EQ(Read(DeviceClass::CashDrawer, L"RX4270_01_01", L"SignalOnTime"), L"20");
}

// Entries of another service object are listed but locked; other device classes are hidden.
TEST_F(FormsTest, ForeignEntriesAreLockedAndOtherClassesHidden) {
    ASSERT_TRUE(RegWriteText(EntryKey(DeviceClass::Printer, L"OTHER_01"), L"", L"Other.Printer").ok());
    ASSERT_TRUE(RegWriteText(std::wstring(kBaseKey) + L"\\Scanner\\S1", L"", L"x").ok());
    window_->RefreshTreeView();
    EXPECT_TRUE(window_->Tree()->findItems("Scanner", Qt::MatchExactly | Qt::MatchRecursive).isEmpty());
    Select("OTHER_01");
    EXPECT_FALSE(Child<QPushButton>(window_.get(), "btnModify")->isEnabled());
    EXPECT_FALSE(Child<QPushButton>(window_.get(), "btnDelete")->isEnabled());
    EXPECT_EQ(Child<QLabel>(window_.get(), "lblInfo")->text(), Q(context_.texts.Text(L"FormD_TIP_Unsupport")));
}

TEST_F(FormsTest, DeletingTheLastLogicalNameIsRefused) {
    AddPrinter("127.0.0.1");
    window_->RefreshTreeView();
    Select("RX4270_01");
    ASSERT_EQ(window_->Tree()->currentItem()->childCount(), 1);
    window_->Tree()->setCurrentItem(window_->Tree()->currentItem()->child(0));
    window_->Delete();
    ASSERT_EQ(shown_.size(), 2u);  // the question, then the refusal
    EXPECT_EQ(shown_[1],
              context_.texts.Text(L"FormD_LastLogicName1") + L"\n" + context_.texts.Text(L"FormD_LastLogicName2"));
    EXPECT_EQ(RegReadText(ClassKey(DeviceClass::Printer), L"RX4270_01"), L"RX4270_01");
}

}  // namespace
}  // namespace QVO::Setup::Forms
