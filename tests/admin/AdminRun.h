#pragma once

// Runs vexa-admin's commands in this process, with fast password hashing and no waiting
// after a refused login, and keeps what they print.

#include "AdminCommands.h"

#include <QIODevice>
#include <QString>
#include <QStringList>
#include <QTextStream>

namespace vexa::test {

inline admin::AdminOptions fastAdminOptions()
{
    admin::AdminOptions options;
    options.server.passwordCost = server::PasswordCost::Fast;
    options.server.login.delayStepMs = 0;
    return options;
}

struct AdminResult
{
    int status = -1;
    QString out;
    QString err;
};

inline AdminResult runAdminCommand(const QStringList &args, const QString &input = QString())
{
    QString outText, errText, inText = input;
    QTextStream out(&outText), err(&errText), in(&inText, QIODevice::ReadOnly);
    AdminResult r;
    r.status = admin::runAdmin(args, out, err, in, fastAdminOptions());
    out.flush();
    err.flush();
    r.out = outText;
    r.err = errText;
    return r;
}

} // namespace vexa::test
