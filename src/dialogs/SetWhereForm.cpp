#include "SetWhereForm.h"

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
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

#include <cmath>

namespace vexa::gl {

namespace {

// Columns of the condition dataset.
enum ConditionColumn {
    ColIndexColumn = 0,
    FieldNameColumn = 1,
    RelationColumn = 2,
    ValueColumn = 3
};

const QString kColIndex = QStringLiteral("ColIndex");
const QString kFieldName = QStringLiteral("FieldName");
const QString kIFValue = QStringLiteral("IFValue");
const QString kIFDesc = QStringLiteral("IFDesc");
const QString kValue = QStringLiteral("Value");
const QString kColumnName = QStringLiteral("ColumnName");
const QString kCaption = QStringLiteral("Caption");
const QString kIsNull = QStringLiteral("IS NULL");

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

QString quoted(QString text)
{
    text.replace(QLatin1Char('\''), QLatin1String("''"));
    return text;
}

bool isLike(const QString &relation)
{
    return relation == u"Like" || relation == u"LLike" || relation == u"RLike";
}

// The value as a text literal, with the wildcards of the like relations.
QString textLiteral(const QString &relation, const QString &value)
{
    const QString v = quoted(value);
    if (relation == u"Like")
        return QStringLiteral(" '%") + v + QStringLiteral("%'");
    if (relation == u"LLike")
        return QStringLiteral(" '") + v + QStringLiteral("%'");
    if (relation == u"RLike")
        return QStringLiteral(" '%") + v + QStringLiteral("'");
    return QStringLiteral(" '") + v + QStringLiteral("'");
}

// A number written bare must be a plain decimal number, so it cannot read as anything
// else in the condition.
bool isDecimalNumber(const QString &text)
{
    static const QRegularExpression number(
        QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?$"));
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok && std::isfinite(v) && number.match(text).hasMatch();
}

// "1" / "0" for the yes and no words, an empty text otherwise.
QString booleanDigit(const QString &text)
{
    const QChar first = text.isEmpty() ? QChar() : text.front().toUpper();
    if (text == u"是" || first == u'Y' || first == u'T' || text == u"1")
        return QStringLiteral("1");
    if (text == u"否" || first == u'N' || first == u'F' || text == u"0")
        return QStringLiteral("0");
    return QString();
}

Error rowError(int row, const char16_t *what)
{
    return Error(QStringLiteral("第 ") + QString::number(row) + QStringLiteral(" 行筛选值为") +
                 QString::fromUtf16(what) + QStringLiteral("。"));
}

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

// ---- building the condition ----------------------------------------------------------

void BuildWhereText(const QList<ConditionRow> &rows, const QList<FieldDef> &fields, QString &text,
                    const QLocale &workstation)
{
    bool first = true;
    for (int i = 0; i < rows.size(); ++i) {
        const ConditionRow &row = rows[i];
        const QString value = row.value.trimmed();
        const QString &relation = row.relation;
        if (row.fieldName.isEmpty() || relation.isEmpty() ||
            (value.isEmpty() && relation != kIsNull))
            continue;
        const QString op = isLike(relation) ? QStringLiteral("Like") : relation;
        text += (first ? QString() : QStringLiteral(" AND ")) + row.fieldName + QLatin1Char(' ') +
                op + QLatin1Char(' ');
        first = false;
        if (relation == kIsNull)
            continue;

        const int n = i + 1;
        const int f = indexOfField(fields, row.fieldName);
        const FieldType type = f < 0 ? FieldType::String : fields[f].type;
        switch (type) {
        case FieldType::SmallInt:
        case FieldType::Integer:
        case FieldType::Word: {
            bool ok = false;
            value.toInt(&ok);
            if (!ok)
                throw rowError(n, u"无效整数");
            text += isLike(relation) ? textLiteral(relation, value) : value;
            break;
        }
        case FieldType::Float:
        case FieldType::Currency:
            if (!isDecimalNumber(value))
                throw rowError(n, u"无效浮点数");
            text += isLike(relation) ? textLiteral(relation, value) : value;
            break;
        case FieldType::Boolean: {
            const QString digit = booleanDigit(value);
            if (digit.isEmpty())
                throw rowError(n, u"无效布尔值");
            text += isLike(relation) ? textLiteral(relation, digit) : digit;
            break;
        }
        case FieldType::Date:
        case FieldType::Time:
        case FieldType::DateTime: {
            // The server reads one form only; any other text would compare as unknown and
            // find nothing without a word.
            const std::optional<TypedDateTime> read = ReadWorkstationDateTime(value, workstation);
            const QString literal =
                read ? ConditionDateText(type, *read, isLike(relation)) : QString();
            if (literal.isEmpty())
                throw rowError(n, u"无效日期数据");
            text += textLiteral(relation, literal);
            break;
        }
        default:
            text += textLiteral(relation, value);
            break;
        }
    }
}

QString BuildWhereText(const QList<ConditionRow> &rows, const QList<FieldDef> &fields,
                       const QLocale &workstation)
{
    QString text;
    BuildWhereText(rows, fields, text, workstation);
    return text;
}

namespace {

// "2024年3月31日", with an optional weekday ("星期日", "周日") that must be the date's, and
// an optional time.
std::optional<TypedDateTime> readChineseDate(const QString &text)
{
    static const QRegularExpression form(
        QStringLiteral("^(\\d{4})年(\\d{1,2})月(\\d{1,2})日\\s*(?:(?:星期|周)([一二三四五六日天]))?"
                       "(?:\\s*(\\d{1,2}:\\d{2}(?::\\d{2})?))?$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    TypedDateTime read;
    read.date = QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (!read.date.isValid())
        return std::nullopt;
    if (m.hasCaptured(4)) {
        const int day = QStringLiteral("一二三四五六日").indexOf(m.captured(4)) + 1;
        if ((day > 0 ? day : 7) != read.date.dayOfWeek())
            return std::nullopt;
    }
    if (m.hasCaptured(5)) {
        read.time = QTime::fromString(m.captured(5), QStringLiteral("H:mm:ss"));
        if (!read.time.isValid())
            read.time = QTime::fromString(m.captured(5), QStringLiteral("H:mm"));
        if (!read.time.isValid())
            return std::nullopt;
    }
    return read;
}

} // namespace

std::optional<TypedDateTime> ReadWorkstationDateTime(const QString &text,
                                                     const QLocale &workstation)
{
    if (text.isEmpty())
        return std::nullopt;
    for (const QLocale::FormatType format : {QLocale::ShortFormat, QLocale::LongFormat}) {
        const QDateTime both = workstation.toDateTime(text, format);
        if (both.isValid())
            return TypedDateTime{both.date(), both.time()};
        const QDate date = workstation.toDate(text, format);
        if (date.isValid())
            return TypedDateTime{date, QTime()};
        const QTime time = workstation.toTime(text, format);
        if (time.isValid())
            return TypedDateTime{QDate(), time};
    }
    // Not QDate's ISO form: it passes text after the date.
    for (const char *format : {"yyyy-MM-dd", "yyyy/M/d"}) {
        const QDate date = QDate::fromString(text, QLatin1String(format));
        if (date.isValid())
            return TypedDateTime{date, QTime()};
    }
    QDateTime both = QDateTime::fromString(text, Qt::ISODateWithMs);
    for (const char *format : {"yyyy-MM-dd HH:mm:ss.zzz", "yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm",
                               "yyyy/M/d H:mm:ss", "yyyy/M/d H:mm"})
        if (!both.isValid())
            both = QDateTime::fromString(text, QLatin1String(format));
    if (both.isValid())
        return TypedDateTime{both.date(), both.time()};
    const QTime time = QTime::fromString(text, Qt::ISODateWithMs);
    if (time.isValid())
        return TypedDateTime{QDate(), time};
    return readChineseDate(text);
}

QString ConditionDateText(FieldType type, const TypedDateTime &value, bool pattern)
{
    const auto timeText = [&] {
        const QTime &t = value.time;
        if (t.msec() != 0)
            return t.toString(QStringLiteral("HH:mm:ss.zzz"));
        if (pattern && t.second() == 0)
            return t.toString(QStringLiteral("HH:mm"));
        return t.toString(QStringLiteral("HH:mm:ss"));
    };
    if (type == FieldType::Time)
        return value.date.isValid() || !value.time.isValid() ? QString() : timeText();
    if (!value.date.isValid())
        return QString();
    const QString date = value.date.toString(QStringLiteral("yyyy-MM-dd"));
    // A date column holds midnight; a time typed for it is kept, so the condition means
    // what was typed.
    const bool withTime = value.time.isValid()
                              ? !(type == FieldType::Date && value.time == QTime(0, 0))
                              : type == FieldType::DateTime && !pattern;
    if (!withTime)
        return date;
    return date + QLatin1Char(' ') +
           (value.time.isValid() ? timeText() : QStringLiteral("00:00:00"));
}

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
    FieldDef colIndex{kColIndex, FieldType::Integer};
    colIndex.calculated = true;
    m_data->addField(colIndex);
    m_data->addField(kFieldName, FieldType::String, 32);
    m_data->addField(kIFValue, FieldType::String, 16);
    m_data->addField(kValue, FieldType::String, 512);
    m_data->createDataSet();
    for (int i = 1; i <= kConditionRows; ++i) {
        m_data->append();
        m_data->setValue(kColIndex, i);
        m_data->post();
    }
    m_data->first();

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

QString TSetWhereForm::ViewColumnsCommand(const QString &dataObject, const QString &showNo)
{
    return QStringLiteral("WHERE DataObject = '") + quoted(dataObject) + QStringLiteral("'") +
           QStringLiteral(" AND ShowNo = '") + quoted(showNo) +
           QStringLiteral("' AND FindTag = True ORDER BY Index");
}

QString TSetWhereForm::DataObject() const
{
    if (!DataObjectName.isEmpty())
        return DataObjectName;
    if (SourceDataSet)
        return SourceDataSet->providerName();
    const ClientDataSet *viewData = dataSetOf(SourceView);
    return viewData ? viewData->providerName() : QString();
}

QList<ConditionRow> TSetWhereForm::Conditions() const
{
    QList<ConditionRow> rows;
    const int field = m_data->fieldIndex(kFieldName);
    const int relation = m_data->fieldIndex(kIFValue);
    const int value = m_data->fieldIndex(kValue);
    for (int r = 0; r < m_data->recordCount(); ++r)
        rows.append({m_data->valueAt(r, field).toString(), m_data->valueAt(r, relation).toString(),
                     m_data->valueAt(r, value).toString()});
    return rows;
}

void TSetWhereForm::DropUnofferedRows(ClientDataSet &rows, const QStringList &offered)
{
    rows.disableControls();
    struct Enable
    {
        ClientDataSet &ds;
        ~Enable() { ds.enableControls(); }
    } enable{rows};
    rows.first();
    while (!rows.eof()) {
        const QString field = rows.asString(kFieldName);
        if (field.isEmpty() || offered.contains(field, Qt::CaseInsensitive)) {
            rows.next();
            continue;
        }
        // The replacement is empty, so the walk meets it at the end and passes on.
        const int recNo = rows.recNo();
        rows.deleteRecord();
        rows.append();
        rows.setValue(kColIndex, rows.recordCount() + 100);
        rows.post();
        rows.setRecNo(recNo);
    }
}

void TSetWhereForm::RenumberRows(ClientDataSet &rows)
{
    const int keep = rows.recNo();
    for (int r = 1; r <= rows.recordCount(); ++r) {
        rows.setRecNo(r);
        rows.setValue(kColIndex, r);
    }
    if (keep > 0)
        rows.setRecNo(keep);
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
    m_viewCols->setCommandText(ViewColumnsCommand(dataObject, FindShowNo));
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
    DropUnofferedRows(*m_data, OfferedColumns());
    RenumberRows(*m_data);
    m_data->setRecNo(keep);
}

void TSetWhereForm::FitHeight()
{
    const ClientSettings &s = Settings();
    const int grid = s.CGridHeaderHeight + kConditionRows * s.CGridDataRowHeight + s.CGridLineWidth;
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

void TSetWhereForm::PostConditionRow()
{
    const auto state = m_data->state();
    if (state != ClientDataSet::State::Edit && state != ClientDataSet::State::Insert)
        return;
    // A row without a column keeps no relation and no value.
    if (m_data->asString(kFieldName).isEmpty()) {
        m_data->setValue(kIFValue, QString());
        m_data->setValue(kValue, QString());
    }
    m_data->post();
}

bool TSetWhereForm::SetCell(int row, int column, const QVariant &value)
{
    try {
        if (m_data->recNo() != row + 1)
            m_data->setRecNo(row + 1);
        m_data->edit();
        m_data->setValue(column, value);
        if (column == FieldNameColumn && !value.toString().isEmpty() &&
            m_data->asString(kIFValue).isEmpty())
            m_data->setValue(kIFValue, QStringLiteral("="));
        PostConditionRow();
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
    PostConditionRow();
    WhereText.clear();
    const ClientDataSet *fieldsOf = SourceDataSet ? SourceDataSet.data() : dataSetOf(SourceView);
    BuildWhereText(Conditions(), fieldsOf ? fieldsOf->fieldDefs() : QList<FieldDef>(), WhereText);
    m_data->mergeChangeLog();
    done(mrOk);
}

void TSetWhereForm::ClearClick()
{
    m_delegate->commitOpenEditor();
    PostConditionRow();
    m_data->disableControls();
    {
        struct Enable
        {
            ClientDataSet *ds;
            ~Enable() { ds->enableControls(); }
        } enable{m_data};
        for (int r = 1; r <= m_data->recordCount(); ++r) {
            m_data->setRecNo(r);
            m_data->edit();
            m_data->setValue(kFieldName, QString());
            m_data->setValue(kIFValue, QString());
            m_data->setValue(kValue, QString());
            m_data->post();
        }
        m_data->first();
    }
    FocusFieldColumn();
}

} // namespace vexa::gl
