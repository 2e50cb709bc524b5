#pragma once

// Chart-of-accounts templates as files: CSV as accountants keep their charts (Excel's "CSV"
// in GB18030/GBK or UTF-8, Chinese headers) and JSON that carries everything a template row
// holds. The JSON shape is described in docs/vexa-admin.md.

#include "ChartTemplate.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vexa::server {

// What was read, with every problem of the file (a value that is no boolean, no header
// naming the codes) and notes on what was left aside (unknown columns).
struct ChartReading
{
    ChartTemplate chart;
    QList<ChartProblem> problems;
    QStringList notes;
    QString encoding; // of a CSV file: UTF-8 or GB18030
};

enum class ChartFormat { Csv, Json };

// The format by name ("csv", "json") or, when given is empty, by the file's extension.
// Throws vexa::Error for anything else.
ChartFormat chartFormat(const QString &path, const QString &given);

// A CSV file's text: UTF-8 after a byte-order mark; otherwise the given encoding ("utf-8",
// "gb18030", "gbk"), or UTF-8 when the bytes are valid UTF-8 and GB18030 when not. Throws
// vexa::Error for an unknown encoding or bytes that are not valid in the given one.
QString decodeChartText(const QByteArray &bytes, const QString &encoding, QString *used = nullptr);

// A CSV chart: one account per row, columns found by their header (科目代码, 科目名称,
// 上级科目, 科目类别, 余额方向, 外币核算, ... or T0102010's field names). Throws vexa::Error
// only when the file cannot be read as CSV at all.
ChartReading readChartCsv(const QByteArray &bytes, const QString &encoding = QString());

// A JSON chart as writeChartJson writes it. Throws vexa::Error for text that is not JSON.
ChartReading readChartJson(const QByteArray &bytes);

// The accounts as CSV: UTF-8 with a byte-order mark, CRLF line ends, Chinese headers, the
// parent of each account by code, booleans as 是/否. Types, reports and auxiliary checks are
// not in it.
QByteArray writeChartCsv(const ChartTemplate &chart);

// Everything: code, name, remark, account types, accounts, the carried payloads.
QByteArray writeChartJson(const ChartTemplate &chart);

} // namespace vexa::server
