#pragma once

#include "MessageDialogs.h"

#include <QAbstractItemModel>
#include <QKeyEvent>
#include <QTableView>

#include <functional>

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

// A form's key preview for such a grid: keys sent to the grid itself (an open cell editor
// has its own) append or delete a row, guarded like any event handler. Answers whether the
// key was taken.
inline bool HandleRowKeys(const QTableView *grid, const QObject *watched, QEvent *event,
                          const std::function<void()> &append, const std::function<void()> &remove)
{
    // The grid may not exist yet while the form is still being built.
    if (!grid || watched != grid || event->type() != QEvent::KeyPress)
        return false;
    switch (RowKeyOf(*grid, *static_cast<QKeyEvent *>(event))) {
    case RowKey::Append:
        RunGuarded(append);
        return true;
    case RowKey::Delete:
        RunGuarded(remove);
        return true;
    case RowKey::None:
        break;
    }
    return false;
}

} // namespace vexa::gl
