// The operations a client calls by name, and the transaction brackets.
#include "AppServer.h"
#include "AttachmentStore.h"
#include "BatchStatements.h"
#include "DataPacket.h"
#include "LedgerCommon.h"
#include "Passwords.h"
#include "ProviderCatalog.h"
#include "SqlDialect.h"
#include "StorageErrors.h"
#include "WriteScope.h"

#include <vexa/Error.h>

#include <QFileInfo>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <optional>

namespace vexa::server {

namespace {

QVariant argument(const QVariantList &args, int i, const QString &operation)
{
    if (i >= args.size())
        throw Error(QStringLiteral("操作“%1”缺少第 %2 个参数。").arg(operation).arg(i + 1));
    return args[i];
}

[[noreturn]] void failed(const QSqlQuery &q)
{
    throw Error(databaseErrorText(q.lastError(), q.driver()));
}

void run(QSqlQuery &q, const QString &sql)
{
    if (!q.exec(sql))
        failed(q);
}

void runPrepared(QSqlQuery &q)
{
    if (!q.exec())
        failed(q);
}

QVariant firstValue(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    run(q, sql);
    return q.next() ? q.value(0) : QVariant();
}

// GetSetInfo: what a client of a server cannot read from the set's file itself (whether
// the set is read-only, what vexa-admin info shows), as a one-row data packet.
QString setInfo(QSqlDatabase &db, const AppServer &server)
{
    DataPacket packet;
    const auto field = [](const char *name, FieldType type) {
        return FieldDef{QString::fromLatin1(name), type, 0, false, false};
    };
    packet.fields = {
        field("ReadOnly", FieldType::Boolean),     field("Company", FieldType::String),
        field("ChartTemplate", FieldType::String), field("StartPeriod", FieldType::String),
        field("Enabled", FieldType::Boolean),      field("SchemaVersion", FieldType::Integer),
        field("Users", FieldType::Integer),        field("ActiveUsers", FieldType::Integer),
        field("Bytes", FieldType::LargeInt)};
    QVariantList row{server.readOnly(), QString(), QString(), QString(), false};
    QSqlQuery q(db);
    run(q, QStringLiteral(
               "SELECT UseOrg, AcctTempDesc, GLStartPeriodName, InitialAudit FROM SysInitInfo"));
    if (q.next()) {
        row[1] = q.value(0).toString();
        row[2] = q.value(1).toString();
        row[3] = q.value(2).toString();
        row[4] = q.value(3).toInt() != 0;
    }
    row << server.schemaVersion()
        << firstValue(db, QStringLiteral("SELECT COUNT(*) FROM SysUser")).toInt()
        // A user without an Active value logs in, as the login reads it.
        << firstValue(db, QStringLiteral(
                              "SELECT COUNT(*) FROM SysUser WHERE Active IS NULL OR Active <> 0"))
               .toInt()
        << qint64(QFileInfo(server.path()).size() +
                  QFileInfo(server.path() + QStringLiteral("-wal")).size());
    packet.rows.push_back(row);
    return writeDataPacket(packet);
}

} // namespace

QVariant ServerConnection::call(const QString &operation, QVariantList &args)
{
    const QString op = operation.trimmed();
    auto is = [&op](const char *name) {
        return op.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
    };
    if (is("GetLastErrorInfo")) {
        // With the argument "Kind": the ErrorKind of that failure, as a number.
        if (!args.isEmpty() &&
            args[0].toString().compare(QLatin1String("Kind"), Qt::CaseInsensitive) == 0)
            return int(m_lastErrorKind);
        return m_lastError;
    }
    if (is("GetEntityID"))
        return getEntityId(args);
    if (is("Modifyps"))
        return modifyPassword(args);
    try {
        // A transaction or a batch exists only to write; an upload stages files first.
        if (is("BeginTrans") || is("ExecuteBatch") || is("SaveAccessories"))
            refuseOnReadOnly();
        if (is("BeginTrans")) {
            beginTrans();
            return QVariant();
        }
        if (is("CommitTrans")) {
            commitTrans();
            return QVariant();
        }
        if (is("RollbackTrans")) {
            rollbackTrans();
            return QVariant();
        }
        if (is("ExecuteBatch"))
            return executeBatch(args);
        if (is("GetFieldMaxValue"))
            return getFieldMaxValue(args);
        if (is("GetAccessories"))
            return getAccessories(args);
        if (is("SaveAccessories"))
            return saveAccessories(args);
        if (isUserAdminOperation(op))
            return userAdminCall(op, args);
        if (is("GetSetInfo"))
            return setInfo(m_db, m_server);
        if (std::optional<QVariant> answer = voucherCall(op, args))
            return *answer;
        if (std::optional<QVariant> answer = chartCall(op, args))
            return *answer;
        if (std::optional<QVariant> answer = booksCall(op, args))
            return *answer;
        if (std::optional<QVariant> answer = closingCall(op, args))
            return *answer;
        if (std::optional<QVariant> answer = statementsCall(op, args))
            return *answer;
        if (std::optional<QVariant> answer = reportTemplatesCall(op, args))
            return *answer;
        throw Error(QStringLiteral("应用服务器没有操作“%1”。").arg(operation));
    } catch (const Error &e) {
        fail(e.message());
    }
}

DataPacket ServerConnection::tableRows(const QString &table)
{
    // Only a name the catalog knows reaches the statement, and then quoted.
    const QList<FieldDef> fields = m_server.catalog().tableColumns(table);
    if (fields.isEmpty())
        throw Error(QStringLiteral("不能导出“%1”：提供者目录中没有这张表或视图。").arg(table));
    const SqlDialect &dialect = m_server.dialect();
    QStringList columns;
    for (const FieldDef &f : fields)
        columns.append(dialect.quoteIdentifier(f.name));
    DataPacket packet;
    packet.fields = fields;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    const auto failed = [&] {
        return Error(QStringLiteral("无法读取“%1”：%2")
                         .arg(table, databaseErrorText(q.lastError(), q.driver())));
    };
    if (!q.exec(QStringLiteral("SELECT %1 FROM %2")
                    .arg(columns.join(QLatin1String(", ")), dialect.quoteIdentifier(table))))
        throw failed();
    while (q.next()) {
        QVariantList row;
        row.reserve(fields.size());
        for (int i = 0; i < fields.size(); ++i)
            row.append(dialect.fromStorage(fields[i], q.value(i)));
        packet.rows.push_back(std::move(row));
    }
    if (q.lastError().isValid())
        throw failed();
    return packet;
}

void ServerConnection::beginTrans()
{
    if (m_inTransaction)
        throw Error(QStringLiteral("事务已经开始，不能再次开始事务。"));
    QSqlQuery q(m_db);
    // The write lock is taken now, waiting for another client's save to end.
    for (const QString &sql : m_server.dialect().beginWrite()) {
        if (!q.exec(sql)) {
            const QString text = databaseErrorText(q.lastError(), q.driver());
            QSqlQuery(m_db).exec(m_server.dialect().rollback());
            throw Error(QStringLiteral("开始事务失败：%1").arg(text));
        }
    }
    m_inTransaction = true;
}

void ServerConnection::commitTrans()
{
    if (!m_inTransaction)
        throw Error(QStringLiteral("没有开始的事务，不能提交。"));
    QSqlQuery q(m_db);
    try {
        // The files go into place first and come back out when the database refuses.
        m_files->commit([&] {
            if (!q.exec(m_server.dialect().commit()))
                failed(q);
        });
    } catch (const Error &e) {
        // A deferred constraint or a file refused the commit: the work is undone, not
        // left open.
        q.exec(m_server.dialect().rollback());
        m_inTransaction = false;
        throw Error(QStringLiteral("提交事务失败，所有更改已撤销：%1").arg(e.message()));
    }
    m_inTransaction = false;
}

void ServerConnection::rollbackTrans()
{
    if (!m_inTransaction)
        throw Error(QStringLiteral("没有开始的事务，不能回滚。"));
    QSqlQuery q(m_db);
    m_inTransaction = false;
    m_files->discard();
    run(q, m_server.dialect().rollback());
}

QVariant ServerConnection::getEntityId(QVariantList &args)
{
    try {
        const QString name = argument(args, 0, QStringLiteral("GetEntityID")).toString().trimmed();
        const int step = argument(args, 1, QStringLiteral("GetEntityID")).toInt();
        if (name.isEmpty() || name.size() > 60)
            throw Error(QStringLiteral("实体名称“%1”无效。").arg(name));
        if (step != 0 && step != 1)
            throw Error(QStringLiteral("GetEntityID 的步长只能是 0 或 1。"));

        // Taking a key writes; peeking (step 0) only reads and holds no lock.
        std::optional<WriteScope> work;
        if (step == 1)
            work.emplace(m_db, m_server.dialect(), m_inTransaction);
        QSqlQuery q(m_db);
        q.prepare(QStringLiteral("SELECT NextID FROM EntityCounter WHERE Name = ?"));
        q.addBindValue(name);
        runPrepared(q);
        qlonglong next = q.next() ? q.value(0).toLongLong() : 1;
        q.finish();
        // Rows written without the counter (a template load copies its keys) must not
        // be handed out again: never answer at or below the largest key in use.
        const ProviderCatalog &catalog = m_server.catalog();
        QSet<QString> seen;
        for (const Provider *p : catalog.providers()) {
            if (p->update.isEmpty() || p->keys.size() != 1 ||
                p->keys[0].compare(name, Qt::CaseInsensitive) != 0 ||
                seen.contains(p->update.toLower()))
                continue;
            seen.insert(p->update.toLower());
            const SqlDialect &d = m_server.dialect();
            QSqlQuery m(m_db);
            run(m, QStringLiteral("SELECT MAX(%1) FROM %2")
                       .arg(d.quoteIdentifier(p->keys[0]), d.quoteIdentifier(p->update)));
            if (m.next() && !m.value(0).isNull()) {
                bool numeric = false;
                const qlonglong top = m.value(0).toLongLong(&numeric);
                if (numeric)
                    next = std::max(next, top + 1);
            }
        }
        if (step == 1) {
            QSqlQuery u(m_db);
            u.prepare(m_server.dialect().upsert(QStringLiteral("EntityCounter"),
                                                {QStringLiteral("Name")},
                                                {QStringLiteral("NextID")}));
            u.addBindValue(name);
            u.addBindValue(next + 1);
            runPrepared(u);
        }
        if (work)
            work->commit();
        return next;
    } catch (const Error &e) {
        setLastError(e.message());
        return -1;
    }
}

QVariant ServerConnection::executeBatch(QVariantList &args)
{
    const QString text = argument(args, 0, QStringLiteral("ExecuteBatch")).toString();
    const std::optional<QString> sql = translateBatchStatement(text);
    if (!sql)
        throw Error(QStringLiteral("应用服务器拒绝执行该语句：%1").arg(text.left(200)));
    WriteScope work(m_db, m_server.dialect(), m_inTransaction);
    // The template load replaces the chart of a set that has no entries yet; once the books
    // hold any, the accounts they name stay.
    if (sql->startsWith(QLatin1String("DELETE FROM T0102010")) && ledgerHasEntries(m_db))
        throw Error(QStringLiteral("账套已有期初余额或凭证，不能重新装入会计科目。"));
    int rows = 0;
    {
        QSqlQuery q(m_db);
        run(q, *sql);
        rows = q.numRowsAffected();
    }
    work.commit();
    return rows;
}

QVariant ServerConnection::modifyPassword(QVariantList &args)
{
    try {
        const QString oldPassword = argument(args, 0, QStringLiteral("Modifyps")).toString();
        const QString newPassword = argument(args, 1, QStringLiteral("Modifyps")).toString();
        if (!loggedIn())
            throw Error(QStringLiteral("尚未登录，不能修改密码。"));
        if (newPassword.isEmpty())
            throw Error(QStringLiteral("密码不能为空。"));
        QSqlQuery q(m_db);
        q.prepare(QStringLiteral("SELECT PasswordHash FROM SysUser WHERE UserID = ?"));
        q.addBindValue(m_session.userId);
        runPrepared(q);
        if (!q.next())
            throw Error(QStringLiteral("用户不存在。"));
        const QString hash = q.value(0).toString();
        q.finish();
        if (!verifyPassword(hash, oldPassword)) {
            setLastError(QStringLiteral("旧密码错误。"));
            return -2;
        }
        const QString newHash = hashPassword(newPassword, m_server.options().passwordCost);
        WriteScope work(m_db, m_server.dialect(), m_inTransaction);
        {
            QSqlQuery u(m_db);
            u.prepare(QStringLiteral("UPDATE SysUser SET PasswordHash = ? WHERE UserID = ?"));
            u.addBindValue(newHash);
            u.addBindValue(m_session.userId);
            runPrepared(u);
        }
        work.commit();
        return 0;
    } catch (const Error &e) {
        setLastError(e.message());
        return -1;
    }
}

QVariant ServerConnection::getFieldMaxValue(QVariantList &args)
{
    const QString table =
        argument(args, 0, QStringLiteral("GetFieldMaxValue")).toString().trimmed();
    const QString field =
        argument(args, 1, QStringLiteral("GetFieldMaxValue")).toString().trimmed();
    const QString condition = args.size() > 2 ? args[2].toString() : QString();

    // Only tables and columns the catalog knows: names never come from the caller raw.
    Provider scope;
    scope.name = table;
    scope.source = table;
    scope.fields = m_server.catalog().publishedColumns(table);
    if (scope.fields.isEmpty())
        throw Error(QStringLiteral("应用服务器没有表“%1”。").arg(table));
    for (int i = 0; i < scope.fields.size(); ++i)
        scope.byLowerName.insert(scope.fields[i].name.toLower(), i);
    const int column = scope.column(field);
    if (column < 0)
        throw Error(QStringLiteral("表“%1”没有列“%2”。").arg(table, field));
    const FieldDef &def = scope.fields[column];

    const SqlDialect &d = m_server.dialect();
    QVariantList params;
    QString sql = QStringLiteral("SELECT MAX(%1) FROM %2")
                      .arg(d.quoteIdentifier(def.name), d.quoteIdentifier(table));
    QString where = condition.trimmed();
    if (where.startsWith(QLatin1String("WHERE"), Qt::CaseInsensitive))
        where = where.mid(5);
    if (!where.trimmed().isEmpty()) {
        cond::NodePtr node = cond::parseCondition(where);
        sql += QStringLiteral(" WHERE ") + d.condition(scope, *node, params);
    }
    QSqlQuery q(m_db);
    q.prepare(sql);
    for (const QVariant &p : params)
        q.addBindValue(p);
    runPrepared(q);
    const QVariant top = q.next() ? d.fromStorage(def, q.value(0)) : QVariant();
    if (!top.isValid() && isIntegerType(def.type))
        return 0; // an empty table: the next index is 1
    return top;
}

QVariant ServerConnection::getAccessories(QVariantList &args)
{
    const QString name = argument(args, 0, QStringLiteral("GetAccessories")).toString().trimmed();
    const std::optional<QByteArray> bytes = m_files->load(name);
    if (!bytes)
        return QString();
    DataPacket packet;
    packet.fields = {FieldDef{QStringLiteral("ID"), FieldType::String, 60, false, false},
                     FieldDef{QStringLiteral("FileData"), FieldType::Blob, 0, false, false}};
    packet.rows.push_back({name, *bytes});
    return writeDataPacket(packet);
}

QVariant ServerConnection::saveAccessories(QVariantList &args)
{
    const QString text = argument(args, 0, QStringLiteral("SaveAccessories")).toString();
    const DataPacket packet = readDataPacket(text);
    const int id = indexOfField(packet.fields, QStringLiteral("ID"));
    const int data = indexOfField(packet.fields, QStringLiteral("FileData"));
    if (id < 0 || data < 0)
        throw Error(QStringLiteral("附件数据缺少 ID 或 FileData 字段。"));
    QList<std::pair<QString, QByteArray>> files;
    for (const QVariantList &row : packet.rows)
        files.append({row[id].toString(), row[data].toByteArray()});
    m_files->stage(files);
    if (!m_inTransaction)
        m_files->commit();
    return QVariant();
}

} // namespace vexa::server
