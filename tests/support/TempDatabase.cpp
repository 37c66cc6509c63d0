#include "support/TempDatabase.h"

namespace shoulu::test {

TempDatabase::TempDatabase()
    : m_path(m_dir.filePath(QString::fromLatin1(SettingsDatabase::DefaultFileName)))
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary directory: %1").arg(m_dir.errorString());
        return;
    }
    if (auto created = SettingsDatabase::create(m_path); !created) {
        m_error = created.error();
    }
}

Result<std::unique_ptr<SettingsDatabase>> TempDatabase::open() const
{
    return SettingsDatabase::open(m_path);
}

} // namespace shoulu::test
