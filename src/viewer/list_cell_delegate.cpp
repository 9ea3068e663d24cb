#include "viewer/list_cell_delegate.h"

namespace tsubame {

QString withoutPadding(const QString& cell) {
    qsizetype end = cell.size();
    while (end > 0 && cell[end - 1] == u' ') --end;
    return cell.left(end);
}

QString ListCellDelegate::displayText(const QVariant& value, const QLocale& locale) const {
    return withoutPadding(QStyledItemDelegate::displayText(value, locale));
}

}  // namespace tsubame
