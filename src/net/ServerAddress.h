#pragma once

#include <QString>
#include <optional>

namespace vexa::net {

// Where a vexa-server listens, as users write it: "host", "host:port", "[v6]:port".
struct ServerAddress
{
    static constexpr quint16 kDefaultPort = 7070;

    QString host;
    quint16 port = kDefaultPort;

    // Null for an empty host, a port that is not 1..65535, or an unbracketed IPv6 address
    // with a port.
    static std::optional<ServerAddress> parse(const QString &text);
    // "host:port", IPv6 in brackets.
    QString toString() const;
    bool operator==(const ServerAddress &) const = default;
};

} // namespace vexa::net
