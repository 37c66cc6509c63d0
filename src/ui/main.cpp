#include "ui/MessageBox.h"
#include "ui/Project1.h"
#include "ui/StartOptions.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    const shoulu::StartOptions options = shoulu::StartOptions::read(argc, argv);
    if (options.exitCode) {
        return *options.exitCode;
    }
    QApplication app(argc, argv);
    const auto database = options.prepareDatabase();
    if (!database) {
        shoulu::MessageBox::error(nullptr, database.error());
        return 1;
    }
    return shoulu::Project1(app, *database);
}
