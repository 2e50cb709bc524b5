#pragma once

// The chart of the enterprise template A01000 as the tests of the account lookups load it
// into an account set.

#include "AppServer.h"
#include "ClientDataSet.h"
#include "DataPacket.h"

#include <QTest>
#include <QVariantMap>

#include <functional>

namespace vexa::test {

// The value of field in row of a packet.
inline QVariant packetValue(const DataPacket &p, int row, const char *field)
{
    return p.rows[size_t(row)][indexOfField(p.fields, QLatin1String(field))];
}

// The template's packet texts: its accounts (AcctXMLData) and account types (AcctTypeXMLData).
struct TemplateChart
{
    QString accounts;
    QString types;
};

inline TemplateChart templateChart(IRemoteConnection &c)
{
    const DataPacket tpl = c.request(QStringLiteral("SYS_SMAcctTempData"),
                                     QStringLiteral("WHERE AcctTempCode = 'A01000'"));
    if (tpl.rows.size() != 1)
        return {};
    return {packetValue(tpl, 0, "AcctXMLData").toString(),
            packetValue(tpl, 0, "AcctTypeXMLData").toString()};
}

// Inserts the rows into provider in one apply, copying the provider's fields by name; adjust
// changes a row before it is inserted. A refusal fails the test.
inline void insertRows(server::ServerConnection &c, const QString &provider, const DataPacket &rows,
                       const std::function<void(QVariantMap &)> &adjust = {})
{
    ClientDataSet ds;
    ds.setRemoteConnection(&c);
    ds.setProviderName(provider);
    ds.setCommandText(QStringLiteral("WHERE 1=0"));
    ds.open();
    for (const QVariantList &r : rows.rows) {
        QVariantMap row;
        for (int i = 0; i < rows.fields.size(); ++i)
            row.insert(rows.fields[i].name, r[i]);
        if (adjust)
            adjust(row);
        ds.append();
        for (auto it = row.begin(); it != row.end(); ++it)
            if (ds.findField(it.key()))
                ds.setValue(it.key(), it.value());
        ds.post();
    }
    int errors = -1;
    QVariant owner;
    c.applyUpdates(provider, ds.delta(), -1, errors, owner);
    QVERIFY2(errors == 0, qPrintable(c.lastError()));
}

} // namespace vexa::test
