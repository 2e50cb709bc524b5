#include "HostApp.h"

#include "HostDialogs.h"
#include "HostMainWindow.h"
#include "HostSession.h"
#include "LoginDialog.h"
#include "PluginHostImpl.h"
#include "PluginLoader.h"
#include "ScreenshotRunner.h"
#include "Seed.h"

#include <QApplication>
#include <QDir>
#include <cstdio>
#include <utility>

namespace vexa::host {

namespace {

void printLine(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace

HostApp::HostApp(HostOptions options, server::AppServer::Options serverOptions)
    : m_options(std::move(options)), m_serverOptions(serverOptions),
      m_loader(std::make_unique<PluginLoader>())
{
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
    if (!openAccountSet())
        return 1;
    if (!logIn())
        return m_exitCode;
    createWindow(startClock);
    askForOwnPassword();
    loadPlugin();
    openConsole();
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

bool HostApp::openAccountSet()
{
    const bool isDefault = m_options.dataPath.isEmpty();
    const QString path = isDefault ? HostSession::defaultAccountSetPath() : m_options.dataPath;
    try {
        m_session = HostSession::open(path, isDefault, m_serverOptions);
        m_session->setDesignMode(m_options.design);
        return true;
    } catch (const Error &e) {
        showMessage(nullptr, QLatin1Char('E'), QStringLiteral("打开账套"),
                    QStringLiteral("无法打开账套“%1”：\n%2")
                        .arg(QDir::toNativeSeparators(path), e.message()));
        return false;
    }
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
            m_session->login(user, password);
            m_demoPassword = server::isDemoLogin(user, password) ? password : QString();
            password.fill(QChar(0));
            if (m_session->readOnly())
                showMessage(nullptr, QLatin1Char('W'), QStringLiteral("登录"),
                            m_session->readOnlyNotice());
            return true;
        } catch (const Error &e) {
            error = e.message();
        }
        if (!m_options.screenshotDir.isEmpty()) {
            printLine(QStringLiteral("登录失败：") + error);
            m_exitCode = 1;
            return false;
        }
    }
    LoginDialog dialog(m_session->path());
    dialog.setUser(user);
    dialog.setError(error);
    dialog.setNotice(m_session->readOnlyNotice());
    dialog.setAttempt([this](const QString &u, const QString &p) {
        m_session->login(u, p);
        m_demoPassword = server::isDemoLogin(u, p) ? p : QString();
    });
    if (execDialog(dialog) != QDialog::Accepted) {
        m_exitCode = 0; // the user chose not to log in
        return false;
    }
    return true;
}

void HostApp::createWindow(const QElapsedTimer &startClock)
{
    m_window = std::make_unique<HostMainWindow>();
    m_host = std::make_unique<PluginHostImpl>(*m_session, *m_window);
    m_host->updateSessionText();
    if (m_options.startupTiming) {
        QObject::connect(
            m_window.get(), &HostMainWindow::firstShown, m_window.get(), [&startClock] {
                printLine(QStringLiteral("vexa-startup-ms: %1")
                              .arg(double(startClock.nsecsElapsed()) / 1e6, 0, 'f', 1));
            });
    }
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
    const QString path =
        PluginLoader::find(m_options.pluginPath, QCoreApplication::applicationDirPath());
    if (path.isEmpty()) {
        const QStringList looked =
            PluginLoader::searchList(m_options.pluginPath, QCoreApplication::applicationDirPath());
        m_window->setPluginStatus(
            QStringLiteral("未找到插件库 %1，模块页面不可用。").arg(PluginLoader::kLibraryFile));
        printLine(QStringLiteral("未找到插件库，查找过：") + looked.join(QStringLiteral("，")));
    } else {
        try {
            m_host->setPlugin(m_loader->load(path, m_host.get()));
            m_window->setPluginStatus(QString());
        } catch (const Error &e) {
            m_window->setPluginStatus(QStringLiteral("插件库装载失败，模块页面不可用。"));
            showMessage(m_window.get(), QLatin1Char('E'), QStringLiteral("装载插件"), e.message());
        }
    }
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

void HostApp::tearDown()
{
    if (m_host)
        m_host->shutdown();
    // The plug-in's code must stay until its objects are gone: pages and dialogs under the
    // main window, datasets it added to the data module.
    const bool loaded = m_loader->isLoaded();
    m_host.reset();
    m_window.reset();
    m_session.reset();
    if (loaded)
        m_loader->unload();
}

} // namespace vexa::host
