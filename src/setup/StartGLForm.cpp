#include "StartGLForm.h"

#include "AccountTemplate.h"
#include "ClientDataSet.h"
#include "DataAccess.h"
#include "DataSetModel.h"
#include "DefAccttypeForm.h"
#include "DefPropValueMForm.h"
#include "DialogService.h"
#include "FormKit.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "PeriodsMForm.h"
#include "SelAccountingForm.h"
#include "SelPeriodsForm.h"

#include <vexa/Error.h>
#include <vexa/PluginHost.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QShowEvent>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <set>

namespace vexa::gl {

namespace {

using S = QString;

void setEditable(TLXCustomForm &form, QWidget *editor, bool on)
{
    if (auto *edit = qobject_cast<QLineEdit *>(editor)) {
        edit->setReadOnly(!on);
        edit->setPalette(on ? form.WriteStyle() : form.ReadStyle());
    } else if (editor) {
        editor->setEnabled(on);
    }
}

} // namespace

// ---- FieldBinder ----------------------------------------------------------------------

void FieldBinder::write(ClientDataSet &ds, const QString &field, const QVariant &value)
{
    WriteField(ds, field, value);
}

void FieldBinder::add(QWidget *editor, Source source, const QString &field,
                      std::function<void(const QVariant &)> show)
{
    m_bindings.append({editor, std::move(source), field, std::move(show)});
    if (!m_editors.contains(field))
        m_editors.insert(field, editor);
}

void FieldBinder::changed(const Binding &binding, const QVariant &value)
{
    if (m_quiet > 0)
        return;
    RunGuarded([&] { write(binding.source(), binding.field, value); });
}

void FieldBinder::bind(QLineEdit *editor, Source source, const QString &field, bool writes)
{
    add(editor, source, field, [editor](const QVariant &value) {
        const QString text = value.toString();
        if (editor->text() != text)
            editor->setText(text);
    });
    if (!writes)
        return;
    const qsizetype i = m_bindings.size() - 1;
    connect(editor, &QLineEdit::textEdited, this,
            [this, i](const QString &text) { changed(m_bindings[i], text); });
}

void FieldBinder::bind(QComboBox *editor, Source source, const QString &field)
{
    add(editor, source, field, [editor](const QVariant &value) {
        int found = -1;
        for (int k = 0; k < editor->count() && found < 0; ++k)
            if (editor->itemData(k).toString() == value.toString())
                found = k;
        editor->setCurrentIndex(found);
    });
    const qsizetype i = m_bindings.size() - 1;
    connect(editor, &QComboBox::currentIndexChanged, this, [this, i, editor](int index) {
        if (index >= 0)
            changed(m_bindings[i], editor->itemData(index));
    });
}

void FieldBinder::bind(QCheckBox *editor, Source source, const QString &field)
{
    add(editor, source, field, [editor](const QVariant &value) {
        if (editor->isChecked() != value.toBool())
            editor->setChecked(value.toBool());
    });
    const qsizetype i = m_bindings.size() - 1;
    connect(editor, &QCheckBox::toggled, this, [this, i](bool on) { changed(m_bindings[i], on); });
}

void FieldBinder::bind(QSpinBox *editor, Source source, const QString &field)
{
    bindRead(editor, source, field, nullptr);
}

void FieldBinder::bindRead(QSpinBox *editor, Source source, const QString &field,
                           std::function<void(int)> writer)
{
    add(editor, source, field, [editor](const QVariant &value) {
        if (editor->value() != value.toInt())
            editor->setValue(value.toInt());
    });
    const qsizetype i = m_bindings.size() - 1;
    connect(editor, &QSpinBox::valueChanged, this, [this, i, writer](int value) {
        if (m_quiet > 0)
            return;
        if (writer)
            RunGuarded([&] { writer(value); });
        else
            changed(m_bindings[i], value);
    });
}

void FieldBinder::attach()
{
    for (const QMetaObject::Connection &c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    std::set<ClientDataSet *> seen;
    for (const Binding &binding : std::as_const(m_bindings)) {
        ClientDataSet *ds = &binding.source();
        if (!seen.insert(ds).second)
            continue;
        const auto again = [this, ds] { refresh(ds); };
        m_connections << connect(ds, &ClientDataSet::rowChanged, this, again)
                      << connect(ds, &ClientDataSet::currentChanged, this, again)
                      << connect(ds, &ClientDataSet::dataReset, this, again)
                      << connect(ds, &ClientDataSet::stateChanged, this, again);
    }
    refresh();
}

void FieldBinder::refresh()
{
    refresh(nullptr);
}

void FieldBinder::refresh(const ClientDataSet *only)
{
    const Quiet quiet(*this);
    for (const Binding &binding : std::as_const(m_bindings)) {
        const ClientDataSet &ds = binding.source();
        if ((only && &ds != only) || !binding.editor)
            continue;
        const bool row = ds.isActive() && !ds.isEmpty() && ds.findField(binding.field);
        binding.show(row ? ds.value(binding.field) : QVariant());
    }
}

// ---- TStartGLForm ---------------------------------------------------------------------

TStartGLForm::TStartGLForm(QWidget *parent)
    : TChildDialogForm(parent), m_config(std::make_unique<AccountSetConfig>()),
      m_binder(new FieldBinder(this))
{
    setObjectName(S("StartGLForm"));
    setWindowTitle(S("配置"));
    auto *title = new QLabel(S(" 账套参数：配置"), this);
    title->setObjectName(S("lbTitle"));

    pcMain = new QTabWidget(this);
    pcMain->setObjectName(S("pcMain"));
    const struct
    {
        QWidget *(TStartGLForm::*build)();
        const char *name;
        QString caption;
    } pages[] = {
        {&TStartGLForm::buildOverview, "tsOverview", S("概览")},
        {&TStartGLForm::buildPeriods, "tsPeriods", S("会计期间")},
        {&TStartGLForm::buildFinance, "tsFinance", S("财务")},
        {&TStartGLForm::buildCashier, "tsCashier", S("出纳")},
        {&TStartGLForm::buildSales, "tsSales", S("销售")},
        {&TStartGLForm::buildPurchase, "tsPurchase", S("采购")},
        {&TStartGLForm::buildInventory, "tsInventory", S("存货")},
        {&TStartGLForm::buildDisplay, "tsDisplay", S("计算与显示")},
    };
    for (const auto &page : pages) {
        QWidget *w = (this->*page.build)();
        w->setObjectName(QLatin1String(page.name));
        pcMain->addTab(w, page.caption);
    }

    btnOk = new QPushButton(S("确认"), this);
    btnOk->setObjectName(S("btnOk"));
    btnOk->setDefault(true);
    btnCancel = new QPushButton(S("取消"), this);
    btnCancel->setObjectName(S("btnCancel"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto *main = new QVBoxLayout(this);
    main->addWidget(title);
    main->addWidget(pcMain, 1);
    main->addLayout(buttons);
    resize(780, 600);

    connect(btnOk, &QPushButton::clicked, this, [this] { RunGuarded([this] { OkClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this, &TStartGLForm::reject);

    const RightLevel right = CheckRight(1006);
    m_readOnly = right != RightFull && right != RightModify;
    InitDataSets();
}

TStartGLForm::~TStartGLForm()
{
    // Editors losing focus while the widgets go down must not write into freed records.
    delete m_binder;
    for (QObject *child : findChildren<QObject *>())
        QObject::disconnect(child, nullptr, this, nullptr);
    m_periodModel->setDataSet(nullptr);
    m_objTypeModel->setDataSet(nullptr);
}

FieldBinder::Source TStartGLForm::source(ClientDataSet &(AccountSetConfig::*get)() const)
{
    return [this, get]() -> ClientDataSet & { return ((*m_config).*get)(); };
}

void TStartGLForm::showEvent(QShowEvent *event)
{
    TChildDialogForm::showEvent(event);
    if (!m_loaded && !event->spontaneous())
        RunGuarded([this] { load(); });
}

void TStartGLForm::load()
{
    const QScopedValueRollback loading(m_loading, true);
    const BusyScope busy;
    const FieldBinder::Quiet quiet(*m_binder);
    m_settingsChanged = false;
    pcMain->setCurrentIndex(0);

    AccountSetConfig &config = *m_config;
    config.Load(DayNumberToDateTime(ServerDate()).date());

    cbAcctTempDesc->clear();
    ClientDataSet &templates = config.Templates();
    for (templates.first(); !templates.eof(); templates.next())
        cbAcctTempDesc->addItem(templates.asString(S("AcctTempDesc")),
                                templates.asString(S("AcctTempCode")));
    ClientDataSet &lists = config.CheckLists();
    for (QComboBox *box : std::as_const(m_checkListBoxes)) {
        box->clear();
        for (lists.first(); !lists.eof(); lists.next()) {
            const QString desc = lists.asString(S("ACheckDesc"));
            box->addItem(desc.isEmpty() ? lists.asString(S("ACheckCode")) : desc,
                         lists.value(S("ACheckID")));
        }
    }
    m_periodModel->setDataSet(&config.Periods());
    m_objTypeModel->setDataSet(&config.ObjectTypes());
    layOutGrids();

    m_binder->attach();
    showPhone(1);
    for (auto it = m_flagBoxes.cbegin(); it != m_flagBoxes.cend(); ++it)
        it.value()->setChecked(config.Flags().test(it.key()));
    rebuildTree(config.StartYear());

    ApplyEditState(m_readOnly ? 1 : 3);
    applyEditability();
    showPickers();
    showIndustryButtons();
    layOutPanels();
    if (QWidget *company = m_binder->editorOf(S("UseOrg")))
        company->setFocus();
    m_loaded = true;
}

void TStartGLForm::applyEditability()
{
    const bool open = !m_readOnly;
    btnSetPeriods->setEnabled(open);
    for (QWidget *w : findChildren<QWidget *>())
        if (w->property("changes").toBool())
            w->setEnabled(open);
    grdObjTypes->setEditTriggers(open ? QAbstractItemView::AllEditTriggers
                                      : QAbstractItemView::NoEditTriggers);
    if (!open)
        return;
    const AccountSetConfig &config = *m_config;
    setEditable(*this, m_binder->editorOf(S("SysCur")), config.CurrencyEditable());
    setEditable(*this, m_binder->editorOf(S("CurrName")), config.CurrencyEditable());
    setEditable(*this, cbAcctTempDesc, config.IndustryEditable());
    setEditable(*this, m_binder->editorOf(S("CostCalCase")), config.CostCalCaseEditable());
    setEditable(*this, m_flagBoxes.value(FinanceFlags::IncludeAcctCode),
                config.IncludeAcctCodeEditable());
    setEditable(*this, edPZNumCaLen, config.VoucherFillEditable());
}

void TStartGLForm::showPickers()
{
    const AccountSetConfig &config = *m_config;
    // Shown by the start periods; a read-only dialog keeps them disabled.
    btnGLStart->setVisible(config.GLPickerVisible());
    btnBusinessStart->setVisible(config.BusinessPickerVisible());
    btnPanelBusinessStart->setVisible(config.BusinessPickerVisible());
    btnCashierStart->setVisible(config.CashierPickerVisible());
    lbHint->setVisible(config.GLPickerVisible());
    lbHint2->setVisible(config.GLPickerVisible());
}

void TStartGLForm::showIndustryButtons()
{
    const AccountSetConfig &config = *m_config;
    btnBrowseTemplate->setVisible(config.IndustryEditable() && !config.ChoosesAccountTypes());
    btnAcctTypes->setVisible(config.ChoosesAccountTypes());
}

void TStartGLForm::layOutPanels()
{
    for (int kind = 0; kind < 3; ++kind) {
        const int count = m_countBoxes.value(kind)->value();
        for (int i = 0; i < m_panels[kind].size(); ++i)
            m_panels[kind][i]->setVisible(count >= i + 1);
    }
}

void TStartGLForm::rebuildTree(int selectYear)
{
    const QSignalBlocker quiet(tvYears);
    tvYears->clear();
    m_yearRoot = new QTreeWidgetItem(tvYears, {S("会计年度")});
    const int start = m_config->StartYear();
    QTreeWidgetItem *selected = nullptr;
    for (int year = start; start > 0 && year < start + 50; ++year) {
        auto *node = new QTreeWidgetItem(m_yearRoot, {QString::number(year)});
        if (year == selectYear || !selected)
            selected = node;
    }
    m_yearRoot->setExpanded(true);
    tvYears->setCurrentItem(selected ? selected : m_yearRoot);
}

void TStartGLForm::yearSelected(QTreeWidgetItem *item)
{
    if (m_loading || !item)
        return;
    if (item == m_yearRoot) {
        if (m_yearRoot->childCount() > 0)
            tvYears->setCurrentItem(m_yearRoot->child(0));
        return;
    }
    m_config->ShowYear(item->text(0).toInt());
}

void TStartGLForm::showPhone(int which)
{
    m_phoneField = which == 1 ? S("AddPhone") : S("AddPhone%1").arg(which);
    for (int i = 0; i < m_phoneButtons.size(); ++i)
        m_phoneButtons[i]->setChecked(i + 1 == which);
    const ClientDataSet &address = m_config->Address();
    const FieldBinder::Quiet quiet(*m_binder);
    edPhone->setText(address.isActive() ? address.asString(m_phoneField) : QString());
}

void TStartGLForm::phoneEdited(const QString &text)
{
    if (!m_binder->quiet())
        FieldBinder::write(m_config->Address(), m_phoneField, text);
}

void TStartGLForm::currencyPlacementChosen(bool codeOnRight, bool on)
{
    if (!on || m_loading || m_binder->quiet())
        return;
    m_config->CurrencyPlacementChosen(codeOnRight);
}

void TStartGLForm::industryChosen()
{
    if (m_loading)
        return;
    m_config->IndustryChosen();
    showIndustryButtons();
}

void TStartGLForm::propertyCountEntered(PropertyKind kind, int count)
{
    if (m_loading)
        return;
    if (const auto problem = m_config->SetPropertyCount(kind, count)) {
        m_binder->refresh();
        ShowWarningMessage(problem->message);
        return;
    }
    layOutPanels();
}

void TStartGLForm::voucherFillEntered()
{
    if (m_loading || edPZNumCaLen->isReadOnly())
        return;
    if (const auto problem = m_config->SetVoucherFill(edPZNumCaLen->text())) {
        m_binder->refresh();
        ShowWarningMessage(problem->message);
        edPZNumCaLen->setFocus();
    }
}

void TStartGLForm::accountCodeEntered(const FieldBinder::Source &source, const QString &prefix,
                                      QLineEdit *box)
{
    if (m_loading || box->isReadOnly())
        return;
    ClientDataSet &ds = source();
    // FindAccount looks among the leaf accounts (IsNode = 1) already.
    const auto refused = EnterAccountCode(ds, prefix, box->text(),
                                          [this](const QString &code) -> const ClientDataSet & {
                                              return FindAccount(code, QString());
                                          });
    if (refused) {
        box->setText(ds.asString(prefix + S("AcctCode")));
        ShowWarningMessage(*refused);
        box->setFocus();
    }
}

void TStartGLForm::pickAccount(const FieldBinder::Source &source, const QString &prefix)
{
    if (!m_accountPicker)
        m_accountPicker = new TSelAccountingForm(this);
    m_accountPicker->LeafOnly = true;
    m_accountPicker->SetWhere(QString());
    if (DialogService::instance().exec(*m_accountPicker) != QDialog::Accepted)
        return;
    const ClientDataSet *account = m_accountPicker->DataSet();
    if (!account->isActive() || account->isEmpty())
        return;
    SetAccount(source(), prefix, *account);
}

bool TStartGLForm::pickPeriod(const QString &filter, int &periodId, QString &periodName)
{
    if (!m_periodPicker)
        m_periodPicker = new TSelPeriodsForm(this);
    TSelPeriodsForm &picker = *m_periodPicker;
    // The server returns nothing: the list is the periods being edited here.
    picker.SetWhere(S("-1=1"));
    ClientDataSet *listed = picker.DataSet();
    listed->setFilter(filter);
    listed->setFiltered(!filter.isEmpty());
    listed->setIndexFieldNames(S("Year;No"));
    picker.SourceData = m_config->Periods().saveToText();
    if (DialogService::instance().exec(picker) != QDialog::Accepted || listed->isEmpty())
        return false;
    periodId = int(listed->asInteger(S("PeriodID")));
    periodName = listed->asString(S("PeriodName"));
    return true;
}

void TStartGLForm::ChooseGLStart()
{
    int id = 0;
    QString name;
    if (pickPeriod(QString(), id, name))
        m_config->SetGLStart(id, name);
}

void TStartGLForm::ChooseBusinessStart()
{
    if (AskYesNo(S("指定启用业务期间后，每月总账期末结账前必须先进行业务系统的期末结账，是否"
                   "继续？")) != mrOk)
        return;
    int id = 0;
    QString name;
    // The general-ledger start follows only in an edition without the finance page.
    if (pickPeriod(QString(), id, name))
        m_config->SetBusinessStart(id, name, m_businessPanel);
}

void TStartGLForm::ChooseCashierStart()
{
    QString filter;
    if (const auto problem = m_config->CashierPickerFilter(filter)) {
        ShowWarningMessage(problem->message);
        return;
    }
    if (AskYesNo(S("指定出纳启用期间后，每月总账期末结账前必须先进行出纳系统的期末扎账，是否"
                   "继续？")) != mrOk)
        return;
    int id = 0;
    QString name;
    if (pickPeriod(filter, id, name))
        m_config->SetCashierStart(id, name);
}

void TStartGLForm::SetPeriodsClick()
{
    if (m_readOnly)
        return;
    ClientDataSet &periods = m_config->Periods();
    const int keepYear = periods.isEmpty() ? 0 : int(periods.asInteger(S("Year")));
    TPeriodsMForm dialog(this);
    dialog.Periods().setData(periods.data());
    dialog.SetStartYear(m_config->StartYear());
    dialog.SetYearPeriods(m_config->YearPeriods());
    dialog.SetCanRegenerate(m_config->CanRegeneratePeriods());
    // The dialog begins a busy bracket as it closes; it ends once the periods are back.
    const BusyScope busy(BusyScope::AlreadyBegun);
    if (DialogService::instance().exec(dialog) != 1)
        return;
    const QScopedValueRollback loading(m_loading, true);
    dialog.Periods().setFiltered(false);
    const int shown = m_config->TakePeriods(dialog.Periods().data(), dialog.StartYear(),
                                            dialog.YearPeriods(), keepYear);
    rebuildTree(shown);
}

void TStartGLForm::BrowseTemplate()
{
    const ClientDataSet &info = m_config->Info();
    const TemplatePreview preview =
        BuildTemplatePreview(info.asString(S("AcctTempDesc")), info.asString(S("SysCur")));
    TShowTempAccountingForm browser(this);
    browser.LoadTemplate(preview.accounts->saveToText(), preview.accountTypes->saveToText());
    DialogService::instance().exec(browser);
}

void TStartGLForm::ChooseAccountTypes()
{
    const QString types = m_config->AccountTypesToOffer();
    TDefAccttypeForm dialog(this);
    dialog.SetDataText(types);
    if (DialogService::instance().exec(dialog) == QDialog::Accepted)
        m_config->SetChosenAccountTypes(readDataPacket(dialog.DataText()));
}

void TStartGLForm::EditPropertyValues(PropertyKind kind)
{
    ClientDataSet &custom = m_config->PartCustom();
    if (!custom.isActive() || custom.isEmpty())
        return;
    PostPending(custom);
    const bool entry = kind == PropertyKind::Entry;
    TDefPropValueMForm dialog(this);
    dialog.CaptionData = custom.saveToText();
    dialog.PropCount =
        int(m_config->Info().asInteger(entry ? S("PartPropCount") : S("PartFixcolCount")));
    dialog.PartID = 0;
    dialog.PropType = entry ? 0 : 1;
    if (entry)
        dialog.PriceFlags = m_config->EntryFlags();
    if (DialogService::instance().exec(dialog) == QDialog::Accepted && entry)
        m_config->SetEntryFlags(dialog.PriceFlags);
}

void TStartGLForm::ShowBusinessPanel(bool on)
{
    m_businessPanel = on;
    pnlBusiness->setVisible(on);
    pcMain->setTabVisible(int(ConfigPage::Finance), !on);
}

void TStartGLForm::reject()
{
    bool keep = false;
    RunGuarded([&] {
        keep = m_loaded && !m_readOnly && m_config->Modified() &&
               AskYesNo(S("账套参数已修改，放弃修改吗？")) != mrOk;
    });
    if (!keep)
        done(2);
}

void TStartGLForm::showProblem(const ConfigProblem &problem)
{
    // Without the finance page its starts are chosen on the overview.
    const bool financeLeftOut = m_businessPanel && problem.page == ConfigPage::Finance;
    pcMain->setCurrentIndex(int(financeLeftOut ? ConfigPage::Overview : problem.page));
    ShowWarningMessage(problem.message);
    if (QWidget *editor = m_binder->editorOf(problem.field))
        editor->setFocus();
}

void TStartGLForm::OkClick()
{
    if (!m_loaded) {
        done(2);
        return;
    }
    AccountSetConfig &config = *m_config;
    if (const auto problem = config.CheckAccountTypes()) {
        showProblem(*problem);
        return;
    }
    if (m_readOnly) {
        done(2);
        return;
    }
    if (const auto problem = config.Validate()) {
        showProblem(*problem);
        return;
    }
    const std::optional<bool> enableNow =
        AnswerQuestions(config.Questions(!m_businessPanel),
                        [](const QString &question) { return AskYesNo(question) == mrOk; });
    if (!enableNow)
        return;
    AccountSetConfig::SaveResult saved;
    try {
        saved = config.Save(*enableNow);
    } catch (const Error &error) {
        m_binder->refresh();
        ShowWarningMessage(error.message());
        return;
    }
    m_settingsChanged = saved.settingsChanged;
    m_binder->refresh();
    showPickers();
    if (!saved.hostCopyError.isEmpty())
        ShowWarningMessage(saved.hostCopyError);
    if (saved.enabledNow)
        ShowInfoMessage(S("账套已成功启用！"));
    done(1);
}

} // namespace vexa::gl
