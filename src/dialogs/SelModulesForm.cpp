#include "SelModulesForm.h"

#include "ClientDataSet.h"
#include "MessageDialogs.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

namespace vexa::gl {

TSelModulesForm::TSelModulesForm(QWidget *parent) : TDocFindForm(parent)
{
    setWindowTitle(QStringLiteral("从清单选择"));
    resize(660, 348);

    cdsData = new ClientDataSet(this);
    cdsData->setObjectName(QStringLiteral("cdsData"));
    cdsData->setProviderName(QStringLiteral("SYS_SMModules"));

    lbTitle = MakeTitleLabel(QStringLiteral(" 系统模块"), this);

    lbSearch = new QLabel(QStringLiteral("查找 - "), this);
    lbSearch->setObjectName(QStringLiteral("lbSearch"));
    edValue = new QLineEdit(this);
    edValue->setObjectName(QStringLiteral("edValue"));
    lbSearch->setBuddy(edValue);
    btnFind = new QToolButton(this);
    btnFind->setObjectName(QStringLiteral("btnFind"));
    btnFind->setText(QStringLiteral("筛选"));
    btnFind->setToolTip(QStringLiteral("按条件筛选模块"));

    grdData = new QTableView(this);
    grdData->setObjectName(QStringLiteral("grdData"));
    BindGrid(grdData, cdsData);
    KeyFieldNames = QStringLiteral("MCode");
    SetDesignedColumns({{QStringLiteral("MCode"), QStringLiteral("模块号"), 80},
                        {QStringLiteral("MDesc"), QStringLiteral("模块描述"), 200},
                        {QStringLiteral("SearchOne"), QStringLiteral("自由文本"), 100},
                        {QStringLiteral("DllFile"), QStringLiteral("所属文件"), 80}});

    // Enter in the search box searches; it must not press a button of the dialog.
    btnOk = MakeButton(QStringLiteral("选择"), QStringLiteral("btnOk"), this);
    btnCancel = MakeButton(QStringLiteral("取消"), QStringLiteral("btnCancel"), this);

    auto *search = new QHBoxLayout;
    search->addWidget(lbSearch);
    search->addWidget(edValue, 1);
    search->addWidget(btnFind);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto *main = new QVBoxLayout(this);
    main->addWidget(lbTitle);
    main->addLayout(search);
    main->addWidget(grdData, 1);
    main->addLayout(buttons);

    ConnectSearchBox(edValue, [this](const QString &text) { Search(text); });
    connect(btnFind, &QToolButton::clicked, this, [this] { RunGuarded([this] { ShowFilter(); }); });
    ConnectChoice(grdData, [this] { Choose(); });
    connect(btnOk, &QPushButton::clicked, this, [this] { RunGuarded([this] { Choose(); }); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    SetWhere(QStringLiteral("InnerUse = 0"));
    OrderText = QStringLiteral("MCode");
    InitDocFind();
}

QString TSelModulesForm::SearchCondition(const QString &text)
{
    const QString t = QuoteDoubled(text);
    return QStringLiteral("MCode Like '") + t + QStringLiteral("%'") +
           QStringLiteral(" OR MDesc Like '%") + t + QStringLiteral("%'") +
           QStringLiteral(" OR SearchOne Like '%") + t + QStringLiteral("%'") +
           QStringLiteral(" OR SearchTwo Like '%") + t + QStringLiteral("%'") +
           QStringLiteral(" OR DllFile = '") + t + QStringLiteral("'");
}

void TSelModulesForm::Search(const QString &text)
{
    SearchWith(text.isEmpty() ? QString() : SearchCondition(text));
}

void TSelModulesForm::Choose()
{
    ChooseBy(QStringLiteral("MCode"));
}

void TSelModulesForm::FormShow()
{
    SelectedValue = QVariant();
    // Without its list the picker has nothing to offer: the error is shown and it closes.
    if (!cdsData->isActive() && !RunGuarded([this] { RefreshData(true); }))
        QMetaObject::invokeMethod(
            this, [this] { done(2); }, Qt::QueuedConnection);
}

} // namespace vexa::gl
