#include "FinGLAccountingConfigureMForm.h"

#include "ClientDataSet.h"
#include "ClientSettings.h"
#include "DataSetModel.h"
#include "DialogService.h"
#include "DocFindForm.h"
#include "GLAccountingRules.h"
#include "MessageDialogs.h"
#include "SelAccountingForm.h"

#include <vexa/Error.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSet>
#include <QShowEvent>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <utility>

namespace vexa::gl {

namespace {

#define S QStringLiteral

const QString kDocType = S("DocType");
const QString kDocDesc = S("DocDesc");
const QString kDocTypeFor = S("DocTypeFor");
const QString kAcctCode = S("AcctCode");
const QString kAcctName = S("AcctName");
const QString kAcctNumCa = S("AcctNumCa");
const QString kHostDataSet = S("CDS_GLAcct");
const QString kObjTypeCommand = S("WHERE InTag = 0 AND AutoAcctTag = 1 ORDER BY ObjType");

QString fieldOf(const ClientDataSet *ds, const QModelIndex &index)
{
    return ds && index.isValid() && index.column() < ds->fieldCount()
               ? ds->fieldDefs()[index.column()].name
               : QString();
}

// The grids' model: some fields read-only, some shown through a lookup, and optionally the
// form's own rule for an edit instead of the default edit-and-post.
class ConfigGridModel : public DataSetModel
{
public:
    using Shown = std::function<QVariant(const QVariant &)>;
    using Write = std::function<void(const QModelIndex &, const QVariant &)>;

    ConfigGridModel(ClientDataSet *data, QObject *parent) : DataSetModel(data, parent) {}

    QSet<QString> readOnly;
    QHash<QString, Shown> shown;
    Write write;

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role == Qt::DisplayRole || role == Qt::TextAlignmentRole) {
            const auto it = shown.constFind(fieldOf(dataSet(), index));
            if (it != shown.constEnd())
                return role == Qt::DisplayRole ? (*it)(DataSetModel::data(index, Qt::EditRole))
                                               : QVariant();
        }
        return DataSetModel::data(index, role);
    }

    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        Qt::ItemFlags f = DataSetModel::flags(index);
        if (readOnly.contains(fieldOf(dataSet(), index)))
            f &= ~Qt::ItemIsEditable;
        return f;
    }

    bool setData(const QModelIndex &index, const QVariant &value, int role) override
    {
        if (!write || role != Qt::EditRole || !index.isValid())
            return DataSetModel::setData(index, value, role);
        try {
            write(index, value);
            return true;
        } catch (const Error &e) {
            emit editFailed(e.message());
            return false;
        }
    }
};

// The contra account's code: typed, or picked through the edit's button.
class AccountCodeDelegate : public QStyledItemDelegate
{
public:
    AccountCodeDelegate(std::function<void(int)> pick, QObject *parent)
        : QStyledItemDelegate(parent), m_pick(std::move(pick))
    {}

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &,
                          const QModelIndex &index) const override
    {
        auto *edit = new QLineEdit(parent);
        edit->setObjectName(S("edAcctCode"));
        QAction *button =
            edit->addAction(edit->style()->standardIcon(QStyle::SP_FileDialogContentsView),
                            QLineEdit::TrailingPosition);
        button->setObjectName(S("acAcctCode"));
        const QPersistentModelIndex at(index);
        // The picker takes the focus, and the view may close and delete this editor
        // meanwhile.
        const QPointer<QLineEdit> guarded(edit);
        connect(button, &QAction::triggered, edit, [this, guarded, at] {
            if (!at.isValid())
                return;
            m_pick(at.row());
            // The picked code, so that closing the editor changes nothing more.
            if (guarded && at.isValid())
                guarded->setText(at.data(Qt::EditRole).toString());
        });
        return edit;
    }

    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override
    {
        model->setData(index, static_cast<QLineEdit *>(editor)->text().trimmed());
    }

private:
    std::function<void(int)> m_pick;
};

// Shows these fields in this order with their captions and widths; every other field is
// hidden.
void layOutColumns(QTableView *grid, DataSetModel *model, const QList<DesignedColumn> &columns)
{
    for (int c = 0; c < model->columnCount(); ++c)
        grid->setColumnHidden(c, true);
    QHeaderView *header = grid->horizontalHeader();
    int position = 0;
    for (const DesignedColumn &d : columns) {
        model->setCaption(d.field, d.caption);
        const int c = ColumnOf(grid, d.field);
        if (c < 0 || d.width <= 0)
            continue;
        grid->setColumnHidden(c, false);
        grid->setColumnWidth(c, d.width);
        header->moveSection(header->visualIndex(c), position++);
    }
}

// Width 0: the column exists with its caption but stays hidden.
const QList<DesignedColumn> &kindColumns()
{
    static const QList<DesignedColumn> columns = {
        {kDocType, S("类型代码"), 0},          {kDocDesc, S("凭证类型"), 130},
        {kDocTypeFor, S("对方科目来源"), 160}, {kAcctCode, S("对方科目"), 100},
        {kAcctName, S("科目描述"), 140},       {S("Remark"), S("备注"), 140},
    };
    return columns;
}

const QList<DesignedColumn> &voucherWordColumns()
{
    static const QList<DesignedColumn> columns = {
        {S("ObjName"), S("凭证类型"), 140},
        {kAcctNumCa, S("凭证字"), 110},
        {S("ObjDesc"), S("凭证描述"), 260},
    };
    return columns;
}

QTableView *makeGrid(const QString &name, QAbstractItemModel *model, QWidget *parent)
{
    auto *grid = new QTableView(parent);
    grid->setObjectName(name);
    grid->setModel(model);
    SetUpEditableGrid(grid);
    return grid;
}

QLabel *makeHeading(const QString &name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

} // namespace

TFinGLAccountingConfigureMForm::TFinGLAccountingConfigureMForm(QWidget *parent)
    : TChildDialogForm(parent)
{
    setObjectName(S("FinGLAccountingConfigureMForm"));
    setWindowTitle(S("记账科目设置"));
    resize(640, 540);

    const auto dataSet = [this](const char *name, const QString &provider, const QString &command) {
        auto *ds = new ClientDataSet(this);
        ds->setObjectName(QLatin1String(name));
        ds->setProviderName(provider);
        ds->setCommandText(command);
        return ds;
    };
    cdsData = dataSet("cdsData", S("LX_DMGLAccountingConfigure"), QString());
    cdsObjType = dataSet("cdsObjType", S("LX_DMObjType"), kObjTypeCommand);
    cdsNumCa = dataSet("cdsNumCa", S("LX_BMListNumCa"),
                       S("WHERE ObjType=2101 ORDER BY ObjType,SortNo,NumCa"));
    cdsNumCa->setIndexFieldNames(S("ObjType;SortNo;NumCa"));
    cdsNumCa->setTag(1);
    cdsInto = dataSet("cdsInto", S("LX_DMDocType"), S("WHERE ObjType = 3511 ORDER BY DocType"));
    cdsOut = dataSet("cdsOut", S("LX_DMDocType"), S("WHERE ObjType = 3521 ORDER BY DocType"));
    cdsDocTypeFor = dataSet("cdsDocTypeFor", QString(), QString());
    cdsPublic = dataSet("cdsPublic", S("LX_BMListAccounting"), QString());
    FillContraSources(*cdsDocTypeFor);

    lbTitle = MakeTitleLabel(S(" 总账科目：确认"), this, TitleFrame::Panel);

    pcMain = new QTabWidget(this);
    pcMain->setObjectName(S("pcMain"));
    tsGeneral = MakeGeneralPage();
    tsStock = MakeStockPage();
    tsNumCa = MakeNumCaPage();
    pcMain->addTab(tsGeneral, S("常规"));
    pcMain->addTab(tsStock, S("存货"));
    pcMain->addTab(tsNumCa, S("记账字"));

    // Enter ends a code or a cell edit; it does not close the dialog.
    btnOk = MakeButton(S("确认"), S("btnOk"), this);
    btnCancel = MakeButton(S("取消"), S("btnCancel"), this);
    connect(btnOk, &QPushButton::clicked, this, [this] { RunGuarded([this] { OkClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto *main = new QVBoxLayout(this);
    main->addWidget(lbTitle);
    main->addWidget(pcMain, 1);
    main->addLayout(buttons);

    connect(cdsData, &ClientDataSet::dataReset, this, &TFinGLAccountingConfigureMForm::ShowSlots);
    connect(cdsData, &ClientDataSet::rowChanged, this, &TFinGLAccountingConfigureMForm::ShowSlots);
    connect(cdsData, &ClientDataSet::currentChanged, this,
            &TFinGLAccountingConfigureMForm::ShowSlots);

    InitDataSets();
}

TFinGLAccountingConfigureMForm::~TFinGLAccountingConfigureMForm()
{
    // An editor losing focus while the widgets go down must not reach this form.
    for (QObject *child : findChildren<QObject *>())
        QObject::disconnect(child, nullptr, this, nullptr);
}

QWidget *TFinGLAccountingConfigureMForm::MakeGeneralPage()
{
    auto *page = new QWidget;
    page->setObjectName(S("tsGeneral"));
    auto *column = new QVBoxLayout(page);
    const QStringList boxNames = {S("gbSales"), S("gbPurchase"), S("gbLedger"), S("gbProduction")};
    const QStringList groups = AccountSlotGroups();
    const QIcon pickIcon = style()->standardIcon(QStyle::SP_FileDialogContentsView);
    for (int g = 0; g < groups.size(); ++g) {
        auto *box = new QGroupBox(groups[g], page);
        box->setObjectName(boxNames.value(g));
        auto *grid = new QGridLayout(box);
        grid->setColumnStretch(2, 1);
        int row = 0;
        for (const AccountSlot &slot : AccountSlots()) {
            if (slot.group != groups[g])
                continue;
            auto *label = new QLabel(slot.caption, box);
            label->setObjectName(S("lb") + slot.field);
            auto *edit = new QLineEdit(box);
            edit->setObjectName(S("ed") + slot.field);
            edit->setFixedWidth(130);
            QAction *button = edit->addAction(pickIcon, QLineEdit::TrailingPosition);
            button->setObjectName(S("ac") + slot.field);
            label->setBuddy(edit);
            auto *name = new QLineEdit(box);
            name->setObjectName(S("ed") + slot.field + S("Name"));
            name->setReadOnly(true);
            name->setFocusPolicy(Qt::NoFocus);
            name->setPalette(ReadStyle());
            setTag(name, -1);
            grid->addWidget(label, row, 0);
            grid->addWidget(edit, row, 1);
            grid->addWidget(name, row, 2);
            ++row;
            for (QWidget *w : std::initializer_list<QWidget *>{label, edit, name})
                w->setVisible(slot.shown);
            connect(button, &QAction::triggered, this,
                    [this, edit] { RunGuarded([this, edit] { PickSlotAccount(edit); }); });
            connect(edit, &QLineEdit::editingFinished, this,
                    [this, edit] { RunGuarded([this, edit] { TypeSlotCode(edit); }); });
            m_slotEdits << edit;
            m_slotNames << name;
        }
        column->addWidget(box);
    }
    // The code edits of all groups stand in one column.
    int labelWidth = 0;
    for (const AccountSlot &slot : AccountSlots())
        labelWidth = std::max(labelWidth, fontMetrics().horizontalAdvance(slot.caption) + 12);
    for (const AccountSlot &slot : AccountSlots())
        if (auto *label = page->findChild<QLabel *>(S("lb") + slot.field))
            label->setMinimumWidth(labelWidth);
    column->addStretch(1);
    return page;
}

QWidget *TFinGLAccountingConfigureMForm::MakeStockPage()
{
    auto *page = new QWidget;
    page->setObjectName(S("tsStock"));
    auto *column = new QVBoxLayout(page);
    const auto addSide = [&](KindSide &side, const QString &name, int objType, const char *label,
                             const QString &heading, const QString &addHint,
                             const QString &deleteHint) {
        MakeKindSide(side, name, objType, page);
        side.add->setToolTip(addHint);
        side.remove->setToolTip(deleteHint);
        // The buttons stand beside the grid's heading.
        auto *bar = new QHBoxLayout;
        bar->addWidget(makeHeading(QLatin1String(label), heading, page), 1);
        bar->addWidget(side.add);
        bar->addWidget(side.remove);
        column->addLayout(bar);
        column->addWidget(side.grid);
    };
    addSide(m_into, S("Into"), InboundObjType, "lbInto",
            S("设置其他入库单据类别及存货的对方记账科目:"), S("添加入库凭证类型"),
            S("删除入库凭证类型"));
    addSide(m_out, S("Out"), OutboundObjType, "lbOut",
            S("设置其他出库单据类别及存货的对方记账科目:"), S("添加出库凭证类型"),
            S("删除出库凭证类型"));
    column->addStretch(1);
    return page;
}

void TFinGLAccountingConfigureMForm::MakeKindSide(KindSide &side, const QString &name, int objType,
                                                  QWidget *page)
{
    side.objType = objType;
    side.data = name == S("Into") ? cdsInto : cdsOut;
    auto *model = new ConfigGridModel(side.data, this);
    model->readOnly = {kAcctName};
    model->shown.insert(kDocTypeFor, [](const QVariant &v) { return ContraSourceDesc(v); });
    model->write = [this, &side](const QModelIndex &index, const QVariant &value) {
        ClientDataSet &ds = *side.data;
        if (ds.recNo() != index.row() + 1) {
            PostKindRow(side);
            ds.setRecNo(index.row() + 1);
        }
        WriteKindCell(ds, *cdsPublic, fieldOf(&ds, index), value);
    };
    side.model = model;
    side.grid = makeGrid(S("grd") + name, model, page);

    const auto sources = [this] {
        return ChoiceItems(*cdsDocTypeFor, S("DocTypeForDesc"), kDocTypeFor);
    };
    // The delegates sit on the columns of the fields, known once the dataset is open.
    connect(side.data, &ClientDataSet::dataReset, this, [this, &side, sources] {
        const int source = side.data->fieldIndex(kDocTypeFor);
        const int code = side.data->fieldIndex(kAcctCode);
        if (source < 0 || code < 0 || side.grid->itemDelegateForColumn(source))
            return;
        side.grid->setItemDelegateForColumn(
            source, new ComboListDelegate(S("cbList"), sources, side.grid, 18, 180));
        side.grid->setItemDelegateForColumn(
            code, new AccountCodeDelegate(
                      [this, &side](int row) {
                          RunGuarded([this, &side, row] { PickKindAccount(side, row); });
                      },
                      side.grid));
    });
    // Leaving a row posts it through the row check, once the grid's click is done; the grid's
    // row at that time counts (resets move it in passing).
    connect(
        side.grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
        [this, &side] { KindRowChosen(side, side.grid->currentIndex().row()); },
        Qt::QueuedConnection);
    connect(model, &DataSetModel::currentRowChanged, side.grid, [&side](int row) {
        const QModelIndex now = side.grid->currentIndex();
        if (row >= 0 && now.row() != row)
            side.grid->setCurrentIndex(side.model->index(row, std::max(0, now.column())));
    });
    connect(
        model, &DataSetModel::editFailed, this,
        [](const QString &message) { ShowErrorMessage(message); }, Qt::QueuedConnection);
    connect(side.data, &ClientDataSet::currentChanged, this,
            [this, &side] { UpdateKindButtons(side); });
    connect(side.data, &ClientDataSet::dataReset, this, [this, &side] { UpdateKindButtons(side); });

    const auto button = [page](const QString &objectName, QStyle::StandardPixmap icon) {
        auto *b = new QToolButton(page);
        b->setObjectName(objectName);
        b->setIcon(page->style()->standardIcon(icon));
        b->setAutoRaise(true);
        return b;
    };
    side.add = button(S("sbAdd") + name, QStyle::SP_FileDialogNewFolder);
    side.remove = button(S("sbDel") + name, QStyle::SP_TrashIcon);
    connect(side.add, &QToolButton::clicked, this,
            [this, &side] { RunGuarded([this, &side] { AppendKindRow(side); }); });
    connect(side.remove, &QToolButton::clicked, this,
            [this, &side] { RunGuarded([this, &side] { DeleteKindRow(side); }); });
}

QWidget *TFinGLAccountingConfigureMForm::MakeNumCaPage()
{
    auto *page = new QWidget;
    page->setObjectName(S("tsNumCa"));
    auto *model = new ConfigGridModel(cdsObjType, this);
    model->readOnly = {S("ObjName"), S("ObjDesc"), S("ObjType"), S("ObjCode")};
    model->shown.insert(
        kAcctNumCa, [this](const QVariant &numCa) { return VoucherWordName(*cdsNumCa, numCa); });
    grdObjType = makeGrid(S("grdObjType"), model, page);
    connect(
        model, &DataSetModel::editFailed, this,
        [](const QString &message) { ShowErrorMessage(message); }, Qt::QueuedConnection);
    const auto words = [this] { return ChoiceItems(*cdsNumCa, S("NumDesc"), S("NumCa")); };
    connect(cdsObjType, &ClientDataSet::dataReset, this, [this, words] {
        const int column = cdsObjType->fieldIndex(kAcctNumCa);
        if (column >= 0 && !grdObjType->itemDelegateForColumn(column))
            grdObjType->setItemDelegateForColumn(
                column, new ComboListDelegate(S("cbList"), words, grdObjType, 8));
    });

    auto *column = new QVBoxLayout(page);
    column->addWidget(makeHeading(S("lbNumCa"), S("确定下列凭证登帐时产生的记账凭证字:"), page));
    column->addWidget(grdObjType);
    column->addStretch(1);
    return page;
}

void TFinGLAccountingConfigureMForm::showEvent(QShowEvent *event)
{
    TChildDialogForm::showEvent(event);
    if (!event->spontaneous())
        RunGuarded([this] { FormShow(); });
}

void TFinGLAccountingConfigureMForm::FormShow()
{
    pcMain->setCurrentIndex(0);
    if (cdsData->isActive())
        cdsData->refresh();
    else
        cdsData->open();
    cdsObjType->close();
    cdsObjType->setCommandText(kObjTypeCommand);
    cdsObjType->open();
    for (KindSide *side : {&m_into, &m_out}) {
        side->data->close();
        side->data->open();
        side->count = side->data->recordCount();
        UpdateKindButtons(*side);
    }
    ShowSlots();
    LayOutGrids();
}

void TFinGLAccountingConfigureMForm::LayOutGrids()
{
    layOutColumns(grdObjType, static_cast<DataSetModel *>(grdObjType->model()),
                  voucherWordColumns());
    for (KindSide *side : {&m_into, &m_out})
        layOutColumns(side->grid, side->model, kindColumns());

    const ClientSettings &s = Settings();
    // As tall as the voucher words need, in whole rows within the page's client area less 60.
    if (layout())
        layout()->activate();
    const int pageHeight = pcMain->currentWidget() ? pcMain->currentWidget()->height() : height();
    grdObjType->setFixedHeight(WholeRowsGridHeight(cdsObjType->recordCount(), pageHeight - 60,
                                                   grdObjType->frameWidth(), s));
    for (KindSide *side : {&m_into, &m_out})
        side->grid->setFixedHeight(WholeRowsGridHeight(5, 0, side->grid->frameWidth(), s));

    // The voucher word and the kinds' names take the focus in their grids.
    const auto focusColumn = [](QTableView *grid, ClientDataSet *ds, const QString &field) {
        const int column = ColumnOf(grid, field);
        if (column >= 0 && !ds->isEmpty())
            grid->setCurrentIndex(grid->model()->index(std::max(0, ds->recNo() - 1), column));
    };
    focusColumn(grdObjType, cdsObjType, kAcctNumCa);
    for (KindSide *side : {&m_into, &m_out})
        focusColumn(side->grid, side->data, kDocDesc);
}

void TFinGLAccountingConfigureMForm::ShowSlots()
{
    const bool hasRecord = cdsData->isActive() && !cdsData->isEmpty();
    for (int i = 0; i < m_slotEdits.size(); ++i) {
        const QString slot = SlotOfEditor(m_slotEdits[i]->objectName());
        m_slotEdits[i]->setText(hasRecord ? cdsData->asString(slot + S("Code")) : QString());
        m_slotNames[i]->setText(hasRecord ? cdsData->asString(slot + S("Name")) : QString());
        m_slotNames[i]->setCursorPosition(0);
    }
}

TSelAccountingForm &TFinGLAccountingConfigureMForm::Picker()
{
    if (!m_picker) {
        m_picker = new TSelAccountingForm(this);
        m_picker->LeafOnly = true;
        if (auto *leafOnly = m_picker->findChild<QCheckBox *>(S("cbLeafOnly")))
            leafOnly->setChecked(true);
    }
    return *m_picker;
}

bool TFinGLAccountingConfigureMForm::PickAccount()
{
    TSelAccountingForm &picker = Picker();
    if (DialogService::instance().exec(picker) != QDialog::Accepted)
        return false;
    return picker.DataSet()->isActive() && !picker.DataSet()->isEmpty();
}

void TFinGLAccountingConfigureMForm::PickSlotAccount(QLineEdit *edit)
{
    const QString slot = SlotOfEditor(edit->objectName());
    if (slot.isEmpty() || edit->isReadOnly() || !PickAccount())
        return;
    SetSlotAccount(*cdsData, slot, AccountOfRow(*m_picker->DataSet()));
}

void TFinGLAccountingConfigureMForm::TypeSlotCode(QLineEdit *edit)
{
    const QString slot = SlotOfEditor(edit->objectName());
    if (slot.isEmpty() || edit->isReadOnly() || !cdsData->isActive())
        return;
    try {
        if (!EnterSlotCode(*cdsData, *cdsPublic, slot, edit->text().trimmed()))
            edit->setText(cdsData->isEmpty() ? QString() : cdsData->asString(slot + S("Code")));
    } catch (const Error &) {
        // The typed text stays for the user to correct.
        edit->setFocus();
        edit->selectAll();
        throw;
    }
}

void TFinGLAccountingConfigureMForm::PostKindRow(KindSide &side)
{
    ClientDataSet &ds = *side.data;
    if (!ds.isEditing())
        return;
    const QString missing = MissingKindField(ds);
    if (missing.isEmpty()) {
        ds.post();
        return;
    }
    pcMain->setCurrentWidget(tsStock);
    const int column = ColumnOf(side.grid, missing);
    side.grid->setFocus();
    if (column >= 0)
        side.grid->setCurrentIndex(side.model->index(ds.recNo() - 1, column));
    throw Error(RequiredMessage(column >= 0 ? ColumnCaption(side.grid, column) : missing));
}

void TFinGLAccountingConfigureMForm::KindRowChosen(KindSide &side, int row)
{
    ClientDataSet &ds = *side.data;
    if (!ds.isActive() || row < 0 || row == ds.recNo() - 1 || row >= ds.recordCount())
        return;
    try {
        PostKindRow(side);
        ds.setRecNo(row + 1);
    } catch (const Error &e) {
        ShowErrorMessage(e.message());
    }
}

void TFinGLAccountingConfigureMForm::PickKindAccount(KindSide &side, int row)
{
    ClientDataSet &ds = *side.data;
    if (!ds.isActive() || ds.isEmpty())
        return;
    if (row >= 0 && row != ds.recNo() - 1) {
        PostKindRow(side);
        ds.setRecNo(row + 1);
    }
    if (PickAccount())
        SetContraAccount(ds, AccountOfRow(*m_picker->DataSet()));
}

void TFinGLAccountingConfigureMForm::AppendKindRow(KindSide &side)
{
    if (!side.data->isActive() || !CanAppendKind(side.count))
        return;
    PostKindRow(side);
    AppendKind(*side.data, side.count);
    ++side.count;
    UpdateKindButtons(side);
    const int column = ColumnOf(side.grid, kDocDesc);
    if (column >= 0)
        side.grid->setCurrentIndex(side.model->index(side.data->recNo() - 1, column));
}

void TFinGLAccountingConfigureMForm::DeleteKindRow(KindSide &side)
{
    if (KindDeletable(*side.data))
        side.data->deleteRecord();
}

void TFinGLAccountingConfigureMForm::UpdateKindButtons(KindSide &side)
{
    side.add->setEnabled(side.data->isActive() && CanAppendKind(side.count));
    side.remove->setEnabled(KindDeletable(*side.data));
}

void TFinGLAccountingConfigureMForm::OkClick()
{
    if (cdsData->isEditing())
        cdsData->post();
    PostKindRow(m_into);
    PostKindRow(m_out);
    const QString failure = SaveConfiguration(*cdsData, *cdsObjType, *cdsInto, *cdsOut);
    if (!failure.isEmpty()) {
        ShowWarningMessage(failure);
        return;
    }
    // Saved: the new kinds keep their numbers even if the host cannot read its copy now.
    try {
        RefreshHostDataSet(kHostDataSet);
    } catch (const Error &e) {
        ShowWarningMessage(e.message());
        return;
    }
    done(QDialog::Accepted);
}

void TFinGLAccountingConfigureMForm::reject()
{
    // Unsaved changes go with the dialog; a later showing reads the server's state.
    for (ClientDataSet *ds : {cdsData, cdsObjType, cdsInto, cdsOut}) {
        if (!ds->isActive())
            continue;
        ds->cancel();
        ds->cancelUpdates();
    }
    TChildDialogForm::reject();
}

#undef S

} // namespace vexa::gl
