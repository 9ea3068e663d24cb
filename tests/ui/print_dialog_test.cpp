// The real print dialog offers "selection" exactly when the printer comes with one.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPrintDialog>
#include <QPrinter>
#include <QTimer>

#include "ui/qt_dialogs.h"

namespace tsubame {
namespace {

// Opens the dialog for a printer with the given range and reports whether it offered the
// selection; the dialog is closed as a cancel.
bool selectionOffered(QPrinter::PrintRange range) {
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPrintRange(range);
    bool offered = false;
    bool seen = false;
    QTimer::singleShot(0, [&] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QPrintDialog*>(top); dialog && dialog->isVisible()) {
                seen = true;
                offered = dialog->testOption(QAbstractPrintDialog::PrintSelection);
                dialog->reject();
            }
    });
    QtDialogs dialogs;
    EXPECT_FALSE(dialogs.printDialog(nullptr, printer));
    EXPECT_TRUE(seen);
    return offered;
}

TEST(PrintDialog, OffersTheSelectionOnlyWhenThereIsOne) {
    EXPECT_TRUE(selectionOffered(QPrinter::Selection));
    EXPECT_FALSE(selectionOffered(QPrinter::AllPages));
}

}  // namespace
}  // namespace tsubame
