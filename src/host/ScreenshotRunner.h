#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace vexa::host {

class HostMainWindow;
class HostSession;
class PluginHostImpl;

// Renders the main window with each page the plug-in serves to <dir>/<MCode>.png, the
// login dialog to login.png, the 新建账套 dialog to new-account-set.png and the page of a module
// without plug-in to unimplemented.png.
class ScreenshotRunner
{
public:
    // A module of the demo catalogue no plug-in of this product serves.
    static const QString kSampleUnknownModule; // "GLJCXJZ" (经常性记账)

    ScreenshotRunner(HostSession &session, HostMainWindow &window, PluginHostImpl &host);

    // 0 when every picture was written and every page opened, else 1.
    int run(const QString &dir);
    const QStringList &written() const { return m_written; }
    const QStringList &failures() const { return m_failures; }

private:
    void save(QWidget &widget, const QString &fileName);

    HostSession &m_session;
    HostMainWindow &m_window;
    PluginHostImpl &m_host;
    QString m_dir;
    QStringList m_written;
    QStringList m_failures;
};

} // namespace vexa::host
