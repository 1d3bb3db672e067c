// frmAddPrinterLogicName: the logical-name dialog.
#include "setup/app/LogicNameDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "setup/app/FormText.h"
#include "setup/core/TextUtil.h"

namespace QVO::Setup::Forms {

namespace {
constexpr int kWidth = 308;
constexpr int kHeight = 131;
}  // namespace

LogicNameDialog::LogicNameDialog(const SetupContext& context, QWidget* parent) : QDialog(parent), context_(context) {
    setObjectName("frmAddPrinterLogicName");
    setMinimumSize(kWidth, kHeight);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    txtLogicName_ = new QLineEdit(this);
    txtLogicName_->setObjectName("txtLogicName");
    form->addRow(new QLabel(Caption(context_, L"FormALN_lblLogicName")), txtLogicName_);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QDialogButtonBox::Ok);
    ok->setObjectName("btnOK");
    ok->setText(Caption(context_, L"FormALN_btnOK"));
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName("btnCancel");
    cancel->setText(Caption(context_, L"FormALN_btnCancel"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { Ok(); });
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { reject(); });
}

void LogicNameDialog::Prepare(EditMode mode, DeviceClass deviceClass, const std::wstring& device,
                              const std::wstring& current) {
    mode_ = mode;
    class_ = deviceClass;
    device_ = device;
    current_ = current;
    saved_ = false;
    txtLogicName_->setText(Q(current));
    setWindowTitle(Caption(
        context_, mode == EditMode::Add ? L"FormALN_PrinterLogicName_Add" : L"FormALN_PrinterLogicName_Modify"));
}

void LogicNameDialog::Ok() {
    const LogicNameResult r = SaveLogicName(class_, device_, mode_, current_, W(txtLogicName_->text()));
    if (!r.refusedKey.empty()) return ShowKey(context_, r.refusedKey);
    if (!r.status) return ShowMessage(context_, FromUtf8(r.status.message));
    saved_ = true;
    accept();
}

}  // namespace QVO::Setup::Forms
