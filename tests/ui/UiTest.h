#pragma once

// Shared by the ui test programs: one QApplication per program, message boxes that never
// block, and a main window on a prepared database that a second connection can change
// behind the window's back.

#include "query/AppContext.h"
#include "store/Database.h"
#include "store/DomainList.h"
#include "store/ResultRows.h"
#include "store/SettingsDatabase.h"
#include "support/TempDatabase.h"
#include "ui/MessageBox.h"
#include "ui/Project1.h"
#include "ui/TForm1.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace shoulu::test {

class QApplicationEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "ui-test";
        static char* argv[] = { name, nullptr };
        m_app = std::make_unique<QApplication>(argc, argv);
        // Remembered window settings go to a test folder, never the user's.
        QStandardPaths::setTestModeEnabled(true);
        // A box nobody expected must fail a check, not hang the run.
        MessageBox::setAutoAnswer(QMessageBox::Ok);
    }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<QApplication> m_app;
};

inline ::testing::Environment* const g_applicationEnvironment
    = ::testing::AddGlobalTestEnvironment(new QApplicationEnvironment);

// Runs the event loop until the condition holds; false when it never did.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QTest::qWait(10);
    }
    return true;
}

inline EngineCounts countsFrom(Count first)
{
    EngineCounts counts {};
    for (int i = 0; i < EngineCount; ++i) {
        counts[i] = first + i;
    }
    return counts;
}

// Fields in the order Reading declares them.
inline Reading reading(ReadingStatus status, Count count = 0, const QString& rule = {}, int httpStatus = 0,
    const QString& finalHost = {}, const QString& error = {})
{
    Reading r;
    r.status = status;
    r.count = count;
    r.rule = rule;
    r.httpStatus = httpStatus;
    r.finalHost = finalHost;
    r.error = error;
    return r;
}

inline QDateTime at(int year, int month, int day, int hour = 9, int minute = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute));
}

// A prepared database and a connection of its own (as another program would hold).
class UiTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_temp.ok()) << m_temp.error().toStdString();
        auto db = m_temp.open();
        ASSERT_TRUE(db.ok()) << db.error().toStdString();
        m_other = std::move(*db);
        m_otherList = std::make_unique<DomainList>(m_other->database());
        m_otherRows = std::make_unique<ResultRows>(m_other->database());
        MessageBox::clearLastText();
        // The window's remembered size and delay go to this test's folder: tests run side by
        // side, and none may see (or clear) another's, nor the user's own.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QFileInfo(m_temp.path()).absolutePath());
        QSettings(QStringLiteral("shoulu"), QStringLiteral("shoulu")).clear();
    }

    void listDomains(const QStringList& domains)
    {
        for (const QString& domain : domains) {
            const auto added = m_otherList->addDomain(domain);
            ASSERT_TRUE(added.ok()) << added.error().toStdString();
        }
    }

    void addRow(const QString& domain, const QDateTime& time, const EngineCounts& counts,
        const QList<EngineReading>& readings = {})
    {
        const auto added = m_otherRows->addshoulu(domain, time, counts, readings);
        ASSERT_TRUE(added.ok()) << added.error().toStdString();
    }

    void execOther(const char* sql)
    {
        const auto done = m_other->database().exec(sql);
        ASSERT_TRUE(done.ok()) << done.error().toStdString();
    }

    QStringList storedDomains()
    {
        auto stored = m_otherList->loadDomain();
        EXPECT_TRUE(stored.ok()) << stored.error().toStdString();
        return stored.ok() ? *stored : QStringList {};
    }

    // The banner address is empty so that it falls back to its built-in page at once.
    // Each window on a core of its own, opened as the program opens it; kept for the test's life.
    std::unique_ptr<TForm1> openForm()
    {
        auto context = openAppContext(m_temp.path());
        EXPECT_NE(context, nullptr) << MessageBox::lastText().toStdString();
        m_contexts.push_back(std::move(context));
        return std::make_unique<TForm1>(*m_contexts.back(), QByteArray());
    }

    TempDatabase m_temp;
    std::unique_ptr<SettingsDatabase> m_other;
    std::unique_ptr<DomainList> m_otherList;
    std::unique_ptr<ResultRows> m_otherRows;
    std::vector<std::unique_ptr<AppContext>> m_contexts;
};

template <typename T> T* child(QObject* parent, const char* name)
{
    return parent->findChild<T*>(QString::fromLatin1(name));
}

} // namespace shoulu::test
