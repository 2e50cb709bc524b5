#include "LoginMark.h"

#include <QCryptographicHash>
#include <QFile>

#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace vexa::server {

namespace {

// 2^40 onwards: SQLite locks bytes near 2^30 only. Two names on one byte would only make
// the removal of one of them a disabling, never the other way round.
off_t markOffset(const QString &userCode)
{
    const QByteArray digest =
        QCryptographicHash::hash(userCode.toLower().toUtf8(), QCryptographicHash::Sha1);
    quint32 n = 0;
    std::memcpy(&n, digest.constData(), sizeof n);
    return (off_t(1) << 40) + off_t(n);
}

struct flock markRange(short type, const QString &userCode)
{
    struct flock range
    {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = markOffset(userCode);
    range.l_len = 1;
    range.l_pid = 0; // open-file locks require it
    return range;
}

int openSet(const QString &path)
{
    return ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
}

} // namespace

std::unique_ptr<LoginMark> LoginMark::take(const QString &path, const QString &userCode)
{
    const int fd = openSet(path);
    if (fd < 0)
        return nullptr;
    struct flock range = markRange(F_RDLCK, userCode);
    if (::fcntl(fd, F_OFD_SETLK, &range) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<LoginMark>(new LoginMark(fd));
}

bool LoginMark::held(const QString &path, const QString &userCode)
{
    const int fd = openSet(path);
    if (fd < 0)
        return false;
    struct flock range = markRange(F_WRLCK, userCode);
    const bool asked = ::fcntl(fd, F_OFD_GETLK, &range) == 0;
    ::close(fd);
    return asked && range.l_type != F_UNLCK;
}

LoginMark::~LoginMark()
{
    ::close(m_fd);
}

} // namespace vexa::server
