#pragma once

#include <QString>

class QTextEdit;

namespace tsubame {

// Helpers for the body boxes. Inside a box, line breaks are "\n"; files and the mail library
// get CR LF. Positions are character positions in the box's plain text, counted from 0.

// Removes blanks (U+0020 only, like the stored fields) at both ends.
QString trimBlanks(const QString& text);
// Every CR LF, lone CR and lone LF becomes "\n".
QString normalizeLineBreaks(const QString& text);
// Every "\n" becomes CR LF.
QString toCrLf(const QString& text);

// The selected text with "\n" line breaks.
QString selectedPlainText(const QTextEdit& box);
qsizetype selectionStart(const QTextEdit& box);
qsizetype selectionLength(const QTextEdit& box);
// Selects length characters from start (both clamped to the text); moves the caret to the end
// of the range, so a length of 0 just places the caret.
void setSelection(QTextEdit& box, qsizetype start, qsizetype length);
qsizetype plainTextLength(const QTextEdit& box);

}  // namespace tsubame
