// The frames of the control-centre pages: the tab strip and margins of the tabbed pages,
// the navigation column of the spread page.
#include "NavigationPages.h"

#include "ClientDataSet.h"
#include "DataModule.h"
#include "Globals.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <functional>

namespace vexa::gl {

TabStripGeometry TabStripLayout(int labelWidth, int n)
{
    const int avail = labelWidth - 4;
    TabStripGeometry g;
    g.tabWidth = (avail - 40) / n;
    g.spacing = n > 1 ? (avail - g.tabWidth * n) / (n - 1) : 0;
    g.margin = (avail - g.tabWidth * n - (n - 1) * g.spacing) / 2;
    return g;
}

namespace {

constexpr int kStripHeight = 46;
constexpr int kPageWidthBase = 1024;
constexpr int kMarginThreshold = 100;

// A tab of the strip: its caption may start with a line break, so it shows on the
// second line.
class TNavTabButton : public QToolButton
{
public:
    explicit TNavTabButton(const QString &caption, QWidget *parent) : QToolButton(parent)
    {
        setText(caption);
        setCheckable(true);
        setAutoExclusive(true);
        setFocusPolicy(Qt::NoFocus);
        setCursor(Qt::PointingHandCursor);
        setAttribute(Qt::WA_Hover);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF box = QRectF(rect()).adjusted(0.5, 2.5, -0.5, 6);
        const bool on = isChecked();
        QLinearGradient fill(box.topLeft(), box.bottomLeft());
        fill.setColorAt(0, on ? QColor(255, 255, 255) : QColor(226, 234, 246));
        fill.setColorAt(1, on             ? QColor(240, 245, 252)
                           : underMouse() ? QColor(206, 222, 244)
                                          : QColor(196, 210, 232));
        painter.setPen(QColor(120, 146, 186));
        painter.setBrush(fill);
        painter.drawRoundedRect(box, 6, 6);
        QString shown = text();
        shown.remove(QLatin1Char('\r'));
        QFont font = painter.font();
        font.setBold(on);
        painter.setFont(font);
        painter.setPen(QColor(24, 40, 72));
        painter.drawText(rect().adjusted(2, 2, -2, -2), Qt::AlignCenter, shown);
    }
};

} // namespace

// The tab strip: the layout label lbWidth spans it and gives the width the tabs are
// divided over.
class TNavTabStrip : public QWidget
{
public:
    TNavTabStrip(int dividedFor, QWidget *parent) : QWidget(parent), m_n(dividedFor)
    {
        setObjectName(QStringLiteral("tsMain"));
        setFixedHeight(kStripHeight);
        lbWidth = new QLabel(this);
        lbWidth->setObjectName(QStringLiteral("lbWidth"));
        lbWidth->lower();
    }

    QToolButton *AddTab(const QString &name, const QString &caption)
    {
        auto *tab = new TNavTabButton(caption, this);
        tab->setObjectName(name);
        const int index = int(tabs.size());
        tabs.append(tab);
        connect(tab, &QToolButton::clicked, this, [this, index] {
            if (tabClicked)
                tabClicked(index);
        });
        return tab;
    }

    void LayoutTabs()
    {
        const TabStripGeometry g = TabStripLayout(lbWidth->width(), m_n);
        int x = 2 + g.margin;
        for (QToolButton *tab : std::as_const(tabs)) {
            if (tab->isHidden())
                continue;
            tab->setGeometry(x, 0, qMax(g.tabWidth, 1), height());
            x += g.tabWidth + g.spacing;
        }
    }

    QLabel *lbWidth;
    QList<QToolButton *> tabs;
    std::function<void(int)> tabClicked;

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QWidget::resizeEvent(event);
        lbWidth->setGeometry(rect());
        LayoutTabs();
    }

private:
    int m_n;
};

// ---- Tabbed pages -------------------------------------------------------------------------

TTabbedNavigationForm::TTabbedNavigationForm(const TabbedPageLayout &layout, QWidget *parent)
    : TNavigationForm(NavigationPageKind::Tabbed, parent), m_layout(layout)
{
    auto *frame = new QHBoxLayout(this);
    frame->setContentsMargins(0, 0, 0, 0);
    frame->setSpacing(0);
    auto makeMargin = [this](const char *name) {
        auto *panel = new QFrame(this);
        panel->setObjectName(QLatin1String(name));
        panel->setAutoFillBackground(true);
        QPalette palette = panel->palette();
        palette.setColor(QPalette::Window, QColor(222, 230, 242));
        panel->setPalette(palette);
        panel->hide();
        WatchBackground(panel);
        return panel;
    };
    plLeftMargin = makeMargin("plLeftMargin");
    plRightMargin = makeMargin("plRightMargin");

    auto *content = new QWidget(this);
    content->setObjectName(QStringLiteral("plContent"));
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(0, 6, 0, 0);
    column->setSpacing(0);
    m_strip = new TNavTabStrip(layout.stripTabs, content);
    m_surfaces = new QStackedWidget(content);
    m_surfaces->setObjectName(QStringLiteral("pcMain"));
    m_surfaces->setFrameShape(QFrame::StyledPanel);
    column->addWidget(m_strip);
    column->addWidget(m_surfaces, 1);
    frame->addWidget(plLeftMargin);
    frame->addWidget(content, 1);
    frame->addWidget(plRightMargin);

    for (const NavTab &tab : layout.tabs) {
        const QString name = QLatin1String(tab.name);
        m_strip->AddTab(QStringLiteral("tab") + name, QString::fromUtf8(tab.caption));
        auto *surface = new QWidget(m_surfaces);
        surface->setObjectName(name);
        surface->setAutoFillBackground(true);
        QPalette palette = surface->palette();
        palette.setColor(QPalette::Window, QColor(250, 251, 253));
        surface->setPalette(palette);
        BuildSurface(surface, tab.controls, 7, 6, 5);
        m_surfaces->addWidget(surface);
        if (tab.hidden)
            SetTabHidden(name, true);
    }
    m_strip->tabClicked = [this](int index) { ClickTab(index); };
    // Only pages with object-menu labels have the menus (not the purchase-sales-inventory
    // page).
    QList<const char *> menus;
    for (const NavTab &tab : layout.tabs)
        for (const NavControl &control : tab.controls)
            if (control.kind == NavKind::MenuLink && control.menu)
                menus.append(control.menu);
    if (!menus.isEmpty())
        BuildObjectMenus({"pmCustomer", "pmSupplier", "pmEmployee", "pmDept", "pmProject", "pmPart",
                          "pmWH", "pmMCCase", "pmMCase", "pmFinReport"});
    ShowTab(0);
}

int TTabbedNavigationForm::TabCount() const
{
    return int(m_strip->tabs.size());
}

QString TTabbedNavigationForm::TabCaption(int index) const
{
    return m_strip->tabs.value(index) ? m_strip->tabs[index]->text() : QString();
}

bool TTabbedNavigationForm::TabHidden(int index) const
{
    return m_strip->tabs.value(index) && m_strip->tabs[index]->isHidden();
}

int TTabbedNavigationForm::CurrentTab() const
{
    return m_surfaces->currentIndex();
}

void TTabbedNavigationForm::SetTabHidden(const QString &name, bool hidden)
{
    for (int i = 0; i < TabCount(); ++i)
        if (m_surfaces->widget(i)->objectName() == name)
            m_strip->tabs[i]->setHidden(hidden);
    m_strip->LayoutTabs();
}

void TTabbedNavigationForm::ShowTab(int index)
{
    if (index < 0 || index >= TabCount())
        return;
    m_surfaces->setCurrentIndex(index);
    m_strip->tabs[index]->setChecked(true);
}

void TTabbedNavigationForm::ClickTab(int index)
{
    ShowTab(index);
    SetModuleCaptionSuffix(TabCaption(index).trimmed());
}

QString TTabbedNavigationForm::FirstCaptionSuffix() const
{
    return QStringLiteral("总账");
}

void TTabbedNavigationForm::InitialisePage()
{
    for (int i = 0; i < TabCount(); ++i)
        if (const char *caption = m_layout.tabs[i].initCaption)
            m_strip->tabs[i]->setText(QString::fromUtf8(caption));
    for (const NavRecaption &r : m_layout.recaptions)
        if (auto *button = findChild<QAbstractButton *>(QLatin1String(r.name)))
            button->setText(QStringLiteral("\r\n") + QString::fromUtf8(r.caption));
    ShowTab(0);
}

void TTabbedNavigationForm::resizeEvent(QResizeEvent *event)
{
    const int extra = width() - kPageWidthBase;
    const bool margins = extra > kMarginThreshold;
    for (QFrame *panel : {plLeftMargin, plRightMargin}) {
        if (margins)
            panel->setFixedWidth(extra / 2);
        panel->setVisible(margins);
    }
    TNavigationForm::resizeEvent(event);
}

TProfessionalForm::TProfessionalForm(QWidget *parent)
    : TTabbedNavigationForm(ProfessionalLayout(), parent)
{
    // The sales division is offered only where the sales options use it.
    bool divisions = false;
    if (ClientDataSet *sales =
            Globals().DataModule ? Globals().DataModule->dataSet(QStringLiteral("CDS_InitSalValue"))
                                 : nullptr;
        sales && sales->isActive() && !sales->isEmpty() &&
        sales->findField(QStringLiteral("OGTag")))
        divisions = sales->asBoolean(QStringLiteral("OGTag"));
    if (auto *label = findChild<QWidget *>(QStringLiteral("lbDYXSSYB")))
        label->setVisible(divisions);
}

TNormalForm::TNormalForm(QWidget *parent) : TTabbedNavigationForm(NormalLayout(), parent) {}

TNormalJXCForm::TNormalJXCForm(QWidget *parent) : TTabbedNavigationForm(NormalJXCLayout(), parent)
{}

// ---- Spread page --------------------------------------------------------------------------

namespace {

constexpr int kNavigationWidth = 150;
constexpr int kSectionTop = 36;
constexpr int kSectionPitch = 96;
constexpr int kSectionHeight = 76;

QLabel *CaptionLabel(const char *name, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    QFont font = label->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() + 2);
    label->setFont(font);
    label->setStyleSheet(QStringLiteral("color: rgb(30, 60, 110); padding: 6px 0px;"));
    return label;
}

QFrame *Marker(const char *name, const QColor &colour, QWidget *parent)
{
    auto *marker = new QFrame(parent);
    marker->setObjectName(QLatin1String(name));
    marker->setAutoFillBackground(true);
    QPalette palette = marker->palette();
    palette.setColor(QPalette::Window, colour);
    marker->setPalette(palette);
    marker->hide();
    return marker;
}

} // namespace

TSpreadForm::TSpreadForm(QWidget *parent) : TNavigationForm(NavigationPageKind::Spread, parent)
{
    auto *frame = new QHBoxLayout(this);
    frame->setContentsMargins(0, 0, 0, 0);
    frame->setSpacing(0);

    plNavigation = new QWidget(this);
    plNavigation->setObjectName(QStringLiteral("plNavigation"));
    plNavigation->setFixedWidth(kNavigationWidth);
    plNavigation->setAutoFillBackground(true);
    QPalette navigationPalette = plNavigation->palette();
    navigationPalette.setColor(QPalette::Window, QColor(44, 74, 122));
    plNavigation->setPalette(navigationPalette);
    plNavigation->installEventFilter(this);
    shpSelected = Marker("shpSelected", QColor(250, 251, 253), plNavigation);
    shpHover = Marker("shpHover", QColor(84, 116, 166), plNavigation);

    auto *centre = new QWidget(this);
    centre->setObjectName(QStringLiteral("plCentre"));
    auto *centreColumn = new QVBoxLayout(centre);
    centreColumn->setContentsMargins(24, 12, 12, 0);
    lbCentreCaption = CaptionLabel("lbCentreCaption", centre);
    centreColumn->addWidget(lbCentreCaption);

    auto *right = new QWidget(this);
    right->setObjectName(QStringLiteral("plRight"));
    auto *rightColumn = new QVBoxLayout(right);
    rightColumn->setContentsMargins(12, 12, 24, 0);
    lbRightCaption = CaptionLabel("lbRightCaption", right);
    rightColumn->addWidget(lbRightCaption);

    for (QWidget *panel : {centre, right}) {
        panel->setAutoFillBackground(true);
        QPalette palette = panel->palette();
        palette.setColor(QPalette::Window, QColor(250, 251, 253));
        panel->setPalette(palette);
        WatchBackground(panel);
    }

    const QList<SpreadSection> &sections = SpreadLayout();
    for (int i = 0; i < sections.size(); ++i) {
        const SpreadSection &s = sections[i];
        auto *area = new QWidget(plNavigation);
        area->setObjectName(QLatin1String(s.area));
        area->setGeometry(0, kSectionTop + i * kSectionPitch, kNavigationWidth, kSectionHeight);
        area->setCursor(Qt::PointingHandCursor);
        area->installEventFilter(this);
        auto *label = new QLabel(QString::fromUtf8(s.caption), area);
        label->setObjectName(QLatin1String(s.label));
        label->setAlignment(Qt::AlignCenter);
        label->setGeometry(area->rect());
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        QFont font = label->font();
        font.setBold(true);
        font.setPointSizeF(font.pointSizeF() + 2);
        label->setFont(font);

        Section section{area, new QWidget(centre), nullptr};
        section.centre->setObjectName(QLatin1String(s.area) + QStringLiteral("Centre"));
        BuildSurface(section.centre, s.centre, 1, 6, 0);
        centreColumn->addWidget(section.centre, 1);
        if (!s.right.isEmpty()) {
            section.right = new QWidget(right);
            section.right->setObjectName(QLatin1String(s.area) + QStringLiteral("Right"));
            BuildSurface(section.right, s.right, 1, 9, 0);
            rightColumn->addWidget(section.right, 1);
        }
        m_sections.append(section);
    }
    frame->addWidget(plNavigation);
    frame->addWidget(centre, 3);
    frame->addWidget(right, 2);
    plRight = right;

    BuildObjectMenus({"pmCustomer", "pmSupplier", "pmEmployee", "pmDept", "pmProject"});
    ShowSection(0);
}

void TSpreadForm::SelectSection(int index)
{
    if (index < 0 || index >= m_sections.size())
        return;
    ShowSection(index);
    SetModuleCaptionSuffix(QString::fromUtf8(SpreadLayout()[index].suffix));
}

void TSpreadForm::ShowSection(int index)
{
    m_selected = index;
    const SpreadSection &s = SpreadLayout()[index];
    for (int i = 0; i < m_sections.size(); ++i) {
        m_sections[i].centre->setVisible(i == index);
        if (m_sections[i].right)
            m_sections[i].right->setVisible(i == index);
    }
    shpSelected->setGeometry(m_sections[index].area->geometry());
    shpSelected->show();
    shpSelected->lower();
    // The selected section's caption is drawn dark on the light marker.
    for (int i = 0; i < m_sections.size(); ++i)
        if (auto *label = m_sections[i].area->findChild<QLabel *>())
            SetNavTextColour(label, i == index ? QColor(30, 60, 110) : QColor(255, 255, 255));
    if (shpHover->isVisible() && shpHover->geometry() == shpSelected->geometry())
        shpHover->hide();
    // The report section has no right column at all.
    plRight->setVisible(m_sections[index].right != nullptr);
    lbCentreCaption->setText(QString::fromUtf8(s.centreCaption));
    if (s.rightCaption)
        lbRightCaption->setText(QString::fromUtf8(s.rightCaption));
}

void TSpreadForm::HoverSection(int index)
{
    if (index < 0 || index >= m_sections.size()) {
        shpHover->hide();
        return;
    }
    shpHover->setGeometry(m_sections[index].area->geometry());
    shpHover->setVisible(index != m_selected);
    shpHover->lower();
}

QString TSpreadForm::FirstCaptionSuffix() const
{
    return QStringLiteral("账务处理");
}

void TSpreadForm::InitialisePage()
{
    // "启用账套" is offered only while the account set is not enabled.
    cdsPublic->close();
    cdsPublic->setProviderName(QStringLiteral("LX_SysInitInfo"));
    cdsPublic->setCommandText(QString());
    cdsPublic->open();
    const bool enabled =
        !cdsPublic->isEmpty() && cdsPublic->asBoolean(QStringLiteral("InitialAudit"));
    cdsPublic->close();
    if (auto *enable = findChild<QWidget *>(QStringLiteral("asb10206")))
        enable->setVisible(!enabled);
}

QPoint TSpreadForm::MenuPosition(QWidget *label, const NavObjectMenu &, QMenu *) const
{
    return label->mapTo(this, QPoint(0, label->height() + 5));
}

bool TSpreadForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == plNavigation && event->type() == QEvent::Leave)
        HoverSection(-1);
    for (int i = 0; i < m_sections.size(); ++i) {
        if (watched != m_sections[i].area)
            continue;
        if (event->type() == QEvent::Enter)
            HoverSection(i);
        else if (event->type() == QEvent::MouseButtonPress &&
                 static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
            SelectSection(i);
    }
    return TNavigationForm::eventFilter(watched, event);
}

} // namespace vexa::gl
