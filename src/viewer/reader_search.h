#pragma once

#include <QString>

class QTextEdit;

namespace tsubame {

// The viewer's text search in its reader: exact, case-sensitive, first occurrence at or after
// a start position. Positions are 1-based character positions in the reader's plain text;
// the last found position is 0 after a search that found nothing.
class ReaderSearch {
  public:
    // "検索": searches from the start. Returns the position found (0: none).
    qsizetype find(QTextEdit& reader, const QString& what);
    // "次を検索": searches from the length of what + the last found position, so a match right
    // after the previous one is not overlapped, and a search after a miss starts over.
    qsizetype findNext(QTextEdit& reader, const QString& what);

    qsizetype lastFound() const { return lastFound_; }

  private:
    qsizetype searchFrom(QTextEdit& reader, const QString& what, qsizetype start);

    qsizetype lastFound_ = 0;
};

// The first occurrence of what in text at or after the 1-based position start; 0 when there
// is none or start lies outside the text. An empty what is found at start.
qsizetype findFrom(const QString& text, const QString& what, qsizetype start);

}  // namespace tsubame
