// frmSetCodepage: the code page dialog.
#include "setup/app/LogicNameDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "setup/app/FormText.h"
#include "setup/core/TextUtil.h"

namespace QVO::Setup::Forms {

namespace {
constexpr int kWidth = 281;
constexpr int kHeight = 80;
}  // namespace

CodepageDialog::CodepageDialog(const SetupContext& context, QWidget* parent) : QDialog(parent), context_(context) {
    setObjectName("frmSetCodepage");
    setMinimumSize(kWidth, kHeight);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    cmbCodepage_ = new QComboBox(this);
    cmbCodepage_->setObjectName("cmbCodepage");
    auto* label = new QLabel;
    label->setObjectName("lblCodepage");
    form->addRow(label, cmbCodepage_);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QDialogButtonBox::Ok)->setObjectName("btnOK");
    buttons->addButton(QDialogButtonBox::Cancel)->setObjectName("btnCancel");
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { Ok(); });
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { reject(); });
}

void CodepageDialog::Prepare(const std::wstring& device) {
    device_ = device;
    saved_ = false;
    setWindowTitle(Caption(context_, L"FormSetCodepage_Caption"));
    findChild<QLabel*>("lblCodepage")->setText(Caption(context_, L"FormSetCodepage_lblCodepage"));
    findChild<QPushButton*>("btnOK")->setText(Caption(context_, L"FormSetCodepage_btnOK"));
    findChild<QPushButton*>("btnCancel")->setText(Caption(context_, L"FormSetCodepage_btnCancel"));
    choices_ = CodepageChoices::FromTexts(context_.texts);
    cmbCodepage_->clear();
    for (const std::wstring& item : choices_.items) cmbCodepage_->addItem(Q(item));
    const std::wstring stored = RegReadText(EntryKey(DeviceClass::Printer, device), L"CodepageID");
    cmbCodepage_->setCurrentIndex(static_cast<int>(choices_.IndexOf(stored)));
    findChild<QPushButton*>("btnOK")->setEnabled(!choices_.ids.empty());
}

void CodepageDialog::Ok() {
    const int index = cmbCodepage_->currentIndex();
    if (index < 0 || static_cast<size_t>(index) >= choices_.ids.size()) return;
    if (Status s = SetCodepage(device_, choices_.ids[static_cast<size_t>(index)]); !s)
        return ShowMessage(context_, FromUtf8(s.message));
    saved_ = true;
    accept();
}

}  // namespace QVO::Setup::Forms
