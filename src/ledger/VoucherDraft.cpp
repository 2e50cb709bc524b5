#include "VoucherDraft.h"

#include "DataPacket.h"
#include "FieldDef.h"
#include "Money.h"

#include <vexa/Error.h>

namespace vexa::ledger {

namespace {

constexpr int kSummaryBytes = 200;

FieldDef field(const char *name, FieldType type, int size = 0)
{
    return FieldDef{QString::fromLatin1(name), type, size, false, false};
}

// Sums that cannot overflow: each amount is below 10^17 fen, and a voucher holds far
// fewer lines than it would take.
qint64 sum(const QList<VoucherLineDraft> &lines, qint64 VoucherLineDraft::*side)
{
    qint64 total = 0;
    for (const VoucherLineDraft &l : lines)
        total += l.*side;
    return total;
}

} // namespace

qint64 VoucherDraft::debitTotal() const
{
    return sum(lines, &VoucherLineDraft::debit);
}

qint64 VoucherDraft::creditTotal() const
{
    return sum(lines, &VoucherLineDraft::credit);
}

bool VoucherDraft::fillBalance(int row)
{
    if (row < 0 || row >= lines.size())
        return false;
    VoucherLineDraft &line = lines[row];
    const qint64 others = difference() - (line.debit - line.credit);
    const qint64 debit = others < 0 ? -others : 0;
    const qint64 credit = others > 0 ? others : 0;
    if (others == 0 || (line.debit == debit && line.credit == credit))
        return false;
    line.debit = debit;
    line.credit = credit;
    return true;
}

int VoucherDraft::insertLine(int row)
{
    if (row < 0 || row > lines.size())
        row = int(lines.size());
    VoucherLineDraft line;
    if (row > 0)
        line.summary = lines[row - 1].summary;
    lines.insert(row, line);
    return row;
}

void VoucherDraft::removeLine(int row)
{
    if (row >= 0 && row < lines.size())
        lines.removeAt(row);
}

void VoucherDraft::validate() const
{
    if (numCa.trimmed().isEmpty())
        throw Error(QStringLiteral("请选择凭证字。"));
    if (!docDate.isValid())
        throw Error(QStringLiteral("请填写凭证日期。"));
    if (attachments < 0)
        throw Error(QStringLiteral("附件张数不能为负数。"));
    int filled = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const VoucherLineDraft &l = lines[i];
        if (l.isBlank())
            continue;
        ++filled;
        const QString at = QStringLiteral("第 %1 行：").arg(i + 1);
        if (l.summary.trimmed().isEmpty())
            throw Error(at + QStringLiteral("请填写摘要。"));
        if (gbkByteLength(l.summary) > kSummaryBytes)
            throw Error(
                at +
                QStringLiteral("摘要超过 %1 个字节（一个汉字占两个字节）。").arg(kSummaryBytes));
        if (l.acctId <= 0)
            throw Error(at + QStringLiteral("请填写会计科目。"));
        if (l.itemList > 0 && l.dacvId <= 0)
            throw Error(at + QStringLiteral("科目“%1 %2”要做辅助核算，请选择核算项目。")
                                 .arg(l.acctCode, l.acctName));
        if ((l.debit != 0) == (l.credit != 0))
            throw Error(at + QStringLiteral("借方金额和贷方金额要填一个，且只能填一个。"));
    }
    if (filled < 2)
        throw Error(QStringLiteral("凭证至少要有两条分录。"));
    const qint64 debits = debitTotal();
    const qint64 credits = creditTotal();
    if (debits != credits)
        throw Error(QStringLiteral("借贷不平衡：借方合计 %1，贷方合计 %2，相差 %3。")
                        .arg(Money::format(debits), Money::format(credits),
                             Money::format(debits - credits)));
    if (debits == 0)
        throw Error(QStringLiteral("凭证的金额合计不能为零。"));
}

QString VoucherDraft::headerPacket() const
{
    DataPacket p;
    p.fields = {field("DocEntry", FieldType::Integer), field("NumCa", FieldType::String, 10),
                field("DocDate", FieldType::Date),     field("Attachments", FieldType::Integer),
                field("SubNo", FieldType::Integer),    field("SubCount", FieldType::Integer),
                field("Memo", FieldType::String, 200)};
    p.rows.push_back({docEntry, numCa, docDate, attachments, 0, 0, memo});
    return writeDataPacket(p);
}

QString VoucherDraft::linesPacket() const
{
    DataPacket p;
    p.fields = {field("Summary", FieldType::String, kSummaryBytes),
                field("AcctID", FieldType::Integer),
                field("DacvID", FieldType::Integer),
                field("CurrCode", FieldType::String, 10),
                field("Rate", FieldType::Float),
                field("FCAmount", FieldType::LargeInt),
                field("Debit", FieldType::LargeInt),
                field("Credit", FieldType::LargeInt)};
    for (const VoucherLineDraft &l : lines)
        if (!l.isBlank())
            p.rows.push_back({l.summary.trimmed(), l.acctId, l.dacvId, QVariant(), QVariant(),
                              QVariant(), l.debit, l.credit});
    return writeDataPacket(p);
}

} // namespace vexa::ledger
