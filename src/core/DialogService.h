#pragma once

#include <QString>
#include <QStringList>

class QDialog;
class QWidget;

namespace vexa::gl {

// Every modal dialog, message and file chooser of the plug-in goes through the one
// installed service. The default shows them to the user; tests install a service that
// answers from a script and records what was shown, so no person and no display is
// needed.
class DialogService
{
public:
    virtual ~DialogService() = default;

    // Shows dialog modally and answers its result (QDialog::exec by default).
    virtual int exec(QDialog &dialog);

    // File choosers; an empty answer means the user cancelled.
    virtual QStringList openFileNames(QWidget *parent, const QString &caption,
                                      const QString &filter, bool multiple);
    virtual QString saveFileName(QWidget *parent, const QString &caption,
                                 const QString &proposedPath, const QString &filter);
    virtual QString openImageFile(QWidget *parent, const QString &caption, const QString &filter);
    // Opens a local file with the workstation's program for its type; answers whether a
    // program was started.
    virtual bool openDocument(const QString &path);

    // The installed service (the default one unless a test installed another).
    static DialogService &instance();
    // Installs service (not owned) and answers the one it replaces; nullptr restores the
    // default.
    static DialogService *install(DialogService *service);
};

} // namespace vexa::gl
