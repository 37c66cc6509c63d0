#include "support/CliRunner.h"
#include "support/TempDatabase.h"

#include <gtest/gtest.h>

namespace shoulu::test {
namespace {

// Arguments after --db, split at blanks; DIR is a scratch folder, ESC a text with controls.
struct Invocation
{
    const char* args;
    int exitCode;
    const char* says; // ESC here stands for the controls as shown: \u001b and \u0007
};

void PrintTo(const Invocation& c, std::ostream* os)
{
    *os << c.args;
}

class UsageMessageTest : public ::testing::TestWithParam<Invocation>
{
};

// The message names what is wrong, and no control character of an argument reaches the
// terminal raw.
TEST_P(UsageMessageTest, SaysWhatIsWrongAndEscapesTheArguments)
{
    TempDatabase temp;
    ASSERT_TRUE(temp.ok()) << temp.error().toStdString();
    QStringList args = QString::fromUtf8(GetParam().args).split(QLatin1Char(' '));
    args.replaceInStrings(QStringLiteral("DIR"), temp.dirPath());
    args.replaceInStrings(QStringLiteral("ESC"), QStringLiteral("a\x1b]0;x\x07z"));
    const CliRun run = runCli(QStringList { QStringLiteral("--db"), temp.path() } + args);
    EXPECT_EQ(run.exitCode, GetParam().exitCode) << run.err.toStdString();
    const QString says
        = QString::fromUtf8(GetParam().says).replace(QStringLiteral("ESC"), QStringLiteral("a\\u001b]0;x\\u0007z"));
    EXPECT_TRUE(run.err.contains(says)) << run.err.toStdString();
    for (const QString& text : { run.out, run.err }) {
        EXPECT_FALSE(text.contains(QLatin1Char('\x1b')) || text.contains(QLatin1Char('\x07'))) << text.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Invocations, UsageMessageTest,
    ::testing::Values(Invocation { "engines check", 2, "check needs a FILE" },
        Invocation { "engines disable", 2, "disable needs an engine KEY" },
        Invocation { "engines ESC", 2, "unknown action 'ESC'" }, Invocation { "pages", 2, "a domain is needed" },
        Invocation { "pages show", 2, "show needs a page ID" },
        Invocation { "pages a.example --engine ESC", 2, "unknown engine 'ESC'" },
        Invocation { "pages a.example --yes", 2, "go with 'prune'" },
        Invocation { "init DIR/nonexist/s.dat", 1, "nonexist' does not exist" },
        Invocation { "chart a.example -o c.jpg", 2, ".png or .svg file, not 'c.jpg'" },
        Invocation { "chart a.example -o ESC.gif", 2, "'ESC.gif'" },
        Invocation { "chart a.example -o c.png --engines ESC", 2, "'ESC'" }, Invocation { "extract ESC", 2, "'ESC'" },
        Invocation { "history --format ESC", 2, "'ESC'" }, Invocation { "history --ESC", 2, "'--ESC'" },
        Invocation { "history --db DIR/ESC", 1, "ESC" }));

} // namespace
} // namespace shoulu::test
