#pragma once

#include "AppServer.h"
#include "Frame.h"
#include "Protocol.h"
#include "ServerAddress.h"

#include <RemoteConnection.h>

#include <QDateTime>
#include <QSslSocket>
#include <QString>
#include <functional>

namespace vexa::net {

// How a client makes sure it talks to the right server.
struct ClientSecurity
{
    // Plain TCP, no TLS (vexa-server --insecure; tests on loopback).
    bool insecure = false;
    // Trust a server whose certificate this CA (PEM) signed, for its host name.
    QString caFile;
    // The pinned fingerprints of servers trusted on first use; empty: the user's own file
    // (<config>/vexa/known_servers).
    QString knownServersFile;
    // Asked when a server's certificate is neither signed by caFile nor pinned: the server
    // (host:port) and the certificate's SHA-256 fingerprint (hex pairs with colons). True
    // pins it and goes on. Null: such a server is refused. A pinned server whose
    // certificate changed is always refused, naming both fingerprints.
    std::function<bool(const QString &server, const QString &fingerprint)> trustNewServer;

    static ClientSecurity plainTcp()
    {
        ClientSecurity s;
        s.insecure = true;
        return s;
    }
};

// The client side of a connection to vexa-server: the same calls as the in-process
// ServerConnection, each one synchronous (write the request, wait for its reply). A refused
// request throws vexa::Error with the server's message and ErrorKind. A lost connection, or
// a server that does not answer within the timeout, throws "与服务器的连接已断开。" (or why
// the server closed it) on that call and "与服务器的连接已断开。" on every later one.
class NetConnection : public IRemoteConnection, public IAppServer
{
public:
    static constexpr int kDefaultTimeoutMs = 60000;

    // Connects (over TLS unless security.insecure), checks the server's certificate as
    // security says, and exchanges hellos. Throws vexa::Error when the server cannot be
    // reached, its certificate is not trusted (nothing has been sent to it then), or it
    // refuses the handshake (a different protocol version, a full server: its message).
    NetConnection(const ServerAddress &address, const ClientSecurity &security,
                  int timeoutMs = kDefaultTimeoutMs);
    ~NetConnection() override;

    // set: the account set's name on the server; empty for the server's only set.
    server::SessionInfo login(const QString &set, const QString &userCode, const QString &password);

    DataPacket request(const QString &provider, const QString &commandText) override;
    IAppServer *appServer() override { return this; }

    void applyUpdates(const QString &provider, const DeltaPacket &delta, int maxErrors,
                      int &errorCount, QVariant &ownerData) override;
    // Arguments come back as the operation left them.
    QVariant call(const QString &operation, QVariantList &args) override;
    using IAppServer::call;

    QDateTime serverDateTime();
    // The server's message for the last failure (GetLastErrorInfo).
    QString lastError();
    // Ends the session and closes the connection; later calls throw.
    void logout();

    bool connected() const { return m_lost.isEmpty(); }

private:
    Message exchange(Message request);
    Message receive();
    void checkStillOpen();
    [[noreturn]] void lose(const QString &reason);
    void encrypt(const ServerAddress &address, const ClientSecurity &security);
    void checkPinned(const QString &server, const ClientSecurity &security);

    QSslSocket m_socket; // plain TCP when insecure
    FrameReader m_reader;
    int m_timeoutMs;
    qint64 m_lastId = 0;
    QString m_lost; // why the connection is gone; empty while it is up
};

} // namespace vexa::net
