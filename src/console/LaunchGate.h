#pragma once

#include <QString>
#include <QtGlobal>

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
// command, "DataProvider", parameter), then EndBusy(false) and EndLaunch(false) also when
// OpenModule throws (the error travels on to the caller afterwards).
void OpenModuleBracketed(const QString &moduleCode, const QString &uiCommand,
                         const QString &parameter);

// Starts the module of a console tree node (double-click or Enter). node is null when no
// item is selected or the item has no record. Stops silently for a directory node or a
// node the user may not run; shows a warning when the account set is not far enough set
// up; otherwise opens the module with ParaStr as start parameter, or CommandData when
// ParaStr is empty. Answers whether the host was asked to open the module.
bool LaunchConsoleNode(const TNodeData *node);

} // namespace vexa::gl
