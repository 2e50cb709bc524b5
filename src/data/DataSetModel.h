#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QPointer>

namespace vexa {

class ClientDataSet;

// A table model over a client dataset for grids and trees. Rows are the dataset's
// visible rows (filter and index applied), columns its fields. Edits made in a view go
// through the dataset's edit and post; a refused edit leaves the row as it was and is
// reported through editFailed, since no exception may cross the event loop.
// Displayed text: a boolean field reads 是/否 (null stays empty), dates as yyyy-MM-dd; the
// edit role gives the stored value.
class DataSetModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit DataSetModel(ClientDataSet *dataSet = nullptr, QObject *parent = nullptr);

    void setDataSet(ClientDataSet *dataSet);
    ClientDataSet *dataSet() const;

    // Column captions by field name (the field name itself otherwise).
    void setCaption(const QString &field, const QString &caption);
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // The dataset's current row as a model row (-1 when none).
    int currentRow() const;

public slots:
    // Moves the dataset's cursor; a refused move (a pending edit that cannot be posted)
    // is reported through editFailed.
    void setCurrentRow(int row);

signals:
    void currentRowChanged(int row);
    void editFailed(const QString &message);

private:
    void reset();

    QPointer<ClientDataSet> m_dataSet;
    QHash<QString, QString> m_captions;
    bool m_readOnly = false;
    QList<QMetaObject::Connection> m_connections;
};

} // namespace vexa
