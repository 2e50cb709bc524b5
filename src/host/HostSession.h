#pragma once

#include "AppServer.h"
#include "SessionLink.h"

#include <QList>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>

namespace vexa {
class DataModule;
}

namespace vexa::host {

// One row of the module catalogue (provider SYS_SMModules), as far as the host needs it.
struct ModuleInfo
{
    QString code;      // MCode
    QString caption;   // MDesc
    QString formClass; // page class inside the library; empty for modules without a page
    QString dllFile;   // library that serves the module
    bool found = false;
};

// The open account set, the host's connection to it, the logged-in user and the shared
// data module the plug-in reads. Answers the session values of the host contract. The set
// is a file served in-process or a set on a vexa-server (SessionLink); the rest of the
// host does not tell the two apart.
class HostSession
{
public:
    // The registry path handed to plug-ins for their per-user settings.
    static const QString kRegistryPath;
    // <AppDataLocation>/demo.vexa
    static QString defaultAccountSetPath();

    // Opens the account set at path. A missing file is created with the demo seed when
    // createIfMissing is set and is an error otherwise; with createIfMissing, a set left
    // empty by a cut-short creation is made again. Throws vexa::Error.
    static std::unique_ptr<HostSession> open(const QString &path, bool createIfMissing,
                                             const server::AppServer::Options &options);
    // A set on a vexa-server. Nothing is sent before the first login, which connects.
    static std::unique_ptr<HostSession> connect(const net::ServerAddress &address,
                                                const QString &set,
                                                const net::ClientSecurity &security);
    ~HostSession();

    // The set as the user names it: its file, or "server:port/set" (place()).
    QString path() const;
    bool remote() const { return m_link->remote(); }
    // The server (empty for a file) and the set's name there.
    QString serverText() const;
    QString setName() const;
    // The connection to the server was lost: every call fails until a new login.
    bool connectionLost() const { return m_link->lost(); }
    // Told (once per login) when a call finds the connection to the server lost.
    void setLostHandler(std::function<void()> handler);
    // The set opened read-only (its file or folder cannot be written): pages read, saves are
    // refused. readOnlyNotice() is what the login tells the user then, empty otherwise.
    bool readOnly() const;
    QString readOnlyNotice() const;

    // Logs in (throws vexa::Error with the server's text on a refusal, leaving the current
    // login as it was). The first login opens the shared datasets; a later one is a
    // re-login: it marks the session re-logged and reads the shared datasets again.
    void login(const QString &userCode, const QString &password);
    // login() in two halves: the password check runs (for a set file on a worker thread)
    // while the caller prepares what needs no login. Until finishLogin(), which waits for
    // the check and then does the rest of login() or throws its refusal, nothing may use
    // the session.
    void beginLogin(const QString &userCode, const QString &password);
    void finishLogin();
    // The logged-in user's own password (the server checks the old one).
    void changePassword(const QString &oldPassword, const QString &newPassword);
    bool loggedIn() const;
    bool hasRelogin() const { return m_hasRelogin; }
    const server::SessionInfo &session() const;

    // What the host's and the plug-in's datasets hold; the same object for the session's life.
    IRemoteConnection *connection() const { return m_link.get(); }
    // The in-process connection of a file; null over a server.
    server::ServerConnection *localConnection() const { return m_link->local(); }
    DataModule *dataModule() const { return m_dataModule.get(); }

    void setDesignMode(bool on) { m_designMode = on; }
    bool designMode() const { return m_designMode; }

    // The session value of that name (names compare without regard to letter case);
    // an invalid QVariant for an unknown name.
    QVariant value(const QString &name) const;

    // The catalogue row of a module code; found is false when there is none.
    ModuleInfo module(const QString &code) const;
    // The modules with a page class (FormClass), in catalogue order; which of them a
    // loaded plug-in serves is the host's to say.
    QList<ModuleInfo> pageModules() const;

    // Day numbers as the plug-in reads dates: days since 1899-12-30.
    static double dayNumber(const QDateTime &dateTime, bool withTime);

private:
    HostSession() = default;
    void makeDataModule();
    void openSharedDataSets();
    void refreshSharedDataSets();
    void afterLogin(bool first);
    QList<ModuleInfo> modules(const QString &commandText) const;

    std::unique_ptr<SessionLink> m_link;
    std::unique_ptr<DataModule> m_dataModule;
    bool m_designMode = false;
    bool m_hasRelogin = false;
    bool m_begunFirst = false; // the login begun is the first
};

} // namespace vexa::host
