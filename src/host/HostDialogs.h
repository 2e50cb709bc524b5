#pragma once

#include <QChar>
#include <QString>
#include <functional>

class QDialog;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;
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
    // Asks for a file to open (save false) or a new file to make (save true: an existing
    // file is the caller's to refuse, the chooser does not ask to replace it). Answers the
    // path, empty when cancelled.
    std::function<QString(QWidget *parent, const QString &caption, const QString &folder,
                          const QString &filter, bool save)>
        chooseFile;
};

// The installed hooks; the defaults show QMessageBox and call QDialog::exec.
HostDialogs &hostDialogs();
// Puts the defaults back.
void resetHostDialogs();

void showMessage(QWidget *parent, QChar kind, const QString &caption, const QString &text);
int execDialog(QDialog &dialog);
QString chooseFile(QWidget *parent, const QString &caption, const QString &folder,
                   const QString &filter, bool save);

// A named line edit of a host dialog; a password one does not echo.
QLineEdit *makeLineEdit(QWidget *parent, const char *name, bool password = false);
// The red line of a host dialog that says why it did not go on (lbError), hidden until set.
QLabel *makeErrorLabel(QWidget *parent);
// The host dialogs' buttons: okText (btnOk, the default button) and 取消 (btnCancel, which
// rejects). What the first one does is the dialog's decision; it is returned in ok.
QDialogButtonBox *makeOkCancel(QDialog *dialog, const QString &okText, QPushButton **ok);

} // namespace vexa::host
