#include "AttachmentStore.h"

#include <vexa/Error.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QUuid>
#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexa::server {

namespace {

// Megabytes for a message. The size is rounded up and the limit down, so a file one byte
// over the limit never reads as "64 MB exceeds 64 MB"; tiny limits get more decimals.
QString megabytes(qint64 bytes, bool roundUp)
{
    const double mb = double(bytes) / (1024.0 * 1024.0);
    for (int decimals = 2;; ++decimals) {
        const double scale = std::pow(10.0, decimals);
        const double value = (roundUp ? std::ceil(mb * scale) : std::floor(mb * scale)) / scale;
        if (value > 0 || bytes <= 0 || decimals >= 6) {
            QString text = QString::number(value, 'f', decimals);
            while (text.endsWith(QLatin1Char('0')))
                text.chop(1);
            if (text.endsWith(QLatin1Char('.')))
                text.chop(1);
            return text;
        }
    }
}

constexpr int kGuidLength = 38;

Error invalidName(const QString &name)
{
    return Error(QStringLiteral("附件名称“%1”无效。").arg(name));
}

Error linkRefused(const QString &name)
{
    return Error(QStringLiteral("附件“%1”是符号链接，应用服务器拒绝访问。").arg(name));
}

Error notAFile(const QString &name)
{
    return Error(QStringLiteral("附件“%1”不是文件。").arg(name));
}

Error cannotWrite(const QString &name, int error)
{
    return Error(QStringLiteral("无法写入附件“%1”：%2").arg(name, qt_error_string(error)));
}

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

// lstat: the entry itself, never what a link points at. nullopt when there is none.
std::optional<struct stat> entryOf(const QString &path)
{
    struct stat st;
    if (::lstat(encoded(path).constData(), &st) == 0)
        return st;
    if (errno == ENOENT)
        return std::nullopt;
    throw Error(QStringLiteral("无法访问附件“%1”：%2")
                    .arg(QDir::toNativeSeparators(path), qt_error_string(errno)));
}

// A file may be replaced only when it is an ordinary file or not there.
void checkTarget(const QString &path, const QString &name)
{
    const std::optional<struct stat> st = entryOf(path);
    if (!st)
        return;
    if (S_ISLNK(st->st_mode))
        throw linkRefused(name);
    if (!S_ISREG(st->st_mode))
        throw notAFile(name);
}

// Reads a stored or staged file without following a link; nullopt when it is not there.
std::optional<QByteArray> readFile(const QString &path, const QString &name)
{
    const int fd =
        ::open(encoded(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            return std::nullopt;
        if (error == ELOOP)
            throw linkRefused(name);
        throw Error(QStringLiteral("无法读取附件“%1”：%2").arg(name, qt_error_string(error)));
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw notAFile(name);
    }
    QByteArray bytes;
    char buffer[64 * 1024];
    int error = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            error = errno;
        if (n <= 0)
            break;
        bytes.append(buffer, n);
    }
    ::close(fd);
    if (error != 0)
        throw Error(QStringLiteral("无法读取附件“%1”：%2").arg(name, qt_error_string(error)));
    return bytes;
}

// Writes bytes to a new hidden file of the folder and forces them to disk; answers its
// path. O_EXCL never opens an existing entry, a link included.
QString writeStaging(const QString &folder, const QByteArray &bytes, const QString &name)
{
    const QString path =
        folder + QStringLiteral("/.staged-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QByteArray native = encoded(path);
    const int fd =
        ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        throw cannotWrite(name, errno);
    qint64 done = 0;
    int error = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            break;
        }
        done += n;
    }
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0) {
        ::unlink(native.constData());
        throw cannotWrite(name, error);
    }
    return path;
}

// A free hidden name in the folder for a file set aside until the commit is done.
QString asideName(const QString &folder)
{
    return folder + QStringLiteral("/.replaced-") +
           QUuid::createUuid().toString(QUuid::WithoutBraces);
}

void moveEntry(const QString &from, const QString &to, const QString &name)
{
    if (::rename(encoded(from).constData(), encoded(to).constData()) != 0)
        throw cannotWrite(name, errno);
}

} // namespace

AttachmentStore::AttachmentStore(QString folder, qint64 maxBytes, QString root)
    : m_folder(QDir::cleanPath(QFileInfo(folder).absoluteFilePath())),
      m_root(root.isEmpty() ? QFileInfo(m_folder).absolutePath()
                            : QDir::cleanPath(QFileInfo(root).absoluteFilePath())),
      m_maxBytes(maxBytes)
{
    Q_ASSERT(m_folder.startsWith(m_root + QLatin1Char('/')) || m_root == QLatin1String("/"));
}

bool AttachmentStore::isValidStoredName(const QString &name)
{
    // Explicit ASCII classes: \w would also take letters of other scripts.
    static const QRegularExpression guid(QRegularExpression::anchoredPattern(
        QStringLiteral("\\{[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-"
                       "[0-9A-Fa-f]{12}\\}")));
    if (!guid.match(name.left(kGuidLength)).hasMatch())
        return false;
    if (name.size() == kGuidLength)
        return true;
    return name.at(kGuidLength) == QLatin1Char('.') &&
           isValidAttachmentSuffix(normalizedAttachmentSuffix(name.mid(kGuidLength + 1)));
}

QString AttachmentStore::diskName(const QString &storedName)
{
    if (!isValidStoredName(storedName))
        throw invalidName(storedName);
    if (storedName.size() == kGuidLength)
        return storedName;
    return storedName.left(kGuidLength + 1) +
           normalizedAttachmentSuffix(storedName.mid(kGuidLength + 1));
}

void AttachmentStore::checkSize(const QByteArray &bytes) const
{
    if (bytes.size() > m_maxBytes)
        throw Error(QStringLiteral("附件大小 %1 MB 超过上限 %2 MB。")
                        .arg(megabytes(bytes.size(), true), megabytes(m_maxBytes, false)));
}

QString AttachmentStore::checkedFolder(bool create) const
{
    const QString shown = QDir::toNativeSeparators(m_folder);
    // Each part below the root, one by one: a link anywhere would carry the files away.
    QString path = m_root;
    if (create && !QFileInfo::exists(m_root) && !QDir().mkpath(m_root))
        throw Error(QStringLiteral("无法创建附件文件夹“%1”。").arg(shown));
    const QStringList parts =
        QDir(m_root).relativeFilePath(m_folder).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        path += QLatin1Char('/') + part;
        std::optional<struct stat> st = entryOf(path);
        if (!st) {
            if (!create)
                return QString();
            if (::mkdir(encoded(path).constData(), 0777) != 0 && errno != EEXIST)
                throw Error(QStringLiteral("无法创建附件文件夹“%1”：%2")
                                .arg(shown, qt_error_string(errno)));
            st = entryOf(path);
        }
        if (st && S_ISLNK(st->st_mode))
            throw Error(
                QStringLiteral("附件文件夹“%1”是符号链接，应用服务器拒绝访问。").arg(shown));
        if (!st || !S_ISDIR(st->st_mode))
            throw Error(QStringLiteral("附件文件夹“%1”不是文件夹。").arg(shown));
    }
    // And the real path agrees, whatever happened between the checks.
    const QString real = QFileInfo(m_folder).canonicalFilePath();
    const QString expected = QFileInfo(m_root).canonicalFilePath() + QLatin1Char('/') +
                             QDir(m_root).relativeFilePath(m_folder);
    if (real != expected)
        throw Error(QStringLiteral("附件文件夹“%1”是符号链接，应用服务器拒绝访问。").arg(shown));
    return m_folder;
}

std::optional<QByteArray> AttachmentStore::load(const QString &storedName) const
{
    const QString name = diskName(storedName);
    const QString folder = checkedFolder(false);
    if (folder.isEmpty())
        return std::nullopt;
    return readFile(folder + QLatin1Char('/') + name, storedName);
}

void AttachmentStore::save(const QString &storedName, const QByteArray &bytes) const
{
    AttachmentChanges changes(*this);
    changes.stage({{storedName, bytes}});
    changes.commit();
}

void AttachmentChanges::stage(const QList<std::pair<QString, QByteArray>> &files)
{
    // Every name and size before anything is written.
    QStringList names;
    for (const auto &[name, bytes] : files) {
        names << AttachmentStore::diskName(name);
        m_store.checkSize(bytes);
    }
    if (files.isEmpty())
        return;
    const QString folder = m_store.checkedFolder(true);
    for (int i = 0; i < files.size(); ++i)
        checkTarget(folder + QLatin1Char('/') + names[i], files[i].first);

    QStringList written;
    auto removeWritten = qScopeGuard([&] {
        for (const QString &path : written)
            QFile::remove(path);
    });
    for (const auto &[name, bytes] : files)
        written << writeStaging(folder, bytes, name);
    removeWritten.dismiss();
    for (int i = 0; i < files.size(); ++i) {
        auto [it, added] = m_staged.try_emplace(names[i], written[i]);
        if (!added) {
            QFile::remove(it->second); // uploaded again: the later file counts
            it->second = written[i];
        }
    }
}

void AttachmentChanges::removeRecord(const QString &accessoriesId)
{
    const QString guid = accessoriesId.trimmed().toUpper();
    if (guid.size() != kGuidLength || m_removed.contains(guid))
        return;
    m_removed << guid;
}

std::optional<QByteArray> AttachmentChanges::load(const QString &storedName) const
{
    const QString name = AttachmentStore::diskName(storedName);
    if (const auto it = m_staged.find(name); it != m_staged.end())
        return readFile(it->second, storedName);
    if (m_removed.contains(name.left(kGuidLength).toUpper()))
        return std::nullopt;
    return m_store.load(storedName);
}

void AttachmentChanges::commit(const std::function<void()> &commitRecords)
{
    struct Move
    {
        QString from, to;
    };
    std::vector<Move> moves; // done so far, undone in reverse on failure
    QStringList aside;
    auto undo = qScopeGuard([&] {
        for (auto it = moves.rbegin(); it != moves.rend(); ++it)
            ::rename(encoded(it->to).constData(), encoded(it->from).constData());
        discard();
    });
    {
        const QString folder = isEmpty() ? QString() : m_store.checkedFolder(!m_staged.empty());
        if (!folder.isEmpty()) {
            const auto setAside = [&](const QString &path, const QString &name) {
                const QString to = asideName(folder);
                moveEntry(path, to, name);
                moves.push_back({path, to});
                aside << to;
            };
            // Removed records first: a record deleted and written again keeps its new file.
            const QDir dir(folder);
            for (const QString &entry :
                 dir.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
                if (AttachmentStore::isValidStoredName(entry) &&
                    m_removed.contains(entry.left(kGuidLength).toUpper()) && !m_staged.count(entry))
                    setAside(dir.filePath(entry), entry);
            }
            for (const auto &[name, staged] : m_staged) {
                const QString target = dir.filePath(name);
                checkTarget(target, name);
                if (entryOf(target))
                    setAside(target, name);
                moveEntry(staged, target, name);
                moves.push_back({staged, target});
            }
        }
        if (commitRecords)
            commitRecords();
    }
    undo.dismiss();
    for (const QString &path : aside)
        ::unlink(encoded(path).constData());
    m_staged.clear();
    m_removed.clear();
}

void AttachmentChanges::discard()
{
    for (const auto &[name, staged] : m_staged)
        ::unlink(encoded(staged).constData());
    m_staged.clear();
    m_removed.clear();
}

} // namespace vexa::server
