#pragma once

#include "FieldDef.h"

#include <QDate>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QVariant>

#include <optional>

namespace vexa {
class ClientDataSet;
} // namespace vexa

namespace vexa::gl {

// One condition row as the user left it: column, relation code, value as typed.
struct ConditionRow
{
    QString fieldName;
    QString relation; // "=", "Like", "LLike", "RLike", ">", "<", "<>", ">=", "<=", "IS NULL"
    QString value;
};

// A date, a time or both as the user typed them; a part not typed is invalid.
struct TypedDateTime
{
    QDate date;
    QTime time;
};

// The condition text of the filter builder's rows, without the window: each value is checked
// against the type of the field of that name in fields (a field that is not there is text).
class WhereBuilder
{
public:
    explicit WhereBuilder(QList<FieldDef> fields = {}, QLocale workstation = QLocale::system());

    // Appends the condition of rows to text ("PartCode Like  '%A01%' AND Qty > 5"): rows
    // without a column or relation, or without a value (unless the relation is "IS NULL"),
    // are skipped. A quote in a value is doubled inside its literal, so it stays part of the
    // value. Dates and times, typed in the workstation's formats, are written in the one
    // form the condition grammar reads (see DateText). A value that does not convert throws
    // vexa::Error naming the row by its 1-based number among all rows; text then holds what
    // was built before it.
    void AppendTo(const QList<ConditionRow> &rows, QString &text) const;
    QString Build(const QList<ConditionRow> &rows) const;

    // Reads text in the workstation's formats (the locale's short and long date-time, date
    // and time formats), in ISO form ("2024-03-31", "2024-03-31 12:30:00",
    // "2024-03-31T12:30", "2024/3/31", "12:30:00") or in the Chinese long form with an
    // optional weekday and time ("2024年3月31日", "2024年3月31日 星期日 12:30"); nullopt when
    // it reads as none of them.
    static std::optional<TypedDateTime> ReadDateTime(const QString &text,
                                                     const QLocale &workstation);
    // The literal text for a value read for a column of type (Date, Time or DateTime):
    // "yyyy-MM-dd" for a date, "HH:mm:ss" for a time, both for a date-time column (".zzz"
    // when there are milliseconds). For the like relations (pattern) a part not typed is
    // left out and a time without seconds is written "HH:mm", so "2024-03-31" finds the whole
    // day. Empty when the value does not suit the column: no date for a date or date-time
    // column, a date for a time column.
    static QString DateText(FieldType type, const TypedDateTime &value, bool pattern);

    // The query of the columns offered for a data object's layout variant, a quote in either
    // name doubled.
    static QString ColumnsCommand(const QString &dataObject, const QString &showNo);

private:
    // The literal of a row's value (trimmed) by its field's type; n is the row's number.
    QString Literal(const ConditionRow &row, const QString &value, int n) const;

    QList<FieldDef> m_fields;
    QLocale m_workstation;
};

// The rows of the filter builder in the dataset its grid edits (ColIndex, FieldName, IFValue
// for the relation, Value); the dataset lives as long as the dialog, so the rows survive
// from one opening to the next.
class ConditionRows
{
public:
    enum Column { ColIndexColumn = 0, FieldNameColumn = 1, RelationColumn = 2, ValueColumn = 3 };
    static constexpr int kCount = 13;

    explicit ConditionRows(ClientDataSet &rows) : m_rows(rows) {}

    // The fields and kCount empty rows numbered from 1, the cursor on the first.
    void Create();
    // A grid edit: value into column of row (0-based), then the editing rules and the post.
    // Choosing a column fills in "=" when the row has no relation yet. Throws what the
    // dataset refuses, the edit left open for the caller to cancel.
    void SetCell(int row, int column, const QVariant &value);
    // Posts an edit in progress; a row without a column keeps no relation and no value.
    void Post();
    // Empties every row, the cursor back on the first.
    void Clear();
    // The rows in dataset order.
    QList<ConditionRow> Rows() const;

    // Deletes every row whose column is set but not in offered (compared without regard to
    // case) and appends an empty row at the end for it (ColIndex = record count + 100), the
    // cursor back on the same record number.
    void DropUnoffered(const QStringList &offered);
    // ColIndex := record number, for every row.
    void Renumber();

private:
    ClientDataSet &m_rows;
};

} // namespace vexa::gl
