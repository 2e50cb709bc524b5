// The chart-of-accounts template load against a real account set: what each account is
// adapted to, report lines bound by account code, check list 0 replaced and the others
// kept, loading twice, a failing load rolled back, the custom-chart account types and the
// preview that writes nothing.
#include "AccountTemplate.h"
#include "ClientDataSet.h"
#include "DataAccess.h"
#include "Globals.h"
#include "support/TestHost.h"

#include <vexa/Error.h>

#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <tuple>

using namespace vexa;
using namespace vexa::gl;
using vexa::test::TestHost;

namespace {

std::unique_ptr<ClientDataSet> open(const char *provider, const char *command = "WHERE 1=1")
{
    return ProviderDataSet(QString::fromLatin1(provider), QString::fromUtf8(command));
}

int count(const char *provider)
{
    return open(provider)->recordCount();
}

DataPacket templatePayload(const QString &code, const char *field)
{
    auto record = ProviderDataSet(QStringLiteral("SYS_SMAcctTempData"),
                                  QStringLiteral("WHERE AcctTempCode = '%1'").arg(code));
    return readDataPacket(record->asString(QString::fromLatin1(field)));
}

QVariant cell(const DataPacket &p, const QVariantList &row, const char *field)
{
    for (int c = 0; c < p.fields.size(); ++c)
        if (p.fields[c].name == QLatin1String(field))
            return row.value(c);
    return QVariant();
}

void loadInTransaction(const QString &code, const QString &sysCur = QStringLiteral("RMB"))
{
    BeginTrans();
    try {
        LoadAccountTemplate(code, sysCur);
    } catch (...) {
        RollbackTrans();
        throw;
    }
    CommitTrans();
}

} // namespace

class TestAccountTemplate : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    std::unique_ptr<TestHost> m_host;

    // Rows for tables no provider writes, straight into the account set's file.
    void sql(const QString &statement)
    {
        QSqlDatabase db = QSqlDatabase::database(QStringLiteral("direct"));
        QSqlQuery q(db);
        QVERIFY2(q.exec(statement), qPrintable(statement));
    }
    int sqlCount(const QString &query)
    {
        QSqlQuery q(QSqlDatabase::database(QStringLiteral("direct")));
        if (!q.exec(query) || !q.next())
            return -1;
        return q.value(0).toInt();
    }

    // A small template: two accounts, no report templates, check list 0 with one level.
    void addTemplate(const QString &code, const DataPacket &accounts, const DataPacket &levels,
                     const DataPacket &lists)
    {
        auto list = open("SYS_SMAcctTemp", "WHERE 1=1");
        list->append();
        list->setValue(QStringLiteral("AcctTempCode"), code);
        list->setValue(QStringLiteral("AcctTempDesc"), QStringLiteral("测试行业"));
        list->post();
        ApplyChanges(*list, true);
        auto data = open("SYS_SMAcctTempData", "WHERE 1=1");
        data->append();
        data->setValue(QStringLiteral("AcctTempCode"), code);
        if (!accounts.isEmpty())
            data->setValue(QStringLiteral("AcctXMLData"), writeDataPacket(accounts));
        if (!levels.isEmpty())
            data->setValue(QStringLiteral("T0102053"), writeDataPacket(levels));
        if (!lists.isEmpty())
            data->setValue(QStringLiteral("T0102055"), writeDataPacket(lists));
        data->post();
        ApplyChanges(*data, true);
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
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("direct"));
        db.setDatabaseName(m_host->dir.filePath(QStringLiteral("test.vexa")));
        QVERIFY(db.open());
    }

    void cleanupTestCase()
    {
        QSqlDatabase::database(QStringLiteral("direct")).close();
        QSqlDatabase::removeDatabase(QStringLiteral("direct"));
        Globals() = PluginGlobals();
        m_host.reset();
    }

    void loadAdaptsAccounts()
    {
        const QString code = QStringLiteral("A01000");
        const DataPacket tpl = templatePayload(code, "AcctXMLData");
        QVERIFY(tpl.rows.size() > 100);
        loadInTransaction(code, QStringLiteral("USD"));

        auto accounts = open("LX_DMAccounting", "WHERE 1=1 ORDER BY AcctID");
        QCOMPARE(accounts->recordCount(), int(tpl.rows.size()));
        int controlled = 0, nodesWithoutInFull = 0;
        for (const QVariantList &row : tpl.rows) {
            const QString acctCode = cell(tpl, row, "AcctCode").toString();
            QVERIFY2(accounts->locate(QStringLiteral("AcctCode"), acctCode), qPrintable(acctCode));
            QCOMPARE(accounts->asString(QStringLiteral("AcctName")),
                     cell(tpl, row, "AcctName").toString());
            QCOMPARE(accounts->asString(QStringLiteral("CurrCode")), QStringLiteral("USD"));
            QCOMPARE(accounts->value(QStringLiteral("IsControl")), QVariant(false));
            QCOMPARE(accounts->value(QStringLiteral("AdjustRate")), QVariant(false));
            QCOMPARE(accounts->value(QStringLiteral("ComeAndGoCheck")), QVariant(false));
            QCOMPARE(accounts->asInteger(QStringLiteral("ACItemID")), 0);
            QVERIFY(accounts->isNull(QStringLiteral("ACItemDesc")));
            for (const char *field : {"ACurrAcct", "QtyEnter", "Budget", "Frozen", "Fixed"})
                QCOMPARE(accounts->value(QString::fromLatin1(field)),
                         QVariant(cell(tpl, row, field).toBool()));

            const bool node = cell(tpl, row, "IsNode").toBool();
            const QVariant inFull = cell(tpl, row, "InFull");
            if (node && inFull.isNull())
                ++nodesWithoutInFull;
            QCOMPARE(accounts->value(QStringLiteral("InFull")), QVariant(node || inFull.toBool()));

            const QString type = cell(tpl, row, "AcctTypeCode").toString();
            const QVariant control = accounts->value(QStringLiteral("ControlType"));
            if (QStringList{"SY", "SR", "SRFY", "ZCH"}.contains(type)) {
                ++controlled;
                QCOMPARE(control.toInt(), cell(tpl, row, "DC").toString() == u"C" ? 1 : 2);
            } else {
                QCOMPARE(control, cell(tpl, row, "ControlType"));
            }
        }
        // The template covers both rules, or the loop above proved little.
        QVERIFY(controlled > 5);
        QVERIFY(nodesWithoutInFull > 5);
    }

    void reportLinesFollowAccountCodes()
    {
        // The load above ran; every report line points at the account of its code or at none.
        const DataPacket lines = templatePayload(QStringLiteral("A01000"), "T0200098");
        QCOMPARE(count("LX_FINGLReportTempletForAcctDef"), int(lines.rows.size()));
        QCOMPARE(count("LX_FINGLReportTemplet"),
                 int(templatePayload(QStringLiteral("A01000"), "T0200096").rows.size()));
        QCOMPARE(sqlCount(QStringLiteral(
                     "SELECT COUNT(*) FROM T0200098 r LEFT JOIN T0102010 a "
                     "ON a.AcctCode = r.ItemAcctCode WHERE r.AcctID IS NOT a.AcctID")),
                 0);
        QVERIFY(sqlCount(QStringLiteral("SELECT COUNT(*) FROM T0200098 WHERE AcctID IS NULL")) <
                int(lines.rows.size()));

        // A line whose account leaves the chart loses its binding on the next load.
        sql(QStringLiteral("UPDATE T0200098 SET ItemAcctCode = '9999', AcctID = 1 WHERE rowid = "
                           "(SELECT MIN(rowid) FROM T0200098 WHERE AcctID IS NOT NULL)"));
        auto lines2 = open("LX_FINGLReportTempletForAcctDef", "WHERE ItemAcctCode = '9999'");
        QCOMPARE(lines2->recordCount(), 1);
        // A template without report templates leaves them, but still rebinds the lines.
        DataPacket accounts = templatePayload(QStringLiteral("A01000"), "AcctXMLData");
        accounts.rows.resize(3);
        addTemplate(QStringLiteral("T1"), accounts, {}, {});
        loadInTransaction(QStringLiteral("T1"));
        QCOMPARE(count("LX_DMAccounting"), 3);
        QCOMPARE(count("LX_FINGLReportTempletForAcctDef"), int(lines.rows.size()));
        lines2 = open("LX_FINGLReportTempletForAcctDef", "WHERE ItemAcctCode = '9999'");
        QVERIFY(lines2->isNull(QStringLiteral("AcctID")));
        QCOMPARE(sqlCount(QStringLiteral("SELECT COUNT(*) FROM T0200098 WHERE AcctID IS NOT "
                                         "NULL")),
                 sqlCount(QStringLiteral("SELECT COUNT(*) FROM T0200098 r JOIN T0102010 a ON "
                                         "a.AcctCode = r.ItemAcctCode")));
    }

    void loadingTwiceKeepsOneCopy()
    {
        loadInTransaction(QStringLiteral("A01000"));
        loadInTransaction(QStringLiteral("A01000"));
        const QString code = QStringLiteral("A01000");
        QCOMPARE(count("LX_DMAccounting"), int(templatePayload(code, "AcctXMLData").rows.size()));
        QCOMPARE(count("LX_DMAccttype"), int(templatePayload(code, "AcctTypeXMLData").rows.size()));
        QCOMPARE(count("LX_FINGLReportTempletItem"),
                 int(templatePayload(code, "T0200097").rows.size()));
        QCOMPARE(count("LX_FINGLReportTempletForSUM"),
                 int(templatePayload(code, "T0200099").rows.size()));
    }

    void checkListZeroReplaced()
    {
        // The account set's own list 5 and its values stay; list 0 and what hangs off its
        // values are replaced by the template's.
        sql(QStringLiteral("DELETE FROM T0102055"));
        sql(QStringLiteral("INSERT INTO T0102055 (ACheckID, ACheckCode) VALUES (0, '旧'), "
                           "(5, '部门')"));
        sql(QStringLiteral("INSERT INTO T0102053 (DacvID, ACheckID, DacvCode) VALUES "
                           "(100, 0, 'OLD'), (200, 5, 'D01')"));
        sql(QStringLiteral("INSERT INTO T0102056 (DacvID, AcctID) VALUES (100, 1), (200, 1)"));
        sql(QStringLiteral("INSERT INTO T0102057 (DacvID, AcctID, PeriodID) VALUES (100, 1, "
                           "1), (200, 1, 1)"));

        // The seed controls only the SY type; the other three control types are given here.
        DataPacket accounts = templatePayload(QStringLiteral("A01000"), "AcctXMLData");
        const int typeColumn = indexOfField(accounts.fields, QStringLiteral("AcctTypeCode"));
        const int dcColumn = indexOfField(accounts.fields, QStringLiteral("DC"));
        const int controlColumn = indexOfField(accounts.fields, QStringLiteral("ControlType"));
        const std::tuple<const char *, const char *, int> retyped[] = {
            {"SR", "C", 1}, {"SRFY", "D", 2}, {"ZCH", "C", 1}};
        for (int i = 0; i < 3; ++i) {
            accounts.rows[i][typeColumn] = QString::fromLatin1(std::get<0>(retyped[i]));
            accounts.rows[i][dcColumn] = QString::fromLatin1(std::get<1>(retyped[i]));
            accounts.rows[i][controlColumn] = 0;
        }
        const QList<FieldDef> levelFields = open("LX_FINBaseACheckLevels")->fieldDefs();
        DataPacket levels{levelFields, {}};
        for (int id : {300, 301}) {
            QVariantList row(levelFields.size());
            for (int c = 0; c < levelFields.size(); ++c) {
                if (levelFields[c].name == u"DacvID")
                    row[c] = id;
                else if (levelFields[c].name == u"ACheckID")
                    row[c] = 0;
                else if (levelFields[c].name == u"DacvCode")
                    row[c] = QStringLiteral("NEW%1").arg(id);
            }
            levels.rows.push_back(row);
        }
        const QList<FieldDef> listFields = open("LX_FINBaseACheckItem")->fieldDefs();
        DataPacket lists{listFields, {}};
        QVariantList list(listFields.size());
        list[0] = 0;
        list[1] = QStringLiteral("自定义");
        lists.rows.push_back(list);
        addTemplate(QStringLiteral("T2"), accounts, levels, lists);
        loadInTransaction(QStringLiteral("T2"));

        QCOMPARE(sqlCount(QStringLiteral("SELECT COUNT(*) FROM T0102053 WHERE ACheckID = 5")), 1);
        QCOMPARE(sqlCount(QStringLiteral("SELECT COUNT(*) FROM T0102053 WHERE ACheckID = 0 AND "
                                         "DacvID IN (300, 301)")),
                 2);
        QCOMPARE(sqlCount(QStringLiteral("SELECT COUNT(*) FROM T0102053 WHERE DacvID = 100")), 0);
        QCOMPARE(sqlCount(QStringLiteral("SELECT COUNT(*) FROM T0102056")), 1);
        QCOMPARE(sqlCount(QStringLiteral("SELECT COUNT(*) FROM T0102057 WHERE DacvID = 200")), 1);
        QCOMPARE(sqlCount(QStringLiteral("SELECT COUNT(*) FROM T0102057")), 1);
        auto items = open("LX_FINBaseACheckItem", "WHERE 1=1 ORDER BY ACheckID");
        QCOMPARE(items->recordCount(), 2);
        QCOMPARE(items->asString(QStringLiteral("ACheckCode")), QStringLiteral("自定义"));
        auto loaded = open("LX_DMAccounting");
        for (int i = 0; i < 3; ++i) {
            QVERIFY(loaded->locate(QStringLiteral("AcctCode"),
                                   cell(accounts, accounts.rows[i], "AcctCode")));
            QCOMPARE(loaded->asInteger(QStringLiteral("ControlType")), std::get<2>(retyped[i]));
        }
    }

    void emptyUnknownAndFailingTemplates()
    {
        loadInTransaction(QStringLiteral("A01000"));
        const int stored = count("LX_DMAccounting");

        // The custom chart has no accounts: nothing is deleted.
        loadInTransaction(CustomChartTemplate);
        QCOMPARE(count("LX_DMAccounting"), stored);

        try {
            loadInTransaction(QStringLiteral("Z'99"));
            QFAIL("an unknown template loaded");
        } catch (const Error &e) {
            QCOMPARE(e.message(), QStringLiteral("行业科目模板“Z'99”不存在。"));
        }

        // Two accounts with one code: the apply fails and the deleted chart comes back.
        DataPacket twice = templatePayload(QStringLiteral("A01000"), "AcctXMLData");
        twice.rows.resize(2);
        const int codeColumn = [&] {
            for (int c = 0; c < twice.fields.size(); ++c)
                if (twice.fields[c].name == u"AcctCode")
                    return c;
            return -1;
        }();
        twice.rows[1][codeColumn] = twice.rows[0][codeColumn];
        addTemplate(QStringLiteral("T3"), twice, {}, {});
        QVERIFY_THROWS_EXCEPTION(Error, loadInTransaction(QStringLiteral("T3")));
        QCOMPARE(count("LX_DMAccounting"), stored);
    }

    void defaultAccountTypesAndPreview()
    {
        sql(QStringLiteral("DELETE FROM T0102011"));
        auto chosen = open("LX_DMAccttype", "WHERE -1=1");
        int handed = 0;
        for (const char *name : {"资产", "负债", "权益"}) {
            chosen->append();
            chosen->setValue(QStringLiteral("AcctType"), ++handed);
            chosen->setValue(QStringLiteral("AcctTypeDesc"), QString::fromUtf8(name));
            chosen->post();
        }
        WriteDefaultAccountTypes(*chosen);
        auto types = open("LX_DMAccttype", "WHERE 1=1 ORDER BY AcctType");
        QCOMPARE(types->recordCount(), 3);
        for (int i = 1; i <= 3; ++i, types->next())
            QCOMPARE(types->asInteger(QStringLiteral("AcctType")), i);

        // A gap among the stored numbers: the next type goes past the largest, not onto it.
        sql(QStringLiteral("UPDATE T0102011 SET AcctType = 7 WHERE AcctType = 2"));
        WriteDefaultAccountTypes(*chosen);
        types = open("LX_DMAccttype", "WHERE 1=1 ORDER BY AcctType");
        QCOMPARE(types->recordCount(), 6);
        types->last();
        QCOMPARE(types->asInteger(QStringLiteral("AcctType")), 10);

        const int stored = count("LX_DMAccounting");
        const DataPacket tpl = templatePayload(QStringLiteral("A02000"), "AcctXMLData");
        const TemplatePreview preview =
            BuildTemplatePreview(QStringLiteral("A02000"), QStringLiteral("RMB"));
        QCOMPARE(preview.accounts->recordCount(), int(tpl.rows.size()));
        QCOMPARE(preview.accountTypes->recordCount(),
                 int(templatePayload(QStringLiteral("A02000"), "AcctTypeXMLData").rows.size()));
        QCOMPARE(preview.accounts->asString(QStringLiteral("CurrCode")), QStringLiteral("RMB"));
        QCOMPARE(preview.accounts->value(QStringLiteral("IsControl")), QVariant(false));
        // Only currency, control flag and control type are adapted for browsing.
        QCOMPARE(preview.accounts->value(QStringLiteral("InFull")),
                 cell(tpl, tpl.rows[0], "InFull"));
        QCOMPARE(count("LX_DMAccounting"), stored);
        QCOMPARE(count("LX_DMAccttype"), 6);
    }
};

QTEST_MAIN(TestAccountTemplate)
#include "tst_accounttemplate.moc"
