#pragma once

#include "cli/DatabaseCommand.h"
#include "engines/EngineTable.h"

#include <QSize>

#include <array>

namespace shoulu::cli {

// "chart DOMAIN -o FILE [--width W] [--height H] [--engines KEY,...]": the window's 30-day
// trend chart of DOMAIN as PNG, or SVG when FILE ends in .svg; every engine unless --engines.
class ChartCommand : public DatabaseCommand
{
public:
    static constexpr int DefaultWidth = 800;
    static constexpr int DefaultHeight = 400;
    static constexpr int MinSide = 200;
    static constexpr int MaxSide = 8000;

    QString name() const override;
    QString synopsis() const override;
    QString description() const override;
    QList<OptionSpec> options() const override;

protected:
    std::optional<int> prepare(const Arguments& args, const GlobalOptions& options, Streams& io) override;
    int executeWithDatabase(
        SettingsDatabase& db, const Arguments& args, const GlobalOptions& options, Streams& io) override;

private:
    std::array<bool, EngineCount> m_shown {};
    QSize m_size;
};

} // namespace shoulu::cli
