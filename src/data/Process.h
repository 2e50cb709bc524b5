#pragma once

namespace vexa {

// Start-up settings every program of the system makes in main(), before any thread or
// QApplication exists. Without TZ, Qt asks the C library for the zone of every local
// date-time, and the C library reads /etc/localtime each time; naming the system zone
// once makes reading and writing date-times many times faster.
void prepareProcess();

} // namespace vexa
