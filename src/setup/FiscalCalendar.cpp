#include "FiscalCalendar.h"

#include "AccountSetParams.h"

#include <vexa/Error.h>

#include <QScopeGuard>

#include <algorithm>
#include <map>

namespace vexa::gl {

namespace {

const QString kYearNo = QStringLiteral("Year;No");

int daysIn(int year, int month)
{
    return QDate(year, month, 1).daysInMonth();
}

// Bound views hear of a bulk change once, at the end, even when it throws.
[[nodiscard]] auto controlsOff(ClientDataSet &ds)
{
    ds.disableControls();
    return qScopeGuard([&ds] { ds.enableControls(); });
}

int requireField(const ClientDataSet &ds, const QString &name)
{
    const int i = ds.fieldIndex(name);
    if (i < 0)
        throw Error(QStringLiteral("会计期间数据缺少字段“%1”。").arg(name));
    return i;
}

} // namespace

// One period as read from the dataset: its place in load order (filter and index off),
// the values the calendar may change, and what they were, so only changes are written.
struct FiscalCalendar::Period
{
    int recNo = 0;
    int id = 0;
    int year = 0;
    int no = 0;
    QDate from;
    QDate to;
    QString active;
    QString code;
    QString name;

    int oldYear = 0;
    QDate oldFrom;
    QDate oldTo;
    QString oldActive;
    QString oldCode;
    QString oldName;
};

FiscalCalendar::FiscalCalendar(ClientDataSet &periods) : m_ds(periods) {}

QList<FieldDef> FiscalCalendar::periodFields()
{
    return {
        {QStringLiteral("PeriodID"), FieldType::Integer, 0, true},
        {QStringLiteral("Year"), FieldType::Integer},
        {QStringLiteral("No"), FieldType::Integer},
        {QStringLiteral("PeriodCode"), FieldType::String, 10},
        {QStringLiteral("PeriodName"), FieldType::String, 20},
        {QStringLiteral("PostingFrom"), FieldType::Date},
        {QStringLiteral("PostingTo"), FieldType::Date},
        {QStringLiteral("Active"), FieldType::FixedChar, 1},
        {QStringLiteral("Locked"), FieldType::FixedChar, 1},
        {QStringLiteral("GLPost"), FieldType::Boolean},
        {QStringLiteral("CashierPost"), FieldType::Boolean},
        {QStringLiteral("InvPost"), FieldType::Boolean},
    };
}

QString FiscalCalendar::periodCode(int year, int no)
{
    return QStringLiteral("%1-%2")
        .arg(year, 4, 10, QLatin1Char('0'))
        .arg(no, 2, 10, QLatin1Char('0'));
}

QString FiscalCalendar::periodName(int year, int no)
{
    return QStringLiteral("%1年第%2期").arg(year).arg(no);
}

QDate FiscalCalendar::shiftYearDate(const QDate &date, int delta)
{
    if (!date.isValid())
        return date;
    const int y = date.year() + delta;
    const int m = date.month();
    const int d = date.day();
    const int last = date.daysInMonth();
    const int newLast = daysIn(y, m);
    int day = d;
    if (d == last)
        day = newLast;
    else if (newLast <= d)
        day = newLast - (last - d);
    return QDate(y, m, day);
}

// ---- reading and writing the whole table -------------------------------------------

std::vector<FiscalCalendar::Period> FiscalCalendar::readAll()
{
    PostPending(m_ds);
    m_ds.setFiltered(false);
    m_ds.setIndexFieldNames(QString());

    const int fId = requireField(m_ds, QStringLiteral("PeriodID"));
    const int fYear = requireField(m_ds, QStringLiteral("Year"));
    const int fNo = requireField(m_ds, QStringLiteral("No"));
    const int fFrom = requireField(m_ds, QStringLiteral("PostingFrom"));
    const int fTo = requireField(m_ds, QStringLiteral("PostingTo"));
    const int fActive = requireField(m_ds, QStringLiteral("Active"));
    const int fCode = requireField(m_ds, QStringLiteral("PeriodCode"));
    const int fName = requireField(m_ds, QStringLiteral("PeriodName"));

    const int n = m_ds.recordCount();
    std::vector<Period> rows(n);
    for (int i = 0; i < n; ++i) {
        Period &p = rows[i];
        p.recNo = i + 1;
        p.id = m_ds.valueAt(i, fId).toInt();
        p.year = p.oldYear = m_ds.valueAt(i, fYear).toInt();
        p.no = m_ds.valueAt(i, fNo).toInt();
        p.from = p.oldFrom = m_ds.valueAt(i, fFrom).toDate();
        p.to = p.oldTo = m_ds.valueAt(i, fTo).toDate();
        p.active = p.oldActive = m_ds.valueAt(i, fActive).toString();
        p.code = p.oldCode = m_ds.valueAt(i, fCode).toString();
        p.name = p.oldName = m_ds.valueAt(i, fName).toString();
    }
    std::stable_sort(rows.begin(), rows.end(), [](const Period &a, const Period &b) {
        return a.year != b.year ? a.year < b.year : a.no < b.no;
    });
    return rows;
}

// Expects the view readAll left: no filter, no index, so record numbers are load order.
void FiscalCalendar::writeBack(const std::vector<Period> &rows)
{
    for (const Period &p : rows) {
        const bool year = p.year != p.oldYear;
        const bool from = p.from != p.oldFrom;
        const bool to = p.to != p.oldTo;
        const bool active = p.active != p.oldActive;
        const bool code = p.code != p.oldCode;
        const bool name = p.name != p.oldName;
        if (!(year || from || to || active || code || name))
            continue;
        m_ds.setRecNo(p.recNo);
        m_ds.edit();
        if (year)
            m_ds.setValue(QStringLiteral("Year"), p.year);
        if (from)
            m_ds.setValue(QStringLiteral("PostingFrom"), p.from);
        if (to)
            m_ds.setValue(QStringLiteral("PostingTo"), p.to);
        if (active)
            m_ds.setValue(QStringLiteral("Active"), p.active);
        if (code)
            m_ds.setValue(QStringLiteral("PeriodCode"), p.code);
        if (name)
            m_ds.setValue(QStringLiteral("PeriodName"), p.name);
        m_ds.post();
    }
}

void FiscalCalendar::applyView(int year)
{
    m_ds.setIndexFieldNames(kYearNo);
    m_ds.setFilter(QStringLiteral("Year = %1").arg(year));
    m_ds.setFiltered(true);
    m_shownYear = year;
    m_ds.first();
}

// ---- generation and display ----------------------------------------------------------

void FiscalCalendar::prepare(int serverYear)
{
    if (m_startYear == 0 || m_yearPeriods == 0)
        generate(serverYear);
    else
        applyView(m_startYear);
}

void FiscalCalendar::generate(int serverYear)
{
    const int start = serverYear - 3;
    if (start < kMinStartYear || start > kMaxStartYear)
        throw Error(QStringLiteral("服务器日期的年度%1无效，无法生成会计期间。").arg(serverYear));

    const auto quiet = controlsOff(m_ds);
    PostPending(m_ds);
    m_ds.setFiltered(false);
    m_ds.setIndexFieldNames(QString());
    m_ds.last();
    while (!m_ds.isEmpty())
        m_ds.deleteRecord(); // from the end: nothing moves up

    m_canRegenerate = true;
    m_lastVoucherPeriodID = 0;
    m_startYear = start;
    m_yearPeriods = 12;
    for (int y = start; y < start + kYearCount; ++y) {
        for (int n = 1; n <= 12; ++n) {
            const QDate from(y, n, 1);
            m_ds.append();
            m_ds.setValue(QStringLiteral("PeriodID"), y * 100 + n);
            m_ds.setValue(QStringLiteral("Year"), y);
            m_ds.setValue(QStringLiteral("No"), n);
            m_ds.setValue(QStringLiteral("PeriodCode"), periodCode(y, n));
            m_ds.setValue(QStringLiteral("PeriodName"), periodName(y, n));
            m_ds.setValue(QStringLiteral("PostingFrom"), from);
            m_ds.setValue(QStringLiteral("PostingTo"), from.addMonths(1).addDays(-1));
            m_ds.setValue(QStringLiteral("Active"), QStringLiteral("Y"));
            m_ds.setValue(QStringLiteral("Locked"), QStringLiteral("N"));
            m_ds.setValue(QStringLiteral("GLPost"), false);
            m_ds.setValue(QStringLiteral("CashierPost"), false);
            m_ds.setValue(QStringLiteral("InvPost"), false);
            m_ds.post();
        }
    }
    applyView(m_startYear);
}

QList<int> FiscalCalendar::years() const
{
    QList<int> result;
    if (m_startYear == 0)
        return result;
    result.reserve(kYearCount);
    for (int y = m_startYear; y < m_startYear + kYearCount; ++y)
        result.append(y);
    return result;
}

void FiscalCalendar::showYear(int year)
{
    const auto quiet = controlsOff(m_ds);
    PostPending(m_ds);
    applyView(year);
}

bool FiscalCalendar::isShownYearEditable() const
{
    if (m_lastVoucherPeriodID <= 0 || m_ds.isEmpty())
        return true;
    // The view is indexed by (Year, No): its first row is the year's first period.
    return m_ds.valueAt(0, m_ds.fieldIndex(QStringLiteral("PeriodID"))).toInt() >
           m_lastVoucherPeriodID;
}

// ---- structure -----------------------------------------------------------------------

bool FiscalCalendar::setPeriodCount(int periods)
{
    if (periods != 12 && periods != 13)
        throw Error(QStringLiteral("每年会计期间数只能是12或13，不能是%1。").arg(periods));
    if (periods == m_yearPeriods)
        return false;
    if (!m_canRegenerate)
        throw Error(QStringLiteral("会计期间已经使用，不能更改每年会计期间数。"));

    const auto quiet = controlsOff(m_ds);
    std::vector<Period> rows = readAll();
    std::vector<int> touched; // load-order record numbers of the periods 12 or 13
    if (periods == 13) {
        for (const Period &p : rows) {
            if (p.no != 12)
                continue;
            if (p.from >= p.to) {
                applyView(m_shownYear);
                throw Error(QStringLiteral("%1年第12期只有一天，不能再分出第13期。").arg(p.year));
            }
            touched.push_back(p.recNo);
        }
        // From the end of the load order, so an insertion moves no row still to visit.
        std::sort(touched.rbegin(), touched.rend());
        const int count = m_ds.recordCount();
        for (int recNo : touched) {
            m_ds.setRecNo(recNo);
            const int year = m_ds.value(QStringLiteral("Year")).toInt();
            const QDate end = m_ds.value(QStringLiteral("PostingTo")).toDate();
            m_ds.edit();
            m_ds.setValue(QStringLiteral("PostingTo"), end.addDays(-1));
            m_ds.post();
            if (recNo < count) {
                m_ds.setRecNo(recNo + 1);
                m_ds.insert();
            } else {
                m_ds.append();
            }
            m_ds.setValue(QStringLiteral("PeriodID"), year * 100 + 13);
            m_ds.setValue(QStringLiteral("Year"), year);
            m_ds.setValue(QStringLiteral("No"), 13);
            m_ds.setValue(QStringLiteral("PeriodCode"), periodCode(year, 13));
            m_ds.setValue(QStringLiteral("PeriodName"), periodName(year, 13));
            m_ds.setValue(QStringLiteral("PostingFrom"), end);
            m_ds.setValue(QStringLiteral("PostingTo"), end);
            m_ds.setValue(QStringLiteral("Active"), QStringLiteral("Y"));
            m_ds.setValue(QStringLiteral("Locked"), QStringLiteral("N"));
            m_ds.setValue(QStringLiteral("GLPost"), false);
            m_ds.setValue(QStringLiteral("CashierPost"), false);
            m_ds.setValue(QStringLiteral("InvPost"), false);
            m_ds.post();
        }
    } else {
        for (size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].no == 12 && i + 1 < rows.size())
                rows[i].to = rows[i + 1].to;
            else if (rows[i].no == 13)
                touched.push_back(rows[i].recNo);
        }
        writeBack(rows); // changes values only: record numbers hold
        std::sort(touched.rbegin(), touched.rend());
        for (int recNo : touched) {
            m_ds.setRecNo(recNo);
            m_ds.deleteRecord();
        }
    }
    m_yearPeriods = periods;
    applyView(m_shownYear);
    return true;
}

bool FiscalCalendar::changeStartYear(int newYear)
{
    if (newYear < kMinStartYear || newYear > kMaxStartYear || newYear == m_startYear)
        return false;
    if (!m_canRegenerate)
        throw Error(QStringLiteral("会计期间已经使用，不能更改期间开始年度。"));
    const int delta = newYear - m_startYear;

    const auto quiet = controlsOff(m_ds);
    std::vector<Period> rows = readAll();
    for (Period &p : rows) {
        p.year += delta;
        p.from = shiftYearDate(p.from, delta);
    }
    for (size_t i = rows.size(); i-- > 0;) {
        Period &p = rows[i];
        p.to = i + 1 == rows.size() ? shiftYearDate(p.to, delta) : rows[i + 1].from.addDays(-1);
        p.code = periodCode(p.year, p.no);
        p.name = periodName(p.year, p.no);
    }
    // Two starts at the end of a leap February can meet in a common year.
    for (size_t i = 1; i < rows.size(); ++i) {
        if (rows[i].from <= rows[i - 1].from) {
            applyView(m_shownYear);
            throw Error(QStringLiteral("开始年度改为%1后，%2年第%3期的开始日期不晚于上一期，"
                                       "请先调整该期间的开始日期。")
                            .arg(newYear)
                            .arg(rows[i].year)
                            .arg(rows[i].no));
        }
    }
    writeBack(rows);
    m_startYear = newYear;
    applyView(m_shownYear + delta);
    return true;
}

// ---- start dates ---------------------------------------------------------------------

FiscalCalendar::EditResult FiscalCalendar::editPostingFrom(const QDate &date)
{
    if (!date.isValid() || m_ds.isEmpty())
        return {};
    PostPending(m_ds);
    const int year = m_ds.value(QStringLiteral("Year")).toInt();
    const int no = m_ds.value(QStringLiteral("No")).toInt();
    if (!isShownYearEditable())
        throw Error(QStringLiteral("%1年的会计期间已有凭证，不能修改开始日期。").arg(year));

    const auto quiet = controlsOff(m_ds);
    std::vector<Period> rows = readAll();
    const auto it = std::find_if(rows.begin(), rows.end(),
                                 [&](const Period &p) { return p.year == year && p.no == no; });
    Q_ASSERT(it != rows.end());
    const size_t at = size_t(it - rows.begin());

    EditResult result;
    if (at > 0 && rows[at - 1].from >= date) {
        result.outcome = EditResult::Refused;
        result.warning =
            no == 1 ? QStringLiteral("第1期开始日期不能早于上一年最后一期开始日期!")
                    : QStringLiteral("第%1期开始日期不能早于第%2期开始日期!").arg(no).arg(no - 1);
    } else {
        result.outcome = EditResult::Accepted;
        rows[at].from = date;
        recalcPeriodStarts(rows, at);
        writeBack(rows);
    }
    applyView(m_shownYear);
    m_ds.locate(kYearNo, {year, no});
    return result;
}

FiscalCalendar::EditResult FiscalCalendar::readTypedDate(const QString &text, QDate &date)
{
    QString t = text.trimmed();
    if (t.isEmpty())
        return {};
    t.replace(QLatin1Char('/'), QLatin1Char('-'));
    date = QDate::fromString(t, QStringLiteral("yyyy-M-d"));
    if (date.isValid())
        return {EditResult::Accepted, {}};
    return {EditResult::Refused,
            QStringLiteral("“%1”不是有效的日期，请按“年-月-日”输入，如 2024-03-01。")
                .arg(text.trimmed())};
}

void FiscalCalendar::recalcPeriodStarts(std::vector<Period> &rows, size_t edited)
{
    const QDate start = rows[edited].from;
    const int editedYear = rows[edited].year;
    int d0 = start.day();
    const bool monthEnd = d0 == start.daysInMonth();
    int year = start.year();
    int month = start.month();

    const auto nextMonthDate = [&](int no) {
        if (++month > 12) {
            month = 1;
            ++year;
        }
        const int last = daysIn(year, month);
        QDate d(year, month, !monthEnd && d0 <= last ? d0 : last);
        if (m_yearPeriods == 13 && no == 13)
            d = d.addDays(-1);
        return d;
    };

    size_t i = edited + 1;
    for (; i < rows.size() && rows[i].year == editedYear; ++i)
        rows[i].from = nextMonthDate(rows[i].no);

    std::map<int, QDate> pattern; // No -> start in the edited year
    for (size_t k = 0; k < i; ++k)
        if (rows[k].year == editedYear)
            pattern[rows[k].no] = rows[k].from;
    QDate prev = rows[i - 1].from;

    // The edited year's start of period no, carried to fiscal year y and made later
    // than prev.
    const auto follow = [&](int y, int no) {
        QDate candidate;
        const auto p = pattern.find(no);
        if (p != pattern.end()) {
            const QDate s = p->second;
            const int m = s.month();
            const int d = s.day();
            const int last = s.daysInMonth();
            const int ny = s.year() + (y - editedYear);
            const int newLast = daysIn(ny, m);
            int nd = d;
            if (m == 2) {
                if (d == last)
                    nd = newLast;
                else if (d == 27 && last == 28 && newLast == 29)
                    nd = 28;
                else if (d == 28 && last == 29)
                    nd = 27;
            }
            candidate = QDate(ny, m, nd);
        }
        if (candidate.isValid() && candidate > prev)
            return candidate;
        year = prev.year();
        month = prev.month();
        d0 = prev.day();
        const QDate c = nextMonthDate(no);
        return c > prev ? c : c.addDays(1);
    };

    for (; i < rows.size(); ++i) {
        rows[i].from = follow(rows[i].year, rows[i].no);
        prev = rows[i].from;
    }
    rows.back().to = follow(rows.back().year + 1, 1).addDays(-1);
    for (size_t k = rows.size() - 1; k-- > 0;)
        rows[k].to = rows[k + 1].from.addDays(-1);
}

// ---- active flags --------------------------------------------------------------------

QString FiscalCalendar::freezeQuestion(int year)
{
    return QStringLiteral("冻结全部年份会计期间选择\"是\"，仅冻结%1年全部会计期间选择\"否\"？")
        .arg(year);
}

QString FiscalCalendar::activateQuestion(int year)
{
    return QStringLiteral("激活全部年份会计期间选择\"是\"，仅激活%1年全部会计期间选择\"否\"？")
        .arg(year);
}

void FiscalCalendar::setActive(bool active, Scope scope)
{
    const auto quiet = controlsOff(m_ds);
    std::vector<Period> rows = readAll();
    const QString flag = active ? QStringLiteral("Y") : QStringLiteral("N");
    for (Period &p : rows)
        if (scope == Scope::AllYears || p.year == m_shownYear)
            p.active = flag;
    writeBack(rows);
    applyView(m_shownYear);
}

void FiscalCalendar::toggleActive()
{
    if (m_ds.isEmpty())
        return;
    const bool on = m_ds.value(QStringLiteral("Active")).toString() == QLatin1String("Y");
    m_ds.edit();
    m_ds.setValue(QStringLiteral("Active"), on ? QStringLiteral("N") : QStringLiteral("Y"));
    m_ds.post();
}

} // namespace vexa::gl
