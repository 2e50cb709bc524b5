#include "NavigationPages.h"

#include "ClientDataSet.h"
#include "ConsoleEnabling.h"
#include "DataAccess.h"
#include "DialogService.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "SelModulesForm.h"
#include "SetupActions.h"

#include <vexa/Error.h>
#include <vexa/PluginHost.h>

#include <QEnterEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QLinearGradient>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

namespace vexa::gl {

const QColor TNavigationForm::kUnavailable(131, 131, 131);
const QColor TNavigationForm::kHover(0, 0, 255);
const QColor TNavigationForm::kNormal(0, 0, 0);
const QColor TNavigationForm::kManagerAdmin(53, 53, 53);

namespace {

constexpr int kMenuHoverMs = 200;
const QSize kButtonSize(118, 50);

QString CaptionOf(const QWidget *control)
{
    if (const auto *button = qobject_cast<const QAbstractButton *>(control))
        return button->text();
    if (const auto *label = qobject_cast<const QLabel *>(control))
        return label->text();
    return QString();
}

} // namespace

// ---- Controls -----------------------------------------------------------------------------

QColor NavTextColour(const QWidget *control)
{
    return control->palette().color(control->foregroundRole());
}

void SetNavTextColour(QWidget *control, const QColor &colour)
{
    QPalette palette = control->palette();
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        palette.setColor(role, colour);
    control->setPalette(palette);
}

TNavButton::TNavButton(const QString &caption, QWidget *parent) : QToolButton(parent)
{
    setText(caption);
    setFixedSize(kButtonSize);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    // Moves over a control are not moves over the page's background.
    setAttribute(Qt::WA_NoMousePropagation);
    setAttribute(Qt::WA_Hover);
    SetNavTextColour(this, TNavigationForm::kNormal);
}

void TNavButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
    QLinearGradient fill(box.topLeft(), box.bottomLeft());
    const bool hot = underMouse() || isDown();
    fill.setColorAt(0, hot ? QColor(255, 250, 225) : QColor(252, 253, 255));
    fill.setColorAt(1, hot ? QColor(246, 222, 160) : QColor(214, 228, 246));
    painter.setPen(QPen(QColor(92, 124, 170), 1.2));
    painter.setBrush(fill);
    painter.drawRoundedRect(box, 7, 7);
    QString shown = text();
    shown.remove(QLatin1Char('\r'));
    painter.setPen(palette().color(QPalette::ButtonText));
    painter.drawText(rect().adjusted(4, 2, -4, -2), Qt::AlignCenter | Qt::TextWordWrap, shown);
}

TNavLinkLabel::TNavLinkLabel(const QString &caption, QWidget *parent) : QLabel(caption, parent)
{
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_NoMousePropagation);
    SetNavTextColour(this, TNavigationForm::kNormal);
}

void TNavLinkLabel::enterEvent(QEnterEvent *event)
{
    QLabel::enterEvent(event);
    emit hovered(true);
}

void TNavLinkLabel::leaveEvent(QEvent *event)
{
    QLabel::leaveEvent(event);
    emit hovered(false);
}

void TNavLinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

// ---- Page ---------------------------------------------------------------------------------

TNavigationForm::TNavigationForm(NavigationPageKind kind, QWidget *parent)
    : TLXCustomChildForm(parent), m_kind(kind)
{
    setWindowTitle(QStringLiteral("控制中心"));
    auto makeDataSet = [this](const char *name, const char *provider) {
        auto *ds = new ClientDataSet(this);
        ds->setObjectName(QLatin1String(name));
        ds->setProviderName(QLatin1String(provider));
        ds->setRemoteConnection(Connection());
        return ds;
    };
    cdsModules = makeDataSet("cdsModules", "SYS_SMModules");
    cdsFaceControl = makeDataSet("cdsFaceControl", "SYS_SMFaceControl");
    cdsPMDefine = makeDataSet("cdsPMDefine", "SYS_SMPMDefine");
    cdsRight = makeDataSet("cdsRight", "LX_SysCheckRight");
    cdsPublic = makeDataSet("cdsPublic", "LX_SysUser");
    m_menuTimer.setSingleShot(true);
    m_menuTimer.setInterval(kMenuHoverMs);
    setMouseTracking(true);
}

TNavigationForm::~TNavigationForm() = default;

NavigationCatalogue TNavigationForm::Catalogue() const
{
    return NavigationCatalogue(*cdsModules, *cdsFaceControl, *cdsPMDefine, *cdsRight);
}

TNavigationForm::Fixed TNavigationForm::FixedActionOf(const QString &name)
{
    static const QHash<QString, Fixed> fixed = {
        {QStringLiteral("asb10202"), Fixed::ParameterConfig},
        {QStringLiteral("asb10206"), Fixed::Enable},
        {QStringLiteral("sbZZQR"), Fixed::AccountConfirm},
        {QStringLiteral("sbQXZ"), Fixed::RightsGroups},
        {QStringLiteral("sbYH"), Fixed::Users},
    };
    return fixed.value(name, Fixed::None);
}

QWidget *TNavigationForm::AddControl(const NavControl &control, QWidget *parent)
{
    const QString name = QLatin1String(control.name);
    const QString caption = QString::fromUtf8(control.caption);
    QWidget *made = nullptr;
    const Fixed fixed = FixedActionOf(name);
    if (control.kind == NavKind::Button) {
        auto *button = new TNavButton(caption, parent);
        connect(button, &QToolButton::clicked, this, [this, button, fixed] {
            if (fixed != Fixed::None)
                RunGuarded([&] { RunFixed(fixed); });
            else
                LaunchControl(button);
        });
        made = button;
    } else {
        auto *label = new TNavLinkLabel(caption, parent);
        const QString menu = control.menu ? QLatin1String(control.menu) : QString();
        connect(label, &TNavLinkLabel::clicked, this, [this, label, fixed, menu] {
            if (!menu.isEmpty())
                ToggleObjectMenu(label, menu);
            else if (fixed != Fixed::None)
                RunGuarded([&] { RunFixed(fixed); });
            else
                LaunchControl(label);
        });
        connect(label, &TNavLinkLabel::hovered, this,
                [this, label](bool entered) { LinkHovered(label, entered); });
        made = label;
    }
    made->setObjectName(name);
    m_controls.append(made);
    return made;
}

void TNavigationForm::BuildSurface(QWidget *surface, const QList<NavControl> &controls,
                                   int buttonColumns, int linkRows, int menuRows)
{
    auto *column = new QVBoxLayout(surface);
    column->setContentsMargins(24, 18, 24, 14);
    column->setSpacing(22);

    auto *buttons = new QGridLayout;
    buttons->setHorizontalSpacing(18);
    buttons->setVerticalSpacing(16);
    auto *links = new QGridLayout;
    links->setHorizontalSpacing(40);
    links->setVerticalSpacing(7);
    auto *menus = new QGridLayout;
    menus->setHorizontalSpacing(40);
    menus->setVerticalSpacing(7);
    int buttonCount = 0;
    int linkCount = 0;
    int menuCount = 0;
    for (const NavControl &c : controls) {
        QWidget *w = AddControl(c, surface);
        if (c.kind == NavKind::Button) {
            buttons->addWidget(w, buttonCount / buttonColumns, buttonCount % buttonColumns);
            ++buttonCount;
        } else if (c.kind == NavKind::MenuLink && menuRows > 0) {
            menus->addWidget(w, menuCount % menuRows, menuCount / menuRows);
            ++menuCount;
        } else {
            links->addWidget(w, linkCount % linkRows, linkCount / linkRows);
            ++linkCount;
        }
    }
    // Each block keeps to the left; what is left of the width stays empty.
    auto addBlock = [column](QGridLayout *grid, int count) {
        if (count == 0) {
            delete grid;
            return;
        }
        auto *row = new QHBoxLayout;
        row->addLayout(grid);
        row->addStretch(1);
        column->addLayout(row);
    };
    addBlock(buttons, buttonCount);
    addBlock(links, linkCount);
    column->addStretch(1);
    addBlock(menus, menuCount);
    WatchBackground(surface);
}

void TNavigationForm::WatchBackground(QWidget *surface)
{
    surface->setMouseTracking(true);
    surface->installEventFilter(this);
    m_background.insert(surface);
}

void TNavigationForm::BuildObjectMenus(const QList<const char *> &names)
{
    for (const char *name : names) {
        for (const NavObjectMenu &layout : NavObjectMenus()) {
            if (qstrcmp(layout.name, name) != 0)
                continue;
            // A child of the page rather than a popup: it must not take the mouse, so that
            // moving over the page's background can close it.
            auto *menu = new QMenu(this);
            menu->setWindowFlags(Qt::Widget);
            menu->setObjectName(QLatin1String(name));
            menu->setAttribute(Qt::WA_NoMousePropagation);
            menu->hide();
            for (const NavMenuEntry &entry : layout.entries) {
                QAction *action = menu->addAction(QString::fromUtf8(entry.caption));
                setTag(action, entry.pmCode);
                connect(action, &QAction::triggered, this,
                        [this, code = entry.pmCode] { LaunchObject(code); });
            }
            m_menus.insert(QLatin1String(name), menu);
        }
    }
}

void TNavigationForm::BeforeExecute(bool &ok)
{
    m_manager = ReadUserIsManager(*cdsPublic, CurrentUserID());
    SetModuleCaption(QStringLiteral("控制中心"));
    SetModuleCaptionSuffix(FirstCaptionSuffix());

    for (ClientDataSet *ds : {cdsModules, cdsPMDefine, cdsFaceControl}) {
        if (ds->isActive())
            ds->close();
        ds->setRemoteConnection(Connection());
        ds->setCommandText(QString());
        ds->open();
    }
    if (!cdsRight->isActive()) {
        cdsRight->setRemoteConnection(Connection());
        cdsRight->setCommandText(QStringLiteral("WHERE UserGroup = ") +
                                 HostRef().GetValue(QStringLiteral("USERGROUP")).toString());
        cdsRight->open();
    }

    InitialisePage();
    UpdateAvailability();

    UseLabelFontInMenus();
    const NavigationCatalogue catalogue = Catalogue();
    if (auto *config = findChild<QWidget *>(QStringLiteral("asb10202"));
        config && !catalogue.HasRight(1006))
        SetNavTextColour(config, kUnavailable);
    if (auto *enable = findChild<QWidget *>(QStringLiteral("asb10206"));
        enable && !catalogue.HasRight(1005))
        SetNavTextColour(enable, kUnavailable);
    if (m_manager) {
        for (const char *name : {"sbQXZ", "sbYH"})
            if (auto *admin = findChild<QWidget *>(QLatin1String(name)))
                SetNavTextColour(admin, kManagerAdmin);
    }
    ok = true;
}

void TNavigationForm::UseLabelFontInMenus()
{
    const QWidget *source = findChild<QWidget *>(QStringLiteral("lbCustomer"));
    if (!source)
        return;
    for (QMenu *menu : std::as_const(m_menus)) {
        QFont font = menu->font();
        font.setFamily(source->font().family());
        font.setPointSizeF(source->font().pointSizeF());
        menu->setFont(font);
    }
}

void TNavigationForm::UpdateAvailability()
{
    const NavigationCatalogue catalogue = Catalogue();
    for (QWidget *control : std::as_const(m_controls))
        SetNavTextColour(control, catalogue.ControlAvailable(control->objectName()) ? kNormal
                                                                                    : kUnavailable);
    for (QMenu *menu : std::as_const(m_menus))
        for (QAction *action : menu->actions())
            action->setEnabled(catalogue.ObjectEntryEnabled(tagOf(action)));
}

void TNavigationForm::AfterExecute(bool &ok)
{
    TLXCustomChildForm::AfterExecute(ok);
    IPluginHost &host = HostRef();
    host.SetActionState(QStringLiteral("sbEnter"), false, 1);
    host.SetActionState(QStringLiteral("sbUnEnter"), false, 0);
}

void TNavigationForm::Execute(quint32 p1, const QString &p2, QVariant &p3)
{
    // After a new login the page reads its data again for the new session.
    if (HostRef().GetValue(QStringLiteral("HASRELOGIN")).toBool()) {
        SetModuleCaptionSuffix(QString());
        // The new login may be another user: the rights are read for its group.
        cdsRight->close();
        bool ok = true;
        BeforeExecute(ok);
    }
    TLXCustomChildForm::Execute(p1, p2, p3);
}

void TNavigationForm::showEvent(QShowEvent *event)
{
    TLXCustomChildForm::showEvent(event);
    // The client settings' look, applied on the first showing, may have changed the label.
    UseLabelFontInMenus();
    if (Globals().Host)
        Globals().Host->EndBusy(true);
}

void TNavigationForm::RunFixed(Fixed action)
{
    CloseObjectMenus();
    const NavigationCatalogue catalogue = Catalogue();
    switch (action) {
    case Fixed::None:
        break;
    case Fixed::ParameterConfig:
        if (catalogue.HasRight(1006))
            RunParameterConfiguration(this);
        break;
    case Fixed::Enable:
        if (catalogue.HasRight(1005))
            EnableAccountSet(this);
        break;
    case Fixed::AccountConfirm:
        if (catalogue.HasRight(2002))
            RunAccountConfirmation(this);
        break;
    case Fixed::RightsGroups:
        if (m_manager || catalogue.HasRight(1002))
            OpenModuleBracketed(QStringLiteral("SMSG"), QStringLiteral("B"), QString(), QString());
        break;
    case Fixed::Users:
        if (m_manager || catalogue.HasRight(1001))
            OpenModuleBracketed(QStringLiteral("SMSU"), QStringLiteral("B"), QString(), QString());
        break;
    }
}

void TNavigationForm::LaunchControl(QWidget *control)
{
    RunGuarded([&] {
        CloseObjectMenus();
        const QString key = control ? control->objectName() : QString();
        if (key.isEmpty())
            return;
        const FaceLookup lookup = Catalogue().ModuleOfControl(key);
        std::optional<NavModule> module = lookup.module;
        if (lookup.binding == FaceBinding::Dangling)
            return;
        if (lookup.binding == FaceBinding::Unbound) {
            // A binding changes the pages for every user: an administrator's decision.
            if (!m_manager) {
                ShowInfoMessage(
                    QStringLiteral("“%1”还没有对应的模块。对应关系会改变所有用户的页面，"
                                   "只有系统管理员可以设置，请联系系统管理员。")
                        .arg(CaptionOf(control).trimmed()));
                return;
            }
            module = BindControl(control);
        }
        if (module)
            LaunchPageModule(*module, Catalogue(), m_kind);
    });
}

void TNavigationForm::LaunchObject(int pmCode)
{
    RunGuarded([&] {
        CloseObjectMenus();
        LaunchPageObject(pmCode, Catalogue(), m_kind);
    });
}

std::optional<NavModule> TNavigationForm::BindControl(QWidget *control)
{
    const QString caption = CaptionOf(control).trimmed();
    if (!m_picker)
        m_picker = std::make_unique<TSelModulesForm>();
    if (auto *search = m_picker->findChild<QLineEdit *>(QStringLiteral("edValue")))
        search->setText(caption);
    m_picker->UserWhere =
        QStringLiteral("MDesc Like '%") + QuoteDoubled(caption) + QStringLiteral("%'");
    const auto *data = m_picker->findChild<ClientDataSet *>(QStringLiteral("cdsData"));
    if (data && data->isActive())
        m_picker->RefreshData(true);
    if (DialogService::instance().exec(*m_picker) != QDialog::Accepted)
        return std::nullopt;
    const QString code = m_picker->SelectedValue.toString();
    if (code.isEmpty() || !cdsModules->locate(QStringLiteral("MCode"), code))
        return std::nullopt;

    const QString key = control->objectName();
    const QString bound = cdsModules->asString(QStringLiteral("FaceControl"));
    const bool onPage = !bound.isEmpty() && findChild<QObject *>(bound) != nullptr;
    if (ChooseBindingTarget(bound, onPage) == BindingTarget::ModuleColumn) {
        cdsModules->edit();
        cdsModules->setValue(QStringLiteral("FaceControl"), key);
        cdsModules->post();
        SaveBinding(*cdsModules);
    } else {
        cdsFaceControl->append();
        cdsFaceControl->setValue(QStringLiteral("FaceControl"), key);
        cdsFaceControl->setValue(QStringLiteral("MCode"), code);
        cdsFaceControl->post();
        SaveBinding(*cdsFaceControl);
    }
    // Saved or not, the user's choice is started.
    return Catalogue().Module(code);
}

bool TNavigationForm::SaveBinding(ClientDataSet &dataSet)
{
    try {
        ApplyChanges(dataSet, false);
        dataSet.mergeChangeLog();
        return true;
    } catch (const std::exception &e) {
        QMessageBox box(QMessageBox::NoIcon, windowTitle(), errorText(e), QMessageBox::Ok, this);
        DialogService::instance().exec(box);
        dataSet.cancelUpdates();
        return false;
    }
}

// ---- Object menus and hover ---------------------------------------------------------------

QPoint TNavigationForm::MenuPosition(QWidget *label, const NavObjectMenu &menu, QMenu *) const
{
    return label->mapTo(this, QPoint(label->width(), -menu.raise));
}

void TNavigationForm::ToggleObjectMenu(QWidget *label, const QString &menuName)
{
    QMenu *menu = m_menus.value(menuName);
    if (!menu)
        return;
    if (m_openMenu == menuName) {
        menu->hide();
        m_openMenu.clear();
        m_menuHover = false;
        return;
    }
    CloseObjectMenus();
    const NavObjectMenu *layout = nullptr;
    for (const NavObjectMenu &m : NavObjectMenus())
        if (menuName == QLatin1String(m.name))
            layout = &m;
    menu->adjustSize();
    menu->move(MenuPosition(label, *layout, menu));
    menu->show();
    menu->raise();
    m_openMenu = menuName;
    m_menuHover = true;
}

void TNavigationForm::CloseObjectMenus()
{
    for (QMenu *menu : std::as_const(m_menus))
        menu->hide();
    m_openMenu.clear();
}

void TNavigationForm::LinkHovered(TNavLinkLabel *label, bool entered)
{
    const bool grey = NavTextColour(label) == kUnavailable;
    if (entered) {
        if (!grey)
            SetNavTextColour(label, kHover);
        return;
    }
    if (!grey)
        SetNavTextColour(label, kNormal);
    m_menuHover = false;
    m_menuTimer.start();
}

void TNavigationForm::BackgroundMouseMove()
{
    if (m_menuHover) {
        m_menuHover = false;
        m_menuTimer.start();
    }
    if (m_menuTimer.isActive() || m_openMenu.isEmpty())
        return;
    CloseObjectMenus();
}

bool TNavigationForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseMove && m_background.contains(watched))
        BackgroundMouseMove();
    return TLXCustomChildForm::eventFilter(watched, event);
}

} // namespace vexa::gl
