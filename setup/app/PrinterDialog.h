// frmAddPrinter: the printer entry dialog. It shows and collects the fields; the checks and
// the save are PrinterEntry's. Reused for every opening; not thread-safe (GUI thread only).
#pragma once

#include <QDialog>
#include <string>

#include "setup/core/PrinterEntry.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QStackedWidget;

namespace QVO::Setup::Forms {

class PrinterDialog : public QDialog {
public:
    PrinterDialog(const SetupContext& context, QWidget* parent = nullptr);

    // FormShow: the fields for `mode`; Modify reads the entry `device`.
    void Prepare(EditMode mode, const std::wstring& device);
    bool Saved() const { return saved_; }

private:
    void SetLanguage();
    void PortTypeChanged();
    void FillPorts(QComboBox* list, bool serial, const std::wstring& keep);
    void NamePort(bool serial);
    PrinterForm Collect() const;
    void Ok();

    const SetupContext& context_;
    EditMode mode_ = EditMode::Add;
    std::wstring oldName_;
    bool saved_ = false;
    QComboBox* cmbPrinterDriver_;
    QLineEdit* txtPrinterName_;
    QLineEdit* txtLogicName_;
    QComboBox* cmbPortType_;
    QLineEdit* txtNotes_;
    QStackedWidget* panels_;
    QComboBox* cmbCOMPort_;
    QComboBox* cmbBaudRate_;
    QComboBox* cmbLPTPort_;
    QLineEdit* txtIP_;
};

}  // namespace QVO::Setup::Forms
