#include "HostMainWindow.h"

#include "HostDialogs.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>

namespace vexa::host {

namespace {

// The document toolbar: position in the child-command interface, object name, caption.
struct CommandButton
{
    int position;
    const char *name;
    const char *caption;
    const char *tip;
};

constexpr CommandButton kCommandButtons[] = {
    {6, "tbOpen", "打开", "打开选中的模块或单据"},
    {7, "tbNew", "新增", "新增一张单据"},
    {8, "tbModify", "修改", "修改当前单据"},
    {9, "tbDelete", "删除", "删除当前单据"},
    {10, "tbSave", "保存", "保存修改"},
    {11, "tbCancel", "取消", "放弃未保存的修改"},
    {12, "sbEnter", "审核", "审核当前单据"},
    {13, "sbUnEnter", "弃审", "取消当前单据的审核"},
    {14, "tbRefresh", "刷新", "重新读取数据"},
    {15, "tbUpdateAttachment", "附件更新", "按当前单据更新附件按钮的状态"},
    {16, "tbPrint", "打印", "打印当前单据"},
    {17, "tbPreview", "预览", "打印预览"},
    {18, "tbExport", "导出", "导出数据"},
    {19, "tbFind", "查询", "按条件查询"},
    {20, "BillAccessories", "附件", "查看和维护当前单据的附件"},
    {21, "tbUser", "扩展", "页面自定义的命令"},
};

const char kHandleProperty[] = "vexaFormHandle";
const char kOwnerProperty[] = "vexaPluginName";
const char kCodeProperty[] = "vexaModuleCode";
const char kCaptionProperty[] = "vexaCaption";

QString tabText(const QString &caption)
{
    QString t = caption;
    return t.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

QIcon iconFor(const QString &iconName)
{
    // Pages name their icon; the desktop theme supplies it where it has one.
    return iconName.isEmpty() ? QIcon() : QIcon::fromTheme(iconName);
}

} // namespace

HostMainWindow::CaptionRedirect::CaptionRedirect(HostMainWindow &window, QWidget *page)
    : m_window(window), m_page(page)
{
    m_window.m_captionSinks.append(this);
}

HostMainWindow::CaptionRedirect::~CaptionRedirect()
{
    m_window.m_captionSinks.removeOne(this);
}

HostMainWindow::HostMainWindow(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("HostMainWindow"));
    resize(1200, 780);

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("tabPages"));
    m_tabs->setTabsClosable(true);
    m_tabs->setMovable(true);
    m_tabs->setDocumentMode(true);
    setCentralWidget(m_tabs);
    connect(m_tabs, &QTabWidget::tabCloseRequested, this, [this](int index) {
        QWidget *page = m_tabs->widget(index);
        if (!page)
            return;
        m_tabs->removeTab(index);
        emit pageCloseRequested(page);
    });
    connect(m_tabs, &QTabWidget::currentChanged, this, &HostMainWindow::currentPageChanged);

    buildActions();

    m_busy = new QLabel(QStringLiteral("正在处理…"), this);
    m_busy->setObjectName(QStringLiteral("lbBusy"));
    m_busy->hide();
    m_launch = new QLabel(QStringLiteral("正在启动模块…"), this);
    m_launch->setObjectName(QStringLiteral("lbLaunch"));
    m_launch->hide();
    m_pluginStatus = new QLabel(this);
    m_pluginStatus->setObjectName(QStringLiteral("lbPluginStatus"));
    m_session = new QLabel(this);
    m_session->setObjectName(QStringLiteral("lbSession"));
    statusBar()->addWidget(m_pluginStatus, 1);
    statusBar()->addPermanentWidget(m_launch);
    statusBar()->addPermanentWidget(m_busy);
    statusBar()->addPermanentWidget(m_session);
    updateTitle();
}

HostMainWindow::~HostMainWindow()
{
    // The tabs outlive this part of the object while QWidget frees the children.
    m_shuttingDown = true;
    disconnect(m_tabs, nullptr, this, nullptr);
}

void HostMainWindow::buildActions()
{
    QToolBar *toolbar = addToolBar(QStringLiteral("单据"));
    toolbar->setObjectName(QStringLiteral("tbDocument"));
    toolbar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    toolbar->setMovable(false);
    for (const CommandButton &b : kCommandButtons) {
        auto *a = new QAction(QString::fromUtf8(b.caption), this);
        a->setObjectName(QString::fromLatin1(b.name));
        a->setToolTip(QString::fromUtf8(b.tip));
        a->setStatusTip(QString::fromUtf8(b.tip));
        const int position = b.position;
        connect(a, &QAction::triggered, this, [this, position] { runCommand(position); });
        toolbar->addAction(a);
        if (position == 11 || position == 14 || position == 19)
            toolbar->addSeparator();
        m_commands.append(a);
    }

    QMenu *system = menuBar()->addMenu(QStringLiteral("系统"));
    system->setObjectName(QStringLiteral("mnuSystem"));
    QAction *create = system->addAction(QStringLiteral("新建账套…"));
    create->setObjectName(QStringLiteral("actNewAccountSet"));
    connect(create, &QAction::triggered, this, &HostMainWindow::newAccountSetRequested);
    QAction *open = system->addAction(QStringLiteral("打开账套…"));
    open->setObjectName(QStringLiteral("actOpenAccountSet"));
    open->setShortcut(QKeySequence::Open);
    connect(open, &QAction::triggered, this, [this] { emit openAccountSetRequested(QString()); });
    m_recentMenu = system->addMenu(QStringLiteral("最近打开的账套"));
    m_recentMenu->setObjectName(QStringLiteral("mnuRecentAccountSets"));
    setRecentAccountSets({});
    system->addSeparator();
    QAction *relogin = system->addAction(QStringLiteral("重新登录"));
    relogin->setObjectName(QStringLiteral("actRelogin"));
    connect(relogin, &QAction::triggered, this, &HostMainWindow::reloginRequested);
    QAction *password = system->addAction(QStringLiteral("修改密码…"));
    password->setObjectName(QStringLiteral("actChangePassword"));
    connect(password, &QAction::triggered, this, &HostMainWindow::changePasswordRequested);
    system->addSeparator();
    QAction *quit = system->addAction(QStringLiteral("退出"));
    quit->setObjectName(QStringLiteral("actExit"));
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, this, &QWidget::close);

    m_moduleMenu = menuBar()->addMenu(QStringLiteral("模块"));
    m_moduleMenu->setObjectName(QStringLiteral("mnuModules"));
    setModules({});
}

HostMainWindow::CaptionRedirect *HostMainWindow::captionSink() const
{
    return m_captionSinks.isEmpty() ? nullptr : m_captionSinks.last();
}

void HostMainWindow::SetCaptionText(const QString &text)
{
    CaptionRedirect *sink = captionSink();
    if (sink && !sink->m_page) {
        sink->text = text;
        sink->textSet = true;
        return;
    }
    if (QWidget *page = sink ? sink->m_page : currentPage())
        setPageCaption(page, text);
}

void HostMainWindow::SetCaptionIcon(const QString &iconName, QChar iconKind, int)
{
    CaptionRedirect *sink = captionSink();
    if (sink && !sink->m_page) {
        sink->iconName = iconName;
        sink->iconKind = iconKind;
        sink->iconSet = true;
        return;
    }
    if (QWidget *page = sink ? sink->m_page : currentPage())
        setPageIcon(page, iconName, iconKind);
}

void HostMainWindow::addPage(QWidget *page, int handle, const QString &moduleCode,
                             const QString &caption, const QString &owner)
{
    page->setProperty(kHandleProperty, handle);
    page->setProperty(kOwnerProperty, owner);
    page->setProperty(kCodeProperty, moduleCode);
    page->setProperty(kCaptionProperty, caption);
    // A page may come as a top-level window of the plug-in; docked it is a plain child.
    page->setWindowFlags(Qt::Widget);
    const int index = m_tabs->addTab(page, tabText(caption));
    m_tabs->setCurrentIndex(index);
    page->show();
    updateTitle();
}

void HostMainWindow::removePage(QWidget *page)
{
    const int index = m_tabs->indexOf(page);
    if (index >= 0)
        m_tabs->removeTab(index);
}

void HostMainWindow::activatePage(QWidget *page)
{
    if (m_tabs->indexOf(page) >= 0)
        m_tabs->setCurrentWidget(page);
}

QWidget *HostMainWindow::currentPage() const
{
    return m_tabs->currentWidget();
}

QList<QWidget *> HostMainWindow::pages() const
{
    QList<QWidget *> result;
    for (int i = 0; i < m_tabs->count(); ++i)
        result.append(m_tabs->widget(i));
    return result;
}

QList<int> HostMainWindow::pageHandles() const
{
    QList<int> result;
    for (QWidget *page : pages())
        if (const int handle = pageHandle(page))
            result.append(handle);
    return result;
}

QWidget *HostMainWindow::pageForHandle(int handle) const
{
    if (handle == 0)
        return nullptr;
    for (QWidget *page : pages())
        if (pageHandle(page) == handle)
            return page;
    return nullptr;
}

QWidget *HostMainWindow::pageForCode(const QString &moduleCode) const
{
    for (QWidget *page : pages())
        if (pageCode(page).compare(moduleCode, Qt::CaseInsensitive) == 0)
            return page;
    return nullptr;
}

int HostMainWindow::pageHandle(const QWidget *page)
{
    return page ? page->property(kHandleProperty).toInt() : 0;
}

QString HostMainWindow::pageOwner(const QWidget *page)
{
    return page ? page->property(kOwnerProperty).toString() : QString();
}

QString HostMainWindow::pageCode(const QWidget *page)
{
    return page ? page->property(kCodeProperty).toString() : QString();
}

QString HostMainWindow::pageCaption(const QWidget *page)
{
    return page ? page->property(kCaptionProperty).toString() : QString();
}

void HostMainWindow::setPageCaption(QWidget *page, const QString &caption)
{
    const int index = m_tabs->indexOf(page);
    if (index < 0)
        return;
    page->setProperty(kCaptionProperty, caption);
    m_tabs->setTabText(index, tabText(caption));
    m_tabs->setTabToolTip(index, caption);
    if (page == currentPage())
        updateTitle();
}

void HostMainWindow::setPageIcon(QWidget *page, const QString &iconName, QChar)
{
    const int index = m_tabs->indexOf(page);
    if (index >= 0)
        m_tabs->setTabIcon(index, iconFor(iconName));
}

void HostMainWindow::updateTitle()
{
    QStringList parts{QStringLiteral("Vexa")};
    if (!m_accountSetTitle.isEmpty())
        parts << m_accountSetTitle;
    if (QWidget *page = currentPage())
        parts << pageCaption(page);
    setWindowTitle(parts.join(QStringLiteral(" - ")));
}

void HostMainWindow::setAccountSetTitle(const QString &title)
{
    m_accountSetTitle = title;
    updateTitle();
}

void HostMainWindow::currentPageChanged()
{
    updateTitle();
    if (m_shuttingDown)
        return;
    // The attachments button follows the page in front.
    if (auto *commands = qobject_cast<IChildCommands *>(currentPage())) {
        try {
            commands->UpdateAttachmentAction();
        } catch (const std::exception &e) {
            showMessage(this, QLatin1Char('E'), QStringLiteral("附件"), errorText(e));
        } catch (...) {
            showMessage(this, QLatin1Char('E'), QStringLiteral("附件"),
                        QStringLiteral("发生了未知错误。"));
        }
    }
}

QAction *HostMainWindow::commandAction(int position) const
{
    if (position < kFirstCommand || position > kLastCommand)
        return nullptr;
    return m_commands.value(position - kFirstCommand);
}

QAction *HostMainWindow::action(const QString &objectName) const
{
    for (QAction *a : m_commands)
        if (a->objectName() == objectName)
            return a;
    return findChild<QAction *>(objectName);
}

void HostMainWindow::runCommand(int position)
{
    auto *commands = qobject_cast<IChildCommands *>(currentPage());
    if (!commands)
        return;
    try {
        switch (position) {
        case 6:
            commands->Command06();
            break;
        case 7:
            commands->Command07();
            break;
        case 8:
            commands->Command08();
            break;
        case 9:
            commands->Command09();
            break;
        case 10:
            commands->Command10();
            break;
        case 11:
            commands->Command11();
            break;
        case 12:
            commands->Command12();
            break;
        case 13:
            commands->Command13();
            break;
        case 14:
            commands->Command14();
            break;
        case 15:
            commands->UpdateAttachmentAction();
            break;
        case 16:
            commands->Command16();
            break;
        case 17:
            commands->Command17();
            break;
        case 18:
            commands->Command18();
            break;
        case 19:
            commands->Command19();
            break;
        case 20: {
            const int rows = commands->ShowAttachments();
            statusBar()->showMessage(QStringLiteral("附件：%1 个").arg(rows), 5000);
            break;
        }
        case 21:
            commands->UserCommand(QVariant());
            break;
        default:
            break;
        }
    } catch (const std::exception &e) {
        const QAction *a = commandAction(position);
        showMessage(this, QLatin1Char('E'), a ? a->text() : QString(), errorText(e));
    } catch (...) {
        const QAction *a = commandAction(position);
        showMessage(this, QLatin1Char('E'), a ? a->text() : QString(),
                    QStringLiteral("发生了未知错误。"));
    }
}

bool HostMainWindow::setActionState(const QString &name, bool flag, int value)
{
    QAction *a = action(name);
    if (!a)
        return false;
    a->setEnabled(flag);
    a->setData(value);
    return true;
}

void HostMainWindow::setModules(const QList<QPair<QString, QString>> &modules)
{
    m_moduleMenu->clear();
    if (modules.isEmpty()) {
        QAction *none = m_moduleMenu->addAction(QStringLiteral("（没有可打开的模块页面）"));
        none->setEnabled(false);
        return;
    }
    for (const auto &[code, caption] : modules) {
        QAction *a = m_moduleMenu->addAction(caption.isEmpty() ? code : caption);
        a->setObjectName(QStringLiteral("actModule_") + code);
        a->setData(code);
        a->setStatusTip(QStringLiteral("模块 %1").arg(code));
        connect(a, &QAction::triggered, this, [this, code = code] { emit moduleRequested(code); });
    }
}

void HostMainWindow::setRecentAccountSets(const QStringList &paths)
{
    m_recentMenu->clear();
    if (paths.isEmpty()) {
        QAction *none = m_recentMenu->addAction(QStringLiteral("（没有）"));
        none->setEnabled(false);
        return;
    }
    for (int i = 0; i < paths.size(); ++i) {
        const QString path = paths[i];
        // A mnemonic for the first nine; '&' in a path is shown, not taken as one.
        QString text =
            QDir::toNativeSeparators(path).replace(QLatin1Char('&'), QStringLiteral("&&"));
        if (i < 9)
            text = QStringLiteral("&%1 %2").arg(i + 1).arg(text);
        QAction *a = m_recentMenu->addAction(text);
        a->setObjectName(QStringLiteral("actRecentAccountSet"));
        a->setData(path);
        connect(a, &QAction::triggered, this, [this, path] { emit openAccountSetRequested(path); });
    }
}

void HostMainWindow::showStatusNote(const QString &text)
{
    statusBar()->showMessage(text, 15000);
}

QString HostMainWindow::statusNote() const
{
    return statusBar()->currentMessage();
}

void HostMainWindow::setBusyShown(bool on)
{
    m_busy->setVisible(on);
}

void HostMainWindow::setLaunchShown(bool on)
{
    m_launch->setVisible(on);
}

bool HostMainWindow::busyShown() const
{
    return !m_busy->isHidden();
}

bool HostMainWindow::launchShown() const
{
    return !m_launch->isHidden();
}

void HostMainWindow::setPluginStatus(const QString &text)
{
    m_pluginStatus->setText(text);
}

QString HostMainWindow::pluginStatus() const
{
    return m_pluginStatus->text();
}

void HostMainWindow::setSessionText(const QString &text)
{
    m_session->setText(text);
}

void HostMainWindow::closeEvent(QCloseEvent *event)
{
    emit closing();
    event->accept();
}

void HostMainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        emit firstShown();
    }
}

} // namespace vexa::host
