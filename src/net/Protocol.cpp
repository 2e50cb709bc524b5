#include "Protocol.h"

#include "WirePacket.h"
#include "WireValue.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborParserError>
#include <QSet>
#include <limits>

namespace vexa::net {

namespace {

constexpr qint64 kMaxId = std::numeric_limits<qint64>::max();
constexpr qint64 kIntMin = std::numeric_limits<int>::min();
constexpr qint64 kIntMax = std::numeric_limits<int>::max();

[[noreturn]] void malformed(const QString &what)
{
    throw Error(QStringLiteral("通信协议错误：%1").arg(what));
}

// The fields of one received map: each is taken once by name and typed; whatever is left
// at the end is an unknown field.
class Fields
{
public:
    Fields(const QCborMap &map, QString kind) : m_map(map), m_kind(std::move(kind)) {}

    QCborValue take(const QString &name)
    {
        const QCborValue v = m_map.value(name);
        if (v.isUndefined() && !m_map.contains(name))
            malformed(QStringLiteral("消息“%1”缺少字段“%2”。").arg(m_kind, name));
        m_used.insert(name);
        return v;
    }
    QString text(const QString &name)
    {
        const QCborValue v = take(name);
        if (!v.isString())
            malformed(QStringLiteral("消息“%1”的字段“%2”应为文本。").arg(m_kind, name));
        return v.toString();
    }
    qint64 integer(const QString &name, qint64 low, qint64 high)
    {
        const QCborValue v = take(name);
        if (!v.isInteger())
            malformed(QStringLiteral("消息“%1”的字段“%2”应为整数。").arg(m_kind, name));
        const qint64 n = v.toInteger();
        if (n < low || n > high)
            malformed(
                QStringLiteral("消息“%1”的字段“%2”的值 %3 超出范围。").arg(m_kind, name).arg(n));
        return n;
    }
    bool boolean(const QString &name)
    {
        const QCborValue v = take(name);
        if (!v.isBool())
            malformed(QStringLiteral("消息“%1”的字段“%2”应为 true 或 false。").arg(m_kind, name));
        return v.toBool();
    }
    QByteArray bytes(const QString &name)
    {
        const QCborValue v = take(name);
        if (!v.isByteArray())
            malformed(QStringLiteral("消息“%1”的字段“%2”应为字节串。").arg(m_kind, name));
        return v.toByteArray();
    }
    QVariant value(const QString &name) { return decodeValue(take(name), name); }
    QVariantList list(const QString &name)
    {
        const QCborValue v = take(name);
        if (!v.isArray())
            malformed(QStringLiteral("消息“%1”的字段“%2”应为列表。").arg(m_kind, name));
        return decodeValue(v, name).toList();
    }
    template <typename Packet, typename Read> Packet packet(const QString &name, Read read)
    {
        const QString t = text(name);
        try {
            return read(t);
        } catch (const Error &e) {
            malformed(QStringLiteral("字段“%1”中的数据包有误：%2").arg(name, e.message()));
        }
    }
    qint64 requestId() { return integer(QStringLiteral("id"), 1, kMaxId); }
    qint64 replyId() { return integer(QStringLiteral("id"), 0, kMaxId); }

    void finish() const
    {
        for (auto it = m_map.constBegin(); it != m_map.constEnd(); ++it)
            if (!m_used.contains(it.key().toString()))
                malformed(
                    QStringLiteral("消息“%1”含有未知字段“%2”。").arg(m_kind, it.key().toString()));
    }

private:
    const QCborMap &m_map;
    QString m_kind;
    QSet<QString> m_used;
};

QCborValue text(const QString &s, const char *field)
{
    if (!s.isValidUtf16())
        throw Error(
            QStringLiteral("字段“%1”的文本含有无效字符，不能发送。").arg(QLatin1String(field)));
    return QCborValue(s);
}

QCborMap start(const char *kind)
{
    QCborMap m;
    m.insert(QStringLiteral("kind"), QString::fromLatin1(kind));
    return m;
}

QCborArray encodeList(const QVariantList &list)
{
    return encodeValue(list).toArray();
}

struct Encoder
{
    QCborMap operator()(const Hello &m) const
    {
        QCborMap c = start("hello");
        c.insert(QStringLiteral("protocol"), text(m.protocol, "protocol"));
        c.insert(QStringLiteral("version"), m.version);
        c.insert(QStringLiteral("program"), text(m.program, "program"));
        return c;
    }
    QCborMap operator()(const Login &m) const
    {
        QCborMap c = start("login");
        c.insert(QStringLiteral("id"), m.id);
        c.insert(QStringLiteral("set"), text(m.set, "set"));
        c.insert(QStringLiteral("user"), text(m.user, "user"));
        c.insert(QStringLiteral("password"), text(m.password, "password"));
        return c;
    }
    QCborMap operator()(const Request &m) const
    {
        QCborMap c = start("request");
        c.insert(QStringLiteral("id"), m.id);
        c.insert(QStringLiteral("provider"), text(m.provider, "provider"));
        c.insert(QStringLiteral("command"), text(m.command, "command"));
        return c;
    }
    QCborMap operator()(const ApplyUpdates &m) const
    {
        QCborMap c = start("applyUpdates");
        c.insert(QStringLiteral("id"), m.id);
        c.insert(QStringLiteral("provider"), text(m.provider, "provider"));
        c.insert(QStringLiteral("delta"), writeDeltaPacket(m.delta));
        c.insert(QStringLiteral("maxErrors"), m.maxErrors);
        c.insert(QStringLiteral("ownerData"), encodeValue(m.ownerData));
        return c;
    }
    QCborMap operator()(const Call &m) const
    {
        QCborMap c = start("call");
        c.insert(QStringLiteral("id"), m.id);
        c.insert(QStringLiteral("operation"), text(m.operation, "operation"));
        c.insert(QStringLiteral("args"), encodeList(m.args));
        return c;
    }
    QCborMap operator()(const ServerTime &m) const
    {
        QCborMap c = start("serverTime");
        c.insert(QStringLiteral("id"), m.id);
        return c;
    }
    QCborMap operator()(const Logout &m) const
    {
        QCborMap c = start("logout");
        c.insert(QStringLiteral("id"), m.id);
        return c;
    }
    QCborMap operator()(const Session &m) const
    {
        QCborMap c = start("session");
        c.insert(QStringLiteral("id"), m.id);
        c.insert(QStringLiteral("userId"), text(m.userId, "userId"));
        c.insert(QStringLiteral("userCode"), text(m.userCode, "userCode"));
        c.insert(QStringLiteral("userName"), text(m.userName, "userName"));
        c.insert(QStringLiteral("userGroup"), text(m.userGroup, "userGroup"));
        c.insert(QStringLiteral("manager"), m.manager);
        return c;
    }
    QCborMap operator()(const PacketReply &m) const
    {
        QCborMap c = start("packet");
        c.insert(QStringLiteral("id"), m.id);
        c.insert(QStringLiteral("packet"), writeWirePacket(m.packet));
        return c;
    }
    QCborMap operator()(const Applied &m) const
    {
        QCborMap c = start("applied");
        c.insert(QStringLiteral("id"), m.id);
        c.insert(QStringLiteral("errorCount"), m.errorCount);
        c.insert(QStringLiteral("ownerData"), encodeValue(m.ownerData));
        return c;
    }
    QCborMap operator()(const Result &m) const
    {
        QCborMap c = start("result");
        c.insert(QStringLiteral("id"), m.id);
        c.insert(QStringLiteral("value"), encodeValue(m.value));
        c.insert(QStringLiteral("args"), encodeList(m.args));
        return c;
    }
    QCborMap operator()(const ErrorReply &m) const
    {
        QCborMap c = start("error");
        c.insert(QStringLiteral("id"), m.id);
        // A message to show, never refused: a character UTF-8 cannot hold becomes U+FFFD.
        c.insert(QStringLiteral("message"), QString::fromUtf8(m.message.toUtf8()));
        c.insert(QStringLiteral("errorKind"), int(m.kind));
        return c;
    }
};

// Protocol and version come first, before any other check, so a hello of another version
// is refused for its version even when its fields differ from ours.
Hello decodeHello(Fields &f, const QCborMap &map)
{
    const QCborValue protocol = map.value(QStringLiteral("protocol"));
    if (!protocol.isString() || protocol.toString() != kProtocolName)
        malformed(QStringLiteral("对方使用的不是 Vexa 通信协议。"));
    const QCborValue version = map.value(QStringLiteral("version"));
    if (version.isInteger() && version.toInteger() != kProtocolVersion) {
        const QCborValue program = map.value(QStringLiteral("program"));
        throw Error(
            QStringLiteral("对方（程序版本 %1）使用 Vexa 通信协议第 %2 版，本程序只支持第 %3 "
                           "版。请把客户端和服务器升级到同一版本。")
                .arg(program.isString() ? program.toString() : QStringLiteral("未知"))
                .arg(version.toInteger())
                .arg(kProtocolVersion));
    }
    Hello h;
    h.protocol = f.text(QStringLiteral("protocol"));
    h.version = int(f.integer(QStringLiteral("version"), kProtocolVersion, kProtocolVersion));
    h.program = f.text(QStringLiteral("program"));
    return h;
}

Message decodeFields(const QString &kind, Fields &f, const QCborMap &map)
{
    if (kind == QLatin1String("hello"))
        return decodeHello(f, map);
    if (kind == QLatin1String("login")) {
        Login m;
        m.id = f.requestId();
        m.set = f.text(QStringLiteral("set"));
        m.user = f.text(QStringLiteral("user"));
        m.password = f.text(QStringLiteral("password"));
        return m;
    }
    if (kind == QLatin1String("request")) {
        Request m;
        m.id = f.requestId();
        m.provider = f.text(QStringLiteral("provider"));
        m.command = f.text(QStringLiteral("command"));
        return m;
    }
    if (kind == QLatin1String("applyUpdates")) {
        ApplyUpdates m;
        m.id = f.requestId();
        m.provider = f.text(QStringLiteral("provider"));
        m.delta = f.packet<DeltaPacket>(QStringLiteral("delta"), readDeltaPacket);
        m.maxErrors = int(f.integer(QStringLiteral("maxErrors"), -1, kIntMax));
        m.ownerData = f.value(QStringLiteral("ownerData"));
        return m;
    }
    if (kind == QLatin1String("call")) {
        Call m;
        m.id = f.requestId();
        m.operation = f.text(QStringLiteral("operation"));
        m.args = f.list(QStringLiteral("args"));
        return m;
    }
    if (kind == QLatin1String("serverTime"))
        return ServerTime{f.requestId()};
    if (kind == QLatin1String("logout"))
        return Logout{f.requestId()};
    if (kind == QLatin1String("session")) {
        Session m;
        m.id = f.replyId();
        m.userId = f.text(QStringLiteral("userId"));
        m.userCode = f.text(QStringLiteral("userCode"));
        m.userName = f.text(QStringLiteral("userName"));
        m.userGroup = f.text(QStringLiteral("userGroup"));
        m.manager = f.boolean(QStringLiteral("manager"));
        return m;
    }
    if (kind == QLatin1String("packet")) {
        PacketReply m;
        m.id = f.replyId();
        const QByteArray packet = f.bytes(QStringLiteral("packet"));
        try {
            m.packet = readWirePacket(packet);
        } catch (const Error &e) {
            malformed(QStringLiteral("字段“packet”中的数据包有误：%1").arg(e.message()));
        }
        return m;
    }
    if (kind == QLatin1String("applied")) {
        Applied m;
        m.id = f.replyId();
        m.errorCount = int(f.integer(QStringLiteral("errorCount"), 0, kIntMax));
        m.ownerData = f.value(QStringLiteral("ownerData"));
        return m;
    }
    if (kind == QLatin1String("result")) {
        Result m;
        m.id = f.replyId();
        m.value = f.value(QStringLiteral("value"));
        m.args = f.list(QStringLiteral("args"));
        return m;
    }
    if (kind == QLatin1String("error")) {
        ErrorReply m;
        m.id = f.replyId();
        m.message = f.text(QStringLiteral("message"));
        m.kind = ErrorKind(f.integer(QStringLiteral("errorKind"), int(ErrorKind::General),
                                     int(ErrorKind::ChangedByOther)));
        return m;
    }
    malformed(QStringLiteral("未知的消息类型“%1”。").arg(kind));
}

} // namespace

QByteArray encodeMessage(const Message &message)
{
    return QCborValue(std::visit(Encoder{}, message)).toCbor();
}

Message decodeMessage(const QByteArray &payload)
{
    QCborParserError error;
    const QCborValue root = QCborValue::fromCbor(payload, &error);
    if (error.error != QCborError::NoError)
        malformed(QStringLiteral("消息的 CBOR 编码有误或不完整。"));
    if (error.offset != payload.size())
        malformed(
            QStringLiteral("消息之后还有 %1 个多余的字节。").arg(payload.size() - error.offset));
    if (!root.isMap())
        malformed(QStringLiteral("消息应为 CBOR 映射。"));
    const QCborMap map = root.toMap();
    QSet<QString> keys;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        if (!it.key().isString())
            malformed(QStringLiteral("消息的字段名应为文本。"));
        const QString key = it.key().toString();
        if (keys.contains(key))
            malformed(QStringLiteral("消息含有重复的字段“%1”。").arg(key));
        keys.insert(key);
    }
    const QCborValue kind = map.value(QStringLiteral("kind"));
    if (!kind.isString())
        malformed(QStringLiteral("消息缺少文本字段“kind”。"));
    Fields fields(map, kind.toString());
    fields.take(QStringLiteral("kind"));
    Message m = decodeFields(kind.toString(), fields, map);
    fields.finish();
    return m;
}

QString messageKind(const Message &message)
{
    static const char *const names[] = {"hello",  "login",      "request", "applyUpdates",
                                        "call",   "serverTime", "logout",  "session",
                                        "packet", "applied",    "result",  "error"};
    static_assert(std::size(names) == std::variant_size_v<Message>);
    return QString::fromLatin1(names[message.index()]);
}

bool identicalMessages(const Message &a, const Message &b)
{
    if (a.index() != b.index())
        return false;
    const auto sameList = [](const QVariantList &x, const QVariantList &y) {
        return identicalValues(QVariant(x), QVariant(y));
    };
    if (const auto *x = std::get_if<ApplyUpdates>(&a)) {
        const auto &y = std::get<ApplyUpdates>(b);
        return x->id == y.id && x->provider == y.provider && x->delta == y.delta &&
               x->maxErrors == y.maxErrors && identicalValues(x->ownerData, y.ownerData);
    }
    if (const auto *x = std::get_if<Call>(&a)) {
        const auto &y = std::get<Call>(b);
        return x->id == y.id && x->operation == y.operation && sameList(x->args, y.args);
    }
    if (const auto *x = std::get_if<Applied>(&a)) {
        const auto &y = std::get<Applied>(b);
        return x->id == y.id && x->errorCount == y.errorCount &&
               identicalValues(x->ownerData, y.ownerData);
    }
    if (const auto *x = std::get_if<Result>(&a)) {
        const auto &y = std::get<Result>(b);
        return x->id == y.id && identicalValues(x->value, y.value) && sameList(x->args, y.args);
    }
    return std::visit(
        [&b](const auto &x) {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, ApplyUpdates> || std::is_same_v<T, Call> ||
                          std::is_same_v<T, Applied> || std::is_same_v<T, Result>)
                return false;
            else
                return x == std::get<T>(b);
        },
        a);
}

} // namespace vexa::net
