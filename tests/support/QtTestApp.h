#pragma once

#include <QCoreApplication>

namespace shoulu::test {

// The process-wide QCoreApplication that tests deliver events through; made once.
inline QCoreApplication& ensureQtApp()
{
    static int argc = 1;
    static char name[] = "shoulu-test";
    static char* argv[] = { name, nullptr };
    static QCoreApplication* app
        = QCoreApplication::instance() ? QCoreApplication::instance() : new QCoreApplication(argc, argv);
    return *app;
}

} // namespace shoulu::test
