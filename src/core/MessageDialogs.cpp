#include "MessageDialogs.h"

#include "Globals.h"

#include <vexa/PluginHost.h>

#include "DialogService.h"

#include <vexa/Error.h>

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

namespace vexa::gl {

namespace {

constexpr int kClientWidth = 420;
constexpr int kClientHeight = 112;
constexpr int kInfoLeft = 43;
constexpr int kInfoTop = 14;
constexpr int kInfoWidth = 362;
// The designed height of lbInfo; taller text makes a growing dialog taller.
constexpr int kInfoHeight = 59;
constexpr int kButtonTop = 79;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 23;
constexpr int kFirstButtonLeft = 9;
const QRect kIconGeometry(11, 13, 22, 22);

template <class Form> int showMessage(const QString &text)
{
    // Guarded: the owner may take the dialog with it while it is shown.
    QPointer<Form> form = new Form(dialogOwner());
    form->SetText(text);
    const int result = DialogService::instance().exec(*form);
    delete form.data();
    return result;
}

} // namespace

MessageFormBase::MessageFormBase(QWidget *parent, const QString &caption, bool growsWithText)
    : TLXCustomForm(parent), m_growsWithText(growsWithText)
{
    // Dialog border: a title with a close button, no resizing, no minimise or maximise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(caption);
    setFixedSize(kClientWidth, kClientHeight);

    m_panel = new QFrame(this);
    m_panel->setObjectName(QStringLiteral("LXPanel1"));
    setTag(m_panel, -1);
    m_panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    m_panel->setContentsMargins(8, 8, 8, 8); // the panel's border width
    m_panel->setGeometry(rect());

    m_image = new QLabel(m_panel);
    m_image->setObjectName(QStringLiteral("Image1"));

    m_info = new QLabel(m_panel);
    m_info->setObjectName(QStringLiteral("lbInfo"));
    m_info->setWordWrap(true);
    m_info->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_info->setTextFormat(Qt::PlainText);
    m_info->setGeometry(kInfoLeft, kInfoTop, kInfoWidth, kInfoHeight);
}

void MessageFormBase::SetText(const QString &text)
{
    m_info->setText(text);
}

QString MessageFormBase::Text() const
{
    return m_info->text();
}

void MessageFormBase::reject()
{
    done(mrCancel);
}

void MessageFormBase::SetIcon(QStyle::StandardPixmap icon, const QRect &geometry)
{
    m_image->setGeometry(geometry);
    m_image->setPixmap(style()->standardIcon(icon, nullptr, this).pixmap(geometry.size()));
}

void MessageFormBase::SetInfoGeometry(int left, int width, int height, const QString &placeholder)
{
    m_info->setGeometry(left, kInfoTop, width, height);
    m_info->setText(placeholder);
}

QPushButton *MessageFormBase::AddButton(const QString &name, const QString &caption, int left,
                                        int result)
{
    auto *button = new QPushButton(caption, m_panel);
    button->setObjectName(name);
    button->setGeometry(left, kButtonTop, kButtonWidth, kButtonHeight);
    connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
    m_buttons << button;
    return button;
}

void MessageFormBase::keyPressEvent(QKeyEvent *event)
{
    // Without a cancel button Escape does nothing; the dialog closes by its buttons.
    if (event->key() == Qt::Key_Escape && !m_escapeCancels) {
        event->accept();
        return;
    }
    TLXCustomForm::keyPressEvent(event);
}

void MessageFormBase::resizeEvent(QResizeEvent *event)
{
    TLXCustomForm::resizeEvent(event);
    m_panel->setGeometry(rect());
}

void MessageFormBase::showEvent(QShowEvent *event)
{
    // The look is applied first: the label's font decides the text's height.
    TLXCustomForm::showEvent(event);
    if (m_growsWithText)
        FitToText();
    QWidget *owner = parentWidget();
    if (owner && owner->isVisible() && owner->isActiveWindow())
        activateWindow();
}

void MessageFormBase::FitToText()
{
    const int textHeight = m_info->heightForWidth(m_info->width());
    if (textHeight > 0)
        m_info->resize(m_info->width(), textHeight);
    const int extra = qMax(0, m_info->height() - kInfoHeight);
    setFixedSize(kClientWidth, kClientHeight + extra);
    for (QPushButton *button : std::as_const(m_buttons))
        button->move(button->x(), kButtonTop + extra);
    // The window was centred at its designed height; centre it again at the new one.
    if (extra > 0 && !testAttribute(Qt::WA_Moved))
        adjustPosition(parentWidget());
}

TErrorInfoFrom::TErrorInfoFrom(QWidget *parent)
    : MessageFormBase(parent, QStringLiteral("错误信息"), false)
{
    SetIcon(QStyle::SP_MessageBoxCritical, kIconGeometry);
    SetInfoGeometry(kInfoLeft, kInfoWidth, kInfoHeight, QStringLiteral("错误提示信息..."));
    AddButton(QStringLiteral("btnOk"), QStringLiteral("确定"), kFirstButtonLeft, mrOk);
}

void TErrorInfoFrom::KeyHook(int &key)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        key = 0;
        done(mrOk);
        return;
    }
    MessageFormBase::KeyHook(key);
}

TWarningInfoFrom::TWarningInfoFrom(QWidget *parent)
    : MessageFormBase(parent, QStringLiteral("警告信息"), true)
{
    SetIcon(QStyle::SP_MessageBoxWarning, kIconGeometry);
    SetInfoGeometry(kInfoLeft, 358, kInfoHeight, QStringLiteral("警告提示信息..."));
    AddButton(QStringLiteral("btnYes"), QStringLiteral("确定"), kFirstButtonLeft, mrOk)
        ->setDefault(true);
}

TInformationFrom::TInformationFrom(QWidget *parent)
    : MessageFormBase(parent, QStringLiteral("提示信息"), true)
{
    SetIcon(QStyle::SP_MessageBoxInformation, kIconGeometry);
    SetInfoGeometry(kInfoLeft, kInfoWidth, kInfoHeight, QStringLiteral("提示信息..."));
    AddButton(QStringLiteral("btnYes"), QStringLiteral("确定"), kFirstButtonLeft, mrOk)
        ->setDefault(true);
}

TAskDialogFrom::TAskDialogFrom(QWidget *parent)
    : MessageFormBase(parent, QStringLiteral("询问信息"), false)
{
    SetIcon(QStyle::SP_MessageBoxQuestion, QRect(11, 13, 27, 27));
    SetInfoGeometry(kInfoLeft, kInfoWidth, 56, QStringLiteral("询问信息..."));
    AddButton(QStringLiteral("btnYes"), QStringLiteral("是(&Y)"), kFirstButtonLeft, mrOk)
        ->setDefault(true);
    // No answers Escape (through reject) with the same result as its button.
    AddButton(QStringLiteral("btNo"), QStringLiteral("否(&N)"), 93, mrCancel);
    SetEscapeCancels(true);
}

TAskSaveFrom::TAskSaveFrom(QWidget *parent)
    : MessageFormBase(parent, QStringLiteral("询问信息"), false)
{
    SetIcon(QStyle::SP_MessageBoxQuestion, QRect(393, 10, 16, 16));
    SetInfoGeometry(11, 374, 58, QStringLiteral("保存信息..."));
    AddButton(QStringLiteral("btnYes"), QStringLiteral("是(&Y)"), kFirstButtonLeft, mrYes)
        ->setDefault(true);
    AddButton(QStringLiteral("btNo"), QStringLiteral("否(&N)"), 93, mrNo);
    // Cancel, not No, answers Escape.
    AddButton(QStringLiteral("btnCancel"), QStringLiteral("取消(&C)"), 177, mrCancel);
    SetEscapeCancels(true);
}

QWidget *dialogOwner()
{
    // The host's main window owns the plug-in's dialogs; outside a host (tools, tests),
    // whatever window is active.
    if (Globals().Host)
        if (QWidget *main = Globals().Host->MainWindow())
            return main;
    return QApplication::activeWindow();
}

void ShowErrorMessage(const QString &text)
{
    showMessage<TErrorInfoFrom>(text);
}

void ShowWarningMessage(const QString &text)
{
    showMessage<TWarningInfoFrom>(text);
}

void ShowInfoMessage(const QString &text)
{
    showMessage<TInformationFrom>(text);
}

int AskYesNo(const QString &text)
{
    return showMessage<TAskDialogFrom>(text);
}

int AskSaveChanges(const QString &text)
{
    return showMessage<TAskSaveFrom>(text);
}

void ShowException(const std::exception &error)
{
    if (const auto *own = dynamic_cast<const vexa::Error *>(&error))
        ShowErrorMessage(own->message());
    else
        ShowErrorMessage(QStringLiteral("程序内部错误：%1").arg(QString::fromUtf8(error.what())));
}

bool RunGuarded(const std::function<void()> &action)
{
    try {
        action();
        return true;
    } catch (const std::exception &error) {
        ShowException(error);
    } catch (...) {
        ShowErrorMessage(QStringLiteral("程序内部错误：未知的异常。"));
    }
    return false;
}

} // namespace vexa::gl
