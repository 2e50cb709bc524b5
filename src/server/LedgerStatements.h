#pragma once

// What the statements share with the editing of their formats (LedgerReportTemplates.cpp).

#include <QtGlobal>
#include <map>
#include <vector>

namespace vexa::server {

// The sum lines of a template in an order in which each comes after the sum lines it adds;
// members maps a sum line to the lines it names (lines that are not sum lines are ignored).
// cycle is a sum line that reaches itself through other sums (0: none); the order is then
// incomplete and must not be used.
struct SumLineOrder
{
    std::vector<qint64> order;
    qint64 cycle = 0;
};
SumLineOrder sumLineOrder(const std::vector<qint64> &sumLines,
                          const std::multimap<qint64, qint64> &members);

} // namespace vexa::server
