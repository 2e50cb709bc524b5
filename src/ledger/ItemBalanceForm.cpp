#include "ItemBalanceForm.h"

#include "FormKit.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "ReportPage.h"

#include <vexa/PluginHost.h>

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>

namespace vexa::ledger {

TItemBalanceForm::TItemBalanceForm(QWidget *parent) : gl::TLXChildForm(parent)
{
    const QString title = QStringLiteral("辅助核算项目余额表");
    setObjectName(QStringLiteral("TItemBalanceForm"));
    setWindowTitle(title);
    SetModuleCaption(title);
    plModuleToolbar->hide();

    auto *client = new QVBoxLayout(plClient);
    client->addWidget(gl::MakeTitleLabel(title, plClient));
    auto *bar = new QHBoxLayout;
    AddAccountBox(bar, plClient, edAccount, lbAccountName);
    cbItemAccount = AddItemAccountChoice(bar, plClient, edAccount,
                                         [this] { gl::RunGuarded([this] { Refresh(); }); });
    AddPeriodRange(bar, plClient, cbFromPeriod, cbToPeriod);
    const ReportButtons b = AddReportButtons(bar, this);
    client->addLayout(bar);

    grdBalances = MakeReportGrid(plClient, this, QStringLiteral("grdBalances"),
                                 ItemBalanceReport(QString(), {}), 1, m_model);
    SetMainGridView(grdBalances);
    client->addWidget(grdBalances, 1);

    connect(b.query, &QPushButton::clicked, this,
            [this] { gl::RunGuarded([this] { Refresh(); }); });
    connect(edAccount, &QLineEdit::returnPressed, this,
            [this] { gl::RunGuarded([this] { Refresh(); }); });
    ConnectReportOutput(b.exportButton, b.preview, this, [this] { return report(); });
    connect(grdBalances, &QTableView::doubleClicked, this,
            [this] { gl::RunGuarded([this] { OpenLedger(); }); });
}

void TItemBalanceForm::Execute(quint32, const QString &, QVariant &)
{
    gl::BusyScope busy;
    m_periods = Periods();
    m_accounts = Accounts();
    FillItemAccounts(cbItemAccount, m_accounts);
    for (QComboBox *c : {cbFromPeriod, cbToPeriod}) {
        QSignalBlocker block(c);
        const QVariant kept = c->currentData();
        c->clear();
        for (const LedgerPeriod &p : m_periods)
            c->addItem(p.code, p.periodId);
        const int at = c->findData(kept);
        const int today = c->findData(PeriodOf(m_periods, QDate::currentDate()).periodId);
        c->setCurrentIndex(at >= 0 ? at : today >= 0 ? today : c->count() - 1);
    }
}

void TItemBalanceForm::Refresh()
{
    const LedgerAccount &a = ItemAccount(m_accounts, edAccount->text());
    lbAccountName->setText(a.fullName);
    cbItemAccount->setCurrentIndex(qMax(0, cbItemAccount->findData(a.code)));
    const int from = cbFromPeriod->currentData().toInt(), to = cbToPeriod->currentData().toInt();
    {
        gl::BusyScope busy;
        m_rows = ItemBalances(a.acctId, from, to);
    }
    m_acctId = a.acctId;
    m_accountText = a.code + u' ' + a.fullName;
    const ReportTable t = ItemBalanceReport(windowTitle(), m_rows);
    m_model->setRowCount(0);
    for (const ReportRow &r : t.rows) {
        QList<QStandardItem *> items;
        for (int c = 0; c < r.cells.size(); ++c) {
            auto *item = new QStandardItem(r.cells[c]);
            item->setTextAlignment(t.columns[c].align | Qt::AlignVCenter);
            if (r.bold) {
                QFont f = item->font();
                f.setBold(true);
                item->setFont(f);
            }
            items << item;
        }
        m_model->appendRow(items);
    }
}

ReportTable TItemBalanceForm::report() const
{
    ReportTable t = ItemBalanceReport(
        m_accountText.isEmpty() ? windowTitle() : windowTitle() + u' ' + m_accountText, m_rows);
    t.company = CompanyName();
    t.period = PeriodRangeText(m_periods, cbFromPeriod->currentData().toInt(),
                               cbToPeriod->currentData().toInt());
    return t;
}

void TItemBalanceForm::OpenLedger()
{
    const int row = grdBalances->currentIndex().row();
    if (row < 0 || row >= m_rows.size() || m_rows[row].total)
        return;
    QVariant p3;
    gl::HostRef().OpenModule(QStringLiteral("GLFZMXZ"), 0, quint32(m_acctId),
                             QStringLiteral("Range %1 %2 %3")
                                 .arg(cbFromPeriod->currentData().toInt())
                                 .arg(cbToPeriod->currentData().toInt())
                                 .arg(m_rows[row].dacvId),
                             p3);
}

} // namespace vexa::ledger
