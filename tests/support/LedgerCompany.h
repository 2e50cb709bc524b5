#pragma once

// A fresh set on one of the shipped chart templates (A01100 企业会计准则, A02000 小企业会计准则):
// its chart, account types and report templates with their terms bound to the accounts,
// periods 2024.01-2025.12 and the ledger started at start (2024.01 unless told).

#include "LedgerSet.h"
#include "TemplateChart.h"

namespace vexa::test {

inline void setUpCompany(server::ServerConnection &c, const char *tpl, int start = 202401)
{
    using S = QString;
    const DataPacket t =
        c.request(S("SYS_SMAcctTempData"), S("WHERE AcctTempCode = '%1'").arg(tpl));
    QCOMPARE(t.rows.size(), size_t(1));
    const auto payload = [&](const char *f) {
        return readDataPacket(packetValue(t, 0, f).toString());
    };
    insertRows(c, S("LX_DMAccounting"), payload("AcctXMLData"),
               [](QVariantMap &row) { row.insert(S("CurrCode"), S("RMB")); });
    insertRows(c, S("LX_DMAccttype"), payload("AcctTypeXMLData"));
    insertRows(c, S("LX_FINGLReportTemplet"), payload("T0200096"));
    insertRows(c, S("LX_FINGLReportTempletItem"), payload("T0200097"));
    insertRows(c, S("LX_FINGLReportTempletForAcctDef"), payload("T0200098"));
    insertRows(c, S("LX_FINGLReportTempletForSUM"), payload("T0200099"));
    ledgerSql(c.database(), S("UPDATE T0200098 SET AcctID = (SELECT AcctID FROM T0102010 "
                              "WHERE AcctCode = T0200098.ItemAcctCode)"));
    for (int year : {2024, 2025})
        for (int no = 1; no <= 12; ++no) {
            const QDate from(year, no, 1);
            ledgerSql(c.database(),
                      S("INSERT INTO FINPostingPeriods (PeriodID, Year, No, PeriodCode, "
                        "PeriodName, PostingFrom, PostingTo, Active, Locked, GLPost) "
                        "VALUES (?, ?, ?, ?, ?, ?, ?, 'Y', 'N', 0)"),
                      {year * 100 + no, year, no, S("%1.%2").arg(year).arg(no, 2, 10, QChar(u'0')),
                       S("%1年第%2期").arg(year).arg(no), from.toString(Qt::ISODate),
                       from.addMonths(1).addDays(-1).toString(Qt::ISODate)});
        }
    ledgerSql(c.database(),
              S("INSERT INTO SysInitInfo (DefID, UseOrg, SysCur, CurrName, AcctTempDesc, "
                "StartYear, YearPeriods, GLStartPeriodID, GLNowPeriodID) VALUES (1, '测试公司', "
                "'RMB', '人民币', ?, 2024, 12, ?, ?)"),
              {S::fromLatin1(tpl), start, start});
}

} // namespace vexa::test
