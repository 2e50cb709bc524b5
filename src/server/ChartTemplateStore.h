#pragma once

// The chart-of-accounts templates of an account set (SMAcctTemp and SMAcctTempData), on either
// storage engine: listed, read back into a ChartTemplate, stored as the account-set creation
// stores the shipped ones, removed. Also the set's own current chart read as a template.

#include "ChartTemplate.h"

#include <QList>
#include <QString>

namespace vexa::server {

class ServerConnection;

struct StoredTemplateInfo
{
    QString code;
    QString name;
    QString remark;
    int accounts = 0;
    int accountTypes = 0;
    int reports = 0;    // rows of T0200096
    bool inUse = false; // the set's parameters name it
};

class ChartTemplateStore
{
public:
    explicit ChartTemplateStore(ServerConnection &connection);

    QList<StoredTemplateInfo> list() const;
    bool exists(const QString &code) const;
    // Throws vexa::Error for a code the set does not have or a payload that cannot be read.
    ChartTemplate read(const QString &code) const;
    // The set's chart, account types and report templates as a template (without code or
    // name); the report terms' bound account ids are left out, as in a template.
    ChartTemplate readCurrent() const;
    // The template the set's parameters name (SysInitInfo.AcctTempDesc); empty when none.
    QString templateInUse() const;

    // Stores a chart completed without problems: a new SMAcctTemp row and its SMAcctTempData
    // packets, in one transaction. An existing code is refused unless replace, which
    // replaces the row and all its packets. Throws vexa::Error; nothing is written then.
    void store(const ChartTemplate &chart, bool replace);
    // Refuses the template in use and a code the set does not have.
    void remove(const QString &code);

private:
    ServerConnection &m_connection;
};

} // namespace vexa::server
