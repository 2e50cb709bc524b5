#include "LXPlugin.h"

#include "ClientSettings.h"
#include "Globals.h"
#include "LXChildForm.h"
#include "RemoteConnection.h"
#include "SessionContext.h"

#include <QCoreApplication>

namespace vexa::gl {

std::function<void(TLXPlugin &)> &RegisterFormsProc()
{
    static std::function<void(TLXPlugin &)> proc;
    return proc;
}

TLXPlugin::TLXPlugin() = default;

TLXPlugin::~TLXPlugin()
{
    for (OpenForm &entry : OpenForms)
        delete entry.form.data();
}

void TLXPlugin::RegisterFormClass(const QString &className, FormClass make)
{
    const QString name = className.toUpper();
    if (FormClassNames.contains(name))
        throw Error(QStringLiteral("动态库内注册模块号 %1 错误").arg(className));
    FormClassNames.append(name);
    FormClasses.resize(FormClassNames.size());
    FormClasses[FormClassNames.size() - 1] = std::move(make);
}

int TLXPlugin::FindForm(int formId) const
{
    const QString key = QString::number(formId);
    for (int i = 0; i < OpenForms.size(); ++i)
        // A page its Qt parent already deleted is no page any more.
        if (OpenForms[i].handle == key && OpenForms[i].form)
            return i;
    throw Error(QStringLiteral("显示模块 %1 窗体错误，模块窗体未创建").arg(formId));
}

QWidget *TLXPlugin::FormWidget(int formId)
{
    const QString key = QString::number(formId);
    for (const OpenForm &entry : OpenForms)
        if (entry.handle == key)
            return entry.form;
    return nullptr;
}

int TLXPlugin::CreateModuleForm(const QString &moduleCode, int tag, quint32 p1, const QString &p2,
                                QVariant &p3)
{
    const QString className =
        HostRef().GetValue(QStringLiteral("MCODE:") + moduleCode).toString().toUpper();
    const int index = int(FormClassNames.indexOf(className));
    if (className.isEmpty() || index < 0)
        throw Error(QStringLiteral("系统错误1020: 动态库内没有注册 %1 类错误").arg(moduleCode));

    TLXCustomChildForm *form = nullptr;
    try {
        form = FormClasses[index](HostRef().MainWindow());
        form->ModuleTag = tag;
        form->SetTag(tag);
        if (form->Mode() != 2)
            form->BeginUpdate();
        bool ok = true;
        if (form->ExecuteAllowed)
            form->BeforeExecute(ok);
        if (ok) {
            form->Executing = true;
            form->ExecuteAllowed = true;
            form->Execute(p1, p2, p3);
            form->Executing = false;
            form->AfterExecute(ok);
        }
        if (!ok || !form->ExecuteAllowed) {
            delete form;
            return 0;
        }
        const int handle = form->FormHandle();
        OpenForms.append({QString::number(handle), form});
        if (form->Mode() != 2)
            form->EndUpdate(false);
        return handle;
    } catch (...) {
        // The half-made page goes, whatever its state; nothing is listed; the error
        // travels on with its own message.
        if (form) {
            for (int i = int(OpenForms.size()) - 1; i >= 0; --i)
                if (OpenForms[i].form == form)
                    OpenForms.removeAt(i);
            delete form;
        }
        throw;
    }
}

void TLXPlugin::ExecuteForm(int formId, quint32 p1, const QString &p2, QVariant &p3)
{
    OpenForms[FindForm(formId)].form->Execute(p1, p2, p3);
}

void TLXPlugin::QueryForm(int formId, quint32 param, QVariant &value)
{
    value = QVariant();
    OpenForms[FindForm(formId)].form->QueryValue(param, value);
}

int TLXPlugin::ShowModuleForm(int formId, quint32 p1, const QString &p2, QVariant &p3)
{
    TLXCustomChildForm *form = OpenForms[FindForm(formId)].form;
    form->Execute(p1, p2, p3);
    bool ok = true;
    form->AfterExecute(ok);
    if (!ok)
        return -1;
    form->show();
    return form->FormHandle();
}

int TLXPlugin::CloseModuleForm(int formId)
{
    const int i = FindForm(formId);
    TLXCustomChildForm *form = OpenForms[i].form;
    // The page does its closing work first; while that fails it stays listed and open.
    releaseForm(form);
    OpenForms[i].form = nullptr;
    OpenForms.removeAt(i);
    delete form;
    return 0;
}

void TLXPlugin::releaseForm(TLXCustomChildForm *form)
{
    const QString caption =
        form->windowTitle().isEmpty() ? form->GetModuleCaption() : form->windowTitle();
    const auto failed = [&](const QString &message) {
        form->SetClosing(false);
        return Error(QStringLiteral("释放窗体") + caption + QStringLiteral("发生错误。（") +
                     message + QStringLiteral("）"));
    };
    form->SetClosing(true);
    try {
        form->ReleaseForm();
    } catch (const std::exception &e) {
        throw failed(errorText(e));
    }
}

void TLXPlugin::CloseForms(bool processEvents)
{
    while (!OpenForms.isEmpty()) {
        TLXCustomChildForm *form = OpenForms[0].form;
        if (form) {
            releaseForm(form);
            delete form;
        }
        OpenForms.removeAt(0);
        if (processEvents)
            QCoreApplication::processEvents();
    }
}

int TLXPlugin::CloseAllForms()
{
    CloseForms(true);
    return 0;
}

void TLXPlugin::Reload(bool closeForms)
{
    if (closeForms && !OpenForms.isEmpty())
        CloseForms(false);
    if (closeForms)
        OpenForms.clear();
    PluginGlobals &g = Globals();
    IPluginHost &host = HostRef();
    g.Connection = host.GetConnection();
    g.AppServer = g.Connection ? g.Connection->appServer() : nullptr;
    g.DataModule = host.GetDataModule();
    AttachConnection(g.DataModule, g.Connection);
    LoadSessionContext();
}

void CreatePluginImpl(IPluginHost *host, QApplication *, QScreen *, ILXPlugin **plugin)
{
    if (!host || host->CheckVersion(QStringLiteral("TARN"), QStringLiteral("2013")) != 0)
        throw Error(QStringLiteral("装载库文件失败，使用的库文件版本检查错误。"));
    PluginGlobals &g = Globals();
    g.Host = host;
    // One QApplication serves the whole process in Qt, so the plug-in's pages and dialogs
    // belong to the host's application and screens without any hand-over.
    g.Connection = host->GetConnection();
    g.AppServer = g.Connection ? g.Connection->appServer() : nullptr;
    g.DataModule = host->GetDataModule();
    AttachConnection(g.DataModule, g.Connection);
    LoadSessionContext();
    Session().RegistryPath = host->GetValue(QStringLiteral("REGPATH")).toString();
    LoadClientSettings(Session().RegistryPath);
    SetPartCaptionsSource([] {
        return PartCaptions{Session().CaptionPartCode, Session().CaptionPartDesc};
    });
    Session().DesignModule = host->GetValue(QStringLiteral("DesignModule")).toBool();
    if (!g.Plugin) {
        g.Plugin = new TLXPlugin;
        if (RegisterFormsProc())
            RegisterFormsProc()(*g.Plugin);
    }
    if (plugin)
        *plugin = g.Plugin;
}

void UnloadPlugin()
{
    PluginGlobals &g = Globals();
    delete g.Plugin;
    g.Plugin = nullptr;
    g.AppServer = nullptr;
    g.Host = nullptr;
}

} // namespace vexa::gl
