#include "FormKit.h"

#include "ClientDataSet.h"
#include "DataSetModel.h"
#include "Globals.h"

#include <vexa/PluginHost.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableView>

namespace vexa::gl {

QLabel *MakeTitleLabel(const QString &text, QWidget *parent, TitleFrame frame)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QStringLiteral("lbTitle"));
    if (frame != TitleFrame::None) {
        label->setFixedHeight(24);
        label->setAutoFillBackground(frame == TitleFrame::FilledPanel);
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Raised);
    }
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

QPushButton *MakeButton(const QString &text, const QString &name, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

DataSetModel *DataSetModelOf(const QTableView *view)
{
    return view ? qobject_cast<DataSetModel *>(view->model()) : nullptr;
}

int ColumnOf(const QTableView *view, const QString &field)
{
    const DataSetModel *model = DataSetModelOf(view);
    const ClientDataSet *ds = model ? model->dataSet() : nullptr;
    if (!ds || !ds->isActive())
        return -1;
    const int i = ds->fieldIndex(field);
    return i < model->columnCount() ? i : -1;
}

QString ColumnCaption(const QTableView *view, int column)
{
    return view->model()->headerData(column, Qt::Horizontal).toString();
}

void ShowColumns(QTableView *view, const QList<DesignedColumn> &columns)
{
    DataSetModel *model = DataSetModelOf(view);
    if (!model)
        return;
    for (int c = 0; c < model->columnCount(); ++c)
        view->setColumnHidden(c, true);
    QHeaderView *header = view->horizontalHeader();
    int position = 0;
    for (const DesignedColumn &d : columns) {
        const int c = ColumnOf(view, d.field);
        if (c < 0)
            continue;
        view->setColumnHidden(c, false);
        if (!d.caption.isEmpty())
            model->setCaption(d.field, d.caption);
        if (d.width > 0)
            view->setColumnWidth(c, d.width);
        header->moveSection(header->visualIndex(c), position++);
    }
}

void SetUpEditableGrid(QTableView *grid)
{
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                          QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    grid->horizontalHeader()->setStretchLastSection(true);
}

ComboListDelegate::ComboListDelegate(const QString &editorName, Items items, QObject *parent,
                                     int rows, int dropWidth)
    : QStyledItemDelegate(parent), m_name(editorName), m_items(std::move(items)), m_rows(rows),
      m_width(dropWidth)
{}

QWidget *ComboListDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &,
                                         const QModelIndex &) const
{
    auto *box = new QComboBox(parent);
    box->setObjectName(m_name);
    if (m_rows > 0)
        box->setMaxVisibleItems(m_rows);
    for (const auto &[text, value] : m_items())
        box->addItem(text, value);
    if (m_width > 0)
        box->view()->setMinimumWidth(m_width);
    auto *self = const_cast<ComboListDelegate *>(this);
    connect(box, &QComboBox::activated, self, [self, box] {
        emit self->commitData(box);
        emit self->closeEditor(box);
    });
    return box;
}

void ComboListDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    auto *box = static_cast<QComboBox *>(editor);
    const QSignalBlocker quiet(box);
    box->setCurrentIndex(box->findData(index.data(Qt::EditRole)));
}

void ComboListDelegate::setModelData(QWidget *editor, QAbstractItemModel *model,
                                     const QModelIndex &index) const
{
    auto *box = static_cast<QComboBox *>(editor);
    if (box->currentIndex() >= 0 && box->currentData() != index.data(Qt::EditRole))
        model->setData(index, box->currentData());
}

BusyScope::BusyScope(Start start) : m_host(Globals().Host)
{
    if (start == Begin && m_host)
        m_host->BeginBusy();
}

BusyScope::BusyScope(IPluginHost &host) : m_host(&host)
{
    m_host->BeginBusy();
}

BusyScope::~BusyScope()
{
    if (m_host)
        m_host->EndBusy(false);
}

} // namespace vexa::gl
