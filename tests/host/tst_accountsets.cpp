// The host's start-up question after a demo login, and switching account sets from the
// 系统 menu: a new set, another set, the recent list. The host runs in-process with the
// fake plug-in library; its dialogs are answered by a script.

#include "ClientDataSet.h"
#include "DataModule.h"
#include "FakePlugin.h"
#include "HostApp.h"
#include "HostFixture.h"
#include "HostMainWindow.h"
#include "NewAccountSetDialog.h"
#include "PluginHostImpl.h"
#include "RecentAccountSets.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSqlDriver>
#include <QThread>
#include <deque>

using namespace vexa;
using namespace vexa::host;
using vexa::test::fastServerOptions;

namespace {

const QString kFakePlugin = QStringLiteral(VEXA_FAKE_PLUGIN);

using Answer = std::function<int(QDialog &)>;

// Answers the host's dialogs, file choosers and messages in order, recording what came.
struct HostScript
{
    std::deque<Answer> answers;
    std::deque<QString> files;
    QStringList shown; // object names of the dialogs
    QStringList messages;

    HostScript()
    {
        HostDialogs &d = hostDialogs();
        d.exec = [this](QDialog &dialog) {
            dialog.show();
            shown << dialog.objectName();
            int result = QDialog::Rejected;
            if (answers.empty()) {
                qWarning() << "unscripted dialog" << dialog.objectName();
            } else {
                Answer next = std::move(answers.front());
                answers.pop_front();
                result = next(dialog);
            }
            dialog.hide();
            return result;
        };
        d.chooseFile = [this](QWidget *, const QString &, const QString &, const QString &, bool) {
            if (files.empty())
                return QString();
            const QString f = files.front();
            files.pop_front();
            return f;
        };
        d.message = [this](QWidget *, QChar, const QString &, const QString &text) {
            messages << text;
        };
    }
    ~HostScript() { resetHostDialogs(); }
    int pending() const { return int(answers.size()); }
};

// Fills the named line edits, then clicks the named button.
Answer fillAndClick(const QList<QPair<QString, QString>> &fields,
                    const QString &button = QStringLiteral("btnOk"))
{
    return [fields, button](QDialog &dialog) {
        for (const auto &[name, text] : fields) {
            auto *edit = dialog.findChild<QLineEdit *>(name);
            if (!edit)
                qWarning() << "no field" << name;
            else
                edit->setText(text);
        }
        if (auto *b = dialog.findChild<QPushButton *>(button))
            b->click();
        else
            qWarning() << "no button" << button;
        return dialog.result();
    };
}

Answer login(const QString &user, const QString &password)
{
    return fillAndClick(
        {{QStringLiteral("edUser"), user}, {QStringLiteral("edPassword"), password}});
}

Answer cancel()
{
    return fillAndClick({}, QStringLiteral("btnCancel"));
}

test::FakePlugin *fakePlugin(HostApp &app)
{
    // Same header on both sides of the library boundary: the layout is one.
    return static_cast<test::FakePlugin *>(app.pluginHost()->plugin());
}

HostOptions optionsFor(const QString &set, bool commandLineLogin = true)
{
    HostOptions o;
    o.dataPath = set;
    o.pluginPath = kFakePlugin;
    if (commandLineLogin) {
        o.user = QStringLiteral("Manager");
        o.password = QStringLiteral("manager");
        o.hasPassword = true;
    }
    return o;
}

QString setOf(const HostApp &app)
{
    return RecentAccountSets::key(app.session()->path());
}

QStringList recentIn(const HostMainWindow &window)
{
    QStringList paths;
    for (const QAction *a : window.recentMenu()->actions())
        if (a->data().isValid())
            paths << a->data().toString();
    return paths;
}

} // namespace

class TestAccountSets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup() { resetHostDialogs(); }

    void demoPasswordQuestion_data();
    void demoPasswordQuestion();
    void checkOverlapsLoading_data();
    void checkOverlapsLoading();
    void newAccountSetRefusals_data();
    void newAccountSetRefusals();
    void newAccountSetFromMenu();
    void openAnotherSet_data();
    void openAnotherSet();
    void recentList();

private:
    // A fresh copy of the demo set in this test's folder.
    QString demoSet(const QString &name);

    QTemporaryDir m_template;
    QString m_demo;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_settings;
};

void TestAccountSets::initTestCase()
{
    QVERIFY(m_template.isValid());
    // The fake plug-in leaves its text in the settings cache, as the real one does.
    qputenv("VEXA_FAKE_PLUGIN_SETTINGS", "1");
    m_demo = m_template.filePath(QStringLiteral("demo.vexa"));
    server::AppServer::create(m_demo, true, fastServerOptions()); // closed again at once
}

void TestAccountSets::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_settings = std::make_unique<QTemporaryDir>();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings->path());
}

QString TestAccountSets::demoSet(const QString &name)
{
    const QString path = m_dir->filePath(name);
    if (!QFile::copy(m_demo, path))
        qWarning() << "cannot copy the demo set to" << path;
    return RecentAccountSets::key(path);
}

void TestAccountSets::demoPasswordQuestion_data()
{
    QTest::addColumn<bool>("commandLine");
    QTest::addColumn<bool>("change");
    QTest::newRow("login dialog, password changed") << false << true;
    QTest::newRow("login dialog, question declined") << false << false;
    QTest::newRow("command line, password changed") << true << true;
}

void TestAccountSets::demoPasswordQuestion()
{
    QFETCH(bool, commandLine);
    QFETCH(bool, change);
    const QString set = demoSet(QStringLiteral("demo.vexa"));
    const QString own = QStringLiteral("只有我知道 1");
    HostScript script;
    if (!commandLine)
        script.answers.push_back(login(QStringLiteral("Manager"), QStringLiteral("manager")));
    script.answers.push_back(change ? fillAndClick({{QStringLiteral("edNewPassword"), own},
                                                    {QStringLiteral("edNewPasswordAgain"), own}})
                                    : cancel());
    {
        HostApp app(optionsFor(set, commandLine), fastServerOptions());
        QVERIFY(app.start());
        QStringList expected{QStringLiteral("ChangePasswordDialog")};
        if (!commandLine)
            expected.prepend(QStringLiteral("LoginDialog"));
        QCOMPARE(script.shown, expected);
        QCOMPARE(script.messages,
                 change ? QStringList{QStringLiteral("密码已修改。")} : QStringList{});
    }
    auto session = HostSession::open(set, false, fastServerOptions());
    if (change)
        QVERIFY_THROWS_EXCEPTION(
            Error, session->login(QStringLiteral("Manager"), QStringLiteral("manager")));
    session->login(QStringLiteral("Manager"), change ? own : QStringLiteral("manager"));
}

void TestAccountSets::checkOverlapsLoading_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("maxFailures");
    QTest::addColumn<bool>("brokenPlugin");
    QTest::newRow("wrong password, then the right one") << "x" << 5 << false;
    QTest::newRow("locked out") << "x" << 1 << false;
    QTest::newRow("right password") << "manager" << 5 << false;
    QTest::newRow("plug-in does not load") << "manager" << 5 << true;
}

void TestAccountSets::checkOverlapsLoading()
{
    // The password is checked on a worker thread while the window frame is built and the
    // plug-in library loaded; nothing of the set may show before the check has passed.
    QFETCH(QString, password);
    QFETCH(int, maxFailures);
    QFETCH(bool, brokenPlugin);
    auto options = fastServerOptions();
    options.login.maxFailures = maxFailures;
    options.login.delayStepMs = 0;
    const bool refused = password != QLatin1String("manager");
    QString refusal; // what the login without the overlap says
    if (refused) {
        auto reference =
            HostSession::open(demoSet(QStringLiteral("reference.vexa")), false, options);
        QVERIFY_THROWS_EXCEPTION(Error, reference->login(QStringLiteral("Manager"), password));
        refusal = reference->localConnection()->lastError();
    }
    HostOptions o = optionsFor(demoSet(QStringLiteral("demo.vexa")));
    o.password = password;
    if (brokenPlugin) {
        o.pluginPath = m_dir->filePath(QStringLiteral("libvexagl.so"));
        QFile f(o.pluginPath);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not an ELF file");
    }
    std::unique_ptr<HostApp> app = std::make_unique<HostApp>(o, options);
    HostScript script;
    QStringList seenAtDialog;
    if (refused) {
        script.answers.push_back([&](QDialog &dialog) {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (w != &dialog && w->isVisible())
                    seenAtDialog << QStringLiteral("shown: ") + w->objectName();
            if (app->pluginHost() || app->session()->loggedIn() ||
                !app->session()->dataModule()->dataSets().isEmpty())
                seenAtDialog << QStringLiteral("the set was read as the user");
            seenAtDialog << dialog.findChild<QLabel *>(QStringLiteral("lbError"))->text();
            return maxFailures > 1
                       ? login(QStringLiteral("Manager"), QStringLiteral("manager"))(dialog)
                       : cancel()(dialog);
        });
    }
    const bool loggedIn = maxFailures > 1;
    if (loggedIn)
        script.answers.push_back(cancel()); // the demo password question
    bool messageAfterLogin = true;
    hostDialogs().message = [&](QWidget *, QChar, const QString &, const QString &text) {
        messageAfterLogin = messageAfterLogin && app->session()->loggedIn();
        script.messages << text;
    };
    QCOMPARE(app->start(), loggedIn);
    if (refused)
        QCOMPARE(seenAtDialog, QStringList{refusal});
    QCOMPARE(script.pending(), 0);
    if (!loggedIn)
        return;
    // The worker handed the session's database connection back.
    QCOMPARE(app->session()->localConnection()->database().driver()->thread(),
             QThread::currentThread());
    QVERIFY(messageAfterLogin);
    if (brokenPlugin) {
        QCOMPARE(script.messages.size(), 1);
        QVERIFY2(script.messages[0].startsWith(QStringLiteral("无法装载插件库")),
                 qPrintable(script.messages[0]));
        QVERIFY2(app->window()->pluginStatus().startsWith(
                     QStringLiteral("插件库装载失败，模块页面不可用。")),
                 qPrintable(app->window()->pluginStatus()));
        QCOMPARE(app->window()->tabs()->count(), 0);
        return;
    }
    QCOMPARE(script.messages, QStringList{});
    QCOMPARE(fakePlugin(*app)->log.filter(QStringLiteral("Create SFMF")).size(), 1);
    QCOMPARE(app->window()->tabs()->count(), 1);
    QCOMPARE(HostMainWindow::pageCode(app->window()->currentPage()), QStringLiteral("SFMF"));
}

void TestAccountSets::newAccountSetRefusals_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("admin");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("again");
    QTest::addColumn<QString>("error");
    const QString exists =
        QStringLiteral("账套文件“%1”已存在。请换一个文件名，已有的账套请用“打开账套”。");
    const auto row = [](const char *tag, const char *file, const char *admin, const char *password,
                        const char *again, const QString &error) {
        QTest::newRow(tag) << file << admin << password << again << error;
    };
    row("no file", "", "王会计", "a", "a", QStringLiteral("请选择新账套的文件。"));
    row("existing file", "old.vexa", "王会计", "a", "a", exists);
    // The suffix is added before the check, so "old" is the existing old.vexa.
    row("existing file, suffix left out", "old", "", "", "", exists);
    row("no login name", "new", "", "a", "a", QStringLiteral("登录名不能为空。"));
    row("blank in front", "new", " 王会计", "a", "a",
        QStringLiteral("登录名“ 王会计”的首尾不能有空格。"));
    row("control character", "new", "王\t会计", "a", "a",
        QStringLiteral("登录名不能含有控制字符。"));
    row("no password", "new", "王会计", "", "", QStringLiteral("管理员的密码不能为空。"));
    row("passwords differ", "new", "王会计", "秘密", "秘密 ",
        QStringLiteral("两次输入的密码不一致。"));
}

void TestAccountSets::newAccountSetRefusals()
{
    QFETCH(QString, file);
    QFETCH(QString, admin);
    QFETCH(QString, password);
    QFETCH(QString, again);
    QFETCH(QString, error);
    QFile old(m_dir->filePath(QStringLiteral("old.vexa")));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.close();
    int created = 0;
    NewAccountSetDialog dialog([&](const QString &, const server::Administrator &) { ++created; });
    dialog.show();
    const QString path = file.isEmpty() ? QString() : m_dir->filePath(file);
    fillAndClick({{QStringLiteral("edFile"), path},
                  {QStringLiteral("edAdmin"), admin},
                  {QStringLiteral("edPassword"), password},
                  {QStringLiteral("edPasswordAgain"), again}})(dialog);
    if (error.contains(QLatin1String("%1")))
        error = error.arg(QDir::toNativeSeparators(old.fileName()));
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("lbError"))->text(), error);
    QCOMPARE(created, 0);
    QVERIFY(dialog.isVisible());
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("old.vexa")});
}

void TestAccountSets::newAccountSetFromMenu()
{
    const QString demo = demoSet(QStringLiteral("demo.vexa"));
    HostScript script;
    script.answers.push_back(cancel()); // the demo-password question
    HostApp app(optionsFor(demo), fastServerOptions());
    QVERIFY(app.start());
    QVariant p3;
    const QPointer<QWidget> oldPage = app.window()->pageForHandle(
        app.pluginHost()->OpenModule(QStringLiteral("SFSF"), 0, 0, QString(), p3));
    QVERIFY(oldPage);

    // Chosen without the suffix, in a folder that does not exist yet.
    const QString made = RecentAccountSets::key(m_dir->filePath(QStringLiteral("books")) +
                                                QStringLiteral("/新账套.vexa"));
    script.files.push_back(m_dir->filePath(QStringLiteral("books/新账套")));
    script.answers.push_back([](QDialog &dialog) {
        dialog.findChild<QPushButton *>(QStringLiteral("btnBrowse"))->click();
        return fillAndClick({{QStringLiteral("edAdmin"), QStringLiteral("王会计")},
                             {QStringLiteral("edPassword"), QStringLiteral("秘密 1")},
                             {QStringLiteral("edPasswordAgain"), QStringLiteral("秘密 1")}})(
            dialog);
    });
    app.window()->findChild<QAction *>(QStringLiteral("actNewAccountSet"))->trigger();
    QTRY_COMPARE(setOf(app), RecentAccountSets::key(made));

    QCOMPARE(script.pending(), 0);
    QCOMPARE(script.messages, QStringList{});
    QCOMPARE(app.session()->session().userCode, QStringLiteral("王会计"));
    QVERIFY(oldPage.isNull());
    QVERIFY2(app.window()->windowTitle().contains(QStringLiteral("新账套.vexa")),
             qPrintable(app.window()->windowTitle()));
    // The configuration's save hands the host a new copy of the set information; the
    // company's name follows it into the title without a new login.
    ClientDataSet *info = app.session()->dataModule()->dataSet(QStringLiteral("CDS_SysInitInfo"));
    DataPacket saved = info->data();
    QVariantList row(saved.fields.size());
    row[indexOfField(saved.fields, QStringLiteral("UseOrg"))] = QStringLiteral("新公司");
    saved.rows = {row};
    info->setData(saved);
    QVERIFY2(app.window()->windowTitle().contains(QStringLiteral("新公司（新账套.vexa）")),
             qPrintable(app.window()->windowTitle()));
    QCOMPARE(fakePlugin(app)->host, app.pluginHost());
    QCOMPARE(fakePlugin(app)->host->GetConnection(), app.session()->connection());
    QCOMPARE(recentIn(*app.window()), (QStringList{made, demo}));
}

void TestAccountSets::openAnotherSet_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("login, then back from the recent list") << "login";
    QTest::newRow("login cancelled") << "cancel";
    QTest::newRow("a page does not close") << "refuse";
    QTest::newRow("not an account set") << "garbage";
    QTest::newRow("recent file gone") << "gone";
}

void TestAccountSets::openAnotherSet()
{
    QFETCH(QString, how);
    const QString first = demoSet(QStringLiteral("first.vexa"));
    QString second = demoSet(QStringLiteral("second.vexa"));
    if (how == QLatin1String("garbage")) {
        QFile f(second);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("no database");
    }
    if (how == QLatin1String("gone")) {
        RecentAccountSets::remember(second);
        QVERIFY(QFile::remove(second));
    }
    HostScript script;
    script.answers.push_back(cancel()); // the demo-password question at start-up
    HostApp app(optionsFor(first), fastServerOptions());
    QVERIFY(app.start());
    const QStringList recentAtStart = RecentAccountSets::load();
    QVariant p3;
    const QPointer<QWidget> page = app.window()->pageForHandle(
        app.pluginHost()->OpenModule(QStringLiteral("SFSF"), 0, 0, QString(), p3));
    QVERIFY(page);
    const QPointer<HostMainWindow> window = app.window();

    if (how == QLatin1String("login") || how == QLatin1String("refuse"))
        script.answers.push_back(login(QStringLiteral("clerk"), QStringLiteral("clerk")));
    if (how == QLatin1String("login"))
        script.answers.push_back(cancel()); // the demo-password question for the new set
    if (how == QLatin1String("cancel"))
        script.answers.push_back(cancel());
    if (how == QLatin1String("refuse"))
        fakePlugin(app)->refuseClose = true;
    if (how == QLatin1String("gone")) {
        QCOMPARE(recentIn(*app.window()), (QStringList{first, second}));
        QVERIFY(!app.openAccountSet(second));
    } else {
        script.files.push_back(second);
        app.window()->findChild<QAction *>(QStringLiteral("actOpenAccountSet"))->trigger();
        // The request is queued; it has run once the chooser was asked.
        QTRY_VERIFY(script.files.empty());
        QCOMPARE(script.pending(), 0);
    }

    if (how == QLatin1String("login")) {
        QCOMPARE(setOf(app), second);
        QCOMPARE(app.session()->session().userCode, QStringLiteral("clerk"));
        QVERIFY(page.isNull());
        QVERIFY(app.window()->windowTitle().contains(QStringLiteral("second.vexa")));
        QCOMPARE(fakePlugin(app)->host->GetConnection(), app.session()->connection());
        QCOMPARE(script.messages, QStringList{});
        // clerk / clerk is a published demo login: asked for an own password, as at start.
        QCOMPARE(script.shown,
                 (QStringList{"ChangePasswordDialog", "LoginDialog", "ChangePasswordDialog"}));
        QCOMPARE(recentIn(*app.window()), (QStringList{second, first}));
        // Back to the first set from the recent list.
        script.answers.push_back(login(QStringLiteral("Manager"), QStringLiteral("manager")));
        script.answers.push_back(cancel());
        app.window()->recentMenu()->actions().at(1)->trigger();
        QTRY_COMPARE(setOf(app), first);
        QCOMPARE(RecentAccountSets::load(), (QStringList{first, second}));
        return;
    }

    // The first set stays open and working, and the user was told why.
    QCOMPARE(setOf(app), first);
    QCOMPARE(app.window(), window.data());
    QVERIFY(!page.isNull());
    QCOMPARE(app.window()->pageForCode(QStringLiteral("SFSF")), page.data());
    QCOMPARE(fakePlugin(app)->host->GetConnection(), app.session()->connection());
    if (how == QLatin1String("cancel")) {
        QCOMPARE(script.messages, QStringList{});
        QCOMPARE(app.window()->statusNote(),
                 QStringLiteral("没有登录账套“%1”，仍在使用账套“%2”。")
                     .arg(QDir::toNativeSeparators(second), QDir::toNativeSeparators(first)));
    } else {
        QVERIFY(!script.messages.isEmpty());
        QVERIFY2(script.messages.last().contains(QStringLiteral("仍在使用账套")) ||
                     how == QLatin1String("gone"),
                 qPrintable(script.messages.join(u'\n')));
    }
    if (how == QLatin1String("gone")) {
        QCOMPARE(script.messages.size(), 1);
        QVERIFY(script.messages[0].contains(QDir::toNativeSeparators(second)));
        QCOMPARE(RecentAccountSets::load(), QStringList{first});
        QCOMPARE(recentIn(*app.window()), QStringList{first});
        return;
    }
    QCOMPARE(RecentAccountSets::load(), recentAtStart);
    if (how == QLatin1String("refuse")) {
        // Once the page lets go, the same switch goes through.
        fakePlugin(app)->refuseClose = false;
        script.answers.push_back(login(QStringLiteral("clerk"), QStringLiteral("clerk")));
        script.answers.push_back(cancel());
        QVERIFY(app.openAccountSet(second));
        QVERIFY(page.isNull());
        QCOMPARE(setOf(app), second);
    }
}

void TestAccountSets::recentList()
{
    // Eight at most, the newest first, one entry per file however it is spelt.
    const QString dir = m_dir->path();
    QStringList list;
    for (int i = 1; i <= 9; ++i)
        list = RecentAccountSets::withFirst(list, dir + QStringLiteral("/%1.vexa").arg(i));
    QCOMPARE(list.size(), RecentAccountSets::kMaxEntries);
    QCOMPARE(list.first(), dir + QStringLiteral("/9.vexa"));
    QCOMPARE(list.last(), dir + QStringLiteral("/2.vexa"));
    list = RecentAccountSets::withFirst(list, dir + QStringLiteral("/sub/../5.vexa"));
    QCOMPARE(list.size(), RecentAccountSets::kMaxEntries);
    QCOMPARE(list.first(), dir + QStringLiteral("/5.vexa"));
    QCOMPARE(list.count(dir + QStringLiteral("/5.vexa")), 1);
    QCOMPARE(list.at(1), dir + QStringLiteral("/9.vexa"));
}

QTEST_MAIN(TestAccountSets)
#include "tst_accountsets.moc"
