#include "AttachmentNames.h"

#include <QList>

namespace vexa {

QString normalizedAttachmentSuffix(const QString &suffix)
{
    return suffix.normalized(QString::NormalizationForm_C);
}

bool isValidAttachmentSuffix(const QString &suffix)
{
    // By code point: a lone surrogate becomes U+FFFD, which is refused.
    const QList<uint> codes = suffix.toUcs4();
    if (codes.isEmpty() || codes.size() > kMaxAttachmentSuffixLength)
        return false;
    for (qsizetype i = 0; i < codes.size(); ++i) {
        const char32_t c = codes[i];
        if (c == U'-' || c == U'_')
            continue;
        const QChar::Category category = QChar::category(c);
        // Marks only after the first character: scripts such as Devanagari need them.
        const bool mark =
            category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining;
        if (!QChar::isLetter(c) && category != QChar::Number_DecimalDigit && !(mark && i > 0))
            return false;
    }
    return true;
}

} // namespace vexa
