#include "ui/TForm1.h"

#include "chart/TrendChart.h"
#include "engines/EngineCatalogue.h"
#include "engines/EngineTable.h"
#include "query/BatchScheduler.h"
#include "query/DomainQuery.h"
#include "query/DomainText.h"
#include "store/DomainList.h"
#include "store/ResultRows.h"
#include "ui/ExportMenus.h"
#include "ui/HistoryList.h"
#include "ui/MessageBox.h"
#include "ui/PageArchiveActions.h"
#include "ui/Skin.h"
#include "ui/TForm2.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace shoulu {

namespace {

constexpr int ClientWidth = 802;
constexpr int ClientHeight = 665;
constexpr int CommandStripHeight = 41;
constexpr int GaugeHeight = 20;
constexpr int ChartHeight = 280;

void centreOnScreen(QWidget* window)
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), window->size());
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
}

} // namespace

TForm1::TForm1(const QString& databasePath, const QByteArray& bannerUrl, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("岚衡搜索引擎收录查询V1.0"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
        | Qt::WindowCloseButtonHint);
    setStyleSheet(Skin::styleSheet());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    buildCommandStrip();
    layout->addWidget(m_bspanel1);

    m_WebBrowser1 = new Banner(this);
    layout->addWidget(m_WebBrowser1);

    m_lv1 = new HistoryList(this);
    addCsvExport(m_lv1);
    layout->addWidget(m_lv1, 1);

    m_bskng1 = new QProgressBar(this);
    m_bskng1->setObjectName(QStringLiteral("bskng1"));
    m_bskng1->setFixedHeight(GaugeHeight);
    // Text from the first run on: "41/126", replies counted of those expected.
    m_bskng1->setTextVisible(false);
    m_bskng1->setFormat(QStringLiteral("%v/%m"));
    m_bskng1->setAlignment(Qt::AlignCenter);
    m_bskng1->setRange(0, 100);
    m_bskng1->setValue(0);
    layout->addWidget(m_bskng1);

    m_Chart1 = new TrendChart(this);
    m_Chart1->setFixedHeight(ChartHeight);
    addPictureSave(m_Chart1);
    layout->addWidget(m_Chart1);
    buildStatusBar();

    m_Timer1 = new QTimer(this);
    m_Timer1->setObjectName(QStringLiteral("Timer1"));

    connect(m_bsSkinXFormButton1, &QPushButton::clicked, this, &TForm1::bsSkinXFormButton1Click);
    connect(m_bsSkinXFormButton2, &QPushButton::clicked, this, &TForm1::bsSkinXFormButton2Click);
    connect(m_bsSkinXFormButton3, &QPushButton::clicked, this, &TForm1::bsSkinXFormButton3Click);
    connect(m_btn2, &QPushButton::clicked, this, &TForm1::btn2Click);
    connect(m_Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    connect(m_lv1, &HistoryList::selectItem, this, &TForm1::lv1SelectItem);
    for (int i = 0; i < EngineCount; ++i) {
        connect(m_Chart1->checkBox(i), &QCheckBox::clicked, this, &TForm1::bsSkinCheckRadioBox1Click);
    }
    connect(m_WebBrowser1, &Banner::documentComplete, this, &TForm1::WebBrowser1DocumentComplete);

    resize(ClientWidth, ClientHeight);
    centreOnScreen(this);

    FormCreate(databasePath, bannerUrl);
}

TForm1::~TForm1() = default;

bool TForm1::FormCreate(const QString& databasePath, const QByteArray& bannerUrl)
{
    // A file this user may not write still shows its history; queries then refuse.
    auto opened = SettingsDatabase::open(databasePath, Access::Read);
    if (!opened) {
        MessageBox::plain(nullptr, QStringLiteral("文件不完整"));
        return false;
    }
    m_settings = std::move(opened.value());
    m_domainList = std::make_unique<DomainList>(m_settings->database());
    m_resultRows = std::make_unique<ResultRows>(m_settings->database());

    if (const auto loaded = loadDomain(); !loaded) {
        MessageBox::error(this, loaded.error());
    }
    m_engineUrls = buildEngineUrls();
    connectQuery(EngineCatalogue::userFileBeside(databasePath));
    m_pageArchive = new PageArchiveActions(databasePath, m_settings->database(), this);
    m_pageArchive->attach(*m_query, *m_lv1);
    connect(m_pageArchive, &PageArchiveActions::errorOccurred, this, &TForm1::reportLater);
    connect(m_pageArchive, &PageArchiveActions::historyChanged, this, &TForm1::bsSkinXFormButton3Click);
    m_lv1->setShowGrid(true);
    m_WebBrowser1->navigate(bannerUrl);
    return true;
}

void TForm1::buildCommandStrip()
{
    m_bspanel1 = new QFrame(this);
    m_bspanel1->setObjectName(QStringLiteral("bspanel1"));
    m_bspanel1->setFixedHeight(CommandStripHeight);

    const auto place = [this](QWidget* w, const char* name, int left, int top, int width, int height) {
        w->setObjectName(QString::fromLatin1(name));
        w->setGeometry(left, top, width, height);
    };
    const auto button = [&](const char* name, const QString& caption, int left, int width) {
        auto* b = new QPushButton(caption, m_bspanel1);
        place(b, name, left, 10, width, 25);
        b->setAutoDefault(false);
        return b;
    };

    m_lbl1 = new QLabel(QStringLiteral("选择/输入域名"), m_bspanel1);
    place(m_lbl1, "lbl1", 19, 15, 77, 16);

    m_cbb1 = new QComboBox(m_bspanel1);
    place(m_cbb1, "cbb1", 104, 11, 273, 21);
    m_cbb1->setEditable(true);
    m_cbb1->setInsertPolicy(QComboBox::NoInsert);
    m_cbb1->setMaxVisibleItems(8);
    m_cbb1->setDuplicatesEnabled(true);

    m_bsSkinXFormButton1 = button("bsSkinXFormButton1", QStringLiteral("查询"), 384, 73);
    m_bsSkinXFormButton2 = button("bsSkinXFormButton2", QStringLiteral("批量查询"), 464, 73);
    m_bsSkinXFormButton3 = button("bsSkinXFormButton3", QStringLiteral("历史记录"), 544, 73);
    m_btn2 = button("btn2", QStringLiteral("域名列表"), 624, 81);

    m_bsSkinStdLabel3 = new QLabel(QStringLiteral("延时"), m_bspanel1);
    place(m_bsSkinStdLabel3, "bsSkinStdLabel3", 716, 14, 24, 16);

    m_bsSkinSpinEdit1 = new QSpinBox(m_bspanel1);
    place(m_bsSkinSpinEdit1, "bsSkinSpinEdit1", 744, 10, 35, 21);
    m_bsSkinSpinEdit1->setRange(1, 60);
    m_bsSkinSpinEdit1->setSingleStep(1);
    m_bsSkinSpinEdit1->setValue(2);

    m_bsSkinStdLabel2 = new QLabel(QStringLiteral("秒"), m_bspanel1);
    place(m_bsSkinStdLabel2, "bsSkinStdLabel2", 782, 14, 12, 16);
}

void TForm1::buildStatusBar()
{
    m_bsSkinStatusBar1 = new QStatusBar;
    m_bsSkinStatusBar1->setObjectName(QStringLiteral("bsSkinStatusBar1"));
    m_bsSkinStatusBar1->setSizeGripEnabled(false);

    m_bsSkinStatusPanel1 = new QLabel(m_bsSkinStatusBar1);
    m_bsSkinStatusPanel1->setObjectName(QStringLiteral("bsSkinStatusPanel1"));
    // It shows stored names: one that looks like markup must still read as typed.
    m_bsSkinStatusPanel1->setTextFormat(Qt::PlainText);
    m_bsSkinStatusPanel1->setFixedWidth(561);
    m_bsSkinStatusBar1->addWidget(m_bsSkinStatusPanel1);

    // Both panels together are wider than the window: the second one gets what is left.
    m_bsSkinStatusPanel2 = new QLabel(QStringLiteral("谷歌、搜狗查询太频繁会被暂时性屏蔽IP。"), m_bsSkinStatusBar1);
    m_bsSkinStatusPanel2->setObjectName(QStringLiteral("bsSkinStatusPanel2"));
    m_bsSkinStatusPanel2->setMinimumWidth(0);
    m_bsSkinStatusPanel2->setMaximumWidth(384);
    m_bsSkinStatusBar1->addWidget(m_bsSkinStatusPanel2, 1);

    m_Chart1->setBottomBar(m_bsSkinStatusBar1);
}

Result<void> TForm1::loadDomain()
{
    auto stored = m_domainList->loadDomain();
    if (!stored) {
        return Error { stored.error() };
    }
    showDomains(*stored);
    return {};
}

void TForm1::showDomains(const QStringList& stored)
{
    // Clearing the items of an editable box also clears its text, which must survive an empty list.
    const QString text = m_cbb1->currentText();
    m_cbb1->clear();
    if (stored.isEmpty()) {
        m_cbb1->setEditText(text);
        return;
    }
    m_cbb1->addItems(stored);
    m_cbb1->setCurrentIndex(m_cbb1->count() - 1);
}

QStringList TForm1::domainItems() const
{
    QStringList items;
    items.reserve(m_cbb1->count());
    for (int i = 0; i < m_cbb1->count(); ++i) {
        items << m_cbb1->itemText(i);
    }
    return items;
}

Result<void> TForm1::LoadShoulu(const QString& domain)
{
    if (!m_lv1->clearRows()) {
        MessageBox::warning(this, QStringLiteral("清空出错"));
    }
    auto rows = domain.isEmpty() ? m_resultRows->latestRows() : m_resultRows->dailyRows(domain);
    if (!rows) {
        return Error { rows.error() };
    }
    if (rows->empty()) {
        return {};
    }
    m_Chart1->clearLines();
    m_lv1->appendRows(*rows);
    if (!domain.isEmpty()) {
        updateChat(domain);
    }
    return {};
}

void TForm1::updateChat(const QString& domain)
{
    if (domain.isEmpty()) {
        return;
    }
    const auto rows = m_resultRows->chartWindow(domain);
    if (!rows) {
        return; // the chart stays as it is; a drawing never reports
    }
    m_Chart1->draw(domain, *rows);
}

void TForm1::setStatusText(const QString& text)
{
    m_bsSkinStatusPanel1->setText(text);
}

QString TForm1::statusText() const
{
    return m_bsSkinStatusPanel1->text();
}

void TForm1::bsSkinXFormButton1Click()
{
    if (!isStarted()) {
        return;
    }
    if (m_query->isBusy()) {
        return;
    }
    const QStringList items = domainItems();
    const DomainCheck typed = checkDomain(m_cbb1->currentText(), items);
    if (!typed.ok()) {
        setStatusText(QStringLiteral("域名无效：") + typed.messageZh());
        return;
    }
    const auto start = m_query->startSingle(typed.domain, items);
    if (!start.started) {
        return;
    }
    showDomains(start.domainList);
    m_cbb1->setEditText(typed.domain);
}

void TForm1::bsSkinXFormButton2Click()
{
    if (!isStarted()) {
        return;
    }
    if (!m_query->canStore()) {
        MessageBox::error(this, m_query->cannotStoreText());
        return;
    }
    switch (m_batch->start(domainItems(), m_bsSkinSpinEdit1->value())) {
    case BatchScheduler::StartResult::EmptyList:
        setStatusText(QStringLiteral("域名列表为空，请先添加域名。"));
        break;
    case BatchScheduler::StartResult::NoEngines:
        setStatusText(QStringLiteral("所有搜索引擎都已停用，没有可以查询的引擎。"));
        break;
    case BatchScheduler::StartResult::Busy:
    case BatchScheduler::StartResult::Started:
        break;
    }
}

void TForm1::Timer1Timer()
{
    if (m_batch) {
        m_batch->tick(m_bsSkinSpinEdit1->value());
    }
}

void TForm1::connectQuery(const QString& catalogueFile)
{
    Result<EngineCatalogue> catalogue = EngineCatalogue::load(catalogueFile);
    if (!catalogue) {
        // Said once; the figures go on with the rules built into the program.
        reportLater(QStringLiteral("搜索引擎目录文件有误，本次使用内置目录：\n%1").arg(catalogue.error()));
    }
    m_query = std::make_unique<DomainQuery>(
        *m_domainList, *m_resultRows, catalogue ? std::move(catalogue.value()) : EngineCatalogue::builtIn());
    m_batch = std::make_unique<BatchScheduler>(*m_query, *m_Timer1);
    m_lv1->setCatalogue(m_query->catalogue());
    connect(m_query.get(), &DomainQuery::statusChanged, this, &TForm1::setStatusText);
    connect(m_query.get(), &DomainQuery::gaugeChanged, this, [this](int maximum, int position) {
        m_bskng1->setMaximum(maximum);
        m_bskng1->setValue(position);
        m_bskng1->setTextVisible(true);
    });
    connect(m_query.get(), &DomainQuery::historyRefreshRequested, this, [this] {
        if (const auto shown = LoadShoulu(QString()); !shown) {
            reportLater(shown.error());
        }
    });
    connect(m_query.get(), &DomainQuery::errorOccurred, this, &TForm1::reportLater);
}

void TForm1::closeEvent(QCloseEvent* event)
{
    // Rows still waiting for a locked file are not waited for: the window closes now.
    if (isStarted()) {
        if (const QStringList lost = m_query->finishStoring(); !lost.isEmpty()) {
            MessageBox::warning(
                this, QStringLiteral("以下域名的收录数未能保存，已经丢失：\n%1").arg(lost.join(QStringLiteral("\n"))));
        }
    }
    QWidget::closeEvent(event);
}

void TForm1::reportLater(const QString& message)
{
    // Shown once the reply that failed has been fully counted: the box's own event loop
    // goes on delivering replies, which must not find the tally half done.
    QTimer::singleShot(0, this, [this, message] { MessageBox::error(this, message); });
}

void TForm1::bsSkinXFormButton3Click()
{
    if (const auto shown = LoadShoulu(m_cbb1->currentText()); !shown) {
        MessageBox::error(this, shown.error());
    }
}

void TForm1::btn2Click()
{
    if (m_editor != nullptr) {
        m_editor->exec();
    }
}

void TForm1::lv1SelectItem(const QString& domain, bool /*selected*/)
{
    updateChat(domain);
}

void TForm1::bsSkinCheckRadioBox1Click()
{
    m_Chart1->updateChatline();
}

void TForm1::WebBrowser1DocumentComplete()
{
    m_WebBrowser1->applyStyling();
}

} // namespace shoulu
