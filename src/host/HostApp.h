#pragma once

#include "AppServer.h"
#include "HostOptions.h"

#include <QElapsedTimer>
#include <QObject>
#include <memory>
#include <vector>

namespace vexa::host {

class HostMainWindow;
class HostSession;
class PluginHostImpl;
class PluginLoader;

// The whole program: opens the account set, logs in, builds the main window and the host
// services, loads the plug-in, then runs the event loop or the screenshot mode. Switches to
// another account set on the user's word (系统 → 新建账套… / 打开账套…).
class HostApp
{
public:
    explicit HostApp(HostOptions options, server::AppServer::Options serverOptions = {});
    ~HostApp();
    HostApp(const HostApp &) = delete;
    HostApp &operator=(const HostApp &) = delete;

    // Returns the process exit code. startClock runs since main() was entered.
    int run(const QElapsedTimer &startClock);

    // The start-up without the event loop: opens the set, logs in, builds the main window
    // (not shown), asks for an own password after a demo login, loads the plug-in and opens
    // the console. False when the program ends there; exitCode() says how.
    bool start(const QElapsedTimer *startClock = nullptr);
    int exitCode() const { return m_exitCode; }

    // 系统 → 新建账套…: makes a set with its administrator and switches to it, logged in as
    // that administrator. Answers whether it switched.
    bool newAccountSet();
    // 系统 → 打开账套… (path empty: the file is asked for) and 最近打开的账套: the login of
    // that set, then the switch. On a cancel or a failure the current set stays open as it
    // was and the user is told why. Answers whether it switched.
    bool openAccountSet(const QString &path = QString());

    HostSession *session() const { return m_session.get(); }
    HostMainWindow *window() const { return m_window.get(); }
    PluginHostImpl *pluginHost() const { return m_host.get(); }

private:
    bool openStartSet();
    // The session of a file (server empty; set the file, empty for the default demo set)
    // or of a set on a server. Throws vexa::Error.
    std::unique_ptr<HostSession> sessionFor(const QString &server, const QString &set);
    bool logIn();
    // What the start builds without the login, while the password is checked: the main
    // window's frame (nothing of the set in it, not shown) and the plug-in library with its
    // entry point, not called yet. A library that does not load is left to loadPlugin(),
    // which reports it after the login as ever.
    void prepareWithoutLogin();
    void createWindow(const QElapsedTimer *startClock);
    void askForOwnPassword();
    // Loads every plug-in library found; the status bar names those missing or refused.
    void loadPlugin();
    // The --plugin or --ledger-plugin path of a library.
    QString explicitPath(const QString &libraryName) const;
    // Opens the module console page when the loaded plug-in serves it.
    void openConsole();
    // Closes the current set as the program's end does and brings up next, logged in, as
    // start-up does. False (the current set kept) when a page of the current set does
    // not close.
    bool switchTo(std::unique_ptr<HostSession> next, const QString &demoPassword);
    void rememberSet();
    // Closes the pages and frees everything the plug-in touched; then unloads it, unless
    // keepPlugin.
    void tearDown(bool keepPlugin = false);

    HostOptions m_options;
    server::AppServer::Options m_serverOptions;
    int m_exitCode = 0;
    QString m_demoPassword; // the login used a published demo password (cleared once asked)
    // Receives the menu's requests, queued: a switch deletes the window that sent them.
    QObject m_requests;
    // One loader per library of PluginLoader::libraries(), in that order.
    std::vector<std::unique_ptr<PluginLoader>> m_loaders;
    // The loaders of the sets switched away from: the libraries they loaded stay in memory
    // to the end of the program.
    std::vector<std::unique_ptr<PluginLoader>> m_earlierLoaders;
    std::unique_ptr<HostSession> m_session;
    std::unique_ptr<HostMainWindow> m_window;
    std::unique_ptr<PluginHostImpl> m_host;
};

} // namespace vexa::host
