#pragma once

#include "LXChildForm.h"
#include "LedgerData.h"
#include "VoucherDraft.h"

class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableView;

namespace vexa::ledger {

class VoucherLinesModel;
class VoucherLineDelegate;

// 凭证录入: one voucher, entered with the keyboard alone.
//
// Header: cbNumCa 凭证字, lbDocNum 凭证号 (given at the save), edDocDate 日期, edAttachments
// 附件张数, lbStatus. Grid grdLines: 摘要, 会计科目 (a code is typed; F7 or btnPickAccount opens
// the account picker), 辅助核算 (a drop-down, only for an account that carries a list), 借方金额,
// 贷方金额. lbDebitTotal, lbCreditTotal and lbBalance follow every change.
//
// Keys: Enter goes to the next cell, from the last cell of a line to the next line (a new
// one repeating the 摘要); "=" puts the difference on the current line; Ctrl+S 保存, Ctrl+N
// 新增, Ctrl+Insert 插入行, Ctrl+Del 删除行, F7 科目.
//
// Started with p2 "DocEntry" and p1 a voucher's DocEntry, the page shows that voucher, read
// only once it is reviewed or posted. With p2 "Correct", p1 the DocEntry of a reversed
// voucher and p3 a date, a new voucher with the lines of that voucher, to be corrected.
class TVoucherForm : public gl::TLXChildForm
{
    Q_OBJECT

public:
    explicit TVoucherForm(QWidget *parent = nullptr);
    ~TVoucherForm() override;

    void Execute(quint32 p1, const QString &p2, QVariant &p3) override;

    // 新增: an empty voucher with the word and date of the last one. False when the user
    // kept unsaved changes.
    bool NewVoucher();
    // 保存: checks, then SaveVoucher. False when refused (the message was shown).
    bool Save();
    void InsertLine();
    void DeleteLine();
    // "=": the current line takes the difference.
    void FillBalance();
    // F7: the account picker for the current line.
    void PickAccount();
    // Enter: the next cell (see above).
    void Advance();

    const VoucherDraft &Draft() const { return m_draft; }
    bool Modified() const { return m_modified; }
    bool ReadOnly() const;

    void Command07() override { NewVoucher(); }
    void Command10() override { Save(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void readLists();
    void load(const VoucherDraft &draft);
    void showDraft();
    void showTotals();
    void showNumber();
    void takeHeader();
    // Unsaved changes may go: asks when there are some.
    bool mayDiscard();
    QDate defaultDate() const;

    VoucherDraft m_draft;
    VoucherLinesModel *m_model;
    VoucherLineDelegate *m_delegate;
    QList<LedgerPeriod> m_periods;
    int m_numberLength = 4;
    bool m_modified = false;
    bool m_listsRead = false;
    bool m_showing = false;

    QComboBox *cbNumCa;
    QLabel *lbDocNum;
    QDateEdit *edDocDate;
    QSpinBox *edAttachments;
    QLabel *lbStatus;
    QTableView *grdLines = nullptr; // read by eventFilter while the form is built
    QLabel *lbDebitTotal;
    QLabel *lbCreditTotal;
    QLabel *lbBalance;
    QLabel *lbPeople;
    QPushButton *btnNew;
    QPushButton *btnSave;
    QPushButton *btnInsertLine;
    QPushButton *btnDeleteLine;
    QPushButton *btnPickAccount;
    QPushButton *btnBalance;
};

} // namespace vexa::ledger
