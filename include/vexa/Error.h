#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace vexa {

// What kind of failure an error reports, where a caller words its message by it: a row
// another user stored first under the same key, or a row another user changed or deleted
// since it was read. Everything else is General.
enum class ErrorKind : int { General = 0, DuplicateKey = 1, ChangedByOther = 2 };

// The one error type of the system: an exception carrying a user-readable message.
// It crosses the plug-in boundary (CreatePlugin and the ILXPlugin calls), so its type
// information must be the same object in host and plug-in: keep it default-visible.
class __attribute__((visibility("default"))) Error : public std::exception
{
public:
    explicit Error(QString message) : m_message(std::move(message)), m_what(m_message.toUtf8()) {}
    Error(QString message, ErrorKind kind) : Error(std::move(message)) { m_kind = kind; }

    const QString &message() const noexcept { return m_message; }
    ErrorKind kind() const noexcept { return m_kind; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    QString m_message;
    QByteArray m_what;
    ErrorKind m_kind = ErrorKind::General;
};

// The text to show for any exception: our own message, or what() read as UTF-8
// (the standard library's texts are ASCII, SQLite's and Qt's UTF-8).
inline QString errorText(const std::exception &error)
{
    if (const auto *own = dynamic_cast<const Error *>(&error))
        return own->message();
    return QString::fromUtf8(error.what());
}

} // namespace vexa
