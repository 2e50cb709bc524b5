#include "AccountBalanceForm.h"

#include "FormKit.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "Money.h"
#include "ReportPage.h"

#include <vexa/PluginHost.h>

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>

namespace vexa::ledger {

TAccountBalanceForm::TAccountBalanceForm(QWidget *parent, bool trial)
    : gl::TLXChildForm(parent), m_trial(trial)
{
    const QString title = trial ? QStringLiteral("余额试算平衡表") : QStringLiteral("科目余额表");
    setObjectName(trial ? QStringLiteral("TTrialBalanceForm")
                        : QStringLiteral("TAccountBalanceForm"));
    setWindowTitle(title);
    SetModuleCaption(title);
    plModuleToolbar->hide();

    auto *client = new QVBoxLayout(plClient);
    client->addWidget(gl::MakeTitleLabel(title, plClient));
    auto *bar = new QHBoxLayout;
    AddPeriodRange(bar, plClient, cbFromPeriod, cbToPeriod);
    if (!trial) {
        cbLevel = new QComboBox(plClient);
        cbLevel->setObjectName(QStringLiteral("cbLevel"));
        cbLevel->addItem(QStringLiteral("全部级次"), 0);
        for (int level = 1; level <= 6; ++level)
            cbLevel->addItem(QStringLiteral("%1 级").arg(level), level);
        bar->addWidget(new QLabel(QStringLiteral("级次"), plClient));
        bar->addWidget(cbLevel);
        chkZero = new QCheckBox(QStringLiteral("显示零余额"), plClient);
        chkZero->setObjectName(QStringLiteral("chkZero"));
        bar->addWidget(chkZero);
    }
    const ReportButtons b = AddReportButtons(bar, this);
    QPushButton *query = b.query, *exportButton = b.exportButton, *preview = b.preview;
    client->addLayout(bar);

    grdBalances = MakeReportGrid(plClient, this, QStringLiteral("grdBalances"),
                                 BalanceReport(QString(), {}), 1, m_model);
    SetMainGridView(grdBalances);
    client->addWidget(grdBalances, 1);
    lbBalanced = new QLabel(plClient);
    lbBalanced->setObjectName(QStringLiteral("lbBalanced"));
    QFont big = lbBalanced->font();
    big.setBold(true);
    big.setPointSize(big.pointSize() + (trial ? 3 : 0));
    lbBalanced->setFont(big);
    client->addWidget(lbBalanced);

    connect(query, &QPushButton::clicked, this, [this] { gl::RunGuarded([this] { Refresh(); }); });
    ConnectReportOutput(exportButton, preview, this, [this] { return report(); });
    if (!trial)
        connect(grdBalances, &QTableView::doubleClicked, this,
                [this] { gl::RunGuarded([this] { OpenLedger(); }); });
}

void TAccountBalanceForm::Execute(quint32, const QString &, QVariant &)
{
    gl::BusyScope busy;
    m_periods = Periods();
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
    if (m_periods.isEmpty()) {
        lbBalanced->setText(QStringLiteral("账套还没有会计期间。"));
        return;
    }
    Refresh();
}

void TAccountBalanceForm::Refresh()
{
    const int from = cbFromPeriod->currentData().toInt(), to = cbToPeriod->currentData().toInt();
    if (from <= 0 || to <= 0)
        return;
    {
        gl::BusyScope busy;
        m_rows = AccountBalances(from, to, m_trial ? 1 : cbLevel->currentData().toInt(),
                                 !m_trial && chkZero->isChecked());
    }
    const ReportTable t = BalanceReport(windowTitle(), m_rows);
    m_model->setRowCount(0);
    for (const ReportRow &r : t.rows) {
        QList<QStandardItem *> items;
        for (int c = 0; c < r.cells.size(); ++c) {
            auto *item =
                new QStandardItem(c == 1 ? QString(r.level * 2, u' ') + r.cells[c] : r.cells[c]);
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
    const bool balanced = !m_rows.isEmpty() && m_rows.last().balanced;
    lbBalanced->setText(balanced ? QStringLiteral("试算结果平衡")
                                 : QStringLiteral("试算结果不平衡"));
    lbBalanced->setStyleSheet(balanced ? QString() : QStringLiteral("color: #c00000;"));
}

ReportTable TAccountBalanceForm::report() const
{
    ReportTable t = BalanceReport(windowTitle(), m_rows);
    t.company = CompanyName();
    t.period = PeriodRangeText(m_periods, cbFromPeriod->currentData().toInt(),
                               cbToPeriod->currentData().toInt());
    return t;
}

void TAccountBalanceForm::OpenLedger()
{
    const int row = grdBalances->currentIndex().row();
    if (row < 0 || row >= m_rows.size() || m_rows[row].total)
        return;
    QVariant p3;
    gl::HostRef().OpenModule(QStringLiteral("GLMXFLZ"), 0, quint32(m_rows[row].acctId),
                             QStringLiteral("Range %1 %2")
                                 .arg(cbFromPeriod->currentData().toInt())
                                 .arg(cbToPeriod->currentData().toInt()),
                             p3);
}

} // namespace vexa::ledger
