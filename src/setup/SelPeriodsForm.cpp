#include "SelPeriodsForm.h"

#include "ClientDataSet.h"
#include "DataSetModel.h"
#include "MessageDialogs.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

namespace vexa::gl {

namespace {

const QString kActive = QStringLiteral("Active");

// The layout of the grid: these fields in this order, every other field hidden (Locked
// among them).
const QList<DesignedColumn> &periodColumns()
{
    static const QList<DesignedColumn> columns = {
        {QStringLiteral("PeriodCode"), QStringLiteral("期间代码"), 90},
        {QStringLiteral("PeriodName"), QStringLiteral("期间名称"), 120},
        {QStringLiteral("No"), QStringLiteral("期间号"), 60},
        {QStringLiteral("PostingFrom"), QStringLiteral("记账开始日期"), 100},
        {QStringLiteral("PostingTo"), QStringLiteral("记账结束日期"), 100},
        {kActive, QStringLiteral("激活"), 50},
        {QStringLiteral("GLPost"), QStringLiteral("财务结账"), 70},
        {QStringLiteral("CashierPost"), QStringLiteral("出纳结账"), 70},
    };
    return columns;
}

// Shows the Active flag as the user reads it: "Y" is 是, anything else 否.
class ActiveDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QString displayText(const QVariant &value, const QLocale &) const override
    {
        return value.toString() == QLatin1String("Y") ? QStringLiteral("是") : QStringLiteral("否");
    }
};

QStringList fieldNames(const ClientDataSet *ds)
{
    QStringList names;
    if (ds->isActive())
        for (const FieldDef &f : ds->fieldDefs())
            names << f.name;
    return names;
}

} // namespace

TSelPeriodsForm::TSelPeriodsForm(QWidget *parent) : TDocFindForm(parent)
{
    setWindowTitle(QStringLiteral("从清单选择"));
    resize(660, 348);

    cdsData = new ClientDataSet(this);
    cdsData->setObjectName(QStringLiteral("cdsData"));
    cdsData->setProviderName(QStringLiteral("LX_FINPostingPeriods"));

    lbTitle = MakeTitleLabel(QStringLiteral(" 会计期间"), this);

    lbSearch = new QLabel(QStringLiteral("查找 - "), this);
    lbSearch->setObjectName(QStringLiteral("lbSearch"));
    edtSearch = new QLineEdit(this);
    edtSearch->setObjectName(QStringLiteral("edtSearch"));
    lbSearch->setBuddy(edtSearch);

    grdData = new QTableView(this);
    grdData->setObjectName(QStringLiteral("grdData"));
    DataSetModel *model = BindGrid(grdData, cdsData);
    KeyFieldNames = QStringLiteral("PeriodID");
    SetDesignedColumns(periodColumns());
    // Captions by field name, so they hold whatever field order the source data brings.
    for (const DesignedColumn &c : periodColumns())
        model->setCaption(c.field, c.caption);
    m_activeDelegate = new ActiveDelegate(grdData);
    connect(cdsData, &ClientDataSet::dataReset, this, &TSelPeriodsForm::BindActiveColumn);

    // Enter in the search box searches; it must not press a button of the dialog.
    btnOk = MakeButton(QStringLiteral("选择"), QStringLiteral("btnOk"), this);
    btnCancel = MakeButton(QStringLiteral("取消"), QStringLiteral("btnCancel"), this);

    auto *search = new QHBoxLayout;
    search->addWidget(lbSearch);
    search->addWidget(edtSearch, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto *main = new QVBoxLayout(this);
    main->addWidget(lbTitle);
    main->addLayout(search);
    main->addWidget(grdData, 1);
    main->addLayout(buttons);

    ConnectSearchBox(edtSearch, [this](const QString &text) { Search(text); });
    ConnectChoice(grdData, [this] { Choose(); });
    connect(btnOk, &QPushButton::clicked, this, [this] { RunGuarded([this] { Choose(); }); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    InitDocFind();
}

QString TSelPeriodsForm::SearchCondition(const QString &text)
{
    const QString t = QuoteDoubled(text);
    return QStringLiteral("PeriodCode Like '") + t + QStringLiteral("%'") +
           QStringLiteral(" OR PeriodName Like '%") + t + QStringLiteral("%'");
}

void TSelPeriodsForm::Search(const QString &text)
{
    SearchWith(text.isEmpty() ? QString() : SearchCondition(text));
}

void TSelPeriodsForm::Choose()
{
    ChooseBy(QStringLiteral("PeriodID"));
}

void TSelPeriodsForm::FormShow()
{
    const bool searching = SourceData.isEmpty();
    lbSearch->setVisible(searching);
    edtSearch->setVisible(searching);
    SelectedValue = QVariant();
    RunGuarded([this, searching] {
        RefreshData(true);
        if (!searching)
            LoadSourceData();
    });
}

void TSelPeriodsForm::LoadSourceData()
{
    const QStringList before = fieldNames(cdsData);
    const bool lockHere = !MainGridLocked();
    if (lockHere)
        BeginUpdate();
    {
        const auto unlock = qScopeGuard([this, lockHere] {
            if (lockHere)
                EndUpdate(false);
        });
        cdsData->loadFromText(SourceData);
        if (cdsData->isActive())
            cdsData->first();
        // The caller's copy may order its fields unlike the server: lay the grid out again.
        if (fieldNames(cdsData) != before)
            LayOutColumns();
    }
    if (QLabel *hint = NoDataHint())
        hint->setVisible(!cdsData->isActive() || cdsData->isEmpty());
}

void TSelPeriodsForm::LayOutColumns()
{
    ShowColumns(grdData, periodColumns());
}

void TSelPeriodsForm::BindActiveColumn()
{
    const int column = ColumnOf(grdData, kActive);
    if (column == m_activeColumn)
        return;
    if (m_activeColumn >= 0)
        grdData->setItemDelegateForColumn(m_activeColumn, nullptr);
    m_activeColumn = column;
    if (column >= 0)
        grdData->setItemDelegateForColumn(column, m_activeDelegate);
}

} // namespace vexa::gl
