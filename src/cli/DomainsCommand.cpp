#include "cli/DomainsCommand.h"

#include "fetch/FetchLimits.h"
#include "store/DomainList.h"
#include "store/SettingsDatabase.h"
#include "util/BoundedRead.h"

#include <QStringDecoder>

namespace shoulu::cli {

namespace {

const QString Prefix = QStringLiteral("shoulu-cli domains: ");

// The list as lines of UTF-8 text; anything else is refused before the stored list is touched.
Result<QStringList> readLines(const QStringList& args, FILE* in)
{
    const QString source = args.isEmpty() ? QStringLiteral("standard input") : QStringLiteral("'%1'").arg(args.at(0));
    auto bytes = args.isEmpty() ? readAtMost(in, kMaxBodyBytes) : readFileAtMost(args.at(0), kMaxBodyBytes);
    if (!bytes) {
        return Error { QStringLiteral("cannot read %1: %2; the list is unchanged").arg(source, bytes.error()) };
    }
    if (const qsizetype nul = bytes->indexOf('\0'); nul >= 0) {
        return Error { QStringLiteral("%1 is not text: it holds a NUL byte (byte %2); the list is unchanged")
                           .arg(source)
                           .arg(nul + 1) };
    }
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(*bytes);
    if (decoder.hasError()) {
        return Error { QStringLiteral("%1 is not UTF-8 text; the list is unchanged").arg(source) };
    }
    return text.split(QLatin1Char('\n'));
}

int fail(Streams& io, const QString& message)
{
    print(io.err, Prefix + message + QLatin1Char('\n'));
    return ExitFailure;
}

} // namespace

QString DomainsCommand::name() const
{
    return QStringLiteral("domains");
}

QString DomainsCommand::synopsis() const
{
    return QStringLiteral("domains [add DOMAIN... | set [FILE]]");
}

QString DomainsCommand::description() const
{
    return QStringLiteral("print the domain list; add domains to it; or replace it with the lines of FILE or stdin");
}

int DomainsCommand::execute(const QStringList& args, const GlobalOptions& options, Streams& io)
{
    const QString action = args.value(0);
    const bool list = args.isEmpty() || (action == QLatin1String("list") && args.size() == 1);
    const bool add = action == QLatin1String("add") && args.size() >= 2;
    const bool set = action == QLatin1String("set") && args.size() <= 2;
    if (!list && !add && !set) {
        print(io.err, Prefix + QStringLiteral("usage: shoulu-cli %1\n").arg(synopsis()));
        return ExitUsage;
    }

    // Read the new list before opening the database: bad input leaves everything as it was.
    QStringList lines;
    if (set) {
        auto read = readLines(args.mid(1), io.in);
        if (!read) {
            return fail(io, read.error());
        }
        lines = std::move(*read);
    }

    auto db = SettingsDatabase::open(options.dbPath);
    if (!db) {
        return fail(io, QStringLiteral("cannot open the database: %1").arg(db.error()));
    }
    DomainList domains((*db)->database());

    if (set) {
        if (auto replaced = domains.replaceAll(lines); !replaced) {
            return fail(io, QStringLiteral("the list is unchanged: %1").arg(replaced.error()));
        }
        return ExitOk;
    }
    if (add) {
        for (const QString& text : args.mid(1)) {
            if (trimControlAndBlank(text).isEmpty()) {
                print(io.err, Prefix + QStringLiteral("skipping an empty domain\n"));
                continue;
            }
            if (auto added = domains.addDomain(text); !added) {
                return fail(io, QStringLiteral("cannot add '%1': %2").arg(text, added.error()));
            }
        }
        return ExitOk;
    }
    auto stored = domains.loadDomain();
    if (!stored) {
        return fail(io, stored.error());
    }
    QString out;
    for (const QString& domain : *stored) {
        out += domain + QLatin1Char('\n');
    }
    print(io.out, out);
    return ExitOk;
}

} // namespace shoulu::cli
