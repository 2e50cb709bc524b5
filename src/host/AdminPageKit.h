#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QPushButton;
class QTableWidget;
class QWidget;

namespace vexa::host {

// Pieces the 用户 and 权限组 pages share.

// A read-only grid that selects one whole row.
QTableWidget *makeAdminGrid(QWidget *parent, const char *name, const QStringList &headers);
QPushButton *makeAdminButton(QWidget *parent, const char *name, const QString &text);
// Puts texts into a grid row, creating the items; the first item keeps key as its data.
void setGridRow(QTableWidget *grid, int row, const QStringList &texts, const QVariant &key);
// Asks a yes/no question through the host's dialog hook; true for 是.
bool askYesNo(QWidget *parent, const QString &caption, const QString &text);
// Runs work; a vexa::Error (a refusal of the server) is shown as a warning captioned with
// what was being done. Answers whether the work went through.
bool runShowingError(QWidget *parent, const QString &caption, const std::function<void()> &work);

} // namespace vexa::host
