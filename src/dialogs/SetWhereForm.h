#pragma once

#include "FieldDef.h"
#include "LXCustomForm.h"

#include <QDate>
#include <QList>
#include <QLocale>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTime>

#include <optional>

class QLabel;
class QPushButton;
class QTableView;

namespace vexa {
class ClientDataSet;
class DataSetModel;
} // namespace vexa

namespace vexa::gl {

class ConditionDelegate;

// One condition row as the user left it: column, relation code, value as typed.
struct ConditionRow
{
    QString fieldName;
    QString relation; // "=", "Like", "LLike", "RLike", ">", "<", "<>", ">=", "<=", "IS NULL"
    QString value;
};

// Appends the condition of rows to text ("PartCode Like  '%A01%' AND Qty > 5"): rows
// without a column or relation, or without a value (unless the relation is "IS NULL"), are
// skipped; each value is checked against the type of the field of that name in fields (a
// field that is not there is text). A quote in a value is doubled inside its literal, so
// it stays part of the value. Dates and times, typed in the workstation's formats, are
// written in the one form the condition grammar reads (see ConditionDateText). A value
// that does not convert throws vexa::Error naming the row by its 1-based number among all
// rows; text then holds what was built before it.
void BuildWhereText(const QList<ConditionRow> &rows, const QList<FieldDef> &fields, QString &text,
                    const QLocale &workstation = QLocale::system());
QString BuildWhereText(const QList<ConditionRow> &rows, const QList<FieldDef> &fields,
                       const QLocale &workstation = QLocale::system());

// A date, a time or both as the user typed them; a part not typed is invalid.
struct TypedDateTime
{
    QDate date;
    QTime time;
};

// Reads text in the workstation's formats (the locale's short and long date-time, date and
// time formats), in ISO form ("2024-03-31", "2024-03-31 12:30:00", "2024-03-31T12:30",
// "2024/3/31", "12:30:00") or in the Chinese long form with an optional weekday and time
// ("2024年3月31日", "2024年3月31日 星期日 12:30"); nullopt when it reads as none of them.
std::optional<TypedDateTime>
ReadWorkstationDateTime(const QString &text, const QLocale &workstation = QLocale::system());

// The literal text for a value read for a column of type (Date, Time or DateTime):
// "yyyy-MM-dd" for a date, "HH:mm:ss" for a time, both for a date-time column (".zzz" when
// there are milliseconds). For the like relations (pattern) a part not typed is left out
// and a time without seconds is written "HH:mm", so "2024-03-31" finds the whole day.
// Empty when the value does not suit the column: no date for a date or date-time column,
// a date for a time column.
QString ConditionDateText(FieldType type, const TypedDateTime &value, bool pattern);

// Grid columns carry a tag like components do: a column tagged below 0 is internal and
// never offered as a filter column. Qt columns are no objects, so the tags live in the
// view's dynamic property "columnTags", a QVariantList indexed by the model column (the
// field's position in the dataset); a missing entry is tag 0.
inline constexpr char kColumnTags[] = "columnTags";
int columnTag(const QTableView *view, int column);
void setColumnTag(QTableView *view, int column, int tag);

// The filter builder of the lookup dialogs: the user lists conditions as rows (column,
// relation, value); on OK they become one condition text in WhereText. The lookup dialog
// creates it once and keeps it, so the rows survive from one opening to the next.
class TSetWhereForm : public TLXCustomForm
{
    Q_OBJECT

public:
    explicit TSetWhereForm(QWidget *parent = nullptr);
    ~TSetWhereForm() override;

    static constexpr int kConditionRows = 13;

    // Set by the lookup dialog before showing.
    QLabel *lbTitle = nullptr;
    QString DefaultShowNo;  // layout variant; empty means "0"
    QString FindShowNo;     // layout variant of the column query; empty means DefaultShowNo
    QString DataObjectName; // empty: the provider of SourceDataSet, else of SourceView's dataset
    QString WhereText;      // rebuilt on OK, read by the caller after OK
    QPointer<QTableView> SourceView;
    // Its field types drive the value checks (without it, those of SourceView's dataset).
    QPointer<ClientDataSet> SourceDataSet;

    // The query of the offered columns, a quote in either name doubled.
    static QString ViewColumnsCommand(const QString &dataObject, const QString &showNo);

    // Deletes every row whose column is set but not in offered (compared without regard
    // to case) and appends an empty row at the end for it (ColIndex = record count + 100),
    // the cursor back on the same record number.
    static void DropUnofferedRows(ClientDataSet &rows, const QStringList &offered);
    // ColIndex := record number, for every row.
    static void RenumberRows(ClientDataSet &rows);

    // The rows in dataset order.
    QList<ConditionRow> Conditions() const;
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
    void PostConditionRow();
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
