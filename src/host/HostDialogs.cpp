#include "HostDialogs.h"

#include <QDialog>
#include <QMessageBox>

namespace vexa::host {

namespace {

HostDialogs defaults()
{
    HostDialogs d;
    d.message = [](QWidget *parent, QChar kind, const QString &caption, const QString &text) {
        if (kind == QLatin1Char('W'))
            QMessageBox::warning(parent, caption, text);
        else if (kind == QLatin1Char('E'))
            QMessageBox::critical(parent, caption, text);
        else
            QMessageBox::information(parent, caption, text);
    };
    d.exec = [](QDialog &dialog) { return dialog.exec(); };
    return d;
}

} // namespace

HostDialogs &hostDialogs()
{
    static HostDialogs instance = defaults();
    return instance;
}

void resetHostDialogs()
{
    hostDialogs() = defaults();
}

void showMessage(QWidget *parent, QChar kind, const QString &caption, const QString &text)
{
    const HostDialogs &d = hostDialogs();
    if (d.message)
        d.message(parent, kind, caption.isEmpty() ? QStringLiteral("Vexa") : caption, text);
}

int execDialog(QDialog &dialog)
{
    const HostDialogs &d = hostDialogs();
    return d.exec ? d.exec(dialog) : dialog.exec();
}

} // namespace vexa::host
