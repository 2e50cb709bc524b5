#pragma once

// What the ledger's window tests share: a plug-in session on a set with the ledger's chart
// and periods (tests/support/LedgerSet.h), scripted dialogs, and typing into the focused
// widget as a user does.

#include "support/LedgerSet.h"
#include "support/PluginSession.h"
#include "support/ScriptedDialogs.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

namespace vexa::test {

struct LedgerWindowSession
{
    PluginSession<> session;
    ScriptedDialogs dialogs;

    // withLedgerSet false: an empty set, for a test that lays out its own.
    explicit LedgerWindowSession(bool withLedgerSet = true)
    {
        if (withLedgerSet)
            setUpLedger(*session->connection);
    }

    // A connection of another user, for what the window does not do itself.
    std::unique_ptr<server::ServerConnection> other(const char *user = "clerk",
                                                    const char *password = "clerk")
    {
        auto c = session->server->connect();
        c->login(QString::fromUtf8(user), QString::fromUtf8(password));
        return c;
    }

    // The dialog texts shown since the last call.
    QStringList messages()
    {
        QStringList texts;
        for (qsizetype i = m_seen; i < dialogs.shown.size(); ++i)
            texts << dialogs.shown[i].text;
        m_seen = dialogs.shown.size();
        return texts;
    }

private:
    qsizetype m_seen = 0;
};

// Keys to whatever has the focus in window, then the queued work they started.
// A message box shown meanwhile took the activation; the window gets it back.
inline QWidget *focused(QWidget &window)
{
    if (QApplication::activeWindow() != &window)
        QApplication::setActiveWindow(&window);
    QWidget *w = window.focusWidget();
    return w ? w : &window;
}

// Each character as the key event a keyboard or an input method sends (QTest's own
// typing knows only ASCII); the first one opens a grid cell's editor.
inline void type(QWidget &window, const QString &text)
{
    for (QChar c : text) {
        const Qt::Key key = c.unicode() < 0x80 && c.isLetterOrNumber()
                                ? Qt::Key(c.toUpper().unicode())
                                : Qt::Key_unknown;
        QTest::sendKeyEvent(QTest::Click, focused(window), key, QString(c), Qt::NoModifier);
        QCoreApplication::processEvents();
    }
}

inline void press(QWidget &window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(focused(window), key, modifiers);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

inline void showActive(QWidget &window)
{
    window.resize(1100, 600);
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
}

} // namespace vexa::test
