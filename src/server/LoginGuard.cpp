#include "LoginGuard.h"

#include "SqlDialect.h"
#include "WriteScope.h"

#include <vexa/Error.h>

#include <QLocale>
#include <QSqlQuery>
#include <QThread>

namespace vexa::server {

LoginGuard::LoginGuard(QSqlDatabase db, const SqlDialect &dialect, const LoginPolicy &policy,
                       bool counting, bool inTransaction)
    : m_db(std::move(db)), m_dialect(dialect), m_policy(policy), m_counting(counting),
      m_inTransaction(inTransaction)
{}

QDateTime LoginGuard::now() const
{
    return (m_policy.clock ? m_policy.clock() : QDateTime::currentDateTime()).toUTC();
}

int LoginGuard::failures(const QString &userCode, QDateTime *lockedUntil) const
{
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT Failures, LockedUntil FROM LoginFailure WHERE ") +
              m_dialect.equalsIgnoringCase(QStringLiteral("UserCode")));
    q.addBindValue(userCode);
    if (!q.exec() || !q.next())
        return 0;
    if (lockedUntil)
        *lockedUntil = QDateTime::fromString(q.value(1).toString(), Qt::ISODateWithMs);
    return q.value(0).toInt();
}

void LoginGuard::checkNotLocked(const QString &userCode) const
{
    if (!m_counting)
        return;
    QDateTime until;
    failures(userCode, &until);
    if (until.isValid() && until > now())
        throw Error(QStringLiteral("连续登录失败的次数太多，请在 %1 以后再试。")
                        .arg(QLocale(QLocale::Chinese, QLocale::China)
                                 .toString(until.toLocalTime().time(), QStringLiteral("HH:mm"))));
}

void LoginGuard::refuse(const QString &userCode, const QString &refusal)
{
    int count = 1;
    bool lockedNow = false;
    if (m_counting) {
        try {
            WriteScope work(m_db, m_dialect, m_inTransaction);
            QDateTime until;
            const int before = failures(userCode, &until);
            // A lock that has run out starts the count afresh.
            count = until.isValid() && until <= now() ? 1 : before + 1;
            lockedNow = count >= m_policy.maxFailures;
            QSqlQuery q(m_db);
            q.prepare(
                m_dialect.upsert(QStringLiteral("LoginFailure"), {QStringLiteral("UserCode")},
                                 {QStringLiteral("Failures"), QStringLiteral("LockedUntil")}));
            q.addBindValue(userCode);
            q.addBindValue(count);
            q.addBindValue(
                lockedNow
                    ? now().addSecs(qint64(m_policy.lockMinutes) * 60).toString(Qt::ISODateWithMs)
                    : QVariant(QMetaType::fromType<QString>()));
            if (q.exec())
                work.commit();
        } catch (const Error &) {
            // The refusal matters more than its count: a set too busy to count still refuses.
        }
    }
    QThread::msleep(ulong(std::min(count, m_policy.maxFailures)) * ulong(m_policy.delayStepMs));
    if (lockedNow)
        throw Error(refusal + QStringLiteral("连续 %1 次登录失败，请 %2 分钟后再试。")
                                  .arg(m_policy.maxFailures)
                                  .arg(m_policy.lockMinutes));
    throw Error(refusal);
}

void LoginGuard::clear(const QString &userCode)
{
    if (!m_counting || failures(userCode, nullptr) == 0)
        return;
    try {
        WriteScope work(m_db, m_dialect, m_inTransaction);
        QSqlQuery q(m_db);
        q.prepare(QStringLiteral("DELETE FROM LoginFailure WHERE ") +
                  m_dialect.equalsIgnoringCase(QStringLiteral("UserCode")));
        q.addBindValue(userCode);
        if (q.exec())
            work.commit();
    } catch (const Error &) {
        // Left over failures only shorten the way to the next lock.
    }
}

} // namespace vexa::server
