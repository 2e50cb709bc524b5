#include "HostOptions.h"

#include <QCommandLineParser>

namespace vexa::host {

bool parseHostOptions(const QStringList &arguments, HostOptions &options, QString &error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Vexa 总账控制台"));
    parser.addHelpOption();
    const QCommandLineOption data(QStringLiteral("data"),
                                  QStringLiteral("账套文件（缺省为用户数据目录下的演示账套）。"),
                                  QStringLiteral("PATH"));
    const QCommandLineOption design(QStringLiteral("design"), QStringLiteral("设计模式。"));
    const QCommandLineOption plugin(QStringLiteral("plugin"), QStringLiteral("插件库文件。"),
                                    QStringLiteral("PATH"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("用户名。"),
                                  QStringLiteral("U"));
    const QCommandLineOption password(QStringLiteral("password"), QStringLiteral("密码。"),
                                      QStringLiteral("P"));
    const QCommandLineOption screenshots(
        QStringLiteral("screenshots"),
        QStringLiteral("把每个模块页面和登录窗口保存为 PNG 图片后退出。"), QStringLiteral("DIR"));
    parser.addOptions({data, design, plugin, user, password, screenshots});
    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return false;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (!parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("多余的参数：%1")
                    .arg(parser.positionalArguments().join(QLatin1Char(' ')));
        return false;
    }
    options.dataPath = parser.value(data);
    options.design = parser.isSet(design);
    options.pluginPath = parser.value(plugin);
    options.user = parser.value(user);
    options.password = parser.value(password);
    options.hasPassword = parser.isSet(password);
    options.screenshotDir = parser.value(screenshots);
    if (parser.isSet(password) && !parser.isSet(user)) {
        error = QStringLiteral("给出了 --password 却没有 --user。");
        return false;
    }
    if (parser.isSet(screenshots) && options.screenshotDir.isEmpty()) {
        error = QStringLiteral("--screenshots 需要一个文件夹。");
        return false;
    }
    options.startupTiming = qEnvironmentVariable("VEXA_STARTUP_TIMING") == QLatin1String("1");
    return true;
}

QStringList takePluginArguments(int &argc, char **argv)
{
    QStringList taken;
    int out = 1;
    for (int in = 1; in < argc; ++in) {
        const QByteArray arg(argv[in]);
        if (arg == "--plugin" && in + 1 < argc) {
            taken << QStringLiteral("--plugin") << QString::fromLocal8Bit(argv[++in]);
            continue;
        }
        if (arg.startsWith("--plugin=")) {
            taken << QStringLiteral("--plugin") << QString::fromLocal8Bit(arg.mid(9));
            continue;
        }
        argv[out++] = argv[in];
    }
    argc = out;
    argv[argc] = nullptr;
    return taken;
}

} // namespace vexa::host
