#include "PropValueSave.h"

#include "ClientDataSet.h"
#include "DataAccess.h"

#include <vexa/Error.h>

#include <QScopeGuard>

#include <algorithm>

namespace vexa::gl {

namespace {

const QString kPartID = QStringLiteral("PartID");
const QString kPropType = QStringLiteral("PropType");
const QString kPropIndex = QStringLiteral("PropIndex");
const QString kPropCode = QStringLiteral("PropCode");
const QString kPropValue = QStringLiteral("PropValue");

bool blank(const ClientDataSet &ds, const QString &field)
{
    return ds.asString(field).trimmed().isEmpty();
}

} // namespace

const QString PropValueSave::ValueRequiredMessage = QStringLiteral("必须输入属性值。");

QString PropValueSave::SetPriceFlag(QString flags, int prop, int propCount, QChar code)
{
    const QChar now = prop < flags.size() ? flags.at(prop) : QLatin1Char('0');
    if (now == code)
        return flags;
    if (flags.size() <= prop)
        flags = flags.leftJustified(std::max(prop + 1, propCount), QLatin1Char('0'));
    flags[prop] = code;
    return flags;
}

void PropValueSave::PostRow(ClientDataSet &data, bool skipCheck)
{
    if (!data.isEditing())
        return;
    if (!skipCheck && blank(data, kPropValue))
        throw Error(ValueRequiredMessage);
    data.post();
}

void PropValueSave::PostBeforeSave(ClientDataSet &data)
{
    if (data.isEditing())
        PostRow(data, blank(data, kPropCode) && blank(data, kPropValue));
}

void PropValueSave::Save(ClientDataSet &data, int partID, int propType)
{
    // On a refusal or a server error the renumbering of the refused row is undone and the
    // filter comes back.
    const auto refilter = qScopeGuard([&data] {
        if (data.isEditing())
            data.cancel();
        try {
            data.setFiltered(true);
        } catch (const Error &) {
            // Nothing is pending any more; the filter text was valid when set.
        }
    });
    // The numbers are the largest in use when read: after a failure the rows go back
    // unnumbered (and the blank ones back), so the retry reads them again rather than
    // storing numbers another user may have saved meanwhile.
    const auto before = data.snapshot();
    auto restoreOnFailure = qScopeGuard([&] { data.restore(*before); });
    data.setFiltered(false);

    QVariantList args{QStringLiteral("T0101020"), kPropIndex, QString()};
    qlonglong next = CallServer(QStringLiteral("GetFieldMaxValue"), args).toLongLong() + 1;
    for (int r = 1; r <= data.recordCount();) {
        data.setRecNo(r);
        if (blank(data, kPropCode) && blank(data, kPropValue)) {
            data.deleteRecord();
            continue;
        }
        if (data.asInteger(kPropIndex) < 1) {
            data.edit();
            data.setValue(kPartID, partID == 0 ? 0 : -data.asInteger(kPartID));
            data.setValue(kPropIndex, next++);
            data.setValue(kPropType, propType);
            PostRow(data, false);
        }
        ++r;
    }
    ApplyChanges(data, true);
    restoreOnFailure.dismiss();
}

} // namespace vexa::gl
