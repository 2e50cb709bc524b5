#include "AccountSetFile.h"

#include <vexa/Error.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace vexa::server {

namespace {

const QLatin1String kPendingMark(".creating-");
constexpr const char *kSideFiles[] = {"-journal", "-wal", "-shm"};

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

QString pendingPrefix(const QString &target)
{
    return QLatin1Char('.') + QFileInfo(target).fileName() + kPendingMark;
}

void removeWithSideFiles(const QString &path)
{
    QFile::remove(path);
    for (const char *suffix : kSideFiles)
        QFile::remove(path + QLatin1String(suffix));
}

// rename() would silently replace a set another run made meanwhile.
int renameNoReplace(const QByteArray &from, const QByteArray &to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
    // A file system without RENAME_NOREPLACE: a hard link fails on an existing name too.
    if (::link(from.constData(), to.constData()) != 0)
        return -1;
    ::unlink(from.constData());
    return 0;
}

void syncFolder(const QString &folder)
{
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        const QString reason = systemError();
        if (fd >= 0)
            ::close(fd);
        throw Error(QStringLiteral("无法写入文件夹“%1”：%2").arg(folder, reason));
    }
    ::close(fd);
}

} // namespace

qint64 fileSystemType(const QString &path)
{
    struct statfs info
    {};
    if (::statfs(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return qint64(info.f_type);
}

QString networkFileSystemName(qint64 type)
{
    // linux/magic.h; f_type is a signed word on 32-bit systems, so compare 32 bits.
    switch (quint32(type)) {
    case 0x6969u:
        return QStringLiteral("NFS");
    case 0x517Bu:
    case 0xFE534D42u: // SMB2
        return QStringLiteral("SMB");
    case 0xFF534D42u:
        return QStringLiteral("CIFS");
    default:
        return QString();
    }
}

void refuseNetworkFileSystem(const QString &path, qint64 type)
{
    const QString name = networkFileSystemName(type);
    if (name.isEmpty())
        return;
    throw Error(QStringLiteral("账套文件“%1”位于网络文件系统（%2）上，不能直接打开：几台电脑同时"
                               "使用同一个文件会损坏账套。请把账套放在本机磁盘上；多人共用一个"
                               "账套，请在存放它的电脑上运行 vexa-server。")
                    .arg(QDir::toNativeSeparators(path), name));
}

PendingSetFile::PendingSetFile(const QString &target)
    : m_target(QFileInfo(target).absoluteFilePath())
{
    const QString folder = QFileInfo(m_target).absolutePath();
    const QString prefix = folder + QLatin1Char('/') + pendingPrefix(m_target);
    for (int attempt = 0; m_fd < 0; ++attempt) {
        m_path = prefix + QString::number(QRandomGenerator::global()->generate(), 16);
        m_fd = ::open(QFile::encodeName(m_path).constData(),
                      O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (m_fd < 0 && (errno != EEXIST || attempt == 8))
            throw Error(QStringLiteral("无法在文件夹“%1”中创建账套文件：%2")
                            .arg(QDir::toNativeSeparators(folder), systemError()));
    }
    // Another run's removeAbandoned may have taken the file between open and lock: then the
    // name no longer leads to the locked file.
    struct stat locked
    {
    }, named{};
    if (::flock(m_fd, LOCK_EX) != 0 || ::fstat(m_fd, &locked) != 0 ||
        ::stat(QFile::encodeName(m_path).constData(), &named) != 0 ||
        locked.st_ino != named.st_ino || locked.st_dev != named.st_dev) {
        const QString reason = systemError();
        ::close(m_fd);
        m_fd = -1;
        throw Error(QStringLiteral("无法锁定新的账套文件“%1”：%2")
                        .arg(QDir::toNativeSeparators(m_path), reason));
    }
}

PendingSetFile::~PendingSetFile()
{
    if (!m_published)
        removeWithSideFiles(m_path);
    // Closing this descriptor drops the process's POSIX locks on the file too: SQLite's
    // connections to it must be gone by now.
    if (m_fd >= 0)
        ::close(m_fd);
}

void PendingSetFile::publish(bool replace)
{
    for (const char *suffix : kSideFiles)
        if (QFileInfo::exists(m_path + QLatin1String(suffix)))
            throw Error(QStringLiteral("新的账套文件“%1”还没有完整写入。")
                            .arg(QDir::toNativeSeparators(m_path)));
    if (::fsync(m_fd) != 0)
        throw Error(QStringLiteral("无法写入账套文件“%1”：%2")
                        .arg(QDir::toNativeSeparators(m_path), systemError()));
    const QByteArray from = QFile::encodeName(m_path), to = QFile::encodeName(m_target);
    if ((replace ? ::rename(from.constData(), to.constData()) : renameNoReplace(from, to)) != 0) {
        if (errno == EEXIST)
            throw Error(
                QStringLiteral("账套文件“%1”已存在。").arg(QDir::toNativeSeparators(m_target)));
        throw Error(QStringLiteral("无法把新的账套文件改名为“%1”：%2")
                        .arg(QDir::toNativeSeparators(m_target), systemError()));
    }
    m_published = true;
    syncFolder(QFileInfo(m_target).absolutePath());
}

void PendingSetFile::removeAbandoned(const QString &target)
{
    const QFileInfo info(target);
    const QString prefix = pendingPrefix(target);
    QDir folder(info.absolutePath());
    const QStringList names =
        folder.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        if (!name.startsWith(prefix))
            continue;
        const QString path = folder.filePath(name);
        bool side = false;
        for (const char *suffix : kSideFiles) {
            if (name.endsWith(QLatin1String(suffix))) {
                side = true;
                // Its main file is gone: removed below or never finished opening.
                const QString main = path.chopped(int(std::strlen(suffix)));
                if (!QFileInfo::exists(main))
                    QFile::remove(path);
            }
        }
        if (side)
            continue;
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            continue;
        // The builder holds the lock until it has published or removed its file; a lock to
        // be had means the builder is gone.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            removeWithSideFiles(path);
        ::close(fd);
    }
}

} // namespace vexa::server
