#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace vexa::server {

// A CSV file as RFC 4180 writes it (UTF-8, comma separated, double-quoted fields with ""
// inside, LF or CRLF line ends). The first record is the header.
struct CsvTable
{
    QStringList header;
    std::vector<QStringList> rows; // each as long as header
    std::vector<std::vector<bool>>
        quoted;             // per cell: written in quotes ("" is then an empty text, not a NULL)
    std::vector<int> lines; // per row: the line of the file it starts on (the header is line 1)
};

// Throws vexa::Error naming the line for an unterminated quote, a record with the wrong
// number of fields, or text after a closing quote.
CsvTable parseCsv(const QString &text);

} // namespace vexa::server
