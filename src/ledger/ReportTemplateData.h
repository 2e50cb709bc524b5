#pragma once

// A statement format (报表定义) being edited: the header, the lines in print order, each line's
// account terms or the lines it sums, and the packets SaveReportTemplate takes.

#include "DataPacket.h"

#include <QList>
#include <QString>
#include <QVariantList>
#include <optional>

namespace vexa::ledger {

struct TemplateTerm
{
    QString code;                         // ItemAcctCode
    QString fetch = QStringLiteral("QM"); // QM, JQM, DQM, SY
    bool minus = false;
    bool operator==(const TemplateTerm &) const = default;
};

struct TemplateSum
{
    int key = 0; // the summed line's TemplateLine::key
    bool minus = false;
    bool operator==(const TemplateSum &) const = default;
};

struct TemplateLine
{
    enum Type { Heading = 0, Accounts = 1, Sum = 2, ByHand = 3 };
    int key = 0;             // the draft's own name for the line, kept through moves
    int itemId = 0;          // ItemID on the server; 0 for a line not saved yet
    std::optional<int> line; // 行次
    QString code;            // ItemCode
    QString name;
    int type = Accounts;
    int indent = 0;
    QList<TemplateTerm> terms; // type Accounts only
    QList<TemplateSum> sums;   // type Sum only
    bool operator==(const TemplateLine &) const = default;
};

struct TemplateDraft
{
    int templetId = 0; // 0: a format not saved yet
    QString code, name;
    int type = 1; // 1 balance sheet, 2 income statement
    QList<TemplateLine> lines;
    bool operator==(const TemplateDraft &) const = default;

    // From the rows of T0200096 (one), T0200097, T0200098 and T0200099 of one template.
    static TemplateDraft fromRows(const DataPacket &templet, const DataPacket &items,
                                  const DataPacket &terms, const DataPacket &sums);
    // The arguments of SaveReportTemplate: header, lines, terms and sums (these two name
    // lines by their place in the lines packet, from 1).
    QVariantList packets() const;

    // A new line of type at position at (the end when at is out of range); answers its
    // position. While the 行次 given run 1, 2, 3 ... in order, a new line other than a
    // heading takes one and this, removeLine and moveLine renumber the lines that carry
    // one; numbers set otherwise by hand are left alone.
    int insertLine(int at, int type = TemplateLine::Accounts);
    // Removes the line and every sum that names it.
    void removeLine(int at);
    // Moves the line by delta places; false when it cannot go there.
    bool moveLine(int at, int delta);
    // A change of type drops the terms or sums the new type does not take.
    void setType(int at, int type);
    // The draft as a new format of that code and name: saved, it is a copy.
    void copyAsNew(const QString &newCode, const QString &newName);

    int indexOfKey(int key) const;
    // How a sum names a line: "8 存货", or the name alone without 行次.
    QString label(int key) const;

private:
    bool numbered() const;
    void renumber();
};

struct TemplateHeader
{
    int id = 0;
    QString code, name;
    int type = 0;
};

// The set's formats, balance sheets first.
QList<TemplateHeader> ReportTemplates();
// One format as the server holds it.
TemplateDraft LoadReportTemplate(int templetId);
// SaveReportTemplate; answers the TempletID. Throws vexa::Error with the server's reason.
int SaveReportTemplate(const TemplateDraft &draft);
void DeleteReportTemplate(int templetId);

} // namespace vexa::ledger
