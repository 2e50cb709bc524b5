#include "SelAccountingForm.h"

#include "AccountTabs.h"
#include "ClientDataSet.h"
#include "ClientSettings.h"
#include "DataSetModel.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "SetWhereForm.h"

#include <vexa/PluginHost.h>

#include <QBrush>
#include <QCheckBox>
#include <QColor>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <utility>

namespace vexa::gl {

namespace {

constexpr int kTabCount = AccountTabs::Count;
const QString kAcctID = QStringLiteral("AcctID");
const QString kAcctName = QStringLiteral("AcctName");
const QString kFullName = QStringLiteral("FullName");
const QString kCurrName = QStringLiteral("CurrName");

// The grid's shown columns in their order; every other field is hidden.
const QList<DesignedColumn> &accountColumns()
{
    static const QList<DesignedColumn> columns = {
        {QStringLiteral("Levels"), QStringLiteral("级次"), 40},
        {QStringLiteral("AcctCode"), QStringLiteral("科目代码"), 110},
        {kAcctName, QStringLiteral("科目名称"), 200},
        // Right after the name: the two take each other's place.
        {kFullName, QStringLiteral("科目全称"), 260},
        {QStringLiteral("DC"), QStringLiteral("余额方向"), 60},
        {kCurrName, QStringLiteral("核算货币"), 80},
        {QStringLiteral("ACItemDesc"), QStringLiteral("辅助核算项目"), 140},
    };
    return columns;
}

// The account list as the user reads it; edit values stay those of the dataset.
class AccountListModel : public DataSetModel
{
public:
    AccountListModel(ClientDataSet *dataSet, std::function<bool()> indentNames, QObject *parent)
        : DataSetModel(dataSet, parent), m_indentNames(std::move(indentNames))
    {}

    QVariant data(const QModelIndex &index, int role) const override
    {
        const QVariant value = DataSetModel::data(index, role);
        const ClientDataSet *ds = dataSet();
        if (!ds || !index.isValid() || index.column() >= ds->fieldCount())
            return value;
        const QString &field = ds->fieldDefs()[index.column()].name;
        const auto rowValue = [&](const char *name) {
            const int f = ds->fieldIndex(QLatin1String(name));
            return f < 0 ? QVariant() : ds->valueAt(index.row(), f);
        };
        switch (role) {
        case Qt::DisplayRole:
            return AccountDisplay::Text(field, value, rowValue("Levels").toInt(), m_indentNames());
        case Qt::TextAlignmentRole:
            if (field.compare(QLatin1String("Levels"), Qt::CaseInsensitive) == 0)
                return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
            return value;
        case Qt::ForegroundRole: {
            const QColor colour =
                AccountDisplay::Colour(rowValue("Levels").toInt(), rowValue("IsNode").toBool(),
                                       rowValue("IsControl").toBool());
            return colour.isValid() ? QVariant(QBrush(colour)) : QVariant();
        }
        default:
            return value;
        }
    }

private:
    std::function<bool()> m_indentNames;
};

// Typing in the grid searches the account codes, whatever column holds the focus.
class AccountGrid : public QTableView
{
public:
    using QTableView::QTableView;

    void keyboardSearch(const QString &search) override
    {
        const int code = ColumnOf(this, QStringLiteral("AcctCode"));
        if (code >= 0 && model()->rowCount() > 0) {
            const QModelIndex current = currentIndex();
            const int row = current.isValid() ? current.row() : 0;
            if (current.column() != code)
                selectionModel()->setCurrentIndex(model()->index(row, code),
                                                  QItemSelectionModel::NoUpdate);
        }
        QTableView::keyboardSearch(search);
    }
};

// The client settings key: the session's, else the one the host hands over.
QString clientKeyPath()
{
    if (!Session().RegistryPath.isEmpty())
        return Session().RegistryPath;
    return Globals().Host ? Globals().Host->GetValue(QStringLiteral("REGPATH")).toString()
                          : QString();
}

} // namespace

// ---- shared part ----------------------------------------------------------------------------

TAccountListForm::TAccountListForm(QWidget *parent, const QString &caption, const QString &title)
    : TDocFindForm(parent)
{
    setWindowTitle(caption);
    resize(660, 348);

    cdsData = new ClientDataSet(this);
    cdsData->setObjectName(QStringLiteral("cdsData"));
    cdsData->setProviderName(QStringLiteral("LX_BMListAccounting"));
    cdsData->setFiltered(true);
    cdsAcctType = new ClientDataSet(this);
    cdsAcctType->setObjectName(QStringLiteral("cdsAcctType"));
    cdsAcctType->setProviderName(QStringLiteral("LX_DMAccttype"));
    cdsAcctType->setCommandText(QStringLiteral("WHERE 1=1 ORDER BY AcctType"));

    lbTitle = MakeTitleLabel(title, this);

    pnlTabs = new QWidget(this);
    pnlTabs->setObjectName(QStringLiteral("pnlTabs"));
    imgOpen = new QFrame(pnlTabs);
    imgOpen->setObjectName(QStringLiteral("imgOpen"));
    imgOpen->setFrameShape(QFrame::StyledPanel);
    imgOpen->setAutoFillBackground(true);
    QPalette open = imgOpen->palette();
    open.setColor(QPalette::Window, open.color(QPalette::Highlight).lighter(170));
    imgOpen->setPalette(open);
    auto *tabs = new QHBoxLayout(pnlTabs);
    tabs->setContentsMargins(0, 0, 0, 0);
    tabs->setSpacing(2);
    for (int k = 0; k < kTabCount; ++k) {
        // A flat button as the tab's image, the label on it: a click on the label reaches
        // the button, and as the label's buddy it makes the label show its accelerator.
        auto *image = new QToolButton(pnlTabs);
        image->setObjectName(QStringLiteral("imgClose") + QString::number(k));
        image->setAutoRaise(true);
        image->setFocusPolicy(Qt::NoFocus);
        auto *label = new QLabel(image);
        label->setObjectName(QStringLiteral("lb") + QString::number(k));
        label->setAlignment(Qt::AlignCenter);
        label->setBuddy(image);
        auto *inner = new QHBoxLayout(image);
        inner->setSizeConstraint(QLayout::SetMinimumSize);
        inner->setContentsMargins(10, 3, 10, 3);
        inner->addWidget(label);
        image->setVisible(k == 0);
        connect(image, &QToolButton::clicked, this, [this, image] {
            RunGuarded([this, image] { SelectTab(TabNumberOf(image->objectName())); });
        });
        tabs->addWidget(image);
        imgClose << image;
        lb << label;
    }
    tabs->addStretch(1);
    lb[0]->setText(QStringLiteral("全部(&0)"));
    imgOpen->lower();

    grdData = new AccountGrid(this);
    grdData->setObjectName(QStringLiteral("grdData"));
    auto *model = new AccountListModel(
        cdsData, [this] { return IndentNames(); }, grdData);
    model->setReadOnly(true);
    grdData->setModel(model);
    grdData->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdData->setSelectionMode(QAbstractItemView::SingleSelection);
    grdData->setEditTriggers(QAbstractItemView::NoEditTriggers);
    SetMainGridView(grdData);
    KeyFieldNames = kAcctID;
    SetDesignedColumns(accountColumns());
    for (const DesignedColumn &c : accountColumns())
        model->setCaption(c.field, c.caption);
    model->setCaption(QStringLiteral("CurrCode"), QStringLiteral("核算货币"));
    model->setCaption(QStringLiteral("IsControl"), QStringLiteral("控制科目"));
    connect(cdsData, &ClientDataSet::dataReset, this, &TAccountListForm::MarkInternalColumns);
    ConnectChoice(grdData, [this] { Choose(); });

    pnlBottom = new QHBoxLayout;
    auto *main = new QVBoxLayout(this);
    main->addWidget(lbTitle);
    main->addWidget(pnlTabs);
    main->addWidget(grdData, 1);
    main->addLayout(pnlBottom);
}

int TAccountListForm::TabNumberOf(const QString &componentName)
{
    return AccountTabs::TabOf(componentName);
}

int TAccountListForm::TypeTabCount() const
{
    int count = 0;
    for (int k = 1; k < kTabCount; ++k)
        if (!imgClose[k]->isHidden())
            ++count;
    return count;
}

void TAccountListForm::PrepareTabs()
{
    if (!cdsAcctType->isActive())
        cdsAcctType->open();
    for (int k = 1; k < kTabCount; ++k) {
        lb[k]->clear();
        imgClose[k]->hide();
    }
    for (cdsAcctType->first();
         !cdsAcctType->eof() && AccountTabs::TabOfTypeRow(cdsAcctType->recNo()) > 0;
         cdsAcctType->next()) {
        const int k = AccountTabs::TabOfTypeRow(cdsAcctType->recNo());
        lb[k]->setText(
            AccountTabs::Caption(cdsAcctType->asString(QStringLiteral("AcctTypeDesc")), k));
        imgClose[k]->show();
    }
    TabSwitching = false;
    CurrentTab = 0;
    cdsData->setFilter(QString());
    cdsData->setFiltered(true);
    OrderText = QStringLiteral("AcctType, LevelCode");
    SetMainDataSet(cdsData);
    PlaceHighlight();
}

void TAccountListForm::SelectTab(int tab)
{
    if (!AccountTabs::Selectable(tab, CurrentTab,
                                 tab >= 0 && tab < kTabCount && !imgClose[tab]->isHidden()))
        return;
    CurrentTab = tab;
    PlaceHighlight();
    TabSwitching = true;
    const auto switched = qScopeGuard([this] { TabSwitching = false; });
    const bool hasRows = cdsData->isActive() && !cdsData->isEmpty();
    const QVariant key = hasRows ? cdsData->value(kAcctID) : QVariant(0);
    cdsData->setFilter(AccountTabs::Filter(tab));
    cdsData->setFiltered(true);
    if (AccountTabs::KeepsAccount(key, tab) && cdsData->isActive())
        cdsData->locate(kAcctID, key);
    if (QLabel *hint = NoDataHint()) {
        hint->setGeometry(hint->parentWidget()->rect());
        hint->setVisible(!cdsData->isActive() || cdsData->isEmpty());
    }
}

void TAccountListForm::Choose()
{
    ChooseBy(kAcctID);
}

void TAccountListForm::ShowFullNames(bool fullNames)
{
    const int name = ColumnOf(grdData, kAcctName);
    const int full = ColumnOf(grdData, kFullName);
    const int shown = fullNames ? full : name;
    const int gone = fullNames ? name : full;
    if (shown >= 0 && grdData->isColumnHidden(shown)) {
        const int width =
            gone >= 0 && !grdData->isColumnHidden(gone) ? grdData->columnWidth(gone) : 0;
        grdData->setColumnHidden(shown, false);
        if (width > 0)
            grdData->setColumnWidth(shown, width);
    }
    if (gone >= 0)
        grdData->setColumnHidden(gone, true);
}

void TAccountListForm::LayOutColumns()
{
    ShowColumns(grdData, accountColumns());
}

void TAccountListForm::MarkInternalColumns()
{
    // The key is internal: the filter builder never offers it.
    grdData->setProperty(kColumnTags, QVariant());
    const int id = ColumnOf(grdData, kAcctID);
    if (id >= 0)
        setColumnTag(grdData, id, -1);
}

void TAccountListForm::PlaceHighlight()
{
    if (QToolButton *image = imgClose.value(CurrentTab)) {
        imgOpen->setGeometry(image->geometry());
        imgOpen->lower();
    }
}

bool TAccountListForm::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto *widget = qobject_cast<QWidget *>(watched);
        const auto *key = static_cast<QKeyEvent *>(event);
        const auto modifiers = key->modifiers() & (Qt::AltModifier | Qt::ControlModifier);
        if (widget && widget->window() == this && modifiers == Qt::AltModifier &&
            key->key() >= Qt::Key_0 && key->key() < Qt::Key_0 + kTabCount) {
            const int tab = key->key() - Qt::Key_0;
            if (imgClose[tab]->isVisibleTo(this)) {
                RunGuarded([this, tab] { SelectTab(tab); });
                return true;
            }
        }
        break;
    }
    case QEvent::Shortcut:
        // A label's accelerator: the tab at once, not a delayed click on its buddy.
        if (auto *label = qobject_cast<QLabel *>(watched); label && lb.contains(label)) {
            const int tab = TabNumberOf(label->objectName());
            RunGuarded([this, tab] { SelectTab(tab); });
            return true;
        }
        break;
    case QEvent::Move:
    case QEvent::Resize:
        if (watched == imgClose.value(CurrentTab))
            PlaceHighlight();
        break;
    default:
        break;
    }
    return TDocFindForm::eventFilter(watched, event);
}

void TAccountListForm::mouseDoubleClickEvent(QMouseEvent *event)
{
    // Only the form's own background cancels, not a label or the tab row.
    event->accept();
    if (!childAt(event->position().toPoint()))
        reject();
}

// ---- the picker -----------------------------------------------------------------------------

TSelAccountingForm::TSelAccountingForm(QWidget *parent)
    : TAccountListForm(parent, QStringLiteral("从清单选择"), QStringLiteral(" 科目"))
{
    cdsAcctType->setTag(1); // the tabs are made with the dialog

    cbLeafOnly = new QCheckBox(QStringLiteral("仅显示最底级科目"), this);
    cbLeafOnly->setObjectName(QStringLiteral("cbLeafOnly"));
    cbShowFrozen = new QCheckBox(QStringLiteral("显示封存科目"), this);
    cbShowFrozen->setObjectName(QStringLiteral("cbShowFrozen"));
    btnOk = new QPushButton(QStringLiteral("选择"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("取消"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));

    pnlBottom->addWidget(cbLeafOnly);
    pnlBottom->addWidget(cbShowFrozen);
    pnlBottom->addStretch(1);
    pnlBottom->addWidget(btnOk);
    pnlBottom->addWidget(btnCancel);

    for (QCheckBox *box : {cbLeafOnly, cbShowFrozen})
        connect(box, &QCheckBox::clicked, this,
                [this] { RunGuarded([this] { RefreshData(true); }); });
    connect(btnOk, &QPushButton::clicked, this, [this] { RunGuarded([this] { Choose(); }); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    InitDocFind();
    PrepareTabs();
}

TSelAccountingForm::~TSelAccountingForm()
{
    // Kept for the workstation's record; nothing reads it back.
    const QString path = clientKeyPath();
    if (path.isEmpty())
        return;
    if (const auto key = OpenRegistryKey(path))
        key->setValue(QStringLiteral("ShowAllAcct"), cbLeafOnly->isChecked());
}

bool TSelAccountingForm::IndentNames() const
{
    return !cbLeafOnly->isChecked();
}

void TSelAccountingForm::RefreshData(bool disableControls)
{
    // The check boxes' condition replaces whatever the filter builder set.
    const bool leafOnly = cbLeafOnly->isChecked();
    UserWhere = AccountTabs::CheckBoxCondition(leafOnly, cbShowFrozen->isChecked());
    TDocFindForm::RefreshData(disableControls);
    // After the read: the first one lays the designed columns out.
    ShowFullNames(leafOnly);
}

void TSelAccountingForm::Choose()
{
    if (LeafOnly && cdsData->isActive() && !cdsData->isEmpty() &&
        !cdsData->asBoolean(QStringLiteral("IsNode"))) {
        grdData->setFocus();
        ShowWarningMessage(QStringLiteral("只能选择最底级科目。"));
        return;
    }
    TAccountListForm::Choose();
}

void TSelAccountingForm::FormShow()
{
    TopText.clear();
    SelectedValue = QVariant();
    RunGuarded([this] { RefreshData(true); });
}

// ---- the template browser -------------------------------------------------------------------

TShowTempAccountingForm::TShowTempAccountingForm(QWidget *parent)
    : TAccountListForm(parent, QStringLiteral("行业科目查阅"), QStringLiteral(" 行业科目：查阅"))
{
    btnOk = new QPushButton(QStringLiteral("返回"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    pnlBottom->addStretch(1);
    pnlBottom->addWidget(btnOk);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);

    InitDocFind();
}

void TShowTempAccountingForm::LoadTemplate(const QString &accountsPacket,
                                           const QString &typesPacket)
{
    cdsData->loadFromText(accountsPacket);
    if (typesPacket.trimmed().isEmpty())
        cdsAcctType->close();
    else
        cdsAcctType->loadFromText(typesPacket);
}

void TShowTempAccountingForm::RefreshData(bool)
{
    ShowFullNames(false);
    UserWhere.clear();
}

void TShowTempAccountingForm::FormShow()
{
    SelectedValue = QVariant();
    RunGuarded([this] {
        PrepareTabs();
        if (cdsData->isActive()) {
            LayOutColumns();
            const int currency = ColumnOf(grdData, kCurrName);
            if (currency >= 0)
                grdData->setColumnHidden(currency, true);
            cdsData->first();
        }
        RefreshData(true);
        if (QLabel *hint = NoDataHint()) {
            hint->setGeometry(hint->parentWidget()->rect());
            hint->setVisible(!cdsData->isActive() || cdsData->isEmpty());
        }
    });
}

} // namespace vexa::gl
