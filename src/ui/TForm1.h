#pragma once

#include "store/SettingsDatabase.h"
#include "ui/Banner.h"
#include "util/Result.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>

class QComboBox;
class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QStatusBar;
class QTimer;

namespace shoulu {

class BatchScheduler;
class DomainList;
class DomainQuery;
class HistoryList;
class PageArchiveActions;
class ResultRows;
class TForm2;
class TrendChart;

// The main window: command strip, banner, history list, gauge, trend chart and status bar.
// Construction runs the start-up; check isStarted() before showing it.
class TForm1 : public QWidget
{
    Q_OBJECT

public:
    // The database path and banner address are for tests; the program uses the defaults.
    explicit TForm1(const QString& databasePath = QString::fromLatin1(SettingsDatabase::DefaultFileName),
        const QByteArray& bannerUrl = QByteArray(Banner::PageUrl), QWidget* parent = nullptr);
    ~TForm1() override;

    // False when the database could not be opened: the user has been told, the program ends.
    bool isStarted() const { return m_settings != nullptr; }
    // The domain list editor that "域名列表" opens.
    void setEditor(TForm2* editor) { m_editor = editor; }

    // Items := the stored domains; text := the last of them (kept when there are none).
    Result<void> loadDomain();
    // Refills the history list: the latest-rows view for an empty domain, else the daily view
    // of the text as given. A store error leaves the list empty and the chart as it was.
    Result<void> LoadShoulu(const QString& domain);
    // Draws the chart window of the domain; an empty domain changes nothing, errors are silent.
    void updateChat(const QString& domain);
    void setStatusText(const QString& text);
    QString statusText() const;

    QComboBox* domainBox() const { return m_cbb1; }
    QSpinBox* delayBox() const { return m_bsSkinSpinEdit1; }
    QProgressBar* gauge() const { return m_bskng1; }
    HistoryList* historyList() const { return m_lv1; }
    TrendChart* trendChart() const { return m_Chart1; }
    Banner* banner() const { return m_WebBrowser1; }
    QTimer* batchTimer() const { return m_Timer1; }
    // The seven engines' URL prefixes, in engine order.
    const QStringList& EngineUrls() const { return m_engineUrls; }
    // The open store; only valid when isStarted().
    DomainList& domainList() { return *m_domainList; }
    ResultRows& resultRows() { return *m_resultRows; }
    // The query core behind "查询" and "批量查询"; only valid when isStarted().
    DomainQuery& domainQuery() { return *m_query; }
    // The domain box's items, in order.
    QStringList domainItems() const;

public Q_SLOTS:
    void bsSkinXFormButton1Click();
    void bsSkinXFormButton2Click();
    void bsSkinXFormButton3Click();
    void btn2Click();
    void Timer1Timer();
    void lv1SelectItem(const QString& domain, bool selected);
    void bsSkinCheckRadioBox1Click();
    void WebBrowser1DocumentComplete();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool FormCreate(const QString& databasePath, const QByteArray& bannerUrl);
    void buildCommandStrip();
    void buildStatusBar();
    void connectQuery(const QString& catalogueFile);
    void showDomains(const QStringList& stored);
    void reportLater(const QString& message);

    std::unique_ptr<SettingsDatabase> m_settings;
    std::unique_ptr<DomainList> m_domainList;
    std::unique_ptr<ResultRows> m_resultRows;
    PageArchiveActions* m_pageArchive = nullptr; // a child: outlives the query, which hands it pages
    std::unique_ptr<DomainQuery> m_query;
    std::unique_ptr<BatchScheduler> m_batch;
    QStringList m_engineUrls;
    TForm2* m_editor = nullptr;

    QFrame* m_bspanel1 = nullptr;
    QLabel* m_lbl1 = nullptr;
    QComboBox* m_cbb1 = nullptr;
    QPushButton* m_bsSkinXFormButton1 = nullptr;
    QPushButton* m_bsSkinXFormButton2 = nullptr;
    QPushButton* m_bsSkinXFormButton3 = nullptr;
    QPushButton* m_btn2 = nullptr;
    QLabel* m_bsSkinStdLabel3 = nullptr;
    QSpinBox* m_bsSkinSpinEdit1 = nullptr;
    QLabel* m_bsSkinStdLabel2 = nullptr;
    Banner* m_WebBrowser1 = nullptr;
    HistoryList* m_lv1 = nullptr;
    QProgressBar* m_bskng1 = nullptr;
    TrendChart* m_Chart1 = nullptr;
    QStatusBar* m_bsSkinStatusBar1 = nullptr;
    QLabel* m_bsSkinStatusPanel1 = nullptr;
    QLabel* m_bsSkinStatusPanel2 = nullptr;
    QTimer* m_Timer1 = nullptr;
};

} // namespace shoulu
