#include "PostVouchersForm.h"

#include "ClientDataSet.h"
#include "DataAccess.h"
#include "FormKit.h"
#include "MessageDialogs.h"

#include <vexa/Error.h>

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace vexa::ledger {

TPostVouchersForm::TPostVouchersForm(QWidget *parent) : gl::TLXChildForm(parent)
{
    setObjectName(QStringLiteral("TPostVouchersForm"));
    setWindowTitle(QStringLiteral("凭证登帐"));
    SetModuleCaption(QStringLiteral("凭证登帐"));

    auto *client = new QVBoxLayout(plClient);
    client->addWidget(gl::MakeTitleLabel(QStringLiteral("凭证登帐"), plClient));
    auto *note =
        new QLabel(QStringLiteral("把已审核的凭证登记到账簿。记账后的凭证不能再修改或删除，"
                                  "发现错误只能冲销后重新填制。"),
                   plClient);
    note->setWordWrap(true);
    client->addWidget(note);
    plModuleToolbar->hide(); // the page's one command sits by its period
    auto *form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    cbPeriod = new QComboBox(plClient);
    cbPeriod->setObjectName(QStringLiteral("cbPeriod"));
    form->addRow(QStringLiteral("记账到期间"), cbPeriod);
    lbWaiting = new QLabel(plClient);
    lbWaiting->setObjectName(QStringLiteral("lbWaiting"));
    form->addRow(QStringLiteral("待记账"), lbWaiting);
    client->addLayout(form);
    auto *buttons = new QHBoxLayout;
    btnPost = gl::MakeButton(QStringLiteral("记账"), QStringLiteral("btnPost"), this);
    buttons->addWidget(btnPost);
    buttons->addStretch(1);
    client->addLayout(buttons);
    lbResult = new QLabel(plClient);
    lbResult->setObjectName(QStringLiteral("lbResult"));
    client->addWidget(lbResult);
    client->addStretch(1);

    connect(cbPeriod, &QComboBox::currentIndexChanged, this,
            [this] { gl::RunGuarded([this] { Waiting(); }); });
    connect(btnPost, &QPushButton::clicked, this, [this] { gl::RunGuarded([this] { Post(); }); });
}

void TPostVouchersForm::Execute(quint32, const QString &, QVariant &)
{
    gl::BusyScope busy;
    m_periods = Periods();
    const QVariant kept = cbPeriod->currentData();
    QSignalBlocker block(cbPeriod);
    cbPeriod->clear();
    for (const LedgerPeriod &p : m_periods)
        cbPeriod->addItem(p.code, p.periodId);
    int at = cbPeriod->findData(kept);
    if (at < 0) {
        // The latest period that holds a reviewed voucher, else the first.
        auto reviewed = gl::ProviderDataSet(QStringLiteral("LX_FINDocVoucher"),
                                            QStringLiteral("WHERE Status = 1 ORDER BY PeriodID"));
        int latest = 0;
        for (reviewed->first(); !reviewed->eof(); reviewed->next())
            latest = reviewed->value(QStringLiteral("PeriodID")).toInt();
        at = qMax(0, cbPeriod->findData(latest));
    }
    cbPeriod->setCurrentIndex(at);
    Waiting();
}

int TPostVouchersForm::Waiting()
{
    const int period = cbPeriod->currentData().toInt();
    auto reviewed =
        gl::ProviderDataSet(QStringLiteral("LX_FINDocVoucher"),
                            QStringLiteral("WHERE Status = 1 AND PeriodID <= %1").arg(period));
    auto unreviewed =
        gl::ProviderDataSet(QStringLiteral("LX_FINDocVoucher"),
                            QStringLiteral("WHERE Status = 0 AND PeriodID <= %1").arg(period));
    const int count = reviewed->recordCount();
    QString text = QStringLiteral("已审核待记账 %1 张").arg(count);
    if (unreviewed->recordCount() > 0)
        text += QStringLiteral("；另有 %1 张未审核，不记账").arg(unreviewed->recordCount());
    lbWaiting->setText(text);
    btnPost->setEnabled(count > 0);
    return count;
}

int TPostVouchersForm::Post()
{
    const int period = cbPeriod->currentData().toInt();
    if (period <= 0 || Waiting() == 0) {
        gl::ShowWarningMessage(QStringLiteral("没有已审核待记账的凭证。"));
        return 0;
    }
    if (gl::AskYesNo(QStringLiteral("把到 %1 为止已审核的凭证全部记账吗？记账后不能再修改。")
                         .arg(cbPeriod->currentText())) != gl::mrOk)
        return 0;
    int posted = 0;
    try {
        gl::BusyScope busy;
        posted = PostVouchers(period, {});
    } catch (const Error &e) {
        gl::ShowErrorMessage(e.message());
        Waiting();
        return 0;
    }
    Waiting();
    lbResult->setText(QStringLiteral("已记账 %1 张凭证。").arg(posted));
    return posted;
}

} // namespace vexa::ledger
