#pragma once

#include "LXChildForm.h"
#include "LedgerData.h"
#include "ReportTemplateData.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTableWidget;

namespace vexa::ledger {

// 报表定义 (GLBBDY): the statement formats. cbTemplet chooses one (btnNew 新建, btnCopy 复制,
// btnDelete 删除); edCode, edName and cbType its header; grdItems its lines (行次, 项目名称,
// 类型, 缩进) with btnAddLine, btnInsertLine, btnDeleteLine, btnMoveUp, btnMoveDown; for the
// current line grdTerms (科目代码, 科目名称, 取数方式, 运算; F7 or btnPickAccount the picker)
// or grdSums (行, 运算). btnSave stores it all through SaveReportTemplate; a refusal is shown
// and the edits stay in the window. Unsaved edits are asked about before another format, a
// new one or closing.
class TReportTemplateForm : public gl::TLXChildForm
{
    Q_OBJECT

public:
    explicit TReportTemplateForm(QWidget *parent = nullptr);

    void Execute(quint32 p1, const QString &p2, QVariant &p3) override;
    void ReleaseForm() override;

    const TemplateDraft &Draft() const { return m_draft; }
    bool Modified() const { return m_draft != m_saved; }
    // False when the server refused (the reason shown; nothing of the window lost).
    bool Save();
    void NewTemplate();
    void CopyTemplate();
    void DeleteTemplate();
    void PickAccount();

private:
    bool mayLeave();
    void readList(int select);
    void open(int templetId);
    void showDraft();
    void fillItems();
    void fillDetail();
    int currentLine() const;
    void selectLine(int row);
    void lineEdited(int row, int column);
    void termEdited(int row, int column);
    void addTerm();
    void addSum();

    TemplateDraft m_draft, m_saved;
    QList<LedgerAccount> m_accounts;
    bool m_filling = false;

    QComboBox *cbTemplet;
    QLineEdit *edCode;
    QLineEdit *edName;
    QComboBox *cbType;
    QTableWidget *grdItems;
    QStackedWidget *stDetail;
    QTableWidget *grdTerms;
    QTableWidget *grdSums;
    QLabel *lbDetail;
    QLabel *lbStatus;
    QPushButton *btnNew;
    QPushButton *btnCopy;
    QPushButton *btnDelete;
    QPushButton *btnSave;
    QPushButton *btnAddLine;
    QPushButton *btnInsertLine;
    QPushButton *btnDeleteLine;
    QPushButton *btnMoveUp;
    QPushButton *btnMoveDown;
    QPushButton *btnAddTerm;
    QPushButton *btnDeleteTerm;
    QPushButton *btnPickAccount;
    QPushButton *btnAddSum;
    QPushButton *btnDeleteSum;
};

} // namespace vexa::ledger
