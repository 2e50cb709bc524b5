#pragma once

namespace vexa {

// Start-up settings every program of the system makes in main(), before any thread or
// QApplication exists. Without TZ, Qt asks the C library for the zone of every local
// date-time, and the C library reads /etc/localtime each time; naming the system zone
// once makes reading and writing date-times many times faster.
void prepareProcess();

// Qt's own texts (standard dialogs, context menus, the command-line help) in Chinese, from
// the Qt translations the system has installed; call after the application object exists.
void installChineseTranslations();

} // namespace vexa
