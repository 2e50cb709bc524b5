#pragma once

#include "LXChildForm.h"
#include "NodeData.h"

#include <QIcon>
#include <QList>
#include <QPixmap>
#include <QString>
#include <exception>
#include <memory>
#include <optional>

class QAction;
class QFrame;
class QLabel;
class QSplitter;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace vexa {
class ClientDataSet;
}

namespace vexa::gl {

class ConsoleTree;

// The two folders every console tree has.
inline constexpr char kPersonalFolderID[] = "{5C30F43F-10B2-404F-AAC3-2974162C0FB1}";
inline constexpr char kLockedFolderID[] = "{E9E9AEA1-3BE0-48E2-B653-438D89803FF7}";
bool IsFixedFolder(const QString &nodeID);

// Indexes of the console's tree pictures.
enum ConsoleImage : int {
    imgFolderClosed = 0,
    imgFolderOpen = 1,
    imgModule = 2,
    imgModuleD = 3,
    imgModuleDenied = 4,
    imgModuleDeniedD = 5,
    imgConsole = 6,
};
// The seven 18x18 pictures, drawn once, in index order.
const QList<QIcon> &ConsoleImages();
// The face picture the page shows when no other is chosen.
QPixmap DefaultFacePicture();
// The picture of a node (a directory's by its expanded state).
int NodeImageIndex(const TNodeData &node, bool expanded);

// The user group's rights: true for objType <= 0 and for a manager, else when the rights
// rows (ObjType, RightValue) hold the object type with value 1, 2 or 3.
bool ConsoleHasRight(int objType, bool manager, const ClientDataSet &rights);

// The owner of a node created under parent: the user, unless the parent is shared and not
// the personal folder (then none: an empty text).
QString NewNodeOwner(const TNodeData &parent, const QString &userID);

// The state of the tree-editing buttons for a selected node: delete and the two moves
// share one flag, create and modify another (nullopt: left as they are).
struct NodeButtonState
{
    bool deleteAndMove = false;
    std::optional<bool> createAndModify;
};
NodeButtonState NodeButtons(const TNodeData &node, bool designMode);

// The module console page: the user's tree of module nodes beside a face picture.
class TMainForm : public TLXChildForm
{
    Q_OBJECT

public:
    explicit TMainForm(QWidget *parent = nullptr);
    ~TMainForm() override;

    void BeforeExecute(bool &ok) override;
    void AfterExecute(bool &ok) override;
    // After a new login the page reads user, rights and tree again.
    void Execute(quint32 p1, const QString &p2, QVariant &p3) override;
    void Command06() override;

    bool Manager() const { return m_manager; }
    bool HasRight(int objType) const;

    // The record and the picture index of a tree item (null / -1 for none).
    static TNodeData *NodeOf(const QTreeWidgetItem *item);
    static int ImageIndexOf(const QTreeWidgetItem *item);

    // Reads the rows under parentID into item (the root level when item is null); with
    // recurse, also each new child's rows, passing deeper as both flags.
    void LoadChildren(QTreeWidgetItem *item, const QString &parentID, bool recurse, bool deeper);

    // The toolbar actions on the selected item; failures are shown, never thrown.
    void CreateNode();
    void ModifyNode();
    void DeleteNode();
    void MoveNode(bool down);
    void ExpandAll();
    void RestoreAll();
    void LaunchSelected();

    // The face picture's menu.
    void ReplaceFace();
    void RestoreFace();
    // The path "还原(&A)" loads and stores.
    static QString DefaultFacePath();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QToolButton *addButton(const char *name, const QString &caption, const QString &hint);
    void buildLayout();
    void readRegistry();
    void writeRegistry();
    bool loadFace(const QString &path); // shows the error itself
    void showDefaultFace();

    void readSession(); // caption, the user's manager flag, rights and toolbar
    void readTree();
    // Drops unsent node changes and reads the children of parent (all when null) again,
    // keeping expanded items and the selection where they still exist.
    void reloadLevel(QTreeWidgetItem *parent);
    void afterFailedSave(QTreeWidgetItem *parent, const std::exception &e, bool warning);
    QTreeWidgetItem *addItem(QTreeWidgetItem *parent, const QString &text, const TNodeData &data);
    void setImage(QTreeWidgetItem *item, int index);
    void updateImage(QTreeWidgetItem *item);
    void itemExpanded(QTreeWidgetItem *item);
    void itemCollapsed(QTreeWidgetItem *item);
    void selectionChanged();
    int indexOf(QTreeWidgetItem *item) const;                       // among its siblings
    QList<TNodeData *> siblingNodes(QTreeWidgetItem *parent) const; // the roots for null
    void expandRecursively(QTreeWidgetItem *item);
    QList<QTreeWidgetItem *> allItems() const;
    static QList<QTreeWidgetItem *> subtreeItems(QTreeWidgetItem *item);
    // Children after their own subtrees: the order their rows are deleted in.
    static QList<QTreeWidgetItem *> subtreeItemsDepthFirst(QTreeWidgetItem *item);

    ClientDataSet *cdsTreeNode;
    ClientDataSet *cdsRight;
    ClientDataSet *cdsPublic;
    std::unique_ptr<ConsoleTree> m_tree; // the editing of cdsTreeNode's rows

    QToolButton *sbMoveDown = nullptr;
    QToolButton *sbMoveUp = nullptr;
    QToolButton *sbCreateNode = nullptr;
    QToolButton *sbDeleteNode = nullptr;
    QToolButton *sbModifyNode = nullptr;
    QToolButton *sbExpanded = nullptr;
    QToolButton *sbCollapsed = nullptr;
    QFrame *bvSysConfig = nullptr; // the separator before spSysConfig
    QToolButton *spSysConfig = nullptr;
    QToolButton *btnKMQR = nullptr;
    QToolButton *spStartZT = nullptr;
    QToolButton *sbModifyPassword = nullptr;
    QSplitter *spMain = nullptr;
    QTreeWidget *tvModule = nullptr;
    QLabel *imgFace = nullptr;
    QAction *miReplaceFace = nullptr;
    QAction *miRestoreFace = nullptr;

    bool m_manager = false;
    int m_treeWidth = 301;
};

} // namespace vexa::gl
