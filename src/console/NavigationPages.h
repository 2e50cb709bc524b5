#pragma once

#include "LXChildForm.h"
#include "LaunchGate.h"

#include <QColor>
#include <QHash>
#include <QLabel>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QToolButton>
#include <memory>
#include <optional>

class QFrame;
class QMenu;
class QStackedWidget;

namespace vexa {
class ClientDataSet;
}

namespace vexa::gl {

class TSelModulesForm;

// ---- Layout description -------------------------------------------------------------------
// The pages are drawn from tables (NavigationLayouts.cpp): which controls a tab or section
// shows, with their captions and component names. The component name is the control's key
// on the server (SYS_SMModules.FaceControl, SYS_SMFaceControl): a control of the same name
// on another page starts the same module.

enum class NavKind : quint8 {
    Button,   // flow-chart button
    Link,     // link label
    MenuLink, // link label that opens an object menu
};

struct NavControl
{
    NavKind kind;
    const char *name;
    const char *caption;
    const char *menu = nullptr; // MenuLink: the object menu it opens
};

struct NavTab
{
    const char *name;           // of the tab's surface; its strip button is "tab" + name
    const char *caption;        // as laid out
    const char *initCaption;    // set again by the initialisation (nullptr: unchanged)
    QList<NavControl> controls; // buttons first, then link labels
    bool hidden = false;
};

// A flow-chart button whose caption the initialisation sets again.
struct NavRecaption
{
    const char *name;
    const char *caption;
};

struct TabbedPageLayout
{
    QList<NavTab> tabs;
    QList<NavRecaption> recaptions;
    int stripTabs; // the tab count the strip is divided for
};

struct SpreadSection
{
    const char *area;  // the click area
    const char *label; // its caption label
    const char *caption;
    const char *centreCaption; // shown over the centre panel
    const char *rightCaption;  // shown over the right panel (nullptr: left as it is)
    const char *suffix;        // host caption suffix
    QList<NavControl> centre;
    QList<NavControl> right; // empty: no right panel
};

struct NavMenuEntry
{
    int pmCode;
    const char *caption;
};

struct NavObjectMenu
{
    const char *name;
    int raise; // tabbed pages: pixels the menu opens above its label's top
    QList<NavMenuEntry> entries;
};

const TabbedPageLayout &ProfessionalLayout();
const TabbedPageLayout &NormalLayout();
const TabbedPageLayout &NormalJXCLayout();
const QList<SpreadSection> &SpreadLayout();
const QList<NavObjectMenu> &NavObjectMenus();

// The tab strip divided for n tabs over the layout label's width: avail = width - 4;
// tab width (avail - 40) / n; spacing (avail - n * tab width) / (n - 1); the start margin
// halves what is left. Integer divisions.
struct TabStripGeometry
{
    int tabWidth;
    int spacing;
    int margin;
};
TabStripGeometry TabStripLayout(int labelWidth, int n);

// ---- Controls -----------------------------------------------------------------------------

// A flow-chart button: a box with its caption (line breaks kept, carriage returns not
// drawn).
class TNavButton : public QToolButton
{
    Q_OBJECT

public:
    explicit TNavButton(const QString &caption, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

// A link label: reports clicks and the mouse entering and leaving.
class TNavLinkLabel : public QLabel
{
    Q_OBJECT

public:
    explicit TNavLinkLabel(const QString &caption, QWidget *parent = nullptr);

signals:
    void clicked();
    void hovered(bool entered);

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
};

// The text colour of a navigation control (link label or button).
QColor NavTextColour(const QWidget *control);
void SetNavTextColour(QWidget *control, const QColor &colour);

// ---- Pages --------------------------------------------------------------------------------

// What the four control-centre pages share: the datasets, the two launchers (controls and
// object-menu entries), the binding of unbound controls, availability colours, the fixed
// set-up controls and the object menus with their hover timer.
class TNavigationForm : public TLXCustomChildForm
{
    Q_OBJECT

public:
    static const QColor kUnavailable;  // grey 131, 131, 131
    static const QColor kHover;        // blue
    static const QColor kNormal;       // black
    static const QColor kManagerAdmin; // dark grey 53, 53, 53

    ~TNavigationForm() override;

    void BeforeExecute(bool &ok) override;
    void AfterExecute(bool &ok) override;
    void Execute(quint32 p1, const QString &p2, QVariant &p3) override;

    NavigationPageKind PageKind() const { return m_kind; }
    bool Manager() const { return m_manager; }
    NavigationCatalogue Catalogue() const;

    // The face-control launcher of a button or link label; failures are shown.
    void LaunchControl(QWidget *control);
    // The object launcher of an object-menu entry's number; failures are shown.
    void LaunchObject(int pmCode);

    // Object menus: the open one's name (empty when none), the menus by name.
    QString OpenMenuName() const { return m_openMenu; }
    QMenu *ObjectMenu(const QString &name) const { return m_menus.value(name); }
    bool MenuHoverPending() const { return m_menuHover; }
    const QTimer &MenuTimer() const { return m_menuTimer; }
    void ToggleObjectMenu(QWidget *label, const QString &menuName);
    void CloseObjectMenus();

    // The module picker, once the first unbound control was clicked.
    TSelModulesForm *ModulePicker() const { return m_picker.get(); }

protected:
    TNavigationForm(NavigationPageKind kind, QWidget *parent);

    // Makes the control of one table row on parent, wired to its action.
    QWidget *AddControl(const NavControl &control, QWidget *parent);
    // Lays the controls of a table out on surface: buttons in a flowing grid of
    // buttonColumns, link labels in columns of linkRows; with menuRows, the object-menu
    // labels in their own columns of menuRows at the bottom.
    void BuildSurface(QWidget *surface, const QList<NavControl> &controls, int buttonColumns,
                      int linkRows, int menuRows);
    // Mouse moves over surface (and over what it holds that does not take them) count as
    // moves over the page's background, which close the object menus.
    void WatchBackground(QWidget *surface);
    void BuildObjectMenus(const QList<const char *> &names);

    // Steps of the initialisation the pages differ in: the caption suffix shown first,
    // and the page's own captions and controls (after the data is read).
    virtual QString FirstCaptionSuffix() const = 0;
    virtual void InitialisePage() = 0;
    // Where an object menu opens for its label, in page coordinates.
    virtual QPoint MenuPosition(QWidget *label, const NavObjectMenu &menu, QMenu *widget) const;

    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

    ClientDataSet *cdsModules;
    ClientDataSet *cdsFaceControl;
    ClientDataSet *cdsPMDefine;
    ClientDataSet *cdsRight;
    ClientDataSet *cdsPublic;

private:
    enum class Fixed { None, ParameterConfig, Enable, AccountConfirm, RightsGroups, Users };
    static Fixed FixedActionOf(const QString &name);
    void RunFixed(Fixed action);
    std::optional<NavModule> BindControl(QWidget *control);
    bool SaveBinding(ClientDataSet &dataSet);
    void LinkHovered(TNavLinkLabel *label, bool entered);
    void BackgroundMouseMove();
    void UpdateAvailability();
    void UseLabelFontInMenus();

    NavigationPageKind m_kind;
    bool m_manager = false;
    QList<QWidget *> m_controls; // buttons and link labels, in creation order
    QHash<QString, QMenu *> m_menus;
    QSet<const QObject *> m_background;
    QString m_openMenu;
    bool m_menuHover = false;
    QTimer m_menuTimer;
    std::unique_ptr<TSelModulesForm> m_picker;
};

class TNavTabStrip;

// The three tabbed pages: a tab strip over one surface per tab, margin panels on wide
// pages.
class TTabbedNavigationForm : public TNavigationForm
{
    Q_OBJECT

public:
    int TabCount() const;
    QString TabCaption(int index) const;
    bool TabHidden(int index) const;
    int CurrentTab() const;
    // Shows a tab as the user's click does (the caption suffix follows).
    void ClickTab(int index);

protected:
    TTabbedNavigationForm(const TabbedPageLayout &layout, QWidget *parent);

    QString FirstCaptionSuffix() const override;
    void InitialisePage() override;
    void SetTabHidden(const QString &name, bool hidden);
    void resizeEvent(QResizeEvent *event) override;

private:
    void ShowTab(int index);

    const TabbedPageLayout &m_layout;
    QFrame *plLeftMargin = nullptr;
    QFrame *plRightMargin = nullptr;
    TNavTabStrip *m_strip = nullptr;
    QStackedWidget *m_surfaces = nullptr;
};

class TProfessionalForm : public TTabbedNavigationForm
{
    Q_OBJECT

public:
    explicit TProfessionalForm(QWidget *parent = nullptr);
};

class TNormalForm : public TTabbedNavigationForm
{
    Q_OBJECT

public:
    explicit TNormalForm(QWidget *parent = nullptr);
};

// Purchase, sales and inventory only.
class TNormalJXCForm : public TTabbedNavigationForm
{
    Q_OBJECT

public:
    explicit TNormalJXCForm(QWidget *parent = nullptr);
};

// The financial edition's page: a navigation column of four sections, each with a centre
// panel and (except the reports) a right panel of link labels.
class TSpreadForm : public TNavigationForm
{
    Q_OBJECT

public:
    explicit TSpreadForm(QWidget *parent = nullptr);

    int SelectedSection() const { return m_selected; }
    void SelectSection(int index);
    // Moves the highlight to a section (-1: hides it); the selected one is not highlighted.
    void HoverSection(int index);

protected:
    QString FirstCaptionSuffix() const override;
    void InitialisePage() override;
    QPoint MenuPosition(QWidget *label, const NavObjectMenu &menu, QMenu *widget) const override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void ShowSection(int index);

    struct Section
    {
        QWidget *area;
        QWidget *centre;
        QWidget *right; // null for the reports
    };

    QList<Section> m_sections;
    QWidget *plNavigation = nullptr;
    QWidget *plRight = nullptr;
    QFrame *shpSelected = nullptr;
    QFrame *shpHover = nullptr;
    QLabel *lbCentreCaption = nullptr;
    QLabel *lbRightCaption = nullptr;
    int m_selected = -1;
};

} // namespace vexa::gl
