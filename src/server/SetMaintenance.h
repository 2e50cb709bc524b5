#pragma once

// Looking after account-set files as a whole: what a set is, whether it is sound, and
// copies of it that can be put back.

#include "AppServer.h"

#include <QString>
#include <QStringList>

namespace vexa::server {

struct SetSummary
{
    QString company; // empty: not configured yet
    QString chartTemplate;
    QString startPeriod; // of the ledger
    bool enabled = false;
    int schemaVersion = 0;
    int users = 0;
    int activeUsers = 0;
    qint64 bytes = 0; // the file and its -wal; on PostgreSQL the database's size
};

// Reads the set without changing it. Throws vexa::Error when it cannot be opened.
SetSummary summarizeSet(const QString &path, const AppServer::Options &options);

// What is wrong with the set, in words for its administrator; empty when it is sound:
// every page, broken references, and the rules its data keeps (one period per year and
// number, start periods that exist, an administrator who can log in, console nodes of
// existing users, attachment files present). Reads only.
QStringList checkSet(const QString &path, const AppServer::Options &options);

// Whether some connection, of this process or another, has the set open.
bool setInUse(const QString &path);

// Where a backup keeps the attachment files of the set.
QString backupFilesFolder(const QString &backup);

struct BackupReport
{
    int files = 0;            // attachment files copied
    QStringList missingFiles; // recorded in the set but not in its folder
};

// A consistent copy of the set at dest while others go on using it, with the attachment
// files its records name (in backupFilesFolder(dest)). dest must not exist; it appears
// whole or not at all. A PostgreSQL set is copied by pg_dump (custom format) into the one
// file dest, its attachment files with it.
BackupReport backupSet(const QString &path, const QString &dest, const AppServer::Options &options);

// Puts a backup in place at path, with its attachment files. Refused while the set at path
// is in use, and over a set changed after the backup was made unless force.
// On PostgreSQL (a pg_dump backup only): restored by pg_restore into a new database, checked
// as checkSet does, then swapped in; refused while anyone is logged in to the set, and over
// any existing set unless force. Whatever fails leaves the set at path as it was.
void restoreSet(const QString &backup, const QString &path, bool force,
                const AppServer::Options &options);

} // namespace vexa::server
