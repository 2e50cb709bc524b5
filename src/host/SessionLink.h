#pragma once

#include "AppServer.h"
#include "NetConnection.h"

#include <QDateTime>
#include <QString>
#include <QThread>
#include <exception>
#include <functional>
#include <memory>

namespace vexa::host {

// Where the host's session runs: an account-set file served in-process, or a set on a
// vexa-server. The link is the connection every dataset of the host and the plug-in holds;
// it stays the same object for the session's life, also when a login over the network
// replaces the socket underneath (a server allows one login per connection, and a lost
// connection is gone for good).
class SessionLink : public IRemoteConnection, public IAppServer
{
public:
    ~SessionLink() override = default;

    // Logs in; a refusal throws vexa::Error with the server's text and leaves the current
    // login as it was.
    virtual server::SessionInfo login(const QString &userCode, const QString &password) = 0;
    // login() in two halves, so that the caller can prepare what needs no login while the
    // password is checked: finishLogin() waits for the check, then answers as login() does or
    // throws its refusal. Between the two nothing may use the link. Here the check is done at
    // once; a set file checks on a worker thread.
    virtual void beginLogin(const QString &userCode, const QString &password);
    virtual server::SessionInfo finishLogin();
    virtual bool loggedIn() const = 0;
    virtual const server::SessionInfo &session() const = 0;

    virtual QDateTime serverDateTime() = 0;
    virtual QString lastError() = 0;
    // The set cannot be written: pages read, saves are refused.
    virtual bool readOnly() = 0;
    // The connection to the server was lost; calls fail until a new login.
    virtual bool lost() const { return false; }

    // What the user sees as the set: the file, or "server/set".
    virtual QString place() const = 0;
    virtual bool remote() const { return false; }

    // The in-process connection (tests reach the database through it); null over a server.
    virtual server::ServerConnection *local() { return nullptr; }

    IAppServer *appServer() override { return this; }
    using IAppServer::call;

protected:
    // What the login begun answered.
    server::SessionInfo m_begun;
    std::exception_ptr m_begunFailure;
};

// A set file opened in this process.
class LocalLink : public SessionLink
{
public:
    explicit LocalLink(std::unique_ptr<server::AppServer> server);
    ~LocalLink() override;

    server::SessionInfo login(const QString &userCode, const QString &password) override;
    // The server's whole login (the lock, the argon2 check, the count of failures) runs on a
    // worker thread.
    void beginLogin(const QString &userCode, const QString &password) override;
    server::SessionInfo finishLogin() override;
    bool loggedIn() const override { return m_connection->loggedIn(); }
    const server::SessionInfo &session() const override { return m_connection->session(); }
    QDateTime serverDateTime() override { return m_connection->serverDateTime(); }
    QString lastError() override { return m_connection->lastError(); }
    bool readOnly() override { return m_server->readOnly(); }
    QString place() const override { return m_server->path(); }
    server::ServerConnection *local() override { return m_connection.get(); }

    DataPacket request(const QString &provider, const QString &commandText) override;
    void applyUpdates(const QString &provider, const DeltaPacket &delta, int maxErrors,
                      int &errorCount, QVariant &ownerData) override;
    QVariant call(const QString &operation, QVariantList &args) override;
    using IAppServer::call;

private:
    std::unique_ptr<server::AppServer> m_server;
    std::unique_ptr<server::ServerConnection> m_connection;
    std::unique_ptr<QThread> m_checking; // the login begun, until finishLogin
};

// A set on a vexa-server. Each login opens a new connection; the old one goes only when
// the new login succeeded.
class NetLink : public SessionLink
{
public:
    // The server, the set's name there (empty: its only set) and how to check the server.
    NetLink(net::ServerAddress address, QString set, net::ClientSecurity security,
            int timeoutMs = net::NetConnection::kDefaultTimeoutMs);
    ~NetLink() override;

    server::SessionInfo login(const QString &userCode, const QString &password) override;
    bool loggedIn() const override { return m_connection != nullptr; }
    const server::SessionInfo &session() const override { return m_session; }
    QDateTime serverDateTime() override;
    QString lastError() override;
    bool readOnly() override;
    bool lost() const override { return m_connection && !m_connection->connected(); }
    QString place() const override;
    bool remote() const override { return true; }

    const net::ServerAddress &address() const { return m_address; }
    const QString &setName() const { return m_set; }

    DataPacket request(const QString &provider, const QString &commandText) override;
    void applyUpdates(const QString &provider, const DeltaPacket &delta, int maxErrors,
                      int &errorCount, QVariant &ownerData) override;
    QVariant call(const QString &operation, QVariantList &args) override;
    using IAppServer::call;

    // Told once when a call finds the connection lost.
    std::function<void()> onLost;

private:
    net::NetConnection &live();
    // Runs a call on the connection, telling onLost when the connection went with it.
    template <typename Work> auto watched(Work work) -> decltype(work());

    net::ServerAddress m_address;
    QString m_set;
    net::ClientSecurity m_security;
    int m_timeoutMs;
    std::unique_ptr<net::NetConnection> m_connection; // null until the first login
    server::SessionInfo m_session;
    std::optional<bool> m_readOnly; // asked once per login
    bool m_toldLost = false;
};

} // namespace vexa::host
