#include "DocFindForm.h"

#include "ClientDataSet.h"
#include "ClientSettings.h"
#include "DataModule.h"
#include "DataSetModel.h"
#include "DialogService.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "PartColumns.h"
#include "SetWhereForm.h"

#include <vexa/PluginHost.h>

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPainter>
#include <QScopeGuard>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QTableView>

#include <functional>
#include <utility>

namespace vexa::gl {

namespace {

const QString kNoDataText = QStringLiteral("未查询到满足条件的记录！");
constexpr int kPartColumnWidth = 78;

// Draws the grid lines a QTableView cannot (horizontal only, vertical only) and, for the
// part property columns, refuses editors: those columns are shown as labels.
class FindGridDelegate : public QStyledItemDelegate
{
public:
    FindGridDelegate(int lines, bool readOnly, QObject *parent)
        : QStyledItemDelegate(parent), m_lines(lines), m_readOnly(readOnly)
    {}

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        if (m_lines != 1 && m_lines != 3)
            return;
        painter->save();
        painter->setPen(option.palette.color(QPalette::Mid));
        if (m_lines == 1)
            painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        else
            painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
        painter->restore();
    }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override
    {
        return m_readOnly ? nullptr : QStyledItemDelegate::createEditor(parent, option, index);
    }

private:
    int m_lines;
    bool m_readOnly;
};

// The insertion point of the part columns: each column placed lands right after it and
// becomes the new insertion point.
void placeAfter(QHeaderView *header, int &point, int column)
{
    if (point < 0 || column < 0 || point == column)
        return;
    const int from = header->visualIndex(column);
    const int at = header->visualIndex(point);
    header->moveSection(from, from > at ? at + 1 : at);
    point = column;
}

// Enter or Return (on either keyboard) pressed in a grid.
class GridEnterFilter : public QObject
{
public:
    GridEnterFilter(QTableView *view, std::function<void()> onEnter)
        : QObject(view), m_view(view), m_onEnter(std::move(onEnter))
    {
        view->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_view || event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
            (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        m_onEnter();
        return true;
    }

private:
    QTableView *m_view;
    std::function<void()> m_onEnter;
};

bool hasVisibleColumn(const QTableView *view, const QString &field)
{
    const int c = ColumnOf(view, field);
    return c >= 0 && !view->isColumnHidden(c);
}

} // namespace

// ---- rules ------------------------------------------------------------------------------

QString QuoteDoubled(const QString &text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return quoted;
}

int FindDialogWidth(int currentWidth, int mainWidth, int maxWidth)
{
    int w = mainWidth / 6 * 5;
    if (w > 980 && maxWidth <= 980)
        w = 980;
    if (w < 660)
        return 660;
    if (w > currentWidth && w < mainWidth)
        return w;
    return currentWidth;
}

int FindDialogHeight(int currentHeight, int mainHeight)
{
    const int h = mainHeight / 6 * 4;
    if (h < 348)
        return 348;
    if (h > currentHeight && h < mainHeight)
        return h;
    return currentHeight;
}

int FindDialogRowsGrowth(const FindGridMeasures &grid, const ClientSettings &s)
{
    int space = grid.gridHeight;
    if (grid.footerShown)
        space -= s.CGridFooterHeight;
    if (grid.bandHeadersShown)
        space -= s.CGridHeaderHeight;
    if (!grid.columnsFitWidth)
        space -= s.ScrollBarHeight;
    space -= s.CGridLineWidth;
    space -= s.CGridHeaderHeight;
    space -= 2 * grid.borderWidth;
    if (s.CFindGridLines == 2 || s.CFindGridLines == 3)
        space -= 1;
    const int row = s.CGridDataRowHeight;
    if (row <= 0)
        return 0;
    const int rest = ((space % row) + row) % row;
    return rest == 0 ? 0 : row - rest;
}

QString TDocFindForm::ComposeCommandText(const QString &topText, const QString &fixedWhere,
                                         const QString &linkWhere, const QString &extraWhere,
                                         const QString &userWhere, const QString &orderText)
{
    QString text = topText.isEmpty() ? QString() : topText + QLatin1Char(' ');

    QString cond;
    if (!fixedWhere.isEmpty() && !linkWhere.isEmpty())
        cond = QStringLiteral(" (") + fixedWhere + QStringLiteral(") AND (") + linkWhere +
               QStringLiteral(") ");
    else
        cond = fixedWhere.isEmpty() ? linkWhere : fixedWhere;
    if (!extraWhere.isEmpty()) {
        if (!cond.isEmpty())
            cond += QStringLiteral(" AND (") + extraWhere + QLatin1Char(')');
        else
            cond = extraWhere;
    }

    if (!cond.isEmpty()) {
        text += QStringLiteral("WHERE (") + cond + QStringLiteral(") ");
        if (!userWhere.isEmpty())
            text += QStringLiteral(" AND (") + userWhere + QStringLiteral(") ");
    } else if (!userWhere.isEmpty()) {
        text += QStringLiteral(" WHERE (") + userWhere + QStringLiteral(") ");
    }

    if (cond.isEmpty() && userWhere.isEmpty() && linkWhere.isEmpty() && !orderText.isEmpty())
        text += QStringLiteral(" WHERE 1=1 ORDER BY ") + orderText;
    else if (orderText.trimmed().left(9).toUpper() == QLatin1String("ORDER BY "))
        text += QLatin1Char(' ') + orderText;
    else if (!orderText.isEmpty())
        text += QStringLiteral(" ORDER BY ") + orderText;
    return text.trimmed();
}

// ---- the dialog ---------------------------------------------------------------------------

TDocFindForm::TDocFindForm(QWidget *parent) : TChildDialogForm(parent)
{
    TopText = QStringLiteral("TOP ") + QString::number(Settings().CFindTopCount) + QLatin1Char(' ');
}

TDocFindForm::~TDocFindForm() = default;

TSetWhereForm *TDocFindForm::FilterForm() const
{
    return m_filterForm;
}

DataSetModel *TDocFindForm::BindGrid(QTableView *view, ClientDataSet *dataSet)
{
    auto *model = new DataSetModel(dataSet, view);
    model->setReadOnly(true);
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    SetMainGridView(view);
    return model;
}

void TDocFindForm::reject()
{
    done(mrCancel);
}

void TDocFindForm::SetMainGridView(QTableView *view)
{
    TChildDialogForm::SetMainGridView(view);
    if (!view)
        return;
    if (!m_noDataHint || m_noDataHint->parentWidget() != view->viewport()) {
        delete m_noDataHint;
        m_noDataHint = new QLabel(kNoDataText, view->viewport());
        m_noDataHint->setObjectName(QStringLiteral("lbNoData"));
        m_noDataHint->setAlignment(Qt::AlignCenter);
        m_noDataHint->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_noDataHint->setGeometry(view->viewport()->rect());
        m_noDataHint->hide();
        view->viewport()->installEventFilter(this);
    }
    DataSetModel *model = DataSetModelOf(view);
    if (!model)
        return;
    // The dataset's cursor and the grid's focused row follow each other.
    connect(model, &DataSetModel::currentRowChanged, this, &TDocFindForm::SyncViewRow,
            Qt::UniqueConnection);
    connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, model,
            [model](const QModelIndex &current) {
                if (current.isValid())
                    model->setCurrentRow(current.row());
            });
    connect(model, &DataSetModel::editFailed, this, &TDocFindForm::ShowEditFailure,
            Qt::UniqueConnection);
}

void TDocFindForm::ShowEditFailure(const QString &message)
{
    ShowErrorMessage(message);
}

void TDocFindForm::SyncViewRow(int row)
{
    QTableView *view = MainGridView();
    DataSetModel *model = DataSetModelOf(view);
    if (!model || row < 0 || row >= model->rowCount())
        return;
    QItemSelectionModel *selection = view->selectionModel();
    if (selection->currentIndex().row() == row && selection->isRowSelected(row))
        return;
    const int column = std::max(0, selection->currentIndex().column());
    selection->setCurrentIndex(model->index(row, column),
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TDocFindForm::InitDocFind()
{
    InitDataSets();
    if (QTableView *view = MainGridView()) {
        // Sorting by the user: a click on a header orders the rows by that column.
        QHeaderView *header = view->horizontalHeader();
        header->setSectionsClickable(true);
        header->setSortIndicatorShown(true);
        header->setSortIndicator(-1, Qt::AscendingOrder);
        connect(header, &QHeaderView::sectionClicked, this, [this, header](int section) {
            RunGuarded([&] {
                ClientDataSet *ds = MainDataSet();
                if (!ds || !ds->isActive() || section < 0 || section >= ds->fieldCount())
                    return;
                ds->setIndexFieldNames(ds->fieldDefs()[section].name);
                header->setSortIndicator(section, Qt::AscendingOrder);
            });
        });
        const int lines = Settings().CFindGridLines;
        view->setShowGrid(lines == 0);
        // A delegate the descendant chose stays; only the default one draws the lines.
        if (view->itemDelegate()->metaObject() == &QStyledItemDelegate::staticMetaObject)
            view->setItemDelegate(new FindGridDelegate(lines, false, view));
        ApplyDesignedColumns(); // when a dataset opened with the dialog
    }
    ApplyEditState(3);
}

void TDocFindForm::SetWhere(const QString &where)
{
    FixedWhere = where;
}

void TDocFindForm::UpdateNoDataHint()
{
    ClientDataSet *ds = MainDataSet();
    if (!m_noDataHint)
        return;
    m_noDataHint->setGeometry(m_noDataHint->parentWidget()->rect());
    m_noDataHint->setVisible(ds && ds->isEmpty());
}

void TDocFindForm::SelectFocusedRow()
{
    QTableView *view = MainGridView();
    ClientDataSet *ds = MainDataSet();
    if (view && ds && ds->isActive() && !ds->isEmpty())
        SyncViewRow(ds->recNo() - 1);
}

void TDocFindForm::ApplyDesignedColumns()
{
    QTableView *view = MainGridView();
    DataSetModel *model = DataSetModelOf(view);
    if (!model || model->columnCount() == 0)
        return;
    m_designApplied = true;
    if (!m_designed.isEmpty())
        ShowColumns(view, m_designed);
}

void TDocFindForm::RefreshData(bool disableControls)
{
    ClientDataSet *ds = MainDataSet();
    if (!ds)
        return;
    const BusyScope busy(HostRef());
    QTableView *view = MainGridView();
    DataSetModel *model = DataSetModelOf(view);
    const bool lockHere = view && !MainGridLocked();
    if (lockHere)
        BeginUpdate();
    if (disableControls)
        ds->disableControls();
    // The grid keeps its columns while the dataset is closed and opened again.
    const int columnsBefore = model ? model->columnCount() : 0;
    const QByteArray layout = model ? view->horizontalHeader()->saveState() : QByteArray();
    const auto restoreView = [&] {
        if (disableControls)
            ds->enableControls();
        if (model && model->columnCount() > 0) {
            if (model->columnCount() == columnsBefore && m_designApplied)
                view->horizontalHeader()->restoreState(layout);
            else
                ApplyDesignedColumns();
        }
        if (lockHere)
            EndUpdate(false);
    };
    auto restore = qScopeGuard(restoreView);

    const int recNo = ds->isActive() ? ds->recNo() : 0;
    QVariantList key;
    bool keyKept = false;
    if (view && !KeyFieldNames.isEmpty() && ds->isActive() && recNo > 0) {
        keyKept = true;
        for (const QString &f : KeyFieldNames.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            if (!ds->findField(f.trimmed())) {
                keyKept = false;
                break;
            }
            key << ds->value(f.trimmed());
        }
        // A row without its key cannot be found again by it: go back by row number.
        for (const QVariant &v : std::as_const(key))
            if (v.isNull())
                keyKept = false;
    }

    ds->close();
    ds->setCommandText(
        ComposeCommandText(TopText, FixedWhere, LinkWhere, ExtraWhere, UserWhere, OrderText));
    ds->open();

    UpdateNoDataHint();

    const bool found = keyKept && !ds->isEmpty() && ds->locate(KeyFieldNames, key);
    if (!found && !ds->isEmpty()) {
        if (recNo > 0) {
            if (ds->recordCount() >= recNo)
                ds->setRecNo(recNo);
            else
                ds->last();
        } else {
            ds->first();
        }
    }
    // Controls and layout come back before the focused row is marked.
    restore.dismiss();
    restoreView();
    SelectFocusedRow();
}

void TDocFindForm::ShowFilter()
{
    QString title = QStringLiteral("凭证");
    for (QLabel *label : findChildren<QLabel *>(QStringLiteral("lbTitle")))
        if (label->window() == this) {
            title = label->text();
            break;
        }

    if (FilterFormClass) {
        if (!m_customFilter) {
            m_customFilter = FilterFormClass.create(this);
            if (!m_customFilter)
                return;
            // Owned by this dialog whatever the factory did, so it lives as long as we do.
            if (m_customFilter->parent() != this)
                m_customFilter->setParent(this, m_customFilter->windowFlags());
        }
        if (DialogService::instance().exec(*m_customFilter) == QDialog::Accepted) {
            UserWhere =
                m_customFilter->property(FilterFormClass.whereProperty.constData()).toString();
            RefreshData(true);
        }
        return;
    }

    QTableView *view = MainGridView();
    if (!DataSetModelOf(view))
        return;
    if (!m_filterForm)
        m_filterForm = new TSetWhereForm(this);
    m_filterForm->lbTitle->setText(title);
    m_filterForm->WhereText = UserWhere;
    m_filterForm->SourceView = view;
    m_filterForm->SourceDataSet = MainDataSet();
    if (DialogService::instance().exec(*m_filterForm) == QDialog::Accepted) {
        UserWhere = m_filterForm->WhereText;
        RefreshData(true);
    }
}

void TDocFindForm::SetupPartColumns()
{
    if (PartColumnsDone)
        return;
    PartColumnsDone = true;
    QTableView *view = MainGridView();
    DataSetModel *model = DataSetModelOf(view);
    ClientDataSet *ds = MainDataSet();
    if (!model || !ds)
        return;
    QHeaderView *header = view->horizontalHeader();
    QTableView *tmpl = TemplateView;
    const auto templateColumn = [tmpl](const QString &field) {
        return tmpl ? ColumnOf(tmpl, field) : -1;
    };
    // Width, visibility and caption of the template's column of that field, when it has one.
    const auto copyFromTemplate = [&](int column, const QString &field) {
        const int t = templateColumn(field);
        if (t < 0)
            return;
        view->setColumnWidth(column, tmpl->columnWidth(t));
        view->setColumnHidden(column, tmpl->isColumnHidden(t));
        model->setCaption(field, ColumnCaption(tmpl, t));
    };

    const int partCode = ColumnOf(view, QStringLiteral("PartCode"));
    if (partCode >= 0) {
        if (!Session().CaptionPartCode.isEmpty())
            model->setCaption(QStringLiteral("PartCode"), Session().CaptionPartCode);
        const int t = templateColumn(QStringLiteral("PartCode"));
        if (t >= 0)
            view->setColumnWidth(partCode, tmpl->columnWidth(t));
    }
    const QString descField = PartColumns::DescField(ColumnOf(view, QStringLiteral("ItDesc")) >= 0);
    int point = ColumnOf(view, descField);
    if (point >= 0) {
        if (!Session().CaptionPartDesc.isEmpty())
            model->setCaption(descField, Session().CaptionPartDesc);
        const int t = templateColumn(QStringLiteral("ItDesc"));
        if (t >= 0)
            view->setColumnWidth(point, tmpl->columnWidth(t));
    }

    const int marque = ColumnOf(view, QStringLiteral("Marque"));
    if (PartColumns::ShowsMarque(tmpl && hasVisibleColumn(tmpl, QStringLiteral("Marque")),
                                 marque >= 0, marque >= 0 && view->isColumnHidden(marque))) {
        if (partCode >= 0)
            view->setItemDelegateForColumn(marque, view->itemDelegateForColumn(partCode));
        view->setColumnHidden(marque, false);
        placeAfter(header, point, marque);
        copyFromTemplate(marque, QStringLiteral("Marque"));
    }

    ClientDataSet *info = nullptr;
    if (DataModule *dm = Globals().DataModule
                             ? Globals().DataModule
                             : (Globals().Host ? Globals().Host->GetDataModule() : nullptr))
        info = dm->dataSet(QStringLiteral("CDS_SysInitInfo"));
    const PartColumns parts(info);
    const int lines = Settings().CFindGridLines;
    for (const PartColumn &part : parts.PropertyColumns(*ds)) {
        const int c = ColumnOf(view, part.field);
        if (c < 0)
            continue;
        if (part.fixedProperty || view->isColumnHidden(c))
            view->setColumnWidth(c, kPartColumnWidth);
        if (part.fixedProperty)
            view->setColumnHidden(c, false);
        if (part.hasCaption)
            model->setCaption(part.field, part.caption);
        if (part.fixedProperty)
            view->setItemDelegateForColumn(c, new FindGridDelegate(lines, true, view));
        else
            view->setColumnHidden(c, !part.shown);
        if (point >= 0) {
            placeAfter(header, point, c);
            copyFromTemplate(c, part.field);
        }
    }

    if (tmpl) {
        for (const QString &field : PartColumns::TemplateFields()) {
            const int c = ColumnOf(view, field);
            if (c >= 0)
                copyFromTemplate(c, field);
        }
    }
}

void TDocFindForm::ReloadColumnLayout()
{
    QTableView *view = MainGridView();
    DataSetModel *model = DataSetModelOf(view);
    ClientDataSet *ds = MainDataSet();
    if (!model || !ds || !ds->isActive())
        return;
    ClientDataSet layout;
    layout.setRemoteConnection(Connection());
    layout.setProviderName(QStringLiteral("ENV_EnvDataObject"));
    layout.setCommandText(QStringLiteral("WHERE DataObject = '") + ds->providerName() +
                          QStringLiteral("' ORDER BY Index"));
    layout.open();

    const bool lockHere = !MainGridLocked();
    if (lockHere)
        BeginUpdate();
    const auto end = qScopeGuard([&] {
        if (lockHere)
            EndUpdate(false);
    });
    QHeaderView *header = view->horizontalHeader();
    for (layout.first(); !layout.eof(); layout.next()) {
        const QString field = layout.asString(QStringLiteral("ColumnName"));
        const int c = ColumnOf(view, field);
        if (c < 0)
            continue;
        const int index = int(layout.asInteger(QStringLiteral("Index")));
        header->moveSection(header->visualIndex(c), std::clamp(index, 0, header->count() - 1));
        view->setColumnWidth(c, int(layout.asInteger(QStringLiteral("Width"))));
        view->setColumnHidden(c, !(layout.asBoolean(QStringLiteral("IsVisible")) &&
                                   !layout.asBoolean(QStringLiteral("InnerTag"))));
        model->setCaption(field, layout.asString(QStringLiteral("Caption")));
    }
}

void TDocFindForm::KeyHook(int &key)
{
    constexpr Qt::KeyboardModifiers all = Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier;
    if (key == Qt::Key_L && (m_keyModifiers & all) == all && Globals().Host &&
        Globals().Host->GetValue(QStringLiteral("DesignModule")).toBool() && MainDataSet() &&
        MainDataSet()->isActive()) {
        // Swallowed, so that the form's own key handler does not reload a second time.
        key = 0;
        RunGuarded([this] { ReloadColumnLayout(); });
        return;
    }
    TChildDialogForm::KeyHook(key);
}

bool TDocFindForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress)
        m_keyModifiers = static_cast<QKeyEvent *>(event)->modifiers();
    else if (event->type() == QEvent::Resize && m_noDataHint &&
             watched == m_noDataHint->parentWidget())
        m_noDataHint->setGeometry(m_noDataHint->parentWidget()->rect());
    return TChildDialogForm::eventFilter(watched, event);
}

void TDocFindForm::keyPressEvent(QKeyEvent *event)
{
    m_keyModifiers = event->modifiers();
    TChildDialogForm::keyPressEvent(event);
}

void TDocFindForm::showEvent(QShowEvent *event)
{
    TChildDialogForm::showEvent(event);
    if (event->spontaneous())
        return;
    if (QTableView *view = MainGridView()) {
        if (QWidget *main = Globals().Host ? Globals().Host->MainWindow() : nullptr) {
            const int maxWidth = maximumWidth() >= QWIDGETSIZE_MAX ? 0 : maximumWidth();
            resize(FindDialogWidth(width(), main->width(), maxWidth),
                   FindDialogHeight(height(), main->height()));
        }
        if (layout())
            layout()->activate();
        FindGridMeasures grid;
        grid.gridHeight = view->height();
        grid.borderWidth = view->frameWidth();
        grid.columnsFitWidth = view->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOff;
        if (const int grow = FindDialogRowsGrowth(grid, Settings())) {
            resize(width(), height() + grow);
            if (layout())
                layout()->activate();
        }
    }
    FormShow();
    // A malformed part-custom record must not take the event loop down with it.
    if (!PartColumnsDone)
        RunGuarded([this] { SetupPartColumns(); });
    if (QTableView *view = MainGridView(); view && view->focusPolicy() != Qt::NoFocus)
        SelectFocusedRow();
}

void TDocFindForm::SearchWith(const QString &condition)
{
    if (!condition.isEmpty())
        UserWhere = condition;
    else if (!UserWhere.isEmpty())
        UserWhere.clear();
    else
        return;
    RefreshData(true);
}

void TDocFindForm::ConnectSearchBox(QLineEdit *box, std::function<void(const QString &)> search)
{
    // Enter clears the change first, so the editingFinished that follows it does not
    // search twice.
    const auto run = [box, search = std::move(search)] {
        box->setModified(false);
        RunGuarded([&] { search(box->text()); });
    };
    connect(box, &QLineEdit::returnPressed, this, run);
    connect(box, &QLineEdit::editingFinished, this, [box, run] {
        if (box->isModified())
            run();
    });
}

void TDocFindForm::ConnectChoice(QTableView *view, std::function<void()> choose)
{
    // Only a row the user sees as current is chosen: the list has rows and the grid a
    // current cell.
    const auto pick = [view, choose = std::move(choose)] {
        const DataSetModel *model = DataSetModelOf(view);
        const ClientDataSet *ds = model ? model->dataSet() : nullptr;
        if (ds && ds->isActive() && !ds->isEmpty() && view->currentIndex().isValid())
            RunGuarded(choose);
    };
    connect(view, &QTableView::doubleClicked, this, pick);
    new GridEnterFilter(view, pick);
}

void TDocFindForm::ChooseBy(const QString &keyField)
{
    ClientDataSet *ds = MainDataSet();
    if (ds && ds->isActive() && !ds->isEmpty()) {
        SelectedValue = ds->value(keyField);
        accept();
    } else {
        reject();
    }
}

} // namespace vexa::gl
