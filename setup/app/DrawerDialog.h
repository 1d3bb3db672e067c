// frmAddCashDrawer: the cash-drawer entry dialog. It shows and collects the fields; the
// checks and the save are DrawerEntry's. Reused for every opening; GUI thread only.
#pragma once

#include <QDialog>
#include <string>

#include "setup/core/DrawerEntry.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace QVO::Setup::Forms {

class DrawerDialog : public QDialog {
public:
    DrawerDialog(const SetupContext& context, QWidget* parent = nullptr);

    void Prepare(EditMode mode, const std::wstring& device);
    bool Saved() const { return saved_; }

private:
    void SetLanguage();
    void Show(const DrawerForm& form);
    DrawerForm Collect() const;
    void Ok();

    const SetupContext& context_;
    EditMode mode_ = EditMode::Add;
    std::wstring oldName_;
    bool saved_ = false;
    QComboBox* cmbPrinterName_;
    QLineEdit* txtCashDrawerName_;
    QCheckBox* chkCashDrawer1_;
    QCheckBox* chkCashDrawer2_;
    QLineEdit* txtHigh_;
    QLineEdit* txtLow_;
    QRadioButton* optStatus_[2];
    QRadioButton* optVoltage_[2];
    QLineEdit* txtWaitTimeOut_;
    QLabel* lblLogicName_;
    QLineEdit* txtLogicName_;
};

}  // namespace QVO::Setup::Forms
