#pragma once

#include "DataPacket.h"

#include <QString>
#include <QVariant>

namespace vexa {

// The application server as the client sees it: named operations and the provider
// interface's apply-updates. Every call is synchronous; a failing call throws
// vexa::Error with the call's message.
class IAppServer
{
public:
    virtual ~IAppServer() = default;

    // Applies a delta to the provider's table. All or nothing: when errorCount comes
    // back above 0 nothing was written and the server's last error text tells why.
    // maxErrors -1 means no limit. ownerData is passed through for the caller.
    virtual void applyUpdates(const QString &provider, const DeltaPacket &delta, int maxErrors,
                              int &errorCount, QVariant &ownerData) = 0;

    // Late-bound call of a named operation. Arguments the operation takes by reference
    // are written back into args.
    virtual QVariant call(const QString &operation, QVariantList &args) = 0;

    QVariant call(const QString &operation)
    {
        QVariantList none;
        return call(operation, none);
    }
};

// The remote connection a host owns: provider requests and the server reference.
class IRemoteConnection
{
public:
    virtual ~IRemoteConnection() = default;

    // Rows of a provider under a command text ("[TOP n] [WHERE ...] [ORDER BY ...]").
    // Throws vexa::Error with the server's message when the request is refused.
    virtual DataPacket request(const QString &provider, const QString &commandText) = 0;

    virtual IAppServer *appServer() = 0;
};

} // namespace vexa
