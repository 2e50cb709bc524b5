#pragma once

#include "ChildDialogForm.h"
#include "SelAccountingForm.h"

#include <QList>
#include <QPointer>

class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableView;
class QToolButton;

namespace vexa {
class ClientDataSet;
class DataSetModel;
} // namespace vexa

namespace vexa::gl {

// How documents post to the general ledger automatically: the fixed accounts of sales,
// purchasing, the ledger and production, the contra-account source of each kind of other
// inbound and outbound stock document, and the voucher word of each document type that posts
// automatically. Everything is edited in the datasets and saved in one server transaction on
// "确认"; OK means it was saved and the host's "CDS_GLAcct" was read again.
//
// Components: lbTitle; pcMain with the pages tsGeneral "常规" (per slot X of AccountSlots():
// the label lbX, the code edit edX whose button picks an account and whose typed code is
// looked up, the read-only name edX + "Name"), tsStock "存货" (grdInto over cdsInto with
// sbAddInto and sbDelInto, grdOut over cdsOut with sbAddOut and sbDelOut) and tsNumCa "记账字"
// (grdObjType over cdsObjType, the voucher word chosen from cdsNumCa); btnOk "确认" and
// btnCancel "取消". Further datasets: cdsData (the configuration record), cdsDocTypeFor (the
// contra-account sources) and cdsPublic (the lookup of typed account codes).
class TFinGLAccountingConfigureMForm : public TChildDialogForm
{
    Q_OBJECT

public:
    explicit TFinGLAccountingConfigureMForm(QWidget *parent = nullptr);
    ~TFinGLAccountingConfigureMForm() override;

    // Kinds counted at show and by each append.
    int InboundCount() const { return m_into.count; }
    int OutboundCount() const { return m_out.count; }
    // The account picker once it has been used.
    TSelAccountingForm *AccountPicker() const { return m_picker; }

    // An account slot by the edit's button: the picked account fills the slot.
    void PickSlotAccount(QLineEdit *edit);
    // An account slot by the code typed into the edit; an unknown code is refused.
    void TypeSlotCode(QLineEdit *edit);
    // Saves everything; a failure is shown and the dialog stays open.
    void OkClick();

    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    // One grid of document kinds with its buttons.
    struct KindSide
    {
        int objType = 0;
        int count = 0;
        ClientDataSet *data = nullptr;
        DataSetModel *model = nullptr;
        QTableView *grid = nullptr;
        QToolButton *add = nullptr;
        QToolButton *remove = nullptr;
    };

    void FormShow();
    QWidget *MakeGeneralPage();
    QWidget *MakeStockPage();
    QWidget *MakeNumCaPage();
    void MakeKindSide(KindSide &side, const QString &name, int objType, QWidget *page);
    void LayOutGrids();
    void ShowSlots();
    TSelAccountingForm &Picker();
    bool PickAccount();

    void PostKindRow(KindSide &side);
    void KindRowChosen(KindSide &side, int row);
    void PickKindAccount(KindSide &side, int row);
    void AppendKindRow(KindSide &side);
    void DeleteKindRow(KindSide &side);
    void UpdateKindButtons(KindSide &side);

    ClientDataSet *cdsData;
    ClientDataSet *cdsObjType;
    ClientDataSet *cdsNumCa;
    ClientDataSet *cdsInto;
    ClientDataSet *cdsOut;
    ClientDataSet *cdsDocTypeFor;
    ClientDataSet *cdsPublic;

    QLabel *lbTitle;
    QTabWidget *pcMain;
    QWidget *tsGeneral;
    QWidget *tsStock;
    QWidget *tsNumCa;
    QTableView *grdObjType;
    QPushButton *btnOk;
    QPushButton *btnCancel;
    QList<QLineEdit *> m_slotEdits; // edX, in slot order
    QList<QLineEdit *> m_slotNames; // edX + "Name"

    KindSide m_into;
    KindSide m_out;
    QPointer<TSelAccountingForm> m_picker;
};

} // namespace vexa::gl
