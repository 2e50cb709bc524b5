#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

namespace vexa {

class ClientDataSet;
class IRemoteConnection;

// Links a dataset to the views and editors of a form, as a named, tagged object.
class DataSource : public QObject
{
    Q_OBJECT

public:
    explicit DataSource(QObject *parent = nullptr) : QObject(parent) {}

    void setDataSet(ClientDataSet *dataSet) { m_dataSet = dataSet; }
    ClientDataSet *dataSet() const { return m_dataSet; }
    void setTag(int tag) { m_tag = tag; }
    int tag() const { return m_tag; }

private:
    QPointer<ClientDataSet> m_dataSet;
    int m_tag = 0;
};

// The shared data module a host owns: named datasets and data sources, and the remote
// connection they use. Datasets and sources added here are owned by the module.
class DataModule : public QObject
{
    Q_OBJECT

public:
    explicit DataModule(QObject *parent = nullptr) : QObject(parent) {}

    // The dataset of that object name (letter case ignored); nullptr when there is none.
    ClientDataSet *dataSet(const QString &name) const;
    // The same, but a missing dataset is an error naming it.
    ClientDataSet *requireDataSet(const QString &name) const;
    DataSource *dataSource(const QString &name) const;

    // Takes ownership and appends to the lists, in order.
    void addDataSet(ClientDataSet *dataSet);
    void addDataSource(DataSource *source);

    const QList<ClientDataSet *> &dataSets() const { return m_dataSets; }
    const QList<DataSource *> &dataSources() const { return m_dataSources; }

    IRemoteConnection *remoteConnection() const { return m_connection; }
    void setRemoteConnection(IRemoteConnection *connection) { m_connection = connection; }

private:
    QList<ClientDataSet *> m_dataSets;
    QList<DataSource *> m_dataSources;
    IRemoteConnection *m_connection = nullptr;
};

} // namespace vexa
