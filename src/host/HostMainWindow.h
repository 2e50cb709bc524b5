#pragma once

#include <vexa/PluginHost.h>

#include <QList>
#include <QMainWindow>
#include <QPair>

class QAction;
class QLabel;
class QMenu;
class QTabWidget;

namespace vexa::host {

struct ModuleInfo;

// The host's main window: a document toolbar that sends the child commands to the active
// page, the module pages as closable tabs, the module menu and the status bar. Offers the
// host main-window interface through which pages set their tab caption and icon.
class HostMainWindow : public QMainWindow, public IHostMainWindow
{
    Q_OBJECT
    Q_INTERFACES(vexa::IHostMainWindow)

public:
    static constexpr int kFirstCommand = 6;
    static constexpr int kLastCommand = 21;

    explicit HostMainWindow(QWidget *parent = nullptr);
    ~HostMainWindow() override;

    // IHostMainWindow: the caption target is the active tab unless a redirect is open.
    void SetCaptionText(const QString &text) override;
    void SetCaptionIcon(const QString &iconName, QChar iconKind, int reserved) override;

    // Sends captions meant for one page to that page while a plug-in call runs for it.
    // With page nullptr (a page being created, not docked yet), the caption and icon are
    // kept and read back by the creator.
    class CaptionRedirect
    {
    public:
        CaptionRedirect(HostMainWindow &window, QWidget *page);
        ~CaptionRedirect();
        CaptionRedirect(const CaptionRedirect &) = delete;
        CaptionRedirect &operator=(const CaptionRedirect &) = delete;

        QString text;
        QString iconName;
        QChar iconKind;
        bool textSet = false;
        bool iconSet = false;

    private:
        friend class HostMainWindow;
        HostMainWindow &m_window;
        QWidget *m_page;
    };

    // Docks page as a tab and makes it current. handle 0 marks a host page; owner names
    // the plug-in that made the page (the catalogue's DllFile).
    void addPage(QWidget *page, int handle, const QString &moduleCode, const QString &caption,
                 const QString &owner = QString());
    void removePage(QWidget *page);
    void activatePage(QWidget *page);
    QWidget *currentPage() const;
    QList<QWidget *> pages() const;
    // Handles of the plug-in pages, in tab order.
    QList<int> pageHandles() const;
    QWidget *pageForHandle(int handle) const;
    QWidget *pageForCode(const QString &moduleCode) const;
    static int pageHandle(const QWidget *page);
    static QString pageOwner(const QWidget *page);
    static QString pageCode(const QWidget *page);
    static QString pageCaption(const QWidget *page);
    void setPageCaption(QWidget *page, const QString &caption);
    void setPageIcon(QWidget *page, const QString &iconName, QChar iconKind);
    QTabWidget *tabs() const { return m_tabs; }

    // Toolbar: the command action of a position (6..21) and actions by object name.
    QAction *commandAction(int position) const;
    QAction *action(const QString &objectName) const;
    // Sends the command of a position to the active page.
    void runCommand(int position);
    // enabled := flag, data := value; false when no action has that name.
    bool setActionState(const QString &name, bool flag, int value);

    // The module menu: one entry per module (code, caption); empty shows a note instead.
    void setModules(const QList<QPair<QString, QString>> &modules);
    QMenu *moduleMenu() const { return m_moduleMenu; }
    // 系统 → 最近打开的账套: one entry per file, most recent first; empty shows a note.
    void setRecentAccountSets(const QStringList &paths);
    QMenu *recentMenu() const { return m_recentMenu; }
    // A passing note in the status bar.
    void showStatusNote(const QString &text);
    QString statusNote() const;

    // Status bar.
    void setBusyShown(bool on);
    void setLaunchShown(bool on);
    bool busyShown() const;
    bool launchShown() const;
    void setPluginStatus(const QString &text);
    QString pluginStatus() const;
    void setSessionText(const QString &text);
    // The company and the account set, shown in the title before the page.
    void setAccountSetTitle(const QString &title);

    // While the host shuts the pages down, tab changes do not call into pages.
    void setShuttingDown(bool on) { m_shuttingDown = on; }

signals:
    void moduleRequested(const QString &moduleCode);
    void newAccountSetRequested();
    // path empty: ask for the file.
    void openAccountSetRequested(const QString &path);
    void reloginRequested();
    void changePasswordRequested();
    // The user closed the tab of page; the tab is already gone.
    void pageCloseRequested(QWidget *page);
    void closing();
    void firstShown();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildActions();
    void updateTitle();
    void currentPageChanged();
    CaptionRedirect *captionSink() const;

    QString m_accountSetTitle;
    QTabWidget *m_tabs;
    QList<QAction *> m_commands; // index = position - kFirstCommand
    QMenu *m_moduleMenu = nullptr;
    QMenu *m_recentMenu = nullptr;
    QLabel *m_busy;
    QLabel *m_launch;
    QLabel *m_pluginStatus;
    QLabel *m_session;
    QList<CaptionRedirect *> m_captionSinks;
    bool m_shown = false;
    bool m_shuttingDown = false;
};

} // namespace vexa::host
