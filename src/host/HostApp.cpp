#include "HostApp.h"

#include "HostDialogs.h"
#include "HostLogin.h"
#include "HostMainWindow.h"
#include "HostSession.h"
#include "LoginDialog.h"
#include "NewAccountSetDialog.h"
#include "PluginHostImpl.h"
#include "PluginLoader.h"
#include "RecentAccountSets.h"
#include "ScreenshotRunner.h"
#include "Seed.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <cstdio>
#include <utility>

namespace vexa::host {

namespace {

void printLine(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// The wait cursor while a set opens (migrations) or a password is checked (argon2).
[[nodiscard]] auto busyCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    return qScopeGuard([] { QApplication::restoreOverrideCursor(); });
}

// Whether the session already goes where the login dialog points.
bool sessionIs(const HostSession &session, const QString &server, const QString &set)
{
    if (server.isEmpty() != !session.remote())
        return false;
    if (!session.remote())
        return RecentAccountSets::key(set.isEmpty() ? HostSession::defaultAccountSetPath() : set) ==
               RecentAccountSets::key(session.path());
    const std::optional<net::ServerAddress> address = net::ServerAddress::parse(server);
    return address && address->toString() == session.serverText() && set == session.setName();
}

} // namespace

HostApp::HostApp(HostOptions options, server::AppServer::Options serverOptions)
    : m_options(std::move(options)), m_serverOptions(serverOptions)
{
    for (qsizetype i = 0; i < PluginLoader::libraries().size(); ++i)
        m_loaders.push_back(std::make_unique<PluginLoader>());
    if (!m_options.screenshotDir.isEmpty()) {
        // Nobody is there to answer a message box: messages go to stderr.
        hostDialogs().message = [](QWidget *, QChar, const QString &caption, const QString &text) {
            printLine(caption + QStringLiteral("：") + text);
        };
    }
}

HostApp::~HostApp()
{
    tearDown();
}

int HostApp::run(const QElapsedTimer &startClock)
{
    if (!start(&startClock))
        return m_exitCode;
    int code;
    if (!m_options.screenshotDir.isEmpty()) {
        ScreenshotRunner runner(*m_session, *m_window, *m_host);
        code = runner.run(m_options.screenshotDir);
        for (const QString &file : runner.written())
            printLine(QStringLiteral("已保存 %1").arg(QDir::toNativeSeparators(file)));
        for (const QString &failure : runner.failures())
            printLine(failure);
    } else {
        m_window->show();
        code = QApplication::exec();
    }
    tearDown();
    return code;
}

bool HostApp::start(const QElapsedTimer *startClock)
{
    if (!openStartSet()) {
        m_exitCode = 1;
        return false;
    }
    if (!logIn())
        return false;
    rememberSet();
    createWindow(startClock);
    askForOwnPassword();
    loadPlugin();
    openConsole();
    return true;
}

bool HostApp::openStartSet()
{
    QString server = m_options.server;
    QString set = m_options.setName;
    // Without --data or --server the start goes where the last login went; the screenshot
    // mode always renders the local demo.
    if (server.isEmpty() && m_options.dataPath.isEmpty() && m_options.screenshotDir.isEmpty()) {
        const LastLogin last = LastLogin::load();
        if (net::ServerAddress::parse(last.server)) {
            server = last.server;
            set = last.set;
        }
    }
    try {
        m_session = sessionFor(server, server.isEmpty() ? m_options.dataPath : set);
        return true;
    } catch (const Error &e) {
        const QString path = m_options.dataPath.isEmpty() ? HostSession::defaultAccountSetPath()
                                                          : m_options.dataPath;
        showMessage(nullptr, QLatin1Char('E'), QStringLiteral("打开账套"),
                    QStringLiteral("无法打开账套“%1”：\n%2")
                        .arg(QDir::toNativeSeparators(path), e.message()));
        return false;
    }
}

std::unique_ptr<HostSession> HostApp::sessionFor(const QString &server, const QString &set)
{
    std::unique_ptr<HostSession> session;
    if (server.isEmpty()) {
        // No file named: the default demo set, made on the first start.
        const bool isDefault = set.isEmpty();
        const QString path = isDefault ? HostSession::defaultAccountSetPath() : set;
        session = HostSession::open(path, isDefault, m_serverOptions);
    } else {
        const std::optional<net::ServerAddress> address = net::ServerAddress::parse(server);
        if (!address)
            throw Error(
                QStringLiteral("服务器地址“%1”无效，应写成 主机 或 主机:端口。").arg(server));
        session = HostSession::connect(
            *address, set, clientSecurity({m_options.insecure, m_options.caFile}, nullptr));
    }
    session->setDesignMode(m_options.design);
    return session;
}

bool HostApp::logIn()
{
    QString user = m_options.user;
    QString password = m_options.password;
    bool direct = !user.isEmpty() && m_options.hasPassword;
    if (!m_options.screenshotDir.isEmpty() && user.isEmpty()) {
        user = QStringLiteral("Manager");
        password = QStringLiteral("manager");
        direct = true;
    }
    QString error;
    // The password is kept no longer than the check: what stays in memory can end up in a
    // swap file.
    m_options.password.fill(QChar(0));
    m_options.password.clear();
    if (direct) {
        try {
            const auto busy = busyCursor();
            // The check (argon2, most of the start) overlaps with the preparation; nothing
            // is shown and nothing is asked of the set as the user before it has passed.
            m_session->beginLogin(user, password);
            prepareWithoutLogin();
            m_session->finishLogin();
            m_demoPassword = server::isDemoLogin(user, password) ? password : QString();
            password.fill(QChar(0));
            if (m_session->readOnly())
                showMessage(nullptr, QLatin1Char('W'), QStringLiteral("登录"),
                            m_session->readOnlyNotice());
            return true;
        } catch (const Error &e) {
            error = e.message();
        }
        password.fill(QChar(0));
        if (!m_options.screenshotDir.isEmpty()) {
            printLine(QStringLiteral("登录失败：") + error);
            m_exitCode = 1;
            return false;
        }
    }
    if (user.isEmpty())
        user = LastLogin::load().user;
    LoginDialog dialog(m_session->path());
    dialog.setPlace(m_session->serverText(),
                    m_session->remote() ? m_session->setName() : native(m_session->path()), true);
    dialog.setUser(user);
    dialog.setError(error);
    dialog.setNotice(m_session->readOnlyNotice());
    dialog.setAttempt([this, &dialog](const QString &u, const QString &p) {
        const auto busy = busyCursor();
        // The user may have pointed the dialog at another file or server.
        if (!sessionIs(*m_session, dialog.server(), dialog.setName())) {
            m_session = sessionFor(dialog.server(), dialog.setName());
            dialog.setNotice(m_session->readOnlyNotice());
        }
        m_session->login(u, p);
        m_demoPassword = server::isDemoLogin(u, p) ? p : QString();
    });
    if (execDialog(dialog) != QDialog::Accepted) {
        m_exitCode = 0; // the user chose not to log in
        return false;
    }
    // Told after the login: a server says so only to a logged-in client.
    if (m_session->remote() && m_session->readOnly())
        showMessage(nullptr, QLatin1Char('W'), QStringLiteral("登录"), m_session->readOnlyNotice());
    return true;
}

void HostApp::prepareWithoutLogin()
{
    m_window = std::make_unique<HostMainWindow>(); // the frame: nothing of the set in it
    const QList<PluginLibrary> libraries = PluginLoader::libraries();
    for (qsizetype i = 0; i < libraries.size(); ++i) {
        const QString path = PluginLoader::find(libraries[i], explicitPath(libraries[i].name),
                                                QCoreApplication::applicationDirPath());
        if (path.isEmpty())
            continue;
        try {
            m_loaders[size_t(i)]->open(path);
        } catch (const Error &) {
            // Tried again and reported by loadPlugin(), after the login.
        }
    }
}

QString HostApp::explicitPath(const QString &libraryName) const
{
    return libraryName == PluginLoader::kLedger.name ? m_options.ledgerPluginPath
                                                     : m_options.pluginPath;
}

void HostApp::createWindow(const QElapsedTimer *startClock)
{
    if (!m_window) // else the frame built during the password check
        m_window = std::make_unique<HostMainWindow>();
    m_host = std::make_unique<PluginHostImpl>(*m_session, *m_window);
    m_host->updateSessionText();
    m_window->setRecentAccountSets(RecentAccountSets::load());
    // A lost server is said where the user looks while working; the page that hit it shows
    // the error itself.
    m_session->setLostHandler([this] {
        if (m_window)
            m_window->showStatusNote(
                QStringLiteral("与服务器的连接已断开。请用“系统 → 重新登录”再次登录。"));
        if (m_host)
            m_host->updateSessionText();
    });
    QObject::connect(
        m_window.get(), &HostMainWindow::newAccountSetRequested, &m_requests,
        [this] { newAccountSet(); }, Qt::QueuedConnection);
    QObject::connect(
        m_window.get(), &HostMainWindow::openAccountSetRequested, &m_requests,
        [this](const QString &path) { openAccountSet(path); }, Qt::QueuedConnection);
    if (m_options.startupTiming && startClock) {
        QObject::connect(m_window.get(), &HostMainWindow::firstShown, m_window.get(), [startClock] {
            printLine(QStringLiteral("vexa-startup-ms: %1")
                          .arg(double(startClock->nsecsElapsed()) / 1e6, 0, 'f', 1));
        });
    }
}

void HostApp::rememberSet()
{
    // The screenshot mode is no use of a set worth listing.
    if (!m_options.screenshotDir.isEmpty())
        return;
    if (!m_session->remote())
        RecentAccountSets::remember(m_session->path());
    LastLogin{m_session->serverText(), m_session->remote() ? m_session->setName() : QString(),
              m_session->session().userCode}
        .save();
}

bool HostApp::newAccountSet()
{
    const server::AppServer::Options options = m_serverOptions;
    QString path;
    QString user;
    QString password;
    {
        // Gone before the switch deletes its parent window.
        NewAccountSetDialog dialog(
            [options](const QString &file, const server::Administrator &admin) {
                server::AppServer::create(file, admin, options);
            },
            m_window.get());
        if (execDialog(dialog) != QDialog::Accepted)
            return false;
        path = dialog.path();
        user = dialog.userCode();
        password = dialog.password();
        dialog.clearPasswords();
    }
    const auto forget = qScopeGuard([&] { password.fill(QChar(0)); });
    std::unique_ptr<HostSession> next;
    try {
        const auto busy = busyCursor();
        next = HostSession::open(path, false, m_serverOptions);
        next->setDesignMode(m_options.design);
        next->login(user, password);
    } catch (const Error &e) {
        showMessage(m_window.get(), QLatin1Char('E'), QStringLiteral("新建账套"),
                    QStringLiteral("账套“%1”已创建，但无法登录：\n%2\n\n仍在使用账套“%3”。")
                        .arg(native(path), e.message(), native(m_session->path())));
        return false;
    }
    return switchTo(std::move(next), QString());
}

bool HostApp::openAccountSet(const QString &given)
{
    const QString caption = QStringLiteral("打开账套");
    QString path = given;
    if (path.isEmpty()) {
        path = chooseFile(m_window.get(), caption, QFileInfo(m_session->path()).absolutePath(),
                          QStringLiteral("Vexa 账套 (*.vexa);;所有文件 (*)"), false);
        if (path.isEmpty())
            return false;
    }
    const QString current = native(m_session->path());
    if (RecentAccountSets::key(path) == RecentAccountSets::key(m_session->path())) {
        showMessage(m_window.get(), QLatin1Char('I'), caption,
                    QStringLiteral("账套“%1”已经打开。要换一个用户登录，请用“系统 → 重新登录”。")
                        .arg(current));
        return false;
    }
    if (!given.isEmpty() && !QFileInfo::exists(path)) {
        RecentAccountSets::forget(path);
        m_window->setRecentAccountSets(RecentAccountSets::load());
        showMessage(m_window.get(), QLatin1Char('W'), caption,
                    QStringLiteral("账套文件“%1”已不存在（可能被移动、改名或删除了），已从最近"
                                   "打开的账套中去掉。")
                        .arg(native(path)));
        return false;
    }
    std::unique_ptr<HostSession> next;
    try {
        const auto busy = busyCursor();
        next = HostSession::open(path, false, m_serverOptions);
        next->setDesignMode(m_options.design);
    } catch (const Error &e) {
        showMessage(m_window.get(), QLatin1Char('E'), caption,
                    QStringLiteral("无法打开账套“%1”：\n%2\n\n仍在使用账套“%3”。")
                        .arg(native(path), e.message(), current));
        return false;
    }
    QString demoPassword;
    {
        // Gone before the switch deletes its parent window.
        LoginDialog dialog(next->path(), m_window.get());
        dialog.setUser(m_session->session().userCode);
        dialog.setNotice(next->readOnlyNotice());
        dialog.setAttempt([&](const QString &u, const QString &p) {
            const auto busy = busyCursor();
            next->login(u, p);
            demoPassword = server::isDemoLogin(u, p) ? p : QString();
        });
        if (execDialog(dialog) != QDialog::Accepted) {
            m_window->showStatusNote(
                QStringLiteral("没有登录账套“%1”，仍在使用账套“%2”。").arg(native(path), current));
            return false;
        }
    }
    return switchTo(std::move(next), demoPassword);
}

bool HostApp::switchTo(std::unique_ptr<HostSession> next, const QString &demoPassword)
{
    // The current set's pages close as on exit; one that stays open (its closing work
    // failed and was shown) keeps the current set.
    m_host->shutdown();
    if (!m_window->pageHandles().isEmpty()) {
        m_window->setShuttingDown(false);
        m_host->resume();
        showMessage(m_window.get(), QLatin1Char('W'), QStringLiteral("切换账套"),
                    QStringLiteral("有页面没有关闭，没有切换账套，仍在使用账套“%1”。")
                        .arg(native(m_session->path())));
        return false;
    }
    // The plug-in library stays loaded: Qt keeps what it was handed, such as the text
    // literals of the settings the plug-in wrote, in process-wide caches that would point
    // into unmapped memory once it went. Loaded again by a new loader, the library answers
    // CreatePlugin with the plug-in it has, which re-adopts the new set (host, connection,
    // data module, session values, settings), as the contract provides.
    // The rest is the end of the program and its start again: the old set's window, host
    // services, data module and connection go; the new set gets them made as at start-up.
    const QByteArray geometry = m_window->saveGeometry();
    const bool shown = m_window->isVisible();
    const bool quits = QGuiApplication::quitOnLastWindowClosed();
    QGuiApplication::setQuitOnLastWindowClosed(false);
    const auto restoreQuit =
        qScopeGuard([quits] { QGuiApplication::setQuitOnLastWindowClosed(quits); });
    tearDown(true);
    m_session = std::move(next);
    m_demoPassword = demoPassword;
    rememberSet();
    createWindow(nullptr);
    m_window->restoreGeometry(geometry);
    if (shown)
        m_window->show();
    askForOwnPassword();
    loadPlugin();
    openConsole();
    return true;
}

// A set still on a published demo password asks for the user's own one; 取消 goes on with
// the demo password (and asks again next time).
void HostApp::askForOwnPassword()
{
    const QString known = std::exchange(m_demoPassword, QString());
    if (known.isEmpty() || !m_options.screenshotDir.isEmpty() || m_session->readOnly())
        return;
    m_host->changePassword(
        QStringLiteral("这个账套还在用公开的演示密码，任何人都能登录。请换成只有你知道的密码。"),
        known);
}

void HostApp::loadPlugin()
{
    const QString appDir = QCoreApplication::applicationDirPath();
    const QList<PluginLibrary> libraries = PluginLoader::libraries();
    QStringList status;
    for (qsizetype i = 0; i < libraries.size(); ++i) {
        const PluginLibrary &library = libraries[i];
        // The console's library is the program's main one: its absence makes every page
        // unavailable; another one's only its own modules.
        const bool main = i == 0;
        const QString path = PluginLoader::find(library, explicitPath(library.name), appDir);
        if (path.isEmpty()) {
            const QStringList looked =
                PluginLoader::searchList(library, explicitPath(library.name), appDir);
            status << QStringLiteral("未找到插件库 %1，%2")
                          .arg(library.file, main ? QStringLiteral("模块页面不可用。")
                                                  : QStringLiteral("它的模块页面不可用。"));
            printLine(QStringLiteral("未找到插件库 %1，查找过：").arg(library.file) +
                      looked.join(QStringLiteral("，")));
            continue;
        }
        try {
            m_host->setPlugin(m_loaders[size_t(i)]->load(path, m_host.get()), library.name);
        } catch (const Error &e) {
            status << (main ? QStringLiteral("插件库装载失败，模块页面不可用。")
                            : QStringLiteral("插件库 %1 装载失败，它的模块页面不可用。")
                                  .arg(library.file));
            showMessage(m_window.get(), QLatin1Char('E'), QStringLiteral("装载插件"), e.message());
        }
    }
    m_window->setPluginStatus(status.join(QLatin1Char(' ')));
    m_host->updateModuleMenu();
}

void HostApp::openConsole()
{
    const QString code = QStringLiteral("SFMF");
    try {
        if (!m_host->serves(m_session->module(code)))
            return;
    } catch (const Error &) {
        return; // a catalogue without the console: nothing to open
    }
    QVariant p3;
    m_host->OpenModule(code, 0, 0, QString(), p3); // reports its own errors
}

void HostApp::tearDown(bool keepPlugin)
{
    if (m_host)
        m_host->shutdown();
    // The plug-in's code must stay until its objects are gone: pages and dialogs under the
    // main window, datasets it added to the data module.
    m_host.reset();
    m_window.reset();
    m_session.reset();
    if (keepPlugin) {
        for (std::unique_ptr<PluginLoader> &loader : m_loaders)
            if (loader->isLoaded())
                m_earlierLoaders.push_back(std::exchange(loader, std::make_unique<PluginLoader>()));
        return;
    }
    for (std::unique_ptr<PluginLoader> &loader : m_loaders)
        if (loader->isLoaded())
            loader->unload();
    for (const std::unique_ptr<PluginLoader> &earlier : m_earlierLoaders)
        earlier->unload();
    m_earlierLoaders.clear();
}

} // namespace vexa::host
