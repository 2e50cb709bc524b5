#include "HostApp.h"
#include "HostOptions.h"
#include "Process.h"

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>

int main(int argc, char *argv[])
{
    QElapsedTimer startClock;
    startClock.start();

    vexa::prepareProcess();
    const QStringList pluginArguments = vexa::host::takePluginArguments(argc, argv);
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Corvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Vexa"));
    QApplication::setApplicationDisplayName(QStringLiteral("Vexa"));

    vexa::host::HostOptions options;
    QString error;
    if (!vexa::host::parseHostOptions(QCoreApplication::arguments() + pluginArguments, options,
                                      error)) {
        std::fprintf(stderr, "vexa: %s\n", error.toLocal8Bit().constData());
        return 2;
    }
    vexa::host::HostApp host(options);
    return host.run(startClock);
}
