#pragma once

// The per-user registry of a test in a temporary folder, for the test's lifetime, and the
// fifty-year period table a fiscal-year dialog hands back.

#include "ClientDataSet.h"
#include "FiscalCalendar.h"

#include <QSettings>
#include <QTemporaryDir>

namespace vexa::test {

struct TemporarySettings
{
    QTemporaryDir dir;
    TemporarySettings()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    }
    QString filePath(const QString &name) const { return dir.filePath(name); }
};

// Fifty 12-period years generated for a server date in serverYear (the calendar starts
// three years earlier), all rows visible.
inline DataPacket GeneratedPeriods(int serverYear = 2027)
{
    ClientDataSet periods;
    periods.setFieldDefs(gl::FiscalCalendar::periodFields());
    periods.createDataSet();
    gl::FiscalCalendar(periods).generate(serverYear);
    periods.setFiltered(false);
    return periods.data();
}

} // namespace vexa::test
