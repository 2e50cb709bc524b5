#include "ConsoleTree.h"

#include "ClientDataSet.h"
#include "DataAccess.h"
#include "DocFindForm.h"
#include "MainForm.h"

#include <vexa/Error.h>

#include <QUuid>

namespace vexa::gl {

namespace {

QString Quoted(const QString &text)
{
    return QStringLiteral("'") + QuoteDoubled(text) + QStringLiteral("'");
}

QVariant TextOrNull(const QString &text)
{
    return text.isEmpty() ? QVariant() : QVariant(text);
}

} // namespace

ConsoleTree::ConsoleTree(ClientDataSet &rows, std::function<bool(int)> hasRight)
    : m_rows(rows), m_hasRight(std::move(hasRight))
{}

void ConsoleTree::Read(const QString &userID)
{
    m_rows.close();
    m_rows.setCommandText(QStringLiteral("WHERE (UserID IS NULL) OR (UserID=") + Quoted(userID) +
                          QStringLiteral(") ORDER BY ParentID,Sort"));
    m_rows.open();
    m_rows.setFiltered(true);
}

void ConsoleTree::ReadAgain()
{
    m_rows.cancelUpdates();
    m_rows.refresh();
}

void ConsoleTree::ShowLevel(const QString &parentID)
{
    m_rows.setFilter(parentID.isEmpty() ? QStringLiteral("ParentID = null ")
                                        : QStringLiteral("ParentID = ") + Quoted(parentID));
}

TNodeData ConsoleTree::Node() const
{
    TNodeData n;
    const ClientDataSet &ds = m_rows;
    n.NodeID = ds.asString(QStringLiteral("NodeID"));
    n.ParentID = ds.asString(QStringLiteral("ParentID"));
    n.Sort = int(ds.asInteger(QStringLiteral("Sort")));
    n.MCode = ds.asString(QStringLiteral("MCode"));
    n.DType = ds.asString(QStringLiteral("DType"));
    n.PackNo = ds.asString(QStringLiteral("PackNo"));
    n.UICommand = ds.asString(QStringLiteral("UICommand"));
    n.CommandData = ds.asString(QStringLiteral("CommandData"));
    n.UIWhere = ds.asString(QStringLiteral("UIWhere"));
    n.ParaStr = ds.asString(QStringLiteral("ParaStr"));
    n.ObjType = int(ds.asInteger(QStringLiteral("ObjType")));
    n.IsShared = ds.asString(QStringLiteral("UserID")).isEmpty();
    n.ChildrenLoaded = false;
    n.Permitted = n.ObjType >= 1 ? m_hasRight(n.ObjType) : true;
    return n;
}

void ConsoleTree::locate(const QString &nodeID)
{
    m_rows.setFilter(QStringLiteral("NodeID = ") + Quoted(nodeID));
}

void ConsoleTree::writeModule(const NodeEdit &edit)
{
    const ClientDataSet *catalogue = edit.catalogue;
    const bool module = !edit.moduleNo.isEmpty() && catalogue && catalogue->isActive() &&
                        catalogue->recordCount() > 0;
    m_rows.setValue(QStringLiteral("MCode"), TextOrNull(edit.moduleNo));
    for (const char *column : {"UICommand", "ObjType", "DType", "PackNo", "CommandData"}) {
        const QString name = QLatin1String(column);
        m_rows.setValue(name, module ? catalogue->value(name) : QVariant());
    }
    m_rows.setValue(QStringLiteral("InnerUse"),
                    module ? catalogue->value(QStringLiteral("InnerUse")) : QVariant());
}

TNodeData ConsoleTree::Create(const TNodeData &parent, int position, const NodeEdit &edit,
                              const QString &userID)
{
    const QString id = QUuid::createUuid().toString(QUuid::WithBraces).toUpper();
    const QString owner = NewNodeOwner(parent, userID);

    m_rows.setFilter(QStringLiteral("NodeID=") + Quoted(id));
    m_rows.append();
    m_rows.setValue(QStringLiteral("NodeID"), id);
    m_rows.setValue(QStringLiteral("ParentID"), TextOrNull(parent.NodeID));
    m_rows.setValue(QStringLiteral("UserID"), TextOrNull(owner));
    m_rows.setValue(QStringLiteral("NodeDesc"), edit.name);
    writeModule(edit);
    m_rows.setValue(QStringLiteral("Sort"), position);
    m_rows.post();
    ApplyChanges(m_rows, true);

    TNodeData node = Node();
    node.Sort = position;
    node.ChildrenLoaded = true;
    node.IsShared = owner.isEmpty();
    ReadAgain();
    return node;
}

void ConsoleTree::Modify(TNodeData &node, int position, const NodeEdit &edit,
                         const QString &shownName)
{
    locate(node.NodeID);
    if (m_rows.isEmpty())
        throw Error(QStringLiteral("节点“%1”已不在服务器上，请重新打开主控台。").arg(shownName));
    m_rows.edit();
    m_rows.setValue(QStringLiteral("NodeDesc"), edit.name);
    writeModule(edit);
    m_rows.setValue(QStringLiteral("Sort"), position);
    m_rows.post();
    ApplyChanges(m_rows, true);

    // The owner is the node's as read: a shared node stays shared.
    const TNodeData row = Node();
    node.MCode = row.MCode;
    node.DType = row.DType;
    node.UICommand = row.UICommand;
    node.UIWhere = row.UIWhere;
    node.ObjType = row.ObjType;
    node.PackNo = row.PackNo;
    node.CommandData = row.CommandData;
    node.Sort = position;
    node.ChildrenLoaded = true;
    node.Permitted = row.Permitted;
    ReadAgain();
}

void ConsoleTree::setSort(const QString &nodeID, int sort)
{
    locate(nodeID);
    if (m_rows.isEmpty())
        return;
    m_rows.edit();
    m_rows.setValue(QStringLiteral("Sort"), sort);
    m_rows.post();
}

void ConsoleTree::Delete(const QStringList &ids, const QList<TNodeData *> &siblings, int from)
{
    for (const QString &id : ids) {
        locate(id);
        if (!m_rows.isEmpty())
            m_rows.deleteRecord();
    }
    for (int i = from; i < siblings.size(); ++i) {
        TNodeData *data = siblings[i];
        if (!data || data->Sort == i + 1)
            continue;
        setSort(data->NodeID, i + 1);
        data->Sort = i + 1;
    }
    ApplyChanges(m_rows, true);
}

void ConsoleTree::Swap(TNodeData &node, int nodeSort, TNodeData &other, int otherSort)
{
    setSort(node.NodeID, nodeSort);
    setSort(other.NodeID, otherSort);
    node.Sort = nodeSort;
    other.Sort = otherSort;
    ApplyChanges(m_rows, true);
}

} // namespace vexa::gl
