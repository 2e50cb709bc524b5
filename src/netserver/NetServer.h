#pragma once

#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <memory>

namespace vexa::server {
class AppServer;
}

namespace vexa::net {

class Acceptor;

struct NetServerOptions
{
    // The server's certificate (followed by any intermediate CA certificates) and its
    // private key; no certificate: plain TCP.
    QList<QSslCertificate> certificateChain;
    QSslKey privateKey;
    // A TLS handshake not done by then closes the connection.
    int handshakeTimeoutMs = 10 * 1000;
    // From the handshake to a successful login; long enough for a user asked whether to
    // trust a new server's certificate.
    int loginTimeoutMs = 60 * 1000;
    // A logged-in connection that sends nothing for this long is closed; an accountant away
    // at lunch keeps the session.
    int idleTimeoutMs = 480 * 60 * 1000;
    // Connections served at once; one more gets an error reply saying the server is full.
    int maxConnections = 100;

    bool tls() const { return !certificateChain.isEmpty(); }

    // Reads a PEM certificate (chain) and private key (EC or RSA, unencrypted) into options.
    // Throws vexa::Error in Chinese for a file that is missing, unreadable or holds no
    // certificate or key, and for a key that does not belong to the certificate.
    void loadCertificate(const QString &certificateFile, const QString &keyFile);
};

// Serves account sets to many clients over TLS (or plain TCP). A thread accepts; each
// connection gets its own thread, which does the TLS handshake and answers its client's
// messages in order; at login it makes a ServerConnection for the set the client names, in
// that thread (a database connection belongs to the thread that opened it). A bad frame or
// message, or a timeout, closes that connection only; a connection that closes inside a
// transaction has it rolled back (its ServerConnection is destroyed).
class NetServer : public QObject
{
    Q_OBJECT
public:
    // Named sets (see setName); each must outlive the server.
    NetServer(QMap<QString, server::AppServer *> sets, NetServerOptions options,
              QObject *parent = nullptr);
    // One set over plain TCP with the default limits.
    explicit NetServer(server::AppServer &set, QObject *parent = nullptr);
    // Stops listening, closes every connection and waits for their threads.
    ~NetServer() override;

    // The name a set file is served under when none is given: its base name without .vexa.
    static QString setName(const QString &path);

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
    QMap<QString, server::AppServer *> m_sets;
    NetServerOptions m_options;
    std::unique_ptr<Acceptor> m_acceptor;
    quint16 m_port = 0;
};

} // namespace vexa::net
