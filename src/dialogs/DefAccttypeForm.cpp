#include "DefAccttypeForm.h"

#include "ClientDataSet.h"
#include "DataSetModel.h"
#include "FormKit.h"
#include "GridRowKeys.h"
#include "MessageDialogs.h"

#include <vexa/Error.h>

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace vexa::gl {

namespace {

const QString kAcctType = QStringLiteral("AcctType");
const QString kCode = QStringLiteral("AcctTypeCode");
const QString kDesc = QStringLiteral("AcctTypeDesc");
const QString kDC = QStringLiteral("AcctTypeDC");
const QString kSYAdjust = QStringLiteral("SYAdjust");
const QString kDCCode = QStringLiteral("DCCode");
const QString kDCName = QStringLiteral("DCName");

void postPending(ClientDataSet &ds)
{
    if (ds.isEditing())
        ds.post();
}

// The side's name in the balance-side list, or the code itself when it is not listed.
QString sideName(const ClientDataSet &sides, const QString &code)
{
    const int c = sides.fieldIndex(kDCCode);
    const int n = sides.fieldIndex(kDCName);
    for (int r = 0; r < sides.recordCount(); ++r)
        if (sides.valueAt(r, c).toString() == code)
            return sides.valueAt(r, n).toString();
    return code;
}

} // namespace

// The side column shows 借/贷; the profit-and-loss column is a check box (empty unchecked).
class AccttypeGridModel : public DataSetModel
{
public:
    AccttypeGridModel(ClientDataSet *data, ClientDataSet *sides, QObject *parent)
        : DataSetModel(data, parent), m_sides(sides)
    {}

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (index.isValid() && index.column() == column(kSYAdjust)) {
            if (role == Qt::CheckStateRole)
                return DataSetModel::data(index, Qt::EditRole).toBool() ? Qt::Checked
                                                                        : Qt::Unchecked;
            if (role == Qt::DisplayRole || role == Qt::EditRole)
                return QVariant();
        }
        if (index.isValid() && index.column() == column(kDC) && role == Qt::DisplayRole)
            return sideName(*m_sides, DataSetModel::data(index, Qt::EditRole).toString());
        return DataSetModel::data(index, role);
    }

    bool setData(const QModelIndex &index, const QVariant &value, int role) override
    {
        if (index.isValid() && index.column() == column(kSYAdjust)) {
            if (role != Qt::CheckStateRole)
                return false;
            return DataSetModel::setData(index, value.toInt() == Qt::Checked, Qt::EditRole);
        }
        return DataSetModel::setData(index, value, role);
    }

    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        Qt::ItemFlags f = DataSetModel::flags(index);
        if (index.isValid() && index.column() == column(kSYAdjust))
            f = (f & ~Qt::ItemIsEditable) | Qt::ItemIsUserCheckable;
        return f;
    }

    int column(const QString &field) const
    {
        const ClientDataSet *ds = dataSet();
        return ds && ds->isActive() ? ds->fieldIndex(field) : -1;
    }

private:
    ClientDataSet *m_sides;
};

QString NextAccttypeKey(const ClientDataSet &types)
{
    int number = types.recordCount() + 1;
    const int keyField = types.fieldIndex(kAcctType);
    for (int row = 0; row < types.recordCount(); ++row)
        number = std::max(number, types.valueAt(row, keyField).toInt() + 1);
    return QStringLiteral("%1").arg(number, 2, 10, QLatin1Char('0'));
}

TDefAccttypeForm::TDefAccttypeForm(QWidget *parent) : TDefDialogForm(parent)
{
    setObjectName(QStringLiteral("DefAccttypeForm"));
    setWindowTitle(QStringLiteral("数据定义"));
    resize(350, 348);

    cdsData = new ClientDataSet(this);
    cdsData->setObjectName(QStringLiteral("cdsData"));
    cdsData->setProviderName(QStringLiteral("LX_DMAccttype"));
    DataSet = cdsData;
    KeyField = kAcctType;

    cdsDC = new ClientDataSet(this);
    cdsDC->setObjectName(QStringLiteral("cdsDC"));
    cdsDC->addField(kDCCode, FieldType::String, 8);
    cdsDC->addField(kDCName, FieldType::String, 16);
    cdsDC->createDataSet();
    for (const auto &[code, name] : {std::pair{u"D", u"借"}, std::pair{u"C", u"贷"}}) {
        cdsDC->append();
        cdsDC->setValue(kDCCode, QString::fromUtf16(code));
        cdsDC->setValue(kDCName, QString::fromUtf16(name));
        cdsDC->post();
    }
    cdsDC->first();

    lbTitle = MakeTitleLabel(QStringLiteral(" 定义科目总类"), this, TitleFrame::FilledPanel);

    m_model = new AccttypeGridModel(cdsData, cdsDC, this);
    m_model->setCaption(kCode, QStringLiteral("总类代码"));
    m_model->setCaption(kDesc, QStringLiteral("总类名称"));
    m_model->setCaption(kDC, QStringLiteral("方向"));
    m_model->setCaption(kSYAdjust, QStringLiteral("是损益类科目"));
    grdData = new QTableView(this);
    grdData->setObjectName(QStringLiteral("grdData"));
    grdData->setModel(m_model);
    SetUpEditableGrid(grdData);
    grdData->verticalHeader()->hide();
    SetMainGridView(grdData);
    GridSite = grdData;

    // Enter finishes a cell edit; it does not close the dialog.
    btnOk = MakeButton(QStringLiteral("保存"), QStringLiteral("btnOk"), this);
    btnCancel = MakeButton(QStringLiteral("关闭"), QStringLiteral("btnCancel"), this);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto *main = new QVBoxLayout(this);
    main->addWidget(lbTitle);
    main->addWidget(grdData, 1);
    main->addLayout(buttons);

    // The grid's current row is the dataset's cursor and back.
    connect(grdData->selectionModel(), &QItemSelectionModel::currentRowChanged, m_model,
            [this](const QModelIndex &current) {
                if (current.isValid())
                    m_model->setCurrentRow(current.row());
            });
    connect(m_model, &DataSetModel::currentRowChanged, grdData, [this](int row) {
        if (row >= 0 && grdData->currentIndex().row() != row)
            grdData->setCurrentIndex(m_model->index(row, std::max(0, m_model->column(kCode))));
    });
    // Shown once the refused edit has gone back to the grid.
    connect(
        m_model, &DataSetModel::editFailed, this,
        [](const QString &message) { ShowErrorMessage(message); }, Qt::QueuedConnection);
    connect(btnOk, &QPushButton::clicked, this, [this] { RunGuarded([this] { OkClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    InitDataSets();
}

TDefAccttypeForm::~TDefAccttypeForm()
{
    // An editor losing focus while the widgets go down must not reach this form.
    for (QObject *child : findChildren<QObject *>())
        QObject::disconnect(child, nullptr, this, nullptr);
}

QString TDefAccttypeForm::DataText()
{
    if (!cdsData->isActive())
        return QString();
    postPending(*cdsData);
    return cdsData->saveToText();
}

void TDefAccttypeForm::showEvent(QShowEvent *event)
{
    TDefDialogForm::showEvent(event);
    if (!event->spontaneous())
        RunGuarded([this] { FormShow(); });
}

void TDefAccttypeForm::FormShow()
{
    setResult(0);
    if (!m_dataText.trimmed().isEmpty()) {
        cdsData->close();
        cdsData->loadFromText(m_dataText);
    } else {
        RefreshData();
    }
    LayoutColumns();
    resize(350, height());
}

void TDefAccttypeForm::LayoutColumns()
{
    // A reloaded dataset resets the grid's sections: hide and size them again.
    const int key = m_model->column(kAcctType);
    if (key >= 0)
        grdData->setColumnHidden(key, true);
    for (const auto &[field, width] :
         {std::pair{kCode, 60}, std::pair{kDesc, 100}, std::pair{kDC, 40}}) {
        const int c = m_model->column(field);
        if (c >= 0)
            grdData->setColumnWidth(c, width);
    }
    const int dc = m_model->column(kDC);
    if (dc >= 0 && !grdData->itemDelegateForColumn(dc)) {
        // Picks the side by its name, storing its code.
        const auto sides = [this] {
            QList<std::pair<QString, QVariant>> items;
            const int c = cdsDC->fieldIndex(kDCCode);
            const int n = cdsDC->fieldIndex(kDCName);
            for (int r = 0; r < cdsDC->recordCount(); ++r)
                items.push_back({cdsDC->valueAt(r, n).toString(), cdsDC->valueAt(r, c)});
            return items;
        };
        grdData->setItemDelegateForColumn(
            dc, new ComboListDelegate(QStringLiteral("cbDC"), sides, grdData));
    }
}

void TDefAccttypeForm::AppendRow()
{
    if (!cdsData->isActive())
        return;
    postPending(*cdsData);
    const QString key = NextAccttypeKey(*cdsData);
    cdsData->append();
    // Written as text: a numeric key field takes the number, a text key keeps the zeros.
    cdsData->setValue(kAcctType, key);
    cdsData->setValue(kDC, QStringLiteral("D"));
    cdsData->setValue(kSYAdjust, false);
    cdsData->post();
    cdsData->edit();
    const QModelIndex code = m_model->index(cdsData->recNo() - 1, m_model->column(kCode));
    if (code.isValid()) {
        grdData->setCurrentIndex(code);
        grdData->edit(code);
    }
}

void TDefAccttypeForm::DeleteRow()
{
    if (cdsData->isActive() && !cdsData->isEmpty())
        cdsData->deleteRecord();
}

void TDefAccttypeForm::OkClick()
{
    postPending(*cdsData);
    if (cdsData->recordCount() >= 1)
        done(QDialog::Accepted);
    else
        ShowWarningMessage(QStringLiteral("必须输入科目类别。"));
}

bool TDefAccttypeForm::eventFilter(QObject *watched, QEvent *event)
{
    if (HandleRowKeys(
            grdData, watched, event, [this] { AppendRow(); }, [this] { DeleteRow(); }))
        return true;
    return TDefDialogForm::eventFilter(watched, event);
}

} // namespace vexa::gl
