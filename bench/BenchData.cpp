#include "BenchData.h"

#include <QDateTime>

namespace vexa::bench {

QString nodeId(int i)
{
    return QStringLiteral("{N%1}").arg(i, 8, 10, QLatin1Char('0'));
}

std::unique_ptr<ClientDataSet> makeTree(int n, int fanout)
{
    DataPacket p;
    p.fields = {
        {QStringLiteral("NodeID"), FieldType::String, 38, true, false},
        {QStringLiteral("ParentID"), FieldType::String, 38, false, false},
        {QStringLiteral("NodeDesc"), FieldType::String, 60, false, false},
        {QStringLiteral("MCode"), FieldType::String, 8, false, false},
        {QStringLiteral("Sort"), FieldType::Integer, 0, false, false},
        {QStringLiteral("ObjType"), FieldType::Integer, 0, false, false},
        {QStringLiteral("InnerUse"), FieldType::Boolean, 0, false, false},
        {QStringLiteral("Amount"), FieldType::Currency, 0, false, false},
        {QStringLiteral("Created"), FieldType::DateTime, 0, false, false},
        {QStringLiteral("Memo"), FieldType::String, 100, false, false},
    };
    p.rows.reserve(size_t(n));
    const QDateTime base(QDate(2024, 1, 1), QTime(8, 0));
    for (int i = 0; i < n; ++i) {
        p.rows.push_back({
            nodeId(i),
            i == 0 ? QVariant() : QVariant(nodeId((i - 1) / fanout)),
            QStringLiteral("总账模块节点%1").arg(i),
            QStringLiteral("GL%1").arg(i % 1000, 4, 10, QLatin1Char('0')),
            (i - 1) % fanout + 1,
            1000 + i % 37,
            i % 5 == 0,
            (i % 10007) * 1.25,
            base.addSecs(qint64(i) * 37).addMSecs(i % 1000),
            i % 3 ? QVariant(QStringLiteral("备注 %1 \"quoted\"").arg(i)) : QVariant(),
        });
    }
    auto ds = std::make_unique<ClientDataSet>();
    ds->setData(p);
    return ds;
}

} // namespace vexa::bench
