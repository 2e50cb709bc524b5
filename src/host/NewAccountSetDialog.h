#pragma once

#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace vexa::server {
struct Administrator;
}

namespace vexa::host {

// The file an account set is made in: ".vexa" added when the name lacks it, made absolute.
QString accountSetFilePath(const QString &typed);

// Why a new set cannot be made from these entries, in the order the dialog checks them
// (the file first, so an existing one is said before anything else); empty when it can.
// path is what accountSetFilePath answered.
QString newAccountSetProblem(const QString &path, const QString &userCode, const QString &password,
                             const QString &again);

// 系统 → 新建账套…: the file, the administrator's login name and password (twice). "创建"
// checks the entries and hands them to the create function, which runs on a worker thread
// while the dialog shows that it is busy (the seed and the password hash take seconds); a
// refusal (vexa::Error) is shown inside the dialog, which stays open.
class NewAccountSetDialog : public QDialog
{
    Q_OBJECT

public:
    // Runs on a worker thread: must not touch widgets or objects of the caller's thread.
    using Create = std::function<void(const QString &path, const server::Administrator &admin)>;

    explicit NewAccountSetDialog(Create create, QWidget *parent = nullptr);
    ~NewAccountSetDialog() override;

    // Once accepted: the file made and its administrator.
    QString path() const { return m_path; }
    QString userCode() const;
    QString password() const;
    // Overwrites the typed passwords (call when done with password()).
    void clearPasswords();
    bool busy() const { return m_busy; }

    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void browse();
    void tryCreate();
    void setBusy(bool on);
    void showError(const QString &text);

    Create m_create;
    QString m_path;
    bool m_busy = false;
    QLineEdit *m_file;
    QPushButton *m_browse;
    QLineEdit *m_user;
    QLineEdit *m_password;
    QLineEdit *m_again;
    QLabel *m_working;
    QProgressBar *m_progress;
    QLabel *m_error;
    QPushButton *m_ok;
    QPushButton *m_cancel;
};

} // namespace vexa::host
