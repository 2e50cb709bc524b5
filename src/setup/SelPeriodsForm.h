#pragma once

#include "DocFindForm.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QStyledItemDelegate;
class QTableView;

namespace vexa::gl {

// Picks one accounting period (provider "LX_FINPostingPeriods"). After OK the chosen
// period is the current record of DataSet() and SelectedValue holds its PeriodID.
//
// Two ways of use: a lookup that queries the server and offers the search box, or a
// list over SourceData, a saved copy of a period dataset (ClientDataSet::saveToText)
// the caller hands in; then the search box is hidden and the dialog shows exactly those
// records, under the filter and index the caller set on DataSet().
//
// Components: lbTitle, lbSearch and edtSearch (Enter or leaving it changed searches), the grid
// grdData over cdsData (a double-click or Enter on a row chooses it), btnOk "选择" and btnCancel
// "取消". Cancelling answers QDialog::Rejected.
class TSelPeriodsForm : public TDocFindForm
{
    Q_OBJECT

public:
    explicit TSelPeriodsForm(QWidget *parent = nullptr);

    QString SourceData;

    ClientDataSet *DataSet() const { return cdsData; }

    // The search condition for a typed text: code at the start, name anywhere.
    static QString SearchCondition(const QString &text);
    // Searches for text (empty: drops the search condition) and queries again.
    void Search(const QString &text);
    // Takes the current row; without rows the dialog is cancelled.
    void Choose();

protected:
    void FormShow() override;

private:
    void LoadSourceData();
    void LayOutColumns();
    void BindActiveColumn();

    ClientDataSet *cdsData;
    QLabel *lbTitle;
    QLabel *lbSearch;
    QLineEdit *edtSearch;
    QTableView *grdData;
    QPushButton *btnOk;
    QPushButton *btnCancel;
    QStyledItemDelegate *m_activeDelegate = nullptr;
    int m_activeColumn = -1;
};

} // namespace vexa::gl
