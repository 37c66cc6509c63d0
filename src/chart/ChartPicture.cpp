#include "chart/ChartPicture.h"

#include "chart/TrendChart.h"
#include "util/SaveFile.h"

#include <QBuffer>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

namespace shoulu {

namespace {

// Lets the chart finish the layout its last change asked for: dates and axes move with it.
void settle()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

void paint(TrendChart& chart, QPaintDevice& device)
{
    QPainter painter(&device);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF source = chart.chart()->sceneBoundingRect();
    chart.scene()->render(&painter, QRectF(QPointF(0, 0), source.size()), source);
}

QByteArray svgDocument(TrendChart& chart, const QString& title)
{
    settle();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    const QSize size = chart.chart()->sceneBoundingRect().size().toSize();
    generator.setSize(size);
    generator.setViewBox(QRect(QPoint(0, 0), size));
    // Written into the document as given, unlike the texts drawn.
    generator.setTitle(title.toHtmlEscaped());
    paint(chart, generator);
    return buffer.data();
}

QByteArray pngImage(TrendChart& chart)
{
    settle();
    QImage image(chart.chart()->sceneBoundingRect().size().toSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    paint(chart, image);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return buffer.data();
}

} // namespace

bool isSvgPath(const QString& path)
{
    return path.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive);
}

Result<void> saveChartPicture(TrendChart& chart, const QString& path, Language language)
{
    const QByteArray bytes = isSvgPath(path) ? svgDocument(chart, chart.titleText()) : pngImage(chart);
    if (auto saved = saveWholeFile(path, bytes); !saved) {
        return Error { worded(
            language, QStringLiteral("无法写入图片文件 %1：%2"), QStringLiteral("cannot write %1: %2"))
                           .arg(path, saved.error()) };
    }
    return {};
}

QByteArray chartSvgElement(TrendChart& chart)
{
    // The page around it has a title of its own.
    const QByteArray document = svgDocument(chart, QString());
    const qsizetype start = document.indexOf("<svg");
    return start < 0 ? QByteArray() : document.mid(start);
}

std::unique_ptr<TrendChart> unseenChart(QSize size)
{
    auto chart = std::make_unique<TrendChart>();
    chart->setAttribute(Qt::WA_DontShowOnScreen);
    chart->resize(size);
    // Legend entries and the layout only come alive in a shown widget.
    chart->show();
    for (int i = 0; i < EngineCount; ++i) {
        chart->checkBox(i)->setChecked(false);
    }
    chart->updateChatline();
    settle();
    return chart;
}

} // namespace shoulu
