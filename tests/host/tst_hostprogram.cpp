#include "HostFixture.h"
#include "HostMainWindow.h"
#include "HostOptions.h"
#include "PluginHostImpl.h"
#include "PluginLoader.h"

#include <QFile>
#include <QImage>
#include <QProcess>

using namespace vexa;
using namespace vexa::host;

namespace {

const QString kFakePlugin = QStringLiteral(VEXA_FAKE_PLUGIN);
const QString kNotAPlugin = QStringLiteral(VEXA_NOT_A_PLUGIN);
const QString kVexa = QStringLiteral(VEXA_BINARY);

void touch(const QString &path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

struct Run
{
    int exitCode = -1;
    QString err;
    QString out;
};

Run runVexa(const QStringList &args, const QProcessEnvironment &extra = {})
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (const QString &key : extra.keys())
        env.insert(key, extra.value(key));
    p.setProcessEnvironment(env);
    p.start(kVexa, args);
    Run r;
    if (!p.waitForFinished(240000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    return r;
}

} // namespace

class TestHostProgram : public QObject
{
    Q_OBJECT

private slots:
    void options_data();
    void options();
    void pluginArgumentsKeptFromQt_data();
    void pluginArgumentsKeptFromQt();
    void searchList();
    void loadPlugin();
    void loadFailures_data();
    void loadFailures();
    void screenshots();
    void screenshotsWithoutPlugin();
    void helpAndPasswordSources();
    void cleanup() { resetHostDialogs(); }
};

void TestHostProgram::options_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("ok");
    QTest::newRow("none") << QStringList{} << true;
    QTest::newRow("all") << QStringList{"--data", "/a/b.vexa",     "--design", "--plugin",
                                        "/p.so",  "--user",        "clerk",    "--password",
                                        "clerk",  "--screenshots", "/shots",   "--ledger-plugin",
                                        "/l.so"}
                         << true;
    QTest::newRow("user alone") << QStringList{"--user", "clerk"} << true;
    QTest::newRow("password alone") << QStringList{"--password", "x"} << false;
    QTest::newRow("two password sources")
        << QStringList{"--user", "u", "--password", "x", "--password-stdin"} << false;
    QTest::newRow("unknown option") << QStringList{"--colour"} << false;
    QTest::newRow("missing value") << QStringList{"--data"} << false;
    QTest::newRow("stray argument") << QStringList{"demo.vexa"} << false;
    QTest::newRow("screenshots without a folder") << QStringList{"--screenshots", ""} << false;
    QTest::newRow("server") << QStringList{"--server", "[::1]:7071", "--set",
                                           "books",    "--ca",       "/etc/vexa-ca.pem"}
                            << true;
    QTest::newRow("server and file") << QStringList{"--server", "h", "--data", "/a.vexa"} << false;
    QTest::newRow("server without host") << QStringList{"--server", ":7070"} << false;
    QTest::newRow("server port out of range") << QStringList{"--server", "h:65536"} << false;
    QTest::newRow("set without server") << QStringList{"--set", "books"} << false;
    QTest::newRow("insecure without server") << QStringList{"--insecure"} << false;
    QTest::newRow("insecure and a CA")
        << QStringList{"--server", "h", "--insecure", "--ca", "/ca.pem"} << false;
}

void TestHostProgram::options()
{
    QFETCH(QStringList, args);
    QFETCH(bool, ok);
    HostOptions o;
    QString error;
    QCOMPARE(parseHostOptions(QStringList{"vexa"} + args, o, error), ok);
    QCOMPARE(error.isEmpty(), ok);
    if (QTest::currentDataTag() == QLatin1String("all")) {
        QCOMPARE(o.dataPath, QStringLiteral("/a/b.vexa"));
        QVERIFY(o.design);
        QCOMPARE(o.pluginPath, QStringLiteral("/p.so"));
        QCOMPARE(o.ledgerPluginPath, QStringLiteral("/l.so"));
        QCOMPARE(o.user, QStringLiteral("clerk"));
        QVERIFY(o.hasPassword);
        QCOMPARE(o.screenshotDir, QStringLiteral("/shots"));
    }
    if (QTest::currentDataTag() == QLatin1String("user alone"))
        QVERIFY(!o.hasPassword);
    if (QTest::currentDataTag() == QLatin1String("server")) {
        QCOMPARE(o.server, QStringLiteral("[::1]:7071"));
        QCOMPARE(o.setName, QStringLiteral("books"));
        QCOMPARE(o.caFile, QStringLiteral("/etc/vexa-ca.pem"));
        QVERIFY(!o.insecure);
    }
}

void TestHostProgram::pluginArgumentsKeptFromQt_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("left");
    QTest::addColumn<QStringList>("taken");
    QTest::newRow("separate value")
        << QStringList{"--user", "u", "--plugin", "/p.so", "--design"}
        << QStringList{"--user", "u", "--design"} << QStringList{"--plugin", "/p.so"};
    QTest::newRow("joined value") << QStringList{"--plugin=/p.so"} << QStringList{}
                                  << QStringList{"--plugin", "/p.so"};
    QTest::newRow("no value: left for the parser to refuse")
        << QStringList{"--design", "--plugin"} << QStringList{"--design", "--plugin"}
        << QStringList{};
    QTest::newRow("none") << QStringList{"--design"} << QStringList{"--design"} << QStringList{};
}

void TestHostProgram::pluginArgumentsKeptFromQt()
{
    // Regression: QGuiApplication swallowed "--plugin PATH" as its own input-plugin option,
    // so the host never saw the plug-in path it was given.
    QFETCH(QStringList, args);
    QFETCH(QStringList, left);
    QFETCH(QStringList, taken);
    QList<QByteArray> storage{"vexa"};
    for (const QString &a : args)
        storage << a.toLocal8Bit();
    QList<char *> argv;
    for (QByteArray &b : storage)
        argv << b.data();
    argv << nullptr;
    int argc = int(storage.size());
    QCOMPARE(takePluginArguments(argc, argv.data()), taken);
    QStringList rest;
    for (int i = 1; i < argc; ++i)
        rest << QString::fromLocal8Bit(argv[i]);
    QCOMPARE(rest, left);
    QCOMPARE(argv[argc], nullptr);
}

void TestHostProgram::searchList()
{
    QTemporaryDir dir;
    const QString bin = dir.filePath(QStringLiteral("build/src/host"));
    const QString pluginDir = dir.filePath(QStringLiteral("build/src/plugin"));
    QVERIFY(QDir().mkpath(bin) && QDir().mkpath(pluginDir));
    qunsetenv("VEXA_PLUGIN_PATH");

    QCOMPARE(PluginLoader::searchList(QString(), bin),
             (QStringList{pluginDir + "/libvexagl.so", bin + "/libvexagl.so"}));
    QCOMPARE(PluginLoader::find(QString(), bin), QString());
    touch(bin + "/libvexagl.so");
    QCOMPARE(PluginLoader::find(QString(), bin), bin + "/libvexagl.so");
    touch(pluginDir + "/libvexagl.so");
    QCOMPARE(PluginLoader::find(QString(), bin), pluginDir + "/libvexagl.so");

    // The environment comes before the build tree; a folder means the library in it.
    const QString envDir = dir.filePath(QStringLiteral("env"));
    QVERIFY(QDir().mkpath(envDir));
    touch(envDir + "/libvexagl.so");
    qputenv("VEXA_PLUGIN_PATH", envDir.toLocal8Bit());
    QCOMPARE(PluginLoader::find(QString(), bin), envDir + "/libvexagl.so");
    qunsetenv("VEXA_PLUGIN_PATH");

    // An explicit path is the only place looked at.
    QCOMPARE(PluginLoader::searchList(QStringLiteral("/nowhere/x.so"), bin),
             QStringList{"/nowhere/x.so"});
    QCOMPARE(PluginLoader::find(QStringLiteral("/nowhere/x.so"), bin), QString());

    // The ledger's library is looked for the same way, under its own names.
    const QString ledgerDir = dir.filePath(QStringLiteral("build/src/ledger"));
    QVERIFY(QDir().mkpath(ledgerDir));
    touch(ledgerDir + "/libvexaledger.so");
    QCOMPARE(PluginLoader::find(PluginLoader::kLedger, QString(), bin),
             ledgerDir + "/libvexaledger.so");
    touch(envDir + "/libvexaledger.so");
    qputenv("VEXA_LEDGER_PLUGIN_PATH", envDir.toLocal8Bit());
    QCOMPARE(PluginLoader::find(PluginLoader::kLedger, QString(), bin),
             envDir + "/libvexaledger.so");
    qunsetenv("VEXA_LEDGER_PLUGIN_PATH");
}

void TestHostProgram::loadPlugin()
{
    vexa::test::HostFixture fixture;
    HostMainWindow window;
    PluginHostImpl host(*fixture.session, window);
    PluginLoader loader;
    ILXPlugin *plugin = loader.load(kFakePlugin, &host);
    QVERIFY(plugin);
    QVERIFY(loader.isLoaded());
    host.setPlugin(plugin);

    // Through the real entry point and across the library boundary.
    QVariant p3;
    const int handle = host.OpenModule(QStringLiteral("SFSF"), 0, 0, QString(), p3);
    QVERIFY(handle != 0);
    QCOMPARE(window.tabs()->tabText(0), QStringLiteral("页面 SFSF"));
    auto *commands = qobject_cast<IChildCommands *>(window.currentPage());
    QVERIFY(commands);
    QCOMPARE(commands->ShowAttachments(), 3);
    // An error thrown inside the library is caught by the host's handler.
    vexa::test::MessageRecorder messages;
    window.commandAction(19)->trigger();
    QCOMPARE(messages.messages.size(), 1);
    QCOMPARE(messages.messages[0].text, QStringLiteral("查询条件不完整。"));

    host.shutdown();
    QCOMPARE(window.tabs()->count(), 0);
    loader.unload();
    QVERIFY(!loader.isLoaded());
}

void TestHostProgram::loadFailures_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("failEnv");
    QTest::addColumn<QString>("message");
    QTest::newRow("CreatePlugin throws") << kFakePlugin << "1"
                                         << "插件初始化失败：测试要求失败。";
    QTest::newRow("no entry point") << kNotAPlugin << ""
                                    << "没有入口函数 CreatePlugin";
    QTest::newRow("not a library") << QString() << ""
                                   << "无法装载插件库";
}

void TestHostProgram::loadFailures()
{
    QFETCH(QString, path);
    QFETCH(QString, failEnv);
    QFETCH(QString, message);
    QTemporaryDir dir;
    if (path.isEmpty()) {
        path = dir.filePath(QStringLiteral("libvexagl.so"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not an ELF file");
    }
    vexa::test::HostFixture fixture;
    HostMainWindow window;
    PluginHostImpl host(*fixture.session, window);
    PluginLoader loader;
    qputenv("VEXA_FAKE_PLUGIN_FAIL", failEnv.toLocal8Bit());
    try {
        loader.load(path, &host);
        qunsetenv("VEXA_FAKE_PLUGIN_FAIL");
        QFAIL("the library was taken as a plug-in");
    } catch (const Error &e) {
        qunsetenv("VEXA_FAKE_PLUGIN_FAIL");
        QVERIFY2(e.message().contains(message), qPrintable(e.message()));
    }
    QVERIFY(!loader.isLoaded());
    QCOMPARE(loader.plugin(), nullptr);
}

void TestHostProgram::screenshots()
{
    vexa::test::HostFixture fixture(false);
    QTemporaryDir shots;
    const Run r = runVexa({"--data", fixture.path(), "--plugin", kFakePlugin, "--ledger-plugin",
                           kFakePlugin, "--screenshots", shots.path()});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    // Both libraries loaded (the fake serves as either): the pages of both are there.
    // The host's own pages of the administrator come with or without the plug-in.
    QStringList expected{"login.png", "new-account-set.png", "unimplemented.png", "SMSU.png",
                         "SMSG.png"};
    for (const ModuleInfo &m : fixture.session->pageModules())
        expected << m.code + ".png";
    expected.sort();
    QStringList files = QDir(shots.path()).entryList(QDir::Files);
    files.sort();
    QCOMPARE(files, expected);
    QCOMPARE(QImage(shots.filePath(QStringLiteral("SFMF.png"))).size(), QSize(1280, 800));
    QVERIFY(!QImage(shots.filePath(QStringLiteral("login.png"))).isNull());
}

void TestHostProgram::screenshotsWithoutPlugin()
{
    // The host still runs without its plug-in; the missing pages are reported.
    vexa::test::HostFixture fixture(false);
    QTemporaryDir shots;
    QProcessEnvironment env;
    env.insert(QStringLiteral("VEXA_STARTUP_TIMING"), QStringLiteral("1"));
    const Run r =
        runVexa({"--data", fixture.path(), "--plugin", "/nowhere/libvexagl.so", "--ledger-plugin",
                 "/nowhere/libvexaledger.so", "--screenshots", shots.path()},
                env);
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QStringLiteral("未找到插件库")), qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("vexa-startup-ms: ")), qPrintable(r.err));
    QStringList files = QDir(shots.path()).entryList(QDir::Files);
    files.sort();
    QCOMPARE(files, (QStringList{"SMSG.png", "SMSU.png", "login.png", "new-account-set.png",
                                 "unimplemented.png"}));

    // A wrong password in screenshot mode ends the run instead of waiting at a dialog.
    const Run refused = runVexa({"--data", fixture.path(), "--user", "Manager", "--password", "x",
                                 "--screenshots", shots.path()});
    QCOMPARE(refused.exitCode, 1);
    QVERIFY2(refused.err.contains(QStringLiteral("用户名或密码错误。")), qPrintable(refused.err));
}

void TestHostProgram::helpAndPasswordSources()
{
    // Help prints in Chinese where no display can be reached.
    QProcessEnvironment noDisplay;
    noDisplay.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    noDisplay.insert(QStringLiteral("DISPLAY"), QString());
    const Run help = runVexa({"--help"}, noDisplay);
    QCOMPARE(help.exitCode, 0);
    QVERIFY2(help.out.contains(QStringLiteral("--password-file")) &&
                 help.out.contains(QStringLiteral("显示帮助")),
             qPrintable(help.out + help.err));

    // A password from a file, never seen in the process list; a file that cannot be read
    // ends the start as a wrong command line.
    vexa::test::HostFixture fixture(false);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("pw")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("wrong\n");
    file.close();
    const Run refused = runVexa({"--data", fixture.path(), "--user", "Manager", "--password-file",
                                 file.fileName(), "--screenshots", dir.path()});
    QCOMPARE(refused.exitCode, 1);
    QVERIFY2(refused.err.contains(QStringLiteral("用户名或密码错误。")), qPrintable(refused.err));
    const Run missing =
        runVexa({"--data", fixture.path(), "--user", "Manager", "--password-file",
                 dir.filePath(QStringLiteral("none")), "--screenshots", dir.path()});
    QCOMPARE(missing.exitCode, 2);
    QVERIFY2(missing.err.contains(QStringLiteral("无法读取密码文件")), qPrintable(missing.err));
}

QTEST_MAIN(TestHostProgram)
#include "tst_hostprogram.moc"
