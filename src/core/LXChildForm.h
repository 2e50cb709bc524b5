#pragma once

#include "LXCustomForm.h"

#include <vexa/PluginHost.h>

#include <QPointer>
#include <functional>

class QFrame;

namespace vexa::gl {

// A module page: embedded by the host in its main window, driven through ILXPlugin
// (Execute, QueryValue, BeforeExecute, AfterExecute) and the host's toolbar commands.
class TLXCustomChildForm : public TLXCustomForm, public IChildCommands
{
    Q_OBJECT
    Q_INTERFACES(vexa::IChildCommands)

public:
    explicit TLXCustomChildForm(QWidget *parent = nullptr);
    ~TLXCustomChildForm() override;

    // Handle by which the host addresses the page (unique while the page lives).
    int FormHandle() const { return m_handle; }

    virtual QString MakeLayoutKey(const QObject *component, const QString &text) const;
    virtual void Execute(quint32 p1, const QString &p2, QVariant &p3);
    virtual void QueryValue(quint32 param, QVariant &value);
    virtual void BeforeExecute(bool &ok);
    virtual void AfterExecute(bool &ok);
    // Work a page does when the host closes it (saving its layout, say); may throw, and
    // the host's close reports the error with the page's caption.
    virtual void ReleaseForm() {}

    // IChildCommands: positions 6 to 21 of the host toolbar.
    void Command06() override {}
    void Command07() override {}
    void Command08() override {}
    void Command09() override {}
    void Command10() override {}
    void Command11() override {}
    void Command12() override {}
    void Command13() override {}
    void Command14() override {}
    void UpdateAttachmentAction() override;
    void Command16() override {}
    void Command17() override {}
    void Command18() override {}
    void Command19() override {}
    int ShowAttachments() override;
    void UserCommand(const QVariant &argument) override;

    void SetModuleCaption(const QString &text);
    void SetModuleCaptionSuffix(const QString &text);
    QString GetModuleCaption() const { return ModuleCaption; }
    QString ModuleCaptionSuffix() const { return m_captionSuffix; }
    void UpdateHostCaption();

    // A page docked in the host is not a dialog: Escape and reject do not hide it.
    void reject() override;

    int LayoutNumber = 0;
    bool Executing = false;
    bool ExecuteAllowed = true;
    int RecordState = 0;
    int ModuleTag = 0;
    QString IconName;
    QChar IconKind = QLatin1Char('I');
    QPointer<QWidget> AttachmentDialog;

signals:
    // Position 21 hands its argument, with the page, to whoever listens.
    void userCommand(vexa::gl::TLXCustomChildForm *form, const QVariant &argument);

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QString ModuleCaption;
    QString m_captionSuffix;
    int m_handle;
};

// A module page with a toolbar panel on top and a client panel filling the rest.
class TLXChildForm : public TLXCustomChildForm
{
    Q_OBJECT

public:
    explicit TLXChildForm(QWidget *parent = nullptr);

    QFrame *plModuleToolbar = nullptr;
    QFrame *plClient = nullptr;
};

// Opens the attachments of a document for a page and answers the number of attachment
// rows; installed by the attachments dialog, empty until then.
std::function<int(int objType, int docEntry, TLXCustomChildForm &page)> &AttachmentDialogOpener();

} // namespace vexa::gl
