#pragma once

// Small helpers every test folder uses.

#include <vexa/Error.h>

#include <QObject>
#include <QString>

// The message of the Error the call throws, or an empty string when it throws none.
template <typename F> QString errorOf(F &&call)
{
    try {
        call();
    } catch (const vexa::Error &e) {
        return e.message();
    }
    return QString();
}

// A component of a form by its object name.
template <typename T> T *child(QObject &form, const QString &name)
{
    return form.findChild<T *>(name);
}
