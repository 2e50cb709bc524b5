#include "VoucherLinesModel.h"

#include "Money.h"

#include <vexa/Error.h>

#include <QColor>

namespace vexa::ledger {

VoucherLinesModel::VoucherLinesModel(VoucherDraft &draft, QObject *parent)
    : QAbstractTableModel(parent), m_draft(draft)
{}

int VoucherLinesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_draft.lines.size());
}

int VoucherLinesModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant VoucherLinesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    switch (section) {
    case Summary:
        return QStringLiteral("摘要");
    case Account:
        return QStringLiteral("会计科目");
    case Item:
        return QStringLiteral("辅助核算");
    case Debit:
        return QStringLiteral("借方金额");
    case Credit:
        return QStringLiteral("贷方金额");
    }
    return {};
}

QVariant VoucherLinesModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_draft.lines.size())
        return {};
    const VoucherLineDraft &l = m_draft.lines[index.row()];
    const int column = index.column();
    const bool amount = column == Debit || column == Credit;
    const qint64 fen = column == Debit ? l.debit : l.credit;
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case Summary:
            return l.summary;
        case Account:
            return l.acctId ? QStringLiteral("%1 %2").arg(l.acctCode, l.acctName) : QString();
        case Item:
            return l.dacvName;
        case Debit:
        case Credit:
            return fen ? Money::format(fen) : QString();
        }
        break;
    case Qt::EditRole:
        switch (column) {
        case Summary:
            return l.summary;
        case Account:
            return l.acctCode;
        case Item:
            return l.dacvId;
        case Debit:
        case Credit:
            return fen ? Money::format(fen, false) : QString();
        }
        break;
    case Qt::TextAlignmentRole:
        if (amount)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        break;
    case Qt::ForegroundRole:
        if (amount && fen < 0) // a red (红字) amount
            return QColor(Qt::red);
        break;
    default:
        break;
    }
    return {};
}

Qt::ItemFlags VoucherLinesModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (!index.isValid() || m_readOnly)
        return f;
    // Only an account that carries a list takes an item.
    if (index.column() == Item && m_draft.lines[index.row()].itemList <= 0)
        return f;
    return f | Qt::ItemIsEditable;
}

bool VoucherLinesModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || m_readOnly ||
        index.row() >= m_draft.lines.size())
        return false;
    VoucherLineDraft &l = m_draft.lines[index.row()];
    try {
        switch (index.column()) {
        case Summary:
            l.summary = value.toString();
            break;
        case Account: {
            const QString code = value.toString().trimmed();
            if (code.isEmpty()) {
                setAccount(index.row(), LedgerAccount{});
                return true;
            }
            if (code == l.acctCode)
                return true;
            setAccount(index.row(), LineAccount(m_accounts, code));
            return true;
        }
        case Item: {
            l.dacvId = value.toInt();
            l.dacvName.clear();
            for (const AuxItem &i : AuxItems(l.itemList))
                if (i.dacvId == l.dacvId)
                    l.dacvName = i.name;
            break;
        }
        case Debit:
        case Credit: {
            const qint64 fen = Money::parse(value.toString());
            // One side per line: an amount on one side clears the other.
            if (index.column() == Debit) {
                l.debit = fen;
                if (fen)
                    l.credit = 0;
            } else {
                l.credit = fen;
                if (fen)
                    l.debit = 0;
            }
            break;
        }
        default:
            return false;
        }
    } catch (const Error &e) {
        emit refused(e.message());
        return false;
    }
    changed(index.row());
    return true;
}

void VoucherLinesModel::setAccount(int row, const LedgerAccount &account)
{
    if (row < 0 || row >= m_draft.lines.size())
        return;
    VoucherLineDraft &l = m_draft.lines[row];
    const bool sameList = l.itemList == account.itemList;
    l.acctId = account.acctId;
    l.acctCode = account.code;
    l.acctName = account.fullName;
    l.itemList = account.itemList;
    if (!sameList || account.itemList == 0) {
        l.dacvId = 0;
        l.dacvName.clear();
    }
    changed(row);
}

void VoucherLinesModel::changed(int row)
{
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
    emit linesChanged();
}

void VoucherLinesModel::reload()
{
    beginResetModel();
    endResetModel();
    emit linesChanged();
}

int VoucherLinesModel::insertLine(int row)
{
    if (row < 0 || row > m_draft.lines.size())
        row = int(m_draft.lines.size());
    beginInsertRows({}, row, row);
    m_draft.insertLine(row);
    endInsertRows();
    emit linesChanged();
    return row;
}

void VoucherLinesModel::removeLine(int row)
{
    if (row < 0 || row >= m_draft.lines.size())
        return;
    beginRemoveRows({}, row, row);
    m_draft.removeLine(row);
    endRemoveRows();
    emit linesChanged();
}

bool VoucherLinesModel::fillBalance(int row)
{
    if (m_readOnly || !m_draft.fillBalance(row))
        return false;
    changed(row);
    return true;
}

} // namespace vexa::ledger
