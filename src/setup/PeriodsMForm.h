#pragma once

#include "ChildDialogForm.h"
#include "FiscalCalendar.h"

#include <QVariant>

#include <memory>
#include <optional>

class QButtonGroup;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTableView;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace vexa {
class ClientDataSet;
}

namespace vexa::gl {

class PeriodsGridModel;

// A period's Active flag as a grid shows it: "Y" 是, "N" 否, anything else as stored.
QVariant PeriodActiveText(const QVariant &code);

// The accounting-period dialog: lays out the fifty fiscal years of an account set and
// lets the user date, freeze and activate their periods. It works on a copy of the period
// table the caller puts into Periods() before showing it and takes back after OK (modal
// result 1); Cancel (2) discards it. The dialog writes nothing to the server.
//
// Components: edYear (start year), rbPeriods12 / rbPeriods13, tvYears (root "会计年度"),
// gdPeriods (the shown year's periods; the two bands are shown as the first line of the
// column captions: "概览" over 期间号/激活, "登帐日期" over 开始日期/结束日期), btnActivate,
// btnFreeze, btnOk, btnCancel, tmStartYear (the 300 ms delay of a start-year change).
class TPeriodsMForm : public TChildDialogForm
{
    Q_OBJECT
    Q_PROPERTY(int StartYear READ StartYear WRITE SetStartYear)
    Q_PROPERTY(int YearPeriods READ YearPeriods WRITE SetYearPeriods)
    Q_PROPERTY(bool CanRegenerate READ CanRegenerate WRITE SetCanRegenerate)
    Q_PROPERTY(int LastVoucherPeriodID READ LastVoucherPeriodID WRITE SetLastVoucherPeriodID)

public:
    explicit TPeriodsMForm(QWidget *parent = nullptr);
    ~TPeriodsMForm() override;

    ClientDataSet &Periods() { return *m_periods; }

    int StartYear() const { return m_calendar->startYear(); }
    void SetStartYear(int year) { m_calendar->setStartYear(year); }
    // Before showing: what the caller hands in; once shown: 12 when "12" is checked, else 13.
    int YearPeriods() const;
    void SetYearPeriods(int periods) { m_calendar->setYearPeriods(periods); }
    bool CanRegenerate() const { return m_calendar->canRegenerate(); }
    void SetCanRegenerate(bool on) { m_calendar->setCanRegenerate(on); }
    // Read from the server when the dialog opens; setting it later applies from the next
    // year selected.
    int LastVoucherPeriodID() const { return m_calendar->lastVoucherPeriodID(); }
    void SetLastVoucherPeriodID(int id);

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void prepare();
    void rebuildTree();
    void yearSelected(QTreeWidgetItem *item);
    void periodCountChosen(int periods);
    void restartStartYearTimer();
    void applyStartYear();
    void setAllActive(bool active);
    // A start date from the grid (a typed text or a date), applied once the editor is closed.
    void applyPendingEdit();
    void updatePeriodOptions();
    void fitGrid();
    int selectedYear() const;

    ClientDataSet *m_periods;
    std::unique_ptr<FiscalCalendar> m_calendar;
    PeriodsGridModel *m_model;
    QSpinBox *m_edYear;
    QRadioButton *m_rb12;
    QRadioButton *m_rb13;
    QTreeWidget *m_tvYears;
    QTreeWidgetItem *m_root = nullptr;
    QTableView *m_grid;
    QPushButton *m_btnActivate;
    QPushButton *m_btnFreeze;
    QPushButton *m_btnOk;
    QPushButton *m_btnCancel;
    QTimer *m_tmStartYear;
    struct PendingEdit
    {
        int row = -1;
        QVariant periodID;
        QVariant value;
    };
    std::optional<PendingEdit> m_pendingEdit;
    bool m_loading = false;
    bool m_prepared = false;
    bool m_yearEditable = true;
};

} // namespace vexa::gl
