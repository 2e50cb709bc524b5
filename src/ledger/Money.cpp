#include "Money.h"

#include <vexa/Error.h>

#include <QStringList>

namespace vexa::ledger::Money {

namespace {

// Full-width digits and signs as typed with a Chinese input method, blanks of either width.
QString normalized(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0xFF10 && u <= 0xFF19)
            out += QChar(u'0' + (u - 0xFF10));
        else if (u == 0xFF0E || u == 0x3002) // ．。
            out += u'.';
        else if (u == 0xFF0C) // ，
            out += u',';
        else if (u == 0xFF0D) // －
            out += u'-';
        else if (u == 0xFF0B) // ＋
            out += u'+';
        else if (u == 0x3000)
            out += u' ';
        else
            out += c;
    }
    return out.trimmed();
}

// Separators only between groups of three digits, the first group of one to three.
bool groupsValid(const QString &integer)
{
    const QStringList groups = integer.split(u',');
    if (groups.size() == 1)
        return true;
    if (groups.first().isEmpty() || groups.first().size() > 3)
        return false;
    for (qsizetype i = 1; i < groups.size(); ++i)
        if (groups[i].size() != 3)
            return false;
    return true;
}

} // namespace

qint64 parse(const QString &text)
{
    const QString t = normalized(text);
    if (t.isEmpty())
        return 0;
    const auto refuse = [&text](const QString &why) {
        return Error(QStringLiteral("金额“%1”%2").arg(text.trimmed(), why));
    };
    qsizetype i = 0;
    bool negative = false;
    if (t[0] == u'-' || t[0] == u'+') {
        negative = t[0] == u'-';
        i = 1;
    }
    const QString body = t.mid(i);
    const qsizetype dot = body.indexOf(u'.');
    const QString integer = dot < 0 ? body : body.left(dot);
    const QString decimals = dot < 0 ? QString() : body.mid(dot + 1);
    const auto digit = [](QChar c) { return c >= u'0' && c <= u'9'; };
    bool valid = !(integer.isEmpty() && decimals.isEmpty());
    for (QChar c : integer)
        valid = valid && (digit(c) || c == u',');
    for (QChar c : decimals)
        valid = valid && digit(c);
    if (!valid)
        throw refuse(QStringLiteral("不是数字。"));
    if (!groupsValid(integer))
        throw refuse(QStringLiteral("的千位分隔符位置不对。"));
    if (decimals.size() > 2)
        throw refuse(QStringLiteral("最多只能有两位小数（到分）。"));

    const QString digits = QString(integer).remove(u',') + decimals.leftJustified(2, u'0');
    qint64 fen = 0;
    for (QChar c : digits) {
        fen = fen * 10 + (c.unicode() - u'0');
        if (fen > kLimitFen)
            throw refuse(QStringLiteral("超出范围，绝对值不能超过 1,000,000,000,000,000 元。"));
    }
    return negative ? -fen : fen;
}

QString format(qint64 fen, bool separators)
{
    const bool negative = fen < 0;
    // Through unsigned, so the most negative value prints too.
    const quint64 magnitude = negative ? 0 - quint64(fen) : quint64(fen);
    QString yuan = QString::number(magnitude / 100);
    if (separators)
        for (qsizetype at = yuan.size() - 3; at > 0; at -= 3)
            yuan.insert(at, u',');
    return QStringLiteral("%1%2.%3")
        .arg(negative ? QStringLiteral("-") : QString(), yuan)
        .arg(magnitude % 100, 2, 10, QChar(u'0'));
}

} // namespace vexa::ledger::Money
