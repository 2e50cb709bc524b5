#include "DataModule.h"

#include "ClientDataSet.h"

#include <vexa/Error.h>

namespace vexa {

ClientDataSet *DataModule::dataSet(const QString &name) const
{
    for (ClientDataSet *ds : m_dataSets)
        if (ds->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return ds;
    return nullptr;
}

ClientDataSet *DataModule::requireDataSet(const QString &name) const
{
    ClientDataSet *ds = dataSet(name);
    if (!ds)
        throw Error(QStringLiteral("数据模块中没有数据集“%1”。").arg(name));
    return ds;
}

DataSource *DataModule::dataSource(const QString &name) const
{
    for (DataSource *s : m_dataSources)
        if (s->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return s;
    return nullptr;
}

void DataModule::addDataSet(ClientDataSet *dataSet)
{
    Q_ASSERT(dataSet);
    dataSet->setParent(this);
    // A dataset freed by its owner leaves the list with it.
    connect(dataSet, &QObject::destroyed, this, [this, dataSet] { m_dataSets.removeOne(dataSet); });
    m_dataSets.append(dataSet);
}

void DataModule::addDataSource(DataSource *source)
{
    Q_ASSERT(source);
    source->setParent(this);
    connect(source, &QObject::destroyed, this, [this, source] { m_dataSources.removeOne(source); });
    m_dataSources.append(source);
}

} // namespace vexa
