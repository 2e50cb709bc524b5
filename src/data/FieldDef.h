#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QVariant>
#include <limits>
#include <optional>
#include <utility>

namespace vexa {

enum class FieldType {
    String,     // variable-length string, size in GBK bytes
    WideString, // same storage, size in GBK bytes as well
    FixedChar,  // fixed-size string (not padded in memory)
    SmallInt,
    Integer,
    Word, // unsigned 16-bit
    LargeInt,
    Boolean,
    Float,
    Currency, // fixed point, four decimals
    BCD,
    Date,
    Time,
    DateTime,
    Memo,
    Blob,
};

// The values an integer field of that type holds (SmallInt, Integer, Word; any other type:
// the 64-bit range).
constexpr std::pair<qint64, qint64> integerRange(FieldType type)
{
    switch (type) {
    case FieldType::SmallInt:
        return {std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max()};
    case FieldType::Integer:
        return {std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()};
    case FieldType::Word:
        return {0, std::numeric_limits<quint16>::max()};
    default:
        return {std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max()};
    }
}

struct FieldDef
{
    QString name;
    FieldType type = FieldType::String;
    int size = 0; // string types: maximum GBK bytes (0 = no limit); others unused
    bool required = false;
    // A calculated field holds per-row values the program computes (a row number, say).
    // Its values never enter the change log, the delta or the server.
    bool calculated = false;

    bool operator==(const FieldDef &) const = default;
};

// Name used in data packets and messages ("string", "integer", ...).
QString fieldTypeName(FieldType type);
std::optional<FieldType> fieldTypeFromName(const QString &name);

bool isStringType(FieldType type);  // String, WideString, FixedChar, Memo
bool isIntegerType(FieldType type); // SmallInt, Integer, Word, LargeInt
bool isFloatType(FieldType type);   // Float, Currency, BCD

// The length of a text as stored by the server's code page: an ASCII character
// counts 1, any other character 2.
int gbkByteLength(const QString &text);

// Converts a value to the storage type of the field: QString for string types and
// memo, int for small integer/integer/word, qlonglong for large integer, bool,
// double (currency rounded to four decimals), QDate, QTime, QDateTime, QByteArray
// for blobs. A null or invalid QVariant stays a typed null. Throws vexa::Error with
// a message naming the field when the value cannot convert or a string is longer
// than the field.
QVariant coerceToField(const FieldDef &field, const QVariant &value);

// Typed null for a field.
QVariant nullFor(FieldType type);

// Finds a field by name without regard to letter case; -1 when none. A search: for
// repeated lookups in many fields use FieldNameIndex.
int indexOfField(const QList<FieldDef> &fields, const QString &name);

// Position of each field by its name, without regard to letter case, in constant time.
class FieldNameIndex
{
public:
    FieldNameIndex() = default;
    // The fields' names must be unique without regard to case; answers the first
    // position whose name repeats an earlier one, or -1.
    int assign(const QList<FieldDef> &fields);
    bool add(const QString &name, int position); // false when the name is taken
    int indexOf(const QString &name) const;      // -1 when there is none

private:
    QHash<QString, int> m_positions; // by case-folded name
};

} // namespace vexa
