#include "PictureTestData.h"
#include "cli/pictures/DrawingApplication.h"
#include "support/CliRunner.h"
#include "ui/UiTest.h"

#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

namespace shoulu::test {
namespace {

// The widest run of columns without Baidu's blue between the first and the last blue column.
int widestBlueGap(const QImage& image)
{
    std::vector<bool> blue(static_cast<size_t>(image.width()), false);
    for (int x = 0; x < image.width(); ++x) {
        for (int y = 0; y < image.height() && !blue[size_t(x)]; ++y) {
            const QColor c = image.pixelColor(x, y);
            blue[size_t(x)] = c.blue() > 200 && c.red() < 60 && c.green() < 60;
        }
    }
    int widest = 0;
    int run = 0;
    bool seen = false;
    for (const bool b : blue) {
        if (b) {
            if (seen) {
                widest = std::max(widest, run);
            }
            seen = true;
            run = 0;
        } else {
            ++run;
        }
    }
    return widest;
}

class ChartPictureTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_temp.ok()); }

    CliRun chart(const QString& domain, const QStringList& more)
    {
        return runCli(QStringList { QStringLiteral("--db"), m_temp.path(), QStringLiteral("chart"), domain } + more);
    }

    TempDatabase m_temp;
};

TEST_F(ChartPictureTest, PngHasTheAskedSizeAndBreaksTheLineWhereAReadingGaveNoFigure)
{
    storeDays(m_temp, QStringLiteral("whole.com"), 8, {});
    storeDays(m_temp, QStringLiteral("gap.com"), 8, { 3, 4 });
    for (const char* domain : { "whole.com", "gap.com" }) {
        const QString file = m_temp.filePath(QString::fromLatin1(domain) + QStringLiteral(".png"));
        const CliRun run = chart(QString::fromLatin1(domain),
            { QStringLiteral("-o"), file, QStringLiteral("--width=640"), QStringLiteral("--height"),
                QStringLiteral("360"), QStringLiteral("--engines"), QStringLiteral("BAIDU") });
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        const QImage image(file);
        ASSERT_EQ(image.size(), QSize(640, 360)) << domain;
        // Three of eight positions have no figure: more than a seventh of the plot goes blank.
        const bool gap = std::string(domain) == "gap.com";
        EXPECT_EQ(widestBlueGap(image) > 640 / 7, gap) << domain << " " << widestBlueGap(image);
    }
}

TEST_F(ChartPictureTest, SvgWhenTheNameSaysSoAndBadArgumentsAreRefused)
{
    storeDays(m_temp, QStringLiteral("a.com"), 3, {});
    // The domain is in the picture's title: it must not break the document.
    storeDays(m_temp, QStringLiteral("a<b>&.com"), 3, {});
    const QString svg = m_temp.filePath(QStringLiteral("a.SVG"));
    ASSERT_EQ(chart(QStringLiteral("a<b>&.com"), { QStringLiteral("-o"), svg }).exitCode, 0);
    QFile file(svg);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    ASSERT_TRUE(xml.readNextStartElement());
    EXPECT_EQ(xml.name(), QStringLiteral("svg"));
    EXPECT_EQ(xml.attributes().value(QStringLiteral("viewBox")), QStringLiteral("0 0 800 400"));
    while (!xml.atEnd()) {
        xml.readNext();
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();

    const QString png = m_temp.filePath(QStringLiteral("x.png"));
    const struct
    {
        QString domain;
        QStringList args;
        int exitCode;
    } cases[] = {
        { QStringLiteral("a.com"), { QStringLiteral("-o"), png, QStringLiteral("--engines=baidu,ask") }, 2 },
        { QStringLiteral("a.com"), { QStringLiteral("-o"), png, QStringLiteral("--width=199") }, 2 },
        { QStringLiteral("a.com"), { QStringLiteral("-o"), png, QStringLiteral("--height=x") }, 2 },
        { QStringLiteral("a.com"), { QStringLiteral("-o") }, 2 },
        { QStringLiteral("a.com"), {}, 2 },
        { QStringLiteral("none.com"), { QStringLiteral("-o"), png }, 1 },
        { QStringLiteral("a.com"), { QStringLiteral("-o"), m_temp.filePath(QStringLiteral("no/dir/x.png")) }, 1 },
    };
    for (const auto& c : cases) {
        const CliRun run = chart(c.domain, c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_FALSE(run.err.isEmpty());
    }
    EXPECT_FALSE(QFile::exists(png));
}

// Every <text> of an SVG picture, in document order.
QStringList svgTexts(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QStringList texts;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QStringLiteral("text")) {
            texts.append(xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed());
        }
    }
    return texts;
}

TEST_F(ChartPictureTest, TitleLegendValuesAndEmptyPlotAsTheSvgShowsThem)
{
    storeDays(m_temp, QStringLiteral("good.com"), 5, {});
    storeDays(m_temp, QStringLiteral("blocked.com"), 3, { 0, 1, 2 });
    const QRegularExpression grouped(QStringLiteral("^-?\\d{1,3}([^\\d\\w]\\d{3})+$"));
    const QRegularExpression number(QStringLiteral("^-?\\d+$"));
    const struct
    {
        const char* domain;
        QStringList more;
        int legendEntries;
        bool noData;
    } cases[] = {
        { "good.com", {}, EngineCount, false },
        { "good.com", { QStringLiteral("--width=200"), QStringLiteral("--height=200") }, 0, false },
        { "blocked.com", { QStringLiteral("--engines=baidu") }, 1, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.domain + c.more.join(QLatin1Char(' ')).toStdString());
        const QString svg = m_temp.filePath(QStringLiteral("c.svg"));
        ASSERT_EQ(chart(QString::fromLatin1(c.domain), QStringList { QStringLiteral("-o"), svg } + c.more).exitCode, 0);
        const QStringList texts = svgTexts(svg);
        const QString title = QString::fromLatin1(c.domain) + QStringLiteral("最近30日收录量走势图");
        // In one piece, cut short where the chart is too narrow for it.
        const QStringList titles = texts.filter(
            QRegularExpression(QLatin1Char('^') + QRegularExpression::escape(QString::fromLatin1(c.domain))));
        ASSERT_EQ(titles.size(), 1) << texts.join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(titles.first() == title, c.legendEntries > 0) << titles.first().toStdString();
        EXPECT_TRUE(texts.filter(QStringLiteral("日收")).size() <= 1);
        int legend = 0;
        for (int e = 0; e < EngineCount; ++e) {
            legend += texts.count(QString::fromUtf8(engineInfo(e).caption));
        }
        EXPECT_EQ(legend, c.legendEntries);
        EXPECT_EQ(texts.contains(QStringLiteral("暂无数据")), c.noData);
        // Counts of 5000 give thousands on the value axis, their digits grouped; no scale at all
        // over an empty plot.
        EXPECT_EQ(texts.filter(grouped).isEmpty(), c.noData) << texts.join(QLatin1Char('|')).toStdString();
        if (c.noData) {
            EXPECT_TRUE(texts.filter(number).isEmpty()) << texts.join(QLatin1Char('|')).toStdString();
        }
    }
}

// Qt's warnings about drawing without a display go nowhere; any other message passes on.
TEST(HeadlessDrawingTest, QtsHeadlessWarningsAreDroppedAndOthersPassOn)
{
    static QStringList reached;
    const QtMessageHandler before = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& message) { reached << message; });
    cli::dropHeadlessDrawingNoise();
    qWarning("QStandardPaths: XDG_RUNTIME_DIR not set, defaulting to '/tmp/runtime-x'");
    qWarning("This plugin does not support propagateSizeHints()");
    qWarning("a warning worth reading");
    qInstallMessageHandler(before);
    EXPECT_EQ(reached, QStringList { QStringLiteral("a warning worth reading") });
}

} // namespace
} // namespace shoulu::test
