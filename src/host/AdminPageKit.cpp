#include "AdminPageKit.h"

#include "HostDialogs.h"

#include <vexa/Error.h>

#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>

namespace vexa::host {

QTableWidget *makeAdminGrid(QWidget *parent, const char *name, const QStringList &headers)
{
    auto *grid = new QTableWidget(0, int(headers.size()), parent);
    grid->setObjectName(QLatin1String(name));
    grid->setHorizontalHeaderLabels(headers);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->verticalHeader()->hide();
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->setAlternatingRowColors(true);
    return grid;
}

QPushButton *makeAdminButton(QWidget *parent, const char *name, const QString &text)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    return button;
}

void setGridRow(QTableWidget *grid, int row, const QStringList &texts, const QVariant &key)
{
    for (int column = 0; column < texts.size(); ++column) {
        auto *item = new QTableWidgetItem(texts[column]);
        if (column == 0)
            item->setData(Qt::UserRole, key);
        grid->setItem(row, column, item);
    }
}

bool askYesNo(QWidget *parent, const QString &caption, const QString &text)
{
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::NoButton, parent);
    box.setObjectName(QStringLiteral("msgConfirm"));
    box.addButton(QStringLiteral("是"), QMessageBox::YesRole)
        ->setObjectName(QStringLiteral("btnYes"));
    QPushButton *no = box.addButton(QStringLiteral("否"), QMessageBox::NoRole);
    no->setObjectName(QStringLiteral("btnNo"));
    box.setDefaultButton(no);
    execDialog(box);
    return box.clickedButton() && box.clickedButton()->objectName() == QLatin1String("btnYes");
}

bool runShowingError(QWidget *parent, const QString &caption, const std::function<void()> &work)
{
    try {
        work();
        return true;
    } catch (const Error &e) {
        showMessage(parent, QLatin1Char('W'), caption, e.message());
    } catch (const std::exception &e) { // nothing may cross the event loop
        showMessage(parent, QLatin1Char('E'), caption, errorText(e));
    }
    return false;
}

} // namespace vexa::host
