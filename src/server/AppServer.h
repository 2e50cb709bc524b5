#pragma once

#include "RemoteConnection.h"

#include "AttachmentNames.h"
#include "LoginGuard.h"
#include "Passwords.h"
#include "Seed.h"

#include <vexa/Error.h>

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace vexa::server {

class ProviderCatalog;
class AttachmentStore;
class AttachmentChanges;
class LoginMark;
class ServerConnection;
class SqlDialect;

// The session facts a login establishes, handed by the host to the plug-in.
struct SessionInfo
{
    QString userId;    // GUID text
    QString userCode;  // login name
    QString userName;  // display name
    QString userGroup; // group id as text
    bool manager = false;
    QString machine; // where the client runs (host name, or address:port over the network)
};

// One account set served in-process: a SQLite file (WAL, foreign keys on, a schema
// version with ordered migrations) and the attachment folder beside it
// (<file's folder>/doc/accessories, which must be a real folder, not a link), or a
// PostgreSQL database (a location postgresql://...; see docs/server-postgresql.md) that
// several server processes may serve at once: nothing one of them keeps in memory matters
// to another. Each client gets its
// own ServerConnection with its own database connection, so transactions and conflicts are per
// client.
class AppServer
{
public:
    // How long a writer waits for another client's write lock before it gives up. Saves
    // queue for each other; the longest of them (the first configuration save with its
    // chart template, or a save inside BeginTrans over a slow link) takes seconds, so a
    // user waits that out instead of retrying by hand. A client stuck inside BeginTrans
    // still gets an answer within half a minute.
    static constexpr int kBusyTimeoutMs = 30000;

    struct Options
    {
        qint64 maxAttachmentBytes = kMaxAttachmentBytes;
        PasswordCost passwordCost = PasswordCost::Interactive;
        // Open for reading only, even where the file could be written (read commands).
        bool readOnly = false;
        // The statfs type of a path (tests pretend a network file system); null: statfs.
        std::function<qint64(const QString &)> fileSystemType;
        LoginPolicy login;
    };

    // Opens an existing account set. Throws vexa::Error when the file is missing,
    // unreadable, not a database, damaged, not an account set of this system (a database
    // without tables is refused unchanged) or on a network file system; migrates an older
    // schema forward. A set whose file or folder this process cannot write opens read-only,
    // as does any with Options::readOnly: reads work, writes are refused.
    static std::unique_ptr<AppServer> open(const QString &path, const Options &options);
    static std::unique_ptr<AppServer> open(const QString &path) { return open(path, Options{}); }

    // Creates a new account set file (refuses an existing file). With demo, loads the
    // demo seed (modules, console tree, users, rights, templates ...). The set is built
    // under a hidden name beside path and renamed into place when complete, so path never
    // holds half a set; what killed builders left behind is removed first.
    static std::unique_ptr<AppServer> create(const QString &path, bool demo,
                                             const Options &options);
    static std::unique_ptr<AppServer> create(const QString &path, bool demo)
    {
        return create(path, demo, Options{});
    }
    // Creates a set for real use: the seed without the demo, and this administrator.
    static std::unique_ptr<AppServer> create(const QString &path, const Administrator &admin,
                                             const Options &options);

    // Removes the file at path, with its -wal, -shm and -journal, when it is a set whose
    // creation was cut short by an older version of this program: a database without
    // anything in it, or the schema without any user or module. Such a file holds nothing
    // to keep and nobody can log in to it. Returns whether it removed one.
    static bool removeEmptyShell(const QString &path);

    ~AppServer();

    std::unique_ptr<ServerConnection> connect();

    QString path() const { return m_path; }
    const Options &options() const { return m_options; }
    const ProviderCatalog &catalog() const { return *m_catalog; }
    const AttachmentStore &attachments() const { return *m_attachments; }
    const SqlDialect &dialect() const { return *m_dialect; }
    int schemaVersion() const { return m_schemaVersion; }
    bool readOnly() const { return m_readOnly; }

    // A new QSqlDatabase connection to the file with this system's settings applied.
    QSqlDatabase openConnection() const;

private:
    AppServer(QString path, Options options);
    static std::unique_ptr<AppServer>
    createFilled(const QString &path, const Options &options,
                 const std::function<void(QSqlDatabase &, const SqlDialect &)> &fill);
    static std::unique_ptr<AppServer>
    createPostgres(const QString &location, const Options &options,
                   const std::function<void(QSqlDatabase &, const SqlDialect &)> &fill);
    void load(); // version check, migrations, catalog
    void checkPages(QSqlDatabase &db) const;
    // What a read-only connection opens: SQLite reads a WAL set through its -shm file, so
    // where the folder cannot take one and no writer has the set open, the file is opened
    // as immutable.
    struct ReadingTarget
    {
        QString connectOptions;
        QString databaseName; // empty: the path itself
    };
    ReadingTarget readingTarget() const;

    QString m_path;
    Options m_options;
    QString m_adminConnection; // connection name used for migrations and the catalog
    std::unique_ptr<ProviderCatalog> m_catalog;
    std::unique_ptr<AttachmentStore> m_attachments;
    std::unique_ptr<SqlDialect> m_dialect;
    int m_schemaVersion = 0;
    bool m_readOnly = false;
};

// One client's connection: provider requests, apply-updates and the named operations.
// A failed request or operation throws vexa::Error and leaves its message as the last
// error (GetLastErrorInfo; called with the argument "Kind" it answers that failure's
// ErrorKind as a number, so a client tells a duplicate key or a row changed by another
// user from other failures). Closing the connection inside a transaction rolls it back.
// Attachment files follow the records: uploads and the removal of deleted records' files
// take effect when the transaction commits (outside one, when the call succeeds).
class ServerConnection : public IRemoteConnection, public IAppServer
{
public:
    ~ServerConnection() override;

    DataPacket request(const QString &provider, const QString &commandText) override;
    IAppServer *appServer() override { return this; }

    void applyUpdates(const QString &provider, const DeltaPacket &delta, int maxErrors,
                      int &errorCount, QVariant &ownerData) override;
    QVariant call(const QString &operation, QVariantList &args) override;
    using IAppServer::call;

    // Checks the user's password; on success the connection acts for that user.
    // Throws vexa::Error("用户名或密码错误。") otherwise.
    SessionInfo login(const QString &userCode, const QString &password);
    const SessionInfo &session() const { return m_session; }
    // Where the client runs, for the operation log; this machine's name unless a network
    // server names the client before its login.
    void setMachine(const QString &machine) { m_session.machine = machine; }
    bool loggedIn() const { return !m_session.userId.isEmpty(); }

    QDateTime serverDateTime() const;
    QString lastError() const { return m_lastError; }
    ErrorKind lastErrorKind() const { return m_lastErrorKind; }
    bool inTransaction() const { return m_inTransaction; }

    AppServer &server() { return m_server; }
    QSqlDatabase database() const { return m_db; }
    // Every row of a table or view of the provider catalog (vexa-admin dump). Throws
    // vexa::Error for a name the catalog does not know.
    DataPacket tableRows(const QString &table);

private:
    friend class AppServer;
    explicit ServerConnection(AppServer &server);

    [[noreturn]] void fail(const QString &message);
    void setLastError(const QString &message, ErrorKind kind = ErrorKind::General)
    {
        m_lastError = message;
        m_lastErrorKind = kind;
    }
    void spendPasswordCheck(const QString &password);
    void refuseOnReadOnly() const; // throws on a read-only set

    // Named operations (ServerOperations.cpp).
    QVariant getEntityId(QVariantList &args);
    QVariant executeBatch(QVariantList &args);
    QVariant modifyPassword(QVariantList &args);
    QVariant getFieldMaxValue(QVariantList &args);
    QVariant getAccessories(QVariantList &args);
    QVariant saveAccessories(QVariantList &args);
    void beginTrans();
    void commitTrans();
    void rollbackTrans();

    // The ledger's operations: vouchers, review, posting, reversal and the log
    // (LedgerVouchers.cpp); the chart and the opening balances (LedgerChart.cpp). Each
    // answers nothing for a name that is not its own.
    std::optional<QVariant> voucherCall(const QString &operation, QVariantList &args);
    std::optional<QVariant> chartCall(const QString &operation, QVariantList &args);
    // The balances and the books, read-only (LedgerBooks.cpp).
    std::optional<QVariant> booksCall(const QString &operation, QVariantList &args);
    std::optional<QVariant> closingCall(const QString &operation, QVariantList &args);
    // The statements from the report templates (LedgerStatements.cpp).
    std::optional<QVariant> statementsCall(const QString &operation, QVariantList &args);
    // Their formats: SaveReportTemplate, DeleteReportTemplate (LedgerReportTemplates.cpp).
    std::optional<QVariant> reportTemplatesCall(const QString &operation, QVariantList &args);

    // Users, groups and rights (UserAdminOperations.cpp), for an administrator only.
    static bool isUserAdminOperation(const QString &operation);
    QVariant userAdminCall(const QString &operation, QVariantList &args);
    void requireAdministrator() const;

    AppServer &m_server;
    std::unique_ptr<AttachmentChanges> m_files; // held back until the work commits
    std::unique_ptr<LoginMark> m_loginMark;     // tells other processes this login is on
    QString m_connectionName;
    QSqlDatabase m_db;
    SessionInfo m_session;
    QString m_lastError;
    ErrorKind m_lastErrorKind = ErrorKind::General;
    bool m_inTransaction = false;
};

} // namespace vexa::server
