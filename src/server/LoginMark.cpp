#include "LoginMark.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>

#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace vexa::server {

namespace {

// 2^40 onwards: SQLite locks bytes near 2^30 only. Two names on one byte would only make
// the removal of one of them a disabling, never the other way round.
quint32 nameHash(const QString &userCode)
{
    const QByteArray digest =
        QCryptographicHash::hash(userCode.toLower().toUtf8(), QCryptographicHash::Sha1);
    quint32 n = 0;
    std::memcpy(&n, digest.constData(), sizeof n);
    return n;
}

off_t markOffset(const QString &userCode)
{
    return (off_t(1) << 40) + off_t(nameHash(userCode));
}

// The advisory lock (kLoginSpace, hash of the name): apart from the write lock's number,
// which is a single 64-bit key.
constexpr qint32 kLoginSpace = LoginMark::kPostgresSpace;

qint32 loginKey(const QString &userCode)
{
    return qint32(nameHash(userCode));
}

struct flock markRange(short type, const QString &userCode)
{
    struct flock range
    {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = markOffset(userCode);
    range.l_len = 1;
    range.l_pid = 0; // open-file locks require it
    return range;
}

// The set's file; a read-only set opened as immutable names it in a URI.
int openSet(const QSqlDatabase &db)
{
    const QString name = db.databaseName();
    const QString path = name.startsWith(QLatin1String("file:"))
                             ? QUrl(name.left(name.indexOf(QLatin1Char('?')))).toLocalFile()
                             : name;
    return ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
}

} // namespace

std::unique_ptr<LoginMark> LoginMark::take(QSqlDatabase db, const QString &userCode)
{
    if (db.driverName() == QLatin1String("QPSQL")) {
        const qint32 key = loginKey(userCode);
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT pg_try_advisory_lock_shared(?, ?)"));
        q.addBindValue(kLoginSpace);
        q.addBindValue(key);
        if (!q.exec() || !q.next() || !q.value(0).toBool())
            return nullptr;
        return std::unique_ptr<LoginMark>(new LoginMark(db, key));
    }
    const int fd = openSet(db);
    if (fd < 0)
        return nullptr;
    struct flock range = markRange(F_RDLCK, userCode);
    if (::fcntl(fd, F_OFD_SETLK, &range) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<LoginMark>(new LoginMark(fd));
}

bool LoginMark::held(QSqlDatabase db, const QString &userCode)
{
    if (db.driverName() == QLatin1String("QPSQL")) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral(
            "SELECT COUNT(*) FROM pg_locks WHERE locktype = 'advisory' AND database = "
            "(SELECT oid FROM pg_database WHERE datname = current_database()) AND classid = "
            "CAST(? AS BIGINT) & 4294967295 AND objid = CAST(? AS BIGINT) & 4294967295 AND "
            "objsubid = 2 AND granted"));
        q.addBindValue(kLoginSpace);
        q.addBindValue(loginKey(userCode));
        return q.exec() && q.next() && q.value(0).toInt() > 0;
    }
    const int fd = openSet(db);
    if (fd < 0)
        return false;
    struct flock range = markRange(F_WRLCK, userCode);
    const bool asked = ::fcntl(fd, F_OFD_GETLK, &range) == 0;
    ::close(fd);
    return asked && range.l_type != F_UNLCK;
}

LoginMark::~LoginMark()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        return;
    }
    if (m_db.isOpen()) {
        QSqlQuery q(m_db);
        q.prepare(QStringLiteral("SELECT pg_advisory_unlock_shared(?, ?)"));
        q.addBindValue(kLoginSpace);
        q.addBindValue(m_key);
        q.exec();
    }
}

} // namespace vexa::server
