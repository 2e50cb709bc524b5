#include "ServerAddress.h"

namespace vexa::net {

std::optional<ServerAddress> ServerAddress::parse(const QString &input)
{
    const QString text = input.trimmed();
    ServerAddress a;
    QString portText;
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        if (close < 0)
            return std::nullopt;
        a.host = text.mid(1, close - 1);
        const QString rest = text.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(u':'))
                return std::nullopt;
            portText = rest.mid(1);
        }
    } else if (text.count(u':') == 1) {
        const qsizetype colon = text.indexOf(u':');
        a.host = text.left(colon);
        portText = text.mid(colon + 1);
    } else if (text.count(u':') > 1) {
        a.host = text; // a bare IPv6 address takes the default port
    } else {
        a.host = text;
    }
    if (a.host.isEmpty() || a.host.contains(u' '))
        return std::nullopt;
    if (!portText.isNull()) {
        bool ok = false;
        const uint port = portText.toUInt(&ok);
        if (!ok || port == 0 || port > 65535)
            return std::nullopt;
        a.port = quint16(port);
    }
    return a;
}

QString ServerAddress::toString() const
{
    const QString h = host.contains(u':') ? u'[' + host + u']' : host;
    return h + u':' + QString::number(port);
}

} // namespace vexa::net
