#include "BatchStatements.h"

#include <array>

namespace vexa::server {

namespace {

struct Translation
{
    const char *accepted; // with single blanks; compared ignoring letter case
    const char *sqlite;
};

// SQLite has no "DELETE table" shorthand; the rest is valid SQLite as written except that
// NOT IN must not see a NULL account code, or it would match no row at all.
constexpr std::array kTranslations{
    Translation{"DELETE T0102010", "DELETE FROM T0102010"},
    Translation{"DELETE T0102011", "DELETE FROM T0102011"},
    Translation{"DELETE T0200096", "DELETE FROM T0200096"},
    Translation{"DELETE T0200097", "DELETE FROM T0200097"},
    Translation{"DELETE T0200098", "DELETE FROM T0200098"},
    Translation{"DELETE T0200099", "DELETE FROM T0200099"},
    Translation{"UPDATE T0200098 SET AcctID = NULL WHERE ItemAcctCode NOT IN "
                "(SELECT AcctCode FROM T0102010)",
                "UPDATE T0200098 SET AcctID = NULL WHERE ItemAcctCode NOT IN "
                "(SELECT AcctCode FROM T0102010 WHERE AcctCode IS NOT NULL)"},
    Translation{"UPDATE T0200098 SET AcctID = T0102010.AcctID FROM T0102010 "
                "WHERE T0200098.ItemAcctCode = T0102010.AcctCode",
                "UPDATE T0200098 SET AcctID = T0102010.AcctID FROM T0102010 "
                "WHERE T0200098.ItemAcctCode = T0102010.AcctCode"},
    Translation{"DELETE T0102057 WHERE DacvID IN (SELECT DacvID FROM T0102053 WHERE ACheckID = 0)",
                "DELETE FROM T0102057 WHERE DacvID IN "
                "(SELECT DacvID FROM T0102053 WHERE ACheckID = 0)"},
    Translation{"DELETE T0102056 WHERE DacvID IN (SELECT DacvID FROM T0102053 WHERE ACheckID = 0)",
                "DELETE FROM T0102056 WHERE DacvID IN "
                "(SELECT DacvID FROM T0102053 WHERE ACheckID = 0)"},
    Translation{"DELETE T0102055 WHERE ACheckID = 0", "DELETE FROM T0102055 WHERE ACheckID = 0"},
    Translation{"DELETE T0102053 WHERE ACheckID = 0", "DELETE FROM T0102053 WHERE ACheckID = 0"},
};

} // namespace

std::optional<QString> translateBatchStatement(const QString &sql)
{
    // The result is always one of the fixed texts above, never built from the input, so
    // nothing the caller sends can reach SQLite.
    const QString normalised = sql.simplified();
    for (const Translation &t : kTranslations) {
        if (normalised.compare(QLatin1String(t.accepted), Qt::CaseInsensitive) == 0)
            return QString::fromLatin1(t.sqlite);
    }
    return std::nullopt;
}

} // namespace vexa::server
