#include "OpeningBalanceForm.h"

#include "ChartData.h"
#include "DialogService.h"
#include "FormKit.h"
#include "LedgerData.h"
#include "MessageDialogs.h"
#include "Money.h"

#include <vexa/Error.h>

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTableWidget>
#include <QVBoxLayout>

namespace vexa::ledger {

namespace {

using S = QString;

QTableWidgetItem *cell(const QString &text, bool editable, bool right = false)
{
    auto *item = new QTableWidgetItem(text);
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (editable)
        flags |= Qt::ItemIsEditable;
    item->setFlags(flags);
    if (right)
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

// A balance typed on the account's side, as the signed debit-positive figure.
qint64 signedFromSide(const QString &dc, qint64 amount)
{
    return dc == u"C" ? -amount : amount;
}

// Zero shows as an empty cell, as in a paper ledger: the figures stand out.
QString amountText(qint64 fen)
{
    return fen == 0 ? QString() : Money::format(fen);
}

QString sideAmount(const QString &dc, qint64 signedAmount)
{
    return amountText(OpeningBalanceTree::onSide(dc, signedAmount).amount);
}

} // namespace

TOpeningBalanceForm::TOpeningBalanceForm(QWidget *parent) : gl::TLXChildForm(parent)
{
    setObjectName(QStringLiteral("TOpeningBalanceForm"));
    setWindowTitle(QStringLiteral("科目期初余额"));
    SetModuleCaption(QStringLiteral("科目期初余额"));
    auto *bar = new QHBoxLayout(plModuleToolbar);
    bar->setContentsMargins(4, 2, 4, 2);
    m_save = gl::MakeButton(QStringLiteral("保存"), QStringLiteral("btnSave"), plModuleToolbar);
    auto *trial =
        gl::MakeButton(QStringLiteral("试算平衡"), QStringLiteral("btnTrial"), plModuleToolbar);
    auto *refresh =
        gl::MakeButton(QStringLiteral("刷新"), QStringLiteral("btnRefresh"), plModuleToolbar);
    m_state = new QLabel(plModuleToolbar);
    m_state->setObjectName(QStringLiteral("lbState"));
    bar->addWidget(m_save);
    bar->addWidget(trial);
    bar->addWidget(refresh);
    bar->addSpacing(12);
    bar->addWidget(m_state, 1);

    auto *layout = new QVBoxLayout(plClient);
    layout->setContentsMargins(0, 0, 0, 0);
    m_grid = new QTableWidget(plClient);
    m_grid->setObjectName(QStringLiteral("grdOpening"));
    m_grid->setColumnCount(7);
    m_grid->setHorizontalHeaderLabels({QStringLiteral("科目代码"), QStringLiteral("科目名称"),
                                       QStringLiteral("方向"), QStringLiteral("期初余额"),
                                       QStringLiteral("累计借方"), QStringLiteral("累计贷方"),
                                       QStringLiteral("年初余额")});
    m_grid->verticalHeader()->hide();
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::AnyKeyPressed);
    m_grid->setColumnWidth(ColCode, 110);
    m_grid->setColumnWidth(ColSide, 40);
    for (int c : {ColBalance, ColYtdDebit, ColYtdCredit, ColYear})
        m_grid->setColumnWidth(c, 140);
    m_grid->horizontalHeader()->setSectionResizeMode(ColName, QHeaderView::Stretch);
    layout->addWidget(m_grid);

    connect(m_save, &QPushButton::clicked, this, [this] { gl::RunGuarded([this] { Save(); }); });
    connect(trial, &QPushButton::clicked, this,
            [this] { gl::RunGuarded([this] { ShowTrialBalance(); }); });
    connect(refresh, &QPushButton::clicked, this, [this] { gl::RunGuarded([this] { Reload(); }); });
    connect(m_grid, &QTableWidget::cellChanged, this, [this](int row, int column) {
        if (!m_filling)
            gl::RunGuarded([&] { CellEdited(row, column); });
    });
    connect(m_grid, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        const OpeningAccount &a = m_tree.accounts().value(row);
        if (a.itemList != 0 && a.leaf && !m_locked)
            gl::RunGuarded([&] { EditItems(a.id); });
    });
    gl::RunGuarded([this] { Reload(); });
}

void TOpeningBalanceForm::Reload()
{
    gl::BusyScope busy;
    m_tree.setAccounts(OpeningAccounts(ChartAccounts()));
    m_tree.load(OpeningRows());
    m_midYear = LedgerStartsMidYear();
    m_locked = AnyVoucherPosted();
    m_grid->setColumnHidden(ColYtdDebit, !m_midYear);
    m_grid->setColumnHidden(ColYtdCredit, !m_midYear);
    m_grid->setColumnHidden(ColYear, !m_midYear);
    m_save->setEnabled(!m_locked);
    m_state->setText(m_locked ? QStringLiteral("已有凭证记账，期初余额已锁定，不能修改。")
                              : QString());
    Fill();
}

void TOpeningBalanceForm::Fill()
{
    const QScopedValueRollback<bool> filling(m_filling, true);
    const QList<OpeningAccount> &accounts = m_tree.accounts();
    m_grid->setRowCount(int(accounts.size()));
    for (int r = 0; r < accounts.size(); ++r) {
        const OpeningAccount &a = accounts[r];
        const bool entry = a.leaf && a.itemList == 0 && !m_locked;
        m_grid->setItem(r, ColCode, cell(a.code, false));
        m_grid->setItem(r, ColName,
                        cell(QString(std::max(0, a.level - 1), QChar(0x3000)) + a.name, false));
        m_grid->setItem(r, ColSide, cell(OpeningBalanceTree::onSide(a.dc, 0).side, false));
        for (int c : {ColBalance, ColYtdDebit, ColYtdCredit})
            m_grid->setItem(r, c, cell(QString(), entry, true));
        m_grid->setItem(r, ColYear, cell(QString(), false, true));
        if (!a.leaf) {
            QFont bold = m_grid->item(r, ColName)->font();
            bold.setBold(true);
            m_grid->item(r, ColName)->setFont(bold);
        }
    }
    ShowFigures();
}

void TOpeningBalanceForm::ShowFigures()
{
    const QScopedValueRollback<bool> filling(m_filling, true);
    const QList<OpeningAccount> &accounts = m_tree.accounts();
    for (int r = 0; r < accounts.size(); ++r) {
        const OpeningAccount &a = accounts[r];
        const OpeningFigures f = m_tree.total(a.id);
        m_grid->item(r, ColBalance)->setText(sideAmount(a.dc, f.balance));
        m_grid->item(r, ColYtdDebit)->setText(amountText(f.ytdDebit));
        m_grid->item(r, ColYtdCredit)->setText(amountText(f.ytdCredit));
        m_grid->item(r, ColYear)->setText(sideAmount(a.dc, f.yearOpening()));
    }
}

void TOpeningBalanceForm::CellEdited(int row, int column)
{
    const OpeningAccount &a = m_tree.accounts().value(row);
    OpeningFigures f = m_tree.entry(a.id, 0);
    try {
        const qint64 amount = Money::parse(m_grid->item(row, column)->text());
        if (column == ColBalance)
            f.balance = signedFromSide(a.dc, amount);
        else if (column == ColYtdDebit)
            f.ytdDebit = amount;
        else if (column == ColYtdCredit)
            f.ytdCredit = amount;
        else
            return;
        m_tree.setEntry(a.id, 0, f);
    } catch (...) {
        ShowFigures(); // the cell shows the figure it had
        throw;
    }
    ShowFigures();
}

void TOpeningBalanceForm::EditItems(qint64 acctId)
{
    const OpeningAccount &a = m_tree.account(acctId);
    TOpeningItemsDialog dialog(a, AuxItems(a.itemList), m_tree, m_midYear, this);
    if (gl::DialogService::instance().exec(dialog) != QDialog::Accepted)
        return;
    for (const auto &[item, figures] : dialog.Figures())
        m_tree.setEntry(acctId, item, figures);
    ShowFigures();
}

OpeningTrial TOpeningBalanceForm::ShowTrialBalance()
{
    const OpeningTrial t = m_tree.trial();
    QString text = QStringLiteral("期初余额：借方合计 %1，贷方合计 %2")
                       .arg(Money::format(t.openingDebit), Money::format(t.openingCredit));
    if (m_midYear)
        text += QStringLiteral("\n年初余额：借方合计 %1，贷方合计 %2")
                    .arg(Money::format(t.yearDebit), Money::format(t.yearCredit));
    text += t.balanced() ? QStringLiteral("\n试算结果：平衡")
                         : QStringLiteral("\n试算结果：不平衡，记账前须调平。");
    gl::ShowInfoMessage(text);
    return t;
}

void TOpeningBalanceForm::Save()
{
    if (m_locked)
        throw Error(QStringLiteral("已有凭证记账，期初余额已锁定，不能修改。"));
    const QList<OpeningRow> rows = m_tree.changes();
    if (rows.isEmpty()) {
        gl::ShowInfoMessage(QStringLiteral("没有需要保存的更改。"));
        return;
    }
    {
        gl::BusyScope busy;
        SaveOpenings(rows);
    }
    m_tree.markSaved();
    const OpeningTrial t = ServerOpeningTrial();
    gl::ShowInfoMessage(t.balanced() ? QStringLiteral("期初余额已保存，试算平衡。")
                                     : QStringLiteral("期初余额已保存，但试算不平衡，"
                                                      "记账前须调平。"));
}

// ---- items ---------------------------------------------------------------------------

TOpeningItemsDialog::TOpeningItemsDialog(const OpeningAccount &account, const QList<AuxItem> &items,
                                         const OpeningBalanceTree &tree, bool midYear,
                                         QWidget *parent)
    : QDialog(parent), m_account(account)
{
    setObjectName(QStringLiteral("TOpeningItemsDialog"));
    setWindowTitle(QStringLiteral("核算项目期初余额 - %1 %2").arg(account.code, account.name));
    resize(560, 360);
    auto *layout = new QVBoxLayout(this);
    m_grid = new QTableWidget(int(items.size()), 5, this);
    m_grid->setObjectName(QStringLiteral("grdItems"));
    m_grid->setHorizontalHeaderLabels(
        {QStringLiteral("项目代码"), QStringLiteral("项目名称"),
         QStringLiteral("期初余额（%1）").arg(OpeningBalanceTree::onSide(account.dc, 0).side),
         QStringLiteral("累计借方"), QStringLiteral("累计贷方")});
    m_grid->verticalHeader()->hide();
    m_grid->setColumnHidden(3, !midYear);
    m_grid->setColumnHidden(4, !midYear);
    m_grid->horizontalHeader()->setStretchLastSection(true);
    for (int r = 0; r < items.size(); ++r) {
        const OpeningFigures f = tree.entry(account.id, items[r].dacvId);
        m_items.append(items[r].dacvId);
        m_grid->setItem(r, 0, cell(items[r].code, false));
        m_grid->setItem(r, 1, cell(items[r].name, false));
        m_grid->setItem(r, 2, cell(sideAmount(account.dc, f.balance), true, true));
        m_grid->setItem(r, 3, cell(amountText(f.ytdDebit), true, true));
        m_grid->setItem(r, 4, cell(amountText(f.ytdCredit), true, true));
    }
    layout->addWidget(m_grid);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    auto *ok = gl::MakeButton(QStringLiteral("确定"), QStringLiteral("btnOk"), this);
    auto *cancel = gl::MakeButton(QStringLiteral("取消"), QStringLiteral("btnCancel"), this);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, [this] { gl::RunGuarded([this] { Accept(); }); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TOpeningItemsDialog::Accept()
{
    QList<std::pair<qint64, OpeningFigures>> figures;
    for (int r = 0; r < m_items.size(); ++r) {
        const auto amount = [&](int column) {
            try {
                return Money::parse(m_grid->item(r, column)->text());
            } catch (const Error &e) {
                throw Error(
                    QStringLiteral("项目“%1”：%2").arg(m_grid->item(r, 1)->text(), e.message()));
            }
        };
        figures.append(
            {m_items[r], {signedFromSide(m_account.dc, amount(2)), amount(3), amount(4)}});
    }
    m_figures = figures;
    accept();
}

} // namespace vexa::ledger
