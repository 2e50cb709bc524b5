#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace vexa::server {

// The files attached to documents, kept under one folder of the account set
// (doc/accessories). A stored name is a braced GUID with an optional extension
// ("{8F0C...}.pdf"); anything else is refused, so no name leads out of the folder.
class AttachmentStore
{
public:
    static constexpr qint64 kDefaultMaxBytes = 64ll * 1024 * 1024;

    explicit AttachmentStore(QString folder, qint64 maxBytes = kDefaultMaxBytes);

    QString folder() const { return m_folder; }
    qint64 maxBytes() const { return m_maxBytes; }

    static bool isValidStoredName(const QString &name);

    // The file's bytes; nullopt when there is no such file. Throws vexa::Error for an
    // invalid name or a file that cannot be read.
    std::optional<QByteArray> load(const QString &storedName) const;

    // Writes the file whole or not at all (a partly written file never replaces a
    // good one). Throws vexa::Error for an invalid name, a file above the size limit
    // or a write failure.
    void save(const QString &storedName, const QByteArray &bytes) const;

private:
    QString pathFor(const QString &storedName) const;

    QString m_folder;
    qint64 m_maxBytes;
};

} // namespace vexa::server
