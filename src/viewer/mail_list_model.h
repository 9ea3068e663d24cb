#pragma once

#include <QAbstractTableModel>
#include <map>
#include <optional>

#include "receive/kept_originals.h"
#include "store/received_mail_store.h"

namespace tsubame {

// The rows of the viewer's list: one per stored record, columns Subject, From, Date in their
// cell form. Only the heads of the rows drawn (and a few around them) are read, when they are
// first drawn; texts stay code page 932 until then, so that a large store lists fast.
class MailListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    // Rows read together around a row that is not held yet.
    static constexpr std::int64_t kRowsRead = 256;

    using QAbstractTableModel::QAbstractTableModel;

    // Lists heads.size() rows; the rows heads does not hold are read from store when drawn.
    // kept: the records' kept originals, whose texts the rows of their records show.
    void setHeads(ReceivedMailHeads heads, std::optional<ReceivedMailStore> store = {},
                  KeptOriginalIndex kept = {});
    void clear() { setHeads({}); }
    // Takes a list that begins with the rows shown: only the rows after them are added, so
    // the view keeps its selection.
    void extendTo(ReceivedMailHeads heads, KeptOriginalIndex kept = {});
    // The rows listed, holding those read last.
    const ReceivedMailHeads& heads() const { return heads_; }
    // The list fields of a row as listed (read now when they are not held).
    ReceivedMailListEntry entry(int row) const;

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
    // False when the row cannot be read any more (the store was cut short meanwhile).
    bool hold(std::size_t row) const;
    // The kept original of a held row's record, or null.
    const KeptOriginal* keptOriginal(std::size_t row) const;

    mutable ReceivedMailHeads heads_;
    std::optional<ReceivedMailStore> store_;
    int rows_ = 0;
    KeptOriginalIndex kept_;
    mutable std::map<std::size_t, const KeptOriginal*> keptRows_;  // rows looked up
};

}  // namespace tsubame
