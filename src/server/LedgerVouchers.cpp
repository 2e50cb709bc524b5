#include "AppServer.h"

namespace vexa::server {

std::optional<QVariant> ServerConnection::voucherCall(const QString &operation, QVariantList &args)
{
    Q_UNUSED(operation);
    Q_UNUSED(args);
    return std::nullopt;
}

} // namespace vexa::server
