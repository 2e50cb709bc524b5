// A client connection: its life, provider requests and login.
#include "AppServer.h"
#include "AttachmentStore.h"
#include "AttachmentTable.h"
#include "LoginMark.h"
#include "Passwords.h"
#include "ProviderCatalog.h"
#include "SqlDialect.h"
#include "SqliteRows.h"
#include "SqliteStatement.h"
#include "StorageErrors.h"

#include <vexa/Error.h>

#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>

namespace vexa::server {

namespace {

QString queryFailed(const SqlDialect &dialect, const QString &provider, const QSqlError &error)
{
    const QString text = databaseErrorText(error);
    if (dialect.tooComplex(error))
        return QStringLiteral("提供者“%1”的查询条件过于复杂，请简化条件。").arg(provider);
    return QStringLiteral("提供者“%1”查询失败：%2").arg(provider, text);
}

} // namespace

ServerConnection::ServerConnection(AppServer &server) : m_server(server)
{
    m_db = server.openConnection();
    m_connectionName = m_db.connectionName();
    // A PostgreSQL set keeps its files in itself, where every server of the set finds them.
    if (PostgresDialect::isLocation(server.path()))
        m_files = std::make_unique<AttachmentTable>(server.attachments(), m_db, server.dialect(),
                                                    m_inTransaction);
    else
        m_files = std::make_unique<AttachmentChanges>(server.attachments());
}

ServerConnection::~ServerConnection()
{
    if (m_inTransaction)
        QSqlQuery(m_db).exec(m_server.dialect().rollback());
    m_files->discard();
    m_files.reset(); // both may hold the connection
    m_loginMark.reset();
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

void ServerConnection::fail(const QString &message)
{
    setLastError(message);
    throw Error(message);
}

void ServerConnection::refuseOnReadOnly() const
{
    if (m_server.readOnly())
        throw Error(readOnlyText());
}

QDateTime ServerConnection::serverDateTime() const
{
    return QDateTime::currentDateTime();
}

DataPacket ServerConnection::request(const QString &providerName, const QString &commandText)
{
    try {
        const Provider &provider = m_server.catalog().require(providerName);
        cond::CommandText command;
        try {
            command = cond::parseCommandText(commandText);
        } catch (const Error &e) {
            throw Error(
                QStringLiteral("提供者“%1”的查询条件无效：%2").arg(provider.name, e.message()));
        }
        QVariantList params;
        const QString sql = m_server.dialect().selectStatement(provider, command, params);

        const SqlDialect &dialect = m_server.dialect();
        DataPacket packet;
        packet.fields = provider.fields;
        // On SQLite the rows are read through the engine's own handle: Qt's driver would
        // wrap every cell first, about half the time of a lookup.
        if (sqlite3 *handle = sqliteHandle(m_db)) {
            QSqlError error;
            if (!readSqliteRows(handle, sql, params, provider.fields, dialect, packet.rows, error))
                throw Error(queryFailed(dialect, provider.name, error));
            return packet;
        }

        QSqlQuery q(m_db);
        q.setForwardOnly(true);
        if (!q.prepare(sql))
            throw Error(queryFailed(dialect, provider.name, q.lastError()));
        for (const QVariant &p : params)
            q.addBindValue(p);
        if (!q.exec())
            throw Error(queryFailed(dialect, provider.name, q.lastError()));

        const int n = int(provider.fields.size());
        while (q.next()) {
            QVariantList row;
            row.reserve(n);
            for (int i = 0; i < n; ++i)
                row.append(dialect.fromStorage(provider.fields[i], q.value(i)));
            packet.rows.push_back(std::move(row));
        }
        if (q.lastError().isValid())
            throw Error(queryFailed(dialect, provider.name, q.lastError()));
        return packet;
    } catch (const Error &e) {
        fail(e.message());
    }
}

SessionInfo ServerConnection::login(const QString &userCode, const QString &password)
{
    const QString name = userCode.trimmed();
    LoginGuard guard(m_db, m_server.dialect(), m_server.options().login,
                     !m_server.readOnly() && m_server.schemaVersion() >= 2, m_inTransaction);
    guard.checkNotLocked(name);

    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT UserID, UserCode, UserName, UserGroup, Manager, PasswordHash, "
                             "Active FROM SysUser WHERE ") +
              m_server.dialect().equalsIgnoringCase(QStringLiteral("UserCode")));
    q.addBindValue(name);
    if (!q.exec())
        fail(QStringLiteral("登录失败：%1").arg(databaseErrorText(q.lastError(), q.driver())));
    const bool known = q.next();
    // An unknown name costs a whole password check too: neither the answer nor its time may
    // tell which user names exist.
    const QString hash = known ? q.value(5).toString() : QString();
    bool passwordRight = false;
    if (isPasswordHash(hash))
        passwordRight = verifyPassword(hash, password);
    else
        spendPasswordCheck(password);
    if (!passwordRight) {
        try {
            guard.refuse(name, QStringLiteral("用户名或密码错误。"));
        } catch (const Error &e) {
            fail(e.message());
        }
    }
    guard.clear(name);
    // A disabled user learns it only with the right password.
    if (!q.value(6).isNull() && q.value(6).toInt() == 0)
        fail(QStringLiteral("用户“%1”已停用。").arg(q.value(1).toString()));
    SessionInfo s;
    s.userId = q.value(0).toString();
    s.userCode = q.value(1).toString();
    s.userName = q.value(2).toString();
    s.userGroup = q.value(3).toString();
    s.manager = q.value(4).toInt() != 0;
    s.machine = m_session.machine.isEmpty() ? QSysInfo::machineHostName() : m_session.machine;
    m_session = s;
    m_loginMark = LoginMark::take(m_db, s.userCode);
    return s;
}

// As long as checking a password against a stored hash of this set: a check against some
// user's hash (its answer unused), or a hash at the set's cost where no user has one.
void ServerConnection::spendPasswordCheck(const QString &password)
{
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (q.exec(QStringLiteral("SELECT PasswordHash FROM SysUser WHERE PasswordHash IS NOT NULL")))
        while (q.next())
            if (isPasswordHash(q.value(0).toString())) {
                (void)verifyPassword(q.value(0).toString(), password);
                return;
            }
    (void)hashPassword(password, m_server.options().passwordCost);
}

} // namespace vexa::server
