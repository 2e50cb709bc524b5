#include "ConditionPrivate.h"

#include <QLocale>
#include <QStringList>
#include <cmath>

namespace vexa::cond {

namespace {

using namespace detail;

QString literalText(const QVariant &v)
{
    if (v.isNull())
        return QStringLiteral("NULL");
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    if (isFloating(v)) {
        // Shortest text that reads back to the same double, and still reads as a decimal.
        QString s = QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
        if (std::isfinite(v.toDouble()) && !s.contains(u'.') && !s.contains(u'e'))
            s += QStringLiteral(".0");
        return s;
    }
    if (categoryOf(v) == Cat::Number)
        return v.toString();
    QString scratch;
    return u'\'' + QString(likeText(v, scratch)).replace(u'\'', QStringLiteral("''")) + u'\'';
}

QString columnText(const QString &name)
{
    qsizetype width = 1;
    const bool bare = !name.isEmpty() && isNameStart(codePointAt(name, 0, &width)) &&
                      nameEnd(name, 0) == name.size() && !isReserved(name);
    return bare ? name : u'[' + QString(name).replace(u']', QStringLiteral("]]")) + u']';
}

bool isOperand(const Node &n)
{
    return n.kind == NodeKind::Literal || n.kind == NodeKind::Column || n.kind == NodeKind::Negate;
}

void print(const Node &n, QString &out)
{
    static const char *const kOps[] = {" = ", " <> ", " < ", " > ", " <= ", " >= "};
    const auto child = [&](size_t i) {
        if (i >= n.children.size())
            return;
        const Node &c = *n.children[i];
        const bool logical = c.kind == NodeKind::And || c.kind == NodeKind::Or;
        const bool parens = n.kind == NodeKind::And   ? c.kind == NodeKind::Or
                            : n.kind == NodeKind::Or  ? false
                            : n.kind == NodeKind::Not ? logical
                                                      : !isOperand(c);
        out += parens ? QStringLiteral("(") : QString();
        print(c, out);
        out += parens ? QStringLiteral(")") : QString();
    };
    switch (n.kind) {
    case NodeKind::Literal:
        out += literalText(n.value);
        break;
    case NodeKind::Column:
        out += columnText(n.name);
        break;
    case NodeKind::Negate:
    case NodeKind::Not:
        out += n.kind == NodeKind::Negate ? QStringLiteral("-") : QStringLiteral("NOT ");
        child(0);
        break;
    case NodeKind::And:
    case NodeKind::Or:
        for (size_t i = 0; i < n.children.size(); ++i) {
            if (i > 0)
                out += n.kind == NodeKind::And ? QStringLiteral(" AND ") : QStringLiteral(" OR ");
            child(i);
        }
        break;
    case NodeKind::Compare:
        child(0);
        out += QLatin1String(kOps[int(n.op)]);
        child(1);
        break;
    case NodeKind::Like:
        child(0);
        out += n.negated ? QStringLiteral(" NOT LIKE ") : QStringLiteral(" LIKE ");
        child(1);
        break;
    case NodeKind::In:
        child(0);
        out += n.negated ? QStringLiteral(" NOT IN (") : QStringLiteral(" IN (");
        for (size_t i = 1; i < n.children.size(); ++i) {
            out += i > 1 ? QStringLiteral(", ") : QString();
            child(i);
        }
        out += u')';
        break;
    case NodeKind::IsNull:
        child(0);
        out += n.negated ? QStringLiteral(" IS NOT NULL") : QStringLiteral(" IS NULL");
        break;
    }
}

} // namespace

QString toText(const Node &root)
{
    QString out;
    print(root, out);
    return out;
}

QString toText(const CommandText &command)
{
    QStringList parts;
    if (command.top)
        parts << QStringLiteral("TOP %1").arg(*command.top);
    if (command.where)
        parts << QStringLiteral("WHERE ") + toText(*command.where);
    QStringList items;
    for (const OrderItem &item : command.orderBy)
        items << columnText(item.column) + (item.descending ? QStringLiteral(" DESC") : QString());
    if (!items.isEmpty())
        parts << QStringLiteral("ORDER BY ") + items.join(QStringLiteral(", "));
    return parts.join(u' ');
}

} // namespace vexa::cond
