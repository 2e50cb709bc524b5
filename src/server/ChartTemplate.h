#pragma once

// A chart-of-accounts template as vexa-admin imports and exports it: the accounts and account
// types of an SMAcctTempData row in a form a person writes (parents by code, types by code,
// balance sides as D/C), the report and auxiliary-check payloads carried unchanged. The
// stored packets follow from it as the shipped templates are made: accounts numbered in code
// order, levels, leaf flags and level codes derived, the first-level accounts fixed unless
// the template says otherwise.

#include "DataPacket.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <map>
#include <vector>

namespace vexa::server {

// Column sizes of the template tables, in GBK bytes (a Chinese character counts 2).
inline constexpr int kTemplateCodeBytes = 20; // SMAcctTemp.AcctTempCode
inline constexpr int kTemplateNameBytes = 60; // SMAcctTemp.AcctTempDesc
inline constexpr int kTemplateRemarkBytes = 200;
inline constexpr int kAccountCodeBytes = 40; // T0102010.AcctCode
inline constexpr int kAccountNameBytes = 80; // T0102010.AcctName

struct ChartAccountType
{
    int number = 0;   // AcctType
    QString code;     // ZC, FZ, ...
    QString name;     // 资产, ...
    QString side;     // D or C
    QVariant adjusts; // SYAdjust: closed out to profit at period end (null when not said)
};

struct ChartAccount
{
    int line = 0; // where it was read (a file's line, a JSON array's position); 0: stored
    QString code;
    QString name;
    QString parent; // the parent's code; empty for a first-level account or when derived
    QString type;   // the type's code; empty: the first-level ancestor's
    QString side;   // D or C; empty: the parent's, for a first-level account the type's
    // The other account fields of T0102010 the template carries, by field name (see
    // kAccountFlagFields); one that is absent takes its default.
    QVariantMap flags;

    // Derived by completeChart.
    int id = 0;       // AcctID: position in code order, from 1
    int parentId = 0; // 0: first level
    int level = 0;
    bool leaf = true;
};

// T0102010's fields a template account carries beside code, name, parent, type and side.
const QStringList &accountFlagFields();

// The payload fields beside accounts and types, in the order the load replaces them:
// T0200096 ... T0200099 (report templates), T0102053 and T0102055 (auxiliary check list 0).
const QStringList &extraPayloadFields();

struct ChartTemplate
{
    QString code; // AcctTempCode
    QString name; // AcctTempDesc
    QString remark;
    QList<ChartAccountType> types; // empty: derived from the accounts' types
    std::vector<ChartAccount> accounts;
    std::map<QString, DataPacket> payloads; // extraPayloadFields(), carried unchanged
    bool parentsGiven = false;              // parents come from a column, not from the codes

    // Where the template was read, for the messages: the rows are a file's lines, or the
    // positions in the JSON document's arrays.
    enum class Source { Stored, Csv, Json } source = Source::Stored;
    // The column name each account field was read from (CSV header or JSON key), by field:
    // "code", "name", "parent", "type", "side" or a flag field.
    QHash<QString, QString> columnNames;
};

// One thing wrong with a template, where it was found.
struct ChartProblem
{
    ChartProblem() = default;
    ChartProblem(int line, QString column, QString message, QString where = {})
        : line(line), column(std::move(column)), message(std::move(message)),
          where(std::move(where))
    {}

    int line = 0;   // 0: the template as a whole
    QString column; // the file's column (header) or JSON key; empty when the row as a whole
    QString message;
    QString where; // the payload or section for a problem outside the accounts ("T0200098")
};

// "第 12 行，“科目名称”：..." and the like, as vexa-admin prints a problem.
QString problemText(const ChartProblem &problem, ChartTemplate::Source source);

// In the order a person goes through the file: the template's own first, then by line.
void sortProblems(QList<ChartProblem> &problems);

// How plain account codes split into levels: 4-2-2 means four digits for the first level,
// two for each of the next two.
struct LevelLengths
{
    QList<int> lengths{4, 2, 2, 2, 2, 2};
    // Parses "4-2-2"; throws vexa::Error for anything else.
    static LevelLengths parse(const QString &text);
    QString text() const;
};

// The standard account types (资产 ZC, 负债 FZ, 共同 GT, 所有者权益 QY, 成本 CB, 损益 SY),
// in their usual order.
const QList<ChartAccountType> &standardAccountTypes();
// A type written by its code or name (资产, 资产类, ZC; 权益 for 所有者权益); empty when none.
QString accountTypeCode(const QString &text);

// Orders the accounts by code and derives parents (from the codes, when not given), levels,
// ids, leaf flags, missing types and sides, and the type list when there is none. Returns
// every problem found, all of them; the chart can be stored only when there are none.
QList<ChartProblem> completeChart(ChartTemplate &chart, const LevelLengths &levels = {});

// The packets to store, by payload field (AcctXMLData, AcctTypeXMLData, the carried payloads),
// as column names and rows of plain values; the store gives them the tables' field types. The
// chart must have been completed without problems. A chart without accounts has no AcctXMLData.
std::map<QString, std::pair<QStringList, std::vector<QVariantList>>>
chartPayloadRows(const ChartTemplate &chart);

// A stored template (or an account set's own chart) from its packets by payload field.
// Throws vexa::Error when the accounts lack a code or name column.
ChartTemplate chartFromPackets(const std::map<QString, DataPacket> &packets);

} // namespace vexa::server
