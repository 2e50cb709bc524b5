#pragma once

#include "AttachmentNames.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <optional>
#include <utility>

namespace vexa::server {

// The files attached to documents, kept under one folder of the account set
// (doc/accessories). A stored name is a braced GUID with an optional extension of letters,
// digits, '-' and '_' ("{8F0C...}.pdf", "{8F0C...}.文档"); anything else is refused, so no
// name leads out of the folder. Symbolic links are refused too: in the folder's path below
// its root, and in place of a file.
class AttachmentStore
{
public:
    static constexpr qint64 kDefaultMaxBytes = kMaxAttachmentBytes;

    // root is the folder the store is trusted to lie in (the account set's folder); by
    // default the folder's parent.
    explicit AttachmentStore(QString folder, qint64 maxBytes = kDefaultMaxBytes,
                             QString root = QString());

    QString folder() const { return m_folder; }
    qint64 maxBytes() const { return m_maxBytes; }

    static bool isValidStoredName(const QString &name);

    // The file's bytes; nullopt when there is no such file. Throws vexa::Error for an
    // invalid name, a link or a file that cannot be read.
    std::optional<QByteArray> load(const QString &storedName) const;

    // Stores one file at once, whole or not at all (a partly written file never replaces
    // a good one). Throws vexa::Error for an invalid name, a file above the size limit, a
    // link or a write failure.
    void save(const QString &storedName, const QByteArray &bytes) const;

    // For AttachmentChanges. The name as it is kept on disk (the extension in NFC); throws
    // for an invalid name.
    static QString diskName(const QString &storedName);
    void checkSize(const QByteArray &bytes) const;
    // The folder once it is known to be a real folder below the root; empty when it does
    // not exist and create is false.
    QString checkedFolder(bool create) const;

private:
    QString m_folder;
    QString m_root;
    qint64 m_maxBytes;
};

// One client's uploads and removals, held back until its work commits: outside a
// transaction that is the end of the call, inside it the commit. Staged files wait in the
// folder under hidden names, so publishing them is a rename.
class AttachmentChanges
{
public:
    explicit AttachmentChanges(const AttachmentStore &store) : m_store(store) {}
    virtual ~AttachmentChanges() { AttachmentChanges::discard(); }
    AttachmentChanges(const AttachmentChanges &) = delete;
    AttachmentChanges &operator=(const AttachmentChanges &) = delete;

    virtual bool isEmpty() const { return m_staged.empty() && m_removed.isEmpty(); }

    // Checks every name and size, then writes every file under a staging name. When one
    // fails, nothing of this call stays staged; earlier calls keep theirs.
    virtual void stage(const QList<std::pair<QString, QByteArray>> &files);
    // The files of the record with this GUID go at commit.
    virtual void removeRecord(const QString &accessoriesId);
    // The file as these changes leave it.
    virtual std::optional<QByteArray> load(const QString &storedName) const;

    // Sets aside the files that are replaced or removed, moves the staged files into
    // place, runs commitRecords (the database's commit) and drops what was set aside.
    // When any step fails the folder is put back as it was, the changes are discarded and
    // the error goes on.
    virtual void commit(const std::function<void()> &commitRecords = {});
    // Forgets the changes and removes their staging files.
    virtual void discard();

protected:
    const AttachmentStore &store() const { return m_store; }

private:
    const AttachmentStore &m_store;
    std::map<QString, QString> m_staged; // disk name -> staging file
    QStringList m_removed;               // record GUIDs, upper case
};

} // namespace vexa::server
