#pragma once

// Dates and times read from text: the strict forms of data packets, and the looser forms a
// user or a program may give a date field.

#include <QDate>
#include <QDateTime>
#include <QStringView>
#include <QTime>

namespace vexa::datetext {

// "[-]yyyy-MM-dd" with a year of four to maxDigits digits at pos; advances pos past it.
bool parseDate(QStringView s, qsizetype &pos, int maxDigits, QDate &out);

// "HH:mm:ss.zzz" exactly, from pos to the end.
bool parseTime(QStringView s, qsizetype pos, QTime &out);

// ISO dates and date-times with or without seconds and milliseconds, "yyyy/M/d [H:mm[:ss]]",
// "yyyy.M.d" and "yyyyMMdd"; blanks around are ignored. Invalid when none fits.
QDateTime parseDateTimeText(const QString &text);

} // namespace vexa::datetext
