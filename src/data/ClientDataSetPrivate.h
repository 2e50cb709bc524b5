#pragma once

// Inside of ClientDataSet, shared by its source files.

#include "ClientDataSet.h"
#include "Condition.h"

#include <QHash>
#include <memory>
#include <optional>
#include <vector>

namespace vexa {

struct ClientDataSet::Row
{
    enum class Status { Unchanged, Inserted, Modified, Deleted };
    QVariantList values;
    QVariantList original; // Modified and Deleted: the values as read
    Status status = Status::Unchanged;
    bool inBlock = false; // constructed in a RowBlock, not allocated alone
    quint64 seq = 0;      // order of the first change, for the delta
};

// Memory for all rows of one load, taken at once: one allocation instead of one per row.
// The rows in it are constructed and destroyed one by one; the memory goes with the block.
struct ClientDataSet::RowBlock
{
    explicit RowBlock(std::size_t n) : rows(std::allocator<Row>().allocate(n)), size(n) {}
    ~RowBlock() { std::allocator<Row>().deallocate(rows, size); }
    RowBlock(const RowBlock &) = delete;
    RowBlock &operator=(const RowBlock &) = delete;

    Row *const rows;
    const std::size_t size;
};

struct ClientDataSet::Filter
{
    cond::ShapedCondition condition; // bound to m_fields while the dataset is active
    std::optional<cond::EqualityHint> hint;
};

// Rows of one text column by value. A tree reads its levels with one "ParentID = 'x'"
// filter per node; answering those from a hash keeps the whole read linear. The hash is
// built when a second such filter on the same column comes without a change of the rows
// in between (a single filter is cheaper as a scan) and dropped on any change.
struct ClientDataSet::EqualityHash
{
    int column = -1;
    int uses = 0;
    bool built = false;
    QHash<QString, std::vector<Row *>> rows;
    std::vector<Row *> nulls;
};

QString dataSetName(const QObject *dataSet);

} // namespace vexa
