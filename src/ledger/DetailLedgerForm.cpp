#include "DetailLedgerForm.h"

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

TDetailLedgerForm::TDetailLedgerForm(QWidget *parent, bool items)
    : gl::TLXChildForm(parent), m_items(items)
{
    const QString title =
        items ? QStringLiteral("辅助核算项目明细账") : QStringLiteral("明细分类账");
    setObjectName(items ? QStringLiteral("TItemLedgerForm") : QStringLiteral("TDetailLedgerForm"));
    setWindowTitle(title);
    SetModuleCaption(title);
    plModuleToolbar->hide();

    auto *client = new QVBoxLayout(plClient);
    client->addWidget(gl::MakeTitleLabel(title, plClient));
    auto *bar = new QHBoxLayout;
    AddAccountBox(bar, plClient, edAccount, lbAccountName);
    if (items) {
        cbItemAccount = AddItemAccountChoice(bar, plClient, edAccount,
                                             [this] { gl::RunGuarded([this] { fillItems(); }); });
        cbItem = new QComboBox(plClient);
        cbItem->setObjectName(QStringLiteral("cbItem"));
        cbItem->setMinimumContentsLength(12);
        bar->addWidget(new QLabel(QStringLiteral("核算项目"), plClient));
        bar->addWidget(cbItem);
        connect(edAccount, &QLineEdit::editingFinished, this,
                [this] { gl::RunGuarded([this] { fillItems(); }); });
    }
    AddPeriodRange(bar, plClient, cbFromPeriod, cbToPeriod);
    const ReportButtons b = AddReportButtons(bar, this);
    QPushButton *query = b.query, *exportButton = b.exportButton, *preview = b.preview;
    client->addLayout(bar);

    grdLines = MakeReportGrid(plClient, this, QStringLiteral("grdLines"),
                              DetailReport(QString(), {}), 2, m_model);
    SetMainGridView(grdLines);
    client->addWidget(grdLines, 1);
    auto *pages = new QHBoxLayout;
    btnPrevPage = gl::MakeButton(QStringLiteral("上一页"), QStringLiteral("btnPrevPage"), this);
    btnNextPage = gl::MakeButton(QStringLiteral("下一页"), QStringLiteral("btnNextPage"), this);
    lbPage = new QLabel(plClient);
    lbPage->setObjectName(QStringLiteral("lbPage"));
    pages->addWidget(btnPrevPage);
    pages->addWidget(lbPage);
    pages->addWidget(btnNextPage);
    pages->addStretch(1);
    client->addLayout(pages);

    connect(query, &QPushButton::clicked, this, [this] { gl::RunGuarded([this] { Query(); }); });
    connect(edAccount, &QLineEdit::returnPressed, this, [this] {
        gl::RunGuarded([this] {
            if (m_items)
                fillItems();
            Query();
        });
    });
    ConnectReportOutput(exportButton, preview, this, [this] { return report(); });
    connect(btnPrevPage, &QPushButton::clicked, this,
            [this] { gl::RunGuarded([this] { ShowPage(m_page - 1); }); });
    connect(btnNextPage, &QPushButton::clicked, this,
            [this] { gl::RunGuarded([this] { ShowPage(m_page + 1); }); });
    connect(grdLines, &QTableView::doubleClicked, this,
            [this] { gl::RunGuarded([this] { OpenVoucher(); }); });
}

void TDetailLedgerForm::Execute(quint32 p1, const QString &p2, QVariant &)
{
    gl::BusyScope busy;
    m_periods = Periods();
    m_accounts = Accounts();
    if (m_items) {
        FillItemAccounts(cbItemAccount, m_accounts);
        m_itemsOf = 0; // the items are read again
    }
    const QStringList range = p2.split(u' ');
    const bool started = p1 > 0 && range.size() == (m_items ? 4 : 3) && range[0] == u"Range";
    for (int i = 0; i < 2; ++i) {
        QComboBox *c = i == 0 ? cbFromPeriod : cbToPeriod;
        QSignalBlocker block(c);
        const QVariant kept = started ? QVariant(range[i + 1].toInt()) : c->currentData();
        c->clear();
        for (const LedgerPeriod &p : m_periods)
            c->addItem(p.code, p.periodId);
        const int at = c->findData(kept);
        const int today = c->findData(PeriodOf(m_periods, QDate::currentDate()).periodId);
        c->setCurrentIndex(at >= 0 ? at : today >= 0 ? today : c->count() - 1);
    }
    if (started) {
        if (const LedgerAccount *a = FindAccount(m_accounts, int(p1)))
            edAccount->setText(a->code);
        if (m_items) {
            fillItems();
            cbItem->setCurrentIndex(cbItem->findData(range[3].toInt()));
        }
        ShowPage(0);
    }
}

void TDetailLedgerForm::fillItems()
{
    const LedgerAccount *a = FindAccount(m_accounts, edAccount->text());
    const int list = a && a->leaf ? a->itemList : 0;
    if (a && a->acctId == m_itemsOf)
        return;
    m_itemsOf = a ? a->acctId : 0;
    lbAccountName->setText(a ? a->fullName : QString());
    cbItemAccount->setCurrentIndex(qMax(0, cbItemAccount->findData(a ? a->code : QString())));
    const QVariant kept = cbItem->currentData();
    cbItem->clear();
    if (list != 0)
        for (const AuxItem &i : AuxItems(list, true))
            cbItem->addItem(QStringLiteral("%1 %2").arg(i.code, i.name), i.dacvId);
    cbItem->setCurrentIndex(qMax(0, cbItem->findData(kept)));
}

int TDetailLedgerForm::item() const
{
    if (cbItem->currentIndex() < 0)
        throw Error(QStringLiteral("请选择核算项目。"));
    return cbItem->currentData().toInt();
}

DetailPage TDetailLedgerForm::read(const LedgerAccount &a, qint64 offset, qint64 limit) const
{
    const int from = cbFromPeriod->currentData().toInt(), to = cbToPeriod->currentData().toInt();
    return m_items ? ItemLedger(a.acctId, item(), from, to, offset, limit)
                   : DetailLedger(a.acctId, from, to, offset, limit);
}

const LedgerAccount &TDetailLedgerForm::account() const
{
    if (m_items)
        return ItemAccount(m_accounts, edAccount->text());
    const QString code = edAccount->text().trimmed();
    if (code.isEmpty())
        throw Error(QStringLiteral("请输入科目代码。"));
    const LedgerAccount *a = FindAccount(m_accounts, code);
    if (!a)
        throw Error(QStringLiteral("科目代码“%1”不存在。").arg(code));
    return *a;
}

void TDetailLedgerForm::ShowPage(qint64 page)
{
    const LedgerAccount &a = account();
    lbAccountName->setText(a.fullName);
    DetailPage answer;
    {
        gl::BusyScope busy;
        answer = read(a, qMax<qint64>(0, page) * kPageRows, kPageRows);
    }
    m_page = qMax<qint64>(0, page);
    m_pages = (answer.totalRows + kPageRows - 1) / kPageRows;
    m_rows = answer.rows;
    const ReportTable t = DetailReport(a.code, m_rows);
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
    lbPage->setText(
        QStringLiteral("第 %1 页 共 %2 页").arg(m_page + 1).arg(qMax<qint64>(1, m_pages)));
    btnPrevPage->setEnabled(m_page > 0);
    btnNextPage->setEnabled(m_page + 1 < m_pages);
}

ReportTable TDetailLedgerForm::report() const
{
    // The whole range, not only the page shown.
    const LedgerAccount &a = account();
    const int from = cbFromPeriod->currentData().toInt(), to = cbToPeriod->currentData().toInt();
    gl::BusyScope busy;
    ReportTable t = DetailReport(a.code + u' ' + a.fullName +
                                     (m_items ? u' ' + cbItem->currentText() : QString()),
                                 read(a, 0, 10000000).rows);
    if (m_items)
        t.title.replace(QStringLiteral("明细分类账"), windowTitle());
    t.company = CompanyName();
    t.period = PeriodRangeText(m_periods, from, to);
    return t;
}

void TDetailLedgerForm::OpenVoucher()
{
    const int row = grdLines->currentIndex().row();
    if (row < 0 || row >= m_rows.size() || m_rows[row].docEntry <= 0)
        return;
    QVariant p3;
    gl::HostRef().OpenModule(QStringLiteral("GLPZLR"), 0, quint32(m_rows[row].docEntry),
                             QStringLiteral("DocEntry"), p3);
}

} // namespace vexa::ledger
