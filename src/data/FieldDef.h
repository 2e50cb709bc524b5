#pragma once

#include <QList>
#include <QString>
#include <QVariant>
#include <optional>

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

// Finds a field by name without regard to letter case; -1 when none.
int indexOfField(const QList<FieldDef> &fields, const QString &name);

} // namespace vexa
