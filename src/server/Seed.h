#pragma once

#include "Passwords.h"

#include <QSqlDatabase>

namespace vexa::server {

class SqlDialect;

// Loads the demo seed (the CSV files under seed/, built into the server) into a new
// account set: modules, console tree, users and rights, currencies, document types,
// column layouts, and the chart-of-accounts templates as data packets. The demo users'
// passwords are hashed here. Runs in one transaction; throws vexa::Error naming the
// file and line of any bad row.
void loadDemoSeed(QSqlDatabase &db, const SqlDialect &dialect, PasswordCost cost);

// The demo logins loadDemoSeed creates (login name and clear password), for the tools
// that tell a newcomer how to get in.
struct DemoLogin
{
    const char *userCode;
    const char *password;
};
inline constexpr DemoLogin kDemoLogins[] = {{"Manager", "manager"}, {"clerk", "clerk"}};

} // namespace vexa::server
