#include "support/CliRunner.h"
#include "support/TempDatabase.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace shoulu {
namespace {

using test::runCli;

// A command line, what it exits with, and a text its stdout (or, on failure, stderr) holds.
struct Line
{
    const char* name;
    QStringList args;
    int exitCode;
    const char* says;
};

class CommandLineTest : public ::testing::TestWithParam<Line>
{
protected:
    void SetUp() override { ASSERT_TRUE(m_temp.ok()) << m_temp.error().toStdString(); }
    test::TempDatabase m_temp;
};

TEST_P(CommandLineTest, ReadsOptionsAlikeForEveryCommand)
{
    QStringList args;
    for (const QString& arg : GetParam().args) {
        args.append(QString(arg).replace(QLatin1String("DB"), m_temp.path()));
    }
    const test::CliRun run = runCli(args, "a.com\n");
    EXPECT_EQ(run.exitCode, GetParam().exitCode) << run.err.toStdString();
    const QString& text = run.exitCode == 0 ? run.out : run.err;
    EXPECT_TRUE(text.contains(QString::fromUtf8(GetParam().says))) << text.toStdString();
}

const QString Db = QStringLiteral("--db");

INSTANTIATE_TEST_SUITE_P(Lines, CommandLineTest,
    ::testing::Values(Line { "HelpAlone", { QStringLiteral("help") }, 0, "Commands:" },
        Line { "HelpOfACommand", { QStringLiteral("help"), QStringLiteral("history") }, 0, "--format FORMAT" },
        Line { "HelpAfterACommand", { QStringLiteral("query"), QStringLiteral("--help") }, 0, "query DOMAIN" },
        Line { "ShortHelpAfterACommand", { QStringLiteral("batch"), QStringLiteral("-h") }, 0, "--delay SECONDS" },
        Line {
            "HelpOfAnUnknownCommand", { QStringLiteral("help"), QStringLiteral("fly") }, 2, "unknown command 'fly'" },
        Line { "Version", { QStringLiteral("--version") }, 0, "shoulu-cli 1." },
        Line { "GlobalOptionAfterTheCommand",
            { QStringLiteral("domains"), QStringLiteral("add"), QStringLiteral("b.com"), Db, QStringLiteral("DB") }, 0,
            "" },
        Line { "GlobalOptionWithEqualsAfterTheCommand", { QStringLiteral("history"), QStringLiteral("--db=DB") }, 0,
            "百度" },
        Line { "UnknownLongOptionIsAnOption",
            { Db, QStringLiteral("DB"), QStringLiteral("history"), QStringLiteral("--verbose") }, 2,
            "unknown option '--verbose'" },
        Line { "UnknownShortOptionIsAnOption",
            { Db, QStringLiteral("DB"), QStringLiteral("query"), QStringLiteral("-x") }, 2, "unknown option '-x'" },
        Line { "UnknownOptionBeforeTheCommand", { QStringLiteral("-x"), QStringLiteral("init") }, 2,
            "unknown option '-x'" },
        Line { "DoubleDashEndsOptions",
            { Db, QStringLiteral("DB"), QStringLiteral("domains"), QStringLiteral("add"), QStringLiteral("--"),
                QStringLiteral("-x.com") },
            1, "'-x.com' is not a domain" },
        Line { "SwitchGivenAValue",
            { Db, QStringLiteral("DB"), QStringLiteral("history"), QStringLiteral("--status=yes") }, 2,
            "--status takes no value" },
        Line { "ValueMissingAtTheEnd", { QStringLiteral("history"), Db }, 2, "--db needs PATH" },
        Line { "NoCommand", { Db, QStringLiteral("DB") }, 2, "no command given" }),
    [](const ::testing::TestParamInfo<Line>& info) { return std::string(info.param.name); });

#ifdef SHOULU_CLI_PICTURES
INSTANTIATE_TEST_SUITE_P(PictureLines, CommandLineTest,
    ::testing::Values(
        // After the command its own --engines (keys) wins over the global one (a file).
        Line { "CommandOptionNamedLikeAGlobalOne",
            { Db, QStringLiteral("DB"), QStringLiteral("chart"), QStringLiteral("a.com"), QStringLiteral("-o"),
                QStringLiteral("x.png"), QStringLiteral("--engines"), QStringLiteral("nokey") },
            2, "--engines takes keys" },
        Line { "ShortFormOfAnOption", { QStringLiteral("report"), QStringLiteral("-o") }, 2, "--output needs FILE" }),
    [](const ::testing::TestParamInfo<Line>& info) { return std::string(info.param.name); });
#endif

} // namespace
} // namespace shoulu
