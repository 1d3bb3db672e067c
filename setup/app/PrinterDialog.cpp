// frmAddPrinter: the printer entry dialog.
#include "setup/app/PrinterDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "setup/app/FormText.h"
#include "setup/core/PortList.h"
#include "setup/core/TextUtil.h"

namespace QVO::Setup::Forms {

namespace {

constexpr int kWidth = 260;
constexpr int kHeight = 303;

QWidget* Panel(QFormLayout*& form) {
    auto* panel = new QWidget;
    form = new QFormLayout(panel);
    form->setContentsMargins(0, 0, 0, 0);
    return panel;
}

QLabel* Label(const char* name) {
    auto* label = new QLabel;
    label->setObjectName(name);
    return label;
}

// Labels and buttons by object name, and the Language.ini key of their caption.
constexpr std::pair<const char*, const wchar_t*> kCaptions[] = {
    {"lblPrinterDriver", L"FormAP_lblPrinterDriver"},
    {"lblPrinterName", L"FormAP_lblPrinterName"},
    {"lblLogicName", L"FormAP_lblLogicName"},
    {"lblPortType", L"FormAP_lblPortType"},
    {"lblNotes", L"FormAP_lblNotes"},
    {"lblCOMPort", L"FormAP_lblCOMPort"},
    {"lblBaudRate", L"FormAP_lblBaudRate"},
    {"lblLPTPort", L"FormAP_lblLPTPort"},
    {"lblIPAddress", L"FormAP_lblIPAddress"},
    {"lblUSBPort", L"FormAP_lblUSBPort"},
    {"btnOK", L"FormAP_btnOK"},
    {"btnCancel", L"FormAP_btnCancel"},
};

QPushButton* NamePortButton(QWidget* owner) {
    auto* button = new QPushButton(owner);
    button->setObjectName("btnNamePort");
    return button;
}

}  // namespace

PrinterDialog::PrinterDialog(const SetupContext& context, QWidget* parent) : QDialog(parent), context_(context) {
    setObjectName("frmAddPrinter");
    setMinimumSize(kWidth, kHeight);
    auto* layout = new QVBoxLayout(this);
    auto* top = new QFormLayout;
    cmbPrinterDriver_ = new QComboBox(this);
    cmbPrinterDriver_->setObjectName("cmbPrinterDriver");
    for (const std::wstring& model : context_.info.printerList) cmbPrinterDriver_->addItem(Q(model));
    txtPrinterName_ = new QLineEdit(this);
    txtPrinterName_->setObjectName("txtPrinterName");
    txtLogicName_ = new QLineEdit(this);
    txtLogicName_->setObjectName("txtLogicName");
    top->addRow(Label("lblPrinterDriver"), cmbPrinterDriver_);
    top->addRow(Label("lblPrinterName"), txtPrinterName_);
    top->addRow(Label("lblLogicName"), txtLogicName_);
    layout->addLayout(top);

    auto* group = new QGroupBox(this);
    group->setObjectName("grbPortInf");
    auto* port = new QFormLayout(group);
    cmbPortType_ = new QComboBox(group);
    cmbPortType_->setObjectName("cmbPortType");
    for (const wchar_t* type : kPortTypes) cmbPortType_->addItem(Q(type));
    port->addRow(Label("lblPortType"), cmbPortType_);

    panels_ = new QStackedWidget(group);
    QFormLayout* form = nullptr;
    QWidget* usb = Panel(form);
    form->addRow(Label("lblUSBPort"));
    QWidget* com = Panel(form);
    cmbCOMPort_ = new QComboBox(com);
    cmbCOMPort_->setObjectName("cmbCOMPort");
    cmbBaudRate_ = new QComboBox(com);
    cmbBaudRate_->setObjectName("cmbBaudRate");
    for (const wchar_t* rate : kBaudRates) cmbBaudRate_->addItem(Q(rate));
    form->addRow(Label("lblCOMPort"), cmbCOMPort_);
    form->addRow(Label("lblBaudRate"), cmbBaudRate_);
    QPushButton* nameCom = NamePortButton(com);
    form->addRow(nameCom);
    QWidget* lpt = Panel(form);
    cmbLPTPort_ = new QComboBox(lpt);
    cmbLPTPort_->setObjectName("cmbLPTPort");
    form->addRow(Label("lblLPTPort"), cmbLPTPort_);
    QPushButton* nameLpt = NamePortButton(lpt);
    form->addRow(nameLpt);
    QWidget* tcp = Panel(form);
    txtIP_ = new QLineEdit(tcp);
    txtIP_->setObjectName("txtIP");
    form->addRow(Label("lblIPAddress"), txtIP_);
    for (QWidget* panel : {usb, com, lpt, tcp}) panels_->addWidget(panel);
    port->addRow(panels_);
    txtNotes_ = new QLineEdit(group);
    txtNotes_->setObjectName("txtNotes");
    port->addRow(Label("lblNotes"), txtNotes_);
    layout->addWidget(group);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QDialogButtonBox::Ok)->setObjectName("btnOK");
    buttons->addButton(QDialogButtonBox::Cancel)->setObjectName("btnCancel");
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, [this] { Ok(); });
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { reject(); });
    connect(cmbPortType_, &QComboBox::currentIndexChanged, this, [this] { PortTypeChanged(); });
    connect(cmbPrinterDriver_, &QComboBox::currentIndexChanged, this, [this] {
        if (mode_ != EditMode::Add) return;
        const std::wstring name = NextDeviceName(DeviceClass::Printer, W(cmbPrinterDriver_->currentText()));
        txtPrinterName_->setText(Q(name));
        txtLogicName_->setText(Q(name));
    });
    connect(nameCom, &QPushButton::clicked, this, [this] { NamePort(true); });
    connect(nameLpt, &QPushButton::clicked, this, [this] { NamePort(false); });
    SetLanguage();
}

void PrinterDialog::SetLanguage() {
    for (const auto& [name, key] : kCaptions) {
        if (auto* label = findChild<QLabel*>(name)) label->setText(Caption(context_, key));
        if (auto* button = findChild<QPushButton*>(name)) button->setText(Caption(context_, key));
    }
    findChild<QGroupBox*>("grbPortInf")->setTitle(Caption(context_, L"FormAP_grbPortInf"));
    for (auto* button : findChildren<QPushButton*>("btnNamePort"))
        button->setText(Caption(context_, L"FormAP_btnNamePort"));
}

void PrinterDialog::Prepare(EditMode mode, const std::wstring& device) {
    mode_ = mode;
    saved_ = false;
    const bool add = mode == EditMode::Add;
    setWindowTitle(Caption(context_, add ? L"FormAP_AddPrinter" : L"FormAP_AddModifyPrinter"));
    cmbPrinterDriver_->setEnabled(add);
    txtLogicName_->setEnabled(add);
    // A modified entry takes a new key name only where OPOSInfo.ini allows renames.
    txtPrinterName_->setEnabled(add || context_.info.PrinterRenameAllowed());
    PrinterForm form;
    if (add) {
        form = NewPrinterForm(W(cmbPrinterDriver_->currentText()));
        oldName_.clear();
    } else {
        form = ReadPrinterForm(device);
        oldName_ = device;
        const int model = cmbPrinterDriver_->findText(Q(form.model));
        if (model < 0) cmbPrinterDriver_->addItem(Q(form.model));
        cmbPrinterDriver_->setCurrentText(Q(form.model));
    }
    txtPrinterName_->setText(Q(form.name));
    txtLogicName_->setText(Q(form.logicName));
    txtNotes_->setText(Q(form.notes));
    txtIP_->setText(Q(form.ip));
    cmbBaudRate_->setCurrentText(Q(form.baudRate));
    cmbPortType_->blockSignals(true);
    cmbPortType_->setCurrentIndex(static_cast<int>(form.port));
    cmbPortType_->blockSignals(false);
    panels_->setCurrentIndex(static_cast<int>(form.port));
    if (form.port == PortKind::Com) FillPorts(cmbCOMPort_, true, form.comPort);
    if (form.port == PortKind::Lpt) FillPorts(cmbLPTPort_, false, form.lptPort);
}

void PrinterDialog::PortTypeChanged() {
    const int index = cmbPortType_->currentIndex();
    panels_->setCurrentIndex(index);
    if (index == static_cast<int>(PortKind::Com)) FillPorts(cmbCOMPort_, true, {});
    if (index == static_cast<int>(PortKind::Lpt)) FillPorts(cmbLPTPort_, false, {});
}

// DoEnumPorts: the ports present, without the trailing ':'. A stored port that is absent
// now stays in the list, so saving an entry never loses its port.
void PrinterDialog::FillPorts(QComboBox* list, bool serial, const std::wstring& keep) {
    list->clear();
    for (const std::wstring& name : EnumPortNames(QVO::IO::PortEnvironment::FromProcess(), serial))
        list->addItem(Q(name.substr(0, name.size() - 1)));
    if (!keep.empty() && list->findText(Q(keep)) < 0) list->addItem(Q(keep));
    if (list->count() == 0) ShowKey(context_, L"FormAP_NoPorts");
    list->setCurrentIndex(keep.empty() ? 0 : list->findText(Q(keep)));
}

// Gives a device without a Windows name (a USB serial adapter) one, through a dos-devices link.
void PrinterDialog::NamePort(bool serial) {
    const auto env = QVO::IO::PortEnvironment::FromProcess();
    QStringList devices;
    for (const PortNode& node : EnumPortNodes(env))
        if (node.serial == serial && node.name.empty()) devices << QString::fromStdString(node.device);
    if (devices.isEmpty()) return ShowKey(context_, L"FormAP_NoPorts");
    bool chosen = false;
    const QString device = QInputDialog::getItem(this, windowTitle(), Caption(context_, L"FormAP_btnNamePort"), devices,
                                                 0, false, &chosen);
    if (!chosen) return;
    std::wstring name;
    if (Status s = AssignPortName(env, device.toStdString(), name); !s)
        return ShowMessage(context_, FromUtf8(s.message));
    FillPorts(serial ? cmbCOMPort_ : cmbLPTPort_, serial, name);
}

PrinterForm PrinterDialog::Collect() const {
    PrinterForm form;
    form.model = W(cmbPrinterDriver_->currentText());
    form.name = W(txtPrinterName_->text());
    form.logicName = W(txtLogicName_->text());
    form.port = static_cast<PortKind>(cmbPortType_->currentIndex());
    form.comPort = W(cmbCOMPort_->currentText());
    form.baudRate = W(cmbBaudRate_->currentText());
    form.lptPort = W(cmbLPTPort_->currentText());
    form.ip = W(txtIP_->text());
    form.notes = W(txtNotes_->text());
    return form;
}

void PrinterDialog::Ok() {
    const PrinterForm form = Collect();
    if (std::wstring refused = CheckPrinter(mode_, form, oldName_, context_.info); !refused.empty())
        return ShowKey(context_, refused);
    if (Status s = SavePrinter(mode_, form, oldName_, context_.info); !s)
        return ShowMessage(context_, FromUtf8(s.message));
    saved_ = true;
    accept();
}

}  // namespace QVO::Setup::Forms
