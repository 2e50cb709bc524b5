// Typed amounts to fen and back, exactly.
#include "Money.h"

#include <vexa/Error.h>

#include <QTest>

using namespace vexa;
using namespace vexa::ledger;

class TestMoney : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("fen");
        QTest::addColumn<QString>("refusal"); // part of the message; empty: accepted
        const auto ok = [](const char *tag, const QString &text, qint64 fen) {
            QTest::newRow(tag) << text << fen << QString();
        };
        const auto no = [](const char *tag, const QString &text, const char *why) {
            QTest::newRow(tag) << text << qint64(0) << QString::fromUtf8(why);
        };
        ok("whole", "12", 1200);
        ok("one decimal", "12.3", 1230);
        ok("two decimals", "12.34", 1234);
        ok("negative", "-5.00", -500);
        ok("separators", "1,234.56", 123456);
        ok("millions", "1,234,567", 123456700);
        ok("full-width", QStringLiteral("１２．３"), 1230);
        ok("blanks", QStringLiteral("  7.05\u3000"), 705);
        ok("empty", "", 0);
        ok("dot only fraction", ".5", 50);
        ok("limit", "1000000000000000", Money::kLimitFen);
        ok("negative limit", "-1000000000000000.00", -Money::kLimitFen);
        // Binary floating point would turn these into ...99.
        ok("not through double", "0.29", 29);
        ok("large exact", "999999999999999.99", Q_INT64_C(99999999999999999));
        no("three decimals", "12.345", "两位小数");
        no("letters", "12a", "不是数字");
        no("two dots", "1.2.3", "不是数字");
        no("sign alone", "-", "不是数字");
        no("separator misplaced", "12,34.5", "千位分隔符");
        no("separator in decimals", "1.2,3", "不是数字");
        no("over the limit", "1000000000000000.01", "超出范围");
        no("far over", "99999999999999999999999", "超出范围");
        no("exponent", "1e5", "不是数字");
    }

    void parse()
    {
        QFETCH(QString, text);
        QFETCH(qint64, fen);
        QFETCH(QString, refusal);
        if (refusal.isEmpty()) {
            QCOMPARE(Money::parse(text), fen);
            return;
        }
        try {
            Money::parse(text);
            QFAIL("accepted");
        } catch (const Error &e) {
            QVERIFY2(e.message().contains(refusal), qPrintable(e.message()));
        }
    }

    void format()
    {
        QCOMPARE(Money::format(123456), QStringLiteral("1,234.56"));
        QCOMPARE(Money::format(123456789012), QStringLiteral("1,234,567,890.12"));
        QCOMPARE(Money::format(123456, false), QStringLiteral("1234.56"));
        QCOMPARE(Money::format(-5), QStringLiteral("-0.05"));
        QCOMPARE(Money::format(-100000), QStringLiteral("-1,000.00"));
        QCOMPARE(Money::format(0), QStringLiteral("0.00"));
        QCOMPARE(Money::format(std::numeric_limits<qint64>::min(), false),
                 QStringLiteral("-92233720368547758.08"));
        // What is shown reads back as the same amount.
        for (qint64 fen : {qint64(1), qint64(-99999), Money::kLimitFen, qint64(100000)})
            QCOMPARE(Money::parse(Money::format(fen)), fen);
    }
};

QTEST_GUILESS_MAIN(TestMoney)
#include "tst_money.moc"
