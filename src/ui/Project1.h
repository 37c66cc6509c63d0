#pragma once

#include <QString>

class QApplication;

namespace shoulu {

// The program on an application object made by main(): opens the main window on the
// database file and runs the event loop. Returns 0 after the main window is closed and 1,
// without entering the loop, when the database cannot be opened.
int Project1(QApplication& app, const QString& databasePath);

} // namespace shoulu
