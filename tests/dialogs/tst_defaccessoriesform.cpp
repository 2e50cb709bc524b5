// The rules of attachment lists and their save as plain code, and one walk through the
// attachments dialog, against a real account set and its attachment folder.
#include "AttachmentSave.h"
#include "ClientDataSet.h"
#include "ClientSettings.h"
#include "DataAccess.h"
#include "DefAccessoriesForm.h"
#include "Globals.h"
#include "LXChildForm.h"
#include "MessageDialogs.h"
#include "support/ScriptedDialogs.h"
#include "support/TestHost.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QUuid>

using namespace vexa;
using namespace vexa::gl;
using vexa::test::TestHost;
using S = QString;

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// The bytes the server holds under a stored name; empty when it has none.
QByteArray storedBytes(const QString &name)
{
    QVariantList args{name};
    const QString packet = CallServer(S("GetAccessories"), args).toString();
    if (packet.isEmpty())
        return {};
    ClientDataSet file;
    file.loadFromText(packet);
    return file.value(S("FileData")).toByteArray();
}

QString storedName(ClientDataSet &data, int recNo)
{
    data.setRecNo(recNo);
    return StoredFileName(data.asString(S("AccessoriesID")), data.asString(S("FileSuffix")));
}

std::unique_ptr<ClientDataSet> serverRows(int entryId)
{
    return ProviderDataSet(S("LX_DMAccessories"),
                           S("WHERE EntryID = %1 ORDER BY IndexNo").arg(entryId));
}

} // namespace

class TestDefAccessoriesForm : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    QTemporaryDir m_files;
    QTemporaryDir m_local;
    std::unique_ptr<TestHost> m_host;

    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_files.filePath(name);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
        return path;
    }

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        OpenRegistryKey(S("SHKEYCONFIG"))->setValue(S("LocalAppData"), m_local.path());
        m_host = std::make_unique<TestHost>();
        // 2027-01-15 10:30, as the host hands out server times.
        m_host->values.insert(S("DateTime"), 46402.4375);
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

    void names()
    {
        QCOMPARE(AccessoriesCommandText(2101, 0, 0, QString()),
                 S("WHERE ObjType = 2101 ORDER BY IndexNo"));
        QCOMPARE(AccessoriesCommandText(2101, 5, 2, S("{A'B}")),
                 S("WHERE ObjType = 2101 AND EntryID = 5 AND ItemID = 2 AND "
                   "ObjGUID = '{A''B}' ORDER BY IndexNo"));
        QCOMPARE(StoredFileName(S("{X}"), QString()), S("{X}"));
        QCOMPARE(StoredFileName(S("{X}"), S("pdf")), S("{X}.pdf"));
        // A leading dot does not start an extension; a dot in a folder is no extension.
        const std::tuple<const char *, const char *, const char *> files[] = {
            {"scan.v2.pdf", "scan.v2", "pdf"},
            {"README", "README", ""},
            {".bashrc", ".bashrc", ""},
            {"a.b/c", "c", ""},
            {"d/合同.文档", "合同", "文档"}};
        for (const auto &[path, base, ext] : files) {
            QCOMPARE(FileBaseName(S(path)), S(base));
            QCOMPARE(FileExtension(S(path)), S(ext));
        }
    }

    // Why a file cannot become an attachment: the size, extension and title limits with
    // their boundaries.
    void fileProblems_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("suffixBytes");
        QTest::addColumn<QString>("problem");
        const qint64 max = 64ll * 1024 * 1024;
        const QString title(50, QChar(0x6587)); // 100 GBK bytes
        QTest::newRow("largest") << "/f/big.iso" << max << 20 << "";
        QTest::newRow("too large")
            << "/f/big.iso" << max + 1 << 20 << "文件“big.iso”超过附件的大小上限 64 MB。";
        QTest::newRow("space in extension")
            << "/f/odd.a b" << 1ll << 20
            << "文件“odd.a b”的扩展名不能用于附件：扩展名只能包含文字、数字、“-”和“_”，最多 20 "
               "字节。";
        QTest::newRow("extension at the field's size") << "/f/a.docx" << 1ll << 4 << "";
        QTest::newRow("extension past the field's size")
            << "/f/a.docx" << 1ll << 3
            << "文件“a.docx”的扩展名不能用于附件：扩展名只能包含文字、数字、“-”和“_”，最多 3 "
               "字节。";
        QTest::newRow("extension too long")
            << "/f/a." + QString(21, u'x') << 1ll << 0
            << "文件“a." + QString(21, u'x') +
                   "”的扩展名不能用于附件：扩展名只能包含文字、数字、“-”和“_”，最多 20 字节。";
        QTest::newRow("longest title") << "/f/" + title + ".txt" << 1ll << 20 << "";
        QTest::newRow("title too long")
            << "/f/" + title + "文.txt" << 1ll << 20
            << "文件“" + title + "文.txt”的名称过长：附件标题最多 100 字节，实际 102 字节。";
    }

    void fileProblems()
    {
        QFETCH(QString, path);
        QFETCH(qint64, size);
        QFETCH(int, suffixBytes);
        QFETCH(QString, problem);
        QCOMPARE(AttachmentFileProblem(path, size, 100, suffixBytes), problem);
        // Without a field size the title has no limit.
        if (problem.contains(S("标题")))
            QCOMPARE(AttachmentFileProblem(path, size, 0, suffixBytes), QString());
    }

    // What the toolbar allows: hint, first, prior, next, last, view, download, approve,
    // delete, approve reads "反审核".
    void toolbar_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("recNo");
        QTest::addColumn<bool>("approved");
        QTest::addColumn<int>("right");
        QTest::addColumn<QString>("allowed");
        QTest::newRow("empty") << 0 << 0 << false << 1 << "1000000000";
        QTest::newRow("last, approved, approver") << 3 << 3 << true << 1 << "0110011101";
        QTest::newRow("first, viewer") << 3 << 1 << false << 3 << "0001111000";
        QTest::newRow("middle, editor") << 3 << 2 << false << 2 << "0111111010";
        QTest::newRow("no right") << 3 << 2 << false << 0 << "0111100000";
        QTest::newRow("beyond viewer") << 3 << 2 << false << 4 << "0111100000";
    }

    void toolbar()
    {
        QFETCH(int, rows);
        QFETCH(int, recNo);
        QFETCH(bool, approved);
        QFETCH(int, right);
        QFETCH(QString, allowed);
        const AccessoriesToolbar t = AccessoriesToolbarState(rows, recNo, approved, right);
        QString got;
        for (bool b : {t.noDataHint, t.first, t.prior, t.next, t.last, t.view, t.download,
                       t.approve, t.remove, t.approveWithdraws})
            got += b ? u'1' : u'0';
        QCOMPARE(got, allowed);
    }

    // The save stamps and uploads added and replaced rows in one transaction. One that
    // fails (a chosen file is gone) stores no record and no file, and the rows get back
    // what they had, so the retry uploads them all.
    void attachmentSave()
    {
        auto data = serverRows(-1);
        const QString kept = writeFile(S("k.txt"), "KEPT");
        const QString gone = writeFile(S("g.txt"), "GONE");
        for (const QString &path : {kept, gone}) {
            data->append();
            data->setValue(S("AccessoriesID"), QUuid::createUuid().toString().toUpper());
            data->setValue(S("ObjType"), 2101);
            data->setValue(S("IndexNo"), data->recordCount());
            data->setValue(S("Caption"), FileBaseName(path));
            data->setValue(S("FileSuffix"), S("txt"));
            data->setValue(S("SelFileName"), path);
            data->setValue(S("BeStatus"), S("A"));
            data->post();
        }
        QVERIFY(QFile::rename(gone, gone + S(".away")));
        const QString failure = AttachmentSave::Run(*data, 130);
        QVERIFY2(failure.contains(S("g.txt")), qPrintable(failure));
        QCOMPARE(serverRows(130)->recordCount(), 0);
        QCOMPARE(storedBytes(storedName(*data, 1)), QByteArray());
        for (int no : {1, 2}) {
            data->setRecNo(no);
            QCOMPARE(data->asString(S("BeStatus")), S("A"));
            QVERIFY(data->isNull(S("Maker")));
            QVERIFY(data->isNull(S("EntryID")));
        }

        QVERIFY(QFile::rename(gone + S(".away"), gone));
        QCOMPARE(AttachmentSave::Run(*data, 130), QString());
        QCOMPARE(data->changeCount(), 0);
        QCOMPARE(storedBytes(storedName(*data, 1)), QByteArray("KEPT"));
        QCOMPARE(storedBytes(storedName(*data, 2)), QByteArray("GONE"));
        auto rows = serverRows(130);
        QCOMPARE(rows->recordCount(), 2);
        QCOMPARE(rows->asString(S("BeStatus")), S("Y"));
        QCOMPARE(rows->asString(S("Maker")), CurrentUserName());
        QCOMPARE(rows->value(S("MakeDate")).toDateTime(),
                 QDateTime(QDate(2027, 1, 15), QTime(10, 30)));

        // A replaced file is uploaded again; a stored row is not.
        data->setRecNo(1);
        data->edit();
        data->setValue(S("SelFileName"), writeFile(S("k2.txt"), "KEPT, AGAIN"));
        data->setValue(S("BeStatus"), S("M"));
        data->post();
        QFile::remove(gone);
        QCOMPARE(AttachmentSave::Run(*data, 130), QString());
        QCOMPARE(storedBytes(storedName(*data, 1)), QByteArray("KEPT, AGAIN"));
        QCOMPARE(storedBytes(storedName(*data, 2)), QByteArray("GONE"));
    }

    // Regression: the first/prior/next/last buttons failed under the undefined-behaviour
    // sanitizer. Each moves the current record, the grid's row follows and the toolbar with it.
    void navigation()
    {
        ScriptedDialogs dialogs;
        TDefAccessoriesForm form;
        form.ObjType = 2101;
        form.EntryID = 502;
        form.RightLevel = 2;
        QStringList seen;
        dialogs.answerWith([&](QDialog &) {
            dialogs.answerFiles({writeFile(S("n1.txt"), "1"), writeFile(S("n2.txt"), "2"),
                                 writeFile(S("n3.txt"), "3")});
            child<QToolButton>(form, S("sbAdd"))->click();
            const auto *grid = child<QTableView>(form, S("grdData"));
            for (const char *name : {"sbFirst", "sbNext", "sbLast", "sbPrior"}) {
                child<QToolButton>(form, QLatin1String(name))->click();
                seen << S("%1 %2 %3%4")
                            .arg(form.Data().asString(S("Caption")))
                            .arg(grid->currentIndex().row() + 1)
                            .arg(int(child<QToolButton>(form, S("sbPrior"))->isEnabled()))
                            .arg(int(child<QToolButton>(form, S("sbNext"))->isEnabled()));
            }
            return int(mrCancel);
        });
        DialogService::instance().exec(form);
        QCOMPARE(seen, (QStringList{S("n1 1 01"), S("n2 2 11"), S("n3 3 10"), S("n2 2 11")}));
    }

    // The dialog as a document page opens it: files added (all or none), opened before and
    // after the save, a failed save kept for the retry, downloaded, replaced through the
    // "附件" cell's button, approved, deleted with renumbering, closed with saving.
    void smoke()
    {
        ScriptedDialogs dialogs;
        InstallAttachmentDialog();
        TLXCustomChildForm page;
        page.SetModuleCaption(S("付款凭证"));
        const QStringList files = {writeFile(S("1.txt"), "one"), writeFile(S("2.pdf"), "two"),
                                   writeFile(S("3"), "three"), writeFile(S("4.txt"), "four")};
        QString title;
        const auto walk = [&](TDefAccessoriesForm &form) {
            ClientDataSet &data = form.Data();
            const auto button = [&](const char *name) {
                return child<QToolButton>(form, QLatin1String(name));
            };
            title = child<QLabel>(form, S("lbTitle"))->text();
            QVERIFY(child<QLabel>(form, S("lbNoAccessories"))->isVisible());
            dialogs.answerFiles({files[0], m_files.filePath(S("none.txt"))});
            dialogs.answer(mrOk);
            button("sbAdd")->click();
            QCOMPARE(data.recordCount(), 0);
            dialogs.answerFiles(files);
            button("sbAdd")->click();
            QCOMPARE(data.recordCount(), 4);
            QVERIFY(form.SaveEnabled());
            data.setRecNo(2);
            QCOMPARE(data.asInteger(S("IndexNo")), 2);
            button("sbView")->click(); // not stored yet: the chosen file itself
            QCOMPARE(dialogs.openedDocuments.value(0), QFileInfo(files[1]).absoluteFilePath());

            QVERIFY(QFile::rename(files[3], files[3] + S(".away")));
            dialogs.answer(mrOk);
            button("sbSave")->click();
            QVERIFY(form.SaveEnabled());
            QVERIFY(QFile::rename(files[3] + S(".away"), files[3]));
            button("sbSave")->click();
            QVERIFY(!form.SaveEnabled());
            QVERIFY(!storedName(data, 3).contains(u'.'));
            QCOMPARE(storedBytes(storedName(data, 3)), QByteArray("three"));

            // Stored: fetched into the local attachment folder, then opened or downloaded.
            const QString name = storedName(data, 1);
            button("sbView")->click();
            const QString local = m_local.filePath(S("doc/accessories/") + name);
            QCOMPARE(dialogs.openedDocuments.constLast(), local);
            QCOMPARE(readFile(local), QByteArray("one"));
            const QString target = m_files.filePath(S("copy.txt"));
            dialogs.answerFiles({target});
            button("sbDownload")->click();
            QCOMPARE(readFile(target), QByteArray("one"));
            // A record whose file is gone from the server: nothing is opened.
            QFile::remove(m_host->dir.filePath(S("doc/accessories/") + storedName(data, 4)));
            const qsizetype opened = dialogs.openedDocuments.size();
            dialogs.answer(mrOk);
            button("sbView")->click();
            QCOMPARE(dialogs.openedDocuments.size(), opened);
            QCOMPARE(dialogs.shown.constLast().text, S("访问附件在应用服务器中不存在！"));

            // The "附件" cell replaces the file only through its button.
            auto *grid = child<QTableView>(form, S("grdData"));
            const QRect cell =
                grid->visualRect(grid->model()->index(0, data.fieldIndex(S("SelFile"))));
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.topLeft() + QPoint(3, 3));
            dialogs.answerFiles({writeFile(S("one-v2.txt"), "one, again")});
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                              QPoint(cell.right() - 4, cell.center().y()));
            data.setRecNo(1);
            QCOMPARE(data.asString(S("BeStatus")), S("M"));
            QCOMPARE(data.asString(S("Caption")), S("one-v2"));

            // Approved: still readable, neither replaced nor deleted.
            dialogs.answer(mrOk);
            button("sbApprove")->click();
            QCOMPARE(dialogs.shown.constLast().text, S("是否审核附件“one-v2”？"));
            QCOMPARE(data.asString(S("Ratifier")), CurrentUserName());
            QCOMPARE(button("sbApprove")->text(), S("反审核"));
            QVERIFY(!button("sbDelete")->isEnabled());
            dialogs.answer(mrOk);
            form.ReplaceFile();
            QCOMPARE(dialogs.shown.constLast().text, S("附件已审核，不可以修改附件内容。"));

            // Deleting record 2 of 4 renumbers the two after it; the cursor stays at 2.
            data.setRecNo(2);
            data.edit(); // a remark being typed is posted first
            data.setValue(S("Description"), S("删"));
            dialogs.answer(mrOk);
            button("sbDelete")->click();
            QCOMPARE(data.recNo(), 2);
            QStringList order;
            for (data.first(); !data.eof(); data.next())
                order << data.asString(S("IndexNo")) + u':' + data.asString(S("Caption"));
            QCOMPARE(order, (QStringList{S("1:one-v2"), S("2:3"), S("3:4")}));

            // Closing with unsaved changes: cancel keeps the dialog, yes saves and closes.
            dialogs.answer(mrCancel);
            button("sbClose")->click();
            QVERIFY(form.isVisible());
            QCOMPARE(dialogs.shown.constLast().text, S("是否保存修改后的结果？"));
            dialogs.answer(mrYes);
            button("sbClose")->click();
        };
        dialogs.answerWith([&](QDialog &d) {
            walk(static_cast<TDefAccessoriesForm &>(d));
            return d.result();
        });
        QCOMPARE(AttachmentDialogOpener()(2101, 501, page), 3);
        QCOMPARE(title, S(" 付款凭证：附件维护"));
        auto rows = serverRows(501);
        QStringList stored;
        for (rows->first(); !rows->eof(); rows->next())
            stored << rows->asString(S("IndexNo")) + u':' + rows->asString(S("Caption")) + u':' +
                          QString::fromUtf8(storedBytes(storedName(*rows, rows->recNo())));
        QCOMPARE(stored, (QStringList{S("1:one-v2:one, again"), S("2:3:three"), S("3:4:")}));

        // Opened again: the stored list, nothing to save.
        int changes = -1;
        dialogs.answerWith([&](QDialog &d) {
            changes = static_cast<TDefAccessoriesForm &>(d).Data().changeCount();
            child<QToolButton>(d, S("sbClose"))->click();
            return d.result();
        });
        QCOMPARE(AttachmentDialogOpener()(2101, 501, page), 3);
        QCOMPARE(changes, 0);
    }
};

QTEST_MAIN(TestDefAccessoriesForm)
#include "tst_defaccessoriesform.moc"
