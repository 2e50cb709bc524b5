// vexa-server: serves one account set to vexa hosts over the network.
#include "AppServer.h"
#include "NetServer.h"

#include <vexa/Error.h>

#include <QCoreApplication>
#include <QHostAddress>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char *const kHelp = R"(用法：vexa-server --insecure --listen 地址:端口 账套文件

通过网络向 vexa 客户端提供一个账套。

  --listen 地址:端口   监听的地址和端口，例如 127.0.0.1:7070、0.0.0.0:7070、[::1]:7070；
                       端口为 0 时自动选择一个空闲端口
  --insecure           不加密地通信（目前唯一可用的方式，只应在可信的网络中使用）
  --help               显示本说明

服务器一直运行，直到收到 SIGINT（Ctrl+C）或 SIGTERM。每个连接的打开和关闭各输出一行。
)";

int fail(const QString &message)
{
    std::fprintf(stderr, "vexa-server：%s\n", message.toUtf8().constData());
    return 2;
}

void say(const QString &line)
{
    std::fprintf(stdout, "%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

int signalPipe[2];

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] auto n = ::write(signalPipe[1], &byte, 1);
}

// "127.0.0.1:7070", "[::1]:7070"; false for anything else.
bool parseListen(const QString &text, QHostAddress &address, quint16 &port)
{
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0)
        return false;
    QString host = text.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    bool ok = false;
    const uint number = text.mid(colon + 1).toUInt(&ok);
    if (!ok || number > 65535 || !address.setAddress(host))
        return false;
    port = quint16(number);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    bool insecure = false;
    QString listen;
    QString path;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == u"--insecure")
            insecure = true;
        else if (a == u"--listen" && i + 1 < args.size())
            listen = args[++i];
        else if (a.startsWith(u'-'))
            return fail(QStringLiteral("无法识别的选项“%1”。请用 --help 查看用法。").arg(a));
        else if (path.isEmpty())
            path = a;
        else
            return fail(QStringLiteral("只能指定一个账套文件。"));
    }
    if (!insecure)
        return fail(
            QStringLiteral("尚不支持加密通信（TLS），服务器不会启动。如确需在可信网络中不加密"
                           "地运行，请加上 --insecure。"));
    QHostAddress address;
    quint16 port = 0;
    if (listen.isEmpty() || !parseListen(listen, address, port))
        return fail(
            QStringLiteral("请用 --listen 地址:端口 指定监听的地址，例如 127.0.0.1:7070。"));
    if (path.isEmpty())
        return fail(QStringLiteral("请指定账套文件。"));

    try {
        auto set = vexa::server::AppServer::open(path);
        vexa::net::NetServer server(*set);
        QObject::connect(
            &server, &vexa::net::NetServer::connectionOpened, &app,
            [](const QString &peer) { say(QStringLiteral("连接打开：%1").arg(peer)); });
        QObject::connect(&server, &vexa::net::NetServer::connectionClosed, &app,
                         [](const QString &peer, const QString &reason) {
                             say(QStringLiteral("连接关闭：%1（%2）").arg(peer, reason));
                         });
        server.listen(address, port);
        say(QStringLiteral("正在 %1 端口 %2 上提供账套“%3”（未加密）。")
                .arg(address.toString())
                .arg(server.port())
                .arg(path));

        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
            return fail(QStringLiteral("无法设置信号处理。"));
        QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(&notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        app.exec();
        server.stop();
        say(QStringLiteral("服务器已停止。"));
        return 0;
    } catch (const std::exception &e) {
        return fail(vexa::errorText(e));
    }
}
