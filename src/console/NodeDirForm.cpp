#include "NodeDirForm.h"

#include "ClientDataSet.h"
#include "DialogService.h"
#include "DocFindForm.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "SelModulesForm.h"

#include <vexa/Error.h>
#include <vexa/PluginHost.h>

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QToolButton>
#include <QVBoxLayout>

namespace vexa::gl {

namespace {

QString ModuleCondition(const QString &moduleNo)
{
    return QStringLiteral("WHERE MCode = '") + QuoteDoubled(moduleNo) + QStringLiteral("'");
}

} // namespace

TNodeDirForm::TNodeDirForm(QWidget *parent) : TChildDialogForm(parent)
{
    setWindowTitle(QStringLiteral("节点定义"));

    cdsModules = new ClientDataSet(this);
    cdsModules->setObjectName(QStringLiteral("cdsModules"));
    cdsModules->setProviderName(QStringLiteral("SYS_SMModules"));

    lbDirName = new QLabel(QStringLiteral("节点项名称"), this);
    lbDirName->setObjectName(QStringLiteral("lbDirName"));
    edDirName = new QLineEdit(this);
    edDirName->setObjectName(QStringLiteral("edDirName"));
    edDirName->setMaxLength(64);
    lbDirName->setBuddy(edDirName);

    lbModuleNo = new QLabel(QStringLiteral("系统模块号"), this);
    lbModuleNo->setObjectName(QStringLiteral("lbModuleNo"));
    edModuleNo = new QLineEdit(this);
    edModuleNo->setObjectName(QStringLiteral("edModuleNo"));
    edModuleNo->setMaxLength(8);
    lbModuleNo->setBuddy(edModuleNo);
    btnModuleNo = new QToolButton(this);
    btnModuleNo->setObjectName(QStringLiteral("btnModuleNo"));
    btnModuleNo->setText(QStringLiteral("..."));
    btnModuleNo->setToolTip(QStringLiteral("从清单选择系统模块"));
    btnModuleNo->setFocusPolicy(Qt::NoFocus);

    edModuleDesc = new QLineEdit(this);
    edModuleDesc->setObjectName(QStringLiteral("edModuleDesc"));
    edModuleDesc->setReadOnly(true);
    edModuleDesc->setFocusPolicy(Qt::NoFocus);

    // Enter in the module number checks it; it must not press OK past the check.
    btnOk = MakeButton(QStringLiteral("确认"), QStringLiteral("btnOk"), this);
    btnCancel = MakeButton(QStringLiteral("取消"), QStringLiteral("btnCancel"), this);

    auto *moduleRow = new QHBoxLayout;
    moduleRow->setSpacing(0);
    moduleRow->addWidget(edModuleNo, 1);
    moduleRow->addWidget(btnModuleNo);
    auto *grid = new QGridLayout;
    grid->addWidget(lbDirName, 0, 0);
    grid->addWidget(edDirName, 0, 1, 1, 2);
    grid->addWidget(lbModuleNo, 1, 0);
    grid->addLayout(moduleRow, 1, 1);
    grid->addWidget(edModuleDesc, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto *main = new QVBoxLayout(this);
    main->addLayout(grid);
    main->addStretch(1);
    main->addLayout(buttons);
    resize(400, 130);

    edDirName->installEventFilter(this);
    connect(edModuleNo, &QLineEdit::textEdited, this, [this] { m_moduleNoTyped = true; });
    connect(edModuleNo, &QLineEdit::editingFinished, this, [this] {
        if (m_moduleNoTyped)
            RunGuarded([this] { ValidateModuleNo(); });
    });
    connect(btnModuleNo, &QToolButton::clicked, this,
            [this] { RunGuarded([this] { PickModule(); }); });
    connect(btnOk, &QPushButton::clicked, this, [this] { RunGuarded([this] { ConfirmOk(); }); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    InitDataSets();
}

TNodeDirForm::~TNodeDirForm() = default;

void TNodeDirForm::SetOkCaption(const QString &caption)
{
    btnOk->setText(caption);
}

void TNodeDirForm::SetDirName(const QString &name)
{
    edDirName->setText(name);
    UpdateOkEnabled();
}

void TNodeDirForm::SetModuleNo(const QString &moduleNo)
{
    edModuleNo->setText(moduleNo);
    m_moduleNoTyped = false;
}

QString TNodeDirForm::DirName() const
{
    return edDirName->text().trimmed();
}

QString TNodeDirForm::ModuleNo() const
{
    return edModuleNo->text().trimmed().toUpper();
}

void TNodeDirForm::OpenModules(const QString &command)
{
    if (cdsModules->isActive())
        cdsModules->close();
    cdsModules->setCommandText(command);
    // The description follows whatever the dataset holds, also when the open fails.
    const auto showDesc = qScopeGuard([this] { UpdateModuleDesc(); });
    cdsModules->open();
}

void TNodeDirForm::UpdateOkEnabled()
{
    btnOk->setEnabled(!edDirName->text().trimmed().isEmpty());
}

void TNodeDirForm::UpdateModuleDesc()
{
    edModuleDesc->setText(cdsModules->isActive() && !cdsModules->isEmpty()
                              ? cdsModules->asString(QStringLiteral("SearchOne"))
                              : QString());
}

void TNodeDirForm::ValidateModuleNo()
{
    // Module numbers are stored upper-case and the server compares them exactly.
    const QString typed = ModuleNo();
    // Internal modules are started by the product itself; a node may not name one by hand.
    OpenModules(ModuleCondition(typed) + QStringLiteral(" AND InnerUse = 0"));
    if (cdsModules->isEmpty() && !typed.isEmpty()) {
        edModuleNo->setFocus();
        edModuleNo->selectAll();
        throw Error(QStringLiteral("输入系统模块号不存在。"));
    }
    m_moduleNoTyped = false;
    if (edDirName->text().isEmpty()) {
        edDirName->setText(cdsModules->isEmpty() ? QString()
                                                 : cdsModules->asString(QStringLiteral("MDesc")));
        UpdateOkEnabled();
    }
}

void TNodeDirForm::PickModule()
{
    if (!m_picker)
        m_picker = new TSelModulesForm(this);
    if (DialogService::instance().exec(*m_picker) != QDialog::Accepted)
        return;
    auto *picked = m_picker->findChild<ClientDataSet *>(QStringLiteral("cdsData"));
    edModuleNo->setText(m_picker->SelectedValue.toString());
    m_moduleNoTyped = false;
    if (edDirName->text().isEmpty() && picked && picked->isActive() && !picked->isEmpty()) {
        edDirName->setText(picked->asString(QStringLiteral("MDesc")));
        UpdateOkEnabled();
    }
    OpenModules(ModuleCondition(ModuleNo()));
}

bool TNodeDirForm::ConfirmOk()
{
    // A number typed and not yet checked (OK clicked straight from its editor) is checked
    // first, so an unknown module never reaches the console.
    if (m_moduleNoTyped)
        ValidateModuleNo();
    if (edDirName->text().trimmed().isEmpty()) {
        edDirName->setFocus();
        HostRef().ShowHostMessage(lbDirName->text() + QStringLiteral("不能为空"), QLatin1Char('W'),
                                  QString());
        return false;
    }
    accept();
    return true;
}

void TNodeDirForm::showEvent(QShowEvent *event)
{
    TChildDialogForm::showEvent(event);
    RunGuarded([this] { OpenModules(ModuleCondition(ModuleNo())); });
    UpdateOkEnabled();
}

void TNodeDirForm::changeEvent(QEvent *event)
{
    TChildDialogForm::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        UpdateOkEnabled();
}

bool TNodeDirForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == edDirName && event->type() == QEvent::FocusOut)
        UpdateOkEnabled();
    return TChildDialogForm::eventFilter(watched, event);
}

} // namespace vexa::gl
