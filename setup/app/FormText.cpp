// Captions, messages and the Qt message boxes of the forms.
#include "setup/app/FormText.h"

#include <QApplication>
#include <QMessageBox>

namespace QVO::Setup::Forms {

namespace UI = QVO::Platform::UI;

void ShowMessage(const SetupContext& context, const std::wstring& text) {
    UI::MessageBox(text, context.texts.MessageTitle(), UI::MessageBoxButtons::Ok);
}

int AskOkCancel(const SetupContext& context, const std::wstring& text) {
    return UI::MessageBox(text, context.texts.MessageTitle(), UI::MessageBoxButtons::OkCancel);
}

void ShowKey(const SetupContext& context, const std::wstring& key) { ShowMessage(context, context.texts.Text(key)); }

void InstallQtMessageBoxes() {
    UI::SetMessageBoxHandler([](const std::wstring& text, const std::wstring& caption, UI::MessageBoxButtons buttons) {
        QMessageBox box(QApplication::activeWindow());
        box.setWindowTitle(Q(caption));
        box.setText(Q(text));
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
        switch (buttons) {
            case UI::MessageBoxButtons::Ok:
                box.setIcon(QMessageBox::Information);
                box.setStandardButtons(QMessageBox::Ok);
                return box.exec(), UI::IDOK;
            case UI::MessageBoxButtons::OkCancel:
                box.setIcon(QMessageBox::Question);
                box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
                box.setDefaultButton(QMessageBox::Cancel);
                return box.exec() == QMessageBox::Ok ? UI::IDOK : UI::IDCANCEL;
            case UI::MessageBoxButtons::YesNo:
                box.setIcon(QMessageBox::Question);
                box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
                box.setDefaultButton(QMessageBox::No);
                return box.exec() == QMessageBox::Yes ? UI::IDYES : UI::IDNO;
        }
        return UI::IDCANCEL;
    });
}

}  // namespace QVO::Setup::Forms
