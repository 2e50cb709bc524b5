// Apply-updates: a client's delta written to the provider's table, all or nothing.
#include "AppServer.h"
#include "AttachmentStore.h"
#include "LedgerCommon.h"
#include "ProviderCatalog.h"
#include "SqlDialect.h"
#include "SqliteStatement.h"
#include "StorageErrors.h"
#include "WriteScope.h"

#include <vexa/Error.h>

#include <QHash>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <map>
#include <optional>

namespace vexa::server {

namespace {

bool sameValue(const QVariant &a, const QVariant &b)
{
    if (!a.isValid() || !b.isValid())
        return a.isValid() == b.isValid();
    return a == b;
}

// The engine's error as a user reads it; a unique key that another row already holds
// says so in kind.
QString readable(const SqlDialect &dialect, const QSqlError &error, const QSqlDriver *driver,
                 ErrorKind *kind = nullptr)
{
    const QString text = databaseErrorText(error, driver);
    switch (dialect.failedConstraint(error)) {
    case SqlDialect::Constraint::Unique:
        if (kind)
            *kind = ErrorKind::DuplicateKey;
        return QStringLiteral("键值重复（%1）").arg(text);
    case SqlDialect::Constraint::NotNull:
        return QStringLiteral("必填字段为空（%1）").arg(text);
    case SqlDialect::Constraint::ForeignKey:
        return QStringLiteral("引用的记录不存在或仍被引用（%1）").arg(text);
    case SqlDialect::Constraint::None:
        break;
    }
    return text;
}

// Writes one delta: the columns of the delta that the target table has, matched by name.
class DeltaWriter
{
public:
    DeltaWriter(QSqlDatabase &db, const SqlDialect &dialect, const Provider &provider,
                const QList<FieldDef> &target, const QStringList &defaults,
                const DeltaPacket &delta)
        : m_db(db), m_dialect(dialect), m_provider(provider), m_target(target),
          m_defaults(defaults), m_delta(delta), m_sqlite(sqliteHandle(db))
    {
        for (const FieldDef &f : delta.fields) {
            if (provider.column(f.name) < 0)
                throw Error(QStringLiteral("提供者“%1”没有列“%2”。").arg(provider.name, f.name));
            const int t = indexOfField(target, f.name);
            m_targetIndex.push_back(t);
            // Checked without the required flag: a missing value is the engine's to refuse.
            FieldDef lenient = t >= 0 ? target[t] : FieldDef();
            lenient.required = false;
            m_lenient.push_back(std::move(lenient));
        }
        for (const QString &k : provider.keys) {
            const int d = indexOfField(delta.fields, k);
            if (d < 0 || m_targetIndex[d] < 0)
                throw Error(QStringLiteral("保存“%1”的数据缺少键字段“%2”。").arg(provider.name, k));
            m_keys.push_back(d);
        }
    }

    void write(const DeltaRow &row, int number)
    {
        const int width = int(m_delta.fields.size());
        if ((row.kind != DeltaRow::Kind::Delete && row.values.size() != width) ||
            (row.kind != DeltaRow::Kind::Insert && row.original.size() != width))
            throw Error(QStringLiteral("保存“%1”的第 %2 条更改格式错误。")
                            .arg(m_provider.name)
                            .arg(number));
        switch (row.kind) {
        case DeltaRow::Kind::Insert:
            insert(row);
            break;
        case DeltaRow::Kind::Modify:
            modify(row);
            break;
        case DeltaRow::Kind::Delete:
            remove(row);
            break;
        }
    }

private:
    QString table() const { return m_dialect.quoteIdentifier(m_provider.update); }
    QString column(int d) const
    {
        return m_dialect.quoteIdentifier(m_target[m_targetIndex[d]].name);
    }

    // A value checked against the target column (type, GBK length) before it is bound.
    QVariant bound(int d, const QVariant &value) const
    {
        return m_dialect.toStorage(m_target[m_targetIndex[d]],
                                   coerceToField(m_lenient[size_t(d)], value));
    }

    QString keyText(const QVariantList &values) const
    {
        QStringList parts;
        for (int d : m_keys)
            parts << m_delta.fields[d].name + QLatin1Char('=') + values[d].toString();
        return parts.join(QLatin1String(", "));
    }

    [[noreturn]] void sqlFailed(const QSqlQuery &q, const char *what) const
    {
        sqlFailed(q.lastError(), what);
    }
    [[noreturn]] void sqlFailed(const QSqlError &error, const char *what) const
    {
        ErrorKind kind = ErrorKind::General;
        const QString reason = readable(m_dialect, error, m_db.driver(), &kind);
        throw Error(QStringLiteral("保存“%1”失败：%2记录时出错：%3")
                        .arg(m_provider.name, QString::fromUtf8(what), reason),
                    kind);
    }

    void insert(const DeltaRow &row)
    {
        // The statement depends only on which columns the row leaves to their defaults.
        const int width = int(m_delta.fields.size());
        QString shape(width, QLatin1Char('0'));
        for (int d = 0; d < width; ++d)
            if (m_targetIndex[d] >= 0 &&
                (row.values[d].isValid() || m_defaults.value(m_targetIndex[d]).isEmpty()))
                shape[d] = QLatin1Char('1');
        const auto statement = [&] {
            QStringList columns, marks;
            for (int d = 0; d < width; ++d)
                if (shape[d] == QLatin1Char('1')) {
                    columns << column(d);
                    marks << QStringLiteral("?");
                }
            return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                .arg(table(), columns.join(QLatin1String(", ")), marks.join(QLatin1String(", ")));
        };
        if (m_sqlite) {
            // Bound through the C API: Qt's bind path names a placeholder per value.
            std::unique_ptr<SqliteStatement> &s = m_sqliteInserts[shape];
            if (!s) {
                s = std::make_unique<SqliteStatement>(m_sqlite, statement());
                if (!s->isValid())
                    throw Error(QStringLiteral("保存“%1”失败：%2")
                                    .arg(m_provider.name,
                                         readable(m_dialect, s->lastError(), m_db.driver())));
            }
            m_values.clear();
            for (int d = 0; d < width; ++d)
                if (shape[d] == QLatin1Char('1'))
                    m_values.push_back(bound(d, row.values[d]));
            if (!s->exec(m_values))
                sqlFailed(s->lastError(), "插入");
            return;
        }
        QSqlQuery *&q = m_inserts[shape];
        if (!q)
            q = &prepared(statement());
        for (int d = 0; d < width; ++d)
            if (shape[d] == QLatin1Char('1'))
                q->addBindValue(bound(d, row.values[d]));
        if (!q->exec())
            sqlFailed(*q, "插入");
    }

    // The row as stored now, read the way a client reads it, or empty when it is gone.
    std::optional<QVariantList> current(const QVariantList &original)
    {
        QStringList columns;
        std::vector<int> ds;
        for (int d = 0; d < int(m_delta.fields.size()); ++d)
            if (m_targetIndex[d] >= 0) {
                columns << column(d);
                ds.push_back(d);
            }
        QSqlQuery &q =
            prepared(QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                         .arg(columns.join(QLatin1String(", ")), table(), keyCondition()));
        for (int d : m_keys)
            q.addBindValue(bound(d, original[d]));
        if (!q.exec())
            sqlFailed(q, "读取");
        if (!q.next())
            return std::nullopt;
        QVariantList now(m_delta.fields.size());
        for (size_t i = 0; i < ds.size(); ++i)
            now[ds[i]] = m_dialect.fromStorage(m_target[m_targetIndex[ds[i]]], q.value(int(i)));
        q.finish();
        return now;
    }

    QString keyCondition() const
    {
        QStringList parts;
        for (int d : m_keys)
            parts << column(d) + QStringLiteral(" = ?");
        return parts.join(QLatin1String(" AND "));
    }

    [[noreturn]] void conflict(const QVariantList &original, bool deleted) const
    {
        throw Error(QStringLiteral("保存“%1”失败：%2 的记录%3，请刷新后重试。")
                        .arg(m_provider.name, keyText(original),
                             deleted ? QStringLiteral("已被其他用户删除")
                                     : QStringLiteral("已被其他用户修改")),
                    ErrorKind::ChangedByOther);
    }

    void modify(const DeltaRow &row)
    {
        std::vector<int> changed;
        for (int d = 0; d < int(m_delta.fields.size()); ++d)
            if (m_targetIndex[d] >= 0 && !sameValue(row.values[d], row.original[d]))
                changed.push_back(d);
        if (changed.empty())
            return;
        const auto now = current(row.original);
        if (!now)
            conflict(row.original, true);
        for (int d : changed)
            if (!sameValue((*now)[d], row.original[d]))
                conflict(row.original, false);
        QStringList sets;
        for (int d : changed)
            sets << column(d) + QStringLiteral(" = ?");
        QSqlQuery &q = prepared(QStringLiteral("UPDATE %1 SET %2 WHERE %3")
                                    .arg(table(), sets.join(QLatin1String(", ")), keyCondition()));
        for (int d : changed)
            q.addBindValue(bound(d, row.values[d]));
        for (int d : m_keys)
            q.addBindValue(bound(d, row.original[d]));
        if (!q.exec())
            sqlFailed(q, "修改");
    }

    void remove(const DeltaRow &row)
    {
        const auto now = current(row.original);
        if (!now)
            conflict(row.original, true);
        for (int d = 0; d < int(m_delta.fields.size()); ++d)
            if (m_targetIndex[d] >= 0 && !sameValue((*now)[d], row.original[d]))
                conflict(row.original, false);
        QSqlQuery &q =
            prepared(QStringLiteral("DELETE FROM %1 WHERE %2").arg(table(), keyCondition()));
        for (int d : m_keys)
            q.addBindValue(bound(d, row.original[d]));
        if (!q.exec())
            sqlFailed(q, "删除");
    }

    // Statements are prepared once per shape: a delta of 10,000 inserts prepares one.
    QSqlQuery &prepared(const QString &sql)
    {
        auto it = m_statements.find(sql);
        if (it == m_statements.end()) {
            auto q = std::make_unique<QSqlQuery>(m_db);
            if (!q->prepare(sql))
                throw Error(
                    QStringLiteral("保存“%1”失败：%2")
                        .arg(m_provider.name, readable(m_dialect, q->lastError(), q->driver())));
            it = m_statements.emplace(sql, std::move(q)).first;
        }
        return *it->second;
    }

    QSqlDatabase &m_db;
    const SqlDialect &m_dialect;
    const Provider &m_provider;
    const QList<FieldDef> &m_target;
    const QStringList &m_defaults;
    const DeltaPacket &m_delta;
    sqlite3 *m_sqlite;               // the connection's handle on the SQLite engine, else null
    std::vector<int> m_targetIndex;  // delta field -> target column, -1 when not stored
    std::vector<FieldDef> m_lenient; // per delta field: its target column, not required
    std::vector<int> m_keys;         // delta field indexes of the provider's keys
    std::map<QString, std::unique_ptr<QSqlQuery>> m_statements;
    QHash<QString, QSqlQuery *> m_inserts; // by the shape of the row, into m_statements
    // SQLite: inserts by the shape of the row, and the values of the row being written.
    std::map<QString, std::unique_ptr<SqliteStatement>> m_sqliteInserts;
    std::vector<QVariant> m_values;
};

} // namespace

void ServerConnection::applyUpdates(const QString &providerName, const DeltaPacket &delta, int,
                                    int &errorCount, QVariant &)
{
    errorCount = 0;
    if (delta.rows.empty())
        return;
    try {
        const Provider &provider = m_server.catalog().require(providerName);
        if (provider.update.isEmpty())
            throw Error(QStringLiteral("提供者“%1”只能查询，不能保存。").arg(provider.name));
        refuseOnReadOnly();
        // Logins and rights decide what everyone else may do: a client that writes them
        // directly instead of through the administrators' operations is held to the same rule.
        for (const char *table : {"SysUser", "SysUserGroup", "SysCheckRight"}) {
            if (provider.update.compare(QLatin1String(table), Qt::CaseInsensitive) == 0)
                requireAdministrator();
        }
        const QList<FieldDef> target = m_server.catalog().tableColumns(provider.update);
        const QStringList defaults = m_server.catalog().tableDefaults(provider.update);

        const auto failed = [&](const Error &e) {
            return Error(QStringLiteral("保存“%1”失败：%2").arg(provider.name, e.message()),
                         e.kind());
        };
        // One call is all or nothing, inside or outside BeginTrans. It waits here for
        // another client's save, before it reads the rows it checks.
        std::optional<WriteScope> work;
        try {
            work.emplace(m_db, m_server.dialect(), m_inTransaction);
        } catch (const Error &e) {
            throw failed(e);
        }
        {
            DeltaWriter writer(m_db, m_server.dialect(), provider, target, defaults, delta);
            try {
                // The books keep their accounts: one with entries is not deleted, nor has
                // what its entries rest on changed, this way either (DeleteAccount and
                // ModifyAccount refuse the same).
                const int acct = indexOfField(delta.fields, QStringLiteral("AcctID"));
                if (provider.update.compare(QLatin1String("T0102010"), Qt::CaseInsensitive) == 0 &&
                    acct >= 0) {
                    for (const DeltaRow &row : delta.rows) {
                        if (row.kind == DeltaRow::Kind::Delete)
                            refuseUsedAccountDelete(m_db, row.original.value(acct).toLongLong());
                        if (row.kind != DeltaRow::Kind::Modify)
                            continue;
                        QStringList changed;
                        for (int i = 0; i < delta.fields.size(); ++i)
                            if (row.values.value(i) != row.original.value(i))
                                changed << delta.fields[i].name;
                        refuseUsedAccountChange(m_db, row.original.value(acct).toLongLong(),
                                                changed);
                    }
                }
                int n = 0;
                for (const DeltaRow &row : delta.rows)
                    writer.write(row, ++n);
            } catch (...) {
                // Rolled back before the writer frees its statements: PostgreSQL refuses
                // everything but a rollback in a transaction that failed.
                work.reset();
                throw;
            }
        }
        // A deleted attachment record takes its file along when the deletion commits.
        QStringList removedFiles;
        const int attachment = indexOfField(delta.fields, QStringLiteral("AccessoriesID"));
        if (provider.update.compare(QLatin1String("DMAccessories"), Qt::CaseInsensitive) == 0 &&
            attachment >= 0) {
            for (const DeltaRow &row : delta.rows) {
                if (row.kind == DeltaRow::Kind::Delete)
                    removedFiles << row.original.value(attachment).toString();
            }
        }
        const auto release = [&] {
            try {
                work->commit();
            } catch (const Error &e) {
                throw failed(e);
            }
        };
        if (m_inTransaction) {
            release();
            for (const QString &id : removedFiles)
                m_files->removeRecord(id);
        } else {
            for (const QString &id : removedFiles)
                m_files->removeRecord(id);
            m_files->commit(release);
        }
    } catch (const Error &e) {
        errorCount = 1;
        setLastError(e.message(), e.kind());
    }
}

} // namespace vexa::server
