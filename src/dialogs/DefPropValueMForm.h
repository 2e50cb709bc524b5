#pragma once

#include "ChildDialogForm.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTableView;

namespace vexa {
class ClientDataSet;
}

namespace vexa::gl {

class PropValueGridModel;

// Edits the values of one custom property of inventory items (provider
// "LX_DMMaterielPropValue"), optionally with a processing fee per value, and saves them on
// OK. The caller sets the inputs below before showing it; after OK the values are saved and
// PriceFlags holds the price handling chosen per property.
//
// Components: lbTitle, the property selector cbDefProp ("自定义属性类别", over cdsDefProp)
// and the price-handling drop-down cbPriceType (over cdsPriceType), the grid grdData over
// cdsData (Insert, or Down on the last row, appends a value; Ctrl+Delete deletes one),
// btnOk "确认" and btnCancel "取消" (also Escape). Rows of grdData are posted when the user
// leaves them; a row without a value is refused with "必须输入属性值。".
class TDefPropValueMForm : public TEditDialogForm
{
    Q_OBJECT

public:
    explicit TDefPropValueMForm(QWidget *parent = nullptr);
    ~TDefPropValueMForm() override;

    // Inputs. CaptionData: the part-custom record as data packet text (fields "DefProp" + i
    // and "PartProp" + i hold the property captions). PriceFlags: one character "0"/"1" per
    // property (character i + 1 for property i). PartID 0 edits the values valid for all
    // items. PropType 0 edits the entry properties, other values the item properties.
    QString CaptionData;
    QString PriceFlags;
    int PropCount = 0;
    int PartID = 0;
    int PropType = 0;

    // The command text of the values for that property kind and item.
    static QString CommandText(int propType, int partID);
    // A fee as the grid shows it: thousands separated, 2 to 6 decimals.
    static QString FormatFee(double fee);
    static constexpr int kFeeColumnWidth = 90;

    // The selected property (-1 when none).
    int SelectedProp() const;
    // Appends a value of the selected property, numbered below 0 until saved.
    void AppendRow();
    void DeleteRow();
    // Posts the row being edited; an empty value is refused.
    void PostRow();
    // Drops empty rows, numbers the new ones after the server's largest index and saves.
    void OkClick();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormShow();
    void FillProperties();
    void PropertyChosen();
    void ApplyPriceHandling(const QString &code);
    void SetPriceSelector(const QString &code);
    // The price handling of a property: its flag character, "0" when it has none.
    QString FlagOf(int prop) const;
    void LayoutColumns();
    void GridRowChosen(int row);
    void OpenCellEditor();

    int m_newRows = 0;
    bool m_loading = false;
    bool m_skipCheck = false;
    bool m_feeShown = false;
    int m_shownProp = -1; // the property whose values the grid shows

    ClientDataSet *cdsData;
    ClientDataSet *cdsCaption;
    ClientDataSet *cdsDefProp;
    ClientDataSet *cdsPriceType;
    PropValueGridModel *m_model;
    QLabel *lbTitle;
    QLabel *lbDefProp;
    QComboBox *cbDefProp;
    QComboBox *cbPriceType;
    QTableView *grdData = nullptr; // read by eventFilter while the form is built
    QPushButton *btnOk;
    QPushButton *btnCancel;
};

} // namespace vexa::gl
