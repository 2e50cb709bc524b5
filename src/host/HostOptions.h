#pragma once

#include <QString>
#include <QStringList>

namespace vexa::host {

// The command line of vexa.
struct HostOptions
{
    QString dataPath;           // --data: the account set; empty for the default demo set
    QString server;             // --server HOST[:PORT]: a set on a vexa-server instead
    QString setName;            // --set: the set's name on the server (empty: its only set)
    bool insecure = false;      // --insecure: plain TCP to a server run with --insecure
    QString caFile;             // --ca: trust servers whose certificate this CA signed
    bool design = false;        // --design: the "DesignModule" session value
    QString pluginPath;         // --plugin: the plug-in library, instead of the search list
    QString ledgerPluginPath;   // --ledger-plugin: the ledger's library, likewise
    QString user;               // --user
    QString password;           // --password, or what --password-file / --password-stdin gave
    QString passwordFile;       // --password-file: read at start-up, see readPassword
    bool passwordStdin = false; // --password-stdin
    bool hasPassword = false;
    QString screenshotDir;      // --screenshots: render every page to PNG files and exit
    bool startupTiming = false; // VEXA_STARTUP_TIMING=1
};

// Parses arguments (arguments[0] is the program). On a bad command line answers false
// with the message in error; --help and --version print and exit as Qt does.
bool parseHostOptions(const QStringList &arguments, HostOptions &options, QString &error);

// Fills options.password from the password file or standard input where the command line
// named one. Answers false with the message in error when it cannot be read.
bool readPassword(HostOptions &options, QString &error);

// Whether the command line asks only for help or the version, which must print without a
// display.
bool asksForHelp(int argc, char **argv);

// QGuiApplication takes "--plugin X" as its own input-plugin option. Removes "--plugin X"
// and "--plugin=X" from argv before the application object sees them and answers them as
// arguments to append again for parseHostOptions.
QStringList takePluginArguments(int &argc, char **argv);

} // namespace vexa::host
