#pragma once

#include "ClientDataSet.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace vexa::gl {

// A part column a lookup grid shows: the item's fixed properties PartProp1..n (fixed width,
// the find grid's cell look) and its custom properties DefProp0..9 (shown up to the
// account set's property count).
struct PartColumn
{
    QString field;
    QString caption; // the account set's caption; unused unless hasCaption
    bool hasCaption = false;
    bool shown = true;
    bool fixedProperty = false;

    bool operator==(const PartColumn &) const = default;
};

// Which part columns a lookup grid shows, without the grid: decided from the account set's
// system record (CDS_SysInitInfo: PartPropCount, PartFixcolCount and the part-custom record
// PartCustom with the captions) and the fields of the grid's dataset.
class PartColumns
{
public:
    // systemInfo may be missing or empty: no counts, no captions.
    explicit PartColumns(const ClientDataSet *systemInfo);

    // The item-name field the part columns follow: ItDesc when the grid has it, else PartDesc.
    static QString DescField(bool gridHasItDesc);
    // The model column is shown (after the name) when the template shows it and the grid
    // has it hidden.
    static bool ShowsMarque(bool templateShowsIt, bool gridHasIt, bool gridHidesIt);
    // The columns whose width, visibility and caption follow the template grid's.
    static const QStringList &TemplateFields();

    // The property columns over data, in the order they are placed: the fixed properties
    // when data has PartProp1, then the custom ones when data has DefProp0 and the
    // part-custom record is there.
    QList<PartColumn> PropertyColumns(const ClientDataSet &data) const;

    int PropCount() const { return m_propCount; }
    int FixCount() const { return m_fixCount; }

private:
    int m_propCount = 0;
    int m_fixCount = 0;
    ClientDataSet m_captions;
};

} // namespace vexa::gl
