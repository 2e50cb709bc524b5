#include "Process.h"

#include <QFileInfo>
#include <QtGlobal>

namespace vexa {

void prepareProcess()
{
    if (qEnvironmentVariableIsEmpty("TZ") && QFileInfo::exists(QStringLiteral("/etc/localtime")))
        qputenv("TZ", ":/etc/localtime");
}

} // namespace vexa
