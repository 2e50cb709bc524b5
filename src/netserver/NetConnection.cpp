#include "NetConnection.h"

#include <vexa/Error.h>

#include <QDeadlineTimer>

namespace vexa::net {

namespace {

const QString kLost = QStringLiteral("与服务器的连接已断开。");

template <typename T> T expect(Message reply)
{
    if (auto *r = std::get_if<T>(&reply))
        return std::move(*r);
    throw Error(QStringLiteral("通信协议错误：服务器的应答是“%1”，不是预期的应答。")
                    .arg(messageKind(reply)));
}

} // namespace

NetConnection::NetConnection(const ServerAddress &address, const ClientSecurity &security,
                             int timeoutMs)
    : m_timeoutMs(timeoutMs)
{
    if (!security.insecure)
        throw Error(QStringLiteral("尚不支持加密通信（TLS）。"));
    m_socket.connectToHost(address.host, address.port);
    if (!m_socket.waitForConnected(m_timeoutMs))
        throw Error(QStringLiteral("无法连接到服务器 %1：%2")
                        .arg(address.toString(), m_socket.errorString()));
    m_socket.write(writeFrame(encodeMessage(
        Hello{kProtocolName, kProtocolVersion, QStringLiteral(VEXA_PROGRAM_VERSION)})));
    const Message reply = receive();
    if (const auto *error = std::get_if<ErrorReply>(&reply))
        lose(error->message);
    if (!std::holds_alternative<Hello>(reply))
        lose(QStringLiteral("通信协议错误：服务器没有以“hello”应答。"));
}

NetConnection::~NetConnection()
{
    m_socket.abort();
}

void NetConnection::lose(const QString &reason)
{
    m_lost = reason;
    m_socket.abort();
    throw Error(reason);
}

Message NetConnection::receive()
{
    const QDeadlineTimer deadline(m_timeoutMs);
    while (!m_reader.hasFrame()) {
        if (m_reader.failed())
            lose(m_reader.failure());
        if (m_socket.bytesAvailable() == 0) {
            if (m_socket.state() != QAbstractSocket::ConnectedState)
                lose(kLost);
            if (!m_socket.waitForReadyRead(int(deadline.remainingTime()))) {
                if (deadline.hasExpired())
                    lose(QStringLiteral("服务器在 %1 秒内没有应答，连接已断开。")
                             .arg(m_timeoutMs / 1000));
                continue;
            }
        }
        m_reader.feed(m_socket.readAll());
    }
    try {
        return decodeMessage(m_reader.takeFrame());
    } catch (const Error &e) {
        lose(e.message());
    }
}

Message NetConnection::exchange(Message request)
{
    if (!m_lost.isEmpty())
        throw Error(kLost);
    const qint64 id = ++m_lastId;
    std::visit(
        [id](auto &m) {
            if constexpr (requires { m.id; })
                m.id = id;
        },
        request);
    // Refused before anything is sent: the connection stays usable.
    const QByteArray frame = writeFrame(encodeMessage(request));
    m_socket.write(frame);
    const QDeadlineTimer deadline(m_timeoutMs);
    while (m_socket.bytesToWrite() > 0)
        if (!m_socket.waitForBytesWritten(int(deadline.remainingTime())))
            lose(kLost);
    Message reply = receive();
    const qint64 replyId = std::visit(
        [](const auto &m) -> qint64 {
            if constexpr (requires { m.id; })
                return m.id;
            return -1;
        },
        reply);
    if (const auto *error = std::get_if<ErrorReply>(&reply)) {
        if (error->id == 0) // the server closes the connection, saying why
            lose(error->message);
        if (error->id == id)
            throw Error(error->message, error->kind);
    }
    if (replyId != id)
        lose(QStringLiteral("通信协议错误：服务器应答了编号 %1，而请求的编号是 %2。")
                 .arg(replyId)
                 .arg(id));
    return reply;
}

server::SessionInfo NetConnection::login(const QString &set, const QString &userCode,
                                         const QString &password)
{
    const auto s = expect<Session>(exchange(Login{0, set, userCode, password}));
    return server::SessionInfo{s.userId, s.userCode, s.userName, s.userGroup, s.manager};
}

DataPacket NetConnection::request(const QString &provider, const QString &commandText)
{
    return expect<PacketReply>(exchange(Request{0, provider, commandText})).packet;
}

void NetConnection::applyUpdates(const QString &provider, const DeltaPacket &delta, int maxErrors,
                                 int &errorCount, QVariant &ownerData)
{
    const auto applied =
        expect<Applied>(exchange(ApplyUpdates{0, provider, delta, maxErrors, ownerData}));
    errorCount = applied.errorCount;
    ownerData = applied.ownerData;
}

QVariant NetConnection::call(const QString &operation, QVariantList &args)
{
    auto result = expect<Result>(exchange(Call{0, operation, args}));
    args = std::move(result.args);
    return result.value;
}

QDateTime NetConnection::serverDateTime()
{
    return expect<Result>(exchange(ServerTime{})).value.toDateTime();
}

QString NetConnection::lastError()
{
    return call(QStringLiteral("GetLastErrorInfo")).toString();
}

void NetConnection::logout()
{
    if (!m_lost.isEmpty())
        return;
    expect<Result>(exchange(Logout{}));
    m_lost = kLost;
    m_socket.disconnectFromHost();
}

} // namespace vexa::net
