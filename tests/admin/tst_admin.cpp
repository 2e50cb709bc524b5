#include "AdminCommands.h"
#include "AdminRun.h"
#include "Csv.h"
#include "ProviderCatalog.h"

#include <vexa/Error.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <grp.h>
#include <unistd.h>

using namespace vexa;
using namespace vexa::admin;
using server::AppServer;

namespace {

const QString kUsageLine =
    QStringLiteral("用法: vexa-admin <create|info|list|check|backup|restore|users|groups|rights|"
                   "passwd|query|call|dump|log|templates> ...");

AdminOptions fastOptions()
{
    return test::fastAdminOptions();
}

using Result = test::AdminResult;

Result run(const QStringList &args, const QString &input = QString())
{
    return test::runAdminCommand(args, input);
}

QStringList lines(const QString &text)
{
    QStringList l = text.split(QLatin1Char('\n'));
    if (!l.isEmpty() && l.last().isEmpty())
        l.removeLast();
    return l;
}

bool canLogin(const QString &path, const QString &user, const QString &password)
{
    const auto server = AppServer::open(path, fastOptions().server);
    const auto c = server->connect();
    try {
        c->login(user, password);
        return true;
    } catch (const Error &) {
        return false;
    }
}

const QString kModules = QStringLiteral("SYS_SMModules");
const QString kTop3 = QStringLiteral("TOP 3 WHERE InnerUse = 0 ORDER BY MCode");

} // namespace

class TestAdmin : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_demo;

    QString freshDemo(const QString &name)
    {
        const QString path = m_dir.filePath(name);
        const Result r = run({QStringLiteral("create"), path, QStringLiteral("--demo")});
        if (r.status != 0)
            qWarning() << r.err;
        return path;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_demo = m_dir.filePath(QStringLiteral("demo.vexa"));
        const Result r = run({QStringLiteral("create"), m_demo, QStringLiteral("--demo")});
        QCOMPARE(r.err, QString());
        QCOMPARE(r.status, 0);
        QVERIFY(r.out.contains(QFileInfo(m_demo).absoluteFilePath()));
        // The logins it prints must be the ones the seed really created.
        QVERIFY(r.out.contains(QStringLiteral("Manager / manager")));
        QVERIFY(r.out.contains(QStringLiteral("clerk / clerk")));
        QVERIFY(canLogin(m_demo, QStringLiteral("Manager"), QStringLiteral("manager")));
        QVERIFY(canLogin(m_demo, QStringLiteral("clerk"), QStringLiteral("clerk")));
    }

    void createRefusesAnExistingFile()
    {
        const Result r = run({QStringLiteral("create"), m_demo});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.startsWith(QStringLiteral("vexa-admin: ")) &&
                     r.err.contains(QStringLiteral("已存在")),
                 qPrintable(r.err));
    }

    // A command other than create on a SQLite file without tables used to write the whole
    // schema into it and answer 0.
    void commandsLeaveForeignFilesAlone()
    {
        QTemporaryDir dir;
        const QString blank = dir.filePath(QStringLiteral("blank.db"));
        const QString view = dir.filePath(QStringLiteral("view.db"));
        for (const auto &[path, sql] : {std::pair{blank, "PRAGMA user_version = 7"},
                                        std::pair{view, "CREATE VIEW v AS SELECT 1 AS one"}}) {
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), path);
                db.setDatabaseName(path);
                QVERIFY(db.open());
                QVERIFY(QSqlQuery(db).exec(QLatin1String(sql)));
            }
            QSqlDatabase::removeDatabase(path);
        }
        for (const QString &path : {blank, view}) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray before = f.readAll();
            f.close();
            // A read command opens read-only, passwd for writing.
            for (const QStringList &args :
                 {QStringList{QStringLiteral("users"), path},
                  QStringList{QStringLiteral("passwd"), path, QStringLiteral("Manager")}}) {
                const Result r = run(args, QStringLiteral("pw\npw\n"));
                QCOMPARE(r.status, 1);
                QCOMPARE(r.err, QStringLiteral("vexa-admin: 文件“%1”不是账套数据库。\n")
                                    .arg(QFileInfo(path).absoluteFilePath()));
                QVERIFY(f.open(QIODevice::ReadOnly));
                QCOMPARE(f.readAll(), before);
                f.close();
            }
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{QStringLiteral("blank.db"), QStringLiteral("view.db")}));
    }

    void usersListsEveryUserWithoutHash()
    {
        const Result r = run({QStringLiteral("users"), m_demo});
        QCOMPARE(r.status, 0);
        QVERIFY2(!r.out.contains(QStringLiteral("argon2")), qPrintable(r.out));
        const QStringList out = lines(r.out);
        QCOMPARE(out.size(), 2 + 2 + 1);
        QCOMPARE(out.last(), QStringLiteral("(2 行)"));
        QCOMPARE(out[2].split(QRegularExpression(QStringLiteral(" {2,}"))),
                 (QStringList{QStringLiteral("clerk"), QStringLiteral("会计张三"),
                              QStringLiteral("2"), QStringLiteral("否"), QStringLiteral("是")}));
        QVERIFY(out[3].startsWith(QStringLiteral("Manager ")));
    }

    void displayWidth_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("ascii") << QStringLiteral("MCode") << 5;
        QTest::newRow("hanzi") << QStringLiteral("凭证录入") << 8;
        QTest::newRow("full-width yen") << QStringLiteral("JP￥") << 4;
        QTest::newRow("combining accent") << QStringLiteral("e\u0301") << 1;
        QTest::newRow("supplementary ideograph") << QString::fromUcs4(U"\U00020000") << 2;
    }
    void displayWidth()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QCOMPARE(vexa::admin::displayWidth(text), width);
    }

    void formatCell_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("expected");
        const int table = int(CellFormat::Table), csv = int(CellFormat::Csv),
                  json = int(CellFormat::Json);
        auto row = [](const char *name, FieldType t, const QVariant &v, int f, const QString &e) {
            QTest::newRow(name) << int(t) << v << f << e;
        };
        row("null in a table", FieldType::String, QVariant(), table, QString());
        row("null in json", FieldType::Date, QVariant(), json, QStringLiteral("null"));
        row("blob in a table", FieldType::Blob, QByteArray("abc"), table,
            QStringLiteral("(3 字节)"));
        row("blob in csv", FieldType::Blob, QByteArray("abc"), csv, QStringLiteral("YWJj"));
        row("blob in json", FieldType::Blob, QByteArray("abc"), json, QStringLiteral("\"YWJj\""));
        row("date", FieldType::Date, QDate(2024, 1, 31), table, QStringLiteral("2024-01-31"));
        row("date-time", FieldType::DateTime, QDateTime(QDate(2024, 1, 31), QTime(8, 5)), csv,
            QStringLiteral("2024-01-31T08:05:00"));
        row("date-time with ms", FieldType::DateTime,
            QDateTime(QDate(2024, 1, 31), QTime(8, 5, 0, 250)), csv,
            QStringLiteral("2024-01-31T08:05:00.250"));
        row("time", FieldType::Time, QTime(13, 45, 30), table, QStringLiteral("13:45:30"));
        row("boolean", FieldType::Boolean, true, csv, QStringLiteral("1"));
        row("boolean in json", FieldType::Boolean, false, json, QStringLiteral("false"));
        row("currency without exponent", FieldType::Currency, 1234567.5, csv,
            QStringLiteral("1234567.5"));
        row("float shortest", FieldType::Float, 0.1, json, QStringLiteral("0.1"));
        row("large integer", FieldType::LargeInt, qlonglong(9007199254740993LL), csv,
            QStringLiteral("9007199254740993"));
        row("text in json", FieldType::Memo, QStringLiteral("a\"b\\c\nd\x01"), json,
            QStringLiteral("\"a\\\"b\\\\c\\nd\\u0001\""));
    }
    void formatCell()
    {
        QFETCH(int, type);
        QFETCH(QVariant, value);
        QFETCH(int, format);
        QFETCH(QString, expected);
        const FieldDef field{QStringLiteral("F"), FieldType(type), 0, false, false};
        QCOMPARE(vexa::admin::formatCell(field, value, CellFormat(format)), expected);
    }

    // The three outputs of one packet: a wide character, a value to quote, an empty text,
    // a null and a value longer than a table cell.
    void writePacketFormats_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("expected");
        const QString longText(70, QLatin1Char('x'));
        QTest::newRow("table") << int(CellFormat::Table)
                               << QStringLiteral("Code  名称\n"
                                                 "----  %1\n"
                                                 "   7  部门,\"档 案\"\n"
                                                 "  12\n"
                                                 " 100  %2…\n"
                                                 "(3 行)\n")
                                      .arg(QString(60, QLatin1Char('-')),
                                           QString(59, QLatin1Char('x')));
        QTest::newRow("csv") << int(CellFormat::Csv)
                             << QStringLiteral(
                                    "Code,名称\n7,\"部门,\"\"档\n案\"\"\"\n12,\"\"\n100,%1\n")
                                    .arg(longText);
        QTest::newRow("json") << int(CellFormat::Json)
                              << QStringLiteral(
                                     "[\n  {\"Code\": 7, \"名称\": \"部门,\\\"档\\n案\\\"\"},\n"
                                     "  {\"Code\": 12, \"名称\": \"\"},\n"
                                     "  {\"Code\": 100, \"名称\": \"%1\"}\n]\n")
                                     .arg(longText);
    }
    void writePacketFormats()
    {
        QFETCH(int, format);
        QFETCH(QString, expected);
        DataPacket packet;
        packet.fields = {FieldDef{QStringLiteral("Code"), FieldType::Integer, 0, false, false},
                         FieldDef{QStringLiteral("名称"), FieldType::String, 80, false, false}};
        // A line break must not break the table's line.
        packet.rows = {{7, QStringLiteral("部门,\"档\n案\"")},
                       {12, QString(QLatin1String(""))},
                       {100, QString(70, QLatin1Char('x'))}};
        QString text;
        QTextStream out(&text);
        writePacket(out, packet, CellFormat(format));
        out.flush();
        QCOMPARE(text, expected);
        // A null is an empty cell, an empty text "" (csv); json has no rows for none.
        if (format == int(CellFormat::Csv)) {
            packet.rows = {{QVariant(), QVariant()}};
            text.clear();
            writePacket(out, packet, CellFormat::Csv);
            out.flush();
            QCOMPARE(text, QStringLiteral("Code,名称\n,\n"));
        }
        if (format == int(CellFormat::Json)) {
            packet.rows.clear();
            text.clear();
            writePacket(out, packet, CellFormat::Json);
            out.flush();
            QCOMPARE(text, QStringLiteral("[]\n"));
        }
    }

    // One run per format through the command line; a refusal passes the server's words on.
    void query()
    {
        for (const char *format : {"table", "csv", "json"}) {
            const Result r = run({QStringLiteral("query"), m_demo, kModules, kTop3,
                                  QStringLiteral("--format=") + QLatin1String(format)});
            QCOMPARE(r.err, QString());
            QCOMPARE(r.status, 0);
            QVERIFY2(r.out.contains(QStringLiteral("MCode")), format);
        }
        const Result r =
            run({QStringLiteral("query"), m_demo, kModules, QStringLiteral("WHERE NoSuch = 1")});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.out, QString());
        QVERIFY2(r.err.startsWith(QStringLiteral("vexa-admin: ")) &&
                     r.err.contains(QStringLiteral("NoSuch")),
                 qPrintable(r.err));
    }

    void callFailures_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("message");
        const auto row = [](const char *tag, const QStringList &args, const char *input,
                            const char *message) {
            QTest::newRow(tag) << args << input << message;
        };
        row("unknown operation", {"Nope"}, "", "没有操作");
        // GetEntityID answers a bad name with -1 and the reason as the last error.
        row("failure by result", {"GetEntityID", QString(), "1"}, "", "实体名称");
        row("wrong password", {"--user", "Manager", "GetLastErrorInfo"}, "wrong\n",
            "用户名或密码错误");
        row("no password", {"--user=Manager", "GetLastErrorInfo"}, "", "密码");
    }
    void callFailures()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, input);
        QFETCH(QString, message);
        const Result r = run(QStringList{QStringLiteral("call"), m_demo} + args, input);
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.startsWith(QStringLiteral("vexa-admin: ")) && r.err.contains(message),
                 qPrintable(r.err));
    }

    // Numbers go to the server as integers; the result is printed.
    void callPrintsTheResult()
    {
        const Result id = run({QStringLiteral("call"), m_demo, QStringLiteral("GetEntityID"),
                               QStringLiteral("PropID"), QStringLiteral("0")});
        QCOMPARE(id.err, QString());
        QVERIFY(id.out.trimmed().toLongLong() > 0);

        const QString path = freshDemo(QStringLiteral("modifyps.vexa"));
        const Result r =
            run({QStringLiteral("call"), path, QStringLiteral("--user"), QStringLiteral("clerk"),
                 QStringLiteral("Modifyps"), QStringLiteral("clerk"), QStringLiteral("s3cret")},
                QStringLiteral("clerk\n"));
        QCOMPARE(r.err, QString());
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QStringLiteral("0\n"));
        QVERIFY(canLogin(path, QStringLiteral("clerk"), QStringLiteral("s3cret")));
    }

    void passwd_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("message"); // empty: the change succeeds
        const auto row = [](const char *tag, const char *user, const char *input,
                            const char *message) {
            QTest::newRow(tag) << user << input << message;
        };
        row("lines differ", "Manager", "new1\nnew2\n", "不一致");
        row("empty", "Manager", "\n\n", "不能为空");
        row("one line", "Manager", "new1\n", "两遍");
        row("no input", "Manager", "", "没有从标准输入");
        row("unknown user", "nobody", "new1\nnew1\n", "不存在");
        row("CRLF, other case", "MANAGER", "new1\r\nnew1\r\n", "");
        row("no newline at the end", "Manager", "new 1\nnew 1", "");
    }
    void passwd()
    {
        QFETCH(QString, user);
        QFETCH(QString, input);
        QFETCH(QString, message);
        const QString path =
            freshDemo(QStringLiteral("passwd-%1.vexa").arg(QTest::currentDataTag()));
        const Result r = run({QStringLiteral("passwd"), path, user}, input);
        const QString manager = QStringLiteral("Manager");
        if (!message.isEmpty()) {
            QCOMPARE(r.status, 1);
            QVERIFY2(r.err.contains(message), qPrintable(r.err));
            QVERIFY(canLogin(path, manager, QStringLiteral("manager")));
        } else {
            QCOMPARE(r.err, QString());
            QCOMPARE(r.status, 0);
            const QString password =
                input.section(QLatin1Char('\n'), 0, 0).remove(QLatin1Char('\r'));
            QVERIFY(canLogin(path, manager, password));
            QVERIFY(!canLogin(path, manager, QStringLiteral("manager")));
        }
        QVERIFY(canLogin(path, QStringLiteral("clerk"), QStringLiteral("clerk")));
    }

    // The operation log: every filter narrows, entries oldest first, one line each.
    void logFilters_data()
    {
        QTest::addColumn<QStringList>("filters");
        QTest::addColumn<QStringList>("keys"); // the ObjKey of each line, in order
        QTest::newRow("all") << QStringList{} << QStringList{"7", "8", "9"};
        QTest::newRow("user by login") << QStringList{"--user", "clerk"} << QStringList{"8"};
        QTest::newRow("user by name")
            << QStringList{"--user", "系统管理员"} << QStringList{"7", "9"};
        QTest::newRow("from") << QStringList{"--from", "2026-03-02"} << QStringList{"8", "9"};
        QTest::newRow("to, the whole day")
            << QStringList{"--to", "2026-03-02"} << QStringList{"7", "8"};
        QTest::newRow("words, all of them")
            << QStringList{"--text", "记字 第5号"} << QStringList{"9"};
        QTest::newRow("nothing") << QStringList{"--text", "收字"} << QStringList{};
    }
    void logFilters()
    {
        QFETCH(QStringList, filters);
        QFETCH(QStringList, keys);
        QTemporaryDir dir;
        const QString set = dir.filePath(QStringLiteral("log.vexa"));
        QCOMPARE(run({QStringLiteral("create"), set, QStringLiteral("--demo")}).status, 0);
        {
            const auto server = AppServer::open(set, fastOptions().server);
            const auto c = server->connect();
            QSqlQuery q(c->database());
            QVERIFY(q.exec(QStringLiteral(
                "INSERT INTO OperationLog (LogID, LogTime, UserID, UserName, Machine, Action, "
                "ObjType, ObjKey, Detail) VALUES "
                "(3, '2026-03-03 09:00:00.000', '{637C5151-C64E-56BF-BD93-E31E399C3719}', "
                "'系统管理员', '10.0.0.5:4100', '记账', 2101, '9', '记字第5号，第 202603 期'), "
                "(1, '2026-03-01 08:00:00.000', '{637C5151-C64E-56BF-BD93-E31E399C3719}', "
                "'系统管理员', 'host-a', '新增', 2101, '7', '记字第1号'), "
                "(2, '2026-03-02 23:59:59.999', '{1E8C8115-2981-5C5C-AA61-4041A89117C5}', "
                "'会计张三', 'host-b', '审核', 2101, '8', '记字第3号\n第二行')")));
        }
        const Result r = run(QStringList{QStringLiteral("log"), set} + filters);
        QCOMPARE(r.status, 0);
        QStringList got;
        for (const QString &line : r.out.split(u'\n', Qt::SkipEmptyParts)) {
            const QStringList cols = line.split(QStringLiteral("  "));
            QVERIFY2(cols.size() == 6, qPrintable(line));
            got << cols[4].section(u' ', 1);
        }
        QCOMPARE(got, keys);
        if (keys.contains(QStringLiteral("9")))
            QVERIFY(r.out.contains(QStringLiteral(
                "2026-03-03 09:00:00.000  系统管理员  10.0.0.5:4100  记账  凭证 9  记字第5号")));
    }

    void dump_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("table") << QStringLiteral("SysUser") << true;
        QTest::newRow("view") << QStringLiteral("SysUserInfo") << true;
        QTest::newRow("sqlite_master") << QStringLiteral("sqlite_master") << false;
        QTest::newRow("statement") << QStringLiteral("SysUser; DROP") << false;
    }
    void dump()
    {
        QFETCH(QString, table);
        QFETCH(bool, allowed);
        const Result r = run({QStringLiteral("dump"), m_demo, table});
        if (!allowed) {
            QCOMPARE(r.status, 1);
            QCOMPARE(r.out, QString());
            QVERIFY2(r.err.startsWith(QStringLiteral("vexa-admin: ")) && r.err.contains(table),
                     qPrintable(r.err));
            return;
        }
        QCOMPARE(r.err, QString());
        QCOMPARE(r.status, 0);
        const auto server = AppServer::open(m_demo, fastOptions().server);
        const QList<FieldDef> columns = server->catalog().tableColumns(table);
        QStringList names;
        for (const FieldDef &f : columns)
            names.append(f.name);
        const server::CsvTable csv = server::parseCsv(r.out);
        QCOMPARE(csv.header, names);
        {
            const auto c = server->connect();
            QSqlQuery q(c->database());
            QVERIFY(q.exec(QStringLiteral("SELECT COUNT(*) FROM %1").arg(table)) && q.next());
            QCOMPARE(qlonglong(csv.rows.size()), q.value(0).toLongLong());
        }
        // The hashes hold commas: a cell count off by one would have failed the parse.
        const int hash = int(names.indexOf(QStringLiteral("PasswordHash")));
        if (hash >= 0)
            for (const QStringList &row : csv.rows)
                QVERIFY2(row[hash].startsWith(QStringLiteral("$argon2id$")), qPrintable(row[hash]));
    }

    void usage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        const QString p = m_dir.filePath(QStringLiteral("never.vexa"));
        const QString mod = kModules;
        const auto row = [](const char *tag, const QStringList &args, int status) {
            QTest::newRow(tag) << args << status;
        };
        row("nothing", {}, 2);
        row("unknown command", {"frob", p}, 2);
        row("query without provider", {"query", p}, 2);
        row("users, extra argument", {"users", p, "x"}, 2);
        row("unknown format", {"query", p, mod, "--format=xml"}, 2);
        row("format without value", {"query", p, mod, "--format"}, 2);
        row("unknown option", {"create", p, "--bogus"}, 2);
        row("flag with value", {"create", p, "--demo=yes"}, 2);
        row("option of another command", {"create", p, "--user", "x"}, 2);
        row("help", {"--help"}, 0);
        row("help of a command", {"passwd", "-h"}, 0);
    }
    void usage()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        const Result r = run(args);
        QCOMPARE(r.status, status);
        if (status == 2) {
            QVERIFY2(r.err.startsWith(QStringLiteral("vexa-admin: ")) &&
                         lines(r.err).value(1) == kUsageLine,
                     qPrintable(r.err));
            QCOMPARE(r.out, QString());
        } else {
            QVERIFY(r.out.startsWith(kUsageLine));
            QCOMPARE(r.err, QString());
        }
        // Nothing ran: no file was made.
        QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("never.vexa"))));
    }

    void realProgram()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("real.vexa"));
        QProcess p;
        p.start(QStringLiteral(VEXA_ADMIN_BINARY),
                {QStringLiteral("create"), path, QStringLiteral("--demo")});
        QVERIFY(p.waitForFinished(120000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(QString::fromUtf8(p.readAllStandardOutput())
                    .contains(QStringLiteral("演示登录（登录名 / 密码）")));
        QVERIFY(QFileInfo::exists(path));

        // A set nobody may write: read commands used to fail ("attempt to write a readonly
        // database"). Root writes anywhere, so the program runs as nobody then.
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                      QFile::ExeOwner | QFile::ReadOther |
                                                      QFile::ExeOther));
        const QString folder = dir.filePath(QStringLiteral("ro"));
        QVERIFY(QDir().mkdir(folder));
        const QString readOnly = folder + QStringLiteral("/real.vexa");
        QVERIFY(QFile::copy(path, readOnly));
        QVERIFY(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ReadOther));
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner |
                                                  QFile::ReadOther | QFile::ExeOther));
        // Without root the temporary folder could not be removed afterwards.
        const auto writableAgain = qScopeGuard([&] {
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });
        // The build folder may lie where nobody cannot go (a clone under /root): the program
        // runs from a copy beside the set.
        const QString program = dir.filePath(QStringLiteral("vexa-admin"));
        QVERIFY(QFile::copy(QStringLiteral(VEXA_ADMIN_BINARY), program));
        QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner |
                                                   QFile::ReadOther | QFile::ExeOther));
        QProcess nobody;
        nobody.setChildProcessModifier([] {
            if (::geteuid() == 0 &&
                (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
                ::_exit(77);
        });
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), dir.path());
        // A coverage build's counters go where nobody may write, fresh for each run (none in
        // other builds).
        env.insert(
            QStringLiteral("GCOV_PREFIX"),
            QDir::tempPath() +
                QStringLiteral("/vexa-gcov-nobody-%1").arg(QCoreApplication::applicationPid()));
        nobody.setProcessEnvironment(env);
        const auto runAsNobody = [&](const QStringList &args) {
            nobody.start(program, args);
            nobody.closeWriteChannel();
            if (!nobody.waitForFinished(120000))
                return -1;
            return nobody.exitCode();
        };
        int status = runAsNobody({QStringLiteral("query"), readOnly,
                                  QStringLiteral("SYS_SMModules"), QStringLiteral("TOP 1")});
        if (status == 77)
            QSKIP("cannot run as nobody");
        QCOMPARE(QString::fromUtf8(nobody.readAllStandardError()), QString());
        QCOMPARE(status, 0);
        QVERIFY(
            QString::fromUtf8(nobody.readAllStandardOutput()).contains(QStringLiteral("MCode")));
        QCOMPARE(runAsNobody({QStringLiteral("call"), readOnly, QStringLiteral("GetEntityID"),
                              QStringLiteral("PropID"), QStringLiteral("1")}),
                 1);
        QCOMPARE(QString::fromUtf8(nobody.readAllStandardError()),
                 QStringLiteral("vexa-admin: 账套是只读的，不能保存更改。\n"));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("real.vexa")});

        p.start(QStringLiteral(VEXA_ADMIN_BINARY), {QStringLiteral("frob")});
        QVERIFY(p.waitForFinished(120000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(QString::fromUtf8(p.readAllStandardError()).contains(kUsageLine));
    }
};

QTEST_GUILESS_MAIN(TestAdmin)
#include "tst_admin.moc"
