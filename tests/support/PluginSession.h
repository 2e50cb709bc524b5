#pragma once

// A test host installed as the plug-in's host for as long as the session lives, and the
// account-set information the launch checks read.

#include "ClientDataSet.h"
#include "Globals.h"
#include "support/TestHost.h"

#include <memory>
#include <type_traits>

namespace vexa::test {

template <typename Host = TestHost> struct PluginSession
{
    std::unique_ptr<Host> host;

    explicit PluginSession(const char *user = "Manager", const char *password = "manager")
    {
        if constexpr (std::is_constructible_v<Host, const char *, const char *>)
            host = std::make_unique<Host>(user, password);
        else
            host = std::make_unique<Host>(); // logged in as the manager

        gl::Globals().Host = host.get();
        gl::Globals().Connection = host->GetConnection();
        gl::Globals().AppServer = host->connection.get();
        gl::Globals().DataModule = &host->dataModule;
    }
    ~PluginSession() { gl::Globals() = gl::PluginGlobals(); }
    PluginSession(const PluginSession &) = delete;
    PluginSession &operator=(const PluginSession &) = delete;

    Host *operator->() const { return host.get(); }
};

// Sets the host's copy of the account-set information (the server is not touched).
inline void SetAccountSet(TestHost &host, bool enabled, int glStart, int cashierStart)
{
    ClientDataSet &info = host.info();
    if (info.isEmpty()) {
        info.append();
        info.setValue(QStringLiteral("DefID"), 1);
        info.setValue(QStringLiteral("UseOrg"), QStringLiteral("测试公司"));
        info.setValue(QStringLiteral("SysCur"), QStringLiteral("RMB"));
        info.setValue(QStringLiteral("CurrName"), QStringLiteral("人民币"));
        info.setValue(QStringLiteral("AcctTempDesc"), QStringLiteral("A01000"));
    } else {
        info.first();
        info.edit();
    }
    info.setValue(QStringLiteral("InitialAudit"), enabled);
    info.setValue(QStringLiteral("GLStartPeriodID"), glStart);
    info.setValue(QStringLiteral("CashierStartPeriodID"), cashierStart);
    info.post();
}

} // namespace vexa::test
