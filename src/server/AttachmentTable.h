#pragma once

#include "AttachmentStore.h"

#include <QSqlDatabase>
#include <QStringList>

namespace vexa::server {

class SqlDialect;

// The attachment files of a PostgreSQL set, kept in the set itself (table AccessoryFile), so
// every server of the set serves the same files. The files follow the records because they
// are written in the client's own transaction: an upload outside BeginTrans is committed at
// once, one inside it with the transaction, and a rollback takes it back. Names and sizes are
// checked as in the folder.
class AttachmentTable : public AttachmentChanges
{
public:
    // inTransaction: whether the connection is inside BeginTrans (read at each call).
    AttachmentTable(const AttachmentStore &limits, QSqlDatabase db, const SqlDialect &dialect,
                    const bool &inTransaction);

    bool isEmpty() const override { return m_written.isEmpty(); }
    void stage(const QList<std::pair<QString, QByteArray>> &files) override;
    // Called inside the transaction that deletes the record; files written in the same unit
    // of work stay.
    void removeRecord(const QString &accessoriesId) override;
    std::optional<QByteArray> load(const QString &storedName) const override;
    void commit(const std::function<void()> &commitRecords = {}) override;
    void discard() override { m_written.clear(); }

    // Whether the set holds a file of this name (for the check of a set).
    static bool holds(QSqlDatabase db, const QString &storedName);

private:
    QSqlDatabase m_db;
    const SqlDialect &m_dialect;
    const bool &m_inTransaction;
    QStringList m_written; // names written since the work began
};

} // namespace vexa::server
