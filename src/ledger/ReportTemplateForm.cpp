#include "ReportTemplateForm.h"

#include "DialogService.h"
#include "FormKit.h"
#include "MessageDialogs.h"
#include "SelAccountingForm.h"

#include <vexa/Error.h>

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace vexa::ledger {

namespace {

using S = QString;

const QStringList kTypeNames = {S("标题"), S("科目取数"), S("行合计"), S("手工填列")};
const QStringList kFetchTypes = {S("QM"), S("JQM"), S("DQM"), S("SY")};
const QStringList kFetchNames = {S("期末余额 QM"), S("借方余额 JQM"), S("贷方余额 DQM"),
                                 S("损益发生额 SY")};

QTableWidget *makeGrid(const QString &name, const QStringList &captions, QWidget *parent)
{
    auto *g = new QTableWidget(parent);
    g->setObjectName(name);
    g->setColumnCount(int(captions.size()));
    g->setHorizontalHeaderLabels(captions);
    g->setSelectionBehavior(QAbstractItemView::SelectRows);
    g->setSelectionMode(QAbstractItemView::SingleSelection);
    g->verticalHeader()->hide();
    return g;
}

QComboBox *signCombo(bool minus)
{
    auto *c = new QComboBox;
    c->addItems({S("+"), S("−")});
    c->setCurrentIndex(minus ? 1 : 0);
    return c;
}

QTableWidgetItem *fixed(const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

} // namespace

TReportTemplateForm::TReportTemplateForm(QWidget *parent) : gl::TLXChildForm(parent)
{
    setObjectName(S("TReportTemplateForm"));
    setWindowTitle(S("报表定义"));
    SetModuleCaption(S("报表定义"));
    plModuleToolbar->hide();
    auto *client = new QVBoxLayout(plClient);
    client->addWidget(gl::MakeTitleLabel(S("报表定义"), plClient));

    auto *bar = new QHBoxLayout;
    bar->addWidget(new QLabel(S("报表格式"), plClient));
    cbTemplet = new QComboBox(plClient);
    cbTemplet->setObjectName(S("cbTemplet"));
    cbTemplet->setMinimumContentsLength(16);
    bar->addWidget(cbTemplet);
    btnNew = gl::MakeButton(S("新建"), S("btnNew"), this);
    btnCopy = gl::MakeButton(S("复制"), S("btnCopy"), this);
    btnDelete = gl::MakeButton(S("删除"), S("btnDelete"), this);
    btnSave = gl::MakeButton(S("保存"), S("btnSave"), this);
    for (QPushButton *b : {btnNew, btnCopy, btnDelete, btnSave})
        bar->addWidget(b);
    bar->addStretch(1);
    client->addLayout(bar);

    auto *head = new QHBoxLayout;
    head->addWidget(new QLabel(S("代码"), plClient));
    edCode = new QLineEdit(plClient);
    edCode->setObjectName(S("edCode"));
    head->addWidget(edCode);
    head->addWidget(new QLabel(S("名称"), plClient));
    edName = new QLineEdit(plClient);
    edName->setObjectName(S("edName"));
    head->addWidget(edName, 1);
    head->addWidget(new QLabel(S("类型"), plClient));
    cbType = new QComboBox(plClient);
    cbType->setObjectName(S("cbType"));
    cbType->addItem(S("资产负债表"), 1);
    cbType->addItem(S("利润表"), 2);
    head->addWidget(cbType);
    client->addLayout(head);

    auto *split = new QSplitter(Qt::Vertical, plClient);
    auto *top = new QWidget(split);
    auto *topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    grdItems = makeGrid(S("grdItems"), {S("行次"), S("项目名称"), S("类型"), S("缩进")}, top);
    grdItems->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    topLayout->addWidget(grdItems, 1);
    auto *lineBar = new QHBoxLayout;
    btnAddLine = gl::MakeButton(S("增加行"), S("btnAddLine"), this);
    btnInsertLine = gl::MakeButton(S("插入行"), S("btnInsertLine"), this);
    btnDeleteLine = gl::MakeButton(S("删除行"), S("btnDeleteLine"), this);
    btnMoveUp = gl::MakeButton(S("上移"), S("btnMoveUp"), this);
    btnMoveDown = gl::MakeButton(S("下移"), S("btnMoveDown"), this);
    for (QPushButton *b : {btnAddLine, btnInsertLine, btnDeleteLine, btnMoveUp, btnMoveDown})
        lineBar->addWidget(b);
    lineBar->addStretch(1);
    topLayout->addLayout(lineBar);

    auto *bottom = new QWidget(split);
    auto *bottomLayout = new QVBoxLayout(bottom);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    lbDetail = new QLabel(bottom);
    lbDetail->setObjectName(S("lbDetail"));
    bottomLayout->addWidget(lbDetail);
    stDetail = new QStackedWidget(bottom);
    bottomLayout->addWidget(stDetail, 1);

    auto *termsPage = new QWidget(stDetail);
    auto *termsLayout = new QVBoxLayout(termsPage);
    termsLayout->setContentsMargins(0, 0, 0, 0);
    grdTerms = makeGrid(S("grdTerms"), {S("科目代码"), S("科目名称"), S("取数方式"), S("运算")},
                        termsPage);
    grdTerms->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    termsLayout->addWidget(grdTerms, 1);
    auto *termBar = new QHBoxLayout;
    btnAddTerm = gl::MakeButton(S("增加科目"), S("btnAddTerm"), this);
    btnPickAccount = gl::MakeButton(S("科目(F7)"), S("btnPickAccount"), this);
    btnDeleteTerm = gl::MakeButton(S("删除科目"), S("btnDeleteTerm"), this);
    for (QPushButton *b : {btnAddTerm, btnPickAccount, btnDeleteTerm})
        termBar->addWidget(b);
    termBar->addStretch(1);
    termsLayout->addLayout(termBar);
    stDetail->addWidget(termsPage);

    auto *sumsPage = new QWidget(stDetail);
    auto *sumsLayout = new QVBoxLayout(sumsPage);
    sumsLayout->setContentsMargins(0, 0, 0, 0);
    grdSums = makeGrid(S("grdSums"), {S("行"), S("运算")}, sumsPage);
    grdSums->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    sumsLayout->addWidget(grdSums, 1);
    auto *sumBar = new QHBoxLayout;
    btnAddSum = gl::MakeButton(S("增加合计项"), S("btnAddSum"), this);
    btnDeleteSum = gl::MakeButton(S("删除合计项"), S("btnDeleteSum"), this);
    sumBar->addWidget(btnAddSum);
    sumBar->addWidget(btnDeleteSum);
    sumBar->addStretch(1);
    sumsLayout->addLayout(sumBar);
    stDetail->addWidget(sumsPage);
    stDetail->addWidget(new QWidget(stDetail)); // headings and lines by hand
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    client->addWidget(split, 1);
    lbStatus = new QLabel(plClient);
    lbStatus->setObjectName(S("lbStatus"));
    client->addWidget(lbStatus);

    const auto guarded = [this](std::function<void()> action) {
        return [action] { gl::RunGuarded(action); };
    };
    connect(btnNew, &QPushButton::clicked, this, guarded([this] { NewTemplate(); }));
    connect(btnCopy, &QPushButton::clicked, this, guarded([this] { CopyTemplate(); }));
    connect(btnDelete, &QPushButton::clicked, this, guarded([this] { DeleteTemplate(); }));
    connect(btnSave, &QPushButton::clicked, this, guarded([this] { Save(); }));
    connect(btnPickAccount, &QPushButton::clicked, this, guarded([this] { PickAccount(); }));
    auto *f7 = new QShortcut(QKeySequence(Qt::Key_F7), this);
    f7->setContext(Qt::WidgetWithChildrenShortcut);
    connect(f7, &QShortcut::activated, this, guarded([this] { PickAccount(); }));

    connect(cbTemplet, &QComboBox::activated, this, guarded([this] {
                const int wanted = cbTemplet->currentData().toInt();
                if (wanted == m_draft.templetId)
                    return;
                if (!mayLeave()) {
                    QSignalBlocker block(cbTemplet);
                    cbTemplet->setCurrentIndex(cbTemplet->findData(m_draft.templetId));
                    return;
                }
                open(wanted);
            }));
    connect(edCode, &QLineEdit::textEdited, this, [this](const QString &t) { m_draft.code = t; });
    connect(edName, &QLineEdit::textEdited, this, [this](const QString &t) { m_draft.name = t; });
    connect(cbType, &QComboBox::activated, this,
            [this] { m_draft.type = cbType->currentData().toInt(); });

    const auto lineAction = [this, guarded](std::function<int(int)> action) {
        return guarded([this, action] {
            const int row = action(currentLine());
            fillItems();
            selectLine(row);
        });
    };
    connect(btnAddLine, &QPushButton::clicked, this,
            lineAction([this](int) { return m_draft.insertLine(int(m_draft.lines.size())); }));
    connect(btnInsertLine, &QPushButton::clicked, this,
            lineAction([this](int at) { return m_draft.insertLine(at < 0 ? 0 : at); }));
    connect(btnDeleteLine, &QPushButton::clicked, this, lineAction([this](int at) {
                if (at < 0)
                    return at;
                const TemplateLine &l = m_draft.lines[at];
                if (gl::AskYesNo(S("删除项目“%1”？合计它的行不再含它。").arg(l.name)) != gl::mrOk)
                    return at;
                m_draft.removeLine(at);
                return std::min(at, int(m_draft.lines.size()) - 1);
            }));
    connect(btnMoveUp, &QPushButton::clicked, this,
            lineAction([this](int at) { return m_draft.moveLine(at, -1) ? at - 1 : at; }));
    connect(btnMoveDown, &QPushButton::clicked, this,
            lineAction([this](int at) { return m_draft.moveLine(at, 1) ? at + 1 : at; }));

    connect(grdItems, &QTableWidget::currentCellChanged, this, [this] {
        if (!m_filling)
            gl::RunGuarded([this] { fillDetail(); });
    });
    connect(grdItems, &QTableWidget::cellChanged, this, [this](int row, int column) {
        if (!m_filling)
            gl::RunGuarded([=, this] { lineEdited(row, column); });
    });
    connect(grdTerms, &QTableWidget::cellChanged, this, [this](int row, int column) {
        if (!m_filling)
            gl::RunGuarded([=, this] { termEdited(row, column); });
    });
    connect(btnAddTerm, &QPushButton::clicked, this, guarded([this] { addTerm(); }));
    connect(btnDeleteTerm, &QPushButton::clicked, this, guarded([this] {
                const int at = currentLine(), t = grdTerms->currentRow();
                if (at < 0 || t < 0 || t >= m_draft.lines[at].terms.size())
                    return;
                m_draft.lines[at].terms.removeAt(t);
                fillDetail();
            }));
    connect(btnAddSum, &QPushButton::clicked, this, guarded([this] { addSum(); }));
    connect(btnDeleteSum, &QPushButton::clicked, this, guarded([this] {
                const int at = currentLine(), s = grdSums->currentRow();
                if (at < 0 || s < 0 || s >= m_draft.lines[at].sums.size())
                    return;
                m_draft.lines[at].sums.removeAt(s);
                fillDetail();
            }));
}

void TReportTemplateForm::Execute(quint32, const QString &, QVariant &)
{
    gl::BusyScope busy;
    m_accounts = Accounts();
    if (m_draft.templetId == 0 && !Modified())
        readList(0);
}

void TReportTemplateForm::ReleaseForm()
{
    if (!mayLeave())
        throw Error(S("报表格式还没有保存，窗口未关闭。"));
}

bool TReportTemplateForm::mayLeave()
{
    if (!Modified())
        return true;
    const QString name = m_draft.name.trimmed().isEmpty() ? S("新报表格式") : m_draft.name;
    const int answer = gl::AskSaveChanges(S("报表格式“%1”已修改，是否保存？").arg(name));
    if (answer == gl::mrYes)
        return Save();
    return answer == gl::mrNo;
}

void TReportTemplateForm::readList(int select)
{
    const QList<TemplateHeader> list = ReportTemplates();
    {
        QSignalBlocker block(cbTemplet);
        cbTemplet->clear();
        for (const TemplateHeader &t : list)
            cbTemplet->addItem(S("%1 %2").arg(t.code, t.name), t.id);
    }
    if (list.isEmpty()) {
        m_draft = m_saved = TemplateDraft{};
        showDraft();
        return;
    }
    const int at = cbTemplet->findData(select);
    open(at >= 0 ? select : list.front().id);
}

void TReportTemplateForm::open(int templetId)
{
    {
        gl::BusyScope busy;
        m_draft = LoadReportTemplate(templetId);
    }
    m_saved = m_draft;
    showDraft();
}

void TReportTemplateForm::showDraft()
{
    {
        QSignalBlocker block(cbTemplet);
        const int at = cbTemplet->findData(m_draft.templetId);
        cbTemplet->setCurrentIndex(m_draft.templetId == 0 ? -1 : at);
    }
    edCode->setText(m_draft.code);
    edName->setText(m_draft.name);
    cbType->setCurrentIndex(qMax(0, cbType->findData(m_draft.type)));
    btnDelete->setEnabled(m_draft.templetId != 0);
    btnCopy->setEnabled(!m_draft.lines.isEmpty() || m_draft.templetId != 0);
    lbStatus->setText(m_draft.templetId == 0 ? S("新报表格式，保存后生效。") : QString());
    fillItems();
    selectLine(m_draft.lines.isEmpty() ? -1 : 0);
}

void TReportTemplateForm::fillItems()
{
    m_filling = true;
    grdItems->setRowCount(0); // drops the type boxes of the rows as they were
    grdItems->setRowCount(int(m_draft.lines.size()));
    for (int r = 0; r < m_draft.lines.size(); ++r) {
        const TemplateLine &l = m_draft.lines[r];
        grdItems->setItem(r, 0, new QTableWidgetItem(l.line ? QString::number(*l.line) : S("")));
        grdItems->setItem(r, 1, new QTableWidgetItem(l.name));
        auto *type = new QComboBox;
        type->addItems(kTypeNames);
        type->setCurrentIndex(l.type);
        const int key = l.key;
        connect(type, &QComboBox::activated, this, [this, key](int chosen) {
            const int at = m_draft.indexOfKey(key);
            m_draft.setType(at, chosen);
            selectLine(at);
            fillDetail();
        });
        grdItems->setCellWidget(r, 2, type);
        grdItems->setItem(r, 3, new QTableWidgetItem(QString::number(l.indent)));
    }
    grdItems->resizeColumnToContents(0);
    m_filling = false;
}

int TReportTemplateForm::currentLine() const
{
    const int r = grdItems->currentRow();
    return r >= 0 && r < m_draft.lines.size() ? r : -1;
}

void TReportTemplateForm::selectLine(int row)
{
    if (row >= 0 && row < grdItems->rowCount())
        grdItems->setCurrentCell(row, 1);
    fillDetail();
}

void TReportTemplateForm::fillDetail()
{
    m_filling = true;
    const int at = currentLine();
    grdTerms->setRowCount(0);
    grdSums->setRowCount(0);
    if (at < 0) {
        lbDetail->clear();
        stDetail->setCurrentIndex(2);
        m_filling = false;
        return;
    }
    const TemplateLine &l = m_draft.lines[at];
    const int key = l.key;
    if (l.type == TemplateLine::Accounts) {
        lbDetail->setText(S("“%1”的取数科目：").arg(l.name));
        stDetail->setCurrentIndex(0);
        grdTerms->setRowCount(int(l.terms.size()));
        for (int r = 0; r < l.terms.size(); ++r) {
            const TemplateTerm &t = l.terms[r];
            grdTerms->setItem(r, 0, new QTableWidgetItem(t.code));
            const LedgerAccount *a = FindAccount(m_accounts, t.code);
            grdTerms->setItem(r, 1, fixed(a ? a->fullName : S("（科目表中没有）")));
            auto *fetch = new QComboBox;
            fetch->addItems(kFetchNames);
            fetch->setCurrentIndex(qMax(0, int(kFetchTypes.indexOf(t.fetch))));
            connect(fetch, &QComboBox::activated, this, [this, key, r](int chosen) {
                const int i = m_draft.indexOfKey(key);
                if (i >= 0 && r < m_draft.lines[i].terms.size())
                    m_draft.lines[i].terms[r].fetch = kFetchTypes[chosen];
            });
            grdTerms->setCellWidget(r, 2, fetch);
            auto *sign = signCombo(t.minus);
            connect(sign, &QComboBox::activated, this, [this, key, r](int chosen) {
                const int i = m_draft.indexOfKey(key);
                if (i >= 0 && r < m_draft.lines[i].terms.size())
                    m_draft.lines[i].terms[r].minus = chosen == 1;
            });
            grdTerms->setCellWidget(r, 3, sign);
        }
    } else if (l.type == TemplateLine::Sum) {
        lbDetail->setText(S("“%1”合计的行：").arg(l.name));
        stDetail->setCurrentIndex(1);
        grdSums->setRowCount(int(l.sums.size()));
        for (int r = 0; r < l.sums.size(); ++r) {
            const TemplateSum &s = l.sums[r];
            auto *member = new QComboBox;
            for (const TemplateLine &o : m_draft.lines)
                if (o.key != key)
                    member->addItem(m_draft.label(o.key), o.key);
            member->setCurrentIndex(member->findData(s.key));
            connect(member, &QComboBox::activated, this, [this, key, r, member] {
                const int i = m_draft.indexOfKey(key);
                if (i >= 0 && r < m_draft.lines[i].sums.size())
                    m_draft.lines[i].sums[r].key = member->currentData().toInt();
            });
            grdSums->setCellWidget(r, 0, member);
            auto *sign = signCombo(s.minus);
            connect(sign, &QComboBox::activated, this, [this, key, r](int chosen) {
                const int i = m_draft.indexOfKey(key);
                if (i >= 0 && r < m_draft.lines[i].sums.size())
                    m_draft.lines[i].sums[r].minus = chosen == 1;
            });
            grdSums->setCellWidget(r, 1, sign);
        }
    } else {
        lbDetail->setText(l.type == TemplateLine::Heading
                              ? S("“%1”是标题行，不取数。").arg(l.name)
                              : S("“%1”手工填列，金额在报表中录入。").arg(l.name));
        stDetail->setCurrentIndex(2);
    }
    m_filling = false;
}

void TReportTemplateForm::lineEdited(int row, int column)
{
    if (row < 0 || row >= m_draft.lines.size())
        return;
    TemplateLine &l = m_draft.lines[row];
    const QString text = grdItems->item(row, column)->text().trimmed();
    if (column == 0) {
        bool ok = false;
        const int n = text.toInt(&ok);
        if (text.isEmpty())
            l.line.reset();
        else if (ok && n > 0)
            l.line = n;
        else
            gl::ShowWarningMessage(S("行次应为正整数：%1。").arg(text));
    } else if (column == 1) {
        l.name = text;
    } else if (column == 3) {
        bool ok = false;
        const int n = text.toInt(&ok);
        if (ok && n >= 0 && n <= 9)
            l.indent = n;
        else
            gl::ShowWarningMessage(S("缩进应在 0 到 9 之间：%1。").arg(text));
    }
    m_filling = true;
    grdItems->item(row, 0)->setText(l.line ? QString::number(*l.line) : S(""));
    grdItems->item(row, 3)->setText(QString::number(l.indent));
    m_filling = false;
}

void TReportTemplateForm::termEdited(int row, int column)
{
    const int at = currentLine();
    if (at < 0 || column != 0 || row >= m_draft.lines[at].terms.size())
        return;
    TemplateTerm &t = m_draft.lines[at].terms[row];
    t.code = grdTerms->item(row, 0)->text().trimmed();
    const LedgerAccount *a = FindAccount(m_accounts, t.code);
    m_filling = true;
    grdTerms->item(row, 1)->setText(a ? a->fullName : S("（科目表中没有）"));
    m_filling = false;
}

void TReportTemplateForm::addTerm()
{
    const int at = currentLine();
    if (at < 0 || m_draft.lines[at].type != TemplateLine::Accounts)
        return;
    m_draft.lines[at].terms.append(TemplateTerm{});
    fillDetail();
    grdTerms->setCurrentCell(int(m_draft.lines[at].terms.size()) - 1, 0);
}

void TReportTemplateForm::addSum()
{
    const int at = currentLine();
    if (at < 0 || m_draft.lines[at].type != TemplateLine::Sum || m_draft.lines.size() < 2)
        return;
    // The line above is the usual first choice.
    const int other = at > 0 ? at - 1 : at + 1;
    m_draft.lines[at].sums.append(TemplateSum{m_draft.lines[other].key, false});
    fillDetail();
    grdSums->setCurrentCell(int(m_draft.lines[at].sums.size()) - 1, 0);
}

void TReportTemplateForm::PickAccount()
{
    const int at = currentLine();
    if (at < 0 || m_draft.lines[at].type != TemplateLine::Accounts)
        return;
    gl::TSelAccountingForm picker(this);
    if (gl::DialogService::instance().exec(picker) != QDialog::Accepted)
        return;
    const LedgerAccount *account = FindAccount(m_accounts, picker.SelectedValue.toInt());
    if (!account) { // made since the page read the chart
        m_accounts = Accounts();
        account = FindAccount(m_accounts, picker.SelectedValue.toInt());
    }
    if (!account)
        return;
    QList<TemplateTerm> &terms = m_draft.lines[at].terms;
    int row = grdTerms->currentRow();
    if (row < 0 || row >= terms.size()) {
        terms.append(TemplateTerm{});
        row = int(terms.size()) - 1;
    }
    terms[row].code = account->code;
    fillDetail();
    grdTerms->setCurrentCell(row, 0);
}

bool TReportTemplateForm::Save()
{
    if (QWidget *editor = QApplication::focusWidget())
        if (grdItems->isAncestorOf(editor) || grdTerms->isAncestorOf(editor))
            editor->clearFocus(); // commits an open cell editor
    m_draft.code = edCode->text();
    m_draft.name = edName->text();
    m_draft.type = cbType->currentData().toInt();
    int id = 0;
    try {
        gl::BusyScope busy;
        id = SaveReportTemplate(m_draft);
    } catch (const Error &e) {
        gl::ShowErrorMessage(e.message());
        return false;
    }
    const int row = currentLine();
    readList(id);
    selectLine(row);
    lbStatus->setText(S("报表格式“%1”已保存。").arg(m_draft.name));
    return true;
}

void TReportTemplateForm::NewTemplate()
{
    if (!mayLeave())
        return;
    m_draft = TemplateDraft{};
    m_draft.type = cbType->currentData().toInt();
    m_saved = m_draft;
    showDraft();
    edCode->setFocus();
}

void TReportTemplateForm::CopyTemplate()
{
    // The format shown, with any edits not saved, becomes a new one; the original stays as
    // it was saved.
    m_saved = TemplateDraft{};
    m_draft.copyAsNew(m_draft.code + S("-副本"), m_draft.name + S("（副本）"));
    showDraft();
    edCode->setFocus();
    edCode->selectAll();
}

void TReportTemplateForm::DeleteTemplate()
{
    if (m_draft.templetId == 0)
        return;
    if (gl::AskYesNo(S("删除报表格式“%1 %2”？它的各行、取数科目、合计项和手工填列的金额都将删除。")
                         .arg(m_draft.code, m_draft.name)) != gl::mrOk)
        return;
    {
        gl::BusyScope busy;
        DeleteReportTemplate(m_draft.templetId);
    }
    m_draft = m_saved = TemplateDraft{};
    readList(0);
}

} // namespace vexa::ledger
