#pragma once

#include <QString>

#include <memory>

class QApplication;

namespace shoulu {

class AppContext;

// The program's core on the database file, or null after telling the user "文件不完整" (with
// the file looked for and how to make one) and logging the cause.
std::unique_ptr<AppContext> openAppContext(const QString& databasePath);

// The program on an application object made by main(): opens the main window on the
// database file and runs the event loop. Returns 0 after the main window is closed and 1,
// without entering the loop, when the database cannot be opened.
int Project1(QApplication& app, const QString& databasePath);

} // namespace shoulu
