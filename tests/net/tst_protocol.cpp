#include "Frame.h"
#include "Protocol.h"
#include "ServerAddress.h"
#include "WirePacket.h"
#include "WireValue.h"
#include "support/TestSupport.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborStreamWriter>
#include <QDateTime>
#include <QPoint>
#include <QRandomGenerator>
#include <QTest>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;
using namespace vexa;
using namespace vexa::net;

Q_DECLARE_METATYPE(vexa::net::Message)

namespace {

DataPacket samplePacket()
{
    DataPacket p;
    p.fields = {FieldDef{u"AcctCode"_s, FieldType::String, 40},
                FieldDef{u"AcctName"_s, FieldType::WideString},
                FieldDef{u"Balance"_s, FieldType::Currency}, FieldDef{u"Seal"_s, FieldType::Blob},
                FieldDef{u"Posted"_s, FieldType::DateTime}};
    p.rows.push_back({u"1001"_s, u"库存现金"_s, 1234.5678, QByteArray("\0\xff", 2),
                      QDateTime(QDate(2024, 1, 31), QTime(14, 5, 9, 120))});
    p.rows.push_back({u""_s, QVariant(), -0.5, QVariant(), QVariant()});
    return p;
}

DeltaPacket sampleDelta()
{
    DeltaPacket d;
    d.fields = {FieldDef{u"ID"_s, FieldType::Integer}, FieldDef{u"Name"_s, FieldType::WideString}};
    d.rows.push_back({DeltaRow::Kind::Insert, {1, u"新科目"_s}, {}});
    d.rows.push_back({DeltaRow::Kind::Modify, {2, u""_s}, {2, QVariant()}});
    d.rows.push_back({DeltaRow::Kind::Delete, {}, {3, u"旧"_s}});
    return d;
}

// The payload of a valid message as a map to spoil.
QCborMap mapOf(const Message &m)
{
    return QCborValue::fromCbor(encodeMessage(m)).toMap();
}

QByteArray framed(const QCborValue &v)
{
    return writeFrame(v.toCbor());
}

// What a receiver makes of a byte stream: the frame reader's failure or the first frame's
// decoding error.
QString refusalOf(const QByteArray &stream, qsizetype maxFrame)
{
    FrameReader reader(maxFrame);
    reader.feed(stream);
    if (reader.failed())
        return reader.failure();
    if (!reader.hasFrame())
        return u"(no frame)"_s;
    return errorOf([&] { decodeMessage(reader.takeFrame()); });
}

// A packet with every field type and values at the edges of each CBOR length form.
DataPacket everyType()
{
    DataPacket p;
    const FieldType types[] = {
        FieldType::String,  FieldType::WideString, FieldType::FixedChar, FieldType::SmallInt,
        FieldType::Integer, FieldType::Word,       FieldType::LargeInt,  FieldType::Boolean,
        FieldType::Float,   FieldType::Currency,   FieldType::BCD,       FieldType::Date,
        FieldType::Time,    FieldType::DateTime,   FieldType::Memo,      FieldType::Blob};
    for (FieldType t : types)
        p.fields.append(FieldDef{fieldTypeName(t) + u"Field"_s, t, t == FieldType::String ? 300 : 0,
                                 t == FieldType::Integer, t == FieldType::Memo});
    const qint64 i64min = std::numeric_limits<qint64>::min();
    p.rows.push_back({u"1001"_s, u"库存现金 𠀀 é"_s, u"A"_s, -32768,
                      std::numeric_limits<int>::min(), 65535, QVariant::fromValue(i64min), true,
                      -0.5, 1234.5678, 1e-300, QDate(2024, 2, 29), QTime(23, 59, 59, 999),
                      QDateTime(QDate(2024, 1, 31), QTime(14, 5, 9, 120)), QString(300, u'备'),
                      QByteArray(70000, '\x5a')});
    p.rows.push_back(
        {QString(23, u'y'), QString(24, u'y'), u""_s, 32767, std::numeric_limits<int>::max(), 0,
         QVariant::fromValue(std::numeric_limits<qint64>::max()), false, 23.0, 0.0, 100.0,
         QDate(1, 1, 1), QTime(0, 0), QDateTime(QDate(1999, 12, 31), QTime(0, 0)),
         QString(255, u'x'), QByteArray()});
    p.rows.push_back({QString(256, u'z'), QString(65536, u'z'), QVariant(), -24, -25, 256,
                      QVariant::fromValue<qint64>(4294967296), QVariant(), std::nan(""),
                      std::numeric_limits<double>::infinity(), 1.23456789, QVariant(), QVariant(),
                      QVariant(), QVariant(), QByteArray(24, '\0')});
    QVariantList typedNulls;
    for (const FieldDef &f : p.fields)
        typedNulls.append(nullFor(f.type));
    p.rows.push_back(typedNulls);
    p.rows.push_back({u"x"_s, u"y"_s, u"z"_s, 255, 65536, 24,
                      QVariant::fromValue<qint64>(-4294967297), true, 1e300, -1234.56789, 0.25,
                      QDate(9999, 12, 31), QTime(12, 0), QDateTime(QDate(2024, 6, 1), QTime(8, 0)),
                      u"备注"_s, QByteArray("\xff", 1)});
    return p;
}

bool identicalPackets(const DataPacket &a, const DataPacket &b)
{
    if (a.fields != b.fields || a.rows.size() != b.rows.size())
        return false;
    for (size_t r = 0; r < a.rows.size(); ++r)
        if (!identicalValues(QVariant(a.rows[r]), QVariant(b.rows[r])))
            return false;
    return true;
}

QCborValue nestedArray(int depth)
{
    QCborValue v(1);
    for (int i = 0; i < depth; ++i)
        v = QCborArray{v};
    return v;
}

} // namespace

class TestProtocol : public QObject
{
    Q_OBJECT

private slots:
    void messageRoundTrip_data();
    void messageRoundTrip();
    void valueRoundTrip_data();
    void valueRoundTrip();
    void wirePacket();
    void chunking();
    void refusals_data();
    void refusals();
    void encodeRefusals();
    void serverAddress();
};

void TestProtocol::messageRoundTrip_data()
{
    QTest::addColumn<Message>("message");
    QTest::newRow("hello") << Message(Hello{kProtocolName, kProtocolVersion, u"0.1"_s});
    QTest::newRow("login") << Message(Login{1, u"总账"_s, u"王会计"_s, u""_s});
    QTest::newRow("request") << Message(
        Request{2, u"SYS_SMModules"_s, u"TOP 5 WHERE MName = '总账' ORDER BY MCode"_s});
    QTest::newRow("applyUpdates") << Message(
        ApplyUpdates{3, u"GL_Acct"_s, sampleDelta(), -1, QVariantList{u"凭证"_s, 7}});
    QTest::newRow("call") << Message(
        Call{4, u"GetEntityID"_s, {u"GL_Voucher"_s, 1, QVariant::fromValue<qint64>(-2)}});
    QTest::newRow("serverTime") << Message(ServerTime{5});
    QTest::newRow("logout") << Message(Logout{std::numeric_limits<qint64>::max()});
    QTest::newRow("session") << Message(Session{1, u"{6F9619FF-8B86-D011-B42D-00C04FC964FF}"_s,
                                                u"manager"_s, u"王经理"_s, u"1"_s, true});
    QTest::newRow("packet") << Message(PacketReply{2, samplePacket()});
    QTest::newRow("applied") << Message(Applied{3, 2, QVariant()});
    QTest::newRow("result") << Message(Result{4, 12, {u"GL_Voucher"_s, 12}});
    QTest::newRow("error") << Message(
        ErrorReply{0, u"该记录已被其他用户修改。"_s, ErrorKind::ChangedByOther});
}

void TestProtocol::messageRoundTrip()
{
    QFETCH(Message, message);
    FrameReader reader;
    reader.feed(writeFrame(encodeMessage(message)));
    QVERIFY(reader.hasFrame());
    const Message back = decodeMessage(reader.takeFrame());
    QCOMPARE(messageKind(back), messageKind(message));
    QVERIFY(identicalMessages(back, message));
}

void TestProtocol::valueRoundTrip_data()
{
    QTest::addColumn<QVariant>("value");
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("null") << QVariant();
    QTest::newRow("true") << QVariant(true);
    QTest::newRow("false") << QVariant(false);
    QTest::newRow("int 0") << QVariant(0);
    QTest::newRow("int min") << QVariant(std::numeric_limits<int>::min());
    QTest::newRow("int max") << QVariant(std::numeric_limits<int>::max());
    QTest::newRow("qint64 small") << QVariant::fromValue<qint64>(5);
    QTest::newRow("qint64 min") << QVariant::fromValue(std::numeric_limits<qint64>::min());
    QTest::newRow("qint64 max") << QVariant::fromValue(std::numeric_limits<qint64>::max());
    QTest::newRow("qint64 2^53+1") << QVariant::fromValue<qint64>(9007199254740993);
    QTest::newRow("money") << QVariant(1234.5678);
    QTest::newRow("money large") << QVariant(123456789012.3456);
    QTest::newRow("0.1") << QVariant(0.1);
    QTest::newRow("whole double") << QVariant(2.0);
    QTest::newRow("-0.0") << QVariant(-0.0);
    QTest::newRow("tiny") << QVariant(1e-300);
    QTest::newRow("infinity") << QVariant(-inf);
    QTest::newRow("NaN") << QVariant(std::nan(""));
    QTest::newRow("empty text") << QVariant(u""_s);
    QTest::newRow("chinese text") << QVariant(u"库存现金 𠀀 🧾 \"\\"_s);
    QTest::newRow("control chars") << QVariant(QString(u"a\0b\n"_s));
    QTest::newRow("lone surrogate") << QVariant(QString(QChar(0xD800)) + u"x"_s + QChar(0xDC01));
    QTest::newRow("empty bytes") << QVariant(QByteArray(""));
    QTest::newRow("blob") << QVariant(QByteArray("\0\x01\xff\x80", 4));
    QTest::newRow("date") << QVariant(QDate(2024, 2, 29));
    QTest::newRow("ancient date") << QVariant(QDate(-4713, 1, 2));
    QTest::newRow("time") << QVariant(QTime(23, 59, 59, 999));
    QTest::newRow("midnight") << QVariant(QTime(0, 0));
    QTest::newRow("local datetime")
        << QVariant(QDateTime(QDate(2024, 1, 31), QTime(14, 5, 9, 120)));
    QTest::newRow("utc datetime") << QVariant(
        QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59, 1), Qt::UTC));
    QTest::newRow("offset datetime")
        << QVariant(QDateTime(QDate(2024, 6, 1), QTime(8, 0), Qt::OffsetFromUTC, 8 * 3600));
    QTest::newRow("negative offset")
        << QVariant(QDateTime(QDate(1969, 12, 31), QTime(20, 0), Qt::OffsetFromUTC, -5 * 3600));
    QTest::newRow("empty list") << QVariant(QVariantList());
    QTest::newRow("nested list") << QVariant(QVariantList{
        1, u"甲"_s, QVariantList{QVariant(), QVariant::fromValue<qint64>(1), QVariantList{}}});
    QTest::newRow("data packet") << QVariant::fromValue(samplePacket());
    QTest::newRow("delta packet") << QVariant::fromValue(sampleDelta());
}

void TestProtocol::valueRoundTrip()
{
    QFETCH(QVariant, value);
    // Both ways an operation's values travel: arguments out, result and arguments back.
    const auto call = std::get<Call>(decodeMessage(encodeMessage(Call{1, u"Op"_s, {value}})));
    QCOMPARE(call.args.size(), 1);
    QVERIFY2(identicalValues(call.args[0], value), call.args[0].typeName());
    const auto result =
        std::get<Result>(decodeMessage(encodeMessage(Result{1, value, {value, value}})));
    QVERIFY(identicalValues(result.value, value));
    QVERIFY(identicalValues(QVariant(result.args), QVariant(QVariantList{value, value})));
    // A null is not an empty text, an int is not a qint64: the comparison itself must see it.
    QVERIFY(!identicalValues(value, value.isValid() ? QVariant() : QVariant(u""_s)));
}

void TestProtocol::wirePacket()
{
    // A reply's packet travels in CBOR: what arrives is what the packet text would give.
    const DataPacket p = everyType();
    const auto viaWire = [](const DataPacket &packet) {
        return std::get<PacketReply>(decodeMessage(encodeMessage(PacketReply{1, packet}))).packet;
    };
    QVERIFY(identicalPackets(viaWire(p), readDataPacket(writeDataPacket(p))));
    // A text with a lone surrogate, which the packet text's reader is not asked about.
    DataPacket lone;
    lone.fields = {FieldDef{u"Name"_s, FieldType::WideString}};
    lone.rows.push_back({QString(QChar(0xD800)) + u"x"_s + QChar(0xDC01)});
    lone.rows.push_back({u"😀"_s + QChar(0xDC01)});
    lone.rows.push_back({QString(QChar(0xD800)) + u"ab"_s});
    QVERIFY(identicalPackets(viaWire(lone), lone));
}

void TestProtocol::chunking()
{
    QByteArray stream;
    QList<QByteArray> payloads;
    for (const Message &m :
         {Message(Login{1, {}, u"张三"_s, u"密码"_s}), Message(PacketReply{1, samplePacket()}),
          Message(Call{2, u"SaveAccessories"_s, {QByteArray(200000, '\x5a')}}),
          Message(Logout{3})}) {
        payloads.append(encodeMessage(m));
        stream += writeFrame(payloads.last());
    }
    const auto framesOf = [](FrameReader &reader) {
        QList<QByteArray> frames;
        while (reader.hasFrame())
            frames.append(reader.takeFrame());
        return frames;
    };
    FrameReader byByte;
    QList<QByteArray> frames;
    for (char c : stream) {
        byByte.feed(QByteArrayView(&c, 1));
        frames += framesOf(byByte);
    }
    QCOMPARE(frames, payloads);
    QCOMPARE(byByte.pendingBytes(), 0);

    for (quint32 seed : {1u, 2u, 3u}) {
        QRandomGenerator random(seed);
        FrameReader reader;
        frames.clear();
        for (qsizetype at = 0; at < stream.size();) {
            const qsizetype n = qMin(stream.size() - at, qsizetype(random.bounded(1, 70000)));
            reader.feed(QByteArrayView(stream).sliced(at, n));
            at += n;
            if (random.bounded(2))
                frames += framesOf(reader);
        }
        frames += framesOf(reader);
        QCOMPARE(frames, payloads);
        QVERIFY(!reader.failed());
    }
}

void TestProtocol::refusals_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<qsizetype>("maxFrame");
    QTest::addColumn<QString>("message");
    const auto row = [](const char *tag, const QByteArray &stream, const QString &message,
                        qsizetype maxFrame = kMaxFrameBytes) {
        QTest::newRow(tag) << stream << maxFrame << message;
    };

    row("oversized", QByteArray("\x00\x00\x03\xe9{", 5),
        u"通信协议错误：帧长度 1001 字节超过上限 1000 字节。"_s, qsizetype(1000));
    row("oversized default", QByteArray("\x08\x00\x00\x01", 4),
        u"通信协议错误：帧长度 134217729 字节超过上限 134217728 字节。"_s);
    row("zero length", QByteArray("\0\0\0\0\xa0", 5), u"通信协议错误：收到长度为 0 的帧。"_s);
    const QByteArray login = encodeMessage(Login{1, {}, u"u"_s, u"p"_s});
    row("truncated cbor", writeFrame(login.chopped(1)),
        u"通信协议错误：消息的 CBOR 编码有误或不完整。"_s);
    row("trailing bytes", writeFrame(login + '\0'),
        u"通信协议错误：消息之后还有 1 个多余的字节。"_s);
    row("not a map", framed(QCborArray{u"login"_s}), u"通信协议错误：消息应为 CBOR 映射。"_s);

    QCborMap m = mapOf(Login{1, {}, u"u"_s, u"p"_s});
    m[u"id"_s] = u"1"_s;
    row("id as text", framed(m), u"通信协议错误：消息“login”的字段“id”应为整数。"_s);
    m = mapOf(Request{0, u"P"_s, u""_s});
    row("request id 0", framed(m), u"通信协议错误：消息“request”的字段“id”的值 0 超出范围。"_s);
    m = mapOf(Request{1, u"P"_s, u""_s});
    m[u"provider"_s] = QCborArray{u"P"_s};
    row("extra nesting", framed(m), u"通信协议错误：消息“request”的字段“provider”应为文本。"_s);
    m = mapOf(Call{1, u"Op"_s, {}});
    m.remove(u"args"_s);
    row("missing field", framed(m), u"通信协议错误：消息“call”缺少字段“args”。"_s);
    m = mapOf(Logout{1});
    m[u"extra"_s] = 1;
    row("unknown field", framed(m), u"通信协议错误：消息“logout”含有未知字段“extra”。"_s);
    m = mapOf(Logout{1});
    m[u"kind"_s] = u"shutdown"_s;
    row("unknown kind", framed(m), u"通信协议错误：未知的消息类型“shutdown”。"_s);
    {
        QByteArray bytes;
        QCborStreamWriter w(&bytes);
        w.startMap(3);
        for (const char *s : {"kind", "logout", "id"})
            w.append(QLatin1StringView(s));
        w.append(1);
        w.append("kind"_L1);
        w.append("login"_L1);
        w.endMap();
        row("repeated field", writeFrame(bytes), u"通信协议错误：消息含有重复的字段“kind”。"_s);
    }
    m = mapOf(ErrorReply{1, u"x"_s, ErrorKind::General});
    m[u"errorKind"_s] = 3;
    row("unknown error kind", framed(m),
        u"通信协议错误：消息“error”的字段“errorKind”的值 3 超出范围。"_s);

    row("unsupported version", framed(mapOf(Hello{kProtocolName, kProtocolVersion + 1, u"2.0"_s})),
        u"对方（程序版本 2.0）使用 Vexa 通信协议第 %1 版，本程序只支持第 %2 版。请把客户端和服务器升级到同一版本。"_s
            .arg(kProtocolVersion + 1)
            .arg(kProtocolVersion));
    row("other protocol", framed(mapOf(Hello{u"http"_s, 1, u"1"_s})),
        u"通信协议错误：对方使用的不是 Vexa 通信协议。"_s);

    const auto callWith = [](const QCborValue &args) {
        QCborMap c = mapOf(Call{1, u"Op"_s, {}});
        c[u"args"_s] = args;
        return framed(c);
    };
    row("list too deep", callWith(nestedArray(kMaxValueDepth + 1)),
        u"通信协议错误：字段“args”的列表嵌套超过 16 层。"_s);
    row("int beyond int", callWith(QCborArray{qint64(1) << 31}),
        u"通信协议错误：字段“args”的整数 2147483648 超出范围。"_s);
    row("map value", callWith(QCborArray{QCborMap{}}),
        u"通信协议错误：字段“args”含有不支持的值类型。"_s);
    row("unknown tag", callWith(QCborArray{QCborValue(QCborTag(99), 1)}),
        u"通信协议错误：字段“args”含有未知的标记 99。"_s);
    row("time past midnight",
        callWith(QCborArray{QCborValue(QCborTag(quint64(WireTag::Time)), 86400000)}),
        u"通信协议错误：字段“args”的整数 86400000 超出范围。"_s);
    row("odd utf-16",
        callWith(QCborArray{QCborValue(QCborTag(quint64(WireTag::Utf16Text)), QByteArray("a"))}),
        u"通信协议错误：字段“args”的文本格式错误。"_s);
    row("args not a list", callWith(QCborValue(1)),
        u"通信协议错误：消息“call”的字段“args”应为列表。"_s);

    m = mapOf(ApplyUpdates{1, u"P"_s, sampleDelta(), -1, {}});
    m[u"delta"_s] = u"{}"_s;
    row("bad delta", framed(m),
        u"通信协议错误：字段“delta”中的数据包有误："_s + errorOf([] { readDeltaPacket(u"{}"_s); }));

    // A reply packet's CBOR spoiled.
    const QByteArray good = writeWirePacket(samplePacket());
    const auto replyWith = [](const QCborValue &packet) {
        QCborMap c = mapOf(PacketReply{1, samplePacket()});
        c[u"packet"_s] = packet;
        return framed(c);
    };
    // A value, not an array: QCborArray{array} would copy the array on some compilers.
    const auto field = [](const char *type) -> QCborValue {
        return QCborArray{u"N"_s, QString::fromLatin1(type), 0, false, false};
    };
    const auto oneValue = [&](const char *type, const QCborValue &v) {
        return QCborArray{QCborArray{field(type)}, QCborArray{QCborValue(QCborArray{v})}}
            .toCborValue()
            .toCbor();
    };
    const QString bad = u"通信协议错误：字段“packet”中的数据包有误："_s;
    row("packet as text", replyWith(writeDataPacket(samplePacket())),
        u"通信协议错误：消息“packet”的字段“packet”应为字节串。"_s);
    row("packet truncated", replyWith(good.chopped(1)), bad + u"数据不完整。"_s);
    row("packet trailing", replyWith(good + '\0'), bad + u"结尾有 1 个多余的字节。"_s);
    row("row too short",
        replyWith(QCborArray{QCborArray{field("integer")}, QCborArray{QCborValue(QCborArray{})}}
                      .toCborValue()
                      .toCbor()),
        bad + u"第 1 行有 0 个值，应为 1 个。"_s);
    row("smallint beyond", replyWith(oneValue("smallint", 32768)),
        bad + u"第 1 行字段“N”的值超出范围。"_s);
    row("word below 0", replyWith(oneValue("word", -1)), bad + u"第 1 行字段“N”的值超出范围。"_s);
    row("text for integer", replyWith(oneValue("integer", u"1"_s)),
        bad + u"第 1 行字段“N”的值不是“integer”类型。"_s);
    row("time past midnight", replyWith(oneValue("time", 86400000)),
        bad + u"第 1 行字段“N”的值超出范围。"_s);
    row("unknown field type", replyWith(oneValue("money", 1)),
        bad + u"字段“N”的类型“money”未知。"_s);
    row("same name twice",
        replyWith(QCborArray{
            QCborArray{field("integer"), QCborArray{u"n"_s, u"integer"_s, 0, false, false}},
            QCborArray{}}
                      .toCborValue()
                      .toCbor()),
        bad + u"字段“n”重复（字段名不区分大小写）。"_s);
    QByteArray lie = QCborArray{QCborArray{field("integer")}, QCborArray{}}.toCborValue().toCbor();
    lie.chop(1);
    lie.append(char(0x9B)).append(QByteArray("\x7f\xff\xff\xff\xff\xff\xff\xff", 8));
    row("row count beyond the bytes", replyWith(lie), bad + u"数据不完整。"_s);
}

void TestProtocol::refusals()
{
    QFETCH(QByteArray, stream);
    QFETCH(qsizetype, maxFrame);
    QFETCH(QString, message);
    QCOMPARE(refusalOf(stream, maxFrame), message);
}

void TestProtocol::encodeRefusals()
{
    // Types outside the closed set are our own mistake: refused before anything is sent.
    for (const QVariant &v :
         {QVariant(QPoint(1, 2)), QVariant(1.5f), QVariant(1u), QVariant(QVariantMap{{u"a"_s, 1}}),
          QVariant(QVariantList{QVariant(QPoint())})}) {
        const QString message = errorOf([&] { encodeMessage(Call{1, u"Op"_s, {v}}); });
        QVERIFY2(message.startsWith(u"类型为“"_s), qPrintable(message));
    }
    QCOMPARE(errorOf([] {
                 encodeMessage(Call{1, u"Op"_s, {nestedArray(kMaxValueDepth + 1).toVariant()}});
             }),
             u"要发送的列表嵌套超过 16 层。"_s);
    QCOMPARE(errorOf([] { writeFrame(QByteArray(1001, 'x'), 1000); }),
             u"消息过大（1001 字节），超过每帧 1000 字节的上限。"_s);
}

void TestProtocol::serverAddress()
{
    const auto parsed = [](const char *text) {
        return ServerAddress::parse(QString::fromUtf8(text));
    };
    QCOMPARE(parsed(" books.example.com ")->toString(), u"books.example.com:7070"_s);
    QCOMPARE(parsed("10.0.0.5:7443")->port, 7443);
    QCOMPARE(parsed("[::1]:7443")->toString(), u"[::1]:7443"_s);
    QCOMPARE(parsed("::1")->toString(), u"[::1]:7070"_s);
    QCOMPARE(parsed("[fe80::1]")->host, u"fe80::1"_s);
    for (const char *bad :
         {"", "host:", "host:0", "host:65536", "host:7x", "[::1", "[::1]7070", ":7070", "a b:1"})
        QVERIFY2(!parsed(bad), bad);
}

QTEST_GUILESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
