#include "NetServer.h"

#include "AppServer.h"
#include "Certificates.h"
#include "Frame.h"
#include "Protocol.h"

#include <vexa/Error.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpServer>
#include <QThread>
#include <atomic>
#include <future>
#include <list>
#include <unistd.h>

namespace vexa::net {

namespace {

constexpr int kPollMs = 200;           // how often a waiting connection looks for a stop
constexpr int kWriteTimeoutMs = 30000; // a client that reads nothing for this long is dropped
// Connections turned away at once while the server is full; past that they are closed
// without a word rather than each holding a thread.
constexpr int kMaxRefusing = 16;

// "480 分钟", "30 秒", "50 毫秒"
QString durationText(int ms)
{
    if (ms >= 60000 && ms % 60000 == 0)
        return QStringLiteral("%1 分钟").arg(ms / 60000);
    if (ms >= 1000 && ms % 1000 == 0)
        return QStringLiteral("%1 秒").arg(ms / 1000);
    return QStringLiteral("%1 毫秒").arg(ms);
}

const QString kNotLoggedIn = QStringLiteral("尚未登录，请先登录。");

struct Closed
{
    QString reason;
};

// What every connection thread reads; fixed while the server listens.
struct Shared
{
    QMap<QString, server::AppServer *> sets;
    NetServerOptions options;
    QSslConfiguration tls;
    NetServer &owner;
    std::atomic<int> serving{0};
    std::atomic<int> refusing{0};
};

// One client's conversation, run in its connection's thread.
class ClientSession
{
public:
    // refusal: a full server's answer to the client's hello; empty: serve it.
    ClientSession(QSslSocket &socket, const Shared &shared, QString refusal)
        : m_socket(socket), m_shared(shared), m_refusal(std::move(refusal)),
          m_loginDeadline(shared.options.loginTimeoutMs)
    {
        m_activity.start();
    }

    // Answers frames until the client leaves, the stream goes bad, a timeout passes or stop
    // says so. Returns why the connection ends.
    QString serve(QThread &thread)
    {
        try {
            while (!thread.isInterruptionRequested()) {
                if (m_socket.bytesAvailable() == 0 &&
                    !m_socket.waitForReadyRead(int(std::min<qint64>(kPollMs, untilTimeout())))) {
                    if (m_socket.state() != QAbstractSocket::ConnectedState)
                        return QStringLiteral("客户端断开了连接。");
                    checkTimeouts();
                    continue;
                }
                m_reader.feed(m_socket.readAll());
                while (m_reader.hasFrame())
                    handle(m_reader.takeFrame());
                m_activity.restart(); // a long request is not idle time
                if (m_reader.failed())
                    closeWith(m_reader.failure());
            }
            return QStringLiteral("服务器停止。");
        } catch (const Closed &closed) {
            return closed.reason;
        }
    }

    // Tells the client why it is closed (an error with id 0), then closes.
    [[noreturn]] void closeWith(const QString &reason)
    {
        send(ErrorReply{0, reason, ErrorKind::General});
        m_socket.disconnectFromHost();
        throw Closed{reason};
    }

private:
    bool loggedIn() const { return m_connection && m_connection->loggedIn(); }

    qint64 untilTimeout() const
    {
        if (!loggedIn())
            return std::max<qint64>(0, m_loginDeadline.remainingTime());
        return std::max<qint64>(0, m_shared.options.idleTimeoutMs - m_activity.elapsed());
    }

    void checkTimeouts()
    {
        if (!loggedIn() && m_loginDeadline.hasExpired())
            closeWith(QStringLiteral("没有在 %1内登录，服务器断开了连接。")
                          .arg(durationText(m_shared.options.loginTimeoutMs)));
        // Said so the client's next call tells the user why the session is gone.
        if (loggedIn() && m_activity.hasExpired(m_shared.options.idleTimeoutMs))
            closeWith(QStringLiteral("与服务器的连接已断开。连接空闲超过 %1，服务器关闭了它，"
                                     "请重新登录。")
                          .arg(durationText(m_shared.options.idleTimeoutMs)));
    }

    void send(const Message &reply)
    {
        QByteArray frame;
        try {
            frame = writeFrame(encodeMessage(reply));
        } catch (const Error &e) {
            // A result too large for a frame, or a value that cannot travel.
            const qint64 id = std::visit(
                [](const auto &m) -> qint64 {
                    if constexpr (requires { m.id; })
                        return m.id;
                    return 0;
                },
                reply);
            frame = writeFrame(encodeMessage(ErrorReply{id, e.message(), ErrorKind::General}));
        }
        m_socket.write(frame);
        while (m_socket.bytesToWrite() > 0)
            if (!m_socket.waitForBytesWritten(kWriteTimeoutMs))
                throw Closed{QStringLiteral("无法向客户端发送应答。")};
    }

    void handle(const QByteArray &payload)
    {
        Message message;
        try {
            message = decodeMessage(payload);
        } catch (const Error &e) {
            closeWith(e.message());
        }
        if (!m_greeted) {
            if (!std::holds_alternative<Hello>(message))
                closeWith(QStringLiteral("通信协议错误：第一条消息应当是“hello”，收到的是“%1”。")
                              .arg(messageKind(message)));
            if (!m_refusal.isEmpty())
                closeWith(m_refusal);
            m_greeted = true;
            send(Hello{kProtocolName, kProtocolVersion, QStringLiteral(VEXA_PROGRAM_VERSION)});
            return;
        }
        std::visit([this](const auto &m) { answer(m); }, message);
    }

    void answer(const Hello &)
    {
        closeWith(QStringLiteral("通信协议错误：握手已经完成，又收到“hello”。"));
    }

    void answer(const Login &m)
    {
        if (loggedIn()) {
            send(ErrorReply{m.id, QStringLiteral("已经登录，一个连接只能登录一次。")});
            return;
        }
        reply(
            m.id,
            [&] {
                // A refused login leaves no connection: the next attempt may name another set.
                m_connection.reset();
                auto connection = chooseSet(m.set).connect();
                // The operation log names the client's address, not the server's host.
                connection->setMachine(QStringLiteral("%1:%2")
                                           .arg(m_socket.peerAddress().toString())
                                           .arg(m_socket.peerPort()));
                const server::SessionInfo s = connection->login(m.user, m.password);
                m_connection = std::move(connection);
                return Session{m.id, s.userId, s.userCode, s.userName, s.userGroup, s.manager};
            },
            false);
    }

    server::AppServer &chooseSet(const QString &name) const
    {
        if (name.isEmpty()) {
            if (m_shared.sets.size() == 1)
                return *m_shared.sets.first();
            throw Error(QStringLiteral("服务器上有 %1 个账套，登录时请指明账套名称。")
                            .arg(m_shared.sets.size()));
        }
        server::AppServer *set = m_shared.sets.value(name);
        if (!set)
            throw Error(QStringLiteral("服务器上没有名为“%1”的账套。").arg(name));
        return *set;
    }

    void answer(const Request &m)
    {
        reply(m.id, [&] {
            return PacketReply{m.id, m_connection->request(m.provider, m.command)};
        });
    }

    void answer(const ApplyUpdates &m)
    {
        reply(m.id, [&] {
            Applied applied{m.id, 0, m.ownerData};
            m_connection->applyUpdates(m.provider, m.delta, m.maxErrors, applied.errorCount,
                                       applied.ownerData);
            return applied;
        });
    }

    void answer(const Call &m)
    {
        reply(m.id, [&] {
            Result result{m.id, {}, m.args};
            result.value = m_connection->call(m.operation, result.args);
            return result;
        });
    }

    void answer(const ServerTime &m)
    {
        reply(m.id, [&] { return Result{m.id, m_connection->serverDateTime(), {}}; });
    }

    void answer(const Logout &m)
    {
        send(Result{m.id, {}, {}});
        m_socket.disconnectFromHost();
        throw Closed{QStringLiteral("客户端已注销。")};
    }

    // A reply kind coming from a client.
    template <typename T> void answer(const T &m)
    {
        closeWith(QStringLiteral("通信协议错误：客户端不能发送“%1”。").arg(messageKind(m)));
    }

    // Runs a request of a logged-in client; its failure goes back as an error reply.
    // Before a login only the login itself is answered.
    template <typename Work> void reply(qint64 id, Work work, bool needsLogin = true)
    {
        if (needsLogin && !loggedIn()) {
            send(ErrorReply{id, kNotLoggedIn, ErrorKind::General});
            return;
        }
        try {
            send(work());
        } catch (const Error &e) {
            send(ErrorReply{id, e.message(), e.kind()});
        } catch (const std::exception &e) {
            send(ErrorReply{id, errorText(e), ErrorKind::General});
        }
    }

    QSslSocket &m_socket;
    const Shared &m_shared;
    const QString m_refusal;
    std::unique_ptr<server::ServerConnection> m_connection; // made by the login
    FrameReader m_reader;
    bool m_greeted = false;
    QDeadlineTimer m_loginDeadline;
    QElapsedTimer m_activity; // since the client last sent or was last answered
};

} // namespace

// One accepted socket, served in its own thread.
class ConnectionThread : public QThread
{
public:
    ConnectionThread(qintptr descriptor, Shared &shared, bool refuse)
        : m_descriptor(descriptor), m_shared(shared), m_refuse(refuse)
    {}

protected:
    void run() override
    {
        std::atomic<int> &count = m_refuse ? m_shared.refusing : m_shared.serving;
        QSslSocket socket;
        if (!socket.setSocketDescriptor(m_descriptor)) {
            --count;
            return;
        }
        const QString peer =
            QStringLiteral("%1:%2").arg(socket.peerAddress().toString()).arg(socket.peerPort());
        emit m_shared.owner.connectionOpened(peer);
        QString reason = m_shared.options.tls() ? handshake(socket) : QString();
        if (reason.isEmpty()) {
            const QString refusal =
                m_refuse ? QStringLiteral("服务器的连接数已满（%1 个），请稍后再连接。")
                               .arg(m_shared.options.maxConnections)
                         : QString();
            ClientSession session(socket, m_shared, refusal);
            reason = session.serve(*this);
        } // the session's connection goes here, rolling back a transaction left open
        if (socket.state() != QAbstractSocket::UnconnectedState) {
            socket.disconnectFromHost();
            if (socket.state() != QAbstractSocket::UnconnectedState)
                socket.waitForDisconnected(kPollMs);
        }
        --count;
        emit m_shared.owner.connectionClosed(peer, reason);
    }

private:
    // Empty when the connection is encrypted; otherwise why it ends.
    QString handshake(QSslSocket &socket)
    {
        socket.setSslConfiguration(m_shared.tls);
        socket.startServerEncryption();
        const QDeadlineTimer deadline(m_shared.options.handshakeTimeoutMs);
        while (!socket.isEncrypted()) {
            if (isInterruptionRequested())
                return QStringLiteral("服务器停止。");
            if (socket.state() != QAbstractSocket::ConnectedState)
                return QStringLiteral("TLS 握手失败：%1").arg(socket.errorString());
            if (deadline.hasExpired())
                return QStringLiteral("TLS 握手没有在 %1内完成。")
                    .arg(durationText(m_shared.options.handshakeTimeoutMs));
            socket.waitForEncrypted(int(std::min<qint64>(kPollMs, deadline.remainingTime())));
        }
        return QString();
    }

    qintptr m_descriptor;
    Shared &m_shared;
    bool m_refuse;
};

// Accepts in its own thread, so a client in the thread that owns the server (a test, a
// future admin console) can wait on its socket without starving the accepting.
class Acceptor : public QThread
{
public:
    Acceptor(const QMap<QString, server::AppServer *> &sets, const NetServerOptions &options,
             NetServer &owner, QHostAddress address, quint16 port)
        : m_shared{sets, options, tlsConfiguration(options), owner}, m_address(std::move(address)),
          m_port(port)
    {}

    // The port listened on; throws vexa::Error when listening failed.
    quint16 listening() { return m_listening.get_future().get(); }

protected:
    void run() override
    {
        Listener listener(*this);
        if (!listener.listen(m_address, m_port)) {
            m_listening.set_exception(
                std::make_exception_ptr(Error(QStringLiteral("无法在 %1 端口 %2 上监听：%3")
                                                  .arg(m_address.toString())
                                                  .arg(m_port)
                                                  .arg(listener.errorString()))));
            return;
        }
        m_listening.set_value(listener.serverPort());
        exec();
        listener.close();
        for (auto &connection : m_connections)
            connection->requestInterruption();
        for (auto &connection : m_connections)
            connection->wait();
        m_connections.clear();
    }

private:
    class Listener : public QTcpServer
    {
    public:
        explicit Listener(Acceptor &acceptor) : m_acceptor(acceptor) {}

    protected:
        void incomingConnection(qintptr descriptor) override { m_acceptor.accept(descriptor); }

    private:
        Acceptor &m_acceptor;
    };

    static QSslConfiguration tlsConfiguration(const NetServerOptions &options)
    {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        if (options.tls()) {
            tls.setLocalCertificateChain(options.certificateChain);
            tls.setPrivateKey(options.privateKey);
        }
        tls.setProtocol(QSsl::TlsV1_2OrLater);
        tls.setPeerVerifyMode(QSslSocket::VerifyNone); // clients log in with a password
        return tls;
    }

    void accept(qintptr descriptor)
    {
        // Threads of connections that ended are collected as new ones come.
        m_connections.remove_if([](const auto &c) { return c->isFinished(); });
        const bool full = m_shared.serving >= m_shared.options.maxConnections;
        if (full && m_shared.refusing >= kMaxRefusing) {
            ::close(int(descriptor));
            return;
        }
        ++(full ? m_shared.refusing : m_shared.serving);
        m_connections.push_back(std::make_unique<ConnectionThread>(descriptor, m_shared, full));
        m_connections.back()->start();
    }

    Shared m_shared;
    QHostAddress m_address;
    quint16 m_port;
    std::promise<quint16> m_listening;
    std::list<std::unique_ptr<ConnectionThread>> m_connections;
};

void NetServerOptions::loadCertificate(const QString &certificateFile, const QString &keyFile)
{
    if (!QSslSocket::supportsSsl())
        throw Error(
            QStringLiteral("本机的 Qt 没有可用的 TLS 支持（OpenSSL 后端插件），无法加密通信。"));
    const auto read = [](const QString &path, const QString &what) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw Error(QStringLiteral("无法读取%1“%2”：%3").arg(what, path, file.errorString()));
        return file.readAll();
    };
    const QByteArray certificatePem = read(certificateFile, QStringLiteral("证书文件"));
    const QByteArray keyPem = read(keyFile, QStringLiteral("私钥文件"));
    const QList<QSslCertificate> chain = QSslCertificate::fromData(certificatePem, QSsl::Pem);
    if (chain.isEmpty())
        throw Error(QStringLiteral("证书文件“%1”中没有 PEM 格式的证书。").arg(certificateFile));
    try {
        Certificates::checkKeyMatches(certificatePem, keyPem);
    } catch (const Error &e) {
        throw Error(QStringLiteral("私钥文件“%1”不能与证书文件“%2”一起使用：%3")
                        .arg(keyFile, certificateFile, e.message()));
    }
    QSslKey key(keyPem, QSsl::Ec);
    if (key.isNull())
        key = QSslKey(keyPem, QSsl::Rsa);
    if (key.isNull())
        throw Error(QStringLiteral("私钥文件“%1”中的私钥不是 EC 或 RSA 私钥。").arg(keyFile));
    certificateChain = chain;
    privateKey = key;
}

NetServer::NetServer(QMap<QString, server::AppServer *> sets, NetServerOptions options,
                     QObject *parent)
    : QObject(parent), m_sets(std::move(sets)), m_options(std::move(options))
{}

NetServer::NetServer(server::AppServer &set, QObject *parent)
    : NetServer({{setName(set.path()), &set}}, NetServerOptions{}, parent)
{}

QString NetServer::setName(const QString &path)
{
    const QFileInfo file(path);
    return file.suffix() == QLatin1String("vexa") ? file.completeBaseName() : file.fileName();
}

NetServer::~NetServer()
{
    stop();
}

void NetServer::listen(const QHostAddress &address, quint16 port)
{
    if (m_acceptor)
        throw Error(QStringLiteral("服务器已经在监听。"));
    auto acceptor = std::make_unique<Acceptor>(m_sets, m_options, *this, address, port);
    acceptor->start();
    try {
        m_port = acceptor->listening();
    } catch (...) {
        acceptor->wait();
        throw;
    }
    m_acceptor = std::move(acceptor);
}

void NetServer::stop()
{
    if (!m_acceptor)
        return;
    m_acceptor->quit();
    m_acceptor->wait();
    m_acceptor.reset();
    m_port = 0;
}

} // namespace vexa::net
