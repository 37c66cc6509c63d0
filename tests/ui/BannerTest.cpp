#include "ui/Banner.h"

#include "UiTest.h"
#include "support/GbkPages.h"
#include "support/LocalHttpServer.h"

#include <QSignalSpy>
#include <QTextDocument>

#include <gtest/gtest.h>

namespace shoulu::test {
namespace {

// ---- decoding by the page's charset meta --------------------------------------------------------

struct Page
{
    const char* name;
    std::function<QByteArray()> bytes;
};

const QString Words = QStringLiteral("岚衡收录查询");

QByteArray gbkPage(const char* head)
{
    return QByteArray("<html><head>") + head + "</head><body>" + gbkFromUtf8(Words.toUtf8()) + "</body></html>";
}

QByteArray utf8Page(const char* head)
{
    return QByteArray("<html><head>") + head + "</head><body>" + Words.toUtf8() + "</body></html>";
}

class DecodeBannerPageTest : public ::testing::TestWithParam<Page>
{
};

TEST_P(DecodeBannerPageTest, ReadsTheChineseTextInTheDeclaredCharset)
{
    const QString page = decodeBannerPage(GetParam().bytes());
    EXPECT_TRUE(page.contains(Words)) << page.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Charsets, DecodeBannerPageTest,
    ::testing::Values(
        Page { "Gb2312HttpEquiv",
            [] { return gbkPage(R"(<meta http-equiv="Content-Type" content="text/html; charset=gb2312">)"); } },
        Page { "GbkHtml5", [] { return gbkPage(R"(<meta charset="GBK">)"); } },
        Page { "Gb18030UnquotedUpperCase", [] { return gbkPage(R"(<META CHARSET=GB18030>)"); } },
        Page { "Utf8Declared", [] { return utf8Page(R"(<meta charset="utf-8">)"); } },
        Page { "NothingDeclared", [] { return utf8Page(""); } },
        Page { "Utf8BomWinsOverAWrongMeta",
            []() -> QByteArray { return QByteArray("\xEF\xBB\xBF") + utf8Page(R"(<meta charset="gbk">)"); } },
        Page { "CharsetOutsideAMetaIgnored", [] { return utf8Page("<title>charset=gbk</title>"); } }),
    [](const ::testing::TestParamInfo<Page>& info) { return std::string(info.param.name); });

// ---- loading --------------------------------------------------------------------------------------

class BannerTest : public ::testing::Test
{
protected:
    Banner m_banner;
};

TEST_F(BannerTest, ShowsThePublishersPageFetchedInTheBackground)
{
    LocalHttpServer server([](const HttpRequest&, HttpConnection& c) {
        c.respond(200, gbkPage(R"(<meta charset="gb2312">)"), { { "Content-Type", "text/html" } });
    });
    QSignalSpy done(&m_banner, &Banner::documentComplete);
    m_banner.navigate(server.url("/softad/Shoulu.html"));
    ASSERT_TRUE(done.wait(5000));
    EXPECT_EQ(done.count(), 1);
    EXPECT_EQ(m_banner.toPlainText(), Words);
    EXPECT_EQ(server.lastRequest().target, QByteArray("/softad/Shoulu.html"));
}

TEST_F(BannerTest, ShowsTheBuiltInPageWhenNothingComesBack)
{
    LocalHttpServer server([](const HttpRequest&, HttpConnection& c) { c.reset(); });
    QSignalSpy done(&m_banner, &Banner::documentComplete);
    m_banner.navigate(server.url("/softad/Shoulu.html"));
    ASSERT_TRUE(done.wait(5000));
    QTextDocument builtIn;
    builtIn.setHtml(builtInBannerPage());
    EXPECT_FALSE(builtIn.toPlainText().trimmed().isEmpty());
    EXPECT_EQ(m_banner.toPlainText(), builtIn.toPlainText());
}

TEST_F(BannerTest, AnAbandonedLoadReportsNothing)
{
    LocalHttpServer slow([](const HttpRequest&, HttpConnection& c) {
        c.sleepMs(1500);
        c.respond(200, utf8Page("<title>slow</title>"));
    });
    LocalHttpServer fast([](const HttpRequest&, HttpConnection& c) { c.respond(200, utf8Page("")); });
    QSignalSpy done(&m_banner, &Banner::documentComplete);
    m_banner.navigate(slow.url("/softad/Shoulu.html"));
    ASSERT_TRUE(slow.waitForRequests(1, 5000));
    m_banner.navigate(fast.url("/softad/Shoulu.html"));
    ASSERT_TRUE(done.wait(5000));
    QTest::qWait(2000);
    EXPECT_EQ(done.count(), 1);
    EXPECT_EQ(m_banner.toPlainText(), Words);
}

TEST_F(BannerTest, RemotePageCannotPullInLocalFiles)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("secret.txt"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("secret");
    file.close();
    EXPECT_FALSE(m_banner.loadResource(QTextDocument::ImageResource, QUrl::fromLocalFile(path)).isValid());
    EXPECT_FALSE(m_banner.loadResource(QTextDocument::StyleSheetResource, QUrl(path)).isValid());
    EXPECT_FALSE(m_banner.openLinks());
}

TEST_F(UiTest, StartUpDoesNotWaitForTheBannerAndStylesEveryLoadedPage)
{
    LocalHttpServer server([](const HttpRequest&, HttpConnection& c) {
        c.sleepMs(300);
        c.respond(200, utf8Page(R"(<meta charset="utf-8">)"));
    });
    const auto context = openAppContext(m_temp.path());
    ASSERT_NE(context, nullptr);
    TForm1 form(*context, server.url("/softad/Shoulu.html"));
    Banner* banner = form.banner();
    EXPECT_TRUE(banner->isLoading()) << "the window is ready before the page is";
    EXPECT_EQ(banner->height(), 72);

    // Whatever a page did to the strip, loading it styles it again.
    banner->document()->setDocumentMargin(9);
    banner->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    banner->setFrameShape(QFrame::Box);
    QSignalSpy done(banner, &Banner::documentComplete);
    ASSERT_TRUE(done.wait(5000));
    EXPECT_EQ(banner->toPlainText(), Words);
    EXPECT_EQ(banner->document()->documentMargin(), 0);
    EXPECT_EQ(banner->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(banner->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(banner->frameShape(), QFrame::NoFrame);
}

} // namespace
} // namespace shoulu::test
