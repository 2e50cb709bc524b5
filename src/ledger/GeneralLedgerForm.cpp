#include "GeneralLedgerForm.h"

#include "FormKit.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "ReportPage.h"

#include <vexa/Error.h>
#include <vexa/PluginHost.h>

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>

namespace vexa::ledger {

TGeneralLedgerForm::TGeneralLedgerForm(QWidget *parent) : gl::TLXChildForm(parent)
{
    setObjectName(QStringLiteral("TGeneralLedgerForm"));
    setWindowTitle(QStringLiteral("总分类账"));
    SetModuleCaption(QStringLiteral("总分类账"));
    plModuleToolbar->hide();

    auto *client = new QVBoxLayout(plClient);
    client->addWidget(gl::MakeTitleLabel(QStringLiteral("总分类账"), plClient));
    auto *bar = new QHBoxLayout;
    AddAccountBox(bar, plClient, edAccount, lbAccountName);
    AddPeriodRange(bar, plClient, cbFromPeriod, cbToPeriod);
    const ReportButtons b = AddReportButtons(bar, this);
    QPushButton *query = b.query, *exportButton = b.exportButton, *preview = b.preview;
    client->addLayout(bar);

    grdPeriods = MakeReportGrid(plClient, this, QStringLiteral("grdPeriods"),
                                GeneralLedgerReport(QString(), {}), -1, m_model);
    SetMainGridView(grdPeriods);
    client->addWidget(grdPeriods, 1);

    connect(query, &QPushButton::clicked, this, [this] { gl::RunGuarded([this] { Refresh(); }); });
    connect(edAccount, &QLineEdit::returnPressed, this,
            [this] { gl::RunGuarded([this] { Refresh(); }); });
    ConnectReportOutput(exportButton, preview, this, [this] { return report(); });
    connect(grdPeriods, &QTableView::doubleClicked, this,
            [this] { gl::RunGuarded([this] { OpenLedger(); }); });
}

void TGeneralLedgerForm::Execute(quint32, const QString &, QVariant &)
{
    gl::BusyScope busy;
    m_periods = Periods();
    m_accounts = Accounts();
    for (QComboBox *c : {cbFromPeriod, cbToPeriod}) {
        QSignalBlocker block(c);
        const QVariant kept = c->currentData();
        c->clear();
        for (const LedgerPeriod &p : m_periods)
            c->addItem(p.code, p.periodId);
        const int at = c->findData(kept);
        c->setCurrentIndex(at >= 0 ? at : c == cbFromPeriod ? 0 : c->count() - 1);
    }
}

void TGeneralLedgerForm::Refresh()
{
    const QString code = edAccount->text().trimmed();
    if (code.isEmpty())
        throw Error(QStringLiteral("请输入科目代码。"));
    const LedgerAccount *a = FindAccount(m_accounts, code);
    if (!a)
        throw Error(QStringLiteral("科目代码“%1”不存在。").arg(code));
    lbAccountName->setText(a->fullName);
    {
        gl::BusyScope busy;
        m_rows = GeneralLedger(a->acctId, cbFromPeriod->currentData().toInt(),
                               cbToPeriod->currentData().toInt());
    }
    m_acctId = a->acctId;
    m_account = a->code + u' ' + a->fullName;
    const ReportTable t = GeneralLedgerReport(m_account, m_rows);
    m_model->setRowCount(0);
    for (const ReportRow &r : t.rows) {
        QList<QStandardItem *> items;
        for (int c = 0; c < r.cells.size(); ++c) {
            auto *item = new QStandardItem(r.cells[c]);
            item->setTextAlignment(t.columns[c].align | Qt::AlignVCenter);
            items << item;
        }
        m_model->appendRow(items);
    }
}

ReportTable TGeneralLedgerForm::report() const
{
    ReportTable t = GeneralLedgerReport(m_account, m_rows);
    t.company = CompanyName();
    t.period = PeriodRangeText(m_periods, cbFromPeriod->currentData().toInt(),
                               cbToPeriod->currentData().toInt());
    return t;
}

void TGeneralLedgerForm::OpenLedger()
{
    const int row = grdPeriods->currentIndex().row();
    if (row < 0 || row >= m_rows.size())
        return;
    QVariant p3;
    gl::HostRef().OpenModule(QStringLiteral("GLMXFLZ"), 0, quint32(m_acctId),
                             QStringLiteral("Range %1 %1").arg(m_rows[row].periodId), p3);
}

} // namespace vexa::ledger
