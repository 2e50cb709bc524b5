#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace vexa {
class ClientDataSet;
}

namespace vexa::gl {

struct TNodeData;

// What the account set must have for a module to start, by the package tags of the
// module's PackNo:
//   [B] base module, runs before the account set is enabled;
//   [I] general-ledger module, runs before enabling once the general-ledger start period
//       is set;
//   [C] cashier module, needs the cashier start period (enabled or not).
// A module with neither [B] nor [I] needs an enabled account set.
struct AccountSetState
{
    bool InitialAudit = false;    // the account set has been enabled
    int GLStartPeriodID = 0;      // 0: general-ledger start period not set
    int CashierStartPeriodID = 0; // 0: cashier not started

    // Read from the shared account-set information (CDS_SysInitInfo of the host's data
    // module); a missing dataset or row counts as nothing set up yet.
    static AccountSetState Current();
};

// The console's refusal for packNo on that account set: the warning text, or an empty
// text when the module may start.
QString ConsoleLaunchRefusal(const QString &packNo, const AccountSetState &state);

// The 32-bit command value handed to the host for a module's UICommand. UICommand is a
// one-letter kind code (N document entry, B list, R report, E processing step, F page);
// the host contract carries it as a 32-bit value, so the code of its first character is
// passed (0 when empty). The text argument after it carries the data key "DataProvider"
// and the variant the start parameter.
quint32 CommandValue(const QString &uiCommand);

// Asks the host to open a module, bracketed: BeginBusy, BeginLaunch, OpenModule(code, 0,
// command, dataKey, parameter), then EndBusy(false) and EndLaunch(false) also when
// OpenModule throws (the error travels on to the caller afterwards).
void OpenModuleBracketed(const QString &moduleCode, const QString &uiCommand,
                         const QString &parameter,
                         const QString &dataKey = QStringLiteral("DataProvider"));

// Starts the module of a console tree node (double-click or Enter). node is null when no
// item is selected or the item has no record. Stops silently for a directory node or a
// node the user may not run; shows a warning when the account set is not far enough set
// up; otherwise opens the module with ParaStr as start parameter, or CommandData when
// ParaStr is empty. Answers whether the host was asked to open the module.
bool LaunchConsoleNode(const TNodeData *node);

// ---- Navigation pages --------------------------------------------------------------------
// The control-centre pages start modules from their controls (a flow-chart button or a link
// label, bound to a module by its component name) and from the entries of their object
// menus (tagged with an object number of SYS_SMPMDefine).

// Which page asks: the three tabbed pages word their refusals alike, the spread page has
// its own wording, slightly different for controls and for object-menu entries.
enum class NavigationPageKind { Tabbed, Spread };
enum class NavigationLaunchWay { Control, ObjectMenu };

// The refusal of a navigation page for packNo on that account set (same checks as the
// console's), or an empty text when the module may start.
QString PageLaunchRefusal(const QString &packNo, const AccountSetState &state,
                          NavigationPageKind page, NavigationLaunchWay way);

// The page rights: object types above 25000 are never granted; otherwise a rights row
// (ObjType, RightValue) of the user group with that type and value 1, 2 or 3 grants it.
// No exception for a manager or for object types of 0 or less.
bool PageHasRight(int objType, const ClientDataSet &rights);
// Whether the user group's rights rows (LX_SysCheckRight: ObjType, RightValue) grant
// objType: a row with RightValue 1, 2 or 3.
bool RightsGrant(const ClientDataSet &rights, int objType);

// A module catalogue row (SYS_SMModules) as the pages use it.
struct NavModule
{
    QString MCode;
    QString MDesc;
    QString UICommand;
    QString ParaStr;
    QString PackNo;
    QString FaceControl;
    int ObjType = 0;
};

// A module object row (SYS_SMPMDefine): the object an object-menu entry stands for.
struct NavObject
{
    int PMCode = 0;
    QString MCode;
    int ObjType = 0;
    QString CommandData;
};

// How a control's name finds its module.
enum class FaceBinding {
    Bound,    // a catalogue row, directly or through a SYS_SMFaceControl row
    Unbound,  // nobody knows the name: the user is asked to bind it
    Dangling, // a SYS_SMFaceControl row names a module the catalogue does not have
};
struct FaceLookup
{
    FaceBinding binding = FaceBinding::Unbound;
    std::optional<NavModule> module; // set when Bound
};

// Where a new binding goes: into the module's own FaceControl column when that is empty
// or names no control of the page (the binding moves), else into a further
// SYS_SMFaceControl row (the module keeps its first control).
enum class BindingTarget { ModuleColumn, ExtraRow };
BindingTarget ChooseBindingTarget(const QString &moduleFaceControl, bool namesControlOfPage);

// The datasets a navigation page reads, all open: the catalogue (SYS_SMModules), the
// further bindings (SYS_SMFaceControl), the module objects (SYS_SMPMDefine) and the user
// group's rights (LX_SysCheckRight). Reads rows without moving the cursors.
class NavigationCatalogue
{
public:
    NavigationCatalogue(const ClientDataSet &modules, const ClientDataSet &faceControls,
                        const ClientDataSet &objects, const ClientDataSet &rights)
        : m_modules(modules), m_faceControls(faceControls), m_objects(objects), m_rights(rights)
    {}

    std::optional<NavModule> Module(const QString &moduleCode) const;
    FaceLookup ModuleOfControl(const QString &key) const;
    std::optional<NavObject> Object(int pmCode) const;
    bool HasRight(int objType) const { return PageHasRight(objType, m_rights); }

    // A control is shown as available unless a module is bound to it and the rights do
    // not grant that module's object type. Unbound controls are available.
    bool ControlAvailable(const QString &key) const;
    // An object-menu entry is enabled when its object exists and the rights grant the
    // object's type.
    bool ObjectEntryEnabled(int pmCode) const;

private:
    const ClientDataSet &m_modules;
    const ClientDataSet &m_faceControls;
    const ClientDataSet &m_objects;
    const ClientDataSet &m_rights;
};

// The rest of a control's launch once its module is known: the account-set checks with
// the page's messages (a warning), then the page rights (a silent stop), then the host
// is asked to open the module with its ParaStr. Answers whether the host was asked.
bool LaunchPageModule(const NavModule &module, const NavigationCatalogue &catalogue,
                      NavigationPageKind page);

// An object-menu entry's launch: a warning when no module object has that number, a
// silent stop when its module is missing from the catalogue, the account-set checks with
// the page's messages, "系统操作权限限制！" without the right on the object's type; then
// the host is asked to open the object's module with the object's CommandData. Answers
// whether the host was asked.
bool LaunchPageObject(int pmCode, const NavigationCatalogue &catalogue, NavigationPageKind page);

} // namespace vexa::gl
