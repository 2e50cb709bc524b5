#pragma once

#include <QString>

class QWidget;

namespace vexa {
class ClientDataSet;
}

namespace vexa::gl {

// The user's row of LX_SysUser, read into scratch: whether it says the user is a
// manager (a missing row is no manager). scratch is left closed.
bool ReadUserIsManager(ClientDataSet &scratch, const QString &userId);

// Why the account-set information record in info (LX_SysInitInfo, open) may not be
// enabled: the first failing check's message, in the order no record, already enabled,
// no financial start period, no base currency; empty when enabling may go on.
QString EnablingRefusal(const ClientDataSet &info);

// Sets InitialAudit on the current row of info and sends it to the server, merging the
// change log; raises with the server's error text when the save fails.
void MarkAccountSetEnabled(ClientDataSet &info);

// Enables the account set: checks that the user is a manager, then reads, checks and
// marks the account-set information inside one server transaction and refreshes the
// host's copy. page lends its scratch dataset "cdsPublic" when it has one and loses its
// "spStartZT" control on success. Reports by dialogs; answers whether the account set
// was enabled. Never raises.
bool EnableAccountSet(QWidget *page);

// The console's "启用账套" command. manager is the page's Manager flag read when it
// opened: without it the console's button is disabled, so nothing happens.
bool EnableAccountSetFromConsole(QWidget *page, bool manager);

} // namespace vexa::gl
