// Feeds arbitrary bytes to the condition parsers. A refused text must be refused with
// vexa::Error; an accepted one must evaluate on any row without throwing, never be both
// met and not met, and print to a text that parses back to the same text.

#include "Condition.h"

#include <vexa/Error.h>

#include <QDateTime>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace vexa::cond;

namespace {

constexpr int kColumns = 4;

const std::vector<QVariantList> &rows()
{
    static const std::vector<QVariantList> r = {
        {QStringLiteral("abc"), 5, 2.5, QDate(2024, 1, 31)},
        {QVariant(), QStringLiteral("12"), true, QDateTime(QDate(2024, 1, 31), QTime(10, 0))},
        {QByteArray("xy"), qlonglong(1) << 40, QString(""), QTime(10, 30)},
        {QStringLiteral("会计%_"), -1.0, QStringLiteral("2024-01-31"), QVariant()},
    };
    return r;
}

[[noreturn]] void fault(const char *what, const QString &a, const QString &b = QString())
{
    std::fprintf(stderr, "%s\n  %s\n  %s\n", what, qPrintable(a), qPrintable(b));
    std::abort();
}

NodePtr reparse(const QString &text)
{
    try {
        return parseCondition(text);
    } catch (const vexa::Error &e) {
        fault("printed condition refused", text, e.message());
    }
}

void check(Node &root)
{
    int next = 0;
    bindColumns(root, [&](const QString &) { return next++ % kColumns; });
    equalityHint(root);

    const QString text = toText(root);
    NodePtr again = reparse(text);
    if (toText(*again) != text)
        fault("round trip changed the text", text, toText(*again));

    // NOT (c) is never met together with c. The extra level may pass the nesting limit.
    NodePtr negation;
    try {
        negation = parseCondition(QStringLiteral("NOT (%1)").arg(text));
    } catch (const vexa::Error &) {
    }
    if (negation) {
        next = 0;
        bindColumns(*negation, [&](const QString &) { return next++ % kColumns; });
    }
    for (const QVariantList &row : rows()) {
        const bool met = matches(root, row.constData());
        if (negation && met && matches(*negation, row.constData()))
            fault("condition and its negation both met", text);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    NodePtr condition;
    try {
        condition = parseCondition(text);
    } catch (const vexa::Error &) {
    }
    if (condition)
        check(*condition);

    CommandText command;
    try {
        command = parseCommandText(text);
    } catch (const vexa::Error &) {
        return 0;
    }
    if (command.where)
        check(*command.where);
    const QString printed = toText(command);
    try {
        if (toText(parseCommandText(printed)) != printed)
            fault("command round trip changed the text", printed);
    } catch (const vexa::Error &e) {
        fault("printed command refused", printed, e.message());
    }
    return 0;
}
