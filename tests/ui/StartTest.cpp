#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace shoulu::test {
namespace {

// Starts that must end with a word, not with Qt's platform plugin aborting: no display at all
// (the variables a display could come from are all removed).
struct StartCase
{
    const char* name;
    QStringList args;
    int exitCode;
    const char* stdoutPattern; // a regular expression; empty: anything
    const char* stderrPattern;
};

class StartTest : public ::testing::TestWithParam<StartCase>
{
};

TEST_P(StartTest, EndsWithAMessageAndTheRightCode)
{
    const StartCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* variable : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" }) {
        env.remove(QString::fromLatin1(variable));
    }
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
    QProcess program;
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(dir.path());
    program.start(QStringLiteral(SHOULU_WINDOW_PROGRAM), c.args);
    ASSERT_TRUE(program.waitForFinished(20000)) << program.errorString().toStdString();
    const QString out = QString::fromUtf8(program.readAllStandardOutput());
    const QString err = QString::fromUtf8(program.readAllStandardError());
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << err.toStdString();
    EXPECT_EQ(program.exitCode(), c.exitCode) << err.toStdString();
    EXPECT_TRUE(QRegularExpression(QString::fromUtf8(c.stdoutPattern)).match(out).hasMatch()) << out.toStdString();
    EXPECT_TRUE(QRegularExpression(QString::fromUtf8(c.stderrPattern)).match(err).hasMatch()) << err.toStdString();
    // Refused before anything was prepared: no data folder, no database.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

INSTANTIATE_TEST_SUITE_P(WithoutDisplay, StartTest,
    ::testing::Values(StartCase { "Plain", {}, 1, "^$", "no display \\(DISPLAY is not set\\)" },
        StartCase { "PerUser", { QStringLiteral("--user-data") }, 1, "^$", "no display \\(DISPLAY is not set\\)" },
        StartCase { "Version", { QStringLiteral("--version") }, 0, "^shoulu \\d+\\.\\d+", "^$" },
        StartCase { "Help", { QStringLiteral("--help") }, 0, "--user-data", "^$" },
        StartCase { "UnknownOption", { QStringLiteral("--frobnicate") }, 2, "^$", "--frobnicate" },
        StartCase { "StrayArgument", { QStringLiteral("setting.dat") }, 2, "^$", "setting\\.dat" },
        StartCase {
            "QtOptionPassesThrough", { QStringLiteral("-style"), QStringLiteral("fusion") }, 1, "^$", "no display" }),
    [](const ::testing::TestParamInfo<StartCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace shoulu::test
