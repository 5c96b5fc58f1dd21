// The grid's model: the newsgroup table itself, shown without copying it, so
// a list of well over 100,000 groups fills and scrolls at once. Model row r is
// table entry r; the view's horizontal header carries the column titles.
#pragma once

#include "core/newsgroup_table.h"
#include "core/run_views.h"

#include <QAbstractTableModel>

class NewsGroupTableModel : public QAbstractTableModel, public GroupRowView {
    Q_OBJECT
public:
    explicit NewsGroupTableModel(NewsGroupTable& table, QObject* parent = nullptr);

    // FillGrid: the whole table changed (loaded, retrieved, sorted). Rows are
    // added or taken off at the end and every cell is refreshed, so the
    // view's current row stays where it was as far as the new count allows.
    void Reset();
    // One entry's cells changed.
    void RowChanged(std::size_t index);
    void GroupRowChanged(std::size_t index) override { RowChanged(index); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    NewsGroupTable& table_;
    // The row count the views were last told; the table may already hold
    // another count until Reset() announces it.
    int rows_ = 0;
};
