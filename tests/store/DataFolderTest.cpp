#include "store/DataFolder.h"

#include "store/DomainList.h"
#include "store/SettingsDatabase.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace shoulu {
namespace {

QProcessEnvironment environment(std::initializer_list<std::pair<const char*, const char*>> values)
{
    QProcessEnvironment env;
    for (const auto& [name, value] : values) {
        env.insert(QString::fromLatin1(name), QString::fromLatin1(value));
    }
    return env;
}

TEST(DataFolderTest, PerUserFolderFollowsXdgDataHomeOnlyWhenAbsolute)
{
    const struct
    {
        QProcessEnvironment env;
        const char* folder;
    } cases[] = {
        { environment({ { "HOME", "/home/u" }, { "XDG_DATA_HOME", "/data/u/" } }), "/data/u/shoulu" },
        { environment({ { "HOME", "/home/u" } }), "/home/u/.local/share/shoulu" },
        { environment({ { "HOME", "/home/u" }, { "XDG_DATA_HOME", "" } }), "/home/u/.local/share/shoulu" },
        { environment({ { "HOME", "/home/u" }, { "XDG_DATA_HOME", "rel/data" } }), "/home/u/.local/share/shoulu" },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(perUserFolder(c.env), QString::fromLatin1(c.folder));
    }
}

TEST(DataFolderTest, DatabaseVariableNamesTheCommandLinesDefaultFile)
{
    EXPECT_EQ(defaultDatabasePath(environment({})), QStringLiteral("setting.dat"));
    EXPECT_EQ(defaultDatabasePath(environment({ { "SHOULU_DB", "" } })), QStringLiteral("setting.dat"));
    EXPECT_EQ(defaultDatabasePath(environment({ { "SHOULU_DB", "/srv/s.dat" } })), QStringLiteral("/srv/s.dat"));
}

TEST(DataFolderTest, FirstStartMakesAPrivateFolderAndDatabaseLaterStartsKeepIt)
{
    QTemporaryDir temp;
    const QString folder = temp.filePath(QStringLiteral("share/shoulu"));
    const auto first = preparePerUserDatabase(folder);
    ASSERT_TRUE(first.ok()) << first.error().toStdString();
    EXPECT_EQ(*first, QDir(folder).absoluteFilePath(QStringLiteral("setting.dat")));
    EXPECT_EQ(QFile::permissions(folder) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions {});
    {
        auto db = SettingsDatabase::open(*first);
        ASSERT_TRUE(db.ok());
        ASSERT_TRUE(DomainList((*db)->database()).addDomain(QStringLiteral("kept.com")).ok());
    }
    ASSERT_TRUE(preparePerUserDatabase(folder).ok());
    auto db = SettingsDatabase::open(*first);
    ASSERT_TRUE(db.ok());
    EXPECT_EQ(*DomainList((*db)->database()).loadDomain(), QStringList { QStringLiteral("kept.com") });
}

TEST(DataFolderTest, FolderThatCannotBeMadeIsAnError)
{
    QTemporaryDir temp;
    QFile blocker(temp.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const auto prepared = preparePerUserDatabase(blocker.fileName() + QStringLiteral("/shoulu"));
    ASSERT_FALSE(prepared.ok());
    EXPECT_TRUE(prepared.error().contains(blocker.fileName()));
}

} // namespace
} // namespace shoulu
