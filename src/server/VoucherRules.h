#pragma once

// The rules of a voucher that need no database: its lines read from a data packet, the
// balance check, the texts of amounts and numbers, and the list of vouchers an operation
// names.

#include <QDate>
#include <QList>
#include <QString>
#include <QVariant>

namespace vexa::server {

struct VoucherLine
{
    QString summary;
    int acctId = 0;
    int dacvId = 0; // auxiliary item, 0 when none
    QString currCode;
    QVariant rate;     // Float or null
    QVariant fcAmount; // fen of the currency or null
    qint64 debit = 0;
    qint64 credit = 0;
};

struct VoucherHeader
{
    int docEntry = 0; // 0: a new voucher
    QString numCa;
    QDate docDate;
    int attachments = 0;
    int subNo = 0;
    int subCount = 0;
    QString memo;
};

// The header packet of SaveVoucher (one row). Throws vexa::Error for a missing row, word
// or date, or a value out of range.
VoucherHeader readVoucherHeader(const QString &packetText);
// The lines packet, in row order. Throws vexa::Error for a missing column.
QList<VoucherLine> readVoucherLines(const QString &packetText);

// Checks what a voucher's lines must satisfy on their own: at least two, each with one of
// debit and credit, a summary of at most 200 GBK bytes, debits equal to credits and a total
// that is not zero. Answers the total. Throws vexa::Error with the reason in Chinese.
qint64 checkVoucherLines(const QList<VoucherLine> &lines);

// Fen as yuan with two decimals: 123456 -> "1234.56", -5 -> "-0.05".
QString yuanText(qint64 fen);

// "记字第12号".
QString voucherLabel(const QString &numCa, int docNum);

// The summary of each line of the red voucher that cancels a posted one:
// "注销3月5日记字第12号凭证".
QString reversalSummary(const QDate &date, const QString &numCa, int docNum);

// The DocEntry values of a text "12,13,14" (spaces allowed), in order, without repeats.
// Throws vexa::Error for an empty list or a value that is not a positive number.
QList<int> parseVoucherEntries(const QString &text);

} // namespace vexa::server
