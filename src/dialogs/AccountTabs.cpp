#include "AccountTabs.h"

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

} // namespace vexa::gl
