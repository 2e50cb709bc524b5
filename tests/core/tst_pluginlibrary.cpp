// The built plug-in libraries (the console's and the ledger's) as a host sees them: loaded
// with QLibrary, driven only through the contract. Errors thrown inside the library must be caught
// by the host as vexa::Error, which needs one type identity across the library boundary.
#include "support/TestHost.h"

#include <vexa/PluginHost.h>

#include <QLibrary>
#include <QProcess>
#include <QSettings>
#include <QTest>

using namespace vexa;

class TestPluginLibrary : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settings;
    QLibrary m_library;
    CreatePluginFunction m_create = nullptr;

private slots:
    void initTestCase_data()
    {
        QTest::addColumn<QString>("library");
        QTest::newRow("libvexagl.so") << QStringLiteral(VEXA_PLUGIN_FILE);
        QTest::newRow("libvexaledger.so") << QStringLiteral(VEXA_LEDGER_FILE);
    }

    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
    }

    void init()
    {
        QFETCH_GLOBAL(QString, library);
        m_library.setFileName(library);
        QVERIFY2(m_library.load(), qPrintable(m_library.errorString()));
        m_create = reinterpret_cast<CreatePluginFunction>(m_library.resolve(kCreatePluginSymbol));
        QVERIFY(m_create);
    }

    void errorsCrossTheBoundary()
    {
        test::TestHost host;
        host.versionAnswer = 3;
        ILXPlugin *plugin = nullptr;
        try {
            m_create(&host, nullptr, nullptr, &plugin);
            QFAIL("a refused version was accepted");
        } catch (const Error &e) {
            QCOMPARE(e.message(), QStringLiteral("装载库文件失败，使用的库文件版本检查错误。"));
        }
        QVERIFY(!plugin);

        host.versionAnswer = 0;
        m_create(&host, nullptr, nullptr, &plugin);
        QVERIFY(plugin);
        QVariant p3;
        try {
            plugin->CreateModuleForm(QStringLiteral("NOPE"), 0, 0, QString(), p3);
            QFAIL("an unknown module was opened");
        } catch (const Error &e) {
            QCOMPARE(e.message(), QStringLiteral("系统错误1020: 动态库内没有注册 NOPE 类错误"));
        }
        QCOMPARE(plugin->CloseAllForms(), 0);
        QVERIFY(host.calls.contains(QStringLiteral("GetValue:REGPATH")));
    }

    // The library's dynamic symbol table is the boundary: the entry point and the error
    // type's identity, nothing the host could bind to by accident.
    void exportsOnlyTheContract()
    {
        QFETCH_GLOBAL(QString, library);
        QProcess nm;
        nm.start(QStringLiteral("nm"),
                 {QStringLiteral("-D"), QStringLiteral("--defined-only"), library});
        QVERIFY2(nm.waitForFinished(), qPrintable(nm.errorString()));
        QCOMPARE(nm.exitCode(), 0);
        QStringList exported;
        for (const QString &line : QString::fromUtf8(nm.readAllStandardOutput()).split(u'\n'))
            if (!line.isEmpty())
                exported << line.section(u' ', -1);
        exported.sort();
        QCOMPARE(exported,
                 (QStringList{QStringLiteral("CreatePlugin"), QStringLiteral("_ZTIN4vexa5ErrorE"),
                              QStringLiteral("_ZTSN4vexa5ErrorE"),
                              QStringLiteral("_ZTVN4vexa5ErrorE")}));
    }
};

QTEST_MAIN(TestPluginLibrary)
#include "tst_pluginlibrary.moc"
