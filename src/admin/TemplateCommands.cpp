#include "TemplateCommands.h"

#include "AdminCommands.h"
#include "AdminOutput.h"
#include "ChartTemplateFile.h"
#include "ChartTemplateStore.h"

#include <vexa/Error.h>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace vexa::admin {

using server::AppServer;
using server::ChartTemplate;
using server::ChartTemplateStore;

namespace {

using S = QString;
using Options = QMultiHash<QString, QString>;

void requireCount(const QStringList &positional, int count, const QString &synopsis)
{
    if (positional.size() != count)
        throw TemplateUsageError{S("参数个数不对：%1").arg(synopsis)};
}

AppServer::Options reading(AppServer::Options options)
{
    options.readOnly = true;
    return options;
}

QString typeName(const ChartTemplate &chart, const QString &code)
{
    for (const server::ChartAccountType &t : chart.types)
        if (t.code == code)
            return t.name;
    return code;
}

int listTemplates(const QStringList &positional, QTextStream &out,
                  const AppServer::Options &options)
{
    requireCount(positional, 2, S("templates list PATH"));
    const auto server = AppServer::open(positional[1], reading(options));
    const auto connection = server->connect();
    std::vector<QStringList> rows;
    for (const server::StoredTemplateInfo &t : ChartTemplateStore(*connection).list())
        rows.push_back({tableCell(t.code), tableCell(t.name), QString::number(t.accounts),
                        QString::number(t.accountTypes), QString::number(t.reports),
                        t.inUse ? S("是") : QString()});
    writeTable(out,
               {S("代码"), S("名称"), S("科目数"), S("科目类别数"), S("报表数"), S("本账套在用")},
               rows, {false, false, true, true, true, false});
    return ExitOk;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw Error(S("无法写入文件“%1”：%2").arg(path, file.errorString()));
}

int exportTemplate(const QStringList &positional, const Options &options, QTextStream &out,
                   QTextStream &err, const AppServer::Options &serverOptions)
{
    const bool current = options.contains(S("current"));
    if (current)
        requireCount(positional, 3, S("templates export PATH --current FILE"));
    else
        requireCount(positional, 4, S("templates export PATH CODE FILE"));
    const QString file = positional.last();
    const server::ChartFormat format = server::chartFormat(file, options.value(S("format")));
    const auto server = AppServer::open(positional[1], reading(serverOptions));
    const auto connection = server->connect();
    ChartTemplateStore store(*connection);
    const ChartTemplate chart = current ? store.readCurrent() : store.read(positional[2]);
    if (format == server::ChartFormat::Csv) {
        writeFile(file, server::writeChartCsv(chart));
        if (!chart.payloads.empty())
            err << S("vexa-admin: CSV 只含科目，报表模板和辅助核算没有导出；要全部导出请用 JSON。")
                << '\n';
    } else {
        writeFile(file, server::writeChartJson(chart));
    }
    const QString what = current ? S("本账套的科目表") : S("科目模板“%1”").arg(chart.code);
    out << S("已导出%1（%2 个科目）到：%3")
               .arg(what)
               .arg(chart.accounts.size())
               .arg(QFileInfo(file).absoluteFilePath())
        << '\n';
    return ExitOk;
}

// The tree as --dry-run shows it: indented codes and names, type and balance side.
void writeTree(QTextStream &out, const ChartTemplate &chart)
{
    for (const server::ChartAccount &a : chart.accounts) {
        const QString side = a.side == u"D" ? S("借") : a.side == u"C" ? S("贷") : a.side;
        const QString indent(2 * std::max(a.level - 1, 0), QLatin1Char(' '));
        out << pad(indent + a.code + QLatin1Char(' ') + a.name, 48, false) << ' '
            << typeName(chart, a.type) << ' ' << side << '\n';
    }
}

int importTemplate(const QStringList &positional, const Options &options, QTextStream &out,
                   QTextStream &err, const AppServer::Options &serverOptions)
{
    requireCount(positional, 3, S("templates import PATH FILE --code CODE --name NAME"));
    const QString path = positional[2];
    const server::ChartFormat format = server::chartFormat(path, options.value(S("format")));
    server::LevelLengths levels;
    if (options.contains(S("levels"))) {
        try {
            levels = server::LevelLengths::parse(options.value(S("levels")));
        } catch (const Error &e) {
            throw TemplateUsageError{e.message()};
        }
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(S("无法读取文件“%1”：%2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (format == server::ChartFormat::Json && options.contains(S("encoding")))
        throw TemplateUsageError{S("--encoding 只用于 CSV 文件；JSON 总是 UTF-8。")};
    server::ChartReading read = format == server::ChartFormat::Csv
                                    ? server::readChartCsv(bytes, options.value(S("encoding")))
                                    : server::readChartJson(bytes);
    ChartTemplate &chart = read.chart;
    if (options.contains(S("code")))
        chart.code = options.value(S("code"));
    if (options.contains(S("name")))
        chart.name = options.value(S("name"));
    if (options.contains(S("remark")))
        chart.remark = options.value(S("remark"));
    if (chart.code.isEmpty() || chart.name.isEmpty())
        throw TemplateUsageError{S("请用 --code 和 --name 给出新模板的代码和名称。")};
    for (const QString &note : std::as_const(read.notes))
        err << S("vexa-admin: 注意：%1").arg(note) << '\n';

    QList<server::ChartProblem> problems = read.problems;
    if (problems.isEmpty() || !chart.accounts.empty())
        problems += server::completeChart(chart, levels);
    const bool dryRun = options.contains(S("dry-run"));
    const bool replace = options.contains(S("replace"));

    std::unique_ptr<AppServer> server =
        AppServer::open(positional[1], dryRun ? reading(serverOptions) : serverOptions);
    const auto connection = server->connect();
    ChartTemplateStore store(*connection);
    if (!replace && store.exists(chart.code))
        problems.append({0,
                         {},
                         S("科目模板代码“%1”已存在：换一个代码，或加 --replace 替换原有模板。")
                             .arg(chart.code)});

    server::sortProblems(problems);
    if (dryRun)
        writeTree(out, chart);
    for (const server::ChartProblem &p : std::as_const(problems))
        err << server::problemText(p, chart.source) << '\n';
    if (!problems.isEmpty()) {
        err << S("vexa-admin: 共 %1 处错误，没有导入任何内容。").arg(problems.size()) << '\n';
        return ExitFailed;
    }
    const QString summary =
        S("%1 个科目，%2 个科目类别%3")
            .arg(chart.accounts.size())
            .arg(chart.types.size())
            .arg(chart.payloads.count(S("T0200096"))
                     ? S("，报表模板 %1 张").arg(chart.payloads.at(S("T0200096")).rows.size())
                     : QString());
    if (dryRun) {
        out << S("检查通过（%1），没有写入。").arg(summary) << '\n';
        return ExitOk;
    }
    store.store(chart, replace);
    out << S("已导入科目模板“%1 %2”：%3。").arg(chart.code, chart.name, summary) << '\n';
    if (!read.encoding.isEmpty())
        out << S("文件编码：%1").arg(read.encoding) << '\n';
    return ExitOk;
}

int removeTemplate(const QStringList &positional, QTextStream &out,
                   const AppServer::Options &options)
{
    requireCount(positional, 3, S("templates remove PATH CODE"));
    const auto server = AppServer::open(positional[1], options);
    const auto connection = server->connect();
    ChartTemplateStore(*connection).remove(positional[2]);
    out << S("已删除科目模板“%1”。").arg(positional[2]) << '\n';
    return ExitOk;
}

} // namespace

int templatesCommand(const QStringList &positional, const Options &options, QTextStream &out,
                     QTextStream &err, const AppServer::Options &server)
{
    const QString sub = positional.value(0);
    if (sub == u"list")
        return listTemplates(positional, out, server);
    if (sub == u"export")
        return exportTemplate(positional, options, out, err, server);
    if (sub == u"import")
        return importTemplate(positional, options, out, err, server);
    if (sub == u"remove")
        return removeTemplate(positional, out, server);
    throw TemplateUsageError{
        S("templates 没有子命令“%1”，可用 list、export、import、remove。").arg(sub)};
}

} // namespace vexa::admin
