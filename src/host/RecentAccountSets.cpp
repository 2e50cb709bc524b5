#include "RecentAccountSets.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <memory>

namespace vexa::host {

namespace {

const QString kKey = QStringLiteral("Software/Corvane/Vexa/Host/RecentAccountSets");

std::unique_ptr<QSettings> store()
{
    auto s = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                         QStringLiteral("Corvane"), QStringLiteral("Vexa"));
    // Only the user's own list counts, not an organisation-wide file.
    s->setFallbacksEnabled(false);
    return s;
}

} // namespace

QString RecentAccountSets::key(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

QStringList RecentAccountSets::withFirst(QStringList list, const QString &path)
{
    const QString first = key(path);
    list.removeIf([&](const QString &entry) { return key(entry) == first; });
    list.prepend(first);
    while (list.size() > kMaxEntries)
        list.removeLast();
    return list;
}

QStringList RecentAccountSets::load()
{
    QStringList list = store()->value(kKey).toStringList();
    list.removeAll(QString());
    return list;
}

void RecentAccountSets::remember(const QString &path)
{
    save(withFirst(load(), path));
}

void RecentAccountSets::forget(const QString &path)
{
    QStringList list = load();
    const QString gone = key(path);
    list.removeIf([&](const QString &entry) { return key(entry) == gone; });
    save(list);
}

void RecentAccountSets::save(const QStringList &list)
{
    // A settings store that cannot be written costs the list, never the opening of a set.
    std::unique_ptr<QSettings> s = store();
    s->setValue(kKey, list);
    s->sync();
}

} // namespace vexa::host
