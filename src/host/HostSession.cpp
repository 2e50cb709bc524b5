#include "HostSession.h"

#include "ClientDataSet.h"
#include "DataModule.h"

#include <vexa/Error.h>

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace vexa::host {

namespace {

struct SharedDataSet
{
    const char *name;
    const char *provider;
};

// The datasets the plug-in finds in the shared data module after login.
constexpr SharedDataSet kSharedDataSets[] = {
    {"CDS_SysInitInfo", "LX_SysInitInfo"},
    {"CDS_GLAcct", "LX_DMGLAccountingConfigure"},
    {"CDS_InitSalValue", "LX_InitSalValue"},
};

QString quoted(QString text)
{
    return QLatin1Char('\'') + text.replace(QLatin1Char('\''), QStringLiteral("''")) +
           QLatin1Char('\'');
}

} // namespace

const QString HostSession::kRegistryPath = QStringLiteral("Software\\Corvane\\Vexa\\Client");

QString HostSession::defaultAccountSetPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/demo.vexa");
}

std::unique_ptr<HostSession> HostSession::open(const QString &path, bool createIfMissing,
                                               const server::AppServer::Options &options)
{
    std::unique_ptr<HostSession> s(new HostSession);
    // A first start of an older version, killed while it created the demo set, left a set
    // nobody can log in to; the host made it, so the host makes it again.
    if (createIfMissing)
        server::AppServer::removeEmptyShell(path);
    if (QFileInfo::exists(path)) {
        s->m_link = std::make_unique<LocalLink>(server::AppServer::open(path, options));
    } else {
        if (!createIfMissing)
            throw Error(QStringLiteral("账套文件“%1”不存在。").arg(QDir::toNativeSeparators(path)));
        const QString folder = QFileInfo(path).absolutePath();
        if (!QDir().mkpath(folder))
            throw Error(
                QStringLiteral("无法创建文件夹“%1”。").arg(QDir::toNativeSeparators(folder)));
        s->m_link = std::make_unique<LocalLink>(server::AppServer::create(path, true, options));
    }
    s->makeDataModule();
    return s;
}

std::unique_ptr<HostSession> HostSession::connect(const net::ServerAddress &address,
                                                  const QString &set,
                                                  const net::ClientSecurity &security)
{
    std::unique_ptr<HostSession> s(new HostSession);
    s->m_link = std::make_unique<NetLink>(address, set, security);
    s->makeDataModule();
    return s;
}

void HostSession::makeDataModule()
{
    m_dataModule = std::make_unique<DataModule>();
    m_dataModule->setObjectName(QStringLiteral("DataModule"));
    m_dataModule->setRemoteConnection(m_link.get());
}

HostSession::~HostSession()
{
    // The datasets hold the connection: free them first.
    m_dataModule.reset();
    m_link.reset();
}

QString HostSession::path() const
{
    return m_link->place();
}

QString HostSession::serverText() const
{
    const auto *net = dynamic_cast<const NetLink *>(m_link.get());
    return net ? net->address().toString() : QString();
}

QString HostSession::setName() const
{
    const auto *net = dynamic_cast<const NetLink *>(m_link.get());
    return net ? net->setName() : m_link->place();
}

void HostSession::setLostHandler(std::function<void()> handler)
{
    if (auto *net = dynamic_cast<NetLink *>(m_link.get()))
        net->onLost = std::move(handler);
}

bool HostSession::readOnly() const
{
    // A server tells only a logged-in client.
    if (m_link->remote() && (!m_link->loggedIn() || m_link->lost()))
        return false;
    try {
        return m_link->readOnly();
    } catch (const Error &) {
        // A server that cannot tell (gone meanwhile) still refuses every save itself.
        return false;
    }
}

QString HostSession::readOnlyNotice() const
{
    if (!readOnly())
        return {};
    return QStringLiteral("账套“%1”是只读的：可以查看数据，不能保存更改。")
        .arg(m_link->remote() ? path() : QDir::toNativeSeparators(path()));
}

void HostSession::changePassword(const QString &oldPassword, const QString &newPassword)
{
    QVariantList args{oldPassword, newPassword};
    // Modifyps answers with a code, not an exception: 0 done, -2 a wrong old password.
    if (m_link->call(QStringLiteral("Modifyps"), args).toInt() != 0)
        throw Error(m_link->lastError());
}

void HostSession::login(const QString &userCode, const QString &password)
{
    const bool first = !m_link->loggedIn();
    m_link->login(userCode, password);
    afterLogin(first);
}

void HostSession::beginLogin(const QString &userCode, const QString &password)
{
    m_begunFirst = !m_link->loggedIn();
    m_link->beginLogin(userCode, password);
}

void HostSession::finishLogin()
{
    m_link->finishLogin();
    afterLogin(m_begunFirst);
}

void HostSession::afterLogin(bool first)
{
    if (first) {
        openSharedDataSets();
    } else {
        m_hasRelogin = true;
        refreshSharedDataSets();
    }
}

bool HostSession::loggedIn() const
{
    return m_link->loggedIn();
}

const server::SessionInfo &HostSession::session() const
{
    return m_link->session();
}

void HostSession::openSharedDataSets()
{
    for (const SharedDataSet &d : kSharedDataSets) {
        auto *ds = new ClientDataSet;
        ds->setObjectName(QString::fromLatin1(d.name));
        ds->setRemoteConnection(m_link.get());
        ds->setProviderName(QString::fromLatin1(d.provider));
        ds->setCommandText(QStringLiteral("WHERE 1=1"));
        m_dataModule->addDataSet(ds);
        ds->open();
    }
}

void HostSession::refreshSharedDataSets()
{
    for (const SharedDataSet &d : kSharedDataSets) {
        ClientDataSet *ds = m_dataModule->requireDataSet(QString::fromLatin1(d.name));
        ds->close();
        ds->open();
    }
}

double HostSession::dayNumber(const QDateTime &dateTime, bool withTime)
{
    static const QDate epoch(1899, 12, 30);
    double days = double(epoch.daysTo(dateTime.date()));
    if (withTime)
        days += double(dateTime.time().msecsSinceStartOfDay()) / 86400000.0;
    return days;
}

QVariant HostSession::value(const QString &name) const
{
    const auto is = [&](const char *key) {
        return name.compare(QLatin1String(key), Qt::CaseInsensitive) == 0;
    };
    static const QString mcode = QStringLiteral("MCODE:");
    if (name.startsWith(mcode, Qt::CaseInsensitive))
        return module(name.mid(mcode.size())).formClass;
    if (is("REGPATH"))
        return kRegistryPath;
    if (is("DesignModule"))
        return m_designMode;
    if (is("DATE"))
        return dayNumber(m_link->serverDateTime(), false);
    if (is("DateTime"))
        return dayNumber(m_link->serverDateTime(), true);
    if (is("UserID"))
        return session().userId;
    if (is("UserName"))
        return session().userName;
    if (is("UserGroup")) // also "USERGROUP"
        return session().userGroup;
    if (is("HASRELOGIN"))
        return m_hasRelogin;
    return {};
}

QList<ModuleInfo> HostSession::modules(const QString &commandText) const
{
    ClientDataSet ds;
    ds.setRemoteConnection(m_link.get());
    ds.setProviderName(QStringLiteral("SYS_SMModules"));
    ds.setCommandText(commandText);
    ds.open();
    QList<ModuleInfo> result;
    for (ds.first(); !ds.eof(); ds.next()) {
        ModuleInfo m;
        m.code = ds.asString(QStringLiteral("MCode"));
        m.caption = ds.asString(QStringLiteral("MDesc"));
        m.formClass = ds.asString(QStringLiteral("FormClass")).trimmed();
        m.dllFile = ds.asString(QStringLiteral("DllFile")).trimmed();
        m.found = true;
        result.append(m);
    }
    return result;
}

ModuleInfo HostSession::module(const QString &code) const
{
    const QList<ModuleInfo> rows = modules(QStringLiteral("WHERE MCode = ") + quoted(code));
    return rows.isEmpty() ? ModuleInfo{code, {}, {}, {}, false} : rows.first();
}

QList<ModuleInfo> HostSession::pageModules() const
{
    // A module without a page class is no plug-in's page, whatever library it names.
    return modules(QStringLiteral("WHERE FormClass IS NOT NULL"));
}

} // namespace vexa::host
