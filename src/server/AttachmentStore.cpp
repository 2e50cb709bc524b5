#include "AttachmentStore.h"

#include <vexa/Error.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <cmath>

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

Error invalidName(const QString &name)
{
    return Error(QStringLiteral("附件名称“%1”无效。").arg(name));
}

} // namespace

AttachmentStore::AttachmentStore(QString folder, qint64 maxBytes)
    : m_folder(std::move(folder)), m_maxBytes(maxBytes)
{}

bool AttachmentStore::isValidStoredName(const QString &name)
{
    // Explicit ASCII classes: \w would also take letters of other scripts.
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(
        QStringLiteral("\\{[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-"
                       "[0-9A-Fa-f]{12}\\}(\\.[A-Za-z0-9_]{1,16})?")));
    return pattern.match(name).hasMatch();
}

QString AttachmentStore::pathFor(const QString &storedName) const
{
    if (!isValidStoredName(storedName))
        throw invalidName(storedName);
    return QDir(m_folder).filePath(storedName);
}

std::optional<QByteArray> AttachmentStore::load(const QString &storedName) const
{
    const QString path = pathFor(storedName);
    const QFileInfo info(path);
    if (!info.exists())
        return std::nullopt;
    if (!info.isFile())
        throw Error(QStringLiteral("附件“%1”不是文件。").arg(storedName));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("无法读取附件“%1”：%2").arg(storedName, file.errorString()));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw Error(QStringLiteral("无法读取附件“%1”：%2").arg(storedName, file.errorString()));
    return bytes;
}

void AttachmentStore::save(const QString &storedName, const QByteArray &bytes) const
{
    const QString path = pathFor(storedName);
    if (bytes.size() > m_maxBytes)
        throw Error(QStringLiteral("附件大小 %1 MB 超过上限 %2 MB。")
                        .arg(megabytes(bytes.size(), true), megabytes(m_maxBytes, false)));
    if (!QDir().mkpath(m_folder))
        throw Error(
            QStringLiteral("无法创建附件文件夹“%1”。").arg(QDir::toNativeSeparators(m_folder)));

    // QSaveFile writes to a temporary file beside the target and renames it on commit;
    // on any failure the temporary file is removed and the old file stays as it was.
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        throw Error(QStringLiteral("无法写入附件“%1”：%2").arg(storedName, file.errorString()));
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw Error(QStringLiteral("无法写入附件“%1”：%2").arg(storedName, reason));
    }
    if (!file.commit())
        throw Error(QStringLiteral("无法写入附件“%1”：%2").arg(storedName, file.errorString()));
}

} // namespace vexa::server
