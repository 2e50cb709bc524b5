#pragma once

#include <QString>
#include <QStringList>

namespace vexa::host {

// The account sets last opened with success, most recent first, kept in the user's
// settings (the store the plug-in's registry path lives in, under the host's own group).
class RecentAccountSets
{
public:
    static constexpr int kMaxEntries = 8;

    static QStringList load();
    // Puts path first (once) and keeps at most kMaxEntries.
    static void remember(const QString &path);
    static void forget(const QString &path);

    // The list with path in front, an earlier entry of the same file dropped, cut to
    // kMaxEntries.
    static QStringList withFirst(QStringList list, const QString &path);
    // One spelling per file: absolute, and with links resolved where the file exists.
    static QString key(const QString &path);

private:
    static void save(const QStringList &list);
};

} // namespace vexa::host
