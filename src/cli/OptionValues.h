#pragma once

#include "util/Result.h"

#include <QDate>
#include <QString>
#include <QStringList>

namespace shoulu::cli {

// "YYYY-MM-DD"; an error that names the option otherwise.
Result<QDate> parseDay(const QString& option, const QString& text);
// A whole number of bytes, with an optional K, M, G or T (powers of 1024).
Result<qint64> parseSize(const QString& option, const QString& text);

} // namespace shoulu::cli
