#pragma once

#include "AppServer.h"
#include "HostOptions.h"

#include <QElapsedTimer>
#include <memory>

namespace vexa::host {

class HostMainWindow;
class HostSession;
class PluginHostImpl;
class PluginLoader;

// The whole program: opens the account set, logs in, builds the main window and the host
// services, loads the plug-in, then runs the event loop or the screenshot mode.
class HostApp
{
public:
    explicit HostApp(HostOptions options, server::AppServer::Options serverOptions = {});
    ~HostApp();
    HostApp(const HostApp &) = delete;
    HostApp &operator=(const HostApp &) = delete;

    // Returns the process exit code. startClock runs since main() was entered.
    int run(const QElapsedTimer &startClock);

private:
    bool openAccountSet();
    bool logIn();
    void createWindow(const QElapsedTimer &startClock);
    void askForOwnPassword();
    void loadPlugin();
    // Opens the module console page when the loaded plug-in serves it.
    void openConsole();
    // Closes the pages, frees everything the plug-in touched, then unloads it.
    void tearDown();

    HostOptions m_options;
    server::AppServer::Options m_serverOptions;
    int m_exitCode = 0;
    QString m_demoPassword; // the login used a published demo password (cleared once asked)
    std::unique_ptr<PluginLoader> m_loader;
    std::unique_ptr<HostSession> m_session;
    std::unique_ptr<HostMainWindow> m_window;
    std::unique_ptr<PluginHostImpl> m_host;
};

} // namespace vexa::host
