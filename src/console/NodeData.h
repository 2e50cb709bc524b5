#pragma once

#include <QString>

namespace vexa::gl {

// The record the console attaches to each item of its module tree: the node row as read
// (or as just written), plus what the console works out for it.
struct TNodeData
{
    QString NodeID;
    QString ParentID; // empty for a root node
    int Sort = 0;     // 1-based place among the siblings, as stored
    QString MCode;    // empty for a directory node
    QString DType;
    QString PackNo;
    QString UICommand;
    QString CommandData;
    QString UIWhere;
    QString ParaStr;
    int ObjType = 0;
    bool IsShared = false;       // the node has no owner
    bool Permitted = true;       // the user may start the module (decided when read)
    bool ChildrenLoaded = false; // the node's children are in the tree
};

} // namespace vexa::gl
