// frmAddCashDrawer: the cash-drawer entry dialog.
#include "setup/app/DrawerDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "setup/app/FormText.h"
#include "setup/core/TextUtil.h"

namespace QVO::Setup::Forms {

namespace {

constexpr int kWidth = 271;
constexpr int kHeight = 327;

template <typename T>
T* Named(T* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

constexpr std::pair<const char*, const wchar_t*> kCaptions[] = {
    {"lblPrinterName", L"FormACD_lblPrinterName"},
    {"lblCashDrawerName", L"FormACD_lblCashDrawerName"},
    {"chkCashDrawer1", L"FormACD_CashDrawerNO0"},
    {"chkCashDrawer2", L"FormACD_CashDrawerNO1"},
    {"lblHigh", L"FormACD_PulseItem0"},
    {"lblLow", L"FormACD_PulseItem1"},
    {"optStatus0", L"FormACD_StatusItem0"},
    {"optStatus1", L"FormACD_StatusItem1"},
    {"optVoltage0", L"FormACD_VoltageItem0"},
    {"optVoltage1", L"FormACD_VoltageItem1"},
    {"lblWaitTimeOut", L"FormACD_lblWaitTimeOut"},
    {"lblLogicName", L"FormACD_lblLogicName"},
    {"btnOK", L"FormACD_btnOK"},
    {"btnCancel", L"FormACD_btnCancel"},
    {"optConnectCashDrawer", L"FormACD_optConnectCashDrawer"},
    {"optPulseInterval", L"FormACD_optPulseInterval"},
    {"optStatus", L"FormACD_optStatus"},
    {"optVoltage", L"FormACD_optVoltage"},
};

// A group of two radio items, the first checked.
QGroupBox* RadioGroup(const char* name, QRadioButton* (&items)[2]) {
    auto* group = Named(new QGroupBox, name);
    auto* layout = new QHBoxLayout(group);
    const std::string base = name;
    for (int i = 0; i < 2; ++i) {
        items[i] = new QRadioButton(group);
        items[i]->setObjectName(QString::fromStdString(base + std::to_string(i)));
        layout->addWidget(items[i]);
    }
    items[0]->setChecked(true);
    return group;
}

}  // namespace

DrawerDialog::DrawerDialog(const SetupContext& context, QWidget* parent) : QDialog(parent), context_(context) {
    setObjectName("frmAddCashDrawer");
    setMinimumSize(kWidth, kHeight);
    auto* layout = new QVBoxLayout(this);
    auto* top = new QFormLayout;
    cmbPrinterName_ = Named(new QComboBox(this), "cmbPrinterName");
    txtCashDrawerName_ = Named(new QLineEdit(this), "txtCashDrawerName");
    top->addRow(Named(new QLabel, "lblPrinterName"), cmbPrinterName_);
    top->addRow(Named(new QLabel, "lblCashDrawerName"), txtCashDrawerName_);
    layout->addLayout(top);

    auto* connectGroup = Named(new QGroupBox(this), "optConnectCashDrawer");
    auto* connectLayout = new QHBoxLayout(connectGroup);
    chkCashDrawer1_ = Named(new QCheckBox(connectGroup), "chkCashDrawer1");
    chkCashDrawer2_ = Named(new QCheckBox(connectGroup), "chkCashDrawer2");
    connectLayout->addWidget(chkCashDrawer1_);
    connectLayout->addWidget(chkCashDrawer2_);
    layout->addWidget(connectGroup);

    auto* pulse = Named(new QGroupBox(this), "optPulseInterval");
    auto* pulseLayout = new QHBoxLayout(pulse);
    txtHigh_ = Named(new QLineEdit(pulse), "txtHigh");
    txtLow_ = Named(new QLineEdit(pulse), "txtLow");
    pulseLayout->addWidget(Named(new QLabel, "lblHigh"));
    pulseLayout->addWidget(txtHigh_);
    pulseLayout->addWidget(Named(new QLabel, "lblLow"));
    pulseLayout->addWidget(txtLow_);
    layout->addWidget(pulse);
    layout->addWidget(RadioGroup("optStatus", optStatus_));
    layout->addWidget(RadioGroup("optVoltage", optVoltage_));

    auto* bottom = new QFormLayout;
    auto* wait = new QHBoxLayout;
    txtWaitTimeOut_ = Named(new QLineEdit(this), "txtWaitTimeOut");
    // Digits only, as the service object reads a plain number.
    txtWaitTimeOut_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), txtWaitTimeOut_));
    wait->addWidget(txtWaitTimeOut_);
    wait->addWidget(new QLabel("ms"));
    bottom->addRow(Named(new QLabel, "lblWaitTimeOut"), wait);
    lblLogicName_ = Named(new QLabel, "lblLogicName");
    txtLogicName_ = Named(new QLineEdit(this), "txtLogicName");
    bottom->addRow(lblLogicName_, txtLogicName_);
    layout->addLayout(bottom);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QDialogButtonBox::Ok)->setObjectName("btnOK");
    buttons->addButton(QDialogButtonBox::Cancel)->setObjectName("btnCancel");
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { Ok(); });
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { reject(); });
    connect(cmbPrinterName_, &QComboBox::currentIndexChanged, this, [this] {
        if (mode_ == EditMode::Add)
            txtCashDrawerName_->setText(Q(NextDeviceName(DeviceClass::CashDrawer, W(cmbPrinterName_->currentText()))));
    });
    connect(txtCashDrawerName_, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (mode_ == EditMode::Add) txtLogicName_->setText(text);
    });
    SetLanguage();
}

void DrawerDialog::SetLanguage() {
    for (const auto& [name, key] : kCaptions) {
        const QString text = Caption(context_, key);
        if (auto* label = findChild<QLabel*>(name)) label->setText(text);
        if (auto* button = findChild<QAbstractButton*>(name)) button->setText(text);
        if (auto* group = findChild<QGroupBox*>(name)) group->setTitle(text);
    }
    optVoltage_[0]->setChecked(true);
}

void DrawerDialog::Prepare(EditMode mode, const std::wstring& device) {
    mode_ = mode;
    saved_ = false;
    const bool add = mode == EditMode::Add;
    setWindowTitle(Caption(context_, add ? L"FormACD_CashDrawer_Add" : L"FormACD_CashDrawer_Modify"));
    cmbPrinterName_->blockSignals(true);
    cmbPrinterName_->clear();
    for (const std::wstring& printer : DrawerPrinters(context_.info)) cmbPrinterName_->addItem(Q(printer));
    cmbPrinterName_->blockSignals(false);
    lblLogicName_->setVisible(add);
    txtLogicName_->setVisible(add);
    txtLogicName_->setEnabled(add);
    DrawerForm current = Collect();  // the check boxes are not reset between openings
    if (add) {
        oldName_.clear();
        Show(NewDrawerForm(W(cmbPrinterName_->currentText()), current));
    } else {
        oldName_ = device;
        Show(ReadDrawerForm(device, current));
    }
    const bool second = context_.info.SecondDrawerAllowed();
    chkCashDrawer2_->setEnabled(second);
    if (!second) chkCashDrawer2_->setChecked(false);
    txtCashDrawerName_->setEnabled(add || context_.info.DrawerRenameAllowed());
}

void DrawerDialog::Show(const DrawerForm& form) {
    // A printer that is not offered any more stays visible, so a modify does not change it.
    if (cmbPrinterName_->findText(Q(form.printer)) < 0 && !form.printer.empty())
        cmbPrinterName_->addItem(Q(form.printer));
    cmbPrinterName_->blockSignals(true);
    cmbPrinterName_->setCurrentText(Q(form.printer));
    cmbPrinterName_->blockSignals(false);
    txtCashDrawerName_->setText(Q(form.name));
    txtLogicName_->setText(Q(form.logicName));
    chkCashDrawer1_->setChecked(form.drawer1);
    chkCashDrawer2_->setChecked(form.drawer2);
    txtHigh_->setText(Q(form.high));
    txtLow_->setText(Q(form.low));
    optStatus_[form.queryStatus ? 0 : 1]->setChecked(true);
    optVoltage_[form.firstVoltage ? 0 : 1]->setChecked(true);
    txtWaitTimeOut_->setText(Q(form.waitTimeout));
}

DrawerForm DrawerDialog::Collect() const {
    DrawerForm form;
    form.printer = W(cmbPrinterName_->currentText());
    form.name = W(txtCashDrawerName_->text());
    form.logicName = W(txtLogicName_->text());
    form.drawer1 = chkCashDrawer1_->isChecked();
    form.drawer2 = chkCashDrawer2_->isChecked();
    form.high = W(txtHigh_->text());
    form.low = W(txtLow_->text());
    form.queryStatus = optStatus_[0]->isChecked();
    form.firstVoltage = optVoltage_[0]->isChecked();
    form.waitTimeout = W(txtWaitTimeOut_->text());
    return form;
}

void DrawerDialog::Ok() {
    const DrawerForm form = Collect();
    if (std::wstring refused = CheckDrawer(mode_, form, oldName_, context_.info); !refused.empty())
        return ShowKey(context_, refused);
    if (Status s = SaveDrawer(mode_, form, oldName_, context_.info); !s)
        return ShowMessage(context_, FromUtf8(s.message));
    saved_ = true;
    accept();
}

}  // namespace QVO::Setup::Forms
