#pragma once

#include "AttachmentSave.h"
#include "DocFindForm.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <vector>

class QLabel;
class QToolButton;

namespace vexa {
class ClientDataSet;
}

namespace vexa::gl {

class TLXCustomChildForm;
class FileCellDelegate;

// ---- rules of the attachment list ------------------------------------------------------

// "WHERE ObjType = <t>[ AND EntryID = <e>][ AND ItemID = <i>][ AND ObjGUID = '<g>'] ORDER
// BY IndexNo": a key of 0 or an empty GUID does not narrow the list.
QString AccessoriesCommandText(int objType, int entryId, int itemId, const QString &objGuid);
// A file's name without folder and extension, and its extension: the text after the last
// dot, where a dot in the first position does not count (".bashrc" has none).
QString FileBaseName(const QString &path);
QString FileExtension(const QString &path);
// Why a file cannot become an attachment, or empty when it can: larger than the server
// stores, an extension the server does not take or longer than suffixBytes, or a title
// longer than captionBytes (GBK bytes; 0 means the field sets no limit).
QString AttachmentFileProblem(const QString &path, qint64 size, int captionBytes, int suffixBytes);

// What the toolbar allows for a list of rows, the current record number (1-based), the
// current attachment's approval and the user's right level (1 approve, 2 edit and delete,
// 3 view, add and download).
struct AccessoriesToolbar
{
    bool noDataHint = false;
    bool first = false, prior = false, next = false, last = false;
    bool view = false, download = false, approve = false, remove = false;
    bool approveWithdraws = false; // the approve button reads "反审核"
};
AccessoriesToolbar AccessoriesToolbarState(int rows, int recNo, bool approved, int rightLevel);

// The attachments of one document (or one line of it): listed, added from disk, replaced,
// opened, downloaded, approved, deleted and saved. Records live on the server
// ("LX_DMAccessories"), the files in the server's attachment folder.
//
// Components: cdsData, cdsFile (ID, FileData: one file in transit), grdData, lbTitle,
// lbNoData ("没有指定相关附件"), sbView, sbDownload, sbAdd, sbApprove, sbDelete, sbFirst,
// sbPrior, sbNext, sbLast, sbSave, sbClose. A click in the "附件" cell replaces the file.
class TDefAccessoriesForm : public TDocFindForm
{
    Q_OBJECT

public:
    explicit TDefAccessoriesForm(QWidget *parent = nullptr);
    ~TDefAccessoriesForm() override;

    // The document, set before showing.
    int ObjType = 0;
    int EntryID = 0;
    int ItemID = 0;
    QString ObjGUID;
    int RightLevel = 0;
    // " " + the document's title + "：附件维护".
    void SetDocumentTitle(const QString &title);

    ClientDataSet &Data() const { return *cdsData; }
    bool SaveEnabled() const;

    void AddFiles();
    void ReplaceFile();
    void ViewFile();
    void DownloadFile();
    void ToggleApproval();
    void DeleteAttachment();
    // Writes the records and uploads the added and replaced files in one server
    // transaction; a failure is shown and leaves the records as they were edited.
    bool Save();

    void done(int result) override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void FormShow() override;
    void RefreshData(bool disableControls) override;

private:
    void postEdits();
    // A navigation button: a pending edit is posted first.
    void navigate(void (ClientDataSet::*step)());
    void placeNoDataHint();
    void fillTransfer(const QString &id, const QByteArray &bytes);
    // A new attachment record with the document's keys and the next index ("0": new).
    void newRecord();
    // Puts path into the record being edited and posts it; SelFile and BeStatus are set
    // unless status is empty. On failure the edit is cancelled.
    void putFile(const QString &path, const QString &selFile, const QString &status);
    void refreshToolbar();
    void markChanged();
    void appendFile(const QString &path);
    // Throws the reason a chosen file cannot be attached.
    void checkFile(const QString &path) const;
    // A local copy of the current attachment's file: the chosen file while it is not
    // stored, else the stored file fetched into the local attachment folder. Empty (the
    // message shown) when the server has no such file.
    QString localCopy();
    bool approved() const;

    ClientDataSet *cdsData;
    ClientDataSet *cdsFile;
    QTableView *grdData;
    QLabel *lbTitle;
    QLabel *lbNoData;
    QToolButton *sbView, *sbDownload, *sbAdd, *sbApprove, *sbDelete;
    QToolButton *sbFirst, *sbPrior, *sbNext, *sbLast, *sbSave, *sbClose;
    FileCellDelegate *m_fileButton = nullptr;
    bool m_loading = false;
};

// Lets every document page open its attachments through this dialog.
void InstallAttachmentDialog();

} // namespace vexa::gl
