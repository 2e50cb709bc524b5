#pragma once

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>

#include <functional>

namespace vexa::server {

class SqlDialect;

// How failed logins are slowed down and locked.
struct LoginPolicy
{
    int maxFailures = 5;   // this many in a row lock the name
    int lockMinutes = 15;  // for this long
    int delayStepMs = 400; // a refusal waits this long per failure in a row, up to the lock
    // The time of day; null: the system clock. Tests move it.
    std::function<QDateTime()> clock;
};

// Counts failed logins per login name in the set (LoginFailure), known names and unknown
// alike, so that neither the lock nor its message tells which names exist. Where the set
// cannot be written (read-only, or its schema older than the table) nothing is counted and
// nothing locks; refusals are still slowed down.
class LoginGuard
{
public:
    LoginGuard(QSqlDatabase db, const SqlDialect &dialect, const LoginPolicy &policy, bool counting,
               bool inTransaction);

    // Throws vexa::Error when the name is locked.
    void checkNotLocked(const QString &userCode) const;
    // Counts a failure, locks the name at the limit, waits the delay, then throws
    // vexa::Error with the refusal (naming the lock when this failure set it).
    [[noreturn]] void refuse(const QString &userCode, const QString &refusal);
    // Forgets the name's failures (a successful login, a password reset).
    void clear(const QString &userCode);

private:
    QDateTime now() const;
    int failures(const QString &userCode, QDateTime *lockedUntil) const;

    QSqlDatabase m_db;
    const SqlDialect &m_dialect;
    const LoginPolicy &m_policy;
    bool m_counting;
    bool m_inTransaction;
};

} // namespace vexa::server
