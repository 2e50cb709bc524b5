#include "ChildDialogForm.h"

#include "ClientDataSet.h"
#include "ClientSettings.h"
#include "DataAccess.h"
#include "FormKit.h"
#include "Globals.h"

#include <vexa/PluginHost.h>

#include <QHeaderView>
#include <QScopeGuard>
#include <QScrollBar>
#include <QShowEvent>
#include <QTableView>

namespace vexa::gl {

TChildDialogForm::TChildDialogForm(QWidget *parent) : TLXCustomForm(parent)
{
    if (Globals().Host)
        SetConnection(Globals().Host->GetConnection());
}

TChildDialogForm::~TChildDialogForm() = default;

void TChildDialogForm::InitDataSets()
{
    for (ClientDataSet *ds : findChildren<ClientDataSet *>(QString(), Qt::FindDirectChildrenOnly)) {
        ds->setRemoteConnection(Connection());
        if (ds->tag() == 1)
            ds->open();
    }
    // Dialogs are windows of their own, unless tagged -1 (embedded).
    if (Tag() == -1)
        setWindowFlags(Qt::Widget);
}

void TChildDialogForm::SetMainGridView(QTableView *view)
{
    TLXCustomForm::SetMainGridView(view);
    if (!view)
        return;
    // The selection stays visible and the focused row stays when the grid loses focus.
    QPalette p = view->palette();
    p.setColor(QPalette::Inactive, QPalette::Highlight,
               p.color(QPalette::Active, QPalette::Highlight));
    p.setColor(QPalette::Inactive, QPalette::HighlightedText,
               p.color(QPalette::Active, QPalette::HighlightedText));
    view->setPalette(p);
}

QString TChildDialogForm::FindAccountCommand(const QString &code, const QString &extra)
{
    if (extra.isEmpty())
        return QStringLiteral("Top 1 WHERE AcctCode = '") + code +
               QStringLiteral("' AND IsNode = 1") + QStringLiteral(" ORDER BY AcctCode");
    return QStringLiteral("Top 1 WHERE AcctCode = '") + code +
           QStringLiteral("' AND IsNode = 1 AND ") + extra + QStringLiteral(" ORDER BY AcctCode");
}

ClientDataSet &TChildDialogForm::FindAccount(const QString &code, const QString &extra)
{
    if (!m_accountLookup) {
        m_accountLookup = std::make_unique<ClientDataSet>();
        m_accountLookup->setRemoteConnection(Connection());
        m_accountLookup->setProviderName(QStringLiteral("LX_BMListAccounting"));
    }
    m_accountLookup->close();
    // A quote in a typed code is doubled: it stays part of the code.
    QString quoted = code;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    m_accountLookup->setCommandText(FindAccountCommand(quoted, extra));
    m_accountLookup->open();
    return *m_accountLookup;
}

TDefDialogForm::TDefDialogForm(QWidget *parent) : TChildDialogForm(parent) {}

QString TDefDialogForm::ComposeCommandText(const QString &fixedWhere, const QString &linkWhere,
                                           const QString &orderText)
{
    QString text;
    if (!fixedWhere.isEmpty()) {
        text += QStringLiteral("WHERE (") + fixedWhere + QStringLiteral(") ");
        if (!linkWhere.isEmpty())
            text += QStringLiteral(" AND (") + linkWhere + QStringLiteral(") ");
    } else if (!linkWhere.isEmpty()) {
        text += QStringLiteral(" WHERE (") + linkWhere + QStringLiteral(") ");
    }
    if (fixedWhere.isEmpty() && linkWhere.isEmpty() && !orderText.isEmpty())
        text += QStringLiteral(" WHERE 1=1 ORDER BY ") + orderText;
    else if (!orderText.isEmpty())
        text += QStringLiteral(" ORDER BY ") + orderText;
    return text.trimmed();
}

void TDefDialogForm::RefreshData()
{
    if (!DataSet)
        return;
    const BusyScope busy(HostRef());
    DataSet->close();
    DataSet->setCommandText(QString());
    DataSet->setCommandText(ComposeCommandText(FixedWhere, LinkWhere, OrderText));
    DataSet->open();
}

void TDefDialogForm::SaveData()
{
    if (!DataSet)
        return;
    if (DataSet->state() == ClientDataSet::State::Edit ||
        DataSet->state() == ClientDataSet::State::Insert)
        DataSet->post();
    // A failed save leaves the rows as they were: a key taken inside the rolled-back
    // transaction is free again on the server and must not be stored by the next try.
    const auto before = DataSet->snapshot();
    auto restoreOnFailure = qScopeGuard([&] { DataSet->restore(*before); });
    try {
        ServerTransaction transaction;
        if (AutoKey) {
            DataSet->disableControls();
            struct Enable
            {
                ClientDataSet *ds;
                ~Enable() { ds->enableControls(); }
            } enable{DataSet};
            const int keep = DataSet->recNo();
            const FieldDef &key = DataSet->field(KeyField);
            for (DataSet->first(); !DataSet->eof(); DataSet->next()) {
                // A missing key reads as 0; rows keyed 1 and above (or by a typed text) keep
                // their keys.
                bool numeric = true;
                const QString text = DataSet->asString(KeyField).trimmed();
                const qlonglong current = text.isEmpty() ? 0 : text.toLongLong(&numeric);
                if (!numeric || current >= 1)
                    continue;
                DataSet->edit();
                const qlonglong id = NextEntityID(KeyField, true);
                DataSet->setValue(KeyField, isStringType(key.type) ? QVariant(QString::number(id))
                                                                   : QVariant(id));
                DataSet->post();
            }
            if (keep > 0)
                DataSet->setRecNo(keep);
        }
        ApplyChanges(*DataSet, false);
        transaction.Commit();
        restoreOnFailure.dismiss();
        DataSet->mergeChangeLog();
    } catch (const std::exception &e) {
        throw Error(SaveFailureMessage(errorText(e)));
    }
}

QSize TDefDialogForm::DialogSize(const QSize &current, const QSize &host)
{
    int w = host.width() / 5 * 4;
    int h = host.height() / 5 * 3;
    w = (w > current.width() && w < host.width()) ? w : current.width();
    h = (h > current.height() && h < host.height()) ? h : current.height();
    return {std::max(w, 660), std::max(h, 348)};
}

int WholeRowsGrowth(int siteHeight, int chromeHeight, int rowHeight)
{
    if (rowHeight <= 0)
        return 0;
    const int rows = siteHeight - chromeHeight;
    const int r = rows % rowHeight;
    return r > 0 ? rowHeight - r : 0;
}

void TDefDialogForm::showEvent(QShowEvent *event)
{
    // The look first: the rows are measured with the grid's header and row heights as
    // the client settings give them.
    TChildDialogForm::showEvent(event);
    QTableView *grid = MainGridView();
    if (grid && GridSite && !event->spontaneous()) {
        QWidget *host = Globals().Host ? Globals().Host->MainWindow() : nullptr;
        if (host)
            resize(DialogSize(size(), host->size()));
        int chrome = 2 * grid->frameWidth();
        if (grid->horizontalHeader()->isVisible())
            chrome += grid->horizontalHeader()->height();
        if (grid->horizontalScrollBar()->isVisible())
            chrome += grid->horizontalScrollBar()->height();
        if (!grid->verticalScrollBar()->isVisible())
            chrome += 1;
        resize(width(), height() + WholeRowsGrowth(GridSite->height(), chrome,
                                                   Settings().CGridDataRowHeight));
    }
}

TEditDialogForm::TEditDialogForm(QWidget *parent) : TChildDialogForm(parent) {}

void TEditDialogForm::InitEditState()
{
    if (EditState() == 0)
        ApplyEditState(3);
    else
        ApplyEditState(EditState());
}

} // namespace vexa::gl
