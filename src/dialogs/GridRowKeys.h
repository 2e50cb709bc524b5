#pragma once

#include <QAbstractItemModel>
#include <QKeyEvent>
#include <QTableView>

namespace vexa::gl {

// The keys of a grid that grows and shrinks by rows: Insert, or Down on the last row,
// appends a row; Ctrl+Delete deletes the current one.
enum class RowKey { None, Append, Delete };

inline RowKey RowKeyOf(const QTableView &grid, const QKeyEvent &key)
{
    const bool lastRow = grid.currentIndex().row() >= grid.model()->rowCount() - 1;
    if (key.key() == Qt::Key_Insert ||
        (key.key() == Qt::Key_Down && key.modifiers() == Qt::NoModifier && lastRow))
        return RowKey::Append;
    if (key.key() == Qt::Key_Delete && key.modifiers() == Qt::ControlModifier)
        return RowKey::Delete;
    return RowKey::None;
}

} // namespace vexa::gl
