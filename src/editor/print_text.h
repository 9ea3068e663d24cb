#pragma once

#include <QString>

class QFont;
class QPrinter;
class QTextEdit;
class QWidget;

namespace tsubame {

class Dialogs;

// Prints a body box: its selection when there is one and the user keeps the print dialog's
// "selection" choice, else its whole text, in the box's
// font (name, size, bold, italic), once per copy asked for in the print dialog, each copy its
// own print job. A cancelled dialog prints nothing and says nothing. Returns the number of
// jobs printed.
int printBody(const QTextEdit& body, Dialogs& dialogs, QWidget* window);

// Prints text as one block of plain text, one job per copy. Stops at the first job the printer
// rejects. Returns the number of jobs printed.
int printTextCopies(QPrinter& printer, const QString& text, const QFont& font, int copies);

}  // namespace tsubame
