// Pictures of the window and the dialogs for the documentation.
#include "setup/app/Screenshots.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTreeWidget>

#include "setup/app/DrawerDialog.h"
#include "setup/app/LogicNameDialog.h"
#include "setup/app/MainWindow.h"
#include "setup/app/PrinterDialog.h"

namespace QVO::Setup::Forms {

namespace {

bool Save(QWidget& widget, const QString& dir, const char* name) {
    widget.show();
    widget.adjustSize();
    QApplication::processEvents();
    const bool ok = widget.grab().save(QDir(dir).filePath(QString(name) + ".png"));
    if (&widget != widget.window() || qobject_cast<QDialog*>(&widget)) widget.hide();
    return ok;
}

// Selects the first node that shows `text`; false when the tree has none.
bool Select(MainWindow& window, const QString& text) {
    const auto found = window.Tree()->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    if (found.isEmpty()) return false;
    window.Tree()->setCurrentItem(found.first());
    return true;
}

}  // namespace

bool SaveScreenshots(MainWindow& window, const QString& dir) {
    if (!QDir().mkpath(dir)) return false;
    bool ok = true;
    Select(window, "POSPrinter");
    window.AddOrModify(false, false);
    ok = Save(window.Printer(), dir, "printer-add") && ok;
    window.Printer().hide();
    window.Tree()->expandAll();
    QTreeWidget* tree = window.Tree();
    const auto classes = tree->findItems("POSPrinter", Qt::MatchExactly | Qt::MatchRecursive);
    QTreeWidgetItem* printers = classes.isEmpty() ? nullptr : classes.first();
    if (printers != nullptr && printers->childCount() > 0) {
        tree->setCurrentItem(printers->child(0));
        window.AddOrModify(true, false);
        ok = Save(window.Printer(), dir, "printer-modify") && ok;
        window.SetCodepage(false);
        ok = Save(window.Codepage(), dir, "codepage") && ok;
        window.AddLogicName(false);
        ok = Save(window.LogicName(), dir, "logic-name") && ok;
        tree->setCurrentItem(printers->child(0));
    }
    if (Select(window, "CashDrawer")) {
        window.AddOrModify(false, false);
        ok = Save(window.Drawer(), dir, "drawer-add") && ok;
    }
    if (printers != nullptr && printers->childCount() > 0) tree->setCurrentItem(printers->child(0));
    return Save(window, dir, "main") && ok;
}

}  // namespace QVO::Setup::Forms
