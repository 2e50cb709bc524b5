#pragma once

#include "LXChildForm.h"
#include "StatementData.h"

#include <map>

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

namespace vexa::ledger {

// A statement from the report templates: the template (cbTemplet, shown when the set has
// several of the type), the period (cbPeriod), the lines (grdStatement: 项目, 行次 and the
// format's two amount columns), the balance check (lbCheck) and what the server could not
// take (lbWarnings); 查询 (btnQuery), 导出 (btnExport, CSV) and 打印预览 (btnPreview).
// The two amounts of the lines filled in by hand are typed into the grid and kept by 保存
// (btnSave); leaving the statement with typed changes asks whether to keep them.
class TStatementForm : public gl::TLXChildForm
{
    Q_OBJECT

public:
    TStatementForm(int templetType, const QString &title, QWidget *parent);

    void Execute(quint32 p1, const QString &p2, QVariant &p3) override;
    // Reads the chosen statement; false when the server refused (the reason shown).
    bool Query();
    const Statement &Current() const { return m_statement; }
    ReportTable Table() const;

    // Sends the typed figures; throws vexa::Error with the server's reason.
    void SaveEdits();
    bool Modified() const { return !m_edits.empty(); }

    void Command14() override { Query(); }
    void ReleaseForm() override;

private:
    void show(const Statement &s);
    void cellTyped(QTableWidgetItem *item);
    // Whether the typed changes may go: kept (saved), dropped, or the user stays.
    bool mayLeave();

    int m_type;
    QString m_title;
    Statement m_statement;
    int m_shownTemplet = 0, m_shownPeriod = 0;
    std::map<int, StatementValue> m_edits; // by ItemID
    bool m_filling = false;
    QComboBox *cbTemplet;
    QLabel *lbTemplet;
    QComboBox *cbPeriod;
    QTableWidget *grdStatement;
    QLabel *lbCheck;
    QLabel *lbWarnings;
    QPushButton *btnQuery;
    QPushButton *btnExport;
    QPushButton *btnPreview;
    QPushButton *btnSave;
};

// 资产负债表 GLZCFZB.
class TBalanceSheetForm : public TStatementForm
{
    Q_OBJECT
public:
    explicit TBalanceSheetForm(QWidget *parent = nullptr);
};

// 利润表 GLLRB.
class TIncomeStatementForm : public TStatementForm
{
    Q_OBJECT
public:
    explicit TIncomeStatementForm(QWidget *parent = nullptr);
};

} // namespace vexa::ledger
