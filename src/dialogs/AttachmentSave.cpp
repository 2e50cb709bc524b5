#include "AttachmentSave.h"

#include "ClientDataSet.h"
#include "DataAccess.h"
#include "DataPacket.h"

#include <vexa/Error.h>

#include <QDir>
#include <QFile>

#include <vector>

namespace vexa::gl {

namespace {

using S = QString;

const QStringList kRestored{S("EntryID"), S("BeStatus"), S("Maker"), S("MakerID"), S("MakeDate")};

void postEdits(ClientDataSet &data)
{
    if (data.isEditing())
        data.post();
}

// Stamps the rows, applies them and uploads the files; before gets each row's values as
// they were, in row order.
void saveRows(ClientDataSet &data, int entryId, std::vector<QVariantList> &before)
{
    const QString user = CurrentUserName();
    const QString userId = CurrentUserID();
    const QDateTime now = DayNumberToDateTime(ServerDateTime());
    QList<std::pair<QString, QString>> uploads; // stored name, local file
    for (data.first(); !data.eof(); data.next()) {
        QVariantList values;
        for (const QString &f : kRestored)
            values << data.value(f);
        before.push_back(values);
        data.edit();
        data.setValue(S("EntryID"), entryId);
        const QString status = data.asString(S("BeStatus"));
        if (status == u"A" || status == u"M") {
            data.setValue(S("BeStatus"), S("Y"));
            data.setValue(S("Maker"), user);
            data.setValue(S("MakerID"), userId);
            data.setValue(S("MakeDate"), now);
            uploads.append(
                {StoredFileName(data.asString(S("AccessoriesID")), data.asString(S("FileSuffix"))),
                 data.asString(S("SelFileName"))});
        }
        data.post();
    }
    // The records first: a conflict with another user then stops the save before any
    // file is sent. The server publishes the files only when the transaction commits.
    ApplyChanges(data, false);
    for (const auto &[name, path] : uploads) {
        DataPacket file;
        file.fields = AttachmentTransferFields();
        file.rows.push_back({name, ReadAttachmentFile(path)});
        QVariantList args{writeDataPacket(file)};
        CallServer(S("SaveAccessories"), args);
    }
}

} // namespace

QString StoredFileName(const QString &accessoriesId, const QString &fileSuffix)
{
    return fileSuffix.isEmpty() ? accessoriesId : accessoriesId + QLatin1Char('.') + fileSuffix;
}

QList<FieldDef> AttachmentTransferFields()
{
    return {FieldDef{S("ID"), FieldType::String, 128, false, false},
            FieldDef{S("FileData"), FieldType::Blob, 0, false, false}};
}

QByteArray ReadAttachmentFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(
            S("附件文件“%1”无法读取：%2").arg(QDir::toNativeSeparators(path), file.errorString()));
    return file.readAll();
}

QString AttachmentSave::Run(ClientDataSet &data, int entryId)
{
    std::vector<QVariantList> before;
    QString failure;
    try {
        postEdits(data);
        ServerTransaction transaction;
        saveRows(data, entryId, before);
        transaction.Commit();
        data.mergeChangeLog();
    } catch (const std::exception &e) {
        failure = errorText(e);
    } catch (...) {
        failure = S("保存附件时发生未知错误。");
    }
    if (failure.isEmpty())
        return failure;
    // Nothing was stored: the rows go back to what the user had, so the files of added and
    // replaced attachments are uploaded on the next try.
    if (data.state() != ClientDataSet::State::Browse)
        data.cancel();
    for (int row = 0; row < int(before.size()) && row < data.recordCount(); ++row) {
        data.setRecNo(row + 1);
        data.edit();
        for (int f = 0; f < kRestored.size(); ++f)
            data.setValue(kRestored[f], before[size_t(row)][f]);
        data.post();
    }
    return failure;
}

} // namespace vexa::gl
