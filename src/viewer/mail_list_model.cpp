#include "viewer/mail_list_model.h"

#include "core/cp932.h"

namespace tsubame {

void MailListModel::setHeads(ReceivedMailHeads heads, std::optional<ReceivedMailStore> store,
                             KeptOriginalIndex kept) {
    beginResetModel();
    heads_ = std::move(heads);
    store_ = std::move(store);
    kept_ = std::move(kept);
    keptRows_.clear();
    rows_ = static_cast<int>(heads_.size());
    endResetModel();
}

void MailListModel::extendTo(ReceivedMailHeads heads, KeptOriginalIndex kept) {
    const int shown = rows_;
    const int rows = static_cast<int>(heads.size());
    if (rows <= shown) return;
    beginInsertRows({}, shown, rows - 1);
    heads_ = std::move(heads);
    kept_ = std::move(kept);
    keptRows_.clear();
    rows_ = rows;
    endInsertRows();
}

bool MailListModel::hold(std::size_t row) const {
    if (heads_.holds(row)) return true;
    if (!store_ || row >= heads_.size()) return false;
    // Mostly the rows below are drawn next (the list scrolls down from its top).
    const auto first = static_cast<std::int64_t>(row) - kRowsRead / 4;
    heads_ = store_->readListRows(first, kRowsRead, rows_);
    return heads_.holds(row);
}

const KeptOriginal* MailListModel::keptOriginal(std::size_t row) const {
    if (kept_.empty() || !store_ || !kept_.mayHave(heads_.entry(row))) return nullptr;
    // Only a row that lists as a kept one is read whole, to see that it is that record.
    const auto [at, added] = keptRows_.try_emplace(row, nullptr);
    ReceivedMailRecord record;
    if (added && store_->read(static_cast<std::int64_t>(row) + 1, record))
        at->second = kept_.find(record);
    return at->second;
}

ReceivedMailListEntry MailListModel::entry(int row) const {
    const auto at = static_cast<std::size_t>(row);
    return row >= 0 && hold(at) ? heads_.entry(at) : ReceivedMailListEntry{};
}

QModelIndex MailListModel::index(int row, int column, const QModelIndex& parent) const {
    const bool inside = !parent.isValid() && row >= 0 && column >= 0 && column < 3 && row < rows_;
    return inside ? createIndex(row, column) : QModelIndex();
}

Qt::ItemFlags MailListModel::flags(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this) return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

int MailListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int MailListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 3; }

QVariant MailListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
    const auto row = static_cast<std::size_t>(index.row());
    if (!hold(row)) return QString();
    if (const KeptOriginal* kept = keptOriginal(row)) {
        const std::string& text = index.column() == 0   ? kept->subject
                                  : index.column() == 1 ? kept->from
                                                        : kept->date;
        return QString::fromStdString(text);
    }
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
