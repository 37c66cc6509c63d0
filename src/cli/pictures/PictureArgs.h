#pragma once

#include "cli/Command.h"
#include "store/ResultRows.h"
#include "store/SettingsDatabase.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace shoulu::cli {

// The picture commands draw with widgets: true when the program made a QApplication,
// else says why not on io.err.
bool canDraw(const QString& prefix, Streams& io);

// The opened database with its rows, for commands that only read.
class OpenRows
{
public:
    // Nothing, and why on io.err, when the file does not open.
    static std::unique_ptr<OpenRows> open(const QString& path, const QString& prefix, Streams& io);
    ResultRows& rows() { return m_rows; }
    Database& database() { return m_db->database(); }

private:
    explicit OpenRows(std::unique_ptr<SettingsDatabase> db);
    std::unique_ptr<SettingsDatabase> m_db;
    ResultRows m_rows;
};

} // namespace shoulu::cli
