#pragma once

#include "NodeData.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace vexa {
class ClientDataSet;
}

namespace vexa::gl {

// What the node editor hands over: a name and a module number, with the module's catalogue
// row (no row, or an empty number, makes a directory).
struct NodeEdit
{
    QString name;
    QString moduleNo;
    const ClientDataSet *catalogue = nullptr;
};

// The rows of the console's module tree (provider SYS_SMModuleTree) and the edits the
// console makes to them. Each edit is sent to the server at once; when the server refuses,
// the edit raises and its change is still in the rows: the caller drops it with
// ReadAgain (or Read for the root level) before anything else is sent.
class ConsoleTree
{
public:
    // hasRight answers whether the user may start a module of an object type.
    ConsoleTree(ClientDataSet &rows, std::function<bool(int)> hasRight);

    // Reads the shared rows and the user's own, ordered by parent and place.
    void Read(const QString &userID);
    // Drops unsent changes and reads the same rows again.
    void ReadAgain();
    // Shows only the children of parentID (the root nodes for an empty id).
    void ShowLevel(const QString &parentID);
    // The current row as a node; a module is permitted when its object type is below 1 or
    // the user has a right on it.
    TNodeData Node() const;

    // Adds a node under parent at the 1-based place position; owned by userID unless the
    // parent is shared and not the personal folder.
    TNodeData Create(const TNodeData &parent, int position, const NodeEdit &edit,
                     const QString &userID);
    // Renames node, gives it the module of edit and stores position as its place; shownName
    // names the node when its row is gone.
    void Modify(TNodeData &node, int position, const NodeEdit &edit, const QString &shownName);
    // Deletes the rows of ids (a node after its subtree) and numbers siblings, the nodes left
    // at that level in tree order, from 1 again, starting at index from; a null entry is
    // skipped.
    void Delete(const QStringList &ids, const QList<TNodeData *> &siblings, int from);
    // Swaps the places of two neighbours: node takes nodeSort, other otherSort.
    void Swap(TNodeData &node, int nodeSort, TNodeData &other, int otherSort);

private:
    void locate(const QString &nodeID);
    void setSort(const QString &nodeID, int sort);
    void writeModule(const NodeEdit &edit);

    ClientDataSet &m_rows;
    std::function<bool(int)> m_hasRight;
};

} // namespace vexa::gl
