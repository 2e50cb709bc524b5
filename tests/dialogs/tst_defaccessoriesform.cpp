// The attachments dialog against a real account set and its attachment folder: the list of
// one document, adding several files, saving (records and uploads), opening and
// downloading stored files, replacing, approving, deleting with renumbering, files refused
// when they are added, a failed save that keeps what the user did and the stored files, and
// closing with unsaved changes.
#include "AttachmentSave.h"
#include "ClientDataSet.h"
#include "ClientSettings.h"
#include "DataAccess.h"
#include "DataPacket.h"
#include "DefAccessoriesForm.h"
#include "Globals.h"
#include "LXChildForm.h"
#include "MessageDialogs.h"
#include "support/ScriptedDialogs.h"
#include "support/TestHost.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using namespace vexa;
using namespace vexa::gl;
using vexa::test::TestHost;

namespace {

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return path;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// The bytes the server holds under a stored name; empty when it has none.
QByteArray storedBytes(const QString &name)
{
    QVariantList args{name};
    const QString packet = CallServer(QStringLiteral("GetAccessories"), args).toString();
    if (packet.isEmpty())
        return {};
    ClientDataSet file;
    file.loadFromText(packet);
    return file.value(QStringLiteral("FileData")).toByteArray();
}

struct Dialog
{
    TDefAccessoriesForm form;
    explicit Dialog(int entryId, int rightLevel = 1)
    {
        form.ObjType = 2101;
        form.EntryID = entryId;
        form.RightLevel = rightLevel;
        form.SetDocumentTitle(QStringLiteral("记账凭证"));
        form.show();
    }
    ClientDataSet &data() { return form.Data(); }
    QToolButton *button(const char *name)
    {
        return form.findChild<QToolButton *>(QString::fromLatin1(name));
    }
    QString stored(int recNo)
    {
        data().setRecNo(recNo);
        return StoredFileName(data().asString(QStringLiteral("AccessoriesID")),
                              data().asString(QStringLiteral("FileSuffix")));
    }
};

} // namespace

class TestDefAccessoriesForm : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    QTemporaryDir m_files;
    QTemporaryDir m_local;
    std::unique_ptr<TestHost> m_host;

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        OpenRegistryKey(QStringLiteral("SHKEYCONFIG"))
            ->setValue(QStringLiteral("LocalAppData"), m_local.path());
        m_host = std::make_unique<TestHost>();
        // 2027-01-15 10:30, as the host hands out server times.
        m_host->values.insert(QStringLiteral("DateTime"), 46402.4375);
        Globals().Host = m_host.get();
        Globals().Connection = m_host->connection.get();
        Globals().AppServer = m_host->connection.get();
        Globals().DataModule = &m_host->dataModule;
    }

    void cleanupTestCase()
    {
        Globals() = PluginGlobals();
        m_host.reset();
    }

    void rules()
    {
        QCOMPARE(AccessoriesCommandText(2101, 0, 0, QString()),
                 QStringLiteral("WHERE ObjType = 2101 ORDER BY IndexNo"));
        QCOMPARE(AccessoriesCommandText(2101, 5, 2, QStringLiteral("{A'B}")),
                 QStringLiteral("WHERE ObjType = 2101 AND EntryID = 5 AND ItemID = 2 AND "
                                "ObjGUID = '{A''B}' ORDER BY IndexNo"));
        QCOMPARE(StoredFileName(QStringLiteral("{X}"), QString()), QStringLiteral("{X}"));
        QCOMPARE(StoredFileName(QStringLiteral("{X}"), QStringLiteral("pdf")),
                 QStringLiteral("{X}.pdf"));

        AccessoriesToolbar t = AccessoriesToolbarState(0, 0, false, 1);
        QVERIFY(t.noDataHint && !t.view && !t.approve && !t.remove && !t.next && !t.prior);
        t = AccessoriesToolbarState(3, 3, true, 1);
        QVERIFY(t.prior && !t.next && t.approve && t.approveWithdraws && !t.remove);
        t = AccessoriesToolbarState(3, 1, false, 3);
        QVERIFY(t.view && t.download && t.next && !t.prior && !t.approve && !t.remove);
        t = AccessoriesToolbarState(3, 2, false, 2);
        QVERIFY(t.remove && !t.approve);
        QVERIFY(!AccessoriesToolbarState(3, 2, false, 0).view);
    }

    void addSaveOpenDownload()
    {
        ScriptedDialogs dialogs;
        const QString a = writeFile(m_files, QStringLiteral("合同.txt"), "contract");
        const QString b = writeFile(m_files, QStringLiteral("scan.v2.pdf"), "%PDF-1.4");
        const QString c = writeFile(m_files, QStringLiteral("README"), "plain");
        const QString dot = writeFile(m_files, QStringLiteral(".bashrc"), "dot");
        {
            // A new document: its number comes with the save.
            Dialog d(0);
            QVERIFY(d.form.findChild<QLabel *>(QStringLiteral("lbNoAccessories"))->isVisible());
            dialogs.answerFiles({a, b, c, dot});
            d.button("sbAdd")->click();
            QCOMPARE(d.data().recordCount(), 4);
            // A leading dot does not start an extension.
            d.data().setRecNo(4);
            QCOMPARE(d.data().asString(QStringLiteral("Caption")), QStringLiteral(".bashrc"));
            QCOMPARE(d.data().asString(QStringLiteral("FileSuffix")), QString());
            QVERIFY(d.form.SaveEnabled());
            d.data().setRecNo(2);
            QCOMPARE(d.data().asInteger(QStringLiteral("IndexNo")), 2);
            QCOMPARE(d.data().asString(QStringLiteral("Caption")), QStringLiteral("scan.v2"));
            QCOMPARE(d.data().asString(QStringLiteral("FileSuffix")), QStringLiteral("pdf"));
            QCOMPARE(d.data().asString(QStringLiteral("BeStatus")), QStringLiteral("A"));
            // Not stored yet: opening shows the chosen file itself.
            d.button("sbView")->click();
            QCOMPARE(dialogs.openedDocuments.value(0), QFileInfo(b).absoluteFilePath());

            d.form.EntryID = 77;
            QVERIFY(d.form.Save());
            QVERIFY(!d.form.SaveEnabled());
            QCOMPARE(storedBytes(d.stored(1)), QByteArray("contract"));
            QCOMPARE(storedBytes(d.stored(2)), QByteArray("%PDF-1.4"));
            // Without an extension the file is stored under the bare GUID.
            QVERIFY(!d.stored(3).contains(QLatin1Char('.')));
            QCOMPARE(storedBytes(d.stored(3)), QByteArray("plain"));
            QCOMPARE(storedBytes(d.stored(4)), QByteArray("dot"));
        }
        auto rows = ProviderDataSet(QStringLiteral("LX_DMAccessories"),
                                    QStringLiteral("WHERE EntryID = 77 ORDER BY IndexNo"));
        QCOMPARE(rows->recordCount(), 4);
        QCOMPARE(rows->asString(QStringLiteral("BeStatus")), QStringLiteral("Y"));
        QCOMPARE(rows->asString(QStringLiteral("Maker")), CurrentUserName());
        QCOMPARE(rows->value(QStringLiteral("MakeDate")).toDateTime(),
                 QDateTime(QDate(2027, 1, 15), QTime(10, 30)));

        Dialog d(77, 3);
        QCOMPARE(d.data().recordCount(), 4);
        QCOMPARE(d.data().asString(QStringLiteral("SelFile")), QStringLiteral("已指定"));
        QCOMPARE(d.data().changeCount(), 0);
        QVERIFY(!d.button("sbApprove")->isEnabled());
        QVERIFY(!d.button("sbDelete")->isEnabled());
        QVERIFY(d.button("sbAdd")->isEnabled());
        // Stored: fetched into the local attachment folder, then opened.
        const QString name = d.stored(1);
        d.button("sbView")->click();
        const QString local = m_local.filePath(QStringLiteral("doc/accessories/") + name);
        QCOMPARE(dialogs.openedDocuments.constLast(), local);
        QCOMPARE(readFile(local), QByteArray("contract"));
        const QString target = m_files.filePath(QStringLiteral("copy.txt"));
        dialogs.answerFiles({target});
        d.button("sbDownload")->click();
        QCOMPARE(readFile(target), QByteArray("contract"));

        // A record whose file is gone from the server: nothing is opened or written.
        QFile::remove(m_host->dir.filePath(QStringLiteral("doc/accessories/") + d.stored(2)));
        const int opened = int(dialogs.openedDocuments.size());
        d.data().setRecNo(2);
        dialogs.answer(mrOk);
        d.button("sbView")->click();
        QCOMPARE(dialogs.openedDocuments.size(), opened);
        QCOMPARE(dialogs.shown.constLast().text, QStringLiteral("访问附件在应用服务器中不存在！"));
    }

    // A document page opens its attachments with its own caption in the title line, and
    // the "附件" cell replaces a file only through its button.
    void openedFromAPage()
    {
        ScriptedDialogs dialogs;
        InstallAttachmentDialog();
        TLXCustomChildForm page;
        page.SetModuleCaption(QStringLiteral("付款凭证"));
        QString title, replaced;
        QStringList chooserCaptions;
        dialogs.answerWith([&](QDialog &d) {
            title = d.findChild<QLabel *>(QStringLiteral("lbTitle"))->text();
            auto &form = static_cast<TDefAccessoriesForm &>(d);
            dialogs.answerFiles({writeFile(m_files, QStringLiteral("p.txt"), "p")});
            form.findChild<QToolButton *>(QStringLiteral("sbAdd"))->click();
            auto *grid = form.findChild<QTableView *>(QStringLiteral("grdData"));
            const int column = form.Data().fieldIndex(QStringLiteral("SelFile"));
            const QRect cell = grid->visualRect(grid->model()->index(0, column));
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.topLeft() + QPoint(3, 3));
            chooserCaptions = dialogs.fileCaptions;
            dialogs.answerFiles({writeFile(m_files, QStringLiteral("q.txt"), "q")});
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                              QPoint(cell.right() - 4, cell.center().y()));
            replaced = form.Data().asString(QStringLiteral("Caption"));
            dialogs.answer(mrNo); // closing with the unsaved attachment drops it
            form.findChild<QToolButton *>(QStringLiteral("sbClose"))->click();
            return d.result();
        });
        QCOMPARE(AttachmentDialogOpener()(2101, 501, page), 1);
        QCOMPARE(title, QStringLiteral(" 付款凭证：附件维护"));
        QCOMPARE(replaced, QStringLiteral("q"));
        // The click beside the button chose nothing; only the add did.
        QCOMPARE(chooserCaptions, QStringList{QStringLiteral("选择附件")});
        QCOMPARE(dialogs.fileCaptions.size(), 2);
    }

    void replaceApproveDelete()
    {
        ScriptedDialogs dialogs;
        const QStringList files = {writeFile(m_files, QStringLiteral("1.txt"), "one"),
                                   writeFile(m_files, QStringLiteral("2.txt"), "two"),
                                   writeFile(m_files, QStringLiteral("3.txt"), "three"),
                                   writeFile(m_files, QStringLiteral("4.txt"), "four")};
        Dialog d(88);
        dialogs.answerFiles(files);
        d.button("sbAdd")->click();
        QVERIFY(d.form.Save());

        // The file of a stored attachment is replaced and uploaded again.
        const QString newer = writeFile(m_files, QStringLiteral("one-v2.txt"), "one, again");
        d.data().setRecNo(1);
        dialogs.answerFiles({newer});
        d.form.ReplaceFile();
        QCOMPARE(d.data().asString(QStringLiteral("SelFile")), QStringLiteral("已修改"));
        QCOMPARE(d.data().asString(QStringLiteral("BeStatus")), QStringLiteral("M"));
        QCOMPARE(d.data().asString(QStringLiteral("Caption")), QStringLiteral("one-v2"));
        QVERIFY(d.form.Save());
        QCOMPARE(storedBytes(d.stored(1)), QByteArray("one, again"));

        // Approved: still readable, neither replaced nor deleted.
        d.data().setRecNo(1);
        dialogs.answer(mrOk);
        d.button("sbApprove")->click();
        QCOMPARE(dialogs.shown.constLast().text, QStringLiteral("是否审核附件“one-v2”？"));
        QCOMPARE(d.data().asString(QStringLiteral("Ratifier")), CurrentUserName());
        QCOMPARE(d.button("sbApprove")->text(), QStringLiteral("反审核"));
        QVERIFY(!d.button("sbDelete")->isEnabled());
        QVERIFY(d.button("sbView")->isEnabled());
        dialogs.answer(mrOk);
        d.form.ReplaceFile();
        QCOMPARE(dialogs.shown.constLast().text,
                 QStringLiteral("附件已审核，不可以修改附件内容。"));
        QCOMPARE(d.data().asString(QStringLiteral("BeStatus")), QStringLiteral("Y"));

        // Deleting record 2 of 4 renumbers the two after it; the cursor stays at 2.
        d.data().setRecNo(2);
        dialogs.answer(mrOk);
        d.button("sbDelete")->click();
        QCOMPARE(dialogs.shown.constLast().text, QStringLiteral("是否删除附件“2”？"));
        QCOMPARE(d.data().recordCount(), 3);
        QCOMPARE(d.data().recNo(), 2);
        QStringList order;
        for (int no = 1; no <= 3; ++no) {
            d.data().setRecNo(no);
            order << d.data().asString(QStringLiteral("IndexNo")) + QLatin1Char(':') +
                         d.data().asString(QStringLiteral("Caption"));
        }
        QCOMPARE(order, (QStringList{QStringLiteral("1:one-v2"), QStringLiteral("2:3"),
                                     QStringLiteral("3:4")}));
        QVERIFY(d.form.Save());
        QCOMPARE(ProviderDataSet(QStringLiteral("LX_DMAccessories"),
                                 QStringLiteral("WHERE EntryID = 88 AND IndexNo = 3"))
                     ->asString(QStringLiteral("Caption")),
                 QStringLiteral("4"));
    }

    // Files users attach are stored whatever letters their extension has; a file the
    // server could not take is refused when it is added, with its name and the limit.
    void ordinaryFileNames()
    {
        ScriptedDialogs dialogs;
        Dialog d(110);
        dialogs.answerFiles({writeFile(m_files, QStringLiteral("合同.文档"), "contract"),
                             writeFile(m_files, QStringLiteral("notes.final-v2"), "notes"),
                             writeFile(m_files, QStringLiteral("a.tar-gz"), "tar")});
        d.button("sbAdd")->click();
        QVERIFY(d.form.Save());
        QCOMPARE(storedBytes(d.stored(1)), QByteArray("contract"));
        QCOMPARE(storedBytes(d.stored(2)), QByteArray("notes"));
        QCOMPARE(storedBytes(d.stored(3)), QByteArray("tar"));

        QFile big(m_files.filePath(QStringLiteral("big.iso")));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(64ll * 1024 * 1024 + 1));
        big.close();
        const QString odd = writeFile(m_files, QStringLiteral("odd.a b"), "odd");
        for (const QString &path : {big.fileName(), odd}) {
            dialogs.answerFiles({writeFile(m_files, QStringLiteral("fine.txt"), "fine"), path});
            dialogs.answer(mrOk);
            d.button("sbAdd")->click();
        }
        QCOMPARE(dialogs.shown[dialogs.shown.size() - 2].text,
                 QStringLiteral("文件“big.iso”超过附件的大小上限 64 MB。"));
        QCOMPARE(dialogs.shown.constLast().text,
                 QStringLiteral("文件“odd.a b”的扩展名不能用于附件：扩展名只能包含文字、数字、"
                                "“-”和“_”，最多 20 字节。"));
        QCOMPARE(d.data().recordCount(), 3);
        QVERIFY(!d.form.SaveEnabled());
    }

    // A file that cannot be added or put in leaves no half-made record behind.
    void refusedFileLeavesNoRecord()
    {
        ScriptedDialogs dialogs;
        Dialog d(111);
        const QString longName =
            writeFile(m_files, QString(51, QChar(0x6587)) + QStringLiteral(".txt"), "long");
        const QString message = QStringLiteral("文件“%1.txt”的名称过长：附件标题最多 100 字节，"
                                               "实际 102 字节。")
                                    .arg(QString(51, QChar(0x6587)));
        dialogs.answerFiles({longName});
        dialogs.answer(mrOk);
        d.button("sbAdd")->click();
        QCOMPARE(d.data().recordCount(), 0);
        QCOMPARE(dialogs.shown.constLast().text, message);

        dialogs.answerFiles({writeFile(m_files, QStringLiteral("short.txt"), "short")});
        d.button("sbAdd")->click();
        dialogs.answerFiles({longName});
        dialogs.answer(mrOk);
        RunGuarded([&] { d.form.ReplaceFile(); }); // as the "附件" cell's button does
        QCOMPARE(dialogs.shown.constLast().text, message);
        QCOMPARE(d.data().asString(QStringLiteral("Caption")), QStringLiteral("short"));
        QVERIFY(d.form.Save());
        auto rows = ProviderDataSet(QStringLiteral("LX_DMAccessories"),
                                    QStringLiteral("WHERE EntryID = 111"));
        QCOMPARE(rows->recordCount(), 1);
        QCOMPARE(rows->asString(QStringLiteral("BeStatus")), QStringLiteral("Y"));
        QCOMPARE(storedBytes(d.stored(1)), QByteArray("short"));
    }

    // A save that fails after the records went to the server (a chosen file is gone) is
    // rolled back: no record, no file; the rows keep their status for the next try.
    void failedSaveRollsBack()
    {
        ScriptedDialogs dialogs;
        Dialog d(130);
        const QString kept = writeFile(m_files, QStringLiteral("k.txt"), "KEPT");
        const QString gone = writeFile(m_files, QStringLiteral("g.txt"), "GONE");
        dialogs.answerFiles({kept, gone});
        d.button("sbAdd")->click();
        QVERIFY(QFile::rename(gone, gone + QStringLiteral(".away")));
        const QString failure = AttachmentSave::Run(d.data(), 130);
        QVERIFY2(failure.contains(QStringLiteral("g.txt")), qPrintable(failure));
        QCOMPARE(ProviderDataSet(QStringLiteral("LX_DMAccessories"),
                                 QStringLiteral("WHERE EntryID = 130"))
                     ->recordCount(),
                 0);
        QCOMPARE(storedBytes(d.stored(1)), QByteArray());
        for (int no : {1, 2}) {
            d.data().setRecNo(no);
            QCOMPARE(d.data().asString(QStringLiteral("BeStatus")), QStringLiteral("A"));
            QVERIFY(d.data().isNull(QStringLiteral("Maker")));
        }
        QVERIFY(d.data().changeCount() > 0);

        QVERIFY(QFile::rename(gone + QStringLiteral(".away"), gone));
        QCOMPARE(AttachmentSave::Run(d.data(), 130), QString());
        QCOMPARE(d.data().changeCount(), 0);
        QCOMPARE(storedBytes(d.stored(1)), QByteArray("KEPT"));
        QCOMPARE(storedBytes(d.stored(2)), QByteArray("GONE"));
    }

    // A save whose later upload fails keeps the stored file of a replaced attachment.
    void failedUploadKeepsStoredFile()
    {
        ScriptedDialogs dialogs;
        Dialog d(120);
        dialogs.answerFiles({writeFile(m_files, QStringLiteral("o.txt"), "ORIGINAL")});
        d.button("sbAdd")->click();
        QVERIFY(d.form.Save());
        d.data().setRecNo(1);
        dialogs.answerFiles({writeFile(m_files, QStringLiteral("r.txt"), "REPLACEMENT")});
        d.form.ReplaceFile();
        dialogs.answerFiles({writeFile(m_files, QStringLiteral("n.txt"), "NEW")});
        d.button("sbAdd")->click();
        // The server cannot store the new file: a folder holds its name.
        const QString blocker =
            m_host->dir.filePath(QStringLiteral("doc/accessories/")) + d.stored(2);
        QVERIFY(QDir().mkpath(blocker));
        dialogs.answer(mrOk);
        QVERIFY(!d.form.Save());
        QCOMPARE(storedBytes(d.stored(1)), QByteArray("ORIGINAL"));
        QCOMPARE(d.data().asString(QStringLiteral("BeStatus")), QStringLiteral("M"));

        QVERIFY(QDir(blocker).removeRecursively());
        QVERIFY(d.form.Save());
        QCOMPARE(storedBytes(d.stored(1)), QByteArray("REPLACEMENT"));
        QCOMPARE(storedBytes(d.stored(2)), QByteArray("NEW"));
    }

    void failedSaveAndClosing()
    {
        ScriptedDialogs dialogs;
        Dialog d(99);
        dialogs.answerFiles({writeFile(m_files, QStringLiteral("x.txt"), "x")});
        d.button("sbAdd")->click();
        QVERIFY(d.form.Save());

        // Another user edits the same attachment meanwhile: the save fails, and the
        // replaced file is still waiting to be uploaded.
        dialogs.answerFiles({writeFile(m_files, QStringLiteral("y.txt"), "y")});
        d.form.ReplaceFile();
        d.data().edit();
        d.data().setValue(QStringLiteral("Description"), QStringLiteral("mine"));
        d.data().post();
        auto theirs = ProviderDataSet(QStringLiteral("LX_DMAccessories"),
                                      QStringLiteral("WHERE EntryID = 99"));
        theirs->edit();
        theirs->setValue(QStringLiteral("Description"), QStringLiteral("theirs"));
        ApplyChanges(*theirs, true);
        dialogs.answer(mrOk);
        QVERIFY(!d.form.Save());
        QCOMPARE(dialogs.shown.constLast().text,
                 QStringLiteral("数据已被使用，或其他用户已修改数据。"));
        QCOMPARE(d.data().asString(QStringLiteral("BeStatus")), QStringLiteral("M"));
        QCOMPARE(d.data().asString(QStringLiteral("Description")), QStringLiteral("mine"));
        QVERIFY(d.form.SaveEnabled());
        QCOMPARE(storedBytes(d.stored(1)), QByteArray("x"));

        // Closing with unsaved changes: cancel keeps the dialog, no closes with OK.
        dialogs.answer(mrCancel);
        d.button("sbClose")->click();
        QVERIFY(d.form.isVisible());
        QCOMPARE(dialogs.shown.constLast().text, QStringLiteral("是否保存修改后的结果？"));
        dialogs.answer(mrNo);
        d.button("sbClose")->click();
        QVERIFY(!d.form.isVisible());
        QCOMPARE(d.form.result(), int(mrOk));
        QCOMPARE(ProviderDataSet(QStringLiteral("LX_DMAccessories"),
                                 QStringLiteral("WHERE EntryID = 99"))
                     ->asString(QStringLiteral("Description")),
                 QStringLiteral("theirs"));
    }
};

QTEST_MAIN(TestDefAccessoriesForm)
#include "tst_defaccessoriesform.moc"
