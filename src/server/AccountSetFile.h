#pragma once

// The account-set file as a file: where it may live, and how a new one comes into place
// whole or not at all.

#include <QString>

namespace vexa::server {

// The file-system type of a file or folder (statfs f_type); -1 when it cannot be read.
qint64 fileSystemType(const QString &path);

// "NFS", "SMB" or "CIFS" for the network file systems an account set must not be opened
// on; empty for any other type.
QString networkFileSystemName(qint64 type);

// Throws vexa::Error, pointing to vexa-server, when type is a network file system. SQLite's
// WAL keeps its index in shared memory that only one machine sees; two machines writing
// one file over the network corrupt it.
void refuseNetworkFileSystem(const QString &path, qint64 type);

// A new account set while it is built: a hidden file beside the target
// (".<name>.creating-<random>"), locked (flock) for as long as this object lives, so that
// a later run can tell a file whose builder died from one still being built. The file is
// removed with its -journal, -wal and -shm unless publish() moved it into place.
class PendingSetFile
{
public:
    explicit PendingSetFile(const QString &target);
    ~PendingSetFile();
    PendingSetFile(const PendingSetFile &) = delete;
    PendingSetFile &operator=(const PendingSetFile &) = delete;

    QString path() const { return m_path; }

    // Call when every connection to path() is closed and no -wal or -journal is left: syncs
    // the file, renames it to the target (refusing to replace one that appeared meanwhile)
    // and syncs the folder, so the new name survives a power cut. With replace, a file at
    // the target is replaced (a restore).
    void publish(bool replace = false);

    // Removes what builders of target left behind when they were killed: their unlocked
    // files and the -journal, -wal and -shm files of those.
    static void removeAbandoned(const QString &target);

private:
    QString m_target;
    QString m_path;
    int m_fd = -1;
    bool m_published = false;
};

} // namespace vexa::server
