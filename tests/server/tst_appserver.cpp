#include "AccountSetFile.h"
#include "ClientDataSet.h"
#include "ProviderCatalog.h"
#include "support/ServerFixture.h"
#include "support/TestSupport.h"

#include <vexa/Error.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <barrier>
#include <latch>
#include <thread>

using namespace vexa;
using namespace vexa::server;
using vexa::test::ServerFixture;

namespace {

int count(ServerConnection &c, const QString &provider, const QString &command = QString())
{
    return int(c.request(provider, command).rows.size());
}

// An account row for LX_DMAccounting.
void appendAccount(ClientDataSet &ds, int id, const QString &code, const QString &name)
{
    ds.append();
    ds.setValue(QStringLiteral("AcctID"), id);
    ds.setValue(QStringLiteral("AcctCode"), code);
    ds.setValue(QStringLiteral("AcctName"), name);
    ds.setValue(QStringLiteral("IsNode"), true);
    ds.post();
}

int apply(ServerConnection &c, ClientDataSet &ds)
{
    int errors = -1;
    QVariant owner;
    c.applyUpdates(ds.providerName(), ds.delta(), -1, errors, owner);
    if (errors == 0)
        ds.mergeChangeLog();
    return errors;
}

std::unique_ptr<ClientDataSet> openOn(ServerConnection &c, const QString &provider,
                                      const QString &command)
{
    auto ds = std::make_unique<ClientDataSet>();
    ds->setRemoteConnection(&c);
    ds->setProviderName(provider);
    ds->setCommandText(command);
    ds->open();
    return ds;
}

// A file transfer packet (ID, FileData) holding the given files.
QString filesPacket(const QList<std::pair<QString, QByteArray>> &files)
{
    DataPacket p;
    p.fields = {FieldDef{QStringLiteral("ID"), FieldType::String, 128, false, false},
                FieldDef{QStringLiteral("FileData"), FieldType::Blob, 0, false, false}};
    for (const auto &[name, bytes] : files)
        p.rows.push_back({name, bytes});
    return writeDataPacket(p);
}

QString store(ServerConnection &c, const QList<std::pair<QString, QByteArray>> &files)
{
    QVariantList args{filesPacket(files)};
    return errorOf([&] { c.call(QStringLiteral("SaveAccessories"), args); });
}

// What the server serves under a stored name: the bytes, "<none>" or the error text.
QByteArray served(ServerConnection &c, const QString &name)
{
    QVariantList args{name};
    QString packet;
    const QString error =
        errorOf([&] { packet = c.call(QStringLiteral("GetAccessories"), args).toString(); });
    if (!error.isEmpty())
        return "<error>";
    if (packet.isEmpty())
        return "<none>";
    return readDataPacket(packet).rows.at(0).at(1).toByteArray();
}

// A change of the currency row's LastPrcnt, read through c as a client reads it.
DeltaPacket rateChange(ServerConnection &c, const QString &code, double rate)
{
    const DataPacket now = c.request(QStringLiteral("LX_DMCurrency"),
                                     QStringLiteral("WHERE CurrCode = '%1'").arg(code));
    if (now.rows.size() != 1)
        throw Error(QStringLiteral("no currency ") + code);
    DeltaPacket d;
    d.fields = now.fields;
    QVariantList values = now.rows[0];
    values[indexOfField(now.fields, QStringLiteral("LastPrcnt"))] = rate;
    d.rows.push_back({DeltaRow::Kind::Modify, values, now.rows[0]});
    return d;
}

// Empty when saved, else the error the user is shown.
QString save(ServerConnection &c, const DeltaPacket &d)
{
    int errors = -1;
    QVariant owner;
    c.applyUpdates(QStringLiteral("LX_DMCurrency"), d, -1, errors, owner);
    return errors == 0 ? QString() : c.lastError();
}

QString saveRate(ServerConnection &c, const QString &code, double rate)
{
    try {
        return save(c, rateChange(c, code, rate));
    } catch (const Error &e) {
        return e.message();
    }
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class TestAppServer : public QObject
{
    Q_OBJECT

private slots:
    void openRefusesWhatIsNotAnAccountSet()
    {
        QTemporaryDir dir;
        QVERIFY(errorOf([&] {
                    AppServer::open(dir.filePath("none.vexa"));
                }).contains(QStringLiteral("不存在")));

        const QString text = dir.filePath("text.vexa");
        QFile f(text);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("just some text, not a database");
        f.close();
        QVERIFY(errorOf([&] { AppServer::open(text); }).contains(QStringLiteral("不是账套数据库")));

        // A SQLite file of someone else's.
        const QString foreign = dir.filePath("foreign.db");
        {
            QSqlDatabase db =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("foreign"));
            db.setDatabaseName(foreign);
            QVERIFY(db.open());
            QSqlQuery(db).exec(QStringLiteral("CREATE TABLE notes (t TEXT)"));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("foreign"));
        QVERIFY(errorOf([&] {
                    AppServer::open(foreign);
                }).contains(QStringLiteral("不是本系统的账套")));

        ServerFixture fx(false);
        QVERIFY(errorOf([&] {
                    AppServer::create(fx.path(), false);
                }).contains(QStringLiteral("已存在")));
        // A newer account set than this program knows.
        {
            auto c = fx.connect(nullptr);
            QSqlQuery(c->database()).exec(QStringLiteral("UPDATE SchemaVersion SET version = 99"));
        }
        fx.server.reset();
        QVERIFY(errorOf([&] { AppServer::open(fx.path()); }).contains(QStringLiteral("99")));
    }

    // WAL's index is shared memory of one machine: two hosts on one set over the network
    // corrupt it, so a set on NFS or SMB/CIFS is neither opened nor created.
    void networkFileSystemsAreRefused_data()
    {
        QTest::addColumn<qint64>("type");
        QTest::addColumn<QString>("name"); // empty: a local file system
        QTest::newRow("NFS") << qint64(0x6969) << QStringLiteral("NFS");
        QTest::newRow("SMB") << qint64(0x517B) << QStringLiteral("SMB");
        QTest::newRow("SMB2") << qint64(0xFE534D42) << QStringLiteral("SMB");
        QTest::newRow("CIFS") << qint64(0xFF534D42) << QStringLiteral("CIFS");
        QTest::newRow("CIFS, 32-bit f_type")
            << qint64(qint32(0xFF534D42u)) << QStringLiteral("CIFS");
        QTest::newRow("ext4") << qint64(0xEF53) << QString();
        QTest::newRow("tmpfs") << qint64(0x01021994) << QString();
        QTest::newRow("statfs failed") << qint64(-1) << QString();
    }
    void networkFileSystemsAreRefused()
    {
        QFETCH(qint64, type);
        QFETCH(QString, name);
        QCOMPARE(networkFileSystemName(type), name);
        ServerFixture fx(false);
        fx.server.reset();
        AppServer::Options options;
        options.passwordCost = PasswordCost::Fast;
        QStringList probed;
        options.fileSystemType = [&](const QString &path) {
            probed << path;
            return type;
        };
        const QString other = fx.dir.filePath(QStringLiteral("other.vexa"));
        const QString opened = errorOf([&] { AppServer::open(fx.path(), options); });
        const QString created = errorOf([&] { AppServer::create(other, false, options); });
        QCOMPARE(probed, (QStringList{fx.path(), fx.dir.path()}));
        if (name.isEmpty()) {
            QCOMPARE(opened, QString());
            QCOMPARE(created, QString());
            return;
        }
        for (const QString &error : {opened, created})
            QVERIFY2(error.contains(QStringLiteral("网络文件系统（%1）").arg(name)) &&
                         error.contains(QStringLiteral("vexa-server")),
                     qPrintable(error));
        QCOMPARE(entries(fx.dir.path()), QStringList{QStringLiteral("demo.vexa")});
    }

    void loginAndSession()
    {
        ServerFixture fx;
        auto c = fx.server->connect();
        QCOMPARE(errorOf([&] { c->login(QStringLiteral("Manager"), QStringLiteral("wrong")); }),
                 QStringLiteral("用户名或密码错误。"));
        QCOMPARE(errorOf([&] { c->login(QStringLiteral("nobody"), QStringLiteral("x")); }),
                 QStringLiteral("用户名或密码错误。"));
        const SessionInfo s = c->login(QStringLiteral("manager"), QStringLiteral("manager"));
        QVERIFY(s.manager);
        QCOMPARE(s.userName, QStringLiteral("系统管理员"));
        QVERIFY(!s.userGroup.isEmpty());
        // The hash never leaves the server: the user list has no such column.
        const DataPacket users = c->request(QStringLiteral("LX_SysUser"), QString());
        QCOMPARE(indexOfField(users.fields, QStringLiteral("PasswordHash")), -1);
        QCOMPARE(int(users.rows.size()), 2);
    }

    void requestsAndRefusedTexts()
    {
        ServerFixture fx;
        auto c = fx.connect();
        const DataPacket mods =
            c->request(QStringLiteral("SYS_SMModules"),
                       QStringLiteral("TOP 5  WHERE (InnerUse = 0)  AND (MCode Like 'G%' OR MDesc "
                                      "Like '%凭证%')  ORDER BY MCode"));
        QVERIFY(mods.rows.size() > 0 && mods.rows.size() <= 5);
        const int code = indexOfField(mods.fields, QStringLiteral("MCode"));
        for (size_t i = 1; i < mods.rows.size(); ++i)
            QVERIFY(mods.rows[i - 1][code].toString() < mods.rows[i][code].toString());
        // "= null" means IS NULL on the server as in client filters.
        QCOMPARE(
            count(*c, QStringLiteral("SYS_SMModuleTree"), QStringLiteral("WHERE ParentID = null ")),
            count(*c, QStringLiteral("SYS_SMModuleTree"),
                  QStringLiteral("WHERE ParentID IS NULL")));
        // "Index" is a column, quoted for SQLite.
        QVERIFY(count(*c, QStringLiteral("ENV_EnvDataObject"),
                      QStringLiteral("WHERE DataObject = 'LX_BMListAccounting' AND ShowNo = '0' "
                                     "AND FindTag = True ORDER BY Index")) > 0);

        const QString msg = errorOf([&] {
            c->request(QStringLiteral("LX_SysUser"), QStringLiteral("ORDER BY PasswordHash"));
        });
        QVERIFY2(msg.contains(QStringLiteral("PasswordHash")), qPrintable(msg));
        QCOMPARE(c->call(QStringLiteral("GetLastErrorInfo")).toString(), msg);
        // A quote inside a literal is data, not syntax.
        QCOMPARE(count(*c, QStringLiteral("LX_SysUser"),
                       QStringLiteral("WHERE UserCode = 'x'' OR ''1''=''1'")),
                 0);
    }

    void applyUpdatesRoundTripAndConflicts()
    {
        ServerFixture fx;
        auto a = fx.connect();
        auto b = fx.connect("clerk", "clerk");
        auto ds = openOn(*a, QStringLiteral("LX_DMAccounting"),
                         QStringLiteral("WHERE 1=1 ORDER BY AcctCode"));
        QCOMPARE(ds->recordCount(), 0);
        appendAccount(*ds, 1, QStringLiteral("1001"), QStringLiteral("库存现金"));
        appendAccount(*ds, 2, QStringLiteral("1002"), QStringLiteral("银行存款"));
        appendAccount(*ds, 3, QStringLiteral("2202"), QStringLiteral("应付账款"));
        QCOMPARE(apply(*a, *ds), 0);

        // The other connection sees them, with their full names in the list view.
        const DataPacket list = b->request(QStringLiteral("LX_BMListAccounting"),
                                           QStringLiteral("WHERE AcctCode = '1002'"));
        QCOMPARE(int(list.rows.size()), 1);
        QCOMPARE(list.rows[0][indexOfField(list.fields, QStringLiteral("FullName"))].toString(),
                 QStringLiteral("银行存款"));

        // Modify and delete.
        QVERIFY(ds->locate(QStringLiteral("AcctCode"), QStringLiteral("1002")));
        ds->edit();
        ds->setValue(QStringLiteral("AcctName"), QStringLiteral("银行存款（基本户）"));
        ds->post();
        QVERIFY(ds->locate(QStringLiteral("AcctCode"), QStringLiteral("2202")));
        ds->deleteRecord();
        QCOMPARE(apply(*a, *ds), 0);
        auto fresh = openOn(*b, QStringLiteral("LX_DMAccounting"),
                            QStringLiteral("WHERE 1=1 ORDER BY AcctCode"));
        QCOMPARE(fresh->recordCount(), 2);
        fresh->last();
        QCOMPARE(fresh->asString(QStringLiteral("AcctName")), QStringLiteral("银行存款（基本户）"));

        // b changes the row a has read: a's change of the same field is a conflict.
        fresh->edit();
        fresh->setValue(QStringLiteral("AcctName"), QStringLiteral("由 b 改名"));
        fresh->post();
        QCOMPARE(apply(*b, *fresh), 0);
        ds->last();
        ds->edit();
        ds->setValue(QStringLiteral("AcctName"), QStringLiteral("由 a 改名"));
        ds->post();
        QCOMPARE(apply(*a, *ds), 1);
        QVERIFY2(a->lastError().contains(QStringLiteral("已被其他用户修改")),
                 qPrintable(a->lastError()));
        QCOMPARE(ds->changeCount(), 1); // kept for the user to decide
        // So is deleting it: a's delete would drop b's change unseen.
        ds->cancelUpdates();
        ds->last();
        ds->deleteRecord();
        QCOMPARE(apply(*a, *ds), 1);
        QVERIFY2(a->lastError().contains(QStringLiteral("已被其他用户修改")),
                 qPrintable(a->lastError()));
        QCOMPARE(count(*a, QStringLiteral("LX_DMAccounting")), 2);
        // Deleting a row another connection has deleted is a conflict too.
        ds->cancelUpdates();
        fresh->first();
        fresh->deleteRecord();
        QCOMPARE(apply(*b, *fresh), 0);
        ds->first();
        ds->deleteRecord();
        QCOMPARE(apply(*a, *ds), 1);
        QVERIFY2(a->lastError().contains(QStringLiteral("已被其他用户删除")),
                 qPrintable(a->lastError()));
    }

    void applyIsAllOrNothing()
    {
        ServerFixture fx;
        auto c = fx.connect();
        auto ds = openOn(*c, QStringLiteral("LX_DMAccounting"), QStringLiteral("WHERE 1=1"));
        appendAccount(*ds, 10, QStringLiteral("1001"), QStringLiteral("库存现金"));
        appendAccount(*ds, 11, QStringLiteral("1002"), QStringLiteral("银行存款"));
        appendAccount(*ds, 12, QStringLiteral("1001"), QStringLiteral("重复的编码"));
        QCOMPARE(apply(*c, *ds), 1);
        QVERIFY2(c->lastError().contains(QStringLiteral("键值重复")), qPrintable(c->lastError()));
        QCOMPARE(count(*c, QStringLiteral("LX_DMAccounting")), 0);

        // Also inside a transaction: the failed apply leaves the earlier one standing.
        auto ok = openOn(*c, QStringLiteral("LX_DMAccttype"), QStringLiteral("WHERE 1=1"));
        ok->append();
        ok->setValue(QStringLiteral("AcctType"), 1);
        ok->setValue(QStringLiteral("AcctTypeDesc"), QStringLiteral("资产"));
        ok->post();
        c->call(QStringLiteral("BeginTrans"));
        QCOMPARE(apply(*c, *ok), 0);
        QCOMPARE(apply(*c, *ds), 1);
        c->call(QStringLiteral("CommitTrans"));
        QCOMPARE(count(*c, QStringLiteral("LX_DMAccttype")), 1);
        QCOMPARE(count(*c, QStringLiteral("LX_DMAccounting")), 0);

        // A string over its column's size is refused by the server too.
        DeltaPacket d;
        d.fields = fx.server->catalog().require(QStringLiteral("LX_DMAccttype")).fields;
        QVariantList row(d.fields.size());
        row[indexOfField(d.fields, QStringLiteral("AcctType"))] = 2;
        row[indexOfField(d.fields, QStringLiteral("AcctTypeDesc"))] = QString(200, QChar(u'长'));
        d.rows.push_back({DeltaRow::Kind::Insert, row, {}});
        int errors = 0;
        QVariant owner;
        c->applyUpdates(QStringLiteral("LX_DMAccttype"), d, -1, errors, owner);
        QCOMPARE(errors, 1);
        QVERIFY2(c->lastError().contains(QStringLiteral("AcctTypeDesc")),
                 qPrintable(c->lastError()));
        // Read-only lists cannot be saved.
        c->applyUpdates(QStringLiteral("LX_BMListAccounting"), d, -1, errors, owner);
        QCOMPARE(errors, 1);
    }

    void transactions()
    {
        ServerFixture fx;
        {
            auto c = fx.connect();
            QCOMPARE(errorOf([&] { c->call(QStringLiteral("CommitTrans")); }).isEmpty(), false);
            c->call(QStringLiteral("BeginTrans"));
            QVERIFY(errorOf([&] {
                        c->call(QStringLiteral("BeginTrans"));
                    }).contains(QStringLiteral("已经开始")));
            auto ds = openOn(*c, QStringLiteral("LX_DMAccounting"), QStringLiteral("WHERE 1=1"));
            appendAccount(*ds, 1, QStringLiteral("1001"), QStringLiteral("库存现金"));
            QCOMPARE(apply(*c, *ds), 0);
            c->call(QStringLiteral("RollbackTrans"));
            QCOMPARE(count(*c, QStringLiteral("LX_DMAccounting")), 0);

            c->call(QStringLiteral("BeginTrans"));
            appendAccount(*ds, 2, QStringLiteral("1002"), QStringLiteral("银行存款"));
            QCOMPARE(apply(*c, *ds), 0);
            // The connection goes away inside the transaction.
        }
        auto c = fx.connect();
        QCOMPARE(count(*c, QStringLiteral("LX_DMAccounting")), 0);
    }

    // Two clients writing at once, each on its own connection and thread. A save or
    // GetEntityID used to read before it wrote, so it could not wait for the other's write
    // lock and failed at once with "database is locked".
    void concurrentWriters()
    {
        ServerFixture fx;
        // Different rows and new keys, for a second on each thread: nothing fails.
        struct Tally
        {
            QString code;
            int saved = 0;
            QStringList failures;
            QList<qlonglong> ids;
        };
        Tally tally[2];
        tally[0].code = QStringLiteral("USD");
        tally[1].code = QStringLiteral("EUR");
        auto writer = [&](Tally &t) {
            auto c = fx.connect();
            QElapsedTimer clock;
            clock.start();
            while (clock.elapsed() < 1000) {
                const QString error = saveRate(*c, t.code, t.saved + 1);
                if (error.isEmpty())
                    ++t.saved;
                else
                    t.failures << error;
                QVariantList args{QStringLiteral("TestID"), 1};
                const qlonglong id = c->call(QStringLiteral("GetEntityID"), args).toLongLong();
                if (id > 0)
                    t.ids << id;
                else
                    t.failures << c->lastError();
            }
        };
        {
            std::jthread a(writer, std::ref(tally[0])), b(writer, std::ref(tally[1]));
        }
        auto c = fx.connect();
        QSet<qlonglong> ids;
        for (const Tally &t : tally) {
            QCOMPARE(t.failures, QStringList());
            QVERIFY(t.saved > 0);
            const DataPacket row = c->request(QStringLiteral("LX_DMCurrency"),
                                              QStringLiteral("WHERE CurrCode = '%1'").arg(t.code));
            QCOMPARE(row.rows[0][indexOfField(row.fields, QStringLiteral("LastPrcnt"))].toDouble(),
                     double(t.saved));
            for (qlonglong id : t.ids)
                ids.insert(id);
        }
        QCOMPARE(ids.size(), tally[0].ids.size() + tally[1].ids.size());

        // The same row, read by both before either saves: one saves, the other is told
        // that another user changed it.
        std::barrier sync(2);
        QStringList outcome[2];
        auto racer = [&](int i) {
            auto c = fx.connect();
            for (int round = 0; round < 10; ++round) {
                DeltaPacket d;
                QString error;
                try {
                    d = rateChange(*c, QStringLiteral("JPY"), round * 10 + i);
                } catch (const Error &e) {
                    error = e.message();
                }
                sync.arrive_and_wait();
                outcome[i] << (error.isEmpty() ? save(*c, d) : error);
                sync.arrive_and_wait();
            }
        };
        {
            std::jthread a(racer, 0), b(racer, 1);
        }
        for (int round = 0; round < 10; ++round) {
            const QString lost =
                outcome[0][round].isEmpty() ? outcome[1][round] : outcome[0][round];
            QVERIFY2(outcome[0][round].isEmpty() != outcome[1][round].isEmpty(),
                     qPrintable(outcome[0][round] + QStringLiteral(" / ") + outcome[1][round]));
            QVERIFY2(lost.contains(QStringLiteral("已被其他用户修改")), qPrintable(lost));
        }

        // While a client is inside BeginTrans, another's GetEntityID and save wait for
        // its commit, and so does a third one's BeginTrans, which then saves.
        auto holder = fx.connect();
        holder->call(QStringLiteral("BeginTrans"));
        QCOMPARE(saveRate(*holder, QStringLiteral("USD"), 99), QString());
        std::latch started(2);
        QString waited[2];
        {
            std::jthread outside([&] {
                auto c = fx.connect();
                started.count_down();
                QVariantList args{QStringLiteral("TestID"), 1};
                if (c->call(QStringLiteral("GetEntityID"), args).toLongLong() < 0)
                    waited[0] = c->lastError();
                else
                    waited[0] = saveRate(*c, QStringLiteral("EUR"), 99);
            });
            std::jthread inside([&] {
                auto c = fx.connect();
                started.count_down();
                waited[1] = errorOf([&] {
                    c->call(QStringLiteral("BeginTrans"));
                    const QString error = saveRate(*c, QStringLiteral("HKD"), 99);
                    if (!error.isEmpty())
                        throw Error(error);
                    c->call(QStringLiteral("CommitTrans"));
                });
            });
            started.wait();
            QThread::msleep(300);
            holder->call(QStringLiteral("CommitTrans"));
        }
        QCOMPARE(waited[0], QString());
        QCOMPARE(waited[1], QString());

        // Past the busy timeout the user reads why, in Chinese.
        holder->call(QStringLiteral("BeginTrans"));
        auto late = fx.connect();
        QSqlQuery(late->database()).exec(QStringLiteral("PRAGMA busy_timeout = 100"));
        QVariantList args{QStringLiteral("TestID"), 1};
        QCOMPARE(late->call(QStringLiteral("GetEntityID"), args).toInt(), -1);
        const QStringList errors{late->lastError(), saveRate(*late, QStringLiteral("EUR"), 1),
                                 errorOf([&] { late->call(QStringLiteral("BeginTrans")); })};
        holder->call(QStringLiteral("RollbackTrans"));
        for (const QString &e : errors) {
            QVERIFY2(e.contains(QStringLiteral("其他用户正在保存")), qPrintable(e));
            QVERIFY2(!e.contains(QLatin1String("lock")) && !e.contains(QLatin1String("busy")),
                     qPrintable(e));
        }
    }

    void entityIdsAndBatch()
    {
        ServerFixture fx;
        auto c = fx.connect();
        QVariantList args{QStringLiteral("PropID"), 0};
        const qlonglong peek = c->call(QStringLiteral("GetEntityID"), args).toLongLong();
        QCOMPARE(c->call(QStringLiteral("GetEntityID"), args).toLongLong(),
                 peek); // step 0 takes nothing
        args = {QStringLiteral("PropID"), 1};
        QCOMPARE(c->call(QStringLiteral("GetEntityID"), args).toLongLong(), peek);
        QCOMPARE(c->call(QStringLiteral("GetEntityID"), args).toLongLong(), peek + 1);
        args = {QString(), 1};
        QCOMPARE(c->call(QStringLiteral("GetEntityID"), args).toInt(), -1);
        QVERIFY(!c->call(QStringLiteral("GetLastErrorInfo")).toString().isEmpty());

        // Keys written without the counter are never handed out again.
        auto ds = openOn(*c, QStringLiteral("LX_DMAccounting"), QStringLiteral("WHERE 1=1"));
        appendAccount(*ds, 500, QStringLiteral("1001"), QStringLiteral("库存现金"));
        QCOMPARE(apply(*c, *ds), 0);
        args = {QStringLiteral("AcctID"), 1};
        QCOMPARE(c->call(QStringLiteral("GetEntityID"), args).toLongLong(), 501);

        // The template load's statements run; anything else does not.
        args = {QStringLiteral("DELETE  T0102010 ")};
        c->call(QStringLiteral("ExecuteBatch"), args);
        QCOMPARE(count(*c, QStringLiteral("LX_DMAccounting")), 0);
        appendAccount(*ds, 501, QStringLiteral("1002"), QStringLiteral("银行存款"));
        args = {QStringLiteral("DELETE SysUser")};
        QVERIFY(errorOf([&] {
                    c->call(QStringLiteral("ExecuteBatch"), args);
                }).contains(QStringLiteral("拒绝")));
        QCOMPARE(count(*c, QStringLiteral("LX_SysUser")), 2);
    }

    void passwordsAndFieldMax()
    {
        ServerFixture fx;
        auto c = fx.connect("clerk", "clerk");
        QVariantList args{QStringLiteral("wrong"), QStringLiteral("new")};
        QCOMPARE(c->call(QStringLiteral("Modifyps"), args).toInt(), -2);
        args = {QStringLiteral("clerk"), QString()};
        QCOMPARE(c->call(QStringLiteral("Modifyps"), args).toInt(), -1);
        args = {QStringLiteral("clerk"), QStringLiteral("新密码 1")};
        QCOMPARE(c->call(QStringLiteral("Modifyps"), args).toInt(), 0);
        auto again = fx.server->connect();
        QVERIFY(!errorOf([&] {
                     again->login(QStringLiteral("clerk"), QStringLiteral("clerk"));
                 }).isEmpty());
        again->login(QStringLiteral("clerk"), QStringLiteral("新密码 1"));
        // Stored as a hash, never as the text.
        QSqlQuery q(c->database());
        QVERIFY(
            q.exec(QStringLiteral("SELECT PasswordHash FROM SysUser WHERE UserCode = 'clerk'")) &&
            q.next());
        QVERIFY(q.value(0).toString().startsWith(QStringLiteral("$argon2id$")));
        QVERIFY(!q.value(0).toString().contains(QStringLiteral("新密码")));
        q.finish();

        args = {QStringLiteral("T0101020"), QStringLiteral("PropIndex"), QString()};
        QCOMPARE(c->call(QStringLiteral("GetFieldMaxValue"), args).toInt(), 0);
        args = {QStringLiteral("SMModules"), QStringLiteral("MCode"),
                QStringLiteral("WHERE DllFile = 'GL'")};
        QVERIFY(!c->call(QStringLiteral("GetFieldMaxValue"), args).toString().isEmpty());
    }

    void attachments()
    {
        ServerFixture fx;
        auto c = fx.connect();
        const QString name = QStringLiteral("{0F8FAD5B-D9CB-469F-A165-70867728950E}.pdf");
        QVariantList args{name};
        QCOMPARE(c->call(QStringLiteral("GetAccessories"), args).toString(), QString());
        DataPacket p;
        p.fields = {FieldDef{QStringLiteral("ID"), FieldType::String, 60, false, false},
                    FieldDef{QStringLiteral("FileData"), FieldType::Blob, 0, false, false}};
        QByteArray bytes(5000, '\x7f');
        bytes[0] = '\0';
        p.rows.push_back({name, bytes});
        args = {writeDataPacket(p)};
        c->call(QStringLiteral("SaveAccessories"), args);
        QVERIFY(QFile::exists(QFileInfo(fx.path()).absolutePath() +
                              QStringLiteral("/doc/accessories/") + name));
        args = {name};
        const DataPacket back =
            readDataPacket(c->call(QStringLiteral("GetAccessories"), args).toString());
        QCOMPARE(back.rows[0][1].toByteArray(), bytes);

        // A file stored under an older name is still served.
        const QString older = QStringLiteral("{0f8fad5b-d9cb-469f-a165-70867728950e}.PDF");
        QFile legacy(QFileInfo(fx.path()).absolutePath() + QStringLiteral("/doc/accessories/") +
                     older);
        QVERIFY(legacy.open(QIODevice::WriteOnly) && legacy.write("older") == 5);
        legacy.close();
        QCOMPARE(served(*c, older), QByteArray("older"));

        QVERIFY(QFile::exists(fx.path()));
    }

    // A failed save must not cost a stored file: uploads are published only when the
    // transaction commits, and vanish when it rolls back, fails to commit or is left open.
    void attachmentsFollowTheTransaction()
    {
        ServerFixture fx;
        auto c = fx.connect();
        auto other = fx.connect();
        const QString folder =
            QFileInfo(fx.path()).absolutePath() + QStringLiteral("/doc/accessories");
        const QString a = QStringLiteral("{0F8FAD5B-D9CB-469F-A165-70867728950E}.txt");
        const QString b = QStringLiteral("{1F8FAD5B-D9CB-469F-A165-70867728950E}.txt");
        QCOMPARE(store(*c, {{a, "ORIGINAL"}}), QString());

        // A later upload fails: the replaced file keeps its old content.
        c->call(QStringLiteral("BeginTrans"));
        QCOMPARE(store(*c, {{a, "REPLACEMENT"}}), QString());
        QVERIFY(!store(*c, {{b, QByteArray(2 * 1024 * 1024, 'b')}}).isEmpty());
        c->call(QStringLiteral("RollbackTrans"));
        QCOMPARE(served(*c, a), QByteArray("ORIGINAL"));
        QCOMPARE(entries(folder), QStringList{a});

        // The commit fails (a deferred foreign key): the same.
        c->call(QStringLiteral("BeginTrans"));
        QCOMPARE(store(*c, {{a, "REPLACEMENT"}, {b, "NEW"}}), QString());
        auto accounts = openOn(*c, QStringLiteral("LX_DMAccounting"), QStringLiteral("WHERE 1=1"));
        appendAccount(*accounts, 5, QStringLiteral("100101"), QStringLiteral("零钱"));
        accounts->edit();
        accounts->setValue(QStringLiteral("ParentID"), 999);
        accounts->post();
        QCOMPARE(apply(*c, *accounts), 0);
        QVERIFY(!errorOf([&] { c->call(QStringLiteral("CommitTrans")); }).isEmpty());
        QVERIFY(!c->inTransaction());
        QCOMPARE(served(*c, a), QByteArray("ORIGINAL"));
        QCOMPARE(served(*c, b), QByteArray("<none>"));
        QCOMPARE(entries(folder), QStringList{a});

        // The connection ends inside the transaction.
        {
            auto leaving = fx.connect();
            leaving->call(QStringLiteral("BeginTrans"));
            QCOMPARE(store(*leaving, {{a, "REPLACEMENT"}}), QString());
        }
        QCOMPARE(served(*c, a), QByteArray("ORIGINAL"));
        QCOMPARE(entries(folder), QStringList{a});

        // Committed: others see the new content only from then on.
        c->call(QStringLiteral("BeginTrans"));
        QCOMPARE(store(*c, {{a, "REPLACEMENT"}, {b, "NEW"}}), QString());
        QCOMPARE(served(*c, a), QByteArray("REPLACEMENT"));
        QCOMPARE(served(*other, a), QByteArray("ORIGINAL"));
        c->call(QStringLiteral("CommitTrans"));
        QCOMPARE(served(*other, a), QByteArray("REPLACEMENT"));
        QCOMPARE(served(*other, b), QByteArray("NEW"));
        QCOMPARE(entries(folder), (QStringList{a, b}));

        // Outside a transaction one call is all or nothing as well.
        QVERIFY(!store(*c, {{a, "THIRD"}, {b, QByteArray(2 * 1024 * 1024, 'b')}}).isEmpty());
        QCOMPARE(served(*c, a), QByteArray("REPLACEMENT"));
        QCOMPARE(entries(folder), (QStringList{a, b}));
    }

    // Links in the attachment folder are refused, every name is checked before anything
    // is written, and the files of deleted records go when the deletion commits.
    void attachmentLinksAndDeletedRecords()
    {
        ServerFixture fx;
        auto c = fx.connect();
        const QString base = QFileInfo(fx.path()).absolutePath();
        const QString folder = base + QStringLiteral("/doc/accessories");
        const QString guid = QStringLiteral("{2F8FAD5B-D9CB-469F-A165-70867728950E}");
        const QString a = guid + QStringLiteral(".txt");
        QTemporaryDir outside;
        QFile secret(outside.filePath(QStringLiteral("secret")));
        QVERIFY(secret.open(QIODevice::WriteOnly));
        secret.write("private");
        secret.close();

        // Two rows, the second leading out of the folder: neither is written.
        QVERIFY(!store(*c, {{a, "first"}, {QStringLiteral("../x"), "second"}}).isEmpty());
        QCOMPARE(served(*c, a), QByteArray("<none>"));
        QVERIFY(!QFile::exists(base + QStringLiteral("/doc/x")));

        // A link inside the folder is neither read nor written through.
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::link(secret.fileName(), QDir(folder).filePath(a)));
        QCOMPARE(served(*c, a), QByteArray("<error>"));
        QVERIFY(!store(*c, {{a, "owned"}}).isEmpty());
        QVERIFY(secret.open(QIODevice::ReadOnly));
        QCOMPARE(secret.readAll(), QByteArray("private"));
        secret.close();
        QVERIFY(QFile::remove(QDir(folder).filePath(a)));

        // The folder itself a link: nothing is read or written outside.
        QVERIFY(QDir(folder).removeRecursively());
        QVERIFY(QFile::copy(secret.fileName(), outside.filePath(a)));
        QVERIFY(QFile::link(outside.path(), folder));
        QCOMPARE(served(*c, a), QByteArray("<error>"));
        QVERIFY(!store(*c, {{a, "owned"}, {guid, "owned"}}).isEmpty());
        QCOMPARE(entries(outside.path()), (QStringList{QStringLiteral("secret"), a}));
        QVERIFY(QFile::remove(folder));

        // A deleted record takes its file along, at commit and not before.
        QCOMPARE(store(*c, {{a, "kept until commit"}}), QString());
        auto rows = openOn(*c, QStringLiteral("LX_DMAccessories"),
                           QStringLiteral("WHERE AccessoriesID = '") + guid + QLatin1Char('\''));
        rows->append();
        rows->setValue(QStringLiteral("AccessoriesID"), guid);
        rows->setValue(QStringLiteral("ObjType"), 2101);
        rows->setValue(QStringLiteral("FileSuffix"), QStringLiteral("txt"));
        rows->post();
        QCOMPARE(apply(*c, *rows), 0);
        c->call(QStringLiteral("BeginTrans"));
        rows->deleteRecord();
        QCOMPARE(apply(*c, *rows), 0);
        c->call(QStringLiteral("RollbackTrans"));
        QCOMPARE(served(*c, a), QByteArray("kept until commit"));
        rows->close();
        rows->open();
        c->call(QStringLiteral("BeginTrans"));
        rows->deleteRecord();
        QCOMPARE(apply(*c, *rows), 0);
        QCOMPARE(served(*fx.connect(), a), QByteArray("kept until commit"));
        c->call(QStringLiteral("CommitTrans"));
        QCOMPARE(served(*c, a), QByteArray("<none>"));
        QCOMPARE(entries(folder), QStringList());
    }
    // A read-only set used to open without a word and fail at the first write in SQLite's
    // English; now reads work and every kind of write is refused in Chinese.
    void readOnlySet()
    {
        ServerFixture fx;
        fx.server.reset();
        QFile file(fx.path());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();

        AppServer::Options options;
        options.readOnly = true;
        const auto server = AppServer::open(fx.path(), options);
        QVERIFY(server->readOnly());
        auto c = server->connect();
        c->login(QStringLiteral("Manager"), QStringLiteral("manager"));
        QVERIFY(count(*c, QStringLiteral("SYS_SMModules")) > 0);

        auto ds = openOn(*c, QStringLiteral("LX_DMAccounting"), QStringLiteral("WHERE 1=1"));
        appendAccount(*ds, 1, QStringLiteral("1001"), QStringLiteral("库存现金"));
        QCOMPARE(apply(*c, *ds), 1);
        QCOMPARE(c->lastError(), QStringLiteral("账套是只读的，不能保存更改。"));
        QCOMPARE(errorOf([&] { c->call(QStringLiteral("BeginTrans")); }), c->lastError());
        // A write that only SQLite itself refuses says the same.
        QVariantList args{QStringLiteral("PropID"), 1};
        QCOMPARE(c->call(QStringLiteral("GetEntityID"), args).toInt(), -1);
        QCOMPARE(c->lastError(), QStringLiteral("账套是只读的，不能保存更改。"));
        c.reset();
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll() == before);
    }

    // SQLite's "database or disk is full" reached the user in English.
    void fullDiskAndDamagedFile()
    {
        ServerFixture fx;
        {
            auto c = fx.connect();
            QSqlQuery q(c->database());
            QVERIFY(q.exec(QStringLiteral("PRAGMA page_count")) && q.next());
            // No page more than the file has now: the next growth is SQLITE_FULL.
            QVERIFY(q.exec(QStringLiteral("PRAGMA max_page_count = %1").arg(q.value(0).toInt())));
            auto ds = openOn(*c, QStringLiteral("LX_DMAccounting"), QStringLiteral("WHERE 1=1"));
            for (int i = 0; i < 400; ++i)
                appendAccount(*ds, i + 1, QString::number(100000 + i),
                              QStringLiteral("科目") + QString::number(i));
            QCOMPARE(apply(*c, *ds), 1);
            QVERIFY2(c->lastError().contains(QStringLiteral("磁盘已满")),
                     qPrintable(c->lastError()));
            QCOMPARE(count(*c, QStringLiteral("LX_DMAccounting")), 0);
        }

        // A damaged page that opening does not read is found at open (a table's root page).
        int page = 0;
        {
            auto c = fx.connect(nullptr);
            QSqlQuery q(c->database());
            QVERIFY(q.exec(QStringLiteral(
                        "SELECT rootpage FROM sqlite_master WHERE name = 'SMModules'")) &&
                    q.next());
            page = q.value(0).toInt();
        }
        fx.server.reset();
        const QString copy = fx.dir.filePath(QStringLiteral("damaged.vexa"));
        QVERIFY(QFile::copy(fx.path(), copy));
        QFile f(copy);
        QVERIFY(f.open(QIODevice::ReadWrite));
        const QByteArray header = f.read(18);
        const int pageSize = (uchar(header[16]) << 8) | uchar(header[17]);
        QVERIFY(f.seek(qint64(page - 1) * pageSize));
        f.write(QByteArray(pageSize, '\xA5'));
        f.close();
        QCOMPARE(errorOf([&] { AppServer::open(copy); }),
                 QStringLiteral("账套文件“%1”已损坏，请用备份恢复账套。")
                     .arg(QFileInfo(copy).absoluteFilePath()));
        QVERIFY(AppServer::open(fx.path())); // the undamaged original
    }
};

QTEST_GUILESS_MAIN(TestAppServer)
#include "tst_appserver.moc"
