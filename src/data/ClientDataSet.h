#pragma once

#include "DataPacket.h"
#include "FieldDef.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QVariant>
#include <memory>
#include <vector>

namespace vexa {

class IRemoteConnection;

// An in-memory table with a cursor, a change log, a client-side filter and index, and
// data packets: the dataset every form reads and writes through. Rows come from a
// provider of the application server (open with a remote connection, provider name and
// command text) or from field definitions alone (createDataSet).
//
// The cursor moves over the visible rows: those matching the filter (when filtered),
// in the order of the index fields (when set), else in the order the rows were loaded
// or added. Record numbers are 1-based over the visible rows.
//
// Every failure throws vexa::Error with a message for the user.
class ClientDataSet : public QObject
{
    Q_OBJECT

public:
    enum class State { Inactive, Browse, Edit, Insert };
    Q_ENUM(State)
    enum class RowStatus { Unchanged, Inserted, Modified };
    enum LocateOption { CaseInsensitive = 0x1, PartialKey = 0x2 };
    Q_DECLARE_FLAGS(LocateOptions, LocateOption)

    explicit ClientDataSet(QObject *parent = nullptr);
    ~ClientDataSet() override;

    // Provider binding. The tag is free for the owner (1: open with the dialog, 100:
    // option dataset); the name is the QObject's objectName.
    void setRemoteConnection(IRemoteConnection *connection);
    IRemoteConnection *remoteConnection() const { return m_connection; }
    void setProviderName(const QString &name) { m_providerName = name; }
    QString providerName() const { return m_providerName; }
    void setCommandText(const QString &text) { m_commandText = text; }
    QString commandText() const { return m_commandText; }
    void setTag(int tag) { m_tag = tag; }
    int tag() const { return m_tag; }

    // Field definitions; changed only while the dataset is closed.
    void addField(const FieldDef &field);
    void addField(const QString &name, FieldType type, int size = 0, bool required = false);
    void setFieldDefs(const QList<FieldDef> &fields);
    const QList<FieldDef> &fieldDefs() const { return m_fields; }
    int fieldCount() const { return int(m_fields.size()); }
    int fieldIndex(const QString &name) const;            // -1 when there is none
    const FieldDef *findField(const QString &name) const; // nullptr when there is none
    const FieldDef &field(const QString &name) const;     // throws when there is none

    // Opening: with a connection and a provider, one provider request with the command
    // text; otherwise an empty table of the field definitions.
    void open();
    void createDataSet();
    void close(); // a pending edit is dropped
    bool isActive() const { return m_state != State::Inactive; }
    // A record is being edited or inserted and not yet posted.
    bool isEditing() const { return m_state == State::Edit || m_state == State::Insert; }
    State state() const { return m_state; }
    void refresh(); // reopen from the provider, keeping filter and index

    // Cursor. Moving the cursor posts a pending edit first.
    void first();
    void last();
    void next();
    void prior();
    bool eof() const { return m_eof; }
    bool bof() const { return m_bof; }
    int recNo() const;        // 0 when there is no current row
    void setRecNo(int recNo); // clamped to the visible rows
    int recordCount() const;  // visible rows
    bool isEmpty() const { return recordCount() == 0; }

    // Values of the current row (the edit buffer in edit and insert state).
    QVariant value(int field) const;
    QVariant value(const QString &name) const;
    void setValue(int field, const QVariant &value);
    void setValue(const QString &name, const QVariant &value);
    bool isNull(const QString &name) const { return !value(name).isValid(); }
    QString asString(const QString &name) const;
    qlonglong asInteger(const QString &name) const;
    bool asBoolean(const QString &name) const;
    double asFloat(const QString &name) const;
    QDateTime asDateTime(const QString &name) const;
    // Value of a visible row without moving the cursor (row is 0-based).
    QVariant valueAt(int row, int field) const;

    // Editing.
    void edit();
    void insert(); // a new row before the current one
    void append(); // a new row at the end
    void post();
    void cancel();
    void deleteRecord();
    RowStatus rowStatus() const;

    // Change log.
    int changeCount() const;
    DeltaPacket delta() const;
    void mergeChangeLog(); // the current data becomes the unchanged state
    void cancelUpdates();  // back to the last unchanged state

    // The fields, rows, change log, current row and pending edit, taken as a value:
    // restore puts them back exactly, so work that failed half-way (a save the server
    // refused) can be tried again as if for the first time. Filter and index stay as they
    // are set when restoring.
    struct Snapshot;
    std::shared_ptr<const Snapshot> snapshot() const;
    void restore(const Snapshot &snapshot);

    // Filter: a condition expression over the fields. setFilter throws on an invalid
    // text and keeps the previous one.
    void setFilter(const QString &text);
    QString filter() const { return m_filterText; }
    void setFiltered(bool on);
    bool isFiltered() const { return m_filtered; }

    // Index: field names separated by ';', a stable ascending order.
    void setIndexFieldNames(const QString &names);
    QString indexFieldNames() const { return m_indexText; }

    // Finds the first visible row whose key fields (separated by ';') equal values and
    // makes it current; answers false and leaves the cursor where it was otherwise.
    bool locate(const QString &keyFields, const QVariantList &values, LocateOptions options = {});
    bool locate(const QString &keyField, const QVariant &value, LocateOptions options = {});

    // While disabled (calls nest), bound views get no notifications; the last enable
    // sends one reset.
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return m_disableCount > 0; }

    // Blob fields and files.
    void loadFromFile(const QString &field, const QString &path);
    void saveToFile(const QString &field, const QString &path) const;

    // Whole data: all rows (filter ignored, change log not included: the current values).
    DataPacket data() const;
    // Replaces definitions and rows, empties the change log and opens; an empty packet
    // (no fields) leaves the dataset closed.
    void setData(const DataPacket &packet);
    QString saveToText() const;
    // An empty or blank text leaves the dataset closed; a malformed text throws and
    // leaves the dataset as it was.
    void loadFromText(const QString &text);
    QString deltaText() const;

signals:
    void dataReset();             // rows, order or structure changed as a whole
    void rowChanged(int row);     // values of one visible row changed
    void currentChanged(int row); // cursor moved (0-based visible row, -1 none)
    void stateChanged(vexa::ClientDataSet::State state);

private:
    struct Row;
    struct RowBlock;
    // Ends a row's life: rows of a load sit in one block (RowBlock), added rows alone.
    struct RowDeleter
    {
        void operator()(Row *row) const;
    };
    using RowPtr = std::unique_ptr<Row, RowDeleter>;
    struct Filter;
    struct EqualityHash;

    void requireActive(const char *operation) const;
    void requireFields() const;
    void checkBrowseMode(); // posts a pending edit
    Row *currentRow() const;
    int resolveField(const QString &name) const;
    void loadPacket(DataPacket &&packet);
    void setState(State state);
    void rebuildView(const Row *keep);
    int placeInView(Row *row, int hint);
    template <int K> void sortView();
    void bindFilter(const QList<FieldDef> &fields, const FieldNameIndex &names,
                    Filter &filter) const;
    static void hintFilter(const QList<FieldDef> &fields, Filter &filter);
    void removeRow(const Row *row);
    bool rowVisible(const Row &row) const;
    bool lessByIndex(const Row *a, const Row *b) const;
    void setCursor(int pos);
    void invalidateHash();
    const std::vector<Row *> *hashedCandidates();
    void notifyReset();
    void notifyRow(int pos);
    void notifyCurrent();
    void validateRequired(const QVariantList &values) const;
    std::vector<int> parseFieldList(const QString &names) const;

    IRemoteConnection *m_connection = nullptr;
    QString m_providerName;
    QString m_commandText;
    int m_tag = 0;

    QList<FieldDef> m_fields;
    FieldNameIndex m_fieldNames; // position of each field by its name
    State m_state = State::Inactive;

    std::unique_ptr<RowBlock> m_block; // memory of the rows of the last load; outlives m_rows
    std::vector<RowPtr> m_rows;        // base order; deleted rows stay until merged
    std::vector<Row *> m_view;         // visible rows in cursor order
    int m_pos = -1;                    // index into m_view
    bool m_eof = true;
    bool m_bof = true;
    quint64 m_changeSeq = 0;

    QVariantList m_buffer;         // edit buffer (edit and insert state)
    RowPtr m_pendingInsert;        // the row being inserted; shown in m_view
    Row *m_insertBefore = nullptr; // its place in m_rows once posted (null: end)

    QString m_filterText;
    bool m_filtered = false;
    std::unique_ptr<Filter> m_filter;
    std::unique_ptr<EqualityHash> m_hash;

    QString m_indexText;
    std::vector<int> m_indexFields;

    int m_disableCount = 0;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(ClientDataSet::LocateOptions)

} // namespace vexa
