#include "MainForm.h"

#include "ClientDataSet.h"
#include "ClientSettings.h"
#include "ConsoleEnabling.h"
#include "ConsoleTree.h"
#include "DataAccess.h"
#include "DialogService.h"
#include "DocFindForm.h"
#include "Globals.h"
#include "LaunchGate.h"
#include "MPasswordForm.h"
#include "MessageDialogs.h"
#include "NodeDirForm.h"
#include "SetupActions.h"

#include <vexa/Error.h>
#include <vexa/PluginHost.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QScopeGuard>
#include <QSet>
#include <QSettings>
#include <QSplitter>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

namespace vexa::gl {

namespace {

const QString kClientKey = QStringLiteral("Software\\Corvane\\Vexa\\Client");
const QString kModuleWidth = QStringLiteral("ModuleWidth");
const QString kFaceImage = QStringLiteral("Faceimage");

// The tree items carry their record; deleting the item disposes it.
class TNodeItem : public QTreeWidgetItem
{
public:
    static constexpr int kType = QTreeWidgetItem::UserType + 21;
    explicit TNodeItem(const TNodeData &data) : QTreeWidgetItem(kType), node(data) {}
    TNodeData node;
    int image = -1;
};

QString Quoted(const QString &text)
{
    return QStringLiteral("'") + QuoteDoubled(text) + QStringLiteral("'");
}

} // namespace

bool IsFixedFolder(const QString &nodeID)
{
    return nodeID == QLatin1String(kPersonalFolderID) || nodeID == QLatin1String(kLockedFolderID);
}

int NodeImageIndex(const TNodeData &node, bool expanded)
{
    if (node.MCode.isEmpty())
        return expanded ? imgFolderOpen : imgFolderClosed;
    if (node.MCode == QLatin1String("SFMF"))
        return imgConsole;
    const bool d = node.DType == QLatin1String("D");
    if (node.Permitted)
        return d ? imgModuleD : imgModule;
    return d ? imgModuleDeniedD : imgModuleDenied;
}

bool ConsoleHasRight(int objType, bool manager, const ClientDataSet &rights)
{
    return objType <= 0 || manager || RightsGrant(rights, objType);
}

QString NewNodeOwner(const TNodeData &parent, const QString &userID)
{
    if (!parent.IsShared || parent.NodeID == QLatin1String(kPersonalFolderID))
        return userID;
    return QString();
}

NodeButtonState NodeButtons(const TNodeData &node, bool designMode)
{
    NodeButtonState state;
    const bool personal = node.NodeID == QLatin1String(kPersonalFolderID);
    const bool locked = node.NodeID == QLatin1String(kLockedFolderID);
    if (!personal && !locked) {
        state.deleteAndMove = designMode || !node.IsShared;
        state.createAndModify = state.deleteAndMove;
    } else if (!designMode) {
        state.createAndModify = personal;
    }
    return state;
}

TMainForm::TMainForm(QWidget *parent) : TLXChildForm(parent)
{
    setWindowTitle(QStringLiteral("Vexa主控制台"));
    cdsTreeNode = new ClientDataSet(this);
    cdsTreeNode->setObjectName(QStringLiteral("cdsTreeNode"));
    cdsTreeNode->setProviderName(QStringLiteral("SYS_SMModuleTree"));
    cdsRight = new ClientDataSet(this);
    cdsRight->setObjectName(QStringLiteral("cdsRight"));
    cdsRight->setProviderName(QStringLiteral("LX_SysCheckRight"));
    cdsPublic = new ClientDataSet(this);
    m_tree =
        std::make_unique<ConsoleTree>(*cdsTreeNode, [this](int type) { return HasRight(type); });
    cdsPublic->setObjectName(QStringLiteral("cdsPublic"));
    for (ClientDataSet *ds : {cdsTreeNode, cdsRight, cdsPublic})
        ds->setRemoteConnection(Connection());
    buildLayout();
    readRegistry();
}

TMainForm::~TMainForm()
{
    writeRegistry();
}

QToolButton *TMainForm::addButton(const char *name, const QString &caption, const QString &hint)
{
    auto *button = new QToolButton(plModuleToolbar);
    button->setObjectName(QLatin1String(name));
    button->setText(caption);
    button->setToolTip(hint);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setFocusPolicy(Qt::NoFocus);
    plModuleToolbar->layout()->addWidget(button);
    return button;
}

void TMainForm::buildLayout()
{
    auto *bar = new QHBoxLayout(plModuleToolbar);
    bar->setContentsMargins(4, 2, 4, 2);
    bar->setSpacing(2);
    sbMoveDown =
        addButton("sbMoveDown", QStringLiteral("下移节点"), QStringLiteral("往下移动节点"));
    sbMoveUp = addButton("sbMoveUp", QStringLiteral("上移节点"), QStringLiteral("往上移动节点"));
    sbCreateNode =
        addButton("sbCreateNode", QStringLiteral("创建"), QStringLiteral("创建新节点项"));
    sbDeleteNode =
        addButton("sbDeleteNode", QStringLiteral("删除"), QStringLiteral("删除选择节点项"));
    sbModifyNode =
        addButton("sbModifyNode", QStringLiteral("修改"), QStringLiteral("修改选择节点项"));
    sbExpanded =
        addButton("sbExpanded", QStringLiteral("全部展开"), QStringLiteral("展开全部节点"));
    sbCollapsed =
        addButton("sbCollapsed", QStringLiteral("全部还原"), QStringLiteral("还原全部节点"));
    bvSysConfig = new QFrame(plModuleToolbar);
    bvSysConfig->setObjectName(QStringLiteral("bvSysConfig"));
    bvSysConfig->setFrameShape(QFrame::VLine);
    bvSysConfig->setFrameShadow(QFrame::Sunken);
    bar->addWidget(bvSysConfig);
    spSysConfig = addButton("spSysConfig", QStringLiteral("参数配置"), QString());
    btnKMQR = addButton("btnKMQR", QStringLiteral("科目确认"), QStringLiteral("总账科目确认"));
    spStartZT = addButton("spStartZT", QStringLiteral("启用账套"), QString());
    sbModifyPassword = addButton("sbModifyPassword", QStringLiteral("修改密码"), QString());
    sbModifyPassword->setVisible(false);
    bar->addStretch(1);

    spMain = new QSplitter(Qt::Horizontal, plClient);
    spMain->setObjectName(QStringLiteral("spMain"));
    spMain->setChildrenCollapsible(false);
    tvModule = new QTreeWidget(spMain);
    tvModule->setObjectName(QStringLiteral("tvModule"));
    tvModule->setHeaderHidden(true);
    tvModule->setColumnCount(1);
    tvModule->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvModule->setSelectionBehavior(QAbstractItemView::SelectRows);
    tvModule->setSelectionMode(QAbstractItemView::SingleSelection);
    tvModule->setAllColumnsShowFocus(true);
    tvModule->setIndentation(21);
    // Every row is one line with an 18-pixel icon; uniform rows keep row positions and the
    // scroll range constant-time to work out in large trees.
    tvModule->setUniformRowHeights(true);
    tvModule->setIconSize(QSize(18, 18));
    tvModule->installEventFilter(this);
    imgFace = new QLabel(spMain);
    imgFace->setObjectName(QStringLiteral("imgFace"));
    imgFace->setScaledContents(true);
    imgFace->setMinimumSize(1, 1);
    imgFace->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    imgFace->setContextMenuPolicy(Qt::CustomContextMenu);
    miReplaceFace = new QAction(QStringLiteral("替换为(&R)..."), this);
    miReplaceFace->setObjectName(QStringLiteral("miReplaceFace"));
    miRestoreFace = new QAction(QStringLiteral("还原(&A)"), this);
    miRestoreFace->setObjectName(QStringLiteral("miRestoreFace"));
    spMain->addWidget(tvModule);
    spMain->addWidget(imgFace);
    spMain->setStretchFactor(1, 1);
    auto *client = new QVBoxLayout(plClient);
    client->setContentsMargins(0, 0, 0, 0);
    client->addWidget(spMain);
    showDefaultFace();

    connect(imgFace, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        QMenu menu(this);
        menu.addAction(miReplaceFace);
        menu.addAction(miRestoreFace);
        menu.exec(imgFace->mapToGlobal(pos));
    });
    connect(miReplaceFace, &QAction::triggered, this,
            [this] { RunGuarded([this] { ReplaceFace(); }); });
    connect(miRestoreFace, &QAction::triggered, this,
            [this] { RunGuarded([this] { RestoreFace(); }); });

    connect(tvModule, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem *item) { RunGuarded([&] { itemExpanded(item); }); });
    connect(tvModule, &QTreeWidget::itemCollapsed, this,
            [this](QTreeWidgetItem *item) { itemCollapsed(item); });
    connect(tvModule, &QTreeWidget::currentItemChanged, this, [this] { selectionChanged(); });
    connect(tvModule, &QTreeWidget::itemDoubleClicked, this, [this] { LaunchSelected(); });

    connect(sbCreateNode, &QToolButton::clicked, this, [this] { CreateNode(); });
    connect(sbModifyNode, &QToolButton::clicked, this, [this] { ModifyNode(); });
    connect(sbDeleteNode, &QToolButton::clicked, this, [this] { DeleteNode(); });
    connect(sbMoveDown, &QToolButton::clicked, this, [this] { MoveNode(true); });
    connect(sbMoveUp, &QToolButton::clicked, this, [this] { MoveNode(false); });
    connect(sbExpanded, &QToolButton::clicked, this,
            [this] { RunGuarded([this] { ExpandAll(); }); });
    connect(sbCollapsed, &QToolButton::clicked, this,
            [this] { RunGuarded([this] { RestoreAll(); }); });
    // The button is carried hidden; whoever shows it gets the password change.
    connect(sbModifyPassword, &QToolButton::clicked, this, [] {
        RunGuarded([] {
            TMPasswordForm dialog(nullptr);
            DialogService::instance().exec(dialog);
        });
    });
    // The width the user gives the tree is what is kept, also if the page is not shown
    // when it closes.
    connect(spMain, &QSplitter::splitterMoved, this, [this] {
        if (const int width = spMain->sizes().value(0); width > 0)
            m_treeWidth = width;
    });
    connect(spSysConfig, &QToolButton::clicked, this,
            [this] { RunGuarded([this] { RunParameterConfiguration(this); }); });
    connect(btnKMQR, &QToolButton::clicked, this,
            [this] { RunGuarded([this] { RunAccountConfirmation(this); }); });
    connect(spStartZT, &QToolButton::clicked, this,
            [this] { RunGuarded([this] { EnableAccountSetFromConsole(this, m_manager); }); });
}

void TMainForm::readRegistry()
{
    const auto key = OpenRegistryKey(kClientKey);
    if (!key)
        return;
    bool ok = false;
    const int width = key->value(kModuleWidth).toInt(&ok);
    if (key->contains(kModuleWidth) && ok && width > 0)
        m_treeWidth = width;
    else
        key->setValue(kModuleWidth, m_treeWidth);
    spMain->setSizes({m_treeWidth, 800});
    const QString face = key->value(kFaceImage).toString().trimmed();
    if (!face.isEmpty())
        loadFace(face);
}

void TMainForm::writeRegistry()
{
    const auto key = OpenRegistryKey(kClientKey);
    if (!key)
        return;
    const int width = spMain->sizes().value(0);
    key->setValue(kModuleWidth, isVisible() && width > 0 ? width : m_treeWidth);
}

bool TMainForm::loadFace(const QString &path)
{
    QPixmap picture;
    if (!picture.load(path)) {
        ShowErrorMessage(
            QStringLiteral("无法读取图片文件“%1”。").arg(QDir::toNativeSeparators(path)));
        return false;
    }
    imgFace->setPixmap(picture);
    return true;
}

void TMainForm::showDefaultFace()
{
    static const QPixmap face = DefaultFacePicture();
    imgFace->setPixmap(face);
}

QString TMainForm::DefaultFacePath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("res/Face01.JPG"));
}

void TMainForm::ReplaceFace()
{
    const QString file = DialogService::instance().openImageFile(
        this, QStringLiteral("替换图片"),
        QStringLiteral("图片文件 (*.jpg *.jpeg *.png *.bmp *.gif);;所有文件 (*)"));
    if (file.isEmpty() || !loadFace(file))
        return;
    if (const auto key = OpenRegistryKey(kClientKey))
        key->setValue(kFaceImage, file);
}

void TMainForm::RestoreFace()
{
    const QString path = DefaultFacePath();
    // The installation may come without its picture file: the built-in one stands in.
    QPixmap picture;
    if (picture.load(path))
        imgFace->setPixmap(picture);
    else
        showDefaultFace();
    if (const auto key = OpenRegistryKey(kClientKey))
        key->setValue(kFaceImage, path);
}

bool TMainForm::HasRight(int objType) const
{
    return ConsoleHasRight(objType, m_manager, *cdsRight);
}

void TMainForm::BeforeExecute(bool &ok)
{
    readSession();
    try {
        readTree();
    } catch (const std::exception &e) {
        throw Error(errorText(e));
    }
    ok = true;
}

void TMainForm::Execute(quint32 p1, const QString &p2, QVariant &p3)
{
    // The host drives the open pages again after a new login, which may be another user's:
    // user, rights and tree are read for it (a page being made has just read them).
    if (!Executing && HostRef().GetValue(QStringLiteral("HASRELOGIN")).toBool()) {
        readSession();
        reloadLevel(nullptr);
    }
    TLXChildForm::Execute(p1, p2, p3);
}

void TMainForm::readSession()
{
    SetModuleCaption(QStringLiteral("Ｖｅｘａ"));
    SetModuleCaptionSuffix(QStringLiteral("主控台"));
    for (ClientDataSet *ds : {cdsTreeNode, cdsRight, cdsPublic})
        ds->setRemoteConnection(Connection());

    cdsPublic->close();
    cdsPublic->setProviderName(QStringLiteral("LX_SysUser"));
    cdsPublic->setCommandText(QStringLiteral("WHERE UserID = ") + Quoted(CurrentUserID()));
    cdsPublic->open();
    m_manager = cdsPublic->recordCount() > 0 && cdsPublic->asBoolean(QStringLiteral("Manager"));
    cdsPublic->close();

    cdsRight->close();
    cdsRight->setCommandText(QStringLiteral("WHERE UserGroup = ") +
                             HostRef().GetValue(QStringLiteral("USERGROUP")).toString());
    cdsRight->open();

    btnKMQR->setEnabled(HasRight(2002));
    spSysConfig->setEnabled(HasRight(1006));
    spStartZT->setEnabled(HasRight(1005) && m_manager);
    spStartZT->setVisible(!AccountSetState::Current().InitialAudit);
    spSysConfig->setVisible(spSysConfig->isEnabled() || !spStartZT->isHidden());
    btnKMQR->setVisible(btnKMQR->isEnabled() || !spStartZT->isHidden());
    bvSysConfig->setVisible(!spSysConfig->isHidden());
}

void TMainForm::readTree()
{
    m_tree->Read(CurrentUserID());
    tvModule->clear();
    LoadChildren(nullptr, QString(), true, false);
    QList<QTreeWidgetItem *> roots;
    for (int i = 0; i < tvModule->topLevelItemCount(); ++i)
        roots << tvModule->topLevelItem(i);
    for (QTreeWidgetItem *root : roots) {
        LoadChildren(root, NodeOf(root)->NodeID, true, false);
        root->setExpanded(true);
    }
    if (tvModule->topLevelItemCount() > 0)
        tvModule->setCurrentItem(tvModule->topLevelItem(0));
}

void TMainForm::reloadLevel(QTreeWidgetItem *parent)
{
    const TNodeData *current = NodeOf(tvModule->currentItem());
    const QString currentID = current ? current->NodeID : QString();
    QSet<QString> expanded;
    for (QTreeWidgetItem *item : parent ? subtreeItems(parent) : allItems())
        if (const TNodeData *node = NodeOf(item); node && item->isExpanded())
            expanded.insert(node->NodeID);

    if (TNodeData *owner = NodeOf(parent)) {
        m_tree->ReadAgain();
        qDeleteAll(parent->takeChildren());
        owner->ChildrenLoaded = false;
        LoadChildren(parent, owner->NodeID, true, false);
    } else {
        readTree();
    }

    // Expanding reads the next level, so the items are listed level by level.
    QList<QTreeWidgetItem *> level;
    if (parent) {
        for (int i = 0; i < parent->childCount(); ++i)
            level << parent->child(i);
    } else {
        for (int i = 0; i < tvModule->topLevelItemCount(); ++i)
            level << tvModule->topLevelItem(i);
    }
    while (!level.isEmpty()) {
        QTreeWidgetItem *item = level.takeFirst();
        if (const TNodeData *node = NodeOf(item); node && expanded.contains(node->NodeID))
            item->setExpanded(true);
        for (int i = 0; i < item->childCount(); ++i)
            level << item->child(i);
    }
    QTreeWidgetItem *select = parent;
    for (QTreeWidgetItem *item : allItems())
        if (const TNodeData *node = NodeOf(item); node && node->NodeID == currentID)
            select = item;
    if (select)
        tvModule->setCurrentItem(select);
}

void TMainForm::AfterExecute(bool &ok)
{
    TLXChildForm::AfterExecute(ok);
    IPluginHost &host = HostRef();
    host.SetActionState(QStringLiteral("sbEnter"), false, 1);
    host.SetActionState(QStringLiteral("sbUnEnter"), false, 0);
    host.EndBusy(true);
}

void TMainForm::Command06()
{
    LaunchSelected();
}

void TMainForm::LaunchSelected()
{
    RunGuarded([this] { LaunchConsoleNode(NodeOf(tvModule->currentItem())); });
}

bool TMainForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == tvModule && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            LaunchSelected();
            return true;
        }
    }
    return TLXChildForm::eventFilter(watched, event);
}

TNodeData *TMainForm::NodeOf(const QTreeWidgetItem *item)
{
    if (!item || item->type() != TNodeItem::kType)
        return nullptr;
    return &static_cast<TNodeItem *>(const_cast<QTreeWidgetItem *>(item))->node;
}

int TMainForm::ImageIndexOf(const QTreeWidgetItem *item)
{
    if (!item || item->type() != TNodeItem::kType)
        return -1;
    return static_cast<const TNodeItem *>(item)->image;
}

QTreeWidgetItem *TMainForm::addItem(QTreeWidgetItem *parent, const QString &text,
                                    const TNodeData &data)
{
    auto *item = new TNodeItem(data);
    item->setText(0, text);
    // The icon is set before the item joins the tree: an item in the tree that changes
    // makes the view look for its place among all visible rows.
    setImage(item, NodeImageIndex(data, false));
    if (parent)
        parent->addChild(item);
    else
        tvModule->addTopLevelItem(item);
    return item;
}

void TMainForm::setImage(QTreeWidgetItem *item, int index)
{
    if (item->type() != TNodeItem::kType)
        return;
    static_cast<TNodeItem *>(item)->image = index;
    item->setIcon(0, ConsoleImages().value(index));
}

void TMainForm::updateImage(QTreeWidgetItem *item)
{
    if (const TNodeData *node = NodeOf(item))
        setImage(item, NodeImageIndex(*node, item->isExpanded()));
}

void TMainForm::LoadChildren(QTreeWidgetItem *item, const QString &parentID, bool recurse,
                             bool deeper)
{
    TNodeData *owner = NodeOf(item);
    m_tree->ShowLevel(parentID);
    if (parentID.isEmpty() || !(owner && owner->ChildrenLoaded)) {
        for (cdsTreeNode->first(); !cdsTreeNode->eof(); cdsTreeNode->next())
            addItem(item, cdsTreeNode->asString(QStringLiteral("NodeDesc")), m_tree->Node());
    }
    if (!item)
        return;
    if (owner)
        owner->ChildrenLoaded = true;
    if (!recurse)
        return;
    for (int i = 0; i < item->childCount(); ++i) {
        QTreeWidgetItem *child = item->child(i);
        if (const TNodeData *node = NodeOf(child))
            LoadChildren(child, node->NodeID, deeper, deeper);
    }
}

void TMainForm::itemExpanded(QTreeWidgetItem *item)
{
    if (const TNodeData *node = NodeOf(item))
        LoadChildren(item, node->NodeID, true, false);
    if (ImageIndexOf(item) == imgFolderClosed)
        setImage(item, imgFolderOpen);
}

void TMainForm::itemCollapsed(QTreeWidgetItem *item)
{
    if (ImageIndexOf(item) == imgFolderOpen)
        setImage(item, imgFolderClosed);
}

void TMainForm::selectionChanged()
{
    const TNodeData *node = NodeOf(tvModule->currentItem());
    if (!node)
        return;
    const NodeButtonState state =
        NodeButtons(*node, HostRef().GetValue(QStringLiteral("DesignModule")).toBool());
    for (QToolButton *b : {sbDeleteNode, sbMoveDown, sbMoveUp})
        b->setEnabled(state.deleteAndMove);
    if (state.createAndModify) {
        sbCreateNode->setEnabled(*state.createAndModify);
        sbModifyNode->setEnabled(*state.createAndModify);
    }
}

void TMainForm::CreateNode()
{
    QTreeWidgetItem *selected = tvModule->currentItem();
    const TNodeData *parent = NodeOf(selected);
    if (!parent)
        return;
    TNodeDirForm editor(this);
    editor.SetOkCaption(QStringLiteral("创建"));
    if (DialogService::instance().exec(editor) != QDialog::Accepted)
        return;
    try {
        selected->setExpanded(true);
        const NodeEdit edit{editor.DirName(), editor.ModuleNo(), &editor.CatalogueRow()};
        const TNodeData node =
            m_tree->Create(*parent, selected->childCount() + 1, edit, CurrentUserID());
        addItem(selected, edit.name, node);
    } catch (const std::exception &e) {
        RunGuarded([this] { m_tree->ReadAgain(); });
        ShowException(e);
    }
}

void TMainForm::ModifyNode()
{
    QTreeWidgetItem *item = tvModule->currentItem();
    TNodeData *node = NodeOf(item);
    if (!node)
        return;
    try {
        TNodeDirForm editor(this);
        editor.SetDirName(item->text(0));
        editor.SetModuleNo(node->MCode);
        editor.SetOkCaption(QStringLiteral("修改"));
        if (DialogService::instance().exec(editor) != QDialog::Accepted) {
            m_tree->ReadAgain();
            return;
        }
        const NodeEdit edit{editor.DirName(), editor.ModuleNo(), &editor.CatalogueRow()};
        m_tree->Modify(*node, indexOf(item) + 1, edit, item->text(0));
        item->setText(0, edit.name);
        updateImage(item);
    } catch (const std::exception &e) {
        afterFailedSave(item->parent(), e, false);
    }
}

int TMainForm::indexOf(QTreeWidgetItem *item) const
{
    const QTreeWidgetItem *parent = item->parent();
    return parent ? parent->indexOfChild(item) : tvModule->indexOfTopLevelItem(item);
}

QList<TNodeData *> TMainForm::siblingNodes(QTreeWidgetItem *parent) const
{
    QList<TNodeData *> nodes;
    const int count = parent ? parent->childCount() : tvModule->topLevelItemCount();
    for (int i = 0; i < count; ++i)
        nodes << NodeOf(parent ? parent->child(i) : tvModule->topLevelItem(i));
    return nodes;
}

void TMainForm::DeleteNode()
{
    QTreeWidgetItem *item = tvModule->currentItem();
    const TNodeData *node = NodeOf(item);
    if (!node)
        return;
    QTreeWidgetItem *parent = item->parent();
    try {
        LoadChildren(item, node->NodeID, true, true);
        if (IsFixedFolder(node->NodeID))
            return;
        if (AskYesNo(QStringLiteral("确定删除'") + item->text(0) + QStringLiteral("'目录？")) !=
            mrOk)
            return;
        const int index = indexOf(item);
        // A node's rows go after those of its subtree.
        QList<QTreeWidgetItem *> gone = subtreeItemsDepthFirst(item);
        gone << item;
        QStringList ids;
        for (const QTreeWidgetItem *each : gone)
            ids << NodeOf(each)->NodeID;
        delete item;
        // Below a node every sibling is numbered again; at the root only those after it.
        m_tree->Delete(ids, siblingNodes(parent), parent ? 0 : index);
    } catch (const std::exception &e) {
        afterFailedSave(parent, e, false);
    }
}

void TMainForm::MoveNode(bool down)
{
    QTreeWidgetItem *item = tvModule->currentItem();
    TNodeData *node = NodeOf(item);
    if (!node)
        return;
    QTreeWidgetItem *parent = item->parent();
    const int index = indexOf(item);
    const int count = parent ? parent->childCount() : tvModule->topLevelItemCount();
    const int otherIndex = down ? index + 1 : index - 1;
    if (otherIndex < 0 || otherIndex >= count || IsFixedFolder(node->NodeID))
        return;
    QTreeWidgetItem *other =
        parent ? parent->child(otherIndex) : tvModule->topLevelItem(otherIndex);
    TNodeData *otherNode = NodeOf(other);
    if (!otherNode)
        return;
    try {
        const bool expanded = item->isExpanded();
        const bool otherExpanded = other->isExpanded();
        // Sort is 1-based: the item takes the other's place and the other the item's.
        m_tree->Swap(*node, otherIndex + 1, *otherNode, index + 1);

        QTreeWidgetItem *moving = down ? other : item;
        const int from = down ? otherIndex : index;
        const int to = down ? index : otherIndex;
        if (parent) {
            parent->takeChild(from);
            parent->insertChild(to, moving);
        } else {
            tvModule->takeTopLevelItem(from);
            tvModule->insertTopLevelItem(to, moving);
        }
        tvModule->setCurrentItem(item);
        item->setExpanded(expanded);
        other->setExpanded(otherExpanded);
        updateImage(item);
        updateImage(other);
    } catch (const std::exception &e) {
        afterFailedSave(parent, e, true); // a move that fails is only a warning
    }
}

void TMainForm::afterFailedSave(QTreeWidgetItem *parent, const std::exception &e, bool warning)
{
    // A change the server refused must not travel with the next action, and the tree shows
    // what the server holds (a refused delete brings its items back).
    const QString message = errorText(e);
    RunGuarded([&] { reloadLevel(parent); });
    if (warning)
        ShowWarningMessage(message);
    else
        ShowException(e);
}

QList<QTreeWidgetItem *> TMainForm::allItems() const
{
    QList<QTreeWidgetItem *> items;
    for (QTreeWidgetItemIterator it(tvModule); *it; ++it)
        items << *it;
    return items;
}

QList<QTreeWidgetItem *> TMainForm::subtreeItems(QTreeWidgetItem *item)
{
    QList<QTreeWidgetItem *> items;
    for (int i = 0; i < item->childCount(); ++i)
        items << item->child(i) << subtreeItems(item->child(i));
    return items;
}

QList<QTreeWidgetItem *> TMainForm::subtreeItemsDepthFirst(QTreeWidgetItem *item)
{
    QList<QTreeWidgetItem *> items;
    for (int i = 0; i < item->childCount(); ++i)
        items << subtreeItemsDepthFirst(item->child(i)) << item->child(i);
    return items;
}

void TMainForm::expandRecursively(QTreeWidgetItem *item)
{
    // Expanding reads the next level, so the children are counted afterwards.
    item->setExpanded(true);
    for (int i = 0; i < item->childCount(); ++i)
        expandRecursively(item->child(i));
}

void TMainForm::ExpandAll()
{
    IPluginHost &host = HostRef();
    host.BeginBusy();
    const auto done = qScopeGuard([&host] { host.EndBusy(true); });
    for (QTreeWidgetItem *item : allItems())
        expandRecursively(item);
    if (tvModule->topLevelItemCount() > 0)
        tvModule->setCurrentItem(tvModule->topLevelItem(0));
}

void TMainForm::RestoreAll()
{
    IPluginHost &host = HostRef();
    host.BeginBusy();
    const auto done = qScopeGuard([&host] { host.EndBusy(true); });
    for (QTreeWidgetItem *item : allItems()) {
        const TNodeData *node = NodeOf(item);
        item->setExpanded(node && IsFixedFolder(node->NodeID));
    }
    if (tvModule->topLevelItemCount() > 0)
        tvModule->setCurrentItem(tvModule->topLevelItem(0));
}

} // namespace vexa::gl
