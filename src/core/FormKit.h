#pragma once

// The set-up every dialog of the plug-in repeats: title line, buttons Enter does not press,
// the editable grid, the designed columns of a grid, a drop-down cell editor and the
// host's busy bracket. A dialog then reads as its own decisions only.

#include <QList>
#include <QString>
#include <QStyledItemDelegate>
#include <QVariant>

#include <functional>
#include <utility>

class QLabel;
class QPushButton;
class QTableView;
class QWidget;

namespace vexa {
class DataSetModel;
class IPluginHost;
} // namespace vexa

namespace vexa::gl {

// ---- title and buttons --------------------------------------------------------------------

enum class TitleFrame {
    None,       // bold text only
    Panel,      // a raised panel 24 pixels high
    FilledPanel // the panel, painting its own background
};
// The bold title line at the top of a dialog, named lbTitle.
QLabel *MakeTitleLabel(const QString &text, QWidget *parent, TitleFrame frame = TitleFrame::None);

// A push button that Enter never presses: Enter belongs to the editor that has the focus
// (a cell edit, a search box, a code being checked).
QPushButton *MakeButton(const QString &text, const QString &name, QWidget *parent);

// ---- grids --------------------------------------------------------------------------------
//
// A grid is a QTableView over a DataSetModel, so its columns are the dataset's fields:
// "the column bound to field X" is the model section of X, and a view "has" that column
// when the dataset has the field. Creating a column therefore means showing the section
// (it was hidden); its caption is the model's caption of the field, its width and
// visibility those of the section, its position the section's visual index.

// The model of a grid, nullptr when the view does not show a dataset.
DataSetModel *DataSetModelOf(const QTableView *view);
// The section bound to field (letter case ignored), -1 when the dataset has no such field.
int ColumnOf(const QTableView *view, const QString &field);
// The caption the view's header shows for a section.
QString ColumnCaption(const QTableView *view, int column);

// A column a dialog lays out before the user changes anything: field, caption, width
// (0 keeps the default width).
struct DesignedColumn
{
    QString field;
    QString caption;
    int width = 0;
};

// Shows the columns of these fields, in this order from the left, and hides every other
// one. A non-empty caption and a width above 0 are applied; a field the dataset lacks is
// skipped.
void ShowColumns(QTableView *view, const QList<DesignedColumn> &columns);

// A grid edited in place: one cell selected, editing by double click, a click on the
// selected cell, F2 or typing; the last column fills the width.
void SetUpEditableGrid(QTableView *grid);

// A fixed drop-down list as a cell's editor: shows each item's text, stores its value,
// and a choice is written at once, as a drop-down of a grid does.
class ComboListDelegate : public QStyledItemDelegate
{
public:
    using Items = std::function<QList<std::pair<QString, QVariant>>()>;

    // rows: how many items the list shows (0 keeps the default); dropWidth: the list's
    // least width (0: as wide as the cell).
    ComboListDelegate(const QString &editorName, Items items, QObject *parent, int rows = 0,
                      int dropWidth = 0);

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override;

private:
    QString m_name;
    Items m_items;
    int m_rows;
    int m_width;
};

// ---- busy feedback ------------------------------------------------------------------------

// The host's busy bracket for the lifetime of the scope, ended on every path. Without a
// host there is no bracket.
class BusyScope
{
public:
    enum Start {
        Begin,       // begins the bracket now
        AlreadyBegun // only ends one that something else began
    };
    explicit BusyScope(Start start = Begin);
    // Begins on this host (HostRef() where a missing host is an error).
    explicit BusyScope(IPluginHost &host);
    ~BusyScope();
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

private:
    IPluginHost *m_host;
};

} // namespace vexa::gl
