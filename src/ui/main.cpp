#include "store/SettingsDatabase.h"
#include "ui/Project1.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    return shoulu::Project1(app, QString::fromLatin1(shoulu::SettingsDatabase::DefaultFileName));
}
