#include "ConsoleEnabling.h"

#include "DocFindForm.h"

#include "ClientDataSet.h"
#include "DataAccess.h"
#include "DataModule.h"
#include "Globals.h"
#include "MessageDialogs.h"

#include <vexa/Error.h>
#include <vexa/PluginHost.h>

#include <QWidget>

#include <memory>

namespace vexa::gl {

namespace {

const QString kSharedInfo = QStringLiteral("CDS_SysInitInfo");

// The page's own scratch dataset when it has one, else one that lives as long as this.
class Scratch
{
public:
    explicit Scratch(QWidget *page)
    {
        m_dataSet = page ? page->findChild<ClientDataSet *>(QStringLiteral("cdsPublic")) : nullptr;
        if (!m_dataSet) {
            m_own = std::make_unique<ClientDataSet>();
            m_dataSet = m_own.get();
        }
        if (!m_dataSet->remoteConnection())
            m_dataSet->setRemoteConnection(Globals().Connection);
    }

    ClientDataSet &operator*() const { return *m_dataSet; }

    void reopen(const QString &provider, const QString &command) const
    {
        if (m_dataSet->isActive())
            m_dataSet->close();
        m_dataSet->setProviderName(provider);
        m_dataSet->setCommandText(command);
        m_dataSet->open();
    }

private:
    std::unique_ptr<ClientDataSet> m_own;
    ClientDataSet *m_dataSet = nullptr;
};

ClientDataSet &SharedInfo()
{
    if (!Globals().DataModule)
        throw Error(QStringLiteral("主程序没有提供共享数据模块，无法更新账套信息。"));
    return *Globals().DataModule->requireDataSet(kSharedInfo);
}

void HideStartButton(QWidget *page)
{
    if (!page)
        return;
    if (auto *button = page->findChild<QWidget *>(QStringLiteral("spStartZT")))
        button->setVisible(false);
}

} // namespace

bool ReadUserIsManager(ClientDataSet &scratch, const QString &userId)
{
    if (scratch.isActive())
        scratch.close();
    scratch.setProviderName(QStringLiteral("LX_SysUser"));
    // The id is quoted with any quote in it doubled, so it stays one literal.
    scratch.setCommandText(QStringLiteral("WHERE UserID = '") + QuoteDoubled(userId) +
                           QLatin1Char('\''));
    scratch.open();
    bool manager = false;
    if (!scratch.isEmpty()) {
        scratch.first();
        manager = scratch.asBoolean(QStringLiteral("Manager"));
    }
    scratch.close();
    return manager;
}

QString EnablingRefusal(const ClientDataSet &info)
{
    if (!info.isActive() || info.isEmpty())
        return QStringLiteral("启用账套前，必须进行账套参数配置。");
    if (info.asBoolean(QStringLiteral("InitialAudit")))
        return QStringLiteral("账套已被启用，不可以重新启用账套。");
    if (info.asInteger(QStringLiteral("GLNowPeriodID")) == 0)
        return QStringLiteral("启用账套失败，必须在账套参数配置中指定财务系统启用会计期间。");
    if (info.asString(QStringLiteral("SysCur")).isEmpty() ||
        info.asString(QStringLiteral("CurrName")).isEmpty())
        return QStringLiteral("启用账套失败，必须指定系统本位币。");
    return QString();
}

void MarkAccountSetEnabled(ClientDataSet &info)
{
    info.edit();
    info.setValue(QStringLiteral("InitialAudit"), true);
    info.post();
    ApplyChanges(info, true);
}

bool EnableAccountSet(QWidget *page)
{
    IPluginHost &host = HostRef();
    host.BeginBusy();
    Scratch scratch(page);
    bool manager = false;
    try {
        manager = ReadUserIsManager(*scratch, CurrentUserID());
        if (manager)
            BeginTrans();
    } catch (const std::exception &error) {
        // Nothing was started on the server: only the busy state to end.
        (*scratch).close();
        host.EndBusy(false);
        ShowWarningMessage(errorText(error));
        return false;
    }
    if (!manager) {
        host.EndBusy(false);
        ShowWarningMessage(QStringLiteral("启用账套失败，只有系统管理员才可以启用账套。"));
        return false;
    }

    bool busy = true;
    try {
        // Resolved before anything is written, so a host without the copy changes nothing.
        ClientDataSet &shared = SharedInfo();
        scratch.reopen(QStringLiteral("LX_SysInitInfo"), QString());
        if (!(*scratch).isEmpty())
            (*scratch).first();
        const QString refusal = EnablingRefusal(*scratch);
        if (!refusal.isEmpty())
            throw Error(refusal);
        MarkAccountSetEnabled(*scratch);
        CommitTrans();
        shared.setData((*scratch).data());
        (*scratch).close();
        busy = false;
        host.EndBusy(false);
        HideStartButton(page);
        ShowInfoMessage(QStringLiteral("账套已成功启用！"));
        return true;
    } catch (const std::exception &error) {
        try {
            RollbackTrans();
        } catch (...) {
            // The rollback's own failure must not hide the error that brought us here.
        }
        (*scratch).close();
        ShowWarningMessage(errorText(error));
        if (busy)
            host.EndBusy(false);
        return false;
    }
}

bool EnableAccountSetFromConsole(QWidget *page, bool manager)
{
    return manager && EnableAccountSet(page);
}

} // namespace vexa::gl
