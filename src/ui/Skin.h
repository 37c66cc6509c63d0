#pragma once

#include <QString>

class QApplication;

namespace shoulu {

// The program's one skin: the Fusion style underneath and a light blue style sheet on top.
//     Skin::useBaseStyle(app); window.setStyleSheet(Skin::styleSheet());
class Skin
{
public:
    static void useBaseStyle(QApplication& app);
    static QString styleSheet();
    // This library's resources (style sheet, built-in banner page); safe to call repeatedly.
    static void ensureResources();
};

} // namespace shoulu
