#include "PeriodsMForm.h"

#include "AccountSetParams.h"
#include "ClientDataSet.h"
#include "ClientSettings.h"
#include "DataAccess.h"
#include "DataSetModel.h"
#include "FormKit.h"
#include "Globals.h"
#include "MessageDialogs.h"

#include <vexa/Error.h>
#include <vexa/PluginHost.h>

#include <QAction>
#include <QCalendarWidget>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSpinBox>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include <functional>
#include <utility>

namespace vexa::gl {

QVariant PeriodActiveText(const QVariant &code)
{
    if (code.toString() == QLatin1String("Y"))
        return QStringLiteral("是");
    if (code.toString() == QLatin1String("N"))
        return QStringLiteral("否");
    return code;
}

// The period grid: only the start date is editable, and only in an editable year; an edit
// goes through the calendar, which dates the following periods. Active reads 是/否.
class PeriodsGridModel : public DataSetModel
{
public:
    using DataSetModel::DataSetModel;

    std::function<bool(int row, const QVariant &value)> editFrom;
    std::function<bool()> editable;
    int fromColumn = -1;
    int activeColumn = -1;

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (index.column() == activeColumn && role == Qt::DisplayRole)
            return PeriodActiveText(DataSetModel::data(index, Qt::EditRole));
        return DataSetModel::data(index, role);
    }
    bool setData(const QModelIndex &index, const QVariant &value, int role) override
    {
        if (role != Qt::EditRole || index.column() != fromColumn || !editFrom)
            return false;
        return editFrom(index.row(), value);
    }
    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        Qt::ItemFlags f = DataSetModel::flags(index) & ~Qt::ItemIsEditable;
        if (index.isValid() && index.column() == fromColumn && editable && editable())
            f |= Qt::ItemIsEditable;
        return f;
    }
};

namespace {

const QString kDateFormat = QStringLiteral("yyyy-MM-dd");

// Start dates are typed as text in the form the grid shows, and the whole text is taken
// as typed (a date edit's sections turned "2022-12-26" typed after F2 into 2022-01-12); the
// calendar button picks one instead.
class DateDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &,
                          const QModelIndex &) const override
    {
        auto *editor = new QLineEdit(parent);
        editor->setFrame(false);
        QAction *pick =
            editor->addAction(editor->style()->standardIcon(QStyle::SP_FileDialogDetailedView),
                              QLineEdit::TrailingPosition);
        pick->setObjectName(QStringLiteral("acPickDate"));
        pick->setToolTip(QStringLiteral("选择日期"));
        QObject::connect(pick, &QAction::triggered, editor, [editor] { showCalendar(editor); });
        return editor;
    }
    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        static_cast<QLineEdit *>(editor)->setText(
            index.data(Qt::EditRole).toDate().toString(kDateFormat));
    }
    // The text goes to the model as typed; the dialog reads it once the editor is closed.
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override
    {
        model->setData(index, static_cast<QLineEdit *>(editor)->text(), Qt::EditRole);
    }

    // The width the editor needs to show a whole date beside its button.
    static int editorWidth()
    {
        QLineEdit probe;
        probe.setFrame(false);
        probe.addAction(probe.style()->standardIcon(QStyle::SP_FileDialogDetailedView),
                        QLineEdit::TrailingPosition);
        const QFontMetrics fm = probe.fontMetrics();
        const int chrome = probe.sizeHint().width() - 17 * fm.horizontalAdvance(QLatin1Char('x'));
        return chrome + fm.horizontalAdvance(QStringLiteral("0000-00-00")) + 4;
    }

private:
    static void showCalendar(QLineEdit *editor)
    {
        auto *popup = new QCalendarWidget(editor);
        popup->setObjectName(QStringLiteral("calPickDate"));
        popup->setWindowFlags(Qt::Popup);
        popup->setAttribute(Qt::WA_DeleteOnClose);
        const QDate shown = QDate::fromString(editor->text().trimmed(), kDateFormat);
        if (shown.isValid())
            popup->setSelectedDate(shown);
        const auto take = [editor, popup](QDate date) {
            editor->setText(date.toString(kDateFormat));
            popup->close();
            editor->setFocus();
        };
        QObject::connect(popup, &QCalendarWidget::clicked, editor, take);
        QObject::connect(popup, &QCalendarWidget::activated, editor, take);
        popup->move(editor->mapToGlobal(QPoint(0, editor->height())));
        popup->show();
    }
};

} // namespace

TPeriodsMForm::TPeriodsMForm(QWidget *parent)
    : TChildDialogForm(parent), m_periods(new ClientDataSet(this))
{
    setObjectName(QStringLiteral("PeriodsMForm"));
    setWindowTitle(QStringLiteral("会计期间"));

    m_periods->setObjectName(QStringLiteral("cdsPeriods"));
    m_periods->setProviderName(QStringLiteral("LX_FINPostingPeriods"));
    m_periods->setCommandText(QStringLiteral("WHERE 1=1 ORDER BY PeriodID"));
    m_periods->setFieldDefs(FiscalCalendar::periodFields());
    m_periods->createDataSet();
    m_periods->setIndexFieldNames(QStringLiteral("Year;No"));
    m_calendar = std::make_unique<FiscalCalendar>(*m_periods);

    auto *title = new QLabel(QStringLiteral(" 会计期间：设置"), this);
    title->setObjectName(QStringLiteral("lbTitle"));

    auto *lbYear = new QLabel(QStringLiteral("期间开始年度"), this);
    lbYear->setObjectName(QStringLiteral("lbStartYear"));
    m_edYear = new QSpinBox(this);
    m_edYear->setObjectName(QStringLiteral("edYear"));
    m_edYear->setRange(FiscalCalendar::kMinStartYear, FiscalCalendar::kMaxStartYear);
    m_edYear->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    lbYear->setBuddy(m_edYear);

    auto *lbPeriods = new QLabel(QStringLiteral("每年会计期间数："), this);
    lbPeriods->setObjectName(QStringLiteral("lbYearPeriods"));
    m_rb12 = new QRadioButton(QStringLiteral("12"), this);
    m_rb12->setObjectName(QStringLiteral("rbPeriods12"));
    m_rb13 = new QRadioButton(QStringLiteral("13"), this);
    m_rb13->setObjectName(QStringLiteral("rbPeriods13"));

    m_tvYears = new QTreeWidget(this);
    m_tvYears->setObjectName(QStringLiteral("tvYears"));
    m_tvYears->setHeaderHidden(true);
    m_tvYears->setColumnCount(1);

    m_model = new PeriodsGridModel(m_periods, this);
    m_grid = new QTableView(this);
    m_grid->setObjectName(QStringLiteral("gdPeriods"));
    m_grid->setModel(m_model);
    m_grid->setSortingEnabled(false);
    m_grid->horizontalHeader()->setSectionsMovable(false);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    // Double-click toggles the active flag, so it does not open the editor.
    m_grid->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::AnyKeyPressed);
    m_grid->verticalHeader()->hide();
    const auto col = [this](const char *name) {
        return m_periods->fieldIndex(QLatin1String(name));
    };
    m_model->fromColumn = col("PostingFrom");
    m_model->activeColumn = col("Active");
    m_model->editable = [this] { return m_yearEditable; };
    // The edit is applied once the view is done with its editor: the calendar re-reads the
    // whole table, which resets the model and would close the editor under the view's feet
    // ("closeEditor called with an editor that does not belong to this view"), and a
    // warning shown while the editor is open would commit it a second time.
    m_model->editFrom = [this](int row, const QVariant &value) {
        m_pendingEdit = PendingEdit{
            row, m_periods->valueAt(row, m_periods->fieldIndex(QStringLiteral("PeriodID"))), value};
        QMetaObject::invokeMethod(
            this, [this] { applyPendingEdit(); }, Qt::QueuedConnection);
        return true;
    };
    m_model->setCaption(QStringLiteral("PeriodID"), QStringLiteral("＃"));
    m_model->setCaption(QStringLiteral("PeriodCode"), QStringLiteral("代码"));
    m_model->setCaption(QStringLiteral("PeriodName"), QStringLiteral("名称"));
    m_model->setCaption(QStringLiteral("Locked"), QStringLiteral("锁定"));
    m_model->setCaption(QStringLiteral("No"), QStringLiteral("概览\n期间号"));
    m_model->setCaption(QStringLiteral("Active"), QStringLiteral("概览\n激活"));
    m_model->setCaption(QStringLiteral("PostingFrom"), QStringLiteral("登帐日期\n开始日期"));
    m_model->setCaption(QStringLiteral("PostingTo"), QStringLiteral("登帐日期\n结束日期"));
    m_grid->setItemDelegateForColumn(m_model->fromColumn, new DateDelegate(m_grid));
    const QList<int> shown = {col("No"), col("Active"), col("PostingFrom"), col("PostingTo")};
    for (int c = 0; c < m_periods->fieldCount(); ++c)
        m_grid->setColumnHidden(c, !shown.contains(c));
    QHeaderView *header = m_grid->horizontalHeader();
    for (int i = 0; i < shown.size(); ++i)
        header->moveSection(header->visualIndex(shown[i]), i);
    SetMainGridView(m_grid);

    m_btnActivate = new QPushButton(QStringLiteral("激活全部会计期间"), this);
    m_btnActivate->setObjectName(QStringLiteral("btnActivate"));
    m_btnFreeze = new QPushButton(QStringLiteral("冻结全部会计期间"), this);
    m_btnFreeze->setObjectName(QStringLiteral("btnFreeze"));
    m_btnOk = new QPushButton(QStringLiteral("确认"), this);
    m_btnOk->setObjectName(QStringLiteral("btnOk"));
    m_btnCancel = new QPushButton(QStringLiteral("取消"), this);
    m_btnCancel->setObjectName(QStringLiteral("btnCancel"));

    m_tmStartYear = new QTimer(this);
    m_tmStartYear->setObjectName(QStringLiteral("tmStartYear"));
    m_tmStartYear->setSingleShot(true);
    m_tmStartYear->setInterval(300);

    auto *top = new QHBoxLayout;
    top->addWidget(lbYear);
    top->addWidget(m_edYear);
    top->addSpacing(16);
    top->addWidget(lbPeriods);
    top->addWidget(m_rb12);
    top->addWidget(m_rb13);
    top->addStretch();
    auto *middle = new QHBoxLayout;
    middle->addWidget(m_tvYears, 1);
    middle->addWidget(m_grid, 3, Qt::AlignTop);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_btnActivate);
    buttons->addWidget(m_btnFreeze);
    buttons->addStretch();
    buttons->addWidget(m_btnOk);
    buttons->addWidget(m_btnCancel);
    auto *main = new QVBoxLayout(this);
    main->addWidget(title);
    main->addLayout(top);
    main->addLayout(middle, 1);
    main->addLayout(buttons);

    connect(m_tvYears, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *item) { RunGuarded([&] { yearSelected(item); }); });
    connect(m_rb12, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            RunGuarded([&] { periodCountChosen(12); });
    });
    connect(m_rb13, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            RunGuarded([&] { periodCountChosen(13); });
    });
    connect(m_edYear, &QSpinBox::valueChanged, this, &TPeriodsMForm::restartStartYearTimer);
    connect(m_edYear, &QSpinBox::editingFinished, this, &TPeriodsMForm::restartStartYearTimer);
    connect(m_tmStartYear, &QTimer::timeout, this,
            [this] { RunGuarded([&] { applyStartYear(); }); });
    connect(m_btnActivate, &QPushButton::clicked, this,
            [this] { RunGuarded([&] { setAllActive(true); }); });
    connect(m_btnFreeze, &QPushButton::clicked, this,
            [this] { RunGuarded([&] { setAllActive(false); }); });
    connect(m_grid, &QTableView::doubleClicked, this, [this](const QModelIndex &index) {
        applyPendingEdit();
        RunGuarded([&] {
            m_model->setCurrentRow(index.row());
            m_calendar->toggleActive();
        });
    });
    connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                if (current.isValid() && !m_loading)
                    m_model->setCurrentRow(current.row());
            });
    connect(m_btnOk, &QPushButton::clicked, this, [this] { done(1); });
    connect(m_btnCancel, &QPushButton::clicked, this, [this] { done(2); });

    InitDataSets();
}

TPeriodsMForm::~TPeriodsMForm()
{
    // Editors losing focus while the widgets go down must not reach this half-destroyed form.
    m_tmStartYear->stop();
    m_model->editFrom = nullptr;
    for (QObject *child : findChildren<QObject *>())
        QObject::disconnect(child, nullptr, this, nullptr);
}

int TPeriodsMForm::YearPeriods() const
{
    if (!m_prepared)
        return m_calendar->yearPeriods();
    return m_rb12->isChecked() ? 12 : 13;
}

void TPeriodsMForm::SetLastVoucherPeriodID(int id)
{
    m_calendar->setLastVoucherPeriodID(id);
}

void TPeriodsMForm::showEvent(QShowEvent *event)
{
    TChildDialogForm::showEvent(event);
    if (!m_prepared) {
        // The captions carry their band on a first line: the header holds two lines, and
        // the dates show whole.
        m_grid->horizontalHeader()->setFixedHeight(2 * Settings().CGridHeaderHeight);
        if (width() < 640)
            resize(640, std::max(height(), 420));
        // A dialog that could not read what it needs would offer a wrong table: it closes.
        if (!RunGuarded([this] { prepare(); }))
            QMetaObject::invokeMethod(
                this, [this] { done(2); }, Qt::QueuedConnection);
        m_grid->resizeColumnsToContents();
        m_grid->setColumnWidth(
            m_model->fromColumn,
            std::max(m_grid->columnWidth(m_model->fromColumn), DateDelegate::editorWidth()));
        fitGrid();
    }
}

void TPeriodsMForm::fitGrid()
{
    // The grid shows a whole year without scrolling: twelve rows at least, one more for a
    // thirteenth period, and every column whole.
    const int rows = std::max(12, YearPeriods());
    const int frame = 2 * m_grid->frameWidth();
    m_grid->setFixedHeight(m_grid->horizontalHeader()->height() +
                           rows * m_grid->verticalHeader()->defaultSectionSize() + frame);
    m_grid->setMinimumWidth(m_grid->horizontalHeader()->length() + frame);
}

void TPeriodsMForm::done(int result)
{
    applyPendingEdit();
    // The caller ends this busy bracket once it has taken the periods back.
    if (Globals().Host)
        Globals().Host->BeginBusy();
    m_tmStartYear->stop();
    if (result == 1)
        PostPending(*m_periods);
    TChildDialogForm::done(result);
}

void TPeriodsMForm::prepare()
{
    m_prepared = true;
    // Periods up to the newest posted voucher must not be re-dated.
    m_calendar->setLastVoucherPeriodID(Globals().Connection ? ReadLastVoucherPeriodID() : 0);

    m_loading = true;
    const BusyScope busy;
    const auto loaded = qScopeGuard([this] { m_loading = false; });

    m_calendar->prepare(DayNumberToDateTime(ServerDate()).date().year());
    rebuildTree();
    m_rb12->setChecked(m_calendar->yearPeriods() == 12);
    m_rb13->setChecked(m_calendar->yearPeriods() == 13);
    m_edYear->setValue(m_calendar->startYear());
    const bool open = m_calendar->canRegenerate();
    m_edYear->setReadOnly(!open);
    m_edYear->setPalette(open ? WriteStyle() : ReadStyle());
    m_yearEditable = m_calendar->isShownYearEditable();
    updatePeriodOptions();
}

void TPeriodsMForm::rebuildTree()
{
    m_tvYears->clear();
    m_root = new QTreeWidgetItem(m_tvYears, {QStringLiteral("会计年度")});
    for (int year : m_calendar->years())
        new QTreeWidgetItem(m_root, {QString::number(year)});
    m_root->setExpanded(true);
    if (m_root->childCount() > 0)
        m_tvYears->setCurrentItem(m_root->child(0));
}

int TPeriodsMForm::selectedYear() const
{
    const QTreeWidgetItem *item = m_tvYears->currentItem();
    return item && item != m_root ? item->text(0).toInt() : 0;
}

void TPeriodsMForm::updatePeriodOptions()
{
    const QTreeWidgetItem *item = m_tvYears->currentItem();
    const bool at = item == m_root || (item && selectedYear() == m_calendar->startYear());
    const bool on = m_calendar->canRegenerate() && at;
    m_rb12->setEnabled(on);
    m_rb13->setEnabled(on);
}

void TPeriodsMForm::yearSelected(QTreeWidgetItem *item)
{
    applyPendingEdit();
    updatePeriodOptions();
    if (m_loading || !item)
        return;
    if (item == m_root) {
        m_root->setExpanded(true);
        if (m_root->childCount() > 0)
            m_tvYears->setCurrentItem(m_root->child(0));
        return;
    }
    m_calendar->showYear(item->text(0).toInt());
    m_yearEditable = m_calendar->isShownYearEditable();
}

void TPeriodsMForm::periodCountChosen(int periods)
{
    applyPendingEdit();
    if (m_loading)
        return;
    // Refused: the options show the count the table still has.
    auto showCount = qScopeGuard([this] {
        const QSignalBlocker quiet12(m_rb12), quiet13(m_rb13);
        m_rb12->setChecked(m_calendar->yearPeriods() == 12);
        m_rb13->setChecked(m_calendar->yearPeriods() == 13);
    });
    m_calendar->setPeriodCount(periods);
    showCount.dismiss();
    fitGrid();
}

void TPeriodsMForm::restartStartYearTimer()
{
    if (m_loading || !m_prepared || m_edYear->isReadOnly())
        return;
    m_tmStartYear->start();
}

void TPeriodsMForm::applyStartYear()
{
    applyPendingEdit();
    m_tmStartYear->stop();
    const int oldYear = m_calendar->startYear();
    // A refused or ignored change: the box shows the start year again, not the refused one.
    auto fallBack = qScopeGuard([this] {
        const QSignalBlocker quiet(m_edYear);
        m_edYear->setValue(m_calendar->startYear());
    });
    if (m_edYear->text().trimmed().isEmpty() || !m_root ||
        !m_calendar->changeStartYear(m_edYear->value()))
        return;
    fallBack.dismiss();
    const int delta = m_calendar->startYear() - oldYear;
    for (int i = 0; i < m_root->childCount(); ++i) {
        QTreeWidgetItem *node = m_root->child(i);
        node->setText(0, QString::number(node->text(0).toInt() + delta));
    }
    if (const int year = selectedYear())
        m_calendar->showYear(year);
    m_yearEditable = m_calendar->isShownYearEditable();
    updatePeriodOptions();
}

void TPeriodsMForm::setAllActive(bool active)
{
    applyPendingEdit();
    PostPending(*m_periods);
    const int year = m_periods->isEmpty() ? m_calendar->shownYear()
                                          : m_periods->value(QStringLiteral("Year")).toInt();
    const QString question =
        active ? FiscalCalendar::activateQuestion(year) : FiscalCalendar::freezeQuestion(year);
    const bool all = AskYesNo(question) == mrOk;
    m_calendar->setActive(active,
                          all ? FiscalCalendar::Scope::AllYears : FiscalCalendar::Scope::ShownYear);
}

void TPeriodsMForm::applyPendingEdit()
{
    if (!m_pendingEdit)
        return;
    const PendingEdit edit = *std::exchange(m_pendingEdit, std::nullopt);
    RunGuarded([&] {
        // The grid may show other rows by now (another year): then the edit is gone.
        const int idField = m_periods->fieldIndex(QStringLiteral("PeriodID"));
        if (edit.row >= m_periods->recordCount() ||
            m_periods->valueAt(edit.row, idField) != edit.periodID)
            return;
        QDate date = edit.value.toDate();
        if (edit.value.typeId() == QMetaType::QString) {
            const auto typed = FiscalCalendar::readTypedDate(edit.value.toString(), date);
            if (typed.outcome == FiscalCalendar::EditResult::Refused)
                ShowWarningMessage(typed.warning);
            if (typed.outcome != FiscalCalendar::EditResult::Accepted)
                return;
        }
        m_model->setCurrentRow(edit.row);
        const FiscalCalendar::EditResult result = m_calendar->editPostingFrom(date);
        if (result.outcome == FiscalCalendar::EditResult::Refused)
            ShowWarningMessage(result.warning);
    });
}

} // namespace vexa::gl
