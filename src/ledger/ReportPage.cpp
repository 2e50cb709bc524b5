#include "ReportPage.h"

#include "FormKit.h"
#include "MessageDialogs.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>

namespace vexa::ledger {

void AddPeriodRange(QHBoxLayout *bar, QWidget *parent, QComboBox *&from, QComboBox *&to)
{
    from = new QComboBox(parent);
    from->setObjectName(QStringLiteral("cbFromPeriod"));
    to = new QComboBox(parent);
    to->setObjectName(QStringLiteral("cbToPeriod"));
    bar->addWidget(new QLabel(QStringLiteral("期间"), parent));
    bar->addWidget(from);
    bar->addWidget(new QLabel(QStringLiteral("至"), parent));
    bar->addWidget(to);
}

void AddAccountBox(QHBoxLayout *bar, QWidget *parent, QLineEdit *&code, QLabel *&name)
{
    code = new QLineEdit(parent);
    code->setObjectName(QStringLiteral("edAccount"));
    code->setPlaceholderText(QStringLiteral("科目代码"));
    code->setMaximumWidth(120);
    name = new QLabel(parent);
    name->setObjectName(QStringLiteral("lbAccountName"));
    bar->addWidget(new QLabel(QStringLiteral("科目"), parent));
    bar->addWidget(code);
    bar->addWidget(name);
}

void ConnectReportOutput(QPushButton *exportButton, QPushButton *preview, QWidget *page,
                         std::function<ReportTable()> report)
{
    QObject::connect(exportButton, &QPushButton::clicked, page,
                     [page, report] { gl::RunGuarded([&] { exportReportCsv(page, report()); }); });
    QObject::connect(preview, &QPushButton::clicked, page,
                     [page, report] { gl::RunGuarded([&] { previewReport(page, report()); }); });
}

QComboBox *AddItemAccountChoice(QHBoxLayout *bar, QWidget *parent, QLineEdit *code,
                                const std::function<void()> &chosen)
{
    auto *choice = new QComboBox(parent);
    choice->setObjectName(QStringLiteral("cbItemAccount"));
    choice->setMinimumContentsLength(16);
    bar->addWidget(new QLabel(QStringLiteral("选择"), parent));
    bar->addWidget(choice);
    QObject::connect(choice, &QComboBox::activated, parent, [choice, code, chosen](int at) {
        if (at <= 0)
            return;
        code->setText(choice->itemData(at).toString());
        chosen();
    });
    return choice;
}

void FillItemAccounts(QComboBox *choice, const QList<LedgerAccount> &accounts)
{
    const QSignalBlocker block(choice);
    choice->clear();
    choice->addItem(QString());
    for (const LedgerAccount &a : accounts)
        if (a.leaf && a.itemList != 0)
            choice->addItem(QStringLiteral("%1 %2").arg(a.code, a.fullName), a.code);
}

ReportButtons AddReportButtons(QHBoxLayout *bar, QWidget *owner)
{
    const ReportButtons b{
        gl::MakeButton(QStringLiteral("查询"), QStringLiteral("btnQuery"), owner),
        gl::MakeButton(QStringLiteral("导出"), QStringLiteral("btnExport"), owner),
        gl::MakeButton(QStringLiteral("打印预览"), QStringLiteral("btnPreview"), owner)};
    bar->addWidget(b.query);
    bar->addWidget(b.exportButton);
    bar->addWidget(b.preview);
    bar->addStretch(1);
    return b;
}

QTableView *MakeReportGrid(QWidget *parent, QObject *owner, const QString &name,
                           const ReportTable &columns, int stretch, QStandardItemModel *&model)
{
    model = new QStandardItemModel(0, int(columns.columns.size()), owner);
    QStringList titles;
    for (const ReportColumn &c : columns.columns)
        titles << c.title;
    model->setHorizontalHeaderLabels(titles);
    auto *grid = new QTableView(parent);
    grid->setObjectName(name);
    grid->setModel(model);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->verticalHeader()->hide();
    if (stretch >= 0)
        grid->horizontalHeader()->setSectionResizeMode(stretch, QHeaderView::Stretch);
    return grid;
}

} // namespace vexa::ledger
