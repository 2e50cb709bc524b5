#include "VoucherRules.h"

#include "DataPacket.h"
#include "FieldDef.h"

#include <vexa/Error.h>

#include <QSet>

namespace vexa::server {

namespace {

constexpr int kSummaryBytes = 200;

QVariant cell(const DataPacket &p, const QVariantList &row, const char *name)
{
    const int i = indexOfField(p.fields, QLatin1String(name));
    return i < 0 ? QVariant() : row.value(i);
}

int requireColumn(const DataPacket &p, const char *name, const QString &what)
{
    const int i = indexOfField(p.fields, QLatin1String(name));
    if (i < 0)
        throw Error(QStringLiteral("%1缺少字段 %2。").arg(what, QLatin1String(name)));
    return i;
}

qint64 fenOf(const QVariant &v)
{
    return v.isNull() ? 0 : v.toLongLong();
}

} // namespace

VoucherHeader readVoucherHeader(const QString &packetText)
{
    const DataPacket p = readDataPacket(packetText);
    if (p.rows.size() != 1)
        throw Error(QStringLiteral("凭证头应当正好有一行。"));
    const QVariantList &row = p.rows.front();
    VoucherHeader h;
    h.docEntry = cell(p, row, "DocEntry").toInt();
    h.numCa = cell(p, row, "NumCa").toString().trimmed();
    h.docDate = cell(p, row, "DocDate").toDate();
    h.attachments = cell(p, row, "Attachments").toInt();
    h.subNo = cell(p, row, "SubNo").toInt();
    h.subCount = cell(p, row, "SubCount").toInt();
    h.memo = cell(p, row, "Memo").toString();
    if (h.numCa.isEmpty())
        throw Error(QStringLiteral("请选择凭证字。"));
    if (!h.docDate.isValid())
        throw Error(QStringLiteral("请填写凭证日期。"));
    if (h.attachments < 0)
        throw Error(QStringLiteral("附件张数不能为负数。"));
    if (h.subCount < 0 || h.subNo < 0 || (h.subCount == 0) != (h.subNo == 0) ||
        h.subNo > h.subCount)
        throw Error(QStringLiteral("分数编号 %1/%2 无效：分子应在 1 到分母之间。")
                        .arg(h.subNo)
                        .arg(h.subCount));
    if (gbkByteLength(h.memo) > kSummaryBytes)
        throw Error(
            QStringLiteral("凭证备注超过 %1 个字节（一个汉字占两个字节）。").arg(kSummaryBytes));
    return h;
}

QList<VoucherLine> readVoucherLines(const QString &packetText)
{
    const DataPacket p = readDataPacket(packetText);
    const QString what = QStringLiteral("凭证分录");
    const int acct = requireColumn(p, "AcctID", what);
    const int debit = requireColumn(p, "Debit", what);
    const int credit = requireColumn(p, "Credit", what);
    QList<VoucherLine> lines;
    lines.reserve(qsizetype(p.rows.size()));
    for (const QVariantList &row : p.rows) {
        VoucherLine l;
        l.summary = cell(p, row, "Summary").toString();
        l.acctId = row.value(acct).toInt();
        l.dacvId = cell(p, row, "DacvID").toInt();
        l.currCode = cell(p, row, "CurrCode").toString().trimmed();
        l.rate = cell(p, row, "Rate");
        l.fcAmount = cell(p, row, "FCAmount");
        l.debit = fenOf(row.value(debit));
        l.credit = fenOf(row.value(credit));
        lines.append(l);
    }
    return lines;
}

qint64 checkVoucherLines(const QList<VoucherLine> &lines)
{
    if (lines.size() < 2)
        throw Error(QStringLiteral("凭证至少要有两条分录。"));
    qint64 debits = 0;
    qint64 credits = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const VoucherLine &l = lines[i];
        const int no = int(i) + 1;
        if ((l.debit != 0) == (l.credit != 0))
            throw Error(QStringLiteral("第 %1 行分录应当填写借方或贷方金额中的一个，且只能填一个。")
                            .arg(no));
        if (gbkByteLength(l.summary) > kSummaryBytes)
            throw Error(QStringLiteral("第 %1 行摘要超过 %2 个字节（一个汉字占两个字节）。")
                            .arg(no)
                            .arg(kSummaryBytes));
        if (__builtin_add_overflow(debits, l.debit, &debits) ||
            __builtin_add_overflow(credits, l.credit, &credits))
            throw Error(QStringLiteral("第 %1 行金额过大，合计超出范围。").arg(no));
    }
    if (debits != credits)
        throw Error(QStringLiteral("借贷不平衡：借方合计 %1，贷方合计 %2。")
                        .arg(yuanText(debits), yuanText(credits)));
    if (debits == 0)
        throw Error(QStringLiteral("凭证的金额合计不能为零。"));
    return debits;
}

QString yuanText(qint64 fen)
{
    const bool negative = fen < 0;
    // Through unsigned, so the most negative value prints too.
    const quint64 magnitude = negative ? 0 - quint64(fen) : quint64(fen);
    return QStringLiteral("%1%2.%3")
        .arg(negative ? QStringLiteral("-") : QString())
        .arg(magnitude / 100)
        .arg(magnitude % 100, 2, 10, QChar(u'0'));
}

QString voucherLabel(const QString &numCa, int docNum)
{
    return QStringLiteral("%1字第%2号").arg(numCa).arg(docNum);
}

QString reversalSummary(const QDate &date, const QString &numCa, int docNum)
{
    return QStringLiteral("注销%1月%2日%3凭证")
        .arg(date.month())
        .arg(date.day())
        .arg(voucherLabel(numCa, docNum));
}

QList<int> parseVoucherEntries(const QString &text)
{
    QList<int> entries;
    QSet<int> seen;
    for (const QString &part : text.split(u',', Qt::SkipEmptyParts)) {
        bool ok = false;
        const int entry = part.trimmed().toInt(&ok);
        if (!ok || entry <= 0)
            throw Error(QStringLiteral("凭证编号“%1”无效。").arg(part.trimmed()));
        if (!seen.contains(entry)) {
            seen.insert(entry);
            entries.append(entry);
        }
    }
    if (entries.isEmpty())
        throw Error(QStringLiteral("没有选择凭证。"));
    return entries;
}

} // namespace vexa::server
