#include "KnownServers.h"

#include <vexa/Error.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>

namespace vexa::net {

namespace {

// The file's lines; none when it does not exist yet.
QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly))
        throw Error(
            QStringLiteral("无法读取已信任服务器的列表“%1”：%2").arg(path, file.errorString()));
    return QString::fromUtf8(file.readAll()).split(u'\n');
}

// The server a line names; empty for a comment or a blank line.
QString serverOf(const QString &line, QString *fingerprint = nullptr)
{
    const QString text = line.trimmed();
    if (text.isEmpty() || text.startsWith(u'#'))
        return QString();
    const QStringList parts = text.split(u' ', Qt::SkipEmptyParts);
    if (fingerprint)
        *fingerprint = parts.value(1);
    return parts.value(0);
}

} // namespace

QString KnownServers::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/vexa/known_servers");
}

KnownServers::KnownServers(const QString &path) : m_path(path.isEmpty() ? defaultPath() : path) {}

QString KnownServers::pinned(const QString &server) const
{
    for (const QString &line : readLines(m_path)) {
        QString fingerprint;
        if (serverOf(line, &fingerprint).compare(server, Qt::CaseInsensitive) == 0)
            return fingerprint.toUpper();
    }
    return QString();
}

void KnownServers::pin(const QString &server, const QString &fingerprint)
{
    QStringList lines;
    for (const QString &line : readLines(m_path))
        if (serverOf(line).compare(server, Qt::CaseInsensitive) != 0 && !line.isEmpty())
            lines.append(line);
    lines.append(server + u' ' + fingerprint);

    const QString folder = QFileInfo(m_path).absolutePath();
    QSaveFile file(m_path);
    const QByteArray data = (lines.join(u'\n') + u'\n').toUtf8();
    if (!QDir().mkpath(folder) || !file.open(QIODevice::WriteOnly) ||
        file.write(data) != data.size() || !file.commit())
        throw Error(QStringLiteral("无法把服务器 %1 记入已信任服务器的列表“%2”：%3")
                        .arg(server, m_path, file.errorString()));
}

} // namespace vexa::net
