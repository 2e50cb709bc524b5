#include "MessageDialogs.h"
#include "support/ScriptedDialogs.h"

#include <vexa/Error.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <stdexcept>

using namespace vexa::gl;

namespace {

enum Kind { Error, Warning, Info, YesNo, Save };

// Shows a message of kind through its function; the answer of the functions without a
// result is the one the dialog closed with.
int showKind(Kind kind, const QString &text, const ScriptedDialogs &dialogs)
{
    switch (kind) {
    case Error:
        ShowErrorMessage(text);
        break;
    case Warning:
        ShowWarningMessage(text);
        break;
    case Info:
        ShowInfoMessage(text);
        break;
    case YesNo:
        return AskYesNo(text);
    case Save:
        return AskSaveChanges(text);
    }
    return dialogs.shown.isEmpty() ? -1 : dialogs.shown.last().result;
}

QString lines(int count)
{
    QStringList text;
    for (int i = 1; i <= count; ++i)
        text << QStringLiteral("第%1行：科目余额不平衡").arg(i);
    return text.join(u'\n');
}

} // namespace

class TestMessageDialogs : public QObject
{
    Q_OBJECT

private slots:
    // Each kind: its form, its buttons and what each button answers.
    void kindsAndResults_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<QString>("clicked");
        QTest::addColumn<int>("result");
        const QStringList yesNo{"btnYes", "btNo"};
        const QStringList all{"btnYes", "btNo", "btnCancel"};
        QTest::newRow("error") << int(Error) << "TErrorInfoFrom" << QStringList{"btnOk"} << "btnOk"
                               << 1;
        QTest::newRow("warning") << int(Warning) << "TWarningInfoFrom" << QStringList{"btnYes"}
                                 << "btnYes" << 1;
        QTest::newRow("information")
            << int(Info) << "TInformationFrom" << QStringList{"btnYes"} << "btnYes" << 1;
        QTest::newRow("ask yes") << int(YesNo) << "TAskDialogFrom" << yesNo << "btnYes" << 1;
        QTest::newRow("ask no") << int(YesNo) << "TAskDialogFrom" << yesNo << "btNo" << 2;
        QTest::newRow("save yes") << int(Save) << "TAskSaveFrom" << all << "btnYes" << 6;
        QTest::newRow("save no") << int(Save) << "TAskSaveFrom" << all << "btNo" << 7;
        QTest::newRow("save cancel") << int(Save) << "TAskSaveFrom" << all << "btnCancel" << 2;
    }
    void kindsAndResults()
    {
        QFETCH(int, kind);
        QFETCH(QString, className);
        QFETCH(QStringList, buttons);
        QFETCH(QString, clicked);
        QFETCH(int, result);

        const QString text = QStringLiteral("凭证 记-0012 尚未审核。");
        ScriptedDialogs dialogs;
        QStringList found;
        dialogs.answerWith([&](QDialog &dialog) {
            for (const QPushButton *b : dialog.findChildren<QPushButton *>())
                found << b->objectName();
            dialog.findChild<QPushButton *>(clicked)->click();
            return dialog.result();
        });
        QCOMPARE(showKind(Kind(kind), text, dialogs), result);
        QCOMPARE(found, buttons);
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].className, QStringLiteral("vexa::gl::") + className);
        QCOMPARE(dialogs.shown[0].text, text);
    }

    // Warnings and information grow by what the text outgrows, buttons moving down with
    // it; the other kinds keep their size and cut the text.
    void longText_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("lineCount");
        QTest::addColumn<bool>("grows");
        QTest::newRow("warning, one line") << int(Warning) << 1 << false;
        QTest::newRow("warning, five lines") << int(Warning) << 5 << true;
        QTest::newRow("information, five lines") << int(Info) << 5 << true;
        QTest::newRow("error") << int(Error) << 12 << false;
        QTest::newRow("ask yes/no") << int(YesNo) << 12 << false;
        QTest::newRow("ask save") << int(Save) << 12 << false;
    }
    void longText()
    {
        QFETCH(int, kind);
        QFETCH(int, lineCount);
        QFETCH(bool, grows);

        ScriptedDialogs dialogs;
        QSize size;
        QRect info, button;
        dialogs.answerWith([&](QDialog &dialog) {
            size = dialog.size();
            info = dialog.findChild<QLabel *>(QStringLiteral("lbInfo"))->geometry();
            button = dialog.findChildren<QPushButton *>().first()->geometry();
            dialog.close();
            return dialog.result();
        });
        const QString text = lines(lineCount);
        showKind(Kind(kind), text, dialogs);
        const int excess = grows ? info.height() - 59 : 0;
        QCOMPARE(excess > 0, grows);
        QVERIFY(info.height() <= 59 || grows);
        QCOMPARE(size, QSize(420, 112 + excess));
        QCOMPARE(button.top(), 79 + excess);
        QCOMPARE(dialogs.shown[0].size, size);
        QCOMPARE(dialogs.shown[0].text, text);
    }

    void keysAndClosing_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("key"); // 0: the window is closed
        QTest::addColumn<int>("result");
        QTest::newRow("yes/no, Escape") << int(YesNo) << int(Qt::Key_Escape) << 2;
        QTest::newRow("yes/no, Enter takes yes") << int(YesNo) << int(Qt::Key_Return) << 1;
        QTest::newRow("yes/no, closed") << int(YesNo) << 0 << 2;
        QTest::newRow("save, Escape is cancel") << int(Save) << int(Qt::Key_Escape) << 2;
        QTest::newRow("save, Enter takes yes") << int(Save) << int(Qt::Key_Return) << 6;
        QTest::newRow("error, Enter") << int(Error) << int(Qt::Key_Return) << 1;
        QTest::newRow("error, keypad Enter") << int(Error) << int(Qt::Key_Enter) << 1;
        QTest::newRow("error, closed") << int(Error) << 0 << 2;
        QTest::newRow("warning, Enter") << int(Warning) << int(Qt::Key_Return) << 1;
        QTest::newRow("warning, Escape leaves it open")
            << int(Warning) << int(Qt::Key_Escape) << -1;
    }
    void keysAndClosing()
    {
        QFETCH(int, kind);
        QFETCH(int, key);
        QFETCH(int, result);

        ScriptedDialogs dialogs;
        int seen = 0;
        dialogs.answerWith([key, &seen](QDialog &dialog) {
            if (key == 0)
                dialog.close();
            else
                QTest::keyClick(&dialog, Qt::Key(key));
            // Still open means the key did not close it.
            seen = dialog.isVisible() ? -1 : dialog.result();
            dialog.done(seen);
            return seen;
        });
        showKind(Kind(kind), QStringLiteral("是否保存对凭证的修改？"), dialogs);
        QCOMPARE(seen, result);
    }

    void centredOnTheOwner()
    {
        QWidget main;
        main.setGeometry(100, 80, 900, 640);
        main.show();
        QApplication::setActiveWindow(&main);
        QVERIFY(QTest::qWaitForWindowActive(&main));

        ScriptedDialogs dialogs;
        QRect rect;
        QWidget *owner = nullptr;
        dialogs.answerWith([&](QDialog &dialog) {
            rect = dialog.geometry();
            owner = dialog.parentWidget();
            dialog.done(1);
            return 1;
        });
        ShowWarningMessage(lines(6)); // grown, and centred at its grown height
        QCOMPARE(owner, &main);
        QVERIFY(rect.height() > 112);
        QVERIFY((rect.center() - main.geometry().center()).manhattanLength() <= 2);
    }

    void errorsShowTheirMessage()
    {
        ScriptedDialogs dialogs;
        for (int i = 0; i < 3; ++i)
            dialogs.answer(1);
        QVERIFY(!RunGuarded([] { throw vexa::Error(QStringLiteral("科目 1002 已被凭证使用。")); }));
        QVERIFY(!RunGuarded([] { throw std::runtime_error("disk full"); }));
        QVERIFY(!RunGuarded([] { throw 7; }));
        QVERIFY(RunGuarded([] {}));
        QCOMPARE(dialogs.shown.size(), 3);
        QCOMPARE(dialogs.shown[0].className, QStringLiteral("vexa::gl::TErrorInfoFrom"));
        QCOMPARE(dialogs.shown[0].text, QStringLiteral("科目 1002 已被凭证使用。"));
        QCOMPARE(dialogs.shown[1].text, QStringLiteral("程序内部错误：disk full"));
        QCOMPARE(dialogs.shown[2].text, QStringLiteral("程序内部错误：未知的异常。"));
        // Foreign texts (SQLite's, Qt's) are UTF-8.
        QCOMPARE(vexa::errorText(std::runtime_error("磁盘已满")), QStringLiteral("磁盘已满"));
        QCOMPARE(vexa::errorText(vexa::Error(QStringLiteral("账套"))), QStringLiteral("账套"));
    }
};

QTEST_MAIN(TestMessageDialogs)
#include "tst_messagedialogs.moc"
