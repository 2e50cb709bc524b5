#pragma once

#include <QSqlDatabase>
#include <QString>
#include <memory>

namespace vexa::server {

// Who is logged in to a set, across every process that serves it.
// A SQLite set: a login holds a shared lock on one byte of the set's file, chosen by the
// login name far past anything SQLite locks (sets on network file systems are refused, so
// all of a set's users are on this machine). The lock belongs to the open file, not the
// process, so a connection of this process sees another's; it goes when the connection ends
// or its process dies, and leaves nothing to clean up.
// A PostgreSQL set: a shared session-level advisory lock of the login's database session,
// seen by every server of the set, gone when the session ends.
class LoginMark
{
public:
    // db is the login's own connection to the set. Null when the mark cannot be taken (then
    // nobody can tell this login is there).
    static std::unique_ptr<LoginMark> take(QSqlDatabase db, const QString &userCode);
    // Whether any connection holds the mark of this login name (letter case aside); db is
    // a connection to the set.
    static bool held(QSqlDatabase db, const QString &userCode);

    // The first key of a PostgreSQL login's advisory lock (the second: the login name's).
    static constexpr qint32 kPostgresSpace = 0x56455855; // "VEXU"

    ~LoginMark();
    LoginMark(const LoginMark &) = delete;
    LoginMark &operator=(const LoginMark &) = delete;

private:
    explicit LoginMark(int fd) : m_fd(fd) {}
    LoginMark(QSqlDatabase db, qint32 key) : m_fd(-1), m_db(db), m_key(key) {}
    int m_fd;
    QSqlDatabase m_db; // PostgreSQL: the session that holds the lock
    qint32 m_key = 0;
};

} // namespace vexa::server
