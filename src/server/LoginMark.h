#pragma once

#include <QString>
#include <memory>

namespace vexa::server {

// Who is logged in to a set, across every process on the machine (sets on network file
// systems are refused, so all of a set's users are here). A login holds a shared lock on
// one byte of the set's file, chosen by the login name far past anything SQLite locks. The
// lock belongs to the open file, not the process, so a connection of this process sees
// another's; it goes when the connection ends or its process dies, and leaves nothing to
// clean up.
class LoginMark
{
public:
    // Null when the file cannot be opened (then nobody can tell this login is there).
    static std::unique_ptr<LoginMark> take(const QString &path, const QString &userCode);
    // Whether any connection holds the mark of this login name (letter case aside).
    static bool held(const QString &path, const QString &userCode);

    ~LoginMark();
    LoginMark(const LoginMark &) = delete;
    LoginMark &operator=(const LoginMark &) = delete;

private:
    explicit LoginMark(int fd) : m_fd(fd) {}
    int m_fd;
};

} // namespace vexa::server
