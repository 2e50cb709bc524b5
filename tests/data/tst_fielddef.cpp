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
        QTest::newRow("string fits")
            << FieldType::String << 8 << QVariant(u"库存现金"_s) << QVariant(u"库存现金"_s);
        QTest::newRow("string one byte over")
            << FieldType::String << 7 << QVariant(u"库存现金"_s) << refused;
        QTest::newRow("memo ignores size")
            << FieldType::Memo << 2 << QVariant(u"长长长"_s) << QVariant(u"长长长"_s);
        QTest::newRow("empty string is not null")
            << FieldType::String << 4 << QVariant(QString()) << QVariant(u""_s);
        QTest::newRow("int from text")
            << FieldType::Integer << 0 << QVariant(u" 42 "_s) << QVariant(42);
        QTest::newRow("int from whole double")
            << FieldType::Integer << 0 << QVariant(12.0) << QVariant(12);
        QTest::newRow("int refuses fraction")
            << FieldType::Integer << 0 << QVariant(1.5) << refused;
        QTest::newRow("int refuses words")
            << FieldType::Integer << 0 << QVariant(u"abc"_s) << refused;
        QTest::newRow("int overflow")
            << FieldType::Integer << 0 << QVariant(qlonglong(1) << 31) << refused;
        QTest::newRow("smallint range") << FieldType::SmallInt << 0 << QVariant(40000) << refused;
        QTest::newRow("word negative") << FieldType::Word << 0 << QVariant(-1) << refused;
        QTest::newRow("largeint") << FieldType::LargeInt << 0 << QVariant(u"9007199254740993"_s)
                                  << QVariant(qlonglong(9007199254740993LL));
        QTest::newRow("bool from 是")
            << FieldType::Boolean << 0 << QVariant(u"是"_s) << QVariant(true);
        QTest::newRow("bool from N")
            << FieldType::Boolean << 0 << QVariant(u"N"_s) << QVariant(false);
        QTest::newRow("bool refuses 2") << FieldType::Boolean << 0 << QVariant(u"2"_s) << refused;
        QTest::newRow("currency rounds to 4 places")
            << FieldType::Currency << 0 << QVariant(1.234567) << QVariant(1.2346);
        // Regression: scaling a huge amount to round it overflowed to infinity.
        QTest::newRow("currency keeps huge values finite")
            << FieldType::Currency << 0 << QVariant(1.8e304) << QVariant(1.8e304);
        QTest::newRow("float refuses text")
            << FieldType::Float << 0 << QVariant(u"1,5"_s) << refused;
        QTest::newRow("date from text")
            << FieldType::Date << 0 << QVariant(u"2024-02-29"_s) << QVariant(QDate(2024, 2, 29));
        QTest::newRow("date refuses 2023-02-29")
            << FieldType::Date << 0 << QVariant(u"2023-02-29"_s) << refused;
        QTest::newRow("datetime keeps ms")
            << FieldType::DateTime << 0 << QVariant(u"2024-01-31 23:59:59.123"_s)
            << QVariant(QDateTime(QDate(2024, 1, 31), QTime(23, 59, 59, 123)));
        QTest::newRow("datetime from date")
            << FieldType::DateTime << 0 << QVariant(QDate(2024, 1, 1))
            << QVariant(QDate(2024, 1, 1).startOfDay());
        QTest::newRow("blob from bytes")
            << FieldType::Blob << 0 << QVariant(QByteArray("\0\1\2", 3))
            << QVariant(QByteArray("\0\1\2", 3));
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
