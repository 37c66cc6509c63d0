#include "cli/OptionValues.h"

#include "query/DomainText.h"

#include <limits>

namespace shoulu::cli {

Result<QDate> parseDay(const QString& option, const QString& text)
{
    const QDate day = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (!day.isValid()) {
        return Error { QStringLiteral("--%1 takes a date as YYYY-MM-DD, not %2").arg(option, quotedForMessage(text)) };
    }
    return day;
}

Result<qint64> parseSize(const QString& option, const QString& text)
{
    static const QString Units = QStringLiteral("KMGT");
    QString digits = text.trimmed().toUpper();
    if (digits.endsWith(QLatin1Char('B'))) {
        digits.chop(1);
    }
    qint64 factor = 1;
    if (const qsizetype unit = digits.isEmpty() ? -1 : Units.indexOf(digits.back()); unit >= 0) {
        factor = qint64(1) << (10 * (unit + 1));
        digits.chop(1);
    }
    bool ok = false;
    const qint64 value = digits.toLongLong(&ok);
    if (!ok || value < 0 || value > std::numeric_limits<qint64>::max() / factor) {
        return Error {
            QStringLiteral("--%1 takes a size such as 500M or 2G, not %2").arg(option, quotedForMessage(text))
        };
    }
    return value * factor;
}

} // namespace shoulu::cli
