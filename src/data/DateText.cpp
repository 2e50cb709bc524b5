#include "DateText.h"

namespace vexa::datetext {

// "[-]yyyy-MM-dd" with a year of four to maxDigits digits; advances pos past it.
bool parseDate(QStringView s, qsizetype &pos, int maxDigits, QDate &out)
{
    const qsizetype n = s.size();
    const bool negative = pos < n && s[pos] == u'-';
    pos += negative ? 1 : 0;
    int year = 0, digits = 0;
    while (pos < n && s[pos] >= u'0' && s[pos] <= u'9' && digits < maxDigits) {
        year = year * 10 + (s[pos].unicode() - u'0');
        ++pos, ++digits;
    }
    if (digits < 4)
        return false;
    const auto two = [&](int &v) {
        if (pos + 3 > n || s[pos] != u'-')
            return false;
        const char16_t a = s[pos + 1].unicode(), b = s[pos + 2].unicode();
        if (a < u'0' || a > u'9' || b < u'0' || b > u'9')
            return false;
        v = (a - u'0') * 10 + (b - u'0');
        pos += 3;
        return true;
    };
    int month = 0, day = 0;
    if (!two(month) || !two(day))
        return false;
    if (negative)
        year = -year;
    if (!QDate::isValid(year, month, day))
        return false;
    out = QDate(year, month, day);
    return true;
}

// "HH:mm:ss.zzz" exactly.
bool parseTime(QStringView s, qsizetype pos, QTime &out)
{
    if (s.size() - pos != 12)
        return false;
    const char16_t *p = s.utf16() + pos;
    if (p[2] != u':' || p[5] != u':' || p[8] != u'.')
        return false;
    int v[4] = {};
    const int at[4][2] = {{0, 2}, {3, 2}, {6, 2}, {9, 3}};
    for (int k = 0; k < 4; ++k)
        for (int j = 0; j < at[k][1]; ++j) {
            const char16_t c = p[at[k][0] + j];
            if (c < u'0' || c > u'9')
                return false;
            v[k] = v[k] * 10 + (c - u'0');
        }
    if (!QTime::isValid(v[0], v[1], v[2], v[3]))
        return false;
    out = QTime(v[0], v[1], v[2], v[3]);
    return true;
}

QDateTime parseDateTimeText(const QString &text)
{
    const QString s = text.trimmed();
    static const char *const formats[] = {
        "yyyy-MM-dd HH:mm:ss.zzz",
        "yyyy-MM-ddTHH:mm:ss.zzz",
        "yyyy-MM-dd HH:mm:ss",
        "yyyy-MM-ddTHH:mm:ss",
        "yyyy-MM-dd HH:mm",
        "yyyy-MM-dd",
        "yyyy/M/d H:mm:ss",
        "yyyy/M/d H:mm",
        "yyyy/M/d",
        "yyyy.M.d",
        "yyyyMMdd",
    };
    for (const char *f : formats) {
        const QDateTime dt = QDateTime::fromString(s, QLatin1String(f));
        if (dt.isValid())
            return dt;
        const QDate d = QDate::fromString(s, QLatin1String(f));
        if (d.isValid())
            return d.startOfDay();
    }
    return {};
}

} // namespace vexa::datetext
