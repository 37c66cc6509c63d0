#pragma once

#include "cli/DatabaseCommand.h"

#include <QStringList>

namespace shoulu::cli {

// "domains": prints the stored domain list, one per line; "domains add DOMAIN..." adds each
// unless listed; "domains remove DOMAIN..." removes them, all or none; "domains set [--allow-empty] [FILE]" replaces
// the list with the lines of FILE or stdin. Every domain is checked (checkDomain) before anything is stored.
class DomainsCommand : public DatabaseCommand
{
public:
    QString name() const override;
    QString synopsis() const override;
    QString description() const override;
    QList<OptionSpec> options() const override;

protected:
    std::optional<int> prepare(const Arguments& args, const GlobalOptions& options, Streams& io) override;
    Access access(const Arguments& args) const override;
    int executeWithDatabase(
        SettingsDatabase& db, const Arguments& args, const GlobalOptions& options, Streams& io) override;

private:
    QStringList m_lines; // of the new list, read before the file is opened
};

} // namespace shoulu::cli
