#pragma once

// Rows of the console's module tree (SYS_SMModuleTree) written and read past the console,
// through the plug-in's connection or, as another user would, through a second session.

#include "AppServer.h"
#include "ClientDataSet.h"
#include "DataAccess.h"

#include <QStringList>
#include <QUuid>

namespace vexa::test {

// Adds a node row; answers its id.
inline QString InsertTreeRow(const QString &parent, const QString &name, int sort,
                             const QString &owner = QString())
{
    auto ds = gl::ProviderDataSet(QStringLiteral("SYS_SMModuleTree"), QStringLiteral("WHERE 1=0"));
    const QString id = QUuid::createUuid().toString(QUuid::WithBraces).toUpper();
    ds->append();
    ds->setValue(QStringLiteral("NodeID"), id);
    ds->setValue(QStringLiteral("ParentID"), parent);
    if (!owner.isEmpty())
        ds->setValue(QStringLiteral("UserID"), owner);
    ds->setValue(QStringLiteral("NodeDesc"), name);
    ds->setValue(QStringLiteral("Sort"), sort);
    gl::ApplyChanges(*ds, true);
    return id;
}

inline std::unique_ptr<ClientDataSet> TreeRow(const QString &id)
{
    return gl::ProviderDataSet(QStringLiteral("SYS_SMModuleTree"),
                               QStringLiteral("WHERE NodeID = '%1'").arg(id));
}

// "name:sort" of the children of parent on the server, in place order.
inline QStringList TreeChildren(const QString &parent)
{
    auto ds =
        gl::ProviderDataSet(QStringLiteral("SYS_SMModuleTree"),
                            QStringLiteral("WHERE ParentID = '%1' ORDER BY Sort").arg(parent));
    QStringList out;
    for (ds->first(); !ds->eof(); ds->next())
        out << ds->asString(QStringLiteral("NodeDesc")) + QLatin1Char(':') +
                   ds->asString(QStringLiteral("Sort"));
    return out;
}

// Another user's session renames a node row (deletes it for an empty name).
inline void ChangeTreeRowElsewhere(server::AppServer &server, const QString &id,
                                   const QString &name)
{
    const auto other = server.connect();
    other->login(QStringLiteral("Manager"), QStringLiteral("manager"));
    ClientDataSet ds;
    ds.setRemoteConnection(other.get());
    ds.setProviderName(QStringLiteral("SYS_SMModuleTree"));
    ds.setCommandText(QStringLiteral("WHERE NodeID = '%1'").arg(id));
    ds.open();
    if (name.isEmpty()) {
        ds.deleteRecord();
    } else {
        ds.edit();
        ds.setValue(QStringLiteral("NodeDesc"), name);
        ds.post();
    }
    int errors = 0;
    QVariant owner;
    other->applyUpdates(ds.providerName(), ds.delta(), -1, errors, owner);
    if (errors != 0)
        qFatal("the other session's change was refused");
}

} // namespace vexa::test
