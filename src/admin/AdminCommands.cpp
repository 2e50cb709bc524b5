#include "AdminCommands.h"

#include "AdminRemote.h"
#include "Certificates.h"
#include "DataPacket.h"
#include "Passwords.h"
#include "PostgresLocation.h"
#include "ProviderCatalog.h"
#include "Seed.h"
#include "SetMaintenance.h"
#include "SqlDialect.h"
#include "StorageErrors.h"
#include "TemplateCommands.h"
#include "UserAdmin.h"

#include <vexa/Error.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <algorithm>
#include <csignal>
#include <optional>
#include <termios.h>
#include <unistd.h>

namespace vexa::admin {

using server::AppServer;
using server::ServerConnection;

namespace {

const QString kUsageLine =
    QStringLiteral("用法: vexa-admin <create|info|list|check|backup|restore|users|groups|rights|"
                   "passwd|query|call|dump|log|templates> ...");

// A command line that cannot run: exit status 2 with the usage line.
struct CommandInfo;

struct UsageError
{
    QString message;
    const CommandInfo *command = nullptr; // its synopsis is shown too
};

struct CommandInfo
{
    QString name;
    int minArgs;
    int maxArgs; // -1: no limit
    QStringList flags;
    QStringList valued;
    QString synopsis;
    QString summary;
};

const QList<CommandInfo> &commandInfos()
{
    // clang-format off
    static const QList<CommandInfo> infos = {
        {QStringLiteral("create"), 1, 1, {QStringLiteral("demo")},
         {QStringLiteral("admin"), QStringLiteral("password-file")},
         QStringLiteral("create PATH [--admin NAME] [--password-file FILE] | create PATH --demo"),
         QStringLiteral("创建可以使用的账套文件（模块、控制台、用户组和权限、币别、科目模板）和一个管理员："
                        "登录名取自 --admin 或提示输入，密码取自密码文件的第一行或提示输入两遍；"
                        "--demo 改为创建演示账套（演示用户和它们的控制台节点）。")},
        {QStringLiteral("query"), 2, 3, {}, {QStringLiteral("format")},
         QStringLiteral("query PATH PROVIDER [COMMAND_TEXT] [--format table|csv|json]"),
         QStringLiteral("按提供者读取数据，COMMAND_TEXT 如 \"TOP 3 WHERE InnerUse = 0 ORDER BY MCode\"。")},
        {QStringLiteral("call"), 2, -1, {}, {QStringLiteral("user")},
         QStringLiteral("call PATH OPERATION [ARG...] [--user USER]"),
         QStringLiteral("调用应用服务器的命名操作；整数参数写成数字；--user 时从标准输入读密码，先登录。")},
        {QStringLiteral("users"), 1, 4, {QStringLiteral("manager")},
         {QStringLiteral("name"), QStringLiteral("group"), QStringLiteral("password-file")},
         QStringLiteral("users PATH [add LOGIN --group N [--name NAME] [--manager] "
                        "[--password-file FILE] | disable LOGIN | enable LOGIN | remove LOGIN | "
                        "rename LOGIN NEW | group LOGIN N]"),
         QStringLiteral("列出用户（不显示密码摘要）；或增加、停用、启用、删除用户（已用于凭证或附件的用户"
                        "改为停用），改登录名、改用户组。最后一个能登录的系统管理员不能停用或删除。")},
        {QStringLiteral("groups"), 1, 3, {}, {},
         QStringLiteral("groups PATH [add NAME | remove N]"),
         QStringLiteral("列出用户组；或增加、删除用户组（还有用户的组不能删除）。")},
        {QStringLiteral("rights"), 2, 5, {}, {},
         QStringLiteral("rights PATH GROUP [grant OBJTYPE 1|2|3 | revoke OBJTYPE]"),
         QStringLiteral("按对象类型列出用户组的权限（1 完全、2 浏览、3 修改）；或授予、收回一项权限。")},
        {QStringLiteral("passwd"), 2, 2, {}, {QStringLiteral("password-file")},
         QStringLiteral("passwd PATH USER [--password-file FILE]"),
         QStringLiteral("重设用户密码并解除登录锁定：新密码取自密码文件的第一行，或从标准输入读两遍；"
                        "不需要旧密码。")},
        {QStringLiteral("info"), 1, 1, {}, {},
         QStringLiteral("info PATH"),
         QStringLiteral("显示账套的单位名称、科目模板、财务启用期间、是否已启用、版本、用户数和文件大小。")},
        {QStringLiteral("list"), 1, 1, {}, {QStringLiteral("format")},
         QStringLiteral("list FOLDER [--format table|csv|json]"),
         QStringLiteral("列出文件夹中的账套，每个一行（不是账套的文件不列）。")},
        {QStringLiteral("check"), 1, 1, {}, {},
         QStringLiteral("check PATH"),
         QStringLiteral("检查账套：数据库页面、引用、会计期间、启用期间、管理员、控制台节点和附件文件；"
                        "有问题时逐条列出，退出状态为 1。")},
        {QStringLiteral("backup"), 2, 2, {}, {},
         QStringLiteral("backup PATH DEST"),
         QStringLiteral("在账套使用中做一致的备份 DEST，附件文件放在 DEST.accessories 中；"
                        "PostgreSQL 账套用 pg_dump 备份成一个文件，附件在其中。")},
        {QStringLiteral("restore"), 2, 2, {QStringLiteral("force")}, {},
         QStringLiteral("restore BACKUP PATH [--force]"),
         QStringLiteral("把备份恢复到 PATH（连同附件文件）；有人正在使用 PATH 时拒绝，"
                        "PATH 在备份之后改过时要加 --force（PostgreSQL 账套：已有就要加）。")},
        {QStringLiteral("dump"), 2, 2, {}, {},
         QStringLiteral("dump PATH TABLE"),
         QStringLiteral("以 CSV 输出提供者目录中一张表或视图的全部行。")},
        {QStringLiteral("log"), 1, 1, {},
         {QStringLiteral("user"), QStringLiteral("from"), QStringLiteral("to"), QStringLiteral("text")},
         QStringLiteral("log PATH [--user NAME] [--from yyyy-MM-dd] [--to yyyy-MM-dd] [--text WORDS]"),
         QStringLiteral("按时间顺序（最新的在最后）列出操作日志，每条一行：时间、用户、机器、操作、对象和内容；"
                        "--user 按登录名或用户名，--from/--to 按日期（含当天），--text 按操作、对象或"
                        "内容中的文字（多个词都要出现）筛选。只读。")},
        {QStringLiteral("templates"), 2, 4,
         {QStringLiteral("current"), QStringLiteral("replace"), QStringLiteral("dry-run")},
         {QStringLiteral("code"), QStringLiteral("name"), QStringLiteral("remark"),
          QStringLiteral("encoding"), QStringLiteral("levels"), QStringLiteral("format")},
         QStringLiteral("templates list PATH | templates export PATH CODE FILE | "
                        "templates export PATH --current FILE | templates import PATH FILE "
                        "[--code CODE --name NAME] [--remark TEXT] [--encoding utf-8|gb18030|gbk] "
                        "[--levels 4-2-2] [--replace] [--dry-run] | templates remove PATH CODE "
                        "(FILE 的格式按 .csv/.json 结尾，或用 --format csv|json)"),
         QStringLiteral("科目模板：列出；导出为 CSV（只含科目，UTF-8 带 BOM，Excel 可直接打开）或 JSON"
                        "（科目、科目类别、报表模板和辅助核算全部）；--current 导出本账套当前的科目表；"
                        "从 CSV（UTF-8 或 GB18030/GBK，自动识别或用 --encoding 指定）或 JSON 导入为新模板："
                        "先逐行检查，有任何错误就按行列出、什么都不写入；没有上级科目列时按科目代码的"
                        "“.”分段或 --levels 级次长度（缺省 4-2-2-2-2-2）找上级；--dry-run 只显示科目树"
                        "和错误；已有的代码要加 --replace 才替换。删除时拒绝本账套参数中选定的模板。")},
        {QStringLiteral("cert"), 0, 0, {}, {QStringLiteral("out"), QStringLiteral("host")},
         QStringLiteral("cert --out DIR [--host NAME]..."),
         QStringLiteral("为 vexa-server 生成私钥 DIR/server.key（只有本用户可读写）和自签名证书 "
                        "DIR/server.crt（有效期 10 年），输出证书指纹；--host 是客户端连接时用的主机名"
                        "或 IP 地址，可以给多个，缺省为本机名和 localhost。已有的文件不会覆盖。")},
    };
    // clang-format on
    return infos;
}

struct CommandLine
{
    const CommandInfo *info = nullptr;
    QStringList positional;
    QMultiHash<QString, QString> options; // name -> value ("" for a flag); value(): the last
    bool help = false;
};

CommandLine parseCommandLine(const QStringList &args)
{
    CommandLine cl;
    for (const QString &a : args) {
        if (a == QLatin1String("--"))
            break;
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            cl.help = true;
            return cl;
        }
    }
    if (args.isEmpty())
        throw UsageError{QStringLiteral("缺少命令。")};
    for (const CommandInfo &s : commandInfos())
        if (s.name == args[0])
            cl.info = &s;
    if (!cl.info)
        throw UsageError{QStringLiteral("未知的命令“%1”。").arg(args[0])};
    // A set on a server takes the options of a connection as well.
    if (worksOverServer(cl.info->name) &&
        std::any_of(args.begin() + 1, args.end(),
                    [](const QString &a) { return isRemoteSet(a); })) {
        static QHash<QString, CommandInfo> remote;
        if (!remote.contains(cl.info->name)) {
            CommandInfo info = *cl.info;
            for (const QString &flag : remoteFlags())
                if (!info.flags.contains(flag))
                    info.flags.append(flag);
            for (const QString &option : remoteValued())
                if (!info.valued.contains(option))
                    info.valued.append(option);
            remote.insert(info.name, info);
        }
        cl.info = &remote[cl.info->name];
    }

    bool optionsEnded = false;
    for (int i = 1; i < args.size(); ++i) {
        const QString &a = args[i];
        if (optionsEnded || !a.startsWith(QLatin1String("--"))) {
            cl.positional.append(a);
            continue;
        }
        if (a == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        QString name = a.mid(2);
        QString value;
        const int eq = name.indexOf(QLatin1Char('='));
        if (eq >= 0) {
            value = name.mid(eq + 1);
            name.truncate(eq);
        }
        if (cl.info->flags.contains(name)) {
            if (eq >= 0)
                throw UsageError{QStringLiteral("选项“--%1”不带值。").arg(name), cl.info};
            cl.options.insert(name, QString());
        } else if (cl.info->valued.contains(name)) {
            if (eq < 0) {
                if (i + 1 >= args.size())
                    throw UsageError{QStringLiteral("选项“--%1”缺少值。").arg(name), cl.info};
                value = args[++i];
            }
            cl.options.insert(name, value);
        } else {
            throw UsageError{QStringLiteral("命令“%1”没有选项“--%2”。").arg(cl.info->name, name),
                             cl.info};
        }
    }
    if (cl.positional.size() < cl.info->minArgs)
        throw UsageError{QStringLiteral("命令“%1”缺少参数。").arg(cl.info->name), cl.info};
    if (cl.info->maxArgs >= 0 && cl.positional.size() > cl.info->maxArgs)
        throw UsageError{QStringLiteral("命令“%1”的参数过多。").arg(cl.info->name), cl.info};
    return cl;
}

// Terminal echo off while a password is typed. A signal that ends the program in the
// middle puts the terminal back first, or the shell would be left without echo.
class EchoOff
{
public:
    explicit EchoOff(bool terminal)
    {
        if (!terminal || tcgetattr(STDIN_FILENO, &s_saved) != 0)
            return;
        termios quiet = s_saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        quiet.c_lflag |= ECHONL; // the Enter key still moves to the next line
        m_oldInt = std::signal(SIGINT, restoreAndRaise);
        m_oldTerm = std::signal(SIGTERM, restoreAndRaise);
        m_oldQuit = std::signal(SIGQUIT, restoreAndRaise);
        m_active = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
        if (!m_active)
            restoreSignals();
    }
    ~EchoOff()
    {
        if (!m_active)
            return;
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &s_saved);
        restoreSignals();
    }
    EchoOff(const EchoOff &) = delete;
    EchoOff &operator=(const EchoOff &) = delete;

private:
    static void restoreAndRaise(int signal)
    {
        tcsetattr(STDIN_FILENO, TCSANOW, &s_saved);
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
    void restoreSignals()
    {
        std::signal(SIGINT, m_oldInt);
        std::signal(SIGTERM, m_oldTerm);
        std::signal(SIGQUIT, m_oldQuit);
    }

    static inline termios s_saved{};
    bool m_active = false;
    void (*m_oldInt)(int) = SIG_DFL;
    void (*m_oldTerm)(int) = SIG_DFL;
    void (*m_oldQuit)(int) = SIG_DFL;
};

struct Context
{
    QTextStream &out;
    QTextStream &err;
    QTextStream &in;
    const AdminOptions &options;

    // One line of input; nullopt at the end of input. On a terminal the prompt goes to
    // err and, for a secret, nothing typed is shown.
    std::optional<QString> readLine(const QString &prompt, bool secret = true)
    {
        if (options.terminalInput) {
            err << prompt;
            err.flush();
        }
        EchoOff quiet(secret && options.terminalInput);
        QString line;
        if (!in.readLineInto(&line))
            return std::nullopt;
        return line;
    }
    std::optional<QString> readSecret(const QString &prompt) { return readLine(prompt, true); }
};

// A new password: the password file's first line (--password-file), or typed twice.
QString readNewPassword(const CommandLine &cl, Context &cx, const QString &prompt)
{
    if (cl.options.contains(QStringLiteral("password-file")))
        return server::readPasswordFile(cl.options.value(QStringLiteral("password-file")));
    const std::optional<QString> first = cx.readSecret(prompt);
    if (!first)
        throw Error(QStringLiteral("没有从标准输入读到新密码。"));
    if (first->isEmpty())
        throw Error(QStringLiteral("密码不能为空。"));
    const std::optional<QString> second = cx.readSecret(QStringLiteral("再次输入新密码："));
    if (!second)
        throw Error(QStringLiteral("新密码要输入两遍，标准输入只有一遍。"));
    if (*first != *second)
        throw Error(QStringLiteral("两次输入的新密码不一致，密码未修改。"));
    return *first;
}

// --- formatting ------------------------------------------------------------------------
CellFormat formatOption(const CommandLine &cl)
{
    const QString name = cl.options.value(QStringLiteral("format"), QStringLiteral("table"));
    if (name == QLatin1String("table"))
        return CellFormat::Table;
    if (name == QLatin1String("csv"))
        return CellFormat::Csv;
    if (name == QLatin1String("json"))
        return CellFormat::Json;
    throw UsageError{QStringLiteral("未知的输出格式“%1”，可选 table、csv、json。").arg(name),
                     cl.info};
}

[[noreturn]] void sqlFailed(const QString &what, const QSqlQuery &q)
{
    throw Error(
        QStringLiteral("%1：%2").arg(what, server::databaseErrorText(q.lastError(), q.driver())));
}

// --- commands ---------------------------------------------------------------------------

// What create made: a file, or a PostgreSQL database (shown without its password).
QString createdText(const AppServer &server)
{
    if (!server::PostgresDialect::isLocation(server.path()))
        return QStringLiteral("已创建账套文件：%1").arg(server.path());
    return QStringLiteral("已创建账套数据库：%1")
        .arg(server::PostgresLocation::parse(server.path()).display());
}

int createCommand(const CommandLine &cl, Context &cx)
{
    const bool demo = cl.options.contains(QStringLiteral("demo"));
    // Said before anything is asked for.
    if (server::PostgresDialect::isLocation(cl.positional[0])) {
        const auto where = server::PostgresLocation::parse(cl.positional[0]);
        if (server::PostgresServer(where).exists(where.database))
            throw Error(QStringLiteral("账套数据库“%1”已存在。").arg(where.display()));
    } else if (QFileInfo::exists(cl.positional[0])) {
        throw Error(QStringLiteral("账套文件“%1”已存在。").arg(cl.positional[0]));
    }
    if (!demo) {
        server::Administrator admin;
        if (cl.options.contains(QStringLiteral("admin"))) {
            admin.userCode = cl.options.value(QStringLiteral("admin"));
        } else {
            const std::optional<QString> name =
                cx.readLine(QStringLiteral("管理员的登录名："), false);
            if (!name)
                throw Error(QStringLiteral("没有给出管理员的登录名（--admin NAME）。"));
            admin.userCode = *name;
        }
        // The name is checked before a password is asked for.
        const QString problem = server::userCodeProblem(admin.userCode);
        if (!problem.isEmpty())
            throw Error(problem);
        admin.password =
            readNewPassword(cl, cx, QStringLiteral("管理员“%1”的密码：").arg(admin.userCode));
        const auto server = AppServer::create(cl.positional[0], admin, cx.options.server);
        cx.out << createdText(*server) << '\n'
               << QStringLiteral("管理员：%1").arg(admin.userCode) << '\n';
        return ExitOk;
    }
    if (cl.options.contains(QStringLiteral("admin")) ||
        cl.options.contains(QStringLiteral("password-file")))
        throw UsageError{
            QStringLiteral("演示账套自带用户，--demo 不能与 --admin 或 --password-file "
                           "同用。"),
            cl.info};
    const auto server = AppServer::create(cl.positional[0], true, cx.options.server);
    cx.out << createdText(*server) << '\n';

    const auto connection = server->connect();
    const DataPacket users = connection->request(QStringLiteral("LX_SysUser"), QString());
    const int code = indexOfField(users.fields, QStringLiteral("UserCode"));
    const int name = indexOfField(users.fields, QStringLiteral("UserName"));
    cx.out << QStringLiteral("演示登录（登录名 / 密码）：") << '\n';
    for (const server::DemoLogin &login : server::kDemoLogins) {
        const QString userCode = QString::fromUtf8(login.userCode);
        QString userName;
        for (const QVariantList &row : users.rows)
            if (row.value(code).toString().compare(userCode, Qt::CaseInsensitive) == 0)
                userName = row.value(name).toString();
        cx.out << "  "
               << pad(userCode + QLatin1String(" / ") + QString::fromUtf8(login.password), 20,
                      false)
               << userName << '\n';
    }
    return ExitOk;
}

// Read commands open the set read-only: they work on a set nobody may write, and cannot
// change one by mistake.
AppServer::Options forReading(const Context &cx)
{
    AppServer::Options options = cx.options.server;
    options.readOnly = true;
    return options;
}

int queryCommand(const CommandLine &cl, Context &cx)
{
    const CellFormat format = formatOption(cl);
    const auto server = AppServer::open(cl.positional[0], forReading(cx));
    const auto connection = server->connect();
    const DataPacket packet = connection->request(cl.positional[1], cl.positional.value(2));
    writePacket(cx.out, packet, format);
    return ExitOk;
}

int callCommand(const CommandLine &cl, Context &cx)
{
    const auto server = AppServer::open(cl.positional[0], cx.options.server);
    const auto connection = server->connect();
    if (cl.options.contains(QStringLiteral("user"))) {
        const QString user = cl.options.value(QStringLiteral("user"));
        const std::optional<QString> password =
            cx.readSecret(QStringLiteral("用户“%1”的密码：").arg(user));
        if (!password)
            throw Error(QStringLiteral("没有从标准输入读到用户“%1”的密码。").arg(user));
        connection->login(user, *password);
    }

    QVariantList args;
    for (const QString &text : cl.positional.mid(2))
        args.append(argumentValue(text));
    const QVariantList before = args;
    const QVariant result = connection->call(cl.positional[1], args);

    if (!isNull(result))
        cx.out << variantText(result) << '\n';
    for (int i = 0; i < args.size(); ++i)
        if (args[i] != before.value(i))
            cx.out << QStringLiteral("参数 %1：%2").arg(i + 1).arg(variantText(args[i])) << '\n';

    // Some operations answer a failure with a negative number and leave the reason as the
    // connection's last error; this connection is new, so any last error is this call's.
    bool numeric = false;
    const qlonglong code = result.toLongLong(&numeric);
    if (numeric && code < 0 && !connection->lastError().isEmpty()) {
        cx.err << QStringLiteral("vexa-admin: %1").arg(connection->lastError()) << '\n';
        return ExitFailed;
    }
    return ExitOk;
}

int numberArgument(const CommandLine &cl, const QString &text, const QString &what)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n <= 0)
        throw UsageError{QStringLiteral("%1“%2”不是正整数。").arg(what, text), cl.info};
    return n;
}

void requireArguments(const CommandLine &cl, int count)
{
    if (cl.positional.size() != count)
        throw UsageError{
            QStringLiteral("“%1 %2”的参数个数不对。").arg(cl.info->name, cl.positional[1]),
            cl.info};
}

// A change to users, groups or rights: the set opened for writing, one transaction each.
struct UserChange
{
    std::unique_ptr<AppServer> server;
    std::unique_ptr<server::ServerConnection> connection;
    std::unique_ptr<server::UserAdmin> admin;

    UserChange(const QString &path, const Context &cx)
        : server(AppServer::open(path, cx.options.server)), connection(server->connect()),
          admin(std::make_unique<server::UserAdmin>(connection->database(), server->dialect(),
                                                    server->options().passwordCost))
    {}
};

int changeUser(const CommandLine &cl, Context &cx)
{
    const QString sub = cl.positional[1];
    static const QStringList subs = {QStringLiteral("add"),    QStringLiteral("disable"),
                                     QStringLiteral("enable"), QStringLiteral("remove"),
                                     QStringLiteral("rename"), QStringLiteral("group")};
    if (!subs.contains(sub))
        throw UsageError{QStringLiteral("users 没有子命令“%1”。").arg(sub), cl.info};
    UserChange change(cl.positional[0], cx);
    const QString login = cl.positional.value(2);
    if (sub == QLatin1String("add")) {
        requireArguments(cl, 3);
        if (!cl.options.contains(QStringLiteral("group")))
            throw UsageError{QStringLiteral("增加用户要用 --group 指定用户组。"), cl.info};
        server::UserAdmin::NewUser user;
        user.userCode = login;
        user.userName = cl.options.value(QStringLiteral("name"));
        user.group =
            numberArgument(cl, cl.options.value(QStringLiteral("group")), QStringLiteral("用户组"));
        user.manager = cl.options.contains(QStringLiteral("manager"));
        const QString problem = server::userCodeProblem(login);
        if (!problem.isEmpty())
            throw Error(problem);
        user.password = readNewPassword(cl, cx, QStringLiteral("用户“%1”的密码：").arg(login));
        change.admin->addUser(user);
        cx.out << QStringLiteral("已增加用户“%1”。").arg(login) << '\n';
    } else if (sub == QLatin1String("disable") || sub == QLatin1String("enable")) {
        requireArguments(cl, 3);
        const bool enable = sub == QLatin1String("enable");
        change.admin->setActive(login, enable);
        cx.out << (enable ? QStringLiteral("已启用用户“%1”。") : QStringLiteral("已停用用户“%1”。"))
                      .arg(login)
               << '\n';
    } else if (sub == QLatin1String("remove")) {
        requireArguments(cl, 3);
        switch (change.admin->removeUser(login)) {
        case server::UserAdmin::Removal::Removed:
            cx.out << QStringLiteral("已删除用户“%1”。").arg(login) << '\n';
            break;
        case server::UserAdmin::Removal::DisabledForData:
            cx.out << QStringLiteral("用户“%1”已用于凭证或附件，改为停用。").arg(login) << '\n';
            break;
        case server::UserAdmin::Removal::DisabledLoggedIn:
            cx.out << QStringLiteral("用户“%1”正在登录，改为停用。").arg(login) << '\n';
            break;
        }
    } else if (sub == QLatin1String("rename")) {
        requireArguments(cl, 4);
        change.admin->renameUser(login, cl.positional[3]);
        cx.out << QStringLiteral("用户“%1”的登录名已改为“%2”。").arg(login, cl.positional[3])
               << '\n';
    } else if (sub == QLatin1String("group")) {
        requireArguments(cl, 4);
        const int group = numberArgument(cl, cl.positional[3], QStringLiteral("用户组"));
        change.admin->setGroup(login, group);
        cx.out << QStringLiteral("用户“%1”已归入用户组 %2。").arg(login).arg(group) << '\n';
    } else {
        throw UsageError{QStringLiteral("users 没有子命令“%1”。").arg(sub), cl.info};
    }
    return ExitOk;
}

int groupsCommand(const CommandLine &cl, Context &cx)
{
    if (cl.positional.size() == 1) {
        const auto server = AppServer::open(cl.positional[0], forReading(cx));
        const auto connection = server->connect();
        QSqlQuery q(connection->database());
        if (!q.exec(QStringLiteral(
                "SELECT g.UserGroup, g.GroupName, (SELECT COUNT(*) FROM SysUser u WHERE "
                "u.UserGroup = g.UserGroup), (SELECT COUNT(*) FROM SysCheckRight r WHERE "
                "r.UserGroup = g.UserGroup) FROM SysUserGroup g ORDER BY g.UserGroup")))
            sqlFailed(QStringLiteral("无法读取用户组"), q);
        std::vector<QStringList> rows;
        while (q.next())
            rows.push_back({q.value(0).toString(), tableCell(q.value(1).toString()),
                            q.value(2).toString(), q.value(3).toString()});
        writeTable(cx.out,
                   {QStringLiteral("编号"), QStringLiteral("名称"), QStringLiteral("用户数"),
                    QStringLiteral("权限数")},
                   rows, {true, false, true, true});
        return ExitOk;
    }
    const QString sub = cl.positional[1];
    if (sub != QLatin1String("add") && sub != QLatin1String("remove"))
        throw UsageError{QStringLiteral("groups 没有子命令“%1”。").arg(sub), cl.info};
    UserChange change(cl.positional[0], cx);
    if (sub == QLatin1String("add")) {
        requireArguments(cl, 3);
        const int group = change.admin->addGroup(cl.positional[2]);
        cx.out << QStringLiteral("已增加用户组 %1“%2”。").arg(group).arg(cl.positional[2].trimmed())
               << '\n';
    } else if (sub == QLatin1String("remove")) {
        requireArguments(cl, 3);
        const int group = numberArgument(cl, cl.positional[2], QStringLiteral("用户组"));
        change.admin->removeGroup(group);
        cx.out << QStringLiteral("已删除用户组 %1。").arg(group) << '\n';
    } else {
        throw UsageError{QStringLiteral("groups 没有子命令“%1”。").arg(sub), cl.info};
    }
    return ExitOk;
}

int rightsCommand(const CommandLine &cl, Context &cx)
{
    const int group = numberArgument(cl, cl.positional[1], QStringLiteral("用户组"));
    if (cl.positional.size() == 2) {
        const auto server = AppServer::open(cl.positional[0], forReading(cx));
        const auto connection = server->connect();
        const server::UserAdmin admin(connection->database(), server->dialect(),
                                      server->options().passwordCost);
        std::vector<QStringList> rows;
        for (const server::UserAdmin::Right &r : admin.rights(group))
            rows.push_back({QString::number(r.objType), tableCell(r.objName), levelName(r.level)});
        writeTable(cx.out,
                   {QStringLiteral("对象类型"), QStringLiteral("名称"), QStringLiteral("权限")},
                   rows, {true, false, false});
        return ExitOk;
    }
    const QString sub = cl.positional[2];
    if (sub != QLatin1String("grant") && sub != QLatin1String("revoke"))
        throw UsageError{QStringLiteral("rights 没有子命令“%1”。").arg(sub), cl.info};
    UserChange change(cl.positional[0], cx);
    if (sub == QLatin1String("grant")) {
        if (cl.positional.size() != 5)
            throw UsageError{QStringLiteral("“rights … grant”要给对象类型和权限级别。"), cl.info};
        const int objType = numberArgument(cl, cl.positional[3], QStringLiteral("对象类型"));
        int level = 0;
        for (int l : {1, 2, 3})
            if (cl.positional[4] == QString::number(l) || cl.positional[4] == levelName(l))
                level = l;
        if (level == 0)
            throw UsageError{QStringLiteral("权限级别“%1”应为 1（完全）、2（浏览）或 3（修改）。")
                                 .arg(cl.positional[4]),
                             cl.info};
        change.admin->grant(group, objType, level);
        cx.out << QStringLiteral("用户组 %1 对对象类型 %2 的权限：%3。")
                      .arg(group)
                      .arg(objType)
                      .arg(levelName(level))
               << '\n';
    } else if (sub == QLatin1String("revoke")) {
        if (cl.positional.size() != 4)
            throw UsageError{QStringLiteral("“rights … revoke”要给对象类型。"), cl.info};
        const int objType = numberArgument(cl, cl.positional[3], QStringLiteral("对象类型"));
        change.admin->revoke(group, objType);
        cx.out << QStringLiteral("已收回用户组 %1 对对象类型 %2 的权限。").arg(group).arg(objType)
               << '\n';
    } else {
        throw UsageError{QStringLiteral("rights 没有子命令“%1”。").arg(sub), cl.info};
    }
    return ExitOk;
}

int usersCommand(const CommandLine &cl, Context &cx)
{
    if (cl.positional.size() > 1)
        return changeUser(cl, cx);
    const auto server = AppServer::open(cl.positional[0], forReading(cx));
    const auto connection = server->connect();
    // LX_SysUser reads a view without the password hash.
    const DataPacket packet =
        connection->request(QStringLiteral("LX_SysUser"), QStringLiteral("ORDER BY UserCode"));
    auto column = [&](const char *name) {
        const int i = indexOfField(packet.fields, QString::fromLatin1(name));
        if (i < 0)
            throw Error(QStringLiteral("提供者 LX_SysUser 缺少列“%1”。").arg(QLatin1String(name)));
        return i;
    };
    const int code = column("UserCode"), name = column("UserName"), group = column("UserGroup"),
              manager = column("Manager"), active = column("Active");
    const QString yes = QStringLiteral("是"), no = QStringLiteral("否");

    std::vector<QStringList> rows;
    for (const QVariantList &row : packet.rows) {
        // A user without an Active value may log in (the server's rule), so it shows 是.
        const QVariant a = row.value(active);
        rows.push_back({tableCell(row.value(code).toString()),
                        tableCell(row.value(name).toString()), variantText(row.value(group)),
                        row.value(manager).toBool() ? yes : no,
                        isNull(a) || a.toBool() ? yes : no});
    }
    writeTable(cx.out,
               {QStringLiteral("登录名"), QStringLiteral("姓名"), QStringLiteral("用户组"),
                QStringLiteral("管理员"), QStringLiteral("启用")},
               rows, {false, false, true, false, false});
    return ExitOk;
}

int passwdCommand(const CommandLine &cl, Context &cx)
{
    const auto server = AppServer::open(cl.positional[0], cx.options.server);
    const auto connection = server->connect();
    QSqlDatabase db = connection->database();

    const QString user = cl.positional[1].trimmed();
    QString userCode;
    {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT UserCode FROM SysUser WHERE ") +
                  server->dialect().equalsIgnoringCase(QStringLiteral("UserCode")));
        q.addBindValue(user);
        if (!q.exec())
            sqlFailed(QStringLiteral("无法读取用户"), q);
        if (!q.next())
            throw Error(QStringLiteral("用户“%1”不存在。").arg(user));
        userCode = q.value(0).toString();
    }

    // The administrator's repair path: no old password is asked for.
    const QString hash = server::hashPassword(
        readNewPassword(cl, cx, QStringLiteral("用户“%1”的新密码：").arg(userCode)),
        server->options().passwordCost);
    QSqlQuery u(db);
    u.prepare(QStringLiteral("UPDATE SysUser SET PasswordHash = ? WHERE ") +
              server->dialect().equalsIgnoringCase(QStringLiteral("UserCode")));
    u.addBindValue(hash);
    u.addBindValue(userCode);
    if (!u.exec())
        sqlFailed(QStringLiteral("无法保存新密码"), u);
    if (u.numRowsAffected() != 1)
        throw Error(QStringLiteral("用户“%1”不存在。").arg(user));
    // A reset is also how an administrator lets a locked-out user back in.
    server::LoginGuard(db, server->dialect(), server->options().login, true, false).clear(userCode);
    cx.out << QStringLiteral("已修改用户“%1”的密码。").arg(userCode) << '\n';
    return ExitOk;
}

// Where a set is, for what the commands print: its file, or its database without password.
QString whereText(const QString &location)
{
    if (server::PostgresDialect::isLocation(location))
        return server::PostgresLocation::parse(location).display();
    return QFileInfo(location).absoluteFilePath();
}

int infoCommand(const CommandLine &cl, Context &cx)
{
    const QString &set = cl.positional[0];
    const QStringList cells = summaryCells(server::summarizeSet(set, cx.options.server));
    QStringList labels = summaryLabels();
    if (server::PostgresDialect::isLocation(set)) {
        cx.out << QStringLiteral("账套数据库：%1").arg(whereText(set)) << '\n';
        labels.last() = QStringLiteral("数据库大小");
    } else {
        cx.out << QStringLiteral("账套文件：%1").arg(whereText(set)) << '\n';
    }
    for (int i = 0; i < cells.size(); ++i)
        cx.out << labels[i] << QStringLiteral("：") << cells[i] << '\n';
    return ExitOk;
}

int listCommand(const CommandLine &cl, Context &cx)
{
    const CellFormat format = formatOption(cl);
    const QDir folder(cl.positional[0]);
    if (!folder.exists())
        throw Error(QStringLiteral("文件夹“%1”不存在。").arg(cl.positional[0]));
    DataPacket packet;
    for (const QString &label : QStringList{QStringLiteral("文件")} + summaryLabels())
        packet.fields.append(FieldDef{label, FieldType::String});
    for (const QString &name : folder.entryList(QDir::Files, QDir::Name)) {
        const QString path = folder.filePath(name);
        if (!server::SqliteDialect::isDatabaseFile(path))
            continue;
        try {
            QVariantList row{name};
            for (const QString &cell : summaryCells(server::summarizeSet(path, cx.options.server)))
                row.append(cell);
            packet.rows.push_back(row);
        } catch (const Error &) {
            // A database of something else, or a set this program cannot open: not listed.
        }
    }
    writePacket(cx.out, packet, format);
    return ExitOk;
}

int checkCommand(const CommandLine &cl, Context &cx)
{
    const QStringList problems = server::checkSet(cl.positional[0], cx.options.server);
    for (const QString &p : problems)
        cx.out << p << '\n';
    if (!problems.isEmpty()) {
        cx.err << QStringLiteral("vexa-admin: 检查发现 %1 个问题。").arg(problems.size()) << '\n';
        return ExitFailed;
    }
    cx.out << QStringLiteral("检查通过。") << '\n';
    return ExitOk;
}

int backupCommand(const CommandLine &cl, Context &cx)
{
    const server::BackupReport report =
        server::backupSet(cl.positional[0], cl.positional[1], cx.options.server);
    cx.out << QStringLiteral("已备份到：%1").arg(QFileInfo(cl.positional[1]).absoluteFilePath())
           << '\n';
    if (report.files > 0)
        cx.out << QStringLiteral("附件文件 %1 个，在：%2")
                      .arg(report.files)
                      .arg(server::backupFilesFolder(cl.positional[1]))
               << '\n';
    for (const QString &name : report.missingFiles)
        cx.err << QStringLiteral("vexa-admin: 附件文件 %1 在账套的附件文件夹中找不到，没有备份。")
                      .arg(name)
               << '\n';
    return ExitOk;
}

int restoreCommand(const CommandLine &cl, Context &cx)
{
    server::restoreSet(cl.positional[0], cl.positional[1],
                       cl.options.contains(QStringLiteral("force")), cx.options.server);
    cx.out << QStringLiteral("已恢复到：%1").arg(whereText(cl.positional[1])) << '\n';
    return ExitOk;
}

int dumpCommand(const CommandLine &cl, Context &cx)
{
    const auto server = AppServer::open(cl.positional[0], forReading(cx));
    const DataPacket packet = server->connect()->tableRows(cl.positional[1]);
    writePacket(cx.out, packet, CellFormat::Csv);
    return ExitOk;
}

// The operation log, oldest first, filtered by user, dates and words.
int logCommand(const CommandLine &cl, Context &cx)
{
    QStringList where;
    QVariantList binds;
    const QString user = cl.options.value(QStringLiteral("user")).trimmed();
    if (!user.isEmpty()) {
        where << QStringLiteral("(UserName = ? OR UserID IN (SELECT UserID FROM SysUser "
                                "WHERE UserCode = ?))");
        binds << user << user;
    }
    const auto day = [&](const char *option) {
        const QString text = cl.options.value(QLatin1String(option)).trimmed();
        const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
        if (!text.isEmpty() && !date.isValid())
            throw UsageError{QStringLiteral("--%1 的日期“%2”无效，请写成 yyyy-MM-dd。")
                                 .arg(QLatin1String(option), text),
                             cl.info};
        return date;
    };
    // LogTime is text "yyyy-MM-dd HH:mm:ss.zzz": whole days compare as text.
    if (const QDate from = day("from"); from.isValid()) {
        where << QStringLiteral("LogTime >= ?");
        binds << from.toString(Qt::ISODate);
    }
    if (const QDate to = day("to"); to.isValid()) {
        where << QStringLiteral("LogTime < ?");
        binds << to.addDays(1).toString(Qt::ISODate);
    }
    for (const QString &word :
         cl.options.value(QStringLiteral("text")).split(u' ', Qt::SkipEmptyParts)) {
        where << QStringLiteral("(Action LIKE ? OR ObjKey LIKE ? OR Detail LIKE ?)");
        const QString pattern = QLatin1Char('%') + word + QLatin1Char('%');
        binds << pattern << pattern << pattern;
    }
    const auto server = AppServer::open(cl.positional[0], forReading(cx));
    const auto connection = server->connect();
    QSqlQuery q(connection->database());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT LogTime, UserName, Machine, Action, ObjType, ObjKey, Detail "
                             "FROM OperationLog%1 ORDER BY LogTime, LogID")
                  .arg(where.isEmpty()
                           ? QString()
                           : QStringLiteral(" WHERE ") + where.join(QLatin1String(" AND "))));
    for (int i = 0; i < binds.size(); ++i)
        q.bindValue(i, binds[i]);
    if (!q.exec())
        throw Error(QStringLiteral("无法读取操作日志：%1").arg(q.lastError().text()));
    const auto objectName = [](int type) {
        switch (type) {
        case 2101:
            return QStringLiteral("凭证");
        case 2001:
            return QStringLiteral("科目");
        case 2007:
            return QStringLiteral("期初余额");
        default:
            return QString::number(type);
        }
    };
    int count = 0;
    while (q.next()) {
        // One entry, one line: a line break inside a detail would split it.
        QString detail = q.value(6).toString();
        detail.replace(u'\n', u' ');
        cx.out << q.value(0).toString() << "  " << q.value(1).toString() << "  "
               << q.value(2).toString() << "  " << q.value(3).toString() << "  "
               << objectName(q.value(4).toInt()) << ' ' << q.value(5).toString() << "  " << detail
               << '\n';
        ++count;
    }
    if (count == 0)
        cx.err << QStringLiteral("没有符合条件的操作日志。") << '\n';
    return ExitOk;
}

int templatesCommandLine(const CommandLine &cl, Context &cx)
{
    try {
        return templatesCommand(cl.positional, cl.options, cx.out, cx.err, cx.options.server);
    } catch (const TemplateUsageError &e) {
        throw UsageError{e.message, cl.info};
    }
}

int certCommand(const CommandLine &cl, Context &cx)
{
    const QString dir = cl.options.value(QStringLiteral("out"));
    if (dir.isEmpty())
        throw UsageError{QStringLiteral("请用 --out 指定写入私钥和证书的文件夹。"), cl.info};
    QStringList hosts = cl.options.values(QStringLiteral("host"));
    std::reverse(hosts.begin(), hosts.end()); // in the order given
    if (hosts.isEmpty())
        hosts = QStringList{QSysInfo::machineHostName(), QStringLiteral("localhost")};
    hosts.removeAll(QString());
    hosts.removeDuplicates();
    const QString fingerprint = net::Certificates::writeFiles(dir, hosts);
    const QDir folder(dir);
    cx.out << QStringLiteral("私钥：%1（只有本用户可读写，请妥善保管）\n")
                  .arg(folder.filePath(QStringLiteral("server.key")))
           << QStringLiteral("证书：%1，适用于 %2\n")
                  .arg(folder.filePath(QStringLiteral("server.crt")),
                       hosts.join(QStringLiteral("、")))
           << QStringLiteral("证书指纹（SHA-256）：%1\n").arg(fingerprint);
    return ExitOk;
}

// A command on a set served by vexa-server (vexa://HOST[:PORT]/SET).
int remoteCommand(const CommandLine &cl, Context &cx)
{
    if (!worksOverServer(cl.info->name) || !isRemoteSet(cl.positional[0]))
        throw Error(
            QStringLiteral("“%1”要在账套所在的服务器上运行：请在那台机器上用账套文件的路径执行 "
                           "vexa-admin %1 …。")
                .arg(cl.info->name));
    RemoteCommand command{cl.info->name, cl.positional, cl.options,
                          cl.info->name == QLatin1String("query") ? formatOption(cl)
                                                                  : CellFormat::Table};
    RemoteIO io{cx.out, cx.err,
                [&cx](const QString &prompt, bool secret) { return cx.readLine(prompt, secret); },
                cx.options.terminalInput, cx.options.networkTimeoutMs};
    try {
        return runRemote(command, io);
    } catch (const RemoteUsageError &e) {
        throw UsageError{e.message, cl.info};
    }
}

} // namespace

QString usageText()
{
    QString text = kUsageLine + QLatin1String("\n\n");
    for (const CommandInfo &s : commandInfos())
        text += QStringLiteral("  vexa-admin %1\n      %2\n").arg(s.synopsis, s.summary);
    text += QStringLiteral(
        "\nquery、call、users、groups、rights、passwd 和 info 的 PATH 也可以是 vexa-server "
        "上的账套，"
        "写成 vexa://主机[:端口]/账套名；要用 --user 登录（密码取自 --password-file 或标准输入），"
        "--insecure 用于以 --insecure 运行的服务器，--ca FILE 给出签发服务器证书的 CA。\n");
    text += QStringLiteral("\n退出状态：0 成功，1 失败，2 命令行有误。\n");
    return text;
}

int runAdmin(const QStringList &args, QTextStream &out, QTextStream &err, QTextStream &in,
             const AdminOptions &options)
{
    Context cx{out, err, in, options};
    try {
        const CommandLine cl = parseCommandLine(args);
        if (cl.help) {
            out << usageText();
            return ExitOk;
        }
        const QString &name = cl.info->name;
        // The set's place: the first argument; restore's target and backup's copy second.
        const bool secondIsPlace = name == QLatin1String("restore") ||
                                   name == QLatin1String("backup") ||
                                   name == QLatin1String("templates");
        if (isRemoteSet(cl.positional.value(0)) ||
            (secondIsPlace && isRemoteSet(cl.positional.value(1))))
            return remoteCommand(cl, cx);
        if (name == QLatin1String("create"))
            return createCommand(cl, cx);
        if (name == QLatin1String("query"))
            return queryCommand(cl, cx);
        if (name == QLatin1String("call"))
            return callCommand(cl, cx);
        if (name == QLatin1String("users"))
            return usersCommand(cl, cx);
        if (name == QLatin1String("passwd"))
            return passwdCommand(cl, cx);
        if (name == QLatin1String("groups"))
            return groupsCommand(cl, cx);
        if (name == QLatin1String("rights"))
            return rightsCommand(cl, cx);
        if (name == QLatin1String("info"))
            return infoCommand(cl, cx);
        if (name == QLatin1String("list"))
            return listCommand(cl, cx);
        if (name == QLatin1String("check"))
            return checkCommand(cl, cx);
        if (name == QLatin1String("backup"))
            return backupCommand(cl, cx);
        if (name == QLatin1String("restore"))
            return restoreCommand(cl, cx);
        if (name == QLatin1String("cert"))
            return certCommand(cl, cx);
        if (name == QLatin1String("templates"))
            return templatesCommandLine(cl, cx);
        if (name == QLatin1String("log"))
            return logCommand(cl, cx);
        return dumpCommand(cl, cx);
    } catch (const UsageError &e) {
        err << QStringLiteral("vexa-admin: %1").arg(e.message) << '\n' << kUsageLine << '\n';
        if (e.command)
            err << QStringLiteral("      vexa-admin %1").arg(e.command->synopsis) << '\n';
        return ExitUsage;
    } catch (const Error &e) {
        err << QStringLiteral("vexa-admin: %1").arg(e.message()) << '\n';
        return ExitFailed;
    } catch (const std::exception &e) {
        err << QStringLiteral("vexa-admin: %1").arg(errorText(e)) << '\n';
        return ExitFailed;
    }
}

} // namespace vexa::admin
