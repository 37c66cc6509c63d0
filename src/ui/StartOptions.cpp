#include "ui/StartOptions.h"

#include "store/DataFolder.h"
#include "store/SettingsDatabase.h"

#include <QDir>

#include <cstdio>
#include <cstring>

namespace shoulu {

namespace {

const char Usage[] = "用法：shoulu [--user-data]\n"
                     "岚衡搜索引擎收录查询工具：查询各搜索引擎收录了一个域名的多少网页，并按日记录。\n"
                     "\n"
                     "  --user-data  使用个人数据文件夹（$XDG_DATA_HOME/shoulu，默认 ~/.local/share/shoulu）\n"
                     "               中的 setting.dat，首次使用时自动创建；菜单中的快捷方式即如此启动\n"
                     "  --help       显示本帮助\n"
                     "\n"
                     "不带参数时使用当前文件夹中的 setting.dat。命令行工具见 shoulu-cli --help。\n";

} // namespace

StartOptions StartOptions::read(int argc, char* argv[])
{
    StartOptions options;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(Usage, stdout);
            options.exitCode = 0;
            return options;
        }
        if (std::strcmp(argv[i], "--user-data") == 0) {
            options.perUser = true;
        }
    }
    return options;
}

Result<QString> StartOptions::prepareDatabase() const
{
    if (!perUser) {
        return QString::fromLatin1(SettingsDatabase::DefaultFileName);
    }
    auto path = preparePerUserDatabase(perUserFolder());
    if (path && !QDir::setCurrent(perUserFolder())) {
        return Error { QStringLiteral("无法进入数据文件夹 %1").arg(perUserFolder()) };
    }
    return path;
}

} // namespace shoulu
