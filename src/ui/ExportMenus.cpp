#include "ui/ExportMenus.h"

#include "chart/ChartPicture.h"
#include "chart/TrendChart.h"
#include "cli/RowFormat.h"
#include "ui/HistoryList.h"
#include "ui/MessageBox.h"
#include "util/SaveFile.h"

#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>

#include <algorithm>

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

Result<void> exportCsv(const HistoryList& list, const QString& path, bool withStatus)
{
    const QByteArray bytes = cli::formatRows(list.shownRows(), cli::RowFormat::Csv, withStatus).toUtf8();
    if (auto saved = saveWholeFile(path, bytes); !saved) {
        return saved.failure().reworded(QStringLiteral("无法写入文件 %1：%2").arg(path, saved.error()));
    }
    return {};
}

QString csvFileName(const HistoryList& list, const QDate& day)
{
    QString domain = QStringLiteral("shoulu");
    const std::vector<ResultRow>& rows = list.shownRows();
    if (!rows.empty() && std::all_of(rows.begin(), rows.end(), [&rows](const ResultRow& row) {
            return row.domain == rows.front().domain;
        })) {
        domain = rows.front().domain;
    }
    // An old stored name may hold characters no file name can.
    for (QChar& c : domain) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control) {
            c = QLatin1Char('_');
        }
    }
    return domain + QLatin1Char('-') + day.toString(Qt::ISODate) + QStringLiteral(".csv");
}

void addCsvExport(HistoryList* list)
{
    QAction* action = addMenuEntry(list, QStringLiteral("导出CSV…"), "actionExportCsv");
    QObject::connect(action, &QAction::triggered, list, [list] {
        // Qt's own dialog: a system one has no room for the check box.
        QFileDialog dialog(list, QStringLiteral("导出CSV"), QString(), QStringLiteral("CSV 文件 (*.csv)"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("csv"));
        dialog.selectFile(csvFileName(*list, QDate::currentDate()));
        // Without the status columns a failed reading reads as a count of 0.
        auto* withStatus = new QCheckBox(QStringLiteral("包含状态列（未能查到收录数的读数不会被当作 0）"), &dialog);
        withStatus->setObjectName(QStringLiteral("chk1"));
        withStatus->setChecked(true);
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
            grid->addWidget(withStatus, grid->rowCount(), 0, 1, -1);
        }
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return;
        }
        reportFailure(list, exportCsv(*list, dialog.selectedFiles().constFirst(), withStatus->isChecked()));
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
