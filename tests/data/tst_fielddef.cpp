#include "FieldDef.h"

#include <vexa/Error.h>

#include <QDate>
#include <QDateTime>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace vexa;

Q_DECLARE_METATYPE(vexa::FieldType)

class TestFieldDef : public QObject
{
    Q_OBJECT

private slots:
    void gbkLength_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("bytes");
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("ascii") << u"AcctCode 1001"_s << 13;
        QTest::newRow("chinese") << u"库存现金"_s << 8;
        QTest::newRow("mixed") << u"1001库存"_s << 8;
        QTest::newRow("full-width digits") << u"１２"_s << 4;
        // A character outside the BMP is one character, not two halves.
        QTest::newRow("supplementary") << u"𠮷a"_s << 3;
    }
    void gbkLength()
    {
        QFETCH(QString, text);
        QFETCH(int, bytes);
        QCOMPARE(gbkByteLength(text), bytes);
    }

    void coerce_data()
    {
        QTest::addColumn<FieldType>("type");
        QTest::addColumn<int>("size");
        QTest::addColumn<QVariant>("input");
        QTest::addColumn<QVariant>("expected"); // invalid: must throw

        const QVariant refused;
        const auto row = [](const char *tag, FieldType type, int size, QVariant in, QVariant out) {
            QTest::newRow(tag) << type << size << in << out;
        };
        row("string fits", FieldType::String, 8, u"库存现金"_s, u"库存现金"_s);
        row("string one byte over", FieldType::String, 7, u"库存现金"_s, refused);
        row("memo ignores size", FieldType::Memo, 2, u"长长长"_s, u"长长长"_s);
        row("empty string is not null", FieldType::String, 4, QString(), u""_s);
        row("int from text", FieldType::Integer, 0, u" 42 "_s, 42);
        row("int from whole double", FieldType::Integer, 0, 12.0, 12);
        row("int refuses fraction", FieldType::Integer, 0, 1.5, refused);
        row("int refuses words", FieldType::Integer, 0, u"abc"_s, refused);
        row("int overflow", FieldType::Integer, 0, QVariant(qlonglong(1) << 31), refused);
        row("smallint range", FieldType::SmallInt, 0, 40000, refused);
        row("word negative", FieldType::Word, 0, -1, refused);
        row("largeint", FieldType::LargeInt, 0, u"9007199254740993"_s,
            qlonglong(9007199254740993LL));
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
        row("blob from bytes", FieldType::Blob, 0, QByteArray("\0\1\2", 3),
            QByteArray("\0\1\2", 3));
    }

    void coerce()
    {
        QFETCH(FieldType, type);
        QFETCH(int, size);
        QFETCH(QVariant, input);
        QFETCH(QVariant, expected);
        FieldDef f;
        f.name = u"F"_s;
        f.type = type;
        f.size = size;
        if (!expected.isValid()) {
            try {
                const QVariant v = coerceToField(f, input);
                QFAIL(qPrintable(u"accepted: "_s + v.toString()));
            } catch (const Error &e) {
                QVERIFY2(e.message().contains(u"“F”"_s), qPrintable(e.message()));
            }
            return;
        }
        const QVariant v = coerceToField(f, input);
        QCOMPARE(v.typeId(), expected.typeId());
        QCOMPARE(v, expected);
        QVERIFY(!v.isNull());
    }

    void nullStaysNull()
    {
        for (FieldType t :
             {FieldType::String, FieldType::Integer, FieldType::Date, FieldType::Blob}) {
            FieldDef f;
            f.name = u"F"_s;
            f.type = t;
            f.required = true;
            QVERIFY(!coerceToField(f, QVariant()).isValid());
        }
    }

    void typeNamesRoundTrip()
    {
        for (int i = 0; i <= int(FieldType::Blob); ++i) {
            const auto t = FieldType(i);
            QCOMPARE(fieldTypeFromName(fieldTypeName(t)).value(), t);
            QCOMPARE(fieldTypeFromName(fieldTypeName(t).toUpper()).value(), t);
        }
        QVERIFY(!fieldTypeFromName(u"varchar"_s));
    }
};

QTEST_APPLESS_MAIN(TestFieldDef)
#include "tst_fielddef.moc"
