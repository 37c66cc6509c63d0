#include "support/CliRunner.h"
#include "support/ProxyVariable.h"
#include "support/TempDatabase.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace shoulu::test {
namespace {

class StateFileTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_temp.ok()) << m_temp.error().toStdString(); }

    CliRun cli(const QStringList& args) { return runCli(QStringList { QStringLiteral("--db"), m_temp.path() } + args); }

    QString fifo(const QString& name)
    {
        const QString path = m_temp.filePath(name);
        EXPECT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0) << path.toStdString();
        return path;
    }

    QStringList folder() const
    {
        return QDir(m_temp.dirPath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    }

    TempDatabase m_temp;
    // Should a check be passed over, no query leaves this machine: nothing listens there.
    ProxyVariable m_noWhere { "http://127.0.0.1:9" };
};

TEST_F(StateFileTest, ACatalogueFileTheUserNamedMustBeThere)
{
    const QString missing = m_temp.filePath(QStringLiteral("nonexist.json"));
    const QStringList cases[] = {
        { QStringLiteral("engines"), QStringLiteral("check"), missing },
        { QStringLiteral("--engines"), missing, QStringLiteral("engines") },
        { QStringLiteral("--engines"), missing, QStringLiteral("extract"), QStringLiteral("bing") },
        { QStringLiteral("--engines"), missing, QStringLiteral("query"), QStringLiteral("x.cn") },
        { QStringLiteral("--engines"), missing, QStringLiteral("reread") },
    };
    for (const QStringList& args : cases) {
        const CliRun run = cli(args);
        EXPECT_EQ(run.exitCode, 1) << args.join(QLatin1Char(' ')).toStdString() << ": " << run.out.toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("cannot read %1").arg(missing))) << run.err.toStdString();
        EXPECT_FALSE(run.out.contains(QLatin1String("ok,"))) << run.out.toStdString();
    }
    // engines.json beside the database is looked for only.
    const CliRun listed = cli({ QStringLiteral("engines") });
    EXPECT_EQ(listed.exitCode, 0) << listed.err.toStdString();
    EXPECT_EQ(folder(), QStringList { QStringLiteral("setting.dat") });
}

// A FIFO would hang whoever opens it; beside a device SQLite would make its side files.
TEST_F(StateFileTest, FilesThatKeepStateAreRegularOrRefused)
{
    const QString device = m_temp.filePath(QStringLiteral("device.dat"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), device));
    const QString pipe = fifo(QStringLiteral("pipe.dat"));
    const struct
    {
        QStringList args;
        const char* said;
    } cases[] = {
        { { QStringLiteral("--pages"), device, QStringLiteral("pages"), QStringLiteral("x.cn") },
            "is a character device" },
        { { QStringLiteral("--pages"), pipe, QStringLiteral("pages"), QStringLiteral("x.cn") }, "is a named pipe" },
        { { QStringLiteral("--pages"), device, QStringLiteral("reread") }, "is a character device" },
        { { QStringLiteral("--engines"), pipe, QStringLiteral("engines") }, "is a named pipe" },
        { { QStringLiteral("engines"), QStringLiteral("check"), device }, "is a character device" },
        { { QStringLiteral("--engines"), pipe, QStringLiteral("engines"), QStringLiteral("enable"),
              QStringLiteral("360") },
            "is a named pipe" },
        { { QStringLiteral("--db"), pipe, QStringLiteral("history") }, "is a named pipe" },
        { { QStringLiteral("--db"), QStringLiteral("/dev/null"), QStringLiteral("batch") }, "is a character device" },
    };
    for (const auto& c : cases) {
        const CliRun run = cli(c.args);
        EXPECT_EQ(run.exitCode, 1) << c.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.err.contains(QLatin1String(c.said))) << run.err.toStdString();
    }
    // The one beside the database, which may be absent, is refused all the same when it is a FIFO.
    fifo(QStringLiteral("engines.json"));
    for (const QStringList& args :
        { QStringList { QStringLiteral("engines") }, QStringList { QStringLiteral("query"), QStringLiteral("x.cn") },
            QStringList { QStringLiteral("batch") } }) {
        const CliRun run = cli(args);
        EXPECT_EQ(run.exitCode, 1) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.err.contains(QLatin1String("is a named pipe"))) << run.err.toStdString();
    }
    QStringList expected { QStringLiteral("device.dat"), QStringLiteral("engines.json"), QStringLiteral("pipe.dat"),
        QStringLiteral("setting.dat") };
    EXPECT_EQ(folder(), expected);
    QFileInfo fifoStill(pipe);
    EXPECT_FALSE(fifoStill.isFile()) << "the FIFO was replaced";
}

} // namespace
} // namespace shoulu::test
