#include "MessageDialogs.h"
#include "support/ScriptedDialogs.h"

#include <vexa/Error.h>

#include <QFrame>
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

// What a dialog looked like while it was shown.
struct Seen
{
    QSize size;
    QRect info;
    QRect firstButton;
};

} // namespace

class TestMessageDialogs : public QObject
{
    Q_OBJECT

private slots:
    void layoutCaptionsAndResults_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QStringList>("buttons"); // name:caption:left
        QTest::addColumn<QRect>("info");
        QTest::addColumn<QRect>("icon");
        QTest::addColumn<QString>("clicked");
        QTest::addColumn<int>("result");

        const QRect icon(11, 13, 22, 22);
        const QStringList ok{QStringLiteral("btnOk:确定:9")};
        const QStringList yes{QStringLiteral("btnYes:确定:9")};
        const QStringList yesNo{QStringLiteral("btnYes:是(&Y):9"),
                                QStringLiteral("btNo:否(&N):93")};
        const QStringList yesNoCancel{QStringLiteral("btnYes:是(&Y):9"),
                                      QStringLiteral("btNo:否(&N):93"),
                                      QStringLiteral("btnCancel:取消(&C):177")};
        QTest::newRow("error") << int(Error) << "vexa::gl::TErrorInfoFrom"
                               << "错误信息" << ok << QRect(43, 14, 362, 59) << icon << "btnOk"
                               << 1;
        QTest::newRow("warning") << int(Warning) << "vexa::gl::TWarningInfoFrom"
                                 << "警告信息" << yes << QRect(43, 14, 358, 0) << icon << "btnYes"
                                 << 1;
        QTest::newRow("information")
            << int(Info) << "vexa::gl::TInformationFrom"
            << "提示信息" << yes << QRect(43, 14, 362, 0) << icon << "btnYes" << 1;
        QTest::newRow("ask yes") << int(YesNo) << "vexa::gl::TAskDialogFrom"
                                 << "询问信息" << yesNo << QRect(43, 14, 362, 56)
                                 << QRect(11, 13, 27, 27) << "btnYes" << 1;
        QTest::newRow("ask no") << int(YesNo) << "vexa::gl::TAskDialogFrom"
                                << "询问信息" << yesNo << QRect(43, 14, 362, 56)
                                << QRect(11, 13, 27, 27) << "btNo" << 2;
        const QRect saveInfo(11, 14, 374, 58);
        const QRect saveIcon(393, 10, 16, 16);
        QTest::newRow("save yes") << int(Save) << "vexa::gl::TAskSaveFrom"
                                  << "询问信息" << yesNoCancel << saveInfo << saveIcon << "btnYes"
                                  << 6;
        QTest::newRow("save no") << int(Save) << "vexa::gl::TAskSaveFrom"
                                 << "询问信息" << yesNoCancel << saveInfo << saveIcon << "btNo"
                                 << 7;
        QTest::newRow("save cancel")
            << int(Save) << "vexa::gl::TAskSaveFrom"
            << "询问信息" << yesNoCancel << saveInfo << saveIcon << "btnCancel" << 2;
    }

    void layoutCaptionsAndResults()
    {
        QFETCH(int, kind);
        QFETCH(QString, className);
        QFETCH(QString, caption);
        QFETCH(QStringList, buttons);
        QFETCH(QRect, info);
        QFETCH(QRect, icon);
        QFETCH(QString, clicked);
        QFETCH(int, result);

        const QString text = QStringLiteral("凭证 记-0012 尚未审核。");
        ScriptedDialogs dialogs;
        dialogs.answerWith([&](QDialog &dialog) {
            auto *panel = dialog.findChild<QFrame *>(QStringLiteral("LXPanel1"));
            if (!panel)
                return -100;
            [&] {
                QCOMPARE(panel->geometry(), QRect(0, 0, 420, 112));
                QCOMPARE(panel->property("tag").toInt(), -1);
                auto *image = panel->findChild<QLabel *>(QStringLiteral("Image1"));
                QVERIFY(image);
                QCOMPARE(image->geometry(), icon);
                QVERIFY(!image->pixmap().isNull());
                auto *label = panel->findChild<QLabel *>(QStringLiteral("lbInfo"));
                QVERIFY(label);
                QVERIFY(label->wordWrap());
                // Growing labels take the height of their one line of text.
                const QRect expected =
                    info.height() ? info
                                  : QRect(info.topLeft(), QSize(info.width(), label->height()));
                QCOMPARE(label->geometry(), expected);
                const auto found = panel->findChildren<QPushButton *>();
                QCOMPARE(found.size(), buttons.size());
                for (const QString &b : buttons) {
                    const QStringList parts = b.split(u':');
                    auto *button = panel->findChild<QPushButton *>(parts[0]);
                    QVERIFY2(button, qPrintable(parts[0]));
                    QCOMPARE(button->text(), parts[1]);
                    QCOMPARE(button->geometry(), QRect(parts[2].toInt(), 79, 80, 23));
                }
            }();
            if (QTest::currentTestFailed())
                return -100;
            dialog.findChild<QPushButton *>(clicked)->click();
            return dialog.result();
        });

        QCOMPARE(showKind(Kind(kind), text, dialogs), result);
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].className, className);
        QCOMPARE(dialogs.shown[0].title, caption);
        QCOMPARE(dialogs.shown[0].text, text);
        QCOMPARE(dialogs.shown[0].size, QSize(420, 112));
    }

    void growsWithText_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("lineCount");
        QTest::newRow("warning, one line") << int(Warning) << 1;
        QTest::newRow("warning, five lines") << int(Warning) << 5;
        QTest::newRow("information, one line") << int(Info) << 1;
        QTest::newRow("information, five lines") << int(Info) << 5;
    }

    void growsWithText()
    {
        QFETCH(int, kind);
        QFETCH(int, lineCount);

        ScriptedDialogs dialogs;
        Seen seen;
        dialogs.answerWith([&seen](QDialog &dialog) {
            seen.size = dialog.size();
            seen.info = dialog.findChild<QLabel *>(QStringLiteral("lbInfo"))->geometry();
            seen.firstButton =
                dialog.findChild<QPushButton *>(QStringLiteral("btnYes"))->geometry();
            dialog.done(1);
            return 1;
        });
        showKind(Kind(kind), lines(lineCount), dialogs);

        if (lineCount == 1) {
            QVERIFY(seen.info.height() <= 59);
            QCOMPARE(seen.size, QSize(420, 112));
            QCOMPARE(seen.firstButton.top(), 79);
        } else {
            QVERIFY2(seen.info.height() > 59, "five lines should be taller than the label");
            const int excess = seen.info.height() - 59;
            QCOMPARE(seen.size, QSize(420, 112 + excess));
            QCOMPARE(seen.firstButton.top(), 79 + excess);
            QVERIFY(seen.firstButton.top() > seen.info.bottom());
        }
        QCOMPARE(dialogs.shown[0].size, seen.size);
    }

    void fixedLabelsCutLongText_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("labelHeight");
        QTest::newRow("error") << int(Error) << 59;
        QTest::newRow("ask yes/no") << int(YesNo) << 56;
        QTest::newRow("ask save") << int(Save) << 58;
    }

    void fixedLabelsCutLongText()
    {
        QFETCH(int, kind);
        QFETCH(int, labelHeight);

        ScriptedDialogs dialogs;
        Seen seen;
        dialogs.answerWith([&seen](QDialog &dialog) {
            seen.size = dialog.size();
            seen.info = dialog.findChild<QLabel *>(QStringLiteral("lbInfo"))->geometry();
            seen.firstButton = dialog.findChild<QPushButton *>()->geometry();
            dialog.close();
            return dialog.result();
        });
        const QString text = lines(12);
        showKind(Kind(kind), text, dialogs);
        QCOMPARE(seen.size, QSize(420, 112));
        QCOMPARE(seen.info.height(), labelHeight);
        QCOMPARE(seen.firstButton.top(), 79);
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
        QTest::newRow("save, closed") << int(Save) << 0 << 2;
        QTest::newRow("error, Enter") << int(Error) << int(Qt::Key_Return) << 1;
        QTest::newRow("error, keypad Enter") << int(Error) << int(Qt::Key_Enter) << 1;
        QTest::newRow("error, closed") << int(Error) << 0 << 2;
        QTest::newRow("warning, Enter") << int(Warning) << int(Qt::Key_Return) << 1;
    }

    void keysAndClosing()
    {
        QFETCH(int, kind);
        QFETCH(int, key);
        QFETCH(int, result);

        ScriptedDialogs dialogs;
        dialogs.answerWith([key](QDialog &dialog) {
            if (key == 0)
                dialog.close();
            else
                QTest::keyClick(&dialog, Qt::Key(key));
            // Still open means the key did not close it.
            return dialog.isVisible() ? -1 : dialog.result();
        });
        QCOMPARE(showKind(Kind(kind), QStringLiteral("是否保存对凭证的修改？"), dialogs), result);
    }

    void escapeLeavesTheWarningOpen()
    {
        ScriptedDialogs dialogs;
        dialogs.answerWith([](QDialog &dialog) {
            QTest::keyClick(&dialog, Qt::Key_Escape);
            const bool open = dialog.isVisible();
            dialog.findChild<QPushButton *>(QStringLiteral("btnYes"))->click();
            return open ? dialog.result() : -1;
        });
        QCOMPARE(showKind(Warning, QStringLiteral("请输入科目编码。"), dialogs), 1);
    }

    void centredOnTheOwner()
    {
        QWidget main;
        main.setGeometry(100, 80, 900, 640);
        main.show();
        QApplication::setActiveWindow(&main);
        QVERIFY(QTest::qWaitForWindowActive(&main));

        ScriptedDialogs dialogs;
        QRect dialogRect;
        QWidget *owner = nullptr;
        dialogs.answerWith([&](QDialog &dialog) {
            dialogRect = dialog.geometry();
            owner = dialog.parentWidget();
            dialog.done(1);
            return 1;
        });
        ShowWarningMessage(lines(6)); // grown, and centred at its grown height
        QCOMPARE(owner, &main);
        QVERIFY(dialogRect.height() > 112);
        const QPoint offset = dialogRect.center() - main.geometry().center();
        QVERIFY2(offset.manhattanLength() <= 2,
                 qPrintable(QStringLiteral("off centre by %1,%2").arg(offset.x()).arg(offset.y())));
    }

    void errorsShowTheirMessage()
    {
        ScriptedDialogs dialogs;
        dialogs.answer(1);
        dialogs.answer(1);
        QVERIFY(!RunGuarded([] { throw vexa::Error(QStringLiteral("科目 1002 已被凭证使用。")); }));
        QVERIFY(!RunGuarded([] { throw std::runtime_error("disk full"); }));
        QVERIFY(RunGuarded([] {}));
        QCOMPARE(dialogs.shown.size(), 2);
        QCOMPARE(dialogs.shown[0].className, QStringLiteral("vexa::gl::TErrorInfoFrom"));
        QCOMPARE(dialogs.shown[0].text, QStringLiteral("科目 1002 已被凭证使用。"));
        QCOMPARE(dialogs.shown[1].text, QStringLiteral("程序内部错误：disk full"));
    }
};

QTEST_MAIN(TestMessageDialogs)
#include "tst_messagedialogs.moc"
