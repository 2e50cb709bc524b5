// Fiscal calendar: generation, 12/13 periods, start-year change, start-date edits,
// active flags and the read-only rule. Expected dates are computed here with QDate, and
// the calendar's invariants are checked over every row after each operation.
#include "FiscalCalendar.h"

#include <vexa/Error.h>

#include <QtTest>
#include <algorithm>

using namespace vexa;
using namespace vexa::gl;

namespace {

struct Row
{
    int id = 0;
    int year = 0;
    int no = 0;
    QDate from;
    QDate to;
    QString active;
    QString code;
    QString name;
    bool operator==(const Row &) const = default;
};

std::vector<Row> allRows(const ClientDataSet &ds)
{
    const DataPacket p = ds.data();
    const auto at = [&](const char *name) { return indexOfField(p.fields, QLatin1String(name)); };
    std::vector<Row> rows;
    for (const QVariantList &v : p.rows) {
        // Dates are stored as dates: a time part would break the day arithmetic.
        if (v[at("PostingFrom")].typeId() != QMetaType::QDate ||
            v[at("PostingTo")].typeId() != QMetaType::QDate)
            return {};
        rows.push_back({v[at("PeriodID")].toInt(), v[at("Year")].toInt(), v[at("No")].toInt(),
                        v[at("PostingFrom")].toDate(), v[at("PostingTo")].toDate(),
                        v[at("Active")].toString(), v[at("PeriodCode")].toString(),
                        v[at("PeriodName")].toString()});
    }
    std::sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) {
        return std::pair(a.year, a.no) < std::pair(b.year, b.no);
    });
    return rows;
}

const Row &find(const std::vector<Row> &rows, int year, int no)
{
    static const Row none;
    for (const Row &r : rows)
        if (r.year == year && r.no == no)
            return r;
    return none;
}

// Every row: 50 years of `periods` periods from startYear, starts strictly increasing,
// each end the day before the next start, code and name from year and number.
void checkInvariants(const ClientDataSet &ds, int startYear, int periods)
{
    const std::vector<Row> rows = allRows(ds);
    QCOMPARE(int(rows.size()), FiscalCalendar::kYearCount * periods);
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row &r = rows[i];
        QCOMPARE(r.year, startYear + int(i) / periods);
        QCOMPARE(r.no, int(i) % periods + 1);
        QCOMPARE(r.code, QStringLiteral("%1-%2").arg(r.year).arg(r.no, 2, 10, QLatin1Char('0')));
        QCOMPARE(r.name, QString::number(r.year) + "年第" + QString::number(r.no) + "期");
        QVERIFY2(r.from <= r.to, qPrintable(r.code));
        if (i + 1 < rows.size()) {
            QVERIFY2(rows[i + 1].from > r.from, qPrintable(r.code));
            QCOMPARE(r.to, rows[i + 1].from.addDays(-1));
        }
    }
}

#define CHECK_INVARIANTS(ds, start, periods)                                                       \
    do {                                                                                           \
        checkInvariants(ds, start, periods);                                                       \
        if (QTest::currentTestFailed())                                                            \
            return;                                                                                \
    } while (false)

struct Fixture
{
    ClientDataSet ds;
    FiscalCalendar cal{ds};
    explicit Fixture(int serverYear = 2027)
    {
        ds.setFieldDefs(FiscalCalendar::periodFields());
        ds.createDataSet();
        cal.prepare(serverYear);
    }
    // Makes the period of the shown year current.
    void go(int year, int no)
    {
        cal.showYear(year);
        ds.locate(QStringLiteral("No"), no);
    }
};

} // namespace

class TestFiscalCalendar : public QObject
{
    Q_OBJECT

private slots:
    void generate_data();
    void generate();
    void prepareKeepsHandedTable();
    void periodCount_data();
    void periodCount();
    void periodCountRefusals();
    void shiftYearDate_data();
    void shiftYearDate();
    void shiftYearDateKeepsOrder();
    void startYear_data();
    void startYear();
    void startYearRefusesCollidingStarts();
    void editPeriodOneIntoPreviousYear_data();
    void editPeriodOneIntoPreviousYear();
    void editMonthEnd();
    void editFebruaryCarry_data();
    void editFebruaryCarry();
    void editFallsBackWhenPatternIsNotLater_data();
    void editFallsBackWhenPatternIsNotLater();
    void editThirteenPeriods();
    void editRefused_data();
    void editRefused();
    void readOnlyYears_data();
    void readOnlyYears();
    void activeFlags();
};

void TestFiscalCalendar::generate_data()
{
    QTest::addColumn<int>("serverYear");
    QTest::newRow("2027") << 2027;
    QTest::newRow("leap start 2003") << 2003;
}

void TestFiscalCalendar::generate()
{
    QFETCH(int, serverYear);
    Fixture f(serverYear);
    const int start = serverYear - 3;
    QCOMPARE(f.cal.startYear(), start);
    QCOMPARE(f.cal.yearPeriods(), 12);
    QVERIFY(f.cal.canRegenerate());
    CHECK_INVARIANTS(f.ds, start, 12);
    for (const Row &r : allRows(f.ds)) {
        QCOMPARE(r.from, QDate(r.year, r.no, 1));
        QCOMPARE(r.to, QDate(r.year, r.no, QDate(r.year, r.no, 1).daysInMonth()));
        QCOMPARE(r.id, r.year * 100 + r.no);
        QCOMPARE(r.active, QStringLiteral("Y"));
    }
    QCOMPARE(f.cal.years().size(), FiscalCalendar::kYearCount);
    QCOMPARE(f.cal.years().last(), start + 49);
    // The dialog shows the start year.
    QCOMPARE(f.ds.recordCount(), 12);
    QCOMPARE(f.ds.value("Year").toInt(), start);
    QCOMPARE(f.ds.value("No").toInt(), 1);
    QCOMPARE(f.ds.value("Locked").toString(), QStringLiteral("N"));
    QCOMPARE(f.ds.value("GLPost").toBool(), false);
}

void TestFiscalCalendar::prepareKeepsHandedTable()
{
    Fixture source;
    source.cal.setPeriodCount(13);
    ClientDataSet ds;
    ds.setData(source.ds.data());
    FiscalCalendar cal(ds);
    cal.setStartYear(2024);
    cal.setYearPeriods(13);
    cal.setLastVoucherPeriodID(7);
    cal.prepare(2040);
    QCOMPARE(allRows(ds), allRows(source.ds));
    QCOMPARE(cal.lastVoucherPeriodID(), 7);
    QCOMPARE(ds.recordCount(), 13);

    // Without a start year the table is generated anew and holds no voucher.
    cal.setStartYear(0);
    cal.prepare(2040);
    QCOMPARE(cal.lastVoucherPeriodID(), 0);
    CHECK_INVARIANTS(ds, 2037, 12);
}

void TestFiscalCalendar::periodCount_data()
{
    QTest::addColumn<bool>("edited");
    QTest::newRow("generated") << false;
    QTest::newRow("after a 26 December start") << true;
}

void TestFiscalCalendar::periodCount()
{
    QFETCH(bool, edited);
    Fixture f;
    if (edited) {
        f.go(2024, 1);
        QCOMPARE(f.cal.editPostingFrom(QDate(2023, 12, 26)).outcome,
                 FiscalCalendar::EditResult::Accepted);
    }
    const std::vector<Row> before = allRows(f.ds);

    QVERIFY(f.cal.setPeriodCount(13));
    QCOMPARE(f.cal.yearPeriods(), 13);
    CHECK_INVARIANTS(f.ds, 2024, 13);
    const std::vector<Row> thirteen = allRows(f.ds);
    for (int y = 2024; y < 2074; ++y) {
        const Row &old12 = find(before, y, 12);
        const Row &p12 = find(thirteen, y, 12);
        const Row &p13 = find(thirteen, y, 13);
        QCOMPARE(p12.from, old12.from);
        QCOMPARE(p12.to, old12.to.addDays(-1));
        QCOMPARE(p13.from, old12.to);
        QCOMPARE(p13.to, old12.to);
        QCOMPARE(p13.id, y * 100 + 13);
        if (!edited) {
            QCOMPARE(p12.to, QDate(y, 12, 30));
            QCOMPARE(p13.from, QDate(y, 12, 31));
        }
    }
    QCOMPARE(f.ds.recordCount(), 13); // the shown year, filtered again

    QVERIFY(!f.cal.setPeriodCount(13));
    QVERIFY(f.cal.setPeriodCount(12));
    CHECK_INVARIANTS(f.ds, 2024, 12);
    QCOMPARE(allRows(f.ds), before);
}

void TestFiscalCalendar::periodCountRefusals()
{
    Fixture f;
    // A period 12 of one day cannot give a day to period 13.
    f.go(2030, 12);
    f.cal.editPostingFrom(QDate(2030, 12, 31));
    const std::vector<Row> before = allRows(f.ds);
    QVERIFY_THROWS_EXCEPTION(Error, f.cal.setPeriodCount(13));
    QCOMPARE(allRows(f.ds), before);
    QCOMPARE(f.cal.yearPeriods(), 12);

    f.cal.setCanRegenerate(false);
    const std::vector<Row> fixedStructure = allRows(f.ds);
    QVERIFY_THROWS_EXCEPTION(Error, f.cal.setPeriodCount(13));
    QVERIFY_THROWS_EXCEPTION(Error, f.cal.changeStartYear(2025));
    QCOMPARE(allRows(f.ds), fixedStructure);
}

void TestFiscalCalendar::shiftYearDate_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<int>("delta");
    QTest::addColumn<QDate>("expected");
    QTest::newRow("29 Feb to common year") << QDate(2024, 2, 29) << 1 << QDate(2025, 2, 28);
    QTest::newRow("28 Feb leap keeps distance") << QDate(2024, 2, 28) << -1 << QDate(2023, 2, 27);
    QTest::newRow("28 Feb common is month end") << QDate(2023, 2, 28) << 1 << QDate(2024, 2, 29);
    QTest::newRow("27 Feb common to leap") << QDate(2023, 2, 27) << 1 << QDate(2024, 2, 27);
    QTest::newRow("29 Feb leap to leap") << QDate(2024, 2, 29) << 4 << QDate(2028, 2, 29);
    QTest::newRow("28 Feb leap to leap") << QDate(2024, 2, 28) << 4 << QDate(2028, 2, 28);
    QTest::newRow("31 Jan") << QDate(2024, 1, 31) << 1 << QDate(2025, 1, 31);
    QTest::newRow("30 Apr back") << QDate(2024, 4, 30) << -3 << QDate(2021, 4, 30);
    QTest::newRow("31 Dec") << QDate(2023, 12, 31) << 7 << QDate(2030, 12, 31);
    QTest::newRow("mid month") << QDate(2024, 2, 15) << 1 << QDate(2025, 2, 15);
}

void TestFiscalCalendar::shiftYearDate()
{
    QFETCH(QDate, date);
    QFETCH(int, delta);
    QFETCH(QDate, expected);
    QCOMPARE(FiscalCalendar::shiftYearDate(date, delta), expected);
}

// Over four years of days: same month, year moved, month ends stay month ends, and
// days never change order.
void TestFiscalCalendar::shiftYearDateKeepsOrder()
{
    for (int delta : {-5, -1, 1, 2, 4}) {
        QDate prevShifted;
        for (QDate d(2023, 1, 1); d < QDate(2027, 1, 1); d = d.addDays(1)) {
            const QDate s = FiscalCalendar::shiftYearDate(d, delta);
            QCOMPARE(s.year(), d.year() + delta);
            QCOMPARE(s.month(), d.month());
            QCOMPARE(s.day() == s.daysInMonth(), d.day() == d.daysInMonth());
            if (prevShifted.isValid())
                QVERIFY(s >= prevShifted);
            prevShifted = s;
        }
    }
}

void TestFiscalCalendar::startYear_data()
{
    QTest::addColumn<int>("periods");
    QTest::addColumn<int>("delta");
    QTest::newRow("12, +1") << 12 << 1;
    QTest::newRow("12, -3") << 12 << -3;
    QTest::newRow("13, +1") << 13 << 1;
    QTest::newRow("13, +5") << 13 << 5;
}

void TestFiscalCalendar::startYear()
{
    QFETCH(int, periods);
    QFETCH(int, delta);
    Fixture f;
    f.cal.setPeriodCount(periods);
    f.cal.showYear(2026);
    const std::vector<Row> before = allRows(f.ds);

    QVERIFY(f.cal.changeStartYear(2024 + delta));
    QCOMPARE(f.cal.startYear(), 2024 + delta);
    QCOMPARE(f.cal.years().first(), 2024 + delta);
    CHECK_INVARIANTS(f.ds, 2024 + delta, periods);
    const std::vector<Row> after = allRows(f.ds);
    for (size_t i = 0; i < after.size(); ++i) {
        QCOMPARE(after[i].id, before[i].id); // identifiers stay
        const Row &r = after[i];
        const bool last13 = periods == 13 && r.no >= 12;
        if (!last13)
            QCOMPARE(r.from, QDate(r.year, r.no, 1));
        else
            QCOMPARE(r.from, QDate(r.year, 12, r.no == 12 ? 1 : 31));
    }
    // The selected year node follows its renamed year.
    QCOMPARE(f.cal.shownYear(), 2026 + delta);
    QCOMPARE(f.ds.value("Year").toInt(), 2026 + delta);
    QCOMPARE(f.ds.recordCount(), periods);

    QVERIFY(!f.cal.changeStartYear(1899));
    QVERIFY(!f.cal.changeStartYear(2024 + delta));
    QCOMPARE(allRows(f.ds), after);
}

// Regression: starts on 27 and 28 February of a leap year both shift to 27 February of
// a common year, which would give a period of no days.
void TestFiscalCalendar::startYearRefusesCollidingStarts()
{
    Fixture f;
    f.go(2024, 2);
    f.cal.editPostingFrom(QDate(2024, 2, 27));
    f.go(2024, 3);
    QCOMPARE(f.cal.editPostingFrom(QDate(2024, 2, 28)).outcome,
             FiscalCalendar::EditResult::Accepted);
    CHECK_INVARIANTS(f.ds, 2024, 12);
    const std::vector<Row> before = allRows(f.ds);
    QVERIFY_THROWS_EXCEPTION(Error, f.cal.changeStartYear(2025));
    QCOMPARE(allRows(f.ds), before);
    QCOMPARE(f.cal.startYear(), 2024);
    // A leap year keeps both days.
    QVERIFY(f.cal.changeStartYear(2028));
    CHECK_INVARIANTS(f.ds, 2028, 12);
}

void TestFiscalCalendar::editPeriodOneIntoPreviousYear_data()
{
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("periods");
    QTest::newRow("start year") << 2024 << 12;
    QTest::newRow("middle year") << 2030 << 12;
    QTest::newRow("start year, 13") << 2024 << 13;
}

void TestFiscalCalendar::editPeriodOneIntoPreviousYear()
{
    QFETCH(int, year);
    QFETCH(int, periods);
    Fixture f;
    f.cal.setPeriodCount(periods);
    const std::vector<Row> before = allRows(f.ds);
    f.go(year, 1);
    const auto result = f.cal.editPostingFrom(QDate(year - 1, 12, 26));
    QCOMPARE(result.outcome, FiscalCalendar::EditResult::Accepted);
    CHECK_INVARIANTS(f.ds, 2024, periods);
    const std::vector<Row> rows = allRows(f.ds);
    for (const Row &r : rows) {
        if (r.year < year) {
            QCOMPARE(r.from, find(before, r.year, r.no).from);
            continue;
        }
        QDate expected = r.no == 1 ? QDate(r.year - 1, 12, 26) : QDate(r.year, r.no - 1, 26);
        if (r.no == 13)
            expected = QDate(r.year, 12, 25); // the day before the 26 a month on
        QCOMPARE(r.from, expected);
    }
    QCOMPARE(rows.back().to, QDate(2073, 12, 25));
    if (year > 2024)
        QCOMPARE(find(rows, year - 1, periods).to, QDate(year - 1, 12, 25));
    // The edited period stays current in its year.
    QCOMPARE(f.ds.value("Year").toInt(), year);
    QCOMPARE(f.ds.value("No").toInt(), 1);
    QCOMPARE(f.ds.recordCount(), periods);
}

void TestFiscalCalendar::editMonthEnd()
{
    Fixture f;
    f.go(2026, 1);
    f.cal.editPostingFrom(QDate(2026, 1, 31));
    CHECK_INVARIANTS(f.ds, 2024, 12);
    for (const Row &r : allRows(f.ds)) {
        const QDate first(r.year, r.no, 1);
        QCOMPARE(r.from, r.year < 2026 ? first : QDate(r.year, r.no, first.daysInMonth()));
    }
}

void TestFiscalCalendar::editFebruaryCarry_data()
{
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("day");
    QTest::newRow("27 Feb of a common year") << 2025 << 27;
    QTest::newRow("28 Feb of a leap year") << 2028 << 28;
    QTest::newRow("15 Feb") << 2025 << 15;
}

// February starts in later years: a month end stays a month end; a common year's 27th
// becomes the 28th in leap years; a leap year's 28th becomes the 27th.
void TestFiscalCalendar::editFebruaryCarry()
{
    QFETCH(int, year);
    QFETCH(int, day);
    Fixture f;
    f.go(year, 2);
    f.cal.editPostingFrom(QDate(year, 2, day));
    CHECK_INVARIANTS(f.ds, 2024, 12);
    const bool editedLeap = QDate::isLeapYear(year);
    for (const Row &r : allRows(f.ds)) {
        if (r.year <= year || r.no != 2)
            continue;
        int expected = day;
        if (day == 27 && !editedLeap && QDate::isLeapYear(r.year))
            expected = 28;
        else if (day == 28 && editedLeap)
            expected = 27;
        QCOMPARE(r.from, QDate(r.year, 2, expected));
        QCOMPARE(find(allRows(f.ds), r.year, 3).from, QDate(r.year, 3, day));
    }
}

void TestFiscalCalendar::editFallsBackWhenPatternIsNotLater_data()
{
    QTest::addColumn<int>("day");
    QTest::newRow("28th") << 28;
    QTest::newRow("30th, February shortens the later months") << 30;
}

// Period 12 starting after the carried-over period 1 forces every later start onto the
// month after the previous start, on the day of that previous start (so once February
// has cut the day short, the rest of the year keeps February's day).
void TestFiscalCalendar::editFallsBackWhenPatternIsNotLater()
{
    QFETCH(int, day);
    Fixture f;
    f.go(2030, 1);
    f.cal.editPostingFrom(QDate(2029, 12, 26));
    f.go(2030, 12);
    f.cal.editPostingFrom(QDate(2030, 12, day));
    CHECK_INVARIANTS(f.ds, 2024, 12);
    const std::vector<Row> rows = allRows(f.ds);
    QCOMPARE(find(rows, 2030, 1).from, QDate(2029, 12, 26));
    QCOMPARE(find(rows, 2030, 11).from, QDate(2030, 10, 26));
    for (const Row &r : rows) {
        if (r.year <= 2030)
            continue;
        const int february = std::min(day, QDate(r.year, 2, 1).daysInMonth());
        const int expected = r.no == 1 || r.no == 12 ? day : february;
        QCOMPARE(r.from, QDate(r.year, r.no, expected));
    }
    QCOMPARE(rows.back().to, QDate(2074, 1, day - 1));
}

void TestFiscalCalendar::editThirteenPeriods()
{
    Fixture f;
    f.cal.setPeriodCount(13);
    f.go(2024, 1);
    f.cal.editPostingFrom(QDate(2024, 1, 2));
    CHECK_INVARIANTS(f.ds, 2024, 13);
    for (const Row &r : allRows(f.ds))
        QCOMPARE(r.from, r.no == 13 ? QDate(r.year + 1, 1, 1) : QDate(r.year, r.no, 2));

    // Period 11 from 1 November: period 13 after a 1 December start is 31 December.
    f.go(2025, 11);
    f.cal.editPostingFrom(QDate(2025, 11, 1));
    CHECK_INVARIANTS(f.ds, 2024, 13);
    const std::vector<Row> rows = allRows(f.ds);
    QCOMPARE(find(rows, 2025, 12).from, QDate(2025, 12, 1));
    QCOMPARE(find(rows, 2025, 13).from, QDate(2025, 12, 31));
    QCOMPARE(find(rows, 2025, 13).to, QDate(2026, 1, 1)); // 2026 still starts on the 2nd
}

void TestFiscalCalendar::editRefused_data()
{
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("no");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("warning");
    QTest::newRow("same as period 4")
        << 2026 << 5 << QDate(2026, 4, 1) << QStringLiteral("第5期开始日期不能早于第4期开始日期!");
    QTest::newRow("before period 1") << 2026 << 2 << QDate(2025, 12, 31)
                                     << QStringLiteral("第2期开始日期不能早于第1期开始日期!");
    QTest::newRow("period 1, same as last year's 13")
        << 2026 << 1 << QDate(2025, 12, 31)
        << QStringLiteral("第1期开始日期不能早于上一年最后一期开始日期!");
    QTest::newRow("invalid date is ignored") << 2026 << 3 << QDate() << QString();
}

void TestFiscalCalendar::editRefused()
{
    QFETCH(int, year);
    QFETCH(int, no);
    QFETCH(QDate, date);
    QFETCH(QString, warning);
    Fixture f;
    f.cal.setPeriodCount(13);
    f.go(year, 6);
    f.cal.editPostingFrom(QDate(year, 6, 10)); // a table not fresh from generation
    const std::vector<Row> before = allRows(f.ds);
    f.go(year, no);
    const auto result = f.cal.editPostingFrom(date);
    QCOMPARE(result.outcome, warning.isEmpty() ? FiscalCalendar::EditResult::Ignored
                                               : FiscalCalendar::EditResult::Refused);
    QCOMPARE(result.warning, warning);
    QCOMPARE(allRows(f.ds), before);
    QCOMPARE(f.ds.value("No").toInt(), no);
    QCOMPARE(f.ds.value("Year").toInt(), year);
}

void TestFiscalCalendar::readOnlyYears_data()
{
    QTest::addColumn<int>("lastVoucher");
    QTest::addColumn<int>("year");
    QTest::addColumn<bool>("editable");
    QTest::newRow("year holding the voucher") << 14 << 2025 << false;
    QTest::newRow("voucher in first period of the year") << 13 << 2025 << false;
    QTest::newRow("year before it") << 14 << 2024 << false;
    QTest::newRow("year after it") << 14 << 2026 << true;
    QTest::newRow("voucher in last period of the year") << 24 << 2026 << true;
    QTest::newRow("no voucher") << 0 << 2024 << true;
}

void TestFiscalCalendar::readOnlyYears()
{
    QFETCH(int, lastVoucher);
    QFETCH(int, year);
    QFETCH(bool, editable);
    // A saved table: identifiers 1, 2, 3 ... in (Year, No) order.
    Fixture source;
    DataPacket packet = source.ds.data();
    const int fId = indexOfField(packet.fields, "PeriodID");
    const int fYear = indexOfField(packet.fields, "Year");
    const int fNo = indexOfField(packet.fields, "No");
    for (QVariantList &v : packet.rows)
        v[fId] = (v[fYear].toInt() - 2024) * 12 + v[fNo].toInt();
    ClientDataSet ds;
    ds.setData(packet);
    FiscalCalendar cal(ds);
    cal.setStartYear(2024);
    cal.setYearPeriods(12);
    cal.setLastVoucherPeriodID(lastVoucher);
    cal.prepare(2027);
    cal.showYear(year);
    QCOMPARE(cal.isShownYearEditable(), editable);
    ds.setRecNo(4);
    if (editable) {
        QCOMPARE(cal.editPostingFrom(QDate(year, 4, 3)).outcome,
                 FiscalCalendar::EditResult::Accepted);
    } else {
        QVERIFY_THROWS_EXCEPTION(Error, cal.editPostingFrom(QDate(year, 4, 3)));
        QCOMPARE(ds.value("PostingFrom").toDate(), QDate(year, 4, 1));
    }
    CHECK_INVARIANTS(ds, 2024, 12);
}

void TestFiscalCalendar::activeFlags()
{
    Fixture f;
    f.cal.setPeriodCount(13);
    f.cal.showYear(2030);
    const auto count = [&](const QString &flag) {
        int n = 0;
        for (const Row &r : allRows(f.ds))
            n += r.active == flag ? 1 : 0;
        return n;
    };
    f.cal.setActive(false, FiscalCalendar::Scope::ShownYear);
    QCOMPARE(count("N"), 13);
    for (const Row &r : allRows(f.ds))
        QCOMPARE(r.active, QString(r.year == 2030 ? "N" : "Y"));
    QCOMPARE(f.ds.value("No").toInt(), 1);
    f.cal.setActive(false, FiscalCalendar::Scope::AllYears);
    QCOMPARE(count("N"), 650);
    f.cal.setActive(true, FiscalCalendar::Scope::ShownYear);
    QCOMPARE(count("Y"), 13);
    f.cal.setActive(true, FiscalCalendar::Scope::AllYears);
    QCOMPARE(count("Y"), 650);
    CHECK_INVARIANTS(f.ds, 2024, 13);

    f.ds.setRecNo(5);
    f.cal.toggleActive();
    QCOMPARE(f.ds.value("Active").toString(), QStringLiteral("N"));
    f.cal.toggleActive();
    QCOMPARE(f.ds.value("Active").toString(), QStringLiteral("Y"));
    f.ds.edit();
    f.ds.setValue("Active", QString());
    f.ds.post();
    f.cal.toggleActive();
    QCOMPARE(f.ds.value("Active").toString(), QStringLiteral("Y"));
    QCOMPARE(f.ds.value("No").toInt(), 5);

    QCOMPARE(
        FiscalCalendar::freezeQuestion(2030),
        QStringLiteral("冻结全部年份会计期间选择\"是\"，仅冻结2030年全部会计期间选择\"否\"？"));
    QCOMPARE(
        FiscalCalendar::activateQuestion(2031),
        QStringLiteral("激活全部年份会计期间选择\"是\"，仅激活2031年全部会计期间选择\"否\"？"));
}

QTEST_MAIN(TestFiscalCalendar)
#include "tst_fiscalcalendar.moc"
