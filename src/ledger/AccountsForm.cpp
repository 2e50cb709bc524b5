#include "AccountsForm.h"

#include "AccountCode.h"
#include "DialogService.h"
#include "FormKit.h"
#include "MessageDialogs.h"

#include <vexa/Error.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vexa::ledger {

namespace {

using S = QString;

QString label(const ChartAccount &a)
{
    return S("“%1 %2”").arg(a.code, a.name);
}

} // namespace

TAccountsForm::TAccountsForm(QWidget *parent) : gl::TLXChildForm(parent)
{
    setObjectName(S("TAccountsForm"));
    setWindowTitle(S("会计科目"));
    SetModuleCaption(S("会计科目"));
    auto *bar = new QHBoxLayout(plModuleToolbar);
    bar->setContentsMargins(4, 2, 4, 2);
    auto *add = gl::MakeButton(S("新增"), S("btnAdd"), plModuleToolbar);
    m_edit = gl::MakeButton(S("修改"), S("btnEdit"), plModuleToolbar);
    m_delete = gl::MakeButton(S("删除"), S("btnDelete"), plModuleToolbar);
    m_freeze = gl::MakeButton(S("封存"), S("btnFreeze"), plModuleToolbar);
    auto *refresh = gl::MakeButton(S("刷新"), S("btnRefresh"), plModuleToolbar);
    for (QPushButton *b : {add, m_edit, m_delete, m_freeze, refresh})
        bar->addWidget(b);
    bar->addStretch();

    auto *layout = new QVBoxLayout(plClient);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_tabs = new QTabBar(plClient);
    m_tabs->setObjectName(S("tabTypes"));
    m_tabs->setDrawBase(false);
    m_tree = new QTreeWidget(plClient);
    m_tree->setObjectName(S("tvAccounts"));
    m_tree->setColumnCount(6);
    m_tree->setHeaderLabels(
        {S("科目代码"), S("科目名称"), S("余额方向"), S("币别"), S("辅助核算"), S("封存")});
    m_tree->setColumnWidth(ColCode, 160);
    m_tree->setColumnWidth(ColName, 200);
    m_tree->setColumnWidth(ColSide, 70);
    layout->addWidget(m_tabs);
    layout->addWidget(m_tree, 1);

    const auto guarded = [this](void (TAccountsForm::*action)()) {
        return [this, action] { gl::RunGuarded([this, action] { (this->*action)(); }); };
    };
    connect(add, &QPushButton::clicked, this, guarded(&TAccountsForm::AddAccount));
    connect(m_edit, &QPushButton::clicked, this, guarded(&TAccountsForm::EditAccount));
    connect(m_delete, &QPushButton::clicked, this, guarded(&TAccountsForm::DeleteAccount));
    connect(m_freeze, &QPushButton::clicked, this, guarded(&TAccountsForm::ToggleFrozen));
    connect(refresh, &QPushButton::clicked, this, guarded(&TAccountsForm::Reload));
    connect(m_tabs, &QTabBar::currentChanged, this, [this] { Fill(); });
    connect(m_tree, &QTreeWidget::currentItemChanged, this, [this] { UpdateButtons(); });
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, guarded(&TAccountsForm::EditAccount));
    gl::RunGuarded([this] {
        m_types = AccountTypes();
        const QSignalBlocker quiet(m_tabs);
        m_tabs->addTab(S("全部"));
        for (const AccountTypeInfo &t : m_types)
            m_tabs->addTab(t.name);
        Reload();
    });
}

void TAccountsForm::Reload()
{
    const QString current = Selected() ? Selected()->code : QString();
    {
        gl::BusyScope busy;
        m_chart = ChartAccounts();
    }
    Fill();
    Select(current);
    if (!m_tree->currentItem() && m_tree->topLevelItemCount() > 0)
        m_tree->setCurrentItem(m_tree->topLevelItem(0));
}

void TAccountsForm::Fill()
{
    const int tab = m_tabs->currentIndex();
    const int type = tab > 0 && tab <= m_types.size() ? m_types[tab - 1].number : 0;
    const QSignalBlocker quiet(m_tree);
    m_tree->clear();
    QHash<qint64, QTreeWidgetItem *> items;
    for (int i = 0; i < m_chart.size(); ++i) {
        const ChartAccount &a = m_chart[i];
        if (type != 0 && a.acctType != type)
            continue;
        QTreeWidgetItem *parent = items.value(a.parentId);
        auto *item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_tree);
        item->setText(ColCode, a.code);
        item->setText(ColName, a.name);
        item->setText(ColSide, a.dc == u"C" ? S("贷") : S("借"));
        item->setText(ColCurrency, a.currCode);
        item->setText(ColItems, a.itemListName);
        item->setText(ColFrozen, a.frozen ? S("是") : QString());
        item->setData(ColCode, Qt::UserRole, i);
        if (a.frozen)
            for (int c = 0; c < m_tree->columnCount(); ++c)
                item->setForeground(c, Qt::gray);
        items.insert(a.id, item);
    }
    m_tree->expandAll();
    UpdateButtons();
}

const ChartAccount *TAccountsForm::Selected() const
{
    const QTreeWidgetItem *item = m_tree->currentItem();
    if (!item)
        return nullptr;
    const int i = item->data(ColCode, Qt::UserRole).toInt();
    return i >= 0 && i < m_chart.size() ? &m_chart[i] : nullptr;
}

void TAccountsForm::Select(const QString &code)
{
    const QList<QTreeWidgetItem *> found =
        m_tree->findItems(code, Qt::MatchExactly | Qt::MatchRecursive, ColCode);
    if (!found.isEmpty())
        m_tree->setCurrentItem(found.first());
    UpdateButtons();
}

void TAccountsForm::UpdateButtons()
{
    const ChartAccount *a = Selected();
    m_edit->setEnabled(a);
    m_delete->setEnabled(a && a->leaf);
    m_freeze->setEnabled(a);
    m_freeze->setText(a && a->frozen ? S("解封") : S("封存"));
}

void TAccountsForm::AddAccount()
{
    const ChartAccount *selected = Selected();
    TAccountDialog dialog(nullptr, selected ? selected->code : QString(), m_types, this);
    if (selected)
        dialog.TakeDefaults(*selected);
    if (gl::DialogService::instance().exec(dialog) != QDialog::Accepted)
        return;
    const QString code = dialog.Code();
    QList<std::pair<int, QString>> levelCodes;
    for (const ChartAccount &a : m_chart)
        levelCodes.append({a.level, a.code});
    const AccountCode rules = AccountCode::fromChart(levelCodes);
    if (const QString problem = rules.problem(code); !problem.isEmpty())
        throw Error(problem);
    bool move = false;
    const QString parentCode = rules.parentOf(code);
    for (const ChartAccount &p : m_chart) {
        if (p.code != parentCode || !p.leaf)
            continue;
        // Its openings and lines would go to the new account: the user decides.
        if (AccountUsage(p.id).used()) {
            const QString question =
                S("科目%1已有期初余额或凭证分录，增加下级科目后将转入新科目“%2 %3”。是否继续？")
                    .arg(label(p), code, dialog.Fields().value(S("AcctName")).toString());
            if (gl::AskYesNo(question) != gl::mrYes)
                return;
            move = true;
        }
    }
    QVariantMap fields = dialog.Fields();
    fields.insert(S("AcctCode"), code);
    if (!parentCode.isEmpty())
        fields.remove(S("AcctTypeCode"));
    {
        gl::BusyScope busy;
        ledger::AddAccount(fields, move);
    }
    Reload();
    Select(code);
}

void TAccountsForm::EditAccount()
{
    const ChartAccount *selected = Selected();
    if (!selected)
        throw Error(S("请先选择一个科目。"));
    const ChartAccount a = *selected;
    TAccountDialog dialog(&a, a.code, m_types, this);
    if (gl::DialogService::instance().exec(dialog) != QDialog::Accepted)
        return;
    // Only what changed: the server refuses a side, currency or list change on an
    // account with entries, not a rename.
    QVariantMap changed;
    const QVariantMap fields = dialog.Fields();
    const QVariantMap was{{S("AcctName"), a.name},
                          {S("DC"), a.dc},
                          {S("CurrCode"), a.currCode},
                          {S("ACItemID"), a.itemList},
                          {S("Frozen"), a.frozen}};
    for (auto it = was.begin(); it != was.end(); ++it)
        if (fields.value(it.key()) != it.value())
            changed.insert(it.key(), fields.value(it.key()));
    if (changed.isEmpty())
        return;
    ModifyAccount(a.id, changed);
    Reload();
}

void TAccountsForm::DeleteAccount()
{
    const ChartAccount *selected = Selected();
    if (!selected)
        throw Error(S("请先选择一个科目。"));
    const ChartAccount a = *selected;
    if (gl::AskYesNo(S("确定要删除科目%1吗？").arg(label(a))) != gl::mrYes)
        return;
    ledger::DeleteAccount(a.id);
    Reload();
}

void TAccountsForm::ToggleFrozen()
{
    const ChartAccount *selected = Selected();
    if (!selected)
        throw Error(S("请先选择一个科目。"));
    ModifyAccount(selected->id, {{S("Frozen"), !selected->frozen}});
    Reload();
}

// ---- the account dialog --------------------------------------------------------------

TAccountDialog::TAccountDialog(const ChartAccount *account, const QString &codePrefix,
                               const QList<AccountTypeInfo> &types, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(S("TAccountDialog"));
    setWindowTitle(account ? S("修改会计科目") : S("新增会计科目"));
    auto *form = new QFormLayout;
    m_code = new QLineEdit(codePrefix, this);
    m_code->setObjectName(S("edCode"));
    m_code->setReadOnly(account);
    m_name = new QLineEdit(account ? account->name : QString(), this);
    m_name->setObjectName(S("edName"));
    m_side = new QComboBox(this);
    m_side->setObjectName(S("cbSide"));
    m_side->addItem(S("借"), S("D"));
    m_side->addItem(S("贷"), S("C"));
    m_currency = new QComboBox(this);
    m_currency->setObjectName(S("cbCurrency"));
    // An empty currency is the chart's 多货币 (any currency).
    for (const auto &[code, name] : Currencies())
        m_currency->addItem(S("%1 %2").arg(code, name), code);
    m_currency->addItem(S("（多货币）"), QString());
    m_currency->setCurrentIndex(std::max(0, m_currency->findData(BaseCurrency())));
    m_items = new QComboBox(this);
    m_items->setObjectName(S("cbItems"));
    m_items->addItem(S("（无）"), 0);
    for (const auto &[id, name] : ItemLists())
        m_items->addItem(name, id);
    m_type = new QComboBox(this);
    m_type->setObjectName(S("cbType"));
    for (const AccountTypeInfo &t : types)
        m_type->addItem(t.name, t.code);
    m_frozen = new QCheckBox(S("封存"), this);
    m_frozen->setObjectName(S("chkFrozen"));
    if (account) {
        m_side->setCurrentIndex(account->dc == u"C" ? 1 : 0);
        m_currency->setCurrentIndex(std::max(0, m_currency->findData(account->currCode)));
        m_items->setCurrentIndex(std::max(0, m_items->findData(account->itemList)));
        m_frozen->setChecked(account->frozen);
        m_type->setEnabled(false);
    }
    form->addRow(S("科目代码"), m_code);
    form->addRow(S("科目名称"), m_name);
    form->addRow(S("余额方向"), m_side);
    form->addRow(S("币别"), m_currency);
    form->addRow(S("辅助核算"), m_items);
    form->addRow(S("科目类别（一级科目）"), m_type);
    form->addRow(QString(), m_frozen);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    auto *ok = gl::MakeButton(S("确定"), S("btnOk"), this);
    auto *cancel = gl::MakeButton(S("取消"), S("btnCancel"), this);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, [this] {
        gl::RunGuarded([this] {
            if (m_name->text().trimmed().isEmpty())
                throw Error(S("科目名称不能为空。"));
            accept();
        });
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TAccountDialog::TakeDefaults(const ChartAccount &parent)
{
    m_side->setCurrentIndex(parent.dc == u"C" ? 1 : 0);
    m_currency->setCurrentIndex(std::max(0, m_currency->findData(parent.currCode)));
    m_items->setCurrentIndex(std::max(0, m_items->findData(parent.itemList)));
}

QString TAccountDialog::Code() const
{
    return m_code->text().trimmed();
}

QVariantMap TAccountDialog::Fields() const
{
    return {{S("AcctName"), m_name->text().trimmed()},
            {S("DC"), m_side->currentData().toString()},
            {S("CurrCode"), m_currency->currentData().toString()},
            {S("ACItemID"), m_items->currentData().toInt()},
            {S("Frozen"), m_frozen->isChecked()},
            {S("AcctTypeCode"), m_type->currentData().toString()}};
}

} // namespace vexa::ledger
