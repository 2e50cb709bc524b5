#pragma once

#include <QDate>
#include <QList>
#include <QString>

namespace vexa::ledger {

// One line of a voucher being entered. Amounts in fen.
struct VoucherLineDraft
{
    QString summary; // 摘要
    int acctId = 0;
    QString acctCode;
    QString acctName; // full name
    int itemList = 0; // the auxiliary list the account carries (T0102055), 0: none
    int dacvId = 0;   // the auxiliary item (T0102053), 0: none
    QString dacvName;
    qint64 debit = 0;
    qint64 credit = 0;

    // Nothing but perhaps a repeated summary: a line the save leaves out.
    bool isBlank() const { return acctId == 0 && debit == 0 && credit == 0; }
};

// A voucher as the window holds it: the header, the lines, the totals, the checks the
// server makes again, and the two packets of SaveVoucher.
class VoucherDraft
{
public:
    int docEntry = 0; // 0: not saved yet
    QString numCa;    // 凭证字
    int docNum = 0;   // shown after the save
    QDate docDate;
    int attachments = 0; // 附件张数
    int status = 0;      // 0 未审核, 1 已审核, 2 已记账
    QString memo;
    QList<VoucherLineDraft> lines;

    qint64 debitTotal() const;
    qint64 creditTotal() const;
    // Debits less credits.
    qint64 difference() const { return debitTotal() - creditTotal(); }
    bool balanced() const { return difference() == 0; }

    // Puts what the other lines lack on the side of row that balances them (the "=" key);
    // the row's other side is cleared. False when that changes nothing (the other lines
    // balance already, or the row holds the difference).
    bool fillBalance(int row);
    // A line at row (at the end when row is out of range), its summary that of the line
    // before it. Answers the new line's row.
    int insertLine(int row);
    int appendLine() { return insertLine(int(lines.size())); }
    void removeLine(int row);

    // What the server would refuse, first problem first, with the line number of the
    // window ("第 3 行：…"). Throws vexa::Error.
    void validate() const;

    // The packets of SaveVoucher (blank lines left out).
    QString headerPacket() const;
    QString linesPacket() const;
};

} // namespace vexa::ledger
