#pragma once

#include <QChar>
#include <QString>

namespace vexa {
class ClientDataSet;
}

namespace vexa::gl {

// The save of the custom property value editor's rows ("LX_DMMaterielPropValue"), without
// the window: which rows are dropped, how new ones are numbered and when a row is refused.
class PropValueSave
{
public:
    // Posts the row being edited; a row without a value is refused unless skipCheck.
    static void PostRow(ClientDataSet &data, bool skipCheck);

    // Posts the row being edited before a save: one without code and value is not refused
    // (the save drops it).
    static void PostBeforeSave(ClientDataSet &data);

    // Saves every row, the filter lifted: rows without code and value are deleted, new rows
    // (PropIndex below 1) are numbered after the server's largest PropIndex in list order,
    // get back the item partID (0: all items) and propType, and are refused without a
    // value. On any failure the rows go back as they were (unnumbered, the blank ones back)
    // and the filter is restored; a retry then reads the largest number again.
    static void Save(ClientDataSet &data, int partID, int propType);

    // The price flags (one "0"/"1" per property) after code is chosen for property prop: only
    // its character changes; a text too short for it is first filled with "0" up to the
    // property or to propCount.
    static QString SetPriceFlag(QString flags, int prop, int propCount, QChar code);

    static const QString ValueRequiredMessage;
};

} // namespace vexa::gl
