#pragma once

#include <QStyledItemDelegate>

namespace tsubame {

// Draws the viewer's list cells without the blanks that pad each stored field: the cell keeps
// the field as stored, but drawn padding only pushes the text into "…".
class ListCellDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QString displayText(const QVariant& value, const QLocale& locale) const override;
};

// The text a padded cell is drawn with: trailing blanks removed.
QString withoutPadding(const QString& cell);

}  // namespace tsubame
