#include "NetConnection.h"

#include "Certificates.h"
#include "KnownServers.h"

#include <vexa/Error.h>

#include <QDeadlineTimer>
#include <QSslConfiguration>

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
    if (security.insecure) {
        m_socket.connectToHost(address.host, address.port);
        if (!m_socket.waitForConnected(m_timeoutMs))
            throw Error(QStringLiteral("无法连接到服务器 %1：%2")
                            .arg(address.toString(), m_socket.errorString()));
    } else {
        encrypt(address, security);
    }
    m_socket.write(writeFrame(encodeMessage(
        Hello{kProtocolName, kProtocolVersion, QStringLiteral(VEXA_PROGRAM_VERSION)})));
    const Message reply = receive();
    if (const auto *error = std::get_if<ErrorReply>(&reply))
        lose(error->message);
    if (!std::holds_alternative<Hello>(reply))
        lose(QStringLiteral("通信协议错误：服务器没有以“hello”应答。"));
}

void NetConnection::encrypt(const ServerAddress &address, const ClientSecurity &security)
{
    const QString server = address.toString();
    if (!QSslSocket::supportsSsl())
        throw Error(
            QStringLiteral("本机的 Qt 没有可用的 TLS 支持（OpenSSL 后端插件），无法与服务器 "
                           "%1 加密通信。")
                .arg(server));
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setProtocol(QSsl::TlsV1_2OrLater);
    if (!security.caFile.isEmpty()) {
        const QList<QSslCertificate> authorities =
            QSslCertificate::fromPath(security.caFile, QSsl::Pem);
        if (authorities.isEmpty())
            throw Error(QStringLiteral("无法读取 CA 证书文件“%1”，或其中没有 PEM 格式的证书。")
                            .arg(security.caFile));
        tls.setCaCertificates(authorities);
        tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    } else {
        // Checked against the pinned fingerprint once the handshake is done, before
        // anything is sent.
        tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    }
    m_socket.setSslConfiguration(tls);
    m_socket.connectToHostEncrypted(address.host, address.port);
    if (!m_socket.waitForConnected(m_timeoutMs))
        throw Error(QStringLiteral("无法连接到服务器 %1：%2").arg(server, m_socket.errorString()));
    if (!m_socket.waitForEncrypted(m_timeoutMs)) {
        QStringList reasons;
        for (const QSslError &e : m_socket.sslHandshakeErrors())
            reasons.append(e.errorString());
        m_socket.abort();
        if (!reasons.isEmpty())
            throw Error(
                QStringLiteral("服务器 %1 的证书未通过 CA 证书文件“%2”的验证，连接已拒绝：%3")
                    .arg(server, security.caFile, reasons.join(QStringLiteral("；"))));
        throw Error(
            QStringLiteral("无法与服务器 %1 建立加密连接：%2").arg(server, m_socket.errorString()));
    }
    if (security.caFile.isEmpty())
        checkPinned(server, security);
}

// Trust on first use: an unknown server is asked about and pinned, a pinned one must show
// the same certificate again.
void NetConnection::checkPinned(const QString &server, const ClientSecurity &security)
{
    const QSslCertificate certificate = m_socket.peerCertificate();
    const auto refuse = [this](const QString &reason) {
        m_socket.abort();
        throw Error(reason);
    };
    if (certificate.isNull())
        refuse(QStringLiteral("服务器 %1 没有出示证书，连接已拒绝。").arg(server));
    const QString fingerprint = Certificates::fingerprintOfDer(certificate.toDer());
    KnownServers known(security.knownServersFile);
    const QString pinned = known.pinned(server);
    if (pinned == fingerprint)
        return;
    if (!pinned.isEmpty())
        refuse(QStringLiteral("服务器 %1 的证书与以前信任的不同，连接已拒绝：记录的指纹是 %2，"
                              "现在的指纹是 %3。这可能是有人冒充服务器。如果管理员确实更换了"
                              "证书，请向管理员核对新指纹，然后从文件“%4”中删除“%1”这一行，"
                              "再重新连接。")
                   .arg(server, pinned, fingerprint, known.path()));
    if (!security.trustNewServer)
        refuse(QStringLiteral("服务器 %1 的证书尚未被信任，连接已拒绝。它的指纹（SHA-256）是 "
                              "%2。请向服务器管理员核对这个指纹，无误后把一行“%1 %2”加入"
                              "文件“%3”，再重新连接。")
                   .arg(server, fingerprint, known.path()));
    if (!security.trustNewServer(server, fingerprint))
        refuse(QStringLiteral("没有信任服务器 %1 的证书，连接已取消。").arg(server));
    known.pin(server, fingerprint);
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

// Between calls nothing is due from the server but its reason for closing the connection
// (an idle timeout, say), which may have come in while the caller's event loop ran.
void NetConnection::checkStillOpen()
{
    m_reader.feed(m_socket.readAll());
    if (m_reader.hasFrame()) {
        const Message message = receive();
        if (const auto *error = std::get_if<ErrorReply>(&message); error && error->id == 0)
            lose(error->message);
        lose(QStringLiteral("通信协议错误：服务器发来了未请求的“%1”。").arg(messageKind(message)));
    }
    if (m_reader.failed())
        lose(m_reader.failure());
    if (m_socket.state() != QAbstractSocket::ConnectedState)
        lose(kLost);
}

Message NetConnection::exchange(Message request)
{
    if (!m_lost.isEmpty())
        throw Error(kLost);
    checkStillOpen();
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
    return server::SessionInfo{s.userId, s.userCode, s.userName, s.userGroup, s.manager, {}};
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
