#pragma once

// A demo account set in a temporary folder (fast password hashing) opened by a host
// session, and a recorder for the host's message boxes.

#include "HostDialogs.h"
#include "HostSession.h"

#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace vexa::test {

inline server::AppServer::Options fastServerOptions()
{
    server::AppServer::Options options;
    options.passwordCost = server::PasswordCost::Fast;
    return options;
}

struct HostFixture
{
    QTemporaryDir dir;
    std::unique_ptr<host::HostSession> session;

    explicit HostFixture(bool login = true)
    {
        session = host::HostSession::open(path(), true, fastServerOptions());
        if (login)
            session->login(QStringLiteral("Manager"), QStringLiteral("manager"));
    }

    QString path() const { return dir.filePath(QStringLiteral("demo.vexa")); }
};

// Records the message boxes the host shows instead of showing them.
struct MessageRecorder
{
    struct Message
    {
        QChar kind;
        QString caption;
        QString text;
    };
    QList<Message> messages;

    MessageRecorder()
    {
        host::hostDialogs().message = [this](QWidget *, QChar kind, const QString &caption,
                                             const QString &text) {
            messages.append({kind, caption, text});
        };
    }
    ~MessageRecorder() { host::resetHostDialogs(); }
};

} // namespace vexa::test
