#pragma once

#include "store/SettingsDatabase.h"
#include "util/Result.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace shoulu::test {

// A prepared, empty setting.dat in a fresh temporary directory, removed with the object.
//   TempDatabase temp; ASSERT_TRUE(temp.ok()) << temp.error(); auto db = temp.open();
class TempDatabase
{
public:
    TempDatabase();

    bool ok() const { return m_error.isEmpty(); }
    const QString& error() const { return m_error; }
    // The file, and the directory that holds it (free for other files of a test).
    const QString& path() const { return m_path; }
    QString dirPath() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }

    Result<std::unique_ptr<SettingsDatabase>> open() const;

private:
    QTemporaryDir m_dir;
    QString m_path;
    QString m_error;
};

} // namespace shoulu::test
