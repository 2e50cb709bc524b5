#pragma once

#include <DataPacket.h>
#include <vexa/Error.h>

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <variant>

namespace vexa::net {

// The messages between a client and vexa-server (docs/protocol.md). Each is one CBOR map in
// one frame. Requests carry an id (1 and up) the reply echoes; an error reply with id 0
// answers no request (a refused hello, a malformed frame) and the connection closes after it.

constexpr int kProtocolVersion = 2; // 2: a provider's reply packet in CBOR, not as text
inline const QString kProtocolName = QStringLiteral("vexa");

// First message each way: who speaks what.
struct Hello
{
    QString protocol = kProtocolName;
    int version = kProtocolVersion;
    QString program; // the sender's program version, for the message when versions differ
    bool operator==(const Hello &) const = default;
};

struct Login
{
    qint64 id = 0;
    QString set; // the account set's name on the server; empty: the server's only set
    QString user;
    QString password;
    bool operator==(const Login &) const = default;
};

// Rows of a provider under a command text (IRemoteConnection::request).
struct Request
{
    qint64 id = 0;
    QString provider;
    QString command;
    bool operator==(const Request &) const = default;
};

struct ApplyUpdates
{
    qint64 id = 0;
    QString provider;
    DeltaPacket delta;
    int maxErrors = -1;
    QVariant ownerData;
};

// A named operation (IAppServer::call).
struct Call
{
    qint64 id = 0;
    QString operation;
    QVariantList args;
};

struct ServerTime
{
    qint64 id = 0;
    bool operator==(const ServerTime &) const = default;
};

struct Logout
{
    qint64 id = 0;
    bool operator==(const Logout &) const = default;
};

// Reply to Login.
struct Session
{
    qint64 id = 0;
    QString userId;
    QString userCode;
    QString userName;
    QString userGroup;
    bool manager = false;
    bool operator==(const Session &) const = default;
};

// Reply to Request.
struct PacketReply
{
    qint64 id = 0;
    DataPacket packet;
    bool operator==(const PacketReply &) const = default;
};

// Reply to ApplyUpdates.
struct Applied
{
    qint64 id = 0;
    int errorCount = 0;
    QVariant ownerData;
};

// Reply to Call (value, and args as the operation left them), ServerTime (value) and
// Logout (null).
struct Result
{
    qint64 id = 0;
    QVariant value;
    QVariantList args;
};

// A refused request: the message to show and what kind of failure it was.
struct ErrorReply
{
    qint64 id = 0;
    QString message;
    ErrorKind kind = ErrorKind::General;
    bool operator==(const ErrorReply &) const = default;
};

using Message = std::variant<Hello, Login, Request, ApplyUpdates, Call, ServerTime, Logout, Session,
                             PacketReply, Applied, Result, ErrorReply>;

// The CBOR bytes of a message (unframed). Throws vexa::Error for a value outside the closed
// set of WireValue.h or a text that is not valid UTF-16 in a field other than a value.
QByteArray encodeMessage(const Message &message);

// Parses one frame's payload. Throws vexa::Error in Chinese for anything encodeMessage does
// not write: malformed or trailing CBOR, a missing, unknown, repeated or mistyped field, an
// unknown kind. A Hello of another protocol or version is refused with a message naming both
// sides' versions.
Message decodeMessage(const QByteArray &payload);

// The kind name a message travels under ("hello", "call", ...).
QString messageKind(const Message &message);

// Same kind and identical fields (values compared with identicalValues).
bool identicalMessages(const Message &a, const Message &b);

} // namespace vexa::net
