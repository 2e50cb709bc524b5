#pragma once

#include <QString>

namespace vexa::net {

// The servers a user trusted on first use, as ssh keeps its known hosts: a text file with a
// line "host:port fingerprint" per server (the certificate's SHA-256, hex pairs with colons).
// Blank lines and lines starting with '#' are skipped.
class KnownServers
{
public:
    // <GenericConfigLocation>/vexa/known_servers
    static QString defaultPath();

    // Empty: defaultPath().
    explicit KnownServers(const QString &path = QString());

    // The fingerprint pinned for server (ServerAddress::toString()); empty when none is.
    // Throws vexa::Error when the file exists but cannot be read.
    QString pinned(const QString &server) const;

    // Records server's fingerprint, replacing a line for it. The file is written whole under
    // a temporary name and renamed into place, so a crash never leaves it half written.
    void pin(const QString &server, const QString &fingerprint);

    QString path() const { return m_path; }

private:
    QString m_path;
};

} // namespace vexa::net
