#pragma once

#include <QString>
#include <QtGlobal>

namespace vexa {

// What the client and the server agree on for attachment files. A file is stored under
// its record's GUID, plus "." and the file's extension when it has one.

// The largest file the server stores.
constexpr qint64 kMaxAttachmentBytes = 64ll * 1024 * 1024;
// The longest extension, in characters (the record keeps it in 20 GBK bytes).
constexpr int kMaxAttachmentSuffixLength = 20;

// An extension in the form it is stored and named with (Unicode NFC, so a name typed on
// one system finds the file stored from another).
QString normalizedAttachmentSuffix(const QString &suffix);

// 1 to kMaxAttachmentSuffixLength characters, each a letter of any script, a decimal
// digit, '-' or '_': nothing that separates folders or means anything to a shell.
bool isValidAttachmentSuffix(const QString &suffix);

} // namespace vexa
