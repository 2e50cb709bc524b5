// The parameter records without a server: display formats, finance flags, the option
// records and the part-custom record as stored.
#include "AccountSetParams.h"
#include "ClientDataSet.h"

#include <QTest>

using namespace vexa;
using namespace vexa::gl;

namespace {

QString flagString(const QList<int> &ones, int length)
{
    QString s(length, QLatin1Char('0'));
    for (int p : ones)
        s[p - 1] = QLatin1Char('1');
    return s;
}

} // namespace

class TestAccountSetParams : public QObject
{
    Q_OBJECT

private slots:
    // Each length is read by its own format: the others hold 5 to show a mix-up.
    void formats()
    {
        DisplaySettings d;
        d.QuantitiesLength = d.PercentLength = d.MoneyLength = 5;
        QCOMPARE(RatesFormat(d), QStringLiteral(",0.00####;-,0.00####"));
        d.RatesLength = 6; // six decimals and more: no "#"
        QCOMPARE(RatesFormat(d), QStringLiteral(",0.000000;-,0.000000"));
        d.PercentLength = 1;
        QCOMPARE(PercentFormat(d), QStringLiteral(",0.0#####%;-,0.0#####%"));
        d.Kilocharacter.clear();
        d.QuantitiesLength = 3;
        QCOMPARE(QuantitiesFormat(d), QStringLiteral("0.000###;-0.000###"));
        d.Kilocharacter = QStringLiteral(",");
        // Currencies take the smaller of the money length and their own decimals.
        QCOMPARE(CurrencyFormat(d, "USD", "$", 4), QStringLiteral(",0.0000##;-,0.0000##"));
        d.MoneyLength = 2;
        QCOMPARE(CurrencyFormat(d, "USD", "$", 0), QStringLiteral(",0.######;-,0.######"));
        d.ShowCurrSymbol = true;
        QCOMPARE(CurrencyFormat(d, "USD", "$", 2), QStringLiteral("$,0.00####;$-,0.00####"));
        d.ShowCurrCode = true; // both stored on: the code wins
        QCOMPARE(CurrencyFormat(d, "USD", "$", 2), QStringLiteral(",0.00#### USD;-,0.00#### USD"));
        QCOMPARE(BaseCurrencyFirstFormat(true, "USD"),
                 QStringLiteral(",0.00####USD;-,0.00####USD"));
        QCOMPARE(BaseCurrencyFirstFormat(false, "USD"), QStringLiteral(",0.00####;-,0.00####"));
        QCOMPARE(VoucherNumberFormat(5), QStringLiteral("[N:XXXXX]"));
    }

    void financeFlags_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("optionsStored");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("expected");
        QTest::newRow("new account set")
            << QString(512, '0') << false << false << flagString({5, 6, 8, 21, 52}, 500);
        QTest::newRow("stored, not enabled: 5 forced")
            << flagString({3}, 512) << true << false << flagString({3, 5}, 500);
        QTest::newRow("stored, enabled: 5 kept off")
            << flagString({3}, 512) << true << true << flagString({3}, 500);
        // Only listed positions are kept: 21 and 51 are the edges of the lists, 22 and 50 not.
        QTest::newRow("listed only") << flagString({1, 21, 22, 50, 51, 53, 500}, 512) << true
                                     << true << flagString({1, 21, 51}, 500);
        QTest::newRow("short text")
            << QStringLiteral("0001") << true << true << flagString({4}, 500);
    }
    void financeFlags()
    {
        QFETCH(QString, stored);
        QFETCH(bool, optionsStored);
        QFETCH(bool, enabled);
        QFETCH(QString, expected);
        QCOMPARE(FinanceFlags::ForDialog(stored, optionsStored, enabled).toBooleanStr(), expected);
    }

    // Saved into the information record and read back: the finance record holds the 500
    // flags, the others come back unchanged, 4 and 5 are mirrored. Options stored only in
    // part once left the missing records closed, and every later save failed.
    void optionRecordsRoundTrip()
    {
        ClientDataSet info;
        for (int k = 0; k < OptionRecords::Count; ++k)
            info.addField(OptionRecords::FieldName(OptionRecords::Kind(k)), FieldType::Memo);
        info.addField("RatifierLimit", FieldType::Boolean);
        info.addField("IncludeAcctCode", FieldType::Boolean);
        info.createDataSet();
        info.append();
        info.setValue("FinOption", QStringLiteral("not read without ComOption"));
        info.setValue("RatifierLimit", true);
        info.post();
        OptionRecords options;
        QCOMPARE(options.Load(info), false);
        QCOMPARE(options.BooleanStr(OptionRecords::Fin), QString(OptionFlagCount, '0'));
        ClientDataSet &inv = options.record(OptionRecords::Inv);
        inv.edit();
        inv.setValue("BooleanStr", flagString({7, 512}, 512));
        inv.post();
        FinanceFlags flags;
        flags.set(5, true);
        flags.set(52, true);
        options.Save(info, flags);
        info.post();
        QCOMPARE(info.asBoolean("RatifierLimit"), false);
        QCOMPARE(info.asBoolean("IncludeAcctCode"), true);

        info.edit();
        info.setValue("MftOption", QString());
        info.post();
        OptionRecords reread;
        QCOMPARE(reread.Load(info), true);
        QCOMPARE(reread.BooleanStr(OptionRecords::Fin), flagString({5, 52}, 500));
        QCOMPARE(reread.BooleanStr(OptionRecords::Inv), flagString({7, 512}, 512));
        QCOMPARE(reread.BooleanStr(OptionRecords::Mft), QString(OptionFlagCount, '0'));
        reread.Save(info, flags);
        QVERIFY(!info.asString("MftOption").isEmpty());
    }

    // A stored record of another shape: fewer fields, one unknown, one of another type.
    void partCustomOverlay()
    {
        ClientDataSet stored;
        stored.addField("DefProp3", FieldType::String, 64);
        stored.addField("checkid2", FieldType::Integer);
        stored.addField("Extra", FieldType::String, 10);
        stored.addField("Factor1", FieldType::Integer);
        stored.createDataSet();
        stored.append();
        stored.setValue("DefProp3", QStringLiteral("颜色"));
        stored.setValue("checkid2", 7);
        stored.setValue("Extra", QStringLiteral("x"));
        stored.setValue("Factor1", 12);
        stored.post();
        ClientDataSet partCustom;
        LoadPartCustom(partCustom, stored.saveToText());
        QCOMPARE(partCustom.fieldDefs(), PartCustomFieldDefs());
        QCOMPARE(partCustom.asString("DefProp3"), QStringLiteral("颜色"));
        QCOMPARE(partCustom.asString("DefProp9"), QStringLiteral("属性 9"));
        QCOMPARE(partCustom.asString("Factor1"), QStringLiteral("12"));
        QCOMPARE(partCustom.asInteger("CheckID2"), 7);
        QCOMPARE(partCustom.asString("PartProp20"), QStringLiteral("存货属性 20"));
        partCustom.edit();
        partCustom.setValue("Factor9", QStringLiteral("长度"));
        ClientDataSet again;
        LoadPartCustom(again, SavePartCustom(partCustom));
        QVERIFY(again.data().rows == partCustom.data().rows);
    }
};

QTEST_MAIN(TestAccountSetParams)
#include "tst_accountsetparams.moc"
