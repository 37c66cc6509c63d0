#include "ui/ExportMenus.h"

#include "chart/ChartPicture.h"
#include "chart/TrendChart.h"
#include "cli/RowFormat.h"
#include "ui/HistoryList.h"
#include "ui/MessageBox.h"
#include "util/SaveFile.h"

#include <QAction>
#include <QFileDialog>

namespace shoulu {

namespace {

// Other entries may join the same menu: the widget lists its actions, whoever adds them.
// The history list builds its own menu and appends these; the chart shows just them.
QAction* addMenuEntry(QWidget* widget, const QString& text, const char* objectName)
{
    auto* action = new QAction(text, widget);
    action->setObjectName(QLatin1String(objectName));
    widget->addAction(action);
    return action;
}

void reportFailure(QWidget* parent, const Result<void>& written)
{
    if (!written) {
        MessageBox::warning(parent, written.error());
    }
}

} // namespace

Result<void> exportCsv(const HistoryList& list, const QString& path)
{
    const QByteArray bytes = cli::formatRows(list.shownRows(), cli::RowFormat::Csv).toUtf8();
    if (auto saved = saveWholeFile(path, bytes); !saved) {
        return Error { QStringLiteral("无法写入文件 %1：%2").arg(path, saved.error()) };
    }
    return {};
}

void addCsvExport(HistoryList* list)
{
    QAction* action = addMenuEntry(list, QStringLiteral("导出CSV…"), "actionExportCsv");
    QObject::connect(action, &QAction::triggered, list, [list] {
        const QString path = QFileDialog::getSaveFileName(
            list, QStringLiteral("导出CSV"), QStringLiteral("shoulu.csv"), QStringLiteral("CSV 文件 (*.csv)"));
        if (!path.isEmpty()) {
            reportFailure(list, exportCsv(*list, path));
        }
    });
}

void addPictureSave(TrendChart* chart)
{
    chart->setContextMenuPolicy(Qt::ActionsContextMenu);
    QAction* action = addMenuEntry(chart, QStringLiteral("保存图片…"), "actionSavePicture");
    QObject::connect(action, &QAction::triggered, chart, [chart] {
        const QString path = QFileDialog::getSaveFileName(chart, QStringLiteral("保存图片"),
            QStringLiteral("chart.png"), QStringLiteral("PNG 图片 (*.png);;SVG 图片 (*.svg)"));
        if (!path.isEmpty()) {
            reportFailure(chart, saveChartPicture(*chart, path));
        }
    });
}

} // namespace shoulu
