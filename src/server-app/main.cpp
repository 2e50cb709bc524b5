// vexa-server: serves account sets to vexa hosts over the network.
#include "AppServer.h"
#include "Certificates.h"
#include "NetServer.h"

#include <vexa/Error.h>

#include <QCoreApplication>
#include <QHostAddress>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <map>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char *const kHelp =
    R"(用法：vexa-server --listen 地址:端口 --cert 证书文件 --key 私钥文件 [选项] 账套...
      vexa-server --listen 地址:端口 --insecure [选项] 账套...

通过网络（TLS 加密）向 vexa 客户端提供一个或多个账套。

  账套                 账套文件，或 名称=账套文件；名称缺省时取文件名（去掉 .vexa）。
                       客户端登录时用名称选择账套；只提供一个账套时可以不给名称
  --listen 地址:端口   监听的地址和端口，例如 127.0.0.1:7070、0.0.0.0:7070、[::1]:7070；
                       端口为 0 时自动选择一个空闲端口
  --cert 文件          服务器证书（PEM，可以带中间 CA 证书），可以用 vexa-admin cert 生成
  --key 文件           证书的私钥（PEM，不加密）
  --insecure           不加密地通信（代替 --cert 和 --key，只应在可信的网络中使用）
  --idle-timeout 分钟  登录后多久没有请求就断开连接，默认 480
  --max-connections 数 同时服务的连接数上限，默认 100；超出时新连接被告知服务器已满
  --help               显示本说明

服务器一直运行，直到收到 SIGINT（Ctrl+C）或 SIGTERM。每个连接的打开和关闭各输出一行。
启动时输出证书的指纹，客户端第一次连接时用它核对服务器。
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

// A positive whole number of an option, or 0.
int positive(const QString &text)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    return ok && n > 0 ? n : 0;
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
    QString listen, certFile, keyFile;
    vexa::net::NetServerOptions options;
    std::map<QString, QString> sets; // name -> path
    const QStringList valued{QStringLiteral("--listen"), QStringLiteral("--cert"),
                             QStringLiteral("--key"), QStringLiteral("--idle-timeout"),
                             QStringLiteral("--max-connections")};
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == u"--insecure") {
            insecure = true;
        } else if (valued.contains(a)) {
            if (i + 1 >= args.size())
                return fail(QStringLiteral("选项“%1”缺少值。").arg(a));
            const QString &value = args[++i];
            if (a == u"--listen")
                listen = value;
            else if (a == u"--cert")
                certFile = value;
            else if (a == u"--key")
                keyFile = value;
            else if (a == u"--idle-timeout") {
                const int minutes = positive(value);
                if (minutes == 0 || minutes > 7 * 24 * 60)
                    return fail(
                        QStringLiteral("--idle-timeout 应当是 1 到 10080（一周）之间的分钟数。"));
                options.idleTimeoutMs = minutes * 60 * 1000;
            } else {
                options.maxConnections = positive(value);
                if (options.maxConnections == 0)
                    return fail(QStringLiteral("--max-connections 应当是正整数。"));
            }
        } else if (a.startsWith(u'-')) {
            return fail(QStringLiteral("无法识别的选项“%1”。请用 --help 查看用法。").arg(a));
        } else {
            // NAME=PATH, unless what stands before '=' is a path itself.
            const qsizetype eq = a.indexOf(u'=');
            const bool named = eq > 0 && !a.left(eq).contains(u'/');
            const QString path = named ? a.mid(eq + 1) : a;
            const QString name = named ? a.left(eq) : vexa::net::NetServer::setName(path);
            if (path.isEmpty())
                return fail(QStringLiteral("账套“%1”缺少文件名。").arg(name));
            if (!sets.emplace(name, path).second)
                return fail(
                    QStringLiteral("有两个账套都叫“%1”，请用 名称=账套文件 区分它们。").arg(name));
        }
    }
    QHostAddress address;
    quint16 port = 0;
    if (listen.isEmpty() || !parseListen(listen, address, port))
        return fail(
            QStringLiteral("请用 --listen 地址:端口 指定监听的地址，例如 127.0.0.1:7070。"));
    if (insecure && (!certFile.isEmpty() || !keyFile.isEmpty()))
        return fail(QStringLiteral("--insecure 不能与 --cert、--key 一起使用。"));
    if (!insecure && (certFile.isEmpty() || keyFile.isEmpty()))
        return fail(QStringLiteral("请用 --cert 和 --key 指定服务器的证书和私钥（可以用 "
                                   "vexa-admin cert 生成），或在可信网络中用 --insecure "
                                   "不加密地运行。"));
    if (sets.empty())
        return fail(QStringLiteral("请指定账套文件。"));

    try {
        QString security = QStringLiteral("通信未加密（--insecure）。");
        if (!insecure) {
            options.loadCertificate(certFile, keyFile);
            security = QStringLiteral("通信用 TLS 加密，证书指纹（SHA-256）：%1")
                           .arg(vexa::net::Certificates::fingerprintOfDer(
                               options.certificateChain.first().toDer()));
        }
        std::vector<std::unique_ptr<vexa::server::AppServer>> opened;
        QMap<QString, vexa::server::AppServer *> served;
        QStringList listed;
        for (const auto &[name, path] : sets) {
            try {
                opened.push_back(vexa::server::AppServer::open(path));
            } catch (const vexa::Error &e) {
                throw vexa::Error(QStringLiteral("账套“%1”：%2").arg(name, e.message()));
            }
            served.insert(name, opened.back().get());
            listed.append(QStringLiteral("%1（%2）").arg(name, path));
        }
        vexa::net::NetServer server(served, options);
        QObject::connect(
            &server, &vexa::net::NetServer::connectionOpened, &app,
            [](const QString &peer) { say(QStringLiteral("连接打开：%1").arg(peer)); });
        QObject::connect(&server, &vexa::net::NetServer::connectionClosed, &app,
                         [](const QString &peer, const QString &reason) {
                             say(QStringLiteral("连接关闭：%1（%2）").arg(peer, reason));
                         });
        server.listen(address, port);
        say(QStringLiteral("正在 %1 端口 %2 上提供账套：%3。")
                .arg(address.toString())
                .arg(server.port())
                .arg(listed.join(QStringLiteral("、"))));
        say(security);

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
