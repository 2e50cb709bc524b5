#include "Passwords.h"

#include <vexa/Error.h>

#include <QByteArray>
#include <QFile>
#include <mutex>
#include <sodium.h>

namespace vexa::server {

namespace {

void ensureSodium()
{
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = sodium_init() >= 0; });
    if (!ready)
        throw Error(QStringLiteral("密码库无法初始化。"));
}

// The password as UTF-8 for libsodium, wiped as soon as the call is done.
class Utf8Secret
{
public:
    explicit Utf8Secret(const QString &text) : m_bytes(text.toUtf8()) {}
    ~Utf8Secret()
    {
        if (!m_bytes.isEmpty())
            sodium_memzero(m_bytes.data(), size_t(m_bytes.size()));
    }
    Utf8Secret(const Utf8Secret &) = delete;
    Utf8Secret &operator=(const Utf8Secret &) = delete;

    const char *data() const { return m_bytes.constData(); }
    unsigned long long size() const { return static_cast<unsigned long long>(m_bytes.size()); }

private:
    QByteArray m_bytes;
};

constexpr char kArgon2idPrefix[] = "$argon2id$";

} // namespace

QString hashPassword(const QString &password, PasswordCost cost)
{
    ensureSodium();
    const unsigned long long ops = cost == PasswordCost::Fast ? crypto_pwhash_OPSLIMIT_MIN
                                                              : crypto_pwhash_OPSLIMIT_INTERACTIVE;
    const size_t mem = cost == PasswordCost::Fast ? crypto_pwhash_MEMLIMIT_MIN
                                                  : crypto_pwhash_MEMLIMIT_INTERACTIVE;
    const Utf8Secret secret(password);
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(out, secret.data(), secret.size(), ops, mem,
                              crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw Error(QStringLiteral("无法计算密码摘要：内存不足。"));
    return QString::fromLatin1(out);
}

QString readPasswordFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("无法读取密码文件“%1”：%2").arg(path, f.errorString()));
    // Only the start is read: a password is short, and a wrong path must not read a disk image.
    QByteArray line = f.read(4096);
    const qsizetype end = line.indexOf('\n');
    if (end >= 0)
        line.truncate(end);
    if (line.endsWith('\r'))
        line.chop(1);
    if (line.isEmpty())
        throw Error(QStringLiteral("密码文件“%1”的第一行是空的。").arg(path));
    QString password = QString::fromUtf8(line);
    sodium_memzero(line.data(), size_t(line.size()));
    return password;
}

bool isPasswordHash(const QString &hash)
{
    // A stored hash is short printable ASCII; anything else (an embedded NUL that would cut
    // the C string, another algorithm, garbage) is refused before libsodium sees it.
    if (hash.size() >= int(crypto_pwhash_STRBYTES) ||
        !hash.startsWith(QLatin1String(kArgon2idPrefix)))
        return false;
    for (const QChar c : hash) {
        if (c.unicode() < 0x21 || c.unicode() > 0x7e)
            return false;
    }
    return true;
}

bool verifyPassword(const QString &hash, const QString &password)
{
    if (!isPasswordHash(hash))
        return false;
    try {
        ensureSodium();
    } catch (const Error &) {
        return false;
    }
    const QByteArray stored = hash.toLatin1();
    const Utf8Secret secret(password);
    return crypto_pwhash_str_verify(stored.constData(), secret.data(), secret.size()) == 0;
}

} // namespace vexa::server
