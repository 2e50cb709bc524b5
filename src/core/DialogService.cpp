#include "DialogService.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QUrl>

namespace vexa::gl {

namespace {

DialogService &defaultService()
{
    static DialogService service;
    return service;
}

DialogService *&installed()
{
    static DialogService *current = &defaultService();
    return current;
}

} // namespace

int DialogService::exec(QDialog &dialog)
{
    return dialog.exec();
}

QStringList DialogService::openFileNames(QWidget *parent, const QString &caption,
                                         const QString &filter, bool multiple)
{
    if (multiple)
        return QFileDialog::getOpenFileNames(parent, caption, QString(), filter);
    const QString one = QFileDialog::getOpenFileName(parent, caption, QString(), filter);
    return one.isEmpty() ? QStringList() : QStringList{one};
}

QString DialogService::saveFileName(QWidget *parent, const QString &caption,
                                    const QString &proposedPath, const QString &filter)
{
    return QFileDialog::getSaveFileName(parent, caption, proposedPath, filter);
}

QString DialogService::openImageFile(QWidget *parent, const QString &caption, const QString &filter)
{
    return QFileDialog::getOpenFileName(parent, caption, QString(), filter);
}

bool DialogService::openDocument(const QString &path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

DialogService &DialogService::instance()
{
    return *installed();
}

DialogService *DialogService::install(DialogService *service)
{
    DialogService *previous = installed();
    installed() = service ? service : &defaultService();
    return previous;
}

} // namespace vexa::gl
