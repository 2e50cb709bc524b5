#pragma once

// vexa-admin templates: the chart-of-accounts templates of a set listed, exported to CSV or
// JSON, imported from them (checked row by row before anything is written) and removed.

#include "AppServer.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QTextStream>

namespace vexa::admin {

// A command line that cannot run: exit status 2.
struct TemplateUsageError
{
    QString message;
};

// positional: SUBCOMMAND PATH [...]. Returns the exit status; throws vexa::Error for a
// failure and TemplateUsageError for a wrong command line.
int templatesCommand(const QStringList &positional, const QMultiHash<QString, QString> &options,
                     QTextStream &out, QTextStream &err, const server::AppServer::Options &server);

} // namespace vexa::admin
