// The plug-in library's entry point and the registration of its page classes.
#include "DefAccessoriesForm.h"
#include "LXPlugin.h"
#include "MainForm.h"
#include "NavigationPages.h"

#include <vexa/PluginHost.h>

namespace {

// Registers the page classes in the order the host expects them.
void RegisterForms(vexa::gl::TLXPlugin &plugin)
{
    plugin.RegisterFormClass<vexa::gl::TNormalForm>(QStringLiteral("TNormalForm"));
    plugin.RegisterFormClass<vexa::gl::TNormalJXCForm>(QStringLiteral("TNormalJXCForm"));
    plugin.RegisterFormClass<vexa::gl::TProfessionalForm>(QStringLiteral("TProfessionalForm"));
    plugin.RegisterFormClass<vexa::gl::TSpreadForm>(QStringLiteral("TSpreadForm"));
    plugin.RegisterFormClass<vexa::gl::TMainForm>(QStringLiteral("TMainForm"));
    // Every document page opens its attachments through the one dialog.
    vexa::gl::InstallAttachmentDialog();
}

// Library load and unload: install the registration routine; forget the plug-in and the
// host when the library goes.
struct LibraryLifetime
{
    LibraryLifetime() { vexa::gl::RegisterFormsProc() = RegisterForms; }
    ~LibraryLifetime() { vexa::gl::UnloadPlugin(); }
} lifetime;

} // namespace

extern "C" __attribute__((visibility("default"))) void CreatePlugin(vexa::IPluginHost *host,
                                                                    QApplication *application,
                                                                    QScreen *screen,
                                                                    vexa::ILXPlugin **plugin)
{
    vexa::gl::CreatePluginImpl(host, application, screen, plugin);
}
