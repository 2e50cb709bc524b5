#include "HostApp.h"
#include "HostOptions.h"
#include "Process.h"

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <sys/resource.h>

int main(int argc, char *argv[])
{
    QElapsedTimer startClock;
    startClock.start();

    vexa::prepareProcess();
    // A core dump would hold the password typed at the login and the set's data.
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    const QStringList pluginArguments = vexa::host::takePluginArguments(argc, argv);
    if (vexa::host::asksForHelp(argc, argv)) {
        // Help needs no display: parsing prints it and ends the program.
        QCoreApplication core(argc, argv);
        vexa::installChineseTranslations();
        vexa::host::HostOptions options;
        QString error;
        vexa::host::parseHostOptions(QCoreApplication::arguments(), options, error);
        std::fprintf(stderr, "vexa: %s\n", error.toLocal8Bit().constData());
        return 2;
    }
    QApplication app(argc, argv);
    vexa::installChineseTranslations();
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
    if (!vexa::host::readPassword(options, error)) {
        std::fprintf(stderr, "vexa: %s\n", error.toLocal8Bit().constData());
        return 2;
    }
    vexa::host::HostApp host(options);
    return host.run(startClock);
}
