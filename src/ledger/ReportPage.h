#pragma once

// The parts the book pages share: the period range, the account box, the three report
// buttons and the read-only grid over a report's columns.

#include "LedgerData.h"
#include "ReportOutput.h"

#include <functional>

class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QObject;
class QPushButton;
class QStandardItemModel;
class QTableView;
class QWidget;

namespace vexa::ledger {

struct ReportButtons
{
    QPushButton *query;
    QPushButton *exportButton;
    QPushButton *preview;
};

// "期间 [cbFromPeriod] 至 [cbToPeriod]".
void AddPeriodRange(QHBoxLayout *bar, QWidget *parent, QComboBox *&from, QComboBox *&to);
// "科目 [edAccount] lbAccountName".
void AddAccountBox(QHBoxLayout *bar, QWidget *parent, QLineEdit *&code, QLabel *&name);
// After the account box of the item books: "选择 [cbItemAccount]", the leaf accounts that carry
// an auxiliary list; choosing one puts its code into code and calls chosen.
QComboBox *AddItemAccountChoice(QHBoxLayout *bar, QWidget *parent, QLineEdit *code,
                                const std::function<void()> &chosen);
void FillItemAccounts(QComboBox *choice, const QList<LedgerAccount> &accounts);
// 查询, 导出, 打印预览 (btnQuery, btnExport, btnPreview), then the bar's stretch.
ReportButtons AddReportButtons(QHBoxLayout *bar, QWidget *owner);
// 导出 and 打印预览 write or show what report() answers at the click (errors shown).
void ConnectReportOutput(QPushButton *exportButton, QPushButton *preview, QWidget *page,
                         std::function<ReportTable()> report);
// A grid of whole rows, not editable, over a model (owned by owner) titled by the columns;
// the column stretch takes the free width.
QTableView *MakeReportGrid(QWidget *parent, QObject *owner, const QString &name,
                           const ReportTable &columns, int stretch, QStandardItemModel *&model);

} // namespace vexa::ledger
