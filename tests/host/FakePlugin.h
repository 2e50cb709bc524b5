#pragma once

// A plug-in for the host tests: records every call it gets, in order, and opens pages
// that record the toolbar commands they receive.

#include <vexa/PluginHost.h>

#include <QMap>
#include <QPointer>
#include <QStringList>
#include <QWidget>

namespace vexa::test {

class FakePage : public QWidget, public IChildCommands
{
    Q_OBJECT
    Q_INTERFACES(vexa::IChildCommands)

public:
    QStringList calls;

    void Command06() override { calls << QStringLiteral("Command06"); }
    void Command07() override { calls << QStringLiteral("Command07"); }
    void Command08() override { calls << QStringLiteral("Command08"); }
    void Command09() override { calls << QStringLiteral("Command09"); }
    void Command10() override { calls << QStringLiteral("Command10"); }
    void Command11() override { calls << QStringLiteral("Command11"); }
    void Command12() override { calls << QStringLiteral("Command12"); }
    void Command13() override { calls << QStringLiteral("Command13"); }
    void Command14() override { calls << QStringLiteral("Command14"); }
    void UpdateAttachmentAction() override { calls << QStringLiteral("UpdateAttachmentAction"); }
    void Command16() override { calls << QStringLiteral("Command16"); }
    void Command17() override { calls << QStringLiteral("Command17"); }
    void Command18() override { calls << QStringLiteral("Command18"); }
    void Command19() override
    {
        calls << QStringLiteral("Command19");
        throw Error(QStringLiteral("查询条件不完整。"));
    }
    int ShowAttachments() override
    {
        calls << QStringLiteral("ShowAttachments");
        return 3;
    }
    void UserCommand(const QVariant &argument) override
    {
        calls << QStringLiteral("UserCommand(%1)")
                     .arg(argument.isValid() ? argument.toString() : QStringLiteral("-"));
    }
};

class FakePlugin : public ILXPlugin
{
public:
    IPluginHost *host = nullptr;
    QStringList log;
    QMap<int, QPointer<FakePage>> pages;
    int nextHandle = 100;
    // Behaviour switches.
    bool refuseCreate = false;
    bool throwOnCreate = false;
    int showResult = 0;       // 0: answer the handle
    bool refuseClose = false; // CloseAllForms fails as a page's closing work would

    ~FakePlugin() override { qDeleteAll(pages); }

    void Reload(bool closeForms) override
    {
        const auto yesNo = [](bool b) {
            return b ? QStringLiteral("true") : QStringLiteral("false");
        };
        log << QStringLiteral("Reload(%1) user=%2 relogin=%3")
                   .arg(yesNo(closeForms), host->GetValue(QStringLiteral("UserName")).toString(),
                        yesNo(host->GetValue(QStringLiteral("HASRELOGIN")).toBool()));
    }
    void ExecuteForm(int formId, quint32 p1, const QString &p2, QVariant &p3) override
    {
        log << QStringLiteral("Execute %1 %2 '%3' %4")
                   .arg(formId)
                   .arg(p1)
                   .arg(p2, p3.isValid() ? p3.toString() : QStringLiteral("-"));
        if (auto *w = qobject_cast<IHostMainWindow *>(host->MainWindow()))
            w->SetCaptionText(QStringLiteral("已刷新 %1").arg(formId));
    }
    void QueryForm(int formId, quint32, QVariant &value) override
    {
        value.clear();
        log << QStringLiteral("Query %1").arg(formId);
    }
    int CreateModuleForm(const QString &moduleCode, int tag, quint32 p1, const QString &p2,
                         QVariant &p3) override
    {
        log << QStringLiteral("Create %1 %2 %3 '%4' %5")
                   .arg(moduleCode)
                   .arg(tag)
                   .arg(p1)
                   .arg(p2, p3.isValid() ? p3.toString() : QStringLiteral("-"));
        if (throwOnCreate)
            throw Error(QStringLiteral("系统错误1020: 动态库内没有注册 %1 类错误").arg(moduleCode));
        const QString formClass = host->GetValue(QStringLiteral("MCODE:") + moduleCode).toString();
        if (refuseCreate || formClass.isEmpty())
            return 0;
        auto *page = new FakePage;
        page->setObjectName(formClass);
        const int handle = nextHandle++;
        pages.insert(handle, page);
        // As a page does in its AfterExecute: before the host has docked it.
        if (auto *w = qobject_cast<IHostMainWindow *>(host->MainWindow())) {
            w->SetCaptionText(QStringLiteral("页面 ") + moduleCode);
            w->SetCaptionIcon(QStringLiteral("document-open"), QLatin1Char('I'), 0);
        }
        return handle;
    }
    int ShowModuleForm(int formId, quint32, const QString &, QVariant &) override
    {
        log << QStringLiteral("Show %1").arg(formId);
        return showResult ? showResult : formId;
    }
    int CloseModuleForm(int formId) override
    {
        log << QStringLiteral("Close %1").arg(formId);
        delete pages.take(formId);
        return 0;
    }
    int CloseAllForms() override
    {
        log << QStringLiteral("CloseAll");
        if (refuseClose)
            throw Error(QStringLiteral("释放窗体页面发生错误。（未保存的修改）"));
        qDeleteAll(pages);
        pages.clear();
        return 0;
    }
    QWidget *FormWidget(int formId) override { return pages.value(formId); }
};

} // namespace vexa::test
