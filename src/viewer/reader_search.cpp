#include "viewer/reader_search.h"

#include <QTextEdit>

#include "editor/plain_text.h"

namespace tsubame {

qsizetype findFrom(const QString& text, const QString& what, qsizetype start) {
    if (start < 1 || start > text.size()) return 0;
    qsizetype index = text.indexOf(what, start - 1, Qt::CaseSensitive);
    return index < 0 ? 0 : index + 1;
}

qsizetype ReaderSearch::find(QTextEdit& reader, const QString& what) {
    return searchFrom(reader, what, 1);
}

qsizetype ReaderSearch::findNext(QTextEdit& reader, const QString& what) {
    const qsizetype start = what.size() + lastFound_;
    // An empty search text after a miss has no place to start from: nothing happens.
    if (start < 1) return 0;
    return searchFrom(reader, what, start);
}

qsizetype ReaderSearch::searchFrom(QTextEdit& reader, const QString& what, qsizetype start) {
    lastFound_ = findFrom(reader.toPlainText(), what, start);
    if (lastFound_ > 0) {
        reader.setFocus();
        setSelection(reader, lastFound_ - 1, what.size());
    }
    return lastFound_;
}

}  // namespace tsubame
