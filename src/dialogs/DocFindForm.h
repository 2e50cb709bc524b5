#pragma once

#include "ChildDialogForm.h"
#include "FormKit.h"

#include <QByteArray>
#include <QLabel>
#include <QList>
#include <QPointer>
#include <QString>
#include <QTableView>
#include <QVariant>

class QLineEdit;

#include <functional>

namespace vexa {
class ClientDataSet;
class DataSetModel;
} // namespace vexa

namespace vexa::gl {

struct ClientSettings;
class TSetWhereForm;

// Grid columns (DataSetModelOf, ColumnOf, DesignedColumn, ...) are in FormKit.h.

// ---- rules of the lookup dialogs ----------------------------------------------------------

// A text the user typed, made safe inside a quoted literal: every single quote is doubled,
// so it stays part of the text and can neither end the literal nor add a condition.
QString QuoteDoubled(const QString &text);

// The dialog's width when shown over a host main window mainWidth wide: five sixths of it,
// capped at 980 unless the form may be wider than 980 (maxWidth 0: no maximum), at least
// 660, and only grown while below the main window.
int FindDialogWidth(int currentWidth, int mainWidth, int maxWidth);
// The height likewise: four sixths of the main window's height, at least 348.
int FindDialogHeight(int currentHeight, int mainHeight);

// The grid measures of the whole-rows rule.
struct FindGridMeasures
{
    int gridHeight = 0;
    int borderWidth = 0;
    bool footerShown = false;      // a Qt table view has no footer
    bool bandHeadersShown = false; // nor band headers
    bool columnsFitWidth = false;  // no horizontal scroll bar possible
};
// How much taller the dialog must grow so that the grid's data area holds whole rows.
int FindDialogRowsGrowth(const FindGridMeasures &grid, const ClientSettings &settings);

// A replacement for the filter builder: create makes the dialog (owner: the lookup
// dialog), and after OK the lookup copies the string property whereProperty of that
// dialog ("WhereText" unless changed; a Q_PROPERTY or a dynamic property) as the user
// condition.
struct FilterFormFactory
{
    std::function<QDialog *(QWidget *owner)> create;
    QByteArray whereProperty = "WhereText";

    explicit operator bool() const { return bool(create); }
};

// The common base of the pick-from-a-list dialogs: one dataset on a provider, one grid,
// a command text composed from the conditions, the row limit and the order, re-queried
// on demand while keeping the user's place.
//
// A descendant creates its dataset and grid, binds them with BindGrid, optionally sets
// KeyFieldNames and the designed columns, and calls InitDocFind at the end of its
// constructor. Its own show-time code goes into FormShow.
class TDocFindForm : public TChildDialogForm
{
    Q_OBJECT

public:
    explicit TDocFindForm(QWidget *parent = nullptr);
    ~TDocFindForm() override;

    bool PartColumnsDone = false;
    QString FixedWhere;
    QString OrderText; // a column list, or a text that begins with "ORDER BY "
    QString TopText;   // "TOP <CFindTopCount> "; empty for every row
    QString ExtraWhere;
    QString LinkWhere;
    QString UserWhere;
    QPointer<QTableView> TemplateView;
    FilterFormFactory FilterFormClass;
    QVariant SelectedValue;
    // The key fields of the grid (separated by ';'): the place kept across RefreshData.
    QString KeyFieldNames;

    virtual void SetupPartColumns();
    virtual void SetWhere(const QString &where);
    virtual void ShowFilter();
    virtual void RefreshData(bool disableControls);

    // The command text for these conditions, order and row limit, trimmed.
    static QString ComposeCommandText(const QString &topText, const QString &fixedWhere,
                                      const QString &linkWhere, const QString &extraWhere,
                                      const QString &userWhere, const QString &orderText);

    // Lays the grid out again from the data object's column configuration (design mode,
    // Ctrl+Alt+Shift+L).
    void ReloadColumnLayout();

    void SetMainGridView(QTableView *view) override;
    // Cancel, Escape and a pick from an empty list close with the modal result Cancel (2).
    void reject() override;

    QLabel *NoDataHint() const { return m_noDataHint; }
    TSetWhereForm *FilterForm() const;
    QDialog *CustomFilterForm() const { return m_customFilter; }

protected:
    // Gives view a read-only model over dataSet and makes it the main grid.
    DataSetModel *BindGrid(QTableView *view, ClientDataSet *dataSet);
    // The layout the grid gets the first time the dataset opens: these fields in this
    // order, every other field hidden. Without designed columns every field is shown.
    void SetDesignedColumns(const QList<DesignedColumn> &columns) { m_designed = columns; }
    // Lays the grid out by the designed columns (a descendant that reads its dataset
    // without RefreshData calls it once the dataset is open).
    void ApplyDesignedColumns();
    // The end of a descendant's constructor: binds and opens the datasets, sets up the grid
    // (user sorting, grid lines) and makes every editor editable.
    void InitDocFind();
    // The descendant's own show-time code: after the sizing, before the part columns.
    virtual void FormShow() {}
    // A search box's query: condition becomes the user condition and the dataset is read
    // again; an empty condition drops a search made before, and reads nothing when there
    // was none.
    void SearchWith(const QString &condition);
    // Makes box a search box: Enter runs search with its text, and so does leaving the box
    // after changing the text, so a code typed before clicking a button is searched first.
    void ConnectSearchBox(QLineEdit *box, std::function<void(const QString &)> search);
    // A pick: the current row's key becomes SelectedValue and the dialog closes with OK;
    // with no rows it closes with Cancel.
    void ChooseBy(const QString &keyField);
    // Makes a double-click on a row of the read-only grid view, and Enter on its current row,
    // run choose (guarded), as the OK button does. On an empty list or without a current row
    // Enter does nothing; it never reaches the dialog's buttons.
    void ConnectChoice(QTableView *view, std::function<void()> choose);

    void KeyHook(int &key) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void UpdateNoDataHint();
    void SelectFocusedRow();
    void SyncViewRow(int row);
    void ShowEditFailure(const QString &message);

    QPointer<TSetWhereForm> m_filterForm;
    QPointer<QDialog> m_customFilter;
    QPointer<QLabel> m_noDataHint;
    QList<DesignedColumn> m_designed;
    Qt::KeyboardModifiers m_keyModifiers;
    bool m_designApplied = false;
};

} // namespace vexa::gl
