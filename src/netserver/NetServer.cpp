#include "NetServer.h"

#include "AppServer.h"
#include "Frame.h"
#include "Protocol.h"

#include <vexa/Error.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <future>
#include <list>

namespace vexa::net {

namespace {

constexpr int kPollMs = 200;           // how often a waiting connection looks for a stop
constexpr int kWriteTimeoutMs = 30000; // a client that reads nothing for this long is dropped

const QString kNotLoggedIn = QStringLiteral("尚未登录，请先登录。");

struct Closed
{
    QString reason;
};

// One client's conversation, run in its connection's thread.
class ClientSession
{
public:
    ClientSession(QTcpSocket &socket, server::ServerConnection &connection)
        : m_socket(socket), m_connection(connection)
    {}

    // Answers frames until the client leaves, the stream goes bad or stop says so. Returns
    // why the connection ends.
    QString serve(QThread &thread)
    {
        try {
            while (!thread.isInterruptionRequested()) {
                if (m_socket.bytesAvailable() == 0 && !m_socket.waitForReadyRead(kPollMs)) {
                    if (m_socket.state() != QAbstractSocket::ConnectedState)
                        return QStringLiteral("客户端断开了连接。");
                    continue;
                }
                m_reader.feed(m_socket.readAll());
                while (m_reader.hasFrame())
                    handle(m_reader.takeFrame());
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
        if (m_connection.loggedIn()) {
            send(ErrorReply{m.id, QStringLiteral("已经登录，一个连接只能登录一次。")});
            return;
        }
        reply(
            m.id,
            [&] {
                const server::SessionInfo s = m_connection.login(m.user, m.password);
                return Session{m.id, s.userId, s.userCode, s.userName, s.userGroup, s.manager};
            },
            false);
    }

    void answer(const Request &m)
    {
        reply(m.id, [&] { return PacketReply{m.id, m_connection.request(m.provider, m.command)}; });
    }

    void answer(const ApplyUpdates &m)
    {
        reply(m.id, [&] {
            Applied applied{m.id, 0, m.ownerData};
            m_connection.applyUpdates(m.provider, m.delta, m.maxErrors, applied.errorCount,
                                      applied.ownerData);
            return applied;
        });
    }

    void answer(const Call &m)
    {
        reply(m.id, [&] {
            Result result{m.id, {}, m.args};
            result.value = m_connection.call(m.operation, result.args);
            return result;
        });
    }

    void answer(const ServerTime &m)
    {
        reply(m.id, [&] { return Result{m.id, m_connection.serverDateTime(), {}}; });
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
        if (needsLogin && !m_connection.loggedIn()) {
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

    QTcpSocket &m_socket;
    server::ServerConnection &m_connection;
    FrameReader m_reader;
    bool m_greeted = false;
};

} // namespace

// One accepted socket, served in its own thread.
class ConnectionThread : public QThread
{
public:
    ConnectionThread(qintptr descriptor, server::AppServer &set, NetServer &owner)
        : m_descriptor(descriptor), m_set(set), m_owner(owner)
    {}

protected:
    void run() override
    {
        QTcpSocket socket;
        if (!socket.setSocketDescriptor(m_descriptor))
            return;
        const QString peer =
            QStringLiteral("%1:%2").arg(socket.peerAddress().toString()).arg(socket.peerPort());
        emit m_owner.connectionOpened(peer);
        QString reason;
        {
            std::unique_ptr<server::ServerConnection> connection;
            try {
                connection = m_set.connect();
            } catch (const std::exception &e) {
                reason = errorText(e);
            }
            if (connection) {
                ClientSession session(socket, *connection);
                reason = session.serve(*this);
            } else {
                socket.write(writeFrame(encodeMessage(ErrorReply{0, reason, ErrorKind::General})));
                socket.waitForBytesWritten(kPollMs);
            }
        } // the connection goes here, rolling back a transaction left open
        if (socket.state() != QAbstractSocket::UnconnectedState) {
            socket.disconnectFromHost();
            if (socket.state() != QAbstractSocket::UnconnectedState)
                socket.waitForDisconnected(kPollMs);
        }
        emit m_owner.connectionClosed(peer, reason);
    }

private:
    qintptr m_descriptor;
    server::AppServer &m_set;
    NetServer &m_owner;
};

// Accepts in its own thread, so a client in the thread that owns the server (a test, a
// future admin console) can wait on its socket without starving the accepting.
class Acceptor : public QThread
{
public:
    Acceptor(server::AppServer &set, NetServer &owner, QHostAddress address, quint16 port)
        : m_set(set), m_owner(owner), m_address(std::move(address)), m_port(port)
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

    void accept(qintptr descriptor)
    {
        // Threads of connections that ended are collected as new ones come.
        m_connections.remove_if([](const auto &c) { return c->isFinished(); });
        m_connections.push_back(std::make_unique<ConnectionThread>(descriptor, m_set, m_owner));
        m_connections.back()->start();
    }

    server::AppServer &m_set;
    NetServer &m_owner;
    QHostAddress m_address;
    quint16 m_port;
    std::promise<quint16> m_listening;
    std::list<std::unique_ptr<ConnectionThread>> m_connections;
};

NetServer::NetServer(server::AppServer &set, QObject *parent) : QObject(parent), m_set(set) {}

NetServer::~NetServer()
{
    stop();
}

void NetServer::listen(const QHostAddress &address, quint16 port)
{
    if (m_acceptor)
        throw Error(QStringLiteral("服务器已经在监听。"));
    auto acceptor = std::make_unique<Acceptor>(m_set, *this, address, port);
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
