#pragma once

#include <QString>
#include <QtGlobal>

namespace vexa::ledger {

// Amounts in whole fen (分). Text is read and written exactly, never through a binary
// floating-point number.
namespace Money {

// The largest amount taken: 10^15 yuan, either sign.
inline constexpr qint64 kLimitFen = Q_INT64_C(100000000000000000);

// The fen of a typed amount: "12", "12.3", "-5.00", "1,234.56", full-width digits, blanks
// at either end. An empty text is 0. Throws vexa::Error with the reason in Chinese for
// more than two decimals, anything not a number, thousands separators out of place, or
// an amount beyond kLimitFen.
qint64 parse(const QString &text);

// "1,234.56" (separators false: "1234.56"), "-0.05", "0.00".
QString format(qint64 fen, bool separators = true);

} // namespace Money

} // namespace vexa::ledger
