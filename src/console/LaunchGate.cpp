#include "LaunchGate.h"

#include "ClientDataSet.h"
#include "DataModule.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "NodeData.h"

#include <vexa/PluginHost.h>

namespace vexa::gl {

namespace {

const QString kBaseTag = QStringLiteral("[B]");
const QString kLedgerTag = QStringLiteral("[I]");
const QString kCashierTag = QStringLiteral("[C]");

} // namespace

AccountSetState AccountSetState::Current()
{
    AccountSetState state;
    ClientDataSet *info = Globals().DataModule
                              ? Globals().DataModule->dataSet(QStringLiteral("CDS_SysInitInfo"))
                              : nullptr;
    if (!info || !info->isActive() || info->isEmpty() || info->recNo() == 0)
        return state;
    state.InitialAudit = info->asBoolean(QStringLiteral("InitialAudit"));
    state.GLStartPeriodID = int(info->asInteger(QStringLiteral("GLStartPeriodID")));
    state.CashierStartPeriodID = int(info->asInteger(QStringLiteral("CashierStartPeriodID")));
    return state;
}

QString ConsoleLaunchRefusal(const QString &packNo, const AccountSetState &state)
{
    const bool base = packNo.contains(kBaseTag);
    const bool ledger = packNo.contains(kLedgerTag);
    if (!state.InitialAudit) {
        if (!base && !ledger)
            return QStringLiteral("无法执行此模块，请在初始化完成后单击工具栏\"启用账套\"按钮"
                                  "启用此账套后继续。");
        if (state.GLStartPeriodID == 0 && ledger)
            return QStringLiteral("无法执行此模块，请单击工具栏\"参数配置\"按钮在窗口中指定"
                                  "总账启用会计期间后继续。");
    }
    if (state.CashierStartPeriodID == 0 && packNo.contains(kCashierTag))
        return QStringLiteral("无法执行此模块，请单击工具栏\"参数配置\"按钮在窗口中启用出纳"
                              "系统后继续。");
    return QString();
}

quint32 CommandValue(const QString &uiCommand)
{
    return uiCommand.isEmpty() ? 0u : quint32(uiCommand.at(0).unicode());
}

void OpenModuleBracketed(const QString &moduleCode, const QString &uiCommand,
                         const QString &parameter)
{
    IPluginHost &host = HostRef();
    host.BeginBusy();
    host.BeginLaunch();
    QVariant p3(parameter);
    try {
        host.OpenModule(moduleCode, 0, CommandValue(uiCommand), QStringLiteral("DataProvider"), p3);
    } catch (...) {
        host.EndBusy(false);
        host.EndLaunch(false);
        throw;
    }
    host.EndBusy(false);
    host.EndLaunch(false);
}

bool LaunchConsoleNode(const TNodeData *node)
{
    if (!node || node->MCode.isEmpty() || !node->Permitted)
        return false;
    const QString refusal = ConsoleLaunchRefusal(node->PackNo, AccountSetState::Current());
    if (!refusal.isEmpty()) {
        ShowWarningMessage(refusal);
        return false;
    }
    OpenModuleBracketed(node->MCode, node->UICommand,
                        node->ParaStr.isEmpty() ? node->CommandData : node->ParaStr);
    return true;
}

} // namespace vexa::gl
