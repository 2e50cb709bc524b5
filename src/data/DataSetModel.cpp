#include "DataSetModel.h"

#include "ClientDataSet.h"

#include <vexa/Error.h>

#include <QDate>
#include <QDateTime>

namespace vexa {

DataSetModel::DataSetModel(ClientDataSet *dataSet, QObject *parent) : QAbstractTableModel(parent)
{
    setDataSet(dataSet);
}

void DataSetModel::setDataSet(ClientDataSet *dataSet)
{
    beginResetModel();
    for (const auto &c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    m_dataSet = dataSet;
    if (dataSet) {
        m_connections << connect(dataSet, &ClientDataSet::dataReset, this, &DataSetModel::reset);
        m_connections << connect(dataSet, &ClientDataSet::rowChanged, this, [this](int row) {
            if (row >= 0 && row < rowCount())
                emit dataChanged(index(row, 0), index(row, columnCount() - 1));
        });
        m_connections << connect(dataSet, &ClientDataSet::currentChanged, this,
                                 &DataSetModel::currentRowChanged);
        m_connections << connect(dataSet, &QObject::destroyed, this, &DataSetModel::reset);
    }
    endResetModel();
}

ClientDataSet *DataSetModel::dataSet() const
{
    return m_dataSet;
}

void DataSetModel::reset()
{
    beginResetModel();
    endResetModel();
}

void DataSetModel::setCaption(const QString &field, const QString &caption)
{
    m_captions.insert(field.toLower(), caption);
    if (m_dataSet) {
        const int i = m_dataSet->fieldIndex(field);
        if (i >= 0)
            emit headerDataChanged(Qt::Horizontal, i, i);
    }
}

int DataSetModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !m_dataSet)
        return 0;
    return m_dataSet->recordCount();
}

int DataSetModel::columnCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !m_dataSet || !m_dataSet->isActive())
        return 0;
    return m_dataSet->fieldCount();
}

QVariant DataSetModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) || !m_dataSet)
        return QVariant();
    const QVariant v = m_dataSet->valueAt(index.row(), index.column());
    switch (role) {
    case Qt::EditRole:
        return v;
    case Qt::DisplayRole:
        // A flag reads as the user says it; the stored value, sorting and editing keep the bool.
        if (!v.isNull() && m_dataSet->fieldDefs()[index.column()].type == FieldType::Boolean)
            return v.toBool() ? QStringLiteral("是") : QStringLiteral("否");
        switch (v.typeId()) {
        case QMetaType::QDate:
            return v.toDate().toString(QStringLiteral("yyyy-MM-dd"));
        case QMetaType::QDateTime:
            return v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        case QMetaType::QByteArray:
            return QStringLiteral("(%1 字节)").arg(v.toByteArray().size());
        default:
            return v;
        }
    case Qt::TextAlignmentRole: {
        const FieldType t = m_dataSet->fieldDefs()[index.column()].type;
        if (isIntegerType(t) || isFloatType(t))
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        return QVariant();
    }
    default:
        return QVariant();
    }
}

bool DataSetModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !checkIndex(index, CheckIndexOption::IndexIsValid) || !m_dataSet ||
        m_readOnly)
        return false;
    try {
        if (m_dataSet->recNo() != index.row() + 1)
            m_dataSet->setRecNo(index.row() + 1);
        m_dataSet->edit();
        m_dataSet->setValue(index.column(), value);
        m_dataSet->post();
        return true;
    } catch (const Error &e) {
        if (m_dataSet->isEditing())
            m_dataSet->cancel();
        emit editFailed(e.message());
        return false;
    }
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || !m_dataSet)
        return QVariant();
    if (orientation == Qt::Vertical)
        return section + 1;
    if (section < 0 || section >= columnCount())
        return QVariant();
    const QString name = m_dataSet->fieldDefs()[section].name;
    return m_captions.value(name.toLower(), name);
}

Qt::ItemFlags DataSetModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && !m_readOnly && m_dataSet &&
        m_dataSet->fieldDefs()[index.column()].type != FieldType::Blob)
        f |= Qt::ItemIsEditable;
    return f;
}

int DataSetModel::currentRow() const
{
    return m_dataSet ? m_dataSet->recNo() - 1 : -1;
}

void DataSetModel::setCurrentRow(int row)
{
    if (!m_dataSet || !m_dataSet->isActive() || row == currentRow())
        return;
    try {
        m_dataSet->setRecNo(row + 1);
    } catch (const Error &e) {
        emit editFailed(e.message());
    }
}

} // namespace vexa
