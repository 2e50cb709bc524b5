#include "ClosePeriodForm.h"

#include "FormKit.h"
#include "MessageDialogs.h"

#include <vexa/Error.h>

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace vexa::ledger {

TClosePeriodForm::TClosePeriodForm(QWidget *parent) : gl::TLXChildForm(parent)
{
    setObjectName(QStringLiteral("TClosePeriodForm"));
    setWindowTitle(QStringLiteral("期末结账"));
    SetModuleCaption(QStringLiteral("期末结账"));

    auto *client = new QVBoxLayout(plClient);
    client->addWidget(gl::MakeTitleLabel(QStringLiteral("期末结账"), plClient));
    auto *note = new QLabel(
        QStringLiteral("结账前检查本期凭证是否都已审核记账、试算是否平衡、损益是否已结转、"
                       "出纳是否已结账。结账后本期不能再录入、记账或冲销凭证。"),
        plClient);
    note->setWordWrap(true);
    client->addWidget(note);
    plModuleToolbar->hide();
    auto *form = new QFormLayout;
    lbPeriod = new QLabel(plClient);
    lbPeriod->setObjectName(QStringLiteral("lbPeriod"));
    form->addRow(QStringLiteral("当前期间"), lbPeriod);
    lbLatest = new QLabel(plClient);
    lbLatest->setObjectName(QStringLiteral("lbLatest"));
    form->addRow(QStringLiteral("最近结账期间"), lbLatest);
    client->addLayout(form);
    auto *buttons = new QHBoxLayout;
    btnCheck = gl::MakeButton(QStringLiteral("检查"), QStringLiteral("btnCheck"), this);
    btnClose = gl::MakeButton(QStringLiteral("结账"), QStringLiteral("btnClose"), this);
    btnReopen = gl::MakeButton(QStringLiteral("反结账"), QStringLiteral("btnReopen"), this);
    buttons->addWidget(btnCheck);
    buttons->addWidget(btnClose);
    buttons->addWidget(btnReopen);
    buttons->addStretch(1);
    client->addLayout(buttons);
    lvProblems = new QListWidget(plClient);
    lvProblems->setObjectName(QStringLiteral("lvProblems"));
    client->addWidget(lvProblems, 1);
    lbResult = new QLabel(plClient);
    lbResult->setObjectName(QStringLiteral("lbResult"));
    client->addWidget(lbResult);

    connect(btnCheck, &QPushButton::clicked, this, [this] { gl::RunGuarded([this] { Check(); }); });
    connect(btnClose, &QPushButton::clicked, this, [this] { gl::RunGuarded([this] { Close(); }); });
    connect(btnReopen, &QPushButton::clicked, this,
            [this] { gl::RunGuarded([this] { Reopen(); }); });
}

void TClosePeriodForm::Execute(quint32, const QString &, QVariant &)
{
    Refresh();
}

QString TClosePeriodForm::codeOf(int periodId) const
{
    for (const ClosePeriodInfo &p : m_periods)
        if (p.periodId == periodId)
            return p.code;
    return QString();
}

void TClosePeriodForm::Refresh()
{
    gl::BusyScope busy;
    m_periods = LedgerPeriods();
    m_open = OpenPeriodOf(m_periods);
    m_latestClosed = LatestClosedOf(m_periods);
    lbPeriod->setText(m_periods.isEmpty() ? QStringLiteral("账套还没有会计期间或财务启用期间")
                      : m_open            ? codeOf(m_open)
                                          : QStringLiteral("全部期间都已结账"));
    lbLatest->setText(m_latestClosed ? codeOf(m_latestClosed) : QStringLiteral("无"));
    btnCheck->setEnabled(m_open != 0);
    btnClose->setEnabled(m_open != 0);
    btnReopen->setEnabled(m_latestClosed != 0);
}

int TClosePeriodForm::Check()
{
    lvProblems->clear();
    if (m_open == 0)
        return 0;
    QList<CloseProblem> problems;
    {
        gl::BusyScope busy;
        problems = CloseCheck(m_open);
    }
    for (const CloseProblem &p : problems)
        lvProblems->addItem(QStringLiteral("%1（%2）").arg(p.text).arg(p.count));
    if (problems.isEmpty())
        lvProblems->addItem(QStringLiteral("%1 检查通过，可以结账。").arg(codeOf(m_open)));
    return int(problems.size());
}

bool TClosePeriodForm::Close()
{
    if (m_open == 0)
        return false;
    const QString code = codeOf(m_open);
    if (Check() > 0) {
        gl::ShowWarningMessage(QStringLiteral("%1还不能结账，请先处理列出的问题。").arg(code));
        return false;
    }
    if (gl::AskYesNo(
            QStringLiteral("结账 %1 吗？结账后本期不能再录入、记账或冲销凭证。").arg(code)) !=
        gl::mrOk)
        return false;
    int next = 0;
    try {
        gl::BusyScope busy;
        next = ClosePeriod(m_open);
    } catch (const Error &e) {
        gl::ShowErrorMessage(e.message());
        Refresh();
        return false;
    }
    Refresh();
    lvProblems->clear();
    lbResult->setText(QStringLiteral("%1 已结账，当前期间：%2。").arg(code, codeOf(next)));
    return true;
}

bool TClosePeriodForm::Reopen()
{
    if (m_latestClosed == 0)
        return false;
    const QString code = codeOf(m_latestClosed);
    if (gl::AskYesNo(
            QStringLiteral("反结账 %1 吗？反结账后该期间可以再录入和记账凭证。").arg(code)) !=
        gl::mrOk)
        return false;
    try {
        gl::BusyScope busy;
        ReopenPeriod(m_latestClosed);
    } catch (const Error &e) {
        gl::ShowErrorMessage(e.message());
        return false;
    }
    Refresh();
    lvProblems->clear();
    lbResult->setText(QStringLiteral("%1 已反结账，当前期间：%1。").arg(code));
    return true;
}

} // namespace vexa::ledger
