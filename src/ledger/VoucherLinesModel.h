#pragma once

#include "LedgerData.h"
#include "VoucherDraft.h"

#include <QAbstractTableModel>

namespace vexa::ledger {

// The lines of a voucher draft as the voucher window's grid shows and edits them. Amounts
// show as yuan with two decimals and are edited as typed text (Money::parse); the account
// is edited as its code, the auxiliary item as its DacvID. A value the rules refuse leaves
// the line as it was and is reported through refused().
class VoucherLinesModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { Summary, Account, Item, Debit, Credit, ColumnCount };

    VoucherLinesModel(VoucherDraft &draft, QObject *parent = nullptr);

    // The chart the account codes are looked up in.
    void setAccounts(QList<LedgerAccount> accounts) { m_accounts = std::move(accounts); }
    const QList<LedgerAccount> &accounts() const { return m_accounts; }
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    bool readOnly() const { return m_readOnly; }

    // Puts an account on a row (the picker's choice).
    void setAccount(int row, const LedgerAccount &account);
    // The draft was changed or replaced from outside.
    void reload();
    // Row operations on the draft, with the view told.
    int insertLine(int row);
    void removeLine(int row);
    bool fillBalance(int row);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;

signals:
    void refused(const QString &message);
    // Anything of the lines changed (totals to show again, the draft to save).
    void linesChanged();

private:
    void changed(int row);

    VoucherDraft &m_draft;
    QList<LedgerAccount> m_accounts;
    bool m_readOnly = false;
};

} // namespace vexa::ledger
