// frmDevice: the device tree window. It lists the POSPrinter and CashDrawer entries with their
// logical names, opens the dialogs, deletes entries and runs the health check. The tree is
// rebuilt from the registry after every change; nothing else is cached. GUI thread only.
#pragma once

#include <QWidget>
#include <string>

#include "setup/core/DeviceStore.h"
#include "setup/core/SetupData.h"

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace QVO::Setup::Forms {

class PrinterDialog;
class DrawerDialog;
class LogicNameDialog;
class CodepageDialog;

// The node images, which also tell a node's kind.
enum NodeImage {
    kImagePrinterClass = 0,
    kImagePrinter = 1,
    kImageDrawerClass = 2,
    kImageDrawer = 3,
    kImagePrinterName = 4,
    kImageDrawerName = 5
};

class MainWindow : public QWidget {
public:
    explicit MainWindow(const SetupContext& context, QWidget* parent = nullptr);
    ~MainWindow() override;

    void RefreshTreeView();
    // Selects the node at an absolute position in the tree (0 is the root).
    void SelectRow(int row);
    QTreeWidget* Tree() const { return tree_; }
    PrinterDialog& Printer() { return *printerDialog_; }
    DrawerDialog& Drawer() { return *drawerDialog_; }
    LogicNameDialog& LogicName() { return *logicNameDialog_; }
    CodepageDialog& Codepage() { return *codepageDialog_; }

    // The window's buttons; `modal` false lets a test fill the dialog before it presses OK.
    void AddOrModify(bool modify, bool modal = true);
    void AddLogicName(bool modal = true);
    void SetCodepage(bool modal = true);
    void Delete();
    void SelfTest();

private:
    void SetLanguage();
    void NodeClicked();
    void SetButtons(bool add, bool modify, bool del, bool logicName, bool codepage, bool health);
    int CurrentRow() const;
    void AfterSave(bool saved, bool keepRow, int row);

    const SetupContext& context_;
    QTreeWidget* tree_;
    QLabel* lblInfo_;
    QPushButton* btnAdd_;
    QPushButton* btnModify_;
    QPushButton* btnDelete_;
    QPushButton* btnAddLogicName_;
    QPushButton* btnSetCodepage_;
    QPushButton* btnSelfTest_;
    PrinterDialog* printerDialog_;
    DrawerDialog* drawerDialog_;
    LogicNameDialog* logicNameDialog_;
    CodepageDialog* codepageDialog_;
    // The selection: the node kind, its class and device, and the logical name it shows.
    std::wstring nodeKind_;
    DeviceClass class_ = DeviceClass::Printer;
    std::wstring device_;
    std::wstring logicName_;
};

}  // namespace QVO::Setup::Forms
