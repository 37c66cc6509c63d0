#include "cli/pictures/PictureArgs.h"

#include <QApplication>

namespace shoulu::cli {

bool canDraw(const QString& prefix, Streams& io)
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        print(io.err, prefix + QStringLiteral("drawing needs the program's widget application\n"));
        return false;
    }
    return true;
}

} // namespace shoulu::cli
