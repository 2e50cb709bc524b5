#include "AccountCode.h"

#include <QStringList>
#include <map>
#include <set>

namespace vexa::ledger {

AccountCode::AccountCode() : m_ends{4, 6, 8, 10, 12, 14} {}

AccountCode::AccountCode(QList<int> ends) : m_ends(std::move(ends)) {}

AccountCode AccountCode::fromChart(const QList<std::pair<int, QString>> &levelCodes)
{
    std::map<int, std::set<int>> seen;
    for (const auto &[level, code] : levelCodes)
        if (level >= 1 && level <= 32)
            seen[level].insert(int(code.size()));
    const int depth = std::max(6, seen.empty() ? 0 : seen.rbegin()->first);
    QList<int> ends;
    for (int level = 1; level <= depth; ++level) {
        const int previous = ends.isEmpty() ? 0 : ends.back();
        int end = previous + (level == 1 ? 4 : 2);
        const auto it = seen.find(level);
        if (it != seen.end() && it->second.size() == 1 && *it->second.begin() > previous)
            end = *it->second.begin();
        ends.append(end);
    }
    return AccountCode(ends);
}

int AccountCode::levelOf(const QString &code) const
{
    return int(m_ends.indexOf(int(code.size()))) + 1;
}

QString AccountCode::parentOf(const QString &code) const
{
    const int level = levelOf(code);
    return level > 1 ? code.left(m_ends[level - 2]) : QString();
}

QString AccountCode::problem(const QString &code) const
{
    if (code.isEmpty())
        return QStringLiteral("科目代码不能为空。");
    if (code.contains(u' ') || code.contains(u'\''))
        return QStringLiteral("科目代码“%1”无效。").arg(code);
    if (levelOf(code) == 0)
        return QStringLiteral("科目代码“%1”有 %2 位，与级次长度 %3 不符。")
            .arg(code)
            .arg(code.size())
            .arg(text());
    return {};
}

QString AccountCode::text() const
{
    QStringList parts;
    int previous = 0;
    for (int end : m_ends) {
        parts << QString::number(end - previous);
        previous = end;
    }
    return parts.join(u'-');
}

} // namespace vexa::ledger
