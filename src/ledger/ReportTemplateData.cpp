#include "ReportTemplateData.h"

#include "ClientDataSet.h"
#include "DataAccess.h"

#include <vexa/Error.h>

#include <algorithm>
#include <map>

namespace vexa::ledger {

namespace {

using S = QString;

FieldDef field(const char *name, FieldType type)
{
    return FieldDef{QString::fromLatin1(name), type, 0, false, false};
}

QVariant cell(const DataPacket &p, const QVariantList &row, const char *name)
{
    const int i = indexOfField(p.fields, QLatin1String(name));
    return i < 0 ? QVariant() : row.value(i);
}

bool isNull(const QVariant &v)
{
    return v.isNull() || !v.isValid() || v.toString().trimmed().isEmpty();
}

} // namespace

TemplateDraft TemplateDraft::fromRows(const DataPacket &templet, const DataPacket &items,
                                      const DataPacket &terms, const DataPacket &sums)
{
    TemplateDraft d;
    if (!templet.rows.empty()) {
        const QVariantList &h = templet.rows.front();
        d.templetId = cell(templet, h, "TempletID").toInt();
        d.code = cell(templet, h, "TempletCode").toString().trimmed();
        d.name = cell(templet, h, "TempletName").toString().trimmed();
        d.type = cell(templet, h, "TempletType").toInt();
    }
    // In print order, as the statement reads them.
    std::vector<const QVariantList *> order;
    for (const QVariantList &r : items.rows)
        order.push_back(&r);
    std::stable_sort(order.begin(), order.end(), [&](const QVariantList *a, const QVariantList *b) {
        const auto key = [&](const QVariantList *r) {
            return std::pair{cell(items, *r, "SortNo").toLongLong(),
                             cell(items, *r, "ItemID").toLongLong()};
        };
        return key(a) < key(b);
    });
    std::map<int, int> keyOfItem;
    for (const QVariantList *r : order) {
        TemplateLine l;
        l.itemId = cell(items, *r, "ItemID").toInt();
        l.key = int(d.lines.size()) + 1;
        const QVariant no = cell(items, *r, "ItemLine");
        if (!isNull(no))
            l.line = no.toInt();
        l.code = cell(items, *r, "ItemCode").toString().trimmed();
        l.name = cell(items, *r, "ItemName").toString().trimmed();
        l.type = cell(items, *r, "ItemType").toInt();
        l.indent = cell(items, *r, "Indent").toInt();
        keyOfItem[l.itemId] = l.key;
        d.lines.append(l);
    }
    const auto lineOf = [&](const QVariant &itemId) -> TemplateLine * {
        const auto k = keyOfItem.find(itemId.toInt());
        return k == keyOfItem.end() ? nullptr : &d.lines[k->second - 1];
    };
    for (const QVariantList &r : terms.rows)
        if (TemplateLine *l = lineOf(cell(terms, r, "ItemID")))
            l->terms.append({cell(terms, r, "ItemAcctCode").toString().trimmed(),
                             cell(terms, r, "FetchType").toString().trimmed().toUpper(),
                             cell(terms, r, "Operator").toString().trimmed() == u"-"});
    for (const QVariantList &r : sums.rows) {
        TemplateLine *l = lineOf(cell(sums, r, "ItemID"));
        const auto member = keyOfItem.find(cell(sums, r, "SumItemID").toInt());
        if (l && member != keyOfItem.end())
            l->sums.append(
                {member->second, cell(sums, r, "Operator").toString().trimmed() == u"-"});
    }
    return d;
}

QVariantList TemplateDraft::packets() const
{
    DataPacket header;
    header.fields = {
        field("TempletID", FieldType::Integer), field("TempletCode", FieldType::String),
        field("TempletName", FieldType::String), field("TempletType", FieldType::Integer)};
    header.rows.push_back({templetId, code.trimmed(), name.trimmed(), type});

    DataPacket items;
    items.fields = {field("ItemID", FieldType::Integer),   field("ItemLine", FieldType::Integer),
                    field("ItemCode", FieldType::String),  field("ItemName", FieldType::String),
                    field("ItemType", FieldType::Integer), field("Indent", FieldType::Integer)};
    DataPacket termRows;
    termRows.fields = {field("Row", FieldType::Integer), field("ItemAcctCode", FieldType::String),
                       field("FetchType", FieldType::String), field("Operator", FieldType::String)};
    DataPacket sumRows;
    sumRows.fields = {field("Row", FieldType::Integer), field("SumRow", FieldType::Integer),
                      field("Operator", FieldType::String)};
    const auto op = [](bool minus) { return minus ? S("-") : S("+"); };
    for (int r = 0; r < lines.size(); ++r) {
        const TemplateLine &l = lines[r];
        items.rows.push_back({l.itemId, l.line ? QVariant(*l.line) : nullFor(FieldType::Integer),
                              l.code, l.name.trimmed(), l.type, l.indent});
        if (l.type == TemplateLine::Accounts)
            for (const TemplateTerm &t : l.terms)
                termRows.rows.push_back({r + 1, t.code.trimmed(), t.fetch, op(t.minus)});
        if (l.type == TemplateLine::Sum)
            for (const TemplateSum &s : l.sums)
                sumRows.rows.push_back({r + 1, indexOfKey(s.key) + 1, op(s.minus)});
    }
    return {writeDataPacket(header), writeDataPacket(items), writeDataPacket(termRows),
            writeDataPacket(sumRows)};
}

bool TemplateDraft::numbered() const
{
    int expected = 1;
    for (const TemplateLine &l : lines)
        if (l.line && *l.line != expected++)
            return false;
    return true;
}

void TemplateDraft::renumber()
{
    int next = 1;
    for (TemplateLine &l : lines)
        if (l.line)
            l.line = next++;
}

int TemplateDraft::insertLine(int at, int lineType)
{
    const bool wasNumbered = numbered();
    if (at < 0 || at > lines.size())
        at = int(lines.size());
    TemplateLine l;
    l.type = lineType;
    for (const TemplateLine &o : lines)
        l.key = std::max(l.key, o.key);
    ++l.key;
    if (at > 0)
        l.indent = lines[at - 1].indent;
    if (wasNumbered && lineType != TemplateLine::Heading)
        l.line = 0; // numbered below
    lines.insert(at, l);
    if (wasNumbered)
        renumber();
    return at;
}

void TemplateDraft::removeLine(int at)
{
    if (at < 0 || at >= lines.size())
        return;
    const bool wasNumbered = numbered();
    const int key = lines[at].key;
    lines.removeAt(at);
    for (TemplateLine &l : lines)
        l.sums.removeIf([key](const TemplateSum &s) { return s.key == key; });
    if (wasNumbered)
        renumber();
}

bool TemplateDraft::moveLine(int at, int delta)
{
    const int to = at + delta;
    if (at < 0 || at >= lines.size() || to < 0 || to >= lines.size() || delta == 0)
        return false;
    const bool wasNumbered = numbered();
    lines.move(at, to);
    if (wasNumbered)
        renumber();
    return true;
}

void TemplateDraft::setType(int at, int lineType)
{
    if (at < 0 || at >= lines.size() || lines[at].type == lineType)
        return;
    TemplateLine &l = lines[at];
    l.type = lineType;
    if (lineType != TemplateLine::Accounts)
        l.terms.clear();
    if (lineType != TemplateLine::Sum)
        l.sums.clear();
}

void TemplateDraft::copyAsNew(const QString &newCode, const QString &newName)
{
    templetId = 0;
    code = newCode;
    name = newName;
    for (TemplateLine &l : lines)
        l.itemId = 0;
}

int TemplateDraft::indexOfKey(int key) const
{
    for (int i = 0; i < lines.size(); ++i)
        if (lines[i].key == key)
            return i;
    return -1;
}

QString TemplateDraft::label(int key) const
{
    const int i = indexOfKey(key);
    if (i < 0)
        return {};
    const TemplateLine &l = lines[i];
    return l.line ? S("%1 %2").arg(*l.line).arg(l.name) : l.name;
}

QList<TemplateHeader> ReportTemplates()
{
    auto ds = gl::ProviderDataSet(S("LX_FINGLReportTemplet"),
                                  S("WHERE TempletType IN (1, 2) ORDER BY TempletType, TempletID"));
    QList<TemplateHeader> out;
    for (ds->first(); !ds->eof(); ds->next())
        out.append({ds->value(S("TempletID")).toInt(), ds->asString(S("TempletCode")).trimmed(),
                    ds->asString(S("TempletName")).trimmed(), ds->value(S("TempletType")).toInt()});
    return out;
}

TemplateDraft LoadReportTemplate(int templetId)
{
    const QString where = S("WHERE TempletID = %1").arg(templetId);
    const DataPacket templet = gl::ProviderDataSet(S("LX_FINGLReportTemplet"), where)->data();
    if (templet.rows.empty())
        throw Error(S("报表格式 %1 不存在，可能已被他人删除。").arg(templetId));
    return TemplateDraft::fromRows(
        templet, gl::ProviderDataSet(S("LX_FINGLReportTempletItem"), where)->data(),
        gl::ProviderDataSet(S("LX_FINGLReportTempletForAcctDef"), where)->data(),
        gl::ProviderDataSet(S("LX_FINGLReportTempletForSUM"), where)->data());
}

int SaveReportTemplate(const TemplateDraft &draft)
{
    QVariantList args = draft.packets();
    return gl::CallServer(S("SaveReportTemplate"), args).toInt();
}

void DeleteReportTemplate(int templetId)
{
    QVariantList args{templetId};
    gl::CallServer(S("DeleteReportTemplate"), args);
}

} // namespace vexa::ledger
