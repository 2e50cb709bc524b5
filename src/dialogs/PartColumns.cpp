#include "PartColumns.h"

namespace vexa::gl {

namespace {

QVariant fieldValue(const ClientDataSet *ds, const QString &field)
{
    return ds && ds->isActive() && !ds->isEmpty() && ds->findField(field) ? ds->value(field)
                                                                          : QVariant();
}

} // namespace

PartColumns::PartColumns(const ClientDataSet *systemInfo)
    : m_propCount(fieldValue(systemInfo, QStringLiteral("PartPropCount")).toInt()),
      m_fixCount(fieldValue(systemInfo, QStringLiteral("PartFixcolCount")).toInt())
{
    m_captions.loadFromText(fieldValue(systemInfo, QStringLiteral("PartCustom")).toString());
}

QString PartColumns::DescField(bool gridHasItDesc)
{
    return gridHasItDesc ? QStringLiteral("ItDesc") : QStringLiteral("PartDesc");
}

bool PartColumns::ShowsMarque(bool templateShowsIt, bool gridHasIt, bool gridHidesIt)
{
    return templateShowsIt && gridHasIt && gridHidesIt;
}

const QStringList &PartColumns::TemplateFields()
{
    static const QStringList fields{QStringLiteral("UMName"),  QStringLiteral("PackUMName"),
                                    QStringLiteral("Price"),   QStringLiteral("Qty"),
                                    QStringLiteral("ItTotal"), QStringLiteral("ItTotalFC"),
                                    QStringLiteral("OpenQty")};
    return fields;
}

QList<PartColumn> PartColumns::PropertyColumns(const ClientDataSet &data) const
{
    QList<PartColumn> columns;
    if (!data.isActive())
        return columns;
    const auto column = [this](const QString &field, bool shown, bool fixed) {
        PartColumn c{field, QString(), false, shown, fixed};
        if (m_captions.isActive() && m_captions.findField(field)) {
            c.caption = fieldValue(&m_captions, field).toString();
            c.hasCaption = true;
        }
        return c;
    };
    if (data.findField(QStringLiteral("PartProp1")) && m_fixCount >= 1)
        for (int i = 1; i <= m_fixCount; ++i)
            columns << column(QStringLiteral("PartProp") + QString::number(i), true, true);
    if (data.findField(QStringLiteral("DefProp0")) && m_captions.isActive())
        for (int i = 0; i <= 9; ++i)
            columns << column(QStringLiteral("DefProp") + QString::number(i), i < m_propCount,
                              false);
    return columns;
}

} // namespace vexa::gl
