#include "UiTest.h"
#include "chart/TrendChart.h"
#include "engines/EngineTable.h"
#include "fetch/HTTPGet.h"
#include "query/DomainQuery.h"
#include "ui/HistoryList.h"
#include "ui/Project1.h"

#include <QChart>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTimer>

#include <gtest/gtest.h>

namespace shoulu::test {
namespace {

const QString IncompleteFile = QStringLiteral("文件不完整");

// ---- start-up with a database that cannot be opened -------------------------------------------

struct BadFile
{
    const char* name;
    std::function<void(const QString& path)> make;
    const char* says; // missing, damaged or foreign
};

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

void makeForeignKeyedDatabase(const QString& path)
{
    auto db = Database::open(path, Database::OpenMode::CreateNew);
    ASSERT_TRUE(db.ok()) << db.error().toStdString();
    ASSERT_TRUE((*db)->key(QByteArray("not our password")).ok());
    ASSERT_TRUE((*db)->exec("CREATE TABLE domain (id INTEGER PRIMARY KEY, domain TEXT)").ok());
    ASSERT_TRUE((*db)->exec("CREATE TABLE shoulu (id INTEGER PRIMARY KEY, domain TEXT)").ok());
}

class UnopenableDatabaseTest : public ::testing::TestWithParam<BadFile>
{
};

TEST_P(UnopenableDatabaseTest, StartUpReportsIncompleteFileAndFails)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("setting.dat"));
    GetParam().make(path);
    const bool existed = QFile::exists(path);

    MessageBox::clearLastText();
    EXPECT_EQ(openAppContext(path), nullptr);

    EXPECT_EQ(MessageBox::lastText().section(QLatin1Char('\n'), 0, 0), IncompleteFile);
    EXPECT_TRUE(MessageBox::lastText().contains(QStringLiteral("setting.dat")));
    EXPECT_TRUE(MessageBox::lastText().contains(QStringLiteral("shoulu-cli init")));
    EXPECT_TRUE(MessageBox::lastText().contains(QString::fromUtf8(GetParam().says)))
        << MessageBox::lastText().toStdString();
    EXPECT_EQ(MessageBox::shownCount(), 1);
    EXPECT_EQ(MessageBox::lastIcon(), QMessageBox::NoIcon);
    EXPECT_EQ(QFile::exists(path), existed) << "opening must never create the file";
}

INSTANTIATE_TEST_SUITE_P(BadFiles, UnopenableDatabaseTest,
    ::testing::Values(BadFile { "Missing", [](const QString&) {}, "没有可用的数据文件" },
        BadFile { "Empty", [](const QString& p) { writeBytes(p, QByteArray()); }, "已损坏" },
        BadFile {
            "NotADatabase", [](const QString& p) { writeBytes(p, QByteArray(4096, 'x')); }, "不是本程序的数据文件" },
        BadFile { "WrongKey", makeForeignKeyedDatabase, "已损坏" }),
    [](const ::testing::TestParamInfo<BadFile>& info) { return std::string(info.param.name); });

// Damage a statement finds after opening is said in the window's words, with what to do.
TEST(DamageMessageTest, StoreDamageIsToldInChineseWithWhatToDo)
{
    struct Case
    {
        QString storeText;
        QString shownStart; // empty: shown as it is
    };
    const Case cases[] = {
        { QStringLiteral("reading a row failed: database disk image is malformed; /d/setting.dat is damaged: set it "
                         "aside and make a new one with 'shoulu-cli init'"),
            QStringLiteral("文件 /d/setting.dat 已损坏。请把它移到别处，再用“shoulu-cli init”新建一个。") },
        { QStringLiteral("reading a row failed: file is not a database; /d/pages.dat is damaged: set it aside"),
            QStringLiteral("文件 /d/pages.dat 已损坏。请把它移到别处，程序会新建网页存档。") },
        { QStringLiteral("statement failed: database is locked"), QString() },
    };
    MessageBox::setAutoAnswer(QMessageBox::Ok);
    for (const Case& c : cases) {
        MessageBox::error(nullptr, c.storeText);
        const QString shown = MessageBox::lastText();
        if (c.shownStart.isEmpty()) {
            EXPECT_EQ(shown, c.storeText);
        } else {
            EXPECT_TRUE(shown.startsWith(c.shownStart)) << shown.toStdString();
            EXPECT_TRUE(shown.contains(c.storeText)) << "the store's own words go along";
        }
    }
}

TEST(Project1Test, ReturnsNonZeroWithoutEnteringTheLoopWhenTheFileIsMissing)
{
    QTemporaryDir dir;
    MessageBox::clearLastText();
    bool loopRan = false;
    QTimer::singleShot(0, [&] {
        loopRan = true;
        QApplication::closeAllWindows();
    });
    EXPECT_EQ(Project1(*qApp, dir.filePath(QStringLiteral("setting.dat"))), 1);
    EXPECT_EQ(MessageBox::lastText().section(QLatin1Char('\n'), 0, 0), IncompleteFile);
    EXPECT_EQ(MessageBox::lastTitle(), QStringLiteral("岚衡搜索引擎收录查询工具"));
    EXPECT_FALSE(loopRan);
    QCoreApplication::processEvents(); // the pending shot must not leak into later tests
}

TEST_F(UiTest, Project1ShowsTheMainWindowWithTheEditorHiddenAndEndsWhenItCloses)
{
    bool mainShown = false;
    bool editorHidden = false;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == QLatin1String("Form1")) {
                mainShown = w->isVisible();
            }
        }
        for (QWidget* w : QApplication::allWidgets()) {
            if (w->objectName() == QLatin1String("Form2")) {
                editorHidden = !w->isVisible();
            }
        }
        QApplication::closeAllWindows();
    });
    EXPECT_EQ(Project1(*qApp, m_temp.path()), 0);
    EXPECT_TRUE(mainShown);
    EXPECT_TRUE(editorHidden);
    // On X11 a display name is appended to every window's caption.
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
}

// ---- the domain box at start-up -----------------------------------------------------------------

TEST_F(UiTest, EmptyDomainTableLeavesTheBoxWithoutItemsOrText)
{
    auto form = openForm();
    EXPECT_EQ(form->domainBox()->count(), 0);
    EXPECT_EQ(form->domainBox()->currentText(), QString());
}

TEST_F(UiTest, StoredDomainsBecomeItemsInStoredOrderWithTheLastAsText)
{
    listDomains({ QStringLiteral("zeta.com"), QStringLiteral("alpha.com"), QStringLiteral("中文.cn") });
    auto form = openForm();
    QStringList items;
    for (int i = 0; i < form->domainBox()->count(); ++i) {
        items.append(form->domainBox()->itemText(i));
    }
    EXPECT_EQ(
        items, (QStringList { QStringLiteral("zeta.com"), QStringLiteral("alpha.com"), QStringLiteral("中文.cn") }));
    EXPECT_EQ(form->domainBox()->currentText(), QStringLiteral("中文.cn"));

    // A reload puts the newest domain back in the box, even over one the user picked.
    form->domainBox()->setCurrentIndex(0);
    ASSERT_TRUE(form->loadDomain().ok());
    EXPECT_EQ(form->domainBox()->count(), 3);
    EXPECT_EQ(form->domainBox()->currentText(), QStringLiteral("中文.cn"));
}

TEST_F(UiTest, ReloadWithNoStoredDomainsKeepsTheTypedText)
{
    listDomains({ QStringLiteral("a.com") });
    auto form = openForm();
    form->domainBox()->lineEdit()->clear();
    QTest::keyClicks(form->domainBox()->lineEdit(), QStringLiteral("typed.com"));
    execOther("DELETE FROM domain");

    ASSERT_TRUE(form->loadDomain().ok());
    EXPECT_EQ(form->domainBox()->count(), 0);
    EXPECT_EQ(form->domainBox()->currentText(), QStringLiteral("typed.com"));
}

// Fetches that cannot start fail at once: a run ends without the network.
void failEveryFetch(TForm1& form, int& started)
{
    form.domainQuery().setFetchStarter([&started](Tmyhttpget&) {
        ++started;
        throw std::runtime_error("no network in this test");
    });
}

TEST_F(UiTest, PressingEnterInTheDomainBoxRunsTheQueryWhileTheButtonsLookBusy)
{
    listDomains({ QStringLiteral("a.com") });
    auto form = openForm();
    int started = 0;
    failEveryFetch(*form, started);
    form->domainBox()->lineEdit()->clear();
    QTest::keyClicks(form->domainBox()->lineEdit(), QStringLiteral("new.com"));
    QTest::keyClick(form->domainBox()->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(form->domainItems(), QStringList({ QStringLiteral("a.com"), QStringLiteral("new.com") }));
    EXPECT_EQ(form->domainBox()->currentText(), QStringLiteral("new.com"));
    EXPECT_EQ(started, EngineCount);
    EXPECT_FALSE(child<QPushButton>(form.get(), "bsSkinXFormButton1")->isEnabled());
    EXPECT_FALSE(child<QPushButton>(form.get(), "bsSkinXFormButton2")->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return !form->domainQuery().isBusy(); }));
    EXPECT_TRUE(child<QPushButton>(form.get(), "bsSkinXFormButton1")->isEnabled());
    EXPECT_TRUE(child<QPushButton>(form.get(), "bsSkinXFormButton2")->isEnabled());
    EXPECT_EQ(form->gauge()->text(), QStringLiteral("域名 1/1 · 读数 7/7"));
}

class BlankBoxTest : public UiTest, public ::testing::WithParamInterface<const char*>
{
};

TEST_P(BlankBoxTest, AsksForADomainAndSendsNothing)
{
    auto form = openForm();
    int started = 0;
    failEveryFetch(*form, started);
    form->domainBox()->setEditText(QString::fromUtf8(GetParam()));
    child<QPushButton>(form.get(), "bsSkinXFormButton1")->click();
    EXPECT_EQ(form->statusText(), QStringLiteral("请输入域名。"));
    EXPECT_EQ(started, 0);
    EXPECT_TRUE(storedDomains().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Texts, BlankBoxTest, ::testing::Values("", "   ", " \t "));

// ---- the window and its controls ---------------------------------------------------------------

TEST_F(UiTest, MainWindowKeepsItsClientSizeOnceLaidOut)
{
    auto form = openForm();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("岚衡搜索引擎收录查询V1.0"));
    // A control whose minimum width exceeds the window would silently widen it.
    EXPECT_EQ(form->size(), QSize(802, 665));
    EXPECT_LE(form->minimumSizeHint().width(), 802);
    EXPECT_TRUE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(child<QWidget>(form.get(), "bsSkinStatusPanel1")->width(), 561);
}

TEST_F(UiTest, VerticalBandsStackInOrderWithTheirHeights)
{
    auto form = openForm();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    const QWidget* strip = child<QWidget>(form.get(), "bspanel1");
    const QWidget* banner = child<QWidget>(form.get(), "WebBrowser1");
    const QWidget* list = child<QWidget>(form.get(), "lv1");
    const QWidget* gauge = child<QWidget>(form.get(), "bskng1");
    const QWidget* chart = child<QWidget>(form.get(), "Chart1");
    ASSERT_TRUE(strip && banner && list && gauge && chart);

    const auto inWindow = [&form](const QWidget* w) { return QRect(w->mapTo(form.get(), QPoint()), w->size()); };
    const int handle = form->splitter()->handleWidth();
    EXPECT_EQ(inWindow(strip), QRect(0, 0, 802, 41));
    EXPECT_EQ(inWindow(banner), QRect(0, 41, 802, 72));
    EXPECT_EQ(inWindow(chart), QRect(0, 665 - 280, 802, 280));
    EXPECT_EQ(inWindow(gauge), QRect(0, 665 - 280 - 20, 802, 20));
    EXPECT_EQ(inWindow(list), QRect(0, 41 + 72, 802, 665 - 41 - 72 - 20 - 280 - handle));

    const QWidget* checkStrip = child<QWidget>(form.get(), "bsSkinPanel1");
    const QWidget* statusBar = child<QWidget>(form.get(), "bsSkinStatusBar1");
    ASSERT_TRUE(checkStrip && statusBar);
    EXPECT_EQ(checkStrip->parentWidget(), chart);
    EXPECT_EQ(checkStrip->geometry(), QRect(0, 0, 802, 29));
    EXPECT_EQ(statusBar->parentWidget(), chart);
    EXPECT_EQ(statusBar->geometry(), QRect(0, 280 - 21, 802, 21));
    // The plot and its date labels end where the status bar begins.
    EXPECT_EQ(form->trendChart()->chart()->size(), QSizeF(802, 280 - 21));
    EXPECT_EQ(form->trendChart()->chart()->margins().top(), 280 * 12 / 100);
}

TEST_F(UiTest, ShrinkingCutsNothingOffAndGrowingFeedsListAndChart)
{
    auto form = openForm();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    form->resize(91, 490);
    QTest::qWait(20);
    for (const char* name :
        { "bsSkinXFormButton3", "btn2", "bsSkinSpinEdit1", "bsSkinStdLabel2", "bsSkinCheckRadioBox7" }) {
        const QWidget* w = child<QWidget>(form.get(), name);
        ASSERT_NE(w, nullptr) << name;
        EXPECT_TRUE(form->rect().contains(QRect(w->mapTo(form.get(), QPoint()), w->size()))) << name;
    }
    const int listHeight = form->historyList()->height();
    const int chartHeight = form->trendChart()->height();
    form->resize(form->width() + 200, form->height() + 200);
    QTest::qWait(20);
    EXPECT_GT(form->historyList()->height(), listHeight);
    EXPECT_GT(form->trendChart()->height(), chartHeight);
}

TEST_F(UiTest, DelaySizeAndSplitAreRememberedForTheNextWindow)
{
    QList<int> split;
    {
        auto form = openForm();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->delayBox()->setValue(7);
        form->resize(900, 700);
        form->splitter()->setSizes({ 150, 300 });
        split = form->splitter()->sizes();
        form->close();
    }
    auto form = openForm();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    EXPECT_EQ(form->delayBox()->value(), 7);
    EXPECT_EQ(form->size(), QSize(900, 700));
    EXPECT_EQ(form->splitter()->sizes(), split);
}

TEST_F(UiTest, ClosingDuringABatchAsksAndStaysOpenOnCancel)
{
    listDomains({ QStringLiteral("a.com"), QStringLiteral("b.com") });
    auto form = openForm();
    int started = 0;
    failEveryFetch(*form, started);
    form->delayBox()->setValue(60);
    form->show();
    child<QPushButton>(form.get(), "bsSkinXFormButton2")->click();
    ASSERT_TRUE(form->batchTimer()->isActive());
    MessageBox::setNextAnswer(QMessageBox::Cancel);
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(MessageBox::lastIcon(), QMessageBox::Question);
}

TEST_F(UiTest, StartUpStateOfTheControls)
{
    listDomains({ QStringLiteral("a.com") });
    addRow(QStringLiteral("a.com"), at(2024, 3, 1), countsFrom(5));
    auto form = openForm();

    const QSpinBox* delay = form->delayBox();
    EXPECT_EQ(delay->objectName(), QStringLiteral("bsSkinSpinEdit1"));
    EXPECT_EQ(QList<int>({ delay->minimum(), delay->maximum(), delay->singleStep(), delay->value() }),
        QList<int>({ 1, 60, 1, 2 }));
    EXPECT_EQ(form->statusText(), QString());
    EXPECT_EQ(child<QLabel>(form.get(), "bsSkinStatusPanel2")->text(),
        QStringLiteral("谷歌、搜狗查询太频繁会被暂时性屏蔽IP。"));
    EXPECT_FALSE(form->batchTimer()->isActive());
    EXPECT_EQ(form->batchTimer()->objectName(), QStringLiteral("Timer1"));
    EXPECT_EQ(form->EngineUrls(), buildEngineUrls());

    // A file with history opens on its latest rows; the chart waits for a choice.
    EXPECT_EQ(form->historyList()->rowCount(), 1);
    EXPECT_TRUE(form->historyList()->showGrid());
    EXPECT_EQ(form->trendChart()->titleText(), QStringLiteral("最近30日收录量走势图"));
}

TEST_F(UiTest, ABadEngineFileIsSaidOnceAndTheBuiltInCatalogueRuns)
{
    QFile file(m_temp.filePath(QStringLiteral("engines.json")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("{\"engines\": [{\"key\": \"bing\", \"count\": [\"(\"]}]}");
    file.close();
    auto form = openForm();
    ASSERT_TRUE(waitUntil([] { return MessageBox::shownCount() > 0; }));
    EXPECT_EQ(MessageBox::shownCount(), 1);
    EXPECT_TRUE(MessageBox::lastText().contains(QStringLiteral("engines.json:1:")))
        << MessageBox::lastText().toStdString();
    EXPECT_TRUE(MessageBox::lastText().startsWith(QStringLiteral("搜索引擎目录文件有误")))
        << MessageBox::lastText().toStdString();
}

} // namespace
} // namespace shoulu::test
