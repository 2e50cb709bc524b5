#pragma once

// The host <-> plug-in contract. The host loads a plug-in library, resolves its one
// exported entry point CreatePlugin and drives it through ILXPlugin; the plug-in calls
// back through IPluginHost. Both sides include only this folder.
//
// Life cycle:
//   1. host: dlopen, resolve CreatePlugin.
//   2. host: CreatePlugin(host, app, screen, &plugin) - may be called more than once; each
//      call re-adopts the host's session and returns the same plug-in object.
//   3. host: CreateModuleForm / ShowModuleForm / ExecuteForm / QueryForm / CloseModuleForm /
//      CloseAllForms / Reload, all on the user-interface thread.
//   4. host: CloseAllForms, then unloads the library.
// Errors travel as vexa::Error exceptions in both directions (Error.h).
//
// What crosses the boundary: the interfaces below (called only through their virtual
// functions), vexa::Error (the only class whose type information the plug-in exports), and
// Qt types, whose identity lives in the Qt libraries both sides share. The plug-in exports
// nothing else, so its classes have no identity in the host: never dynamic_cast,
// qobject_cast or static_cast what comes back (ILXPlugin, FormWidget's page, ...) to a
// plug-in class; ask for IChildCommands or IHostMainWindow with qobject_cast, which matches
// by interface id.

#include <vexa/Error.h>

#include <QChar>
#include <QString>
#include <QVariant>
#include <QtPlugin>

class QApplication;
class QScreen;
class QWidget;

namespace vexa {

class IRemoteConnection;
class DataModule;

// The host's services, in the order of the contract.
class IPluginHost
{
public:
    virtual ~IPluginHost() = default;

    // A named session value: "REGPATH", "DesignModule", "DATE", "DateTime", "UserID",
    // "UserName", "UserGroup", "USERGROUP", "HASRELOGIN", or "MCODE:" + a module code (the
    // page class that serves the module). An unknown name answers an invalid QVariant.
    virtual QVariant GetValue(const QString &name) = 0;
    virtual IRemoteConnection *GetConnection() = 0;
    // Opens a module by code; the host routes it to the plug-in that serves the code.
    // Answers the opened form's handle, 0 when nothing was opened.
    virtual int OpenModule(const QString &moduleCode, int tag, quint32 p1, const QString &p2,
                           QVariant &p3) = 0;
    virtual DataModule *GetDataModule() = 0;
    // 0 when the host accepts the plug-in's contract family and version.
    virtual int CheckVersion(const QString &family, const QString &version) = 0;
    virtual void BeginBusy() = 0;
    virtual void EndBusy(bool flag) = 0;
    virtual void EndLaunch(bool flag) = 0;
    virtual void BeginLaunch() = 0;
    virtual void Relogin() = 0;
    // Toolbar action state: "sbEnter", "sbUnEnter", "BillAccessories".
    virtual void SetActionState(const QString &actionName, bool flag, int value) = 0;
    // kind 'W' shows a warning.
    virtual void ShowHostMessage(const QString &text, QChar kind, const QString &caption) = 0;
    // The host's main window: parent of the module pages and owner of the dialogs.
    virtual QWidget *MainWindow() = 0;
};

// The plug-in as the host drives it. p1, p2 and p3 are passed to the page unchanged.
class ILXPlugin
{
public:
    virtual ~ILXPlugin() = default;

    virtual void Reload(bool closeForms) = 0;
    virtual void ExecuteForm(int formId, quint32 p1, const QString &p2, QVariant &p3) = 0;
    virtual void QueryForm(int formId, quint32 param, QVariant &value) = 0;
    // The new page's handle, 0 when nothing was opened.
    virtual int CreateModuleForm(const QString &moduleCode, int tag, quint32 p1,
                                 const QString &p2, QVariant &p3) = 0;
    // The page's handle, or -1 when the page refused to show.
    virtual int ShowModuleForm(int formId, quint32 p1, const QString &p2, QVariant &p3) = 0;
    virtual int CloseModuleForm(int formId) = 0;
    virtual int CloseAllForms() = 0;
    // The page widget of a handle, for the host to dock; nullptr for an unknown handle.
    virtual QWidget *FormWidget(int formId) = 0;
};

// The commands of the host's document toolbar, sent to the active page. Positions are
// fixed by the contract; what each means is the host's, except UpdateAttachmentAction,
// ShowAttachments and UserCommand.
class IChildCommands
{
public:
    virtual ~IChildCommands() = default;

    virtual void Command06() = 0; // the first command: the console starts the selected node
    virtual void Command07() = 0;
    virtual void Command08() = 0;
    virtual void Command09() = 0;
    virtual void Command10() = 0;
    virtual void Command11() = 0;
    virtual void Command12() = 0;
    virtual void Command13() = 0;
    virtual void Command14() = 0;
    virtual void UpdateAttachmentAction() = 0; // position 15
    virtual void Command16() = 0;
    virtual void Command17() = 0;
    virtual void Command18() = 0;
    virtual void Command19() = 0;
    virtual int ShowAttachments() = 0;                  // position 20: rows attached
    virtual void UserCommand(const QVariant &argument) = 0; // position 21
};

// Offered by the host's main window: the caption and icon of the active page.
class IHostMainWindow
{
public:
    virtual ~IHostMainWindow() = default;
    virtual void SetCaptionText(const QString &text) = 0;
    virtual void SetCaptionIcon(const QString &iconName, QChar iconKind, int reserved) = 0;
};

// The plug-in's entry point, exported with C linkage under this name. Throws vexa::Error.
using CreatePluginFunction = void (*)(IPluginHost *host, QApplication *application,
                                      QScreen *screen, ILXPlugin **plugin);
inline constexpr char kCreatePluginSymbol[] = "CreatePlugin";

} // namespace vexa

#define VEXA_ILXPlugin_iid "{A59F7B7E-5D3C-4E87-89C0-8E2031EC29DB}"
#define VEXA_IChildCommands_iid "{928FFFEA-7825-4F6F-B2AE-E046D273EB4B}"
#define VEXA_IHostMainWindow_iid "{2175D822-1663-41F5-AF3A-3D965FFF8311}"

Q_DECLARE_INTERFACE(vexa::ILXPlugin, VEXA_ILXPlugin_iid)
Q_DECLARE_INTERFACE(vexa::IChildCommands, VEXA_IChildCommands_iid)
Q_DECLARE_INTERFACE(vexa::IHostMainWindow, VEXA_IHostMainWindow_iid)
