#pragma once

#include "LXCustomForm.h"

#include <QString>
#include <QStyle>

#include <exception>
#include <functional>

class QFrame;
class QLabel;
class QPushButton;

namespace vexa::gl {

// Modal results of the message dialogs.
enum MessageResult : int {
    mrOk = 1,
    mrCancel = 2, // also "no" of AskYesNo, Escape and closing the window
    mrYes = 6,
    mrNo = 7,
};

// What the five message dialogs share: a 420 x 112 fixed-size window filled by the
// raised panel LXPanel1, the icon Image1, the word-wrapped text lbInfo and one row of
// buttons. Closing the window answers mrCancel.
class MessageFormBase : public TLXCustomForm
{
    Q_OBJECT

public:
    // The text shown in lbInfo.
    void SetText(const QString &text);
    QString Text() const;

    void reject() override;

protected:
    // growsWithText: lbInfo takes the height of its text and the window grows by what it
    // needs beyond the designed 59 pixels; otherwise lbInfo keeps its height and cuts the text.
    MessageFormBase(QWidget *parent, const QString &caption, bool growsWithText);

    void SetIcon(QStyle::StandardPixmap icon, const QRect &geometry);
    void SetInfoGeometry(int left, int width, int height, const QString &placeholder);
    QPushButton *AddButton(const QString &name, const QString &caption, int left, int result);
    // Escape answers mrCancel only where a button stands for cancelling.
    void SetEscapeCancels(bool on) { m_escapeCancels = on; }

    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void FitToText();

    QFrame *m_panel;
    QLabel *m_image;
    QLabel *m_info;
    QList<QPushButton *> m_buttons;
    bool m_growsWithText;
    bool m_escapeCancels = false;
};

class TErrorInfoFrom : public MessageFormBase
{
    Q_OBJECT

public:
    explicit TErrorInfoFrom(QWidget *parent = nullptr);

protected:
    void KeyHook(int &key) override;
};

class TWarningInfoFrom : public MessageFormBase
{
    Q_OBJECT

public:
    explicit TWarningInfoFrom(QWidget *parent = nullptr);
};

class TInformationFrom : public MessageFormBase
{
    Q_OBJECT

public:
    explicit TInformationFrom(QWidget *parent = nullptr);
};

class TAskDialogFrom : public MessageFormBase
{
    Q_OBJECT

public:
    explicit TAskDialogFrom(QWidget *parent = nullptr);
};

class TAskSaveFrom : public MessageFormBase
{
    Q_OBJECT

public:
    explicit TAskSaveFrom(QWidget *parent = nullptr);
};

// The window that owns the message dialogs: the only place that decides it.
QWidget *dialogOwner();

void ShowErrorMessage(const QString &text);
void ShowWarningMessage(const QString &text);
void ShowInfoMessage(const QString &text);
// mrOk for yes; mrCancel for no, Escape or closing the window.
int AskYesNo(const QString &text);
// mrYes, mrNo, or mrCancel for cancel, Escape or closing the window.
int AskSaveChanges(const QString &text);

// The framework's error display: shows the message of error in the error dialog.
void ShowException(const std::exception &error);
// Runs action; an exception it throws is shown through ShowException (for slots and event
// handlers, which no exception may leave). Answers whether the action ran through.
bool RunGuarded(const std::function<void()> &action);

} // namespace vexa::gl
