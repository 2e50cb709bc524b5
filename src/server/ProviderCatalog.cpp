#include "ProviderCatalog.h"

#include "SqlDialect.h"

#include <vexa/Error.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>

namespace vexa::server {

namespace {

struct Column
{
    QString name;
    QString declared;
    bool notNull = false;
    bool hasDefault = false;
    QString defaultText;
};

QList<Column> columnsOf(QSqlDatabase &db, const SqlDialect &dialect, const QString &table)
{
    QSqlQuery q(db);
    if (!q.exec(dialect.tableColumns(table)))
        throw Error(QStringLiteral("读取表“%1”的结构失败：%2").arg(table, q.lastError().text()));
    QList<Column> out;
    while (q.next()) {
        Column c;
        c.name = dialect.columnName(q.value(1).toString());
        c.declared = q.value(2).toString();
        c.notNull = q.value(3).toInt() != 0;
        c.hasDefault = !q.value(4).isNull();
        c.defaultText = q.value(4).toString();
        out.append(c);
    }
    return out;
}

} // namespace

FieldDef ProviderCatalog::fieldFromDeclaredType(const QString &column, const QString &declared,
                                                bool notNull, bool hasDefault)
{
    static const QRegularExpression re(
        QStringLiteral(R"(^\s*([A-Za-z]+)\s*(?:\(\s*(\d+)\s*(?:,\s*(\d+)\s*)?\))?\s*$)"));
    const auto m = re.match(declared);
    if (!m.hasMatch())
        throw Error(QStringLiteral("列“%1”的类型“%2”无法识别。").arg(column, declared));
    const QString base = m.captured(1).toUpper();
    const int size = m.captured(2).toInt();
    FieldDef f;
    f.name = column;
    f.required = notNull && !hasDefault;
    if (base == u"VARCHAR" || base == u"NVARCHAR") {
        f.type = FieldType::String;
        f.size = size;
    } else if (base == u"CHAR" || base == u"NCHAR") {
        f.type = FieldType::FixedChar;
        f.size = size;
    } else if (base == u"TEXT") {
        f.type = FieldType::Memo;
    } else if (base == u"SMALLINT") {
        f.type = FieldType::SmallInt;
    } else if (base == u"INTEGER" || base == u"INT") {
        f.type = FieldType::Integer;
    } else if (base == u"WORD") {
        f.type = FieldType::Word;
    } else if (base == u"BIGINT") {
        f.type = FieldType::LargeInt;
    } else if (base == u"BOOLEAN" || base == u"BIT") {
        f.type = FieldType::Boolean;
    } else if (base == u"FLOAT" || base == u"REAL" || base == u"DOUBLE") {
        f.type = FieldType::Float;
    } else if (base == u"MONEY") {
        f.type = FieldType::Currency;
    } else if (base == u"DECIMAL" || base == u"NUMERIC") {
        f.type = FieldType::BCD;
    } else if (base == u"DATE") {
        f.type = FieldType::Date;
    } else if (base == u"TIME") {
        f.type = FieldType::Time;
    } else if (base == u"DATETIME") {
        f.type = FieldType::DateTime;
    } else if (base == u"BLOB") {
        f.type = FieldType::Blob;
    } else {
        throw Error(QStringLiteral("列“%1”的类型“%2”无法识别。").arg(column, declared));
    }
    return f;
}

ProviderCatalog::ProviderCatalog(const QByteArray &catalogJson, QSqlDatabase &db,
                                 const SqlDialect &dialect, int schemaVersion)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(catalogJson, &parseError);
    if (!doc.isObject())
        throw Error(QStringLiteral("提供者目录格式错误：%1").arg(parseError.errorString()));
    const QJsonArray list = doc.object().value(QLatin1String("providers")).toArray();
    if (list.isEmpty())
        throw Error(QStringLiteral("提供者目录为空。"));

    auto tableFields = [&](const QString &table) -> const QList<FieldDef> & {
        const QString key = table.toLower();
        auto it = m_tables.find(key);
        if (it == m_tables.end()) {
            const QList<Column> cols = columnsOf(db, dialect, table);
            if (cols.isEmpty())
                throw Error(QStringLiteral("数据库中没有表或视图“%1”。").arg(table));
            QList<FieldDef> fields;
            QStringList defaults;
            for (const Column &c : cols) {
                fields.append(fieldFromDeclaredType(c.name, c.declared, c.notNull, c.hasDefault));
                defaults.append(c.hasDefault ? c.defaultText : QString());
            }
            m_tableDefaults.insert(key, defaults);
            it = m_tables.insert(key, fields);
        }
        return it.value();
    };

    for (const QJsonValue &v : list) {
        const QJsonObject o = v.toObject();
        if (o.value(QLatin1String("since")).toInt(1) > schemaVersion)
            continue;
        Provider p;
        p.name = o.value(QLatin1String("name")).toString();
        p.source = o.value(QLatin1String("source")).toString();
        p.update = o.value(QLatin1String("update")).toString();
        for (const QJsonValue &k : o.value(QLatin1String("key")).toArray())
            p.keys.append(k.toString());
        if (p.name.isEmpty() || p.source.isEmpty())
            throw Error(QStringLiteral("提供者目录中有一项缺少名称或来源。"));
        if (m_providers.contains(p.name.toLower()))
            throw Error(QStringLiteral("提供者“%1”重复定义。").arg(p.name));
        p.fields = tableFields(p.source);
        for (int i = 0; i < p.fields.size(); ++i)
            p.byLowerName.insert(p.fields[i].name.toLower(), i);
        for (const QString &k : p.keys)
            if (p.column(k) < 0)
                throw Error(QStringLiteral("提供者“%1”的键“%2”不是它的列。").arg(p.name, k));
        if (!p.update.isEmpty()) {
            if (p.keys.isEmpty())
                throw Error(QStringLiteral("可更新的提供者“%1”没有键。").arg(p.name));
            const QList<FieldDef> &target = tableFields(p.update);
            for (const QString &k : p.keys)
                if (indexOfField(target, k) < 0)
                    throw Error(QStringLiteral("提供者“%1”的键“%2”不在表“%3”中。")
                                    .arg(p.name, k, p.update));
        }
        m_providers.insert(p.name.toLower(), p);
    }
}

const Provider *ProviderCatalog::find(const QString &name) const
{
    auto it = m_providers.constFind(name.toLower());
    return it == m_providers.cend() ? nullptr : &it.value();
}

const Provider &ProviderCatalog::require(const QString &name) const
{
    const Provider *p = find(name);
    if (!p)
        throw Error(QStringLiteral("应用服务器没有提供者“%1”。").arg(name));
    return *p;
}

QList<const Provider *> ProviderCatalog::providers() const
{
    QList<const Provider *> out;
    for (const Provider &p : m_providers)
        out.append(&p);
    std::sort(out.begin(), out.end(),
              [](const Provider *a, const Provider *b) { return a->name < b->name; });
    return out;
}

QList<FieldDef> ProviderCatalog::tableColumns(const QString &table) const
{
    return m_tables.value(table.toLower());
}

QList<FieldDef> ProviderCatalog::publishedColumns(const QString &table) const
{
    QSet<QString> shown;
    for (const Provider &p : m_providers)
        if (p.source.compare(table, Qt::CaseInsensitive) == 0 ||
            p.update.compare(table, Qt::CaseInsensitive) == 0)
            for (const FieldDef &f : p.fields)
                shown.insert(f.name.toLower());
    QList<FieldDef> out;
    for (const FieldDef &f : tableColumns(table))
        if (shown.contains(f.name.toLower()))
            out.append(f);
    return out;
}

QStringList ProviderCatalog::tableDefaults(const QString &table) const
{
    return m_tableDefaults.value(table.toLower());
}

} // namespace vexa::server
