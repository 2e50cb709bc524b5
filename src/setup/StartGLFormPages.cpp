// The pages of the account-set configuration: their editors, each bound to its field.
#include "StartGLForm.h"

#include "AccountSetParams.h"
#include "ClientDataSet.h"
#include "DataSetModel.h"
#include "FormKit.h"
#include "MessageDialogs.h"
#include "PeriodsMForm.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScrollArea>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vexa::gl {

namespace {

using S = QString;

// A grid of "caption  editor  [extra]" rows.
class Rows
{
public:
    explicit Rows(QWidget *parent) : m_parent(parent), m_grid(new QGridLayout) {}
    QGridLayout *layout() const { return m_grid; }

    void add(const QString &caption, QWidget *editor, QWidget *extra = nullptr)
    {
        auto *label = new QLabel(caption, m_parent);
        label->setBuddy(editor);
        m_grid->addWidget(label, m_row, 0);
        m_grid->addWidget(editor, m_row, 1, 1, extra ? 1 : 2);
        if (extra)
            m_grid->addWidget(extra, m_row, 2);
        ++m_row;
    }
    void addWide(QWidget *widget) { m_grid->addWidget(widget, m_row++, 0, 1, 3); }

private:
    QWidget *m_parent;
    QGridLayout *m_grid;
    int m_row = 0;
};

QLineEdit *lineEdit(QWidget *parent, const QString &name, bool fixed = false)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(name);
    if (fixed)
        setTag(edit, -1); // shown, never typed into
    return edit;
}

QComboBox *codeCombo(QWidget *parent, const QString &name, CodeList list)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(name);
    for (const CodeText &entry : CodeListEntries(list))
        box->addItem(entry.Text, entry.Code);
    return box;
}

QSpinBox *spinBox(QWidget *parent, const QString &name, int low, int high)
{
    auto *box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(low, high);
    box->setKeyboardTracking(false);
    return box;
}

QPushButton *button(QWidget *parent, const QString &name, const QString &caption,
                    bool changes = true)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    // Buttons that change the records are off in a read-only dialog.
    b->setProperty("changes", changes);
    return b;
}

QWidget *page(QWidget *parent)
{
    return new QWidget(parent);
}

// The document-type rules: the three rules show their texts and are chosen from lists.
class ObjTypeModel : public DataSetModel
{
public:
    using DataSetModel::DataSetModel;
    QHash<int, CodeList> lists; // by column

    QVariant data(const QModelIndex &index, int role) const override
    {
        const QVariant value = DataSetModel::data(index, role);
        if (role == Qt::DisplayRole && lists.contains(index.column()))
            return CodeListText(lists.value(index.column()), value.toString());
        return value;
    }
    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        const Qt::ItemFlags f = DataSetModel::flags(index) & ~Qt::ItemIsEditable;
        return lists.contains(index.column()) ? f | Qt::ItemIsEditable : f;
    }
};

// The period grid of the shown year: the Active flag reads 是/否.
class PeriodListModel : public DataSetModel
{
public:
    using DataSetModel::DataSetModel;

    QVariant data(const QModelIndex &index, int role) const override
    {
        const QVariant value = DataSetModel::data(index, role);
        const ClientDataSet *ds = dataSet();
        if (role == Qt::DisplayRole && ds && index.column() == ds->fieldIndex(S("Active")))
            return PeriodActiveText(value);
        return value;
    }
};

class CodeDelegate : public QStyledItemDelegate
{
public:
    CodeDelegate(CodeList list, QObject *parent) : QStyledItemDelegate(parent), m_list(list) {}
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &,
                          const QModelIndex &) const override
    {
        return codeCombo(parent, S("cbCode"), m_list);
    }
    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        auto *box = static_cast<QComboBox *>(editor);
        box->setCurrentIndex(box->findData(index.data(Qt::EditRole).toString()));
    }
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override
    {
        model->setData(index, static_cast<QComboBox *>(editor)->currentData(), Qt::EditRole);
    }

private:
    CodeList m_list;
};

} // namespace

QWidget *TStartGLForm::buildOverview()
{
    QWidget *p = page(this);
    const auto info = source(&AccountSetConfig::Info);
    const auto address = source(&AccountSetConfig::Address);
    Rows rows(p);
    const auto text = [&](const FieldBinder::Source &src, const char *field) {
        QLineEdit *edit = lineEdit(p, S("ed") + QLatin1String(field));
        m_binder->bind(edit, src, QLatin1String(field));
        return edit;
    };
    rows.add(S("公司名称"), text(info, "UseOrg"));
    rows.add(S("地　　址"), text(address, "AddrDesc"));

    edPhone = lineEdit(p, S("edPhone"));
    connect(edPhone, &QLineEdit::textEdited, this,
            [this](const QString &t) { RunGuarded([&] { phoneEdited(t); }); });
    auto *phones = new QWidget(p);
    auto *phoneRow = new QHBoxLayout(phones);
    phoneRow->setContentsMargins(0, 0, 0, 0);
    auto *group = new QButtonGroup(phones);
    for (int i = 1; i <= 3; ++i) {
        auto *b = new QToolButton(phones);
        b->setObjectName(S("sbPhone%1").arg(i));
        b->setText(QString::number(i));
        b->setCheckable(true);
        group->addButton(b);
        phoneRow->addWidget(b);
        m_phoneButtons << b;
        connect(b, &QToolButton::clicked, this, [this, i] { RunGuarded([&] { showPhone(i); }); });
    }
    rows.add(S("电　　话"), edPhone, phones);
    rows.add(S("电子邮件"), text(address, "EMail"));
    rows.add(S("传真"), text(address, "Fax"));
    rows.add(S("银行账号"), text(info, "FinInfo1"));
    rows.add(S("税　　号"), text(info, "FinInfo2"));
    rows.add(S("本位币代码"), text(info, "SysCur"));
    rows.add(S("本位币名称"), text(info, "CurrName"));

    cbAcctTempDesc = new QComboBox(p);
    cbAcctTempDesc->setObjectName(S("cbAcctTempDesc"));
    m_binder->bind(cbAcctTempDesc, info, S("AcctTempDesc"));
    connect(cbAcctTempDesc, &QComboBox::currentIndexChanged, this, [this] { industryChosen(); });
    btnBrowseTemplate = button(p, S("btnBrowseTemplate"), S("科目查阅"), false);
    btnAcctTypes = button(p, S("btnAcctTypes"), S("指定科目类别"));
    btnAcctTypes->hide();
    connect(btnBrowseTemplate, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { BrowseTemplate(); }); });
    connect(btnAcctTypes, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { ChooseAccountTypes(); }); });
    auto *industryButtons = new QWidget(p);
    auto *industryRow = new QHBoxLayout(industryButtons);
    industryRow->setContentsMargins(0, 0, 0, 0);
    industryRow->addWidget(btnBrowseTemplate);
    industryRow->addWidget(btnAcctTypes);
    rows.add(S("账套行业性质"), cbAcctTempDesc, industryButtons);

    QComboBox *cost = codeCombo(p, S("cbCostCalCase"), CodeList::CostCalCase);
    m_binder->bind(cost, info, S("CostCalCase"));
    rows.add(S("成本自动核算方式"), cost);
    auto *stop = new QCheckBox(S("原始凭证审核后不自动产生记账凭证"), p);
    stop->setObjectName(S("chkStopAutoPost"));
    m_binder->bind(stop, info, S("StopAutoPost"));
    rows.addWide(stop);

    // The business start, for the edition without the general ledger.
    pnlBusiness = new QWidget(p);
    pnlBusiness->setObjectName(S("pnlBusiness"));
    auto *business = new QHBoxLayout(pnlBusiness);
    business->setContentsMargins(0, 0, 0, 0);
    QLineEdit *businessStart = lineEdit(pnlBusiness, S("edPanelKBPeriodName"), true);
    m_binder->bind(businessStart, info, S("KBPeriodName"), false);
    btnPanelBusinessStart =
        button(pnlBusiness, S("btnPanelBusinessStart"), S("选择业务系统启用会计期间"));
    connect(btnPanelBusinessStart, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { ChooseBusinessStart(); }); });
    business->addWidget(new QLabel(S("启用业务期间"), pnlBusiness));
    business->addWidget(businessStart, 1);
    business->addWidget(btnPanelBusinessStart);
    pnlBusiness->hide();
    rows.addWide(pnlBusiness);

    lbHint = new QLabel(
        S("请在会计期间标签页中设置账套的记账期间段，在财务标签页中选择账套的启用会计期间。"), p);
    lbHint->setObjectName(S("lbHint"));
    lbHint->setWordWrap(true);
    rows.addWide(lbHint);
    auto *layout = new QVBoxLayout(p);
    layout->addLayout(rows.layout());
    layout->addStretch(1);
    return p;
}

QWidget *TStartGLForm::buildPeriods()
{
    QWidget *p = page(this);
    tvYears = new QTreeWidget(p);
    tvYears->setObjectName(S("tvYears"));
    tvYears->setHeaderHidden(true);
    connect(tvYears, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *item) { RunGuarded([&] { yearSelected(item); }); });
    grdPeriods = new QTableView(p);
    grdPeriods->setObjectName(S("grdPeriods"));
    m_periodModel = new PeriodListModel(nullptr, grdPeriods);
    m_periodModel->setReadOnly(true);
    grdPeriods->setModel(m_periodModel);
    grdPeriods->verticalHeader()->hide();
    grdPeriods->setSelectionBehavior(QAbstractItemView::SelectRows);
    btnSetPeriods = button(p, S("btnSetPeriods"), S("设置会计期间"));
    connect(btnSetPeriods, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { SetPeriodsClick(); }); });
    lbHint2 = new QLabel(S("*请在财务标签页中选择具体的启用会计期间*"), p);
    lbHint2->setObjectName(S("lbHint2"));

    auto *middle = new QHBoxLayout;
    middle->addWidget(tvYears, 1);
    middle->addWidget(grdPeriods, 3);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(lbHint2, 1);
    bottom->addWidget(btnSetPeriods);
    auto *layout = new QVBoxLayout(p);
    layout->addLayout(middle, 1);
    layout->addLayout(bottom);
    return p;
}

QWidget *TStartGLForm::buildFinance()
{
    QWidget *p = page(this);
    const auto info = source(&AccountSetConfig::Info);
    Rows rows(p);
    const auto shown = [&](const char *field) {
        QLineEdit *edit = lineEdit(p, S("ed") + QLatin1String(field), true);
        m_binder->bind(edit, info, QLatin1String(field), false);
        return edit;
    };
    btnGLStart = button(p, S("btnGLStart"), S("选择财务启用会计期间"));
    connect(btnGLStart, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { ChooseGLStart(); }); });
    rows.add(S("启用会计期间"), shown("GLStartPeriodName"), btnGLStart);
    rows.add(S("当前会计期间"), shown("GLNowPeriodName"));
    btnBusinessStart = button(p, S("btnBusinessStart"), S("选择业务系统启用会计期间"));
    connect(btnBusinessStart, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { ChooseBusinessStart(); }); });
    rows.add(S("启用业务期间"), shown("KBPeriodName"), btnBusinessStart);
    rows.add(S("当前业务期间"), shown("KCPeriodName"));
    edPZNumCaLen = lineEdit(p, S("edPZNumCaLen"));
    edPZNumCaLen->setValidator(
        new QRegularExpressionValidator(QRegularExpression(S("[3-6]?")), edPZNumCaLen));
    m_binder->bind(edPZNumCaLen, source(&AccountSetConfig::Display), S("PZNumCaLen"), false);
    connect(edPZNumCaLen, &QLineEdit::editingFinished, this,
            [this] { RunGuarded([this] { voucherFillEntered(); }); });
    rows.add(S("凭证号填充长度"), edPZNumCaLen);

    auto *flags = new QGridLayout;
    int n = 0;
    for (const FinanceFlagDef &def : FinanceFlagDefs()) {
        auto *box = new QCheckBox(def.Caption, p);
        box->setObjectName(S("chkFlag%1").arg(def.Position));
        m_flagBoxes.insert(def.Position, box);
        connect(box, &QCheckBox::toggled, this, [this, position = def.Position](bool on) {
            if (!m_loading)
                m_config->Flags().set(position, on);
        });
        if (def.Hidden) {
            box->hide();
        } else if (def.Position < 50) {
            flags->addWidget(box, n / 2, n % 2);
            ++n;
        }
    }
    auto *layout = new QVBoxLayout(p);
    layout->addLayout(rows.layout());
    layout->addLayout(flags);
    layout->addStretch(1);
    return p;
}

QWidget *TStartGLForm::buildCashier()
{
    QWidget *p = page(this);
    const auto info = source(&AccountSetConfig::Info);
    Rows rows(p);
    const auto shown = [&](const char *field) {
        QLineEdit *edit = lineEdit(p, S("ed") + QLatin1String(field), true);
        m_binder->bind(edit, info, QLatin1String(field), false);
        return edit;
    };
    btnCashierStart = button(p, S("btnCashierStart"), S("选择出纳启用会计期间"));
    connect(btnCashierStart, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { ChooseCashierStart(); }); });
    rows.add(S("出纳启用期间"), shown("CSPeriodName"), btnCashierStart);
    rows.add(S("出纳当前期间"), shown("CCPeriodName"));
    auto *layout = new QVBoxLayout(p);
    layout->addLayout(rows.layout());
    // The cashier's flags were made with the finance page; they are shown here.
    for (int position : {51, 52}) {
        QCheckBox *box = m_flagBoxes.value(position);
        box->setParent(p);
        layout->addWidget(box);
    }
    layout->addStretch(1);
    return p;
}

QWidget *TStartGLForm::accountRow(const FieldBinder::Source &source, const QString &prefix,
                                  const QString &name, const QString &caption)
{
    QWidget *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    QLineEdit *code = lineEdit(row, S("ed%1AcctCode").arg(name));
    m_binder->bind(code, source, prefix + S("AcctCode"), false);
    connect(code, &QLineEdit::editingFinished, this, [this, source, prefix, code] {
        RunGuarded([&] { accountCodeEntered(source, prefix, code); });
    });
    QPushButton *pick = button(row, S("btn%1Acct").arg(name), S("…"));
    pick->setToolTip(caption);
    connect(pick, &QPushButton::clicked, this,
            [this, source, prefix] { RunGuarded([&] { pickAccount(source, prefix); }); });
    QLineEdit *accountName = lineEdit(row, S("ed%1AcctName").arg(name), true);
    m_binder->bind(accountName, source, prefix + S("AcctName"), false);
    layout->addWidget(code, 1);
    layout->addWidget(pick);
    layout->addWidget(accountName, 2);
    return row;
}

namespace {

// Check boxes of boolean fields, two to a row.
void addChecks(QWidget *p, FieldBinder &binder, const FieldBinder::Source &source,
               const QString &namePrefix, QGridLayout *grid,
               const QList<std::pair<const char *, QString>> &fields)
{
    int n = 0;
    for (const auto &[field, caption] : fields) {
        auto *box = new QCheckBox(caption, p);
        box->setObjectName(S("chk") + namePrefix + QLatin1String(field));
        binder.bind(box, source, QLatin1String(field));
        grid->addWidget(box, n / 2, n % 2);
        ++n;
    }
}

} // namespace

QWidget *TStartGLForm::buildSales()
{
    QWidget *p = page(this);
    const auto sales = source(&AccountSetConfig::Sales);
    auto *checks = new QGridLayout;
    addChecks(p, *m_binder, sales, S("Sal"), checks,
              {{"CreditLimit", S("信用额度限制")},
               {"DiscPrcntLimit", S("凭证最大折扣限制")},
               {"InvoiceTag", S("账单限制")},
               {"DeliveryTag", S("交货限制")},
               {"OrderTag", S("订单限制")},
               {"QuotationTag", S("报价限制")},
               {"PreInvoice", S("允许创建预开账单")},
               {"OGTag", S("启用销售事业部")},
               {"CYSFL", S("现收账单产生应收分录")},
               {"ImmStocks", S("销售默认直接出入仓")}});
    Rows rows(p);
    QComboBox *price = codeCombo(p, S("cbSalPriceFor"), CodeList::SalPriceFor);
    m_binder->bind(price, sales, S("PriceFor"));
    rows.add(S("默认单价"), price);
    QComboBox *cost = codeCombo(p, S("cbSalCostFor"), CodeList::SalCostFor);
    m_binder->bind(cost, sales, S("CostFor"));
    rows.add(S("默认成本"), cost);
    rows.add(S("默认应收款科目"), accountRow(sales, S("Deal"), S("SalDeal"), S("默认应收款科目")));
    rows.add(S("默认收入科目"),
             accountRow(sales, S("Revenue"), S("SalRevenue"), S("默认收入科目")));
    auto *layout = new QVBoxLayout(p);
    layout->addLayout(checks);
    layout->addLayout(rows.layout());
    layout->addStretch(1);
    return p;
}

QWidget *TStartGLForm::buildPurchase()
{
    QWidget *p = page(this);
    const auto purchase = source(&AccountSetConfig::Purchase);
    auto *checks = new QGridLayout;
    addChecks(p, *m_binder, purchase, S("Pur"), checks,
              {{"InvoiceTag", S("账单限制")},
               {"ReceiptTag", S("收货限制")},
               {"OrderTag", S("订单限制")},
               {"PreInvoice", S("允许创建预付账单")},
               {"CYFFL", S("现付账单产生应付分录")},
               {"ImmStocks", S("采购默认直接出入仓")},
               {"ReReceipt", S("账单记帐时对暂估入库进行冲回处理")}});
    Rows rows(p);
    QComboBox *price = codeCombo(p, S("cbPurPriceFor"), CodeList::PurPriceFor);
    m_binder->bind(price, purchase, S("PriceFor"));
    rows.add(S("默认单价"), price);
    rows.add(S("默认应付款科目"),
             accountRow(purchase, S("Deal"), S("PurDeal"), S("默认应付款科目")));
    rows.add(S("默认付款科目"), accountRow(purchase, S("Pay"), S("PurPay"), S("默认付款科目")));
    auto *layout = new QVBoxLayout(p);
    layout->addLayout(checks);
    layout->addLayout(rows.layout());
    layout->addStretch(1);
    return p;
}

QWidget *TStartGLForm::propertyCountRow(PropertyKind kind, const QString &caption,
                                        const QString &field)
{
    QSpinBox *box = spinBox(nullptr, S("ed") + field, 0, 10);
    m_countBoxes.insert(int(kind), box);
    m_binder->bindRead(box, source(&AccountSetConfig::Info), field,
                       [this, kind](int count) { propertyCountEntered(kind, count); });
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(caption, row));
    layout->addWidget(box);
    return row;
}

QWidget *TStartGLForm::buildInventory()
{
    // The page scrolls: three columns of ten captions and the rules grid are tall.
    QWidget *outer = page(this);
    QWidget *p = new QWidget;
    const auto info = source(&AccountSetConfig::Info);
    const auto custom = source(&AccountSetConfig::PartCustom);
    Rows rows(p);
    for (const auto &[field, caption] : {std::pair{"CaptionPartCode", S("存货编码显示为")},
                                         std::pair{"CaptionPartDesc", S("存货名称显示为")},
                                         std::pair{"CaptionPartName", S("存货显示为")}}) {
        QLineEdit *edit = lineEdit(p, S("ed") + QLatin1String(field));
        m_binder->bind(edit, info, QLatin1String(field));
        rows.add(caption, edit);
    }
    QComboBox *price = codeCombo(p, S("cbPriceFor"), CodeList::InvPriceFor);
    m_binder->bind(price, info, S("PriceFor"));
    rows.add(S("单据默认单价"), price);
    QComboBox *factorCase = codeCombo(p, S("cbPartFactorCalCase"), CodeList::PartFactorCalCase);
    m_binder->bind(factorCase, info, S("PartFactorCalCase"));
    rows.add(S("数量因子计算"), factorCase);
    QComboBox *factorValue = codeCombo(p, S("cbPartFactorCalValus"), CodeList::PartFactorCalValus);
    m_binder->bind(factorValue, info, S("PartFactorCalValus"));
    rows.add(S("因子计算结果"), factorValue);

    // Three columns of captions; panel i shows while its count is at least i.
    const struct
    {
        PropertyKind kind;
        QString title, countCaption, countField;
        const char *captionField;
        int first;
    } kinds[] = {
        {PropertyKind::Inventory, S("存货属性"), S("启用存货属性总数"), S("PartFixcolCount"),
         "PartProp", 1},
        {PropertyKind::Entry, S("输入属性"), S("启用输入属性总数"), S("PartPropCount"), "DefProp",
         0},
        {PropertyKind::Factor, S("数量因子"), S("启用存货数量因子总数"), S("PartFactorCount"),
         "Factor", 0},
    };
    auto *columns = new QHBoxLayout;
    for (const auto &k : kinds) {
        auto *group = new QGroupBox(k.title, p);
        auto *list = new QVBoxLayout(group);
        list->addWidget(propertyCountRow(k.kind, k.countCaption, k.countField));
        for (int i = 0; i < 10; ++i) {
            const QString field = QLatin1String(k.captionField) + QString::number(k.first + i);
            auto *panel = new QWidget(group);
            panel->setObjectName(S("pnl") + field);
            auto *line = new QHBoxLayout(panel);
            line->setContentsMargins(0, 0, 0, 0);
            QLineEdit *edit = lineEdit(panel, S("ed") + field);
            m_binder->bind(edit, custom, field);
            line->addWidget(edit, 1);
            if (k.kind == PropertyKind::Entry) {
                auto *lists = new QComboBox(panel);
                lists->setObjectName(S("cbCheckID%1").arg(i));
                m_binder->bind(lists, custom, S("CheckID%1").arg(i));
                m_checkListBoxes << lists;
                line->addWidget(lists, 1);
            }
            list->addWidget(panel);
            m_panels[int(k.kind)] << panel;
        }
        list->addStretch(1);
        columns->addWidget(group);
    }
    QPushButton *partValues = button(p, S("btnPartPropValues"), S("存货属性值维护"));
    connect(partValues, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { EditPropertyValues(PropertyKind::Inventory); }); });
    QPushButton *entryValues = button(p, S("btnDefPropValues"), S("输入属性值维护"));
    connect(entryValues, &QPushButton::clicked, this,
            [this] { RunGuarded([this] { EditPropertyValues(PropertyKind::Entry); }); });
    auto *valueButtons = new QHBoxLayout;
    valueButtons->addStretch(1);
    valueButtons->addWidget(partValues);
    valueButtons->addWidget(entryValues);

    grdObjTypes = new QTableView(p);
    grdObjTypes->setObjectName(S("grdObjTypes"));
    auto *model = new ObjTypeModel(nullptr, grdObjTypes);
    m_objTypeModel = model;
    grdObjTypes->setModel(model);
    grdObjTypes->verticalHeader()->hide();
    grdObjTypes->setMinimumHeight(140);

    auto *layout = new QVBoxLayout(p);
    layout->addLayout(rows.layout());
    layout->addLayout(columns);
    layout->addLayout(valueButtons);
    layout->addWidget(grdObjTypes);
    auto *scroll = new QScrollArea(outer);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(p);
    auto *outerLayout = new QVBoxLayout(outer);
    outerLayout->setContentsMargins(0, 0, 0, 0);
    outerLayout->addWidget(scroll);
    return outer;
}

QWidget *TStartGLForm::buildDisplay()
{
    QWidget *p = page(this);
    const auto display = source(&AccountSetConfig::Display);
    const auto info = source(&AccountSetConfig::Info);
    const auto spin = [&](const FieldBinder::Source &src, const char *field, int high) {
        QSpinBox *box = spinBox(p, S("ed") + QLatin1String(field), 0, high);
        m_binder->bind(box, src, QLatin1String(field));
        return box;
    };
    auto *decimals = new QGroupBox(S("显示小数位(0..6)"), p);
    Rows lengths(decimals);
    lengths.add(S("金额"), spin(display, "MoneyLength", 6));
    lengths.add(S("数量"), spin(display, "QuantitiesLength", 6));
    lengths.add(S("汇率"), spin(display, "RatesLength", 6));
    lengths.add(S("百分比"), spin(display, "PercentLength", 6));
    decimals->setLayout(lengths.layout());

    Rows rows(p);
    for (const auto &[field, caption] :
         {std::pair{"RadixPoint", S("小数点")}, std::pair{"Kilocharacter", S("千字符")}}) {
        QLineEdit *edit = lineEdit(p, S("ed") + QLatin1String(field));
        edit->setMaxLength(1);
        m_binder->bind(edit, display, QLatin1String(field));
        rows.add(caption, edit);
    }
    rows.add(S("最大数量小数位"), spin(info, "Quantities", 10));
    rows.add(S("最大汇率小数位"), spin(info, "Rates", 10));
    rows.add(S("最大百分比小数位"), spin(info, "Percentv", 10));
    const auto placement = [&](const char *field, const QString &caption, bool codeOnRight) {
        auto *box = new QCheckBox(caption, p);
        box->setObjectName(S("chk") + QLatin1String(field));
        m_binder->bind(box, display, QLatin1String(field));
        // Bound first, so the choice is written before the other one is cleared.
        connect(box, &QCheckBox::toggled, this, [this, codeOnRight](bool on) {
            RunGuarded([&] { currencyPlacementChosen(codeOnRight, on); });
        });
        rows.addWide(box);
    };
    placement("ShowCurrCode", S("将货币代码显示在右侧"), true);
    placement("ShowCurrSymbol", S("将货币符号显示在左侧"), false);

    auto *layout = new QVBoxLayout(p);
    layout->addWidget(decimals);
    layout->addLayout(rows.layout());
    layout->addStretch(1);
    return p;
}

void TStartGLForm::layOutGrids()
{
    ShowColumns(grdPeriods, {{S("PeriodCode"), S("期间代码")},
                             {S("PeriodName"), S("期间名称")},
                             {S("No"), S("期间号")},
                             {S("PostingFrom"), S("记账开始日期")},
                             {S("PostingTo"), S("记账结束日期")},
                             {S("Active"), S("激活")}});
    // One year's periods fill the grid, 激活 included, without scrolling sideways.
    grdPeriods->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    auto *model = static_cast<ObjTypeModel *>(m_objTypeModel);
    const ClientDataSet &types = m_config->ObjectTypes();
    const struct
    {
        const char *field;
        CodeList list;
    } rules[] = {{"QtyCalCase", CodeList::QtyCalCase},
                 {"PackCalCase", CodeList::PackCalCase},
                 {"UMRateCase", CodeList::UMRateCase}};
    for (const auto &rule : rules) {
        const int column = types.fieldIndex(QLatin1String(rule.field));
        model->lists.insert(column, rule.list);
        grdObjTypes->setItemDelegateForColumn(column, new CodeDelegate(rule.list, grdObjTypes));
    }
    ShowColumns(grdObjTypes, {{S("ObjName"), S("单据类别")},
                              {S("QtyCalCase"), S("数量改变计算")},
                              {S("PackCalCase"), S("辅助数量改变计算")},
                              {S("UMRateCase"), S("每辅助数量改变计算")}});
    grdObjTypes->resizeColumnsToContents();
}

} // namespace vexa::gl
