#pragma once

#include <QAbstractTableModel>

#include "store/received_mail_store.h"

namespace tsubame {

// The rows of the viewer's list: one per stored record, columns Subject, From, Date in their
// cell form. Texts stay code page 932 until a cell is drawn, so that a large store lists fast.
class MailListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    using QAbstractTableModel::QAbstractTableModel;

    void setHeads(ReceivedMailHeads heads);
    void clear() { setHeads({}); }
    // Takes a list that begins with the rows shown: only the rows after them are added, so
    // the view keeps its selection.
    void extendTo(ReceivedMailHeads heads);
    const ReceivedMailHeads& heads() const { return heads_; }

    // The view lays out every row once: index() and flags() answer without asking the
    // model's size again through the base class.
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    ReceivedMailHeads heads_;
};

}  // namespace tsubame
