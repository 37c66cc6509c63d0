#pragma once

#include "cli/DatabaseCommand.h"

namespace shoulu::cli {

// "report [-o FILE.html]": the newest figures of every listed domain and each one's 30-day
// chart, as one self-contained HTML page on standard output or into FILE.
class ReportCommand : public DatabaseCommand
{
public:
    static constexpr int ChartWidth = 760;
    static constexpr int ChartHeight = 320;

    QString name() const override;
    QString synopsis() const override;
    QString description() const override;
    QList<OptionSpec> options() const override;

protected:
    std::optional<int> prepare(const Arguments& args, const GlobalOptions& options, Streams& io) override;
    int executeWithDatabase(
        SettingsDatabase& db, const Arguments& args, const GlobalOptions& options, Streams& io) override;
};

} // namespace shoulu::cli
