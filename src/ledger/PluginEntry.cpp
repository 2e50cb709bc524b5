// The ledger plug-in's entry point and the registration of its page classes.
#include "AccountBalanceForm.h"
#include "AccountsForm.h"
#include "CarryForwardForm.h"
#include "ClosePeriodForm.h"
#include "DetailLedgerForm.h"
#include "GeneralLedgerForm.h"
#include "ItemBalanceForm.h"
#include "LXPlugin.h"
#include "OpeningBalanceForm.h"
#include "PostVouchersForm.h"
#include "ReportTemplateForm.h"
#include "ReverseVoucherForm.h"
#include "StatementForm.h"
#include "VoucherForm.h"
#include "VoucherListForm.h"

#include <vexa/PluginHost.h>

namespace {

// The page classes under the catalogue's FormClass names.
void RegisterForms(vexa::gl::TLXPlugin &plugin)
{
    using namespace vexa::ledger;
    plugin.RegisterFormClass<TVoucherForm>(QStringLiteral("TVoucherForm"));
    plugin.RegisterFormClass<TVoucherListForm>(QStringLiteral("TVoucherListForm"));
    plugin.RegisterFormClass<TReverseVoucherForm>(QStringLiteral("TReverseVoucherForm"));
    plugin.RegisterFormClass<TPostVouchersForm>(QStringLiteral("TPostVouchersForm"));
    plugin.RegisterFormClass<TAccountsForm>(QStringLiteral("TAccountsForm"));
    plugin.RegisterFormClass<TOpeningBalanceForm>(QStringLiteral("TOpeningBalanceForm"));
    plugin.RegisterFormClass<TAccountBalanceForm>(QStringLiteral("TAccountBalanceForm"));
    plugin.RegisterFormClass<TTrialBalanceForm>(QStringLiteral("TTrialBalanceForm"));
    plugin.RegisterFormClass<TDetailLedgerForm>(QStringLiteral("TDetailLedgerForm"));
    plugin.RegisterFormClass<TItemBalanceForm>(QStringLiteral("TItemBalanceForm"));
    plugin.RegisterFormClass<TItemLedgerForm>(QStringLiteral("TItemLedgerForm"));
    plugin.RegisterFormClass<TGeneralLedgerForm>(QStringLiteral("TGeneralLedgerForm"));
    plugin.RegisterFormClass<TCarryForwardForm>(QStringLiteral("TCarryForwardForm"));
    plugin.RegisterFormClass<TClosePeriodForm>(QStringLiteral("TClosePeriodForm"));
    plugin.RegisterFormClass<TBalanceSheetForm>(QStringLiteral("TBalanceSheetForm"));
    plugin.RegisterFormClass<TIncomeStatementForm>(QStringLiteral("TIncomeStatementForm"));
    plugin.RegisterFormClass<TReportTemplateForm>(QStringLiteral("TReportTemplateForm"));
}

// Library load and unload, as the console's library does.
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
