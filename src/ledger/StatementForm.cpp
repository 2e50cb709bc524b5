#include "StatementForm.h"

#include "BooksData.h"

#include "FormKit.h"
#include "LedgerData.h"
#include "MessageDialogs.h"
#include "Money.h"

#include <vexa/Error.h>

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace vexa::ledger {

namespace {
using S = QString;
}

TStatementForm::TStatementForm(int templetType, const QString &title, QWidget *parent)
    : gl::TLXChildForm(parent), m_type(templetType), m_title(title)
{
    setWindowTitle(title);
    SetModuleCaption(title);
    auto *client = new QVBoxLayout(plClient);
    client->addWidget(gl::MakeTitleLabel(title, plClient));
    plModuleToolbar->hide();

    auto *bar = new QHBoxLayout;
    lbTemplet = new QLabel(S("报表格式"), plClient);
    bar->addWidget(lbTemplet);
    cbTemplet = new QComboBox(plClient);
    cbTemplet->setObjectName(S("cbTemplet"));
    bar->addWidget(cbTemplet);
    bar->addWidget(new QLabel(S("会计期间"), plClient));
    cbPeriod = new QComboBox(plClient);
    cbPeriod->setObjectName(S("cbPeriod"));
    bar->addWidget(cbPeriod);
    btnQuery = gl::MakeButton(S("查询"), S("btnQuery"), this);
    btnExport = gl::MakeButton(S("导出"), S("btnExport"), this);
    btnPreview = gl::MakeButton(S("打印预览"), S("btnPreview"), this);
    bar->addWidget(btnQuery);
    bar->addWidget(btnExport);
    bar->addWidget(btnPreview);
    btnSave = gl::MakeButton(S("保存"), S("btnSave"), this);
    btnSave->setEnabled(false);
    bar->addWidget(btnSave);
    bar->addStretch(1);
    client->addLayout(bar);

    grdStatement = new QTableWidget(plClient);
    grdStatement->setObjectName(S("grdStatement"));
    grdStatement->setColumnCount(4);
    // Only the cells of the lines filled in by hand are editable (their flags).
    grdStatement->setEditTriggers(QAbstractItemView::DoubleClicked |
                                  QAbstractItemView::EditKeyPressed |
                                  QAbstractItemView::AnyKeyPressed);
    grdStatement->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdStatement->verticalHeader()->hide();
    grdStatement->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    client->addWidget(grdStatement, 1);
    lbCheck = new QLabel(plClient);
    lbCheck->setObjectName(S("lbCheck"));
    lbCheck->setWordWrap(true);
    client->addWidget(lbCheck);
    lbWarnings = new QLabel(plClient);
    lbWarnings->setObjectName(S("lbWarnings"));
    lbWarnings->setWordWrap(true);
    lbWarnings->setStyleSheet(S("color: #a04000"));
    client->addWidget(lbWarnings);

    connect(btnQuery, &QPushButton::clicked, this, [this] { gl::RunGuarded([this] { Query(); }); });
    connect(cbPeriod, &QComboBox::currentIndexChanged, this,
            [this] { gl::RunGuarded([this] { Query(); }); });
    connect(cbTemplet, &QComboBox::currentIndexChanged, this,
            [this] { gl::RunGuarded([this] { Query(); }); });
    connect(grdStatement, &QTableWidget::itemChanged, this,
            [this](QTableWidgetItem *item) { gl::RunGuarded([this, item] { cellTyped(item); }); });
    connect(btnSave, &QPushButton::clicked, this, [this] {
        gl::RunGuarded([this] {
            SaveEdits();
            Query();
        });
    });
    connect(btnExport, &QPushButton::clicked, this,
            [this] { gl::RunGuarded([this] { exportReportCsv(this, Table()); }); });
    connect(btnPreview, &QPushButton::clicked, this,
            [this] { gl::RunGuarded([this] { previewReport(this, Table()); }); });
}

void TStatementForm::Execute(quint32, const QString &, QVariant &)
{
    gl::BusyScope busy;
    {
        QSignalBlocker a(cbTemplet), b(cbPeriod);
        const QVariant keptTemplet = cbTemplet->currentData();
        const QVariant keptPeriod = cbPeriod->currentData();
        cbTemplet->clear();
        for (const StatementTemplet &t : StatementTemplets(m_type))
            cbTemplet->addItem(S("%1 %2").arg(t.code, t.name), t.id);
        cbTemplet->setCurrentIndex(qMax(0, cbTemplet->findData(keptTemplet)));
        const bool several = cbTemplet->count() > 1;
        cbTemplet->setVisible(several);
        lbTemplet->setVisible(several);
        cbPeriod->clear();
        for (const LedgerPeriod &p : Periods())
            cbPeriod->addItem(p.code, p.periodId);
        int at = cbPeriod->findData(keptPeriod);
        if (at < 0) // the latest period that holds a posted voucher, else the first
            at = cbPeriod->findData(LatestPostedPeriod());
        cbPeriod->setCurrentIndex(qMax(0, at));
    }
    Query();
}

bool TStatementForm::Query()
{
    if (!mayLeave()) {
        // The statement with the typed changes stays chosen.
        QSignalBlocker a(cbTemplet), b(cbPeriod);
        cbTemplet->setCurrentIndex(qMax(0, cbTemplet->findData(m_shownTemplet)));
        cbPeriod->setCurrentIndex(qMax(0, cbPeriod->findData(m_shownPeriod)));
        return false;
    }
    m_edits.clear();
    btnSave->setEnabled(false);
    m_shownTemplet = cbTemplet->currentData().toInt();
    m_shownPeriod = cbPeriod->currentData().toInt();
    if (cbTemplet->count() == 0) {
        show(Statement{});
        lbCheck->setText(S("账套中没有%1的报表格式，请先在报表定义中设置。").arg(m_title));
        return false;
    }
    try {
        gl::BusyScope busy;
        m_statement =
            ReadStatement(cbTemplet->currentData().toInt(), cbPeriod->currentData().toInt());
    } catch (const Error &e) {
        m_statement = Statement{};
        show(m_statement);
        gl::ShowErrorMessage(e.message());
        return false;
    }
    show(m_statement);
    return true;
}

bool TStatementForm::mayLeave()
{
    if (m_edits.empty())
        return true;
    const int answer = gl::AskSaveChanges(S("报表中手工填列的金额已修改，是否保存？"));
    if (answer == gl::mrCancel)
        return false;
    if (answer == gl::mrYes) {
        try {
            SaveEdits();
        } catch (const Error &e) {
            gl::ShowErrorMessage(e.message());
            return false;
        }
    }
    m_edits.clear();
    return true;
}

void TStatementForm::ReleaseForm()
{
    if (m_edits.empty())
        return;
    const int answer = gl::AskSaveChanges(S("报表中手工填列的金额已修改，是否保存？"));
    if (answer == gl::mrCancel)
        throw Error(S("手工填列的金额还没有保存，窗口没有关闭。"));
    if (answer == gl::mrYes)
        SaveEdits();
    m_edits.clear();
}

void TStatementForm::SaveEdits()
{
    if (m_edits.empty())
        return;
    QList<StatementValue> values;
    for (const auto &[id, v] : m_edits)
        values.append(v);
    {
        gl::BusyScope busy;
        SaveStatementValues(m_shownTemplet, m_shownPeriod, values);
    }
    m_edits.clear();
    btnSave->setEnabled(false);
}

void TStatementForm::cellTyped(QTableWidgetItem *item)
{
    const int row = item->row(), column = item->column();
    if (m_filling || (column != 2 && column != 3) || row < 0 || row >= m_statement.lines.size())
        return;
    const StatementLine &l = m_statement.lines[row];
    auto edit = m_edits.find(l.itemId);
    StatementValue value =
        edit != m_edits.end() ? edit->second : StatementValue{l.itemId, l.amount1, l.amount2};
    std::optional<qint64> &target = column == 2 ? value.amount1 : value.amount2;
    const QString text = item->text().trimmed();
    const QSignalBlocker block(grdStatement);
    try {
        target = text.isEmpty() ? std::nullopt : std::optional<qint64>(Money::parse(text));
    } catch (const Error &) {
        // The cell shows what it held before the refused text.
        item->setText(target ? Money::format(*target) : QString());
        throw;
    }
    item->setText(target ? Money::format(*target) : QString());
    if (value.amount1 == l.amount1 && value.amount2 == l.amount2)
        m_edits.erase(l.itemId);
    else
        m_edits[l.itemId] = value;
    btnSave->setEnabled(!m_edits.empty());
}

void TStatementForm::show(const Statement &s)
{
    const QSignalBlocker block(grdStatement);
    grdStatement->clearContents();
    grdStatement->setRowCount(int(s.lines.size()));
    grdStatement->setHorizontalHeaderLabels(
        {S("项目"), S("行次"), s.caption1.isEmpty() ? S("金额") : s.caption1, s.caption2});
    const auto cell = [](const QString &text, Qt::Alignment align, bool bold,
                         bool editable = false) {
        auto *item = new QTableWidgetItem(text);
        if (!editable)
            item->setFlags(item->flags() & ~Qt::ItemIsEditable);
        else
            item->setBackground(QColor(255, 255, 224));
        item->setTextAlignment(align | Qt::AlignVCenter);
        if (bold) {
            QFont f = item->font();
            f.setBold(true);
            item->setFont(f);
        }
        return item;
    };
    const auto money = [](const std::optional<qint64> &a) {
        return a ? Money::format(*a) : QString();
    };
    for (int r = 0; r < s.lines.size(); ++r) {
        const StatementLine &l = s.lines[r];
        const bool bold = l.type == 2 || l.type == 0;
        grdStatement->setItem(r, 0,
                              cell(QString(l.indent * 2, u'\u3000').left(l.indent * 2) + l.name,
                                   Qt::AlignLeft, bold));
        grdStatement->setItem(r, 1, cell(l.line, Qt::AlignCenter, false));
        const bool byHand = l.type == 3;
        grdStatement->setItem(
            r, 2, cell(l.type == 0 ? QString() : money(l.amount1), Qt::AlignRight, bold, byHand));
        grdStatement->setItem(r, 3,
                              cell(l.type == 0 ? QString() : money(l.amount2), Qt::AlignRight, bold,
                                   byHand && !s.caption2.isEmpty()));
    }
    grdStatement->resizeColumnToContents(1);
    grdStatement->setColumnWidth(2, 160);
    grdStatement->setColumnWidth(3, 160);
    lbCheck->setText(BalanceText(s));
    lbCheck->setStyleSheet(s.balanced && !*s.balanced ? S("color: #c00000") : QString());
    lbWarnings->setText(s.warnings.isEmpty() ? QString() : S("注意：") + s.warnings.join(S("；")));
    const bool any = !s.lines.isEmpty();
    btnExport->setEnabled(any);
    btnPreview->setEnabled(any);
}

ReportTable TStatementForm::Table() const
{
    return StatementTable(m_statement, CompanyName(), cbPeriod->currentText());
}

TBalanceSheetForm::TBalanceSheetForm(QWidget *parent) : TStatementForm(1, S("资产负债表"), parent)
{
    setObjectName(S("TBalanceSheetForm"));
}

TIncomeStatementForm::TIncomeStatementForm(QWidget *parent) : TStatementForm(2, S("利润表"), parent)
{
    setObjectName(S("TIncomeStatementForm"));
}

} // namespace vexa::ledger
