#include "HostLogin.h"

#include "HostDialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace vexa::host {

namespace {

const QString kServerKey = QStringLiteral("Software/Corvane/Vexa/Host/LastServer");
const QString kSetKey = QStringLiteral("Software/Corvane/Vexa/Host/LastSet");
const QString kUserKey = QStringLiteral("Software/Corvane/Vexa/Host/LastUser");

} // namespace

LastLogin LastLogin::load()
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Corvane"),
                QStringLiteral("Vexa"));
    // Only the user's own choice counts, not an organisation-wide file.
    s.setFallbacksEnabled(false);
    return {s.value(kServerKey).toString(), s.value(kSetKey).toString(),
            s.value(kUserKey).toString()};
}

void LastLogin::save() const
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Corvane"),
                QStringLiteral("Vexa"));
    s.setValue(kServerKey, server);
    s.setValue(kSetKey, set);
    s.setValue(kUserKey, user);
    s.sync(); // a store that cannot be written costs the defaults, never the login
}

net::ClientSecurity clientSecurity(const ServerTrust &trust, QWidget *parent)
{
    if (trust.insecure)
        return net::ClientSecurity::plainTcp();
    net::ClientSecurity security;
    security.caFile = trust.caFile;
    QPointer<QWidget> owner(parent);
    security.trustNewServer = [owner](const QString &server, const QString &fingerprint) {
        return askToTrustServer(owner, server, fingerprint);
    };
    return security;
}

bool askToTrustServer(QWidget *parent, const QString &server, const QString &fingerprint)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("TrustServerDialog"));
    dialog.setWindowTitle(QStringLiteral("未知的服务器"));
    auto *info =
        new QLabel(QStringLiteral("第一次连接服务器 %1，本机还不认识它的证书。\n\n"
                                  "证书指纹（SHA-256）：\n%2\n\n"
                                  "请向服务器的管理员核对这个指纹，一致时才信任这个服务器。"
                                  "信任后，这台服务器换了证书时本机会拒绝连接。")
                       .arg(server, fingerprint),
                   &dialog);
    info->setObjectName(QStringLiteral("lbInfo"));
    info->setWordWrap(true);
    info->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPushButton *ok = nullptr;
    QDialogButtonBox *buttons = makeOkCancel(&dialog, QStringLiteral("信任并连接"), &ok);
    // 取消 is the safe answer: Enter does not trust.
    ok->setDefault(false);
    if (auto *cancel = buttons->findChild<QPushButton *>(QStringLiteral("btnCancel")))
        cancel->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(info);
    layout->addWidget(buttons);
    dialog.setMinimumWidth(460);
    return execDialog(dialog) == QDialog::Accepted;
}

} // namespace vexa::host
