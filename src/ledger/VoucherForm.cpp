#include "VoucherForm.h"

#include "DataAccess.h"
#include "DialogService.h"
#include "FormKit.h"
#include "MessageDialogs.h"
#include "Money.h"
#include "SelAccountingForm.h"
#include "VoucherLinesModel.h"

#include <vexa/Error.h>

#include <QComboBox>
#include <QDateEdit>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>

namespace vexa::ledger {

// The grid's cell editors: the 辅助核算 drop-down, and the keys an open editor hands to the
// form (Enter, "=" in an amount, F7 in the account).
class VoucherLineDelegate : public QStyledItemDelegate
{
public:
    VoucherLineDelegate(TVoucherForm &form, VoucherDraft &draft)
        : QStyledItemDelegate(&form), m_form(form), m_draft(draft)
    {}

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override
    {
        QWidget *editor;
        if (index.column() == VoucherLinesModel::Item) {
            auto *combo = new QComboBox(parent);
            combo->setObjectName(QStringLiteral("cbAuxItem"));
            combo->addItem(QString(), 0);
            try {
                for (const AuxItem &i : AuxItems(m_draft.lines.value(index.row()).itemList))
                    combo->addItem(QStringLiteral("%1 %2").arg(i.code, i.name), i.dacvId);
            } catch (const std::exception &e) {
                gl::ShowException(e);
            }
            editor = combo;
        } else {
            editor = QStyledItemDelegate::createEditor(parent, option, index);
            editor->setObjectName(QStringLiteral("edCell"));
        }
        m_editor = editor;
        return editor;
    }

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        if (auto *combo = qobject_cast<QComboBox *>(editor)) {
            combo->setCurrentIndex(qMax(0, combo->findData(index.data(Qt::EditRole))));
            return;
        }
        QStyledItemDelegate::setEditorData(editor, index);
    }

    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override
    {
        if (auto *combo = qobject_cast<QComboBox *>(editor)) {
            model->setData(index, combo->currentData(), Qt::EditRole);
            return;
        }
        QStyledItemDelegate::setModelData(editor, model, index);
    }

    // Writes the open editor's text and closes it.
    void commitOpen()
    {
        if (QWidget *editor = m_editor) {
            m_editor = nullptr;
            emit const_cast<VoucherLineDelegate *>(this)->commitData(editor);
            emit closeEditor(editor, QAbstractItemDelegate::NoHint);
        }
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress && watched == m_editor) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            const int column =
                m_form.findChild<QTableView *>(QStringLiteral("grdLines"))->currentIndex().column();
            const bool amount =
                column == VoucherLinesModel::Debit || column == VoucherLinesModel::Credit;
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                commitOpen();
                later([this] { m_form.Advance(); });
                return true;
            }
            if (key == Qt::Key_Equal && amount) {
                commitOpen();
                later([this] { m_form.FillBalance(); });
                return true;
            }
            if (key == Qt::Key_F7 && column == VoucherLinesModel::Account) {
                commitOpen();
                later([this] { m_form.PickAccount(); });
                return true;
            }
        }
        return QStyledItemDelegate::eventFilter(watched, event);
    }

private:
    // After the editor has gone: the view handles its closing first.
    void later(std::function<void()> action)
    {
        QPointer<TVoucherForm> form(&m_form);
        QTimer::singleShot(0, &m_form, [form, action] {
            if (form)
                gl::RunGuarded(action);
        });
    }

    TVoucherForm &m_form;
    VoucherDraft &m_draft;
    mutable QPointer<QWidget> m_editor;
};

namespace {

QLabel *label(const QString &text, QWidget *parent, const QString &name = QString())
{
    auto *l = new QLabel(text, parent);
    if (!name.isEmpty())
        l->setObjectName(name);
    return l;
}

QString statusText(const VoucherDraft &d)
{
    if (d.reversedBy > 0)
        return QStringLiteral("已冲销（只读）");
    switch (d.status) {
    case 1:
        return QStringLiteral("已审核（只读）");
    case 2:
        return QStringLiteral("已记账（只读）");
    default:
        return d.docEntry ? QStringLiteral("未审核") : QStringLiteral("新凭证");
    }
}

} // namespace

TVoucherForm::TVoucherForm(QWidget *parent) : gl::TLXChildForm(parent)
{
    setObjectName(QStringLiteral("TVoucherForm"));
    setWindowTitle(QStringLiteral("凭证录入"));
    SetModuleCaption(QStringLiteral("凭证录入"));

    auto *bar = new QHBoxLayout(plModuleToolbar);
    bar->setContentsMargins(4, 2, 4, 2);
    btnNew = gl::MakeButton(QStringLiteral("新增(Ctrl+N)"), QStringLiteral("btnNew"), this);
    btnSave = gl::MakeButton(QStringLiteral("保存(Ctrl+S)"), QStringLiteral("btnSave"), this);
    btnInsertLine =
        gl::MakeButton(QStringLiteral("插入行(Ctrl+Ins)"), QStringLiteral("btnInsertLine"), this);
    btnDeleteLine =
        gl::MakeButton(QStringLiteral("删除行(Ctrl+Del)"), QStringLiteral("btnDeleteLine"), this);
    btnPickAccount =
        gl::MakeButton(QStringLiteral("科目(F7)"), QStringLiteral("btnPickAccount"), this);
    btnBalance = gl::MakeButton(QStringLiteral("找平(=)"), QStringLiteral("btnBalance"), this);
    for (QPushButton *b :
         {btnNew, btnSave, btnInsertLine, btnDeleteLine, btnPickAccount, btnBalance})
        bar->addWidget(b);
    bar->addStretch(1);

    auto *client = new QVBoxLayout(plClient);
    client->addWidget(gl::MakeTitleLabel(QStringLiteral("记账凭证"), plClient));
    auto *head = new QHBoxLayout;
    cbNumCa = new QComboBox(plClient);
    cbNumCa->setObjectName(QStringLiteral("cbNumCa"));
    lbDocNum = label(QString(), plClient, QStringLiteral("lbDocNum"));
    lbDocNum->setMinimumWidth(90);
    edDocDate = new QDateEdit(plClient);
    edDocDate->setObjectName(QStringLiteral("edDocDate"));
    edDocDate->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    edDocDate->setCalendarPopup(true);
    edAttachments = new QSpinBox(plClient);
    edAttachments->setObjectName(QStringLiteral("edAttachments"));
    edAttachments->setRange(0, 9999);
    lbStatus = label(QString(), plClient, QStringLiteral("lbStatus"));
    head->addWidget(label(QStringLiteral("凭证字"), plClient));
    head->addWidget(cbNumCa);
    head->addWidget(label(QStringLiteral("凭证号"), plClient));
    head->addWidget(lbDocNum);
    head->addWidget(label(QStringLiteral("日期"), plClient));
    head->addWidget(edDocDate);
    head->addStretch(1);
    head->addWidget(lbStatus);
    head->addStretch(1);
    head->addWidget(label(QStringLiteral("附件"), plClient));
    head->addWidget(edAttachments);
    head->addWidget(label(QStringLiteral("张"), plClient));
    client->addLayout(head);

    m_model = new VoucherLinesModel(m_draft, this);
    m_delegate = new VoucherLineDelegate(*this, m_draft);
    grdLines = new QTableView(plClient);
    grdLines->setObjectName(QStringLiteral("grdLines"));
    grdLines->setModel(m_model);
    grdLines->setItemDelegate(m_delegate);
    grdLines->setSelectionMode(QAbstractItemView::SingleSelection);
    grdLines->setSelectionBehavior(QAbstractItemView::SelectItems);
    grdLines->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::AnyKeyPressed |
                              QAbstractItemView::EditKeyPressed |
                              QAbstractItemView::SelectedClicked);
    grdLines->setTabKeyNavigation(true);
    grdLines->horizontalHeader()->setSectionResizeMode(VoucherLinesModel::Summary,
                                                       QHeaderView::Stretch);
    grdLines->setColumnWidth(VoucherLinesModel::Account, 240);
    grdLines->setColumnWidth(VoucherLinesModel::Item, 140);
    grdLines->setColumnWidth(VoucherLinesModel::Debit, 130);
    grdLines->setColumnWidth(VoucherLinesModel::Credit, 130);
    grdLines->installEventFilter(this);
    SetMainGridView(grdLines);
    client->addWidget(grdLines, 1);

    auto *totals = new QHBoxLayout;
    lbBalance = label(QString(), plClient, QStringLiteral("lbBalance"));
    lbDebitTotal = label(QString(), plClient, QStringLiteral("lbDebitTotal"));
    lbCreditTotal = label(QString(), plClient, QStringLiteral("lbCreditTotal"));
    for (QLabel *l : {lbDebitTotal, lbCreditTotal}) {
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        l->setMinimumWidth(130);
    }
    totals->addWidget(label(QStringLiteral("合计"), plClient));
    totals->addWidget(lbBalance, 1);
    totals->addWidget(lbDebitTotal);
    totals->addWidget(lbCreditTotal);
    client->addLayout(totals);
    lbPeople = label(QString(), plClient, QStringLiteral("lbPeople"));
    client->addWidget(lbPeople);

    const auto guarded = [this](void (TVoucherForm::*action)()) {
        return [this, action] { gl::RunGuarded([this, action] { (this->*action)(); }); };
    };
    connect(btnNew, &QPushButton::clicked, this,
            [this] { gl::RunGuarded([this] { NewVoucher(); }); });
    connect(btnSave, &QPushButton::clicked, this, [this] { gl::RunGuarded([this] { Save(); }); });
    connect(btnInsertLine, &QPushButton::clicked, this, guarded(&TVoucherForm::InsertLine));
    connect(btnDeleteLine, &QPushButton::clicked, this, guarded(&TVoucherForm::DeleteLine));
    connect(btnPickAccount, &QPushButton::clicked, this, guarded(&TVoucherForm::PickAccount));
    connect(btnBalance, &QPushButton::clicked, this, guarded(&TVoucherForm::FillBalance));
    const auto shortcut = [this](const QKeySequence &keys, std::function<void()> action) {
        auto *s = new QShortcut(keys, this);
        s->setContext(Qt::WidgetWithChildrenShortcut);
        connect(s, &QShortcut::activated, this, [action] { gl::RunGuarded(action); });
    };
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_S), [this] { Save(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_N), [this] { NewVoucher(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Insert), [this] { InsertLine(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete), [this] { DeleteLine(); });
    shortcut(QKeySequence(Qt::Key_F7), [this] { PickAccount(); });

    connect(m_model, &VoucherLinesModel::linesChanged, this, [this] {
        if (!m_showing)
            m_modified = true;
        showTotals();
    });
    connect(m_model, &VoucherLinesModel::refused, this,
            [](const QString &message) { gl::ShowWarningMessage(message); });
    const auto headerEdited = [this] {
        if (!m_showing)
            m_modified = true;
    };
    connect(cbNumCa, &QComboBox::currentTextChanged, this, headerEdited);
    connect(edDocDate, &QDateEdit::dateChanged, this, headerEdited);
    connect(edAttachments, &QSpinBox::valueChanged, this, headerEdited);
}

TVoucherForm::~TVoucherForm() = default;

void TVoucherForm::readLists()
{
    gl::BusyScope busy;
    const QString word = cbNumCa->currentText();
    const QStringList words = VoucherWords();
    m_showing = true;
    cbNumCa->clear();
    cbNumCa->addItems(words);
    if (!word.isEmpty() && words.contains(word))
        cbNumCa->setCurrentText(word);
    m_showing = false;
    m_model->setAccounts(Accounts());
    m_periods = Periods();
    m_numberLength = VoucherNumberLength();
    m_listsRead = true;
}

QDate TVoucherForm::defaultDate() const
{
    QDate today = gl::DayNumberToDateTime(gl::ServerDate()).date();
    if (!today.isValid() || gl::ServerDate() <= 0)
        today = QDate::currentDate();
    if (m_periods.isEmpty() || PeriodOf(m_periods, today).periodId)
        return today;
    // Outside the calendar: the nearest end of it.
    return today < m_periods.first().from ? m_periods.first().from : m_periods.last().to;
}

void TVoucherForm::Execute(quint32 p1, const QString &p2, QVariant &p3)
{
    readLists();
    if (p2 == QLatin1String("DocEntry") && p1 > 0) {
        if (int(p1) != m_draft.docEntry && !mayDiscard())
            return;
        load(LoadVoucher(int(p1)));
        return;
    }
    if (p2 == QLatin1String("Correct") && p1 > 0) {
        if (!mayDiscard())
            return;
        const VoucherDraft original = LoadVoucher(int(p1));
        VoucherDraft blue;
        blue.numCa = original.numCa;
        blue.docDate = p3.toDate().isValid() ? p3.toDate() : defaultDate();
        blue.attachments = original.attachments;
        blue.lines = original.lines;
        load(blue);
        m_modified = true;
        gl::ShowInfoMessage(
            QStringLiteral("原凭证已用红字凭证冲销。请在这张订正凭证中改正分录后保存。"));
        return;
    }
    if (cbNumCa->count() == 0)
        gl::ShowWarningMessage(
            QStringLiteral("账套还没有凭证字，请先在凭证字设置中添加（如“记”）。"));
    if (!m_draft.docEntry && !m_modified && m_draft.lines.isEmpty()) {
        VoucherDraft fresh;
        fresh.numCa = cbNumCa->currentText();
        fresh.docDate = defaultDate();
        load(fresh);
    }
}

bool TVoucherForm::ReadOnly() const
{
    return m_draft.status != 0 || m_draft.reversedBy > 0;
}

void TVoucherForm::load(const VoucherDraft &draft)
{
    m_draft = draft;
    if (m_draft.lines.isEmpty())
        m_draft.appendLine();
    showDraft();
    m_modified = false;
    grdLines->setCurrentIndex(m_model->index(0, VoucherLinesModel::Summary));
}

void TVoucherForm::showDraft()
{
    m_showing = true;
    if (!m_draft.numCa.isEmpty()) {
        if (cbNumCa->findText(m_draft.numCa) < 0)
            cbNumCa->addItem(m_draft.numCa);
        cbNumCa->setCurrentText(m_draft.numCa);
    }
    edDocDate->setDate(m_draft.docDate.isValid() ? m_draft.docDate : defaultDate());
    edAttachments->setValue(m_draft.attachments);
    const bool readOnly = ReadOnly();
    m_model->setReadOnly(readOnly);
    m_model->reload();
    for (QWidget *w :
         std::initializer_list<QWidget *>{cbNumCa, edDocDate, edAttachments, btnSave, btnInsertLine,
                                          btnDeleteLine, btnPickAccount, btnBalance})
        w->setEnabled(!readOnly);
    lbStatus->setText(statusText(m_draft));
    QStringList people;
    const auto add = [&people](const char *role, const QString &name) {
        if (!name.trimmed().isEmpty())
            people << QString::fromUtf8(role) + name.trimmed();
    };
    add("制单：", m_draft.maker);
    add("审核：", m_draft.reviewer);
    add("出纳：", m_draft.cashier);
    add("记账：", m_draft.poster);
    lbPeople->setText(people.join(QStringLiteral("    ")));
    showNumber();
    showTotals();
    m_showing = false;
}

void TVoucherForm::showNumber()
{
    lbDocNum->setText(m_draft.docNum > 0
                          ? VoucherNumberText(m_draft.numCa, m_draft.docNum, m_numberLength)
                          : QStringLiteral("（保存后编号）"));
}

void TVoucherForm::showTotals()
{
    lbDebitTotal->setText(Money::format(m_draft.debitTotal()));
    lbCreditTotal->setText(Money::format(m_draft.creditTotal()));
    const qint64 difference = m_draft.difference();
    lbBalance->setText(difference == 0
                           ? QStringLiteral("借贷平衡")
                           : QStringLiteral("借贷不平衡，差额 %1").arg(Money::format(difference)));
    lbBalance->setStyleSheet(difference == 0 ? QString() : QStringLiteral("color: red;"));
}

void TVoucherForm::takeHeader()
{
    m_draft.numCa = cbNumCa->currentText().trimmed();
    m_draft.docDate = edDocDate->date();
    m_draft.attachments = edAttachments->value();
}

bool TVoucherForm::mayDiscard()
{
    m_delegate->commitOpen();
    if (!m_modified || ReadOnly())
        return true;
    return gl::AskYesNo(QStringLiteral("当前凭证还没有保存，放弃修改吗？")) == gl::mrOk;
}

bool TVoucherForm::NewVoucher()
{
    if (!mayDiscard())
        return false;
    if (!m_listsRead)
        readLists();
    VoucherDraft fresh;
    fresh.numCa = cbNumCa->currentText();
    // The next voucher is mostly of the same day and word.
    fresh.docDate = edDocDate->date().isValid() && m_draft.docDate.isValid() ? edDocDate->date()
                                                                             : defaultDate();
    load(fresh);
    grdLines->setFocus();
    return true;
}

bool TVoucherForm::Save()
{
    m_delegate->commitOpen();
    if (ReadOnly())
        return false;
    takeHeader();
    try {
        m_draft.validate();
    } catch (const Error &e) {
        gl::ShowWarningMessage(e.message());
        return false;
    }
    SavedVoucher saved;
    try {
        gl::BusyScope busy;
        saved = SaveVoucher(m_draft);
    } catch (const Error &e) {
        gl::ShowErrorMessage(e.message());
        return false;
    }
    m_draft.docEntry = saved.docEntry;
    m_draft.numCa = saved.numCa;
    m_draft.docNum = saved.docNum;
    m_draft.status = saved.status;
    if (m_draft.maker.isEmpty())
        m_draft.maker = gl::CurrentUserName();
    showDraft();
    m_modified = false;
    return true;
}

void TVoucherForm::InsertLine()
{
    if (ReadOnly())
        return;
    m_delegate->commitOpen();
    const int current = grdLines->currentIndex().isValid() ? grdLines->currentIndex().row()
                                                           : int(m_draft.lines.size());
    const int row = m_model->insertLine(current);
    grdLines->setCurrentIndex(m_model->index(row, VoucherLinesModel::Summary));
    grdLines->setFocus();
}

void TVoucherForm::DeleteLine()
{
    if (ReadOnly())
        return;
    m_delegate->commitOpen();
    const QModelIndex current = grdLines->currentIndex();
    if (!current.isValid())
        return;
    m_model->removeLine(current.row());
    if (m_draft.lines.isEmpty())
        m_model->insertLine(0);
    const int row = qMin(current.row(), int(m_draft.lines.size()) - 1);
    grdLines->setCurrentIndex(m_model->index(row, current.column()));
}

void TVoucherForm::FillBalance()
{
    m_delegate->commitOpen();
    const QModelIndex current = grdLines->currentIndex();
    if (!current.isValid())
        return;
    m_model->fillBalance(current.row());
    const int column = m_draft.lines[current.row()].debit != 0 ? VoucherLinesModel::Debit
                                                               : VoucherLinesModel::Credit;
    grdLines->setCurrentIndex(m_model->index(current.row(), column));
}

void TVoucherForm::PickAccount()
{
    if (ReadOnly())
        return;
    m_delegate->commitOpen();
    QModelIndex current = grdLines->currentIndex();
    if (!current.isValid()) {
        if (m_draft.lines.isEmpty())
            m_model->insertLine(0);
        current = m_model->index(0, VoucherLinesModel::Account);
    }
    gl::TSelAccountingForm picker(this);
    picker.LeafOnly = true;
    if (gl::DialogService::instance().exec(picker) != QDialog::Accepted)
        return;
    const LedgerAccount *account = FindAccount(m_model->accounts(), picker.SelectedValue.toInt());
    if (!account) { // made since the page read the chart
        m_model->setAccounts(Accounts());
        account = FindAccount(m_model->accounts(), picker.SelectedValue.toInt());
    }
    if (!account)
        return;
    // The picker shows only leaves; one frozen since is refused as a typed code is.
    m_model->setData(m_model->index(current.row(), VoucherLinesModel::Account), account->code,
                     Qt::EditRole);
    grdLines->setCurrentIndex(m_model->index(current.row(), VoucherLinesModel::Account));
    grdLines->setFocus();
}

void TVoucherForm::Advance()
{
    QModelIndex current = grdLines->currentIndex();
    if (!current.isValid() || ReadOnly())
        return;
    const int row = current.row();
    const VoucherLineDraft &line = m_draft.lines[row];
    int next = -1;
    switch (current.column()) {
    case VoucherLinesModel::Summary:
        next = VoucherLinesModel::Account;
        break;
    case VoucherLinesModel::Account: // a refused code stays to be corrected
        next = line.acctId == 0    ? VoucherLinesModel::Account
               : line.itemList > 0 ? VoucherLinesModel::Item
                                   : VoucherLinesModel::Debit;
        break;
    case VoucherLinesModel::Item:
        next = VoucherLinesModel::Debit;
        break;
    case VoucherLinesModel::Debit:
        next = line.debit != 0 ? -1 : VoucherLinesModel::Credit;
        break;
    default:
        break;
    }
    QModelIndex target;
    if (next >= 0) {
        target = m_model->index(row, next);
    } else {
        const int nextRow = row + 1 < m_draft.lines.size() ? row + 1 : m_model->insertLine(row + 1);
        target = m_model->index(nextRow, VoucherLinesModel::Summary);
    }
    grdLines->setCurrentIndex(target);
    grdLines->edit(target);
}

bool TVoucherForm::eventFilter(QObject *watched, QEvent *event)
{
    // An open editor has the keys itself (the delegate hands the form's keys on).
    if (watched == grdLines && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier) {
            switch (key->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                gl::RunGuarded([this] { Advance(); });
                return true;
            case Qt::Key_Equal:
                gl::RunGuarded([this] { FillBalance(); });
                return true;
            default:
                break;
            }
        }
    }
    return gl::TLXChildForm::eventFilter(watched, event);
}

} // namespace vexa::ledger
