#include "editor/print_text.h"

#include <QFont>
#include <QPageRanges>
#include <QPrinter>
#include <QTextDocument>
#include <QTextEdit>

#include "editor/plain_text.h"
#include "ui/dialogs.h"

namespace tsubame {

int printBody(const QTextEdit& body, Dialogs& dialogs, QWidget* window) {
    QPrinter printer(QPrinter::HighResolution);
    // A selection is offered and chosen at first; the user may still choose the whole text.
    const bool hasSelection = selectionLength(body) != 0;
    printer.setPrintRange(hasSelection ? QPrinter::Selection : QPrinter::AllPages);
    if (!dialogs.printDialog(window, printer)) return 0;
    const bool selectionChosen = hasSelection && printer.printRange() == QPrinter::Selection;
    const QString text = selectionChosen ? selectedPlainText(body) : body.toPlainText();

    QFont font = body.font();
    font.setUnderline(false);
    font.setStrikeOut(false);
    return printTextCopies(printer, text, font, printer.copyCount());
}

int printTextCopies(QPrinter& printer, const QString& text, const QFont& font, int copies) {
    // Each job carries one copy; the page range of the dialog does not apply to plain text.
    printer.setCopyCount(1);
    printer.setPrintRange(QPrinter::AllPages);
    printer.setPageRanges(QPageRanges());
    QTextDocument document;
    document.setDefaultFont(font);
    document.setPlainText(text);
    int printed = 0;
    for (int copy = 1; copy <= copies; ++copy) {
        document.print(&printer);
        if (printer.printerState() == QPrinter::Error) break;
        ++printed;
    }
    return printed;
}

}  // namespace tsubame
