#pragma once

#include "DocFindForm.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QToolButton;

namespace vexa::gl {

// Picks one module of the module catalogue (provider "SYS_SMModules"); internal modules
// are never offered. After OK, SelectedValue holds the chosen MCode.
//
// Components: lbTitle, lbSearch and the search box edValue (Enter or leaving it changed searches),
// btnFind (the filter builder), the grid grdData over cdsData (a double-click or Enter on a row
// chooses it), btnOk "选择" and btnCancel "取消" (also Escape). Cancelling answers
// QDialog::Rejected.
class TSelModulesForm : public TDocFindForm
{
    Q_OBJECT

public:
    explicit TSelModulesForm(QWidget *parent = nullptr);

    // The search condition for a typed text: code at the start, description and the two
    // search texts anywhere, module file exactly.
    static QString SearchCondition(const QString &text);

    // Searches for text (empty: drops the search condition) and queries again.
    void Search(const QString &text);
    // Takes the current row; without rows the dialog is cancelled.
    void Choose();

protected:
    void FormShow() override;

private:
    ClientDataSet *cdsData;
    QLabel *lbTitle;
    QLabel *lbSearch;
    QLineEdit *edValue;
    QToolButton *btnFind;
    QTableView *grdData;
    QPushButton *btnOk;
    QPushButton *btnCancel;
};

} // namespace vexa::gl
