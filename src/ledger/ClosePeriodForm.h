#pragma once

#include "ClosingData.h"
#include "LXChildForm.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace vexa::ledger {

// 期末结账: the current period (lbPeriod), 检查 (btnCheck) lists what stops its closing in
// lvProblems (or "可以结账"), 结账 (btnClose) closes it after a question, 反结账
// (btnReopen) reopens the latest closed period after a question (the server lets only an
// administrator). lbResult says what was done.
class TClosePeriodForm : public gl::TLXChildForm
{
    Q_OBJECT

public:
    explicit TClosePeriodForm(QWidget *parent = nullptr);

    void Execute(quint32 p1, const QString &p2, QVariant &p3) override;
    // Answer how many problems were listed.
    int Check();
    // Answer whether the period was closed (reopened).
    bool Close();
    bool Reopen();

    void Command14() override { Refresh(); }

private:
    void Refresh();
    QString codeOf(int periodId) const;

    QList<ClosePeriodInfo> m_periods;
    int m_open = 0;
    int m_latestClosed = 0;
    QLabel *lbPeriod;
    QLabel *lbLatest;
    QListWidget *lvProblems;
    QLabel *lbResult;
    QPushButton *btnCheck;
    QPushButton *btnClose;
    QPushButton *btnReopen;
};

} // namespace vexa::ledger
