#pragma once

#include <vexa/PluginHost.h>

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <vector>

class QApplication;
class QScreen;

namespace vexa::gl {

class TLXCustomChildForm;

// The plug-in object the host drives: the registry of page classes and the open pages.
class TLXPlugin : public QObject, public ILXPlugin
{
    Q_OBJECT
    Q_INTERFACES(vexa::ILXPlugin)

public:
    // Makes a page of one registered class, owned by owner.
    using FormClass = std::function<TLXCustomChildForm *(QWidget *owner)>;

    struct OpenForm
    {
        QString handle; // decimal form handle
        QPointer<TLXCustomChildForm> form;
    };

    TLXPlugin();
    ~TLXPlugin() override;

    // Throws when the (upper-cased) name is registered already.
    void RegisterFormClass(const QString &className, FormClass make);
    template <typename Form> void RegisterFormClass(const QString &className)
    {
        RegisterFormClass(className,
                          [](QWidget *owner) -> TLXCustomChildForm * { return new Form(owner); });
    }

    void Reload(bool closeForms) override;
    void ExecuteForm(int formId, quint32 p1, const QString &p2, QVariant &p3) override;
    void QueryForm(int formId, quint32 param, QVariant &value) override;
    int CreateModuleForm(const QString &moduleCode, int tag, quint32 p1, const QString &p2,
                         QVariant &p3) override;
    int ShowModuleForm(int formId, quint32 p1, const QString &p2, QVariant &p3) override;
    int CloseModuleForm(int formId) override;
    int CloseAllForms() override;
    QWidget *FormWidget(int formId) override;

    std::vector<FormClass> FormClasses;
    QStringList FormClassNames;
    QList<OpenForm> OpenForms;

private:
    int FindForm(int formId) const; // index in OpenForms; throws when absent
    void CloseForms(bool processEvents);
    // The page's closing work; a failure is wrapped with its caption and the page stays open.
    void releaseForm(TLXCustomChildForm *form);
};

// The routine that registers this plug-in's page classes, called once right after the
// plug-in object is made. Set when the library is loaded.
std::function<void(TLXPlugin &)> &RegisterFormsProc();

// The steps of CreatePlugin (the exported entry point forwards here).
void CreatePluginImpl(IPluginHost *host, QApplication *application, QScreen *screen,
                      ILXPlugin **plugin);

// The library is being unloaded: forget the plug-in and the host.
void UnloadPlugin();

} // namespace vexa::gl
