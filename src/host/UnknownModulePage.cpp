#include "UnknownModulePage.h"

#include <QFont>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace vexa::host {

UnknownModulePage::UnknownModulePage(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("UnknownModulePage"));
    setWindowTitle(QStringLiteral("未实现的模块"));

    auto *title = new QLabel(QStringLiteral("未实现的模块"), this);
    title->setObjectName(QStringLiteral("lbTitle"));
    QFont f = title->font();
    f.setPointSizeF(f.pointSizeF() * 1.5);
    f.setBold(true);
    title->setFont(f);

    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("lbMessage"));
    m_message->setWordWrap(true);

    const auto valueLabel = [this](const char *name) {
        auto *l = new QLabel(this);
        l->setObjectName(QString::fromLatin1(name));
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        l->setWordWrap(true);
        return l;
    };
    m_codeLabel = valueLabel("lbCode");
    m_command = valueLabel("lbCommand");
    m_parameter = valueLabel("lbParameter");

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("模块编号："), m_codeLabel);
    form->addRow(QStringLiteral("命令："), m_command);
    form->addRow(QStringLiteral("启动参数："), m_parameter);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 32, 32, 32);
    layout->setSpacing(16);
    layout->addWidget(title);
    layout->addWidget(m_message);
    layout->addLayout(form);
    layout->addStretch();
}

QString UnknownModulePage::parameterText(const QVariant &parameter)
{
    if (!parameter.isValid() || parameter.isNull())
        return QStringLiteral("（无）");
    if (parameter.canConvert<QString>())
        return parameter.toString();
    if (parameter.canConvert<QStringList>())
        return parameter.toStringList().join(QStringLiteral("; "));
    return QStringLiteral("（%1 类型的值）").arg(QString::fromLatin1(parameter.typeName()));
}

void UnknownModulePage::setModule(const QString &code, const QString &caption,
                                  const QString &command, const QVariant &parameter)
{
    m_code = code;
    m_caption = caption;
    const QString name = caption.isEmpty() ? QStringLiteral("“%1”").arg(code)
                                           : QStringLiteral("“%1”（%2）").arg(caption, code);
    m_message->setText(QStringLiteral("模块%1不在本产品版本之内，本程序没有装载提供该模块的插件，"
                                      "因此无法打开。")
                           .arg(name));
    m_codeLabel->setText(code);
    m_command->setText(command.isEmpty() ? QStringLiteral("（无）") : command);
    m_parameter->setText(parameterText(parameter));
}

QString UnknownModulePage::pageCaption() const
{
    return QStringLiteral("未实现的模块：%1").arg(m_caption.isEmpty() ? m_code : m_caption);
}

} // namespace vexa::host
