#pragma once

#include "LXCustomForm.h"

#include <QPointer>
#include <QString>
#include <QStringList>

class QLabel;
class QPushButton;
class QTableView;

namespace vexa {
class ClientDataSet;
class DataSetModel;
} // namespace vexa

namespace vexa::gl {

class ConditionDelegate;

// Grid columns carry a tag like components do: a column tagged below 0 is internal and
// never offered as a filter column. Qt columns are no objects, so the tags live in the
// view's dynamic property "columnTags", a QVariantList indexed by the model column (the
// field's position in the dataset); a missing entry is tag 0.
inline constexpr char kColumnTags[] = "columnTags";
int columnTag(const QTableView *view, int column);
void setColumnTag(QTableView *view, int column, int tag);

// The filter builder of the lookup dialogs: the user lists conditions as rows (column,
// relation, value; their rules are ConditionRows'); on OK WhereBuilder makes them one
// condition text in WhereText. The lookup dialog creates it once and keeps it, so the rows
// survive from one opening to the next.
class TSetWhereForm : public TLXCustomForm
{
    Q_OBJECT

public:
    explicit TSetWhereForm(QWidget *parent = nullptr);
    ~TSetWhereForm() override;

    // Set by the lookup dialog before showing.
    QLabel *lbTitle = nullptr;
    QString DefaultShowNo;  // layout variant; empty means "0"
    QString FindShowNo;     // layout variant of the column query; empty means DefaultShowNo
    QString DataObjectName; // empty: the provider of SourceDataSet, else of SourceView's dataset
    QString WhereText;      // rebuilt on OK, read by the caller after OK
    QPointer<QTableView> SourceView;
    // Its field types drive the value checks (without it, those of SourceView's dataset).
    QPointer<ClientDataSet> SourceDataSet;

    // The data object whose columns are offered (see DataObjectName).
    QString DataObject() const;

    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    friend class ConditionModel;

    void FitHeight();
    void FocusFieldColumn();
    void LoadOfferedColumns();
    QStringList OfferedColumns() const;
    // A grid edit: value into column of row, then the editing rules and the post.
    bool SetCell(int row, int column, const QVariant &value);
    void OkClick();
    void ClearClick();

    ClientDataSet *m_data;     // cdsData
    ClientDataSet *m_if;       // cdsIF
    ClientDataSet *m_viewCols; // cdsViewCol
    DataSetModel *m_model;
    ConditionDelegate *m_delegate;
    QTableView *m_grid; // grdData
    QPushButton *m_ok;
    QPushButton *m_cancel;
    QPushButton *m_clear;
};

} // namespace vexa::gl
