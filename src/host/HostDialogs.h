#pragma once

#include <QChar>
#include <QString>
#include <functional>

class QDialog;
class QWidget;

namespace vexa::host {

// Every message box and modal dialog of the host goes through these two hooks, so tests
// and the screenshot mode answer them without a person and without blocking.
struct HostDialogs
{
    // kind 'W' warning, 'E' error, anything else information.
    std::function<void(QWidget *parent, QChar kind, const QString &caption, const QString &text)>
        message;
    // Runs a dialog modally and answers its result.
    std::function<int(QDialog &dialog)> exec;
};

// The installed hooks; the defaults show QMessageBox and call QDialog::exec.
HostDialogs &hostDialogs();
// Puts the defaults back.
void resetHostDialogs();

void showMessage(QWidget *parent, QChar kind, const QString &caption, const QString &text);
int execDialog(QDialog &dialog);

} // namespace vexa::host
