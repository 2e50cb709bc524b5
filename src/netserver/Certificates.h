#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vexa::net {

// A server's own key and self-signed certificate, made with OpenSSL's libcrypto, and the
// fingerprint by which clients pin a certificate. Everything throws vexa::Error in Chinese.
class Certificates
{
public:
    struct KeyPair
    {
        QByteArray certificatePem;
        QByteArray privateKeyPem; // PKCS#8, unencrypted
    };

    static constexpr int kValidDays = 3650;

    // An EC P-256 key and a certificate for these host names and IP addresses (its
    // subjectAltName; the first is also the common name), valid from now for validDays.
    static KeyPair makeSelfSigned(const QStringList &hosts, int validDays = kValidDays);

    // SHA-256 of the certificate's DER form, upper-case hex pairs joined by colons, as
    // `openssl x509 -noout -fingerprint -sha256` prints it and as the client shows it.
    static QString fingerprintOfDer(const QByteArray &der);
    static QString fingerprint(const QByteArray &certificatePem);

    // Throws unless the private key belongs to the certificate.
    static void checkKeyMatches(const QByteArray &certificatePem, const QByteArray &privateKeyPem);

    // Writes dir/server.key (mode 0600) and dir/server.crt; refuses when either exists, so
    // a key in use is never replaced. Makes dir when missing. Returns the fingerprint.
    static QString writeFiles(const QString &dir, const QStringList &hosts);
};

} // namespace vexa::net
