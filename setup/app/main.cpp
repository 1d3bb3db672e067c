// QUVOOPOSPrintSetting: the configuration utility's start-up. Reads OPOSInfo.ini and the
// locale's section of Language.ini, answers message boxes with Qt dialogs, shows the window.
// `--screenshots DIR` writes pictures of the window and the dialogs instead and ends.
#include <QApplication>
#include <QScreen>
#include <cstring>

#include "setup/app/FormText.h"
#include "setup/app/MainWindow.h"
#include "setup/app/Screenshots.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QVO::Setup::Forms::InstallQtMessageBoxes();
    const QVO::Setup::SetupContext context = QVO::Setup::SetupContext::FromEnvironment();
    QVO::Setup::Forms::MainWindow window(context);
    if (argc == 3 && std::strcmp(argv[1], "--screenshots") == 0)
        return QVO::Setup::Forms::SaveScreenshots(window, QString::fromLocal8Bit(argv[2])) ? 0 : 1;
    window.move(window.screen()->availableGeometry().center() - window.rect().center());
    window.show();
    return app.exec();
}
