// The four control-centre pages on the demo account set: initialisation, colours by the
// user's rights, launching bound controls and object-menu entries, binding unbound controls
// through the module picker, the refusals of both page kinds, the fixed set-up controls,
// the object menus' hover timer and the tabbed pages' margins and tab strip.
#include "ClientDataSet.h"
#include "DataAccess.h"
#include "DataModule.h"
#include "DocFindForm.h"
#include "Globals.h"
#include "MessageDialogs.h"
#include "NavigationPages.h"
#include "StartGLForm.h"
#include "support/ScriptedDialogs.h"
#include "support/TestHost.h"

#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSet>
#include <QSettings>
#include <QTest>
#include <QToolButton>

using namespace vexa;
using namespace vexa::gl;

namespace {

const QString kOpenPZLR = QStringLiteral("OpenModule:GLPZLR:0:78:DataProvider:ObjType=2101");

QStringList launched(const QString &openModule)
{
    return {QStringLiteral("BeginBusy"), QStringLiteral("BeginLaunch"), openModule,
            QStringLiteral("EndBusy:0"), QStringLiteral("EndLaunch:0")};
}

// A page as the plug-in makes it: a child of the host's main window.
std::unique_ptr<TNavigationForm> makePage(const QString &kind, QWidget *mainWindow)
{
    if (kind == QLatin1String("Professional"))
        return std::make_unique<TProfessionalForm>(mainWindow);
    if (kind == QLatin1String("Normal"))
        return std::make_unique<TNormalForm>(mainWindow);
    if (kind == QLatin1String("JXC"))
        return std::make_unique<TNormalJXCForm>(mainWindow);
    return std::make_unique<TSpreadForm>(mainWindow);
}

} // namespace

class TestNavigationPages : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    std::unique_ptr<vexa::test::TestHost> m_host;
    std::unique_ptr<TNavigationForm> m_page;

    void useHost(const char *user)
    {
        m_page.reset();
        Globals() = PluginGlobals();
        m_host =
            std::make_unique<vexa::test::TestHost>(user, QByteArray(user).toLower().constData());
        Globals().Host = m_host.get();
        Globals().Connection = m_host->connection.get();
        Globals().AppServer = m_host->connection.get();
        Globals().DataModule = &m_host->dataModule;
    }

    void openPage(const QString &kind, int width = 1200)
    {
        m_page = makePage(kind, &m_host->mainWindow);
        m_page->setGeometry(0, 0, width, 760);
        bool ok = false;
        m_page->BeforeExecute(ok);
        QVERIFY(ok);
        m_page->AfterExecute(ok);
        showPage();
        m_host->calls.clear();
    }

    void showPage()
    {
        m_host->mainWindow.show();
        m_page->show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_host->mainWindow));
    }

    template <typename T = QWidget> T *child(const QString &name) const
    {
        return m_page->findChild<T *>(name);
    }
    void click(const QString &name)
    {
        QWidget *control = child(name);
        QVERIFY(control);
        if (auto *button = qobject_cast<QAbstractButton *>(control)) {
            button->click();
            return;
        }
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(
                type, QPointF(2, 2), control->mapToGlobal(QPointF(2, 2)), Qt::LeftButton,
                type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
            QCoreApplication::sendEvent(control, &event);
        }
    }
    QStringList opened() const { return m_host->calls.filter(QStringLiteral("OpenModule:")); }

    // The host's copy of the account-set information (the server is not touched).
    void setAccountSet(bool enabled, int glStart, int cashierStart)
    {
        ClientDataSet &info = m_host->info();
        if (info.isEmpty()) {
            info.append();
            info.setValue(QStringLiteral("DefID"), 1);
            info.setValue(QStringLiteral("UseOrg"), QStringLiteral("测试公司"));
            info.setValue(QStringLiteral("SysCur"), QStringLiteral("RMB"));
            info.setValue(QStringLiteral("CurrName"), QStringLiteral("人民币"));
            info.setValue(QStringLiteral("AcctTempDesc"), QStringLiteral("A01000"));
        } else {
            info.first();
            info.edit();
        }
        info.setValue(QStringLiteral("InitialAudit"), enabled);
        info.setValue(QStringLiteral("GLStartPeriodID"), glStart);
        info.setValue(QStringLiteral("CashierStartPeriodID"), cashierStart);
        info.post();
    }

    void editServerRow(const QString &provider, const QString &where,
                       const std::function<void(ClientDataSet &)> &edit)
    {
        auto ds = ProviderDataSet(provider, where);
        QVERIFY2(!ds->isEmpty(), qPrintable(provider + where));
        ds->first();
        ds->edit();
        edit(*ds);
        ds->post();
        ApplyChanges(*ds, true);
    }
    void bindOnServer(const QString &module, const QString &faceControl)
    {
        editServerRow(
            QStringLiteral("SYS_SMModules"), QStringLiteral("WHERE MCode = '%1'").arg(module),
            [&](ClientDataSet &ds) { ds.setValue(QStringLiteral("FaceControl"), faceControl); });
    }
    void addFaceRow(const QString &faceControl, const QString &module)
    {
        auto ds = ProviderDataSet(QStringLiteral("SYS_SMFaceControl"), QStringLiteral("WHERE 1=0"));
        ds->append();
        ds->setValue(QStringLiteral("FaceControl"), faceControl);
        ds->setValue(QStringLiteral("MCode"), module);
        ds->post();
        ApplyChanges(*ds, true);
    }
    void deleteServerRows(const QString &provider, const QString &where)
    {
        auto ds = ProviderDataSet(provider, where);
        while (!ds->isEmpty()) {
            ds->first();
            ds->deleteRecord();
        }
        ApplyChanges(*ds, true);
    }
    QString serverFaceControl(const QString &module)
    {
        return ProviderDataSet(QStringLiteral("SYS_SMModules"),
                               QStringLiteral("WHERE MCode = '%1'").arg(module))
            ->asString(QStringLiteral("FaceControl"));
    }
    QStringList serverFaceRows()
    {
        auto ds = ProviderDataSet(QStringLiteral("SYS_SMFaceControl"), QString());
        QStringList rows;
        for (ds->first(); !ds->eof(); ds->next())
            rows << ds->asString(QStringLiteral("FaceControl")) + QLatin1Char('=') +
                        ds->asString(QStringLiteral("MCode"));
        return rows;
    }
    QAction *menuEntry(const QString &menu, int pmCode) const
    {
        for (QAction *action : m_page->ObjectMenu(menu)->actions())
            if (tagOf(action) == pmCode)
                return action;
        return nullptr;
    }

    // Answers the module picker: notes what it was prepared with and chooses the row of
    // module (cancels when module is empty).
    ScriptedDialogs::Answer pick(const QString &module, QString *search = nullptr,
                                 QString *userWhere = nullptr, int *rows = nullptr)
    {
        return [=](QDialog &d) {
            auto &picker = dynamic_cast<TDocFindForm &>(d);
            if (search)
                *search = d.findChild<QLineEdit *>(QStringLiteral("edValue"))->text();
            if (userWhere)
                *userWhere = picker.UserWhere;
            ClientDataSet *data = d.findChild<ClientDataSet *>(QStringLiteral("cdsData"));
            if (rows)
                *rows = data->recordCount();
            if (module.isEmpty()) {
                d.findChild<QPushButton *>(QStringLiteral("btnCancel"))->click();
                return d.result();
            }
            if (!data->locate(QStringLiteral("MCode"), module))
                qWarning() << "picker does not offer" << module;
            d.findChild<QPushButton *>(QStringLiteral("btnOk"))->click();
            return d.result();
        };
    }

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
    }

    void cleanup()
    {
        m_page.reset();
        Globals() = PluginGlobals();
        m_host.reset();
    }

    // Unlike the console's, the page rights know no manager and no type of 0 or less.
    void pageRightsPredicate()
    {
        ClientDataSet rights;
        rights.addField(QStringLiteral("ObjType"), FieldType::Integer);
        rights.addField(QStringLiteral("RightValue"), FieldType::Integer);
        rights.createDataSet();
        for (const auto &[type, value] :
             {std::pair{2101, 3}, {2102, 4}, {25000, 1}, {25001, 2}, {30000, 1}, {0, 0}}) {
            rights.append();
            rights.setValue(QStringLiteral("ObjType"), type);
            rights.setValue(QStringLiteral("RightValue"), value);
            rights.post();
        }
        for (const auto &[type, granted] : {std::pair{2101, true},
                                            {2102, false},
                                            {2103, false},
                                            {25000, true},
                                            {25001, false},
                                            {30000, false},
                                            {0, false}})
            QVERIFY2(PageHasRight(type, rights) == granted, qPrintable(QString::number(type)));
    }

    void initialisation_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("tabs");
        QTest::addColumn<QStringList>("hiddenTabs");
        QTest::addColumn<QStringList>("recaptions"); // name=caption after the line break
        const QString crlf = QStringLiteral("\r\n");
        const QStringList common = {"sbXJRJZ=现金日记账     ", "sbYHCKRJZ=银行存款日记账",
                                    "asb10202=账套参数配置  ", "sbXJLLCSSJ=现金流量初始数据"};
        QTest::newRow("Professional")
            << "Professional"
            << QStringList{crlf + "总账", crlf + "出纳", "销售",   "采购",       "存货",
                           "费用",        "CRM",         "初始化", crlf + "基础"}
            << QStringList{"费用", "CRM"}
            << common + QStringList{"sbYWWQFH=以往未清发货  ", "sbYWWQSH=以往未清收货  "};
        QTest::newRow("Normal") << "Normal"
                                << QStringList{crlf + "总账", crlf + "出纳", "销售",       "采购",
                                               "存货",        "初始化",      crlf + "基础"}
                                << QStringList{} << common;
        QTest::newRow("JXC") << "JXC" << QStringList{"销售", "采购", "存货", crlf + "基础数据"}
                             << QStringList{}
                             << QStringList{"sbYWWQYS=以往未清应收  ", "sbZZQR=总账科目确认  ",
                                            "asb10202=账套参数配置  "};
    }

    void initialisation()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, tabs);
        QFETCH(QStringList, hiddenTabs);
        QFETCH(QStringList, recaptions);
        useHost("Manager");
        m_page = makePage(kind, &m_host->mainWindow);
        auto *page = static_cast<TTabbedNavigationForm *>(m_page.get());
        QCOMPARE(page->TabCaption(0).startsWith(QLatin1Char('\r')), false); // as laid out
        bool ok = false;
        page->BeforeExecute(ok);
        page->AfterExecute(ok);
        QVERIFY(ok);
        QCOMPARE(m_host->mainWindow.captions.filter(QStringLiteral("控制中心")),
                 (QStringList{"控制中心", "控制中心:总账", "控制中心:总账"}));
        QCOMPARE(m_host->calls.mid(m_host->calls.size() - 2),
                 (QStringList{"SetActionState:sbEnter:0:1", "SetActionState:sbUnEnter:0:0"}));
        QStringList captions;
        QStringList hidden;
        for (int i = 0; i < page->TabCount(); ++i) {
            captions << page->TabCaption(i);
            if (page->TabHidden(i))
                hidden << page->TabCaption(i);
        }
        QCOMPARE(captions, tabs);
        QCOMPARE(hidden, hiddenTabs);
        QCOMPARE(page->CurrentTab(), 0);
        for (const QString &r : recaptions) {
            auto *button = child<QAbstractButton>(r.section(QLatin1Char('='), 0, 0));
            QVERIFY(button);
            QCOMPARE(button->text(), "\r\n" + r.section(QLatin1Char('='), 1));
        }
        // A control's name is its key on the server: two controls of one page may not share it.
        QSet<QString> names;
        for (auto *control : page->findChildren<QWidget *>()) {
            if (!qobject_cast<TNavButton *>(control) && !qobject_cast<TNavLinkLabel *>(control))
                continue;
            QVERIFY2(!names.contains(control->objectName()), qPrintable(control->objectName()));
            names.insert(control->objectName());
        }
        // The purchase-sales-inventory page has no object menus at all.
        QCOMPARE(page->findChild<QMenu *>(QStringLiteral("pmCustomer")) != nullptr,
                 kind != QLatin1String("JXC"));
        // A user's tab click shows the tab's caption, trimmed, after the page caption.
        page->ClickTab(2);
        QCOMPARE(page->CurrentTab(), 2);
        QCOMPARE(m_host->mainWindow.captions.filter(QStringLiteral("控制中心")).last(),
                 "控制中心:" + tabs[2].trimmed());
    }

    void salesDivisionFollowsOption()
    {
        useHost("Manager");
        m_page = std::make_unique<TProfessionalForm>();
        QVERIFY(child("lbDYXSSYB")->isHidden()); // no sales options: no divisions
        auto *sales = new ClientDataSet;
        sales->setObjectName(QStringLiteral("CDS_InitSalValue"));
        sales->addField(QStringLiteral("OGTag"), FieldType::Boolean);
        sales->createDataSet();
        sales->append();
        sales->setValue(QStringLiteral("OGTag"), true);
        sales->post();
        m_host->dataModule.addDataSet(sales);
        m_page = std::make_unique<TProfessionalForm>();
        QVERIFY(!child("lbDYXSSYB")->isHidden());
    }

    void spreadSections()
    {
        useHost("Manager");
        openPage(QStringLiteral("Spread"));
        auto *page = static_cast<TSpreadForm *>(m_page.get());
        QCOMPARE(m_host->mainWindow.captions.filter(QStringLiteral("控制中心")).last(),
                 QStringLiteral("控制中心:账务处理"));
        QCOMPARE(child<QLabel>("lbReport")->text(), QStringLiteral("报\u3000\u3000表"));
        QVERIFY(!child("asb10206")->isHidden()); // the demo set is not enabled yet
        struct Expect
        {
            int index;
            const char *area, *centre, *right, *suffix;
            bool rightPanel;
        };
        const Expect expected[] = {{2, "paCNGL", "业务处理", "账簿报表", "出纳管理", true},
                                   {1, "paReport", "报表查看", "账簿报表", "报表", false},
                                   {3, "paXTWH", "基础资料", "系统维护", "系统维护", true},
                                   {0, "paZWCL", "业务处理", "账簿报表", "账务处理", true}};
        for (const Expect &e : expected) {
            const QString area = QLatin1String(e.area);
            QTest::mousePress(child(area), Qt::LeftButton);
            QCOMPARE(page->SelectedSection(), e.index);
            QCOMPARE(child<QLabel>("lbCentreCaption")->text(), QString::fromUtf8(e.centre));
            QCOMPARE(child<QLabel>("lbRightCaption")->text(), QString::fromUtf8(e.right));
            QCOMPARE(m_host->mainWindow.captions.filter(QStringLiteral("控制中心")).last(),
                     "控制中心:" + QString::fromUtf8(e.suffix));
            QVERIFY(child(area + "Centre")->isVisible());
            if (QWidget *right = m_page->findChild<QWidget *>(area + "Right"))
                QCOMPARE(right->isVisible(), e.rightPanel);
            else
                QVERIFY(!e.rightPanel);
            // The right column with its caption goes with the section that has none.
            QCOMPARE(child("plRight")->isVisible(), e.rightPanel);
        }
        // The highlight shows on other sections only and goes when the mouse leaves.
        page->HoverSection(1);
        QVERIFY(child("shpHover")->isVisible());
        page->HoverSection(page->SelectedSection());
        QVERIFY(!child("shpHover")->isVisible());
        // Its object menus open below their labels.
        QVERIFY(!m_page->ObjectMenu(QStringLiteral("pmPart")));
        QWidget *label = child("lbDept");
        click(QStringLiteral("lbDept"));
        QCOMPARE(m_page->ObjectMenu(QStringLiteral("pmDept"))->pos(),
                 label->mapTo(m_page.get(), QPoint(0, label->height() + 5)));
    }

    void availabilityByRights()
    {
        useHost("clerk");
        bindOnServer(QStringLiteral("GLPZLR"), QStringLiteral("sbPZLR")); // clerk: 2101 granted
        bindOnServer(QStringLiteral("GLPZDZ"), QStringLiteral("sbPZDZ")); // 2107 not granted
        addFaceRow(QStringLiteral("lbZFLZ"), QStringLiteral("GLQMTH"));   // 2201 not granted
        openPage(QStringLiteral("Normal"));
        const auto colour = [this](const char *name) {
            return NavTextColour(child(QLatin1String(name)));
        };
        QCOMPARE(colour("sbPZLR"), TNavigationForm::kNormal);
        QCOMPARE(colour("sbPZDZ"), TNavigationForm::kUnavailable);
        QCOMPARE(colour("lbZFLZ"), TNavigationForm::kUnavailable);
        QCOMPARE(colour("sbQMJZ"), TNavigationForm::kNormal);   // unbound
        QCOMPARE(colour("asb10202"), TNavigationForm::kNormal); // 1006 granted
        QCOMPARE(colour("asb10206"), TNavigationForm::kUnavailable);
        QCOMPARE(colour("sbQXZ"), TNavigationForm::kNormal);
        QCOMPARE(QColor(131, 131, 131), TNavigationForm::kUnavailable);
        QVERIFY(menuEntry(QStringLiteral("pmCustomer"), 101000)->isEnabled()); // 2501 granted
        QVERIFY(!menuEntry(QStringLiteral("pmPart"), 151000)->isEnabled());    // 2506 not

        // Link labels: blue under the mouse, black again when left; grey ones stay grey.
        auto *link = child<TNavLinkLabel>("lbWLDZD");
        emit link->hovered(true);
        QCOMPARE(NavTextColour(link), QColor(0, 0, 255));
        emit link->hovered(false);
        QCOMPARE(NavTextColour(link), TNavigationForm::kNormal);
        auto *grey = child<TNavLinkLabel>("lbZFLZ");
        emit grey->hovered(true);
        emit grey->hovered(false);
        QCOMPARE(NavTextColour(grey), TNavigationForm::kUnavailable);

        // A binding made on the server meanwhile counts after a re-login.
        bindOnServer(QStringLiteral("GLQMJZ"), QStringLiteral("sbQMJZ")); // 2205 not granted
        m_host->values.insert(QStringLiteral("HASRELOGIN"), true);
        QVariant p3;
        m_page->Execute(0, QString(), p3);
        QCOMPARE(colour("sbQMJZ"), TNavigationForm::kUnavailable);
        const QStringList captions = m_host->mainWindow.captions.filter(QStringLiteral("控制中心"));
        QCOMPARE(captions.sliced(captions.size() - 2), (QStringList{"控制中心", "控制中心:总账"}));

        // The rights kept the first login's group after a new login as another user, so
        // the gate judged the new user by the old user's rights.
        m_host->values.insert(QStringLiteral("USERGROUP"), 1);
        m_page->Execute(0, QString(), p3);
        QCOMPARE(colour("sbPZDZ"), TNavigationForm::kNormal);
        QCOMPARE(colour("sbQMJZ"), TNavigationForm::kNormal);
    }

    void managerColoursAndObjectRows()
    {
        useHost("Manager");
        deleteServerRows(QStringLiteral("SYS_SMPMDefine"), QStringLiteral("WHERE PMCode = 102001"));
        openPage(QStringLiteral("Professional"));
        QCOMPARE(NavTextColour(child("sbQXZ")), QColor(53, 53, 53));
        QCOMPARE(NavTextColour(child("sbYH")), QColor(53, 53, 53));
        QCOMPARE(NavTextColour(child("asb10206")), TNavigationForm::kNormal);
        // Every entry of the layout has its object row, except the one removed above.
        QStringList disabled;
        for (const NavObjectMenu &menu : NavObjectMenus())
            for (QAction *action : m_page->ObjectMenu(QLatin1String(menu.name))->actions())
                if (!action->isEnabled())
                    disabled << QString::number(tagOf(action));
        QCOMPARE(disabled, QStringList{QStringLiteral("102001")});
        QCOMPARE(m_page->ObjectMenu(QStringLiteral("pmDept"))->font().family(),
                 child("lbCustomer")->font().family());
    }

    void boundControlsLaunch()
    {
        useHost("Manager");
        setAccountSet(true, 1, 1);
        bindOnServer(QStringLiteral("GLPZLR"), QStringLiteral("sbPZLR"));
        addFaceRow(QStringLiteral("lbMXFLZ"), QStringLiteral("GLMXFLZ"));
        addFaceRow(QStringLiteral("lbDLSMXZ"), QStringLiteral("GLZFLZ"));
        openPage(QStringLiteral("Normal"));
        // The server keeps no binding without its module; the page's copy of the catalogue
        // may lack one all the same (removed after the page read it).
        auto *modules = child<ClientDataSet>("cdsModules");
        QVERIFY(modules->locate(QStringLiteral("MCode"), QStringLiteral("GLZFLZ")));
        modules->deleteRecord();
        ScriptedDialogs dialogs;
        click(QStringLiteral("sbPZLR"));
        QCOMPARE(m_host->calls, launched(kOpenPZLR));
        m_host->calls.clear();
        click(QStringLiteral("lbMXFLZ")); // through the further binding
        QCOMPARE(m_host->calls, launched(QStringLiteral("OpenModule:GLMXFLZ:0:82:DataProvider:")));
        m_host->calls.clear();
        click(QStringLiteral("lbDLSMXZ")); // its module is gone: silence
        QCOMPARE(m_host->calls, QStringList());
        QCOMPARE(dialogs.shown.size(), 0);
    }

    void firstClickBinds()
    {
        useHost("Manager");
        setAccountSet(true, 1, 1);
        openPage(QStringLiteral("Normal"));
        ScriptedDialogs dialogs;
        QString search, where;
        int rows = 0;
        dialogs.answerWith(pick(QString())); // cancelled: nothing bound, nothing started
        click(QStringLiteral("sbPZLR"));
        QCOMPARE(opened(), QStringList());
        QCOMPARE(serverFaceControl(QStringLiteral("GLPZLR")), QString());

        dialogs.answerWith(pick(QStringLiteral("GLPZLR"), &search, &where, &rows));
        click(QStringLiteral("sbPZLR"));
        QCOMPARE(dialogs.shown.size(), 2);
        QCOMPARE(dialogs.shown[1].className, QStringLiteral("vexa::gl::TSelModulesForm"));
        QCOMPARE(search, QStringLiteral("凭证录入"));
        QCOMPARE(where, QStringLiteral("MDesc Like '%凭证录入%'"));
        QCOMPARE(rows, 1);
        QCOMPARE(opened(), QStringList{kOpenPZLR});
        QCOMPARE(serverFaceControl(QStringLiteral("GLPZLR")), QStringLiteral("sbPZLR"));

        // The next click starts the module at once.
        m_host->calls.clear();
        click(QStringLiteral("sbPZLR"));
        QCOMPARE(dialogs.shown.size(), 2);
        QCOMPARE(m_host->calls, launched(kOpenPZLR));

        // The kept picker, its list open already, is filtered anew for the next control;
        // the caption's line break and trailing blanks are not part of the filter.
        dialogs.answerWith(pick(QStringLiteral("CSXJRJZ"), &search, &where, &rows));
        click(QStringLiteral("sbXJRJZ"));
        QCOMPARE(search, QStringLiteral("现金日记账"));
        QCOMPARE(rows, 1);
        QCOMPARE(serverFaceControl(QStringLiteral("CSXJRJZ")), QStringLiteral("sbXJRJZ"));
        QCOMPARE(opened().last(), QStringLiteral("OpenModule:CSXJRJZ:0:78:DataProvider:"));
    }

    void secondControlBinding_data()
    {
        QTest::addColumn<QString>("boundTo");
        QTest::addColumn<QString>("moduleColumn"); // GLKMB's FaceControl afterwards
        QTest::addColumn<QStringList>("faceRows");
        QTest::newRow("first control on the page: a further row")
            << "lbKMB"
            << "lbKMB" << QStringList{"lbCNKMB=GLKMB"};
        QTest::newRow("first control not on the page: the binding moves")
            << "sbGone"
            << "lbCNKMB" << QStringList{};
    }

    void secondControlBinding()
    {
        QFETCH(QString, boundTo);
        QFETCH(QString, moduleColumn);
        QFETCH(QStringList, faceRows);
        useHost("Manager");
        bindOnServer(QStringLiteral("GLKMB"), boundTo);
        openPage(QStringLiteral("Normal"));
        ScriptedDialogs dialogs;
        dialogs.answerWith(pick(QStringLiteral("GLKMB")));
        click(QStringLiteral("lbCNKMB"));
        QCOMPARE(serverFaceControl(QStringLiteral("GLKMB")), moduleColumn);
        QCOMPARE(serverFaceRows(), faceRows);
        const QString openKMB = QStringLiteral("OpenModule:GLKMB:0:82:DataProvider:");
        QCOMPARE(opened(), QStringList{openKMB});
        click(QStringLiteral("lbCNKMB"));
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(opened(), (QStringList{openKMB, openKMB}));
    }

    void failedBindingSaveStillLaunches()
    {
        useHost("Manager");
        bindOnServer(QStringLiteral("GLKMB"), QStringLiteral("lbKMB"));
        openPage(QStringLiteral("Normal"));
        // Another workstation binds the control after this page read the bindings.
        addFaceRow(QStringLiteral("lbCNKMB"), QStringLiteral("GLKMB"));
        ScriptedDialogs dialogs;
        dialogs.answerWith(pick(QStringLiteral("GLKMB")));
        dialogs.answer(QMessageBox::Ok);
        click(QStringLiteral("lbCNKMB"));
        QCOMPARE(dialogs.shown.size(), 2);
        QCOMPARE(dialogs.shown[1].className, QStringLiteral("QMessageBox"));
        QCOMPARE(opened(), QStringList{QStringLiteral("OpenModule:GLKMB:0:82:DataProvider:")});
        // The refused row is not kept: the page's copy has no change left to send.
        QCOMPARE(child<ClientDataSet>("cdsFaceControl")->changeCount(), 0);
    }

    void objectMenuEntries()
    {
        useHost("Manager");
        setAccountSet(true, 1, 1);
        openPage(QStringLiteral("Professional"));
        ScriptedDialogs dialogs;
        menuEntry(QStringLiteral("pmCustomer"), 101000)->trigger();
        QCOMPARE(m_host->calls,
                 launched(QStringLiteral("OpenModule:GLFZZZ:0:82:DataProvider:ACheck=Customer")));
        m_host->calls.clear();
        dialogs.answer(mrOk);
        m_page->LaunchObject(12);
        QCOMPARE(dialogs.shown.value(0).text, QStringLiteral("系统未对模块对象 12 进行配置。"));
        QCOMPARE(m_host->calls, QStringList());

        useHost("clerk");
        setAccountSet(true, 1, 1);
        openPage(QStringLiteral("Normal"));
        dialogs.answer(mrOk);
        m_page->LaunchObject(151000); // 存货总账: type 2506, not granted to the clerk
        QCOMPARE(dialogs.shown.value(1).className, QStringLiteral("vexa::gl::TInformationFrom"));
        QCOMPARE(dialogs.shown.value(1).text, QStringLiteral("系统操作权限限制！"));
        QCOMPARE(opened(), QStringList());
    }

    // Each check with the wording of each page kind; a control is bound to module first, an
    // object row is pointed at module when one is given.
    void refusals_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("target"); // a control name, or an object number
        QTest::addColumn<QString>("module");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<int>("cashier");
        QTest::addColumn<QString>("message");
        const auto row = [](const char *tag, const char *kind, const char *target,
                            const char *module, bool enabled, int cashier, const char *message) {
            QTest::newRow(tag) << kind << target << module << enabled << cashier << message;
        };
        const char *tabbedEnable = "无法执行此模块，请首先在初始化页面中完成账套参数配置并启用此"
                                   "账套后继续。";
        const char *tabbedLedger = "无法执行此模块，请在初始化页面的账套参数配置中指定总账启用会"
                                   "计期间后继续。";
        const char *tabbedCashier = "无法执行此模块，请在初始化页面的账套参数配置中启用出纳系统后"
                                    "继续。";
        const char *spreadEnable = "请首先在系统维护中完成账套参数配置并启用此账套后继续。";
        const char *spreadCashier = "请在系统维护的账套参数配置中启用出纳系统后继续。";
        row("tabbed, not enabled", "Normal", "sbXSDD", "SAXSDD", false, 1, tabbedEnable);
        row("tabbed, no ledger start", "JXC", "sbXSZD", "GLPZLR", false, 1, tabbedLedger);
        row("tabbed menu, no ledger start", "Professional", "101000", "", false, 1, tabbedLedger);
        row("tabbed, no cashier", "Normal", "sbXJRJZ", "CSXJRJZ", true, 0, tabbedCashier);
        row("tabbed menu, no cashier", "Normal", "131000", "CSXJRJZ", true, 0, tabbedCashier);
        row("spread, not enabled", "Spread", "lbPZJC", "SAXSDD", false, 1, spreadEnable);
        row("spread menu, not enabled", "Spread", "111000", "SAXSDD", false, 1, spreadEnable);
        row("spread, no ledger start", "Spread", "sbPZLR", "GLPZLR", false, 1,
            "请在系统维护的账套参数配置中指定总账启用会计期间后继续。");
        row("spread menu, no ledger start", "Spread", "101000", "", false, 1,
            "请在系统维护中的账套参数配置中指定总账启用会计期间后继续。");
        row("spread, no cashier", "Spread", "sbXJRJZ", "CSXJRJZ", true, 0, spreadCashier);
        row("spread menu, no cashier", "Spread", "121000", "CSXJRJZ", true, 0, spreadCashier);
    }

    void refusals()
    {
        QFETCH(QString, kind);
        QFETCH(QString, target);
        QFETCH(QString, module);
        QFETCH(bool, enabled);
        QFETCH(int, cashier);
        QFETCH(QString, message);
        useHost("Manager");
        setAccountSet(enabled, 0, cashier);
        bool isObject = false;
        const int pmCode = target.toInt(&isObject);
        if (!isObject)
            bindOnServer(module, target);
        else if (!module.isEmpty())
            editServerRow(QStringLiteral("SYS_SMPMDefine"),
                          QStringLiteral("WHERE PMCode = %1").arg(pmCode),
                          [&](ClientDataSet &ds) { ds.setValue(QStringLiteral("MCode"), module); });
        openPage(kind);
        ScriptedDialogs dialogs;
        dialogs.answer(mrOk);
        if (isObject)
            m_page->LaunchObject(pmCode);
        else
            click(target);
        QCOMPARE(dialogs.shown.size(), 1);
        QCOMPARE(dialogs.shown[0].className, QStringLiteral("vexa::gl::TWarningInfoFrom"));
        QCOMPARE(dialogs.shown[0].text, message);
        QCOMPARE(opened(), QStringList());
    }

    void objectTypeAbove25000NeverStarts()
    {
        useHost("Manager");
        setAccountSet(true, 1, 1);
        editServerRow(QStringLiteral("SYS_SMModules"), QStringLiteral("WHERE MCode = 'GLQT'"),
                      [](ClientDataSet &ds) {
                          ds.setValue(QStringLiteral("ObjType"), 30000);
                          ds.setValue(QStringLiteral("FaceControl"), QStringLiteral("lbQT"));
                      });
        auto rights =
            ProviderDataSet(QStringLiteral("LX_SysCheckRight"), QStringLiteral("WHERE 1=0"));
        rights->append();
        rights->setValue(QStringLiteral("UserGroup"), m_host->values.value("USERGROUP"));
        rights->setValue(QStringLiteral("ObjType"), 30000);
        rights->setValue(QStringLiteral("RightValue"), 1);
        ApplyChanges(*rights, true);
        openPage(QStringLiteral("Normal"));
        QCOMPARE(NavTextColour(child("lbQT")), TNavigationForm::kUnavailable);
        ScriptedDialogs dialogs;
        click(QStringLiteral("lbQT"));
        QCOMPARE(m_host->calls, QStringList());
        QCOMPARE(dialogs.shown.size(), 0);
    }

    void fixedControls_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("withoutRight"); // a right of the clerk's group taken away first
        QTest::addColumn<QString>("dialog");   // the dialog class opened, if any
        QTest::addColumn<QString>("open");     // the module opened, if any
        const auto row = [](const char *tag, const char *user, const char *kind,
                            const char *control, int withoutRight, const char *dialog,
                            const char *open = "") {
            QTest::newRow(tag) << user << kind << control << withoutRight
                               << (*dialog ? QStringLiteral("vexa::gl::") + dialog : QString())
                               << open;
        };
        row("configuration", "clerk", "Normal", "asb10202", 0, "TStartGLForm");
        // Without the general ledger the business start is chosen on the overview.
        row("configuration without the ledger", "clerk", "JXC", "asb10202", 0, "TStartGLForm");
        row("configuration, no 1006", "clerk", "Professional", "asb10202", 1006, "");
        row("spread configuration link", "clerk", "Spread", "asb10202", 0, "TStartGLForm");
        row("confirmation", "clerk", "JXC", "sbZZQR", 0, "TFinGLAccountingConfigureMForm");
        row("confirmation, no 2002", "clerk", "Normal", "sbZZQR", 2002, "");
        row("enabling, no 1005", "clerk", "Normal", "asb10206", 0, "");
        row("enabling", "Manager", "Spread", "asb10206", 0, "TWarningInfoFrom");
        row("rights groups, clerk", "clerk", "Normal", "sbQXZ", 0, "");
        row("rights groups, manager", "Manager", "Normal", "sbQXZ", 0, "",
            "OpenModule:SMSG:0:66::");
        row("users, manager", "Manager", "JXC", "sbYH", 0, "", "OpenModule:SMSU:0:66::");
        row("spread users link goes through the gate", "Manager", "Spread", "lbXTYH", 0,
            "TSelModulesForm");
    }

    void fixedControls()
    {
        QFETCH(QString, user);
        QFETCH(QString, kind);
        QFETCH(QString, control);
        QFETCH(int, withoutRight);
        QFETCH(QString, dialog);
        QFETCH(QString, open);
        useHost(user.toLatin1().constData());
        if (withoutRight)
            deleteServerRows(
                QStringLiteral("LX_SysCheckRight"),
                QStringLiteral("WHERE UserGroup = 2 AND ObjType = %1").arg(withoutRight));
        openPage(kind);
        ScriptedDialogs dialogs;
        bool businessPanel = false;
        dialogs.answerWith([&](QDialog &shown) {
            if (auto *config = qobject_cast<TStartGLForm *>(&shown))
                businessPanel = config->BusinessPanelShown();
            shown.done(QDialog::Rejected);
            return int(QDialog::Rejected);
        });
        click(control);
        QCOMPARE(dialogs.shown.value(0).className, dialog);
        QCOMPARE(businessPanel, kind == QLatin1String("JXC") && dialog.endsWith(u"TStartGLForm"));
        if (dialog == QLatin1String("vexa::gl::TWarningInfoFrom")) // the demo set has no record
            QCOMPARE(dialogs.shown[0].text, QStringLiteral("启用账套前，必须进行账套参数配置。"));
        if (open.isEmpty())
            QCOMPARE(opened(), QStringList());
        else
            QCOMPARE(m_host->calls, launched(open));
    }

    void marginsAndTabStrip_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("margin"); // 0: hidden
        QTest::addColumn<QList<int>>("tabLefts");
        QTest::addColumn<int>("tabWidth");
        // At 1024, and with the margins shown, the content is 1024 wide: the strip is divided
        // for 7 (5) tabs.
        const QList<int> seven = {4, 150, 296, 442, 588, 734, 880};
        QTest::newRow("1024") << "Normal" << 1024 << 0 << seven << 140;
        QTest::newRow("1124") << "Professional" << 1124 << 0
                              << QList<int>{2, 163, 324, 485, 646, 807, 968} << 154;
        QTest::newRow("1200") << "Professional" << 1200 << 88 << seven << 140;
        QTest::newRow("1201 JXC") << "JXC" << 1201 << 88 << QList<int>{2, 208, 414, 620} << 196;
    }

    void marginsAndTabStrip()
    {
        QFETCH(QString, kind);
        QFETCH(int, width);
        QFETCH(int, margin);
        QFETCH(QList<int>, tabLefts);
        QFETCH(int, tabWidth);
        useHost("Manager");
        openPage(kind, width);
        QCOMPARE(m_page->width(), width);
        for (const char *name : {"plLeftMargin", "plRightMargin"}) {
            QCOMPARE(child(QLatin1String(name))->isVisible(), margin > 0);
            if (margin > 0)
                QCOMPARE(child(QLatin1String(name))->width(), margin);
        }
        QList<int> lefts;
        auto *page = static_cast<TTabbedNavigationForm *>(m_page.get());
        const auto tabs = child("tsMain")->findChildren<QToolButton *>();
        QCOMPARE(tabs.size(), page->TabCount());
        for (QToolButton *tab : tabs) {
            if (tab->isHidden())
                continue;
            lefts << tab->x();
            QCOMPARE(tab->width(), tabWidth);
        }
        QCOMPARE(lefts, tabLefts);
    }

    void objectMenuToggleAndTimer()
    {
        useHost("Manager");
        openPage(QStringLiteral("Professional"), 1200);
        QWidget *label = child("lbCustomer");
        QMenu *menu = m_page->ObjectMenu(QStringLiteral("pmCustomer"));
        click(QStringLiteral("lbCustomer"));
        QVERIFY(menu->isVisible());
        QCOMPARE(m_page->OpenMenuName(), QStringLiteral("pmCustomer"));
        QCOMPARE(menu->pos(), label->mapTo(m_page.get(), QPoint(label->width(), -346)));
        click(QStringLiteral("lbCustomer"));
        QVERIFY(!menu->isVisible());
        QCOMPARE(m_page->OpenMenuName(), QString());

        // Another menu's label closes the open one.
        click(QStringLiteral("lbCustomer"));
        click(QStringLiteral("lbFinReport"));
        QVERIFY(!menu->isVisible());
        QCOMPARE(m_page->OpenMenuName(), QStringLiteral("pmFinReport"));

        // Leaving the label starts the timer: moves over the background close the menu only
        // once it has run out.
        QWidget *surface = child("tsLedger");
        auto moveOverBackground = [surface] {
            QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), surface->mapToGlobal(QPointF(5, 5)),
                             Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            QCoreApplication::sendEvent(surface, &move);
        };
        emit child<TNavLinkLabel>("lbFinReport")->hovered(false);
        QVERIFY(m_page->MenuTimer().isActive());
        moveOverBackground();
        QCOMPARE(m_page->OpenMenuName(), QStringLiteral("pmFinReport"));
        QTRY_VERIFY_WITH_TIMEOUT(!m_page->MenuTimer().isActive(), 1000);
        moveOverBackground();
        QCOMPARE(m_page->OpenMenuName(), QString());
        QVERIFY(!m_page->ObjectMenu(QStringLiteral("pmFinReport"))->isVisible());

        // Just opened, the first background move only starts the timer.
        click(QStringLiteral("lbCustomer"));
        moveOverBackground();
        QVERIFY(menu->isVisible());
        QVERIFY(!m_page->MenuHoverPending());

        // A launcher closes the open menu before it runs.
        ScriptedDialogs dialogs;
        dialogs.answerWith(pick(QString()));
        click(QStringLiteral("sbQMJZ"));
        QVERIFY(!menu->isVisible());
    }
};

QTEST_MAIN(TestNavigationPages)
#include "tst_navigationpages.moc"
