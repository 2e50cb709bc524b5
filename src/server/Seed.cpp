#include "Seed.h"

#include "Csv.h"
#include "DataPacket.h"
#include "ProviderCatalog.h"
#include "SqlDialect.h"

#include <vexa/Error.h>

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace vexa::server {

namespace {

void run(QSqlQuery &q, const QString &what)
{
    if (!q.exec())
        throw Error(QStringLiteral("装入演示数据失败（%1）：%2").arg(what, q.lastError().text()));
}

void exec(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql))
        throw Error(QStringLiteral("装入演示数据失败：%1").arg(q.lastError().text()));
}

QList<FieldDef> columnsOf(QSqlDatabase &db, const SqlDialect &dialect, const QString &table)
{
    QSqlQuery q(db);
    if (!q.exec(dialect.tableColumns(table)))
        throw Error(q.lastError().text());
    QList<FieldDef> out;
    while (q.next())
        out.append(ProviderCatalog::fieldFromDeclaredType(dialect.columnName(q.value(1).toString()),
                                                          q.value(2).toString(), false, true));
    if (out.isEmpty())
        throw Error(QStringLiteral("演示数据的表“%1”不存在。").arg(table));
    return out;
}

CsvTable readCsv(const QString &resource)
{
    QFile f(resource);
    if (!f.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("无法读取演示数据文件“%1”。").arg(resource));
    try {
        return parseCsv(QString::fromUtf8(f.readAll()));
    } catch (const Error &e) {
        throw Error(QStringLiteral("演示数据文件“%1”格式错误：%2").arg(resource, e.message()));
    }
}

// Values of one CSV cell for a field: an empty unquoted cell is NULL.
QVariant cellValue(const CsvTable &csv, size_t row, int column, const FieldDef &field,
                   const QString &resource)
{
    const QString &text = csv.rows[row][column];
    if (text.isEmpty() && !csv.quoted[row][column])
        return QVariant();
    try {
        return coerceToField(field, text);
    } catch (const Error &e) {
        throw Error(QStringLiteral("演示数据文件“%1”第 %2 行：%3")
                        .arg(resource)
                        .arg(row + 2)
                        .arg(e.message()));
    }
}

std::vector<int> mapHeader(const CsvTable &csv, const QList<FieldDef> &columns,
                           const QString &resource)
{
    std::vector<int> map;
    for (const QString &h : csv.header) {
        const int i = indexOfField(columns, h.trimmed());
        if (i < 0)
            throw Error(QStringLiteral("演示数据文件“%1”的列“%2”不在表中。").arg(resource, h));
        map.push_back(i);
    }
    return map;
}

void loadTable(QSqlDatabase &db, const SqlDialect &dialect, const QString &table,
               const QString &resource)
{
    const CsvTable csv = readCsv(resource);
    if (csv.rows.empty())
        return;
    const QList<FieldDef> columns = columnsOf(db, dialect, table);
    const std::vector<int> map = mapHeader(csv, columns, resource);
    QStringList names, marks;
    for (int i : map) {
        names << dialect.quoteIdentifier(columns[i].name);
        marks << QStringLiteral("?");
    }
    QSqlQuery q(db);
    if (!q.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                       .arg(dialect.quoteIdentifier(table), names.join(QLatin1String(", ")),
                            marks.join(QLatin1String(", ")))))
        throw Error(q.lastError().text());
    for (size_t r = 0; r < csv.rows.size(); ++r) {
        for (int c = 0; c < int(map.size()); ++c)
            q.addBindValue(dialect.toStorage(columns[map[c]],
                                             cellValue(csv, r, c, columns[map[c]], resource)));
        run(q, QStringLiteral("%1 第 %2 行").arg(resource).arg(r + 2));
    }
}

// A template payload: the CSV's columns with the field types of the table it loads into.
QString templatePacket(QSqlDatabase &db, const SqlDialect &dialect, const QString &field,
                       const QString &resource)
{
    const CsvTable csv = readCsv(resource);
    std::vector<QVariantList> rows;
    rows.reserve(csv.rows.size());
    for (size_t r = 0; r < csv.rows.size(); ++r) {
        QVariantList row;
        for (int c = 0; c < csv.header.size(); ++c)
            row.append(csv.rows[r][c].isEmpty() && !csv.quoted[r][c] ? QVariant()
                                                                     : QVariant(csv.rows[r][c]));
        rows.push_back(std::move(row));
    }
    QStringList header;
    for (const QString &h : csv.header)
        header << h.trimmed();
    try {
        return writeDataPacket(templatePayload(db, dialect, field, header, rows));
    } catch (const Error &e) {
        throw Error(QStringLiteral("演示数据文件“%1”：%2").arg(resource, e.message()));
    }
}

void loadTemplates(QSqlDatabase &db, const SqlDialect &dialect)
{
    QSqlQuery codes(db);
    if (!codes.exec(QStringLiteral("SELECT AcctTempCode FROM SMAcctTemp ORDER BY AcctTempCode")))
        throw Error(codes.lastError().text());
    QStringList templates;
    while (codes.next())
        templates << codes.value(0).toString();
    for (const QString &code : templates) {
        const QString folder = QStringLiteral(":/server/seed/templates/") + code;
        QStringList fields;
        QVariantList packets;
        QDirIterator it(folder, {QStringLiteral("*.csv")}, QDir::Files);
        while (it.hasNext()) {
            const QString path = it.next();
            const QString field = QFileInfo(path).completeBaseName();
            fields << dialect.quoteIdentifier(field);
            packets << templatePacket(db, dialect, field, path);
        }
        QSqlQuery q(db);
        QStringList marks(fields.size() + 1, QStringLiteral("?"));
        if (!q.prepare(QStringLiteral("INSERT INTO SMAcctTempData (AcctTempCode%1) VALUES (%2)")
                           .arg(fields.isEmpty()
                                    ? QString()
                                    : QStringLiteral(", ") + fields.join(QLatin1String(", ")),
                                marks.join(QLatin1String(", ")))))
            throw Error(q.lastError().text());
        q.addBindValue(code);
        for (const QVariant &p : packets)
            q.addBindValue(p);
        run(q, QStringLiteral("模板 %1").arg(code));
    }
}

void loadFolder(QSqlDatabase &db, const SqlDialect &dialect, const QString &folder)
{
    QDirIterator it(folder, {QStringLiteral("*.csv")}, QDir::Files);
    QStringList files;
    while (it.hasNext())
        files << it.next();
    files.sort();
    for (const QString &path : files)
        loadTable(db, dialect, QFileInfo(path).completeBaseName(), path);
}

void loadDemo(QSqlDatabase &db, const SqlDialect &dialect, PasswordCost cost)
{
    loadFolder(db, dialect, QStringLiteral(":/server/seed/demo"));
    for (const DemoLogin &login : kDemoLogins) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("UPDATE SysUser SET PasswordHash = ? WHERE UserCode = ?"));
        q.addBindValue(hashPassword(QString::fromUtf8(login.password), cost));
        q.addBindValue(QString::fromUtf8(login.userCode));
        run(q, QStringLiteral("SysUser"));
        if (q.numRowsAffected() != 1)
            throw Error(QStringLiteral("演示用户“%1”不在演示数据中。")
                            .arg(QString::fromUtf8(login.userCode)));
    }
}

void addAdministrator(QSqlDatabase &db, const Administrator &admin, PasswordCost cost)
{
    const QString problem = userCodeProblem(admin.userCode);
    if (!problem.isEmpty())
        throw Error(problem);
    if (admin.password.isEmpty())
        throw Error(QStringLiteral("管理员的密码不能为空。"));
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO SysUser (UserID, UserCode, UserName, UserGroup, Manager, "
                             "Active, PasswordHash) VALUES (?, ?, ?, 1, 1, 1, ?)"));
    q.addBindValue(QUuid::createUuid().toString(QUuid::WithBraces).toUpper());
    q.addBindValue(admin.userCode);
    q.addBindValue(admin.userName);
    q.addBindValue(hashPassword(admin.password, cost));
    run(q, QStringLiteral("SysUser"));
}

} // namespace

QString templateTargetTable(const QString &field)
{
    return field == u"AcctXMLData"       ? QStringLiteral("T0102010")
           : field == u"AcctTypeXMLData" ? QStringLiteral("T0102011")
                                         : field;
}

DataPacket templatePayload(QSqlDatabase &db, const SqlDialect &dialect, const QString &field,
                           const QStringList &columns, const std::vector<QVariantList> &rows)
{
    const QString target = templateTargetTable(field);
    const QList<FieldDef> tableFields = columnsOf(db, dialect, target);
    DataPacket packet;
    for (const QString &name : columns) {
        const int i = indexOfField(tableFields, name);
        if (i < 0)
            throw Error(QStringLiteral("列“%1”不在表 %2 中。").arg(name, target));
        packet.fields.append(tableFields[i]);
    }
    packet.rows.reserve(rows.size());
    for (size_t r = 0; r < rows.size(); ++r) {
        QVariantList row;
        row.reserve(packet.fields.size());
        for (int c = 0; c < packet.fields.size(); ++c) {
            const QVariant value = rows[r].value(c);
            try {
                row.append(value.isValid() && !value.isNull()
                               ? coerceToField(packet.fields[c], value)
                               : QVariant());
            } catch (const Error &e) {
                throw Error(QStringLiteral("第 %1 行：%2").arg(r + 1).arg(e.message()));
            }
        }
        packet.rows.push_back(std::move(row));
    }
    return packet;
}

bool isDemoLogin(const QString &userCode, const QString &password)
{
    for (const DemoLogin &login : kDemoLogins)
        if (userCode.trimmed().compare(QString::fromUtf8(login.userCode), Qt::CaseInsensitive) ==
                0 &&
            password == QString::fromUtf8(login.password))
            return true;
    return false;
}

QString userCodeProblem(const QString &userCode)
{
    if (userCode.trimmed().isEmpty())
        return QStringLiteral("登录名不能为空。");
    if (userCode != userCode.trimmed())
        return QStringLiteral("登录名“%1”的首尾不能有空格。").arg(userCode);
    for (const QChar c : userCode)
        if (c.category() == QChar::Other_Control)
            return QStringLiteral("登录名不能含有控制字符。");
    if (gbkByteLength(userCode) > kUserCodeBytes)
        return QStringLiteral("登录名“%1”太长：最多 %2 个字节（汉字算 2 个）。")
            .arg(userCode)
            .arg(kUserCodeBytes);
    return QString();
}

void loadSeed(QSqlDatabase &db, const SqlDialect &dialect, PasswordCost cost,
              const Administrator *administrator)
{
    auto undo = qScopeGuard([&] { QSqlQuery(db).exec(dialect.rollback()); });
    for (const QString &sql : dialect.beginWrite())
        exec(db, sql);
    // Files load in any order; references are checked once, at the commit.
    exec(db, dialect.deferForeignKeys());
    loadFolder(db, dialect, QStringLiteral(":/server/seed"));
    loadTemplates(db, dialect);
    if (administrator)
        addAdministrator(db, *administrator, cost);
    else
        loadDemo(db, dialect, cost);
    exec(db, dialect.commit());
    undo.dismiss();
}

} // namespace vexa::server
