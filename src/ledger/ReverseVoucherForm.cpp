#include "ReverseVoucherForm.h"

#include "ClientDataSet.h"
#include "DataAccess.h"
#include "FormKit.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "Money.h"

#include <vexa/Error.h>
#include <vexa/PluginHost.h>

#include <QDateEdit>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>

namespace vexa::ledger {

TReverseVoucherForm::TReverseVoucherForm(QWidget *parent) : gl::TLXChildForm(parent)
{
    setObjectName(QStringLiteral("TReverseVoucherForm"));
    setWindowTitle(QStringLiteral("冲销凭证"));
    SetModuleCaption(QStringLiteral("冲销凭证"));

    plModuleToolbar->hide(); // the page's one command sits by its date
    auto *client = new QVBoxLayout(plClient);
    client->addWidget(gl::MakeTitleLabel(QStringLiteral("冲销凭证"), plClient));
    auto *note = new QLabel(
        QStringLiteral("选择已记账的凭证，生成一张红字凭证冲销它，再填一张蓝字订正凭证。"),
        plClient);
    client->addWidget(note);
    m_model = new QStandardItemModel(0, 5, this);
    m_model->setHorizontalHeaderLabels({QStringLiteral("期间"), QStringLiteral("凭证字号"),
                                        QStringLiteral("日期"), QStringLiteral("摘要"),
                                        QStringLiteral("借方合计")});
    grdVouchers = new QTableView(plClient);
    grdVouchers->setObjectName(QStringLiteral("grdVouchers"));
    grdVouchers->setModel(m_model);
    grdVouchers->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdVouchers->setSelectionMode(QAbstractItemView::SingleSelection);
    grdVouchers->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdVouchers->horizontalHeader()->setSectionResizeMode(3, QHeaderView::Stretch);
    grdVouchers->verticalHeader()->hide();
    SetMainGridView(grdVouchers);
    client->addWidget(grdVouchers, 1);
    auto *bottom = new QHBoxLayout;
    edDocDate = new QDateEdit(plClient);
    edDocDate->setObjectName(QStringLiteral("edDocDate"));
    edDocDate->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    edDocDate->setCalendarPopup(true);
    bottom->addWidget(new QLabel(QStringLiteral("红字凭证日期"), plClient));
    bottom->addWidget(edDocDate);
    btnReverse = gl::MakeButton(QStringLiteral("冲销"), QStringLiteral("btnReverse"), this);
    bottom->addWidget(btnReverse);
    bottom->addStretch(1);
    client->addLayout(bottom);
    lbResult = new QLabel(plClient);
    lbResult->setObjectName(QStringLiteral("lbResult"));
    client->addWidget(lbResult);
    connect(btnReverse, &QPushButton::clicked, this,
            [this] { gl::RunGuarded([this] { Reverse(); }); });
}

void TReverseVoucherForm::Execute(quint32 p1, const QString &p2, QVariant &)
{
    m_periods = Periods();
    if (!edDocDate->property("dateSet").toBool()) {
        QDate today = gl::DayNumberToDateTime(gl::ServerDate()).date();
        if (!today.isValid() || gl::ServerDate() <= 0)
            today = QDate::currentDate();
        if (!m_periods.isEmpty() && !PeriodOf(m_periods, today).periodId)
            today = today < m_periods.first().from ? m_periods.first().from : m_periods.last().to;
        edDocDate->setDate(today);
        edDocDate->setProperty("dateSet", true);
    }
    Refresh();
    if (p2 == QLatin1String("DocEntry") && p1 > 0) {
        for (int r = 0; r < m_model->rowCount(); ++r)
            if (m_model->item(r, 0)->data(Qt::UserRole).toInt() == int(p1)) {
                grdVouchers->selectRow(r);
                return;
            }
        gl::ShowWarningMessage(
            QStringLiteral("所选凭证不能冲销：只有已记账、尚未冲销的蓝字凭证才能冲销。"));
    }
}

void TReverseVoucherForm::Refresh()
{
    gl::BusyScope busy;
    const int kept = Chosen();
    const int length = VoucherNumberLength();
    auto heads = gl::ProviderDataSet(
        QStringLiteral("LX_FINDocVoucher"),
        QStringLiteral("WHERE Status = 2 AND (ReversedBy IS NULL OR ReversedBy = 0) AND "
                       "(ReversesEntry IS NULL OR ReversesEntry = 0) "
                       "ORDER BY PeriodID, NumCa, DocNum"));
    QHash<int, QString> codes;
    for (const LedgerPeriod &p : m_periods)
        codes.insert(p.periodId, p.code);
    m_model->removeRows(0, m_model->rowCount());
    for (heads->first(); !heads->eof(); heads->next()) {
        const int entry = heads->value(QStringLiteral("DocEntry")).toInt();
        auto first =
            gl::ProviderDataSet(QStringLiteral("LX_FINDocVoucherLine"),
                                QStringLiteral("WHERE DocEntry = %1 ORDER BY LineNo").arg(entry));
        QList<QStandardItem *> row{
            new QStandardItem(codes.value(heads->value(QStringLiteral("PeriodID")).toInt())),
            new QStandardItem(VoucherNumberText(heads->asString(QStringLiteral("NumCa")).trimmed(),
                                                heads->value(QStringLiteral("DocNum")).toInt(),
                                                length)),
            new QStandardItem(
                heads->value(QStringLiteral("DocDate")).toDate().toString(Qt::ISODate)),
            new QStandardItem(first->isEmpty() ? QString()
                                               : first->asString(QStringLiteral("Summary"))),
            new QStandardItem(
                Money::format(heads->value(QStringLiteral("DebitTotal")).toLongLong()))};
        row[0]->setData(entry, Qt::UserRole);
        row[4]->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_model->appendRow(row);
        if (entry == kept)
            grdVouchers->selectRow(m_model->rowCount() - 1);
    }
    btnReverse->setEnabled(m_model->rowCount() > 0);
}

int TReverseVoucherForm::Chosen() const
{
    const QModelIndexList rows = grdVouchers->selectionModel()->selectedRows();
    return rows.isEmpty() ? 0 : m_model->item(rows.first().row(), 0)->data(Qt::UserRole).toInt();
}

bool TReverseVoucherForm::Reverse()
{
    const int entry = Chosen();
    if (entry == 0) {
        gl::ShowWarningMessage(QStringLiteral("请先选择要冲销的凭证。"));
        return false;
    }
    const int row = grdVouchers->selectionModel()->selectedRows().first().row();
    const QString label = m_model->item(row, 1)->text();
    if (gl::AskYesNo(QStringLiteral("为凭证 %1 生成红字冲销凭证（日期 %2）吗？")
                         .arg(label, edDocDate->date().toString(Qt::ISODate))) != gl::mrOk)
        return false;
    SavedVoucher red;
    try {
        gl::BusyScope busy;
        red = ReverseVoucher(entry, edDocDate->date());
    } catch (const Error &e) {
        gl::ShowErrorMessage(e.message());
        Refresh();
        return false;
    }
    Refresh();
    lbResult->setText(
        QStringLiteral("已生成红字凭证 %1，冲销 %2。")
            .arg(VoucherNumberText(red.numCa, red.docNum, VoucherNumberLength()), label));
    // The blue voucher that corrects it, with the original's lines to change.
    QVariant date = edDocDate->date();
    gl::HostRef().OpenModule(QStringLiteral("GLPZLR"), 0, quint32(entry), QStringLiteral("Correct"),
                             date);
    return true;
}

} // namespace vexa::ledger
