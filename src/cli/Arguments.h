#pragma once

#include "util/Result.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace shoulu::cli {

// One option a command takes: "--NAME" alone, or "--NAME VALUE" / "--NAME=VALUE" when it
// names a value.
struct OptionSpec
{
    QString name; // without the dashes
    QString valueName; // empty for a switch
    QString description; // one line for help
    QString shortName = {}; // "o" for "-o"; empty: the long form only
    bool takesValue() const { return !valueName.isEmpty(); }
};

// A command line read against the options it may hold, wherever they stand among the other
// arguments. "--" ends the options; a lone "-" is an argument (standard input); anything else
// that starts with "-" and is not declared is refused as an unknown option.
//     auto read = Arguments::read(args, specs);
//     if (!read) { usage error read.error(); } else if (read->isSet("status")) ...
class Arguments
{
public:
    static Result<Arguments> read(const QStringList& args, const QList<OptionSpec>& specs);

    bool isSet(const QString& name) const { return m_values.contains(name); }
    // Takes over the values `other` holds of these options.
    void adopt(const Arguments& other, const QStringList& names);
    // The value given last; `fallback` when the option is absent.
    QString value(const QString& name, const QString& fallback = QString()) const
    {
        return m_values.value(name, fallback);
    }
    // The arguments that are not options, in order.
    const QStringList& positional() const { return m_positional; }

private:
    QHash<QString, QString> m_values;
    QStringList m_positional;
};

} // namespace shoulu::cli
