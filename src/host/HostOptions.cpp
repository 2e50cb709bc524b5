#include "HostOptions.h"

#include "Passwords.h"
#include "ServerAddress.h"

#include <vexa/Error.h>

#include <QCommandLineParser>
#include <QTextStream>
#include <cstring>

namespace vexa::host {

bool parseHostOptions(const QStringList &arguments, HostOptions &options, QString &error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Vexa 总账控制台"));
    parser.addHelpOption();
    const QCommandLineOption data(QStringLiteral("data"),
                                  QStringLiteral("账套文件（缺省为用户数据目录下的演示账套）。"),
                                  QStringLiteral("PATH"));
    const QCommandLineOption server(
        QStringLiteral("server"), QStringLiteral("连接 vexa-server 上的账套（端口缺省为 7070）。"),
        QStringLiteral("HOST[:PORT]"));
    const QCommandLineOption set(QStringLiteral("set"),
                                 QStringLiteral("服务器上的账套名（服务器只有一个账套时可省略）。"),
                                 QStringLiteral("NAME"));
    const QCommandLineOption insecure(
        QStringLiteral("insecure"),
        QStringLiteral("不加密、不检查服务器（只用于以 --insecure 运行的服务器）。"));
    const QCommandLineOption ca(QStringLiteral("ca"),
                                QStringLiteral("信任由这个 CA 证书（PEM）签发的服务器证书。"),
                                QStringLiteral("FILE"));
    const QCommandLineOption design(QStringLiteral("design"), QStringLiteral("设计模式。"));
    const QCommandLineOption plugin(QStringLiteral("plugin"), QStringLiteral("插件库文件。"),
                                    QStringLiteral("PATH"));
    const QCommandLineOption ledgerPlugin(QStringLiteral("ledger-plugin"),
                                          QStringLiteral("账务插件库文件（凭证等模块）。"),
                                          QStringLiteral("PATH"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("用户名。"),
                                  QStringLiteral("U"));
    const QCommandLineOption password(
        QStringLiteral("password"),
        QStringLiteral("密码。注意：命令行上的密码本机的每个用户都能在进程列表中看到，"
                       "请改用 --password-file 或 --password-stdin。"),
        QStringLiteral("P"));
    const QCommandLineOption passwordFile(QStringLiteral("password-file"),
                                          QStringLiteral("从文件的第一行读密码。"),
                                          QStringLiteral("FILE"));
    const QCommandLineOption passwordStdin(QStringLiteral("password-stdin"),
                                           QStringLiteral("从标准输入的第一行读密码。"));
    const QCommandLineOption screenshots(
        QStringLiteral("screenshots"),
        QStringLiteral("把每个模块页面和登录窗口保存为 PNG 图片后退出。"), QStringLiteral("DIR"));
    parser.addOptions({data, server, set, insecure, ca, design, plugin, ledgerPlugin, user,
                       password, passwordFile, passwordStdin, screenshots});
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
    options.server = parser.value(server).trimmed();
    options.setName = parser.value(set).trimmed();
    options.insecure = parser.isSet(insecure);
    options.caFile = parser.value(ca);
    if (parser.isSet(server)) {
        if (parser.isSet(data)) {
            error = QStringLiteral(
                "--data 和 --server 只能用一个：账套要么是本机的文件，要么在服务器上。");
            return false;
        }
        if (!net::ServerAddress::parse(options.server)) {
            error = QStringLiteral("服务器地址“%1”无效，应写成 主机 或 主机:端口。")
                        .arg(options.server);
            return false;
        }
    } else if (parser.isSet(set) || parser.isSet(insecure) || parser.isSet(ca)) {
        error = QStringLiteral("--set、--insecure 和 --ca 要与 --server 同用。");
        return false;
    }
    if (options.insecure && !options.caFile.isEmpty()) {
        error = QStringLiteral("--insecure 和 --ca 只能用一个。");
        return false;
    }
    options.design = parser.isSet(design);
    options.pluginPath = parser.value(plugin);
    options.ledgerPluginPath = parser.value(ledgerPlugin);
    options.user = parser.value(user);
    const int passwordWays = int(parser.isSet(password)) + int(parser.isSet(passwordFile)) +
                             int(parser.isSet(passwordStdin));
    if (passwordWays > 1) {
        error = QStringLiteral("--password、--password-file 和 --password-stdin 只能用一个。");
        return false;
    }
    if (passwordWays == 1 && !parser.isSet(user)) {
        error = QStringLiteral("给出了密码却没有 --user。");
        return false;
    }
    options.hasPassword = passwordWays == 1;
    options.password = parser.value(password);
    options.passwordFile = parser.value(passwordFile);
    options.passwordStdin = parser.isSet(passwordStdin);
    options.screenshotDir = parser.value(screenshots);
    if (parser.isSet(screenshots) && options.screenshotDir.isEmpty()) {
        error = QStringLiteral("--screenshots 需要一个文件夹。");
        return false;
    }
    options.startupTiming = qEnvironmentVariable("VEXA_STARTUP_TIMING") == QLatin1String("1");
    return true;
}

bool readPassword(HostOptions &options, QString &error)
{
    try {
        if (!options.passwordFile.isEmpty())
            options.password = server::readPasswordFile(options.passwordFile);
    } catch (const Error &e) {
        error = e.message();
        return false;
    }
    if (options.passwordStdin) {
        QTextStream in(stdin);
        if (!in.readLineInto(&options.password)) {
            error = QStringLiteral("没有从标准输入读到密码。");
            return false;
        }
    }
    return true;
}

bool asksForHelp(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        for (const char *option : {"--help", "-h", "-?", "--help-all", "--version", "-v"})
            if (std::strcmp(argv[i], option) == 0)
                return true;
    }
    return false;
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
