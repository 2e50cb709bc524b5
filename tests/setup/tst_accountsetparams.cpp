#include "AccountSetParams.h"
#include "ClientDataSet.h"
#include "DataAccess.h"
#include "Globals.h"
#include "support/TestHost.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace vexa;
using namespace vexa::gl;
using vexa::test::TestHost;

namespace {

const QDate kServerDay(2026, 3, 15);

std::unique_ptr<ClientDataSet> open(const QString &provider, const QString &command)
{
    return ProviderDataSet(provider, command);
}

QString flagString(std::initializer_list<int> ones, int length)
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

    QTemporaryDir m_settingsDir;
    std::unique_ptr<TestHost> m_host;
    bool m_newSetSaved = false;

    // Creates the rows of a new account set on the server once (the demo set has none).
    void saveNewAccountSet()
    {
        if (m_newSetSaved)
            return;
        auto tmpl = open(QStringLiteral("SYS_SMAcctTemp"),
                         QStringLiteral("WHERE 1=1 ORDER BY AcctTempCode"));
        tmpl->first();
        auto info = open(QStringLiteral("LX_SysInitInfo"), QStringLiteral("WHERE 1=1"));
        QVERIFY(info->isEmpty());
        AppendNewInfoRow(*info, tmpl->asString(QStringLiteral("AcctTempCode")), kServerDay);
        info->setValue(QStringLiteral("UseOrg"), QStringLiteral("测试公司"));
        ApplyChanges(*info, true);
        const QList<std::pair<QString, void (*)(ClientDataSet &)>> others = {
            {QStringLiteral("LX_InitShowValue"), AppendNewDisplayRow},
            {QStringLiteral("LX_InitPurValue"), AppendNewPurchaseRow},
            {QStringLiteral("LX_InitSalValue"), AppendNewSalesRow},
            {QStringLiteral("LX_InitPartValue"), AppendNewInventoryRow}};
        for (const auto &[provider, append] : others) {
            auto ds = open(provider, QStringLiteral("WHERE 1=1"));
            QVERIFY2(ds->isEmpty(), qPrintable(provider));
            append(*ds);
            ApplyChanges(*ds, true);
        }
        m_newSetSaved = true;
    }

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        m_host = std::make_unique<TestHost>();
        Globals().Host = m_host.get();
        Globals().Connection = m_host->connection.get();
        Globals().AppServer = m_host->connection.get();
        Globals().DataModule = &m_host->dataModule;
    }

    void cleanupTestCase()
    {
        Globals() = PluginGlobals();
        m_host.reset();
    }

    // The rows of a new account set, as the server stores and returns them.
    void newAccountSetDefaults_data()
    {
        QTest::addColumn<QString>("provider");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QVariant>("expected");
        const QString info = QStringLiteral("LX_SysInitInfo");
        auto row = [](const QString &provider, const char *field, const QVariant &value) {
            QTest::addRow("%s.%s", qPrintable(provider), field)
                << provider << QString::fromLatin1(field) << value;
        };
        row(info, "DefID", 1);
        row(info, "SysCur", QStringLiteral("RMB"));
        row(info, "CurrName", QStringLiteral("人民币"));
        row(info, "AcctTempDesc", QStringLiteral("A01000"));
        row(info, "StopAutoPost", false);
        row(info, "CostCalCase", QStringLiteral("B"));
        row(info, "BackupDate", kServerDay);
        row(info, "CaptionPartCode", QStringLiteral("存货编码"));
        row(info, "CaptionPartDesc", QStringLiteral("存货描述"));
        row(info, "CaptionPartName", QStringLiteral("存货"));
        row(info, "PartFixcolCount", 0);
        row(info, "PartPropCount", 0);
        row(info, "PartFactorCount", 0);
        row(info, "PartFactorCalCase", QStringLiteral("J"));
        row(info, "PartFactorCalValus", QStringLiteral("Q"));
        row(info, "TagInfo", QStringLiteral("0000000000"));
        row(info, "PriceFor", QStringLiteral("1"));
        row(info, "Quantities", 3);
        row(info, "Rates", 4);
        row(info, "Percentv", 2);
        row(info, "QuantitiesFormat", QStringLiteral(",0.######;-,0.######"));
        row(info, "RatesFormat", QStringLiteral(",0.00####;-,0.00####"));
        row(info, "PercentFormat", QStringLiteral(",0.######%;-,0.######%"));
        row(info, "ReDocnum", true);
        row(info, "InitialAudit", false);
        row(info, "IncludeAcctCode", false);
        row(info, "RatifierLimit", true);
        for (const char *f : {"GLStartPeriodID", "GLNowPeriodID", "CashierStartPeriodID",
                              "CashierNowPeriodID", "InvStartPeriodID", "InvNowPeriodID"})
            row(info, f, 0);
        row(info, "ComOption", QVariant());
        const QString show = QStringLiteral("LX_InitShowValue");
        row(show, "ValueID", 1);
        row(show, "MoneyLength", 2);
        row(show, "QuantitiesLength", 0);
        row(show, "RatesLength", 2);
        row(show, "PercentLength", 0);
        row(show, "RadixPoint", QStringLiteral("."));
        row(show, "Kilocharacter", QStringLiteral(","));
        row(show, "ShowCurrCode", false);
        row(show, "ShowCurrSymbol", false);
        row(show, "PZNumCaLen", 4);
        const QString pur = QStringLiteral("LX_InitPurValue");
        for (const char *f : {"InvoiceTag", "ReceiptTag", "OrderTag", "PreInvoice"})
            row(pur, f, false);
        for (const char *f : {"DefInto", "AutoRefdoc", "CYFFL", "PurMXL", "YEToAdvance",
                              "AutoChargeOff", "ImmStocks", "ReReceipt"})
            row(pur, f, true);
        const QString sal = QStringLiteral("LX_InitSalValue");
        for (const char *f : {"CommitmentLimit", "ConsiderDlv", "PreInvoice", "OGTag"})
            row(sal, f, false);
        for (const char *f : {"CreditLimit", "DiscPrcntLimit", "InvoiceTag", "DeliveryTag",
                              "OrderTag", "QuotationTag", "DefOut", "AutoRefdoc", "CYSFL", "SalMXL",
                              "YEToAdvance", "AutoChargeOff", "ImmStocks"})
            row(sal, f, true);
        row(QStringLiteral("LX_InitPartValue"), "ValueID", 1);
    }

    void newAccountSetDefaults()
    {
        QFETCH(QString, provider);
        QFETCH(QString, field);
        QFETCH(QVariant, expected);
        saveNewAccountSet();
        auto ds = open(provider, QStringLiteral("WHERE 1=1"));
        QCOMPARE(ds->recordCount(), 1);
        ds->first();
        const QVariant actual = ds->value(field);
        if (!expected.isValid())
            QVERIFY2(actual.isNull() || actual.toString().isEmpty(), qPrintable(field));
        else
            QCOMPARE(actual.toString(), expected.toString());
    }

    // The defaults of the display record are what DisplaySettings holds.
    void displaySettingsReadBack()
    {
        saveNewAccountSet();
        auto show = open(QStringLiteral("LX_InitShowValue"), QStringLiteral("WHERE 1=1"));
        show->first();
        const DisplaySettings read = DisplaySettings::Read(*show);
        QCOMPARE(RatesFormat(read), QStringLiteral(",0.00####;-,0.00####"));
        QCOMPARE(QuantitiesFormat(read), QStringLiteral(",0.######;-,0.######"));
        QCOMPARE(PercentFormat(read), QStringLiteral(",0.######%;-,0.######%"));
        QCOMPARE(read.PZNumCaLen, 4);
    }

    void formats_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("length"); // the length the kind reads; money for currencies
        QTest::addColumn<QString>("kilo");
        QTest::addColumn<QString>("radix");
        QTest::addColumn<bool>("showCode");
        QTest::addColumn<bool>("showSymbol");
        QTest::addColumn<int>("deciDigit");
        QTest::addColumn<QString>("expected");
        const QString k = QStringLiteral(","), r = QStringLiteral("."), none;
        QTest::newRow("rates 2") << "rates" << 2 << k << r << false << false << 0
                                 << ",0.00####;-,0.00####";
        QTest::newRow("rates 6") << "rates" << 6 << k << r << false << false << 0
                                 << ",0.000000;-,0.000000";
        QTest::newRow("rates 0 no kilo")
            << "rates" << 0 << none << r << false << false << 0 << "0.######;-0.######";
        QTest::newRow("quantities 3 other separators")
            << "quantities" << 3 << QStringLiteral(" ") << QStringLiteral(",") << false << false
            << 0 << " 0,000###;- 0,000###";
        QTest::newRow("percent 0")
            << "percent" << 0 << k << r << false << false << 0 << ",0.######%;-,0.######%";
        QTest::newRow("percent 1 no kilo")
            << "percent" << 1 << none << r << false << false << 0 << "0.0#####%;-0.0#####%";
        QTest::newRow("money 2 deci 4")
            << "currency" << 2 << k << r << false << false << 4 << ",0.00####;-,0.00####";
        QTest::newRow("money 6 deci 4")
            << "currency" << 6 << k << r << false << false << 4 << ",0.0000##;-,0.0000##";
        QTest::newRow("money 2 deci 0")
            << "currency" << 2 << k << r << false << false << 0 << ",0.######;-,0.######";
        QTest::newRow("money no kilo")
            << "currency" << 2 << none << r << false << false << 2 << "0.00####;-0.00####";
        QTest::newRow("code USD") << "currency" << 2 << k << r << true << false << 2
                                  << ",0.00#### USD;-,0.00#### USD";
        QTest::newRow("symbol $") << "currency" << 2 << k << r << false << true << 2
                                  << "$,0.00####;$-,0.00####";
        // Both flags stored on: the code wins.
        QTest::newRow("code and symbol")
            << "currency" << 2 << k << r << true << true << 2 << ",0.00#### USD;-,0.00#### USD";
        QTest::newRow("voucher 3") << "voucher" << 3 << k << r << false << false << 0 << "[N:XXX]";
        QTest::newRow("voucher 4") << "voucher" << 4 << k << r << false << false << 0 << "[N:XXXX]";
        QTest::newRow("voucher 6")
            << "voucher" << 6 << k << r << false << false << 0 << "[N:XXXXXX]";
        QTest::newRow("base first")
            << "base" << 0 << k << r << false << false << 0 << ",0.00####;-,0.00####";
        QTest::newRow("base first with code")
            << "base" << 0 << k << r << true << false << 0 << ",0.00####USD;-,0.00####USD";
    }

    void formats()
    {
        QFETCH(QString, kind);
        QFETCH(int, length);
        QFETCH(QString, kilo);
        QFETCH(QString, radix);
        QFETCH(bool, showCode);
        QFETCH(bool, showSymbol);
        QFETCH(int, deciDigit);
        QFETCH(QString, expected);
        DisplaySettings d;
        d.Kilocharacter = kilo;
        d.RadixPoint = radix;
        d.ShowCurrCode = showCode;
        d.ShowCurrSymbol = showSymbol;
        QString actual;
        if (kind == QLatin1String("rates")) {
            d.RatesLength = length;
            d.QuantitiesLength = 5; // must not leak into the rates
            actual = RatesFormat(d);
        } else if (kind == QLatin1String("quantities")) {
            d.QuantitiesLength = length;
            actual = QuantitiesFormat(d);
        } else if (kind == QLatin1String("percent")) {
            d.PercentLength = length;
            actual = PercentFormat(d);
        } else if (kind == QLatin1String("currency")) {
            d.MoneyLength = length;
            actual = CurrencyFormat(d, QStringLiteral("USD"), QStringLiteral("$"), deciDigit);
        } else if (kind == QLatin1String("voucher")) {
            actual = VoucherNumberFormat(length);
        } else {
            actual = BaseCurrencyFirstFormat(showCode, QStringLiteral("USD"));
        }
        QCOMPARE(actual, expected);
    }

    // The currency loop and the voucher format over the demo's own tables, through a save.
    void currencyAndVoucherFormatsSaved()
    {
        auto cur = open(QStringLiteral("LX_DMCurrency"), QStringLiteral("WHERE 1=1"));
        DisplaySettings d;
        d.ShowCurrSymbol = true;
        AppendNewCurrencyRow(*cur, QStringLiteral("GBP"), QStringLiteral("英镑"));
        ApplyCurrencyFormats(*cur, d);
        ApplyChanges(*cur, true);
        auto docs = open(QStringLiteral("LX_DMDocNum"),
                         QStringLiteral("WHERE (ObjType = 2101) or (ObjType = 2102) "
                                        "ORDER BY ObjType, NumCa"));
        QVERIFY(docs->recordCount() > 0);
        ApplyVoucherNumberFormat(*docs, 5);
        ApplyChanges(*docs, true);

        cur = open(QStringLiteral("LX_DMCurrency"), QStringLiteral("WHERE 1=1"));
        const QList<std::pair<QString, QString>> expected = {
            {QStringLiteral("USD"), QStringLiteral("$,0.00####;$-,0.00####")},
            {QStringLiteral("JPY"), QStringLiteral("JP￥,0.######;JP￥-,0.######")},
            {QStringLiteral("GBP"), QStringLiteral(",0.00####;-,0.00####")}};
        for (const auto &[code, format] : expected) {
            QVERIFY2(cur->locate(QStringLiteral("CurrCode"), code), qPrintable(code));
            QCOMPARE(cur->asString(QStringLiteral("FormatStr")), format);
        }
        QCOMPARE(cur->asString(QStringLiteral("RndMthd")), QStringLiteral("N"));
        QCOMPARE(cur->asInteger(QStringLiteral("DeciDigit")), 2);
        QCOMPARE(cur->asString(QStringLiteral("Amt")), QStringLiteral("分"));
        QCOMPARE(cur->asBoolean(QStringLiteral("Active")), true);

        auto all = open(QStringLiteral("LX_DMDocNum"), QStringLiteral("WHERE 1=1"));
        int vouchers = 0;
        for (all->first(); !all->eof(); all->next()) {
            const int type = int(all->asInteger(QStringLiteral("ObjType")));
            if (type != 2101 && type != 2102)
                continue;
            ++vouchers;
            QCOMPARE(all->asString(QStringLiteral("NumFormat")), QStringLiteral("[N:XXXXX]"));
        }
        QCOMPARE(vouchers, docs->recordCount());
    }

    void optionRecordsCreatedWhenNoneStored()
    {
        ClientDataSet info;
        info.addField(QStringLiteral("ComOption"), FieldType::Memo);
        info.addField(QStringLiteral("FinOption"), FieldType::Memo);
        info.createDataSet();
        info.append();
        info.setValue(QStringLiteral("FinOption"), QStringLiteral("garbage that must not be read"));
        info.post();
        OptionRecords options;
        QCOMPARE(options.Load(info), false);
        for (int k = 0; k < OptionRecords::Count; ++k) {
            ClientDataSet &rec = options.record(OptionRecords::Kind(k));
            QCOMPARE(rec.recordCount(), 1);
            rec.first();
            QCOMPARE(rec.asString(QStringLiteral("VerNo")), QStringLiteral("7.13.23"));
            QCOMPARE(rec.asString(QStringLiteral("BooleanStr")), QString(512, QLatin1Char('0')));
        }
    }

    void financeFlagsSaved_data()
    {
        QTest::addColumn<QList<int>>("set");
        QTest::addColumn<QString>("expected");
        QTest::newRow("only 52") << QList<int>{52} << flagString({52}, 500);
        QTest::newRow("none") << QList<int>{} << QString(500, QLatin1Char('0'));
        QTest::newRow("first and last listed")
            << QList<int>{1, 21, 51} << flagString({1, 21, 51}, 500);
        // Unlisted positions are not kept.
        QTest::newRow("unlisted") << QList<int>{22, 50, 53, 500} << QString(500, QLatin1Char('0'));
    }

    void financeFlagsSaved()
    {
        QFETCH(QList<int>, set);
        QFETCH(QString, expected);
        FinanceFlags flags;
        for (int p : set)
            flags.set(p, true);
        QCOMPARE(flags.toBooleanStr(), expected);
    }

    void financeFlagsShown_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("optionsStored");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("expected");
        const QString zeros512(512, QLatin1Char('0'));
        QTest::newRow("new account set")
            << zeros512 << false << false << flagString({5, 6, 8, 21, 52}, 500);
        QTest::newRow("stored, not enabled: 5 forced")
            << flagString({3}, 512) << true << false << flagString({3, 5}, 500);
        QTest::newRow("stored, enabled: 5 kept off")
            << flagString({3}, 512) << true << true << flagString({3}, 500);
        QTest::newRow("all ones keeps listed only")
            << QString(512, QLatin1Char('1')) << true << true
            << flagString({1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                           13, 14, 15, 16, 17, 18, 19, 20, 21, 51, 52},
                          500);
        QTest::newRow("short text")
            << QStringLiteral("0001") << true << true << flagString({4}, 500);
    }

    void financeFlagsShown()
    {
        QFETCH(QString, stored);
        QFETCH(bool, optionsStored);
        QFETCH(bool, enabled);
        QFETCH(QString, expected);
        QCOMPARE(FinanceFlags::ForDialog(stored, optionsStored, enabled).toBooleanStr(), expected);
    }

    // Saved into the information record and read back from the server: the finance record
    // holds the 500 flags, the others are unchanged packets, 4 and 5 are mirrored.
    void optionRecordsRoundTrip()
    {
        saveNewAccountSet();
        auto info = open(QStringLiteral("LX_SysInitInfo"), QStringLiteral("WHERE 1=1"));
        info->first();
        OptionRecords options;
        QCOMPARE(options.Load(*info), false);
        ClientDataSet &inv = options.record(OptionRecords::Inv);
        inv.first();
        inv.edit();
        inv.setValue(QStringLiteral("BooleanStr"), flagString({7, 512}, 512));
        inv.post();
        QList<DataPacket> before;
        for (int k = 0; k < OptionRecords::Count; ++k)
            before << options.record(OptionRecords::Kind(k)).data();

        FinanceFlags flags;
        // The opposites of the new row's RatifierLimit and IncludeAcctCode.
        flags.set(5, true);
        flags.set(52, true);
        options.Save(*info, flags);
        ApplyChanges(*info, true);

        info = open(QStringLiteral("LX_SysInitInfo"), QStringLiteral("WHERE 1=1"));
        info->first();
        QCOMPARE(info->asBoolean(QStringLiteral("RatifierLimit")), false);
        QCOMPARE(info->asBoolean(QStringLiteral("IncludeAcctCode")), true);
        OptionRecords reread;
        QCOMPARE(reread.Load(*info), true);
        QCOMPARE(reread.BooleanStr(OptionRecords::Fin), flagString({5, 52}, 500));
        for (int k = 0; k < OptionRecords::Count; ++k) {
            if (k == OptionRecords::Fin)
                continue;
            const DataPacket after = reread.record(OptionRecords::Kind(k)).data();
            QCOMPARE(after.fields, before[k].fields);
            QVERIFY(after.rows == before[k].rows);
        }
        QCOMPARE(reread.BooleanStr(OptionRecords::Inv), flagString({7, 512}, 512));
        QCOMPARE(reread.record(OptionRecords::Fin).asString(QStringLiteral("VerNo")),
                 QStringLiteral("7.13.23"));

        // Options stored only in part left the missing records closed, and every later
        // save of the set failed.
        info->edit();
        info->setValue(QStringLiteral("MftOption"), QString());
        info->post();
        OptionRecords partly;
        QCOMPARE(partly.Load(*info), true);
        QCOMPARE(partly.BooleanStr(OptionRecords::Mft), QString(512, QLatin1Char('0')));
        QCOMPARE(partly.BooleanStr(OptionRecords::Inv), flagString({7, 512}, 512));
        partly.Save(*info, flags);
        QVERIFY(!info->asString(QStringLiteral("MftOption")).isEmpty());
    }

    void partCustomOverlay()
    {
        // A stored record of another shape: fewer fields, one unknown, one of another type.
        ClientDataSet stored;
        stored.addField(QStringLiteral("DefProp3"), FieldType::String, 64);
        stored.addField(QStringLiteral("checkid2"), FieldType::Integer);
        stored.addField(QStringLiteral("PartProp20"), FieldType::String, 100);
        stored.addField(QStringLiteral("Extra"), FieldType::String, 10);
        stored.addField(QStringLiteral("Factor1"), FieldType::Integer);
        stored.createDataSet();
        stored.append();
        stored.setValue(QStringLiteral("DefProp3"), QStringLiteral("颜色"));
        stored.setValue(QStringLiteral("checkid2"), 7);
        stored.setValue(QStringLiteral("PartProp20"), QStringLiteral("产地"));
        stored.setValue(QStringLiteral("Extra"), QStringLiteral("x"));
        stored.setValue(QStringLiteral("Factor1"), 12);
        stored.post();

        ClientDataSet partCustom;
        LoadPartCustom(partCustom, stored.saveToText());
        QCOMPARE(partCustom.fieldDefs(), PartCustomFieldDefs());
        QCOMPARE(partCustom.recordCount(), 1);
        const QList<std::pair<QString, QString>> expected = {
            {QStringLiteral("DefProp0"), QStringLiteral("属性 0")},
            {QStringLiteral("DefProp3"), QStringLiteral("颜色")},
            {QStringLiteral("DefProp9"), QStringLiteral("属性 9")},
            {QStringLiteral("Factor0"), QStringLiteral("因子 0")},
            {QStringLiteral("Factor1"), QStringLiteral("12")},
            {QStringLiteral("CheckID2"), QStringLiteral("7")},
            {QStringLiteral("CheckID9"), QStringLiteral("0")},
            {QStringLiteral("PartProp1"), QStringLiteral("存货属性 1")},
            {QStringLiteral("PartProp20"), QStringLiteral("产地")}};
        for (const auto &[field, value] : expected)
            QCOMPARE(partCustom.asString(field), value);
        QCOMPARE(partCustom.fieldIndex(QStringLiteral("Extra")), -1);

        // Edited and saved, it comes back the same.
        partCustom.edit();
        partCustom.setValue(QStringLiteral("Factor9"), QStringLiteral("长度"));
        const QString text = SavePartCustom(partCustom);
        ClientDataSet again;
        LoadPartCustom(again, text);
        QVERIFY(again.data().rows == partCustom.data().rows);
        QCOMPARE(again.asString(QStringLiteral("Factor9")), QStringLiteral("长度"));

        ClientDataSet fresh;
        LoadPartCustom(fresh, QString());
        QVERIFY(fresh.data().rows == DefaultPartCustomPacket().rows);
    }

    void codeListsAndWarehouseRow()
    {
        QCOMPARE(CodeListText(CodeList::CostCalCase, QStringLiteral("B")),
                 QStringLiteral("采购自动核算，其他手工核算"));
        QCOMPARE(CodeListText(CodeList::SalPriceFor, QStringLiteral("6")),
                 QStringLiteral("取销售基础价格"));
        QCOMPARE(CodeListText(CodeList::PurPriceFor, QStringLiteral("6")), QString());
        QCOMPARE(CodeListEntries(CodeList::UMRateCase).size(), 2);

        auto props =
            open(QStringLiteral("LX_BMListProperty"),
                 QStringLiteral("WHERE (PropType = 'WHCoCase') ORDER BY PropType, SortNo"));
        const int stored = props->recordCount();
        InsertWarehouseCostingRow(*props);
        QCOMPARE(props->recordCount(), stored + 1);
        props->first();
        QCOMPARE(props->asInteger(QStringLiteral("PropID")), -1);
        QCOMPARE(props->asString(QStringLiteral("PropValue")), QStringLiteral("W"));
        QCOMPARE(props->asString(QStringLiteral("Remark")), QStringLiteral("按仓库计价方式"));
        QCOMPARE(props->asBoolean(QStringLiteral("FixTag")), true);
    }

    // The address, the inventory accounting row and the check lists of a set that has none.
    void recordsOpenedByKey()
    {
        auto address = OpenAddressRecord(0);
        QCOMPARE(address->recordCount(), 1);
        QVERIFY(address->value(QStringLiteral("AddressID")).isNull());
        QVERIFY(address->value(QStringLiteral("AddrDesc")).isNull());
        QCOMPARE(address->state(), ClientDataSet::State::Insert);

        // A key the information record names but the table lacks stays on the new row,
        // so the save does not fail on a row without its key.
        address = OpenAddressRecord(77);
        QCOMPARE(address->asInteger(QStringLiteral("AddressID")), 77);
        address->setValue(QStringLiteral("AddrDesc"), QStringLiteral("上海市浦东新区"));
        address->post();
        ApplyChanges(*address, true);
        address = OpenAddressRecord(77);
        QCOMPARE(address->recordCount(), 1);
        QCOMPARE(address->changeCount(), 0);
        QCOMPARE(address->asString(QStringLiteral("AddrDesc")), QStringLiteral("上海市浦东新区"));

        // A new inventory record has no PartAcctID yet: read as 0, not a broken command text.
        auto config = OpenPartAcctConfig(QVariant());
        QCOMPARE(config->recordCount(), 1);
        QCOMPARE(config->asInteger(QStringLiteral("PartAcctID")), 0);
        ApplyChanges(*config, true);
        config = OpenPartAcctConfig(QVariant());
        QCOMPARE(config->changeCount(), 0);
        QCOMPARE(OpenPartAcctConfig(5)->asInteger(QStringLiteral("PartAcctID")), 5);

        auto lists = OpenEntryCheckLists();
        QCOMPARE(lists->asInteger(QStringLiteral("ACheckID")), 0);
        QCOMPARE(lists->asString(QStringLiteral("ACheckCode")), QStringLiteral("自定义"));
        const int stored = lists->recordCount();

        // A template load may leave the server without list 0: it is still offered, and
        // saving the lookup never writes it.
        lists->first();
        lists->deleteRecord();
        lists->append();
        lists->setValue(QStringLiteral("ACheckID"), 9);
        lists->setValue(QStringLiteral("ACheckCode"), QStringLiteral("部门"));
        lists->post();
        ApplyChanges(*lists, true);
        lists = OpenEntryCheckLists();
        QCOMPARE(lists->recordCount(), stored + 1); // list 9 and list 0 in memory
        QCOMPARE(lists->asInteger(QStringLiteral("ACheckID")), 0);
        QCOMPARE(lists->asString(QStringLiteral("ACheckCode")), QStringLiteral("自定义"));
        QCOMPARE(lists->changeCount(), 0);
        ApplyChanges(*lists, true);
        auto server =
            open(QStringLiteral("LX_FINBaseACheckItem"), QStringLiteral("WHERE ACheckID = 0"));
        QVERIFY(server->isEmpty());
    }
};

QTEST_MAIN(TestAccountSetParams)
#include "tst_accountsetparams.moc"
