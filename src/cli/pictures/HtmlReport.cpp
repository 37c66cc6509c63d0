#include "cli/pictures/HtmlReport.h"

#include "chart/TrendChart.h"
#include "cli/RowFormat.h"
#include "engines/EngineTable.h"
#include "query/DomainText.h"

namespace shoulu::cli {

namespace {

const QString Title = QStringLiteral("岚衡搜索引擎收录查询工具 · 收录报告");
const QString NeverQueried = QStringLiteral("尚未查询");

const QString Style = QStringLiteral("body{font-family:sans-serif;margin:2em;color:#222}"
                                     "table{border-collapse:collapse;margin-bottom:2em}"
                                     "th,td{border:1px solid #9ab;padding:.3em .6em}"
                                     "th{background:#e3eefd}td.n{text-align:right}td.muted,p.muted{color:#808080}td."
                                     "muted{text-align:right}td.muted[colspan]{text-align:left}"
                                     "section{margin-bottom:2em}svg{max-width:100%;height:auto}");

QString escaped(const QString& stored)
{
    return escapeControls(stored).toHtmlEscaped();
}

QString countCell(const ResultRow& row, int engine)
{
    if (const auto figure = plottedFigure(row, engine)) {
        return QStringLiteral("<td class=\"n\">%1</td>").arg(*figure);
    }
    const Reading* reading = row.readingOf(QLatin1String(engineInfo(engine).name));
    return QStringLiteral("<td class=\"muted\">%1</td>")
        .arg(statusCaption(reading != nullptr ? reading->status : ReadingStatus::Off).toHtmlEscaped());
}

QString latestTable(const std::vector<ReportDomain>& domains)
{
    QString html = QStringLiteral("<table>\n<tr><th>域名</th><th>查询日期</th>");
    for (int e = 0; e < EngineCount; ++e) {
        html += QStringLiteral("<th>%1</th>").arg(QString::fromUtf8(engineInfo(e).caption));
    }
    html += QStringLiteral("</tr>\n");
    for (const ReportDomain& domain : domains) {
        html += QStringLiteral("<tr><td>%1</td>").arg(escaped(domain.domain));
        if (!domain.latest) {
            html += QStringLiteral("<td class=\"muted\" colspan=\"%1\">%2</td></tr>\n")
                        .arg(EngineCount + 1)
                        .arg(NeverQueried);
            continue;
        }
        html += QStringLiteral("<td>%1</td>").arg(rowDate(*domain.latest));
        for (int e = 0; e < EngineCount; ++e) {
            html += countCell(*domain.latest, e);
        }
        html += QStringLiteral("</tr>\n");
    }
    return html + QStringLiteral("</table>\n");
}

} // namespace

QString reportPage(const std::vector<ReportDomain>& domains, const QDateTime& made)
{
    QString html = QStringLiteral("<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
                                  "<title>%1</title>\n<style>%2</style>\n</head>\n<body>\n<h1>%1</h1>\n"
                                  "<p>生成于 %3</p>\n")
                       .arg(Title, Style, made.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    if (domains.empty()) {
        return html + QStringLiteral("<p>域名列表是空的。</p>\n</body>\n</html>\n");
    }
    html += latestTable(domains);
    for (const ReportDomain& domain : domains) {
        html += QStringLiteral("<section>\n<h2>%1</h2>\n").arg(escaped(domain.domain))
            + (domain.latest ? QString::fromUtf8(domain.chartSvg)
                             : QStringLiteral("<p class=\"muted\">%1</p>").arg(NeverQueried))
            + QStringLiteral("\n</section>\n");
    }
    return html + QStringLiteral("</body>\n</html>\n");
}

} // namespace shoulu::cli
