#pragma once

#include "NetConnection.h"

#include <QString>

class QWidget;

namespace vexa::host {

// Where the last successful login went and as whom, kept per user of this machine in the
// host's settings: the server (empty for a file), the set's name there and the login
// name. Never a password.
struct LastLogin
{
    QString server;
    QString set;
    QString user;

    static LastLogin load();
    void save() const;
};

// How the host checks a server: plain TCP (--insecure), a CA certificate (--ca), or else the
// user's own known servers with the trust question for a new one.
struct ServerTrust
{
    bool insecure = false;
    QString caFile;
};
net::ClientSecurity clientSecurity(const ServerTrust &trust, QWidget *parent);

// The question for a server whose certificate is neither signed by a trusted CA nor known
// yet: its address and the certificate's SHA-256 fingerprint, 信任并连接 or 取消, through
// the host's dialog hook. Answers whether to trust it.
bool askToTrustServer(QWidget *parent, const QString &server, const QString &fingerprint);

} // namespace vexa::host
