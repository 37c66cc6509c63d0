#pragma once

#include "cli/Arguments.h"
#include "cli/RowFormat.h"

#include <optional>

namespace shoulu::cli {

// --format table|csv|json and --status, as every command that prints rows takes them.
QList<OptionSpec> rowFormatOptions();

// The format asked for (table when none was); nothing for an unknown name.
std::optional<RowFormat> requestedFormat(const Arguments& args);

} // namespace shoulu::cli
