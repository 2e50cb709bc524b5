#include "SetWhereForm.h"

#include "WhereBuilder.h"

#include "ClientDataSet.h"
#include "ClientSettings.h"
#include "DataSetModel.h"
#include "FormKit.h"
#include "Globals.h"
#include "MessageDialogs.h"

#include <vexa/Error.h>
#include <vexa/PluginHost.h>

#include <QAbstractProxyModel>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

namespace vexa::gl {

namespace {

constexpr int ColIndexColumn = ConditionRows::ColIndexColumn;
constexpr int FieldNameColumn = ConditionRows::FieldNameColumn;
constexpr int RelationColumn = ConditionRows::RelationColumn;
constexpr int ValueColumn = ConditionRows::ValueColumn;

const QString kColIndex = QStringLiteral("ColIndex");
const QString kFieldName = QStringLiteral("FieldName");
const QString kIFValue = QStringLiteral("IFValue");
const QString kIFDesc = QStringLiteral("IFDesc");
const QString kValue = QStringLiteral("Value");
const QString kColumnName = QStringLiteral("ColumnName");
const QString kCaption = QStringLiteral("Caption");

struct Relation
{
    const char16_t *code;
    const char16_t *desc;
};
constexpr Relation kRelations[] = {
    {u"=", u"等于"},      {u"Like", u"包含"},      {u"LLike", u"左包含"}, {u"RLike", u"右包含"},
    {u">", u"大于"},      {u"<", u"小于"},         {u"<>", u"不等于"},    {u">=", u"大于等于"},
    {u"<=", u"小于等于"}, {u"IS NULL", u"等于空"},
};

DataSetModel *dataSetModelOf(QAbstractItemModel *model)
{
    while (auto *proxy = qobject_cast<QAbstractProxyModel *>(model))
        model = proxy->sourceModel();
    return qobject_cast<DataSetModel *>(model);
}

ClientDataSet *dataSetOf(const QTableView *view)
{
    DataSetModel *model = view ? dataSetModelOf(view->model()) : nullptr;
    return model ? model->dataSet() : nullptr;
}

} // namespace

// ---- column tags -------------------------------------------------------------------------

int columnTag(const QTableView *view, int column)
{
    return view ? view->property(kColumnTags).toList().value(column).toInt() : 0;
}

void setColumnTag(QTableView *view, int column, int tag)
{
    if (!view || column < 0)
        return;
    QVariantList tags = view->property(kColumnTags).toList();
    while (tags.size() <= column)
        tags.append(0);
    tags[column] = tag;
    view->setProperty(kColumnTags, tags);
}

// ---- grid editing --------------------------------------------------------------------

// The condition grid's model: every edit goes through the form's editing rules.
class ConditionModel : public DataSetModel
{
public:
    ConditionModel(ClientDataSet *dataSet, TSetWhereForm *form)
        : DataSetModel(dataSet, form), m_form(form)
    {}

    bool setData(const QModelIndex &index, const QVariant &value, int role) override
    {
        if (role != Qt::EditRole || !index.isValid())
            return false;
        return m_form->SetCell(index.row(), index.column(), value);
    }

private:
    TSetWhereForm *m_form;
};

// Editors of the condition grid: drop-downs over the offered columns (showing Caption,
// storing ColumnName) and over the relations (showing IFDesc, storing IFValue), and a
// line edit for the value. The cells of the drop-down columns show the listed text too.
class ConditionDelegate : public QStyledItemDelegate
{
public:
    ConditionDelegate(ClientDataSet *columns, ClientDataSet *relations, QObject *parent)
        : QStyledItemDelegate(parent), m_columns(columns), m_relations(relations)
    {}

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override
    {
        QWidget *editor = nullptr;
        if (index.column() == FieldNameColumn || index.column() == RelationColumn) {
            auto *combo = new QComboBox(parent);
            const bool columns = index.column() == FieldNameColumn;
            const ClientDataSet *list = columns ? m_columns : m_relations;
            const int key = list->fieldIndex(columns ? kColumnName : kIFValue);
            const int text = list->fieldIndex(columns ? kCaption : kIFDesc);
            for (int r = 0; r < list->recordCount(); ++r)
                combo->addItem(list->valueAt(r, text).toString(), list->valueAt(r, key));
            combo->setObjectName(columns ? QStringLiteral("cbFieldName")
                                         : QStringLiteral("cbIFValue"));
            if (columns) {
                combo->setMaxVisibleItems(16);
                // The choice of a column is posted at once, so its relation fills in.
                connect(combo, &QComboBox::activated, this, [this, combo] {
                    auto *self = const_cast<ConditionDelegate *>(this);
                    emit self->commitData(combo);
                    emit self->closeEditor(combo);
                });
            } else {
                combo->setMaxVisibleItems(list->recordCount());
            }
            editor = combo;
        } else if (index.column() == ValueColumn) {
            auto *line = new QLineEdit(parent);
            line->setObjectName(QStringLiteral("edValue"));
            line->setMaxLength(512);
            editor = line;
        } else {
            editor = QStyledItemDelegate::createEditor(parent, option, index);
        }
        m_open = editor;
        return editor;
    }

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        if (auto *combo = qobject_cast<QComboBox *>(editor))
            combo->setCurrentIndex(combo->findData(index.data(Qt::EditRole).toString()));
        else
            QStyledItemDelegate::setEditorData(editor, index);
    }

    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override
    {
        if (auto *combo = qobject_cast<QComboBox *>(editor)) {
            if (combo->currentIndex() >= 0 &&
                combo->currentData().toString() != index.data(Qt::EditRole).toString())
                model->setData(index, combo->currentData());
        } else {
            QStyledItemDelegate::setModelData(editor, model, index);
        }
    }

    // Commits and closes the editor that is open, if any (OK pressed while editing).
    void commitOpenEditor()
    {
        // A closed editor is hidden until it is deleted.
        QWidget *editor = m_open;
        m_open = nullptr;
        if (editor && !editor->isHidden()) {
            emit commitData(editor);
            emit closeEditor(editor);
        }
    }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.column() == FieldNameColumn)
            option->text = listed(m_columns, kColumnName, kCaption, option->text);
        else if (index.column() == RelationColumn)
            option->text = listed(m_relations, kIFValue, kIFDesc, option->text);
    }

private:
    static QString listed(const ClientDataSet *list, const QString &keyField,
                          const QString &textField, const QString &key)
    {
        const int k = list->fieldIndex(keyField);
        const int t = list->fieldIndex(textField);
        if (key.isEmpty() || k < 0 || t < 0)
            return key;
        for (int r = 0; r < list->recordCount(); ++r)
            if (list->valueAt(r, k).toString().compare(key, Qt::CaseInsensitive) == 0)
                return list->valueAt(r, t).toString();
        return key;
    }

    ClientDataSet *m_columns;
    ClientDataSet *m_relations;
    mutable QPointer<QWidget> m_open;
};

// ---- the form --------------------------------------------------------------------------

TSetWhereForm::TSetWhereForm(QWidget *parent) : TLXCustomForm(parent)
{
    setObjectName(QStringLiteral("SetWhereForm"));
    setWindowTitle(QStringLiteral("筛选"));
    if (Globals().Host)
        SetConnection(Globals().Host->GetConnection());
    else
        SetConnection(Globals().Connection);

    m_if = new ClientDataSet(this);
    m_if->setObjectName(QStringLiteral("cdsIF"));
    m_if->addField(kIFValue, FieldType::String, 16);
    m_if->addField(kIFDesc, FieldType::String, 32);
    m_if->createDataSet();
    for (const Relation &r : kRelations) {
        m_if->append();
        m_if->setValue(kIFValue, QString::fromUtf16(r.code));
        m_if->setValue(kIFDesc, QString::fromUtf16(r.desc));
        m_if->post();
    }
    m_if->first();

    m_data = new ClientDataSet(this);
    m_data->setObjectName(QStringLiteral("cdsData"));
    ConditionRows(*m_data).Create();

    // Offered columns: the layout rows of the data object; without a connection only the
    // grid's own columns can be offered.
    m_viewCols = new ClientDataSet(this);
    m_viewCols->setObjectName(QStringLiteral("cdsViewCol"));
    m_viewCols->setRemoteConnection(Connection());
    m_viewCols->setProviderName(QStringLiteral("ENV_EnvDataObject"));
    m_viewCols->addField(kColumnName, FieldType::String, 40);
    m_viewCols->addField(kCaption, FieldType::String, 60);

    lbTitle = MakeTitleLabel(QStringLiteral(" 筛选"), this, TitleFrame::FilledPanel);

    m_grid = new QTableView(this);
    m_grid->setObjectName(QStringLiteral("grdData"));
    m_model = new ConditionModel(m_data, this);
    m_model->setCaption(kColIndex, QStringLiteral("序"));
    m_model->setCaption(kFieldName, QStringLiteral("筛选列"));
    m_model->setCaption(kIFValue, QStringLiteral("关系"));
    m_model->setCaption(kValue, QStringLiteral("值"));
    m_grid->setModel(m_model);
    m_delegate = new ConditionDelegate(m_viewCols, m_if, m_grid);
    m_grid->setItemDelegate(m_delegate);
    m_grid->setColumnHidden(ColIndexColumn, true);
    m_grid->setColumnWidth(FieldNameColumn, 150);
    m_grid->setColumnWidth(RelationColumn, 90);
    SetUpEditableGrid(m_grid);
    m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    SetMainGridView(m_grid);
    SetMainDataSet(m_data);

    // The grid's current row is the dataset's cursor and back.
    connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, m_model,
            [this](const QModelIndex &current) {
                if (current.isValid())
                    m_model->setCurrentRow(current.row());
            });
    connect(m_model, &DataSetModel::currentRowChanged, m_grid, [this](int row) {
        if (row >= 0 && m_grid->currentIndex().row() != row) {
            const int column = m_grid->currentIndex().isValid() ? m_grid->currentIndex().column()
                                                                : int(FieldNameColumn);
            m_grid->setCurrentIndex(m_model->index(row, column));
        }
    });
    // Shown after the refused edit has returned to the grid.
    connect(
        m_model, &DataSetModel::editFailed, this,
        [](const QString &message) { ShowErrorMessage(message); }, Qt::QueuedConnection);

    // Enter finishes a cell edit; it does not close the dialog.
    m_ok = MakeButton(QStringLiteral("确认"), QStringLiteral("btnOk"), this);
    m_cancel = MakeButton(QStringLiteral("取消"), QStringLiteral("btnCancel"), this);
    m_clear = MakeButton(QStringLiteral("清除筛选值"), QStringLiteral("btnClear"), this);
    connect(m_ok, &QPushButton::clicked, this, [this] { RunGuarded([this] { OkClick(); }); });
    connect(m_cancel, &QPushButton::clicked, this, &TSetWhereForm::reject);
    connect(m_clear, &QPushButton::clicked, this, [this] { RunGuarded([this] { ClearClick(); }); });

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_clear);
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(6);
    layout->addWidget(lbTitle);
    layout->addWidget(m_grid);
    layout->addLayout(buttons);
    resize(480, 400);
}

TSetWhereForm::~TSetWhereForm() = default;

QString TSetWhereForm::DataObject() const
{
    if (!DataObjectName.isEmpty())
        return DataObjectName;
    if (SourceDataSet)
        return SourceDataSet->providerName();
    const ClientDataSet *viewData = dataSetOf(SourceView);
    return viewData ? viewData->providerName() : QString();
}

QStringList TSetWhereForm::OfferedColumns() const
{
    QStringList names;
    if (!m_viewCols->isActive())
        return names;
    const int column = m_viewCols->fieldIndex(kColumnName);
    for (int r = 0; r < m_viewCols->recordCount(); ++r)
        names << m_viewCols->valueAt(r, column).toString();
    return names;
}

void TSetWhereForm::LoadOfferedColumns()
{
    if (DefaultShowNo.isEmpty())
        DefaultShowNo = QStringLiteral("0");
    if (FindShowNo.isEmpty())
        FindShowNo = DefaultShowNo;

    const QString dataObject = DataObject();
    m_viewCols->close();
    m_viewCols->setCommandText(WhereBuilder::ColumnsCommand(dataObject, FindShowNo));
    m_viewCols->open();

    // No layout rows: the lookup grid's own columns, in the order shown, hidden ones too;
    // internal columns (tag below 0) never.
    const QTableView *view = SourceView;
    const ClientDataSet *viewData = dataSetOf(view);
    if (m_viewCols->isEmpty() && viewData) {
        const QHeaderView *header = view->horizontalHeader();
        for (int visual = 0; visual < header->count(); ++visual) {
            const int column = header->logicalIndex(visual);
            if (column < 0 || column >= viewData->fieldCount() || columnTag(view, column) < 0)
                continue;
            const QString name = viewData->fieldDefs()[column].name;
            if (OfferedColumns().contains(name, Qt::CaseInsensitive))
                continue;
            m_viewCols->append();
            m_viewCols->setValue(kColumnName, name);
            m_viewCols->setValue(kCaption,
                                 view->model()->headerData(column, Qt::Horizontal).toString());
            if (m_viewCols->fieldIndex(QStringLiteral("DataObject")) >= 0)
                m_viewCols->setValue(QStringLiteral("DataObject"), dataObject);
            if (m_viewCols->fieldIndex(QStringLiteral("ShowNo")) >= 0)
                m_viewCols->setValue(QStringLiteral("ShowNo"), FindShowNo);
            m_viewCols->post();
        }
        m_viewCols->mergeChangeLog();
        m_viewCols->first();
    }

    const int keep = m_data->recNo();
    ConditionRows rows(*m_data);
    rows.DropUnoffered(OfferedColumns());
    rows.Renumber();
    m_data->setRecNo(keep);
}

void TSetWhereForm::FitHeight()
{
    const ClientSettings &s = Settings();
    const int grid =
        s.CGridHeaderHeight + ConditionRows::kCount * s.CGridDataRowHeight + s.CGridLineWidth;
    layout()->activate();
    resize(width(), height() + grid - m_grid->height());
    layout()->activate();
}

void TSetWhereForm::FocusFieldColumn()
{
    const int row = std::max(m_data->recNo() - 1, 0);
    m_grid->setCurrentIndex(m_model->index(row, FieldNameColumn));
    m_grid->setFocus();
}

void TSetWhereForm::showEvent(QShowEvent *event)
{
    TLXCustomForm::showEvent(event);
    if (event->spontaneous())
        return;
    FitHeight();
    RunGuarded([this] { LoadOfferedColumns(); });
    // The clean-up resets the grid, so the focus is set after it.
    FocusFieldColumn();
}

void TSetWhereForm::reject()
{
    done(mrCancel);
}

bool TSetWhereForm::SetCell(int row, int column, const QVariant &value)
{
    try {
        ConditionRows(*m_data).SetCell(row, column, value);
        return true;
    } catch (const Error &e) {
        m_data->cancel();
        emit m_model->editFailed(e.message());
        return false;
    }
}

void TSetWhereForm::OkClick()
{
    m_delegate->commitOpenEditor();
    ConditionRows rows(*m_data);
    rows.Post();
    WhereText.clear();
    const ClientDataSet *fieldsOf = SourceDataSet ? SourceDataSet.data() : dataSetOf(SourceView);
    WhereBuilder(fieldsOf ? fieldsOf->fieldDefs() : QList<FieldDef>())
        .AppendTo(rows.Rows(), WhereText);
    m_data->mergeChangeLog();
    done(mrOk);
}

void TSetWhereForm::ClearClick()
{
    m_delegate->commitOpenEditor();
    ConditionRows rows(*m_data);
    rows.Post();
    rows.Clear();
    FocusFieldColumn();
}

} // namespace vexa::gl
