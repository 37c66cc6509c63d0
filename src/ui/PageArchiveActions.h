#pragma once

#include <QObject>
#include <QString>

class QWidget;

namespace shoulu {

class AppContext;
class ArchiveWriter;
class Database;
class DomainQuery;
class HistoryList;

// The window's side of the core's page archive: it is pruned after each run, a history cell's
// page is shown on request, and a domain's pages are read again.
//   PageArchiveActions actions(context, window); actions.attach(context.query(), list);
class PageArchiveActions : public QObject
{
    Q_OBJECT

public:
    PageArchiveActions(AppContext& context, QWidget* window);

    void attach(DomainQuery& query, HistoryList& list);
    // "查看网页": the archived page in the system browser, or as text when none opens.
    void showPage(const QString& domain, const QString& engine, qint64 fetchedAt);
    // "重新识别": the domain's archived pages read again with the current catalogue.
    void reread(const QString& domain);

Q_SIGNALS:
    void errorOccurred(const QString& message);
    // Readings changed: the history list should show them.
    void historyChanged();

private:
    Database& m_settings;
    QWidget* m_window;
    QString m_catalogueFile;
    ArchiveWriter& m_writer;
};

} // namespace shoulu
