#include "ui/Skin.h"

#include <QApplication>
#include <QFile>
#include <QStyleFactory>

// Resources compiled into a static library are only linked in when something names them,
// and the macro must be used outside any namespace.
static void initSkinResources()
{
    Q_INIT_RESOURCE(skin);
}

namespace shoulu {

void Skin::useBaseStyle(QApplication& app)
{
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
}

QString Skin::styleSheet()
{
    ensureResources();
    QFile file(QStringLiteral(":/shoulu/skin.qss"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

void Skin::ensureResources()
{
    static const bool done = [] {
        initSkinResources();
        return true;
    }();
    (void)done;
}

} // namespace shoulu
