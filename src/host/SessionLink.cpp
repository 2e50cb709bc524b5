#include "SessionLink.h"

#include "DataPacket.h"

#include <vexa/Error.h>

#include <QSqlDriver>

namespace vexa::host {

void SessionLink::beginLogin(const QString &userCode, const QString &password)
{
    m_begunFailure = nullptr;
    try {
        m_begun = login(userCode, password);
    } catch (...) {
        m_begunFailure = std::current_exception();
    }
}

server::SessionInfo SessionLink::finishLogin()
{
    if (m_begunFailure)
        std::rethrow_exception(std::exchange(m_begunFailure, nullptr));
    return m_begun;
}

LocalLink::LocalLink(std::unique_ptr<server::AppServer> server)
    : m_server(std::move(server)), m_connection(m_server->connect())
{}

LocalLink::~LocalLink()
{
    if (m_checking)
        m_checking->wait();
    m_connection.reset(); // before the set it belongs to
}

server::SessionInfo LocalLink::login(const QString &userCode, const QString &password)
{
    return m_connection->login(userCode, password);
}

void LocalLink::beginLogin(const QString &userCode, const QString &password)
{
    m_begunFailure = nullptr;
    // A database connection is used by one thread at a time, the one its driver belongs to:
    // the driver goes to the worker for the login, and the worker hands it back when done.
    QObject *driver = m_connection->database().driver();
    QThread *home = QThread::currentThread();
    // A copy of its own that nothing shares, so that wiping it wipes the characters.
    QString own(password.constData(), password.size());
    m_checking.reset(
        QThread::create([this, driver, home, userCode, own = std::move(own)]() mutable {
            try {
                m_begun = m_connection->login(userCode, own);
            } catch (...) {
                m_begunFailure = std::current_exception();
            }
            own.fill(QChar(0));
            driver->moveToThread(home);
        }));
    driver->moveToThread(m_checking.get());
    m_checking->start();
}

server::SessionInfo LocalLink::finishLogin()
{
    if (m_checking) {
        m_checking->wait();
        m_checking.reset();
    }
    return SessionLink::finishLogin();
}

DataPacket LocalLink::request(const QString &provider, const QString &commandText)
{
    return m_connection->request(provider, commandText);
}

void LocalLink::applyUpdates(const QString &provider, const DeltaPacket &delta, int maxErrors,
                             int &errorCount, QVariant &ownerData)
{
    m_connection->applyUpdates(provider, delta, maxErrors, errorCount, ownerData);
}

QVariant LocalLink::call(const QString &operation, QVariantList &args)
{
    return m_connection->call(operation, args);
}

NetLink::NetLink(net::ServerAddress address, QString set, net::ClientSecurity security,
                 int timeoutMs)
    : m_address(std::move(address)), m_set(std::move(set)), m_security(std::move(security)),
      m_timeoutMs(timeoutMs)
{}

NetLink::~NetLink()
{
    if (!m_connection)
        return;
    try {
        m_connection->logout();
    } catch (const Error &) {
        // The server is gone already; nothing to end there.
    }
}

QString NetLink::place() const
{
    return m_set.isEmpty() ? m_address.toString()
                           : QStringLiteral("%1/%2").arg(m_address.toString(), m_set);
}

server::SessionInfo NetLink::login(const QString &userCode, const QString &password)
{
    // A fresh connection for every login: the server takes one login per connection. The
    // current one stays until the new login succeeded, so a refusal changes nothing.
    auto next = std::make_unique<net::NetConnection>(m_address, m_security, m_timeoutMs);
    const server::SessionInfo s = next->login(m_set, userCode, password);
    std::swap(m_connection, next);
    m_session = s;
    m_readOnly.reset();
    m_toldLost = false;
    if (next && next->connected()) {
        try {
            next->logout();
        } catch (const Error &) {
            // The old connection went meanwhile; the new login stands.
        }
    }
    return s;
}

net::NetConnection &NetLink::live()
{
    if (!m_connection)
        throw Error(QStringLiteral("尚未登录，请先登录。"));
    return *m_connection;
}

template <typename Work> auto NetLink::watched(Work work) -> decltype(work())
{
    try {
        return work();
    } catch (const Error &) {
        if (lost() && !m_toldLost) {
            m_toldLost = true;
            if (onLost)
                onLost();
        }
        throw;
    }
}

DataPacket NetLink::request(const QString &provider, const QString &commandText)
{
    return watched([&] { return live().request(provider, commandText); });
}

void NetLink::applyUpdates(const QString &provider, const DeltaPacket &delta, int maxErrors,
                           int &errorCount, QVariant &ownerData)
{
    watched([&] { live().applyUpdates(provider, delta, maxErrors, errorCount, ownerData); });
}

QVariant NetLink::call(const QString &operation, QVariantList &args)
{
    return watched([&] { return live().call(operation, args); });
}

QDateTime NetLink::serverDateTime()
{
    return watched([&] { return live().serverDateTime(); });
}

QString NetLink::lastError()
{
    return watched([&] { return live().lastError(); });
}

bool NetLink::readOnly()
{
    if (!m_readOnly) {
        const DataPacket info = readDataPacket(call(QStringLiteral("GetSetInfo")).toString());
        const int column = indexOfField(info.fields, QStringLiteral("ReadOnly"));
        m_readOnly = column >= 0 && !info.rows.empty() && info.rows[0][column].toBool();
    }
    return *m_readOnly;
}

} // namespace vexa::host
