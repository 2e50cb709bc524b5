#include "SetupActions.h"

#include "DialogService.h"
#include "FinGLAccountingConfigureMForm.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "NavigationPages.h"
#include "StartGLForm.h"

#include <vexa/PluginHost.h>

namespace vexa::gl {

bool RunParameterConfiguration(QWidget *page)
{
    bool changed = false;
    {
        TStartGLForm dialog(page);
        // The edition without the general ledger takes its start from the business start.
        dialog.ShowBusinessPanel(qobject_cast<TNormalJXCForm *>(page) != nullptr);
        changed = DialogService::instance().exec(dialog) == 1 && dialog.SettingsChanged();
    }
    if (!changed)
        return false;
    ShowInfoMessage(QStringLiteral("改变账套参数后需要重新登录系统！"));
    if (Globals().Host)
        Globals().Host->Relogin();
    return true;
}

void RunAccountConfirmation(QWidget *page)
{
    TFinGLAccountingConfigureMForm dialog(page);
    DialogService::instance().exec(dialog);
}

} // namespace vexa::gl
