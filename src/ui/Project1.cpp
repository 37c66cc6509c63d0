#include "ui/Project1.h"

#include "ui/MessageBox.h"
#include "ui/Skin.h"
#include "ui/TForm1.h"
#include "ui/TForm2.h"

#include <QApplication>

namespace shoulu {

int Project1(QApplication& app, const QString& databasePath)
{
    MessageBox::setTitle(QStringLiteral("岚衡搜索引擎收录查询工具"));
    Skin::useBaseStyle(app);

    TForm1 Form1(databasePath);
    if (!Form1.isStarted()) {
        return 1;
    }
    // Owned by the main window; hidden until "域名列表".
    auto* Form2 = new TForm2(Form1);
    Form1.setEditor(Form2);
    Form1.show();
    return app.exec();
}

} // namespace shoulu
