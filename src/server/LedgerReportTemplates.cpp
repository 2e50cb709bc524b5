// Editing the statements' formats (报表定义): SaveReportTemplate and DeleteReportTemplate on
// the report templates T0200096-T0200099.
#include "AppServer.h"
#include "DataPacket.h"
#include "FieldDef.h"
#include "LedgerCommon.h"
#include "LedgerStatements.h"
#include "StorageErrors.h"
#include "WriteScope.h"

#include <vexa/Error.h>

#include <QSqlError>
#include <QSqlQuery>
#include <map>
#include <optional>
#include <set>

namespace vexa::server {

namespace {

using S = QString;

constexpr int kTemplateObj = 2406;
constexpr int kCodeBytes = 20;      // T0200096.TempletCode, T0200097.ItemCode
constexpr int kNameBytes = 60;      // T0200096.TempletName
constexpr int kItemNameBytes = 100; // T0200097.ItemName

// A packet argument with its values by field name.
struct Packet
{
    DataPacket p;
    QVariant value(size_t row, const char *name) const
    {
        const int i = indexOfField(p.fields, QLatin1String(name));
        return i < 0 ? QVariant() : p.rows[row].value(i);
    }
    QString text(size_t row, const char *name) const
    {
        return value(row, name).toString().trimmed();
    }
    std::optional<qint64> number(size_t row, const char *name) const
    {
        const QVariant v = value(row, name);
        if (v.isNull() || !v.isValid() || v.toString().trimmed().isEmpty())
            return std::nullopt;
        bool ok = false;
        const qint64 n = v.toLongLong(&ok);
        if (!ok)
            throw Error(S("“%1”不是整数：%2。").arg(QLatin1String(name), v.toString()));
        return n;
    }
};

Packet packetArgument(const QVariantList &args, int at)
{
    if (args.size() <= at)
        throw Error(S("操作“SaveReportTemplate”缺少第 %1 个参数。").arg(at + 1));
    const QString text = args[at].toString();
    return Packet{text.isEmpty() ? DataPacket{} : readDataPacket(text)};
}

// '+' or '-' ('−' and '－' as typed in Chinese input); nullopt for anything else.
std::optional<QChar> operatorOf(const QString &text)
{
    if (text.isEmpty() || text == u"+" || text == u"＋")
        return QChar(u'+');
    if (text == u"-" || text == u"−" || text == u"－")
        return QChar(u'-');
    return std::nullopt;
}

struct ItemLine
{
    qint64 itemId = 0; // 0: new
    std::optional<qint64> line;
    QString code, name;
    int type = 0, indent = 0;

    // "第 8 行“存货”", or the line's place in the list when it has no 行次.
    QString where(size_t row) const
    {
        if (line)
            return S("第 %1 行“%2”").arg(*line).arg(name);
        return S("表中第 %1 项“%2”").arg(row + 1).arg(name);
    }
};

struct Term
{
    size_t row = 0;
    QString code, fetch;
    QChar op;
    qint64 acctId = 0;
};

struct Sum
{
    size_t row = 0, member = 0;
    QChar op;
};

class TemplateSave
{
public:
    TemplateSave(QSqlDatabase db, const QVariantList &args) : m_db(db)
    {
        const Packet header = packetArgument(args, 0);
        if (header.p.rows.size() != 1)
            throw Error(S("报表模板的表头应为一行。"));
        m_id = header.number(0, "TempletID").value_or(0);
        m_code = header.text(0, "TempletCode");
        m_name = header.text(0, "TempletName");
        m_type = int(header.number(0, "TempletType").value_or(0));
        m_hasRemark = indexOfField(header.p.fields, QLatin1String("Remark")) >= 0;
        m_remark = header.text(0, "Remark");
        m_lines = packetArgument(args, 1);
        m_terms = packetArgument(args, 2);
        m_sums = packetArgument(args, 3);
    }

    // Checks everything and writes it; answers the template's id.
    qint64 save(const SessionInfo &session);

private:
    void checkHeader();
    void readLines();
    void readTerms();
    void readSums();
    size_t rowOf(const Packet &p, size_t r, const char *field) const;

    QSqlDatabase m_db;
    qint64 m_id = 0;
    QString m_code, m_name, m_remark;
    bool m_hasRemark = false;
    int m_type = 0;
    Packet m_lines, m_terms, m_sums;
    std::vector<ItemLine> m_items;
    std::vector<Term> m_termRows;
    std::vector<Sum> m_sumRows;
};

void TemplateSave::checkHeader()
{
    if (m_code.isEmpty())
        throw Error(S("报表代码不能为空。"));
    if (gbkByteLength(m_code) > kCodeBytes)
        throw Error(S("报表代码“%1”超过 %2 个字节。").arg(m_code).arg(kCodeBytes));
    if (m_name.isEmpty())
        throw Error(S("报表名称不能为空。"));
    if (gbkByteLength(m_name) > kNameBytes)
        throw Error(
            S("报表名称“%1”超过 %2 个字节（一个汉字算 2 个字节）。").arg(m_name).arg(kNameBytes));
    if (m_type != 1 && m_type != 2)
        throw Error(S("报表类型只能是资产负债表（1）或利润表（2）。"));
    if (m_id < 0)
        throw Error(S("报表模板 %1 不存在。").arg(m_id));
    if (m_id > 0 &&
        !ledgerQuery(m_db, S("SELECT 1 FROM T0200096 WHERE TempletID = ?"), {m_id}).next())
        throw Error(S("报表模板 %1 不存在，可能已被他人删除。").arg(m_id));
    if (ledgerQuery(m_db, S("SELECT 1 FROM T0200096 WHERE TempletCode = ? AND TempletID <> ?"),
                    {m_code, m_id})
            .next())
        throw Error(S("报表代码“%1”已经存在。").arg(m_code));
}

void TemplateSave::readLines()
{
    std::set<qint64> own;
    QSqlQuery q = ledgerQuery(m_db, S("SELECT ItemID FROM T0200097 WHERE TempletID = ?"), {m_id});
    while (q.next())
        own.insert(q.value(0).toLongLong());
    std::map<qint64, size_t> numbers;
    std::set<qint64> ids;
    for (size_t r = 0; r < m_lines.p.rows.size(); ++r) {
        ItemLine l;
        l.itemId = m_lines.number(r, "ItemID").value_or(0);
        l.line = m_lines.number(r, "ItemLine");
        l.code = m_lines.text(r, "ItemCode");
        l.name = m_lines.text(r, "ItemName");
        l.type = int(m_lines.number(r, "ItemType").value_or(-1));
        l.indent = int(m_lines.number(r, "Indent").value_or(0));
        if (l.name.isEmpty())
            throw Error(S("表中第 %1 项没有项目名称。").arg(r + 1));
        const QString where = l.where(r);
        if (gbkByteLength(l.name) > kItemNameBytes)
            throw Error(S("%1：项目名称超过 %2 个字节。").arg(where).arg(kItemNameBytes));
        if (gbkByteLength(l.code) > kCodeBytes)
            throw Error(S("%1：项目代码超过 %2 个字节。").arg(where).arg(kCodeBytes));
        if (l.type < 0 || l.type > 3)
            throw Error(S("%1：类型只能是标题、科目取数、行合计或手工填列。").arg(where));
        if (l.indent < 0 || l.indent > 9)
            throw Error(S("%1：缩进应在 0 到 9 之间。").arg(where));
        if (l.line) {
            if (*l.line <= 0 || *l.line > 9999)
                throw Error(S("%1：行次应在 1 到 9999 之间。").arg(where));
            const auto [at, fresh] = numbers.emplace(*l.line, r);
            if (!fresh)
                throw Error(S("%1：行次 %2 与“%3”重复。")
                                .arg(where)
                                .arg(*l.line)
                                .arg(m_items[at->second].name));
        }
        if (l.itemId != 0) {
            if (!own.count(l.itemId))
                throw Error(S("%1：项目 %2 不属于这张报表，可能已被他人删除，请重新读取。")
                                .arg(where)
                                .arg(l.itemId));
            if (!ids.insert(l.itemId).second)
                throw Error(S("%1：项目 %2 出现了两次。").arg(where).arg(l.itemId));
        }
        m_items.push_back(l);
    }
}

size_t TemplateSave::rowOf(const Packet &p, size_t r, const char *field) const
{
    const std::optional<qint64> row = p.number(r, field);
    if (!row || *row < 1 || *row > qint64(m_items.size()))
        throw Error(S("报表项目第 %1 项不存在。").arg(row.value_or(0)));
    return size_t(*row - 1);
}

void TemplateSave::readTerms()
{
    std::map<QString, qint64> chart;
    QSqlQuery q = ledgerQuery(m_db, S("SELECT AcctCode, AcctID FROM T0102010"));
    while (q.next())
        chart.emplace(q.value(0).toString().trimmed(), q.value(1).toLongLong());
    std::set<std::tuple<size_t, QString, QString>> seen;
    for (size_t r = 0; r < m_terms.p.rows.size(); ++r) {
        Term t;
        t.row = rowOf(m_terms, r, "Row");
        const ItemLine &l = m_items[t.row];
        const QString where = l.where(t.row);
        if (l.type != 1)
            throw Error(S("%1：只有“科目取数”的行才能设置取数科目。").arg(where));
        t.code = m_terms.text(r, "ItemAcctCode");
        t.fetch = m_terms.text(r, "FetchType").toUpper();
        if (t.code.isEmpty())
            throw Error(S("%1：取数科目的代码不能为空。").arg(where));
        const auto acct = chart.find(t.code);
        if (acct == chart.end())
            throw Error(S("%1：科目 %2 不在科目表中。").arg(where, t.code));
        t.acctId = acct->second;
        if (t.fetch != u"QM" && t.fetch != u"JQM" && t.fetch != u"DQM" && t.fetch != u"SY")
            throw Error(S("%1：科目 %2 的取数方式“%3”无效，应为 QM、JQM、DQM 或 SY。")
                            .arg(where, t.code, t.fetch));
        const std::optional<QChar> op = operatorOf(m_terms.text(r, "Operator"));
        if (!op)
            throw Error(S("%1：科目 %2 的运算符号只能是 + 或 −。").arg(where, t.code));
        t.op = *op;
        if (!seen.emplace(t.row, t.code, t.fetch).second)
            throw Error(S("%1：科目 %2 按 %3 取数出现了两次。").arg(where, t.code, t.fetch));
        m_termRows.push_back(t);
    }
}

void TemplateSave::readSums()
{
    std::set<std::pair<size_t, size_t>> seen;
    for (size_t r = 0; r < m_sums.p.rows.size(); ++r) {
        Sum s;
        s.row = rowOf(m_sums, r, "Row");
        s.member = rowOf(m_sums, r, "SumRow");
        const ItemLine &l = m_items[s.row];
        const QString where = l.where(s.row);
        if (l.type != 2)
            throw Error(S("%1：只有“行合计”的行才能合计其他行。").arg(where));
        const std::optional<QChar> op = operatorOf(m_sums.text(r, "Operator"));
        if (!op)
            throw Error(S("%1：运算符号只能是 + 或 −。").arg(where));
        s.op = *op;
        if (!seen.emplace(s.row, s.member).second)
            throw Error(S("%1：%2 合计了两次。").arg(where, m_items[s.member].where(s.member)));
        m_sumRows.push_back(s);
    }
    // Row positions (from 1) stand for the lines here; the statement's own order finds a cycle.
    std::vector<qint64> sumLines;
    for (size_t r = 0; r < m_items.size(); ++r)
        if (m_items[r].type == 2)
            sumLines.push_back(qint64(r + 1));
    std::multimap<qint64, qint64> members;
    for (const Sum &s : m_sumRows)
        members.emplace(qint64(s.row + 1), qint64(s.member + 1));
    const SumLineOrder order = sumLineOrder(sumLines, members);
    if (order.cycle != 0) {
        const size_t at = size_t(order.cycle - 1);
        throw Error(
            S("%1：合计行经由其他合计行引用了自身（循环），请修改。").arg(m_items[at].where(at)));
    }
}

qint64 TemplateSave::save(const SessionInfo &session)
{
    checkHeader();
    readLines();
    readTerms();
    readSums();

    const bool fresh = m_id == 0;
    int removed = 0, added = 0;
    if (fresh) {
        QSqlQuery q = ledgerQuery(m_db, S("SELECT COALESCE(MAX(TempletID), 0) + 1 FROM T0200096"));
        q.next();
        m_id = q.value(0).toLongLong();
        ledgerQuery(
            m_db,
            S("INSERT INTO T0200096 (TempletID, TempletCode, TempletName, TempletType, Remark) "
              "VALUES (?, ?, ?, ?, ?)"),
            {m_id, m_code, m_name, m_type, m_remark.isEmpty() ? QVariant() : m_remark});
    } else {
        ledgerQuery(m_db,
                    S("UPDATE T0200096 SET TempletCode = ?, TempletName = ?, TempletType = ? "
                      "WHERE TempletID = ?"),
                    {m_code, m_name, m_type, m_id});
        if (m_hasRemark)
            ledgerQuery(m_db, S("UPDATE T0200096 SET Remark = ? WHERE TempletID = ?"),
                        {m_remark.isEmpty() ? QVariant() : m_remark, m_id});
    }

    // Terms and sums are written anew; lines that stay keep their ItemID, so the figures
    // entered by hand for them stay too. A removed line takes its figures with it.
    ledgerQuery(m_db, S("DELETE FROM T0200099 WHERE TempletID = ?"), {m_id});
    ledgerQuery(m_db, S("DELETE FROM T0200098 WHERE TempletID = ?"), {m_id});
    std::set<qint64> kept;
    for (const ItemLine &l : m_items)
        if (l.itemId != 0)
            kept.insert(l.itemId);
    qint64 next = 1;
    {
        QSqlQuery q =
            ledgerQuery(m_db, S("SELECT ItemID FROM T0200097 WHERE TempletID = ?"), {m_id});
        std::vector<qint64> gone;
        while (q.next()) {
            const qint64 id = q.value(0).toLongLong();
            next = std::max(next, id + 1);
            if (!kept.count(id))
                gone.push_back(id);
        }
        for (const qint64 id : gone) {
            ledgerQuery(m_db, S("DELETE FROM FINGLReportValue WHERE TempletID = ? AND ItemID = ?"),
                        {m_id, id});
            ledgerQuery(m_db, S("DELETE FROM T0200097 WHERE TempletID = ? AND ItemID = ?"),
                        {m_id, id});
            ++removed;
        }
    }
    for (size_t r = 0; r < m_items.size(); ++r) {
        ItemLine &l = m_items[r];
        const QVariant line = l.line ? QVariant(*l.line) : QVariant();
        const QVariant code = l.code.isEmpty() ? QVariant() : QVariant(l.code);
        if (l.itemId == 0) {
            l.itemId = next++;
            ++added;
            ledgerQuery(m_db,
                        S("INSERT INTO T0200097 (TempletID, ItemID, SortNo, ItemLine, ItemCode, "
                          "ItemName, ItemType, Indent) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
                        {m_id, l.itemId, int(r + 1), line, code, l.name, l.type, l.indent});
        } else {
            ledgerQuery(
                m_db,
                S("UPDATE T0200097 SET SortNo = ?, ItemLine = ?, ItemCode = ?, ItemName = ?, "
                  "ItemType = ?, Indent = ? WHERE TempletID = ? AND ItemID = ?"),
                {int(r + 1), line, code, l.name, l.type, l.indent, m_id, l.itemId});
        }
    }
    for (const Term &t : m_termRows)
        ledgerQuery(m_db,
                    S("INSERT INTO T0200098 (TempletID, ItemID, ItemAcctCode, FetchType, Operator, "
                      "AcctID) VALUES (?, ?, ?, ?, ?, ?)"),
                    {m_id, m_items[t.row].itemId, t.code, t.fetch, QString(t.op), t.acctId});
    for (const Sum &s : m_sumRows)
        ledgerQuery(m_db,
                    S("INSERT INTO T0200099 (TempletID, ItemID, SumItemID, Operator) "
                      "VALUES (?, ?, ?, ?)"),
                    {m_id, m_items[s.row].itemId, m_items[s.member].itemId, QString(s.op)});

    QString detail = S("%1 %2：%3 项，%4 个取数科目，%5 个合计项")
                         .arg(m_code, m_name)
                         .arg(m_items.size())
                         .arg(m_termRows.size())
                         .arg(m_sumRows.size());
    if (!fresh && (added || removed))
        detail += S("；新增 %1 项，删除 %2 项").arg(added).arg(removed);
    writeOperationLog(
        m_db, session,
        LogEntry{fresh ? S("新增") : S("修改"), kTemplateObj, QString::number(m_id), detail});
    return m_id;
}

} // namespace

std::optional<QVariant> ServerConnection::reportTemplatesCall(const QString &operation,
                                                              QVariantList &args)
{
    auto is = [&operation](const char *name) {
        return operation.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
    };
    if (is("SaveReportTemplate")) {
        TemplateSave save(m_db, args);
        refuseOnReadOnly();
        WriteScope work(m_db, m_server.dialect(), m_inTransaction);
        requireRight(m_db, m_session, kTemplateObj, S("报表定义"));
        const qint64 id = save.save(m_session);
        work.commit();
        return id;
    }
    if (is("DeleteReportTemplate")) {
        bool ok = false;
        const qint64 id = args.value(0).toLongLong(&ok);
        if (!ok || id <= 0)
            throw Error(S("操作“DeleteReportTemplate”需要报表模板的 TempletID。"));
        refuseOnReadOnly();
        WriteScope work(m_db, m_server.dialect(), m_inTransaction);
        requireRight(m_db, m_session, kTemplateObj, S("报表定义"));
        QSqlQuery q = ledgerQuery(
            m_db, S("SELECT TempletCode, TempletName FROM T0200096 WHERE TempletID = ?"), {id});
        if (!q.next())
            throw Error(S("报表模板 %1 不存在，可能已被他人删除。").arg(id));
        const QString what = S("%1 %2").arg(q.value(0).toString(), q.value(1).toString());
        q.finish();
        // In this order whether or not the engine cascades.
        for (const char *table :
             {"FINGLReportValue", "T0200099", "T0200098", "T0200097", "T0200096"})
            ledgerQuery(m_db, S("DELETE FROM %1 WHERE TempletID = ?").arg(QLatin1String(table)),
                        {id});
        writeOperationLog(m_db, m_session,
                          LogEntry{S("删除"), kTemplateObj, QString::number(id), what});
        work.commit();
        return 1;
    }
    return std::nullopt;
}

} // namespace vexa::server
