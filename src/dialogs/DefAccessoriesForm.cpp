#include "DefAccessoriesForm.h"

#include "AttachmentNames.h"
#include "AttachmentSave.h"
#include "ClientDataSet.h"
#include "ClientSettings.h"
#include "DataAccess.h"
#include "DataPacket.h"
#include "DataSetModel.h"
#include "DialogService.h"
#include "Globals.h"
#include "LXChildForm.h"
#include "MessageDialogs.h"

#include <vexa/Error.h>
#include <vexa/PluginHost.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QSaveFile>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QStyleOptionButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QToolButton>
#include <QUuid>
#include <QVBoxLayout>

#include <utility>

namespace vexa::gl {

namespace {

using S = QString;

// "*": Qt's "*.*" would hide files without an extension.
const QString kFilter = S("所有类型文件(*)");
const QString kMissing = S("访问附件在应用服务器中不存在！");

// Only the title and the remark are typed in the grid; the rest is the dialog's.
class AccessoriesModel : public DataSetModel
{
public:
    using DataSetModel::DataSetModel;
    bool editable = false;

    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        Qt::ItemFlags f = DataSetModel::flags(index) & ~Qt::ItemIsEditable;
        const QString field = dataSet() ? dataSet()->fieldDefs().value(index.column()).name : S();
        if (editable && (field == u"Caption" || field == u"Description"))
            f |= Qt::ItemIsEditable;
        return f;
    }
};

} // namespace

// The "附件" cell: its text with a small button at the right edge that replaces the file.
class FileCellDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static QRect buttonRect(const QRect &cell)
    {
        const int side = std::min(cell.height() - 2, 22);
        return QRect(cell.right() - side, cell.top() + (cell.height() - side) / 2, side, side);
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        QStyleOptionButton button;
        button.rect = buttonRect(option.rect);
        button.text = QStringLiteral("…");
        button.state = QStyle::State_Enabled | QStyle::State_Raised;
        const QWidget *widget = option.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_PushButton, &button, painter, widget);
    }

    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override
    {
        if (event->type() == QEvent::MouseButtonRelease) {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() == Qt::LeftButton &&
                buttonRect(option.rect).contains(mouse->position().toPoint())) {
                emit clicked(index.row());
                return true;
            }
        }
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    }

signals:
    void clicked(int row);
};

namespace {

// The name without the folder, in the workstation's own path form.
QString fileNameOf(const QString &path)
{
    return QDir::fromNativeSeparators(path).section(QLatin1Char('/'), -1);
}

void writeWhole(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw Error(
            S("无法写入文件“%1”：%2").arg(QDir::toNativeSeparators(path), file.errorString()));
}

} // namespace

QString AccessoriesCommandText(int objType, int entryId, int itemId, const QString &objGuid)
{
    QString text = S("WHERE ObjType = %1").arg(objType);
    if (entryId > 0)
        text += S(" AND EntryID = %1").arg(entryId);
    if (itemId > 0)
        text += S(" AND ItemID = %1").arg(itemId);
    if (!objGuid.isEmpty())
        text += S(" AND ObjGUID = '%1'").arg(QuoteDoubled(objGuid));
    return text + S(" ORDER BY IndexNo");
}

QString FileBaseName(const QString &path)
{
    const QString name = fileNameOf(path);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? name.left(dot) : name;
}

QString FileExtension(const QString &path)
{
    const QString name = fileNameOf(path);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? name.mid(dot + 1) : QString();
}

QString AttachmentFileProblem(const QString &path, qint64 size, int captionBytes, int suffixBytes)
{
    const QString file = fileNameOf(path);
    if (size > kMaxAttachmentBytes)
        return S("文件“%1”超过附件的大小上限 %2 MB。")
            .arg(file)
            .arg(kMaxAttachmentBytes / (1024 * 1024));
    const QString suffix = normalizedAttachmentSuffix(FileExtension(path));
    const int suffixLimit = suffixBytes > 0 ? suffixBytes : kMaxAttachmentSuffixLength;
    if (!suffix.isEmpty() &&
        (!isValidAttachmentSuffix(suffix) || gbkByteLength(suffix) > suffixLimit))
        return S("文件“%1”的扩展名不能用于附件：扩展名只能包含文字、数字、“-”和“_”，"
                 "最多 %2 字节。")
            .arg(file)
            .arg(suffixLimit);
    const int captionLength = gbkByteLength(FileBaseName(path));
    if (captionBytes > 0 && captionLength > captionBytes)
        return S("文件“%1”的名称过长：附件标题最多 %2 字节，实际 %3 字节。")
            .arg(file)
            .arg(captionBytes)
            .arg(captionLength);
    return QString();
}

AccessoriesToolbar AccessoriesToolbarState(int rows, int recNo, bool approved, int rightLevel)
{
    AccessoriesToolbar t;
    const bool any = rows > 0;
    const bool reader = rightLevel >= 1 && rightLevel <= 3;
    t.noDataHint = !any;
    t.first = t.prior = recNo > 1;
    t.next = t.last = any && recNo < rows;
    t.view = t.download = any && reader;
    t.approve = any && rightLevel == 1;
    t.remove = any && !approved && (rightLevel == 1 || rightLevel == 2);
    t.approveWithdraws = any && approved;
    return t;
}

TDefAccessoriesForm::TDefAccessoriesForm(QWidget *parent) : TDocFindForm(parent)
{
    setWindowTitle(S("附件"));
    resize(660, 348);

    cdsData = new ClientDataSet(this);
    cdsData->setObjectName(S("cdsData"));
    cdsData->setProviderName(S("LX_DMAccessories"));
    cdsData->setCommandText(S("WHERE 1=-1"));
    cdsFile = new ClientDataSet(this);
    cdsFile->setObjectName(S("cdsFile"));
    cdsFile->setFieldDefs(AttachmentTransferFields());
    cdsFile->createDataSet();

    lbTitle = MakeTitleLabel(S(" ：附件维护"), this);

    auto *toolbar = new QHBoxLayout;
    const auto button = [&](QToolButton *&b, const char *name, const QString &text,
                            const QString &hint) {
        b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(text);
        b->setToolTip(hint);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        toolbar->addWidget(b);
    };
    button(sbView, "sbView", S("查阅"), S("查阅附件"));
    button(sbDownload, "sbDownload", S("下载"), S("下载附件"));
    button(sbAdd, "sbAdd", S("添加"), S("添加附件"));
    button(sbApprove, "sbApprove", S("审核"), S("审核附件"));
    button(sbDelete, "sbDelete", S("删除"), S("删除附件"));
    toolbar->addSpacing(12);
    button(sbFirst, "sbFirst", S("首张"), S("第一个附件"));
    button(sbPrior, "sbPrior", S("上张"), S("上一个附件"));
    button(sbNext, "sbNext", S("下张"), S("下一个附件"));
    button(sbLast, "sbLast", S("末张"), S("最后一个附件"));
    toolbar->addSpacing(12);
    button(sbSave, "sbSave", S("保存"), S("保存附件"));
    button(sbClose, "sbClose", S("关闭"), S("关闭附近维护"));
    toolbar->addStretch(1);

    grdData = new QTableView(this);
    grdData->setObjectName(S("grdData"));
    auto *model = new AccessoriesModel(cdsData, grdData);
    grdData->setModel(model);
    grdData->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdData->setSelectionMode(QAbstractItemView::SingleSelection);
    grdData->setEditTriggers(QAbstractItemView::NoEditTriggers);
    SetMainGridView(grdData);
    KeyFieldNames = S("AccessoriesID");
    SetDesignedColumns({{S("IndexNo"), S("序号"), 50},
                        {S("Caption"), S("附件标题"), 200},
                        {S("SelFile"), S("附件"), 60},
                        {S("Description"), S("备注"), 200},
                        {S("Maker"), S("上传人"), 80},
                        {S("MakeDate"), S("上传时间"), 130},
                        {S("Ratifier"), S("审核人"), 80}});

    lbNoData = new QLabel(S("没有指定相关附件"), grdData);
    lbNoData->setObjectName(S("lbNoAccessories"));
    lbNoData->setAlignment(Qt::AlignCenter);
    lbNoData->hide();

    auto *main = new QVBoxLayout(this);
    main->addWidget(lbTitle);
    main->addLayout(toolbar);
    main->addWidget(grdData, 1);

    const auto guarded = [this](void (TDefAccessoriesForm::*action)()) {
        return [this, action] { RunGuarded([&] { (this->*action)(); }); };
    };
    connect(sbView, &QToolButton::clicked, this, guarded(&TDefAccessoriesForm::ViewFile));
    connect(sbDownload, &QToolButton::clicked, this, guarded(&TDefAccessoriesForm::DownloadFile));
    connect(sbAdd, &QToolButton::clicked, this, guarded(&TDefAccessoriesForm::AddFiles));
    connect(sbApprove, &QToolButton::clicked, this, guarded(&TDefAccessoriesForm::ToggleApproval));
    connect(sbDelete, &QToolButton::clicked, this, guarded(&TDefAccessoriesForm::DeleteAttachment));
    connect(sbSave, &QToolButton::clicked, this, [this] { Save(); });
    connect(sbClose, &QToolButton::clicked, this, [this] { done(mrOk); });
    // The step is a member function of the form, not a lambda made by a lambda: GCC 12 built
    // with the vptr sanitizer gets `this` wrong in `(cdsData->*step)()` inside such a closure.
    for (const auto &[button, step] :
         {std::pair{sbFirst, &ClientDataSet::first}, std::pair{sbPrior, &ClientDataSet::prior},
          std::pair{sbNext, &ClientDataSet::next}, std::pair{sbLast, &ClientDataSet::last}})
        connect(button, &QToolButton::clicked, this,
                [this, step = step] { RunGuarded([&] { navigate(step); }); });
    m_fileButton = new FileCellDelegate(grdData);
    connect(m_fileButton, &FileCellDelegate::clicked, this, [this](int row) {
        RunGuarded([&] {
            cdsData->setRecNo(row + 1);
            ReplaceFile();
        });
    });
    connect(cdsData, &ClientDataSet::currentChanged, this, [this] {
        if (!m_loading)
            refreshToolbar();
    });
    connect(cdsData, &ClientDataSet::rowChanged, this, [this] {
        if (!m_loading)
            markChanged();
    });

    InitDocFind();
    // The list is ordered by IndexNo, which deleting renumbers: no sorting by a column.
    grdData->horizontalHeader()->setSectionsClickable(false);
    sbSave->setEnabled(false);
}

TDefAccessoriesForm::~TDefAccessoriesForm() = default;

void TDefAccessoriesForm::SetDocumentTitle(const QString &title)
{
    lbTitle->setText(S(" ") + title + S("：附件维护"));
}

bool TDefAccessoriesForm::SaveEnabled() const
{
    return sbSave->isEnabled();
}

void TDefAccessoriesForm::postEdits()
{
    if (cdsData->isEditing())
        cdsData->post();
}

void TDefAccessoriesForm::navigate(void (ClientDataSet::*step)())
{
    postEdits();
    (cdsData->*step)(); // the toolbar follows the move (currentChanged)
}

void TDefAccessoriesForm::fillTransfer(const QString &id, const QByteArray &bytes)
{
    cdsFile->setData(DataPacket{AttachmentTransferFields(), {}});
    cdsFile->append();
    cdsFile->setValue(S("ID"), id);
    cdsFile->setValue(S("FileData"), bytes);
    cdsFile->post();
}

void TDefAccessoriesForm::placeNoDataHint()
{
    // Two thirds of the form's width, centred over the grid.
    lbNoData->resize(width() * 2 / 3, lbNoData->sizeHint().height());
    lbNoData->move((grdData->width() - lbNoData->width()) / 2,
                   (grdData->height() - lbNoData->height()) / 2);
}

void TDefAccessoriesForm::resizeEvent(QResizeEvent *event)
{
    TDocFindForm::resizeEvent(event);
    placeNoDataHint();
}

void TDefAccessoriesForm::FormShow()
{
    const BusyScope busy;
    m_loading = true;
    placeNoDataHint();
    RunGuarded([this] { RefreshData(true); });
    const bool editable = RightLevel == 1 || RightLevel == 2;
    static_cast<AccessoriesModel *>(grdData->model())->editable = editable;
    grdData->setEditTriggers(editable ? QAbstractItemView::DoubleClicked |
                                            QAbstractItemView::EditKeyPressed |
                                            QAbstractItemView::AnyKeyPressed
                                      : QAbstractItemView::NoEditTriggers);
    sbAdd->setEnabled(RightLevel >= 1 && RightLevel <= 3);
    refreshToolbar();
    sbSave->setEnabled(false);
    m_loading = false;
}

void TDefAccessoriesForm::RefreshData(bool)
{
    const bool wasLoading = m_loading;
    m_loading = true;
    cdsData->close();
    cdsData->setCommandText(AccessoriesCommandText(ObjType, EntryID, ItemID, ObjGUID));
    cdsData->open();
    // What the list shows of stored files is display only and never sent.
    for (cdsData->first(); !cdsData->eof(); cdsData->next()) {
        cdsData->edit();
        cdsData->setValue(S("SelFile"), S("已指定"));
        cdsData->post();
    }
    cdsData->mergeChangeLog();
    cdsData->first();
    ApplyDesignedColumns();
    if (const int file = cdsData->fieldIndex(S("SelFile")); file >= 0)
        grdData->setItemDelegateForColumn(file, m_fileButton);
    m_loading = wasLoading;
}

bool TDefAccessoriesForm::approved() const
{
    return !cdsData->isEmpty() && !cdsData->asString(S("Ratifier")).isEmpty();
}

void TDefAccessoriesForm::refreshToolbar()
{
    const AccessoriesToolbar t =
        AccessoriesToolbarState(cdsData->recordCount(), cdsData->recNo(), approved(), RightLevel);
    lbNoData->setVisible(t.noDataHint);
    sbFirst->setEnabled(t.first);
    sbPrior->setEnabled(t.prior);
    sbNext->setEnabled(t.next);
    sbLast->setEnabled(t.last);
    sbView->setEnabled(t.view);
    sbDownload->setEnabled(t.download);
    sbApprove->setEnabled(t.approve);
    sbDelete->setEnabled(t.remove);
    sbApprove->setText(t.approveWithdraws ? S("反审核") : S("审核"));
    sbApprove->setToolTip(t.approveWithdraws ? S("反审核附件") : S("审核附件"));
}

void TDefAccessoriesForm::markChanged()
{
    sbSave->setEnabled(true);
}

void TDefAccessoriesForm::newRecord()
{
    cdsData->append();
    cdsData->setValue(S("AccessoriesID"),
                      QUuid::createUuid().toString(QUuid::WithBraces).toUpper());
    cdsData->setValue(S("ObjType"), ObjType);
    if (EntryID > 0)
        cdsData->setValue(S("EntryID"), EntryID);
    if (ItemID > 0)
        cdsData->setValue(S("ItemID"), ItemID);
    if (!ObjGUID.isEmpty())
        cdsData->setValue(S("ObjGUID"), ObjGUID);
    cdsData->setValue(S("IndexNo"), cdsData->recordCount());
    cdsData->setValue(S("BeStatus"), S("0"));
}

void TDefAccessoriesForm::checkFile(const QString &path) const
{
    const QFileInfo info(path);
    if (!info.isFile())
        throw Error(S("文件“%1”不存在。").arg(QDir::toNativeSeparators(path)));
    const auto fieldSize = [this](const char *name) {
        const int i = indexOfField(cdsData->fieldDefs(), QString::fromLatin1(name));
        return i < 0 ? 0 : cdsData->fieldDefs()[i].size;
    };
    const QString problem =
        AttachmentFileProblem(path, info.size(), fieldSize("Caption"), fieldSize("FileSuffix"));
    if (!problem.isEmpty())
        throw Error(problem);
}

void TDefAccessoriesForm::putFile(const QString &path, const QString &selFile,
                                  const QString &status)
{
    // No half-made record for a later save to store.
    auto cancelOnFailure = qScopeGuard([this] { cdsData->cancel(); });
    cdsData->setValue(S("SelFileName"), QFileInfo(path).absoluteFilePath());
    cdsData->setValue(S("Caption"), FileBaseName(path));
    cdsData->setValue(S("FileSuffix"), normalizedAttachmentSuffix(FileExtension(path)));
    if (!status.isEmpty()) {
        cdsData->setValue(S("SelFile"), selFile);
        cdsData->setValue(S("BeStatus"), status);
    }
    cdsData->post();
    cancelOnFailure.dismiss();
}

void TDefAccessoriesForm::appendFile(const QString &path)
{
    newRecord();
    putFile(path, S("已指定"), S("A"));
}

void TDefAccessoriesForm::AddFiles()
{
    const QStringList files =
        DialogService::instance().openFileNames(this, S("选择附件"), kFilter, true);
    postEdits();
    // All chosen files or none: the message names the first one that cannot be attached.
    for (const QString &path : files)
        checkFile(path);
    for (const QString &path : files)
        appendFile(path);
    if (!files.isEmpty())
        markChanged();
    refreshToolbar();
}

void TDefAccessoriesForm::ReplaceFile()
{
    if (cdsData->isEmpty() || RightLevel < 1 || RightLevel > 2)
        return;
    if (approved()) {
        ShowWarningMessage(S("附件已审核，不可以修改附件内容。"));
        return;
    }
    const QString path =
        DialogService::instance().openFileNames(this, S("选择附件"), kFilter, false).value(0);
    if (path.isEmpty())
        return;
    checkFile(path);
    postEdits();
    cdsData->edit();
    // A record still to be added stays one; a stored one becomes modified.
    const bool added = cdsData->asString(S("BeStatus")) == u"A";
    putFile(path, S("已修改"), added ? QString() : S("M"));
    markChanged();
    refreshToolbar();
}

QString TDefAccessoriesForm::localCopy()
{
    const QString status = cdsData->asString(S("BeStatus"));
    if (status == u"A" || status == u"M")
        return cdsData->asString(S("SelFileName"));
    const QString name =
        StoredFileName(cdsData->asString(S("AccessoriesID")), cdsData->asString(S("FileSuffix")));
    QVariantList args{name};
    const QString packet = CallServer(S("GetAccessories"), args).toString();
    if (packet.isEmpty()) {
        ShowErrorMessage(kMissing);
        return QString();
    }
    ClientDataSet answer;
    answer.loadFromText(packet);
    if (answer.fieldIndex(S("FileData")) < 0 || answer.isEmpty())
        throw Error(S("应用服务器返回的附件数据缺少 FileData。"));
    answer.first();
    fillTransfer(name, answer.value(S("FileData")).toByteArray());
    const QString folder = LocalDataFolder() + S("/doc/accessories");
    if (!QDir().mkpath(folder))
        throw Error(S("无法创建文件夹“%1”。").arg(QDir::toNativeSeparators(folder)));
    const QString path = folder + QLatin1Char('/') + name;
    writeWhole(path, cdsFile->value(S("FileData")).toByteArray());
    return path;
}

void TDefAccessoriesForm::ViewFile()
{
    if (cdsData->isEmpty())
        return;
    postEdits();
    const QString path = localCopy();
    if (!path.isEmpty() && !DialogService::instance().openDocument(path))
        ShowWarningMessage(S("没有可以打开附件“%1”的程序。").arg(QDir::toNativeSeparators(path)));
}

void TDefAccessoriesForm::DownloadFile()
{
    if (cdsData->isEmpty())
        return;
    postEdits();
    const QString caption = cdsData->asString(S("Caption"));
    const QString suffix = cdsData->asString(S("FileSuffix"));
    const QString proposed = suffix.isEmpty() ? caption : caption + QLatin1Char('.') + suffix;
    const QString target =
        DialogService::instance().saveFileName(this, S("下载附件"), proposed, kFilter);
    if (target.isEmpty())
        return;
    const QString source = localCopy();
    if (source.isEmpty())
        return;
    fillTransfer(QFileInfo(source).fileName(), ReadAttachmentFile(source));
    writeWhole(target, cdsFile->value(S("FileData")).toByteArray());
}

void TDefAccessoriesForm::ToggleApproval()
{
    if (cdsData->isEmpty() || RightLevel != 1)
        return;
    postEdits();
    const bool withdraw = approved();
    const QString caption = cdsData->asString(S("Caption"));
    const QString question =
        withdraw ? S("是否反审核附件“%1”？").arg(caption) : S("是否审核附件“%1”？").arg(caption);
    if (AskYesNo(question) != mrOk)
        return;
    cdsData->edit();
    if (withdraw) {
        cdsData->setValue(S("Ratifier"), QVariant());
        cdsData->setValue(S("RatifierID"), QVariant());
        cdsData->setValue(S("ApproveDate"), QVariant());
    } else {
        cdsData->setValue(S("Ratifier"), CurrentUserName());
        cdsData->setValue(S("RatifierID"), CurrentUserID());
        cdsData->setValue(S("ApproveDate"), DayNumberToDateTime(ServerDateTime()));
    }
    cdsData->post();
    markChanged();
    refreshToolbar();
}

void TDefAccessoriesForm::DeleteAttachment()
{
    if (cdsData->isEmpty() || approved() || (RightLevel != 1 && RightLevel != 2))
        return;
    postEdits();
    if (AskYesNo(S("是否删除附件“%1”？").arg(cdsData->asString(S("Caption")))) != mrOk)
        return;
    const int recNo = cdsData->recNo();
    {
        const QScopedValueRollback loading(m_loading, true);
        cdsData->deleteRecord();
        // The list stays numbered 1, 2, 3 ... without gaps.
        for (int no = recNo; no <= cdsData->recordCount(); ++no) {
            cdsData->setRecNo(no);
            if (cdsData->asInteger(S("IndexNo")) == no)
                continue;
            cdsData->edit();
            cdsData->setValue(S("IndexNo"), no);
            cdsData->post();
        }
        if (!cdsData->isEmpty())
            cdsData->setRecNo(recNo);
    }
    markChanged();
    refreshToolbar();
}

bool TDefAccessoriesForm::Save()
{
    const QScopedValueRollback loading(m_loading, true);
    QString failure;
    {
        const BusyScope busy;
        failure = AttachmentSave::Run(*cdsData, EntryID);
        if (failure.isEmpty())
            sbSave->setEnabled(false);
    }
    refreshToolbar();
    if (failure.isEmpty())
        return true;
    ShowWarningMessage(SaveFailureMessage(failure));
    return false;
}

void TDefAccessoriesForm::done(int result)
{
    if (!RunGuarded([this] { postEdits(); }))
        return;
    // Any unsaved row counts, not only the current one: closing must not drop a change
    // made on another row.
    if (cdsData->isActive() && cdsData->changeCount() > 0) {
        const int answer = AskSaveChanges(S("是否保存修改后的结果？"));
        // Cancel keeps the dialog and its changes; only "no" drops them.
        if (answer == mrCancel || (answer == mrYes && !Save()))
            return;
    }
    Q_UNUSED(result)
    TDocFindForm::done(mrOk);
}

void InstallAttachmentDialog()
{
    AttachmentDialogOpener() = [](int objType, int docEntry, TLXCustomChildForm &page) {
        TDefAccessoriesForm dialog(&page);
        dialog.ObjType = objType;
        dialog.EntryID = docEntry;
        dialog.RightLevel = CheckRight(objType);
        dialog.SetDocumentTitle(page.GetModuleCaption());
        DialogService::instance().exec(dialog);
        return dialog.Data().isActive() ? dialog.Data().recordCount() : 0;
    };
}

} // namespace vexa::gl

#include "DefAccessoriesForm.moc"
