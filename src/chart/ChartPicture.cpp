#include "chart/ChartPicture.h"

#include "chart/TrendChart.h"
#include "util/SaveFile.h"

#include <QBuffer>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGraphicsTextItem>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>
#include <QTextDocument>

#include <algorithm>

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

// The chart's title as drawn, a text item right under the chart.
QGraphicsTextItem* titleItem(TrendChart& chart)
{
    for (QGraphicsItem* item : chart.chart()->childItems()) {
        if (auto* title = dynamic_cast<QGraphicsTextItem*>(item); title != nullptr && title->isVisible()) {
            return title;
        }
    }
    return nullptr;
}

// The title as one <text>: drawn by the chart, a text of Latin letters and Chinese comes out in
// one piece per font, which neither reads nor searches as the title.
QByteArray svgTitle(TrendChart& chart, const QGraphicsTextItem& title)
{
    const QRectF box
        = title.mapRectToScene(title.boundingRect()).translated(-chart.chart()->sceneBoundingRect().topLeft());
    // The picture's texts are sized in its own units, a point to the unit.
    QFont font = title.font();
    const double size = font.pointSizeF() > 0 ? font.pointSizeF() : font.pixelSize();
    font.setPixelSize(std::max(1, qRound(size)));
    const double baseline = box.top() + title.document()->documentMargin() + QFontMetricsF(font).ascent();
    return QStringLiteral("<text fill=\"%1\" stroke=\"none\" xml:space=\"preserve\" x=\"%2\" y=\"%3\" "
                          "text-anchor=\"middle\" font-family=\"%4\" font-size=\"%5\" font-weight=\"%6\">%7</text>\n")
        .arg(chart.chart()->titleBrush().color().name())
        .arg(box.center().x())
        .arg(baseline)
        .arg(font.family().toHtmlEscaped())
        .arg(size)
        .arg(font.bold() ? 700 : 400)
        .arg(title.toPlainText().toHtmlEscaped())
        .toUtf8();
}

QByteArray svgDocument(TrendChart& chart, const QString& title)
{
    settle();
    QGraphicsTextItem* drawnTitle = titleItem(chart);
    if (drawnTitle != nullptr) {
        drawnTitle->hide();
    }
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
    QByteArray document = buffer.data();
    if (drawnTitle != nullptr) {
        drawnTitle->show();
        const qsizetype end = document.lastIndexOf("</svg>");
        if (end >= 0) {
            document.insert(end, svgTitle(chart, *drawnTitle));
        }
    }
    return document;
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
