#pragma once

#include "Condition.h"
#include "FieldDef.h"

#include <QString>
#include <QVariantList>

namespace vexa::server {

struct Provider;

// Everything that differs between storage engines when a provider request is turned
// into SQL. Literals never enter the text: they become bound parameters.
class SqlDialect
{
public:
    virtual ~SqlDialect() = default;

    virtual QString quoteIdentifier(const QString &name) const = 0;

    // A client value (storage type of coerceToField) as the engine binds it, and back.
    virtual QVariant toStorage(const FieldDef &field, const QVariant &value) const = 0;
    virtual QVariant fromStorage(const FieldDef &field, const QVariant &stored) const = 0;

    // SELECT of the provider's columns under a parsed command text. Every column the
    // command names must be one of the provider's; params receives the literals in
    // order. Throws vexa::Error naming the provider and the unknown column.
    virtual QString selectStatement(const Provider &provider, const cond::CommandText &command,
                                    QVariantList &params) const = 0;
};

class SqliteDialect : public SqlDialect
{
public:
    // Deepest AND/OR/NOT nesting passed to SQLite, whose parser has a fixed stack.
    static constexpr int kMaxNesting = 30;
    // Most parameters of one statement. SQLite finds each parameter by name among the
    // earlier ones, so their cost grows with the square of their number; an IN list is one.
    static constexpr int kMaxParameters = 1000;

    QString quoteIdentifier(const QString &name) const override;
    QVariant toStorage(const FieldDef &field, const QVariant &value) const override;
    QVariant fromStorage(const FieldDef &field, const QVariant &stored) const override;
    QString selectStatement(const Provider &provider, const cond::CommandText &command,
                            QVariantList &params) const override;

    // The condition alone, for reuse by operations that take a condition text.
    QString condition(const Provider &provider, const cond::Node &node, QVariantList &params) const;
};

} // namespace vexa::server
