#include "AccountSetFile.h"
#include "AttachmentStore.h"
#include "BatchStatements.h"
#include "Csv.h"
#include "Passwords.h"
#include "support/TestSupport.h"

#include <vexa/Error.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <unistd.h>

using namespace vexa::server;

namespace {

const QString kGuid = QStringLiteral("{8F0C2A4B-1D3E-4F56-9A7B-0C1D2E3F4A5B}");

// "m=..,t=.." of an encoded hash, as numbers.
std::pair<qint64, qint64> costOf(const QString &hash)
{
    static const QRegularExpression re(QStringLiteral("\\$m=(\\d+),t=(\\d+),"));
    const QRegularExpressionMatch m = re.match(hash);
    return {m.captured(1).toLongLong(), m.captured(2).toLongLong()};
}

} // namespace

class TestServerParts : public QObject
{
    Q_OBJECT

private slots:
    void passwordRoundTrip_data();
    void passwordRoundTrip();
    void passwordCost();
    void foreignHashesNeverMatch_data();
    void foreignHashesNeverMatch();

    void storedNames_data();
    void storedNames();
    void attachmentRoundTrip();
    void attachmentsStayInTheirFolder();
    void attachmentSizeLimit();
    void attachmentWriteFailure_data();
    void attachmentWriteFailure();
    void attachmentReadOnlyFolderKeepsOldFile();

    void csvParse_data();
    void csvParse();
    void csvErrors_data();
    void csvErrors();

    void batchAccepted_data();
    void batchAccepted();
    void batchRefused_data();
    void batchRefused();

    void pendingSetFiles();
};

// ---------------------------------------------------------------------------------------
// Passwords

void TestServerParts::passwordRoundTrip_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("wrong");
    QTest::newRow("ascii") << "secret"
                           << "Secret";
    QTest::newRow("empty") << ""
                           << " ";
    QTest::newRow("embedded nul") << QStringLiteral("ab") + QChar(0) + QStringLiteral("cd") << "ab";
    QTest::newRow("long") << QString(500, QChar(0x5BC6)) << QString(499, QChar(0x5BC6));
}

void TestServerParts::passwordRoundTrip()
{
    QFETCH(QString, password);
    QFETCH(QString, wrong);
    const QString hash = hashPassword(password, PasswordCost::Fast);
    QVERIFY2(hash.startsWith(QLatin1String("$argon2id$")), qPrintable(hash));
    QVERIFY(!hash.contains(password) || password.isEmpty());
    QCOMPARE(verifyPassword(hash, password), true);
    QCOMPARE(verifyPassword(hash, wrong), false);
    // Salted: the same password hashes differently each time.
    QVERIFY(hashPassword(password, PasswordCost::Fast) != hash);
}

void TestServerParts::passwordCost()
{
    // The default must be the interactive cost: a slip to the minimum would still verify.
    const auto fast = costOf(hashPassword(QStringLiteral("x"), PasswordCost::Fast));
    const auto interactive = costOf(hashPassword(QStringLiteral("x")));
    QVERIFY(fast.first > 0 && fast.second > 0);
    QVERIFY2(interactive.first > 4 * fast.first,
             qPrintable(QStringLiteral("%1 vs %2").arg(interactive.first).arg(fast.first)));
}

void TestServerParts::foreignHashesNeverMatch_data()
{
    QTest::addColumn<QString>("hash");
    const QString good = hashPassword(QStringLiteral("secret"), PasswordCost::Fast);
    QTest::newRow("empty") << QString();
    QTest::newRow("clear password stored as hash") << "secret";
    QTest::newRow("garbage") << "$argon2id$garbage";
    // A valid argon2i hash of "secret": libsodium's generic verify would accept it.
    QTest::newRow("argon2i") << "$argon2i$v=19$m=8,t=3,p=1$Hz906suILUCmopJlG2VWvA$xDAtF2m/"
                                "wBBvt2I4OpbXQzGJTFZ78bj/T/fF08whOQM";
    QTest::newRow("bcrypt") << "$2y$10$abcdefghijklmnopqrstuuJ6aP2cYbQGxBNLWuD6Rq7kNjr5uWGa";
    QTest::newRow("extra text") << good + QStringLiteral("AAAA");
    QTest::newRow("after nul") << good + QChar(0) + QStringLiteral("x");
    QTest::newRow("too long") << good + QString(200, QLatin1Char('A'));
}

void TestServerParts::foreignHashesNeverMatch()
{
    QFETCH(QString, hash);
    QCOMPARE(verifyPassword(hash, QStringLiteral("secret")), false);
}

// ---------------------------------------------------------------------------------------
// Attachment store

void TestServerParts::storedNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("valid");
    const QString lower = kGuid.toLower();
    QTest::newRow("guid") << kGuid << true;
    QTest::newRow("extension") << kGuid + ".pdf" << true;
    QTest::newRow("20-char extension") << kGuid + "." + QString(20, QLatin1Char('x')) << true;
    QTest::newRow("chinese extension") << kGuid + ".文档" << true;
    QTest::newRow("21-char extension") << kGuid + "." + QString(21, QLatin1Char('x')) << false;
    QTest::newRow("blank in extension") << kGuid + ".a b" << false;
    QTest::newRow("empty extension") << kGuid + "." << false;
    QTest::newRow("two extensions") << kGuid + ".a.b" << false;
    QTest::newRow("parent") << "../x" << false;
    QTest::newRow("absolute") << "/abs" << false;
    QTest::newRow("backslash") << kGuid + "\\x" << false;
    QTest::newRow("nul") << kGuid + QChar(0) + ".pdf" << false;
    QTest::newRow("space") << kGuid + " .pdf" << false;
    QTest::newRow("leading blank") << " " + kGuid << false;
    QTest::newRow("no braces") << kGuid.mid(1, 36) << false;
    QTest::newRow("not hex") << QStringLiteral("{8F0C2A4B-1D3E-4F56-9A7B-0C1D2E3F4A5G}") << false;
    QTest::newRow("fullwidth digit") << kGuid.left(1) + QChar(0xFF18) + kGuid.mid(2) << false;
    QTest::newRow("empty") << QString() << false;
}

void TestServerParts::storedNames()
{
    QFETCH(QString, name);
    QFETCH(bool, valid);
    QCOMPARE(AttachmentStore::isValidStoredName(name), valid);
}

void TestServerParts::attachmentRoundTrip()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // The folder does not exist yet: save creates it.
    const AttachmentStore store(dir.filePath(QStringLiteral("doc/accessories")));
    QCOMPARE(store.load(kGuid), std::nullopt);
    QByteArray blob;
    for (int i = 0; i < 70000; ++i)
        blob.append(char((i * 7) % 256));
    const QString name = kGuid + QStringLiteral(".bin");
    store.save(name, blob);
    QCOMPARE(store.load(name), std::optional<QByteArray>(blob));
    QCOMPARE(QDir(store.folder()).entryList(QDir::Files), QStringList{name});

    const QByteArray other("\0second\r\n", 9);
    store.save(name, other);
    QCOMPARE(store.load(name), std::optional<QByteArray>(other));
    QCOMPARE(store.load(kGuid), std::nullopt);
    store.save(kGuid, QByteArray());
    QCOMPARE(store.load(kGuid), std::optional<QByteArray>(QByteArray()));
    QCOMPARE(QDir(store.folder()).entryList(QDir::Files).size(), 2);
}

// Nothing is read or written outside the folder: not through an invalid name, a link in
// place of a file or the folder itself a link. One bad name in a batch stops every file.
void TestServerParts::attachmentsStayInTheirFolder()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("store"));
    const AttachmentStore store(folder);
    QFile outside(dir.filePath(kGuid));
    QVERIFY(outside.open(QIODevice::WriteOnly));
    outside.write("private");
    outside.close();
    const auto untouched = [&] {
        QVERIFY(outside.open(QIODevice::ReadOnly));
        QCOMPARE(outside.readAll(), QByteArray("private"));
        outside.close();
    };
    for (const QString &name : {QStringLiteral("../") + kGuid, QStringLiteral("x.pdf")}) {
        const QString message = QStringLiteral("附件名称“%1”无效。").arg(name);
        QCOMPARE(errorOf([&] { store.load(name); }), message);
        QCOMPARE(errorOf([&] { store.save(name, "x"); }), message);
    }
    AttachmentChanges batch(store);
    QVERIFY(!errorOf([&] {
                 batch.stage({{kGuid, "first"}, {QStringLiteral("../x"), "2"}});
             }).isEmpty());
    QVERIFY(batch.isEmpty());
    QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList{kGuid});

    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::link(outside.fileName(), QDir(folder).filePath(kGuid)));
    QVERIFY(errorOf([&] { store.load(kGuid); }).contains(QStringLiteral("符号链接")));
    QVERIFY(errorOf([&] { store.save(kGuid, "owned"); }).contains(QStringLiteral("符号链接")));
    untouched();

    QVERIFY(QDir(folder).removeRecursively());
    QVERIFY(QFile::link(dir.path(), folder));
    QVERIFY(errorOf([&] { store.load(kGuid); }).contains(QStringLiteral("符号链接")));
    QVERIFY(errorOf([&] { store.save(kGuid, "owned"); }).contains(QStringLiteral("符号链接")));
    untouched();
    QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System),
             (QStringList{QStringLiteral("store"), kGuid}));
}

void TestServerParts::attachmentSizeLimit()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const qint64 limit = 2 * 1024 * 1024;
    const AttachmentStore store(dir.path(), limit);
    store.save(kGuid, QByteArray(limit, 'a'));
    QCOMPARE(store.load(kGuid)->size(), limit);

    // One byte over must not read "2 MB exceeds 2 MB", and must leave the old file alone.
    const QString message = errorOf([&] { store.save(kGuid, QByteArray(limit + 1, 'b')); });
    QCOMPARE(message, QStringLiteral("附件大小 2.01 MB 超过上限 2 MB。"));
    QCOMPARE(store.load(kGuid)->at(0), 'a');
    const QString other = kGuid.toLower();
    QVERIFY(!errorOf([&] { store.save(other, QByteArray(limit + 1, 'b')); }).isEmpty());
    QCOMPARE(store.load(other), std::nullopt);
}

void TestServerParts::attachmentWriteFailure_data()
{
    QTest::addColumn<QString>("blocker"); // made a file, relative to the temporary folder
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("targetIsFolder");
    QTest::newRow("folder is a file") << "store"
                                      << "store" << false;
    QTest::newRow("parent is a file") << "parent"
                                      << "parent/store" << false;
    QTest::newRow("target is a folder") << ""
                                        << "store" << true;
}

void TestServerParts::attachmentWriteFailure()
{
    QFETCH(QString, blocker);
    QFETCH(QString, folder);
    QFETCH(bool, targetIsFolder);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    if (!blocker.isEmpty()) {
        QFile f(dir.filePath(blocker));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const AttachmentStore store(dir.filePath(folder));
    if (targetIsFolder)
        QVERIFY(QDir().mkpath(QDir(store.folder()).filePath(kGuid)));
    const QStringList before =
        QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries, QDir::Name);

    const QString message = errorOf([&] { store.save(kGuid, QByteArray(1000, 'z')); });
    QVERIFY(!message.isEmpty());
    QVERIFY2(message.contains(QStringLiteral("附件")), qPrintable(message));
    QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries, QDir::Name),
             before);
    if (targetIsFolder) {
        QCOMPARE(QDir(store.folder()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList{kGuid});
        QCOMPARE(errorOf([&] { store.load(kGuid); }),
                 QStringLiteral("附件“%1”不是文件。").arg(kGuid));
    }
}

void TestServerParts::attachmentReadOnlyFolderKeepsOldFile()
{
    if (::geteuid() == 0)
        QSKIP("root writes into read-only folders");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const AttachmentStore store(dir.path());
    store.save(kGuid, "good");
    QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    const QString message = errorOf([&] { store.save(kGuid, "replacement"); });
    QVERIFY(
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QVERIFY(!message.isEmpty());
    QCOMPARE(store.load(kGuid), std::optional<QByteArray>("good"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{kGuid});
}

// ---------------------------------------------------------------------------------------
// CSV

void TestServerParts::csvParse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("header");
    QTest::addColumn<QList<QStringList>>("rows");
    QTest::addColumn<QStringList>("quoted"); // per row, "q" for a quoted cell, "-" otherwise

    QTest::newRow("lf") << "a,b\n1,2\n3,4\n"
                        << QStringList{"a", "b"} << QList<QStringList>{{"1", "2"}, {"3", "4"}}
                        << QStringList{"--", "--"};
    QTest::newRow("no final newline") << "a,b\n1,2" << QStringList{"a", "b"}
                                      << QList<QStringList>{{"1", "2"}} << QStringList{"--"};
    QTest::newRow("bom") << QChar(0xFEFF) + QStringLiteral("code,name\n1,x\n")
                         << QStringList{"code", "name"} << QList<QStringList>{{"1", "x"}}
                         << QStringList{"--"};
    QTest::newRow("bom only at start")
        << QStringLiteral("a\n") + QChar(0xFEFF) + QStringLiteral("x\n") << QStringList{"a"}
        << QList<QStringList>{{QString(QChar(0xFEFF)) + "x"}} << QStringList{"-"};
    QTest::newRow("quoted comma and quote")
        << "a,b\n\"x,y\",\"say \"\"hi\"\"\"\n"
        << QStringList{"a", "b"} << QList<QStringList>{{"x,y", "say \"hi\""}} << QStringList{"qq"};
    QTest::newRow("embedded line breaks")
        << "a,b\r\n\"one\ntwo\",\"three\r\nfour\"\r\n5,6\r\n"
        << QStringList{"a", "b"} << QList<QStringList>{{"one\ntwo", "three\r\nfour"}, {"5", "6"}}
        << QStringList{"qq", "--"};
    QTest::newRow("empty vs quoted empty")
        << "a,b,c\n,\"\",\n\"\",,\"\"" << QStringList{"a", "b", "c"}
        << QList<QStringList>{{"", "", ""}, {"", "", ""}} << QStringList{"-q-", "q-q"};
    QTest::newRow("quoted header")
        << "\"a,1\",b\n1,2\n"
        << QStringList{"a,1", "b"} << QList<QStringList>{{"1", "2"}} << QStringList{"--"};
    QTest::newRow("blanks kept") << "a,b\n 1 , 2\n"
                                 << QStringList{"a", "b"} << QList<QStringList>{{" 1 ", " 2"}}
                                 << QStringList{"--"};
    QTest::newRow("trailing empty line")
        << "a,b\n1,2\n\n"
        << QStringList{"a", "b"} << QList<QStringList>{{"1", "2"}} << QStringList{"--"};
    QTest::newRow("one column with empty value")
        << "a\n\nx\n"
        << QStringList{"a"} << QList<QStringList>{{""}, {"x"}} << QStringList{"-", "-"};
    QTest::newRow("header only") << "a,b\n"
                                 << QStringList{"a", "b"} << QList<QStringList>{} << QStringList{};
    QTest::newRow("empty text") << "" << QStringList{} << QList<QStringList>{} << QStringList{};
}

void TestServerParts::csvParse()
{
    QFETCH(QString, text);
    QFETCH(QStringList, header);
    QFETCH(QList<QStringList>, rows);
    QFETCH(QStringList, quoted);
    const CsvTable table = parseCsv(text);
    QCOMPARE(table.header, header);
    QCOMPARE(QList<QStringList>(table.rows.begin(), table.rows.end()), rows);
    QStringList flags;
    for (const std::vector<bool> &row : table.quoted) {
        QString f;
        for (bool q : row)
            f += q ? QLatin1Char('q') : QLatin1Char('-');
        flags << f;
    }
    QCOMPARE(flags, quoted);
}

void TestServerParts::csvErrors_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("kind");
    QTest::newRow("unterminated quote") << "a,b\n1,2\n3,\"open\n4,5\n" << 3 << "引号没有结束";
    QTest::newRow("unterminated in header") << "\"a,b\n" << 1 << "引号没有结束";
    QTest::newRow("too few fields") << "a,b,c\n1,2,3\n4,5\n" << 3 << "应有 3 个字段，实际有 2 个";
    QTest::newRow("too many fields") << "a,b\r\n1,2\r\n3,4,5\r\n"
                                     << 3 << "应有 2 个字段，实际有 3 个";
    // The line count goes on inside quoted values that span lines.
    QTest::newRow("count after multi-line value") << "a,b\n\"x\ny\nz\",1\n2\n"
                                                  << 5 << "应有 2 个字段，实际有 1 个";
    QTest::newRow("text after closing quote") << "a,b\n1,2\n\"3\"x,4\n" << 3 << "结束引号后";
    QTest::newRow("blank after closing quote") << "a,b\n\"1\" ,2\n" << 2 << "结束引号后";
    QTest::newRow("quote inside plain field") << "a,b\n1,2\"3\n" << 2 << "引号";
    QTest::newRow("empty line inside") << "a,b\n1,2\n\n3,4\n" << 3 << "实际有 1 个";
}

void TestServerParts::csvErrors()
{
    QFETCH(QString, text);
    QFETCH(int, line);
    QFETCH(QString, kind);
    const QString message = errorOf([&] { parseCsv(text); });
    QVERIFY2(message.contains(QStringLiteral("第 %1 行").arg(line)), qPrintable(message));
    QVERIFY2(message.contains(kind), qPrintable(message));
}

// ---------------------------------------------------------------------------------------
// Batch statements

namespace {

// Two of the template load's statements: tst_appserver runs each of them in a set.
const QStringList kAcceptedBatch = {
    QStringLiteral("DELETE T0102010"),
    QStringLiteral("UPDATE T0200098 SET AcctID = T0102010.AcctID FROM T0102010 WHERE "
                   "T0200098.ItemAcctCode = T0102010.AcctCode"),
};

QString translated(const QString &sql)
{
    return translateBatchStatement(sql).value_or(QStringLiteral("not accepted: ") + sql);
}

} // namespace

void TestServerParts::batchAccepted_data()
{
    QTest::addColumn<QString>("canonical");
    QTest::addColumn<QString>("variant");
    for (const QString &s : kAcceptedBatch) {
        const QByteArray tag = s.left(40).toUtf8();
        QTest::newRow((tag + " as is").constData()) << s << s;
        QTest::newRow((tag + " lower").constData()) << s << s.toLower();
        QTest::newRow((tag + " upper").constData()) << s << s.toUpper();
        QTest::newRow((tag + " double blanks").constData()) << s << QString(s).replace(' ', "  ");
        QTest::newRow((tag + " trailing blank").constData()) << s << s + ' ';
        QTest::newRow((tag + " tabs and line ends").constData())
            << s << "\t" + QString(s).replace(' ', "\r\n\t") + "\r\n";
    }
}

void TestServerParts::batchAccepted()
{
    QFETCH(QString, canonical);
    QFETCH(QString, variant);
    const std::optional<QString> result = translateBatchStatement(variant);
    QVERIFY(result.has_value());
    QCOMPARE(*result, translated(canonical));
}

void TestServerParts::batchRefused_data()
{
    QTest::addColumn<QString>("sql");
    const char *const refused[] = {
        "",
        "DELETE",
        "DELETE T0102010; DROP TABLE SysUser",
        "DELETE T0102010;",
        "DELETE T0102010 WHERE 1=1",
        "DELETE T0102010 --",
        "DELETE T0102010 -- x",
        "delete t0102010 /* */",
        "DELETE/**/T0102010",
        "DELETE T01020100",
        "DELETE T010201",
        "DELETE SysUser",
        "DELETE FROM SysUser",
        "DELETE T0102053",
        "DELETE T0102055",
        "UPDATE T0200098 SET AcctID = NULL",
        "UPDATE T0200098 SET AcctID = NULL WHERE ItemAcctCode NOT IN (SELECT AcctCode FROM "
        "T0102010) OR 1=1",
        "UPDATE T0200098 SET AcctID = T0102010.AcctID FROM T0102010 WHERE "
        "T0200098.ItemAcctCode = T0102010.AcctCode; DELETE SysUser",
        "DELETE T0102057 WHERE DacvID IN (SELECT DacvID FROM T0102053 WHERE ACheckID = 0 OR 1=1)",
        "DELETE T0102053 WHERE ACheckID = 0 OR 1=1",
        "DELETE T0102053 WHERE ACheckID = 1",
        "DELETE T0102055 WHERE ACheckID=0",
        "SELECT * FROM T0102010",
        "DROP TABLE T0102010",
        "DELETE T0102010\nGO\nDROP TABLE SysUser",
        "DELETE \"T0102010\"",
        "DELETE [T0102010]",
    };
    for (const char *s : refused)
        QTest::newRow(QByteArray(s).replace('\n', "\\n").constData()) << QString::fromUtf8(s);
    QTest::newRow("nul") << QStringLiteral("DELETE T0102010") + QChar(0);
    QTest::newRow("nul then statement")
        << QStringLiteral("DELETE T0102010") + QChar(0) + QStringLiteral("DROP TABLE SysUser");
}

void TestServerParts::batchRefused()
{
    QFETCH(QString, sql);
    QCOMPARE(translateBatchStatement(sql), std::nullopt);
}

// ---------------------------------------------------------------------------------------
// New set files

void TestServerParts::pendingSetFiles()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("set.vexa"));
    const auto names = [&] {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    };
    const auto write = [&](const QString &name, const QByteArray &bytes) {
        QFile f(dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    // Left by killed builders of set.vexa (unlocked), of another set, and a -wal whose file
    // is gone.
    write(QStringLiteral(".set.vexa.creating-dead"), "half");
    write(QStringLiteral(".set.vexa.creating-dead-journal"), "j");
    write(QStringLiteral(".set.vexa.creating-gone-wal"), "w");
    write(QStringLiteral(".other.vexa.creating-dead"), "half");
    {
        PendingSetFile live(target);
        const QString liveName = QFileInfo(live.path()).fileName();
        QVERIFY(liveName.startsWith(QLatin1String(".set.vexa.creating-")));
        // A builder that is still at work keeps its file.
        PendingSetFile::removeAbandoned(target);
        QCOMPARE(names(), (QStringList{QStringLiteral(".other.vexa.creating-dead"), liveName}));

        // Another run made the set meanwhile: it is not replaced.
        write(QStringLiteral("set.vexa"), "theirs");
        QVERIFY(errorOf([&] { live.publish(); }).contains(QStringLiteral("已存在")));
        QFile theirs(target);
        QVERIFY(theirs.open(QIODevice::ReadOnly));
        QCOMPARE(theirs.readAll(), QByteArray("theirs"));
    }
    // Not published: gone with its owner.
    QCOMPARE(names(), (QStringList{QStringLiteral(".other.vexa.creating-dead"),
                                   QStringLiteral("set.vexa")}));
    QVERIFY(QFile::remove(target));
    {
        PendingSetFile next(target);
        QFile f(next.path());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("whole");
        f.close();
        next.publish();
    }
    QCOMPARE(names(), (QStringList{QStringLiteral(".other.vexa.creating-dead"),
                                   QStringLiteral("set.vexa")}));
}

QTEST_GUILESS_MAIN(TestServerParts)
#include "tst_serverparts.moc"
