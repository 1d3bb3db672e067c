// Pictures of the real window and dialogs for the documentation: `QUVOOPOSPrintSetting
// --screenshots DIR` renders each form as the current registry and language show it.
#pragma once

#include <QString>

namespace QVO::Setup::Forms {

class MainWindow;

// Writes main.png, printer-add.png, printer-modify.png, drawer-add.png, logic-name.png and
// codepage.png into `dir` (created when missing). False when a picture cannot be written.
bool SaveScreenshots(MainWindow& window, const QString& dir);

}  // namespace QVO::Setup::Forms
