#include "AdminRemote.h"

#include "AdminCommands.h"

#include "NetConnection.h"
#include "UserAdmin.h"

#include <vexa/Error.h>

namespace vexa::admin {

namespace {

const QString kScheme = QStringLiteral("vexa://");

int positiveNumber(const QString &text, const QString &what)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n <= 0)
        throw RemoteUsageError{QStringLiteral("%1“%2”不是正整数。").arg(what, text)};
    return n;
}

void requireCount(const RemoteCommand &c, int count)
{
    if (c.positional.size() != count)
        throw RemoteUsageError{
            QStringLiteral("“%1 %2”的参数个数不对。").arg(c.name, c.positional.value(1))};
}

QString yesNo(bool value)
{
    return value ? QStringLiteral("是") : QStringLiteral("否");
}

// A logged-in connection to the set.
class Session
{
public:
    Session(const RemoteCommand &command, RemoteIO &io) : m_io(io)
    {
        const RemoteSet where = parseRemoteSet(command.positional[0]);
        const QString user = command.options.value(QStringLiteral("user"));
        if (user.isEmpty())
            throw RemoteUsageError{
                QStringLiteral("服务器上的账套要登录：请用 --user 给出登录名。")};
        // Read before connecting: a server waits for nobody's typing.
        QString password;
        if (command.options.contains(QStringLiteral("password-file"))) {
            password =
                server::readPasswordFile(command.options.value(QStringLiteral("password-file")));
        } else {
            const std::optional<QString> typed =
                io.readLine(QStringLiteral("用户“%1”的密码：").arg(user), true);
            if (!typed)
                throw Error(QStringLiteral("没有从标准输入读到用户“%1”的密码。").arg(user));
            password = *typed;
        }
        m_connection =
            std::make_unique<net::NetConnection>(where.address, security(command), io.timeoutMs);
        m_connection->login(where.set, user, password);
        password.fill(QChar(0));
    }
    ~Session()
    {
        try {
            m_connection->logout();
        } catch (const Error &) {
            // The server went first; nothing left to end.
        }
    }

    net::NetConnection &operator*() { return *m_connection; }
    net::NetConnection *operator->() { return m_connection.get(); }

    QVariant call(const char *operation, QVariantList args = {})
    {
        return m_connection->call(QString::fromLatin1(operation), args);
    }
    DataPacket packet(const char *operation, QVariantList args = {})
    {
        return readDataPacket(call(operation, std::move(args)).toString());
    }

private:
    net::ClientSecurity security(const RemoteCommand &command)
    {
        if (command.options.contains(QStringLiteral("insecure")))
            return net::ClientSecurity::plainTcp();
        net::ClientSecurity s;
        s.caFile = command.options.value(QStringLiteral("ca"));
        // A new server is trusted only by a person at a terminal who compared the
        // fingerprint; a script gets a refusal.
        if (m_io.terminal) {
            s.trustNewServer = [this](const QString &server, const QString &fingerprint) {
                m_io.err << QStringLiteral("第一次连接服务器 %1，证书指纹（SHA-256）：\n  %2\n"
                                           "请向服务器的管理员核对。")
                                .arg(server, fingerprint)
                         << '\n';
                const std::optional<QString> answer =
                    m_io.readLine(QStringLiteral("信任并连接？（输入 yes 信任，其他取消）"), false);
                return answer &&
                       answer->trimmed().compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0;
            };
        }
        return s;
    }

    RemoteIO &m_io;
    std::unique_ptr<net::NetConnection> m_connection;
};

// A new password over a server: read twice from standard input (--password-file is the
// login's password there).
QString newPassword(RemoteIO &io, const QString &prompt)
{
    const std::optional<QString> first = io.readLine(prompt, true);
    if (!first)
        throw Error(QStringLiteral("没有从标准输入读到新密码。"));
    if (first->isEmpty())
        throw Error(QStringLiteral("密码不能为空。"));
    const std::optional<QString> second = io.readLine(QStringLiteral("再次输入新密码："), true);
    if (!second)
        throw Error(QStringLiteral("新密码要输入两遍，标准输入只有一遍。"));
    if (*first != *second)
        throw Error(QStringLiteral("两次输入的新密码不一致，密码未修改。"));
    return *first;
}

int query(const RemoteCommand &c, RemoteIO &io)
{
    Session s(c, io);
    writePacket(io.out, s->request(c.positional[1], c.positional.value(2)), c.format);
    return ExitOk;
}

int call(const RemoteCommand &c, RemoteIO &io)
{
    Session s(c, io);
    QVariantList args;
    for (const QString &text : c.positional.mid(2))
        args.append(argumentValue(text));
    const QVariantList before = args;
    const QVariant result = s->call(c.positional[1], args);
    if (!isNull(result))
        io.out << variantText(result) << '\n';
    for (int i = 0; i < args.size(); ++i)
        if (args[i] != before.value(i))
            io.out << QStringLiteral("参数 %1：%2").arg(i + 1).arg(variantText(args[i])) << '\n';
    // A negative number is a failure whose reason is the session's last error.
    bool numeric = false;
    const qlonglong code = result.toLongLong(&numeric);
    if (numeric && code < 0) {
        const QString reason = s->lastError();
        if (!reason.isEmpty()) {
            io.err << QStringLiteral("vexa-admin: %1").arg(reason) << '\n';
            return ExitFailed;
        }
    }
    return ExitOk;
}

int listUsers(Session &s, RemoteIO &io)
{
    const DataPacket p = s.packet("GetUsers");
    const PacketColumns column{p};
    const int code = column("UserCode"), name = column("UserName"), group = column("UserGroup"),
              manager = column("Manager"), active = column("Active");
    std::vector<QStringList> rows;
    for (const QVariantList &row : p.rows)
        rows.push_back({tableCell(row[code].toString()), tableCell(row[name].toString()),
                        variantText(row[group]), yesNo(row[manager].toBool()),
                        yesNo(row[active].toBool())});
    writeTable(io.out,
               {QStringLiteral("登录名"), QStringLiteral("姓名"), QStringLiteral("用户组"),
                QStringLiteral("管理员"), QStringLiteral("启用")},
               rows, {false, false, true, false, false});
    return ExitOk;
}

int users(const RemoteCommand &c, RemoteIO &io)
{
    const QString sub = c.positional.value(1);
    static const QStringList subs = {QStringLiteral("add"), QStringLiteral("disable"),
                                     QStringLiteral("enable"), QStringLiteral("remove")};
    if (!sub.isEmpty() && !subs.contains(sub)) {
        if (sub == QLatin1String("rename") || sub == QLatin1String("group"))
            throw Error(
                QStringLiteral("“users %1”不能通过服务器做：请在服务器所在的机器上用账套文件"
                               "的路径运行 vexa-admin users PATH %1 …。")
                    .arg(sub));
        throw RemoteUsageError{QStringLiteral("users 没有子命令“%1”。").arg(sub)};
    }
    if (sub == QLatin1String("add")) {
        requireCount(c, 3);
        if (!c.options.contains(QStringLiteral("group")))
            throw RemoteUsageError{QStringLiteral("增加用户要用 --group 指定用户组。")};
    } else if (!sub.isEmpty()) {
        requireCount(c, 3);
    }
    const int group =
        sub == QLatin1String("add")
            ? positiveNumber(c.options.value(QStringLiteral("group")), QStringLiteral("用户组"))
            : 0;
    Session s(c, io);
    if (sub.isEmpty())
        return listUsers(s, io);
    const QString login = c.positional[2];
    if (sub == QLatin1String("add")) {
        const QString problem = server::userCodeProblem(login);
        if (!problem.isEmpty())
            throw Error(problem);
        const QString password = newPassword(io, QStringLiteral("用户“%1”的密码：").arg(login));
        s.call("AddUser", {login, c.options.value(QStringLiteral("name")), group,
                           c.options.contains(QStringLiteral("manager")), password});
        io.out << QStringLiteral("已增加用户“%1”。").arg(login) << '\n';
    } else if (sub == QLatin1String("remove")) {
        switch (server::UserAdmin::Removal(s.call("RemoveUser", {login}).toInt())) {
        case server::UserAdmin::Removal::Removed:
            io.out << QStringLiteral("已删除用户“%1”。").arg(login) << '\n';
            break;
        case server::UserAdmin::Removal::DisabledForData:
            io.out << QStringLiteral("用户“%1”已用于凭证或附件，改为停用。").arg(login) << '\n';
            break;
        case server::UserAdmin::Removal::DisabledLoggedIn:
            io.out << QStringLiteral("用户“%1”正在登录，改为停用。").arg(login) << '\n';
            break;
        }
    } else {
        const bool enable = sub == QLatin1String("enable");
        s.call("SetUserActive", {login, enable});
        io.out << (enable ? QStringLiteral("已启用用户“%1”。") : QStringLiteral("已停用用户“%1”。"))
                      .arg(login)
               << '\n';
    }
    return ExitOk;
}

int groups(const RemoteCommand &c, RemoteIO &io)
{
    const QString sub = c.positional.value(1);
    if (!sub.isEmpty() && sub != QLatin1String("add") && sub != QLatin1String("remove"))
        throw RemoteUsageError{QStringLiteral("groups 没有子命令“%1”。").arg(sub)};
    if (!sub.isEmpty())
        requireCount(c, 3);
    const int removed = sub == QLatin1String("remove")
                            ? positiveNumber(c.positional[2], QStringLiteral("用户组"))
                            : 0;
    Session s(c, io);
    if (sub.isEmpty()) {
        const DataPacket p = s.packet("GetUserGroups");
        const PacketColumns column{p};
        const int group = column("UserGroup"), name = column("GroupName"), count = column("Users");
        std::vector<QStringList> rows;
        for (const QVariantList &row : p.rows) {
            // The server lists every object type with the group's level, 0 for none.
            const DataPacket rights = s.packet("GetGroupRights", {row[group].toInt()});
            const int level = PacketColumns{rights}("RightValue");
            int granted = 0;
            for (const QVariantList &r : rights.rows)
                granted += r[level].toInt() > 0 ? 1 : 0;
            rows.push_back({variantText(row[group]), tableCell(row[name].toString()),
                            variantText(row[count]), QString::number(granted)});
        }
        writeTable(io.out,
                   {QStringLiteral("编号"), QStringLiteral("名称"), QStringLiteral("用户数"),
                    QStringLiteral("权限数")},
                   rows, {true, false, true, true});
        return ExitOk;
    }
    if (sub == QLatin1String("add")) {
        const int group = s.call("AddUserGroup", {c.positional[2]}).toInt();
        io.out << QStringLiteral("已增加用户组 %1“%2”。").arg(group).arg(c.positional[2].trimmed())
               << '\n';
    } else {
        s.call("RemoveUserGroup", {removed});
        io.out << QStringLiteral("已删除用户组 %1。").arg(removed) << '\n';
    }
    return ExitOk;
}

int rights(const RemoteCommand &c, RemoteIO &io)
{
    const int group = positiveNumber(c.positional[1], QStringLiteral("用户组"));
    const QString sub = c.positional.value(2);
    int objType = 0;
    int level = 0;
    if (sub == QLatin1String("grant")) {
        if (c.positional.size() != 5)
            throw RemoteUsageError{QStringLiteral("“rights … grant”要给对象类型和权限级别。")};
        objType = positiveNumber(c.positional[3], QStringLiteral("对象类型"));
        for (int l : {1, 2, 3})
            if (c.positional[4] == QString::number(l) || c.positional[4] == levelName(l))
                level = l;
        if (level == 0)
            throw RemoteUsageError{
                QStringLiteral("权限级别“%1”应为 1（完全）、2（浏览）或 3（修改）。")
                    .arg(c.positional[4])};
    } else if (sub == QLatin1String("revoke")) {
        if (c.positional.size() != 4)
            throw RemoteUsageError{QStringLiteral("“rights … revoke”要给对象类型。")};
        objType = positiveNumber(c.positional[3], QStringLiteral("对象类型"));
    } else if (!sub.isEmpty()) {
        throw RemoteUsageError{QStringLiteral("rights 没有子命令“%1”。").arg(sub)};
    }
    Session s(c, io);
    if (sub.isEmpty()) {
        const DataPacket p = s.packet("GetGroupRights", {group});
        const PacketColumns column{p};
        const int type = column("ObjType"), name = column("ObjName"), value = column("RightValue");
        std::vector<QStringList> rows;
        for (const QVariantList &row : p.rows)
            if (row[value].toInt() > 0)
                rows.push_back({variantText(row[type]), tableCell(row[name].toString()),
                                levelName(row[value].toInt())});
        writeTable(io.out,
                   {QStringLiteral("对象类型"), QStringLiteral("名称"), QStringLiteral("权限")},
                   rows, {true, false, false});
    } else if (sub == QLatin1String("grant")) {
        s.call("GrantRight", {group, objType, level});
        io.out << QStringLiteral("用户组 %1 对对象类型 %2 的权限：%3。")
                      .arg(group)
                      .arg(objType)
                      .arg(levelName(level))
               << '\n';
    } else {
        s.call("RevokeRight", {group, objType});
        io.out << QStringLiteral("已收回用户组 %1 对对象类型 %2 的权限。").arg(group).arg(objType)
               << '\n';
    }
    return ExitOk;
}

int passwd(const RemoteCommand &c, RemoteIO &io)
{
    Session s(c, io);
    const QString user = c.positional[1].trimmed();
    const QString password = newPassword(io, QStringLiteral("用户“%1”的新密码：").arg(user));
    s.call("ResetUserPassword", {user, password});
    io.out << QStringLiteral("已修改用户“%1”的密码。").arg(user) << '\n';
    return ExitOk;
}

int info(const RemoteCommand &c, RemoteIO &io)
{
    Session s(c, io);
    const DataPacket p = s.packet("GetSetInfo");
    if (p.rows.empty())
        throw Error(QStringLiteral("服务器没有回答账套的信息。"));
    const PacketColumns column{p};
    const QVariantList &row = p.rows[0];
    server::SetSummary summary;
    summary.company = row[column("Company")].toString();
    summary.chartTemplate = row[column("ChartTemplate")].toString();
    summary.startPeriod = row[column("StartPeriod")].toString();
    summary.enabled = row[column("Enabled")].toBool();
    summary.schemaVersion = row[column("SchemaVersion")].toInt();
    summary.users = row[column("Users")].toInt();
    summary.activeUsers = row[column("ActiveUsers")].toInt();
    summary.bytes = row[column("Bytes")].toLongLong();
    io.out << QStringLiteral("账套：%1").arg(c.positional[0]) << '\n';
    const QStringList cells = summaryCells(summary);
    for (int i = 0; i < cells.size(); ++i)
        io.out << summaryLabels()[i] << QStringLiteral("：") << cells[i] << '\n';
    if (row[column("ReadOnly")].toBool())
        io.out << QStringLiteral("只读：是") << '\n';
    return ExitOk;
}

// The same lines and exit status as check on the server's machine.
int check(const RemoteCommand &c, RemoteIO &io)
{
    Session s(c, io);
    const DataPacket p = s.packet("CheckSet");
    for (const QVariantList &row : p.rows)
        io.out << row.value(0).toString() << '\n';
    if (!p.rows.empty()) {
        io.err << QStringLiteral("vexa-admin: 检查发现 %1 个问题。").arg(p.rows.size()) << '\n';
        return ExitFailed;
    }
    io.out << QStringLiteral("检查通过。") << '\n';
    return ExitOk;
}

int dump(const RemoteCommand &c, RemoteIO &io)
{
    Session s(c, io);
    writePacket(io.out, s.packet("DumpTable", {c.positional[1]}), CellFormat::Csv);
    return ExitOk;
}

} // namespace

bool isRemoteSet(const QString &text)
{
    return text.startsWith(kScheme, Qt::CaseInsensitive);
}

RemoteSet parseRemoteSet(const QString &text)
{
    const QString rest = text.mid(kScheme.size());
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    const QString hostPort = slash < 0 ? rest : rest.left(slash);
    const std::optional<net::ServerAddress> address = net::ServerAddress::parse(hostPort);
    if (!isRemoteSet(text) || !address)
        throw Error(QStringLiteral("服务器上的账套“%1”写法不对，应写成 vexa://主机[:端口]/账套名。")
                        .arg(text));
    return {*address, slash < 0 ? QString() : rest.mid(slash + 1)};
}

bool worksOverServer(const QString &command)
{
    static const QStringList commands = {
        QStringLiteral("query"),  QStringLiteral("call"),   QStringLiteral("users"),
        QStringLiteral("groups"), QStringLiteral("rights"), QStringLiteral("passwd"),
        QStringLiteral("info"),   QStringLiteral("check"),  QStringLiteral("dump")};
    return commands.contains(command);
}

const QStringList &remoteFlags()
{
    static const QStringList flags = {QStringLiteral("insecure")};
    return flags;
}

const QStringList &remoteValued()
{
    static const QStringList valued = {QStringLiteral("ca"), QStringLiteral("user"),
                                       QStringLiteral("password-file")};
    return valued;
}

int runRemote(const RemoteCommand &c, RemoteIO &io)
{
    if (c.options.contains(QStringLiteral("insecure")) && c.options.contains(QStringLiteral("ca")))
        throw RemoteUsageError{QStringLiteral("--insecure 和 --ca 只能用一个。")};
    if (c.name == QLatin1String("query"))
        return query(c, io);
    if (c.name == QLatin1String("call"))
        return call(c, io);
    if (c.name == QLatin1String("users"))
        return users(c, io);
    if (c.name == QLatin1String("groups"))
        return groups(c, io);
    if (c.name == QLatin1String("rights"))
        return rights(c, io);
    if (c.name == QLatin1String("passwd"))
        return passwd(c, io);
    if (c.name == QLatin1String("info"))
        return info(c, io);
    if (c.name == QLatin1String("check"))
        return check(c, io);
    if (c.name == QLatin1String("dump"))
        return dump(c, io);
    throw Error(QStringLiteral("“%1”只能在服务器所在的机器上运行：请在那里用账套文件的路径执行 "
                               "vexa-admin %1 …。")
                    .arg(c.name));
}

} // namespace vexa::admin
