#include "store/SettingsDatabase.h"

#include "store/Database.h"
#include "store/DomainList.h"
#include "store/ResultRows.h"
#include "store/Schema.h"
#include "support/TempDatabase.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <sys/stat.h>

namespace shoulu {
namespace {

using test::TempDatabase;

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// Makes a database with our tables but keyed with `key` (none: unencrypted).
void makeDatabase(const QString& path, const QByteArray& key, const char* schema)
{
    auto db = Database::open(path, Database::OpenMode::CreateNew);
    ASSERT_TRUE(db.ok()) << db.error().toStdString();
    if (!key.isEmpty()) {
        ASSERT_TRUE((*db)->key(key).ok());
    }
    auto made = (*db)->exec(schema);
    ASSERT_TRUE(made.ok()) << made.error().toStdString();
}

const char* const BothTables = "CREATE TABLE domain (id INTEGER PRIMARY KEY AUTOINCREMENT, domain TEXT COLLATE NOCASE);"
                               "CREATE TABLE shoulu (id INTEGER PRIMARY KEY AUTOINCREMENT, domain TEXT COLLATE NOCASE,"
                               " baidu INTEGER, google INTEGER, soso INTEGER, yahoo INTEGER, sogou INTEGER,"
                               " youdao INTEGER, bing INTEGER, yyyy INTEGER, mm INTEGER, dd INTEGER, searchtime TEXT);";

const QByteArray OurKey = QByteArray("蓝杉木舟北岸晚钟声远");

TEST(SettingsDatabaseTest, OpenOfMissingFileFailsAndCreatesNothing)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("setting.dat"));
    auto db = SettingsDatabase::open(path);
    ASSERT_FALSE(db.ok());
    EXPECT_TRUE(db.error().contains(QStringLiteral("does not exist"))) << db.error().toStdString();
    EXPECT_TRUE(entries(dir.path()).isEmpty());
}

// Each bad file must fail at open with its cause and be left byte for byte as it was, with no
// journal or other file beside it.
struct BadFile
{
    const char* name;
    std::function<void(const QString&)> make;
    const char* cause;
};

void PrintTo(const BadFile& c, std::ostream* os)
{
    *os << c.name;
}

class BadFileTest : public ::testing::TestWithParam<BadFile>
{
};

TEST_P(BadFileTest, OpenFailsNamingTheCauseAndLeavesTheFileUnchanged)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("setting.dat"));
    GetParam().make(path);
    ASSERT_TRUE(QFile::exists(path));
    const QByteArray before = readAll(path);
    const QStringList filesBefore = entries(dir.path());

    auto db = SettingsDatabase::open(path);

    ASSERT_FALSE(db.ok());
    EXPECT_TRUE(db.error().contains(QString::fromUtf8(GetParam().cause))) << db.error().toStdString();
    EXPECT_TRUE(db.error().contains(path)) << db.error().toStdString();
    EXPECT_EQ(readAll(path), before);
    EXPECT_EQ(entries(dir.path()), filesBefore);
}

INSTANTIATE_TEST_SUITE_P(Files, BadFileTest,
    ::testing::Values(
        BadFile { "EmptyFileIsNotSilentlyInitialised", [](const QString& p) { writeAll(p, QByteArray()); }, "empty" },
        BadFile { "TextFile",
            [](const QString& p) { writeAll(p, QByteArray("domain,baidu\nexample.com,12\n").repeated(200)); },
            "not a shoulu database" },
        BadFile {
            "ShortForeignFile", [](const QString& p) { writeAll(p, QByteArray("hello")); }, "not a shoulu database" },
        BadFile { "WrongKey", [](const QString& p) { makeDatabase(p, QByteArray("another password"), BothTables); },
            "encrypted with another key" },
        BadFile { "KeyAsUtf16IsAnotherKey",
            [](const QString& p) {
                const QString text = QString::fromUtf8(OurKey);
                makeDatabase(p,
                    QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * qsizetype(sizeof(char16_t))),
                    BothTables);
            },
            "encrypted with another key" },
        BadFile { "UnencryptedSqlite", [](const QString& p) { makeDatabase(p, QByteArray(), BothTables); },
            "unencrypted SQLite" },
        BadFile { "NoDomainTable",
            [](const QString& p) {
                makeDatabase(p, OurKey,
                    "CREATE TABLE shoulu (id INTEGER, domain TEXT, baidu, google, soso, yahoo,"
                    " sogou, youdao, bing, yyyy, mm, dd, searchtime)");
            },
            "no table 'domain'" },
        BadFile { "NoResultTable",
            [](const QString& p) { makeDatabase(p, OurKey, "CREATE TABLE domain (id INTEGER, domain TEXT)"); },
            "no table 'shoulu'" },
        BadFile { "ResultTableWithoutBing",
            [](const QString& p) {
                makeDatabase(p, OurKey,
                    "CREATE TABLE domain (id INTEGER, domain TEXT);"
                    "CREATE TABLE shoulu (id INTEGER, domain TEXT, baidu, google, soso, yahoo, sogou,"
                    " youdao, yyyy, mm, dd, searchtime)");
            },
            "no column 'bing'" },
        BadFile { "LaterLayout",
            [](const QString& p) {
                const QByteArray schema = QByteArray(BothTables) + "PRAGMA user_version = 99;";
                makeDatabase(p, OurKey, schema.constData());
            },
            "later version" },
        BadFile { "MigrationThatFails",
            [](const QString& p) {
                // A table of the new layout's name already there: the migration stops half way.
                const QByteArray schema
                    = QByteArray(BothTables) + "CREATE TABLE reading_rule (x); PRAGMA user_version = 1;";
                makeDatabase(p, OurKey, schema.constData());
            },
            "left as it was" }),
    [](const ::testing::TestParamInfo<BadFile>& info) { return std::string(info.param.name); });

TEST(SettingsDatabaseTest, OpenOfDirectoryFails)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("setting.dat")));
    auto db = SettingsDatabase::open(dir.filePath(QStringLiteral("setting.dat")));
    ASSERT_FALSE(db.ok());
    EXPECT_TRUE(db.error().contains(QStringLiteral("not a file")));
}

TEST(SettingsDatabaseTest, CreatedFileOpensEmptyWithBothTables)
{
    TempDatabase temp;
    ASSERT_TRUE(temp.ok()) << temp.error().toStdString();
    auto db = temp.open();
    ASSERT_TRUE(db.ok()) << db.error().toStdString();
    DomainList list((*db)->database());
    auto domains = list.loadDomain();
    ASSERT_TRUE(domains.ok());
    EXPECT_TRUE(domains->isEmpty());
}

TEST(SettingsDatabaseTest, CreateRefusesAnExistingFileAndKeepsItsBytes)
{
    TempDatabase temp;
    ASSERT_TRUE(temp.ok());
    {
        auto db = temp.open();
        ASSERT_TRUE(db.ok());
        ASSERT_TRUE(DomainList((*db)->database()).addDomain(QStringLiteral("kept.example.com")).ok());
    }
    const QByteArray before = readAll(temp.path());
    auto again = SettingsDatabase::create(temp.path());
    ASSERT_FALSE(again.ok());
    EXPECT_TRUE(again.error().contains(QStringLiteral("already exists")));
    EXPECT_EQ(readAll(temp.path()), before);
}

TEST(SettingsDatabaseTest, CreatedFileAndItsLogAreOwnerOnlyWhateverTheUmask)
{
    const mode_t previous = ::umask(022);
    TempDatabase temp;
    ::umask(previous);
    ASSERT_TRUE(temp.ok()) << temp.error().toStdString();
    auto db = temp.open();
    ASSERT_TRUE(db.ok()) << db.error().toStdString();
    ASSERT_TRUE(DomainList((*db)->database()).addDomain(QStringLiteral("a.com")).ok());
    for (const QString& suffix : { QString(), QStringLiteral("-wal"), QStringLiteral("-shm") }) {
        struct stat info = {};
        ASSERT_EQ(::stat(QFile::encodeName(temp.path() + suffix).constData(), &info), 0) << suffix.toStdString();
        EXPECT_EQ(info.st_mode & 0777, 0600u) << suffix.toStdString();
    }
}

TEST(SettingsDatabaseTest, CreateInMissingDirectoryFailsAndLeavesNothing)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("no/such/dir/setting.dat"));
    auto created = SettingsDatabase::create(path);
    ASSERT_FALSE(created.ok());
    EXPECT_FALSE(QFile::exists(path));
}

TEST(SettingsDatabaseTest, FileIsEncryptedOnDisk)
{
    TempDatabase temp;
    ASSERT_TRUE(temp.ok());
    {
        auto db = temp.open();
        ASSERT_TRUE(db.ok());
        ASSERT_TRUE(DomainList((*db)->database()).addDomain(QStringLiteral("plain-to-see.example.com")).ok());
    }
    const QByteArray bytes = readAll(temp.path());
    EXPECT_FALSE(bytes.startsWith("SQLite format 3"));
    EXPECT_FALSE(bytes.contains("plain-to-see"));
    EXPECT_FALSE(bytes.contains("CREATE TABLE"));
}

// Users copy setting.dat around: once closed, every committed row must be in that one file.
TEST(SettingsDatabaseTest, ClosedFileAloneHoldsEveryCommittedRow)
{
    TempDatabase temp;
    ASSERT_TRUE(temp.ok());
    {
        auto db = temp.open();
        ASSERT_TRUE(db.ok());
        for (int i = 0; i < 50; ++i) {
            ASSERT_TRUE(DomainList((*db)->database()).addDomain(QStringLiteral("d%1.com").arg(i)).ok());
        }
    }
    EXPECT_EQ(entries(temp.dirPath()), QStringList { QStringLiteral("setting.dat") });
    QTemporaryDir elsewhere;
    const QString copy = elsewhere.filePath(QStringLiteral("setting.dat"));
    ASSERT_TRUE(QFile::copy(temp.path(), copy));
    auto db = SettingsDatabase::open(copy);
    ASSERT_TRUE(db.ok()) << db.error().toStdString();
    EXPECT_EQ(DomainList((*db)->database()).loadDomain()->size(), 50);
}

TEST(SettingsDatabaseTest, HandMadeFileWithoutVersionGetsIndexesAndVersion)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("setting.dat"));
    makeDatabase(path, OurKey, BothTables);
    {
        auto db = SettingsDatabase::open(path);
        ASSERT_TRUE(db.ok()) << db.error().toStdString();
    }
    auto raw = Database::open(path, Database::OpenMode::Existing);
    ASSERT_TRUE(raw.ok());
    ASSERT_TRUE((*raw)->key(OurKey).ok());
    auto indexes = (*raw)->prepare("SELECT count(*) FROM sqlite_master WHERE type = 'index'"
                                   " AND name NOT LIKE 'sqlite_%'");
    ASSERT_TRUE(indexes.ok()) << indexes.error().toStdString();
    ASSERT_TRUE(*indexes->step());
    EXPECT_EQ(indexes->int64At(0), 3);
    auto version = (*raw)->prepare("PRAGMA user_version");
    ASSERT_TRUE(version.ok());
    ASSERT_TRUE(*version->step());
    EXPECT_EQ(version->int64At(0), Schema::Version);
}

TEST(SettingsDatabaseTest, VersionOneFileIsMigratedAndReadsAsBefore)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("setting.dat"));
    const QByteArray schema = QByteArray(BothTables)
        + "INSERT INTO domain (domain) VALUES ('old.example');"
          "INSERT INTO shoulu (domain, baidu, google, soso, yahoo, sogou, youdao, bing, yyyy, mm, dd, searchtime)"
          " VALUES ('old.example', 5, 0, 0, 0, 0, 0, 7, 2024, 3, 1, '2024-03-01 09:00:00'),"
          " ('old.example', 0, 0, 0, 0, 0, 0, 0, 2024, 3, 1, '2024-03-01 18:00:00');"
          "PRAGMA user_version = 1;";
    makeDatabase(path, OurKey, schema.constData());
    auto db = SettingsDatabase::open(path);
    ASSERT_TRUE(db.ok()) << db.error().toStdString();
    ResultRows rows((*db)->database());
    EXPECT_TRUE(rows.keepsReadings());
    // Rows from before readings have none; their figures above 0 are trusted, the evening's
    // zeros do not hide the morning's figures.
    const auto daily = rows.dailyRows(QStringLiteral("old.example"));
    ASSERT_TRUE(daily.ok()) << daily.error().toStdString();
    ASSERT_EQ(daily->size(), 1u);
    EXPECT_EQ(daily->front().id, 1);
    EXPECT_EQ(daily->front().counts[0], 5);
    EXPECT_EQ(daily->front().counts[6], 7);
    EXPECT_TRUE(daily->front().readings.isEmpty());
    auto version = (*db)->database().prepare("PRAGMA user_version");
    ASSERT_TRUE(version.ok());
    ASSERT_TRUE(*version->step());
    EXPECT_EQ(version->int64At(0), Schema::Version);
}

// The file must stay readable by the stock sqlcipher shell with the same passphrase text, so
// that a user can inspect or repair it.
TEST(SettingsDatabaseTest, SqlcipherShellOpensTheFileWithThePassphraseText)
{
    const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlcipher"));
    if (shell.isEmpty()) {
        GTEST_SKIP() << "sqlcipher shell not installed";
    }
    TempDatabase temp;
    ASSERT_TRUE(temp.ok());
    {
        auto db = temp.open();
        ASSERT_TRUE(db.ok());
        ASSERT_TRUE(DomainList((*db)->database()).addDomain(QStringLiteral("shell.example.com")).ok());
    }
    QProcess process;
    process.start(shell, { temp.path() });
    ASSERT_TRUE(process.waitForStarted());
    process.write(QStringLiteral("PRAGMA key='蓝杉木舟北岸晚钟声远';\nSELECT domain FROM domain;\n").toUtf8());
    process.closeWriteChannel();
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_TRUE(process.readAllStandardOutput().contains("shell.example.com"))
        << process.readAllStandardError().toStdString();
}

} // namespace
} // namespace shoulu
