#pragma once

#include <QString>

namespace tsubame {

// Removes blanks (U+0020 only) at both ends, the trimming the windows apply to addresses
// and pasted text; ideographic spaces and line breaks stay.
inline QString trimmedOfBlanks(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == QLatin1Char(' ')) ++begin;
    while (end > begin && text[end - 1] == QLatin1Char(' ')) --end;
    return text.mid(begin, end - begin);
}

}  // namespace tsubame
