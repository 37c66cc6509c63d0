#include "cli/CommandArguments.h"

#include <limits>

namespace shoulu::cli {

Result<CommandArguments> CommandArguments::parse(
    const QStringList& args, const QStringList& valueOptions, const QStringList& flagOptions)
{
    CommandArguments parsed;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (optionsEnded || !arg.startsWith(QLatin1String("--"))) {
            parsed.words.append(arg);
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        const qsizetype equals = arg.indexOf(QLatin1Char('='));
        const QString name = arg.mid(2, equals < 0 ? -1 : equals - 2);
        if (flagOptions.contains(name) && equals < 0) {
            parsed.flags.append(name);
        } else if (!valueOptions.contains(name)) {
            return Error { QStringLiteral("unknown option '%1'").arg(arg) };
        } else if (equals >= 0) {
            parsed.values.insert(name, arg.mid(equals + 1));
        } else if (i + 1 < args.size()) {
            parsed.values.insert(name, args.at(++i));
        } else {
            return Error { QStringLiteral("--%1 needs a value").arg(name) };
        }
    }
    return parsed;
}

Result<QDate> parseDay(const QString& option, const QString& text)
{
    const QDate day = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (!day.isValid()) {
        return Error { QStringLiteral("--%1 takes a date as YYYY-MM-DD, not '%2'").arg(option, text) };
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
        return Error { QStringLiteral("--%1 takes a size such as 500M or 2G, not '%2'").arg(option, text) };
    }
    return value * factor;
}

} // namespace shoulu::cli
