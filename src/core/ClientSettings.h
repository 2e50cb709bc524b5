#pragma once

#include <QString>

#include <functional>
#include <memory>

class QDoubleSpinBox;
class QSettings;
class QWidget;

namespace vexa::gl {

// The per-user workstation settings. Member names are the registry value names; the
// initialisers are the defaults of a workstation without the font "华文细黑" on a current
// platform (see ClientSettings::Defaults for the others).
struct ClientSettings
{
    int CAcctShowType = 4;
    int CFormMinWidth = 1024;
    int CFormMaxWidth = 1300;
    QString CAcctEnterOption = QStringLiteral("100000000000000000000110000100");
    QString CUPDATASVR = QStringLiteral("0000");
    bool CGridDataAutoRefresh = true;
    bool CGridIndicator = false;
    QString CGUIStyle = QStringLiteral("默认样式");
    QString CFontName = QStringLiteral("Tahoma");
    int CFontSize = 8;
    int CTLabelPosSize = 0;
    int CGridHeaderHeight = 23;
    int CGridFooterHeight = 24;
    int CGridDataRowHeight = 20;
    int CGridLineWidth = 2;
    int CBrowseGridLines = 0; // 0..3
    int CFindGridLines = 3;   // 0 both, 1 horizontal only, 2 none, 3 vertical only
    bool CCellHints = true;
    int CBrowseLineHeight = 8;
    int CFindTopCount = 2000;
    int CBtnFadeVale = 6;
    int CSpeedFadeVale = 5;
    int CPanelFadeVale = 5;
    int CBtnBorderWidth = 3;
    int CCurrencyHorzStyle = 2; // 0 centred, 1 left, anything else right
    bool CEditNativeStyle = true;
    bool CPURImmStocks = false;
    bool CSALImmStocks = false;
    QString CPRGURL;

    // Not stored: the style's horizontal scroll bar height, taken when the settings are
    // loaded; the footer/scroll-bar allowance of the dialogs' size rules.
    int ScrollBarHeight = 0;

    // The defaults before loading: the font-dependent ones follow whether "华文细黑" is
    // installed, and old platforms (major version 5 or lower) get a 2 pixels taller footer.
    static ClientSettings Defaults(bool chineseUiFontInstalled, int platformMajorVersion);
};

// The process-wide settings every part reads. Filled by LoadClientSettings; nothing
// writes them back to the registry during a run.
ClientSettings &Settings();

// Whether the font "华文细黑" is among the installed font families.
bool ChineseUiFontInstalled();
// The major version number of the platform for the footer rule. The rule is about old
// Windows versions (5 = XP/2003); every other platform counts as current, above 5.
int PlatformMajorVersion();

// Loads Settings() from the registry key registryPath (the host's "REGPATH"): the
// defaults first, then for each value in turn the stored one when present, else the
// default is written back. A stored value of the wrong kind (text where a number belongs,
// a grid-lines value outside 0..3) keeps the default and is left as it is. A key that
// cannot be opened leaves the defaults, silently. CEditNativeStyle ends up true whatever
// is stored.
void LoadClientSettings(const QString &registryPath);

// The per-user registry. All key paths ("Software\Corvane\Vexa\Client", "SHKEYCONFIG")
// live in one per-user QSettings store (organisation "Corvane", application "Vexa"; on
// Linux the file ~/.config/Corvane/Vexa.conf); the backslash-separated path becomes the
// group path of that store ("Software/Corvane/Vexa/Client"). On Windows the store is
// HKEY_CURRENT_USER itself, so the group is the real registry key. Every part that names
// the same key path therefore reaches the same values.
//
// Answers the store with the key's group entered, or nullptr when the key cannot be
// opened for writing (the store is unwritable or unreadable). Writes reach the disk when
// the object is destroyed.
std::unique_ptr<QSettings> OpenRegistryKey(const QString &path);
// The key path as the group path of the store: backslashes become slashes, empty parts
// are dropped.
QString RegistryGroup(const QString &path);

// The workstation's local data folder: value "LocalAppData" of the key "SHKEYCONFIG",
// else its value "InstallPath", else the host executable's folder (no trailing separator).
QString LocalDataFolder();

// The captions of the part columns of grids: columns bound to the field "PartCode" get
// partCode, those bound to "ItDesc" or "PartDesc" get partDesc. An empty caption leaves
// the column as it is.
struct PartCaptions
{
    QString partCode;
    QString partDesc;
};
// ApplyLook asks source for the captions each time it runs, so it sees the account set
// that is open at that moment; the session code installs it once its captions are known.
// Without a source the part columns keep their captions.
void SetPartCaptionsSource(std::function<PartCaptions()> source);

// Applies Settings() to the controls of form (the form framework calls it once, when the
// form is first shown):
//  - grids (QTableView): header height, data row height, indicator column (the vertical
//    header), hints for clipped cells, elided cell and header texts, part captions;
//  - the form, labels and edits: font CFontName / CFontSize; edits keep the native frame;
//  - single-line labels move up by CTLabelPosSize pixels (a label a layout holds keeps its
//    place and its text moves up inside it);
//  - currency edits (QDoubleSpinBox): alignment from CCurrencyHorzStyle, thousands
//    separators, and the widened format (WidenCurrencyFormat).
// The fade and border values of owner-drawn controls are loaded but not applied here.
void ApplyLook(QWidget *form);

// The dynamic property holding a currency edit's display format text.
inline constexpr char kDisplayFormat[] = "displayFormat";
// A currency edit showing whole yuan and fen ("￥,0.00;-￥,0.00") is switched to 6
// decimals and the format ",#.00####;-,#.00####"; other edits are left alone.
void WidenCurrencyFormat(QDoubleSpinBox *edit);

} // namespace vexa::gl
