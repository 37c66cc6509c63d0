#include "cli/RowFormatOption.h"

namespace shoulu::cli {

QList<OptionSpec> rowFormatOptions()
{
    return {
        { QStringLiteral("format"), QStringLiteral("FORMAT"), QStringLiteral("table (default), csv or json") },
        { QStringLiteral("status"), QString(), QStringLiteral("add each engine's reading status") },
    };
}

std::optional<RowFormat> requestedFormat(const Arguments& args)
{
    return rowFormatFromName(args.value(QStringLiteral("format"), QStringLiteral("table")));
}

} // namespace shoulu::cli
