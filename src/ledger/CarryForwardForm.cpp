#include "CarryForwardForm.h"

#include "DialogService.h"
#include "FormKit.h"
#include "MessageDialogs.h"
#include "Money.h"
#include "SelAccountingForm.h"

#include <vexa/Error.h>

#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

namespace vexa::ledger {

TCarryForwardForm::TCarryForwardForm(QWidget *parent) : gl::TLXChildForm(parent)
{
    setObjectName(QStringLiteral("TCarryForwardForm"));
    setWindowTitle(QStringLiteral("结转损益"));
    SetModuleCaption(QStringLiteral("结转损益"));

    auto *client = new QVBoxLayout(plClient);
    client->addWidget(gl::MakeTitleLabel(QStringLiteral("结转损益"), plClient));
    auto *note = new QLabel(
        QStringLiteral("把本期损益类科目的余额转入本年利润，生成一张转账凭证；年末再把本年利润"
                       "转入利润分配。生成前本期凭证须全部记账，生成的凭证照常审核、记账。"),
        plClient);
    note->setWordWrap(true);
    client->addWidget(note);
    plModuleToolbar->hide();
    auto *form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    cbPeriod = new QComboBox(plClient);
    cbPeriod->setObjectName(QStringLiteral("cbPeriod"));
    form->addRow(QStringLiteral("结转期间"), cbPeriod);
    edDate = new QDateEdit(plClient);
    edDate->setObjectName(QStringLiteral("edDate"));
    edDate->setCalendarPopup(true);
    edDate->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    form->addRow(QStringLiteral("凭证日期"), edDate);
    const auto accountRow = [this, form](const QString &caption, const char *label,
                                         const char *button, QLabel *&lb, QPushButton *&btn) {
        auto *row = new QHBoxLayout;
        lb = new QLabel(plClient);
        lb->setObjectName(QString::fromLatin1(label));
        btn = gl::MakeButton(QStringLiteral("更改…"), QString::fromLatin1(button), this);
        row->addWidget(lb);
        row->addWidget(btn);
        form->addRow(caption, row);
    };
    accountRow(QStringLiteral("本年利润科目"), "lbProfit", "btnProfit", lbProfit, btnProfit);
    accountRow(QStringLiteral("利润分配科目"), "lbDist", "btnDist", lbDist, btnDist);
    client->addLayout(form);
    lbKind = new QLabel(plClient);
    lbKind->setObjectName(QStringLiteral("lbKind"));
    client->addWidget(lbKind);
    tvLines = new QTableWidget(0, 3, plClient);
    tvLines->setObjectName(QStringLiteral("tvLines"));
    tvLines->setHorizontalHeaderLabels(
        {QStringLiteral("科目"), QStringLiteral("借方"), QStringLiteral("贷方")});
    tvLines->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    tvLines->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvLines->verticalHeader()->hide();
    client->addWidget(tvLines, 1);
    auto *buttons = new QHBoxLayout;
    btnMake = gl::MakeButton(QStringLiteral("生成凭证"), QStringLiteral("btnMake"), this);
    buttons->addWidget(btnMake);
    buttons->addStretch(1);
    client->addLayout(buttons);
    lbResult = new QLabel(plClient);
    lbResult->setObjectName(QStringLiteral("lbResult"));
    client->addWidget(lbResult);

    connect(cbPeriod, &QComboBox::currentIndexChanged, this, [this] {
        const int id = cbPeriod->currentData().toInt();
        for (const ClosePeriodInfo &p : m_periods)
            if (p.periodId == id) {
                edDate->setDateRange(p.from, p.to);
                edDate->setDate(p.to);
            }
        gl::RunGuarded([this] { Preview(); });
    });
    connect(btnProfit, &QPushButton::clicked, this,
            [this] { gl::RunGuarded([this] { ChooseAccount(true); }); });
    connect(btnDist, &QPushButton::clicked, this,
            [this] { gl::RunGuarded([this] { ChooseAccount(false); }); });
    connect(btnMake, &QPushButton::clicked, this, [this] { gl::RunGuarded([this] { Make(); }); });
}

void TCarryForwardForm::Execute(quint32, const QString &, QVariant &)
{
    gl::BusyScope busy;
    m_periods = LedgerPeriods();
    m_accounts = ClosingAccounts();
    ShowAccounts();
    const QVariant kept = cbPeriod->currentData();
    {
        QSignalBlocker block(cbPeriod);
        cbPeriod->clear();
        for (const ClosePeriodInfo &p : m_periods)
            if (!p.closed)
                cbPeriod->addItem(p.code, p.periodId);
        int at = cbPeriod->findData(kept);
        cbPeriod->setCurrentIndex(at < 0 ? 0 : at); // the first open period
    }
    edDate->setEnabled(cbPeriod->count() > 0);
    emit cbPeriod->currentIndexChanged(cbPeriod->currentIndex());
}

void TCarryForwardForm::ShowAccounts()
{
    const QString none = QStringLiteral("（未指定）");
    lbProfit->setText(m_accounts.profitText.isEmpty() ? none : m_accounts.profitText);
    lbDist->setText(m_accounts.distText.isEmpty() ? none : m_accounts.distText);
}

int TCarryForwardForm::Preview()
{
    tvLines->setRowCount(0);
    lbKind->clear();
    const int period = cbPeriod->currentData().toInt();
    if (period <= 0) {
        btnMake->setEnabled(false);
        return 0;
    }
    QList<CarryLine> lines;
    {
        gl::BusyScope busy;
        lines = CarryForwardPreview(period);
    }
    tvLines->setRowCount(int(lines.size()));
    for (int i = 0; i < lines.size(); ++i) {
        const CarryLine &l = lines[i];
        tvLines->setItem(i, 0, new QTableWidgetItem(QStringLiteral("%1 %2").arg(l.code, l.name)));
        const auto amount = [](qint64 fen) {
            auto *item = new QTableWidgetItem(fen ? Money::format(fen) : QString());
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            return item;
        };
        tvLines->setItem(i, 1, amount(l.debit));
        tvLines->setItem(i, 2, amount(l.credit));
    }
    const int kind = lines.isEmpty() ? 0 : lines.first().kind;
    lbKind->setText(kind == 1   ? QStringLiteral("结转本期损益到本年利润：")
                    : kind == 2 ? QStringLiteral("年末结转本年利润到利润分配：")
                                : QStringLiteral("本期没有需要结转的损益。"));
    btnMake->setEnabled(kind != 0);
    return int(lines.size());
}

CarryResult TCarryForwardForm::Make()
{
    const int period = cbPeriod->currentData().toInt();
    if (period <= 0 || Preview() == 0) {
        gl::ShowWarningMessage(QStringLiteral("本期没有需要结转的损益。"));
        return {};
    }
    if (gl::AskYesNo(
            QStringLiteral("按上面的分录生成%1的结转凭证吗？").arg(cbPeriod->currentText())) !=
        gl::mrOk)
        return {};
    CarryResult made;
    try {
        gl::BusyScope busy;
        made = CarryForwardProfit(period, edDate->date());
    } catch (const Error &e) {
        gl::ShowErrorMessage(e.message());
        return {};
    }
    Preview();
    lbResult->setText(
        QStringLiteral("已生成%1字第%2号凭证（%3），请审核、记账。")
            .arg(made.numCa)
            .arg(made.docNum)
            .arg(made.kind == 2 ? QStringLiteral("结转本年利润") : QStringLiteral("结转损益")));
    return made;
}

void TCarryForwardForm::ChooseAccount(bool profit)
{
    gl::TSelAccountingForm picker(this);
    picker.LeafOnly = true;
    if (gl::DialogService::instance().exec(picker) != QDialog::Accepted)
        return;
    const int chosen = picker.SelectedValue.toInt();
    if (chosen <= 0)
        return;
    {
        gl::BusyScope busy;
        SetClosingAccounts(profit ? chosen : m_accounts.profitId,
                           profit ? m_accounts.distId : chosen);
        m_accounts = ClosingAccounts();
    }
    ShowAccounts();
    Preview();
}

} // namespace vexa::ledger
