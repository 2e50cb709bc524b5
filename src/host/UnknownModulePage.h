#pragma once

#include <QVariant>
#include <QWidget>

class QLabel;

namespace vexa::host {

// The page the host opens for a module no loaded plug-in serves: it says so and shows
// what the module was started with, so a launch from the console is visibly answered.
class UnknownModulePage : public QWidget
{
    Q_OBJECT

public:
    explicit UnknownModulePage(QWidget *parent = nullptr);

    void setModule(const QString &code, const QString &caption, const QString &command,
                   const QVariant &parameter);
    QString moduleCode() const { return m_code; }
    // The tab text of this page.
    QString pageCaption() const;

    // How a start parameter reads on the page.
    static QString parameterText(const QVariant &parameter);

private:
    QString m_code;
    QString m_caption;
    QLabel *m_message;
    QLabel *m_codeLabel;
    QLabel *m_command;
    QLabel *m_parameter;
};

} // namespace vexa::host
