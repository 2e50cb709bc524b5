#pragma once

#include "FieldDef.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace vexa {
class ClientDataSet;
}

namespace vexa::gl {

// The name a file is stored under on the server: the record's GUID, plus "." and the
// suffix when the file has one.
QString StoredFileName(const QString &accessoriesId, const QString &fileSuffix);
// The file transfer record: the stored file name (ID) and the file's bytes (FileData).
QList<FieldDef> AttachmentTransferFields();
// A chosen file's bytes; throws when it cannot be read.
QByteArray ReadAttachmentFile(const QString &path);

// The save of a document's attachment list ("LX_DMAccessories"), without the window.
//
// In one server transaction: every row gets the document's EntryID; added ("A") and
// replaced ("M") rows become stored ("Y") with the current user as maker and the server's
// time; the records are applied, then the files of those rows are uploaded. On success the
// change log is merged. On any failure the transaction is rolled back and every row gets
// back the values it had before (EntryID, BeStatus, Maker, MakerID, MakeDate), so the next
// try uploads the same files again.
class AttachmentSave
{
public:
    // Empty on success, else the reason of the failure (the caller words it for the user).
    static QString Run(ClientDataSet &data, int entryId);
};

} // namespace vexa::gl
