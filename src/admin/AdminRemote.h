#pragma once

// vexa-admin's commands on a set served by vexa-server: the set is written
// vexa://HOST[:PORT]/SET where a command takes a PATH, so it never reads as a file name.
// Everything goes through a login and the server's named operations; the server checks
// that the user may do it (user, group and rights changes: administrators only).

#include "AdminOutput.h"
#include "ServerAddress.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <optional>

namespace vexa::admin {

struct RemoteSet
{
    net::ServerAddress address;
    QString set; // empty: the server's only set
};

// Whether text is meant as a server address (it begins with vexa://).
bool isRemoteSet(const QString &text);
// Throws vexa::Error for a vexa:// text without a valid host and port.
RemoteSet parseRemoteSet(const QString &text);

// The commands that work over a server; the others need the set's file.
bool worksOverServer(const QString &command);
// The options a command takes only over a server.
const QStringList &remoteFlags();  // insecure
const QStringList &remoteValued(); // ca, user, password-file

// A command line that cannot run: exit status 2.
struct RemoteUsageError
{
    QString message;
};

struct RemoteCommand
{
    QString name;
    QStringList positional; // positional[0]: the vexa:// address
    QMultiHash<QString, QString> options;
    CellFormat format = CellFormat::Table;
};

struct RemoteIO
{
    QTextStream &out;
    QTextStream &err;
    // One line of standard input (nullopt at its end); a prompt and no echo on a terminal.
    std::function<std::optional<QString>(const QString &prompt, bool secret)> readLine;
    bool terminal = false;
    int timeoutMs = 60000;
};

// Runs the command against the server; returns the exit status. Throws vexa::Error for a
// failure (exit 1) and RemoteUsageError for a wrong command line.
int runRemote(const RemoteCommand &command, RemoteIO &io);

} // namespace vexa::admin
