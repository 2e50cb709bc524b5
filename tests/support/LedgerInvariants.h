#pragma once

// The invariants of the books, read with plain SQL so that no code under test vouches for
// itself: posted vouchers balance and Posted follows Status, numbers per word and period run
// 1..n, GLBalance is a rebuild of the posted lines over each account and its parents (and a
// parent the sum of its children), and nothing posted ever changes. Checked after every step
// of the tests that change the books.

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>

#include <map>
#include <tuple>

namespace vexa::test {

// The rows of a query, each one's cells joined with '|'.
inline QStringList ledgerRows(QSqlDatabase db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql))
        qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    QStringList rows;
    while (q.next()) {
        QStringList cells;
        for (int i = 0; i < q.record().count(); ++i)
            cells << q.value(i).toString();
        rows << cells.join(u'|');
    }
    return rows;
}

class LedgerInvariants
{
public:
    // The first broken invariant, or an empty text. Each posted voucher is remembered as
    // first seen, so later calls find one that changed.
    QString broken(QSqlDatabase db)
    {
        const QStringList unbalanced = ledgerRows(
            db, QStringLiteral("SELECT v.DocEntry FROM FINDocVoucher v JOIN FINDocVoucherLine l "
                               "ON l.DocEntry = v.DocEntry WHERE v.Status = 2 GROUP BY "
                               "v.DocEntry, v.DebitTotal, v.CreditTotal HAVING SUM(l.Debit) <> "
                               "SUM(l.Credit) OR SUM(l.Debit) <> v.DebitTotal OR v.DebitTotal "
                               "<> v.CreditTotal"));
        if (!unbalanced.isEmpty())
            return QStringLiteral("posted vouchers that do not balance: ") + unbalanced.join(u',');
        const QStringList mismatched = ledgerRows(
            db, QStringLiteral(
                    "SELECT DocEntry FROM FINDocVoucher WHERE (Status = 2) <> (Posted = 1)"));
        if (!mismatched.isEmpty())
            return QStringLiteral("Posted disagrees with Status: ") + mismatched.join(u',');

        for (const QString &row :
             ledgerRows(db, QStringLiteral("SELECT PeriodID, NumCa, COUNT(*), COUNT(DISTINCT "
                                           "DocNum), MIN(DocNum), MAX(DocNum) FROM "
                                           "FINDocVoucher GROUP BY PeriodID, NumCa"))) {
            const QStringList c = row.split(u'|');
            if (c[2] != c[3] || c[4] != QLatin1String("1") || c[5] != c[2])
                return QStringLiteral("numbering with a gap or a duplicate: ") + row;
        }

        std::map<int, int> parent;
        for (const QString &row :
             ledgerRows(db, QStringLiteral("SELECT AcctID, ParentID FROM T0102010"))) {
            const QStringList c = row.split(u'|');
            parent[c[0].toInt()] = c[1].toInt();
        }
        Movements rebuilt;
        for (const QString &row : ledgerRows(
                 db, QStringLiteral("SELECT l.AcctID, v.PeriodID, l.DacvID, l.Debit, l.Credit "
                                    "FROM FINDocVoucherLine l JOIN FINDocVoucher v ON "
                                    "v.DocEntry = l.DocEntry WHERE v.Status = 2"))) {
            const QStringList c = row.split(u'|');
            const int period = c[1].toInt(), item = c[2].toInt();
            const qint64 debit = c[3].toLongLong(), credit = c[4].toLongLong();
            for (int a = c[0].toInt(); a != 0; a = parent[a])
                add(rebuilt[{a, period, 0}], debit, credit);
            if (item > 0)
                add(rebuilt[{c[0].toInt(), period, item}], debit, credit);
        }
        Movements stored;
        for (const QString &row : ledgerRows(db, QStringLiteral("SELECT AcctID, PeriodID, DacvID, "
                                                                "Debit, Credit FROM GLBalance"))) {
            const QStringList c = row.split(u'|');
            stored[{c[0].toInt(), c[1].toInt(), c[2].toInt()}] = {c[3].toLongLong(),
                                                                  c[4].toLongLong()};
        }
        if (stored != rebuilt)
            return QStringLiteral("GLBalance differs from a rebuild of the posted lines");
        Movements children;
        for (const auto &[key, m] : stored) {
            const auto [acct, period, item] = key;
            if (item == 0 && parent[acct] != 0)
                add(children[{parent[acct], period, 0}], m.first, m.second);
        }
        for (const auto &[key, sum] : children)
            if (stored[key] != sum)
                return QStringLiteral("a parent's balance is not the sum of its children's: "
                                      "account %1")
                    .arg(std::get<0>(key));

        // ReversedBy is a link, not content: it is left out.
        std::map<int, QStringList> now;
        for (const QString &row : ledgerRows(
                 db, QStringLiteral("SELECT DocEntry, NumCa, DocNum, DocDate, PeriodID, "
                                    "Attachments, Memo, MakerID, RatifierID, CashierID, PosterID, "
                                    "PostDate, DebitTotal, CreditTotal, ReversesEntry FROM "
                                    "FINDocVoucher WHERE Status = 2")))
            now[row.section(u'|', 0, 0).toInt()] << row;
        for (const QString &row : ledgerRows(
                 db, QStringLiteral("SELECT l.DocEntry, l.LineNo, l.Summary, l.AcctID, l.DacvID, "
                                    "l.Debit, l.Credit FROM FINDocVoucherLine l JOIN "
                                    "FINDocVoucher v ON v.DocEntry = l.DocEntry WHERE v.Status = 2 "
                                    "ORDER BY l.DocEntry, l.LineNo")))
            now[row.section(u'|', 0, 0).toInt()] << row;
        for (const auto &[entry, content] : now)
            m_posted.try_emplace(entry, content);
        for (const auto &[entry, was] : m_posted) {
            const auto it = now.find(entry);
            if (it == now.end() || it->second != was)
                return QStringLiteral("posted voucher %1 changed").arg(entry);
        }
        return QString();
    }

    // How many posted vouchers have been seen.
    size_t postedSeen() const { return m_posted.size(); }

private:
    using Movements = std::map<std::tuple<int, int, int>, std::pair<qint64, qint64>>;

    static void add(std::pair<qint64, qint64> &m, qint64 debit, qint64 credit)
    {
        m.first += debit;
        m.second += credit;
    }

    std::map<int, QStringList> m_posted;
};

} // namespace vexa::test
