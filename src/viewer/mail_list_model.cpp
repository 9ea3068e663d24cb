#include "viewer/mail_list_model.h"

#include "core/cp932.h"

namespace tsubame {

void MailListModel::setHeads(ReceivedMailHeads heads) {
    beginResetModel();
    heads_ = std::move(heads);
    endResetModel();
}

void MailListModel::extendTo(ReceivedMailHeads heads) {
    const int shown = rowCount();
    const int rows = static_cast<int>(heads.size());
    if (rows <= shown) return;
    beginInsertRows({}, shown, rows - 1);
    heads_ = std::move(heads);
    endInsertRows();
}

QModelIndex MailListModel::index(int row, int column, const QModelIndex& parent) const {
    const bool inside = !parent.isValid() && row >= 0 && column >= 0 && column < 3 &&
                        static_cast<std::size_t>(row) < heads_.size();
    return inside ? createIndex(row, column) : QModelIndex();
}

Qt::ItemFlags MailListModel::flags(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this) return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

int MailListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(heads_.size());
}

int MailListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 3; }

QVariant MailListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
    const auto row = static_cast<std::size_t>(index.row());
    const std::string_view cell = index.column() == 0   ? heads_.subject(row)
                                  : index.column() == 1 ? heads_.from(row)
                                                        : heads_.date(row);
    return QString::fromStdString(cp932ToUtf8(cell));
}

QVariant MailListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
    static const char* const kTitles[] = {"Subject", "From", "Date"};
    return section >= 0 && section < 3 ? QVariant(QString::fromLatin1(kTitles[section]))
                                       : QVariant();
}

}  // namespace tsubame
