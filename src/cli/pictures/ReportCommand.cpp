#include "cli/pictures/ReportCommand.h"

#include "chart/ChartPicture.h"
#include "chart/TrendChart.h"
#include "cli/pictures/HtmlReport.h"
#include "cli/pictures/PictureArgs.h"
#include "query/DomainText.h"
#include "store/DomainList.h"
#include "store/ResultRows.h"
#include "store/SettingsDatabase.h"
#include "util/SaveFile.h"

#include <QCheckBox>
#include <QHash>

namespace shoulu::cli {

namespace {

const QString Prefix = QStringLiteral("shoulu-cli report: ");

} // namespace

QString ReportCommand::name() const
{
    return QStringLiteral("report");
}

QString ReportCommand::synopsis() const
{
    return QStringLiteral("report [-o FILE.html]");
}

QString ReportCommand::description() const
{
    return QStringLiteral("write one self-contained HTML page: the newest counts and the 30-day chart of every "
                          "listed domain");
}

QList<OptionSpec> ReportCommand::options() const
{
    return {
        { QStringLiteral("output"), QStringLiteral("FILE.html"), QStringLiteral("the page (default: standard output)"),
            QStringLiteral("o") },
    };
}

std::optional<int> ReportCommand::prepare(const Arguments& args, const GlobalOptions&, Streams& io)
{
    if (!args.positional().isEmpty()) {
        return usageError(
            io, QStringLiteral("unexpected argument %1").arg(quotedForMessage(args.positional().first())));
    }
    if (!canDraw(Prefix, io)) {
        return ExitFailure;
    }
    return std::nullopt;
}

int ReportCommand::executeWithDatabase(SettingsDatabase& db, const Arguments& args, const GlobalOptions&, Streams& io)
{
    const QString file = args.value(QStringLiteral("output"));
    ResultRows rows(db.database());
    const auto latest = rows.latestRows();
    if (!latest) {
        print(io.err, Prefix + escapeControls(latest.error()) + QLatin1Char('\n'));
        return ExitFailure;
    }
    auto chart = unseenChart(QSize(ChartWidth, ChartHeight));
    for (int e = 0; e < EngineCount; ++e) {
        chart->checkBox(e)->setChecked(true);
    }
    const auto listed = DomainList(db.database()).loadDomain();
    if (!listed) {
        print(io.err, Prefix + escapeControls(listed.error()) + QLatin1Char('\n'));
        return ExitFailure;
    }
    // A listed domain's rows are stored in any letter case of its name.
    QHash<QString, const ResultRow*> newest;
    for (const ResultRow& row : *latest) {
        newest.insert(foldedAsStored(row.domain), &row);
    }
    std::vector<ReportDomain> domains;
    for (const QString& domain : *listed) {
        const ResultRow* row = newest.value(foldedAsStored(domain));
        if (row == nullptr) {
            domains.push_back({ domain, std::nullopt, {} });
            continue;
        }
        const auto window = rows.chartWindow(domain);
        if (!window) {
            print(io.err, Prefix + escapeControls(window.error()) + QLatin1Char('\n'));
            return ExitFailure;
        }
        chart->draw(domain, *window);
        domains.push_back({ domain, *row, chartSvgElement(*chart) });
    }
    const QString html = reportPage(domains, QDateTime::currentDateTime());
    if (file.isEmpty()) {
        print(io.out, html);
        return ExitOk;
    }
    if (auto saved = saveWholeFile(file, html.toUtf8()); !saved) {
        print(io.err,
            Prefix
                + QStringLiteral("cannot write %1: %2\n").arg(quotedForMessage(file), escapeControls(saved.error())));
        return ExitFailure;
    }
    print(io.out, QStringLiteral("wrote %1\n").arg(escapeControls(file)));
    return ExitOk;
}

} // namespace shoulu::cli
