#pragma once

#include "ui/Banner.h"
#include "util/Result.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QWidget>

class QComboBox;
class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QSplitter;
class QStatusBar;
class QTimer;

namespace shoulu {

class AppContext;
class DomainList;
class DomainQuery;
class HistoryList;
class PageArchiveActions;
class ResultRows;
class TForm2;
class TrendChart;

// The main window: command strip, banner, history list, gauge, trend chart and status bar,
// on a core composed elsewhere. The delay, the window's size and the split between list and
// chart are remembered from one showing to the next.
//     TForm1 form(context); form.show();
class TForm1 : public QWidget
{
    Q_OBJECT

public:
    // The banner address is for tests; the program uses the default.
    explicit TForm1(
        AppContext& context, const QByteArray& bannerUrl = QByteArray(Banner::PageUrl), QWidget* parent = nullptr);
    ~TForm1() override;

    // The domain list editor that "域名列表" opens; its saves reload the domain box.
    void setEditor(TForm2* editor);

    // Items := the stored domains; text := the last of them (kept when there are none).
    Result<void> loadDomain();
    // Refills the history list: the latest-rows view for an empty domain, else the daily view
    // of the text as given. A store error leaves the list empty and the chart as it was.
    Result<void> LoadShoulu(const QString& domain);
    // Draws the chart window of the domain; an empty domain changes nothing, errors are silent.
    void updateChat(const QString& domain);
    // The whole text; the panel shows it cut short in the middle when it is wider.
    void setStatusText(const QString& text);
    QString statusText() const;

    QComboBox* domainBox() const { return m_domainBox; }
    QSpinBox* delayBox() const { return m_delayBox; }
    QProgressBar* gauge() const { return m_gauge; }
    HistoryList* historyList() const { return m_historyList; }
    TrendChart* trendChart() const { return m_chart; }
    Banner* banner() const { return m_banner; }
    QTimer* batchTimer() const;
    QSplitter* splitter() const { return m_splitter; }
    // The seven engines' URL prefixes, in engine order.
    const QStringList& EngineUrls() const { return m_engineUrls; }
    DomainList& domainList();
    ResultRows& resultRows();
    // The query core behind "查询" and "批量查询".
    DomainQuery& domainQuery();
    // The domain box's items, in order.
    QStringList domainItems() const;

public Q_SLOTS:
    void queryClicked();
    void batchClicked();
    void historyClicked();
    void editListClicked();
    void batchTick();
    // "停止", in the place of "批量查询" while a batch runs.
    void stopClicked();
    void historySelected(const QString& domain, bool selected);
    void engineBoxClicked();
    void bannerLoaded();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildCommandStrip();
    void buildStatusBar();
    void connectQuery();
    void showDomains(const QStringList& stored);
    void showBusy(bool busy);
    void showBatchRunning(bool running);
    void updateProgress();
    void restoreSettings();
    void saveSettings() const;
    void reportLater(const QString& message);

    AppContext& m_context;
    PageArchiveActions* m_pageArchive = nullptr; // a child
    QStringList m_engineUrls;
    TForm2* m_editor = nullptr;
    QString m_statusText;

    QFrame* m_commandStrip = nullptr;
    QLabel* m_domainLabel = nullptr;
    QComboBox* m_domainBox = nullptr;
    QPushButton* m_queryButton = nullptr;
    QPushButton* m_batchButton = nullptr;
    QPushButton* m_stopButton = nullptr;
    QPushButton* m_historyButton = nullptr;
    QPushButton* m_editListButton = nullptr;
    QLabel* m_delayLabel = nullptr;
    QSpinBox* m_delayBox = nullptr;
    QLabel* m_secondsLabel = nullptr;
    Banner* m_banner = nullptr;
    QSplitter* m_splitter = nullptr;
    HistoryList* m_historyList = nullptr;
    QProgressBar* m_gauge = nullptr;
    TrendChart* m_chart = nullptr;
    QStatusBar* m_statusBar = nullptr;
    QLabel* m_statusPanel = nullptr;
    QLabel* m_hintPanel = nullptr;
};

} // namespace shoulu
