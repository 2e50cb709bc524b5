#include "NewAccountSetDialog.h"

#include "HostDialogs.h"
#include "Seed.h"

#include <vexa/Error.h>

#include <QApplication>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QThread>
#include <QVBoxLayout>

namespace vexa::host {

namespace {

const QString kSuffix = QStringLiteral(".vexa");

} // namespace

QString accountSetFilePath(const QString &typed)
{
    QString path = typed.trimmed();
    if (path.isEmpty())
        return path;
    if (!path.endsWith(kSuffix, Qt::CaseInsensitive))
        path += kSuffix;
    return QFileInfo(path).absoluteFilePath();
}

QString newAccountSetProblem(const QString &path, const QString &userCode, const QString &password,
                             const QString &again)
{
    if (path.isEmpty())
        return QStringLiteral("请选择新账套的文件。");
    if (QFileInfo::exists(path))
        return QStringLiteral("账套文件“%1”已存在。请换一个文件名，已有的账套请用“打开账套”。")
            .arg(QDir::toNativeSeparators(path));
    if (QString problem = server::userCodeProblem(userCode); !problem.isEmpty())
        return problem;
    if (password.isEmpty())
        return QStringLiteral("管理员的密码不能为空。");
    if (password != again)
        return QStringLiteral("两次输入的密码不一致。");
    return {};
}

NewAccountSetDialog::NewAccountSetDialog(Create create, QWidget *parent)
    : QDialog(parent), m_create(std::move(create))
{
    setObjectName(QStringLiteral("NewAccountSetDialog"));
    setWindowTitle(QStringLiteral("新建账套"));

    m_file = new QLineEdit(this);
    m_file->setObjectName(QStringLiteral("edFile"));
    m_file->setPlaceholderText(QStringLiteral("新账套的文件（.vexa）"));
    m_browse = new QPushButton(QStringLiteral("浏览…"), this);
    m_browse->setObjectName(QStringLiteral("btnBrowse"));
    connect(m_browse, &QPushButton::clicked, this, &NewAccountSetDialog::browse);
    auto *fileRow = new QHBoxLayout;
    fileRow->addWidget(m_file, 1);
    fileRow->addWidget(m_browse);

    m_user = new QLineEdit(this);
    m_user->setObjectName(QStringLiteral("edAdmin"));
    m_password = makeLineEdit(this, "edPassword", true);
    m_again = makeLineEdit(this, "edPasswordAgain", true);

    auto *note =
        new QLabel(QStringLiteral("新账套只有这一个系统管理员，其他用户由他登录后添加。"), this);
    note->setWordWrap(true);

    m_working = new QLabel(QStringLiteral("正在创建账套，请稍候…"), this);
    m_working->setObjectName(QStringLiteral("lbWorking"));
    m_working->hide();
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 0);
    m_progress->setTextVisible(false);
    m_progress->hide();
    m_error = makeErrorLabel(this);

    QDialogButtonBox *buttons = makeOkCancel(this, QStringLiteral("创建"), &m_ok);
    m_cancel = buttons->findChild<QPushButton *>(QStringLiteral("btnCancel"));
    connect(m_ok, &QPushButton::clicked, this, &NewAccountSetDialog::tryCreate);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("账套文件："), fileRow);
    form->addRow(QStringLiteral("管理员登录名："), m_user);
    form->addRow(QStringLiteral("密码："), m_password);
    form->addRow(QStringLiteral("确认密码："), m_again);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(m_working);
    layout->addWidget(m_progress);
    layout->addWidget(m_error);
    layout->addStretch();
    layout->addWidget(buttons);
    setMinimumWidth(460);
}

NewAccountSetDialog::~NewAccountSetDialog()
{
    clearPasswords();
}

QString NewAccountSetDialog::userCode() const
{
    return m_user->text();
}

QString NewAccountSetDialog::password() const
{
    return m_password->text();
}

void NewAccountSetDialog::clearPasswords()
{
    m_password->clear();
    m_again->clear();
}

void NewAccountSetDialog::browse()
{
    const QString current = m_file->text().trimmed();
    const QString folder = current.isEmpty()
                               ? QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
                               : current;
    const QString chosen = chooseFile(this, QStringLiteral("新建账套"), folder,
                                      QStringLiteral("Vexa 账套 (*.vexa)"), true);
    if (!chosen.isEmpty())
        m_file->setText(QDir::toNativeSeparators(accountSetFilePath(chosen)));
}

void NewAccountSetDialog::showError(const QString &text)
{
    m_error->setText(text);
    m_error->setVisible(!text.isEmpty());
}

void NewAccountSetDialog::setBusy(bool on)
{
    m_busy = on;
    for (QWidget *w : std::initializer_list<QWidget *>{m_file, m_browse, m_user, m_password,
                                                       m_again, m_ok, m_cancel})
        w->setEnabled(!on);
    m_working->setVisible(on);
    m_progress->setVisible(on);
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void NewAccountSetDialog::tryCreate()
{
    if (m_busy)
        return;
    showError(QString());
    const QString path = accountSetFilePath(QDir::fromNativeSeparators(m_file->text()));
    const QString problem =
        newAccountSetProblem(path, m_user->text(), m_password->text(), m_again->text());
    if (!problem.isEmpty())
        return showError(problem);
    m_file->setText(QDir::toNativeSeparators(path));

    server::Administrator admin;
    admin.userCode = m_user->text();
    admin.password = m_password->text();
    QString failure;
    setBusy(true);
    {
        // The window keeps painting and shows the progress while the set is made.
        QThread *worker = QThread::create([&] {
            try {
                if (m_create)
                    m_create(path, admin);
            } catch (const std::exception &e) {
                failure = errorText(e);
            } catch (...) {
                failure = QStringLiteral("发生了未知错误。");
            }
        });
        QEventLoop loop;
        connect(worker, &QThread::finished, &loop, &QEventLoop::quit);
        worker->start();
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        worker->wait();
        delete worker;
    }
    admin.password.fill(QChar(0));
    setBusy(false);
    if (!failure.isEmpty())
        return showError(failure);
    m_path = path;
    accept();
}

void NewAccountSetDialog::reject()
{
    if (!m_busy) // a set half made is not left behind by walking away
        QDialog::reject();
}

void NewAccountSetDialog::closeEvent(QCloseEvent *event)
{
    if (m_busy)
        event->ignore();
    else
        QDialog::closeEvent(event);
}

} // namespace vexa::host
