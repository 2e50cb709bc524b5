#pragma once

#include "ClientDataSet.h"

#include <QDate>
#include <QList>
#include <QString>
#include <vector>

namespace vexa::gl {

// The fiscal calendar of an account set: fifty consecutive fiscal years of 12 or 13
// posting periods over a dataset of period records (PeriodID, Year, No, PeriodCode,
// PeriodName, PostingFrom, PostingTo, Active, Locked, GLPost, CashierPost, InvPost).
// The period dialog owns the dataset and the window; this class does the date work.
//
// After every operation, over the whole table ordered by (Year, No): all years have the
// same number of periods, every PostingFrom is later than the one before, every
// PostingTo is the day before the next PostingFrom, and the dates carry no time.
//
// The dataset is left indexed by "Year;No" and filtered to the shown year.
//
// Refusals: editPostingFrom answers with a warning text for the dialog to show (the
// one user error of the calendar). Calls the dialog should have prevented (changing
// the structure of a calendar in use, re-dating a year that holds vouchers, a change
// that would break the order of the dates) throw vexa::Error and change nothing.
class FiscalCalendar
{
public:
    static constexpr int kYearCount = 50;
    static constexpr int kMinStartYear = 1900;
    static constexpr int kMaxStartYear = 9999 - kYearCount;

    enum class Scope { AllYears, ShownYear };

    struct EditResult
    {
        enum Outcome { Accepted, Ignored, Refused };
        Outcome outcome = Ignored;
        QString warning; // set when Refused
    };

    // The calendar works on periods, which must outlive it.
    explicit FiscalCalendar(ClientDataSet &periods);

    // Field definitions of a period record, for a dataset created without a provider.
    static QList<FieldDef> periodFields();

    static QString periodCode(int year, int no);
    static QString periodName(int year, int no);
    // The same date in the year moved by delta; a month end stays a month end and a day
    // near the end of February keeps its distance from the end.
    static QDate shiftYearDate(const QDate &date, int delta);

    // State the caller hands in. The newest voucher's period must be set before
    // prepare, which clears it when it generates a new table.
    int startYear() const { return m_startYear; }
    void setStartYear(int year) { m_startYear = year; }
    int yearPeriods() const { return m_yearPeriods; }
    void setYearPeriods(int periods) { m_yearPeriods = periods; }
    bool canRegenerate() const { return m_canRegenerate; }
    void setCanRegenerate(bool on) { m_canRegenerate = on; }
    int lastVoucherPeriodID() const { return m_lastVoucherPeriodID; }
    void setLastVoucherPeriodID(int id) { m_lastVoucherPeriodID = id; }

    // Keeps the table when start year and period count are both set, otherwise generates
    // a new one starting three years before serverYear; then shows the start year.
    void prepare(int serverYear);
    // A new table of 12-period years from serverYear - 3; the structure may be changed.
    void generate(int serverYear);

    QList<int> years() const; // StartYear ... StartYear + 49
    int shownYear() const { return m_shownYear; }
    // Filters the dataset to one year and makes its first period current.
    void showYear(int year);
    // A year whose first period holds or precedes the newest voucher is read-only.
    bool isShownYearEditable() const;

    // 12 or 13 periods in every year; false when the count is already that.
    bool setPeriodCount(int periods);
    // Moves the calendar to a new first year. Years outside kMinStartYear..kMaxStartYear
    // fall back to the current one: the answer is false and nothing changes.
    bool changeStartYear(int newYear);

    // The new start date for the current period, which must lie in an editable shown
    // year; later periods follow its day of month. An invalid date is ignored; a date
    // not after the previous period's start is refused with the warning to show, the
    // old date staying. The edited period stays current.
    EditResult editPostingFrom(const QDate &date);
    // A start date typed as text ("2024-03-01"; one-digit month and day, or slashes) into
    // date: Accepted; an empty text is Ignored (the cell keeps its date); a text that is no
    // date is Refused with the warning to show.
    static EditResult readTypedDate(const QString &text, QDate &date);

    static QString freezeQuestion(int year);
    static QString activateQuestion(int year);
    // Freezes (Active "N") or activates ("Y") the periods in scope; the shown year's
    // first period becomes current.
    void setActive(bool active, Scope scope);
    // Active "Y" becomes "N", anything else "Y".
    void toggleActive();

private:
    struct Period;
    std::vector<Period> readAll();
    void writeBack(const std::vector<Period> &rows);
    void applyView(int year);
    void recalcPeriodStarts(std::vector<Period> &rows, size_t edited);

    ClientDataSet &m_ds;
    int m_startYear = 0;
    int m_yearPeriods = 0;
    bool m_canRegenerate = false;
    int m_lastVoucherPeriodID = 0;
    int m_shownYear = 0;
};

} // namespace vexa::gl
