#include "ui/Project1.h"

#include "engines/EngineCatalogue.h"
#include "query/AppContext.h"
#include "store/SettingsDatabase.h"
#include "ui/MessageBox.h"
#include "ui/Skin.h"
#include "ui/TForm1.h"
#include "ui/TForm2.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLoggingCategory>
#include <QTranslator>

namespace shoulu {

namespace {

Q_LOGGING_CATEGORY(startUp, "shoulu.startup")

// Qt's own texts (dialog buttons, the line editor's menu) in Chinese, like the program's.
void loadQtTranslations(QApplication& app)
{
    auto* translator = new QTranslator(&app);
    if (translator->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(translator);
    } else {
        qCWarning(startUp) << "no Chinese translations of Qt's own texts found; dialog buttons stay in English";
    }
}

} // namespace

std::unique_ptr<AppContext> openAppContext(const QString& databasePath)
{
    auto opened = AppContext::open(databasePath, EngineCatalogue::userFileBeside(databasePath),
        AppContext::CatalogueFault::UseBuiltIn, Access::Read);
    if (!opened) {
        qCWarning(startUp).noquote() << opened.error();
        const QString shown = QDir::toNativeSeparators(QDir(databasePath).absolutePath());
        QString why;
        switch (SettingsDatabase::examine(databasePath)) {
        case SettingsDatabase::Problem::Damaged:
            why = QStringLiteral("数据文件 %1 已损坏。请把它移到别处，再用“shoulu-cli init”新建一个。").arg(shown);
            break;
        case SettingsDatabase::Problem::Foreign:
            why = QStringLiteral("%1 不是本程序的数据文件。请把它移到别处，再用“shoulu-cli init”新建一个。").arg(shown);
            break;
        case SettingsDatabase::Problem::Missing:
            why = QStringLiteral("没有可用的数据文件 %1，可以用“shoulu-cli init”新建一个。").arg(shown);
            break;
        case SettingsDatabase::Problem::None:
        case SettingsDatabase::Problem::Other:
            why = QStringLiteral("数据文件 %1 无法打开：%2").arg(shown, opened.error());
            break;
        }
        MessageBox::plain(nullptr, QStringLiteral("文件不完整\n") + why);
        return nullptr;
    }
    return std::move(opened.value());
}

int Project1(QApplication& app, const QString& databasePath)
{
    MessageBox::setTitle(QStringLiteral("岚衡搜索引擎收录查询工具"));
    Skin::useBaseStyle(app);
    loadQtTranslations(app);

    const auto context = openAppContext(databasePath);
    if (!context) {
        return 1;
    }
    TForm1 Form1(*context);
    // Owned by the main window; hidden until "域名列表".
    auto* Form2 = new TForm2(context->domains(), &Form1);
    Form1.setEditor(Form2);
    Form1.show();
    return app.exec();
}

} // namespace shoulu
