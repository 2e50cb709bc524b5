#include "HostDialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

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
    d.chooseFile = [](QWidget *parent, const QString &caption, const QString &folder,
                      const QString &filter, bool save) {
        return save ? QFileDialog::getSaveFileName(parent, caption, folder, filter, nullptr,
                                                   QFileDialog::DontConfirmOverwrite)
                    : QFileDialog::getOpenFileName(parent, caption, folder, filter);
    };
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

QString chooseFile(QWidget *parent, const QString &caption, const QString &folder,
                   const QString &filter, bool save)
{
    const HostDialogs &d = hostDialogs();
    return d.chooseFile ? d.chooseFile(parent, caption, folder, filter, save) : QString();
}

QLineEdit *makeLineEdit(QWidget *parent, const char *name, bool password)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    if (password)
        edit->setEchoMode(QLineEdit::Password);
    return edit;
}

QLabel *makeErrorLabel(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QStringLiteral("lbError"));
    label->setStyleSheet(QStringLiteral("color: #b00020;"));
    label->setWordWrap(true);
    label->hide();
    return label;
}

QDialogButtonBox *makeOkCancel(QDialog *dialog, const QString &okText, QPushButton **ok)
{
    auto *buttons = new QDialogButtonBox(dialog);
    *ok = buttons->addButton(okText, QDialogButtonBox::AcceptRole);
    (*ok)->setObjectName(QStringLiteral("btnOk"));
    (*ok)->setDefault(true);
    QPushButton *cancel = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("btnCancel"));
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    return buttons;
}

} // namespace vexa::host
