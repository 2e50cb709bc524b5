#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <memory>

namespace vexa::server {
class AppServer;
}

namespace vexa::net {

class Acceptor;

// Serves one account set to many clients over TCP (no TLS yet). A thread accepts; each
// connection gets its own thread with its own ServerConnection, made in that thread (a
// database connection belongs to the thread that opened it), answering its client's
// messages in order. A bad frame or message closes that connection only; a connection that
// closes inside a transaction has it rolled back (its ServerConnection is destroyed).
class NetServer : public QObject
{
    Q_OBJECT
public:
    // The account set must outlive the server.
    explicit NetServer(server::AppServer &set, QObject *parent = nullptr);
    // Stops listening, closes every connection and waits for their threads.
    ~NetServer() override;

    // Starts listening; port 0 picks a free one (port() tells which). Throws vexa::Error in
    // Chinese when the address cannot be bound.
    void listen(const QHostAddress &address, quint16 port);
    quint16 port() const { return m_port; }

    // Stops accepting and closes every connection. Also done by the destructor.
    void stop();

signals:
    // From the connections' threads; "peer" is address:port.
    void connectionOpened(const QString &peer);
    void connectionClosed(const QString &peer, const QString &reason);

private:
    server::AppServer &m_set;
    std::unique_ptr<Acceptor> m_acceptor;
    quint16 m_port = 0;
};

} // namespace vexa::net
