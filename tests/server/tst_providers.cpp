// Every provider of the catalog answers the command texts the forms send, on a demo account
// set filled the way a configured company would be (chart template, periods, vouchers ...).
#include "ClientDataSet.h"
#include "ProviderCatalog.h"
#include "SqlDialect.h"
#include "SqliteRows.h"
#include "SqliteStatement.h"
#include "support/ServerFixture.h"

#include <vexa/Error.h>

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <algorithm>

using namespace vexa;
using namespace vexa::server;
using vexa::test::ServerFixture;

namespace {

const QString kClerkId = QStringLiteral("{1E8C8115-2981-5C5C-AA61-4041A89117C5}");
const QString kDocGuid = QStringLiteral("{9B2E4F61-0C3A-4D8E-A7B5-2F1C6D8E9A03}");

// What the rows of a command text must show so that the condition is seen to apply.
enum class Proof {
    One,  // a key condition: exactly one row
    None, // a condition no row meets (a key that is not there, "WHERE -1=1")
    Some, // some rows, but not all of the provider's
    All,  // every row (the text only orders)
};

QList<QVariantMap> rowsOf(std::initializer_list<QVariantMap> rows)
{
    return QList<QVariantMap>(rows);
}

// Sorted "k1|k2" texts of the key columns of each row.
QStringList keysOf(const Provider &p, const DataPacket &packet)
{
    QStringList out;
    for (const QVariantList &row : packet.rows) {
        QStringList parts;
        for (const QString &k : p.keys)
            parts << row[indexOfField(packet.fields, k)].toString();
        out << parts.join(u'|');
    }
    out.sort();
    return out;
}

int compareValues(const QVariant &a, const QVariant &b)
{
    if (!a.isValid() || !b.isValid())
        return int(a.isValid()) - int(b.isValid()); // NULL first, as SQL sorts it
    const QPartialOrdering o = QVariant::compare(a, b);
    return o == QPartialOrdering::Less ? -1 : o == QPartialOrdering::Greater ? 1 : 0;
}

} // namespace

Q_DECLARE_METATYPE(Proof)
Q_DECLARE_METATYPE(vexa::FieldType)

namespace {

// The same value down to its type and to a null text or blob against an empty one.
bool identical(const QVariant &a, const QVariant &b)
{
    if (a.typeId() != b.typeId() || a.isNull() != b.isNull() || a != b)
        return false;
    if (a.typeId() == QMetaType::QString)
        return a.toString().isNull() == b.toString().isNull();
    if (a.typeId() == QMetaType::QByteArray)
        return a.toByteArray().isNull() == b.toByteArray().isNull();
    return true;
}

} // namespace

class TestProviders : public QObject
{
    Q_OBJECT

    std::unique_ptr<ServerFixture> m_fx;
    std::unique_ptr<ServerConnection> m_c;

    ServerConnection &c() { return *m_c; }
    const Provider &provider(const QString &name) const
    {
        return m_fx->server->catalog().require(name);
    }

    // Appends rows to a provider through a client dataset, copying the fields the
    // provider has by name, and saves them in one apply.
    void save(const QString &providerName, const QList<QVariantMap> &rows)
    {
        ClientDataSet ds;
        ds.setRemoteConnection(m_c.get());
        ds.setProviderName(providerName);
        ds.setCommandText(QStringLiteral("WHERE -1=1"));
        ds.open();
        for (const QVariantMap &row : rows) {
            ds.append();
            for (auto it = row.begin(); it != row.end(); ++it)
                ds.setValue(it.key(), it.value());
            ds.post();
        }
        int errors = -1;
        QVariant owner;
        c().applyUpdates(providerName, ds.delta(), -1, errors, owner);
        QVERIFY2(errors == 0, qPrintable(providerName + QStringLiteral(": ") + c().lastError()));
    }

    // A template payload as the template load copies it.
    void saveTemplate(const QString &providerName, const DataPacket &payload,
                      const std::function<void(QVariantMap &)> &adjust = {})
    {
        QList<QVariantMap> rows;
        for (const QVariantList &r : payload.rows) {
            QVariantMap m;
            for (int i = 0; i < payload.fields.size(); ++i)
                m.insert(payload.fields[i].name, r[i]);
            if (adjust)
                adjust(m);
            rows << m;
        }
        save(providerName, rows);
    }

    void sql(const QString &statement)
    {
        QSqlQuery q(c().database());
        QVERIFY2(q.exec(statement), qPrintable(q.lastError().text()));
    }

    QStringList oracleKeys(const QString &statement)
    {
        QSqlQuery q(c().database());
        if (!q.exec(statement))
            throw Error(statement + QStringLiteral(": ") + q.lastError().text());
        QStringList out;
        while (q.next()) {
            QStringList parts;
            for (int i = 0; i < q.record().count(); ++i)
                parts << q.value(i).toString();
            out << parts.join(u'|');
        }
        out.sort();
        return out;
    }

    int total(const QString &providerName)
    {
        return int(c().request(providerName, QString()).rows.size());
    }

    // Keys of the rows a client-side filter keeps over the provider's whole list.
    QStringList clientFiltered(const QString &providerName, const QString &filter)
    {
        ClientDataSet ds;
        ds.setRemoteConnection(m_c.get());
        ds.setProviderName(providerName);
        ds.setCommandText(QStringLiteral("WHERE 1=1"));
        ds.open();
        ds.setFilter(filter);
        ds.setFiltered(true);
        const Provider &p = provider(providerName);
        QStringList out;
        for (int r = 0; r < ds.recordCount(); ++r) {
            QStringList parts;
            for (const QString &k : p.keys)
                parts << ds.valueAt(r, ds.fieldIndex(k)).toString();
            out << parts.join(u'|');
        }
        out.sort();
        return out;
    }

private slots:
    void initTestCase()
    {
        m_fx = std::make_unique<ServerFixture>();
        m_c = m_fx->connect();

        // two bank accounts below 1002 as a company adds them.
        const DataPacket tpl = c().request(QStringLiteral("SYS_SMAcctTempData"),
                                           QStringLiteral("WHERE AcctTempCode = 'A01000'"));
        QCOMPARE(int(tpl.rows.size()), 1);
        const auto payload = [&](const char *field) {
            return readDataPacket(
                tpl.rows[0][indexOfField(tpl.fields, QLatin1String(field))].toString());
        };
        const DataPacket accounts = payload("AcctXMLData");
        QVERIFY(accounts.rows.size() > 100);
        saveTemplate(QStringLiteral("LX_DMAccounting"), accounts, [](QVariantMap &m) {
            m.insert(QStringLiteral("CurrCode"), QStringLiteral("RMB"));
            if (m.value(QStringLiteral("AcctCode")) == QStringLiteral("1002"))
                m.insert(QStringLiteral("IsNode"), false);
        });
        QVariant bankId;
        for (const QVariantList &r : accounts.rows)
            if (r[indexOfField(accounts.fields, QStringLiteral("AcctCode"))].toString() == u"1002")
                bankId = r[indexOfField(accounts.fields, QStringLiteral("AcctID"))];
        QVERIFY(bankId.isValid());
        const auto bank = [&](int id, const char *code, const char *name) {
            return QVariantMap{{"AcctID", id},     {"AcctCode", code},   {"LevelCode", code},
                               {"AcctName", name}, {"ParentID", bankId}, {"Levels", 2},
                               {"IsNode", true},   {"AcctType", "1"},    {"AcctTypeCode", "ZC"},
                               {"DC", "D"},        {"CurrCode", "RMB"},  {"Frozen", false}};
        };
        save(QStringLiteral("LX_DMAccounting"),
             {bank(9001, "100201", "中国工商银行"), bank(9002, "100202", "中国建设银行")});
        saveTemplate(QStringLiteral("LX_DMAccttype"), payload("AcctTypeXMLData"));
        saveTemplate(QStringLiteral("LX_FINGLReportTemplet"), payload("T0200096"));
        saveTemplate(QStringLiteral("LX_FINGLReportTempletItem"), payload("T0200097"));
        saveTemplate(QStringLiteral("LX_FINGLReportTempletForAcctDef"), payload("T0200098"));
        saveTemplate(QStringLiteral("LX_FINGLReportTempletForSUM"), payload("T0200099"));

        // Two years of monthly periods; the first quarter of 2024 closed.
        QList<QVariantMap> periods;
        for (int i = 0; i < 24; ++i) {
            const int year = 2024 + i / 12, no = i % 12 + 1;
            const QDate from(year, no, 1);
            periods << QVariantMap{
                {"PeriodID", i + 1},
                {"Year", year},
                {"No", no},
                {"PeriodCode", QStringLiteral("%1.%2").arg(year).arg(no, 2, 10, QChar(u'0'))},
                {"PeriodName", QStringLiteral("%1年第%2期").arg(year).arg(no)},
                {"PostingFrom", from},
                {"PostingTo", from.addMonths(1).addDays(-1)},
                {"Active", "Y"},
                {"Locked", "N"},
                {"GLPost", i < 3},
                {"CashierPost", i < 2},
                {"InvPost", false}};
        }
        save(QStringLiteral("LX_FINPostingPeriods"), periods);

        // The ledger's tables are written by its operations only; their providers read.
        sql(QStringLiteral(
            "INSERT INTO FINDocVoucher (DocEntry, ObjType, NumCa, DocNum, DocDate, PeriodID, "
            "Posted) VALUES (1, 2101, '记', 1, '2024-01-15', 1, 1), "
            "(2, 2101, '记', 2, '2024-03-31', 3, 1), (3, 2101, '转', 1, '2024-03-31', 4, 1), "
            "(4, 2101, '记', 3, '2024-05-10', 5, 0)"));
        sql(QStringLiteral("INSERT INTO FINDocVoucherLine (DocEntry, LineNo, AcctID, DacvID, "
                           "Debit, Credit) VALUES (1, 1, 1, 0, 100, 0), (1, 2, 2, 0, 0, 100)"));
        sql(QStringLiteral("INSERT INTO GLBalance (AcctID, PeriodID, DacvID, Debit, Credit) "
                           "VALUES (1, 1, 0, 100, 0), (2, 1, 0, 0, 100)"));
        sql(QStringLiteral("INSERT INTO GLOpening (AcctID, DacvID, CurrCode, Balance, YtdDebit, "
                           "YtdCredit) VALUES (1, 0, '', 500, 0, 0)"));
        sql(QStringLiteral("INSERT INTO GLOption (Name, Value) VALUES ('ProfitAcctID', '4103')"));
        sql(QStringLiteral("INSERT INTO FINGLReportValue (TempletID, ItemID, PeriodID, Amount1) "
                           "SELECT TempletID, ItemID, 1, 100 FROM T0200097 "
                           "ORDER BY TempletID, ItemID LIMIT 1"));
        sql(QStringLiteral("INSERT INTO OperationLog (LogID, LogTime, Action) "
                           "VALUES (1, '2024-01-15 09:00:00.000', '新增')"));
        sql(QStringLiteral("INSERT INTO DMProperty (PropID, PropType, PropValue, Remark, FixTag, "
                           "SortNo) VALUES (6, 'PartUnit', '个', '计量单位', 0, 1)"));

        save(QStringLiteral("LX_SysInitInfo"), rowsOf({{{"DefID", 1},
                                                        {"UseOrg", "演示贸易有限公司"},
                                                        {"SysCur", "RMB"},
                                                        {"CurrName", "人民币"},
                                                        {"AcctTempDesc", "A01000"},
                                                        {"AddressID", 1},
                                                        {"StartYear", 2024},
                                                        {"YearPeriods", 12},
                                                        {"GLStartPeriodID", 1},
                                                        {"GLNowPeriodID", 4}}}));
        save(QStringLiteral("LX_InitShowValue"),
             rowsOf({{{"ValueID", 1}, {"MoneyLength", 2}, {"PZNumCaLen", 4}}}));
        save(QStringLiteral("LX_InitSalValue"), rowsOf({{{"ValueID", 1}, {"CreditLimit", true}}}));
        save(QStringLiteral("LX_InitPurValue"), rowsOf({{{"ValueID", 1}, {"InvoiceTag", false}}}));
        save(QStringLiteral("LX_InitPartValue"), rowsOf({{{"ValueID", 1}, {"PartAcctID", 1}}}));
        save(QStringLiteral("LX_BMListPartAcctConfig"),
             rowsOf({{{"PartAcctID", 1}, {"PartAcctDesc", "存货核算科目"}, {"InvAcctCode", "1405"}},
                     {{"PartAcctID", 2}, {"PartAcctDesc", "备用"}}}));
        save(QStringLiteral("LX_DMAddress"),
             rowsOf({{{"AddressID", 1}, {"AddrDesc", "上海市浦东新区世纪大道 100 号"}},
                     {{"AddressID", 2}, {"AddrDesc", "北京市海淀区中关村大街 1 号"}}}));
        save(QStringLiteral("LX_DMDocNum"),
             rowsOf({{{"ObjType", 3101}, {"NumCa", "XS"}, {"NumDesc", "销售订单"}}}));
        save(QStringLiteral("LX_DMGLAccountingConfigure"),
             rowsOf({{{"RowID", 1}, {"AutoPost", true}, {"RoundingAccountCode", "6603"}}}));
        save(QStringLiteral("LX_FINBaseACheckLevels"),
             rowsOf({{{"DacvID", 1}, {"ACheckID", 0}, {"DacvCode", "01"}, {"DacvDesc", "红色"}},
                     {{"DacvID", 2}, {"ACheckID", 0}, {"DacvCode", "02"}, {"DacvDesc", "蓝色"}}}));
        QList<QVariantMap> props;
        const int propRows[][3] = {{1, 0, 1}, {1, 5, 1}, {1, 7, 1}, {2, 0, 0}, {0, 0, 0}};
        for (int i = 0; i < int(std::size(propRows)); ++i)
            props << QVariantMap{{"PropIndex", i + 1},
                                 {"PropID", propRows[i][0]},
                                 {"PartID", propRows[i][1]},
                                 {"PropType", propRows[i][2]},
                                 {"PropCode", QStringLiteral("P%1").arg(i + 1)},
                                 {"PropValue", QStringLiteral("属性值%1").arg(i + 1)}};
        save(QStringLiteral("LX_DMMaterielPropValue"), props);
        QList<QVariantMap> files;
        const int fileRows[][3] = {{2101, 1, 0}, {2101, 1, 2}, {2101, 2, 0}, {3101, 1, 0}};
        for (int i = 0; i < int(std::size(fileRows)); ++i)
            files << QVariantMap{
                {"AccessoriesID", QStringLiteral("{00000000-0000-4000-8000-00000000000%1}").arg(i)},
                {"ObjType", fileRows[i][0]},
                {"EntryID", fileRows[i][1]},
                {"ItemID", fileRows[i][2]},
                {"ObjGUID", fileRows[i][2] == 2 ? kDocGuid : QString()},
                {"IndexNo", 4 - i},
                {"Caption", QStringLiteral("附件%1").arg(i + 1)}};
        save(QStringLiteral("LX_DMAccessories"), files);
        save(QStringLiteral("SYS_SMFaceControl"),
             rowsOf({{{"FaceControl", "spVoucherEntry"}, {"MCode", "GLPZLR"}}}));
    }

    // Every provider opens with "WHERE 1=1" and with no text at all, with its own columns.
    void everyProviderOpens_data()
    {
        QTest::addColumn<QString>("name");
        for (const Provider *p : m_fx->server->catalog().providers())
            QTest::newRow(qPrintable(p->name)) << p->name;
    }
    void everyProviderOpens()
    {
        QFETCH(QString, name);
        const Provider &p = provider(name);
        const DataPacket all = c().request(name, QStringLiteral("WHERE 1=1"));
        QCOMPARE(all.fields, p.fields);
        const QStringList stored = oracleKeys(
            QStringLiteral("SELECT %1 FROM %2")
                .arg(p.keys.join(u','), m_fx->server->dialect().quoteIdentifier(p.source)));
        QVERIFY2(!stored.isEmpty(), "the account set was loaded for every provider");
        QCOMPARE(keysOf(p, all), stored);
        QCOMPARE(keysOf(p, c().request(name, QString())), stored);
        for (const QVariantList &row : all.rows)
            QCOMPARE(row.size(), p.fields.size());
    }

    // The texts the forms compose, blanks as they send them. oracle selects the key
    // columns of the rows the text means, written by hand in SQL.
    void commandTexts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("oracle");
        QTest::addColumn<QString>("order");
        QTest::addColumn<Proof>("proof");
        const auto row = [](const char *tag, const char *name, const char *text, const char *oracle,
                            const char *order, Proof proof) {
            QTest::newRow(tag) << QString::fromUtf8(name) << QString::fromUtf8(text)
                               << QString::fromUtf8(oracle) << QString::fromUtf8(order) << proof;
        };
        const QByteArray clerk = kClerkId.toUtf8();
        row("right of a group", "LX_SysCheckRight", "WHERE UserGroup = 1 AND ObjType = 2101",
            "SELECT UserGroup, ObjType FROM SysCheckRight WHERE UserGroup = 1 AND ObjType = 2101",
            "", Proof::One);
        row("console tree", "SYS_SMModuleTree",
            ("WHERE (UserID IS NULL) OR (UserID='" + clerk + "') ORDER BY ParentID,Sort")
                .constData(),
            ("SELECT NodeID FROM SMModuleTree WHERE UserID IS NULL OR UserID = '" + clerk + "'")
                .constData(),
            "ParentID, Sort", Proof::Some);
        row("find account", "LX_BMListAccounting",
            "Top 1 WHERE AcctCode = '22210101' AND IsNode = 1 AND Frozen = 0 ORDER BY AcctCode",
            "SELECT AcctID FROM T0102010 WHERE AcctCode = '22210101'", "AcctCode", Proof::One);
        row("lookup row limit", "LX_BMListAccounting",
            "TOP 100  WHERE (IsNode = 1)  ORDER BY AcctType, LevelCode",
            "SELECT AcctID FROM T0102010 WHERE IsNode = 1 ORDER BY AcctType, LevelCode LIMIT 100",
            "AcctType, LevelCode", Proof::Some);
        row("lookup all four", "LX_BMListAccounting",
            "TOP 2000  WHERE ( (IsNode = 1) AND (Frozen = 0)  AND (AcctType = '1'))  AND (AcctCode "
            "Like  '%100%' AND Levels > 1)  ORDER BY AcctType, LevelCode",
            "SELECT AcctID FROM T0102010 WHERE IsNode = 1 AND Frozen = 0 AND AcctType = '1' AND "
            "AcctCode LIKE '%100%' AND Levels > 1",
            "AcctType, LevelCode", Proof::Some);
        row("picker caller", "LX_BMListAccounting",
            "WHERE (AcctType = '6')  AND (IsNode = 1 AND Frozen = 0)  ORDER BY AcctType, "
            "LevelCode",
            "SELECT AcctID FROM T0102010 WHERE AcctType = '6' AND IsNode = 1 AND Frozen = 0",
            "AcctType, LevelCode", Proof::Some);
        row("period table", "LX_FINPostingPeriods", "WHERE 1=1 ORDER BY PeriodID",
            "SELECT PeriodID FROM FINPostingPeriods", "PeriodID", Proof::All);
        row("period picker given", "LX_FINPostingPeriods", "TOP 2000  WHERE (-1=1)",
            "SELECT PeriodID FROM FINPostingPeriods WHERE 1 = 0", "", Proof::None);
        row("period search name", "LX_FINPostingPeriods",
            "TOP 2000   WHERE (PeriodCode Like '第3期%' OR PeriodName Like '%第3期%')",
            "SELECT PeriodID FROM FINPostingPeriods WHERE No = 3", "", Proof::Some);
        row("last voucher", "LX_FINDocVoucherPost",
            "TOP 1 WHERE 1=1 ORDER BY DocDate DESC, PeriodID DESC",
            "SELECT DocEntry FROM FINDocVoucher WHERE Posted = 1 ORDER BY DocDate DESC, PeriodID "
            "DESC LIMIT 1",
            "", Proof::One);
        // '' is an empty text, not NULL.
        row("base-currency openings", "LX_GLOpening", "WHERE CurrCode = ''",
            "SELECT AcctID, DacvID, CurrCode FROM GLOpening WHERE CurrCode = ''", "", Proof::One);
        row("voucher numbering", "LX_DMDocNum",
            "WHERE (ObjType = 2101) or (ObjType = 2102) ORDER BY ObjType, NumCa",
            "SELECT ObjType, NumCa FROM DMDocNum WHERE ObjType IN (2101, 2102)", "ObjType, NumCa",
            Proof::Some);
        row("filter columns", "ENV_EnvDataObject",
            "WHERE DataObject = 'LX_BMListAccounting' AND ShowNo = '0' AND FindTag = True ORDER "
            "BY Index",
            "SELECT DataObject, ShowNo, ColumnName FROM EnvDataObject WHERE DataObject = "
            "'LX_BMListAccounting' AND ShowNo = '0' AND FindTag = 1",
            "Index", Proof::Some);
        row("property values", "LX_DMMaterielPropValue",
            "WHERE PropType = 1 AND (PartID = 0 OR PartID = 5) ORDER BY PropID, PartID, PropCode, "
            "PropIndex",
            "SELECT PropIndex FROM T0101020 WHERE PropType = 1 AND PartID IN (0, 5)",
            "PropID, PartID, PropCode, PropIndex", Proof::Some);
        row("attachments of a line", "LX_DMAccessories",
            ("WHERE ObjType = 2101 AND EntryID = 1 AND ItemID = 2 AND ObjGUID = '" +
             kDocGuid.toUtf8() + "' ORDER BY IndexNo")
                .constData(),
            "SELECT AccessoriesID FROM DMAccessories WHERE ItemID = 2", "IndexNo", Proof::One);
        row("module search GL", "SYS_SMModules",
            "TOP 2000  WHERE (InnerUse = 0)  AND (MCode Like 'GL%' OR MDesc Like '%GL%' OR "
            "SearchOne Like '%GL%' OR SearchTwo Like '%GL%' OR DllFile = 'GL')  ORDER BY MCode",
            "SELECT MCode FROM SMModules WHERE InnerUse = 0 AND (UPPER(MCode) LIKE 'GL%' OR "
            "UPPER(MDesc) LIKE '%GL%' OR UPPER(SearchOne) LIKE '%GL%' OR UPPER(SearchTwo) LIKE "
            "'%GL%' OR DllFile = 'GL')",
            "MCode", Proof::Some);
    }

    void commandTexts()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, oracle);
        QFETCH(QString, order);
        QFETCH(Proof, proof);
        const Provider &p = provider(name);
        const DataPacket packet = c().request(name, text);
        QCOMPARE(packet.fields, p.fields);
        QCOMPARE(keysOf(p, packet), oracleKeys(oracle));

        const int n = int(packet.rows.size()), all = total(name);
        switch (proof) {
        case Proof::One:
            QCOMPARE(n, 1);
            break;
        case Proof::None:
            QCOMPARE(n, 0);
            break;
        case Proof::Some:
            QVERIFY2(n > 0 && n < all, qPrintable(QStringLiteral("%1 of %2").arg(n).arg(all)));
            break;
        case Proof::All:
            QCOMPARE(n, all);
            break;
        }

        QList<std::pair<int, bool>> by; // field index, descending
        for (const QString &item : order.split(u',', Qt::SkipEmptyParts)) {
            const QStringList words = item.simplified().split(u' ');
            by.append(
                {indexOfField(packet.fields, words[0]), words.size() > 1 && words[1] == u"DESC"});
            QVERIFY(by.back().first >= 0);
        }
        for (int r = 1; r < n; ++r) {
            int cmp = 0;
            for (const auto &[field, desc] : by) {
                cmp = compareValues(packet.rows[r - 1][field], packet.rows[r][field]);
                if (desc)
                    cmp = -cmp;
                if (cmp != 0)
                    break;
            }
            QVERIFY2(cmp <= 0,
                     qPrintable(QStringLiteral("rows %1 and %2 out of order").arg(r).arg(r + 1)));
        }
    }

    // A request on SQLite reads its rows through the engine's handle: every value and every
    // failure must be the one Qt's driver and the dialect give for the same statement.
    void sqliteCellsAsTheDriverReadsThem_data()
    {
        QTest::addColumn<FieldType>("type");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QVariantList>("params");
        const auto row = [](const char *name, FieldType type, const char *sql,
                            QVariantList params = {}) {
            QTest::newRow(name) << type << QString::fromUtf8(sql) << params;
        };
        using T = FieldType;
        row("null text", T::String, "SELECT NULL");
        row("empty text", T::String, "SELECT ''");
        row("text with NUL", T::Memo, "SELECT 'a' || char(0) || 'b'");
        row("non-BMP text", T::WideString, "SELECT '𝄞 账 😀'");
        row("bytes not UTF-8", T::String, "SELECT CAST(x'61ff80c0' AS TEXT)");
        row("integer in a text column", T::String, "SELECT 42");
        row("real in a text column", T::FixedChar, "SELECT 1.5");
        row("blob in a text column", T::String, "SELECT x'e8b4a6'");
        row("date", T::Date, "SELECT '2024-01-31'");
        row("date with a time", T::Date, "SELECT '2024-01-31 10:20:30.456'");
        row("date not a date", T::Date, "SELECT 'soon'");
        row("date time", T::DateTime, "SELECT '2024-01-31 10:20:30.456'");
        row("time", T::Time, "SELECT '10:20:30'");
        row("boolean true", T::Boolean, "SELECT 1");
        row("boolean false", T::Boolean, "SELECT 0");
        row("boolean as another number", T::Boolean, "SELECT -1");
        row("boolean as text", T::Boolean, "SELECT '0'");
        row("boolean as real", T::Boolean, "SELECT 0.5");
        row("64-bit integer", T::LargeInt, "SELECT 9223372036854775807");
        row("64-bit in an integer column", T::Integer, "SELECT 4294967297");
        row("real in an integer column", T::Integer, "SELECT 2.5");
        row("negative real in a small column", T::SmallInt, "SELECT -2.5");
        row("text in an integer column", T::Word, "SELECT '12'");
        row("real in a 64-bit column", T::LargeInt, "SELECT 1e19");
        row("currency", T::Currency, "SELECT 1.23456");
        row("currency from an integer", T::Currency, "SELECT 7");
        row("float", T::Float, "SELECT 0.1");
        row("blob", T::Blob, "SELECT x'00ff'");
        row("empty blob", T::Blob, "SELECT x''");
        row("text in a blob column", T::Blob, "SELECT '账'");
        row("null text bound", T::String, "SELECT ?", {QVariant(QString())});
        row("empty text bound", T::String, "SELECT ?", {QVariant(QStringLiteral(""))});
        row("boolean bound", T::String, "SELECT ?", {true});
        row("64-bit bound", T::LargeInt, "SELECT ?", {qlonglong(1) << 40});
        row("real bound", T::Float, "SELECT ?", {0.25});
        row("blob bound", T::Blob, "SELECT ?", {QByteArray("\0\1", 2)});
        row("date bound", T::String, "SELECT ?", {QDate(2024, 2, 29)});
        row("date time bound", T::String, "SELECT ?", {QDateTime(QDate(2024, 2, 29), QTime(1, 2))});
        row("unknown column", T::String, "SELECT nosuch");
        row("two statements", T::String, "SELECT 1; SELECT 2");
        row("too few values bound", T::String, "SELECT ?, ?", {1});
        row("fails at the third row", T::String,
            "SELECT CASE WHEN value < 3 THEN value ELSE json('{') END FROM json_each('[1,2,3]')");
    }

    void sqliteCellsAsTheDriverReadsThem()
    {
        QFETCH(FieldType, type);
        QFETCH(QString, sql);
        QFETCH(QVariantList, params);
        const QString name = QStringLiteral("cells");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(QStringLiteral(":memory:"));
            QVERIFY(db.open());
            SqliteDialect dialect;
            const QList<FieldDef> fields{{QStringLiteral("v"), type}, {QStringLiteral("w"), type}};

            QSqlQuery q(db);
            q.setForwardOnly(true);
            bool ok = q.prepare(sql);
            for (const QVariant &p : params)
                q.addBindValue(p);
            ok = ok && q.exec();
            std::vector<QVariantList> expected;
            while (ok && q.next()) {
                QVariantList r;
                for (int i = 0; i < q.record().count(); ++i)
                    r << dialect.fromStorage(fields[i], q.value(i));
                expected.push_back(r);
            }
            const QSqlError expectedError = q.lastError();
            q.finish();

            const QList<FieldDef> used = fields.mid(0, sql.count(u'?') == 2 ? 2 : 1);
            std::vector<QVariantList> rows;
            QSqlError error;
            const bool read =
                readSqliteRows(sqliteHandle(db), sql, params, used, dialect, rows, error);
            QCOMPARE(read, !expectedError.isValid());
            if (!read) {
                QCOMPARE(error.databaseText(), expectedError.databaseText());
                QCOMPARE(error.driverText(), expectedError.driverText());
                QCOMPARE(error.nativeErrorCode(), expectedError.nativeErrorCode());
                QCOMPARE(error.type(), expectedError.type());
            } else {
                QCOMPARE(rows.size(), expected.size());
                for (size_t r = 0; r < rows.size(); ++r)
                    for (int i = 0; i < used.size(); ++i)
                        QVERIFY2(
                            identical(rows[r][i], expected[r][i]),
                            qPrintable(QStringLiteral("%1 against %2")
                                           .arg(rows[r][i].toString(), expected[r][i].toString())));
            }
        }
        QSqlDatabase::removeDatabase(name);
    }

    // Without ORDER BY a list comes in key order, also after a row was rewritten, and TOP
    // takes the rows with the lowest keys.
    void keyOrderWhereNothingElseDecides()
    {
        const QString name = QStringLiteral("LX_DMAccounting");
        const Provider &p = provider(name);
        sql(QStringLiteral("UPDATE %1 SET AcctName = AcctName WHERE AcctID = (SELECT MIN(AcctID) "
                           "FROM %1)")
                .arg(p.update));
        const auto ids = [&](const QString &command) {
            const DataPacket packet = c().request(name, command);
            const int id = indexOfField(packet.fields, QStringLiteral("AcctID"));
            QList<qlonglong> out;
            for (const QVariantList &row : packet.rows)
                out << row[id].toLongLong();
            return out;
        };
        const QList<qlonglong> all = ids(QStringLiteral("WHERE 1=1"));
        QList<qlonglong> sorted = all;
        std::sort(sorted.begin(), sorted.end());
        QCOMPARE(all, sorted);
        QCOMPARE(ids(QStringLiteral("TOP 3")), sorted.mid(0, 3));
    }

    // The list view joins the account's full name: its ancestors' names and its own.
    void fullNames()
    {
        const DataPacket list = c().request(
            QStringLiteral("LX_BMListAccounting"),
            QStringLiteral("WHERE AcctCode IN ('2221', '222101', '22210101') ORDER BY AcctCode"));
        QCOMPARE(int(list.rows.size()), 3);
        const int name = indexOfField(list.fields, QStringLiteral("AcctName"));
        const int full = indexOfField(list.fields, QStringLiteral("FullName"));
        QString expected;
        for (const QVariantList &r : list.rows) {
            expected += (expected.isEmpty() ? QString() : QStringLiteral("-")) + r[name].toString();
            QCOMPARE(r[full].toString(), expected);
        }
        QCOMPARE(list.rows[1][full].toString(), QStringLiteral("应交税费-应交增值税"));
        // Added below an existing account, the name follows its parent's.
        const DataPacket bank = c().request(QStringLiteral("LX_BMListAccounting"),
                                            QStringLiteral("WHERE AcctCode = '100202'"));
        QCOMPARE(bank.rows[0][full].toString(), QStringLiteral("银行存款-中国建设银行"));
        QCOMPARE(bank.rows[0][indexOfField(bank.fields, QStringLiteral("CurrName"))].toString(),
                 QStringLiteral("人民币"));
    }

    // A condition as the filter builder writes it (its blanks, quoted dates, 1/0 for
    // booleans) finds on the server what the same condition written by hand finds, and what
    // the client-side filter keeps.
    void filterBuilderTexts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("built");
        QTest::addColumn<QString>("byHand");
        const auto row = [](const char *name, const char *built, const char *byHand) {
            QTest::newRow(built) << QString::fromUtf8(name) << QString::fromUtf8(built)
                                 << QString::fromUtf8(byHand);
        };
        row("LX_BMListAccounting", "AcctCode Like  '%100%' AND Levels > 1",
            "AcctCode LIKE '%100%' AND Levels >= 2");
        row("LX_BMListAccounting", "DC =  'C' AND Levels < 2", "Levels = 1 AND DC = 'C'");
        row("LX_BMListAccounting", "FullName Like  '%应交增值税%'",
            "FullName LIKE '应交税费-应交增值税%'");
        row("LX_BMListAccounting", "CurrName =  '人民币' AND Levels = 1",
            "CurrCode = 'RMB' AND Levels = 1");
        row("LX_BMListAccounting", "ACItemDesc IS NULL  AND Levels > 2",
            "ACItemDesc = NULL AND Levels >= 3");
        row("LX_FINPostingPeriods", "PostingFrom >=  '2024/3/1' AND GLPost = 0",
            "PostingFrom >= '2024-03-01' AND GLPost = False");
        row("LX_FINPostingPeriods", "PostingTo <  '2024/7/1' AND Active =  'Y'",
            "PostingTo < '2024-07-01'");
        row("SYS_SMModules", "MCode Like  'GL%' AND ObjType > 2300",
            "MCode LIKE 'gl%' AND ObjType >= 2301");
    }
    void filterBuilderTexts()
    {
        QFETCH(QString, name);
        QFETCH(QString, built);
        QFETCH(QString, byHand);
        const Provider &p = provider(name);
        const QStringList server = keysOf(p, c().request(name, QStringLiteral("WHERE ") + built));
        QVERIFY2(!server.isEmpty() && server.size() < total(name),
                 qPrintable(QString::number(server.size())));
        QCOMPARE(server, keysOf(p, c().request(name, QStringLiteral("WHERE ") + byHand)));
        QCOMPARE(server, clientFiltered(name, built));
    }
};

QTEST_GUILESS_MAIN(TestProviders)
#include "tst_providers.moc"
