#include "newsgroup_table_model.h"

#include <algorithm>
#include <climits>

namespace {

int RowsOf(const NewsGroupTable& table) {
    return static_cast<int>(std::min<std::size_t>(table.Count(), INT_MAX));
}

} // namespace

NewsGroupTableModel::NewsGroupTableModel(NewsGroupTable& table, QObject* parent)
    : QAbstractTableModel(parent), table_(table), rows_(RowsOf(table)) {}

void NewsGroupTableModel::Reset() {
    const int newRows = RowsOf(table_);
    if (newRows > rows_) {
        beginInsertRows({}, rows_, newRows - 1);
        rows_ = newRows;
        endInsertRows();
    } else if (newRows < rows_) {
        beginRemoveRows({}, newRows, rows_ - 1);
        rows_ = newRows;
        endRemoveRows();
    }
    if (rows_ > 0)
        emit dataChanged(index(0, 0), index(rows_ - 1, columnCount() - 1), {Qt::DisplayRole});
}

void NewsGroupTableModel::RowChanged(std::size_t row) {
    if (row >= static_cast<std::size_t>(rows_))
        return;
    const int r = static_cast<int>(row);
    emit dataChanged(index(r, 0), index(r, columnCount() - 1), {Qt::DisplayRole});
}

int NewsGroupTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int NewsGroupTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant NewsGroupTableModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rows_)
        return {};
    const auto row = static_cast<std::size_t>(index.row());
    if (row >= table_.Count())
        return {};
    const NewsGroupRecord& record = table_[row];
    switch (index.column()) {
    case 0:
        return QString::fromLocal8Bit(record.Name);
    case 1:
        return QString::fromStdString(ConferenceCellText(record.Conference));
    case 2:
        return QString::fromStdString(LastReadCellText(record.LastRead));
    default:
        return {};
    }
}

QVariant NewsGroupTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 3)
        return QString::fromLatin1(NewsgroupColumnTitles[section]);
    return QAbstractTableModel::headerData(section, orientation, role);
}
