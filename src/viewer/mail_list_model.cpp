#include "viewer/mail_list_model.h"

#include "core/cp932.h"

namespace tsubame {

void MailListModel::setEntries(std::vector<ReceivedMailListEntry> entries) {
    beginResetModel();
    entries_ = std::move(entries);
    endResetModel();
}

int MailListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

int MailListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 3; }

QVariant MailListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
    const ReceivedMailListEntry& entry = entries_[static_cast<std::size_t>(index.row())];
    const std::string& cell = index.column() == 0   ? entry.subject
                              : index.column() == 1 ? entry.from
                                                    : entry.date;
    return QString::fromStdString(cp932ToUtf8(cell));
}

QVariant MailListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
    static const char* const kTitles[] = {"Subject", "From", "Date"};
    return section >= 0 && section < 3 ? QVariant(QString::fromLatin1(kTitles[section]))
                                       : QVariant();
}

}  // namespace tsubame
