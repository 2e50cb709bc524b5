#include "AccountTabs.h"

#include <algorithm>

namespace vexa::gl {

int AccountTabs::TabOf(const QString &componentName)
{
    int at = -1;
    if (componentName.startsWith(QLatin1String("lb")))
        at = 2;
    else if (componentName.startsWith(QLatin1String("imgClose")))
        at = 8;
    if (at < 0 || componentName.size() <= at)
        return -1;
    const int digit = componentName.at(at).digitValue();
    return digit >= 0 && digit < Count ? digit : -1;
}

int AccountTabs::TabOfTypeRow(int recNo)
{
    return recNo >= 1 && recNo < Count ? recNo : -1;
}

QString AccountTabs::Caption(const QString &typeDesc, int tab)
{
    return typeDesc + QStringLiteral("(&") + QString::number(tab) + QLatin1Char(')');
}

bool AccountTabs::Selectable(int tab, int current, bool tabShown)
{
    return tab >= 0 && tab < Count && tab != current && tabShown;
}

QString AccountTabs::Filter(int tab)
{
    return tab == 0 ? QString()
                    : QStringLiteral("AcctType = '") + QString::number(tab) + QLatin1Char('\'');
}

bool AccountTabs::KeepsAccount(const QVariant &key, int tab)
{
    return key.toLongLong() != 0 && tab != 0;
}

QString AccountTabs::CheckBoxCondition(bool leafOnly, bool showFrozen)
{
    if (leafOnly)
        return showFrozen ? QStringLiteral("IsNode = 1")
                          : QStringLiteral("IsNode = 1 AND Frozen = 0");
    return showFrozen ? QString() : QStringLiteral("Frozen = 0");
}

namespace {

bool isField(const QString &field, const char *name)
{
    return field.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

} // namespace

QVariant AccountDisplay::Text(const QString &field, const QVariant &value, int levels, bool indent)
{
    if (isField(field, "AcctName") && indent)
        return QString(std::max(0, levels - 1), QChar(0x3000)) + value.toString();
    if (isField(field, "DC")) {
        if (value.toString() == QLatin1String("D"))
            return QStringLiteral("借");
        if (value.toString() == QLatin1String("C"))
            return QStringLiteral("贷");
    } else if (isField(field, "CurrName") && value.toString().isEmpty()) {
        return QStringLiteral("多货币");
    } else if (isField(field, "ACItemDesc") && value.toString() == QStringLiteral("无辅助核算项")) {
        return QString();
    }
    return value;
}

QColor AccountDisplay::Colour(int levels, bool isNode, bool isControl)
{
    if (!isNode) {
        const QColor navy(0, 0, 128);
        const int lift = std::clamp(levels - 1, 0, 4) * 20;
        return QColor::fromHsl(navy.hslHue(), navy.hslSaturation(),
                               std::min(255, navy.lightness() + lift))
            .toRgb();
    }
    if (isControl)
        return QColor(0, 128, 0);
    return QColor();
}

} // namespace vexa::gl
