#pragma once

#include <vexa/PluginHost.h>

#include <QObject>
#include <QPointer>
#include <functional>

namespace vexa::host {

class HostMainWindow;
class HostSession;
class UnknownModulePage;
struct ModuleInfo;

// The host's services as the plug-ins see them, over the session and the main window.
// Drives the plug-ins it is given, each under the catalogue's name for its library
// (SMModules.DllFile): opens a module's page with the plug-in that serves it, and sends
// every later call for that page to the same plug-in (handles are each plug-in's own
// numbers and may repeat between plug-ins).
class PluginHostImpl : public QObject, public IPluginHost
{
    Q_OBJECT

public:
    // The library name the catalogue's DllFile gives for the general-ledger plug-in.
    static const QString kPluginName; // "VEXAGL"

    PluginHostImpl(HostSession &session, HostMainWindow &window, QObject *parent = nullptr);
    ~PluginHostImpl() override;

    // The plug-in that serves the modules whose DllFile is name (not owned); nullptr
    // forgets the plug-in of that name. A module with an empty DllFile is the console's.
    void setPlugin(ILXPlugin *plugin, const QString &name = kPluginName);
    ILXPlugin *plugin(const QString &name = kPluginName) const;
    // The plug-in that serves the module; nullptr when no loaded plug-in does.
    ILXPlugin *pluginFor(const ModuleInfo &module) const;
    bool serves(const ModuleInfo &module) const { return pluginFor(module) != nullptr; }
    // After a shutdown that left pages open (a switch of sets that did not happen): the
    // pages work on as before.
    void resume();

    // Fills the module menu with the page modules a loaded plug-in serves.
    void updateModuleMenu();
    // Shows the logged-in user and the account set in the status bar.
    void updateSessionText();
    // 系统 → 修改密码…: the dialog for the logged-in user. Answers whether it changed.
    bool changePassword(const QString &notice, const QString &knownOldPassword = QString());

    // Closes every page (CloseAllForms) before the plug-in goes. Safe to call twice.
    void shutdown();
    // Closes one page: the plug-in frees its own, the host deletes its pages.
    void closePage(QWidget *page);

    int busyCount() const { return m_busy; }
    int launchCount() const { return m_launch; }

    // IPluginHost
    QVariant GetValue(const QString &name) override;
    IRemoteConnection *GetConnection() override;
    int OpenModule(const QString &moduleCode, int tag, quint32 p1, const QString &p2,
                   QVariant &p3) override;
    DataModule *GetDataModule() override;
    int CheckVersion(const QString &family, const QString &version) override;
    void BeginBusy() override;
    void EndBusy(bool flag) override;
    void EndLaunch(bool flag) override;
    void BeginLaunch() override;
    void Relogin() override;
    void SetActionState(const QString &actionName, bool flag, int value) override;
    void ShowHostMessage(const QString &text, QChar kind, const QString &caption) override;
    QWidget *MainWindow() override;

private:
    int openPluginPage(ILXPlugin &plugin, const ModuleInfo &module, int tag, quint32 p1,
                       const QString &p2, QVariant &p3);
    void openUnknownPage(const ModuleInfo &module, const QString &p2, const QVariant &p3);
    void reportError(const QString &caption, const std::exception &e);
    void reportUnknownError(const QString &caption);
    // The plug-in that made a docked page; nullptr for a host page or a plug-in gone.
    ILXPlugin *pageOwner(const QWidget *page) const;

    struct Plugin
    {
        QString name; // the catalogue's DllFile, upper case
        ILXPlugin *plugin;
    };

    HostSession &m_session;
    HostMainWindow &m_window;
    QList<Plugin> m_plugins; // in the order they were set: the console's first
    int m_busy = 0;
    int m_launch = 0;
    bool m_shutDown = false;
    QPointer<QObject> m_watchedInfo; // the set information whose company name the title shows
};

} // namespace vexa::host
