#pragma once

#include "FieldDef.h"

#include <QList>
#include <QSqlError>
#include <QVariantList>
#include <vector>

class QSqlDatabase;
struct sqlite3;

namespace vexa::server {

class SqlDialect;

// Runs a SELECT on a SQLite connection's own handle and reads every cell straight into its
// field's value. Qt's driver wraps each cell in a QVariant for its cache, copies it out and
// converts texts to UTF-16 through SQLite: about half the time of a lookup. The values are
// those Qt's driver and dialect.fromStorage give, the parameters are bound as the driver
// binds them, and a failure leaves in `error` what the driver would have reported.
// Returns false on failure; `rows` then holds nothing useful.
bool readSqliteRows(sqlite3 *db, const QString &sql, const QVariantList &params,
                    const QList<FieldDef> &fields, const SqlDialect &dialect,
                    std::vector<QVariantList> &rows, QSqlError &error);

} // namespace vexa::server
