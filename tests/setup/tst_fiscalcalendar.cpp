// Fiscal calendar: generation, 12/13 periods, start-year change, start-date edits, active
// flags and the read-only years. Expected dates are computed here with QDate, and the
// calendar's invariants are checked over every row after each operation.
#include "FiscalCalendar.h"

#include <vexa/Error.h>

#include <QtTest>
#include <algorithm>

using namespace vexa;
using namespace vexa::gl;
using Outcome = FiscalCalendar::EditResult::Outcome;

namespace {

struct Row
{
    int id = 0, year = 0, no = 0;
    QDate from, to;
    QString active, code, name;
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
    const auto it = std::find_if(rows.begin(), rows.end(),
                                 [&](const Row &r) { return r.year == year && r.no == no; });
    return it == rows.end() ? none : *it;
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
        if (i + 1 < rows.size())
            QCOMPARE(r.to, rows[i + 1].from.addDays(-1));
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
    explicit Fixture(int serverYear = 2027, int periods = 12)
    {
        ds.setFieldDefs(FiscalCalendar::periodFields());
        ds.createDataSet();
        cal.prepare(serverYear);
        if (periods == 13)
            cal.setPeriodCount(13);
    }
    // Makes the period of that year current and gives it a new start.
    FiscalCalendar::EditResult edit(int year, int no, const QDate &date)
    {
        cal.showYear(year);
        ds.locate("No", no);
        return cal.editPostingFrom(date);
    }
};

} // namespace

class TestFiscalCalendar : public QObject
{
    Q_OBJECT

private slots:
    void generate()
    {
        Fixture f(2003); // a leap first year
        QCOMPARE(f.cal.years().size(), FiscalCalendar::kYearCount);
        CHECK_INVARIANTS(f.ds, 2000, 12);
        for (const Row &r : allRows(f.ds)) {
            QCOMPARE(r.from, QDate(r.year, r.no, 1));
            QCOMPARE(r.id, r.year * 100 + r.no);
        }
        QCOMPARE(allRows(f.ds).back().to, QDate(2049, 12, 31));
        QCOMPARE(f.ds.recordCount(), 12);                      // the start year is shown
        QVERIFY_THROWS_EXCEPTION(Error, f.cal.generate(1902)); // before the first start year
    }

    void periodCount_data()
    {
        QTest::addColumn<bool>("edited");
        QTest::newRow("generated") << false;
        QTest::newRow("after a 26 December start") << true;
    }
    void periodCount()
    {
        QFETCH(bool, edited);
        Fixture f;
        if (edited)
            QCOMPARE(f.edit(2024, 1, QDate(2023, 12, 26)).outcome, Outcome::Accepted);
        const std::vector<Row> before = allRows(f.ds);
        QVERIFY(f.cal.setPeriodCount(13));
        CHECK_INVARIANTS(f.ds, 2024, 13);
        const std::vector<Row> thirteen = allRows(f.ds);
        for (int y = 2024; y < 2074; ++y) {
            const Row &old12 = find(before, y, 12);
            QCOMPARE(find(thirteen, y, 12).to, old12.to.addDays(-1));
            QCOMPARE(find(thirteen, y, 13).from, old12.to);
            QCOMPARE(find(thirteen, y, 13).id, y * 100 + 13);
        }
        QCOMPARE(f.ds.recordCount(), 13); // the shown year, filtered again
        QVERIFY(!f.cal.setPeriodCount(13));
        QVERIFY(f.cal.setPeriodCount(12));
        QCOMPARE(allRows(f.ds), before);
    }

    void periodCountRefusals()
    {
        Fixture f;
        // A period 12 of one day cannot give a day to period 13.
        f.edit(2030, 12, QDate(2030, 12, 31));
        const std::vector<Row> before = allRows(f.ds);
        QVERIFY_THROWS_EXCEPTION(Error, f.cal.setPeriodCount(13));
        QVERIFY_THROWS_EXCEPTION(Error, f.cal.setPeriodCount(14));
        QCOMPARE(allRows(f.ds), before);
        QCOMPARE(f.cal.yearPeriods(), 12);
        // A calendar in use keeps its structure.
        f.cal.setCanRegenerate(false);
        QVERIFY_THROWS_EXCEPTION(Error, f.cal.setPeriodCount(13));
        QVERIFY_THROWS_EXCEPTION(Error, f.cal.changeStartYear(2025));
        QCOMPARE(allRows(f.ds), before);
    }

    void shiftYearDate_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<int>("delta");
        QTest::addColumn<QDate>("expected");
        QTest::newRow("29 Feb to common year") << QDate(2024, 2, 29) << 1 << QDate(2025, 2, 28);
        QTest::newRow("28 Feb leap keeps distance")
            << QDate(2024, 2, 28) << -1 << QDate(2023, 2, 27);
        QTest::newRow("28 Feb common is month end")
            << QDate(2023, 2, 28) << 1 << QDate(2024, 2, 29);
        QTest::newRow("27 Feb common to leap") << QDate(2023, 2, 27) << 1 << QDate(2024, 2, 27);
        QTest::newRow("invalid") << QDate() << 1 << QDate();
    }
    void shiftYearDate()
    {
        QFETCH(QDate, date);
        QFETCH(int, delta);
        QFETCH(QDate, expected);
        QCOMPARE(FiscalCalendar::shiftYearDate(date, delta), expected);
    }

    void startYear_data()
    {
        QTest::addColumn<int>("periods");
        QTest::addColumn<int>("delta");
        QTest::newRow("12, +1") << 12 << 1;
        QTest::newRow("12, -3") << 12 << -3;
        QTest::newRow("13, +5") << 13 << 5;
    }
    void startYear()
    {
        QFETCH(int, periods);
        QFETCH(int, delta);
        Fixture f(2027, periods);
        f.cal.showYear(2026);
        const std::vector<Row> before = allRows(f.ds);
        QVERIFY(f.cal.changeStartYear(2024 + delta));
        QCOMPARE(f.cal.startYear(), 2024 + delta);
        CHECK_INVARIANTS(f.ds, 2024 + delta, periods);
        const std::vector<Row> after = allRows(f.ds);
        for (size_t i = 0; i < after.size(); ++i) {
            const Row &r = after[i];
            QCOMPARE(r.id, before[i].id); // identifiers stay
            if (periods == 12 || r.no < 12)
                QCOMPARE(r.from, QDate(r.year, r.no, 1));
            else
                QCOMPARE(r.from, QDate(r.year, 12, r.no == 12 ? 1 : 31));
        }
        // The shown year follows its renamed year.
        QCOMPARE(f.cal.shownYear(), 2026 + delta);
        QCOMPARE(f.ds.value("Year").toInt(), 2026 + delta);
        // Out of range or unchanged: nothing happens.
        QVERIFY(!f.cal.changeStartYear(FiscalCalendar::kMinStartYear - 1));
        QVERIFY(!f.cal.changeStartYear(FiscalCalendar::kMaxStartYear + 1));
        QVERIFY(!f.cal.changeStartYear(2024 + delta));
        QCOMPARE(allRows(f.ds), after);
    }

    // Starts on 27 and 28 February of a leap year both shift to 27 February of a common
    // year, which would give a period of no days.
    void startYearRefusesCollidingStarts()
    {
        Fixture f;
        f.edit(2024, 2, QDate(2024, 2, 27));
        QCOMPARE(f.edit(2024, 3, QDate(2024, 2, 28)).outcome, Outcome::Accepted);
        const std::vector<Row> before = allRows(f.ds);
        QVERIFY_THROWS_EXCEPTION(Error, f.cal.changeStartYear(2025));
        QCOMPARE(allRows(f.ds), before);
        QCOMPARE(f.cal.startYear(), 2024);
        QVERIFY(f.cal.changeStartYear(2028)); // a leap year keeps both days
        CHECK_INVARIANTS(f.ds, 2028, 12);
    }

    // Start dates edited in turn; later periods follow the day of month, later years the
    // edited year's pattern. Spots are periods (year * 100 + no) and their new starts.
    void edits_data()
    {
        QTest::addColumn<int>("periods");
        QTest::addColumn<QList<int>>("edited");
        QTest::addColumn<QList<QDate>>("dates");
        QTest::addColumn<QList<int>>("spots");
        QTest::addColumn<QList<QDate>>("starts");
        QTest::addColumn<QDate>("lastEnd");
        QTest::newRow("period 1 into the previous year")
            << 12 << QList<int>{203001} << QList<QDate>{{2029, 12, 26}}
            << QList<int>{202912, 203001, 203002, 207312}
            << QList<QDate>{{2029, 12, 1}, {2029, 12, 26}, {2030, 1, 26}, {2073, 11, 26}}
            << QDate(2073, 12, 25);
        QTest::newRow("month end stays month end")
            << 12 << QList<int>{202601} << QList<QDate>{{2026, 1, 31}}
            << QList<int>{202512, 202602, 202604, 202802}
            << QList<QDate>{{2025, 12, 1}, {2026, 2, 28}, {2026, 4, 30}, {2028, 2, 29}} << QDate();
        QTest::newRow("27 Feb of a common year is 28 Feb in leap years")
            << 12 << QList<int>{202502} << QList<QDate>{{2025, 2, 27}}
            << QList<int>{202503, 202602, 202802, 202603}
            << QList<QDate>{{2025, 3, 27}, {2026, 2, 27}, {2028, 2, 28}, {2026, 3, 27}} << QDate();
        QTest::newRow("28 Feb of a leap year is 27 Feb later")
            << 12 << QList<int>{202802} << QList<QDate>{{2028, 2, 28}}
            << QList<int>{202902, 203202, 202903}
            << QList<QDate>{{2029, 2, 27}, {2032, 2, 27}, {2029, 3, 28}} << QDate();
        // Period 12 after the carried-over period 1: later starts fall back to the month
        // after the previous start, on its day (once February cut it short, on February's).
        QTest::newRow("falls back, 30th")
            << 12 << QList<int>{203001, 203012} << QList<QDate>{{2029, 12, 26}, {2030, 12, 30}}
            << QList<int>{203101, 203102, 203106, 203112, 203206}
            << QList<QDate>{{2031, 1, 30},
                            {2031, 2, 28},
                            {2031, 6, 28},
                            {2031, 12, 30},
                            {2032, 6, 29}}
            << QDate(2074, 1, 29);
        QTest::newRow("13 periods, from the 2nd, then 1 November")
            << 13 << QList<int>{202401, 202511} << QList<QDate>{{2024, 1, 2}, {2025, 11, 1}}
            << QList<int>{202402, 202413, 202512, 202513, 202601}
            << QList<QDate>{{2024, 2, 2}, {2025, 1, 1}, {2025, 12, 1}, {2025, 12, 31}, {2026, 1, 2}}
            << QDate();
    }
    void edits()
    {
        QFETCH(int, periods);
        QFETCH(QList<int>, edited);
        QFETCH(QList<QDate>, dates);
        QFETCH(QList<int>, spots);
        QFETCH(QList<QDate>, starts);
        QFETCH(QDate, lastEnd);
        Fixture f(2027, periods);
        for (int i = 0; i < edited.size(); ++i)
            QCOMPARE(f.edit(edited[i] / 100, edited[i] % 100, dates[i]).outcome, Outcome::Accepted);
        CHECK_INVARIANTS(f.ds, 2024, periods);
        const std::vector<Row> rows = allRows(f.ds);
        for (int i = 0; i < spots.size(); ++i)
            QCOMPARE(find(rows, spots[i] / 100, spots[i] % 100).from, starts[i]);
        if (lastEnd.isValid())
            QCOMPARE(rows.back().to, lastEnd);
        // The edited period stays current in its year.
        QCOMPARE(f.ds.value("Year").toInt() * 100 + f.ds.value("No").toInt(), edited.last());
        QCOMPARE(f.ds.recordCount(), periods);
    }

    void editRefused_data()
    {
        QTest::addColumn<int>("no");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QString>("warning");
        QTest::newRow("same as period 4")
            << 5 << QDate(2026, 4, 1) << QStringLiteral("第5期开始日期不能早于第4期开始日期!");
        QTest::newRow("period 1, same as last year's 13")
            << 1 << QDate(2025, 12, 31)
            << QStringLiteral("第1期开始日期不能早于上一年最后一期开始日期!");
        QTest::newRow("invalid date is ignored") << 3 << QDate() << QString();
    }
    void editRefused()
    {
        QFETCH(int, no);
        QFETCH(QDate, date);
        QFETCH(QString, warning);
        Fixture f(2027, 13);
        f.edit(2026, 6, QDate(2026, 6, 10)); // a table not fresh from generation
        const std::vector<Row> before = allRows(f.ds);
        const auto result = f.edit(2026, no, date);
        QCOMPARE(result.outcome, warning.isEmpty() ? Outcome::Ignored : Outcome::Refused);
        QCOMPARE(result.warning, warning);
        QCOMPARE(allRows(f.ds), before);
        QCOMPARE(f.ds.value("No").toInt(), no);
    }

    void readTypedDate_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QDate>("date");
        QTest::newRow("full") << " 2023-12-26 " << int(Outcome::Accepted) << QDate(2023, 12, 26);
        QTest::newRow("short, slashes")
            << "2024/3/1" << int(Outcome::Accepted) << QDate(2024, 3, 1);
        QTest::newRow("empty keeps the date") << "  " << int(Outcome::Ignored) << QDate();
        QTest::newRow("no such day") << "2024/2/30" << int(Outcome::Refused) << QDate();
    }
    void readTypedDate()
    {
        QFETCH(QString, text);
        QFETCH(int, outcome);
        QFETCH(QDate, date);
        QDate read;
        const auto result = FiscalCalendar::readTypedDate(text, read);
        QCOMPARE(int(result.outcome), outcome);
        QCOMPARE(read, date);
        QCOMPARE(result.warning.isEmpty(), outcome != int(Outcome::Refused));
    }

    // Periods keep the identifiers generated for them (year * 100 + no).
    void readOnlyYears_data()
    {
        QTest::addColumn<int>("lastVoucher");
        QTest::addColumn<int>("year");
        QTest::addColumn<bool>("editable");
        QTest::newRow("year holding the voucher") << 202502 << 2025 << false;
        QTest::newRow("voucher in first period of the year") << 202501 << 2025 << false;
        QTest::newRow("year before it") << 202502 << 2024 << false;
        QTest::newRow("voucher in last period of the year before") << 202512 << 2026 << true;
        QTest::newRow("no voucher") << 0 << 2024 << true;
    }
    void readOnlyYears()
    {
        QFETCH(int, lastVoucher);
        QFETCH(int, year);
        QFETCH(bool, editable);
        Fixture f;
        f.cal.setLastVoucherPeriodID(lastVoucher);
        f.cal.showYear(year);
        QCOMPARE(f.cal.isShownYearEditable(), editable);
        if (editable) {
            QCOMPARE(f.edit(year, 4, QDate(year, 4, 3)).outcome, Outcome::Accepted);
        } else {
            QVERIFY_THROWS_EXCEPTION(Error, f.edit(year, 4, QDate(year, 4, 3)));
            QCOMPARE(f.ds.value("PostingFrom").toDate(), QDate(year, 4, 1));
        }
    }

    void activeFlags()
    {
        Fixture f(2027, 13);
        f.cal.showYear(2030);
        const auto frozen = [&] {
            QList<int> years;
            for (const Row &r : allRows(f.ds))
                if (r.active != QLatin1String("Y"))
                    years << r.year;
            return years;
        };
        f.cal.setActive(false, FiscalCalendar::Scope::ShownYear);
        QCOMPARE(frozen(), QList<int>(13, 2030));
        QCOMPARE(f.ds.value("No").toInt(), 1);
        f.cal.setActive(false, FiscalCalendar::Scope::AllYears);
        QCOMPARE(frozen().size(), 650);
        f.cal.setActive(true, FiscalCalendar::Scope::ShownYear);
        QCOMPARE(frozen().size(), 650 - 13);
        f.cal.setActive(true, FiscalCalendar::Scope::AllYears);
        QCOMPARE(frozen().size(), 0);

        f.ds.setRecNo(5);
        f.cal.toggleActive();
        QCOMPARE(f.ds.value("Active").toString(), QStringLiteral("N"));
        f.cal.toggleActive();
        QCOMPARE(f.ds.value("Active").toString(), QStringLiteral("Y"));
    }
};

QTEST_MAIN(TestFiscalCalendar)
#include "tst_fiscalcalendar.moc"
