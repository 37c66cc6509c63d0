#include "cli/pictures/ChartCommand.h"

#include "chart/ChartPicture.h"
#include "chart/TrendChart.h"
#include "cli/pictures/PictureArgs.h"
#include "engines/EngineTable.h"
#include "query/DomainText.h"
#include "store/ResultRows.h"
#include "store/SettingsDatabase.h"

#include <QCheckBox>
#include <QFileInfo>

namespace shoulu::cli {

namespace {

const QString Prefix = QStringLiteral("shoulu-cli chart: ");

// The seven stored engines' keys, comma-separated, any letter case; nothing for an unknown key.
std::optional<std::array<bool, EngineCount>> enginesFromList(const QString& list)
{
    std::array<bool, EngineCount> shown {};
    for (const QString& key : list.split(QLatin1Char(','))) {
        int found = -1;
        for (int e = 0; e < EngineCount; ++e) {
            if (key.compare(QLatin1String(engineInfo(e).name), Qt::CaseInsensitive) == 0) {
                found = e;
            }
        }
        if (found < 0) {
            return std::nullopt;
        }
        shown[std::size_t(found)] = true;
    }
    return shown;
}

} // namespace

QString ChartCommand::name() const
{
    return QStringLiteral("chart");
}

QString ChartCommand::synopsis() const
{
    return QStringLiteral("chart DOMAIN -o FILE [--width W] [--height H] [--engines KEY,...]");
}

QString ChartCommand::description() const
{
    return QStringLiteral("draw the 30-day trend chart of DOMAIN into FILE: PNG, or SVG when FILE ends in .svg");
}

QList<OptionSpec> ChartCommand::options() const
{
    return {
        { QStringLiteral("output"), QStringLiteral("FILE"), QStringLiteral("the picture: PNG, or SVG for *.svg"),
            QStringLiteral("o") },
        { QStringLiteral("width"), QStringLiteral("W"), QStringLiteral("width in pixels (default 800)") },
        { QStringLiteral("height"), QStringLiteral("H"), QStringLiteral("height in pixels (default 400)") },
        { QStringLiteral("engines"), QStringLiteral("KEY,..."),
            QStringLiteral("only these engines (the catalogue file's --engines then goes before the command)") },
    };
}

std::optional<int> ChartCommand::prepare(const Arguments& args, const GlobalOptions&, Streams& io)
{
    const auto usage = [&](const QString& why) { return usageError(io, why); };
    if (args.positional().size() > 1) {
        return usage(QStringLiteral("one domain at most"));
    }
    const QString domain = args.positional().value(0);
    const QString file = args.value(QStringLiteral("output"));
    std::array<bool, EngineCount>& shown = m_shown;
    shown.fill(true);
    if (args.isSet(QStringLiteral("engines"))) {
        const QString engines = args.value(QStringLiteral("engines"));
        const auto parsed = enginesFromList(engines);
        if (!parsed) {
            return usage(QStringLiteral("--engines takes keys of the seven engines (baidu,google,soso,yahoo,"
                                        "sogou,youdao,bing), not %1")
                             .arg(quotedForMessage(engines)));
        }
        shown = *parsed;
    }
    QSize& size = m_size;
    size = QSize(args.value(QStringLiteral("width"), QString::number(DefaultWidth)).toInt(),
        args.value(QStringLiteral("height"), QString::number(DefaultHeight)).toInt());
    if (domain.isEmpty() || file.isEmpty()) {
        return usage(QStringLiteral("a domain and -o FILE are needed"));
    }
    // Only PNG and SVG are drawn: any other name would hold bytes its name denies.
    const QString suffix = QFileInfo(file).suffix();
    if (!suffix.isEmpty() && suffix.compare(QLatin1String("png"), Qt::CaseInsensitive) != 0 && !isSvgPath(file)) {
        return usage(QStringLiteral("-o takes a .png or .svg file, not %1").arg(quotedForMessage(file)));
    }
    for (const int side : { size.width(), size.height() }) {
        if (side < MinSide || side > MaxSide) {
            return usage(
                QStringLiteral("--width and --height take whole pixels from %1 to %2").arg(MinSide).arg(MaxSide));
        }
    }
    if (!canDraw(Prefix, io)) {
        return ExitFailure;
    }
    return std::nullopt;
}

int ChartCommand::executeWithDatabase(SettingsDatabase& db, const Arguments& args, const GlobalOptions&, Streams& io)
{
    const QString domain = args.positional().value(0);
    const QString file = args.value(QStringLiteral("output"));
    const auto rows = ResultRows(db.database()).chartWindow(domain);
    if (!rows) {
        print(io.err, Prefix + escapeControls(rows.error()) + QLatin1Char('\n'));
        return ExitFailure;
    }
    if (rows->empty()) {
        print(io.err, Prefix + QStringLiteral("no rows of %1 to draw\n").arg(quotedForMessage(domain)));
        return ExitFailure;
    }
    auto chart = unseenChart(m_size);
    for (int e = 0; e < EngineCount; ++e) {
        chart->checkBox(e)->setChecked(m_shown[std::size_t(e)]);
    }
    chart->draw(rows->back().domain, *rows);
    if (auto saved = saveChartPicture(*chart, file, Language::English); !saved) {
        print(io.err, Prefix + escapeControls(saved.error()) + QLatin1Char('\n'));
        return ExitFailure;
    }
    print(io.out, QStringLiteral("wrote %1\n").arg(escapeControls(file)));
    return ExitOk;
}

} // namespace shoulu::cli
