#include "ui/TForm1.h"

#include "chart/TrendChart.h"
#include "engines/EngineCatalogue.h"
#include "engines/EngineTable.h"
#include "query/AppContext.h"
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
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace shoulu {

namespace {

constexpr int ClientWidth = 802;
constexpr int ClientHeight = 665;
constexpr int CommandStripHeight = 41;
constexpr int GaugeHeight = 20;
constexpr int ChartHeight = 280;
// Below these the list loses its header row and the chart its engine boxes and dates.
constexpr int ListMinimumHeight = 90;
constexpr int ChartMinimumHeight = 200;
constexpr int StatusPanelWidth = 561;

// Per user, beside other programs' settings rather than beside the database file.
const QString SettingsOwner = QStringLiteral("shoulu");
const QString DelayKey = QStringLiteral("window/delay");
const QString SizeKey = QStringLiteral("window/size");
const QString SplitterKey = QStringLiteral("window/splitter");

void centreOnScreen(QWidget* window)
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), window->size());
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
}

QString progressText(const DomainQuery::Progress& progress, const EngineCatalogue& catalogue)
{
    QString text = QStringLiteral("域名 %1/%2 · 读数 %3/%4")
                       .arg(progress.domainsDone)
                       .arg(progress.domains)
                       .arg(progress.replies)
                       .arg(progress.expectedReplies);
    if (!progress.awaited.empty()) {
        // A stalled engine is named: the figures alone do not say what the run waits for.
        QStringList captions;
        for (const int engine : progress.awaited) {
            captions.append(catalogue.engine(engine).caption);
        }
        text += QStringLiteral(" · 等待：") + captions.join(QStringLiteral("、"));
    }
    return text;
}

} // namespace

TForm1::TForm1(AppContext& context, const QByteArray& bannerUrl, QWidget* parent)
    : QWidget(parent)
    , m_context(context)
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
    layout->addWidget(m_commandStrip);

    m_banner = new Banner(this);
    layout->addWidget(m_banner);

    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->setObjectName(QStringLiteral("splitter"));
    m_splitter->setChildrenCollapsible(false);
    m_splitter->setHandleWidth(4);
    layout->addWidget(m_splitter, 1);

    m_historyList = new HistoryList(m_splitter);
    m_historyList->setMinimumHeight(ListMinimumHeight);
    addCsvExport(m_historyList);
    m_splitter->addWidget(m_historyList);

    auto* lower = new QWidget(m_splitter);
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    lowerLayout->setSpacing(0);
    m_gauge = new QProgressBar(lower);
    m_gauge->setObjectName(QStringLiteral("bskng1"));
    m_gauge->setFixedHeight(GaugeHeight);
    m_gauge->setAlignment(Qt::AlignCenter);
    m_gauge->setRange(0, 1);
    m_gauge->setValue(0);
    m_gauge->setFormat(QString());
    lowerLayout->addWidget(m_gauge);
    m_chart = new TrendChart(lower);
    m_chart->setMinimumHeight(ChartMinimumHeight);
    addPictureSave(m_chart);
    lowerLayout->addWidget(m_chart, 1);
    m_splitter->addWidget(lower);
    m_splitter->setStretchFactor(0, 1);
    m_splitter->setStretchFactor(1, 1);
    buildStatusBar();

    connect(m_queryButton, &QPushButton::clicked, this, &TForm1::queryClicked);
    connect(m_domainBox->lineEdit(), &QLineEdit::returnPressed, this, &TForm1::queryClicked);
    connect(m_batchButton, &QPushButton::clicked, this, &TForm1::batchClicked);
    connect(m_stopButton, &QPushButton::clicked, this, &TForm1::stopClicked);
    connect(m_historyButton, &QPushButton::clicked, this, &TForm1::historyClicked);
    connect(m_editListButton, &QPushButton::clicked, this, &TForm1::editListClicked);
    connect(batchTimer(), &QTimer::timeout, this, &TForm1::batchTick);
    connect(m_historyList, &HistoryList::selectItem, this, &TForm1::historySelected);
    for (int i = 0; i < EngineCount; ++i) {
        connect(m_chart->checkBox(i), &QCheckBox::clicked, this, &TForm1::engineBoxClicked);
    }
    connect(m_banner, &Banner::documentComplete, this, &TForm1::bannerLoaded);

    resize(ClientWidth, ClientHeight);
    const int listHeight = ClientHeight - CommandStripHeight - Banner::StripHeight - GaugeHeight - ChartHeight;
    m_splitter->setSizes({ listHeight - m_splitter->handleWidth(), GaugeHeight + ChartHeight });
    restoreSettings();
    centreOnScreen(this);

    if (const auto loaded = loadDomain(); !loaded) {
        MessageBox::error(this, loaded.error());
    }
    m_engineUrls = buildEngineUrls();
    connectQuery();
    m_pageArchive = new PageArchiveActions(m_context, this);
    m_pageArchive->attach(domainQuery(), *m_historyList);
    connect(m_pageArchive, &PageArchiveActions::errorOccurred, this, &TForm1::reportLater);
    connect(m_pageArchive, &PageArchiveActions::historyChanged, this, &TForm1::historyClicked);
    m_historyList->setShowGrid(true);
    // A file with history opens on its latest rows, as "历史记录" with an empty box shows them.
    if (const auto shown = LoadShoulu(QString()); !shown) {
        reportLater(shown.error());
    }
    m_banner->navigate(bannerUrl);
}

TForm1::~TForm1()
{
    // The timer belongs to the core, which outlives this window.
    batchTimer()->disconnect(this);
}

void TForm1::setEditor(TForm2* editor)
{
    m_editor = editor;
    m_editor->setItems(domainItems());
    connect(m_editor, &TForm2::saved, this, [this] {
        // A name the user typed outlives the reload; a chosen item gives way to the new list's last.
        const QString text = m_domainBox->currentText();
        const bool typed = text != m_domainBox->itemText(m_domainBox->currentIndex());
        if (const auto loaded = loadDomain(); !loaded) {
            MessageBox::error(m_editor, loaded.error());
        }
        if (typed) {
            m_domainBox->setEditText(text);
        }
    });
}

void TForm1::buildCommandStrip()
{
    m_commandStrip = new QFrame(this);
    m_commandStrip->setObjectName(QStringLiteral("bspanel1"));
    m_commandStrip->setFixedHeight(CommandStripHeight);
    // Its children stand where they were designed: narrower would cut off the delay box.
    m_commandStrip->setMinimumWidth(ClientWidth);

    const auto place = [](QWidget* w, const char* name, int left, int top, int width, int height) {
        w->setObjectName(QString::fromLatin1(name));
        w->setGeometry(left, top, width, height);
    };
    const auto button = [&](const char* name, const QString& caption, int left, int width) {
        auto* b = new QPushButton(caption, m_commandStrip);
        place(b, name, left, 10, width, 25);
        b->setAutoDefault(false);
        return b;
    };

    m_domainLabel = new QLabel(QStringLiteral("选择/输入域名"), m_commandStrip);
    place(m_domainLabel, "lbl1", 19, 15, 77, 16);

    m_domainBox = new QComboBox(m_commandStrip);
    place(m_domainBox, "cbb1", 104, 11, 273, 21);
    m_domainBox->setEditable(true);
    m_domainBox->setInsertPolicy(QComboBox::NoInsert);
    m_domainBox->setMaxVisibleItems(8);
    m_domainBox->setDuplicatesEnabled(true);

    m_queryButton = button("bsSkinXFormButton1", QStringLiteral("查询"), 384, 73);
    m_batchButton = button("bsSkinXFormButton2", QStringLiteral("批量查询"), 464, 73);
    m_stopButton = button("bsSkinXFormButton4", QStringLiteral("停止"), 464, 73);
    m_stopButton->hide();
    m_historyButton = button("bsSkinXFormButton3", QStringLiteral("历史记录"), 544, 73);
    m_editListButton = button("btn2", QStringLiteral("域名列表"), 624, 81);

    m_delayLabel = new QLabel(QStringLiteral("延时"), m_commandStrip);
    place(m_delayLabel, "bsSkinStdLabel3", 716, 14, 24, 16);

    m_delayBox = new QSpinBox(m_commandStrip);
    place(m_delayBox, "bsSkinSpinEdit1", 744, 10, 35, 21);
    m_delayBox->setRange(1, 60);
    m_delayBox->setSingleStep(1);
    m_delayBox->setValue(2);

    m_secondsLabel = new QLabel(QStringLiteral("秒"), m_commandStrip);
    place(m_secondsLabel, "bsSkinStdLabel2", 782, 14, 12, 16);
}

void TForm1::buildStatusBar()
{
    m_statusBar = new QStatusBar;
    m_statusBar->setObjectName(QStringLiteral("bsSkinStatusBar1"));
    m_statusBar->setSizeGripEnabled(false);

    m_statusPanel = new QLabel(m_statusBar);
    m_statusPanel->setObjectName(QStringLiteral("bsSkinStatusPanel1"));
    // It shows stored names: one that looks like markup must still read as typed.
    m_statusPanel->setTextFormat(Qt::PlainText);
    m_statusPanel->setFixedWidth(StatusPanelWidth);
    m_statusBar->addWidget(m_statusPanel);

    // Both panels together are wider than the window: the second one gets what is left.
    m_hintPanel = new QLabel(QStringLiteral("谷歌、搜狗查询太频繁会被暂时性屏蔽IP。"), m_statusBar);
    m_hintPanel->setObjectName(QStringLiteral("bsSkinStatusPanel2"));
    m_hintPanel->setMinimumWidth(0);
    m_hintPanel->setMaximumWidth(384);
    m_statusBar->addWidget(m_hintPanel, 1);

    m_chart->setBottomBar(m_statusBar);
}

void TForm1::restoreSettings()
{
    const QSettings settings(SettingsOwner, SettingsOwner);
    m_delayBox->setValue(settings.value(DelayKey, m_delayBox->value()).toInt());
    const QSize size = settings.value(SizeKey).toSize();
    if (size.isValid()) {
        resize(size.expandedTo(minimumSizeHint()));
    }
    m_splitter->restoreState(settings.value(SplitterKey).toByteArray());
}

void TForm1::saveSettings() const
{
    QSettings settings(SettingsOwner, SettingsOwner);
    settings.setValue(DelayKey, m_delayBox->value());
    settings.setValue(SizeKey, size());
    settings.setValue(SplitterKey, m_splitter->saveState());
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (batchTimer()->isActive() && !MessageBox::confirm(this, QStringLiteral("批量查询还没有完成，确定要退出吗？"))) {
        event->ignore();
        return;
    }
    saveSettings();
    // Rows still waiting for a locked file are not waited for: the window closes now.
    if (const QStringList lost = domainQuery().finishStoring(); !lost.isEmpty()) {
        MessageBox::warning(
            this, QStringLiteral("以下域名的收录数未能保存，已经丢失：\n%1").arg(lost.join(QStringLiteral("\n"))));
    }
    QWidget::closeEvent(event);
}

void TForm1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    setStatusText(m_statusText);
}

QTimer* TForm1::batchTimer() const
{
    return &m_context.batchTimer();
}

DomainList& TForm1::domainList()
{
    return m_context.domains();
}

ResultRows& TForm1::resultRows()
{
    return m_context.rows();
}

DomainQuery& TForm1::domainQuery()
{
    return m_context.query();
}

Result<void> TForm1::loadDomain()
{
    auto stored = domainList().loadDomain();
    if (!stored) {
        return stored.failure();
    }
    showDomains(*stored);
    return {};
}

void TForm1::showDomains(const QStringList& stored)
{
    if (m_editor != nullptr) {
        m_editor->setItems(stored);
    }
    // Clearing the items of an editable box also clears its text, which must survive an empty list.
    const QString text = m_domainBox->currentText();
    m_domainBox->clear();
    if (stored.isEmpty()) {
        m_domainBox->setEditText(text);
        return;
    }
    m_domainBox->addItems(stored);
    m_domainBox->setCurrentIndex(m_domainBox->count() - 1);
}

QStringList TForm1::domainItems() const
{
    QStringList items;
    items.reserve(m_domainBox->count());
    for (int i = 0; i < m_domainBox->count(); ++i) {
        items << m_domainBox->itemText(i);
    }
    return items;
}

Result<void> TForm1::LoadShoulu(const QString& domain)
{
    if (!m_historyList->clearRows()) {
        MessageBox::warning(this, QStringLiteral("清空出错"));
    }
    auto rows = domain.isEmpty() ? resultRows().latestRows() : resultRows().dailyRows(domain);
    if (!rows) {
        return rows.failure();
    }
    if (rows->empty()) {
        return {};
    }
    m_chart->clearLines();
    m_historyList->appendRows(*rows);
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
    const auto rows = resultRows().chartWindow(domain);
    if (!rows) {
        return; // the chart stays as it is; a drawing never reports
    }
    m_chart->draw(domain, *rows);
}

void TForm1::setStatusText(const QString& text)
{
    m_statusText = text;
    const QString shown
        = m_statusPanel->fontMetrics().elidedText(text, Qt::ElideMiddle, m_statusPanel->contentsRect().width());
    m_statusPanel->setText(shown);
    m_statusPanel->setToolTip(shown == text ? QString() : text);
}

QString TForm1::statusText() const
{
    return m_statusText;
}

void TForm1::showBusy(bool busy)
{
    m_queryButton->setEnabled(!busy);
    m_batchButton->setEnabled(!busy);
}

void TForm1::queryClicked()
{
    if (domainQuery().isBusy()) {
        return;
    }
    const QString text = m_domainBox->currentText();
    if (trimControlAndBlank(text).isEmpty()) {
        setStatusText(QStringLiteral("请输入域名。"));
        return;
    }
    const QStringList items = domainItems();
    const DomainCheck typed = checkDomain(text, items);
    if (!typed.ok()) {
        setStatusText(QStringLiteral("域名无效：") + typed.messageZh());
        return;
    }
    const auto start = domainQuery().startSingle(typed.domain, items);
    if (!start.started) {
        return;
    }
    showBusy(true);
    showDomains(start.domainList);
    m_domainBox->setEditText(typed.domain);
}

void TForm1::batchClicked()
{
    if (!domainQuery().canStore()) {
        MessageBox::error(this, domainQuery().cannotStoreText());
        return;
    }
    switch (m_context.batch().start(domainItems(), m_delayBox->value())) {
    case BatchScheduler::StartResult::EmptyList:
        setStatusText(QStringLiteral("域名列表为空，请先添加域名。"));
        break;
    case BatchScheduler::StartResult::NoEngines:
        setStatusText(QStringLiteral("所有搜索引擎都已停用，没有可以查询的引擎。"));
        break;
    case BatchScheduler::StartResult::Started:
        showBusy(true);
        showBatchRunning(true);
        break;
    case BatchScheduler::StartResult::Busy:
        break;
    }
}

void TForm1::batchTick()
{
    m_context.batch().tick(m_delayBox->value());
    updateProgress(); // a domain started: its engines are awaited now
}

void TForm1::stopClicked()
{
    if (!m_context.batch().isRunning()) {
        return;
    }
    m_stopButton->setEnabled(false);
    // Said first: when nothing is in flight the run ends inside stop() with its summary.
    setStatusText(QStringLiteral("正在停止批量查询：不再开始新的域名，等待已发出的查询返回……"));
    m_context.batch().stop();
}

void TForm1::showBatchRunning(bool running)
{
    m_batchButton->setVisible(!running);
    m_stopButton->setVisible(running);
    m_stopButton->setEnabled(running);
}

void TForm1::updateProgress()
{
    const DomainQuery::Progress progress = domainQuery().progress();
    m_gauge->setMaximum(std::max(progress.expectedReplies, 1));
    m_gauge->setValue(progress.replies);
    m_gauge->setFormat(progressText(progress, domainQuery().catalogue()));
}

void TForm1::connectQuery()
{
    if (!m_context.catalogueFault().isEmpty()) {
        // Said once; the figures go on with the rules built into the program.
        reportLater(QStringLiteral("搜索引擎目录文件有误，本次使用内置目录：\n%1").arg(m_context.catalogueFault()));
    }
    m_historyList->setCatalogue(domainQuery().catalogue());
    DomainQuery* query = &domainQuery();
    connect(query, &DomainQuery::statusChanged, this, &TForm1::setStatusText);
    // The figures as text: a band alone does not say how far a batch has come.
    connect(query, &DomainQuery::gaugeChanged, this, &TForm1::updateProgress);
    connect(query, &DomainQuery::runFinished, this, [this] {
        showBusy(false);
        if (!m_stopButton->isHidden()) {
            showBatchRunning(false);
            // The summary outgrows the status panel: in full where it fits, once the tally is done.
            const QString summary = m_statusText;
            QTimer::singleShot(0, this, [this, summary] { MessageBox::plain(this, summary); });
        }
    });
    connect(query, &DomainQuery::historyRefreshRequested, this, [this] {
        if (const auto shown = LoadShoulu(QString()); !shown) {
            reportLater(shown.error());
        }
    });
    connect(query, &DomainQuery::errorOccurred, this, &TForm1::reportLater);
}

void TForm1::reportLater(const QString& message)
{
    // Shown once the reply that failed has been fully counted: the box's own event loop
    // goes on delivering replies, which must not find the tally half done.
    QTimer::singleShot(0, this, [this, message] { MessageBox::error(this, message); });
}

void TForm1::historyClicked()
{
    if (const auto shown = LoadShoulu(m_domainBox->currentText()); !shown) {
        MessageBox::error(this, shown.error());
    }
}

void TForm1::editListClicked()
{
    if (m_editor != nullptr) {
        m_editor->exec();
    }
}

void TForm1::historySelected(const QString& domain, bool /*selected*/)
{
    updateChat(domain);
}

void TForm1::engineBoxClicked()
{
    m_chart->updateChatline();
}

void TForm1::bannerLoaded()
{
    m_banner->applyStyling();
}

} // namespace shoulu
