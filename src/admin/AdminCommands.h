#pragma once

// vexa-admin: create, inspect and repair an account set from the command line.
// The program's main() only wires the process's streams to runAdmin.

#include "AppServer.h"
#include "FieldDef.h"

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <QVariant>

namespace vexa::admin {

struct AdminOptions
{
    // How the server opened or created by a command hashes passwords (tests: Fast).
    server::AppServer::Options server;
    // Standard input is a terminal: prompt for passwords on err and switch echo off
    // while they are typed. Otherwise a password is simply the next line of in.
    bool terminalInput = false;
};

// Exit statuses.
enum : int { ExitOk = 0, ExitFailed = 1, ExitUsage = 2 };

// Runs one command line (without the program name). Results go to out, messages and
// prompts to err, passwords are read from in. Returns the exit status.
int runAdmin(const QStringList &args, QTextStream &out, QTextStream &err, QTextStream &in,
             const AdminOptions &options = {});

// The usage text --help prints.
QString usageText();

enum class CellFormat { Table, Csv, Json };

// One value as a cell of the given output: empty for a null in a table or CSV; dates
// and times in ISO form; a blob as "(N 字节)" in a table and base64 elsewhere; booleans
// as 1 / 0. For Json the result is a JSON literal (quoted and escaped text, a number,
// true / false or null).
QString formatCell(const FieldDef &field, const QVariant &value, CellFormat format);

// Columns a text takes on a terminal: East Asian wide and full-width characters 2,
// combining marks 0, everything else 1.
int displayWidth(const QString &text);

} // namespace vexa::admin
