#include "UiTest.h"
#include "chart/TrendChart.h"
#include "engines/EngineTable.h"
#include "query/DomainQuery.h"
#include "store/StoreWriter.h"
#include "support/EngineServer.h"
#include "support/ForeignLock.h"
#include "ui/HistoryList.h"
#include "ui/TForm2.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <gtest/gtest.h>

namespace shoulu::test {
namespace {

Count figure(int engine, int domain)
{
    return (domain + 1) * 10000 + (engine + 1) * 111;
}

// How the list shows a counted figure.
QString shown(Count count)
{
    return QLocale::system().toString(static_cast<qint64>(count));
}

// The main window driven as a user drives it, against engines served on this machine.
class QueryWalkTest : public UiTest
{
protected:
    QString status(TForm1& form) { return form.statusText(); }

    std::unique_ptr<TForm1> openProxiedForm()
    {
        auto form = openForm();
        form->domainQuery().setProxy(ProxySetting::via(m_engines.proxyUrl()));
        return form;
    }

    EngineServer m_engines;
};

TEST_F(QueryWalkTest, TypedDomainQueryShowsItsRowAndFinishedStatus)
{
    for (int i = 0; i < EngineCount; ++i) {
        m_engines.setDefault(i, { figure(i, 0) });
    }
    auto form = openProxiedForm();
    auto* box = child<QComboBox>(form.get(), "cbb1");
    QTest::keyClicks(box->lineEdit(), QStringLiteral("example.com"));
    QTest::mouseClick(child<QPushButton>(form.get(), "bsSkinXFormButton1"), Qt::LeftButton);
    EXPECT_EQ(status(*form), QStringLiteral("正在查询：example.com"));

    ASSERT_TRUE(waitUntil([&] { return !form->domainQuery().isBusy(); }, 20000));
    EXPECT_EQ(status(*form), QStringLiteral("查询完毕：example.com"));
    auto* gauge = child<QProgressBar>(form.get(), "bskng1");
    EXPECT_EQ(gauge->maximum(), 7);
    EXPECT_EQ(gauge->value(), 7);
    EXPECT_TRUE(gauge->isTextVisible());
    EXPECT_EQ(gauge->text(), QStringLiteral("域名 1/1 · 读数 7/7"));
    EXPECT_EQ(box->currentText(), QStringLiteral("example.com"));
    EXPECT_EQ(storedDomains(), QStringList { QStringLiteral("example.com") });

    HistoryList* list = form->historyList();
    ASSERT_EQ(list->rowCount(), 1);
    EXPECT_EQ(list->item(0, 1)->text(), QStringLiteral("example.com"));
    for (int i = 0; i < EngineCount; ++i) {
        EXPECT_EQ(list->item(0, 3 + i)->text(), shown(figure(i, 0)));
    }
    EXPECT_EQ(MessageBox::shownCount(), 0) << MessageBox::lastText().toStdString();
}

TEST_F(QueryWalkTest, QueryButtonRefusesABadDomainSendingNothingAndAsksACleanedOne)
{
    auto form = openProxiedForm();
    auto* box = child<QComboBox>(form.get(), "cbb1");
    auto* button = child<QPushButton>(form.get(), "bsSkinXFormButton1");
    const QList<QPair<QString, QString>> refusals { { QStringLiteral("a\x1b.com"), QStringLiteral("域名无效：") },
        { QString(), QStringLiteral("请输入域名。") } };
    for (const auto& [bad, said] : refusals) {
        box->setEditText(bad);
        button->click();
        EXPECT_TRUE(status(*form).startsWith(said)) << status(*form).toStdString();
        EXPECT_FALSE(form->domainQuery().isBusy());
    }
    box->setEditText(QStringLiteral("http://www.example.com/news/?x=1#top"));
    button->click();
    EXPECT_EQ(status(*form), QStringLiteral("正在查询：www.example.com/news/"));
    ASSERT_TRUE(waitUntil([&] { return !form->domainQuery().isBusy(); }, 20000));
    EXPECT_EQ(storedDomains(), QStringList { QStringLiteral("www.example.com/news/") });
}

TEST_F(QueryWalkTest, BatchOverAnEmptyListSaysSoAndDoesNotStart)
{
    auto form = openProxiedForm();
    QTest::mouseClick(child<QPushButton>(form.get(), "bsSkinXFormButton2"), Qt::LeftButton);
    EXPECT_FALSE(form->domainQuery().isBusy());
    EXPECT_FALSE(form->batchTimer()->isActive());
    EXPECT_EQ(status(*form), QStringLiteral("域名列表为空，请先添加域名。"));
}

// What a new user does: list three domains in the editor, run a batch, read the list and the
// chart, tick another engine, and look at one domain's history.
TEST_F(QueryWalkTest, NewUserListsDomainsRunsABatchAndReadsTheResults)
{
    const QStringList domains
        = { QStringLiteral("alpha.example"), QStringLiteral("beta.example"), QStringLiteral("gamma.example") };
    for (int d = 0; d < domains.size(); ++d) {
        for (int i = 0; i < EngineCount; ++i) {
            m_engines.setAnswer(i, domains[d], { figure(i, d) });
        }
    }
    auto form = openProxiedForm();
    TForm2 editor(form->domainList(), form.get());
    form->setEditor(&editor);

    bool saved = false;
    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(editor.isVisible());
        editor.memo()->setPlainText(domains.join(QLatin1Char('\n')) + QLatin1Char('\n'));
        QTest::mouseClick(editor.saveButton(), Qt::LeftButton);
        saved = !editor.isVisible();
    });
    QTest::mouseClick(child<QPushButton>(form.get(), "btn2"), Qt::LeftButton);
    ASSERT_TRUE(saved);
    EXPECT_EQ(storedDomains(), domains);
    EXPECT_EQ(form->domainItems(), domains);

    child<QSpinBox>(form.get(), "bsSkinSpinEdit1")->setValue(1);
    QTest::mouseClick(child<QPushButton>(form.get(), "bsSkinXFormButton2"), Qt::LeftButton);
    EXPECT_EQ(status(*form), QStringLiteral("开始查询所有域名收录量..."));
    auto* gauge = child<QProgressBar>(form.get(), "bskng1");
    ASSERT_TRUE(waitUntil(
        [&] {
            return status(*form).startsWith(QStringLiteral("批量查询完毕：3 个域名"))
                && gauge->value() == gauge->maximum();
        },
        30000));
    EXPECT_EQ(gauge->maximum(), 21);
    ASSERT_TRUE(waitUntil([&] { return !form->domainQuery().isBusy(); }));

    HistoryList* list = form->historyList();
    ASSERT_EQ(list->rowCount(), 3);
    QStringList listed;
    for (int r = 0; r < 3; ++r) {
        const QString domain = list->item(r, 1)->text();
        listed << domain;
        const int d = static_cast<int>(domains.indexOf(domain));
        ASSERT_GE(d, 0);
        EXPECT_EQ(list->item(r, 0)->text(), QString::number(r + 1));
        for (int i = 0; i < EngineCount; ++i) {
            EXPECT_EQ(list->item(r, 3 + i)->text(), shown(figure(i, d)));
        }
    }
    listed.sort();
    EXPECT_EQ(listed, domains);

    // Selecting a row draws that domain's chart: one point per line, the Baidu line shown.
    int betaRow = -1;
    for (int r = 0; r < 3; ++r) {
        if (list->item(r, 1)->text() == domains[1]) {
            betaRow = r;
        }
    }
    list->selectRow(betaRow);
    TrendChart* chart = form->trendChart();
    EXPECT_EQ(chart->titleText(), domains[1] + QStringLiteral("最近30日收录量走势图"));
    ASSERT_EQ(chart->series(0)->count(), 1);
    EXPECT_EQ(chart->series(0)->at(0), QPointF(0, figure(0, 1)));
    EXPECT_TRUE(chart->series(0)->isVisible());
    EXPECT_FALSE(chart->series(1)->isVisible());

    QTest::mouseClick(child<QCheckBox>(form.get(), "bsSkinCheckRadioBox2"), Qt::LeftButton);
    EXPECT_TRUE(chart->series(1)->isVisible());
    EXPECT_EQ(chart->series(1)->at(0), QPointF(0, figure(1, 1)));

    auto* box = child<QComboBox>(form.get(), "cbb1");
    box->setEditText(domains[2]);
    QTest::mouseClick(child<QPushButton>(form.get(), "bsSkinXFormButton3"), Qt::LeftButton);
    ASSERT_EQ(list->rowCount(), 1);
    EXPECT_EQ(list->item(0, 1)->text(), domains[2]);
    EXPECT_EQ(list->item(0, 9)->text(), shown(figure(6, 2)));
    EXPECT_EQ(chart->titleText(), domains[2] + QStringLiteral("最近30日收录量走势图"));
    // The summary, too long for the status panel, in a box of its own.
    EXPECT_EQ(MessageBox::shownCount(), 1) << MessageBox::lastText().toStdString();
    EXPECT_TRUE(MessageBox::lastText().startsWith(QStringLiteral("批量查询完毕：3 个域名")))
        << MessageBox::lastText().toStdString();
}

// 停止 while the first domain waits for one engine: that domain is tallied and stored, the
// second is never asked, and the run ends with a summary that says it was stopped.
TEST_F(QueryWalkTest, StopDuringABatchStoresTheDomainInFlightAndStartsNoOther)
{
    const QStringList domains = { QStringLiteral("first.example"), QStringLiteral("second.example") };
    listDomains(domains);
    for (int i = 0; i < EngineCount; ++i) {
        m_engines.setAnswer(i, domains[0], { figure(i, 0), i == 1 ? 1500 : 0 });
        m_engines.setAnswer(i, domains[1], { figure(i, 1) });
    }
    auto form = openProxiedForm();
    form->show();
    child<QSpinBox>(form.get(), "bsSkinSpinEdit1")->setValue(3);
    auto* batchButton = child<QPushButton>(form.get(), "bsSkinXFormButton2");
    auto* stopButton = child<QPushButton>(form.get(), "bsSkinXFormButton4");
    ASSERT_NE(stopButton, nullptr);
    EXPECT_FALSE(stopButton->isVisible());
    QTest::mouseClick(batchButton, Qt::LeftButton);
    EXPECT_TRUE(stopButton->isVisible());
    EXPECT_FALSE(batchButton->isVisible());

    auto* gauge = child<QProgressBar>(form.get(), "bskng1");
    const QString stalled = QStringLiteral("域名 0/2 · 读数 6/14 · 等待：谷歌");
    ASSERT_TRUE(waitUntil([&] { return gauge->text() == stalled; }, 10000)) << gauge->text().toStdString();
    QTest::mouseClick(stopButton, Qt::LeftButton);
    EXPECT_TRUE(form->domainQuery().isBusy()); // the slow engine's reply is still awaited

    ASSERT_TRUE(waitUntil([&] { return !form->domainQuery().isBusy(); }, 10000));
    EXPECT_EQ(gauge->text(), QStringLiteral("域名 1/1 · 读数 7/7"));
    ASSERT_TRUE(waitUntil([] { return MessageBox::shownCount() > 0; }));
    EXPECT_TRUE(MessageBox::lastText().startsWith(QStringLiteral("批量查询已停止：1 个域名")))
        << MessageBox::lastText().toStdString();
    EXPECT_TRUE(batchButton->isVisible());
    EXPECT_FALSE(stopButton->isVisible());
    EXPECT_FALSE(form->batchTimer()->isActive());

    // Past the time the second domain was due, 4 seconds after the first.
    QTest::qWait(2500);
    for (int i = 0; i < EngineCount; ++i) {
        EXPECT_EQ(m_engines.requestsFor(i, domains[1]), 0) << i;
    }
    const auto rows = m_otherRows->latestRows();
    ASSERT_TRUE(rows.ok());
    ASSERT_EQ(rows->size(), 1u);
    EXPECT_EQ(rows->front().domain, domains[0]);
    EXPECT_EQ(rows->front().counts[1], figure(1, 0));
    EXPECT_EQ(MessageBox::shownCount(), 1) << MessageBox::lastText().toStdString();
}

TEST_F(QueryWalkTest, ClosingDuringABatchWithFetchesInFlightIsQuickAndKeepsStoredRows)
{
    listDomains({ QStringLiteral("fast.example"), QStringLiteral("slow.example") });
    for (int i = 0; i < EngineCount; ++i) {
        m_engines.setAnswer(i, QStringLiteral("slow.example"), { figure(i, 1), 30000 });
    }
    auto form = openProxiedForm();
    child<QSpinBox>(form.get(), "bsSkinSpinEdit1")->setValue(1);
    QTest::mouseClick(child<QPushButton>(form.get(), "bsSkinXFormButton2"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return status(*form) == QStringLiteral("查询完毕：fast.example"); }, 10000));
    ASSERT_TRUE(waitUntil([&] { return m_engines.requestsFor(0, QStringLiteral("slow.example")) == 1; }, 10000));

    QElapsedTimer clock;
    clock.start();
    form.reset();
    EXPECT_LT(clock.elapsed(), 1000);

    const auto rows = m_otherRows->latestRows();
    ASSERT_TRUE(rows.ok());
    ASSERT_EQ(rows->size(), 1u);
    EXPECT_EQ(rows->front().domain, QStringLiteral("fast.example"));
}

// The row waits in memory while another program holds the file; closing the window does not
// wait for it, and says whose figures are lost.
TEST_F(QueryWalkTest, ClosingWhileARowWaitsForALockedFileNamesItsDomain)
{
    if (!ForeignLock::available()) {
        GTEST_SKIP() << "sqlcipher shell not installed";
    }
    for (int i = 0; i < EngineCount; ++i) {
        m_engines.setDefault(i, { figure(i, 0), 500 });
    }
    auto form = openProxiedForm();
    StoreWriter::Timing timing;
    timing.busyTimeoutMs = 100;
    timing.retry.firstPauseMs = 100;
    form->domainQuery().setStoreTiming(timing);
    QTest::keyClicks(child<QComboBox>(form.get(), "cbb1")->lineEdit(), QStringLiteral("locked.example"));
    QTest::mouseClick(child<QPushButton>(form.get(), "bsSkinXFormButton1"), Qt::LeftButton);
    ForeignLock lock(m_temp.path());
    ASSERT_TRUE(lock.ok()) << lock.error().toStdString();

    ASSERT_TRUE(waitUntil([&] { return status(*form).startsWith(QStringLiteral("数据库文件正被占用")); }, 20000));
    EXPECT_TRUE(status(*form).contains(QStringLiteral("locked.example"))) << status(*form).toStdString();
    EXPECT_EQ(MessageBox::shownCount(), 0) << MessageBox::lastText().toStdString();
    form->close();
    EXPECT_TRUE(MessageBox::lastText().contains(QStringLiteral("未能保存"))) << MessageBox::lastText().toStdString();
    EXPECT_TRUE(MessageBox::lastText().contains(QStringLiteral("locked.example")));
}

} // namespace
} // namespace shoulu::test
