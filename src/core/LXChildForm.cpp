#include "LXChildForm.h"

#include "ClientDataSet.h"
#include "Globals.h"

#include <QCloseEvent>
#include <QFrame>
#include <QVBoxLayout>
#include <atomic>

namespace vexa::gl {

namespace {

int nextFormHandle()
{
    // Window handles are not portable in Qt (a native window per page would be
    // wasteful); a counter gives the same guarantee: unique while the page lives.
    static std::atomic<int> next{0x1000};
    return next.fetch_add(4);
}

} // namespace

std::function<int(int, int, TLXCustomChildForm &)> &AttachmentDialogOpener()
{
    static std::function<int(int, int, TLXCustomChildForm &)> opener;
    return opener;
}

TLXCustomChildForm::TLXCustomChildForm(QWidget *parent)
    : TLXCustomForm(parent), m_handle(nextFormHandle())
{
    if (Globals().Host)
        SetConnection(Globals().Host->GetConnection());
    // An embedded page: no caption bar, no frame, no window of its own.
    setWindowFlags(Qt::Widget);
    setWindowTitle(QString());
}

TLXCustomChildForm::~TLXCustomChildForm()
{
    delete AttachmentDialog.data();
}

QString TLXCustomChildForm::MakeLayoutKey(const QObject *component, const QString &text) const
{
    return QString::number(LayoutNumber) + QLatin1Char('_') +
           QString::fromLatin1(metaObject()->className()).section(QLatin1String("::"), -1) +
           QLatin1Char('_') + (component ? component->objectName() : QString()) + QLatin1Char('_') +
           text;
}

void TLXCustomChildForm::Execute(quint32, const QString &, QVariant &) {}

void TLXCustomChildForm::QueryValue(quint32, QVariant &) {}

void TLXCustomChildForm::BeforeExecute(bool &) {}

void TLXCustomChildForm::AfterExecute(bool &ok)
{
    ok = true;
    UpdateHostCaption();
}

void TLXCustomChildForm::SetModuleCaption(const QString &text)
{
    if (text == ModuleCaption)
        return;
    ModuleCaption = text;
    UpdateHostCaption();
}

void TLXCustomChildForm::SetModuleCaptionSuffix(const QString &text)
{
    if (text == m_captionSuffix)
        return;
    m_captionSuffix = text;
    UpdateHostCaption();
}

void TLXCustomChildForm::UpdateHostCaption()
{
    if (!Globals().Host)
        return;
    QWidget *main = Globals().Host->MainWindow();
    auto *window = main ? qobject_cast<IHostMainWindow *>(main) : nullptr;
    if (!window)
        return;
    window->SetCaptionText(m_captionSuffix.isEmpty()
                               ? ModuleCaption
                               : ModuleCaption + QLatin1Char(':') + m_captionSuffix);
    window->SetCaptionIcon(IconName, IconKind, 0);
}

namespace {

bool isDocumentRow(const ClientDataSet *ds)
{
    return ds && ds->isActive() && ds->recordCount() > 0 &&
           ds->findField(QStringLiteral("ObjType")) && ds->findField(QStringLiteral("DocEntry"));
}

} // namespace

void TLXCustomChildForm::UpdateAttachmentAction()
{
    const ClientDataSet *ds = MainDataSet();
    if (!ds)
        return;
    const bool enabled = RecordState >= 1 && RecordState <= 3 && isDocumentRow(ds);
    HostRef().SetActionState(QStringLiteral("BillAccessories"), enabled, 1);
}

int TLXCustomChildForm::ShowAttachments()
{
    ClientDataSet *ds = MainDataSet();
    if (!isDocumentRow(ds))
        return 0;
    const int objType = int(ds->asInteger(QStringLiteral("ObjType")));
    const int docEntry = int(ds->asInteger(QStringLiteral("DocEntry")));
    if (objType < 1 || docEntry < 1)
        return 0;
    // The attachments dialog registers itself here; without it there is nothing to open.
    return AttachmentDialogOpener() ? AttachmentDialogOpener()(objType, docEntry, *this) : 0;
}

void TLXCustomChildForm::UserCommand(const QVariant &argument)
{
    emit userCommand(this, argument);
}

void TLXCustomChildForm::reject()
{
    if (Closing())
        TLXCustomForm::reject();
}

void TLXCustomChildForm::closeEvent(QCloseEvent *event)
{
    // Pages are closed by the host (CloseModuleForm); a close request of its own is
    // ignored unless the page is already being closed.
    if (!Closing()) {
        event->ignore();
        return;
    }
    TLXCustomForm::closeEvent(event);
}

void TLXCustomChildForm::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && isWindow())
        setWindowState(windowState() | Qt::WindowMaximized);
    TLXCustomForm::changeEvent(event);
}

TLXChildForm::TLXChildForm(QWidget *parent) : TLXCustomChildForm(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    plModuleToolbar = new QFrame(this);
    plModuleToolbar->setObjectName(QStringLiteral("plModuleToolbar"));
    plModuleToolbar->setFixedHeight(31);
    plModuleToolbar->setFrameShape(QFrame::Panel);
    plModuleToolbar->setFrameShadow(QFrame::Raised);
    plClient = new QFrame(this);
    plClient->setObjectName(QStringLiteral("plClient"));
    layout->addWidget(plModuleToolbar);
    layout->addWidget(plClient, 1);
}

} // namespace vexa::gl
