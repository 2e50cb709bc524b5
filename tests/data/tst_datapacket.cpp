#include "DataPacket.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTest>
#include <cmath>
#include <cstring>
#include <limits>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(vexa::FieldDef)
Q_DECLARE_METATYPE(vexa::FieldType)

namespace vexa {
char *toString(const FieldDef &f)
{
    return qstrdup(u"%1 %2 size %3%4%5"_s.arg(f.name, fieldTypeName(f.type))
                       .arg(f.size)
                       .arg(f.required ? " required" : "", f.calculated ? " calculated" : "")
                       .toUtf8());
}
// Packets print as their text, so that a failed comparison shows both whole.
char *toString(const DataPacket &p)
{
    return qstrdup(writeDataPacket(p).toUtf8());
}
char *toString(const DeltaPacket &d)
{
    return qstrdup(writeDeltaPacket(d).toUtf8());
}
} // namespace vexa

using namespace vexa;

namespace {

FieldDef field(const QString &name, FieldType type, int size = 0)
{
    FieldDef f;
    f.name = name;
    f.type = type;
    f.size = size;
    return f;
}

} // namespace

class TestDataPacket : public QObject
{
    Q_OBJECT

private slots:
    void coerce_data();
    void coerce();
    void valueRoundTrip_data();
    void valueRoundTrip();
    void randomDoublesKeepEveryBit();
    void documentedExampleReads();
    void writerKeepsTextValidForOddValues();
    void layoutForms_data();
    void layoutForms();
    void malformed_data();
    void malformed();
    void wholePacketsAndCutOnes();
};

void TestDataPacket::coerce_data()
{
    QTest::addColumn<FieldType>("type");
    QTest::addColumn<int>("size");
    QTest::addColumn<QVariant>("input");
    QTest::addColumn<QVariant>("expected"); // invalid: must throw, or stay null when input is

    const QVariant refused;
    const auto row = [](const char *tag, FieldType type, int size, QVariant in, QVariant out) {
        QTest::newRow(tag) << type << size << in << out;
    };
    row("string fits", FieldType::String, 8, u"1001库存"_s, u"1001库存"_s);
    row("string one byte over", FieldType::String, 7, u"1001库存"_s, refused);
    // A character outside the BMP counts once, not as two halves.
    row("surrogate pair fits", FieldType::String, 3, u"𠮷a"_s, u"𠮷a"_s);
    row("memo ignores size", FieldType::Memo, 2, u"长长长"_s, u"长长长"_s);
    row("empty string is not null", FieldType::String, 4, QString(), u""_s);
    row("null stays null", FieldType::Integer, 0, QVariant(), refused);
    row("typed null stays null", FieldType::Date, 0, QVariant(QMetaType::fromType<QString>()),
        refused);
    row("int from text", FieldType::Integer, 0, u" 42 "_s, 42);
    row("int from whole double", FieldType::Integer, 0, 12.0, 12);
    row("int refuses fraction", FieldType::Integer, 0, 1.5, refused);
    row("int refuses words", FieldType::Integer, 0, u"abc"_s, refused);
    row("int overflow", FieldType::Integer, 0, QVariant(qlonglong(1) << 31), refused);
    row("smallint range", FieldType::SmallInt, 0, 40000, refused);
    row("word negative", FieldType::Word, 0, -1, refused);
    row("largeint", FieldType::LargeInt, 0, u"9007199254740993"_s, qlonglong(9007199254740993LL));
    row("bool from 是", FieldType::Boolean, 0, u"是"_s, true);
    row("bool from N", FieldType::Boolean, 0, u"N"_s, false);
    row("bool refuses 2", FieldType::Boolean, 0, u"2"_s, refused);
    row("currency rounds to 4 places", FieldType::Currency, 0, 1.234567, 1.2346);
    // Regression: scaling a huge amount to round it overflowed to infinity.
    row("currency keeps huge values finite", FieldType::Currency, 0, 1.8e304, 1.8e304);
    row("float refuses text", FieldType::Float, 0, u"1,5"_s, refused);
    row("date from text", FieldType::Date, 0, u"2024-02-29"_s, QDate(2024, 2, 29));
    row("date refuses 2023-02-29", FieldType::Date, 0, u"2023-02-29"_s, refused);
    row("datetime keeps ms", FieldType::DateTime, 0, u"2024-01-31 23:59:59.123"_s,
        QDateTime(QDate(2024, 1, 31), QTime(23, 59, 59, 123)));
    row("datetime from date", FieldType::DateTime, 0, QDate(2024, 1, 1),
        QDate(2024, 1, 1).startOfDay());
    row("blob from bytes", FieldType::Blob, 0, QByteArray("\0\1\2", 3), QByteArray("\0\1\2", 3));
}

void TestDataPacket::coerce()
{
    QFETCH(FieldType, type);
    QFETCH(int, size);
    QFETCH(QVariant, input);
    QFETCH(QVariant, expected);
    FieldDef f = field(u"F"_s, type, size);
    f.required = true; // a null stays null all the same
    if (input.isNull()) {
        QVERIFY(!coerceToField(f, input).isValid());
    } else if (!expected.isValid()) {
        const QString message = errorOf([&] { coerceToField(f, input); });
        QVERIFY2(message.contains(u"“F”"_s), qPrintable(message));
    } else {
        const QVariant v = coerceToField(f, input);
        QCOMPARE(v.typeId(), expected.typeId());
        QCOMPARE(v, expected);
    }
}

void TestDataPacket::valueRoundTrip_data()
{
    QTest::addColumn<FieldDef>("def");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("json"); // the value as another program may write it; empty: ours

    QString everyUnit; // every UTF-16 code unit, lone surrogates included
    for (char32_t c = 0; c <= 0xffff; ++c)
        everyUnit.append(QChar(char16_t(c)));
    QByteArray bytes(1000, '\0');
    QRandomGenerator rng(7);
    for (char &b : bytes)
        b = char(rng.bounded(256));

    const auto row = [](const char *tag, FieldType type, QVariant v, int size = 0) {
        QTest::newRow(tag) << field("V", type, size) << v << QString();
    };
    // Any JSON form of a value reads; the writer uses only one of them.
    const auto form = [](const char *tag, FieldType type, const QString &json, QVariant v) {
        QTest::newRow(tag) << field("V", type) << v << json;
    };
    row("empty string", FieldType::String, QString(""), 10);
    row("CJK in GBK", FieldType::String, u"会计科目"_s, 8);
    row("CJK outside GBK", FieldType::WideString, u"𠮷野家"_s);
    row("emoji", FieldType::FixedChar, u"😀"_s, 4);
    row("quotes and backslashes", FieldType::String, u"a\"b\\c/\\\"\\u0041"_s);
    row("control characters", FieldType::Memo,
        QString::fromUtf8("a\nb\r\tc\b\f\x01\x1f\x7f") + QChar(0) + QChar(0x2028));
    row("lone high surrogate", FieldType::Memo, QString(QChar(0xd83d)) + QChar(u'x'));
    row("lone low surrogate at end", FieldType::Memo, QString(QChar(u'x')) + QChar(0xde00));
    row("reversed pair", FieldType::Memo, QString(QChar(0xde00)) + QChar(0xd83d));
    row("every code unit", FieldType::Memo, everyUnit);
    row("smallint min", FieldType::SmallInt, -32768);
    row("smallint max", FieldType::SmallInt, 32767);
    row("word max", FieldType::Word, 65535);
    row("integer min", FieldType::Integer, std::numeric_limits<int>::min());
    row("integer max", FieldType::Integer, std::numeric_limits<int>::max());
    row("largeint 2^53+1", FieldType::LargeInt, 9007199254740993LL);
    row("largeint min", FieldType::LargeInt, std::numeric_limits<qlonglong>::min());
    row("largeint max", FieldType::LargeInt, std::numeric_limits<qlonglong>::max());
    row("true", FieldType::Boolean, true);
    row("false", FieldType::Boolean, false);
    row("0.1", FieldType::Float, 0.1);
    row("smallest subnormal", FieldType::Float, std::numeric_limits<double>::denorm_min());
    row("largest double", FieldType::Float, -std::numeric_limits<double>::max());
    row("whole double above int64", FieldType::Float, 12345678901234567890.0);
    row("whole double 2^53+2", FieldType::BCD, 9007199254740994.0);
    row("currency four decimals", FieldType::Currency, -1234567.8901);
    row("currency one ten-thousandth", FieldType::Currency, 0.0001);
    row("date first", FieldType::Date, QDate(1, 1, 1));
    row("date last", FieldType::Date, QDate(9999, 12, 31));
    row("date before year 1", FieldType::Date, QDate(-44, 3, 15));
    row("date five-digit year", FieldType::Date, QDate(12345, 6, 7));
    row("time midnight", FieldType::Time, QTime(0, 0));
    row("time last ms", FieldType::Time, QTime(23, 59, 59, 999));
    row("datetime last", FieldType::DateTime,
        QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999)));
    row("datetime first", FieldType::DateTime, QDateTime(QDate(1, 1, 1), QTime(0, 0)));
    row("empty blob", FieldType::Blob, QByteArray(""));
    row("blob with zero bytes", FieldType::Blob, QByteArray("\0\1\xff\0", 4));
    row("random blob", FieldType::Blob, bytes);
    form("integer as 1e2", FieldType::Integer, "1e2", 100);
    form("integer as 1E+2", FieldType::Integer, "1E+2", 100);
    form("integer as 100e-2", FieldType::Integer, "100e-2", 1);
    form("integer as 1.0", FieldType::SmallInt, "1.0", 1);
    form("integer as -0", FieldType::Integer, "-0", 0);
    form("integer as -0.0", FieldType::Word, "-0.0", 0);
    form("largeint exact beyond 2^53", FieldType::LargeInt, "9007199254740993",
         QVariant(9007199254740993LL));
    form("largeint min", FieldType::LargeInt, "-9223372036854775808",
         QVariant(std::numeric_limits<qlonglong>::min()));
    form("float as integer", FieldType::Float, "7", 7.0);
    form("float with exponent", FieldType::Float, "2.5E-1", 0.25);
    form("float negative zero", FieldType::Float, "-0.0", -0.0);
    form("float long mantissa", FieldType::BCD, "0.1000000000000000055511151231257827", 0.1);
    form("float subnormal", FieldType::Float, "4.9e-324",
         std::numeric_limits<double>::denorm_min());
    form("short escapes", FieldType::Memo, R"("q\"b\\s\/\b\f\n\r\t")", u"q\"b\\s/\b\f\n\r\t"_s);
    form("unicode escapes either case", FieldType::String, R"("\u00e9\u00E9\u4f1a计")",
         u"éé会计"_s);
    form("surrogate pair as two escapes", FieldType::WideString, R"("\ud83d\ude00")", u"😀"_s);
    form("escaped high, raw low surrogate", FieldType::Memo,
         QStringLiteral(R"("\ud83d)") + QChar(0xde00) + u'"', u"😀"_s);
    form("lone surrogate escape", FieldType::Memo, R"("a\udc00")",
         QString(QChar(u'a')) + QChar(0xdc00));
    form("escaped zero", FieldType::Memo, R"("\u0000")", QString(QChar(0)));
    form("escape in a date", FieldType::Date, R"("2024\u002d01-31")", QDate(2024, 1, 31));
    form("escape in a blob", FieldType::Blob, R"("AAH\/")", QByteArray("\0\1\xff", 3));
}

void TestDataPacket::valueRoundTrip()
{
    QFETCH(FieldDef, def);
    QFETCH(QVariant, value);
    QFETCH(QString, json);
    DataPacket packet;
    packet.fields = {def};
    packet.rows = {{value}, {QVariant()}};
    const QString text = json.isEmpty()
                             ? writeDataPacket(packet)
                             : QStringLiteral(R"({"format":"vexa-datapacket","version":1,)"
                                              R"("fields":[{"name":"V","type":"%1"}],)"
                                              R"("rows":[[%2],[null]]})")
                                   .arg(fieldTypeName(def.type), json);
    // Stored as UTF-8: what the writer gives must survive that conversion unchanged.
    if (json.isEmpty())
        QCOMPARE(QString::fromUtf8(text.toUtf8()), text);
    DataPacket back;
    const QString error = errorOf([&] { back = readDataPacket(text); });
    QVERIFY2(error.isEmpty(), qPrintable(error));

    QCOMPARE(back.rows.size(), std::size_t(2));
    QCOMPARE(back.rows[0].size(), 1);
    QCOMPARE(back.rows[0][0].typeId(), value.typeId());
    QCOMPARE(back.rows[0][0], value);
    QVERIFY2(!back.rows[1][0].isValid(), "null must stay null, not an empty value");
    if (value.typeId() == QMetaType::Double) // == does not tell -0.0 from 0.0
        QCOMPARE(std::signbit(back.rows[0][0].toDouble()), std::signbit(value.toDouble()));
}

void TestDataPacket::randomDoublesKeepEveryBit()
{
    DataPacket packet;
    packet.fields = {field("F", FieldType::Float)};
    QRandomGenerator64 rng(42);
    while (packet.rows.size() < 20000) {
        const quint64 bits = rng.generate();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (std::isfinite(d) && d != 0)
            packet.rows.push_back({d});
    }
    const DataPacket back = readDataPacket(writeDataPacket(packet));
    QCOMPARE(back.rows.size(), packet.rows.size());
    for (std::size_t i = 0; i < back.rows.size(); ++i) {
        const double a = packet.rows[i][0].toDouble(), b = back.rows[i][0].toDouble();
        if (std::memcmp(&a, &b, sizeof a) != 0)
            QFAIL(qPrintable(QString::number(a, 'g', 17) + u" read back as "_s +
                             QString::number(b, 'g', 17)));
    }
}

void TestDataPacket::documentedExampleReads()
{
    // The same text as the full example in docs/data-packet.md: it reads, and written again
    // it parses with a plain JSON reader into the same document.
    QFile file(QFINDTESTDATA("packets/example.json"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    const DataPacket packet = readDataPacket(text);
    QCOMPARE(packet.fields.size(), 9);
    QCOMPARE(packet.fields[8], (FieldDef{"RowNo", FieldType::Integer, 0, false, true}));
    QCOMPARE(packet.rows.size(), std::size_t(2));
    QCOMPARE(packet.rows[0][2], QVariant(9007199254740993LL));
    QCOMPARE(packet.rows[0][7], QVariant(QByteArray("\0\1\xff", 3)));
    const QString again = writeDataPacket(packet);
    QCOMPARE(QJsonDocument::fromJson(again.toUtf8()), QJsonDocument::fromJson(text.toUtf8()));
}

void TestDataPacket::writerKeepsTextValidForOddValues()
{
    // Values the storage types never hold still give a packet that reads: what has no
    // JSON form, or does not convert, becomes null; typed nulls (as from a SQL query, a
    // JSON null or a null pointer) stay null; a short row is filled with nulls.
    DataPacket packet;
    packet.fields = {field("F", FieldType::Float), field("N", FieldType::Integer),
                     field("S", FieldType::String)};
    packet.rows = {{std::nan(""), u"12"_s, 7},
                   {-std::numeric_limits<double>::infinity(), u"abc"_s},
                   {QVariant(QMetaType::fromType<double>()), QVariant(QMetaType::fromType<int>()),
                    QVariant(QMetaType::fromType<QString>())},
                   {std::numeric_limits<double>::infinity(), QVariant::fromValue(nullptr),
                    QVariant::fromValue(static_cast<QObject *>(nullptr))},
                   {}};
    const DataPacket back = readDataPacket(writeDataPacket(packet));
    const QVariantList nulls = {QVariant(), QVariant(), QVariant()};
    QCOMPARE(back.rows.size(), std::size_t(5));
    QCOMPARE(back.rows[0], (QVariantList{QVariant(), QVariant(12), QVariant(u"7"_s)}));
    for (std::size_t i = 1; i < back.rows.size(); ++i)
        QCOMPARE(back.rows[i], nulls);
}

void TestDataPacket::layoutForms_data()
{
    // Every text holds the same packet, laid out as a person or another program might.
    QTest::addColumn<bool>("delta");
    QTest::addColumn<QString>("text");

    const QString fields = QStringLiteral(R"("fields":[{"name":"Code","type":"string","size":6},)"
                                          R"({"name":"Qty","type":"smallint"}])");
    const QString rows = QStringLiteral(R"("rows":[["a",1],["b",null]])");
    const QString head = QStringLiteral(R"("format":"vexa-datapacket","version":1)");
    const auto data = [](const char *tag, const QString &text) {
        QTest::newRow(tag) << false << text;
    };
    data("writer's order", u'{' + head + u',' + fields + u',' + rows + u'}');
    data("white space between all tokens",
         QStringLiteral(" \r\n{ \"format\" :\t\"vexa-datapacket\" ,\"version\"\n:\r1 , \"fields\" "
                        ": [ { \"name\" : \"Code\" , \"type\" : \"string\" , \"size\" : 6 } ,\n"
                        "{\"name\":\"Qty\",\"type\":\"smallint\"} ] , \"rows\" : [ [ \"a\" , 1 "
                        "] ,\t[ \"b\" , null ] ] } \r\n"));
    data("keys in reverse order, type in capitals",
         QStringLiteral(R"({"rows":[["a",1],["b",null]],"fields":[{"size":6,"type":"string",)"
                        R"("name":"Code"},{"type":"SMALLINT","name":"Qty"}],"version":1,)"
                        R"("format":"vexa-datapacket"})"));
    data("rows before the header", u'{' + rows + u',' + fields + u',' + head + u'}');
    data("unknown keys with nested values",
         QStringLiteral(R"({"note":{"a":[1,{"b":null,"c":[[],{}]}],"d":"x\"}"},)"
                        R"("format":"vexa-datapacket","version":1,"fields":[{"name":"Code",)"
                        R"("comment":[true,false,-1.5e3],"type":"string","size":6},)"
                        R"({"name":"Qty","type":"smallint","width":{}}],"rows":[["a",1],)"
                        R"(["b",null]],"more":[]})"));
    data("escaped key names",
         QStringLiteral(R"({"\u0066ormat":"vexa-datapacket","vers\u0069on":1,)") + fields +
             QStringLiteral(R"(,"row\u0073":[["a",1],["b",null]]})"));
    QString nested = u"0"_s;
    for (int i = 0; i < 250; ++i)
        nested = i % 2 ? u'[' + nested + u']' : u"{\"k\":"_s + nested + u'}';
    data("deeply nested unknown value",
         u'{' + head + u",\"deep\":"_s + nested + u',' + fields + u',' + rows + u'}');
    data("byte order mark", QChar(0xfeff) + u'{' + head + u',' + fields + u',' + rows + u'}');
    QTest::newRow("delta with change last")
        << true
        << u'{' + fields +
               QStringLiteral(R"(,"format":"vexa-delta","rows":[{"values":["a",1],)"
                              R"("change":"insert"},{"x":{"y":[]},"values":["b",null],)"
                              R"("original":["a",1],"change":"modify"},{"original":["b",null],)"
                              R"("change":"delete"}],"version":1})");
}

void TestDataPacket::layoutForms()
{
    QFETCH(bool, delta);
    QFETCH(QString, text);
    const QList<FieldDef> fields = {field("Code", FieldType::String, 6),
                                    field("Qty", FieldType::SmallInt)};
    const QVariantList a = {u"a"_s, 1}, b = {u"b"_s, QVariant()};
    if (delta) {
        using K = DeltaRow::Kind;
        const DeltaPacket expected{fields,
                                   {{K::Insert, a, {}}, {K::Modify, b, a}, {K::Delete, {}, b}}};
        QCOMPARE(readDeltaPacket(text), expected);
        return;
    }
    const DataPacket back = readDataPacket(text);
    QCOMPARE(back, (DataPacket{fields, {a, b}}));
    QCOMPARE(back.rows[0][1].typeId(), int(QMetaType::Int));
}

void TestDataPacket::malformed_data()
{
    QTest::addColumn<bool>("delta");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected"); // parts of the message

    const auto data = [](const char *tag, const QByteArray &text, const char *expected) {
        QTest::newRow(tag) << false << QString::fromUtf8(text)
                           << QStringList{QString::fromUtf8(expected)};
    };
    const auto delta = [](const char *tag, const QByteArray &text, const char *expected) {
        QTest::newRow(tag) << true << QString::fromUtf8(text)
                           << QStringList{QString::fromUtf8(expected)};
    };
    // A data packet whose fields are Code (string, 6 bytes), Qty (smallint), then the row.
    const auto row = [](const char *type, const char *value) {
        return QStringLiteral(R"({"format":"vexa-datapacket","version":1,"fields":[)"
                              R"({"name":"Code","type":"string","size":6},)"
                              R"({"name":"Qty","type":"%1"}],"rows":[["a",null],["b",%2]]})")
            .arg(QLatin1String(type), QString::fromUtf8(value))
            .toUtf8();
    };
    const auto badValue = [&](const char *tag, const char *type, const char *value,
                              const char *expected) {
        QTest::newRow(tag) << false << QString::fromUtf8(row(type, value))
                           << QStringList{u"第 2 行字段“Qty”的值"_s, QString::fromUtf8(expected)};
    };
    const char *head = R"({"format":"vexa-datapacket","version":1,)";
    const auto withHead = [&](const char *rest) { return QByteArray(head) + rest; };

    data("empty", "", "为空");
    data("not JSON", "Code,Qty\n1,2", "JSON");
    data("top is array", "[1,2]", "对象");
    data("no format", R"({"version":1,"fields":[],"rows":[]})", "format");
    data("other format", R"({"format":"csv","version":1,"fields":[],"rows":[]})", "format");
    data("delta given", R"({"format":"vexa-delta","version":1,"fields":[],"rows":[]})", "变更包");
    data("no version", R"({"format":"vexa-datapacket","fields":[],"rows":[]})", "version");
    data("version as text", R"({"format":"vexa-datapacket","version":"1","fields":[],"rows":[]})",
         "version");
    data("version zero", R"({"format":"vexa-datapacket","version":0,"fields":[],"rows":[]})",
         "version");
    data("version fraction", R"({"format":"vexa-datapacket","version":1.5,"rows":[]})", "version");
    data("newer version", R"({"format":"vexa-datapacket","version":2,"fields":{},"rows":7})",
         "版本为 2，本程序只能读取版本 1");
    data("no fields", withHead(R"("rows":[]})"), "fields");
    data("fields not array", withHead(R"("fields":{},"rows":[]})"), "fields");
    data("field not object", withHead(R"("fields":["Code"],"rows":[]})"), "第 1 个字段");
    data("field without name", withHead(R"("fields":[{"type":"string"}],"rows":[]})"), "name");
    data("unknown type", withHead(R"("fields":[{"name":"A","type":"varchar"}],"rows":[]})"),
         "varchar");
    data("duplicate names",
         withHead(R"("fields":[{"name":"Code","type":"string"},{"name":"CODE","type":"memo"}],)"
                  R"("rows":[]})"),
         "“CODE”重复");
    QByteArray wide;
    for (int i = 0; i <= kMaxPacketFields; ++i)
        wide += (i ? ",{\"name\":\"F" : "{\"name\":\"F") + QByteArray::number(i) +
                "\",\"type\":\"integer\"}";
    data("too many fields", withHead("\"fields\":[" + wide + "],\"rows\":[]}"),
         "字段表“fields”超过 10000 个字段的上限");
    data("negative size",
         withHead(R"("fields":[{"name":"A","type":"string","size":-1}],"rows":[]})"), "size");
    data("flag not boolean",
         withHead(R"("fields":[{"name":"A","type":"string","required":"yes"}],"rows":[]})"),
         "required");
    data("no rows", withHead(R"("fields":[]})"), "rows");
    data("row not array", withHead(R"("fields":[{"name":"A","type":"string"}],"rows":[["x"],{}]})"),
         "第 2 行不是数组");
    data("row too short", row("smallint", "1").replace(",[\"b\",1]", ",[\"b\"]"),
         "第 2 行有 1 个值，应为 2 个");
    data("row too long", row("smallint", "1,2"), "第 2 行有 3 个值");
    data("string one byte too long", row("smallint", "1").replace("\"b\"", "\"会计科a\""),
         "第 2 行字段“Code”的值过长：最多 6 字节，实际 7 字节");
    data("number in string field", row("smallint", "1").replace("\"b\"", "12"),
         "“Code”的值不是文本");
    badValue("text in integer", "integer", "\"12\"", "的值不是整数");
    badValue("fraction in integer", "integer", "1.5", "不是整数");
    badValue("smallint overflow", "smallint", "32768", "超出范围");
    badValue("negative word", "word", "-1", "超出范围");
    badValue("integer overflow", "integer", "2147483648", "超出范围");
    badValue("largeint overflow", "largeint", "9223372036854775808", "超出范围");
    badValue("text in boolean", "boolean", "\"true\"", "不是 true 或 false");
    badValue("number in date", "date", "20240131", "不是文本");
    badValue("February 30", "date", "\"2024-02-30\"", "不是有效的日期");
    badValue("three-digit year", "date", "\"999-01-31\"", "不是有效的日期");
    badValue("date without padding", "date", "\"2024-1-31\"", "不是有效的日期");
    badValue("date with time", "date", "\"2024-01-31T00:00:00.000\"", "不是有效的日期");
    badValue("hour 24", "time", "\"24:00:00.000\"", "不是有效的时间");
    badValue("time without ms", "time", "\"12:00:00\"", "不是有效的时间");
    badValue("datetime with space", "datetime", "\"2024-01-31 12:00:00.000\"",
             "不是有效的日期时间");
    badValue("datetime year beyond six digits", "datetime", "\"1000000-01-01T00:00:00.000\"",
             "不是有效的日期时间");
    badValue("datetime without time", "datetime", "\"2024-01-31\"", "不是有效的日期时间");
    badValue("bad base64", "blob", "\"@@@@\"", "不是有效的Base64");
    badValue("number in blob", "blob", "12", "不是 Base64 文本");

    const char *dhead =
        R"({"format":"vexa-delta","version":1,"fields":[{"name":"A","type":"integer"}],"rows":)";
    const auto drows = [&](const char *rows) { return QByteArray(dhead) + rows + "}"; };
    delta("data packet given", R"({"format":"vexa-datapacket","version":1,"fields":[],"rows":[]})",
          "数据包，不是变更包");
    delta("row not object", drows("[[1]]"), "第 1 行不是对象");
    delta("unknown change", drows(R"([{"change":"update","values":[1]}])"), "change");
    delta("no change", drows(R"([{"values":[1]}])"), "change");
    delta("insert with original", drows(R"([{"change":"insert","values":[1],"original":[1]}])"),
          "插入，不应有“original”");
    delta("modify without original", drows(R"([{"change":"modify","values":[1]}])"),
          "修改，缺少“original”");
    delta("delete with values", drows(R"([{"change":"delete","original":[1],"values":[1]}])"),
          "删除，不应有“values”");
    delta("original too short",
          drows(R"([{"change":"insert","values":[1]},{"change":"delete","original":[]}])"),
          "第 2 行的原值有 0 个值");
    delta("bad original value", drows(R"([{"change":"modify","original":["x"],"values":[1]}])"),
          "第 1 行原值中字段“A”的值不是整数");
    delta("duplicate change", drows(R"([{"change":"insert","values":[1],"change":"delete"}])"),
          "第 1 行的键“change”重复");
    data("duplicate rows", withHead(R"("fields":[],"rows":[],"rows":[]})"), "键“rows”重复");
    data("duplicate field key",
         withHead(R"("fields":[{"name":"A","type":"memo","name":"B"}],"rows":[]})"),
         "第 1 个字段的键“name”重复");
    badValue("number beyond double", "float", "1e400", "的值 1e400 超出范围");
    badValue("number below double", "float", "-1e-400", "超出范围");
    badValue("largeint beyond 64 bits", "largeint", "1e19", "不是整数或超出范围");

    // JSON itself, checked as the reader goes.
    const auto json = [&](const char *tag, const QByteArray &text, const char *expected) {
        QTest::newRow(tag) << false << QString::fromUtf8(text)
                           << QStringList{u"不是有效的 JSON 文本"_s, QString::fromUtf8(expected)};
    };
    const QByteArray floats = R"("fields":[{"name":"A","type":"float"}],"rows":)";
    json("cut after a backslash", withHead(R"("fields":[{"name":"A\)"), "可能已被截断");
    json("cut inside a literal", withHead(floats + "[[nu"), "可能已被截断");
    json("single quotes", withHead(floats + "[['1']]}"), "值无效");
    json("literal run on", withHead(floats + "[[nulls]]}"), "值无效");
    json("leading zero", withHead(floats + "[[01]]}"), "数字无效");
    json("exponent without digits", withHead(floats + "[[1e]]}"), "数字无效");
    json("minus alone", withHead(floats + "[[-]]}"), "数字无效");
    json("unknown escape", withHead(R"("fields":[{"name":"\x41"}],"rows":[]})"), "转义序列无效");
    json("short unicode escape", withHead(R"("fields":[{"name":"\u41G1"}],"rows":[]})"),
         "转义序列无效");
    json("raw control character", withHead("\"fields\":[{\"name\":\"a\tb\"}],\"rows\":[]}"),
         "控制字符");
    json("key without quotes", R"({format:"vexa-datapacket"})", "键名");
    json("missing comma", withHead(floats + "[[1 2]]}"), "缺少逗号");
    json("garbage at end", withHead(floats + "[]} x"), "结尾有多余内容");
    json("position of the fault", "{\n\"format\":\"vexa-datapacket\",\n\"version\" 1}",
         "缺少冒号（文本第 3 行第 11 列）");
    // Hostile nesting is refused without recursion: these would overflow a recursive reader.
    json("deep nesting at the top", QByteArray(100000, '['), "嵌套层次过深");
    json("deep nesting in a row", withHead(floats + "[" + QByteArray(100000, '[')), "嵌套层次过深");
}

void TestDataPacket::malformed()
{
    QFETCH(bool, delta);
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    const QString message =
        delta ? errorOf([&] { readDeltaPacket(text); }) : errorOf([&] { readDataPacket(text); });
    QVERIFY2(!message.isEmpty(), "no error thrown");
    for (const QString &part : expected)
        QVERIFY2(message.contains(part), qPrintable(message));
    QVERIFY2(message.startsWith(delta ? u"变更包格式错误：" : u"数据包格式错误："),
             qPrintable(message));
}

void TestDataPacket::wholePacketsAndCutOnes()
{
    // Every type, definitions with sizes and flags and a name that needs escaping; a delta
    // of every kind of change, with a null among the values and a row changed twice.
    DataPacket packet;
    for (int t = int(FieldType::String); t <= int(FieldType::Blob); ++t) {
        FieldDef f = field(u"字段%1"_s.arg(t), FieldType(t), t % 3 ? t * 7 : 0);
        f.required = t % 2;
        f.calculated = t % 5 == 0;
        packet.fields.append(f);
    }
    packet.fields.append(field(u"Name \"with\" quotes\\"_s, FieldType::Memo));
    QVariantList values = {u"文本𠮷"_s, u"w"_s, u"f"_s, 1, 2, 3, 4LL, true, 0.5, 1.25, 2.5};
    values << QDate(2024, 1, 2) << QTime(1, 2, 3, 4) << QDateTime(QDate(2024, 1, 2), QTime(1, 2))
           << u"memo\n"_s << QByteArray("\0\1", 2) << QVariant();
    packet.rows.assign(5, values);
    QVariantList changed = values;
    changed[3] = QVariant();
    const DeltaPacket delta{packet.fields,
                            {{DeltaRow::Kind::Insert, values, {}},
                             {DeltaRow::Kind::Modify, changed, values},
                             {DeltaRow::Kind::Delete, {}, changed},
                             {DeltaRow::Kind::Modify, values, changed}}};

    const QString dataText = writeDataPacket(packet);
    const QString deltaText = writeDeltaPacket(delta);
    QCOMPARE(readDataPacket(dataText), packet);
    QCOMPARE(readDeltaPacket(deltaText), delta);
    // No fields at all is the empty packet and still reads.
    QVERIFY(readDataPacket(writeDataPacket(DataPacket())).isEmpty());

    // A cut text is refused wherever the cut falls.
    for (int k = 0; k < 20; ++k) {
        const QString cutData = dataText.left(dataText.size() * k / 20);
        const QString cutDelta = deltaText.left(deltaText.size() * k / 20);
        QVERIFY2(!errorOf([&] { readDataPacket(cutData); }).isEmpty(), qPrintable(cutData));
        QVERIFY2(!errorOf([&] { readDeltaPacket(cutDelta); }).isEmpty(), qPrintable(cutDelta));
    }
}

QTEST_GUILESS_MAIN(TestDataPacket)
#include "tst_datapacket.moc"
