#pragma once

#include "LXChildForm.h"
#include "StatementData.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace vexa::ledger {

// A statement from the report templates: the template (cbTemplet, shown when the set has
// several of the type), the period (cbPeriod), the lines (grdStatement: 项目, 行次 and the
// format's two amount columns), the balance check (lbCheck) and what the server could not
// take (lbWarnings); 查询 (btnQuery), 导出 (btnExport, CSV) and 打印预览 (btnPreview).
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

    void Command14() override { Query(); }

private:
    void show(const Statement &s);

    int m_type;
    QString m_title;
    Statement m_statement;
    QComboBox *cbTemplet;
    QLabel *lbTemplet;
    QComboBox *cbPeriod;
    QTableWidget *grdStatement;
    QLabel *lbCheck;
    QLabel *lbWarnings;
    QPushButton *btnQuery;
    QPushButton *btnExport;
    QPushButton *btnPreview;
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
