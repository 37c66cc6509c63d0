#pragma once

#include "util/Result.h"

#include <QDate>
#include <QMap>
#include <QString>
#include <QStringList>

namespace shoulu::cli {

// A command's arguments split by what it declares: options taking a value ("--name VALUE" or
// "--name=VALUE"), flags, and the words left over; "--" ends the options.
struct CommandArguments
{
    QMap<QString, QString> values; // by option name, without the dashes
    QStringList flags;
    QStringList words;

    static Result<CommandArguments> parse(
        const QStringList& args, const QStringList& valueOptions, const QStringList& flagOptions = {});
    bool has(const QString& flag) const { return flags.contains(flag); }
};

// "YYYY-MM-DD"; an error that names the option otherwise.
Result<QDate> parseDay(const QString& option, const QString& text);
// A whole number of bytes, with an optional K, M, G or T (powers of 1024).
Result<qint64> parseSize(const QString& option, const QString& text);

} // namespace shoulu::cli
