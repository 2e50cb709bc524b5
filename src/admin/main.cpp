// vexa-admin: create, inspect and repair an account set. See docs/vexa-admin.md.
#include "AdminCommands.h"
#include "Process.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>
#include <unistd.h>

int main(int argc, char **argv)
{
    vexa::prepareProcess();
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QTextStream in(stdin);

    vexa::admin::AdminOptions options;
    options.terminalInput = isatty(STDIN_FILENO) == 1;
    const int status = vexa::admin::runAdmin(app.arguments().mid(1), out, err, in, options);
    out.flush();
    err.flush();
    return status;
}
