#pragma once

// What vexa-admin prints: tables sized for a terminal, CSV and JSON.

#include "DataPacket.h"
#include "FieldDef.h"
#include "SetMaintenance.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <QVariant>
#include <vector>

namespace vexa::admin {

enum class CellFormat { Table, Csv, Json };

// One value as a cell of the given output: empty for a null in a table or CSV; dates
// and times in ISO form; a blob as "(N 字节)" in a table and base64 elsewhere; booleans
// as 1 / 0. For Json the result is a JSON literal (quoted and escaped text, a number,
// true / false or null).
QString formatCell(const FieldDef &field, const QVariant &value, CellFormat format);

// Columns a text takes on a terminal: East Asian wide and full-width characters 2,
// combining marks 0, everything else 1.
int displayWidth(const QString &text);

// Text padded with blanks to width terminal columns, on the left when right-aligned.
QString pad(const QString &text, int width, bool right);

// A table cell on one line, cut to 60 columns with "…"; control characters become blanks.
QString tableCell(QString text);

// A table: header, a rule, the rows in columns as wide as their widest cell, then "(N 行)".
void writeTable(QTextStream &out, const QStringList &header, const std::vector<QStringList> &rows,
                const QList<bool> &rightAligned);

// A packet as a table (numbers right-aligned), CSV with a header line, or a JSON array.
void writePacket(QTextStream &out, const DataPacket &packet, CellFormat format);

bool isNull(const QVariant &v);

// A value an operation returns or writes back into an argument.
QString variantText(const QVariant &v);

// An argument of `call` as the server gets it: "12" and "-3" as integers, anything else
// (also "007") as text.
QVariant argumentValue(const QString &text);

// A right's level in words: 完全, 浏览, 修改 (the number for anything else).
QString levelName(int level);

// What `info` shows of a set, label by label.
const QStringList &summaryLabels();
QStringList summaryCells(const server::SetSummary &summary);

} // namespace vexa::admin
