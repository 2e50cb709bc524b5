#pragma once

// vexa-admin: create, inspect and repair an account set from the command line.
// The program's main() only wires the process's streams to runAdmin.

#include "AdminOutput.h"
#include "AppServer.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

namespace vexa::admin {

struct AdminOptions
{
    // How the server opened or created by a command hashes passwords (tests: Fast).
    server::AppServer::Options server;
    // Standard input is a terminal: prompt for passwords on err and switch echo off
    // while they are typed. Otherwise a password is simply the next line of in.
    bool terminalInput = false;
    // How long a command on a server waits for an answer (vexa://HOST/SET).
    int networkTimeoutMs = 60000;
};

// Exit statuses.
enum : int { ExitOk = 0, ExitFailed = 1, ExitUsage = 2 };

// Runs one command line (without the program name). Results go to out, messages and
// prompts to err, passwords are read from in. Returns the exit status.
int runAdmin(const QStringList &args, QTextStream &out, QTextStream &err, QTextStream &in,
             const AdminOptions &options = {});

// The usage text --help prints.
QString usageText();

} // namespace vexa::admin
