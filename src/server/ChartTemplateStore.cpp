#include "ChartTemplateStore.h"

#include "AppServer.h"
#include "Seed.h"
#include "SqlDialect.h"
#include "StorageErrors.h"
#include "WriteScope.h"

#include <vexa/Error.h>

#include <QSqlError>
#include <QSqlQuery>

namespace vexa::server {

namespace {

using S = QString;

const QStringList &payloadFields()
{
    static const QStringList fields =
        QStringList{S("AcctXMLData"), S("AcctTypeXMLData")} + extraPayloadFields();
    return fields;
}

[[noreturn]] void failed(const QString &what, const QSqlQuery &q)
{
    throw Error(S("%1：%2").arg(what, databaseErrorText(q.lastError(), q.driver())));
}

void run(QSqlQuery &q, const QString &what)
{
    if (!q.exec())
        failed(what, q);
}

std::map<QString, DataPacket> storedPackets(QSqlDatabase db, const SqlDialect &dialect,
                                            const QString &code)
{
    QStringList columns;
    for (const QString &field : payloadFields())
        columns << dialect.quoteIdentifier(field);
    QSqlQuery q(db);
    q.prepare(S("SELECT %1 FROM SMAcctTempData WHERE AcctTempCode = ?").arg(columns.join(S(", "))));
    q.addBindValue(code);
    run(q, S("无法读取科目模板“%1”").arg(code));
    std::map<QString, DataPacket> packets;
    if (!q.next())
        return packets;
    for (int i = 0; i < payloadFields().size(); ++i) {
        const QString text = q.value(i).toString();
        if (text.isEmpty())
            continue;
        try {
            packets[payloadFields()[i]] = readDataPacket(text);
        } catch (const Error &e) {
            throw Error(
                S("科目模板“%1”的“%2”数据无法读取：%3").arg(code, payloadFields()[i], e.message()));
        }
    }
    return packets;
}

} // namespace

ChartTemplateStore::ChartTemplateStore(ServerConnection &connection) : m_connection(connection) {}

QString ChartTemplateStore::templateInUse() const
{
    QSqlQuery q(m_connection.database());
    if (!q.exec(S("SELECT AcctTempDesc FROM SysInitInfo")))
        failed(S("无法读取账套参数"), q);
    return q.next() ? q.value(0).toString() : QString();
}

QList<StoredTemplateInfo> ChartTemplateStore::list() const
{
    QSqlQuery q(m_connection.database());
    if (!q.exec(
            S("SELECT AcctTempCode, AcctTempDesc, Remark FROM SMAcctTemp ORDER BY AcctTempCode")))
        failed(S("无法读取科目模板"), q);
    QList<StoredTemplateInfo> out;
    while (q.next())
        out.append({q.value(0).toString(), q.value(1).toString(), q.value(2).toString()});
    const QString inUse = templateInUse();
    const SqlDialect &dialect = m_connection.server().dialect();
    for (StoredTemplateInfo &info : out) {
        const auto packets = storedPackets(m_connection.database(), dialect, info.code);
        const auto rows = [&](const char *field) {
            const auto it = packets.find(QLatin1String(field));
            return it == packets.end() ? 0 : int(it->second.rows.size());
        };
        info.accounts = rows("AcctXMLData");
        info.accountTypes = rows("AcctTypeXMLData");
        info.reports = rows("T0200096");
        info.inUse = info.code == inUse;
    }
    return out;
}

bool ChartTemplateStore::exists(const QString &code) const
{
    QSqlQuery q(m_connection.database());
    q.prepare(S("SELECT COUNT(*) FROM SMAcctTemp WHERE AcctTempCode = ?"));
    q.addBindValue(code);
    run(q, S("无法读取科目模板"));
    return q.next() && q.value(0).toInt() > 0;
}

ChartTemplate ChartTemplateStore::read(const QString &code) const
{
    QSqlQuery q(m_connection.database());
    q.prepare(S("SELECT AcctTempDesc, Remark FROM SMAcctTemp WHERE AcctTempCode = ?"));
    q.addBindValue(code);
    run(q, S("无法读取科目模板"));
    if (!q.next())
        throw Error(S("科目模板“%1”不存在。").arg(code));
    ChartTemplate chart = chartFromPackets(
        storedPackets(m_connection.database(), m_connection.server().dialect(), code));
    chart.code = code;
    chart.name = q.value(0).toString();
    chart.remark = q.value(1).toString();
    return chart;
}

ChartTemplate ChartTemplateStore::readCurrent() const
{
    std::map<QString, DataPacket> packets;
    for (const QString &field : payloadFields().mid(0, 6))
        packets[field] = m_connection.tableRows(templateTargetTable(field));
    // A template's report terms are bound to the accounts when it is loaded.
    DataPacket &terms = packets[S("T0200098")];
    const int bound = indexOfField(terms.fields, S("AcctID"));
    for (QVariantList &row : terms.rows)
        if (bound >= 0)
            row[bound] = QVariant();
    // The set's own lists of a table are not the template's: an empty table is no payload.
    for (auto &[field, packet] : packets)
        if (packet.rows.empty())
            packet = DataPacket();
    return chartFromPackets(packets);
}

void ChartTemplateStore::store(const ChartTemplate &chart, bool replace)
{
    QSqlDatabase db = m_connection.database();
    const SqlDialect &dialect = m_connection.server().dialect();
    WriteScope scope(db, dialect, m_connection.inTransaction());
    if (exists(chart.code)) {
        if (!replace)
            throw Error(S("科目模板代码“%1”已存在：换一个代码，或加 --replace 替换原有模板。")
                            .arg(chart.code));
        QSqlQuery d(db);
        d.prepare(S("DELETE FROM SMAcctTempData WHERE AcctTempCode = ?"));
        d.addBindValue(chart.code);
        run(d, S("无法替换科目模板“%1”").arg(chart.code));
        d.prepare(S("DELETE FROM SMAcctTemp WHERE AcctTempCode = ?"));
        d.addBindValue(chart.code);
        run(d, S("无法替换科目模板“%1”").arg(chart.code));
    }
    QSqlQuery q(db);
    q.prepare(S("INSERT INTO SMAcctTemp (AcctTempCode, AcctTempDesc, Remark) VALUES (?, ?, ?)"));
    q.addBindValue(chart.code);
    q.addBindValue(chart.name);
    q.addBindValue(chart.remark.isEmpty() ? QVariant() : QVariant(chart.remark));
    run(q, S("无法保存科目模板“%1”").arg(chart.code));

    QStringList fields{S("AcctTempCode")};
    QVariantList values{chart.code};
    for (const auto &[field, content] : chartPayloadRows(chart)) {
        DataPacket packet;
        try {
            packet = templatePayload(db, dialect, field, content.first, content.second);
        } catch (const Error &e) {
            throw Error(S("科目模板的“%1”数据不能保存：%2").arg(field, e.message()));
        }
        fields << dialect.quoteIdentifier(field);
        values << writeDataPacket(packet);
    }
    QStringList marks(fields.size(), S("?"));
    q.prepare(S("INSERT INTO SMAcctTempData (%1) VALUES (%2)")
                  .arg(fields.join(S(", ")), marks.join(S(", "))));
    for (const QVariant &v : values)
        q.addBindValue(v);
    run(q, S("无法保存科目模板“%1”").arg(chart.code));
    scope.commit();
}

void ChartTemplateStore::remove(const QString &code)
{
    QSqlDatabase db = m_connection.database();
    WriteScope scope(db, m_connection.server().dialect(), m_connection.inTransaction());
    if (!exists(code))
        throw Error(S("科目模板“%1”不存在。").arg(code));
    if (templateInUse() == code)
        throw Error(S("科目模板“%1”是本账套参数设置中选定的行业性质，不能删除。").arg(code));
    QSqlQuery q(db);
    q.prepare(S("DELETE FROM SMAcctTempData WHERE AcctTempCode = ?"));
    q.addBindValue(code);
    run(q, S("无法删除科目模板“%1”").arg(code));
    q.prepare(S("DELETE FROM SMAcctTemp WHERE AcctTempCode = ?"));
    q.addBindValue(code);
    run(q, S("无法删除科目模板“%1”").arg(code));
    scope.commit();
}

} // namespace vexa::server
