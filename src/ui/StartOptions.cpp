#include "ui/StartOptions.h"

#include "store/DataFolder.h"
#include "store/SettingsDatabase.h"

#include <QDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace shoulu {

namespace {

const char Usage[] = "用法：shoulu [--user-data]\n"
                     "岚衡搜索引擎收录查询工具：查询各搜索引擎收录了一个域名的多少网页，并按日记录。\n"
                     "\n"
                     "  --user-data  使用个人数据文件夹（$XDG_DATA_HOME/shoulu，默认 ~/.local/share/shoulu）\n"
                     "               中的 setting.dat，首次使用时自动创建；菜单中的快捷方式即如此启动\n"
                     "  --help       显示本帮助\n"
                     "  --version    显示版本\n"
                     "\n"
                     "不带参数时使用当前文件夹中的 setting.dat。命令行工具见 shoulu-cli --help。\n"
                     "Qt 自身的选项（如 -platform、-display、-style）照常可用。\n";

// Qt's own options, which QGuiApplication takes out of the arguments; the first group takes a value.
const char* const QtOptionsWithValue[]
    = { "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon", "qwindowtitle",
          "session", "display", "geometry", "style", "stylesheet", "title", "icon", "name" };
const char* const QtFlags[] = { "reverse", "widgetcount", "nograb", "dograb", "sync", "testability" };

// Qt accepts its options with one dash or two.
const char* bareOption(const char* arg)
{
    if (arg[0] != '-') {
        return nullptr;
    }
    return arg[1] == '-' ? arg + 2 : arg + 1;
}

bool listed(const char* name, const char* const* begin, const char* const* end)
{
    for (const char* const* it = begin; it != end; ++it) {
        if (std::strcmp(name, *it) == 0) {
            return true;
        }
    }
    return false;
}

bool isSet(const char* variable)
{
    const char* value = std::getenv(variable);
    return value != nullptr && value[0] != '\0';
}

StartOptions finished(int exitCode)
{
    StartOptions options;
    options.exitCode = exitCode;
    return options;
}

} // namespace

StartOptions StartOptions::read(int argc, char* argv[])
{
    StartOptions options;
    bool platformGiven = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::fputs(Usage, stdout);
            return finished(0);
        }
        if (std::strcmp(arg, "--version") == 0) {
            std::printf("shoulu %s\n", SHOULU_VERSION);
            return finished(0);
        }
        if (std::strcmp(arg, "--user-data") == 0) {
            options.perUser = true;
            continue;
        }
        const char* name = bareOption(arg);
        if (name != nullptr && listed(name, std::begin(QtOptionsWithValue), std::end(QtOptionsWithValue))) {
            platformGiven = platformGiven || std::strcmp(name, "platform") == 0 || std::strcmp(name, "display") == 0;
            ++i; // its value
            continue;
        }
        if (name != nullptr && listed(name, std::begin(QtFlags), std::end(QtFlags))) {
            continue;
        }
        std::fprintf(stderr, "shoulu: 未知的选项或参数：%s（用法见 shoulu --help）\n", arg);
        return finished(2);
    }
    // Without a display Qt's platform plugin aborts the program; say why and stop cleanly.
    if (!platformGiven && !isSet("QT_QPA_PLATFORM") && !isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY")) {
        std::fputs("shoulu: no display (DISPLAY is not set)\n"
                   "没有可用的图形显示。请在桌面环境中启动，或用 xvfb-run shoulu；命令行工具见 shoulu-cli。\n",
            stderr);
        return finished(1);
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
