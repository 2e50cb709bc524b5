#pragma once

// A large account set for the ledger's benchmarks: the enterprise chart (A01000) with
// 2,000 leaf accounts added under 25 of its first-level accounts (8 second-level accounts
// each, 10 leaves under each of those), periods 2024.01-12 with the ledger started at
// 2024.01, balanced openings on the leaves, and posted vouchers of four lines with their
// GLBalance rows (every leaf and every ancestor, per period). Written straight into the
// file with the SQLite C API in one transaction: a generator, not the posting path; its
// invariants are checked once with SQL afterwards (qFatal when one fails).

#include <QString>

#include <vector>

namespace vexa::bench {

struct LedgerBenchSet
{
    std::vector<int> leaves; // AcctID of the 2,000 added leaves
    int busyLeaf = 0;        // the leaf that takes 5% of the lines
    int busyParent = 0;      // its first-level account
    qint64 lines = 0;
    qint64 vouchers = 0;
};

// Creates the set at path (a new file; the demo seed, so Manager/manager logs in) with
// about `lines` posted lines (a multiple of 4). Deterministic for one seed.
LedgerBenchSet buildLedgerBenchSet(const QString &path, qint64 lines = 1000000, quint32 seed = 19);

} // namespace vexa::bench
