#pragma once

// Seeding an account set's chart of accounts from an industry template: the accounts, the
// account types, the report templates that refer to accounts and the auxiliary-check
// lists, each stored on the server as a data packet in one row of "SYS_SMAcctTempData".
// The load runs inside the configuration's server transaction; every failure throws
// vexa::Error and the caller rolls the whole save back.

#include "ClientDataSet.h"
#include "DataPacket.h"

#include <QString>
#include <memory>
#include <vector>

namespace vexa::gl {

// The industry type without a preset chart: the user picks default account types instead.
inline const QString CustomChartTemplate = QStringLiteral("A05000");

// Appends one row to target per packet row, copying every field the two share by name,
// and posts each.
void AppendSharedRows(ClientDataSet &target, const DataPacket &payload);

// How much of the account set a template account is adapted to.
enum class AccountAdaptation {
    Full,    // the load: every field the account set decides
    Preview, // browsing the template: base currency, control flag and control type only
};
// Appends the template accounts to accounts (an open dataset of "LX_DMAccounting"'s
// fields), adapted to the base currency sysCur, and posts each.
void AppendTemplateAccounts(ClientDataSet &accounts, const DataPacket &payload,
                            const QString &sysCur, AccountAdaptation adaptation);

// A template's row with its payloads read. Reading comes before anything is written, so a
// template that cannot be used (a code the server does not know, a payload that cannot be
// read) fails with its own message, not as a save the server refused.
struct ChartTemplate
{
    DataPacket accounts; // empty: no preset chart, nothing is loaded or deleted
    DataPacket accountTypes;
    std::vector<DataPacket> reports; // T0200096 ... T0200099; none when the template has none
    DataPacket checkLevels;          // check list 0
    DataPacket checkItems;
};
ChartTemplate ReadAccountTemplate(const QString &templateCode);

// Replaces the chart of accounts, the account types, the report templates and the
// auxiliary-check list 0 with those of the template. A template without accounts loads and
// deletes nothing; a template code the server does not know is an error.
void LoadAccountTemplate(const ChartTemplate &chart, const QString &sysCur);
void LoadAccountTemplate(const QString &templateCode, const QString &sysCur);

// For the template without a chart: appends the chosen account types (rows of
// "LX_DMAccttype"'s shape) numbered on from the types already stored; deletes nothing.
void WriteDefaultAccountTypes(const ClientDataSet &chosen);

// The template's accounts and account types for browsing; nothing is written.
struct TemplatePreview
{
    std::unique_ptr<ClientDataSet> accounts;
    std::unique_ptr<ClientDataSet> accountTypes;
};
TemplatePreview BuildTemplatePreview(const QString &templateCode, const QString &sysCur);

} // namespace vexa::gl
