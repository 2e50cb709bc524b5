#include "AttachmentTable.h"

#include "SqlDialect.h"
#include "StorageErrors.h"
#include "WriteScope.h"

#include <vexa/Error.h>

#include <QSqlError>
#include <QSqlQuery>

namespace vexa::server {

namespace {

constexpr int kGuidLength = 38; // "{8F0C...}": a stored name begins with its record's GUID

void run(QSqlQuery &q, const char *what)
{
    if (!q.exec())
        throw Error(
            QStringLiteral("%1附件失败：%2")
                .arg(QString::fromUtf8(what), databaseErrorText(q.lastError(), q.driver())));
}

} // namespace

AttachmentTable::AttachmentTable(const AttachmentStore &limits, QSqlDatabase db,
                                 const SqlDialect &dialect, const bool &inTransaction)
    : AttachmentChanges(limits), m_db(std::move(db)), m_dialect(dialect),
      m_inTransaction(inTransaction)
{}

void AttachmentTable::stage(const QList<std::pair<QString, QByteArray>> &files)
{
    QStringList names;
    for (const auto &[name, bytes] : files) {
        names << AttachmentStore::diskName(name);
        store().checkSize(bytes);
    }
    if (files.isEmpty())
        return;
    WriteScope work(m_db, m_dialect, m_inTransaction);
    QSqlQuery q(m_db);
    q.prepare(m_dialect.upsert(QStringLiteral("AccessoryFile"), {QStringLiteral("FileName")},
                               {QStringLiteral("FileData")}));
    for (int i = 0; i < files.size(); ++i) {
        q.addBindValue(names[i]);
        q.addBindValue(files[i].second);
        run(q, "保存");
    }
    q.finish();
    work.commit();
    if (m_inTransaction)
        m_written << names;
}

void AttachmentTable::removeRecord(const QString &accessoriesId)
{
    const QString guid = accessoriesId.trimmed().toUpper();
    if (guid.size() != kGuidLength)
        return;
    QSqlQuery q(m_db);
    QStringList keep;
    for (const QString &n : m_written)
        if (n.left(kGuidLength).compare(guid, Qt::CaseInsensitive) == 0)
            keep << n;
    QStringList marks(keep.size(), QStringLiteral("?"));
    q.prepare(QStringLiteral("DELETE FROM AccessoryFile WHERE left(FileName, %1) = ?%2")
                  .arg(kGuidLength)
                  .arg(keep.isEmpty() ? QString()
                                      : QStringLiteral(" AND FileName NOT IN (%1)")
                                            .arg(marks.join(QLatin1String(", ")))));
    q.addBindValue(guid);
    for (const QString &n : keep)
        q.addBindValue(n);
    run(q, "删除");
}

std::optional<QByteArray> AttachmentTable::load(const QString &storedName) const
{
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT FileData FROM AccessoryFile WHERE FileName = ?"));
    q.addBindValue(AttachmentStore::diskName(storedName));
    run(q, "读取");
    if (!q.next())
        return std::nullopt;
    return q.value(0).toByteArray();
}

void AttachmentTable::commit(const std::function<void()> &commitRecords)
{
    m_written.clear(); // the work ends here, committed or not
    if (commitRecords)
        commitRecords();
}

bool AttachmentTable::holds(QSqlDatabase db, const QString &storedName)
{
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT COUNT(*) FROM AccessoryFile WHERE FileName = ?"));
    q.addBindValue(AttachmentStore::diskName(storedName));
    run(q, "读取");
    return q.next() && q.value(0).toInt() > 0;
}

} // namespace vexa::server
