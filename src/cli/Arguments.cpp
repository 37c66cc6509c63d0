#include "cli/Arguments.h"

#include "query/DomainText.h"

namespace shoulu::cli {

namespace {

const OptionSpec* findSpec(const QList<OptionSpec>& specs, const QString& name)
{
    for (const OptionSpec& declared : specs) {
        if (declared.name == name) {
            return &declared;
        }
    }
    return nullptr;
}

const OptionSpec* findShort(const QList<OptionSpec>& specs, const QString& letter)
{
    for (const OptionSpec& declared : specs) {
        if (declared.shortName == letter) {
            return &declared;
        }
    }
    return nullptr;
}

} // namespace

Result<Arguments> Arguments::read(const QStringList& args, const QList<OptionSpec>& specs)
{
    Arguments read;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (optionsEnded || arg == QLatin1String("-") || !arg.startsWith(QLatin1Char('-'))) {
            read.m_positional.append(arg);
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        // "-h" stands for --help everywhere; other one-letter forms are declared ("-o FILE").
        const bool isShort = !arg.startsWith(QLatin1String("--")) && arg.size() == 2;
        const OptionSpec* shortSpec = !isShort ? nullptr
            : arg == QLatin1String("-h")       ? findSpec(specs, QStringLiteral("help"))
                                               : findShort(specs, arg.mid(1));
        if (!arg.startsWith(QLatin1String("--")) && shortSpec == nullptr) {
            return Error { QStringLiteral("unknown option %1").arg(quotedForMessage(arg)) };
        }
        const qsizetype equals = isShort ? -1 : arg.indexOf(QLatin1Char('='));
        const QString name = isShort ? shortSpec->name : arg.mid(2, equals < 0 ? -1 : equals - 2);
        const OptionSpec* declared = isShort ? shortSpec : findSpec(specs, name);
        if (declared == nullptr) {
            return Error {
                QStringLiteral("unknown option %1").arg(quotedForMessage(equals < 0 ? arg : arg.left(equals)))
            };
        }
        if (!declared->takesValue()) {
            if (equals >= 0) {
                return Error { QStringLiteral("--%1 takes no value").arg(escapeControls(name)) };
            }
            read.m_values.insert(name, QString());
        } else if (equals >= 0) {
            read.m_values.insert(name, arg.mid(equals + 1));
        } else if (i + 1 < args.size()) {
            read.m_values.insert(name, args.at(++i));
        } else {
            return Error { QStringLiteral("--%1 needs %2").arg(name, declared->valueName) };
        }
    }
    return read;
}

void Arguments::adopt(const Arguments& other, const QStringList& names)
{
    for (const QString& name : names) {
        if (other.isSet(name)) {
            m_values.insert(name, other.value(name));
        }
    }
}

} // namespace shoulu::cli
