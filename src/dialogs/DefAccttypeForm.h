#pragma once

#include "ChildDialogForm.h"

class QLabel;
class QPushButton;
class QTableView;

namespace vexa {
class ClientDataSet;
}

namespace vexa::gl {

class AccttypeGridModel;

// The key of a type appended to the list: the row count + 1, or past the largest key when a
// deleted type left a gap (a repeated key would make the save fail), as two digits ("04").
QString NextAccttypeKey(const ClientDataSet &types);

// Edits the list of account types (科目总类): code, name, normal balance side and whether
// the type is a profit-and-loss type. The caller normally hands over a copy of the list as
// a data packet (SetDataText) and takes the edited list back after OK (DataText); without
// one the dialog reads "LX_DMAccttype" itself. Saving is the caller's business.
//
// Components: lbTitle, the grid grdData over cdsData (Insert, or Down on the last row,
// appends a type; Ctrl+Delete deletes the current one), the balance-side list cdsDC behind
// the drop-down cbDC of the 方向 column, btnOk "保存" and btnCancel "关闭" (also Escape).
class TDefAccttypeForm : public TDefDialogForm
{
    Q_OBJECT

public:
    explicit TDefAccttypeForm(QWidget *parent = nullptr);
    ~TDefAccttypeForm() override;

    // The list to edit, as data packet text; an empty text makes the dialog read the
    // server's list when shown.
    void SetDataText(const QString &text) { m_dataText = text; }
    // The edited list as data packet text (a pending edit is posted first).
    QString DataText();

    // Appends a type numbered record count + 1 ("04" after three), side "D", not
    // profit-and-loss, and leaves it in edit for its code and name.
    void AppendRow();
    void DeleteRow();
    // OK with at least one type; otherwise warns and stays open.
    void OkClick();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormShow();
    void LayoutColumns();

    QString m_dataText;
    ClientDataSet *cdsData;
    ClientDataSet *cdsDC;
    AccttypeGridModel *m_model;
    QLabel *lbTitle;
    QTableView *grdData = nullptr; // read by eventFilter while the form is built
    QPushButton *btnOk;
    QPushButton *btnCancel;
};

} // namespace vexa::gl
