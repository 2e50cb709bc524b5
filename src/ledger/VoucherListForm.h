#pragma once

#include "LXChildForm.h"
#include "LedgerData.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStandardItemModel;
class QTableView;

namespace vexa::ledger {

// Which vouchers the list shows.
struct VoucherFilter
{
    int fromPeriod = 0; // PeriodID, 0: no bound
    int toPeriod = 0;
    QString word;    // empty: every word
    int status = -1; // -1 every status, else 0 未审核, 1 已审核, 2 已记账
    QString text;    // part of a 摘要, empty: any

    // The command text of LX_FINDocVoucher; matching are the DocEntry values whose lines
    // hold the text (used only when text is set).
    QString headerCommand(const QList<int> &matching) const;
    // The command text of LX_FINDocVoucherLine that finds the lines holding the text.
    QString textCommand() const;
};

// 凭证管理: the vouchers of a period range, word, status and 摘要 text (grdVouchers: 期间,
// 凭证字号, 日期, 摘要 of the first line, 借方合计, 制单, 审核, 出纳, 记账, 状态), with the
// commands for the selected ones: btnReview 审核, btnUnreview 取消审核, btnSign 出纳签字,
// btnUnsign 取消签字, btnPost 记账, btnReverse 冲销 (the 冲销凭证 page), btnDelete 删除,
// btnOpen 修改/查看 (the 凭证录入 page; also a double click), btnRefresh 刷新. The server
// checks each command; its refusal is shown and the list read again.
class TVoucherListForm : public gl::TLXChildForm
{
    Q_OBJECT

public:
    explicit TVoucherListForm(QWidget *parent = nullptr);

    void Execute(quint32 p1, const QString &p2, QVariant &p3) override;

    VoucherFilter Filter() const;
    void Refresh();
    // The DocEntry values of the selected rows, in list order.
    QList<int> SelectedEntries() const;
    // The listed DocEntry values, in list order.
    QList<int> ListedEntries() const;

    void Review(bool on);
    void Sign(bool on);
    void Post();
    void Reverse();
    void Delete();
    void Open();

    void Command14() override { Refresh(); }

private:
    void readLists();
    // Runs a command on the selection; the list is read again whatever the outcome.
    void onSelection(const QString &done, const std::function<void(const QList<int> &)> &act);

    QList<LedgerPeriod> m_periods;
    int m_numberLength = 4;
    bool m_listsRead = false;

    QComboBox *cbFromPeriod;
    QComboBox *cbToPeriod;
    QComboBox *cbWord;
    QComboBox *cbStatus;
    QLineEdit *edSearch;
    QTableView *grdVouchers;
    QStandardItemModel *m_model;
    QLabel *lbMessage;
};

} // namespace vexa::ledger
