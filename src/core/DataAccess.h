#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>
#include <memory>

namespace vexa {
class ClientDataSet;
}

namespace vexa::gl {

// Access levels. The server's RightValue 2 and 3 cross: 2 is browse (level 3), 3 is
// modify (level 2).
enum RightLevel : quint8 { RightNone = 0, RightFull = 1, RightModify = 2, RightBrowse = 3 };

RightLevel RightFromServerValue(int rightValue);

// Session getters, from the host.
double ServerDate();     // day number (days since 1899-12-30)
double ServerDateTime(); // day number with the time as fraction
QString CurrentUserID();
QString CurrentUserName();
QDateTime DayNumberToDateTime(double dayNumber);

// Server operations.
QString LastServerError();
// The next key of an entity ("AcctID", "1095", ...); increment false only reads it.
qlonglong NextEntityID(const QString &name, bool increment);
void BeginTrans();
void CommitTrans();
void RollbackTrans();
QVariant CallServer(const QString &operation, QVariantList &args);

// Sends a dataset's changes: posts a pending edit, applies the delta when there is one,
// raises the server's last error when it reports errors (the change log stays; the
// error's kind tells a duplicate key or a row changed by another user), and merges the
// change log when mergeAfter.
void ApplyChanges(ClientDataSet &dataSet, bool mergeAfter);

// The user group's right on an object type (never throws for a missing right).
RightLevel CheckRight(int objType);

// A client dataset on the host connection with a provider, for a one-off read.
std::unique_ptr<ClientDataSet> ProviderDataSet(const QString &provider, const QString &command);

// A save of several datasets in one server transaction: BeginBusy and BeginTrans now;
// Commit ends both; a guard destroyed without Commit rolls back and ends the busy state.
class ServerTransaction
{
public:
    ServerTransaction();
    ~ServerTransaction();
    ServerTransaction(const ServerTransaction &) = delete;
    ServerTransaction &operator=(const ServerTransaction &) = delete;
    void Commit();

private:
    bool m_open = false;
};

// The message a dialog base raises for a failed save: the server's own text in design
// mode, the fixed text otherwise.
QString SaveFailureMessage(const QString &caught);

} // namespace vexa::gl
