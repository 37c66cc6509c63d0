#include "support/CliRunner.h"
#include "support/TempDatabase.h"

#include <gtest/gtest.h>

#include <ostream>

namespace shoulu::test {
namespace {

// One invocation: the arguments after --db, the exit status, and what stderr must say.
struct Invocation
{
    const char* name;
    QStringList args;
    int exitCode;
    QString says;
};

void PrintTo(const Invocation& c, std::ostream* os)
{
    *os << c.name;
}

class UsageMessageTest : public ::testing::TestWithParam<Invocation>
{
protected:
    void SetUp() override { ASSERT_TRUE(m_temp.ok()) << m_temp.error().toStdString(); }
    TempDatabase m_temp;
};

// The message names what is wrong, and no control character of an argument reaches the
// terminal raw: each is shown as \uXXXX.
TEST_P(UsageMessageTest, SaysWhatIsWrongAndEscapesTheArguments)
{
    const Invocation& c = GetParam();
    QStringList args = c.args;
    args.replaceInStrings(QStringLiteral("DIR"), m_temp.dirPath());
    const CliRun run = runCli(QStringList { QStringLiteral("--db"), m_temp.path() } + args);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(c.says)) << run.err.toStdString();
    for (const QString& text : { run.out, run.err }) {
        EXPECT_FALSE(text.contains(QLatin1Char('\x1b'))) << text.toStdString();
        EXPECT_FALSE(text.contains(QLatin1Char('\x07'))) << text.toStdString();
    }
}

const QString Esc = QStringLiteral("a\x1b]0;x\x07z");
const QString Shown = QStringLiteral("a\\u001b]0;x\\u0007z");

INSTANTIATE_TEST_SUITE_P(Invocations, UsageMessageTest,
    ::testing::Values(Invocation { "EnginesCheckWithoutFile", { QStringLiteral("engines"), QStringLiteral("check") }, 2,
                          QStringLiteral("check needs a FILE") },
        Invocation { "EnginesDisableWithoutKey", { QStringLiteral("engines"), QStringLiteral("disable") }, 2,
            QStringLiteral("disable needs an engine KEY") },
        Invocation { "EnginesUnknownAction", { QStringLiteral("engines"), Esc }, 2,
            QStringLiteral("unknown action '%1'").arg(Shown) },
        Invocation { "PagesWithoutArguments", { QStringLiteral("pages") }, 2, QStringLiteral("a domain is needed") },
        Invocation { "PagesShowWithoutId", { QStringLiteral("pages"), QStringLiteral("show") }, 2,
            QStringLiteral("show needs a page ID") },
        Invocation { "PagesUnknownEngine",
            { QStringLiteral("pages"), QStringLiteral("a.example"), QStringLiteral("--engine"), Esc }, 2,
            QStringLiteral("unknown engine '%1'").arg(Shown) },
        Invocation { "PagesPruneSwitchWithoutPrune",
            { QStringLiteral("pages"), QStringLiteral("a.example"), QStringLiteral("--yes") }, 2,
            QStringLiteral("go with 'prune'") },
        Invocation { "InitInMissingFolder", { QStringLiteral("init"), QStringLiteral("DIR/nonexist/s.dat") }, 1,
            QStringLiteral("nonexist' does not exist") },
        Invocation { "ChartAsJpeg",
            { QStringLiteral("chart"), QStringLiteral("a.example"), QStringLiteral("-o"), QStringLiteral("c.jpg") }, 2,
            QStringLiteral("c.jpg") },
        Invocation { "ChartFileName",
            { QStringLiteral("chart"), QStringLiteral("a.example"), QStringLiteral("-o"),
                Esc + QStringLiteral(".gif") },
            2, Shown },
        Invocation { "ChartEngines",
            { QStringLiteral("chart"), QStringLiteral("a.example"), QStringLiteral("-o"), QStringLiteral("c.png"),
                QStringLiteral("--engines"), Esc },
            2, Shown },
        Invocation { "ExtractEngine", { QStringLiteral("extract"), Esc }, 2, Shown },
        Invocation { "HistoryFormat", { QStringLiteral("history"), QStringLiteral("--format"), Esc }, 2, Shown },
        Invocation { "UnknownOption", { QStringLiteral("history"), QStringLiteral("--") + Esc }, 2, Shown },
        Invocation { "DatabasePath",
            { QStringLiteral("history"), QStringLiteral("--db"), QStringLiteral("DIR/") + Esc }, 1, Shown }),
    [](const ::testing::TestParamInfo<Invocation>& info) { return std::string(info.param.name); });

} // namespace
} // namespace shoulu::test
