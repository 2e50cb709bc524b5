#pragma once

#include <QString>

namespace vexa::server {

// How hard a password hash is to compute. Interactive is the default for account
// sets; Fast is for tests only.
enum class PasswordCost { Interactive, Fast };

// argon2id hash of a password in libsodium's self-describing text form ("$argon2id$...").
// Throws vexa::Error when the library cannot hash (out of memory).
QString hashPassword(const QString &password, PasswordCost cost = PasswordCost::Interactive);

// The first line of a password file, without its line end: how a password reaches a
// program without appearing in the process list. Throws vexa::Error when the file cannot
// be read or its first line is empty.
QString readPasswordFile(const QString &path);

// True when hash has the form of a stored hash (verifyPassword would run the check).
bool isPasswordHash(const QString &hash);

// True when password matches hash. A malformed or empty hash never matches.
bool verifyPassword(const QString &hash, const QString &password);

} // namespace vexa::server
