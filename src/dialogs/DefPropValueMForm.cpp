#include "DefPropValueMForm.h"

#include "ClientDataSet.h"
#include "ClientSettings.h"
#include "DataAccess.h"
#include "DataSetModel.h"
#include "DocFindForm.h"
#include "GridRowKeys.h"
#include "MessageDialogs.h"
#include "PropValueSave.h"

#include <vexa/Error.h>

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

#include <cmath>
#include <functional>

namespace vexa::gl {

namespace {

const QString kPropID = QStringLiteral("PropID");
const QString kPartID = QStringLiteral("PartID");
const QString kPropType = QStringLiteral("PropType");
const QString kPropIndex = QStringLiteral("PropIndex");
const QString kPropCode = QStringLiteral("PropCode");
const QString kPropValue = QStringLiteral("PropValue");
const QString kFee = QStringLiteral("PropAddPrice");
const QString kRemark = QStringLiteral("PropRemark");
const QString kDefProp = QStringLiteral("DefProp");
const QString kDefPropDesc = QStringLiteral("DefPropDesc");
const QString kPriceCode = QStringLiteral("code");
const QString kPriceDesc = QStringLiteral("Desc");
const QString kFeeHandling = QStringLiteral("1");
constexpr int kBaseWidth = 460;

// Fees are typed with six decimals.
class FeeDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &,
                          const QModelIndex &) const override
    {
        auto *editor = new QDoubleSpinBox(parent);
        editor->setObjectName(QStringLiteral("edFee"));
        editor->setDecimals(6);
        editor->setRange(-1e11, 1e11);
        editor->setButtonSymbols(QAbstractSpinBox::NoButtons);
        return editor;
    }
};

} // namespace

// Edits of a row stay in the row's edit buffer until the row is left, so a value can be
// typed after its code; leaving the row posts it through the form's value check.
class PropValueGridModel : public DataSetModel
{
public:
    PropValueGridModel(ClientDataSet *data, std::function<void()> postRow, QObject *parent)
        : DataSetModel(data, parent), m_postRow(std::move(postRow))
    {}

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role == Qt::DisplayRole && index.isValid() && dataSet() &&
            index.column() == dataSet()->fieldIndex(kFee)) {
            const QVariant fee = DataSetModel::data(index, Qt::EditRole);
            return fee.isValid() ? TDefPropValueMForm::FormatFee(fee.toDouble()) : QVariant();
        }
        return DataSetModel::data(index, role);
    }

    bool setData(const QModelIndex &index, const QVariant &value, int role) override
    {
        ClientDataSet *ds = dataSet();
        if (role != Qt::EditRole || !index.isValid() || !ds)
            return false;
        try {
            if (ds->recNo() != index.row() + 1) {
                m_postRow();
                ds->setRecNo(index.row() + 1);
            }
            ds->edit();
            ds->setValue(index.column(), value);
            return true;
        } catch (const Error &e) {
            emit editFailed(e.message());
            return false;
        }
    }

private:
    std::function<void()> m_postRow;
};

TDefPropValueMForm::TDefPropValueMForm(QWidget *parent) : TEditDialogForm(parent)
{
    setObjectName(QStringLiteral("DefPropValueMForm"));
    setWindowTitle(QStringLiteral("编辑"));
    resize(kBaseWidth, 348);

    cdsData = new ClientDataSet(this);
    cdsData->setObjectName(QStringLiteral("cdsData"));
    cdsData->setProviderName(QStringLiteral("LX_DMMaterielPropValue"));

    cdsCaption = new ClientDataSet(this);
    cdsCaption->setObjectName(QStringLiteral("cdsCaption"));

    cdsDefProp = new ClientDataSet(this);
    cdsDefProp->setObjectName(QStringLiteral("cdsDefProp"));
    cdsDefProp->addField(kDefProp, FieldType::Integer);
    cdsDefProp->addField(kDefPropDesc, FieldType::String, 64);
    cdsDefProp->createDataSet();

    cdsPriceType = new ClientDataSet(this);
    cdsPriceType->setObjectName(QStringLiteral("cdsPriceType"));
    cdsPriceType->addField(kPriceCode, FieldType::String, 1);
    cdsPriceType->addField(kPriceDesc, FieldType::String, 32);
    cdsPriceType->createDataSet();

    lbTitle = MakeTitleLabel(QStringLiteral(" 自定义属性值：编辑"), this, TitleFrame::FilledPanel);

    lbDefProp = new QLabel(QStringLiteral("自定义属性类别"), this);
    lbDefProp->setObjectName(QStringLiteral("lbDefProp"));
    cbDefProp = new QComboBox(this);
    cbDefProp->setObjectName(QStringLiteral("cbDefProp"));
    cbDefProp->setMinimumWidth(140);
    lbDefProp->setBuddy(cbDefProp);
    cbPriceType = new QComboBox(this);
    cbPriceType->setObjectName(QStringLiteral("cbPriceType"));
    for (const auto &[code, desc] :
         {std::pair{u"0", u"无价格处理"}, std::pair{u"1", u"加工费处理"}}) {
        cdsPriceType->append();
        cdsPriceType->setValue(kPriceCode, QString::fromUtf16(code));
        cdsPriceType->setValue(kPriceDesc, QString::fromUtf16(desc));
        cdsPriceType->post();
        cbPriceType->addItem(QString::fromUtf16(desc), QString::fromUtf16(code));
    }
    cdsPriceType->first();

    m_model = new PropValueGridModel(
        cdsData, [this] { PostRow(); }, this);
    m_model->setCaption(kPropCode, QStringLiteral("代码"));
    m_model->setCaption(kPropValue, QStringLiteral("名称"));
    m_model->setCaption(kFee, QStringLiteral("加工费"));
    m_model->setCaption(kRemark, QStringLiteral("备注"));
    grdData = new QTableView(this);
    grdData->setObjectName(QStringLiteral("grdData"));
    grdData->setModel(m_model);
    SetUpEditableGrid(grdData);
    grdData->verticalHeader()->hide();
    SetMainGridView(grdData);

    // Enter finishes a cell edit; it does not close the dialog.
    btnOk = MakeButton(QStringLiteral("确认"), QStringLiteral("btnOk"), this);
    btnCancel = MakeButton(QStringLiteral("取消"), QStringLiteral("btnCancel"), this);

    auto *selectors = new QHBoxLayout;
    selectors->addWidget(lbDefProp);
    selectors->addWidget(cbDefProp, 1);
    selectors->addSpacing(12);
    selectors->addWidget(cbPriceType);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto *main = new QVBoxLayout(this);
    main->addWidget(lbTitle);
    main->addLayout(selectors);
    main->addWidget(grdData, 1);
    main->addLayout(buttons);

    connect(cbDefProp, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_loading)
            RunGuarded([this] { PropertyChosen(); });
    });
    connect(cbPriceType, &QComboBox::currentIndexChanged, this, [this] {
        RunGuarded([this] { ApplyPriceHandling(cbPriceType->currentData().toString()); });
    });
    connect(grdData->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                if (current.isValid() && !m_loading)
                    GridRowChosen(current.row());
            });
    connect(m_model, &DataSetModel::currentRowChanged, grdData, [this](int row) {
        if (row >= 0 && grdData->currentIndex().row() != row)
            grdData->setCurrentIndex(
                m_model->index(row, std::max(0, cdsData->fieldIndex(kPropCode))));
    });
    // Shown once the refused edit has gone back to the grid.
    connect(
        m_model, &DataSetModel::editFailed, this,
        [](const QString &message) { ShowErrorMessage(message); }, Qt::QueuedConnection);
    connect(btnOk, &QPushButton::clicked, this, [this] { RunGuarded([this] { OkClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    InitDataSets();
    InitEditState();
}

TDefPropValueMForm::~TDefPropValueMForm()
{
    // An editor losing focus while the widgets go down must not reach this form.
    for (QObject *child : findChildren<QObject *>())
        QObject::disconnect(child, nullptr, this, nullptr);
}

QString TDefPropValueMForm::CommandText(int propType, int partID)
{
    return QStringLiteral("WHERE PropType = ") + QString::number(propType) +
           QStringLiteral(" AND (PartID = 0 OR PartID = ") + QString::number(partID) +
           QStringLiteral(") ORDER BY PropID, PartID, PropCode, PropIndex");
}

QString TDefPropValueMForm::FormatFee(double fee)
{
    QString text = QString::number(std::fabs(fee), 'f', 6);
    const qsizetype dot = text.indexOf(QLatin1Char('.'));
    while (text.size() > dot + 3 && text.endsWith(QLatin1Char('0')))
        text.chop(1);
    QString whole = text.left(dot);
    for (qsizetype i = whole.size() - 3; i > 0; i -= 3)
        whole.insert(i, QLatin1Char(','));
    text = whole + text.mid(dot);
    // A fee that rounds to nothing has no sign.
    const bool negative = fee < 0 && text != QLatin1String("0.00");
    return negative ? QLatin1Char('-') + text : text;
}

int TDefPropValueMForm::SelectedProp() const
{
    return cbDefProp->currentIndex() < 0 ? -1 : cbDefProp->currentData().toInt();
}

void TDefPropValueMForm::showEvent(QShowEvent *event)
{
    TEditDialogForm::showEvent(event);
    if (!event->spontaneous())
        RunGuarded([this] { FormShow(); });
}

void TDefPropValueMForm::FormShow()
{
    m_newRows = 0;
    // The grid shows whole rows.
    if (layout())
        layout()->activate();
    FindGridMeasures measures;
    measures.gridHeight = grdData->height();
    measures.borderWidth = grdData->frameWidth();
    measures.columnsFitWidth = grdData->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOff;
    if (const int grow = FindDialogRowsGrowth(measures, Settings()))
        resize(width(), height() + grow);

    const QScopedValueRollback loading(m_loading, true);
    cdsCaption->close();
    cdsCaption->loadFromText(CaptionData);
    if (cdsCaption->isActive())
        cdsCaption->first();
    cdsData->close();
    cdsData->setFilter(QStringLiteral("PropID = 0"));
    cdsData->setFiltered(true);
    cdsData->setCommandText(CommandText(PropType, PartID));
    cdsData->open();
    FillProperties();
    m_shownProp = SelectedProp();
    LayoutColumns();
    if (PropType != 0) {
        SetPriceSelector(QStringLiteral("0"));
        cbPriceType->hide();
    } else {
        cbPriceType->show();
        SetPriceSelector(FlagOf(SelectedProp()));
    }
}

void TDefPropValueMForm::FillProperties()
{
    cdsDefProp->close();
    cdsDefProp->createDataSet();
    cbDefProp->clear();
    for (int i = 0; i < PropCount; ++i) {
        const QString field = PropType != 0 ? QStringLiteral("PartProp") + QString::number(i + 1)
                                            : QStringLiteral("DefProp") + QString::number(i);
        const QString caption = cdsCaption->isActive() && cdsCaption->findField(field)
                                    ? cdsCaption->asString(field)
                                    : QString();
        cdsDefProp->append();
        cdsDefProp->setValue(kDefProp, i);
        cdsDefProp->setValue(kDefPropDesc, caption);
        cdsDefProp->post();
        cbDefProp->addItem(caption, i);
    }
    if (cdsDefProp->isEmpty())
        return;
    cdsDefProp->first();
    cbDefProp->setCurrentIndex(0);
}

void TDefPropValueMForm::LayoutColumns()
{
    for (const QString &field : {kPropIndex, kPropID, kPartID, kPropType}) {
        const int c = cdsData->fieldIndex(field);
        if (c >= 0)
            grdData->setColumnHidden(c, true);
    }
    for (const auto &[field, width] : {std::pair{kPropCode, 80}, std::pair{kPropValue, 140}}) {
        const int c = cdsData->fieldIndex(field);
        if (c >= 0)
            grdData->setColumnWidth(c, width);
    }
    const int fee = cdsData->fieldIndex(kFee);
    if (fee >= 0) {
        if (!grdData->itemDelegateForColumn(fee))
            grdData->setItemDelegateForColumn(fee, new FeeDelegate(grdData));
        grdData->setColumnHidden(fee, !m_feeShown);
        grdData->setColumnWidth(fee, kFeeColumnWidth);
    }
}

void TDefPropValueMForm::SetPriceSelector(const QString &code)
{
    {
        const QSignalBlocker quiet(cbPriceType);
        cbPriceType->setCurrentIndex(cbPriceType->findData(code));
    }
    ApplyPriceHandling(code);
}

void TDefPropValueMForm::ApplyPriceHandling(const QString &code)
{
    const int fee = cdsData->fieldIndex(kFee);
    const bool wanted = code == kFeeHandling;
    // The form grows and shrinks with the fee column, once per change of its visibility.
    if (wanted && !m_feeShown) {
        m_feeShown = true;
        if (fee >= 0) {
            grdData->setColumnHidden(fee, false);
            grdData->setColumnWidth(fee, kFeeColumnWidth);
        }
        resize(width() + kFeeColumnWidth, height());
    } else if (!wanted && m_feeShown) {
        m_feeShown = false;
        // Narrowed by the column as it is now: the user may have resized it.
        const int shown = fee >= 0 ? grdData->columnWidth(fee) : kFeeColumnWidth;
        if (fee >= 0)
            grdData->setColumnHidden(fee, true);
        resize(width() - shown, height());
    }
    // Item properties have no price handling of their own.
    const int prop = SelectedProp();
    if (PropType != 0 || prop < 0 || code.size() != 1)
        return;
    PriceFlags = PropValueSave::SetPriceFlag(PriceFlags, prop, PropCount, code.front());
}

void TDefPropValueMForm::PropertyChosen()
{
    try {
        PostRow();
    } catch (const Error &) {
        // The values of the property shown stay until the row being edited is complete.
        const QScopedValueRollback loading(m_loading, true);
        cbDefProp->setCurrentIndex(cbDefProp->findData(m_shownProp));
        throw;
    }
    const int prop = SelectedProp();
    m_shownProp = prop;
    cdsData->setFilter(QStringLiteral("PropID = ") + QString::number(prop >= 0 ? prop : 0));
    if (PropType == 0)
        SetPriceSelector(FlagOf(prop));
}

QString TDefPropValueMForm::FlagOf(int prop) const
{
    return prop >= 0 && prop < PriceFlags.size() ? QString(PriceFlags.at(prop))
                                                 : QStringLiteral("0");
}

void TDefPropValueMForm::PostRow()
{
    PropValueSave::PostRow(*cdsData, m_skipCheck);
}

void TDefPropValueMForm::GridRowChosen(int row)
{
    if (!cdsData->isActive() || row == cdsData->recNo() - 1)
        return;
    try {
        PostRow();
        cdsData->setRecNo(row + 1);
    } catch (const Error &e) {
        // Back to the row being edited, then the message, once the grid's click is done.
        const QString message = e.message();
        QMetaObject::invokeMethod(
            this,
            [this, message] {
                const int back = cdsData->recNo() - 1;
                if (back >= 0)
                    grdData->setCurrentIndex(
                        m_model->index(back, std::max(0, grdData->currentIndex().column())));
                ShowErrorMessage(message);
            },
            Qt::QueuedConnection);
    }
}

void TDefPropValueMForm::AppendRow()
{
    if (!cdsData->isActive())
        return;
    const int prop = SelectedProp();
    if (prop < 0) {
        cbDefProp->setFocus();
        ShowWarningMessage(QStringLiteral("必须指定自定义属性类别。"));
        return;
    }
    PostRow();
    const QScopedValueRollback skip(m_skipCheck, true);
    ++m_newRows;
    cdsData->append();
    cdsData->setValue(kPropID, prop);
    cdsData->setValue(kPartID, PartID == 0 ? -1 : -PartID);
    cdsData->setValue(kPropIndex, -m_newRows);
    cdsData->setValue(kPropType, PropType);
    // The server's column takes no null; the value is checked when the user leaves the row.
    cdsData->setValue(kPropValue, QString());
    PostRow();
    OpenCellEditor();
}

void TDefPropValueMForm::OpenCellEditor()
{
    const QModelIndex code = m_model->index(cdsData->recNo() - 1, cdsData->fieldIndex(kPropCode));
    if (!code.isValid())
        return;
    grdData->setCurrentIndex(code);
    grdData->edit(code);
}

void TDefPropValueMForm::DeleteRow()
{
    if (cdsData->isActive() && !cdsData->isEmpty())
        cdsData->deleteRecord();
}

void TDefPropValueMForm::OkClick()
{
    if (SelectedProp() < 0) {
        cbDefProp->setFocus();
        ShowWarningMessage(QStringLiteral("必须指定自定义属性类别。"));
        return;
    }
    if (!cdsData->isActive())
        return;
    PropValueSave::PostBeforeSave(*cdsData);
    // On a refusal or a server error the dialog stays open with the rows as they were.
    const QScopedValueRollback loading(m_loading, true);
    PropValueSave::Save(*cdsData, PartID, PropType);
    done(QDialog::Accepted);
}

bool TDefPropValueMForm::eventFilter(QObject *watched, QEvent *event)
{
    if (HandleRowKeys(
            grdData, watched, event, [this] { AppendRow(); }, [this] { DeleteRow(); }))
        return true;
    return TEditDialogForm::eventFilter(watched, event);
}

} // namespace vexa::gl
