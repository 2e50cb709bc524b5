#include "Certificates.h"

#include <vexa/Error.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <memory>
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace vexa::net {

namespace {

template <auto Free> struct Deleter
{
    template <typename T> void operator()(T *p) const { Free(p); }
};
using Bio = std::unique_ptr<BIO, Deleter<BIO_free_all>>;
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using Cert = std::unique_ptr<X509, Deleter<X509_free>>;
using Extension = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION_free>>;
using BigNum = std::unique_ptr<BIGNUM, Deleter<BN_free>>;

// The reason OpenSSL gives, for the message.
QString openSslReason()
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return QString();
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return QString::fromLatin1(text);
}

[[noreturn]] void fail(const QString &what)
{
    const QString reason = openSslReason();
    throw Error(reason.isEmpty() ? what : QStringLiteral("%1（%2）").arg(what, reason));
}

Bio readBio(const QByteArray &pem)
{
    return Bio(BIO_new_mem_buf(pem.constData(), int(pem.size())));
}

QByteArray drain(BIO *bio)
{
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return QByteArray(data, size);
}

Cert readCertificate(const QByteArray &pem)
{
    Bio bio = readBio(pem);
    Cert cert(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
    if (!cert)
        fail(QStringLiteral("不是 PEM 格式的证书。"));
    return cert;
}

void addExtension(X509 *cert, int nid, const QString &value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    Extension ext(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.toUtf8().constData()));
    if (!ext || !X509_add_ext(cert, ext.get(), -1))
        fail(QStringLiteral("无法为证书设置扩展“%1”。").arg(value));
}

} // namespace

Certificates::KeyPair Certificates::makeSelfSigned(const QStringList &hosts, int validDays)
{
    if (hosts.isEmpty())
        throw Error(QStringLiteral("证书至少要有一个主机名或 IP 地址。"));
    QStringList names;
    for (const QString &host : hosts) {
        const QString h = host.trimmed();
        if (h.isEmpty() || h.contains(u',') || h.contains(u' '))
            throw Error(QStringLiteral("“%1”不是有效的主机名或 IP 地址。").arg(host));
        names.append(QHostAddress(h).isNull() ? QStringLiteral("DNS:") + h
                                              : QStringLiteral("IP:") + h);
    }

    Key key(EVP_EC_gen("P-256"));
    if (!key)
        fail(QStringLiteral("无法生成私钥。"));
    Cert cert(X509_new());
    if (!cert || !X509_set_version(cert.get(), 2))
        fail(QStringLiteral("无法生成证书。"));
    // A random serial: a re-made certificate must not look like the one it replaces.
    BigNum serial(BN_new());
    if (!serial || !BN_rand(serial.get(), 127, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) ||
        !BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(cert.get())))
        fail(QStringLiteral("无法生成证书序列号。"));
    if (!X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0) ||
        !X509_time_adj_ex(X509_getm_notAfter(cert.get()), validDays, 0, nullptr))
        fail(QStringLiteral("无法设置证书的有效期。"));
    X509_NAME *name = X509_get_subject_name(cert.get());
    const QByteArray cn = hosts.first().trimmed().toUtf8();
    if (!X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8,
                                    reinterpret_cast<const unsigned char *>("Vexa"), -1, -1, 0) ||
        !X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                    reinterpret_cast<const unsigned char *>(cn.constData()),
                                    int(cn.size()), -1, 0) ||
        !X509_set_issuer_name(cert.get(), name) || !X509_set_pubkey(cert.get(), key.get()))
        fail(QStringLiteral("无法设置证书的名称。"));
    // Its own CA: a client may name this very file as the CA it trusts.
    addExtension(cert.get(), NID_basic_constraints, QStringLiteral("critical,CA:TRUE"));
    addExtension(cert.get(), NID_subject_key_identifier, QStringLiteral("hash"));
    addExtension(cert.get(), NID_subject_alt_name, names.join(u','));
    if (!X509_sign(cert.get(), key.get(), EVP_sha256()))
        fail(QStringLiteral("无法签署证书。"));

    KeyPair pair;
    Bio certOut(BIO_new(BIO_s_mem()));
    Bio keyOut(BIO_new(BIO_s_mem()));
    if (!certOut || !keyOut || !PEM_write_bio_X509(certOut.get(), cert.get()) ||
        !PEM_write_bio_PrivateKey(keyOut.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr))
        fail(QStringLiteral("无法写出证书和私钥。"));
    pair.certificatePem = drain(certOut.get());
    pair.privateKeyPem = drain(keyOut.get());
    return pair;
}

QString Certificates::fingerprintOfDer(const QByteArray &der)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(der, QCryptographicHash::Sha256).toHex(':').toUpper());
}

QString Certificates::fingerprint(const QByteArray &certificatePem)
{
    Cert cert = readCertificate(certificatePem);
    unsigned char *der = nullptr;
    const int size = i2d_X509(cert.get(), &der);
    if (size <= 0)
        fail(QStringLiteral("无法读取证书。"));
    const QByteArray bytes(reinterpret_cast<const char *>(der), size);
    OPENSSL_free(der);
    return fingerprintOfDer(bytes);
}

void Certificates::checkKeyMatches(const QByteArray &certificatePem,
                                   const QByteArray &privateKeyPem)
{
    Cert cert = readCertificate(certificatePem);
    Bio bio = readBio(privateKeyPem);
    Key key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
    if (!key)
        fail(QStringLiteral("不是 PEM 格式的私钥（或私钥有密码保护）。"));
    if (X509_check_private_key(cert.get(), key.get()) != 1) {
        ERR_clear_error();
        throw Error(QStringLiteral("私钥与证书不匹配。"));
    }
}

QString Certificates::writeFiles(const QString &dir, const QStringList &hosts)
{
    const QDir folder(dir);
    const QString keyPath = folder.filePath(QStringLiteral("server.key"));
    const QString certPath = folder.filePath(QStringLiteral("server.crt"));
    for (const QString &path : {keyPath, certPath})
        if (QFileInfo::exists(path))
            throw Error(QStringLiteral("文件“%1”已存在，不会覆盖。").arg(path));
    if (!QDir().mkpath(dir))
        throw Error(QStringLiteral("无法创建文件夹“%1”。").arg(dir));
    const KeyPair pair = makeSelfSigned(hosts);

    const auto write = [](const QString &path, const QByteArray &data,
                          QFileDevice::Permissions permissions) {
        QFile file(path);
        // NewOnly: a file made meanwhile by someone else is not replaced either.
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, permissions) ||
            file.write(data) != data.size() || !file.flush()) {
            const QString reason = file.errorString();
            if (file.isOpen())
                file.remove();
            throw Error(QStringLiteral("无法写入“%1”：%2").arg(path, reason));
        }
    };
    write(keyPath, pair.privateKeyPem, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    try {
        write(certPath, pair.certificatePem,
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                  QFileDevice::ReadOther);
    } catch (...) {
        QFile::remove(keyPath);
        throw;
    }
    return fingerprint(pair.certificatePem);
}

} // namespace vexa::net
