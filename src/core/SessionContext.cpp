#include "SessionContext.h"

#include "ClientDataSet.h"
#include "DataModule.h"
#include "Globals.h"

#include <vexa/PluginHost.h>

namespace vexa::gl {

namespace {

QString infoField(const QString &field)
{
    // A fresh lookup per field, as the data module may have replaced the dataset.
    ClientDataSet *info = Globals().DataModule->requireDataSet(QStringLiteral("CDS_SysInitInfo"));
    return info->asString(field);
}

} // namespace

void AttachConnection(DataModule *dataModule, IRemoteConnection *connection)
{
    if (!dataModule || dataModule->remoteConnection() == connection)
        return;
    dataModule->setRemoteConnection(connection);
    for (ClientDataSet *ds : dataModule->dataSets())
        ds->setRemoteConnection(connection);
}

void LoadSessionContext()
{
    SessionGlobals &s = Session();
    s.CaptionPartCode = infoField(QStringLiteral("CaptionPartCode"));
    s.CaptionPartDesc = infoField(QStringLiteral("CaptionPartDesc"));
    s.CaptionPartName = infoField(QStringLiteral("CaptionPartName"));
    if (s.CaptionPartCode.isEmpty())
        s.CaptionPartCode = QStringLiteral("存货编码");
    if (s.CaptionPartDesc.isEmpty())
        s.CaptionPartDesc = QStringLiteral("存货名称");
    if (s.CaptionPartName.isEmpty())
        s.CaptionPartName = QStringLiteral("存货");
    s.DesignModule = HostRef().GetValue(QStringLiteral("DesignModule")).toBool();
}

void BuildOptionDataSets(DataModule *dataModule)
{
    for (const DataSource *source : dataModule->dataSources())
        if (source->objectName().compare(QLatin1String("ComOption"), Qt::CaseInsensitive) == 0)
            return;
    ClientDataSet *info = dataModule->requireDataSet(QStringLiteral("CDS_SysInitInfo"));
    for (const char *name :
         {"ComOption", "FinOption", "PurOption", "SalOption", "InvOption", "MftOption"}) {
        const QString option = QString::fromLatin1(name);
        const QString packet = info->asString(option);
        if (packet.isEmpty())
            continue;
        auto *ds = new ClientDataSet;
        ds->setTag(100);
        ds->setObjectName(QStringLiteral("CDS_") + option);
        auto *source = new DataSource;
        try {
            ds->loadFromText(packet);
        } catch (...) {
            delete ds;
            delete source;
            throw; // datasets built before this one stay in the module
        }
        source->setObjectName(option);
        source->setDataSet(ds);
        source->setTag(100);
        dataModule->addDataSet(ds);
        dataModule->addDataSource(source);
    }
}

} // namespace vexa::gl
