#include "AccountSetFile.h"
#include "ClientDataSet.h"
#include "PostgresLocation.h"
#include "ProviderCatalog.h"
#include "SqlDialect.h"
#include "SqliteStatement.h"
#include "UserAdmin.h"
#include "support/ServerFixture.h"
#include "support/TestSupport.h"

#include <vexa/Error.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <barrier>
#include <latch>
#include <thread>

using namespace vexa;
using namespace vexa::server;
using vexa::test::onPostgres;
using vexa::test::ServerFixture;

namespace {

int count(ServerConnection &c, const QString &provider, const QString &command = QString())
{
    return int(c.request(provider, command).rows.size());
}

using vexa::test::appendAccount;

int apply(ServerConnection &c, ClientDataSet &ds)
{
    int errors = -1;
    QVariant owner;
    c.applyUpdates(ds.providerName(), ds.delta(), -1, errors, owner);
    if (errors == 0)
        ds.mergeChangeLog();
    return errors;
}

// The kind of the last failure, asked the way a client asks it.
ErrorKind lastErrorKind(ServerConnection &c)
{
    QVariantList args{QStringLiteral("Kind")};
    return ErrorKind(c.call(QStringLiteral("GetLastErrorInfo"), args).toInt());
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

// The attachment files a set holds: its folder's entries (staging files too), or on
// PostgreSQL the rows of its file table, as another server would see them.
QStringList storedFiles(ServerFixture &fx)
{
    if (!onPostgres())
        return entries(fx.dir.path() + QStringLiteral("/doc/accessories"));
    QStringList names;
    auto c = fx.connect(nullptr);
    QSqlQuery q(c->database());
    if (!q.exec(QStringLiteral("SELECT FileName FROM AccessoryFile ORDER BY FileName")))
        return {q.lastError().text()};
    while (q.next())
        names << q.value(0).toString();
    return names;
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

        if (onPostgres()) {
            // A database that is missing, and one that holds no set.
            const test::NewSetLocation missing(dir, QStringLiteral("missing.vexa"));
            QVERIFY(errorOf([&] {
                        AppServer::open(missing.location);
                    }).contains(QStringLiteral("无法连接账套数据库")));
            const auto where = PostgresLocation::parse(missing.location);
            PostgresServer(where).create(where.database);
            QVERIFY(errorOf([&] {
                        AppServer::open(missing.location);
                    }).contains(QStringLiteral("不是账套数据库")));
        }

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
        if (onPostgres())
            QSKIP("a PostgreSQL set is no file");
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
        // A user who has left keeps the record but cannot log in, even with the password.
        QVERIFY(
            QSqlQuery(c->database())
                .exec(QStringLiteral("UPDATE SysUser SET Active = 0 WHERE UserCode = 'clerk'")));
        QCOMPARE(errorOf([&] { fx.connect("clerk", "clerk"); }),
                 QStringLiteral("用户“clerk”已停用。"));
    }

    void applyUpdatesRoundTrip()
    {
        ServerFixture fx;
        auto a = fx.connect();
        auto b = fx.connect("clerk", "clerk");
        auto ds = openOn(*a, QStringLiteral("LX_DMAccounting"),
                         QStringLiteral("WHERE 1=1 ORDER BY AcctCode"));
        appendAccount(*ds, 1, QStringLiteral("1001"), QStringLiteral("库存现金"));
        appendAccount(*ds, 2, QStringLiteral("1002"), QStringLiteral("银行存款"));
        appendAccount(*ds, 3, QStringLiteral("2202"), QStringLiteral("应付账款"));
        QCOMPARE(apply(*a, *ds), 0);
        QVERIFY(ds->locate(QStringLiteral("AcctCode"), QStringLiteral("1002")));
        ds->edit();
        ds->setValue(QStringLiteral("AcctName"), QStringLiteral("银行存款（基本户）"));
        ds->post();
        QVERIFY(ds->locate(QStringLiteral("AcctCode"), QStringLiteral("2202")));
        ds->deleteRecord();
        QCOMPARE(apply(*a, *ds), 0);
        // The other connection sees them, with their full names in the list view.
        const DataPacket list = b->request(QStringLiteral("LX_BMListAccounting"),
                                           QStringLiteral("WHERE 1=1 ORDER BY AcctCode"));
        QStringList names;
        for (const QVariantList &row : list.rows)
            names << row[indexOfField(list.fields, QStringLiteral("FullName"))].toString();
        QCOMPARE(names,
                 (QStringList{QStringLiteral("库存现金"), QStringLiteral("银行存款（基本户）")}));
    }

    // a changes or deletes the row it read after b has saved its own change of it (or
    // nothing). "stored" is the row afterwards as "AcctName|DC", empty when gone.
    void applyConflicts_data()
    {
        QTest::addColumn<QString>("theirs");
        QTest::addColumn<QString>("ours");
        QTest::addColumn<QString>("refusal"); // empty: saved
        QTest::addColumn<QString>("stored");
        const QString changed = QStringLiteral("已被其他用户修改");
        const QString deleted = QStringLiteral("已被其他用户删除");
        QTest::newRow("rename alone") << ""
                                      << "rename"
                                      << ""
                                      << "由 a 改名|D";
        QTest::newRow("delete alone") << ""
                                      << "delete"
                                      << ""
                                      << "";
        QTest::newRow("rename after their rename") << "rename"
                                                   << "rename" << changed << "由 b 改名|D";
        QTest::newRow("rename after their other field") << "side"
                                                        << "rename"
                                                        << ""
                                                        << "由 a 改名|C";
        // A delete would drop their change unseen, whichever field it touched.
        QTest::newRow("delete after their rename") << "rename"
                                                   << "delete" << changed << "由 b 改名|D";
        QTest::newRow("delete after their other field") << "side"
                                                        << "delete" << changed << "库存现金|C";
        QTest::newRow("rename after their delete") << "delete"
                                                   << "rename" << deleted << "";
        QTest::newRow("delete after their delete") << "delete"
                                                   << "delete" << deleted << "";
    }
    void applyConflicts()
    {
        QFETCH(QString, theirs);
        QFETCH(QString, ours);
        QFETCH(QString, refusal);
        QFETCH(QString, stored);
        ServerFixture fx;
        auto a = fx.connect();
        auto b = fx.connect("clerk", "clerk");
        const QString all = QStringLiteral("WHERE 1=1");
        auto mine = openOn(*a, QStringLiteral("LX_DMAccounting"), all);
        appendAccount(*mine, 1, QStringLiteral("1001"), QStringLiteral("库存现金"));
        QCOMPARE(apply(*a, *mine), 0);
        auto other = openOn(*b, QStringLiteral("LX_DMAccounting"), all);
        const auto change = [](ClientDataSet &ds, const QString &what, const QString &who) {
            if (what == u"delete") {
                ds.deleteRecord();
                return;
            }
            ds.edit();
            if (what == u"side")
                ds.setValue(QStringLiteral("DC"), QStringLiteral("C"));
            else
                ds.setValue(QStringLiteral("AcctName"), QStringLiteral("由 %1 改名").arg(who));
            ds.post();
        };
        if (!theirs.isEmpty()) {
            change(*other, theirs, QStringLiteral("b"));
            QCOMPARE(apply(*b, *other), 0);
        }
        change(*mine, ours, QStringLiteral("a"));
        if (refusal.isEmpty()) {
            QCOMPARE(apply(*a, *mine), 0);
        } else {
            QCOMPARE(apply(*a, *mine), 1);
            QVERIFY2(a->lastError().contains(refusal), qPrintable(a->lastError()));
            QCOMPARE(lastErrorKind(*a), ErrorKind::ChangedByOther);
            QCOMPARE(mine->changeCount(), 1); // kept for the user to decide
        }
        const DataPacket now = a->request(QStringLiteral("LX_DMAccounting"), all);
        QString row;
        if (!now.rows.empty())
            row = now.rows[0][indexOfField(now.fields, QStringLiteral("AcctName"))].toString() +
                  u'|' + now.rows[0][indexOfField(now.fields, QStringLiteral("DC"))].toString();
        QCOMPARE(row, stored);
    }

    // The apply binds its inserts through the C API: every kind of value must be stored
    // as Qt's driver stores it (NULL and empty text apart, 64-bit integers whole, blobs
    // with their zero bytes), and a failure must read as Qt's does.
    void sqliteStatementStoresWhatQtStores()
    {
        using namespace Qt::StringLiterals;
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"binding"_s);
        auto drop = qScopeGuard([&db] {
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(u"binding"_s);
        });
        db.setDatabaseName(u":memory:"_s);
        QVERIFY(db.open());
        QSqlQuery qt(db);
        QVERIFY(qt.exec(u"CREATE TABLE t (n INTEGER UNIQUE, v)"_s));
        const QVariantList values{QVariant(),
                                  QVariant(QString()),
                                  QString(u""_s),
                                  QString(70000, QChar(u'长')),
                                  QString(u"含\0零"_s),
                                  qint64(1) << 40,
                                  -(qint64(1) << 40) - 3,
                                  -7,
                                  true,
                                  false,
                                  2.5,
                                  QByteArray("a\0b", 3),
                                  QByteArray(),
                                  uint(4000000000u),
                                  QVariant::fromValue(qulonglong(1) << 63),
                                  QDate(2027, 1, 5),
                                  QDateTime(QDate(2027, 1, 5), QTime(8, 30, 1, 250)),
                                  QTime(8, 30, 1, 250)};
        const QString insert = u"INSERT INTO t (n, v) VALUES (?, ?)"_s;
        QVERIFY(qt.prepare(insert));
        vexa::server::SqliteStatement c(vexa::server::sqliteHandle(db), insert);
        for (int i = 0; i < values.size(); ++i) {
            qt.addBindValue(i + 1);
            qt.addBindValue(values[i]);
            QVERIFY2(qt.exec(), qPrintable(qt.lastError().text()));
            QVERIFY2(c.exec({-(i + 1), values[i]}), qPrintable(c.lastError().text()));
        }
        QSqlQuery read(db);
        for (int i = 0; i < values.size(); ++i) {
            QStringList stored;
            for (int n : {i + 1, -(i + 1)}) {
                QVERIFY(
                    read.exec(u"SELECT typeof(v) || ':' || quote(v) FROM t WHERE n = %1"_s.arg(n)));
                QVERIFY(read.next());
                stored << read.value(0).toString();
            }
            QCOMPARE(stored[1], stored[0]);
        }
        // A second row with a taken key fails as it fails through Qt.
        qt.addBindValue(1);
        qt.addBindValue(0);
        QVERIFY(!qt.exec());
        QVERIFY(!c.exec({1, 0}));
        QCOMPARE(c.lastError().databaseText(), qt.lastError().databaseText());
        QCOMPARE(c.lastError().nativeErrorCode().toInt() & 0xff,
                 qt.lastError().nativeErrorCode().toInt() & 0xff);
        // A statement that does not compile says why, as Qt's prepare does.
        vexa::server::SqliteStatement bad(vexa::server::sqliteHandle(db),
                                          u"INSERT INTO x (n) VALUES (?)"_s);
        QVERIFY(!bad.isValid());
        QVERIFY(!qt.prepare(u"INSERT INTO x (n) VALUES (?)"_s));
        QCOMPARE(bad.lastError().databaseText(), qt.lastError().databaseText());
        QVERIFY(qt.prepare(insert));
        // The statement was reset after the failure: it runs again.
        QVERIFY2(c.exec({1000, u"再来"_s}), qPrintable(c.lastError().text()));
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
        QCOMPARE(lastErrorKind(*c), ErrorKind::DuplicateKey);
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
        QCOMPARE(lastErrorKind(*c), ErrorKind::General);
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
        // The same row, read by both before either saves: one saves, the other is told
        // that another user changed it. Both take new keys at the same moment: no key twice.
        std::barrier sync(2);
        QStringList outcome[2];
        QList<qlonglong> ids[2];
        auto racer = [&](int i) {
            auto c = fx.connect();
            QVariantList args{QStringLiteral("TestID"), 1};
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
                ids[i] << c->call(QStringLiteral("GetEntityID"), args).toLongLong();
            }
        };
        {
            std::jthread a(racer, 0), b(racer, 1);
        }
        const QList<qlonglong> both = ids[0] + ids[1];
        QCOMPARE(QSet<qlonglong>(both.begin(), both.end()).size(), 20);
        QVERIFY(!both.contains(-1));
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
        for (const QString &sql : fx.server->dialect().connectionSetup(100))
            QSqlQuery(late->database()).exec(sql);
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

    // Server processes on several machines serve one set (here two servers in one process,
    // which share nothing): keys, conflicts, the write lock and who is logged in are the
    // set's, seen by both.
    void twoServersShareOneSet()
    {
        ServerFixture fx;
        AppServer::Options options = fx.server->options();
        const auto second = AppServer::open(fx.path(), options);
        auto a = fx.connect();
        auto b = second->connect();
        b->login(QStringLiteral("Manager"), QStringLiteral("manager"));

        QVariantList args{QStringLiteral("TestID"), 1};
        const qlonglong first = a->call(QStringLiteral("GetEntityID"), args).toLongLong();
        QCOMPARE(b->call(QStringLiteral("GetEntityID"), args).toLongLong(), first + 1);

        const DeltaPacket mine = rateChange(*a, QStringLiteral("JPY"), 1);
        const DeltaPacket theirs = rateChange(*b, QStringLiteral("JPY"), 2);
        QCOMPARE(save(*a, mine), QString());
        const QString lost = save(*b, theirs);
        QVERIFY2(lost.contains(QStringLiteral("已被其他用户修改")), qPrintable(lost));

        b->call(QStringLiteral("BeginTrans"));
        auto late = fx.connect();
        for (const QString &sql : fx.server->dialect().connectionSetup(100))
            QSqlQuery(late->database()).exec(sql);
        const QString waited = saveRate(*late, QStringLiteral("EUR"), 1);
        QVERIFY2(waited.contains(QStringLiteral("其他用户正在保存")), qPrintable(waited));
        b->call(QStringLiteral("RollbackTrans"));

        // A file uploaded through one server is served by the other.
        const QString file = QStringLiteral("{3F8FAD5B-D9CB-469F-A165-70867728950E}.txt");
        QCOMPARE(store(*a, {{file, "shared"}}), QString());
        QCOMPARE(served(*b, file), QByteArray("shared"));

        // The clerk, logged in on the second server only, is disabled rather than removed.
        auto clerk = second->connect();
        clerk->login(QStringLiteral("clerk"), QStringLiteral("clerk"));
        QVariantList removal{QStringLiteral("CLERK")};
        QCOMPARE(a->call(QStringLiteral("RemoveUser"), removal).toInt(),
                 int(UserAdmin::Removal::DisabledLoggedIn));
        clerk.reset();
        QCOMPARE(a->call(QStringLiteral("RemoveUser"), removal).toInt(),
                 int(UserAdmin::Removal::Removed));
    }

    void entityIds()
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
        QVERIFY(q.exec(QStringLiteral("SELECT MAX(MCode), MAX(ObjType) FROM SMModules WHERE "
                                      "DllFile = 'GL'")) &&
                q.next());
        QCOMPARE(c->call(QStringLiteral("GetFieldMaxValue"), args).toString(),
                 q.value(0).toString());
        args[1] = QStringLiteral("ObjType");
        QCOMPARE(c->call(QStringLiteral("GetFieldMaxValue"), args).toInt(), q.value(1).toInt());
    }

    // The template load's statements, each as it is sent, do what it means in the set.
    void batchStatements()
    {
        ServerFixture fx;
        auto c = fx.connect();
        QSqlQuery q(c->database());
        const auto exec = [&](const char *sql) {
            QVERIFY2(q.exec(QString::fromUtf8(sql)), qPrintable(q.lastError().text()));
        };
        const auto batch = [&](const char *sql) {
            QVariantList args{QString::fromUtf8(sql)};
            c->call(QStringLiteral("ExecuteBatch"), args);
        };
        const auto column = [&](const char *sql) {
            QStringList values;
            if (!q.exec(QString::fromUtf8(sql)))
                return QStringList{q.lastError().text()};
            while (q.next())
                values << (q.value(0).isNull() ? QStringLiteral("null") : q.value(0).toString());
            return values;
        };
        exec("INSERT INTO T0102011 (AcctType, AcctTypeCode, AcctTypeDesc) VALUES (1, '1', '资产')");
        // An account without a code must not stop unknown codes from being unbound.
        exec("INSERT INTO T0102010 (AcctID, AcctCode, AcctName) VALUES (1, '1001', '库存现金'), "
             "(2, '1002', '银行存款'), (3, NULL, '无代码')");
        exec("INSERT INTO T0200096 (TempletID, TempletName) VALUES (1, '资产负债表')");
        exec("INSERT INTO T0200097 (TempletID, ItemID) VALUES (1, 1), (1, 2), (1, 3)");
        exec("INSERT INTO T0200098 (TempletID, ItemID, ItemAcctCode, FetchType, AcctID) VALUES "
             "(1, 1, '1001', 'QM', 99), (1, 2, '1002', 'QM', NULL), (1, 3, '9999', 'QM', 2)");
        exec("INSERT INTO T0200099 (TempletID, ItemID, SumItemID, Operator) VALUES (1, 3, 1, '+')");
        // List 5 (项目) comes with every set; list 0 is the template's own.
        exec("INSERT INTO T0102053 (DacvID, ACheckID) VALUES (10, 0), (11, 0), (20, 5)");
        exec("INSERT INTO T0102056 (DacvID, AcctID) VALUES (10, 1), (20, 1)");
        exec("INSERT INTO T0102057 (DacvID, AcctID, PeriodID) VALUES (10, 1, 1), (11, 1, 1), "
             "(20, 1, 1)");
        const char *bound = "SELECT AcctID FROM T0200098 ORDER BY ItemID";
        batch("update t0200098 set AcctID = NULL where ItemAcctCode not in (select AcctCode "
              "from T0102010)");
        QCOMPARE(column(bound), (QStringList{"99", "null", "null"}));
        batch("UPDATE T0200098 SET AcctID = T0102010.AcctID FROM T0102010 WHERE\n"
              "T0200098.ItemAcctCode = T0102010.AcctCode");
        QCOMPARE(column(bound), (QStringList{"1", "2", "null"}));
        for (const char *table : {"T0102057", "T0102056"})
            batch((QByteArray("DELETE ") + table +
                   " WHERE DacvID IN (SELECT DacvID FROM T0102053 WHERE ACheckID = 0)")
                      .constData());
        batch("DELETE T0102055 WHERE ACheckID = 0");
        batch("DELETE T0102053 WHERE ACheckID = 0");
        QCOMPARE(column("SELECT DacvID FROM T0102057 UNION ALL SELECT DacvID FROM T0102056 UNION "
                        "ALL SELECT ACheckID FROM T0102055 WHERE ACheckID IN (0, 5) UNION ALL "
                        "SELECT DacvID "
                        "FROM T0102053"),
                 (QStringList{"20", "20", "5", "20"}));
        // The template load's order; each statement empties its own table and no other.
        const QStringList order = {"T0200099", "T0200098", "T0200097",
                                   "T0200096", "T0102011", "T0102010"};
        const auto counts = [&] {
            QStringList out;
            for (const QString &t : order)
                out << column(qPrintable(
                    QStringLiteral("SELECT CASE WHEN COUNT(*) > 0 THEN 1 ELSE 0 END FROM ") + t));
            return out.join(QString());
        };
        for (int i = 0; i < order.size(); ++i) {
            QCOMPARE(counts(), QString(i, u'0') + QString(order.size() - i, u'1'));
            batch(qPrintable(QStringLiteral("DELETE ") + order[i]));
        }
        QCOMPARE(counts(), QString(order.size(), u'0'));
        QCOMPARE(column("SELECT COUNT(*) FROM AcctFullName"), QStringList{"0"});
    }

    void attachments()
    {
        ServerFixture fx;
        auto c = fx.connect();
        const QString folder = fx.dir.path() + QStringLiteral("/doc/accessories/");
        const QString name = QStringLiteral("{0F8FAD5B-D9CB-469F-A165-70867728950E}.pdf");
        QCOMPARE(served(*c, name), QByteArray("<none>"));
        QByteArray bytes(5000, '\x7f');
        bytes[0] = '\0';
        QCOMPARE(store(*c, {{name, bytes}}), QString());
        QCOMPARE(storedFiles(fx), QStringList{name});
        QCOMPARE(served(*c, name), bytes);
        if (onPostgres())
            return; // the rest is about the folder
        // A file stored under an older name is still served.
        const QString older = QStringLiteral("{0f8fad5b-d9cb-469f-a165-70867728950e}.PDF");
        QFile legacy(folder + older);
        QVERIFY(legacy.open(QIODevice::WriteOnly) && legacy.write("older") == 5);
        legacy.close();
        QCOMPARE(served(*c, older), QByteArray("older"));
    }

    // A failed save must not cost a stored file: uploads are published only when the
    // transaction commits, and vanish when it rolls back, fails to commit or is left open.
    void attachmentsFollowTheTransaction()
    {
        ServerFixture fx;
        auto c = fx.connect();
        auto other = fx.connect();
        const QString a = QStringLiteral("{0F8FAD5B-D9CB-469F-A165-70867728950E}.txt");
        const QString b = QStringLiteral("{1F8FAD5B-D9CB-469F-A165-70867728950E}.txt");
        QCOMPARE(store(*c, {{a, "ORIGINAL"}}), QString());

        // A later upload fails: the replaced file keeps its old content.
        c->call(QStringLiteral("BeginTrans"));
        QCOMPARE(store(*c, {{a, "REPLACEMENT"}}), QString());
        QVERIFY(!store(*c, {{b, QByteArray(2 * 1024 * 1024, 'b')}}).isEmpty());
        c->call(QStringLiteral("RollbackTrans"));
        QCOMPARE(served(*c, a), QByteArray("ORIGINAL"));
        QCOMPARE(storedFiles(fx), QStringList{a});

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
        QCOMPARE(storedFiles(fx), QStringList{a});

        // The connection ends inside the transaction.
        {
            auto leaving = fx.connect();
            leaving->call(QStringLiteral("BeginTrans"));
            QCOMPARE(store(*leaving, {{a, "REPLACEMENT"}}), QString());
        }
        QCOMPARE(served(*c, a), QByteArray("ORIGINAL"));
        QCOMPARE(storedFiles(fx), QStringList{a});

        // Committed: others see the new content only from then on.
        c->call(QStringLiteral("BeginTrans"));
        QCOMPARE(store(*c, {{a, "REPLACEMENT"}, {b, "NEW"}}), QString());
        QCOMPARE(served(*c, a), QByteArray("REPLACEMENT"));
        QCOMPARE(served(*other, a), QByteArray("ORIGINAL"));
        c->call(QStringLiteral("CommitTrans"));
        QCOMPARE(served(*other, a), QByteArray("REPLACEMENT"));
        QCOMPARE(served(*other, b), QByteArray("NEW"));
        QCOMPARE(storedFiles(fx), (QStringList{a, b}));

        // Outside a transaction one call is all or nothing as well.
        QVERIFY(!store(*c, {{a, "THIRD"}, {b, QByteArray(2 * 1024 * 1024, 'b')}}).isEmpty());
        QCOMPARE(served(*c, a), QByteArray("REPLACEMENT"));
        QCOMPARE(storedFiles(fx), (QStringList{a, b}));
    }

    // The files of deleted records go when the deletion commits, and not before.
    void attachmentsOfDeletedRecords()
    {
        ServerFixture fx;
        auto c = fx.connect();
        const QString guid = QStringLiteral("{2F8FAD5B-D9CB-469F-A165-70867728950E}");
        const QString a = guid + QStringLiteral(".txt");
        // A deleted record takes its file along, at commit and not before.
        QCOMPARE(store(*c, {{a, "kept until commit"}}), QString());
        auto rows = openOn(*c, QStringLiteral("LX_DMAccessories"),
                           QStringLiteral("WHERE AccessoriesID = '") + guid + QLatin1Char('\''));
        const auto addRecord = [&] {
            rows->append();
            rows->setValue(QStringLiteral("AccessoriesID"), guid);
            rows->setValue(QStringLiteral("ObjType"), 2101);
            rows->setValue(QStringLiteral("FileSuffix"), QStringLiteral("txt"));
            rows->post();
            return apply(*c, *rows);
        };
        QCOMPARE(addRecord(), 0);
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
        QCOMPARE(storedFiles(fx), QStringList());
        // Outside a transaction the apply itself is the commit.
        QCOMPARE(store(*c, {{a, "again"}}), QString());
        QCOMPARE(addRecord(), 0);
        rows->deleteRecord();
        QCOMPARE(apply(*c, *rows), 0);
        QCOMPARE(storedFiles(fx), QStringList());
    }
    // A read-only set used to open without a word and fail at the first write in SQLite's
    // English; now reads work and every kind of write is refused in Chinese.
    void readOnlySet()
    {
        ServerFixture fx;
        fx.server.reset();
        QFile file(fx.path());
        QByteArray before;
        if (!onPostgres()) {
            QVERIFY(file.open(QIODevice::ReadOnly));
            before = file.readAll();
            file.close();
        }

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
        QCOMPARE(store(*c, {{QStringLiteral("{0F8FAD5B-D9CB-469F-A165-70867728950E}"), "x"}}),
                 c->lastError());
        QVERIFY(!QFileInfo::exists(fx.dir.filePath(QStringLiteral("doc"))));
        // A write that only SQLite itself refuses says the same.
        QVariantList args{QStringLiteral("PropID"), 1};
        QCOMPARE(c->call(QStringLiteral("GetEntityID"), args).toInt(), -1);
        QCOMPARE(c->lastError(), QStringLiteral("账套是只读的，不能保存更改。"));
        c.reset();
        if (onPostgres())
            return;
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll() == before);
    }

    // SQLite's "database or disk is full" reached the user in English.
    void fullDiskAndDamagedFile()
    {
        if (onPostgres())
            QSKIP("pages and disk space of a PostgreSQL set are the database server's");
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
