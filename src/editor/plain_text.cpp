#include "editor/plain_text.h"

#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <algorithm>

namespace tsubame {

QString trimBlanks(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ') ++begin;
    while (end > begin && text[end - 1] == u' ') --end;
    return text.mid(begin, end - begin);
}

QString normalizeLineBreaks(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        QChar c = text[i];
        if (c == u'\r') {
            out += u'\n';
            if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        } else {
            out += c;
        }
    }
    return out;
}

QString toCrLf(const QString& text) {
    QString out = normalizeLineBreaks(text);
    out.replace(u'\n', QStringLiteral("\r\n"));
    return out;
}

QString selectedPlainText(const QTextEdit& box) {
    QString text = box.textCursor().selectedText();
    // QTextCursor marks block ends with the paragraph separator.
    text.replace(QChar::ParagraphSeparator, u'\n');
    text.replace(QChar::LineSeparator, u'\n');
    return text;
}

qsizetype selectionStart(const QTextEdit& box) { return box.textCursor().selectionStart(); }

qsizetype selectionLength(const QTextEdit& box) {
    QTextCursor cursor = box.textCursor();
    return cursor.selectionEnd() - cursor.selectionStart();
}

qsizetype plainTextLength(const QTextEdit& box) {
    // The document always holds one final block separator that is not part of the text.
    return box.document()->characterCount() - 1;
}

void setSelection(QTextEdit& box, qsizetype start, qsizetype length) {
    qsizetype size = plainTextLength(box);
    start = std::clamp<qsizetype>(start, 0, size);
    qsizetype end = std::clamp<qsizetype>(start + std::max<qsizetype>(length, 0), start, size);
    QTextCursor cursor = box.textCursor();
    cursor.setPosition(static_cast<int>(start));
    cursor.setPosition(static_cast<int>(end), QTextCursor::KeepAnchor);
    box.setTextCursor(cursor);
}

}  // namespace tsubame
