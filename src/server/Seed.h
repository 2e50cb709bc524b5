#pragma once

#include "Passwords.h"

#include "DataPacket.h"

#include <QSqlDatabase>
#include <QStringList>
#include <vector>

namespace vexa::server {

class SqlDialect;

// The first user of a set made for real use: an administrator (group 1, Manager).
struct Administrator
{
    QString userCode; // login name
    QString password;
    QString userName = QStringLiteral("系统管理员");
};

// Why userCode cannot be a login name (empty, blanks at either end, control characters,
// longer than the column); empty when it can.
inline constexpr int kUserCodeBytes = 40;
QString userCodeProblem(const QString &userCode);

// Loads the seed (the CSV files under seed/, built into the server) into a new account set:
// modules, console tree, groups and rights, currencies, document types, column layouts, and
// the chart-of-accounts templates as data packets. Then either the administrator, or without
// one the demo (seed/demo/: the demo users, with their passwords hashed here, and their
// personal console nodes). Runs in one transaction; throws vexa::Error naming the file and
// line of any bad row, or what is wrong with the administrator.
void loadSeed(QSqlDatabase &db, const SqlDialect &dialect, PasswordCost cost,
              const Administrator *administrator);

// The demo logins loadSeed creates without an administrator (login name and clear password), for
// the tools that tell a newcomer how to get in.
struct DemoLogin
{
    const char *userCode;
    const char *password;
};
inline constexpr DemoLogin kDemoLogins[] = {{"Manager", "manager"}, {"clerk", "clerk"}};

// The table a chart-template payload field loads into: AcctXMLData T0102010, AcctTypeXMLData
// T0102011, every other field (T0200096 ... T0200099, T0102053, T0102055) the table of its name.
QString templateTargetTable(const QString &field);

// A chart-template payload as the account-set creation stores it and the template load reads
// it: the given columns (any letter case) with the field types of the target table, each value
// converted to its field's type (a null stays null). Throws vexa::Error naming a column the
// table lacks, or the row (counted from 1) and field of a value that does not fit.
DataPacket templatePayload(QSqlDatabase &db, const SqlDialect &dialect, const QString &field,
                           const QStringList &columns, const std::vector<QVariantList> &rows);

// Whether a login used a demo user's published password (the name in any letter case).
bool isDemoLogin(const QString &userCode, const QString &password);

} // namespace vexa::server
