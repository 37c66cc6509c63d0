#include "cli/DomainsCommand.h"

#include "fetch/FetchLimits.h"
#include "query/DomainText.h"
#include "store/DomainList.h"
#include "store/SettingsDatabase.h"
#include "util/BoundedRead.h"

#include <QSet>
#include <QStringDecoder>

namespace shoulu::cli {

namespace {

const QString Prefix = QStringLiteral("shoulu-cli domains: ");

// The list as lines of UTF-8 text; anything else is refused before the stored list is touched.
Result<QStringList> readLines(const QStringList& args, FILE* in)
{
    const QString source = args.isEmpty() ? QStringLiteral("standard input") : quotedForMessage(args.at(0));
    auto bytes = args.isEmpty() ? readAtMost(in, kMaxBodyBytes) : readFileAtMost(args.at(0), kMaxBodyBytes);
    if (!bytes) {
        return bytes.failure().reworded(
            QStringLiteral("cannot read %1: %2; the list is unchanged").arg(source, escapeControls(bytes.error())));
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

// Every name must be listed before any is removed: a typo leaves the list as it was.
int removeAll(DomainList& domains, const QStringList& stored, const QStringList& names, Streams& io)
{
    QSet<QString> listed;
    for (const QString& domain : stored) {
        listed.insert(foldedAsStored(domain));
    }
    for (const QString& name : names) {
        if (!listed.contains(foldedAsStored(trimControlAndBlank(name)))) {
            return fail(io, QStringLiteral("%1 is not listed; nothing was removed").arg(quotedForMessage(name)));
        }
    }
    for (const QString& name : names) {
        if (auto removed = domains.removeDomain(name); !removed) {
            return fail(io, QStringLiteral("cannot remove %1: %2").arg(quotedForMessage(name), removed.error()));
        }
    }
    return ExitOk;
}

} // namespace

QString DomainsCommand::name() const
{
    return QStringLiteral("domains");
}

QString DomainsCommand::synopsis() const
{
    return QStringLiteral("domains [add DOMAIN... | remove DOMAIN... | set [--allow-empty] [FILE]]");
}

QString DomainsCommand::description() const
{
    return QStringLiteral(
        "print the domain list; add domains to it or remove them; or replace it with the lines of FILE or stdin "
        "(emptying it takes --allow-empty)");
}

QList<OptionSpec> DomainsCommand::options() const
{
    return { { QStringLiteral("allow-empty"), QString(), QStringLiteral("let 'set' empty the list") } };
}

namespace {

// The action the arguments ask for; None for anything else.
enum class Action { None, List, Add, Remove, Set };

Action actionOf(const QStringList& args)
{
    const QString action = args.value(0);
    if (args.isEmpty() || (action == QLatin1String("list") && args.size() == 1)) {
        return Action::List;
    }
    if (action == QLatin1String("add") && args.size() >= 2) {
        return Action::Add;
    }
    if (action == QLatin1String("remove") && args.size() >= 2) {
        return Action::Remove;
    }
    if (action == QLatin1String("set") && args.size() <= 2) {
        return Action::Set;
    }
    return Action::None;
}

} // namespace

std::optional<int> DomainsCommand::prepare(const Arguments& arguments, const GlobalOptions&, Streams& io)
{
    const QStringList& args = arguments.positional();
    const Action action = actionOf(args);
    if (action == Action::None) {
        return usageError(io, QStringLiteral("unknown action or wrong number of arguments"));
    }
    // Read the new list before opening the database: bad input leaves everything as it was.
    if (action == Action::Set) {
        auto read = readLines(args.mid(1), io.in);
        if (!read) {
            return fail(io, read.error());
        }
        m_lines = std::move(*read);
    }
    return std::nullopt;
}

Access DomainsCommand::access(const Arguments& arguments) const
{
    // Listing only reads: it works on a file this user may not write.
    return actionOf(arguments.positional()) == Action::List ? Access::Read : Access::Write;
}

int DomainsCommand::executeWithDatabase(
    SettingsDatabase& db, const Arguments& arguments, const GlobalOptions&, Streams& io)
{
    const QStringList& args = arguments.positional();
    const Action action = actionOf(args);
    const bool add = action == Action::Add;
    const bool remove = action == Action::Remove;
    const bool set = action == Action::Set;
    const bool allowEmpty = arguments.isSet(QStringLiteral("allow-empty"));
    const QStringList files = set ? args.mid(1) : QStringList();
    const QStringList& lines = m_lines;

    DomainList domains(db.database());
    auto stored = domains.loadDomain();
    if (!stored) {
        return fail(io, escapeControls(stored.error()));
    }

    if (set) {
        const QString source = files.isEmpty() ? QStringLiteral("standard input") : quotedForMessage(files.at(0));
        const DomainLines checked = checkDomainLines(lines, *stored);
        if (!checked.faults.isEmpty()) {
            constexpr qsizetype Shown = 10;
            QString why;
            for (const auto& [line, fault] : checked.faults.first(qMin(Shown, checked.faults.size()))) {
                why += Prefix
                    + QStringLiteral("%1, line %2: %3 is not a domain: %4\n")
                          .arg(source)
                          .arg(line)
                          .arg(quotedForMessage(lines.at(line - 1)), fault.message());
            }
            if (checked.faults.size() > Shown) {
                why += Prefix + QStringLiteral("... and %1 more lines\n").arg(checked.faults.size() - Shown);
            }
            print(io.err, why);
            return fail(io, QStringLiteral("the list is unchanged"));
        }
        if (checked.domains.isEmpty() && !allowEmpty) {
            return fail(io,
                QStringLiteral(
                    "%1 holds no domain; the list is unchanged (to empty it, use 'domains set --allow-empty')")
                    .arg(source));
        }
        if (auto replaced = domains.replaceAll(checked.domains); !replaced) {
            return fail(io, QStringLiteral("the list is unchanged: %1").arg(escapeControls(replaced.error())));
        }
        return ExitOk;
    }
    if (remove) {
        return removeAll(domains, *stored, args.mid(1), io);
    }
    if (add) {
        // All checked before any is stored: a refused one leaves the list as it was.
        QStringList cleaned;
        for (const QString& text : args.mid(1)) {
            if (trimControlAndBlank(text).isEmpty()) {
                print(io.err, Prefix + QStringLiteral("skipping an empty domain\n"));
                continue;
            }
            const DomainCheck check = checkDomain(text, *stored);
            if (!check.ok()) {
                return fail(io,
                    QStringLiteral("%1 is not a domain: %2; nothing was added")
                        .arg(quotedForMessage(text), check.message()));
            }
            cleaned.append(check.domain);
        }
        for (qsizetype i = 0; i < cleaned.size(); ++i) {
            if (auto added = domains.addDomain(cleaned.at(i)); !added) {
                const QString kept = i == 0 ? QStringLiteral("nothing was added")
                                            : QStringLiteral("the %1 added before it stay listed").arg(i);
                return fail(io,
                    QStringLiteral("%1 and what follows it were not added (%2); %3")
                        .arg(quotedForMessage(cleaned.at(i)), added.error(), kept));
            }
        }
        return ExitOk;
    }
    QString out;
    for (const QString& domain : std::as_const(*stored)) {
        out += escapeControls(domain) + QLatin1Char('\n');
    }
    print(io.out, out);
    return ExitOk;
}

} // namespace shoulu::cli
