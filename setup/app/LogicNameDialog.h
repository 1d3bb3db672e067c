// frmAddPrinterLogicName and frmSetCodepage: the two small dialogs. They show and collect;
// LogicName and Codepage hold the rules. Reused for every opening; GUI thread only.
#pragma once

#include <QDialog>
#include <string>

#include "setup/core/Codepage.h"
#include "setup/core/LogicName.h"
#include "setup/core/SetupData.h"

class QComboBox;
class QLineEdit;

namespace QVO::Setup::Forms {

class LogicNameDialog : public QDialog {
public:
    LogicNameDialog(const SetupContext& context, QWidget* parent = nullptr);

    // FormShow: `current` is the selected logical name (Modify) or empty (Add).
    void Prepare(EditMode mode, DeviceClass deviceClass, const std::wstring& device, const std::wstring& current);
    bool Saved() const { return saved_; }

private:
    void Ok();

    const SetupContext& context_;
    EditMode mode_ = EditMode::Add;
    DeviceClass class_ = DeviceClass::Printer;
    std::wstring device_;
    std::wstring current_;
    bool saved_ = false;
    QLineEdit* txtLogicName_;
};

class CodepageDialog : public QDialog {
public:
    CodepageDialog(const SetupContext& context, QWidget* parent = nullptr);

    // FormShow: rebuilds both lists and selects the entry's code page (or the first item).
    void Prepare(const std::wstring& device);
    bool Saved() const { return saved_; }

private:
    void Ok();

    const SetupContext& context_;
    std::wstring device_;
    CodepageChoices choices_;
    bool saved_ = false;
    QComboBox* cmbCodepage_;
};

}  // namespace QVO::Setup::Forms
