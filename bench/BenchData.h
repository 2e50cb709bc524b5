#pragma once

#include "ClientDataSet.h"

#include <memory>

namespace vexa::bench {

// A module tree of n nodes with ten fields: NodeID, ParentID, NodeDesc, MCode, Sort,
// ObjType, InnerUse, Amount, Created, Memo. Node i hangs under node (i - 1) / fanout,
// node 0 is the root (ParentID null). Deterministic.
std::unique_ptr<ClientDataSet> makeTree(int n, int fanout = 8);

QString nodeId(int i);

} // namespace vexa::bench
