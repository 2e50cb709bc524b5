#include "Csv.h"

#include <vexa/Error.h>

namespace vexa::server {

namespace {

class CsvReader
{
public:
    explicit CsvReader(const QString &text) : m_text(text)
    {
        if (m_text.startsWith(QChar(0xFEFF)))
            m_pos = 1;
    }

    // True once only line ends remain: a final empty line is not a record.
    bool atEnd() const
    {
        for (qsizetype i = m_pos; i < m_text.size(); ++i) {
            if (m_text[i] != QLatin1Char('\n') && m_text[i] != QLatin1Char('\r'))
                return false;
        }
        return true;
    }

    int line() const { return m_line; }

    // Reads one record, including its line end.
    void readRecord(QStringList &fields, std::vector<bool> &quoted)
    {
        fields.clear();
        quoted.clear();
        for (;;) {
            const bool isQuoted = m_pos < m_text.size() && m_text[m_pos] == QLatin1Char('"');
            fields << (isQuoted ? readQuoted() : readPlain());
            quoted.push_back(isQuoted);
            if (m_pos >= m_text.size())
                return;
            const QChar c = m_text[m_pos];
            if (c == QLatin1Char(',')) {
                ++m_pos;
                continue;
            }
            if (c == QLatin1Char('\n')) {
                ++m_pos;
                ++m_line;
                return;
            }
            if (c == QLatin1Char('\r') && m_pos + 1 < m_text.size() &&
                m_text[m_pos + 1] == QLatin1Char('\n')) {
                m_pos += 2;
                ++m_line;
                return;
            }
            // Only a quoted field stops anywhere else.
            throw Error(QStringLiteral("CSV 第 %1 行：结束引号后还有其他字符。").arg(m_line));
        }
    }

private:
    QString readPlain()
    {
        const qsizetype start = m_pos;
        while (m_pos < m_text.size()) {
            const QChar c = m_text[m_pos];
            if (c == QLatin1Char(',') || c == QLatin1Char('\n'))
                break;
            if (c == QLatin1Char('\r') && m_pos + 1 < m_text.size() &&
                m_text[m_pos + 1] == QLatin1Char('\n'))
                break;
            if (c == QLatin1Char('"'))
                throw Error(QStringLiteral("CSV 第 %1 行：未加引号的字段中含有引号。").arg(m_line));
            ++m_pos;
        }
        return m_text.mid(start, m_pos - start);
    }

    QString readQuoted()
    {
        const int startLine = m_line;
        ++m_pos; // opening quote
        QString value;
        for (;;) {
            if (m_pos >= m_text.size())
                throw Error(QStringLiteral("CSV 第 %1 行：引号没有结束。").arg(startLine));
            const QChar c = m_text[m_pos];
            if (c == QLatin1Char('"')) {
                if (m_pos + 1 < m_text.size() && m_text[m_pos + 1] == QLatin1Char('"')) {
                    value += c;
                    m_pos += 2;
                    continue;
                }
                ++m_pos;
                return value;
            }
            if (c == QLatin1Char('\n'))
                ++m_line;
            value += c;
            ++m_pos;
        }
    }

    const QString &m_text;
    qsizetype m_pos = 0;
    int m_line = 1;
};

} // namespace

CsvTable parseCsv(const QString &text)
{
    CsvTable table;
    CsvReader reader(text);
    if (reader.atEnd())
        return table;

    std::vector<bool> quoted;
    reader.readRecord(table.header, quoted);

    QStringList fields;
    while (!reader.atEnd()) {
        const int line = reader.line();
        reader.readRecord(fields, quoted);
        if (fields.size() != table.header.size())
            throw Error(QStringLiteral("CSV 第 %1 行：应有 %2 个字段，实际有 %3 个。")
                            .arg(line)
                            .arg(table.header.size())
                            .arg(fields.size()));
        table.rows.push_back(fields);
        table.quoted.push_back(quoted);
        table.lines.push_back(line);
    }
    return table;
}

} // namespace vexa::server
