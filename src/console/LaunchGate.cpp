#include "LaunchGate.h"

#include "ClientDataSet.h"
#include "DataModule.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "NodeData.h"

#include <QScopeGuard>

#include <vexa/PluginHost.h>

namespace vexa::gl {

namespace {

const QString kBaseTag = QStringLiteral("[B]");
const QString kLedgerTag = QStringLiteral("[I]");
const QString kCashierTag = QStringLiteral("[C]");

// The first account-set precondition a module misses, by its package tags.
enum class SetUpGap { None, NotEnabled, NoLedgerStart, NoCashier };

SetUpGap MissingSetUp(const QString &packNo, const AccountSetState &state)
{
    const bool base = packNo.contains(kBaseTag);
    const bool ledger = packNo.contains(kLedgerTag);
    if (!state.InitialAudit) {
        if (!base && !ledger)
            return SetUpGap::NotEnabled;
        if (state.GLStartPeriodID == 0 && ledger)
            return SetUpGap::NoLedgerStart;
    }
    if (state.CashierStartPeriodID == 0 && packNo.contains(kCashierTag))
        return SetUpGap::NoCashier;
    return SetUpGap::None;
}

// The visible row of dataSet whose field holds value (compared as text), or -1.
int RowWith(const ClientDataSet &dataSet, const QString &field, const QString &value)
{
    if (!dataSet.isActive())
        return -1;
    const int column = dataSet.fieldIndex(field);
    if (column < 0)
        return -1;
    for (int row = 0; row < dataSet.recordCount(); ++row)
        if (dataSet.valueAt(row, column).toString() == value)
            return row;
    return -1;
}

QVariant ValueAt(const ClientDataSet &dataSet, int row, const char *field)
{
    const int column = dataSet.fieldIndex(QLatin1String(field));
    return column < 0 ? QVariant() : dataSet.valueAt(row, column);
}

NavModule ModuleAt(const ClientDataSet &modules, int row)
{
    NavModule m;
    m.MCode = ValueAt(modules, row, "MCode").toString();
    m.MDesc = ValueAt(modules, row, "MDesc").toString();
    m.UICommand = ValueAt(modules, row, "UICommand").toString();
    m.ParaStr = ValueAt(modules, row, "ParaStr").toString();
    m.PackNo = ValueAt(modules, row, "PackNo").toString();
    m.FaceControl = ValueAt(modules, row, "FaceControl").toString();
    m.ObjType = ValueAt(modules, row, "ObjType").toInt();
    return m;
}

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
    switch (MissingSetUp(packNo, state)) {
    case SetUpGap::None:
        break;
    case SetUpGap::NotEnabled:
        return QStringLiteral("无法执行此模块，请在初始化完成后单击工具栏\"启用账套\"按钮"
                              "启用此账套后继续。");
    case SetUpGap::NoLedgerStart:
        return QStringLiteral("无法执行此模块，请单击工具栏\"参数配置\"按钮在窗口中指定"
                              "总账启用会计期间后继续。");
    case SetUpGap::NoCashier:
        return QStringLiteral("无法执行此模块，请单击工具栏\"参数配置\"按钮在窗口中启用出纳"
                              "系统后继续。");
    }
    return QString();
}

QString PageLaunchRefusal(const QString &packNo, const AccountSetState &state,
                          NavigationPageKind page, NavigationLaunchWay way)
{
    const SetUpGap gap = MissingSetUp(packNo, state);
    if (gap == SetUpGap::None)
        return QString();
    if (page == NavigationPageKind::Tabbed) {
        switch (gap) {
        case SetUpGap::NotEnabled:
            return QStringLiteral("无法执行此模块，请首先在初始化页面中完成账套参数配置并启用此"
                                  "账套后继续。");
        case SetUpGap::NoLedgerStart:
            return QStringLiteral("无法执行此模块，请在初始化页面的账套参数配置中指定总账启用会"
                                  "计期间后继续。");
        default:
            return QStringLiteral("无法执行此模块，请在初始化页面的账套参数配置中启用出纳系统后"
                                  "继续。");
        }
    }
    switch (gap) {
    case SetUpGap::NotEnabled:
        return QStringLiteral("请首先在系统维护中完成账套参数配置并启用此账套后继续。");
    case SetUpGap::NoLedgerStart:
        // The object menus of the spread page have always said "系统维护中的".
        return way == NavigationLaunchWay::Control
                   ? QStringLiteral("请在系统维护的账套参数配置中指定总账启用会计期间后继续。")
                   : QStringLiteral("请在系统维护中的账套参数配置中指定总账启用会计期间后继续。");
    default:
        return QStringLiteral("请在系统维护的账套参数配置中启用出纳系统后继续。");
    }
}

quint32 CommandValue(const QString &uiCommand)
{
    return uiCommand.isEmpty() ? 0u : quint32(uiCommand.at(0).unicode());
}

void OpenModuleBracketed(const QString &moduleCode, const QString &uiCommand,
                         const QString &parameter, const QString &dataKey)
{
    IPluginHost &host = HostRef();
    host.BeginBusy();
    host.BeginLaunch();
    const auto done = qScopeGuard([&host] {
        host.EndBusy(false);
        host.EndLaunch(false);
    });
    QVariant p3(parameter);
    host.OpenModule(moduleCode, 0, CommandValue(uiCommand), dataKey, p3);
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

bool PageHasRight(int objType, const ClientDataSet &rights)
{
    return objType <= 25000 && RightsGrant(rights, objType);
}

bool RightsGrant(const ClientDataSet &rights, int objType)
{
    if (!rights.isActive())
        return false;
    const int typeField = rights.fieldIndex(QStringLiteral("ObjType"));
    const int valueField = rights.fieldIndex(QStringLiteral("RightValue"));
    if (typeField < 0 || valueField < 0)
        return false;
    for (int row = 0; row < rights.recordCount(); ++row) {
        if (rights.valueAt(row, typeField).toInt() != objType)
            continue;
        const int value = rights.valueAt(row, valueField).toInt();
        if (value >= 1 && value <= 3)
            return true;
    }
    return false;
}

BindingTarget ChooseBindingTarget(const QString &moduleFaceControl, bool namesControlOfPage)
{
    return moduleFaceControl.isEmpty() || !namesControlOfPage ? BindingTarget::ModuleColumn
                                                              : BindingTarget::ExtraRow;
}

std::optional<NavModule> NavigationCatalogue::Module(const QString &moduleCode) const
{
    if (moduleCode.isEmpty())
        return std::nullopt;
    const int row = RowWith(m_modules, QStringLiteral("MCode"), moduleCode);
    if (row < 0)
        return std::nullopt;
    return ModuleAt(m_modules, row);
}

FaceLookup NavigationCatalogue::ModuleOfControl(const QString &key) const
{
    FaceLookup lookup;
    if (key.isEmpty())
        return lookup;
    const int row = RowWith(m_modules, QStringLiteral("FaceControl"), key);
    if (row >= 0) {
        lookup.binding = FaceBinding::Bound;
        lookup.module = ModuleAt(m_modules, row);
        return lookup;
    }
    const int extra = RowWith(m_faceControls, QStringLiteral("FaceControl"), key);
    if (extra < 0)
        return lookup;
    lookup.module = Module(ValueAt(m_faceControls, extra, "MCode").toString());
    lookup.binding = lookup.module ? FaceBinding::Bound : FaceBinding::Dangling;
    return lookup;
}

std::optional<NavObject> NavigationCatalogue::Object(int pmCode) const
{
    const int row = RowWith(m_objects, QStringLiteral("PMCode"), QString::number(pmCode));
    if (row < 0)
        return std::nullopt;
    NavObject o;
    o.PMCode = pmCode;
    o.MCode = ValueAt(m_objects, row, "MCode").toString();
    o.ObjType = ValueAt(m_objects, row, "ObjType").toInt();
    o.CommandData = ValueAt(m_objects, row, "CommandData").toString();
    return o;
}

bool NavigationCatalogue::ControlAvailable(const QString &key) const
{
    const FaceLookup lookup = ModuleOfControl(key);
    return !lookup.module || HasRight(lookup.module->ObjType);
}

bool NavigationCatalogue::ObjectEntryEnabled(int pmCode) const
{
    const std::optional<NavObject> object = Object(pmCode);
    return object && HasRight(object->ObjType);
}

bool LaunchPageModule(const NavModule &module, const NavigationCatalogue &catalogue,
                      NavigationPageKind page)
{
    const QString refusal = PageLaunchRefusal(module.PackNo, AccountSetState::Current(), page,
                                              NavigationLaunchWay::Control);
    if (!refusal.isEmpty()) {
        ShowWarningMessage(refusal);
        return false;
    }
    if (!catalogue.HasRight(module.ObjType))
        return false;
    OpenModuleBracketed(module.MCode, module.UICommand, module.ParaStr);
    return true;
}

bool LaunchPageObject(int pmCode, const NavigationCatalogue &catalogue, NavigationPageKind page)
{
    const std::optional<NavObject> object = catalogue.Object(pmCode);
    if (!object) {
        ShowWarningMessage(QStringLiteral("系统未对模块对象 ") + QString::number(pmCode) +
                           QStringLiteral(" 进行配置。"));
        return false;
    }
    const std::optional<NavModule> module = catalogue.Module(object->MCode);
    if (!module)
        return false;
    const QString refusal = PageLaunchRefusal(module->PackNo, AccountSetState::Current(), page,
                                              NavigationLaunchWay::ObjectMenu);
    if (!refusal.isEmpty()) {
        ShowWarningMessage(refusal);
        return false;
    }
    if (!catalogue.HasRight(object->ObjType)) {
        ShowInfoMessage(QStringLiteral("系统操作权限限制！"));
        return false;
    }
    OpenModuleBracketed(module->MCode, module->UICommand, object->CommandData);
    return true;
}

} // namespace vexa::gl
