// frmDevice: the device tree window.
#include "setup/app/MainWindow.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "setup/app/DrawerDialog.h"
#include "setup/app/FormText.h"
#include "setup/app/LogicNameDialog.h"
#include "setup/app/PrinterDialog.h"
#include "setup/core/HealthCheck.h"
#include "setup/core/LogicName.h"
#include "setup/core/TextUtil.h"

namespace QVO::Setup::Forms {

namespace {

constexpr int kWidth = 404;
constexpr int kHeight = 398;
constexpr int kButtonWidth = 137;
constexpr int kButtonHeight = 33;
constexpr int kImageRole = Qt::UserRole;

QPushButton* Button(const char* name) {
    auto* button = new QPushButton;
    button->setObjectName(name);
    button->setFixedSize(kButtonWidth, kButtonHeight);
    return button;
}

QIcon NodeIcon(int image) {
    static const QStyle::StandardPixmap kIcons[] = {
        QStyle::SP_DirIcon,     QStyle::SP_ComputerIcon,           QStyle::SP_DirIcon,
        QStyle::SP_DriveHDIcon, QStyle::SP_FileDialogDetailedView, QStyle::SP_FileDialogListView};
    return QApplication::style()->standardIcon(kIcons[image]);
}

QTreeWidgetItem* Node(QTreeWidgetItem* parent, const std::wstring& text, int image) {
    auto* item = new QTreeWidgetItem(parent, QStringList(Q(text)));
    item->setData(0, kImageRole, image);
    item->setIcon(0, NodeIcon(image));
    return item;
}

}  // namespace

MainWindow::MainWindow(const SetupContext& context, QWidget* parent) : QWidget(parent), context_(context) {
    setObjectName("frmDevice");
    setFixedSize(kWidth, kHeight);
    auto* layout = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    auto* lblList = new QLabel;
    lblList->setObjectName("lblDeviceList");
    tree_ = new QTreeWidget;
    tree_->setObjectName("tvwDeviceList");
    tree_->header()->hide();
    auto* lblDeviceInf = new QLabel;
    lblDeviceInf->setObjectName("lblDeviceInf");
    lblInfo_ = new QLabel;
    lblInfo_->setObjectName("lblInfo");
    lblInfo_->setWordWrap(true);
    left->addWidget(lblList);
    left->addWidget(tree_, 1);
    left->addWidget(lblDeviceInf);
    left->addWidget(lblInfo_);
    layout->addLayout(left, 1);

    auto* right = new QVBoxLayout;
    btnAdd_ = Button("btnAdd");
    btnModify_ = Button("btnModify");
    btnDelete_ = Button("btnDelete");
    btnAddLogicName_ = Button("btnAddLogicName");
    btnSetCodepage_ = Button("btnSetCodepage");
    btnSelfTest_ = Button("btnSelfTest");
    QPushButton* quit = Button("btnQuit");
    for (QPushButton* b : {btnAdd_, btnModify_, btnDelete_, btnAddLogicName_, btnSetCodepage_, btnSelfTest_})
        right->addWidget(b);
    right->addStretch(1);
    right->addWidget(quit);
    layout->addLayout(right);

    printerDialog_ = new PrinterDialog(context_, this);
    drawerDialog_ = new DrawerDialog(context_, this);
    logicNameDialog_ = new LogicNameDialog(context_, this);
    codepageDialog_ = new CodepageDialog(context_, this);

    connect(tree_, &QTreeWidget::itemSelectionChanged, this, [this] { NodeClicked(); });
    connect(btnAdd_, &QPushButton::clicked, this, [this] { AddOrModify(false); });
    connect(btnModify_, &QPushButton::clicked, this, [this] { AddOrModify(true); });
    connect(btnDelete_, &QPushButton::clicked, this, [this] { Delete(); });
    connect(btnAddLogicName_, &QPushButton::clicked, this, [this] { AddLogicName(); });
    connect(btnSetCodepage_, &QPushButton::clicked, this, [this] { SetCodepage(); });
    connect(btnSelfTest_, &QPushButton::clicked, this, [this] { SelfTest(); });
    connect(quit, &QPushButton::clicked, this, [this] {
        if (AskOkCancel(context_, context_.texts.Text(L"FormD_MSG_Quit")) == Platform::UI::IDOK) close();
    });
    SetLanguage();
    RefreshTreeView();
    SetButtons(false, false, false, false, false, false);
    btnSelfTest_->hide();
}

MainWindow::~MainWindow() = default;

void MainWindow::SetLanguage() {
    setWindowTitle(Caption(context_, L"FormD_frmDevice"));
    findChild<QLabel*>("lblDeviceList")->setText(Caption(context_, L"FormD_lblDeviceList"));
    findChild<QLabel*>("lblDeviceInf")->setText(Caption(context_, L"FormD_lblDeviceInf"));
    findChild<QPushButton*>("btnQuit")->setText(Caption(context_, L"FormD_btnQuit"));
    btnSetCodepage_->setText(Caption(context_, L"FormD_btnSetCodepage"));
    btnSelfTest_->setText(Caption(context_, L"FormD_btnSelfTest1"));
    btnAdd_->setText(Caption(context_, L"FormD_AddPrinter"));
    btnModify_->setText(Caption(context_, L"FormD_ModifyPrinter"));
    btnDelete_->setText(Caption(context_, L"FormD_DeletePrinter"));
    btnAddLogicName_->setText(Caption(context_, L"FormD_AddLogicName"));
}

void MainWindow::RefreshTreeView() {
    tree_->clear();
    auto* root = new QTreeWidgetItem(tree_, QStringList("Device"));
    root->setData(0, kImageRole, -1);
    root->setIcon(0, NodeIcon(kImagePrinterClass));
    EnsureClassKeys();
    for (const std::wstring& className : RegKeyNames(kBaseKey)) {
        DeviceClass c;
        if (SameText(className, L"POSPrinter"))
            c = DeviceClass::Printer;
        else if (SameText(className, L"CashDrawer"))
            c = DeviceClass::CashDrawer;
        else
            continue;  // other device classes are not ours to show
        const bool printer = c == DeviceClass::Printer;
        QTreeWidgetItem* classNode = Node(root, className, printer ? kImagePrinterClass : kImageDrawerClass);
        for (const std::wstring& device : RegKeyNames(ClassKey(c))) {
            QTreeWidgetItem* deviceNode = Node(classNode, device, printer ? kImagePrinter : kImageDrawer);
            for (const std::wstring& name : LogicNamesOf(device, c))
                Node(deviceNode, name, printer ? kImagePrinterName : kImageDrawerName);
        }
        classNode->setExpanded(true);
    }
    root->setExpanded(true);
}

int MainWindow::CurrentRow() const {
    int row = 0;
    for (QTreeWidgetItemIterator it(tree_); *it; ++it, ++row)
        if (*it == tree_->currentItem()) return row;
    return -1;
}

void MainWindow::SelectRow(int row) {
    int at = 0;
    for (QTreeWidgetItemIterator it(tree_); *it; ++it, ++at)
        if (at == row) return tree_->setCurrentItem(*it);
}

void MainWindow::SetButtons(bool add, bool modify, bool del, bool logicName, bool codepage, bool health) {
    btnAdd_->setEnabled(add);
    btnModify_->setEnabled(modify);
    btnDelete_->setEnabled(del);
    btnAddLogicName_->setEnabled(logicName);
    btnSetCodepage_->setEnabled(codepage);
    btnSelfTest_->setEnabled(health);
}

// SetMainFormLayoutByNodeType, SetDeviceInfo and CheckDeviceOwner.
void MainWindow::NodeClicked() {
    QTreeWidgetItem* item = tree_->currentItem();
    const int image = item ? item->data(0, kImageRole).toInt() : -1;
    lblInfo_->clear();
    btnSelfTest_->hide();
    if (image < 0) return SetButtons(false, false, false, false, false, false);
    const bool printerSide = image == kImagePrinterClass || image == kImagePrinter || image == kImagePrinterName;
    class_ = printerSide ? DeviceClass::Printer : DeviceClass::CashDrawer;
    btnAdd_->setText(Caption(context_, printerSide ? L"FormD_AddPrinter" : L"FormD_AddCashDrawer"));
    btnModify_->setText(Caption(context_, printerSide ? L"FormD_ModifyPrinter" : L"FormD_ModifyCashDrawer"));
    btnDelete_->setText(Caption(context_, printerSide ? L"FormD_DeletePrinter" : L"FormD_DeleteCashDrawer"));
    btnAddLogicName_->setText(Caption(context_, L"FormD_AddLogicName"));
    if (image == kImagePrinterClass || image == kImageDrawerClass) {
        nodeKind_ = printerSide ? L"PrinterNode" : L"CashDrawerNode";
        return SetButtons(true, false, false, false, false, false);
    }
    const bool logicName = image == kImagePrinterName || image == kImageDrawerName;
    nodeKind_ = logicName ? L"LogicName" : (printerSide ? L"POSPrinter" : L"CashDrawer");
    device_ = W((logicName ? item->parent() : item)->text(0));
    logicName_ = logicName ? W(item->text(0)) : std::wstring();
    btnSelfTest_->setText(Caption(context_, printerSide ? L"FormD_btnSelfTest1" : L"FormD_btnSelfTest2"));
    btnSelfTest_->setVisible(!logicName);
    if (logicName) {
        btnAddLogicName_->setText(Caption(context_, L"FormD_ModifyLogicName"));
        btnDelete_->setText(Caption(context_, L"FormD_DeleteLogicName"));
    }
    lblInfo_->setText(printerSide ? Q(RegReadText(EntryKey(class_, device_), L"PortType") + L" | " + device_)
                                  : Q(device_));
    if (!IsOwnEntry(class_, device_, context_.info.dllFileName)) {
        lblInfo_->setText(Caption(context_, L"FormD_TIP_Unsupport"));
        return SetButtons(false, false, false, false, false, false);
    }
    SetButtons(false, !logicName, true, true, printerSide && !logicName, !logicName);
}

void MainWindow::AfterSave(bool saved, bool keepRow, int row) {
    if (!saved) return;
    RefreshTreeView();
    if (keepRow) SelectRow(row);
}

void MainWindow::AddOrModify(bool modify, bool modal) {
    const int row = CurrentRow();
    const EditMode mode = modify ? EditMode::Modify : EditMode::Add;
    QDialog* dialog = nullptr;
    if (class_ == DeviceClass::Printer) {
        printerDialog_->Prepare(mode, device_);
        dialog = printerDialog_;
    } else {
        drawerDialog_->Prepare(mode, device_);
        dialog = drawerDialog_;
    }
    if (!modal) return dialog->show();
    dialog->exec();
    const bool saved = class_ == DeviceClass::Printer ? printerDialog_->Saved() : drawerDialog_->Saved();
    AfterSave(saved, modify, row);
}

void MainWindow::AddLogicName(bool modal) {
    const int row = CurrentRow();
    const bool modify = nodeKind_ == L"LogicName";
    logicNameDialog_->Prepare(modify ? EditMode::Modify : EditMode::Add, class_, device_, logicName_);
    if (!modal) return logicNameDialog_->show();
    logicNameDialog_->exec();
    AfterSave(logicNameDialog_->Saved(), modify, row);
}

void MainWindow::SetCodepage(bool modal) {
    codepageDialog_->Prepare(device_);
    if (!modal) return codepageDialog_->show();
    codepageDialog_->exec();
}

void MainWindow::Delete() {
    QTreeWidgetItem* item = tree_->currentItem();
    if (!item) return;
    const std::wstring text = W(item->text(0));
    const std::wstring question = context_.texts.Text(L"FormD_MSG_DeleteNode") + L" \"" + text + L"\"?";
    if (AskOkCancel(context_, question) != Platform::UI::IDOK) return;
    if (nodeKind_ == L"LogicName") {
        const LogicNameResult r = DeleteLogicName(class_, text);
        if (!r.refusedKey.empty())
            return ShowMessage(context_, context_.texts.Text(L"FormD_LastLogicName1") + L"\n" +
                                             context_.texts.Text(L"FormD_LastLogicName2"));
        if (!r.status) return ShowMessage(context_, FromUtf8(r.status.message));
    } else if (Status s = DeleteDevice(class_, device_); !s) {
        return ShowMessage(context_, FromUtf8(s.message));
    }
    RefreshTreeView();
}

void MainWindow::SelfTest() { RunHealthCheck(class_, device_, context_.texts.MessageTitle()); }

}  // namespace QVO::Setup::Forms
