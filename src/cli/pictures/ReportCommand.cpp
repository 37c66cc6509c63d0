#include "cli/pictures/ReportCommand.h"

#include "chart/ChartPicture.h"
#include "chart/TrendChart.h"
#include "cli/pictures/HtmlReport.h"
#include "cli/pictures/PictureArgs.h"
#include "util/SaveFile.h"

#include <QCheckBox>

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

int ReportCommand::execute(const QStringList& args, const GlobalOptions& options, Streams& io)
{
    QString file;
    for (qsizetype i = 0; i < args.size(); ++i) {
        bool missing = false;
        const QString arg = args.at(i);
        if (const auto value = optionValue(args, i, QStringLiteral("-o"), missing)) {
            file = *value;
            continue;
        }
        print(io.err,
            Prefix
                + (missing ? QStringLiteral("-o needs a file name")
                           : QStringLiteral("unexpected argument '%1'").arg(arg))
                + QStringLiteral("\nusage: shoulu-cli %1\n").arg(synopsis()));
        return ExitUsage;
    }
    if (!canDraw(Prefix, io)) {
        return ExitFailure;
    }
    auto open = OpenRows::open(options.dbPath, Prefix, io);
    if (!open) {
        return ExitFailure;
    }
    const auto latest = open->rows().latestRows();
    if (!latest) {
        print(io.err, Prefix + latest.error() + QLatin1Char('\n'));
        return ExitFailure;
    }
    auto chart = unseenChart(QSize(ChartWidth, ChartHeight));
    for (int e = 0; e < EngineCount; ++e) {
        chart->checkBox(e)->setChecked(true);
    }
    std::vector<ReportDomain> domains;
    for (const ResultRow& row : *latest) {
        const auto window = open->rows().chartWindow(row.domain);
        if (!window) {
            print(io.err, Prefix + window.error() + QLatin1Char('\n'));
            return ExitFailure;
        }
        chart->draw(row.domain, *window);
        domains.push_back({ row, chartSvgElement(*chart) });
    }
    const QString html = reportPage(domains, QDateTime::currentDateTime());
    if (file.isEmpty()) {
        print(io.out, html);
        return ExitOk;
    }
    if (auto saved = saveWholeFile(file, html.toUtf8()); !saved) {
        print(io.err, Prefix + QStringLiteral("cannot write %1: %2\n").arg(file, saved.error()));
        return ExitFailure;
    }
    print(io.out, QStringLiteral("wrote %1\n").arg(file));
    return ExitOk;
}

} // namespace shoulu::cli
