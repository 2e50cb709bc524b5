#include "FieldDef.h"

#include <vexa/Error.h>

#include <QDate>
#include <QDateTime>
#include <QTest>

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
        QTest::newRow("ascii") << QStringLiteral("AcctCode 1001") << 13;
        QTest::newRow("chinese") << QStringLiteral("库存现金") << 8;
        QTest::newRow("mixed") << QStringLiteral("1001库存") << 8;
        QTest::newRow("full-width digits") << QStringLiteral("１２") << 4;
        // A character outside the BMP is one character, not two halves.
        QTest::newRow("supplementary") << QStringLiteral("𠮷a") << 3;
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
            << FieldType::String << 8 << QVariant(QStringLiteral("库存现金"))
            << QVariant(QStringLiteral("库存现金"));
        QTest::newRow("string one byte over")
            << FieldType::String << 7 << QVariant(QStringLiteral("库存现金")) << refused;
        QTest::newRow("memo ignores size")
            << FieldType::Memo << 2 << QVariant(QStringLiteral("长长长"))
            << QVariant(QStringLiteral("长长长"));
        QTest::newRow("empty string is not null")
            << FieldType::String << 4 << QVariant(QString()) << QVariant(QStringLiteral(""));
        QTest::newRow("int from text")
            << FieldType::Integer << 0 << QVariant(QStringLiteral(" 42 ")) << QVariant(42);
        QTest::newRow("int from whole double")
            << FieldType::Integer << 0 << QVariant(12.0) << QVariant(12);
        QTest::newRow("int refuses fraction")
            << FieldType::Integer << 0 << QVariant(1.5) << refused;
        QTest::newRow("int refuses words")
            << FieldType::Integer << 0 << QVariant(QStringLiteral("abc")) << refused;
        QTest::newRow("int overflow")
            << FieldType::Integer << 0 << QVariant(qlonglong(1) << 31) << refused;
        QTest::newRow("smallint range") << FieldType::SmallInt << 0 << QVariant(40000) << refused;
        QTest::newRow("word negative") << FieldType::Word << 0 << QVariant(-1) << refused;
        QTest::newRow("largeint") << FieldType::LargeInt << 0
                                  << QVariant(QStringLiteral("9007199254740993"))
                                  << QVariant(qlonglong(9007199254740993LL));
        QTest::newRow("bool from 是")
            << FieldType::Boolean << 0 << QVariant(QStringLiteral("是")) << QVariant(true);
        QTest::newRow("bool from N")
            << FieldType::Boolean << 0 << QVariant(QStringLiteral("N")) << QVariant(false);
        QTest::newRow("bool refuses 2")
            << FieldType::Boolean << 0 << QVariant(QStringLiteral("2")) << refused;
        QTest::newRow("currency rounds to 4 places")
            << FieldType::Currency << 0 << QVariant(1.234567) << QVariant(1.2346);
        // Regression: scaling a huge amount to round it overflowed to infinity.
        QTest::newRow("currency keeps huge values finite")
            << FieldType::Currency << 0 << QVariant(1.8e304) << QVariant(1.8e304);
        QTest::newRow("float refuses text")
            << FieldType::Float << 0 << QVariant(QStringLiteral("1,5")) << refused;
        QTest::newRow("date from text")
            << FieldType::Date << 0 << QVariant(QStringLiteral("2024-02-29"))
            << QVariant(QDate(2024, 2, 29));
        QTest::newRow("date refuses 2023-02-29")
            << FieldType::Date << 0 << QVariant(QStringLiteral("2023-02-29")) << refused;
        QTest::newRow("datetime keeps ms")
            << FieldType::DateTime << 0 << QVariant(QStringLiteral("2024-01-31 23:59:59.123"))
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
        f.name = QStringLiteral("F");
        f.type = type;
        f.size = size;
        if (!expected.isValid()) {
            try {
                const QVariant v = coerceToField(f, input);
                QFAIL(qPrintable(QStringLiteral("accepted: ") + v.toString()));
            } catch (const Error &e) {
                QVERIFY2(e.message().contains(QStringLiteral("“F”")), qPrintable(e.message()));
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
            f.name = QStringLiteral("F");
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
        QVERIFY(!fieldTypeFromName(QStringLiteral("varchar")));
    }
};

QTEST_APPLESS_MAIN(TestFieldDef)
#include "tst_fielddef.moc"
