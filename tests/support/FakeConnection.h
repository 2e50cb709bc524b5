#pragma once

// A remote connection for unit tests: providers are in-memory tables, command texts are
// applied with the real condition grammar, and every request and call is recorded.

#include "Condition.h"
#include "RemoteConnection.h"

#include <vexa/Error.h>

#include <QHash>
#include <QStringList>
#include <algorithm>
#include <functional>

namespace vexa::test {

class FakeAppServer : public IAppServer
{
public:
    struct Applied
    {
        QString provider;
        DeltaPacket delta;
    };
    std::vector<Applied> applied;
    QStringList calls;
    QString lastError;
    int failApplies = 0; // the next n applies report one error
    std::function<QVariant(const QString &, QVariantList &)> onCall;

    void applyUpdates(const QString &provider, const DeltaPacket &delta, int, int &errorCount,
                      QVariant &) override
    {
        calls << QStringLiteral("applyUpdates:") + provider;
        if (failApplies > 0) {
            --failApplies;
            lastError = QStringLiteral("记录已被其他用户修改。");
            errorCount = 1;
            return;
        }
        errorCount = 0;
        applied.push_back({provider, delta});
    }

    QVariant call(const QString &operation, QVariantList &args) override
    {
        calls << operation;
        if (operation == QLatin1String("GetLastErrorInfo"))
            return lastError;
        if (onCall)
            return onCall(operation, args);
        throw Error(QStringLiteral("服务器没有操作“%1”。").arg(operation));
    }
};

class FakeConnection : public IRemoteConnection
{
public:
    QHash<QString, DataPacket> tables; // by provider name
    QList<QPair<QString, QString>> requests;
    FakeAppServer server;

    DataPacket request(const QString &provider, const QString &commandText) override
    {
        requests.append({provider, commandText});
        auto it = tables.constFind(provider);
        if (it == tables.cend())
            throw Error(QStringLiteral("没有提供者“%1”。").arg(provider));
        const DataPacket &table = it.value();
        const cond::CommandText cmd = cond::parseCommandText(commandText);
        auto resolve = [&table](const QString &name) { return indexOfField(table.fields, name); };
        DataPacket out;
        out.fields = table.fields;
        if (cmd.where)
            cond::bindColumns(*cmd.where, resolve);
        for (const QVariantList &row : table.rows)
            if (!cmd.where || cond::matches(*cmd.where, row.constData()))
                out.rows.push_back(row);
        std::vector<std::pair<int, bool>> order;
        for (const auto &o : cmd.orderBy) {
            const int i = resolve(o.column);
            if (i < 0)
                throw Error(QStringLiteral("没有列“%1”。").arg(o.column));
            order.emplace_back(i, o.descending);
        }
        std::stable_sort(out.rows.begin(), out.rows.end(),
                         [&order](const QVariantList &a, const QVariantList &b) {
                             for (auto [i, desc] : order) {
                                 const auto c = QVariant::compare(a[i], b[i]);
                                 if (c == QPartialOrdering::Less)
                                     return !desc;
                                 if (c == QPartialOrdering::Greater)
                                     return desc;
                             }
                             return false;
                         });
        if (cmd.top && qlonglong(out.rows.size()) > *cmd.top)
            out.rows.resize(size_t(*cmd.top));
        return out;
    }

    IAppServer *appServer() override { return &server; }
};

} // namespace vexa::test
